#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidgetItem>

#include "app/data_sheet/add_item.h"
#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/detail_editor.h"
#include "chart/qt_text.h"
#include "mgmt_fixture.h"

// Names and texts the data file cannot hold are refused where they are typed.
namespace plm::test::mgmt {
namespace {

using app::CPgMstEdit;
using app::SheetMode;
using Kind = ScriptedPrompter::Kind;

const std::string kEmojiRefused = sj("保存できない文字が含まれています\nU+1F600");

TEST_F(MgmtTest, AddItemRefusesCharactersTheDataFileCannotHold) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    struct Seen {
        bool open = false;
        QString selected;
    } seen;
    onNextModal<app::CAddItem>([&](app::CAddItem* dialog) {
        dialog->nameEdit()->setText(QString::fromUtf8("東京😀店"));
        dialog->accept();
        seen = {dialog->isVisible(), dialog->nameEdit()->selectedText()};
        dialog->nameEdit()->setText(QString::fromUtf8("東京店"));
        dialog->accept();
    });
    page.button(CPgMstEdit::AddCustomer)->click();
    EXPECT_TRUE(seen.open);
    EXPECT_EQ(seen.selected, QString::fromUtf8("😀"));
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].kind, Kind::Stop);
    EXPECT_EQ(prompts.shown()[0].text, kEmojiRefused);
    EXPECT_EQ(tree.customers.count(), 3);
    EXPECT_NE(tree.customers.get(sj("東京店")), nullptr);
    EXPECT_EQ(tree.customers.get("?"), nullptr);
}

TEST_F(MgmtTest, RenameAndConditionTextsRefuseCharactersTheDataFileCannotHold) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    QAbstractItemModel* names = page.nameList(0)->model();
    names->setData(names->index(0, 0), QString::fromUtf8("A😀"));
    QCoreApplication::processEvents();
    EXPECT_EQ(tree.customers.at(0).name, "ALPHA");
    ASSERT_EQ(prompts.texts(), std::vector<std::string>{kEmojiRefused});

    page.selectRecords({0});
    app::DetailEditor* editor = page.detailEditor();
    ASSERT_NE(editor->valueItem(8), nullptr);  // weather
    const model::MeasurementName& n = *model::findMeasurementName(tree, "ALPHA", "C1", "N1");
    const std::string before = n.records.at(0).cond.weather;
    editor->valueItem(8)->setText(1, QString::fromUtf8("晴れ😀"));
    QCoreApplication::processEvents();
    EXPECT_EQ(n.records.at(0).cond.weather, before);
    EXPECT_EQ(cp(editor->valueItem(8)->text(1)), before);  // shown as stored again
    ASSERT_EQ(prompts.shown().size(), 2u);
    EXPECT_EQ(prompts.shown()[1].kind, Kind::Stop);
    EXPECT_EQ(prompts.shown()[1].text, kEmojiRefused);
}

}  // namespace
}  // namespace plm::test::mgmt
