#include "app/dialogs/export_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cctype>

#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "model/customer_exchange.h"
#include "support/paths.h"
#include "support/staged_file.h"
#include "ui/busy_scope.h"
#include "ui/listed_name.h"
#include "ui/prompter.h"

namespace plm::app {

CDataSave::CDataSave(const model::CustomerTree& tree, settings::AppSettings& settings,
                     QWidget* parent)
    : QDialog(parent), tree_(tree), settings_(settings) {
    setWindowTitle(qsj("需要家データの切出し"));
    customers_ = new QComboBox(this);
    customers_->setObjectName("customers");
    for (int i = 0; i < tree_.customers.count(); ++i) {
        const std::string& name = tree_.customers.at(i).name;
        customers_->addItem(ui::listedName(name));
        customers_->setItemData(i, ui::listedNameForeground(name), Qt::ForegroundRole);
    }
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    folder_ = new QLineEdit(this);
    folder_->setFont(fixed);
    folder_->setMinimumWidth(380);
    file_ = new QLineEdit(this);
    file_->setFont(fixed);
    auto* browse = new QPushButton(qsj("参照..."), this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(qsj("需要家名称："), this), 0, 0);
    grid->addWidget(customers_, 0, 1, 1, 2);
    grid->addWidget(new QLabel(qsj("保存先："), this), 1, 0);
    grid->addWidget(folder_, 1, 1);
    grid->addWidget(browse, 1, 2);
    grid->addWidget(new QLabel(qsj("保存ファイル名："), this), 2, 0);
    grid->addWidget(file_, 2, 1, 1, 2);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(qsj("OK"), QDialogButtonBox::ActionRole);
    ok->setDefault(true);
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(buttons);

    folder_->setText(qs(shownExportFolder(settings_.saveDir)));
    file_->setText(qs(settings_.saveFile));
    if (customers_->count() > 0) {
        customers_->setCurrentIndex(0);
        OnSelectCustomer(0);
    }
    connect(customers_, &QComboBox::currentIndexChanged, this, &CDataSave::OnSelectCustomer);
    connect(browse, &QPushButton::clicked, this, &CDataSave::OnBrowse);
    connect(ok, &QPushButton::clicked, this, &CDataSave::OnOK);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void CDataSave::OnSelectCustomer(int index) {
    if (index >= 0 && index < tree_.customers.count())
        file_->setText(qs(tree_.customers.at(index).name + ".QBX"));
}

void CDataSave::OnBrowse() {
    const std::string start = settings_.MakeAbsolute(cp(folder_->text()));
    auto chosen =
        ui::prompter().chooseFolder({support::sj("フォルダ選択をしてください"), {}, start});
    if (!chosen)
        return;
    // A folder inside the program folder is kept relative to it. Only that
    // leading part is compared without case: lower-casing the whole path
    // would name a different folder on a case-sensitive file system.
    const std::string base = settings_.programFolder;
    std::string result = *chosen;
    if (!base.empty() && support::lowerMb(result).rfind(support::lowerMb(base), 0) == 0)
        result = "." + result.substr(base.size());
    folder_->setText(qs(result));
}

void CDataSave::OnOK() {
    const std::string folder = support::trimMb(cp(folder_->text()));
    const std::string file = support::trimMb(cp(file_->text()));
    folder_->setText(qs(folder));
    file_->setText(qs(file));
    if (folder.empty())
        return ui::prompter().stop(support::sj("保存先を入力してください"));
    if (file.empty())
        return ui::prompter().stop(support::sj("保存ファイル名を入力してください"));
    const std::string absFolder = settings_.MakeAbsolute(folder);
    if (!QFileInfo(fsPath(absFolder)).isDir()) {
        if (!ui::prompter().askYesNo(
                support::sj("指定のフォルダは存在しません\n新たにフォルダを作成しますか？\n") +
                folder))
            return;
        support::CreateFolderPath(absFolder);
    }
    const std::string path = folder + "\\" + file;
    // A link at the name counts as a file: the export would replace it.
    const bool taken = support::outputNameTaken(support::toFsPath(settings_.MakeAbsolute(path)));
    if (taken &&
        !ui::prompter().askYesNo(
            support::sj("指定のファイルは既に存在しています\n上書きしてもよろしいですか？\n") +
                path,
            ui::Answer::No))
        return;
    const int index = customers_->currentIndex();
    if (index < 0 || index >= tree_.customers.count())
        return ui::prompter().stop(support::format(
            support::sj("保存する %s を選んでください").c_str(), settings_.itemName1.c_str()));
    const bool saved = model::exportCustomer(
        tree_.customers.at(index), settings_.MakeAbsolute(path), guiErrorReporter(), taken);
    settings_.saveDir = folder;
    settings_.saveFile = file;
    if (saved) {
        ui::prompter().plain(support::sj("正常に保存しました。"));
        emit exported(fsPath(settings_.MakeAbsolute(path)));
    }
}

std::string shownExportFolder(const std::string& saveDir) {
    const bool driveLetter = saveDir.size() >= 2 && saveDir[1] == ':' &&
                             std::isalpha(static_cast<unsigned char>(saveDir[0]));
    return driveLetter ? support::fromFsPath(support::toFsPath(saveDir)) : saveDir;
}

ImportOutcome importData(model::CustomerTree& tree, const std::string& startFolder) {
    ImportOutcome outcome;
    outcome.file = ui::prompter().openFile(
        {support::sj("データを取り込む"), support::sj("データ (*.qbx *.QBX)"), startFolder});
    if (outcome.file) {
        ui::BusyScope busy(qsj("データ取り込み中・・・"));
        ui::BusyReporter reporter(guiErrorReporter(), busy);
        outcome.added = model::importCustomers(tree, *outcome.file, reporter);
    }
    return outcome;
}

}  // namespace plm::app
