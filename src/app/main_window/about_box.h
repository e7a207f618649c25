#pragma once

#include <QDialog>

namespace plm::app {

// "バージョン情報": the program icon, product name, legal notice and version.
class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace plm::app
