#include "app/browser/browser_model.h"

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

#include "chart/qt_text.h"

namespace plm::app {

BrowserModel::BrowserModel(QObject* parent) : QAbstractItemModel(parent) {
    nodes_.emplace_back();
}

void BrowserModel::reset(const model::CustomerTree* tree) {
    beginResetModel();
    tree_ = tree;
    nodes_.assign(1, Node{});
    recordCount_ = 0;
    synced_.clear();
    if (tree_) {
        for (int c = 0; c < tree_->customers.count(); ++c)
            addCustomer(tree_->customers.at(c), c);
    }
    endResetModel();
}

void BrowserModel::addCustomer(const model::Customer& customer, int row) {
    auto add = [this](int parent, int level, int at, const std::string& text) {
        const int id = static_cast<int>(nodes_.size());
        Node node;
        node.parent = parent;
        node.row = at;
        node.level = level;
        node.text = text;
        nodes_.push_back(std::move(node));
        nodes_[parent].children.push_back(id);
        return id;
    };
    const int c = add(0, 1, row, customer.name);
    for (int t = 0; t < customer.circuits.count(); ++t) {
        const model::TestCircuit& circuit = customer.circuits.at(t);
        const int ct = add(c, 2, t, circuit.name);
        for (int n = 0; n < circuit.names.count(); ++n) {
            const model::MeasurementName& name = circuit.names.at(n);
            const int nn = add(ct, 3, n, name.name);
            nodes_[nn].name = &name;
            nodes_[nn].records = name.records.count();
            nodes_[nn].firstRecord = recordCount_;
            recordCount_ += name.records.count();
            nodes_[ct].records += nodes_[nn].records;
        }
        nodes_[c].records += nodes_[ct].records;
    }
}

void BrowserModel::setSyncMarks(std::vector<bool> synced) {
    // A list of another tree marks nothing rather than the wrong records.
    if (synced.size() != static_cast<size_t>(recordCount_))
        synced.clear();
    synced_ = std::move(synced);
    for (Node& node : nodes_)
        node.unsynced = 0;
    if (synced_.empty())
        return;
    for (size_t id = 0; id < nodes_.size(); ++id) {
        const Node& node = nodes_[id];
        if (node.level != 3)
            continue;
        const auto first = synced_.begin() + node.firstRecord;
        const int unsynced = static_cast<int>(std::count(first, first + node.records, false));
        for (int up = static_cast<int>(id); up >= 0; up = nodes_[static_cast<size_t>(up)].parent)
            nodes_[static_cast<size_t>(up)].unsynced += unsynced;
    }
}

bool BrowserModel::marked(const QModelIndex& index) const {
    if (synced_.empty() || !index.isValid())
        return false;
    const int id = nodeOf(index);
    if (id >= 0)
        return nodes_[static_cast<size_t>(id)].unsynced > 0;
    const Node& name = nodes_[static_cast<size_t>(parentNodeOf(index))];
    return !synced_[static_cast<size_t>(name.firstRecord + index.row())];
}

namespace {

QPixmap emptyMark() {
    QPixmap mark(12, 12);
    mark.fill(Qt::transparent);
    return mark;
}

// A small amber dot: noticeable beside the number, not alarming.
const QIcon& unsyncedIcon() {
    static const QIcon icon = [] {
        QPixmap dot = emptyMark();
        QPainter painter(&dot);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QColor(176, 96, 0));
        painter.setBrush(QColor(255, 166, 0));
        painter.drawEllipse(QRectF(2, 2, 8, 8));
        return QIcon(dot);
    }();
    return icon;
}

// Rows without the dot keep its room, so that the numbers of a name align.
const QIcon& noMarkIcon() {
    static const QIcon icon(emptyMark());
    return icon;
}

}  // namespace

QVariant BrowserModel::markData(const QModelIndex& index, int role) const {
    if (index.column() != ColName || synced_.empty())
        return {};
    if (role == Qt::DecorationRole)
        return marked(index) ? unsyncedIcon() : noMarkIcon();
    if (!marked(index))
        return {};
    const int id = nodeOf(index);
    if (id < 0)
        return qsj("アーカイブにまだ同期していません");
    return qsj("アーカイブにまだ同期していない測定データ %1件")
        .arg(nodes_[static_cast<size_t>(id)].unsynced);
}

int BrowserModel::parentNodeOf(const QModelIndex& index) const {
    return static_cast<int>(index.internalId());
}

int BrowserModel::nodeOf(const QModelIndex& index) const {
    if (!index.isValid())
        return 0;
    const Node& parent = nodes_[static_cast<size_t>(parentNodeOf(index))];
    return parent.level < 3 ? parent.children[static_cast<size_t>(index.row())] : -1;
}

bool BrowserModel::isMeasurement(const QModelIndex& index) const {
    return index.isValid() && nodeOf(index) < 0;
}

QModelIndex BrowserModel::index(int row, int column, const QModelIndex& parent) const {
    if (column < 0 || column >= ColumnCount || row < 0 || row >= rowCount(parent))
        return {};
    return createIndex(row, column, static_cast<quintptr>(nodeOf(parent)));
}

QModelIndex BrowserModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    const int p = parentNodeOf(child);
    if (p == 0)
        return {};
    const Node& node = nodes_[static_cast<size_t>(p)];
    return createIndex(node.row, 0, static_cast<quintptr>(node.parent));
}

int BrowserModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    const int id = nodeOf(parent);
    if (id < 0)
        return 0;
    const Node& node = nodes_[static_cast<size_t>(id)];
    return node.level == 3 ? node.name->records.count() : static_cast<int>(node.children.size());
}

int BrowserModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QVariant BrowserModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DecorationRole)
        return markData(index, role);
    if (role == Qt::ToolTipRole) {
        const QVariant note = markData(index, role);
        const QVariant text = data(index, Qt::DisplayRole);
        return note.isValid() ? QVariant(text.toString() + QChar('\n') + note.toString()) : text;
    }
    if (role != Qt::DisplayRole)
        return {};
    const int id = nodeOf(index);
    if (id >= 0) {
        if (index.column() != ColName)
            return {};
        const Node& node = nodes_[static_cast<size_t>(id)];
        return QStringLiteral("%1 (%2)").arg(qs(node.text)).arg(node.records);
    }
    const Node& name = nodes_[static_cast<size_t>(parentNodeOf(index))];
    const model::MeasurementRecord& record = name.name->records.at(index.row());
    switch (index.column()) {
        case ColName:
            return qs(record.dataNoText());
        case ColDate:
            return qs(record.testDateTimeText());
        case ColKind:
            return qs(record.measureTypeText());
        default:
            return {};
    }
}

QVariant BrowserModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
        case ColName:
            return qsj("No.");
        case ColDate:
            return qsj("試験日時");
        case ColKind:
            return qsj("測定種別");
        default:
            return {};
    }
}

Selection BrowserModel::selectionAt(const QModelIndex& index) const {
    Selection selection;
    int id = nodeOf(index);
    if (id < 0) {
        selection.index = index.row();
        id = parentNodeOf(index);
    }
    for (; id > 0; id = nodes_[static_cast<size_t>(id)].parent) {
        const Node& node = nodes_[static_cast<size_t>(id)];
        std::string* level[] = {nullptr, &selection.customer, &selection.circuit, &selection.name};
        *level[node.level] = node.text;
    }
    return selection;
}

QModelIndex BrowserModel::indexOf(const Selection& selection) const {
    if (!tree_)
        return {};
    const int c = tree_->customers.find(selection.customer);
    if (c < 0)
        return {};
    const QModelIndex customer = index(c, 0);
    const int t = tree_->customers.at(c).circuits.find(selection.circuit);
    if (t < 0)
        return customer;
    const QModelIndex circuit = index(t, 0, customer);
    const int n = tree_->customers.at(c).circuits.at(t).names.find(selection.name);
    if (n < 0)
        return circuit;
    const QModelIndex name = index(n, 0, circuit);
    if (selection.index < 0 || selection.index >= rowCount(name))
        return name;
    return index(selection.index, 0, name);
}

}  // namespace plm::app
