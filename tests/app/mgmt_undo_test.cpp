#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QUndoStack>

#include "app/data_sheet/add_item.h"
#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/detail_editor.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/data_sheet/mgmt_sheet.h"
#include "app/data_sheet/select_meas_name.h"
#include "app/data_sheet/transfer_page.h"
#include "chart/qt_text.h"
#include "mgmt_fixture.h"
#include "model/data_file.h"

// The exported entry through which a typed key reaches the application's
// shortcuts before the focused widget (what a key press from the window
// system goes through).
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

namespace plm::test::mgmt {
namespace {

using app::CPgMstEdit;
using app::MgmtSheetDialog;
using app::SheetMode;

// A key typed on the focused widget of the active window, shortcuts first.
void typeKey(QWidget* focus, int key, Qt::KeyboardModifiers modifiers) {
    if (qt_sendShortcutOverrideEvent(focus, 0, key, modifiers, QString(), false, 1))
        return;
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(focus, &press);
}

void tickAll(CPgMstEdit& page) {
    QAbstractItemModel* list = page.transferPage()->listModel();
    for (int row = 0; row < list->rowCount(); ++row)
        list->setData(list->index(row, 0), Qt::Checked, Qt::CheckStateRole);
}

std::vector<std::string> listNames(const QTreeView* view) {
    std::vector<std::string> out;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out.push_back(cp(view->model()->index(r, 0).data().toString()));
    return out;
}

class MgmtUndoTest : public MgmtTest {
  protected:
    void SetUp() override { fillTree(); }

    std::unique_ptr<MgmtSheetDialog> openSheet(SheetMode mode) {
        auto sheet = std::make_unique<MgmtSheetDialog>(mode, settings(), tree,
                                                       app::Selection{"ALPHA", "C1", "N1", 0});
        if (mode == SheetMode::Transfer) {
            sheet->page()->transferPage()->setReceived(
                {datedRecord(2, 12, 7), datedRecord(4, 8, 8)});
        }
        sheet->show();
        QCoreApplication::processEvents();
        return sheet;
    }
};

struct Edit {
    const char* what;  // the command's text, UTF-8
    SheetMode mode;
    std::function<void(CPgMstEdit&, ScriptedPrompter&)> make;
};

const Edit kEdits[] = {
    {"需要家「ALPHA」の削除", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter& prompts) {
         prompts.queueYes();
         page.button(CPgMstEdit::DeleteCustomer)->click();
     }},
    {"試験回路「C1」の削除", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter& prompts) {
         prompts.queueYes();
         page.button(CPgMstEdit::DeleteCircuit)->click();
     }},
    {"測定名「N1」の削除", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter& prompts) {
         prompts.queueYes();
         page.button(CPgMstEdit::DeleteName)->click();
     }},
    {"試験回路「C0」の追加", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter&) {
         onNextModal<app::CAddItem>([](app::CAddItem* dialog) {
             dialog->nameEdit()->setText("C0");
             dialog->accept();
         });
         page.button(CPgMstEdit::AddCircuit)->click();
     }},
    {"需要家「ALPHA」を「ZULU」に名称変更", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter&) {
         QAbstractItemModel* m = page.nameList(0)->model();
         m->setData(m->index(0, 0), QStringLiteral("ZULU"));
         QCoreApplication::processEvents();
     }},
    {"測定 No. 1 ほか 1 件 の削除", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter& prompts) {
         page.selectRecords({0, 2});
         prompts.queueYes();
         page.button(CPgMstEdit::DeleteRecords)->click();
     }},
    {"測定 No. 2 の移動", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter& prompts) {
         page.selectRecords({1});
         onNextModal<app::CSelectMeasName>([](app::CSelectMeasName* d) {
             d->tree()->setCurrentItem(d->nameItem(1, 0, 0));
             d->accept();
         });
         prompts.queueYes();
         page.button(CPgMstEdit::MoveRecords)->click();
     }},
    {"測定 No. 2 ほか 1 件 の「型式」の変更", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter&) {
         page.selectRecords({1, 2});
         page.detailEditor()->valueItem(1)->setText(1, QStringLiteral("TYPE-9"));
     }},
    {"測定 No. 3 の開始日の変更", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter&) {
         QAbstractItemModel* m = page.recordModel();
         m->setData(m->index(2, 1), QStringLiteral("2030/12/24"));
     }},
    {"測定 No. 1 の開始時刻の変更", SheetMode::Edit,
     [](CPgMstEdit& page, ScriptedPrompter&) {
         QAbstractItemModel* m = page.recordModel();
         m->setData(m->index(0, 2), QStringLiteral("08:15"));
     }},
    {"測定名「N1」への登録", SheetMode::Transfer,
     [](CPgMstEdit& page, ScriptedPrompter& prompts) {
         tickAll(page);
         prompts.queueNo();  // keep the measurements there
         page.button(CPgMstEdit::Register)->click();
     }},
    {"測定名「N1」の既存データを消去して登録", SheetMode::Transfer,
     [](CPgMstEdit& page, ScriptedPrompter& prompts) {
         tickAll(page);
         prompts.queueYes();  // erase them first
         page.button(CPgMstEdit::Register)->click();
     }},
};

// Every kind of change is one command named on the undo and redo buttons;
// undo gives back the tree byte for byte and a clean stack, redo the tree
// after the change; received rows that were filed return to the list.
TEST_F(MgmtUndoTest, EveryKindOfChangeIsUndoneAndRedoneByteForByte) {
    const model::CustomerTree original = tree;
    for (const Edit& edit : kEdits) {
        SCOPED_TRACE(edit.what);
        tree = original;
        prompts.clear();
        auto sheet = openSheet(edit.mode);
        CPgMstEdit* page = sheet->page();
        const std::string before = model::writeDataFile(tree);

        edit.make(*page, prompts);
        const std::string after = model::writeDataFile(tree);
        ASSERT_NE(after, before);
        ASSERT_EQ(page->undoStack()->count(), 1);
        const QString undoText = qsj("元に戻す：") + qsj(edit.what);
        EXPECT_EQ(page->undoAction()->text(), undoText);
        EXPECT_EQ(page->undoButton()->toolTip(), undoText);
        EXPECT_FALSE(page->redoButton()->isEnabled());
        const int received = page->transferPage()->listModel()->rowCount();

        page->undoButton()->click();
        EXPECT_EQ(model::writeDataFile(tree), before);
        EXPECT_TRUE(page->undoStack()->isClean());
        EXPECT_EQ(page->redoAction()->text(), qsj("やり直し：") + qsj(edit.what));
        EXPECT_EQ(page->undoButton()->text(), qsj("元に戻す"));
        EXPECT_FALSE(page->undoButton()->isEnabled());
        if (edit.mode == SheetMode::Transfer) {
            EXPECT_EQ(page->transferPage()->listModel()->rowCount(), 2);
        }

        page->redoButton()->click();
        EXPECT_EQ(model::writeDataFile(tree), after);
        EXPECT_EQ(page->transferPage()->listModel()->rowCount(), received);
        EXPECT_TRUE(prompts.problems().empty());
    }
}

// After an undo the page shows what it showed before the change, and the
// lists read the tree as it is again.
TEST_F(MgmtUndoTest, UndoShowsWhatThePageShowedBefore) {
    auto sheet = openSheet(SheetMode::Edit);
    CPgMstEdit* page = sheet->page();
    page->selectCustomer(1);
    prompts.queueYes();
    page->button(CPgMstEdit::DeleteCustomer)->click();
    ASSERT_EQ(listNames(page->nameList(0)), std::vector<std::string>{"ALPHA"});
    EXPECT_EQ(page->undoButton()->text(), qsj("元に戻す：需要家「BETA」の削除"));

    page->undoButton()->click();
    EXPECT_EQ(listNames(page->nameList(0)), (std::vector<std::string>{"ALPHA", "BETA"}));
    EXPECT_EQ(page->currentCustomer(), 1);
    EXPECT_EQ(page->currentName(), 0);
    EXPECT_EQ(page->recordModel()->rowCount(), 1);
    EXPECT_NE(cp(page->caption()->text()).find("BETA"), std::string::npos);

    // The detail editor shows the conditions the undo gave back.
    page->selectCustomer(0);
    page->selectRecords({0});
    page->detailEditor()->valueItem(1)->setText(1, QStringLiteral("TYPE-9"));
    page->undoButton()->click();
    EXPECT_EQ(page->detailEditor()->valueItem(1)->text(1), QString());
    EXPECT_EQ(page->selectedRecords(), std::vector<int>{0});
}

// Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo, wherever the focus is in the sheet.
TEST_F(MgmtUndoTest, KeysUndoAndRedo) {
    auto sheet = openSheet(SheetMode::Edit);
    sheet->activateWindow();
    QCoreApplication::processEvents();
    CPgMstEdit* page = sheet->page();
    prompts.queueYes();
    page->button(CPgMstEdit::DeleteCustomer)->click();
    ASSERT_EQ(tree.customers.count(), 1);

    struct Key {
        QWidget* focus;
        int key;
        Qt::KeyboardModifiers modifiers;
        int customers;
    } keys[] = {
        {page->nameList(0), Qt::Key_Z, Qt::ControlModifier, 2},
        {page->recordList(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, 1},
        {sheet->okButton(), Qt::Key_Z, Qt::ControlModifier, 2},
        {page->detailEditor(), Qt::Key_Y, Qt::ControlModifier, 1},
    };
    for (const Key& k : keys) {
        SCOPED_TRACE(k.focus->metaObject()->className());
        k.focus->setFocus();
        typeKey(k.focus, k.key, k.modifiers);
        EXPECT_EQ(tree.customers.count(), k.customers);
    }
    EXPECT_TRUE(prompts.problems().empty());

    // The same two on the page's context menu.
    EXPECT_EQ(page->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_EQ(page->actions(), (QList<QAction*>{page->undoAction(), page->redoAction()}));
}

// The sheet asks before closing exactly while the tree differs from the one
// it opened on: a change undone back to the start closes at once.
TEST_F(MgmtUndoTest, ChangesUndoneBackToTheStartCloseWithoutAQuestion) {
    auto sheet = openSheet(SheetMode::Edit);
    CPgMstEdit* page = sheet->page();
    prompts.queueYes();
    page->button(CPgMstEdit::DeleteRecords)->click();
    QAbstractItemModel* m = page->recordModel();
    m->setData(m->index(0, 1), QStringLiteral("2030/12/24"));
    page->undoButton()->click();
    page->undoButton()->click();
    page->redoButton()->click();

    prompts.queueNo();
    sheet->cancelButton()->click();
    EXPECT_TRUE(sheet->isVisible());
    ASSERT_EQ(prompts.shown().size(), 2u) << "the delete is made again: Cancel asks";

    page->undoButton()->click();
    sheet->cancelButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(prompts.shown().size(), 2u);
    EXPECT_TRUE(prompts.problems().empty());
}

TEST_F(MgmtUndoTest, DisplayModeOffersNoUndo) {
    auto sheet = openSheet(SheetMode::Display);
    CPgMstEdit* page = sheet->page();
    EXPECT_FALSE(page->undoButton()->isVisible());
    EXPECT_FALSE(page->redoButton()->isVisible());
    EXPECT_TRUE(sheet->actions().isEmpty());
}

}  // namespace
}  // namespace plm::test::mgmt
