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
        sheet_ = std::make_unique<MgmtSheetDialog>(SheetMode::Edit, settings(), tree,
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

QTreeWidgetItem* rowLabelled(app::DetailEditor& detail, const char* label) {
    for (int number = 1; detail.valueItem(number); ++number) {
        if (detail.valueItem(number)->text(0) == qsj(label))
            return detail.valueItem(number);
    }
    return nullptr;
}

// A number field takes only a number: anything else is refused with a stop
// message while the editor stays open on the text, and changes nothing.
TEST_F(MgmtKeysTest, ANumberFieldRefusesATextThatIsNoNumber) {
    const struct {
        const char* typed;
        bool refused;
        double stored;
    } cases[] = {
        {"abc", true, 0},      {"21.5abc", true, 0},      {"--1", true, 0},
        {"inf", true, 0},      {"1,5", true, 0},          {" 40 ", false, 40},
        {"-3.5", false, -3.5}, {"１２．５", false, 12.5}, {"", false, 0},
    };
    CPgMstEdit* page = sheet_->page();
    app::DetailEditor* detail = page->detailEditor();
    const model::MeasurementName& n = *model::findMeasurementName(tree, "ALPHA", "C1", "N1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        tree.customers.at(0).circuits.at(0).names.at(0).records.at(0).cond.hum = 55;
        page->selectRecords({0});
        QTreeWidgetItem* humidity = rowLabelled(*detail, "湿度(%)");
        ASSERT_NE(humidity, nullptr);
        detail->setFocus();
        detail->setCurrentItem(humidity, 1);
        pressKey(Qt::Key_F2);
        QLineEdit* editor = openEditor(detail);
        ASSERT_NE(editor, nullptr);
        editor->setText(QString::fromUtf8(c.typed));
        const int commands = page->undoStack()->count();
        prompts.clear();

        pressKey(Qt::Key_Return);
        if (c.refused) {
            EXPECT_EQ(prompts.texts(),
                      std::vector<std::string>{sj("「湿度(%)」には数値を入力してください")});
            ASSERT_EQ(openEditor(detail), editor);
            EXPECT_EQ(QApplication::focusWidget(), editor);
            EXPECT_EQ(editor->text(), QString::fromUtf8(c.typed));
            // Given up with Escape or left for another control: the old value stays.
            pressKey(c.typed[0] == 'a' ? Qt::Key_Escape : Qt::Key_Tab);
            page->recordList()->setFocus();
            QCoreApplication::processEvents();
            EXPECT_EQ(openEditor(detail), nullptr);
            EXPECT_EQ(page->undoStack()->count(), commands);
            EXPECT_DOUBLE_EQ(n.records.at(0).cond.hum, 55);
        } else {
            EXPECT_TRUE(prompts.shown().empty());
            EXPECT_EQ(openEditor(detail), nullptr);
            EXPECT_EQ(page->undoStack()->count(), commands + 1);
            EXPECT_DOUBLE_EQ(n.records.at(0).cond.hum, c.stored);
        }
    }
}

}  // namespace
}  // namespace plm::test::mgmt
