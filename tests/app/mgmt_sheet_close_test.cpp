#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QWindow>

#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/detail_editor.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/data_sheet/mgmt_sheet.h"
#include "app/data_sheet/transfer_page.h"
#include "chart/qt_text.h"
#include "common/temp_dir.h"
#include "mgmt_fixture.h"

namespace plm::test::mgmt {
namespace {

using app::CPgMstEdit;
using app::MgmtSheetDialog;
using app::SheetMode;
using Kind = ScriptedPrompter::Kind;

const std::string& questionForTwo() {
    return sj(
        "登録していない転送データが 2 件あります\n"
        "登録せずに閉じると，これらのデータは失われます\n"
        "閉じてもよろしいですか");
}

void pressEnter(QWidget* target) {
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// The commit of a cell edit and the rename it asks for are both queued.
void settle() {
    for (int round = 0; round < 3; ++round)
        QCoreApplication::processEvents();
}

void pressEscape(QWidget* target) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(target, &escape);
}

// The window manager's close: QWindow::close() would count as the program's own.
void closeFromWindowManager(MgmtSheetDialog& sheet) {
    QCloseEvent close;
    QApplication::sendEvent(sheet.windowHandle(), &close);
}

class MgmtSheetCloseTest : public MgmtTest {
  protected:
    void SetUp() override { fillTree(); }

    // A transfer-mode sheet on the screen with two received measurements,
    // marked as what was left of an interrupted transfer.
    std::unique_ptr<MgmtSheetDialog> openTransferSheet() {
        auto sheet = std::make_unique<MgmtSheetDialog>(SheetMode::Transfer, settings(), tree,
                                                       app::Selection{"ALPHA", "C1", "N1", 0});
        sheet->page()->transferPage()->setReceived({datedRecord(2, 12, 7), datedRecord(4, 8, 8)},
                                                   true);
        sheet->show();
        QCoreApplication::processEvents();
        return sheet;
    }
    static int received(const MgmtSheetDialog& sheet) {
        return sheet.page()->transferPage()->listModel()->rowCount();
    }
};

// Every way the user closes the sheet asks while received measurements are
// unregistered; No (the default) keeps the sheet and its list, Yes closes.
TEST_F(MgmtSheetCloseTest, ClosingWithUnregisteredMeasurementsAsksAndNoKeepsThem) {
    struct Way {
        const char* name;
        std::function<void(MgmtSheetDialog&)> close;
        QDialog::DialogCode result;
    } ways[] = {
        {"OK", [](MgmtSheetDialog& s) { s.okButton()->click(); }, QDialog::Accepted},
        {"Cancel", [](MgmtSheetDialog& s) { s.cancelButton()->click(); }, QDialog::Rejected},
        {"Escape", [](MgmtSheetDialog& s) { pressEscape(&s); }, QDialog::Rejected},
        {"window close", closeFromWindowManager, QDialog::Rejected},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        prompts.clear();
        auto sheet = openTransferSheet();

        prompts.queueNo();
        way.close(*sheet);
        QCoreApplication::processEvents();
        ASSERT_EQ(prompts.shown().size(), 1u);
        EXPECT_EQ(prompts.shown()[0].kind, Kind::YesNo);
        EXPECT_EQ(prompts.shown()[0].text, questionForTwo());
        EXPECT_EQ(prompts.shown()[0].byDefault, ui::Answer::No);
        EXPECT_TRUE(sheet->isVisible());
        EXPECT_EQ(received(*sheet), 2);
        EXPECT_TRUE(sheet->page()->transferPage()->interruptedNotice()->isVisible());

        prompts.queueYes();
        way.close(*sheet);
        QCoreApplication::processEvents();
        EXPECT_FALSE(sheet->isVisible());
        EXPECT_EQ(sheet->result(), way.result);
        EXPECT_TRUE(prompts.problems().empty());
    }
}

TEST_F(MgmtSheetCloseTest, NothingLeftToRegisterOrNotTransferModeClosesWithoutAsking) {
    // Everything registered: OK closes at once.
    auto sheet = openTransferSheet();
    QAbstractItemModel* list = sheet->page()->transferPage()->listModel();
    for (int row = 0; row < 2; ++row)
        list->setData(list->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    prompts.queueNo();  // keep the filed measurements
    sheet->page()->button(CPgMstEdit::Register)->click();
    ASSERT_EQ(received(*sheet), 0);
    prompts.clear();
    sheet->okButton()->click();
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_TRUE(prompts.shown().empty());

    // Edit mode holds no received measurements to lose.
    MgmtSheetDialog edit(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    edit.show();
    edit.cancelButton()->click();
    EXPECT_FALSE(edit.isVisible());
    EXPECT_TRUE(prompts.shown().empty());

    // The program closing the sheet on its way out cannot wait for an answer.
    auto ending = openTransferSheet();
    ending->close();
    EXPECT_FALSE(ending->isVisible());
    EXPECT_TRUE(prompts.shown().empty());
}

// A new transfer or file read would replace the list: it asks the same way first.
TEST_F(MgmtSheetCloseTest, ANewReceiveAsksBeforeReplacingUnregisteredMeasurements) {
    auto sheet = openTransferSheet();
    CPgMstEdit* page = sheet->page();
    const std::string question =
        sj("登録していない転送データが 2 件あります\n"
           "新たに読み込むと，これらのデータは失われます\n"
           "読み込んでもよろしいですか");
    for (auto id : {CPgMstEdit::StartTransfer, CPgMstEdit::ReadFile}) {
        prompts.clear();
        prompts.queueNo();
        page->button(id)->click();
        ASSERT_EQ(prompts.shown().size(), 1u) << id;
        EXPECT_EQ(prompts.shown()[0].text, question);
        EXPECT_EQ(prompts.shown()[0].byDefault, ui::Answer::No);
        EXPECT_EQ(received(*sheet), 2);
    }

    // Yes: the file's measurements take the place of the interrupted ones.
    prompts.clear();
    prompts.queueYes();
    prompts.queuePath(dataPath("capture_two.txt"));
    page->button(CPgMstEdit::ReadFile)->click();
    EXPECT_EQ(received(*sheet), 2);
    EXPECT_FALSE(page->transferPage()->listModel()->interrupted());
    EXPECT_TRUE(prompts.problems().empty());
}

// Enter anywhere in the sheet, a focused button included, neither closes it
// nor presses anything that could empty the transfer list.
TEST_F(MgmtSheetCloseTest, StrayEnterNeverClosesTheSheetNorLosesTheList) {
    auto sheet = openTransferSheet();
    CPgMstEdit* page = sheet->page();
    std::vector<QWidget*> targets = {sheet.get(), page->transferPage()->list(), page->recordList(),
                                     page->nameList(2), page->detailEditor()};
    for (QPushButton* b : sheet->findChildren<QPushButton*>()) {
        EXPECT_FALSE(b->isDefault() || b->autoDefault()) << cp(b->text());
        targets.push_back(b);
    }
    for (QWidget* target : targets) {
        pressEnter(target);
        // A cell editor that Enter opened takes the next Enter and commits.
        if (auto* view = qobject_cast<QAbstractItemView*>(target)) {
            if (QWidget* editor = view->indexWidget(view->currentIndex()))
                pressEnter(editor);
        }
        QCoreApplication::processEvents();
        EXPECT_TRUE(sheet->isVisible()) << target->metaObject()->className();
        EXPECT_EQ(received(*sheet), 2) << target->metaObject()->className();
    }
    EXPECT_TRUE(prompts.shown().empty());
}

TEST_F(MgmtSheetCloseTest, EnterStartsAndCommitsACellEditInEditMode) {
    MgmtSheetDialog sheet(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    sheet.show();
    QTreeView* customers = sheet.page()->nameList(0);

    pressEnter(customers);
    auto* editor = qobject_cast<QLineEdit*>(customers->indexWidget(customers->currentIndex()));
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("AARDVARK"));
    pressEnter(editor);
    settle();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(tree.customers.at(0).name, "AARDVARK");

    // The detail editor: Enter on a row edits its value, Enter again commits it.
    app::DetailEditor* detail = sheet.page()->detailEditor();
    detail->setCurrentItem(detail->valueItem(1), 0);
    pressEnter(detail);
    auto* value = qobject_cast<QLineEdit*>(detail->indexWidget(detail->currentIndex()));
    ASSERT_NE(value, nullptr);
    value->setText(QStringLiteral("TYPE-9"));
    pressEnter(value);
    settle();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(model::findMeasurementName(tree, "AARDVARK", "C1", "N1")->records.at(0).cond.mcType,
              "TYPE-9");
    EXPECT_TRUE(prompts.shown().empty());
}

// Changes made in the sheet are thrown away by Cancel: it asks first, No
// (the default) keeps the sheet with the changes, and OK never asks.
TEST_F(MgmtSheetCloseTest, CancellingChangesAsksAndNoKeepsThem) {
    const std::string question =
        sj("編集した内容は保存されていません\n"
           "変更を破棄して閉じてもよろしいですか");
    struct Way {
        const char* name;
        std::function<void(MgmtSheetDialog&)> close;
    } ways[] = {
        {"Cancel", [](MgmtSheetDialog& s) { s.cancelButton()->click(); }},
        {"Escape", [](MgmtSheetDialog& s) { pressEscape(&s); }},
        {"window close", closeFromWindowManager},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        prompts.clear();
        model::CustomerTree work = tree;  // the sheet edits the tree it is given
        MgmtSheetDialog sheet(SheetMode::Edit, settings(), work, {"ALPHA", "C1", "N1", 0});
        sheet.show();
        QCoreApplication::processEvents();
        way.close(sheet);
        EXPECT_FALSE(sheet.isVisible()) << "nothing changed yet: closes at once";
        EXPECT_TRUE(prompts.shown().empty());

        sheet.show();
        sheet.page()->selectRecords({0});
        prompts.queueYes();  // delete the measurement
        sheet.page()->button(CPgMstEdit::DeleteRecords)->click();
        prompts.queueNo();
        way.close(sheet);
        QCoreApplication::processEvents();
        EXPECT_TRUE(sheet.isVisible());
        ASSERT_EQ(prompts.shown().size(), 2u);
        EXPECT_EQ(prompts.shown()[1].text, question);
        EXPECT_EQ(prompts.shown()[1].byDefault, ui::Answer::No);

        prompts.queueYes();
        way.close(sheet);
        QCoreApplication::processEvents();
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(sheet.result(), QDialog::Rejected);
        EXPECT_TRUE(prompts.problems().empty());
    }
    model::CustomerTree work = tree;
    MgmtSheetDialog kept(SheetMode::Edit, settings(), work, {"ALPHA", "C1", "N1", 0});
    kept.show();
    QCoreApplication::processEvents();
    kept.page()->selectRecords({0});
    prompts.clear();
    prompts.queueYes();
    kept.page()->button(CPgMstEdit::DeleteRecords)->click();
    kept.okButton()->click();
    EXPECT_EQ(kept.result(), QDialog::Accepted);
    EXPECT_EQ(prompts.shown().size(), 1u) << "OK keeps the changes: no question";
}

// A change of only a measurement's start date or time in the record table is
// a change like any other: Cancel asks before it is thrown away.
TEST_F(MgmtSheetCloseTest, CancelAfterOnlyAStartDateOrTimeEditAsks) {
    for (int column : {1, 2}) {
        SCOPED_TRACE(column);
        prompts.clear();
        model::CustomerTree work = tree;
        MgmtSheetDialog sheet(SheetMode::Edit, settings(), work, {"ALPHA", "C1", "N1", 0});
        sheet.show();
        QCoreApplication::processEvents();
        QAbstractItemModel* records = sheet.page()->recordModel();
        ASSERT_TRUE(records->setData(records->index(0, column), column == 1
                                                                    ? QStringLiteral("2030/12/24")
                                                                    : QStringLiteral("08:15")));
        prompts.queueNo();
        sheet.cancelButton()->click();
        QCoreApplication::processEvents();
        EXPECT_TRUE(sheet.isVisible());
        ASSERT_EQ(prompts.shown().size(), 1u);
        EXPECT_EQ(prompts.shown()[0].text, sj("編集した内容は保存されていません\n"
                                              "変更を破棄して閉じてもよろしいですか"));
        EXPECT_TRUE(prompts.problems().empty());
    }
}

// The message box itself: Enter gives the default answer that the caller asked for.
TEST(QtPrompterDefaults, EnterGivesTheAnswerAskedForAsDefault) {
    ensureApplication();
    ui::QtPrompter real;
    auto pressEnterOnNextBox = [] {
        onNextModal<QMessageBox>([](QMessageBox* box) { pressEnter(box); });
    };
    pressEnterOnNextBox();
    EXPECT_EQ(real.askYesNoCancel("erase?", ui::Answer::Cancel), ui::Answer::Cancel);
    pressEnterOnNextBox();
    EXPECT_EQ(real.askYesNoCancel("erase?", ui::Answer::No), ui::Answer::No);
    pressEnterOnNextBox();
    EXPECT_FALSE(real.askYesNo("delete?", ui::Answer::No));
    pressEnterOnNextBox();
    EXPECT_TRUE(real.askYesNo("import?"));
}

}  // namespace
}  // namespace plm::test::mgmt
