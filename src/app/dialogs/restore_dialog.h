#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "model/backup_folder.h"
#include "model/backup_restore.h"
#include "model/customer_tree.h"

class QListWidget;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;

namespace plm::app {

class CPLMViewDoc;

// ファイル → バックアップから復元...: the backups of the data file, newest
// first, with what each holds that the data now lacks. 復元 brings that back
// (the current data stays as it is); すべて置き換える makes the backup the
// data, after asking. Either way the data file is saved at once, the data it
// replaces being kept as a backup itself, so a restore can be taken back.
class RestoreDialog : public QDialog {
    Q_OBJECT
  public:
    RestoreDialog(CPLMViewDoc& doc, QMainWindow* frame);

    QListWidget* backupList() const { return list_; }
    QPlainTextEdit* details() const { return details_; }
    QPushButton* restoreButton() const { return restore_; }
    QPushButton* replaceButton() const { return replace_; }

    void OnRestore();
    void OnReplace();

  private:
    struct Entry {
        model::BackupFile file;
        model::CustomerTree tree;
        std::string damage;  // the message of a damaged backup, else empty
        std::vector<model::MissingMeasurements> missing;
    };

    void loadBackups();
    void showSelected();
    const Entry* selected() const;
    void saveAndTell(model::CustomerTree tree, const std::string& done);

    CPLMViewDoc& doc_;
    QMainWindow* frame_;
    std::vector<Entry> entries_;
    QListWidget* list_ = nullptr;
    QPlainTextEdit* details_ = nullptr;
    QPushButton* restore_ = nullptr;
    QPushButton* replace_ = nullptr;
};

// Puts バックアップから復元... into the ファイル menu of `frame`, after the
// export command.
void addRestoreCommand(QMainWindow& frame, CPLMViewDoc& doc);

}  // namespace plm::app
