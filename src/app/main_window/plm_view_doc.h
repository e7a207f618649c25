#pragma once

#include <QObject>
#include <array>
#include <string>

#include "app/data_sheet/data_sheet.h"
#include "model/customer_tree.h"
#include "model/measurement_record.h"

namespace plm::app {

// The update hints the document sends to its views.
enum HintCode {
    HintNames = 101,     // three names
    HintClear = 102,     // empty the record array
    HintRecord = 103,    // one record to append
    HintValue104 = 104,  // one real value each
    HintValue105 = 105,
    HintValue106 = 106,
    HintRebuild = 107,
};

struct ViewHint {
    int code = 0;
    std::array<std::string, 3> names;  // HintNames
    model::MeasurementRecord record;   // HintRecord
    double value = 0.0;                // HintValue104..106
};

// The one document of the run: the customer tree of the data file and the
// current selection. The data file is read and written only through
// LoadData and SaveData; opening a document file reads nothing.
class CPLMViewDoc : public QObject {
    Q_OBJECT
  public:
    explicit CPLMViewDoc(QObject* parent = nullptr);

    model::CustomerTree& tree() { return tree_; }
    const model::CustomerTree& tree() const { return tree_; }
    // The tree becomes `committed` (line settings included).
    void replaceTree(model::CustomerTree committed);

    Selection& selection() { return selection_; }
    const Selection& selection() const { return selection_; }

    // The data file named by [Param] DataFile.
    bool LoadData();
    bool SaveData();

    void ClearSelection();
    // Shows the selected measurement, or clears the selection when it no longer exists.
    void Refresh();

    // A new document: the first one of the run loads the data file; every one
    // then sends hints 104..106 with 0.0.
    void OnNewDocument();
    // Opening a document file: the first one of the run loads the data file;
    // the file itself is not read.
    void OnOpenDocument() { loadOnce(); }

  signals:
    void hint(const plm::app::ViewHint& hint);

  private:
    void loadOnce();
    void send(int code);
    void sendNames();

    model::CustomerTree tree_;
    Selection selection_;
    bool firstLoad_ = true;
};

// The one document of the run (nullptr before the main window exists).
CPLMViewDoc* theDocument();
void setTheDocument(CPLMViewDoc* doc);

}  // namespace plm::app
