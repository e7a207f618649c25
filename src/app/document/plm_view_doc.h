#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/document/selection.h"
#include "app/document/shown_measurement.h"
#include "model/customer_tree.h"
#include "model/measurement_record.h"
#include "model/shared_data_file.h"

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
// LoadData and SaveData, on a worker thread under a progress window while
// the GUI thread keeps painting; opening a document file reads nothing. Other
// programs (plmtool, other installations) may write the same file: the
// document watches it, reloads it when nothing here is open, and merges their
// changes into its own before it saves.
class CPLMViewDoc : public QObject {
    Q_OBJECT
  public:
    explicit CPLMViewDoc(QObject* parent = nullptr);

    model::CustomerTree& tree() { return tree_; }
    const model::CustomerTree& tree() const { return tree_; }
    // The sheet's OK: the tree becomes `committed` (line settings included)
    // with the selection the user left in it, and is saved.
    void commitSheet(model::CustomerTree committed, const Selection& selection);
    // A tree made from this one outside the sheet (a restore from a backup):
    // it replaces the tree, the shown measurement follows it by identity, and
    // it is saved at once. False when the save failed.
    bool commitRestored(model::CustomerTree restored);

    // The selection is held as the measurements it names: whenever the tree
    // changes (a reload, a merge, an import), the same measurements stay
    // selected at their new places. Positions set here directly take effect
    // at the next Refresh.
    Selection& selection() { return selection_; }
    const Selection& selection() const { return selection_; }
    // Selects and shows.
    void select(const Selection& selection);

    // The data file named by [Param] DataFile. SaveData writes only when the
    // tree differs from what was last read or saved, or no file exists yet;
    // a true conflict with another writer's changes is put to the user. A
    // data file that could not be opened is not written: SaveData says so.
    bool LoadData();
    bool SaveData();
    bool dataFileAvailable() const { return !file_ || file_->available(); }
    // Says that the data file is not available (and false) when it is not.
    bool checkDataFileAvailable() const;

    // When another program changed the data file: reloads it when this tree
    // holds nothing unsaved, else saves, merging both; the shown measurement
    // stays shown. True when the tree changed.
    bool ReloadIfChanged();

    void ClearSelection();
    // Shows the selected measurement, or clears the selection when it no longer exists.
    void Refresh();
    // Tells the views that the tree changed outside the document (an import).
    void notifyTreeChanged();

    // A new document: the first one of the run loads the data file; every one
    // then sends hints 104..106 with 0.0.
    void OnNewDocument();
    // Opening a document file: the first one of the run loads the data file;
    // the file itself is not read.
    void OnOpenDocument() { loadOnce(); }

  signals:
    void hint(const plm::app::ViewHint& hint);
    // A note for the status bar (UTF-16 text).
    void statusText(const QString& text);
    // The tree is about to be read anew: views drop what points into it, as
    // messages about a bad file can repaint them before the load ends.
    void treeAboutToChange();
    // The tree was replaced, loaded or merged into.
    void treeChanged();

  private:
    model::SharedDataFile& dataFile();
    void watchDataFile();
    void onDataFileEvent();
    void loadOnce();
    // Reads the data file anew (on a worker thread, as saveData writes it).
    bool reload();
    bool saveData();
    // A tree read or written by a worker takes the place of the document's,
    // here on the GUI thread, and is published as any other change.
    void adoptTree(model::CustomerTree tree);
    // The selection follows its measurements into the changed tree, then the
    // views hear of the change.
    void publishTreeChange();
    void rememberShown();
    void followShown();
    // A measurement that is gone is said once the operation has ended, so
    // that no later note hides it.
    void flushNote();
    // Shows the measurement the chart showed at the end of the last run, when it still exists.
    void showLastShown();
    void send(int code);
    void sendNames();

    model::CustomerTree tree_;
    Selection selection_;
    // What selection_ names, as it was when it was last set or followed.
    std::vector<MeasurementIdentity> shown_;
    Selection followed_;
    QString note_;
    bool firstLoad_ = true;
    // A save left a conflict unanswered (the program ending); this side went
    // to a file of its own.
    bool keptUnanswered_ = false;
    std::unique_ptr<model::SharedDataFile> file_;
    QFileSystemWatcher watcher_;
    QTimer recheck_;  // settles a burst of file events; waits while a dialog is open
};

}  // namespace plm::app
