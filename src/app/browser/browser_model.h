#pragma once

#include <QAbstractItemModel>

#include <vector>

#include "app/document/selection.h"
#include "model/customer_tree.h"

namespace plm::app {

// The customer tree as an item model: customer > test circuit > measurement
// name, each with its record count, and under a name its measurements
// (No., date and time, 測定種別). Only the three name levels get nodes when
// the model is reset; measurement rows are read from the tree when the view
// asks, so a data file of tens of thousands of records resets at once.
// The tree must outlive the model and be reset into it after every change.
class BrowserModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    enum Column { ColName, ColDate, ColKind, ColumnCount };

    explicit BrowserModel(QObject* parent = nullptr);

    void reset(const model::CustomerTree* tree);
    // Marks the measurements not yet in the team archive, and the names above
    // them: `synced` holds one flag per record of the tree in tree order; an
    // empty list (no archive) marks nothing. Cleared by reset().
    void setSyncMarks(std::vector<bool> synced);
    bool marked(const QModelIndex& index) const;

    // The measurement of an index, or a selection with index -1 for a name row.
    Selection selectionAt(const QModelIndex& index) const;
    bool isMeasurement(const QModelIndex& index) const;
    // The row of a measurement (or of the deepest level that exists).
    QModelIndex indexOf(const Selection& selection) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    // A customer, test circuit or measurement name; node 0 is the root.
    struct Node {
        int parent = -1;
        int row = 0;    // position under its parent
        int level = 0;  // 0 root, 1 customer, 2 circuit, 3 name
        std::vector<int> children;
        const model::MeasurementName* name = nullptr;  // level 3
        int records = 0;                               // records in its subtree
        int firstRecord = 0;  // level 3: its first record's place in tree order
        int unsynced = 0;     // records in its subtree not yet in the archive
        std::string text;     // CP932
    };

    // Index rows carry the node id of their parent, so measurement rows need no node.
    int parentNodeOf(const QModelIndex& index) const;
    int nodeOf(const QModelIndex& index) const;
    void addCustomer(const model::Customer& customer, int row);
    QVariant markData(const QModelIndex& index, int role) const;

    const model::CustomerTree* tree_ = nullptr;
    std::vector<Node> nodes_;
    int recordCount_ = 0;
    std::vector<bool> synced_;  // empty: no marks
};

}  // namespace plm::app
