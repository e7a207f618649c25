#include "link/transfer_run.h"
#include "support/log_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/data_sheet/add_item.h"
#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/detail_editor.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/data_sheet/mgmt_sheet.h"
#include "app/data_sheet/transfer_page.h"
#include "app/transfer/receive_dialog.h"
#include "chart/qt_text.h"
#include "common/fake_tester.h"
#include "common/fixtures.h"
#include "common/temp_dir.h"
#include "common/transfer_builder.h"
#include "mgmt_fixture.h"
#include "support/paths.h"

namespace plm::test::mgmt {
namespace {

using app::CCommRead;
using app::CPgMstEdit;
using app::SheetMode;
using namespace std::chrono_literals;

std::vector<std::string> lines(const QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i)
        out.push_back(cp(list->item(i)->text()));
    return out;
}

// Keeps the event loop turning until done() or the limit.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::vector<int> dataNos(const model::MeasurementName& n) {
    std::vector<int> out;
    for (const auto& r : n.records)
        out.push_back(r.dataNo);
    return out;
}

// ---- Detail editor ----

TEST_F(MgmtTest, DetailEditorRowsFollowTheChannelCount) {
    model::MeasurementRecord r = datedRecord(1, 1);
    r.cond.weather = sj("雨");
    r.cond.hum = 55.3;
    const auto items = app::detailItems(r, 3);
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(items[4].label, "CH1");
    EXPECT_EQ(items[4].group, sj("2:CH コメント"));
    EXPECT_EQ(items[9].number, 10);
    EXPECT_EQ(items[9].label, sj("湿度(%)"));
    EXPECT_EQ(items[9].value, "55.3");
    EXPECT_EQ(items[7].editor, app::DetailItem::Editor::Choice);
    EXPECT_EQ(app::weatherChoices(),
              (std::vector<std::string>{sj("晴れ"), sj("曇り"), sj("雨"), sj("雷雨"), sj("強風")}));
}

// The editor opens on the value of the row the user points at, whichever
// cell and whichever way, and fits inside that row.
TEST_F(MgmtTest, DetailEditorEditsTheValueOfTheChosenRow) {
    model::MeasurementRecord r = datedRecord(1, 1);
    r.cond.mcNum = "N-7";
    struct Way {
        const char* name;
        std::function<void(app::DetailEditor&, const QModelIndex& label)> act;
        QString text;  // in the open editor afterwards
    };
    const Way ways[] = {
        {"one click on the label",
         [](app::DetailEditor& editor, const QModelIndex& label) {
             const QPoint at = editor.visualRect(label).center();
             const QPointF global = editor.viewport()->mapToGlobal(at);
             QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                               Qt::NoModifier);
             QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                 Qt::NoButton, Qt::NoModifier);
             QCoreApplication::sendEvent(editor.viewport(), &press);
             QCoreApplication::sendEvent(editor.viewport(), &release);
         },
         "N-7"},
        {"F2 on the label",
         [](app::DetailEditor& editor, const QModelIndex& label) {
             editor.setCurrentIndex(label);
             QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
             QCoreApplication::sendEvent(&editor, &f2);
         },
         "N-7"},
        {"F2 on the value",
         [](app::DetailEditor& editor, const QModelIndex& label) {
             editor.setCurrentIndex(label.siblingAtColumn(1));
             QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
             QCoreApplication::sendEvent(&editor, &f2);
         },
         "N-7"},
        {"typing on the label",
         [](app::DetailEditor& editor, const QModelIndex& label) {
             editor.setCurrentIndex(label);
             QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "X");
             QCoreApplication::sendEvent(&editor, &key);
         },
         "X"},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        app::DetailEditor editor;
        editor.resize(320, 600);
        editor.showRecord(r, 3);
        editor.show();
        QCoreApplication::processEvents();
        QTreeWidgetItem* row = editor.valueItem(2);
        const QModelIndex value = editor.indexFromItem(row, 1);

        way.act(editor, editor.indexFromItem(row, 0));
        QCoreApplication::processEvents();
        const auto editors = editor.viewport()->findChildren<QLineEdit*>();
        if (editors.size() != 1) {
            ADD_FAILURE() << editors.size() << " editors open";
            continue;
        }
        EXPECT_EQ(editor.currentIndex(), value);
        EXPECT_EQ(editors.front()->text(), way.text);
        EXPECT_LE(editors.front()->sizeHint().height(), editor.visualRect(value).height());
    }
}

TEST(MgmtDetail, RealNumberFieldsReadTheLeadingNumber) {
    const std::pair<const char*, double> cases[] = {
        {"21.57abc", 21.57}, {" -3.5", -3.5}, {"+2", 2},  {"1e2", 100},
        {"abc", 0},          {"", 0},         {"--1", 0}, {".5", 0.5},
    };
    for (const auto& [text, value] : cases) {
        model::TestConditions c;
        app::applyDetailEdit(c, 8 + 7, 8, text);  // humidity of an 8-channel device
        EXPECT_DOUBLE_EQ(c.hum, value) << text;
    }
}

TEST_F(MgmtTest, EditingAValueSetsEverySelectedMeasurementAndTheDefaults) {
    app::appSettings().deviceTypeIndex = 0;  // three channels
    fillTree();
    for (model::MeasurementRecord& r :
         model::findMeasurementName(tree, "ALPHA", "C1", "N1")->records)
        r.cond.devType = 0;
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    page.selectRecords({0, 1, 2});
    app::DetailEditor* editor = page.detailEditor();
    ASSERT_NE(editor->valueItem(8), nullptr);  // weather of a 3-channel device
    ASSERT_EQ(editor->valueItem(12), nullptr);
    editor->valueItem(8)->setText(1, qsj("曇り"));
    editor->valueItem(9)->setText(1, "21.57abc");
    editor->valueItem(6)->setText(1, qsj("Ｂ相"));

    const model::MeasurementName& n = *model::findMeasurementName(tree, "ALPHA", "C1", "N1");
    for (const auto& r : n.records) {
        EXPECT_EQ(r.cond.weather, sj("曇り"));
        EXPECT_DOUBLE_EQ(r.cond.temp, 21.57);
        EXPECT_EQ(r.cond.chComment[1], sj("Ｂ相"));
    }
    const settings::AppSettings& s = app::appSettings();
    EXPECT_EQ(s.defWeather, sj("曇り"));
    EXPECT_EQ(s.defTemp, "21.6");
    EXPECT_EQ(s.defChComment[1], sj("Ｂ相"));
    EXPECT_EQ(s.defDevType, sj("３ＣＨ"));
    EXPECT_EQ(s.defSesshoku[0], "0.0");
    EXPECT_EQ(editor->valueItem(9)->text(1).toStdString(), "21.6");
    EXPECT_EQ(cp(page.recordModel()->index(2, 12).data().toString()), sj("曇り"));

    // Display mode: nothing is editable.
    CPgMstEdit display(SheetMode::Display, settings(), tree, {"ALPHA", "C1", "N1", 0});
    EXPECT_FALSE(display.detailEditor()->valueItem(1)->flags() & Qt::ItemIsEditable);
}

// ---- Registering transferred measurements ----

class MgmtRegisterTest : public MgmtTest {
  protected:
    void SetUp() override {
        fillTree();
        page = std::make_unique<CPgMstEdit>(SheetMode::Transfer, settings(), tree,
                                            app::Selection{"ALPHA", "C1", "N1", 0});
        // Received: day 2 at 12:00, day 4, day 0 (the last of the previous month).
        page->transferPage()->setReceived(
            {datedRecord(2, 12, 7), datedRecord(4, 8, 8), datedRecord(1, 5, 9)});
        old = *model::findMeasurementName(tree, "ALPHA", "C1", "N1");
        old.records.at(0).cond.mcType = "OLD";
        model::findMeasurementName(tree, "ALPHA", "C1", "N1")->records.at(0).cond.mcType = "OLD";
    }
    void tick(std::initializer_list<int> rows) {
        QAbstractItemModel* m = page->transferPage()->listModel();
        for (int row : rows)
            m->setData(m->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
    model::MeasurementName& target() {
        return *model::findMeasurementName(tree, "ALPHA", "C1", "N1");
    }
    int transferRows() const { return page->transferPage()->listModel()->rowCount(); }

    std::unique_ptr<CPgMstEdit> page;
    model::MeasurementName old;
};

TEST_F(MgmtRegisterTest, YesReplacesKeepingTheFirstOldConditions) {
    tick({0, 2});
    prompts.queueAnswer(ui::Answer::Yes);
    page->button(CPgMstEdit::Register)->click();
    ASSERT_EQ(prompts.texts().size(), 1u);
    EXPECT_EQ(prompts.texts()[0].substr(0, sj("現在選択している").size()), sj("現在選択している"));
    // Enter on this question must not erase what is filed.
    EXPECT_EQ(prompts.shown()[0].byDefault, ui::Answer::Cancel);
    ASSERT_EQ(target().records.count(), 2);
    EXPECT_EQ(dataNos(target()), (std::vector<int>{1, 2}));
    EXPECT_EQ(target().records.at(0).testDateTime, datedRecord(1, 5).testDateTime);
    for (const auto& r : target().records)
        EXPECT_EQ(r.cond.mcType, "OLD");
    // The registered rows leave the transfer list; the page shows the new list.
    EXPECT_EQ(transferRows(), 1);
    EXPECT_EQ(page->recordModel()->rowCount(), 2);
}

TEST_F(MgmtRegisterTest, NoMergesByDateAndRenumbers) {
    tick({0, 1});
    prompts.queueAnswer(ui::Answer::No);
    page->button(CPgMstEdit::Register)->click();
    ASSERT_EQ(target().records.count(), 5);
    EXPECT_EQ(dataNos(target()), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(target().records.at(2).testDateTime, datedRecord(2, 12).testDateTime);
    EXPECT_EQ(target().records.at(4).testDateTime, datedRecord(4, 8).testDateTime);
    EXPECT_EQ(target().records.at(2).cond.mcType, "OLD");
}

TEST_F(MgmtRegisterTest, AppendingWhatIsFiledAlreadyAsksFirst) {
    const std::string question =
        sj("追加する測定データは全て既に登録されています\n重複して登録しますか？");
    tick({0, 1});
    prompts.queueAnswer(ui::Answer::No);
    page->button(CPgMstEdit::Register)->click();
    ASSERT_EQ(target().records.count(), 5);

    // The same two again, from a second reading of the same transfer.
    page->transferPage()->setReceived(
        {datedRecord(2, 12, 7), datedRecord(4, 8, 8), datedRecord(1, 5, 9)});
    tick({0, 1});
    prompts.clear();
    prompts.queueAnswer(ui::Answer::No);  // append
    prompts.queueNo();                    // but not twice
    page->button(CPgMstEdit::Register)->click();
    ASSERT_EQ(prompts.texts().size(), 2u);
    EXPECT_EQ(prompts.texts()[1], question);
    EXPECT_EQ(target().records.count(), 5);
    EXPECT_EQ(transferRows(), 3) << "nothing registered, nothing leaves the list";

    prompts.clear();
    prompts.queueAnswer(ui::Answer::No);
    prompts.queueYes();
    page->button(CPgMstEdit::Register)->click();
    EXPECT_EQ(target().records.count(), 7) << "the user's choice";

    // One of them new: no second question.
    page->transferPage()->setReceived({datedRecord(2, 12, 7), datedRecord(6, 8, 10)});
    tick({0, 1});
    prompts.clear();
    prompts.queueAnswer(ui::Answer::No);
    page->button(CPgMstEdit::Register)->click();
    EXPECT_EQ(prompts.texts().size(), 1u);
    EXPECT_EQ(target().records.count(), 9);

    // Replacing never asks: the old ones go.
    page->transferPage()->setReceived({datedRecord(2, 12, 7)});
    tick({0});
    prompts.clear();
    prompts.queueAnswer(ui::Answer::Yes);
    page->button(CPgMstEdit::Register)->click();
    EXPECT_EQ(prompts.texts().size(), 1u);
    EXPECT_EQ(target().records.count(), 1);
    EXPECT_TRUE(prompts.problems().empty());
}

TEST_F(MgmtRegisterTest, CancelNothingTickedAndNoNameChangeNothing) {
    tick({0});
    prompts.queueAnswer(ui::Answer::Cancel);
    page->button(CPgMstEdit::Register)->click();
    EXPECT_EQ(target().records, old.records);

    // Nothing ticked, even after agreeing to replace: refused, nothing deleted.
    page->transferPage()->listModel()->setTicked(0, false);
    prompts.queueAnswer(ui::Answer::Yes);
    page->button(CPgMstEdit::Register)->click();
    EXPECT_EQ(prompts.texts().back(), sj("登録する転送データをチェックしてください"));
    EXPECT_EQ(target().records, old.records);
    EXPECT_EQ(transferRows(), 3);

    page->selectCircuit(1);  // a circuit without names
    tick({1});
    page->button(CPgMstEdit::Register)->click();
    EXPECT_EQ(prompts.texts().back(), sj("登録する測定データ名称を選んでください"));
    EXPECT_EQ(transferRows(), 3);
    EXPECT_TRUE(prompts.problems().empty());
}

TEST_F(MgmtRegisterTest, EmptyNameTakesWholeNumbersOfTheDefaults) {
    app::appSettings().defSesshoku = {"12.7", "abc", "-3"};
    app::appSettings().defVacuum = {"1e2", "", "7"};
    page->selectName(1);  // N2, empty
    tick({1});
    page->button(CPgMstEdit::Register)->click();
    const model::MeasurementName& n2 = *model::findMeasurementName(tree, "ALPHA", "C1", "N2");
    ASSERT_EQ(n2.records.count(), 1);
    EXPECT_TRUE(prompts.texts().empty());  // no question for an empty name
    EXPECT_EQ(n2.records.at(0).cond.sesshoku, (std::array<double, 3>{12, 0, -3}));
    EXPECT_EQ(n2.records.at(0).cond.vacuum, (std::array<double, 3>{1, 0, 7}));
    EXPECT_EQ(n2.records.at(0).dataNo, 1);
}

// ---- Receive dialog ----

class MgmtReceiveTest : public MgmtTest {
  protected:
    // Runs the dialog modally; `during` runs inside once it is open.
    int run(CCommRead& dialog, std::function<void(CCommRead*)> during = {}) {
        if (during)
            onNextModal<CCommRead>(during);
        return dialog.exec();
    }
};

TEST_F(MgmtReceiveTest, CapturedFileCompletesWithOk) {
    CCommRead dialog(settings(), tree.lineSettings);
    dialog.setFile(dataPath("capture_two.txt"));
    EXPECT_EQ(dialog.statusLine()->text(), QString());  // nothing until the first status text
    EXPECT_FALSE(dialog.showCollected());
    ASSERT_EQ(run(dialog), QDialog::Accepted);
    ASSERT_EQ(dialog.results().size(), 2u);
    EXPECT_EQ(dialog.results()[1].dataNo, 8);
    const auto shown = lines(dialog.progressList());
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown.front().substr(0, sj("ファイルオープン:").size()), sj("ファイルオープン:"));
    EXPECT_EQ(shown.back(), sj("後処理中...しばらくお待ちください"));
    EXPECT_EQ(cp(dialog.statusLine()->text()), shown.back());
    EXPECT_FALSE(dialog.animating());
    EXPECT_TRUE(dialog.collectedBox()->isChecked());
}

// Column titles and progress lines are shown whole: columns are at least as
// wide as their titles, and the progress list is as wide as its longest line
// (a hexadecimal block line, far longer than the first progress text).
TEST_F(MgmtReceiveTest, TitlesAndLinesAreNotCut) {
    const auto fits = [](const QTreeView* view, int left) {
        const QHeaderView* header = view->header();
        for (int c = 0; c < header->count(); ++c) {
            const QString title = view->model()->headerData(c, Qt::Horizontal).toString();
            const QStringList parts = title.split('\n');
            for (const QString& part : parts) {
                const int needed =
                    header->fontMetrics().horizontalAdvance(part) + (parts.size() == 1 ? left : 0);
                EXPECT_GE(header->sectionSize(c), needed) << title.toStdString();
            }
        }
    };
    fillTree();
    // Every optional column shown: the designed widths are at their narrowest.
    CPgMstEdit page(SheetMode::Transfer, settings(), tree, {"ALPHA", "C1", "N1", 0});
    fits(page.recordList(), 10);
    fits(page.transferPage()->list(), 0);

    TempDir dir;
    writeFile(dir.file("c.txt"), readFile(dataPath("capture_two.txt")));
    CCommRead dialog(settings(), tree.lineSettings);
    dialog.setFile(dir.file("c.txt"));
    ASSERT_EQ(run(dialog), QDialog::Accepted);
    QListWidget* list = dialog.progressList();
    list->doItemsLayout();
    int longest = 0;
    for (int row = 0; row < list->count(); ++row) {
        const int advance = list->fontMetrics().horizontalAdvance(list->item(row)->text());
        longest = std::max(longest, advance);
        EXPECT_GE(list->visualItemRect(list->item(row)).width(), advance)
            << list->item(row)->text().toStdString();
    }
    EXPECT_GT(longest, list->fontMetrics().horizontalAdvance(list->item(0)->text()));
}

TEST_F(MgmtReceiveTest, FailedReadStaysOpenUntilCancelled) {
    TempDir dir;
    struct LogGuard {
        explicit LogGuard(const std::string& base) { support::AppLog().setLog(base); }
        ~LogGuard() { support::AppLog().setLog(""); }
    } logGuard(dir.file("APP"));
    for (const std::string& file : {dataPath("capture_bad_end.txt"), dir.file("missing.txt")}) {
        CCommRead dialog(settings(), tree.lineSettings);
        dialog.setFile(file);
        std::vector<std::string> seen;
        bool stayedOpen = false;
        const int result = run(dialog, [&](CCommRead* d) {
            waitFor([d] { return !d->running(); });
            // Enter must not close it; only "中断／戻る" does.
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(d, &enter);
            waitFor([] { return false; }, 50ms);
            stayedOpen = d->isVisible();
            seen = lines(d->progressList());
            EXPECT_EQ(cp(d->statusLine()->text()), sj("受信処理で問題が発生しました"));
            EXPECT_FALSE(d->animating());
            d->cancelButton()->click();
        });
        EXPECT_TRUE(stayedOpen) << file;
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_TRUE(dialog.results().empty());
        ASSERT_GE(seen.size(), 2u);
        EXPECT_NE(seen.back(), sj("後処理中...しばらくお待ちください"));
    }
    // Error texts reach the application log, progress texts do not.
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        log += readFile(entry.path().string());
    EXPECT_NE(log.find(sj("ファイルが存在しません:")), std::string::npos);
    EXPECT_EQ(log.find(sj("ファイル読み込み中...")), std::string::npos);
}

TEST_F(MgmtReceiveTest, CancelOnASilentLineEndsPromptlyAndClosesIt) {
    FakeTester tester;
    CCommRead dialog(settings(), tree.lineSettings);
    dialog.setDevice(tester.device());
    std::chrono::steady_clock::duration took{};
    const int result = run(dialog, [&](CCommRead* d) {
        ASSERT_TRUE(tester.waitForOpen());
        const std::string waiting = sj("機器からのデータ送信待ち");
        EXPECT_TRUE(waitFor([d, &waiting] {
            const auto shown = lines(d->progressList());
            return std::find(shown.begin(), shown.end(), waiting) != shown.end();
        }));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Enter, Qt::NoModifier);
        QCoreApplication::sendEvent(d, &enter);
        EXPECT_TRUE(d->running());
        const auto start = std::chrono::steady_clock::now();
        d->cancelButton()->click();
        took = std::chrono::steady_clock::now() - start;
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(dialog.results().empty());
    EXPECT_LT(took, 1s);
    EXPECT_FALSE(dialog.running());
    // The line is closed: the slave can be locked again.
    const int fd = ::open(tester.device().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}

TEST_F(MgmtReceiveTest, TransferFromTheTesterIntoTheTree) {
    TempDir home;
    ProgramFolderGuard folder(home.path().string());
    FakeTester tester;
    writeFile(home.file("PLMView.INI"), "[Ports]\nCOM3=" + tester.device() + "\n");
    fillTree();
    tree.lineSettings.port = 3;
    CPgMstEdit page(SheetMode::Transfer, settings(), tree, {"ALPHA", "C1", "N2", -1});

    // The largest measurement the protocol carries (5 s at 100 us) and a small one.
    std::vector<model::MeasurementRecord> sent = {makeRecord(41, 4, 0), makeRecord(42, 0, 1)};
    sent[0].testDateTime = datedRecord(9, 9).testDateTime;
    setChannel(sent[0], 0, 0, {100, 40000});
    int ticksSeen = 0;
    onNextModal<CCommRead>([&](CCommRead* d) {
        ASSERT_TRUE(tester.waitForOpen());
        tester.send(streamBytes(transferBlocks(sent)), 230400);
        // The window keeps handling events while the samples arrive.
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] { ++ticksSeen; });
        beat.start(20);
        waitFor([d] { return !d->isVisible(); }, 15000ms);
    });
    page.button(CPgMstEdit::StartTransfer)->click();
    tester.finish();
    EXPECT_GT(ticksSeen, 10);

    app::TransferListModel* list = page.transferPage()->listModel();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->records()[0].contacts, sent[0].contacts);
    EXPECT_EQ(page.transferPage()->list()->selectionModel()->currentIndex().row(), 0);
    list->setData(list->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    list->setData(list->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    page.button(CPgMstEdit::Register)->click();

    const model::MeasurementName& n2 = *model::findMeasurementName(tree, "ALPHA", "C1", "N2");
    ASSERT_EQ(n2.records.count(), 2);
    EXPECT_EQ(n2.records.at(1).contacts, sent[0].contacts);
    EXPECT_EQ(dataNos(n2), (std::vector<int>{1, 2}));
    EXPECT_EQ(list->rowCount(), 0);
    EXPECT_EQ(page.recordModel()->rowCount(), 2);
}

// The tester on COM3 of a fresh program folder, which also holds the journal.
class MgmtLineTest : public MgmtReceiveTest {
  protected:
    MgmtLineTest() {
        writeFile(home.file("PLMView.INI"), "[Ports]\nCOM3=" + tester.device() + "\n");
        tree.lineSettings.port = 3;
    }

    // Sends `bytes` and, once the line has taken them, goes away like an unplugged tester.
    void sendAndHangUp(const Bytes& bytes, int baud) {
        tester.send(bytes, baud);
        tester.finish();
        waitFor([] { return false; }, 300ms);
        tester.hangUp();
    }

    TempDir home;
    ProgramFolderGuard folder{home.path().string()};
    FakeTester tester;
};

// Four measurements of 1001 samples; `whole` of them and `extra` bytes of the next.
Bytes partOfFour(size_t whole, size_t extra, std::vector<model::MeasurementRecord>& records) {
    records.clear();
    for (int i = 0; i < 4; ++i) {
        records.push_back(makeRecord(51 + i, 3, 1));
        records.back().testDateTime = datedRecord(10 + i, 9).testDateTime;
        setChannel(records.back(), i, 0, {20, 600});
    }
    const auto blocks = transferBlocks(records);
    Bytes out;
    for (size_t i = 0; i <= whole; ++i) {
        const Bytes one = streamBytes({blocks[i]});
        out.insert(out.end(), one.begin(), one.begin() + (i < whole ? one.size() : extra));
    }
    return out;
}

TEST_F(MgmtLineTest, ProgressMovesWhileTheWindowStaysResponsiveAtTheFastestLineRate) {
    // Two of the largest measurements (5 s at 100 us) at 256000 baud, the fastest setting.
    std::vector<model::MeasurementRecord> sent = {makeRecord(41, 4, 0), makeRecord(42, 4, 0)};
    CCommRead dialog(settings(), tree.lineSettings);
    int ticks = 0;
    std::vector<int> values;
    std::vector<std::string> figures;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        ++ticks;
        if (values.empty() || values.back() != dialog.progressBar()->value())
            values.push_back(dialog.progressBar()->value());
        const std::string text = cp(dialog.figuresLabel()->text());
        if (figures.empty() || figures.back() != text)
            figures.push_back(text);
    });
    std::chrono::steady_clock::duration took{};
    const int result = run(dialog, [&](CCommRead*) {
        ASSERT_TRUE(tester.waitForOpen());
        const auto start = std::chrono::steady_clock::now();
        beat.start(20);
        tester.send(streamBytes(transferBlocks(sent)), 256000);
        waitFor([&dialog] { return !dialog.isVisible(); }, 15000ms);
        took = std::chrono::steady_clock::now() - start;
    });
    beat.stop();
    ASSERT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.results().size(), 2u);
    // The timer kept ticking at least every other beat the whole time.
    EXPECT_GT(ticks, took / 40ms) << ticks;
    // The bar rose through each measurement to its announced length.
    EXPECT_GE(values.size(), 6u);
    EXPECT_EQ(dialog.progressBar()->maximum(), 36 + 50001);
    EXPECT_EQ(dialog.progressBar()->value(), dialog.progressBar()->maximum());
    // About four figures a second: no flood, however fast the line.
    EXPECT_LE(figures.size(), took / 250ms + 3);
    EXPECT_TRUE(std::any_of(figures.begin(), figures.end(), [](const std::string& t) {
        return t.find(sj("バイト/秒")) != std::string::npos &&
               t.find(sj("残り約")) != std::string::npos;
    }));
    EXPECT_NE(cp(dialog.figuresLabel()->text()).find(sj("受信完了 2 件")), std::string::npos);
    const std::string journal = cp(dialog.journalLabel()->text());
    EXPECT_EQ(
        journal.rfind(sj("受信記録ファイル:") + support::fromFsPath(home.file("JOURNAL/RECV_")), 0),
        0u)
        << support::toUtf8(journal);
}

// Unticked, the list keeps the status texts and leaves out every block's
// texts and dumps; the flag follows the box.
TEST_F(MgmtLineTest, UntickedCollectedDataListsOnlyTheStatusTexts) {
    std::vector<model::MeasurementRecord> sent;
    const Bytes bytes = partOfFour(3, 0, sent);
    CCommRead dialog(settings(), tree.lineSettings);
    bool flagAfterClick = true;
    const int result = run(dialog, [&](CCommRead* d) {
        ASSERT_TRUE(tester.waitForOpen());
        EXPECT_TRUE(d->showCollected());
        d->collectedBox()->click();
        flagAfterClick = d->showCollected();
        sendAndHangUp(bytes, 115200);
        EXPECT_TRUE(waitFor([d] { return !d->running(); }));
        d->cancelButton()->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_FALSE(flagAfterClick);
    EXPECT_FALSE(dialog.collectedBox()->isChecked());
    EXPECT_EQ(lines(dialog.progressList()),
              (std::vector<std::string>{sj("シリアルポートオープン"),
                                        sj("機器からのデータ送信待ち"), sj("受信処理中..."),
                                        sj("通信異常 [-1]"), sj("シリアルポートクローズ")}));
    EXPECT_EQ(dialog.takeInterrupted().size(), 3u);
}

// The line waits without a timeout; once it has been silent a while the
// figures say so in place of a rate, and name the way out. A stop then is
// journaled as a stop, not as a failure of the line.
TEST_F(MgmtLineTest, SilentLineIsShownAndCancelIsJournaledAsStopped) {
    std::vector<model::MeasurementRecord> sent;
    const Bytes bytes = partOfFour(1, 36 + 500, sent);
    CCommRead dialog(settings(), tree.lineSettings);
    dialog.setSilenceShown(300ms);
    std::string said;
    const int result = run(dialog, [&](CCommRead* d) {
        ASSERT_TRUE(tester.waitForOpen());
        tester.send(bytes, 115200);
        EXPECT_TRUE(waitFor([d] {
            return cp(d->figuresLabel()->text()).find(sj("秒間データが届いていません")) !=
                   std::string::npos;
        }));
        said = cp(d->figuresLabel()->text());
        d->cancelButton()->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(said.rfind(sj("測定データ 2 件目: 536 / 1037 バイト\n受信完了 1 件　"), 0), 0u)
        << support::toUtf8(said);
    EXPECT_EQ(said.find(sj("バイト/秒")), std::string::npos);
    EXPECT_NE(said.find(sj("\n中止するには「中断／戻る」を押してください")), std::string::npos);
    EXPECT_EQ(dialog.takeInterrupted().size(), 1u);

    std::vector<std::string> journals;
    for (const auto& e : std::filesystem::directory_iterator(home.file("JOURNAL")))
        journals.push_back(e.path().string());
    ASSERT_EQ(journals.size(), 1u);
    const std::string journal = readFile(journals[0]);
    EXPECT_EQ(journal.substr(journal.size() - 16), "; end: stopped\r\n");
}

TEST_F(MgmtLineTest, LineCutAfterTheSecondOfFourLeavesTwoToRegister) {
    fillTree();
    CPgMstEdit page(SheetMode::Transfer, settings(), tree, {"ALPHA", "C1", "N2", -1});
    std::vector<model::MeasurementRecord> sent;
    const Bytes bytes = partOfFour(2, 400, sent);
    std::string said;
    onNextModal<CCommRead>([&](CCommRead* d) {
        ASSERT_TRUE(tester.waitForOpen());
        sendAndHangUp(bytes, 115200);
        EXPECT_TRUE(waitFor(
            [d] { return cp(d->statusLine()->text()) == sj("受信処理で問題が発生しました"); }));
        said = cp(d->figuresLabel()->text());
        d->cancelButton()->click();
    });
    page.button(CPgMstEdit::StartTransfer)->click();
    EXPECT_EQ(said,
              sj("転送は中断されました。完全に受信した測定データ 2 件を転送リストに表示します"));

    app::TransferPage* transfer = page.transferPage();
    app::TransferListModel* list = transfer->listModel();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_TRUE(list->interrupted());
    EXPECT_EQ(list->records()[0], sent[0]);
    EXPECT_EQ(list->records()[1], sent[1]);
    EXPECT_FALSE(transfer->interruptedNotice()->isHidden());
    EXPECT_EQ(cp(transfer->interruptedNotice()->text()),
              sj("中断された転送で完全に受信した測定データが 2 件あります"));
    list->setData(list->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    list->setData(list->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    page.button(CPgMstEdit::Register)->click();
    const model::MeasurementName& n2 = *model::findMeasurementName(tree, "ALPHA", "C1", "N2");
    ASSERT_EQ(n2.records.count(), 2);
    EXPECT_EQ(n2.records.at(1).contacts, sent[1].contacts);
    EXPECT_TRUE(transfer->interruptedNotice()->isHidden());
}

TEST_F(MgmtLineTest, CancelInTheMiddleOfABlockOffersOnlyEarlierWholeOnes) {
    CPgMstEdit page(SheetMode::Transfer, settings(), tree, {});
    std::vector<model::MeasurementRecord> sent;
    const Bytes bytes = partOfFour(1, 36 + 500, sent);
    onNextModal<CCommRead>([&](CCommRead* d) {
        ASSERT_TRUE(tester.waitForOpen());
        tester.send(bytes, 115200);
        EXPECT_TRUE(waitFor([d] {
            return cp(d->figuresLabel()->text()).find(sj("測定データ 2 件目")) != std::string::npos;
        }));
        d->cancelButton()->click();
    });
    page.button(CPgMstEdit::StartTransfer)->click();
    app::TransferListModel* list = page.transferPage()->listModel();
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_TRUE(list->interrupted());
    EXPECT_EQ(list->records()[0], sent[0]);
}

TEST_F(MgmtReceiveTest, ACutCaptureReadFromFileOffersItsWholeMeasurements) {
    std::vector<model::MeasurementRecord> records;
    partOfFour(3, 0, records);
    auto blocks = transferBlocks(records);
    blocks[2].contacts.resize(10);  // a journal of a line cut in the third samples
    blocks.pop_back();
    TempDir dir;
    writeFile(dir.file("cut.txt"), capturedText(blocks));
    CPgMstEdit page(SheetMode::Transfer, settings(), tree, {});
    prompts.queuePath(support::fromFsPath(dir.file("cut.txt")));
    onNextModal<CCommRead>([&](CCommRead* d) {
        EXPECT_TRUE(waitFor(
            [d] { return cp(d->statusLine()->text()) == sj("受信処理で問題が発生しました"); }));
        d->cancelButton()->click();
    });
    page.button(CPgMstEdit::ReadFile)->click();
    app::TransferListModel* list = page.transferPage()->listModel();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_TRUE(list->interrupted());
    EXPECT_EQ(list->records()[1], records[1]);
}

TEST_F(MgmtReceiveTest, FileReadThroughThePage) {
    fillTree();
    CPgMstEdit page(SheetMode::Transfer, settings(), tree, {"ALPHA", "C1", "N2", -1});
    prompts.queuePath(std::nullopt);
    page.button(CPgMstEdit::ReadFile)->click();
    EXPECT_EQ(page.transferPage()->listModel()->rowCount(), 0);
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, sj("計測データファイルを開く"));

    prompts.queuePath(dataPath("capture_two.txt"));
    page.button(CPgMstEdit::ReadFile)->click();
    EXPECT_EQ(page.transferPage()->listModel()->rowCount(), 2);
    EXPECT_EQ(page.transferPage()->listModel()->tickedRows(), std::vector<int>{});
}

// A captured transfer dropped on the main window: the sheet opens reading it.
TEST_F(MgmtReceiveTest, TransferSheetOpensReadingTheFileItIsGiven) {
    app::MgmtSheet sheet(settings());
    sheet.readOnOpen(dataPath("capture_two.txt"));
    int rows = -1;
    // The sheet is closed from the event loop once its list is filled: the
    // receive dialog runs its own loop inside the sheet's.
    QTimer poll;
    const auto end = std::chrono::steady_clock::now() + 10s;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<app::MgmtSheetDialog*>(QApplication::activeModalWidget());
        if (!d)
            return;
        rows = d->page()->transferPage()->listModel()->rowCount();
        if (rows == 2 || std::chrono::steady_clock::now() > end)
            d->done(QDialog::Rejected);
    });
    poll.start(5);
    app::Selection selection;
    EXPECT_FALSE(sheet.run(SheetMode::Transfer, tree, selection, nullptr));
    EXPECT_EQ(rows, 2);
}

}  // namespace
}  // namespace plm::test::mgmt

namespace plm::test::mgmt {
namespace {

struct FailOnReport : model::ErrorReporter {
    void report(const std::string& text, model::MessageIcon) override {
        ADD_FAILURE() << support::toUtf8(text);
    }
};

// A new user's first session from the sheet alone: names, a file read,
// registering, conditions; the saved data file gives it all back.
TEST_F(MgmtTest, FirstSessionSurvivesSaveAndLoad) {
    TempDir dir;
    CPgMstEdit page(SheetMode::Transfer, settings(), tree, {});
    for (auto [id, name] :
         {std::pair{CPgMstEdit::AddCustomer, "ACME"}, std::pair{CPgMstEdit::AddCircuit, "LINE-1"},
          std::pair{CPgMstEdit::AddName, "MONTHLY"}}) {
        onNextModal<app::CAddItem>([name](app::CAddItem* d) {
            d->nameEdit()->setText(name);
            d->accept();
        });
        page.button(id)->click();
    }
    prompts.queuePath(dataPath("capture_two.txt"));
    page.button(CPgMstEdit::ReadFile)->click();
    app::TransferListModel* list = page.transferPage()->listModel();
    ASSERT_EQ(list->rowCount(), 2);
    list->setData(list->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    page.button(CPgMstEdit::Register)->click();
    page.detailEditor()->valueItem(1)->setText(1, "VCB-7.2");
    const app::Selection out = page.selectionOut();
    EXPECT_EQ((app::Selection{"ACME", "LINE-1", "MONTHLY", 0}), out);

    FailOnReport reporter;
    ASSERT_TRUE(tree.save(dir.file("QBX.DAT"), reporter));
    model::CustomerTree loaded;
    ASSERT_TRUE(loaded.load(dir.file("QBX.DAT"), reporter));
    const model::MeasurementName* n =
        model::findMeasurementName(loaded, out.customer, out.circuit, out.name);
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(n->records.count(), 1);
    EXPECT_EQ(n->records.at(0).dataNo, 1);
    EXPECT_EQ(n->records.at(0).cond.mcType, "VCB-7.2");
    EXPECT_EQ(n->records.at(0).contacts.size(), 51u);
}

}  // namespace
}  // namespace plm::test::mgmt
