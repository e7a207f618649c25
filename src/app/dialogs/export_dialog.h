#pragma once

#include <QDialog>

#include "model/customer_tree.h"
#include "settings/app_settings.h"

class QComboBox;
class QLineEdit;

namespace plm::app {

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

  private:
    void OnSelectCustomer(int index);

    const model::CustomerTree& tree_;
    settings::AppSettings& settings_;
    QComboBox* customers_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QLineEdit* file_ = nullptr;
};

// "→ データのインポート": picks an export file and adds its customers to
// `tree`, renaming those whose names are taken. Nothing is saved here.
void importData(model::CustomerTree& tree);

}  // namespace plm::app
