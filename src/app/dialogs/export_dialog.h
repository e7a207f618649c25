#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "model/customer_tree.h"
#include "settings/app_settings.h"

class QComboBox;
class QLineEdit;

namespace plm::app {

class CPLMViewDoc;

// The export dialog (CDataSave), "需要家データの切出し": writes one customer with its whole subtree
// to an export file. Stays open after each save so that several customers can be cut out one after
// another.
class CDataSave : public QDialog {
    Q_OBJECT
  public:
    CDataSave(const model::CustomerTree& tree, settings::AppSettings& settings,
              QWidget* parent = nullptr);

    QComboBox* customerList() const { return customers_; }
    QLineEdit* folderEdit() const { return folder_; }
    QLineEdit* fileEdit() const { return file_; }

    // "OK": checks, questions and the save; every outcome keeps the dialog open.
    void OnOK();
    void OnBrowse();

  signals:
    // A customer was written to this file (file-system path).
    void exported(const QString& fsPath);

  private:
    void OnSelectCustomer(int index);

    const model::CustomerTree& tree_;
    settings::AppSettings& settings_;
    QComboBox* customers_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLineEdit* file_ = nullptr;
};

// The export folder as the dialog shows it: a drive letter from another
// installation ("C:\", the default) names no folder here, so the folder it
// stands for is shown instead, and stored once the user saves there.
std::string shownExportFolder(const std::string& saveDir);

struct ImportOutcome {
    std::optional<std::string> file;  // stored path; none when the user cancelled
    std::vector<std::string> added;   // the names given to the customers added
};

// "→ データのインポート": picks an export file, starting in `startFolder`
// (stored path), and has the document import it.
ImportOutcome importData(CPLMViewDoc& doc, const std::string& startFolder);

}  // namespace plm::app
