#include <QBrush>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>

#include "app/data_sheet/add_item.h"
#include "app/data_sheet/data_management_page.h"
#include "app/data_sheet/detail_editor.h"
#include "app/data_sheet/mgmt_columns.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/data_sheet/mgmt_sheet.h"
#include "app/data_sheet/select_meas_name.h"
#include "app/dialogs/export_dialog.h"
#include "chart/qt_text.h"
#include "mgmt_fixture.h"

namespace plm::test::mgmt {
namespace {

using app::CPgMstEdit;
using app::SheetMode;

std::string listText(const QTreeView* view, int row, int column = 0) {
    return cp(view->model()->index(row, column).data().toString());
}

std::vector<std::string> listNames(const QTreeView* view) {
    std::vector<std::string> out;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out.push_back(listText(view, r));
    return out;
}

std::vector<int> dataNos(const model::MeasurementName& n) {
    std::vector<int> out;
    for (const auto& r : n.records)
        out.push_back(r.dataNo);
    return out;
}

void renameInPlace(CPgMstEdit& page, int level, int row, const std::string& text) {
    QAbstractItemModel* m = page.nameList(level)->model();
    m->setData(m->index(row, 0), qs(text));
    QCoreApplication::processEvents();
}

// ---- Columns and caption ----

TEST(MgmtColumns, WidthBaseFollowsModeAndSwitches) {
    struct Case {
        SheetMode mode;
        int chat, ope, trig;
        int w;
    } cases[] = {
        {SheetMode::Transfer, 1, 1, 1, 0},  {SheetMode::Transfer, 0, 1, 1, 6},
        {SheetMode::Transfer, 1, 0, 0, 35}, {SheetMode::Transfer, 0, 0, 0, 71},
        {SheetMode::Edit, 1, 1, 1, 18},     {SheetMode::Display, 0, 1, 1, 29},
        {SheetMode::Edit, 1, 0, 1, 29},     {SheetMode::Edit, 0, 0, 0, 116},
    };
    for (const Case& c : cases) {
        settings::AppSettings s;
        s.chattering = c.chat;
        s.measureOpe = c.ope;
        s.outsideTrigger = c.trig;
        EXPECT_EQ(app::measurementWidthBase(c.mode, s), c.w)
            << int(c.mode) << c.chat << c.ope << c.trig;
    }
}

TEST(MgmtColumns, OptionalColumnsAndChannels) {
    settings::AppSettings s;
    s.chattering = s.measureOpe = s.outsideTrigger = 0;
    auto cols = app::measurementColumns(SheetMode::Transfer, s, 3);
    ASSERT_EQ(cols.size(), 9u + 3u);
    EXPECT_EQ(cols[1].header, sj("測定開始日\n(年/月/日)"));
    EXPECT_EQ(cols[1].width, 171);
    EXPECT_EQ(cols[5].header, sj("温度"));
    EXPECT_EQ(cols[11].header, "CH3");

    s.chattering = s.measureOpe = s.outsideTrigger = 1;
    cols = app::measurementColumns(SheetMode::Edit, s, 8);
    ASSERT_EQ(cols.size(), 14u + 8u);
    EXPECT_EQ(cols[5].header, sj("ﾁｬﾀﾘﾝｸﾞ"));
    EXPECT_EQ(cols[7].header, sj("動作信号"));
    EXPECT_EQ(cols[7].width, 18 + 65);

    const auto transfer = app::transferColumns(s);
    ASSERT_EQ(transfer.size(), 5u);
    EXPECT_EQ(transfer[2].width, 122);
    s.outsideTrigger = 0;
    ASSERT_EQ(app::transferColumns(s).size(), 3u);
    EXPECT_EQ(app::transferColumns(s)[2].width, 255);
}

// ---- Opening and selection ----

TEST_F(MgmtTest, OpensOnTheGivenSelectionAndShowsItInTheCaption) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 2});
    EXPECT_EQ(page.currentCustomer(), 0);
    EXPECT_EQ(page.currentCircuit(), 0);
    EXPECT_EQ(page.currentName(), 0);
    EXPECT_EQ(page.selectedRecords(), std::vector<int>{2});
    EXPECT_EQ(cp(page.caption()->text()), sj("測定データ一覧：  【 ALPHA－C1－N1 】"));
    EXPECT_EQ(listText(page.recordList(), 2, 1), "2024/03/03");

    // Unknown names fall back to the first items; switching the customer
    // reloads everything beneath it with the first items selected.
    CPgMstEdit other(SheetMode::Edit, settings(), tree, {"NOBODY", "X", "Y", 7});
    EXPECT_EQ(other.currentCustomer(), 0);
    EXPECT_EQ(other.selectedRecords(), std::vector<int>{0});
    other.selectCustomer(1);
    EXPECT_EQ(listNames(other.nameList(1)), std::vector<std::string>{"C1"});
    EXPECT_EQ(other.recordModel()->rowCount(), 1);
    EXPECT_EQ((app::Selection{"BETA", "C1", "N1", 0}), other.selectionOut());

    // A circuit without names: the caption stops at the circuit.
    other.selectCustomer(0);
    other.selectCircuit(1);
    EXPECT_EQ(other.currentName(), -1);
    EXPECT_EQ(other.recordModel()->rowCount(), 0);
    EXPECT_EQ(cp(other.caption()->text()), sj("測定データ一覧：  【 ALPHA－C2 】"));
}

// An empty name (stored files may hold one) is listed visibly, in grey, in
// every list of names, while an edit still starts from the stored name.
TEST_F(MgmtTest, EmptyNamesAreListedAsUnnamedInGrey) {
    nameAt(tree, "", "", "N1").records.add(datedRecord(1, 10, 1));
    nameAt(tree, "BETA", "C1", "");
    const QString unnamed = QString::fromUtf8("（名称なし）");
    const auto isGrey = [](const QVariant& foreground) {
        return foreground.value<QBrush>().color() == QColor(Qt::gray);
    };

    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"", "", "N1", 0});
    for (int level : {0, 1}) {
        const QModelIndex first = page.nameList(level)->model()->index(0, 0);
        EXPECT_EQ(first.data(Qt::DisplayRole).toString(), unnamed) << level;
        EXPECT_EQ(first.data(Qt::EditRole).toString(), QString()) << level;
        EXPECT_TRUE(isGrey(first.data(Qt::ForegroundRole))) << level;
    }
    const QModelIndex named = page.nameList(2)->model()->index(0, 0);
    EXPECT_EQ(named.data().toString(), "N1");
    EXPECT_FALSE(named.data(Qt::ForegroundRole).isValid());

    app::CSelectMeasName chooser(tree);
    const QTreeWidgetItem* customers = chooser.tree()->topLevelItem(0);
    ASSERT_EQ(customers->childCount(), 2);
    EXPECT_EQ(customers->child(0)->text(0), unnamed);
    EXPECT_TRUE(isGrey(customers->child(0)->data(0, Qt::ForegroundRole)));
    EXPECT_EQ(customers->child(1)->child(0)->child(0)->text(0), unnamed);
    EXPECT_EQ(customers->child(1)->text(0), "BETA");

    app::CDataSave cutOut(tree, app::appSettings());
    EXPECT_EQ(cutOut.customerList()->itemText(0), unnamed);
    EXPECT_TRUE(isGrey(cutOut.customerList()->itemData(0, Qt::ForegroundRole)));
    EXPECT_EQ(cutOut.customerList()->itemText(1), "BETA");
}

TEST_F(MgmtTest, ControlsPerMode) {
    fillTree();
    for (SheetMode mode : {SheetMode::Display, SheetMode::Edit, SheetMode::Transfer}) {
        CPgMstEdit page(mode, settings(), tree, {});
        const bool display = mode == SheetMode::Display;
        EXPECT_EQ(page.button(CPgMstEdit::AddCustomer)->isVisibleTo(&page), !display);
        EXPECT_EQ(page.button(CPgMstEdit::MoveRecords)->isVisibleTo(&page), !display);
        EXPECT_EQ(page.button(CPgMstEdit::Register)->isVisibleTo(&page),
                  mode == SheetMode::Transfer);
        const QModelIndex date = page.recordModel()->index(0, 1);
        const QModelIndex period = page.recordModel()->index(0, 3);
        EXPECT_EQ(bool(page.recordModel()->flags(date) & Qt::ItemIsEditable), !display);
        EXPECT_FALSE(page.recordModel()->flags(period) & Qt::ItemIsEditable);
        const QModelIndex name = page.nameList(0)->model()->index(0, 0);
        EXPECT_EQ(bool(page.nameList(0)->model()->flags(name) & Qt::ItemIsEditable), !display);
    }
}

TEST_F(MgmtTest, SheetCaptionsAndDisplayModeOk) {
    fillTree();
    struct Case {
        SheetMode mode;
        const char* caption;
        const char* page;
    } cases[] = {{SheetMode::Transfer, "測定データの転送", "測定データの転送"},
                 {SheetMode::Edit, "編集", "需要家データ編集"},
                 {SheetMode::Display, "測定データの表示", "測定データの表示"}};
    for (const Case& c : cases) {
        app::MgmtSheetDialog sheet(c.mode, settings(), tree, {});
        EXPECT_EQ(sheet.windowTitle().toStdString(), c.caption);
        EXPECT_EQ(sheet.pageTree()->topLevelItem(0)->text(0).toStdString(), c.page);
    }

    // Display mode refuses OK without a measurement, on an empty name.
    app::MgmtSheetDialog sheet(SheetMode::Display, settings(), tree, {"ALPHA", "C1", "N2", -1});
    sheet.show();
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{sj("測定データを選んでください")});

    // A double click on a measurement closes it as OK with that selection.
    sheet.page()->selectName(0);
    sheet.page()->selectRecords({1});
    emit sheet.page()->recordList()->doubleClicked(sheet.page()->recordModel()->index(1, 2));
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ((app::Selection{"ALPHA", "C1", "N1", 1}), sheet.selectionOut());
}

// ---- Names: add, delete, rename ----

TEST_F(MgmtTest, DeletingCustomersSelectsTheNeighbourAndEmptiesTheLists) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"BETA", "C1", "N1", 0});
    prompts.queueNo();
    page.button(CPgMstEdit::DeleteCustomer)->click();
    EXPECT_EQ(tree.customers.count(), 2);
    EXPECT_EQ(prompts.texts().back(),
              sj("需要家「BETA」（試験回路 1・測定 1 件）を削除します\nよろしいですか"));
    EXPECT_EQ(prompts.shown().back().byDefault, ui::Answer::No);

    prompts.queueYes();
    page.button(CPgMstEdit::DeleteCustomer)->click();
    EXPECT_EQ(listNames(page.nameList(0)), std::vector<std::string>{"ALPHA"});
    EXPECT_EQ(page.currentCustomer(), 0);  // the new last customer
    EXPECT_EQ(page.recordModel()->rowCount(), 3);

    prompts.queueYes();
    page.button(CPgMstEdit::DeleteCustomer)->click();
    EXPECT_EQ(tree.customers.count(), 0);
    for (int level = 0; level < 3; ++level)
        EXPECT_EQ(page.nameList(level)->model()->rowCount(), 0);
    EXPECT_EQ(page.recordModel()->rowCount(), 0);
    EXPECT_EQ(page.detailEditor()->topLevelItemCount(), 0);

    // Nothing selected: no question, nothing happens.
    page.button(CPgMstEdit::DeleteCustomer)->click();
    page.button(CPgMstEdit::AddCircuit)->click();
    EXPECT_EQ(prompts.pending(), 0u);
    EXPECT_TRUE(prompts.problems().empty());
}

TEST_F(MgmtTest, RenameMovesTheItemWithItsSubtreeOrIsRefused) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    renameInPlace(page, 0, 0, "ZULU");
    EXPECT_EQ(listNames(page.nameList(0)), (std::vector<std::string>{"BETA", "ZULU"}));
    EXPECT_EQ(page.currentCustomer(), 1);
    ASSERT_NE(model::findMeasurementName(tree, "ZULU", "C1", "N1"), nullptr);
    EXPECT_EQ(model::findMeasurementName(tree, "ZULU", "C1", "N1")->records.count(), 3);
    EXPECT_EQ(tree.customers.find("ALPHA"), -1);

    // Onto a sibling's name (case does not matter): refused, old name kept.
    renameInPlace(page, 0, 1, "beta");
    EXPECT_EQ(prompts.texts().back(), sj("指定の 需要家名称 は既に存在しています\nbeta"));
    EXPECT_EQ(listNames(page.nameList(0)), (std::vector<std::string>{"BETA", "ZULU"}));

    // Same place: only the text changes and the selection beneath stays.
    page.selectName(1);
    renameInPlace(page, 2, 1, "N3");
    EXPECT_EQ(listNames(page.nameList(2)), (std::vector<std::string>{"N1", "N3"}));
    EXPECT_EQ(page.currentName(), 1);
    EXPECT_EQ(cp(page.caption()->text()), sj("測定データ一覧：  【 ZULU－C1－N3 】"));

    // An empty text changes nothing.
    renameInPlace(page, 2, 1, "");
    EXPECT_EQ(listNames(page.nameList(2)), (std::vector<std::string>{"N1", "N3"}));
}

TEST_F(MgmtTest, AddItemRefusesSiblingNamesAndInsertsSorted) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    std::vector<std::string> seen;
    onNextModal<app::CAddItem>([&](app::CAddItem* dialog) {
        seen.push_back(cp(dialog->findChild<QLabel*>()->text()));
        dialog->nameEdit()->setText("alpha");
        dialog->accept();
        seen.push_back(dialog->isVisible() ? "open" : "closed");
        dialog->nameEdit()->setText("AARDVARK");
        dialog->accept();
    });
    page.button(CPgMstEdit::AddCustomer)->click();
    EXPECT_EQ(seen, (std::vector<std::string>{sj("需要家名称"), "open"}));
    EXPECT_EQ(prompts.texts(),
              std::vector<std::string>{sj("指定の名称は既に存在しています\nalpha")});
    EXPECT_EQ(listNames(page.nameList(0)), (std::vector<std::string>{"AARDVARK", "ALPHA", "BETA"}));
    EXPECT_EQ(page.currentCustomer(), 0);
    EXPECT_EQ(page.nameList(1)->model()->rowCount(), 0);

    // The name of a circuit under another customer is fine; so is an empty name.
    onNextModal<app::CAddItem>([](app::CAddItem* dialog) {
        dialog->nameEdit()->setText("C1");
        dialog->accept();
    });
    page.button(CPgMstEdit::AddCircuit)->click();
    onNextModal<app::CAddItem>([](app::CAddItem* dialog) { dialog->accept(); });
    page.button(CPgMstEdit::AddName)->click();
    EXPECT_NE(model::findMeasurementName(tree, "AARDVARK", "C1", ""), nullptr);
    EXPECT_EQ(page.currentName(), 0);

    // Longer than 256 bytes is refused.
    onNextModal<app::CAddItem>([](app::CAddItem* dialog) {
        dialog->nameEdit()->setText(QString(257, QLatin1Char('x')));
        dialog->accept();
        dialog->reject();
    });
    page.button(CPgMstEdit::AddCustomer)->click();
    EXPECT_EQ(prompts.texts().back(), sj("256 文字以内で入力してください。"));
    EXPECT_EQ(tree.customers.count(), 3);
}

// ---- Measurements: delete, move, date edit ----

TEST_F(MgmtTest, DeleteSelectedMeasurements) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    page.selectRecords({0, 2});
    prompts.queueYes();
    page.button(CPgMstEdit::DeleteRecords)->click();
    EXPECT_EQ(prompts.texts().back(),
              sj("測定名「N1」の測定 2 件（No. 1・3）を削除します\nよろしいですか"));
    EXPECT_EQ(prompts.shown().back().byDefault, ui::Answer::No);
    EXPECT_EQ(dataNos(*model::findMeasurementName(tree, "ALPHA", "C1", "N1")), std::vector<int>{2});
    EXPECT_EQ(page.selectedRecords(), std::vector<int>{0});
}

// Each delete question names what goes and how much it holds.
TEST_F(MgmtTest, DeleteQuestionsNameWhatTheyDeleteAndHowMuchItHolds) {
    fillTree();
    nameAt(tree, "ALPHA", "C2", "N3").records.add(datedRecord(7, 11, 4));
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 1});
    const model::MeasurementRecord& second = page.recordModel()->records()->at(1);
    const struct {
        CPgMstEdit::ButtonId button;
        std::string question;
    } cases[] = {
        {CPgMstEdit::DeleteCustomer, sj("需要家「ALPHA」（試験回路 2・測定 4 件）を削除します")},
        {CPgMstEdit::DeleteCircuit, sj("試験回路「C1」（測定名 2・測定 3 件）を削除します")},
        {CPgMstEdit::DeleteName, sj("測定名「N1」（測定 3 件）を削除します")},
        {CPgMstEdit::DeleteRecords,
         sj("測定名「N1」の測定 No. 2（") + second.testDateTimeText() + sj("）を削除します")},
    };
    for (const auto& c : cases) {
        prompts.queueNo();
        page.button(c.button)->click();
        EXPECT_EQ(prompts.texts().back(), c.question + sj("\nよろしいですか"));
    }
    EXPECT_EQ(tree.customers.at(0).circuits.at(0).names.at(0).records.count(), 3);
    EXPECT_TRUE(prompts.problems().empty());
}

TEST_F(MgmtTest, MoveMeasurements) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    model::MeasurementName& source = *model::findMeasurementName(tree, "ALPHA", "C1", "N1");
    source.records.at(0).cond.mcType = "FIRST";

    // Into the name they come from: the same measurements, renumbered.
    page.selectRecords({0, 2});
    onNextModal<app::CSelectMeasName>([](app::CSelectMeasName* d) {
        d->tree()->setCurrentItem(d->nameItem(0, 0, 0));
        d->accept();
    });
    prompts.queueYes();
    page.button(CPgMstEdit::MoveRecords)->click();
    EXPECT_EQ(
        prompts.texts().back(),
        sj("次の場所にデータを移動します，よろしいですか\n【 ALPHA 】\n【 C1 】\n【 N1 】\n"));
    ASSERT_EQ(source.records.count(), 3);
    EXPECT_EQ(dataNos(source), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(source.records.at(0).cond.mcType, "FIRST");
    EXPECT_EQ(source.records.at(2).testDateTime, datedRecord(3, 10).testDateTime);

    // A list left out of date order by an in-place edit: every measurement
    // still moves exactly once, none is lost or doubled.
    page.recordModel()->setData(page.recordModel()->index(2, 1), QStringLiteral("2020/01/01"));
    page.selectRecords({1, 2});
    onNextModal<app::CSelectMeasName>([](app::CSelectMeasName* d) {
        d->tree()->setCurrentItem(d->nameItem(0, 0, 0));
        d->accept();
    });
    prompts.queueYes();
    page.button(CPgMstEdit::MoveRecords)->click();
    std::vector<std::string> dates;
    for (const auto& r : source.records)
        dates.push_back(r.testDateText());
    EXPECT_EQ(dates, (std::vector<std::string>{"2020/01/01", "2024/03/01", "2024/03/02"}));
    page.recordModel()->setData(page.recordModel()->index(0, 1), QStringLiteral("2024/03/03"));
    page.selectRecords({0});
    onNextModal<app::CSelectMeasName>([](app::CSelectMeasName* d) {
        d->tree()->setCurrentItem(d->nameItem(0, 0, 0));
        d->accept();
    });
    prompts.queueYes();
    page.button(CPgMstEdit::MoveRecords)->click();

    // To another customer's name, in date order there; a circuit is refused.
    page.selectRecords({1});
    onNextModal<app::CSelectMeasName>([this](app::CSelectMeasName* d) {
        d->tree()->setCurrentItem(d->nameItem(1, 0, 0)->parent());
        d->accept();
        EXPECT_EQ(prompts.texts().back(), sj("測定データ名称を選んでください"));
        d->tree()->setCurrentItem(d->nameItem(1, 0, 0));
        d->accept();
    });
    prompts.queueYes();
    page.button(CPgMstEdit::MoveRecords)->click();
    const model::MeasurementName& target = *model::findMeasurementName(tree, "BETA", "C1", "N1");
    EXPECT_EQ(dataNos(source), (std::vector<int>{1, 2}));
    EXPECT_EQ(dataNos(target), (std::vector<int>{1, 2}));
    EXPECT_EQ(target.records.at(0).testDateTime, datedRecord(2, 10).testDateTime);
    EXPECT_EQ(page.selectedRecords(), std::vector<int>{1});

    // A No keeps everything.
    onNextModal<app::CSelectMeasName>([](app::CSelectMeasName* d) {
        d->tree()->setCurrentItem(d->nameItem(1, 0, 0));
        d->accept();
    });
    prompts.queueNo();
    page.button(CPgMstEdit::MoveRecords)->click();
    EXPECT_EQ(source.records.count(), 2);
}

TEST_F(MgmtTest, DateAndTimeEditedInPlaceKeepThePosition) {
    fillTree();
    CPgMstEdit page(SheetMode::Edit, settings(), tree, {"ALPHA", "C1", "N1", 0});
    QAbstractItemModel* m = page.recordModel();
    const model::MeasurementName& n = *model::findMeasurementName(tree, "ALPHA", "C1", "N1");
    EXPECT_TRUE(m->setData(m->index(0, 1), "2030/12/24"));
    EXPECT_TRUE(m->setData(m->index(0, 2), "08:15"));
    EXPECT_EQ(n.records.at(0).testDateTimeText(), "2030/12/24 08:15");
    EXPECT_EQ(n.records.at(0).dataNo, 1);  // not re-sorted
    EXPECT_EQ(listText(page.recordList(), 0, 1), "2030/12/24");

    // A typing slip keeps the old value instead of destroying the date.
    EXPECT_FALSE(m->setData(m->index(1, 1), "24.12.2030x"));
    EXPECT_EQ(n.records.at(1).testDateText(), "2024/03/02");
    EXPECT_FALSE(m->setData(m->index(1, 3), "1 s"));
}

}  // namespace
}  // namespace plm::test::mgmt
