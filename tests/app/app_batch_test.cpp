#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/analysis/figures_pane.h"
#include "app/data_sheet/data_management_page.h"
#include "app/dialogs/batch_out_dialog.h"
#include "app/dialogs/batch_output.h"
#include "app/document/plm_view_doc.h"
#include "app/main_window/main_frame.h"
#include "app_fixture.h"
#include "chart/qt_text.h"
#include "report/batch_csv.h"

namespace plm::test::app {
namespace {

namespace fs = std::filesystem;
using plm::app::CBatchOut;
using plm::app::Selection;
using Range = CBatchOut::Range;

// smallTree() with a second name under Line 1 and a second circuit.
model::CustomerTree visitTree() {
    model::CustomerTree tree = smallTree();
    auto& open = model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Open");
    open.records.add(record(3, 11));
    auto& other = model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 2", "Close");
    for (int day = 4; day < 24; ++day)
        other.records.add(record(day, 12));
    return tree;
}

int pdfPages(const std::string& path) {
    QProcess info;
    info.start("pdfinfo", {QString::fromStdString(path)});
    if (!info.waitForFinished(20000))
        return -1;
    const QString text = QString::fromUtf8(info.readAllStandardOutput());
    const qsizetype at = text.indexOf("Pages:");
    return at < 0 ? -1 : text.mid(at + 6).section('\n', 0, 0).trimmed().toInt();
}

class BatchTest : public AppHome {
  protected:
    void TearDown() override {
        EXPECT_TRUE(prompts.problems().empty()) << prompts.problems().front();
    }

    std::string folder() { return support::fromFsPath(home.file("out")); }

    std::string expectedCsv(const report::BatchItem& item) {
        return report::csvText(report::CsvLayout::fromSettings(settings()),
                               {item.level1, item.level2, item.level3}, *item.record);
    }

    model::CustomerTree tree = visitTree();
    Selection twoSelected{"Tokyo Works", "Line 1", "Close", 0, {0, 1}};
};

TEST_F(BatchTest, DisplaySheetHandsBackEverySelectedMeasurement) {
    plm::app::CPgMstEdit page(plm::app::SheetMode::Display, settings(), tree, twoSelected);
    EXPECT_EQ(page.selectedRecords(), (std::vector<int>{0, 1}));
    EXPECT_EQ(page.selectionOut(), twoSelected);
    page.selectRecords({1});
    EXPECT_EQ(page.selectionOut(), (Selection{"Tokyo Works", "Line 1", "Close", 1}));
    // A selection whose index moved on alone no longer stands for its old list.
    Selection moved = twoSelected;
    moved.index = 1;
    EXPECT_EQ(moved.measurements(), std::vector<int>{1});
}

TEST_F(BatchTest, DialogOffersTheSelectionAndEveryLevelAboveIt) {
    CBatchOut dialog(CBatchOut::Kind::Print, settings(), tree, twoSelected);
    const std::vector<std::pair<Range, std::string>> expected = {
        {Range::Selected, "選択した測定データ（2 件）"},
        {Range::Name, "測定ﾃﾞｰﾀ名称「Close」の全測定データ（2 件）"},
        {Range::Circuit, "試験回路名称「Line 1」の全測定データ（3 件）"},
        {Range::Customer, "需要家名称「Tokyo Works」の全測定データ（23 件）"},
    };
    for (const auto& [range, label] : expected) {
        ASSERT_TRUE(dialog.rangeButton(range));
        EXPECT_EQ(dialog.rangeButton(range)->text().toStdString(), label);
    }
    EXPECT_TRUE(dialog.rangeButton(Range::Selected)->isChecked());
    dialog.rangeButton(Range::Circuit)->setChecked(true);
    std::vector<std::string> order;
    for (const report::BatchItem& item : dialog.items())
        order.push_back(item.level3 + std::to_string(item.index));
    EXPECT_EQ(order, (std::vector<std::string>{"Close0", "Close1", "Open0"}));

    // One measurement shown: its whole name is the first choice.
    CBatchOut single(CBatchOut::Kind::Print, settings(), tree,
                     {"Tokyo Works", "Line 1", "Close", 1});
    EXPECT_TRUE(single.rangeButton(Range::Name)->isChecked());
    // A list from elsewhere is the one range.
    CBatchOut list(CBatchOut::Kind::Text, settings(), report::selectBatch(tree, {{"Tokyo Works"}}));
    EXPECT_EQ(list.rangeButton(Range::Selected)->text().toStdString(),
              "選択した測定データ（23 件）");
    EXPECT_FALSE(list.rangeButton(Range::Name));
    EXPECT_EQ(list.items().size(), 23u);
    // Nothing selected at all: nothing to print.
    CBatchOut none(CBatchOut::Kind::Print, settings(), tree, {});
    EXPECT_TRUE(none.items().empty());
    none.OnPrint();
    EXPECT_EQ(prompts.texts().back(), sj("出力する測定データがありません"));
    EXPECT_NE(none.result(), QDialog::Accepted);
}

TEST_F(BatchTest, TextOutputWritesOneWholeFilePerMeasurementAndAsksBeforeReplacing) {
    CBatchOut dialog(CBatchOut::Kind::Text, settings(), tree, twoSelected);
    dialog.rangeButton(Range::Circuit)->setChecked(true);
    dialog.folderEdit()->setText(qs(folder()));
    prompts.queueYes();  // create the missing folder
    dialog.OnOutput();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings().textOutDir, folder());
    const std::vector<report::BatchItem> items = dialog.items();
    const std::vector<std::string> names = report::batchCsvFileNames(items);
    EXPECT_EQ(prompts.texts().back(),
              sj("3 個のテキストファイルを正常に出力しました\n") + folder());
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(readFile(home.file("out/" + names[i])), expectedCsv(items[i])) << names[i];

    writeFile(home.file("out/" + names[1]), "mine");
    prompts.queueNo();
    CBatchOut again(CBatchOut::Kind::Text, settings(), tree, twoSelected);
    again.rangeButton(Range::Circuit)->setChecked(true);
    again.OnOutput();
    EXPECT_EQ(prompts.texts().back(), sj("指定のファイルは既に存在しています\n上書きしますか？\n") +
                                          folder() + "/" + names[0] + sj("\n他 2 個のファイル"));
    EXPECT_EQ(prompts.shown().back().byDefault, ui::Answer::No) << "Enter keeps the files";
    EXPECT_NE(again.result(), QDialog::Accepted);
    EXPECT_EQ(readFile(home.file("out/" + names[1])), "mine");
    prompts.queueYes();
    again.OnOutput();
    EXPECT_EQ(readFile(home.file("out/" + names[1])), expectedCsv(items[1]));
}

TEST_F(BatchTest, CancelledTextOutputLeavesOnlyWholeFiles) {
    const std::vector<report::BatchItem> items =
        report::selectBatch(tree, {{"Tokyo Works", "Line 2"}});
    ASSERT_EQ(items.size(), 20u);
    fs::create_directories(home.path() / "out");
    // Cancels the progress dialog as soon as two files are there.
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (filesIn(home.path() / "out").size() < 2)
            return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* progress = qobject_cast<QProgressDialog*>(w))
                progress->cancel();
        }
    });
    watch.start();
    EXPECT_FALSE(plm::app::writeMeasurementsCsv(settings(), folder(), items, nullptr));
    watch.stop();
    const std::vector<std::string> names = report::batchCsvFileNames(items);
    const std::vector<std::string> written = filesIn(home.path() / "out");
    ASSERT_GE(written.size(), 2u);
    ASSERT_LT(written.size(), items.size()) << "the run was not cancelled";
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(written[i], names[i]);  // no temporary file among them
        EXPECT_EQ(readFile(home.file("out/" + names[i])), expectedCsv(items[i]));
    }
    EXPECT_TRUE(prompts.texts().empty());  // no success message
}

TEST_F(BatchTest, OnePrintJobWithASummaryAndAPreviewOfEveryPage) {
    const std::vector<report::BatchItem> items = report::selectBatch(tree, {{"Tokyo Works"}});
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.file("visit.pdf")));
    ASSERT_TRUE(plm::app::printMeasurements(printer, settings(), items, true, nullptr));
    EXPECT_EQ(pdfPages(home.file("visit.pdf")), 24);

    QPrinter screen(QPrinter::HighResolution);
    int previewPages = -1;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "batchPreview") {
                auto* preview = w->findChild<QPrintPreviewWidget*>();
                preview->updatePreview();
                previewPages = preview->pageCount();
                w->grab().save(QString::fromStdString(home.file("preview.png")));
                w->close();
            }
        }
    });
    plm::app::previewMeasurements(screen, settings(), items, false, nullptr);
    EXPECT_EQ(previewPages, 23);
}

// The pane's "印刷に判定結果のページを付ける" adds each measurement's judgement
// page after its report page, in print and preview alike, while the box exists.
TEST_F(BatchTest, TickedJudgementBoxAddsAJudgementPageAfterEachReport) {
    CBatchOut dialog(CBatchOut::Kind::Print, settings(), tree, twoSelected);
    dialog.rangeButton(Range::Circuit)->setChecked(true);
    const std::vector<report::BatchItem> items = dialog.items();
    ASSERT_EQ(items.size(), 3u);
    auto pane = std::make_unique<plm::app::CFiguresPane>();
    pane->printBox()->setChecked(true);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.file("visit.pdf")));
    ASSERT_TRUE(plm::app::printMeasurements(printer, settings(), items, true, nullptr));
    ASSERT_EQ(pdfPages(home.file("visit.pdf")), 1 + 2 * 3);
    std::vector<bool> judgement;
    for (int page = 2; page <= 7; ++page) {
        QProcess text;
        text.start("pdftotext", {"-f", QString::number(page), "-l", QString::number(page),
                                 QString::fromStdString(home.file("visit.pdf")), "-"});
        ASSERT_TRUE(text.waitForFinished(20000));
        judgement.push_back(QString::fromUtf8(text.readAllStandardOutput()).contains("判定結果"));
    }
    EXPECT_EQ(judgement, (std::vector<bool>{false, true, false, true, false, true}));

    QPrinter screen(QPrinter::HighResolution);
    const auto previewPages = [&] {
        int pages = -1;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == "batchPreview") {
                    auto* preview = w->findChild<QPrintPreviewWidget*>();
                    preview->updatePreview();
                    pages = preview->pageCount();
                    w->close();
                }
            }
        });
        plm::app::previewMeasurements(screen, settings(), items, false, nullptr);
        return pages;
    };
    EXPECT_EQ(previewPages(), 6);
    pane->printBox()->setChecked(false);
    EXPECT_EQ(previewPages(), 3);
    pane->printBox()->setChecked(true);
    pane.reset();
    EXPECT_EQ(previewPages(), 3);
}

TEST_F(BatchTest, ASummaryIsNotPrintedWithoutReadableLimits) {
    const std::vector<report::BatchItem> items = report::selectBatch(tree, {{"Tokyo Works"}});
    writeFile(home.file("LIMITS.INI"), "[Limits]\nnonsense\n");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.file("visit.pdf")));
    EXPECT_FALSE(plm::app::printMeasurements(printer, settings(), items, true, nullptr));
    ASSERT_FALSE(prompts.texts().empty());
    EXPECT_EQ(prompts.texts().back().rfind(sj("判定基準ファイルが正しくありません"), 0), 0u)
        << prompts.texts().back();
    EXPECT_FALSE(std::filesystem::exists(home.file("visit.pdf")));
    // Without the summary the limits are not needed.
    EXPECT_TRUE(plm::app::printMeasurements(printer, settings(), items, false, nullptr));
    EXPECT_EQ(pdfPages(home.file("visit.pdf")), 23);
}

TEST_F(BatchTest, MainWindowPrintsEverySelectedMeasurement) {
    ASSERT_TRUE(tree.save(settings().dataFilePath(), plm::app::guiErrorReporter()));
    plm::app::CPLMViewDoc doc(settings());
    plm::app::CMainFrame frame(doc, settings());
    doc.OnNewDocument();
    doc.select(twoSelected);
    QPrinter& printer = frame.printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(home.file("direct.pdf")));
    frame.OnPrintDirect();
    EXPECT_EQ(pdfPages(home.file("direct.pdf")), 2);

    doc.select({"Tokyo Works", "Line 1", "Close", 1});
    frame.OnPrintDirect();
    EXPECT_EQ(pdfPages(home.file("direct.pdf")), 1);
}

}  // namespace
}  // namespace plm::test::app
