#include "app/main_window/about_box.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/main_window/command_icons.h"
#include "app/shell/version_info.h"
#include "chart/qt_text.h"

namespace plm::app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(qsj("バージョン情報"));
    const VersionInfo& info = versionInfo();
    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(48, 48));
    auto* name = new QLabel(qs(info.productName), this);
    name->setObjectName("productName");
    auto* legal = new QLabel(qs(info.legalCopyright), this);
    legal->setObjectName("legalCopyright");
    auto* version = new QLabel(qs(support::sj("Version：") + versionText(info.file)), this);
    version->setObjectName("version");
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(qsj("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1);
    grid->addWidget(legal, 1, 1);
    grid->addWidget(version, 2, 1);
    grid->addWidget(buttons, 0, 2, 3, 1, Qt::AlignTop);
    grid->setHorizontalSpacing(16);
}

}  // namespace plm::app
