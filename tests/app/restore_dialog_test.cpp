#include "app/dialogs/restore_dialog.h"

#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <filesystem>

#include "app_fixture.h"
#include "chart/qt_text.h"
#include "model/tree_merge.h"

namespace plm::test::app {
namespace {

using plm::app::RestoreDialog;

// The small tree as a load gives it back: of the configured device type.
model::CustomerTree loadedSmallTree(int devType) {
    model::CustomerTree tree = smallTree();
    for (model::MeasurementRecord& r :
         model::findOrAddMeasurementName(tree, "Tokyo Works", "Line 1", "Close").records)
        r.cond.devType = devType;
    return tree;
}

class RestoreDialogTest : public AppWindow {
  protected:
    // The small tree saved, then Tokyo Works deleted and saved: the backup of
    // that save still holds it.
    void saveThenDeleteTokyo() {
        openWindow();
        ASSERT_TRUE(doc->commitRestored(loadedSmallTree(settings().deviceTypeIndex)));
        original = readFile(dataFile());
        model::CustomerTree tree = doc->tree();
        tree.customers.removeAt(tree.customers.find("Tokyo Works"));
        ASSERT_TRUE(doc->commitRestored(std::move(tree)));
    }

    std::string original;
};

TEST_F(RestoreDialogTest, DeletedCustomerComesBackByteForByte) {
    saveThenDeleteTokyo();
    bool inMenu = false;
    for (QMenu* menu : frame->menuBar()->findChildren<QMenu*>()) {
        for (QAction* action : menu->actions())
            inMenu |= menu->title() == qsj("ファイル(&F)") &&
                      action->text() == qsj("バックアップから復元(&B)...");
    }
    EXPECT_TRUE(inMenu);

    RestoreDialog dialog(*doc, frame.get());
    ASSERT_EQ(dialog.backupList()->count(), 1);
    EXPECT_TRUE(dialog.backupList()->item(0)->text().endsWith(
        qsj("　測定：2 件　現在のデータにない測定：2 件")))
        << dialog.backupList()->item(0)->text().toStdString();
    EXPECT_EQ(dialog.details()->toPlainText(),
              qsj("Tokyo Works / Line 1 / Close：2 件（名称ごと）\n"));
    ASSERT_TRUE(dialog.restoreButton()->isEnabled());
    dialog.restoreButton()->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(readFile(dataFile()), original);
    EXPECT_TRUE(model::sameTree(doc->tree(), loadedSmallTree(settings().deviceTypeIndex)));
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              qsj("バックアップから 2 件の測定を復元しました"));
    EXPECT_TRUE(prompts.shown().empty());

    // The restore kept the data it replaced: it is the newest backup now.
    RestoreDialog again(*doc, frame.get());
    ASSERT_EQ(again.backupList()->count(), 2);
    EXPECT_FALSE(again.restoreButton()->isEnabled());  // nothing lacks
}

TEST_F(RestoreDialogTest, ReplaceAsksWithNoAsTheDefault) {
    saveThenDeleteTokyo();
    const std::string afterDelete = readFile(dataFile());
    RestoreDialog dialog(*doc, frame.get());
    prompts.queueNo();
    dialog.replaceButton()->click();
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].byDefault, ui::Answer::No);
    EXPECT_EQ(readFile(dataFile()), afterDelete);

    prompts.queueYes();
    dialog.replaceButton()->click();
    EXPECT_EQ(readFile(dataFile()), original);
}

}  // namespace
}  // namespace plm::test::app
