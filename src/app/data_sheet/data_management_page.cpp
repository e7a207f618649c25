#include "app/data_sheet/data_management_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/data_sheet/add_item.h"
#include "app/data_sheet/detail_editor.h"
#include "app/data_sheet/mgmt_header_view.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/data_sheet/select_meas_name.h"
#include "app/data_sheet/transfer_page.h"
#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "ui/header_fit.h"
#include "ui/prompter.h"

namespace plm::app {

using support::sj;

namespace {

constexpr std::array<int, 3> NameColumnWidth = {200, 120, 210};

int rowOf(const QTreeView* view) {
    const QModelIndex current = view->selectionModel()->currentIndex();
    if (!current.isValid() || !view->selectionModel()->isRowSelected(current.row(), {}))
        return -1;
    return current.row();
}

// A selected item is also the focused item of its list.
void selectRow(QTreeView* view, int row) {
    QItemSelectionModel* sel = view->selectionModel();
    if (row < 0 || row >= view->model()->rowCount()) {
        sel->clear();
        return;
    }
    const QModelIndex index = view->model()->index(row, 0);
    sel->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
}

QTreeView* makeList(QWidget* parent) {
    auto* view = new QTreeView(parent);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setFont(proportionalGothic());
    return view;
}

}  // namespace

CPgMstEdit::CPgMstEdit(SheetMode mode, model::CustomerTree& tree, const Selection& in,
                       QWidget* parent)
    : QWidget(parent),
      mode_(mode),
      tree_(tree),
      channels_(model::channelCount(appSettings().deviceTypeIndex)) {
    setWindowTitle(qsj("需要家データ編集"));
    buildControls();
    applyMode();
    applyInitialSelection(in);
}

CPgMstEdit::~CPgMstEdit() = default;

QWidget* CPgMstEdit::buildNameColumn(int level) {
    auto* column = new QWidget(group_);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    QTreeView* view = makeList(column);
    auto* model = new NameListModel(view);
    const settings::AppSettings& s = appSettings();
    model->setHeader(level == 0 ? s.itemName1 : level == 1 ? s.itemName2 : s.itemName3);
    view->setModel(model);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->header()->resizeSection(0, NameColumnWidth[level]);
    nameViews_[level] = view;
    nameModels_[level] = model;
    // Queued: the rename may reload the list, which must not happen while the
    // view is still committing the edit.
    connect(
        model, &NameListModel::renameRequested, this,
        [this, level](int row, const std::string& text) { renameItem(level, row, text); },
        Qt::QueuedConnection);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, level] { onListChanged(level); });
    layout->addWidget(view, 1);
    auto* buttons = new QHBoxLayout;
    addButtons_[level] = new QPushButton(qsj("追加..."), column);
    deleteButtons_[level] = new QPushButton(qsj("削除"), column);
    connect(addButtons_[level], &QPushButton::clicked, this, [this, level] { addItem(level); });
    connect(deleteButtons_[level], &QPushButton::clicked, this,
            [this, level] { deleteItem(level); });
    buttons->addWidget(addButtons_[level]);
    buttons->addWidget(deleteButtons_[level]);
    buttons->addStretch();
    layout->addLayout(buttons);
    return column;
}

void CPgMstEdit::buildControls() {
    group_ = new QGroupBox(qsj("需要家データ"), this);
    auto* names = new QHBoxLayout(group_);
    for (int level = 0; level < 3; ++level)
        names->addWidget(buildNameColumn(level), 1);

    detail_ = new DetailEditor(this);
    connect(detail_, &DetailEditor::valueEdited, this, &CPgMstEdit::editDetail);

    caption_ = new QLabel(this);
    caption_->setFont(proportionalGothic());
    recordView_ = makeList(this);
    recordView_->setHeader(new MgmtHeaderView(recordView_));
    recordModel_ = new RecordTableModel(recordView_);
    recordModel_->setColumns(measurementColumns(mode_, appSettings(), channels_));
    recordView_->setModel(recordModel_);
    recordView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    recordView_->header()->setStretchLastSection(false);
    ui::resizeSectionsToFit(*recordView_->header(), columnWidths(recordModel_->columns()));
    connect(recordView_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!loading_)
            refreshDetail();
    });
    connect(recordView_, &QTreeView::doubleClicked, this, [this] {
        if (mode_ == SheetMode::Display && !selectedRecords().empty())
            emit okRequested();
    });
    deleteRecords_ = new QPushButton(qsj("削除"), this);
    moveRecords_ = new QPushButton(qsj("移動..."), this);
    connect(deleteRecords_, &QPushButton::clicked, this, &CPgMstEdit::deleteRecords);
    connect(moveRecords_, &QPushButton::clicked, this, &CPgMstEdit::moveRecords);

    transfer_ = new TransferPage(
        tree_, [this] { return currentNameNode(); }, this);
    connect(transfer_, &TransferPage::registered, this, &CPgMstEdit::afterRegister);

    auto* top = new QHBoxLayout;
    top->addWidget(group_, 3);
    top->addWidget(detail_, 1);
    auto* recordButtons = new QHBoxLayout;
    recordButtons->addWidget(deleteRecords_);
    recordButtons->addWidget(moveRecords_);
    recordButtons->addStretch();
    auto* left = new QVBoxLayout;
    left->addLayout(top, 1);
    left->addWidget(caption_);
    left->addWidget(recordView_, 1);
    left->addLayout(recordButtons);
    auto* page = new QHBoxLayout(this);
    page->addLayout(left, 3);
    page->addWidget(transfer_, 1);
}

void CPgMstEdit::applyMode() {
    const bool display = mode_ == SheetMode::Display;
    // Hidden buttons leave their room to the lists above them, and without the
    // transfer list the other controls reach the page's right edge.
    for (int level = 0; level < 3; ++level) {
        addButtons_[level]->setVisible(!display);
        deleteButtons_[level]->setVisible(!display);
        nameModels_[level]->setEditable(!display);
        nameViews_[level]->setEditTriggers(display ? QAbstractItemView::NoEditTriggers
                                                   : QAbstractItemView::DoubleClicked |
                                                         QAbstractItemView::EditKeyPressed |
                                                         QAbstractItemView::SelectedClicked);
    }
    deleteRecords_->setVisible(!display);
    moveRecords_->setVisible(!display);
    recordModel_->setEditable(!display);
    recordView_->setEditTriggers(display ? QAbstractItemView::NoEditTriggers
                                         : QAbstractItemView::DoubleClicked |
                                               QAbstractItemView::EditKeyPressed);
    detail_->setReadOnly(display);
    transfer_->setVisible(mode_ == SheetMode::Transfer);
}

void CPgMstEdit::applyInitialSelection(const Selection& in) {
    reloadList(0, 0);
    auto pick = [](int found) { return found < 0 ? 0 : found; };
    if (currentCustomer() < 0)
        return;
    selectCustomer(pick(tree_.customers.find(in.customer)));
    if (currentCircuit() < 0)
        return;
    const model::Customer& c = tree_.customers.at(currentCustomer());
    selectCircuit(pick(c.circuits.find(in.circuit)));
    if (currentName() < 0)
        return;
    selectName(pick(c.circuits.at(currentCircuit()).names.find(in.name)));
    const model::MeasurementName* node = currentNameNode();
    if (!node)
        return;
    std::vector<int> positions;
    for (int i : in.measurements()) {
        if (i >= 0 && i < node->records.count())
            positions.push_back(i);
    }
    if (!positions.empty())
        selectRecords(positions);
}

int CPgMstEdit::currentCustomer() const {
    return rowOf(nameViews_[0]);
}

int CPgMstEdit::currentCircuit() const {
    return currentCustomer() < 0 ? -1 : rowOf(nameViews_[1]);
}

int CPgMstEdit::currentName() const {
    return currentCircuit() < 0 ? -1 : rowOf(nameViews_[2]);
}

std::vector<int> CPgMstEdit::selectedRecords() const {
    std::vector<int> rows;
    for (const QModelIndex& i : recordView_->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

model::MeasurementName* CPgMstEdit::currentNameNode() const {
    const int n = currentName();
    if (n < 0)
        return nullptr;
    return &tree_.customers.at(currentCustomer()).circuits.at(currentCircuit()).names.at(n);
}

std::vector<std::string> CPgMstEdit::namesOfLevel(int level) const {
    return model::namesAt(tree_, model::TreeLevel(level), parents());
}

model::TreeParents CPgMstEdit::parents() const {
    return {currentCustomer(), currentCircuit()};
}

// Reloading a list selects the requested position, or the first item when the
// position lies outside the list, and reloads everything beneath it.
void CPgMstEdit::reloadList(int level, int position) {
    {
        const QScopedValueRollback guard(loading_, true);
        nameModels_[level]->setNames(namesOfLevel(level));
        const int count = nameModels_[level]->rowCount();
        selectRow(nameViews_[level], position >= 0 && position < count ? position : 0);
    }
    onListChanged(level);
}

void CPgMstEdit::onListChanged(int level) {
    if (loading_)
        return;
    // The lists beneath are reloaded first; the last of them sets the caption
    // from a selection that is complete again.
    if (level < 2) {
        reloadList(level + 1, 0);
        return;
    }
    updateCaption();
    reloadRecords(0);
}

void CPgMstEdit::reloadRecords(int position) {
    {
        const QScopedValueRollback guard(loading_, true);
        model::MeasurementName* node = currentNameNode();
        recordModel_->setRecords(node ? &node->records : nullptr);
        const int count = recordModel_->rowCount();
        selectRow(recordView_, position >= 0 && position < count ? position : 0);
    }
    refreshDetail();
}

void CPgMstEdit::updateCaption() {
    const int c = currentCustomer();
    const int t = currentCircuit();
    const int n = currentName();
    const model::Customer* customer = c >= 0 ? &tree_.customers.at(c) : nullptr;
    const model::TestCircuit* circuit = t >= 0 ? &customer->circuits.at(t) : nullptr;
    const model::MeasurementName* name = n >= 0 ? &circuit->names.at(n) : nullptr;
    caption_->setText(qs(measurementListCaption(customer ? &customer->name : nullptr,
                                                circuit ? &circuit->name : nullptr,
                                                name ? &name->name : nullptr)));
}

void CPgMstEdit::refreshDetail() {
    const model::MeasurementName* node = currentNameNode();
    if (!node || node->records.empty()) {
        detail_->clearRecord();
        return;
    }
    const std::vector<int> rows = selectedRecords();
    detail_->showRecord(node->records.at(rows.empty() ? 0 : rows.front()), channels_);
}

void CPgMstEdit::selectCustomer(int position) {
    selectRow(nameViews_[0], position);
}
void CPgMstEdit::selectCircuit(int position) {
    selectRow(nameViews_[1], position);
}
void CPgMstEdit::selectName(int position) {
    selectRow(nameViews_[2], position);
}

void CPgMstEdit::selectRecords(const std::vector<int>& positions) {
    QItemSelectionModel* sel = recordView_->selectionModel();
    sel->clear();
    for (int row : positions) {
        const QModelIndex index = recordModel_->index(row, 0);
        sel->setCurrentIndex(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (!positions.empty())
        recordView_->scrollTo(recordModel_->index(positions.front(), 0));
}

Selection CPgMstEdit::selectionOut() const {
    Selection out;
    const int c = currentCustomer();
    if (c < 0)
        return out;
    const model::Customer& customer = tree_.customers.at(c);
    out.customer = customer.name;
    if (const int t = currentCircuit(); t >= 0) {
        out.circuit = customer.circuits.at(t).name;
        if (const int n = currentName(); n >= 0)
            out.name = customer.circuits.at(t).names.at(n).name;
    }
    const std::vector<int> rows = selectedRecords();
    out.index = rows.empty() ? -1 : rows.front();
    if (rows.size() > 1)
        out.indexes = rows;
    return out;
}

bool CPgMstEdit::canClose() {
    if (mode_ == SheetMode::Display && (currentName() < 0 || selectedRecords().empty())) {
        ui::prompter().stop(sj("測定データを選んでください"));
        return false;
    }
    return true;
}

bool CPgMstEdit::mayDiscardEdits() {
    if (!edited_ || mode_ == SheetMode::Display)
        return true;
    return ui::prompter().askYesNo(sj("編集した内容は保存されていません\n"
                                      "変更を破棄して閉じてもよろしいですか"),
                                   ui::Answer::No);
}

bool CPgMstEdit::mayDiscardReceived() {
    return mode_ != SheetMode::Transfer || transfer_->mayDiscardReceived();
}

QPushButton* CPgMstEdit::button(ButtonId id) const {
    switch (id) {
        case AddCustomer:
            return addButtons_[0];
        case DeleteCustomer:
            return deleteButtons_[0];
        case AddCircuit:
            return addButtons_[1];
        case DeleteCircuit:
            return deleteButtons_[1];
        case AddName:
            return addButtons_[2];
        case DeleteName:
            return deleteButtons_[2];
        case DeleteRecords:
            return deleteRecords_;
        case MoveRecords:
            return moveRecords_;
        case Register:
            return transfer_->registerButton();
        case StartTransfer:
            return transfer_->transferButton();
        case ReadFile:
            return transfer_->fileButton();
    }
    return nullptr;
}

// ---- Creating, renaming and deleting names ----

void CPgMstEdit::addItem(int level) {
    const int c = currentCustomer();
    const int t = currentCircuit();
    if ((level >= 1 && c < 0) || (level == 2 && t < 0))
        return;
    CAddItem dialog(level, c, t, tree_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    edited_ = true;
    reloadList(level, model::addName(tree_, model::TreeLevel(level), parents(), dialog.name()));
}

void CPgMstEdit::deleteItem(int level) {
    const int position = level == 0   ? currentCustomer()
                         : level == 1 ? currentCircuit()
                                      : currentName();
    if (position < 0)
        return;
    const std::string& name = nameModels_[level]->names().at(position);
    if (!ui::prompter().askYesNo(
            support::format(sj("選択中のデータを削除します\nよろしいですか\n【 %s 】").c_str(),
                            name.c_str()),
            ui::Answer::No))
        return;
    model::removeName(tree_, model::TreeLevel(level), parents(), position);
    edited_ = true;
    const int remaining = int(nameModels_[level]->names().size()) - 1;
    reloadList(level, position < remaining ? position : remaining - 1);
}

void CPgMstEdit::renameItem(int level, int row, const std::string& text) {
    if (row < 0 || row >= int(nameModels_[level]->names().size()))
        return;
    if (text.empty() || text == nameModels_[level]->names()[row])
        return;
    int position = row;
    try {
        position = model::renameName(tree_, model::TreeLevel(level), parents(), row, text,
                                     levelCaption(level));
    } catch (const CxException& e) {
        ui::prompter().information(e.text());
        return;
    }
    edited_ = true;
    if (position == row) {
        // Same place: only the text changes, the selections beneath stay.
        std::vector<std::string> names = nameModels_[level]->names();
        names[row] = text;
        {
            const QScopedValueRollback guard(loading_, true);
            nameModels_[level]->setNames(std::move(names));
            selectRow(nameViews_[level], row);
        }
        updateCaption();
        return;
    }
    reloadList(level, position);
}

// ---- Measurements ----

void CPgMstEdit::deleteRecords() {
    model::MeasurementName* node = currentNameNode();
    const std::vector<int> rows = selectedRecords();
    if (!node || rows.empty())
        return;
    if (!ui::prompter().askYesNo(sj("選択中のデータを削除します\nよろしいですか"), ui::Answer::No))
        return;
    model::removeRecords(*node, rows);
    edited_ = true;
    reloadRecords(rows.front());
}

void CPgMstEdit::moveRecords() {
    model::MeasurementName* source = currentNameNode();
    const std::vector<int> rows = selectedRecords();
    if (!source || rows.empty())
        return;
    CSelectMeasName dialog(tree_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    model::Customer& customer = tree_.customers.at(dialog.customer());
    model::TestCircuit& circuit = customer.circuits.at(dialog.circuit());
    model::MeasurementName& target = circuit.names.at(dialog.name());
    if (!ui::prompter().askYesNo(support::format(
            sj("次の場所にデータを移動します，よろしいですか\n【 %s 】\n【 %s 】\n【 %s 】\n")
                .c_str(),
            customer.name.c_str(), circuit.name.c_str(), target.name.c_str())))
        return;
    model::moveRecords(*source, rows, target);
    edited_ = true;
    reloadRecords(rows.front());
}

void CPgMstEdit::editDetail(int number, const std::string& text) {
    model::MeasurementName* node = currentNameNode();
    if (!node || node->records.empty() || mode_ == SheetMode::Display)
        return;
    std::vector<int> rows = selectedRecords();
    if (rows.empty())
        rows.push_back(0);
    std::vector<model::MeasurementRecord*> targets;
    for (int row : rows)
        targets.push_back(&node->records.at(row));
    editConditions(targets, number, channels_, text, appSettings());
    edited_ = true;
    recordModel_->refresh();
    refreshDetail();
}

void CPgMstEdit::afterRegister() {
    edited_ = true;
    updateCaption();
    reloadRecords(0);
}

}  // namespace plm::app
