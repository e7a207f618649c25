#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeView>
#include <QTreeWidget>
#include <QUndoStack>

#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/detail_editor.h"
#include "app/data_sheet/mgmt_sheet.h"
#include "chart/qt_text.h"
#include "mgmt_fixture.h"

namespace plm::test::mgmt {
namespace {

using app::CPgMstEdit;
using app::MgmtSheetDialog;
using app::SheetMode;

void mouse(QWidget* to, QEvent::Type type, const QPoint& at, Qt::KeyboardModifiers modifiers) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, to->mapToGlobal(at), Qt::LeftButton, held, modifiers);
    QApplication::sendEvent(to, &event);
}

// A click as the window system delivers it: the press focuses the list, then
// press and release reach the item.
void clickRow(QAbstractItemView* view, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    view->setFocus(Qt::MouseFocusReason);
    mouse(view->viewport(), QEvent::MouseButtonPress, at, modifiers);
    mouse(view->viewport(), QEvent::MouseButtonRelease, at, modifiers);
    QCoreApplication::processEvents();
}

// A key goes where the window system sends it: to the focused widget.
void pressKey(int key) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
    QCoreApplication::processEvents();
}

QLineEdit* openEditor(QAbstractItemView* view) {
    return qobject_cast<QLineEdit*>(view->indexWidget(view->currentIndex()));
}

class MgmtKeysTest : public MgmtTest {
  protected:
    void SetUp() override {
        fillTree();
        sheet_ = std::make_unique<MgmtSheetDialog>(SheetMode::Edit, tree,
                                                   app::Selection{"ALPHA", "C1", "N1", 0});
        sheet_->show();
        sheet_->activateWindow();
        QCoreApplication::processEvents();
    }
    std::unique_ptr<MgmtSheetDialog> sheet_;
};

// Row 0 is selected when the sheet opens, so the clicks fall on a selected,
// an unselected and a selected name in turn.
TEST_F(MgmtKeysTest, OneEnterAfterAClickOnANameStartsItsEdit) {
    for (int level = 0; level < 3; ++level) {
        for (int row : {0, 1, 1}) {
            QTreeView* list = sheet_->page()->nameList(level);
            if (row >= list->model()->rowCount())
                continue;
            clickRow(list, row);
            pressKey(Qt::Key_Return);
            QLineEdit* editor = openEditor(list);
            ASSERT_NE(editor, nullptr) << "level " << level << " row " << row;
            EXPECT_EQ(QApplication::focusWidget(), editor);
            pressKey(Qt::Key_Escape);
        }
    }
}

// The sheet has one page, and it stays chosen and shown whatever the tree of
// pages is clicked with.
TEST_F(MgmtKeysTest, TheOnlyPageCannotBeDeselected) {
    QTreeWidget* pages = sheet_->pageTree();
    for (Qt::KeyboardModifiers modifiers : {Qt::ControlModifier, Qt::NoModifier}) {
        clickRow(pages, 0, modifiers);
        EXPECT_EQ(pages->selectedItems().size(), 1);
        EXPECT_TRUE(sheet_->page()->isVisible());
    }
}

}  // namespace
}  // namespace plm::test::mgmt
