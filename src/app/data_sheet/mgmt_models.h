#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "app/data_sheet/mgmt_columns.h"
#include "model/record_list.h"

namespace plm::app {

// One level of the customer tree as a one-column list. The names are a
// snapshot taken by setNames; an edit is not applied here but handed to the
// page as renameRequested, which reloads the list when the tree changed.
class NameListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void setHeader(const std::string& caption);
    void setEditable(bool editable) { editable_ = editable; }
    void setNames(std::vector<std::string> names);
    const std::vector<std::string>& names() const { return names_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  signals:
    // CP932 text the user typed for the name at `row`.
    void renameRequested(int row, const std::string& text);

  private:
    std::vector<std::string> names_;
    QString header_;
    bool editable_ = false;
};

// The measurements of one measurement-data name, read straight from the tree
// so that a name with many thousands of measurements costs nothing to show.
// In-place edits reach only the start date and start time columns; they are
// not stored here but handed to the page as startEdited.
class RecordTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void setColumns(std::vector<ColumnSpec> columns);
    const std::vector<ColumnSpec>& columns() const { return columns_; }
    void setEditable(bool editable) { editable_ = editable; }
    // records may be nullptr: no name selected.
    void setRecords(const model::RecordList* records);
    const model::RecordList* records() const { return records_; }
    // Redraws every row after the records changed in place.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A typed date or time that parses: `start` is the measurement's new
    // start date and time.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  signals:
    void startEdited(int row, bool datePart, support::DateTimeValue start);

  private:
    std::vector<ColumnSpec> columns_;
    const model::RecordList* records_ = nullptr;
    bool editable_ = false;
};

// Stores a typed start date or start time into the record. A text that does
// not parse leaves the record as it was and returns false: a typing slip must
// not cost the measurement its date.
bool editStartDate(model::MeasurementRecord& r, const std::string& text);
bool editStartTime(model::MeasurementRecord& r, const std::string& text);

// The transfer list: received records, each with its tick box.
class TransferListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void setColumns(std::vector<ColumnSpec> columns);
    // All unticked; `interrupted` marks them as the whole measurements of a transfer that failed
    // or was stopped.
    void setRecords(std::vector<model::MeasurementRecord> records, bool interrupted = false);
    bool interrupted() const { return interrupted_; }
    const std::vector<model::MeasurementRecord>& records() const { return records_; }
    bool ticked(int row) const { return ticks_.at(row); }
    void setTicked(int row, bool on);
    // Rows ticked, ascending.
    std::vector<int> tickedRows() const;
    // Removes the rows (ascending positions), last first.
    void removeRows(const std::vector<int>& rows);
    // Puts removed rows back, ticked: records[i] becomes row rows[i] (ascending).
    void restoreRows(const std::vector<int>& rows,
                     const std::vector<model::MeasurementRecord>& records);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  private:
    std::vector<ColumnSpec> columns_;
    std::vector<model::MeasurementRecord> records_;
    std::vector<bool> ticks_;
    bool interrupted_ = false;
};

}  // namespace plm::app
