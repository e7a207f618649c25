#include "app/dialogs/csv_out_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "support/ole_date.h"
#include "support/staged_file.h"
#include "ui/file_launch.h"
#include "ui/prompter.h"

namespace plm::app {

namespace {
constexpr int kMaxText = 256;

QLineEdit* limitedEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(kMaxText);
    e->setMinimumWidth(360);
    return e;
}
}  // namespace

CCsvOut::CCsvOut(settings::AppSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(qsj("テキスト出力（ＣＳＶ形式）"));
    auto* grid = new QGridLayout;
    folder_ = limitedEdit(this, "folder");
    file_ = limitedEdit(this, "file");
    auto* browseFolder = new QPushButton(qsj("参照..."), this);
    grid->addWidget(new QLabel(qsj("出力先："), this), 0, 0);
    grid->addWidget(folder_, 0, 1);
    grid->addWidget(browseFolder, 0, 2);
    grid->addWidget(new QLabel(qsj("出力ファイル名："), this), 1, 0);
    grid->addWidget(file_, 1, 1, 1, 2);

    openAfter_ = new QCheckBox(qsj("出力後，次のプログラムでファイルを開く"), this);
    programFrame_ = new QWidget(this);
    program_ = limitedEdit(programFrame_, "program");
    auto* browseProgram = new QPushButton(qsj("参照..."), programFrame_);
    auto* note = new QLabel(
        qsj("指定しない（空白）にすると出力ファイルに関連しているプログラムが起動されます"),
        programFrame_);
    note->setWordWrap(true);
    auto* frame = new QGridLayout(programFrame_);
    frame->setContentsMargins(20, 0, 0, 0);
    frame->addWidget(program_, 0, 0);
    frame->addWidget(browseProgram, 0, 1);
    frame->addWidget(note, 1, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* output = buttons->addButton(qsj("出力"), QDialogButtonBox::AcceptRole);
    output->setDefault(true);
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(openAfter_);
    top->addWidget(programFrame_);
    top->addWidget(buttons);

    connect(browseFolder, &QPushButton::clicked, this, &CCsvOut::OnBrowseFolder);
    connect(browseProgram, &QPushButton::clicked, this, &CCsvOut::OnBrowseProgram);
    connect(openAfter_, &QCheckBox::toggled, this, &CCsvOut::EnableFrame);
    connect(output, &QPushButton::clicked, this, &CCsvOut::OnOutput);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setSource({}, model::MeasurementRecord{});
}

void CCsvOut::setSource(const report::CsvNames& names, const model::MeasurementRecord& record) {
    names_ = names;
    record_ = record;
    folder_->setText(qs(settings_.textOutDir));
    // The proposed name always follows the measurement; [TextOut] File is only written.
    file_->setText(
        qs("DAT_" + support::formatDateTime(record_.testDateTime, "%Y%m%d_%H%M%S") + ".CSV"));
    openAfter_->setChecked(settings_.textOutChkExe != 0);
    program_->setText(qs(settings_.textOutRunningExe));
    EnableFrame();
}

void CCsvOut::EnableFrame() {
    programFrame_->setEnabled(openAfter_->isChecked());
}

void CCsvOut::OnBrowseFolder() {
    auto chosen = ui::prompter().chooseFolder(
        {support::sj("フォルダ選択をしてください"), {}, cp(folder_->text())});
    if (chosen)
        folder_->setText(qs(*chosen));
}

void CCsvOut::OnBrowseProgram() {
    auto chosen = ui::prompter().openFile(
        {support::sj("起動プログラム"), support::sj("プログラム (*)"), cp(program_->text())});
    if (chosen)
        program_->setText(qs(*chosen));
}

void CCsvOut::OnOutput() {
    const std::string file = support::trimMb(cp(file_->text()));
    const std::string folder = support::trimMb(cp(folder_->text()));
    if (file.empty()) {
        ui::prompter().stop(support::sj("出力ファイル名を指定してください"));
        return;
    }
    if (folder.empty()) {
        ui::prompter().stop(support::sj("出力先を指定してください"));
        return;
    }
    if (!QFileInfo(fsPath(folder)).isDir()) {
        if (!ui::prompter().askYesNo(
                support::sj("指定のフォルダは存在していません\n作成しますか？\n") + folder))
            return;
        // A folder that cannot be made shows up as the open failure of the write.
        support::CreateFolderPath(folder);
    }
    const std::string path = folder + "\\" + file;
    // A link at the name counts as a file: the output would replace it.
    const QFileInfo target(fsPath(path));
    const bool taken = support::outputNameTaken(support::toFsPath(path)) && !target.isDir();
    if (taken && !ui::prompter().askYesNo(
                     support::sj("指定のファイルは既に存在しています\n上書きしますか？\n") + path,
                     ui::Answer::No))
        return;

    // Without the question answered, a file another program puts there meanwhile is kept.
    if (!report::WriteCsvFile(path, report::CsvLayout::fromSettings(settings_), names_, record_,
                              guiErrorReporter(), taken))
        return;
    ui::prompter().plain(support::sj("テキストファイルへ正常に出力しました\n") + path);
    if (openAfter_->isChecked())
        openWritten(path);

    settings_.textOutDir = folder;
    settings_.textOutFile = file;
    settings_.textOutChkExe = openAfter_->isChecked() ? 1 : 0;
    settings_.textOutRunningExe = cp(program_->text());
    accept();
}

void CCsvOut::openWritten(const std::string& path) {
    // The program gets the path as one argument; failures to start are not reported.
    const std::string program = support::trimMb(cp(program_->text()));
    if (!program.empty())
        ui::runProgramWithFile(support::toFsPath(program), support::toFsPath(path));
    else
        ui::openWithAssociation(support::toFsPath(path));
}

}  // namespace plm::app
