#include "app/data_sheet/data_management_page.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStringList>
#include <QTreeView>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "app/data_sheet/add_item.h"
#include "app/data_sheet/detail_editor.h"
#include "app/data_sheet/mgmt_header_view.h"
#include "app/data_sheet/mgmt_models.h"
#include "app/data_sheet/select_meas_name.h"
#include "app/data_sheet/sheet_command.h"
#include "app/data_sheet/transfer_page.h"
#include "app/shell/app_context.h"
#include "chart/qt_text.h"
#include "ui/header_fit.h"
#include "ui/listed_name.h"
#include "ui/prompter.h"

namespace plm::app {

using support::sj;

namespace {

constexpr std::array<int, 3> NameColumnWidth = {200, 120, 210};
// A longer undo or redo text is shortened in the middle on its button.
constexpr int UndoButtonTextWidth = 360;

// Names of the levels in the texts of undo and redo.
constexpr std::array<const char*, 3> LevelNoun = {"需要家", "試験回路", "測定名"};

// "需要家「東京」の削除"
QString nameCommandText(int level, const std::string& name, const char* what) {
    return qsj("%1「%2」の%3").arg(qsj(LevelNoun[level]), ui::listedName(name), qsj(what));
}

// "測定 No. 3", or "測定 No. 3 ほか 2 件" for several.
QString recordsText(const model::RecordList& records, const std::vector<int>& rows) {
    QString text = qsj("測定 No. %1").arg(qs(records.at(rows.front()).dataNoText()));
    if (rows.size() > 1)
        text += qsj(" ほか %1 件").arg(rows.size() - 1);
    return text;
}

int recordCount(const model::MeasurementName& name) {
    return name.records.count();
}
int recordCount(const model::TestCircuit& circuit) {
    int count = 0;
    for (const model::MeasurementName& name : circuit.names)
        count += recordCount(name);
    return count;
}
int recordCount(const model::Customer& customer) {
    int count = 0;
    for (const model::TestCircuit& circuit : customer.circuits)
        count += recordCount(circuit);
    return count;
}

// What a deleted name holds: "（試験回路 3・測定 42 件）", "（測定名 2・測定 5 件）", "（測定 3
// 件）".
QString contentsText(const model::CustomerTree& tree, model::TreeLevel level,
                     const model::NamePath& at) {
    const model::Customer& customer = tree.customers.at(at.customer);
    if (level == model::TreeLevel::Customer)
        return qsj("（試験回路 %1・測定 %2 件）")
            .arg(customer.circuits.count())
            .arg(recordCount(customer));
    const model::TestCircuit& circuit = customer.circuits.at(at.circuit);
    if (level == model::TreeLevel::Circuit)
        return qsj("（測定名 %1・測定 %2 件）")
            .arg(circuit.names.count())
            .arg(recordCount(circuit));
    return qsj("（測定 %1 件）").arg(recordCount(circuit.names.at(at.name)));
}

// "需要家「東京」（試験回路 3・測定 42 件）を削除します\nよろしいですか"
std::string deleteNameQuestion(const model::CustomerTree& tree, int level,
                               const model::NamePath& at, const std::string& name) {
    return cp(qsj("%1「%2」%3を削除します\nよろしいですか")
                  .arg(qsj(LevelNoun[level]), ui::listedName(name),
                       contentsText(tree, model::TreeLevel(level), at)));
}

// "測定名「N1」の測定 No. 3（2024/03/03 10:00）を削除します\nよろしいですか", or for several
// "測定名「N1」の測定 3 件（No. 1・2・5）を削除します\nよろしいですか".
std::string deleteRecordsQuestion(const model::MeasurementName& name,
                                  const std::vector<int>& rows) {
    constexpr size_t ListedNumbers = 5;
    const model::RecordList& records = name.records;
    QString what;
    if (rows.size() == 1) {
        const model::MeasurementRecord& r = records.at(rows.front());
        what = qsj("測定 No. %1（%2）").arg(qs(r.dataNoText()), qs(r.testDateTimeText()));
    } else {
        QStringList numbers;
        for (size_t i = 0; i < rows.size() && i < ListedNumbers; ++i)
            numbers << qs(records.at(rows[i]).dataNoText());
        QString listed = numbers.join(qsj("・"));
        if (rows.size() > ListedNumbers)
            listed += qsj(" ほか");
        what = qsj("測定 %1 件（No. %2）").arg(rows.size()).arg(listed);
    }
    return cp(
        qsj("測定名「%1」の%2を削除します\nよろしいですか").arg(ui::listedName(name.name), what));
}

std::string detailLabel(const model::MeasurementRecord& r, int channels, int number) {
    for (const DetailItem& item : detailItems(r, channels)) {
        if (item.number == number)
            return item.label;
    }
    return {};
}

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

// A list of names, where Enter or F2 edits the current name at once. After a
// click on the selected name Qt waits a double-click interval before it edits,
// and drops an edit key pressed meanwhile; a double click is what ends that
// wait, and it edits here too.
class NameListView : public QTreeView {
  public:
    using QTreeView::QTreeView;

  protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
        if (trigger == EditKeyPressed && (editTriggers() & EditKeyPressed) &&
            (editTriggers() & DoubleClicked))
            trigger = DoubleClicked;
        return QTreeView::edit(index, trigger, event);
    }
};

void setUpList(QTreeView* view) {
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setFont(proportionalGothic());
}

QTreeView* makeList(QWidget* parent) {
    auto* view = new QTreeView(parent);
    setUpList(view);
    return view;
}

QTreeView* makeNameList(QWidget* parent) {
    QTreeView* view = new NameListView(parent);
    setUpList(view);
    return view;
}

}  // namespace

CPgMstEdit::CPgMstEdit(SheetMode mode, settings::AppSettings& settings, model::CustomerTree& tree,
                       const Selection& in, QWidget* parent)
    : QWidget(parent),
      mode_(mode),
      settings_(settings),
      tree_(tree),
      channels_(model::channelCount(settings_.deviceTypeIndex)) {
    setWindowTitle(qsj("需要家データ編集"));
    undoStack_ = new QUndoStack(this);
    buildControls();
    applyMode();
    applyInitialSelection(in);
}

// The stack goes first, while the page it tells of its changes is still whole:
// as a child it would be cleared after the page's own members are gone.
CPgMstEdit::~CPgMstEdit() {
    undoStack_->disconnect(this);
    delete undoStack_;
}

QWidget* CPgMstEdit::buildNameColumn(int level) {
    auto* column = new QWidget(group_);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    QTreeView* view = makeNameList(column);
    auto* model = new NameListModel(view);
    const settings::AppSettings& s = settings_;
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
    buildUndo();
    connect(detail_, &DetailEditor::valueRefused, this, &CPgMstEdit::refreshDetail);

    caption_ = new QLabel(this);
    caption_->setFont(proportionalGothic());
    recordView_ = makeList(this);
    recordView_->setHeader(new MgmtHeaderView(recordView_));
    recordModel_ = new RecordTableModel(recordView_);
    connect(recordModel_, &RecordTableModel::startEdited, this, &CPgMstEdit::editStart);
    recordModel_->setColumns(measurementColumns(mode_, settings_, channels_));
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
        tree_, settings_, [this] { return currentNameNode(); },
        [this](const std::vector<int>& rows, std::vector<model::MeasurementRecord> records,
               model::RegisterMode mode) { fileTicked(rows, std::move(records), mode); },
        this);

    auto* top = new QHBoxLayout;
    top->addWidget(group_, 3);
    top->addWidget(detail_, 1);
    auto* recordButtons = new QHBoxLayout;
    recordButtons->addWidget(deleteRecords_);
    recordButtons->addWidget(moveRecords_);
    recordButtons->addStretch();
    recordButtons->addWidget(undoButton_);
    recordButtons->addWidget(redoButton_);
    auto* left = new QVBoxLayout;
    left->addLayout(top, 1);
    left->addWidget(caption_);
    left->addWidget(recordView_, 1);
    left->addLayout(recordButtons);
    auto* page = new QHBoxLayout(this);
    page->addLayout(left, 3);
    page->addWidget(transfer_, 1);
}

void CPgMstEdit::buildUndo() {
    undoAction_ = new QAction(this);
    undoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction_ = new QAction(this);
    redoAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* action : {undoAction_, redoAction_})
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(undoAction_, &QAction::triggered, undoStack_, &QUndoStack::undo);
    connect(redoAction_, &QAction::triggered, undoStack_, &QUndoStack::redo);
    undoButton_ = new QPushButton(this);
    redoButton_ = new QPushButton(this);
    connect(undoButton_, &QPushButton::clicked, undoAction_, &QAction::trigger);
    connect(redoButton_, &QPushButton::clicked, redoAction_, &QAction::trigger);
    connect(undoStack_, &QUndoStack::indexChanged, this, &CPgMstEdit::updateUndoTexts);
    updateUndoTexts();
}

// "元に戻す：需要家「東京」の削除" on the action; the button shows as much of it as fits.
void CPgMstEdit::updateUndoTexts() {
    const auto update = [](QAction* action, QPushButton* button, const char* verb, bool can,
                           const QString& command) {
        const QString text = can ? qsj("%1：%2").arg(qsj(verb), command) : qsj(verb);
        action->setText(text);
        action->setEnabled(can);
        button->setText(
            button->fontMetrics().elidedText(text, Qt::ElideMiddle, UndoButtonTextWidth));
        button->setToolTip(can ? text : QString());
        button->setEnabled(can);
    };
    update(undoAction_, undoButton_, "元に戻す", undoStack_->canUndo(), undoStack_->undoText());
    update(redoAction_, redoButton_, "やり直し", undoStack_->canRedo(), undoStack_->redoText());
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
    undoButton_->setVisible(!display);
    redoButton_->setVisible(!display);
    if (!display) {
        addActions({undoAction_, redoAction_});
        setContextMenuPolicy(Qt::ActionsContextMenu);
    }
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

model::NamePath CPgMstEdit::currentPath() const {
    return {currentCustomer(), currentCircuit(), currentName()};
}

CPgMstEdit::View CPgMstEdit::currentView() const {
    return {currentCustomer(), currentCircuit(), currentName(), selectedRecords()};
}

// Every list is loaded again, since an undo or redo may have changed any level.
void CPgMstEdit::showView(const View& view) {
    {
        const QScopedValueRollback guard(loading_, true);
        const std::array<int, 3> positions = {view.customer, view.circuit, view.name};
        for (int level = 0; level < 3; ++level) {
            nameModels_[level]->setNames(namesOfLevel(level));
            selectRow(nameViews_[level], positions[level]);
        }
        const model::MeasurementName* node = currentNameNode();
        recordModel_->setRecords(node ? &node->records : nullptr);
        selectRecords(view.records);
    }
    updateCaption();
    refreshDetail();
}

void CPgMstEdit::recordChange(std::unique_ptr<model::TreeChange> change, const QString& text,
                              const View& before, std::function<void(bool)> alongside) {
    const View after = currentView();
    undoStack_->push(
        new SheetCommand(tree_, std::move(change), text,
                         [this, before, after, alongside = std::move(alongside)](bool redone) {
                             if (alongside)
                                 alongside(redone);
                             showView(redone ? after : before);
                         }));
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
    if (undoStack_->isClean() || mode_ == SheetMode::Display)
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
    CAddItem dialog(level, c, t, tree_, levelCaption(settings_, level), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const View before = currentView();
    auto change =
        std::make_unique<model::AddNameChange>(model::TreeLevel(level), parents(), dialog.name());
    change->apply(tree_);
    reloadList(level, change->position());
    recordChange(std::move(change), nameCommandText(level, dialog.name(), "追加"), before);
}

void CPgMstEdit::deleteItem(int level) {
    const int position = level == 0   ? currentCustomer()
                         : level == 1 ? currentCircuit()
                                      : currentName();
    if (position < 0)
        return;
    const std::string name = nameModels_[level]->names().at(position);
    if (!ui::prompter().askYesNo(deleteNameQuestion(tree_, level, currentPath(), name),
                                 ui::Answer::No))
        return;
    const View before = currentView();
    auto change =
        std::make_unique<model::RemoveNameChange>(model::TreeLevel(level), parents(), position);
    change->apply(tree_);
    const int remaining = int(nameModels_[level]->names().size()) - 1;
    reloadList(level, position < remaining ? position : remaining - 1);
    recordChange(std::move(change), nameCommandText(level, name, "削除"), before);
}

void CPgMstEdit::renameItem(int level, int row, const std::string& text) {
    if (row < 0 || row >= int(nameModels_[level]->names().size()))
        return;
    const std::string oldName = nameModels_[level]->names()[row];
    if (text.empty() || text == oldName)
        return;
    const View before = currentView();
    auto change = std::make_unique<model::RenameNameChange>(model::TreeLevel(level), parents(), row,
                                                            text, levelCaption(settings_, level));
    try {
        change->apply(tree_);
    } catch (const CxException& e) {
        ui::prompter().information(e.text());
        return;
    }
    if (change->newPosition() == row) {
        // Same place: only the text changes, the selections beneath stay.
        std::vector<std::string> names = nameModels_[level]->names();
        names[row] = text;
        {
            const QScopedValueRollback guard(loading_, true);
            nameModels_[level]->setNames(std::move(names));
            selectRow(nameViews_[level], row);
        }
        updateCaption();
    } else {
        reloadList(level, change->newPosition());
    }
    recordChange(std::move(change),
                 qsj("%1「%2」を「%3」に名称変更")
                     .arg(qsj(LevelNoun[level]), ui::listedName(oldName), ui::listedName(text)),
                 before);
}

// ---- Measurements ----

void CPgMstEdit::deleteRecords() {
    const model::MeasurementName* node = currentNameNode();
    const std::vector<int> rows = selectedRecords();
    if (!node || rows.empty())
        return;
    if (!ui::prompter().askYesNo(deleteRecordsQuestion(*node, rows), ui::Answer::No))
        return;
    const View before = currentView();
    const QString text = recordsText(node->records, rows) + qsj(" の削除");
    auto change = std::make_unique<model::RemoveRecordsChange>(currentPath(), rows);
    change->apply(tree_);
    reloadRecords(rows.front());
    recordChange(std::move(change), text, before);
}

void CPgMstEdit::moveRecords() {
    const model::MeasurementName* source = currentNameNode();
    const std::vector<int> rows = selectedRecords();
    if (!source || rows.empty())
        return;
    CSelectMeasName dialog(tree_, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const model::NamePath to{dialog.customer(), dialog.circuit(), dialog.name()};
    const model::Customer& customer = tree_.customers.at(to.customer);
    const model::TestCircuit& circuit = customer.circuits.at(to.circuit);
    const model::MeasurementName& target = circuit.names.at(to.name);
    if (!ui::prompter().askYesNo(support::format(
            sj("次の場所にデータを移動します，よろしいですか\n【 %s 】\n【 %s 】\n【 %s 】\n")
                .c_str(),
            customer.name.c_str(), circuit.name.c_str(), target.name.c_str())))
        return;
    const View before = currentView();
    const QString text = recordsText(source->records, rows) + qsj(" の移動");
    auto change = std::make_unique<model::MoveRecordsChange>(currentPath(), rows, to);
    change->apply(tree_);
    reloadRecords(rows.front());
    recordChange(std::move(change), text, before);
}

// A multi-selection edit is one change: the first selected measurement takes
// the edit and every other one its conditions.
void CPgMstEdit::editDetail(int number, const std::string& text) {
    const model::MeasurementName* node = currentNameNode();
    if (!node || node->records.empty() || mode_ == SheetMode::Display)
        return;
    std::vector<int> rows = selectedRecords();
    if (rows.empty())
        rows.push_back(0);
    model::MeasurementRecord first = node->records.at(rows.front());
    const std::string label = detailLabel(first, channels_, number);
    editConditions({&first}, number, channels_, text, settings_);
    auto change = std::make_unique<model::SetConditionsChange>(
        currentPath(), rows, std::vector<model::TestConditions>(rows.size(), first.cond));
    if (!change->changes(tree_)) {
        refreshDetail();
        return;
    }
    const View before = currentView();
    const QString commandText =
        recordsText(node->records, rows) + qsj(" の「%1」の変更").arg(qs(label));
    change->apply(tree_);
    recordModel_->refresh();
    refreshDetail();
    recordChange(std::move(change), commandText, before);
}

void CPgMstEdit::editStart(int row, bool datePart, support::DateTimeValue start) {
    const model::MeasurementName* node = currentNameNode();
    if (!node)
        return;
    auto change = std::make_unique<model::SetStartChange>(currentPath(), row, start);
    if (!change->changes(tree_))
        return;
    const View before = currentView();
    const QString text =
        recordsText(node->records, {row}) + qsj(datePart ? " の開始日の変更" : " の開始時刻の変更");
    change->apply(tree_);
    recordChange(std::move(change), text, before);
}

// The filed rows leave the transfer list, and come back to it ticked when
// the filing is undone, so that nothing received is lost by an undo.
void CPgMstEdit::fileTicked(const std::vector<int>& rows,
                            std::vector<model::MeasurementRecord> records,
                            model::RegisterMode mode) {
    const model::MeasurementName* target = currentNameNode();
    const View before = currentView();
    const std::vector<model::MeasurementRecord> listed = records;
    auto change = std::make_unique<model::RegisterRecordsChange>(
        tree_, currentPath(), std::move(records), mode, settings_);
    change->apply(tree_);
    const QString text =
        qsj(mode == model::RegisterMode::Replace ? "測定名「%1」の既存データを消去して登録"
                                                 : "測定名「%1」への登録")
            .arg(ui::listedName(target->name));
    TransferListModel* list = transfer_->listModel();
    list->removeRows(rows);
    updateCaption();
    reloadRecords(0);
    recordChange(std::move(change), text, before, [list, rows, listed](bool redone) {
        if (redone)
            list->removeRows(rows);
        else
            list->restoreRows(rows, listed);
    });
}

}  // namespace plm::app
