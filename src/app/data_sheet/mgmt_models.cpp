#include "app/data_sheet/mgmt_models.h"

#include <QBrush>
#include <QColor>
#include <QSize>

#include "chart/qt_text.h"
#include "support/ole_date.h"
#include "ui/listed_name.h"

namespace plm::app {

// ---- NameListModel ----

void NameListModel::setHeader(const std::string& caption) {
    header_ = qs(caption);
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void NameListModel::setNames(std::vector<std::string> names) {
    beginResetModel();
    names_ = std::move(names);
    endResetModel();
}

int NameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(names_.size());
}

int NameListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant NameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const std::string& name = names_.at(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return ui::listedName(name);
        case Qt::EditRole:  // an edit starts from the stored name, never the stand-in
            return qs(name);
        case Qt::ForegroundRole:
            return ui::listedNameForeground(name);
        default:
            return {};
    }
}

QVariant NameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return header_;
    return {};
}

Qt::ItemFlags NameListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (editable_ && index.isValid())
        f |= Qt::ItemIsEditable;
    return f;
}

bool NameListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    emit renameRequested(index.row(), cp(value.toString()));
    return false;
}

// ---- RecordTableModel ----

void RecordTableModel::setColumns(std::vector<ColumnSpec> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
}

void RecordTableModel::setRecords(const model::RecordList* records) {
    beginResetModel();
    records_ = records;
    endResetModel();
}

void RecordTableModel::refresh() {
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !records_ ? 0 : records_->count();
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !records_ || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return qs(cellText(records_->at(index.row()), columns_.at(index.column())));
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns_.size()))
        return {};
    if (role == Qt::DisplayRole)
        return qs(columns_[section].header);
    if (role == Qt::SizeHintRole)
        return QSize(columns_[section].width, 0);
    return {};
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!editable_ || !index.isValid())
        return f;
    const CellKind kind = columns_.at(index.column()).kind;
    if (kind == CellKind::StartDate || kind == CellKind::StartTime)
        f |= Qt::ItemIsEditable;
    return f;
}

bool RecordTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!(flags(index) & Qt::ItemIsEditable) || role != Qt::EditRole)
        return false;
    model::MeasurementRecord r = records_->at(index.row());
    const std::string text = cp(value.toString());
    const bool datePart = columns_.at(index.column()).kind == CellKind::StartDate;
    const bool parsed = datePart ? editStartDate(r, text) : editStartTime(r, text);
    if (parsed)
        emit startEdited(index.row(), datePart, r.testDateTime);
    // The row keeps its position even when the new date sorts elsewhere.
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
    return parsed;
}

namespace {

// A record without a valid date has no date or time part to keep, so the
// typed text alone has to carry the new value.
bool editPart(model::MeasurementRecord& r, const std::string& text, bool datePart) {
    model::MeasurementRecord edited = r;
    if (datePart ? edited.setDatePart(text) : edited.setTimePart(text)) {
        r.testDateTime = edited.testDateTime;
        return true;
    }
    if (r.dateValid())
        return false;
    const support::DateTimeValue parsed = support::parseDateTime(text);
    if (!parsed.valid())
        return false;
    r.testDateTime = parsed;
    return true;
}

}  // namespace

bool editStartDate(model::MeasurementRecord& r, const std::string& text) {
    return editPart(r, text, true);
}

bool editStartTime(model::MeasurementRecord& r, const std::string& text) {
    return editPart(r, text, false);
}

// ---- TransferListModel ----

void TransferListModel::setColumns(std::vector<ColumnSpec> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
}

void TransferListModel::setRecords(std::vector<model::MeasurementRecord> records,
                                   bool interrupted) {
    beginResetModel();
    records_ = std::move(records);
    interrupted_ = interrupted;
    ticks_.assign(records_.size(), false);
    endResetModel();
}

void TransferListModel::setTicked(int row, bool on) {
    ticks_.at(row) = on;
    emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
}

std::vector<int> TransferListModel::tickedRows() const {
    std::vector<int> rows;
    for (size_t i = 0; i < ticks_.size(); ++i)
        if (ticks_[i])
            rows.push_back(int(i));
    return rows;
}

void TransferListModel::removeRows(const std::vector<int>& rows) {
    beginResetModel();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        records_.erase(records_.begin() + *it);
        ticks_.erase(ticks_.begin() + *it);
    }
    endResetModel();
}

void TransferListModel::restoreRows(const std::vector<int>& rows,
                                    const std::vector<model::MeasurementRecord>& records) {
    beginResetModel();
    for (size_t i = 0; i < rows.size(); ++i) {
        records_.insert(records_.begin() + rows[i], records[i]);
        ticks_.insert(ticks_.begin() + rows[i], true);
    }
    endResetModel();
}

int TransferListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(records_.size());
}

int TransferListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant TransferListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const ColumnSpec& c = columns_.at(index.column());
    if (c.kind == CellKind::Tick) {
        if (role == Qt::CheckStateRole)
            return ticks_.at(index.row()) ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    if (interrupted_ && role == Qt::ForegroundRole)
        return QBrush(QColor(0xB0, 0x50, 0x00));
    if (interrupted_ && role == Qt::ToolTipRole)
        return qsj("中断された転送で完全に受信した測定データ");
    if (role != Qt::DisplayRole)
        return {};
    return qs(cellText(records_.at(index.row()), c));
}

QVariant TransferListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns_.size()))
        return {};
    if (role == Qt::DisplayRole)
        return qs(columns_[section].header);
    return {};
}

Qt::ItemFlags TransferListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && columns_.at(index.column()).kind == CellKind::Tick)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool TransferListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole)
        return false;
    setTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

}  // namespace plm::app
