#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QThread>
#include <filesystem>

#include "app/dialogs/csv_out_dialog.h"
#include "app/dialogs/export_dialog.h"
#include "app/dialogs/print_margins_dialog.h"
#include "app/dialogs/serial_settings_dialog.h"
#include "app_fixture.h"
#include "model/customer_exchange.h"
#include "model/tree_test_util.h"
#include "ui/file_launch.h"

namespace plm::test::app {
namespace {

namespace fs = std::filesystem;
using plm::test::ScriptedPrompter;
using Kind = plm::test::ScriptedPrompter::Kind;

// ---- CSV output ------------------------------------------------------------

class CsvOutTest : public AppHome {
  protected:
    void SetUp() override {
        AppHome::SetUp();
        dialog = std::make_unique<plm::app::CCsvOut>(settings());
        dialog->setSource({"Tokyo Works", "Line 1", "Close"}, record(1, 9));
        folder = home.file("out dir");
        dialog->folderEdit()->setText(QString::fromStdString(folder));
    }
    void TearDown() override { plm::ui::setLaunchHook({}); }

    std::string written() { return home.file("out dir/DAT_20240301_090000.CSV"); }

    std::unique_ptr<plm::app::CCsvOut> dialog;
    std::string folder;
};

TEST_F(CsvOutTest, ProposesNameFromTheTestDateAndRefusesEmptyFields) {
    EXPECT_EQ(dialog->fileEdit()->text(), "DAT_20240301_090000.CSV");
    struct Case {
        const char* file;
        const char* folder;
        const char* message;
    };
    const Case cases[] = {
        {"  ", "/tmp", "出力ファイル名を指定してください"},
        {"a.csv", " \t", "出力先を指定してください"},
        {"", "", "出力ファイル名を指定してください"},
    };
    for (const Case& c : cases) {
        prompts.clear();
        dialog->fileEdit()->setText(c.file);
        dialog->folderEdit()->setText(c.folder);
        dialog->OnOutput();
        ASSERT_EQ(prompts.shown().size(), 1u) << c.message;
        EXPECT_EQ(prompts.shown()[0].kind, Kind::Stop);
        EXPECT_EQ(prompts.shown()[0].text, sj(c.message));
        EXPECT_EQ(dialog->result(), 0) << "stays open";
    }
}

TEST_F(CsvOutTest, MissingFolderIsCreatedOnlyWhenTheUserAgrees) {
    prompts.queueNo();
    dialog->OnOutput();
    EXPECT_EQ(prompts.texts().at(0),
              sj("指定のフォルダは存在していません\n作成しますか？\n") + folder);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(dialog->fileEdit()->text(), "DAT_20240301_090000.CSV") << "typed values stay";

    prompts.clear();
    prompts.queueYes();
    dialog->OnOutput();
    ASSERT_TRUE(fs::exists(written()));
    EXPECT_EQ(prompts.texts().back(),
              sj("テキストファイルへ正常に出力しました\n") + folder + "\\DAT_20240301_090000.CSV");
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings().textOutDir, folder);
    EXPECT_EQ(settings().textOutFile, "DAT_20240301_090000.CSV");
}

TEST_F(CsvOutTest, ExistingFileIsOverwrittenOnlyAfterYes) {
    fs::create_directories(folder);
    writeFile(written(), "keep");
    prompts.queueNo();
    dialog->OnOutput();
    EXPECT_EQ(prompts.texts().at(0), sj("指定のファイルは既に存在しています\n上書きしますか？\n") +
                                         folder + "\\DAT_20240301_090000.CSV");
    EXPECT_EQ(prompts.shown().at(0).byDefault, ui::Answer::No) << "Enter keeps the file";
    EXPECT_EQ(readFile(written()), "keep");
    EXPECT_EQ(dialog->result(), 0);

    prompts.clear();
    prompts.queueYes();
    dialog->OnOutput();
    EXPECT_EQ(readFile(written()).rfind(sj("モルベーン 試験結果"), 0), 0u);
    EXPECT_TRUE(prompts.problems().empty());
}

TEST_F(CsvOutTest, ALinkAtTheNameIsAskedAboutAndReplacedNotFollowed) {
    fs::create_directories(folder);
    const std::string victim = home.file("victim");
    writeFile(victim, "not the output's");
    fs::create_symlink(victim, written());
    prompts.queueYes();
    dialog->OnOutput();
    ASSERT_FALSE(prompts.texts().empty());
    EXPECT_EQ(prompts.texts().at(0), sj("指定のファイルは既に存在しています\n上書きしますか？\n") +
                                         folder + "\\DAT_20240301_090000.CSV");
    EXPECT_EQ(readFile(victim), "not the output's");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(written())));
    EXPECT_EQ(readFile(written()).rfind(sj("モルベーン 試験結果"), 0), 0u);
}

TEST_F(CsvOutTest, OpensTheWrittenFileWithTheProgramOrTheAssociation) {
    fs::create_directories(folder);
    std::vector<std::pair<std::string, std::string>> launched;
    plm::ui::setLaunchHook([&](const std::string& program, const std::string& file) {
        launched.emplace_back(program, file);
        return true;
    });
    dialog->openCheck()->setChecked(true);
    dialog->programEdit()->setText("  /usr/bin/my viewer  ");
    dialog->OnOutput();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0].first, "/usr/bin/my viewer");
    EXPECT_EQ(launched[0].second, written()) << "the whole path, blanks included, as one argument";
    EXPECT_EQ(settings().textOutChkExe, 1);

    auto again = std::make_unique<plm::app::CCsvOut>(settings());
    again->setSource({}, record(1, 9));
    EXPECT_TRUE(again->openCheck()->isChecked());
    EXPECT_EQ(again->folderEdit()->text().toStdString(), folder);
    again->programEdit()->clear();
    prompts.queueYes();  // overwrite
    again->OnOutput();
    ASSERT_EQ(launched.size(), 2u);
    EXPECT_EQ(launched[1].first, "") << "the desktop's association";
}

TEST(FileLaunch, ProgramGetsThePathAsItsOnlyArgument) {
    ensureApplication();
    TempDir dir;
    const std::string script = dir.file("record args.sh");
    const std::string out = dir.file("args.txt");
    writeFile(script, "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" + out + "'\n");
    fs::permissions(script, fs::perms::owner_all);
    const std::string tricky = dir.file("a b; touch x \"q\".CSV");
    ASSERT_TRUE(plm::ui::runProgramWithFile(script, tricky));
    for (int i = 0; i < 200 && !fs::exists(out); ++i)
        QThread::msleep(20);
    QThread::msleep(50);
    EXPECT_EQ(readFile(out), "1|" + tricky);
    EXPECT_FALSE(fs::exists(dir.file("x")));
}

// ---- Print margins -----------------------------------------------------------

TEST_F(AppHome, PrintMarginsAcceptZeroToHundredOnly) {
    struct Case {
        const char* text;
        const char* refusal;  // nullptr: accepted
    };
    const Case cases[] = {
        {"101", "0 から 100 までの整数を入力してください。"},
        {"-1", "0 から 100 までの整数を入力してください。"},
        {"1.5", "整数を入力してください。"},
        {"", "整数を入力してください。"},
        {"0", nullptr},
        {"100", nullptr},
    };
    settings().prtJudgOut = 0;
    for (const Case& c : cases) {
        prompts.clear();
        plm::app::CSetPrintBlank dialog(settings());
        dialog.marginEdit(plm::app::CSetPrintBlank::Left)->setText(c.text);
        dialog.marginEdit(plm::app::CSetPrintBlank::Bottom)->setText("12");
        dialog.OnOK();
        if (c.refusal) {
            EXPECT_EQ(prompts.texts(), std::vector<std::string>{sj(c.refusal)}) << c.text;
            EXPECT_EQ(dialog.result(), 0);
            EXPECT_EQ(settings().prtBlankBottom, 5) << "nothing stored on a refusal";
        } else {
            EXPECT_TRUE(prompts.shown().empty()) << c.text;
            EXPECT_EQ(settings().prtBlankLeft, std::atoi(c.text));
            EXPECT_EQ(settings().prtBlankBottom, 12);
            EXPECT_EQ(settings().prtJudgOut, 0) << "the hidden box keeps its value";
            settings().prtBlankBottom = 5;
        }
    }
}

// Margins from the file beyond what the dialog takes: printing would give a
// blank page, so the print commands refuse them by name.
TEST_F(AppHome, PrintingRefusesMarginsThatLeaveNoRoom) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.file("page.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    EXPECT_TRUE(plm::app::printMarginsFit(settings(), printer));
    EXPECT_TRUE(prompts.shown().empty());

    settings().prtBlankTop = 150;
    settings().prtBlankBottom = 150;
    EXPECT_FALSE(plm::app::printMarginsFit(settings(), printer));
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{
                                   sj("印刷の余白が大きすぎて印刷できる範囲がありません\n[Param] "
                                      "PrtBlankTop=150 PrtBlankBottom=150 (mm)")});
    EXPECT_FALSE(fs::exists(home.file("page.pdf")));
}

// ---- Communication settings --------------------------------------------------

QStringList items(QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

TEST(SetSerial, PortListFromTheScanAndSelection) {
    ensureApplication();
    using C = plm::app::CSetSerial;
    struct Case {
        std::vector<int> found;
        int current;
        int count;
        QString selected;
        int portAfterOk;
    };
    const Case cases[] = {
        {{}, 1, 15, "COM1", 1},
        {{3, 10}, 3, 2, "COM3", 3},
        {{3, 10}, 10, 2, "COM10", 10},
        // Not among the found ports: the first line, never a prefix match (COM10).
        {{3, 10}, 1, 2, "COM3", 3},
        {{3, 17}, 17, 2, "COM17", 17},
    };
    for (const Case& c : cases) {
        model::LineSettings line;
        line.port = c.current;
        C dialog(line, nullptr, [&] { return c.found; });
        QComboBox* ports = dialog.combo(C::Port);
        EXPECT_EQ(ports->count(), c.count);
        EXPECT_TRUE(ports->currentText().startsWith(c.selected + " ("))
            << ports->currentText().toStdString();
        dialog.OnOK();
        EXPECT_EQ(dialog.settings().port, c.portAfterOk);
    }
}

TEST(SetSerial, ValuesOfTheChoiceTables) {
    ensureApplication();
    using C = plm::app::CSetSerial;
    model::LineSettings line;
    line.baud = 31250;  // not in the table
    C dialog(line, nullptr, [] { return std::vector<int>{}; });
    EXPECT_EQ(dialog.combo(C::Baud)->currentText(), "110");
    EXPECT_EQ(items(dialog.combo(C::Parity)), QStringList({"なし", "奇数", "偶数", "マーク"}));
    dialog.combo(C::StopBits)->setCurrentText("1.5");
    dialog.combo(C::Parity)->setCurrentText(QString::fromUtf8("偶数"));
    dialog.combo(C::Flow)->setCurrentText("Xon/Xoff");
    dialog.combo(C::DataBits)->setCurrentText("7");
    dialog.OnOK();
    const model::LineSettings& out = dialog.settings();
    EXPECT_EQ(out.baud, 110);
    EXPECT_EQ(out.stopBits, 1);
    EXPECT_EQ(out.parity, 2);
    EXPECT_EQ(out.flow, 2);
    EXPECT_EQ(out.byteSize, 7);
}

// ---- Customer cut-out and import ---------------------------------------------

class CutOutTest : public AppHome {
  protected:
    // A document whose data file holds `held`.
    std::unique_ptr<plm::app::CPLMViewDoc> documentHolding(const model::CustomerTree& held) {
        EXPECT_TRUE(held.save(settings().dataFilePath(), plm::app::guiErrorReporter()));
        auto doc = std::make_unique<plm::app::CPLMViewDoc>(settings());
        EXPECT_TRUE(doc->LoadData());
        return doc;
    }

    model::CustomerTree tree = smallTree();
};

TEST_F(CutOutTest, FileNameFollowsTheSelectedCustomer) {
    plm::app::CDataSave dialog(tree, settings());
    EXPECT_EQ(dialog.customerList()->currentText(), "Osaka");
    EXPECT_EQ(dialog.fileEdit()->text(), "Osaka.QBX");
    EXPECT_EQ(dialog.folderEdit()->text(), QDir::homePath())
        << "the default C:\\ names the home folder here";
    dialog.fileEdit()->setText("typed.qbx");
    dialog.customerList()->setCurrentIndex(1);
    EXPECT_EQ(dialog.fileEdit()->text(), "Tokyo Works.QBX");
}

TEST_F(CutOutTest, SavesAfterChecksAndStaysOpen) {
    plm::app::CDataSave dialog(tree, settings());
    dialog.folderEdit()->setText("   ");
    dialog.OnOK();
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{sj("保存先を入力してください")});

    prompts.clear();
    const std::string folder = home.file("export");
    dialog.folderEdit()->setText(QString::fromStdString(" " + folder + " "));
    dialog.customerList()->setCurrentIndex(1);
    prompts.queueYes();
    dialog.OnOK();
    EXPECT_EQ(dialog.folderEdit()->text().toStdString(), folder) << "trimmed in place";
    ASSERT_EQ(prompts.texts().size(), 2u);
    EXPECT_EQ(prompts.texts()[0],
              sj("指定のフォルダは存在しません\n新たにフォルダを作成しますか？\n") + folder);
    EXPECT_EQ(prompts.texts()[1], sj("正常に保存しました。"));
    EXPECT_EQ(settings().saveDir, folder);
    EXPECT_EQ(settings().saveFile, "Tokyo Works.QBX");

    model::CustomerTree exported;
    ASSERT_TRUE(exported.load(folder + "/Tokyo Works.QBX", plm::app::guiErrorReporter()));
    ASSERT_EQ(exported.customers.count(), 1);
    EXPECT_EQ(exported.customers.at(0).name, "Tokyo Works");

    prompts.clear();
    prompts.queueNo();
    dialog.OnOK();
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{
                  sj("指定のファイルは既に存在しています\n上書きしてもよろしいですか？\n") +
                  folder + "\\Tokyo Works.QBX"});
    EXPECT_EQ(prompts.shown().at(0).byDefault, ui::Answer::No) << "Enter keeps the file";
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(CutOutTest, EmptyTreeEndsWithTheChooseCustomerRefusal) {
    model::CustomerTree empty;
    plm::app::CDataSave dialog(empty, settings());
    EXPECT_EQ(dialog.fileEdit()->text(), "CustData.QBX");
    dialog.folderEdit()->setText(QString::fromStdString(home.path().string()));
    dialog.OnOK();
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{sj("保存する 需要家名称 を選んでください")});
    EXPECT_FALSE(fs::exists(home.file("CustData.QBX")));
}

TEST_F(CutOutTest, BrowsedFolderInsideTheProgramFolderBecomesRelative) {
    plm::app::CDataSave dialog(tree, settings());
    prompts.queuePath(support::fromFsPath(home.path().string()) + "/DATA/Export");
    dialog.OnBrowse();
    EXPECT_EQ(dialog.folderEdit()->text(), "./DATA/Export")
        << "case kept: the file system tells it apart";
    prompts.queuePath(std::string("/srv/Other"));
    dialog.OnBrowse();
    EXPECT_EQ(dialog.folderEdit()->text(), "/srv/Other");
}

TEST_F(CutOutTest, ImportRenamesTakenNamesOnce) {
    model::CustomerTree source;
    source.customers.findOrAdd("Tokyo");
    source.customers.findOrAdd("Osaka");
    const std::string file = home.file("in.qbx");
    ASSERT_TRUE(source.save(support::fromFsPath(file), plm::app::guiErrorReporter()));

    model::CustomerTree held;
    held.customers.findOrAdd("tokyo");
    held.customers.findOrAdd("Tokyo_1");
    const auto doc = documentHolding(held);
    const model::CustomerTree& target = doc->tree();
    prompts.queuePath(support::fromFsPath(file));
    const plm::app::ImportOutcome outcome = plm::app::importData(*doc, "/srv/in");
    EXPECT_EQ(outcome.file, support::fromFsPath(file));
    EXPECT_EQ(outcome.added, (std::vector<std::string>{"Osaka", "Tokyo_2"}));
    EXPECT_EQ(prompts.shown().at(0).initial, "/srv/in");
    EXPECT_NE(target.customers.find("Tokyo_2"), -1);
    EXPECT_NE(target.customers.find("Osaka"), -1);
    EXPECT_EQ(target.customers.count(), 4);
    model::CustomerTree onDisk;
    ASSERT_TRUE(onDisk.load(settings().dataFilePath(), plm::app::guiErrorReporter()));
    EXPECT_EQ(onDisk.customers.count(), 4) << "saved at once";
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{sj("取り込もうとしているデータは既に登録されています\n次の名"
                                          "前に変更して取り込みます\nTokyo_2")});
    EXPECT_EQ(prompts.shown().at(0).text, sj("データを取り込む"));

    prompts.clear();
    prompts.queuePath(std::nullopt);
    const plm::app::ImportOutcome cancelled = plm::app::importData(*doc, "/srv/in");
    EXPECT_EQ(cancelled.file, std::nullopt);
    EXPECT_TRUE(cancelled.added.empty());
    EXPECT_EQ(target.customers.count(), 4) << "cancel imports nothing";
}

// Names of the file that count as the same name are joined, with one notice.
TEST_F(CutOutTest, ImportJoinsNamesThatFoldTogether) {
    const std::string file = home.file("in.qbx");
    test::writeFile(file, test::foldingDataFile());
    const auto doc = documentHolding({});
    prompts.queuePath(support::fromFsPath(file));
    EXPECT_FALSE(plm::app::importData(*doc, "/srv/in").added.empty());
    const model::MeasurementName* name = model::findMeasurementName(doc->tree(), "X", "C", "N");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->records.count(), 4);
    ASSERT_EQ(prompts.shown().size(), 2u);
    EXPECT_EQ(prompts.shown()[1].kind, ScriptedPrompter::Kind::Plain);
    EXPECT_EQ(prompts.shown()[1].text, support::fromUtf8(test::kFoldingNotice));
    EXPECT_EQ(test::readFile(file), test::foldingDataFile()) << "the file stays as it is";
}

}  // namespace
}  // namespace plm::test::app
