#pragma once

#include <QDialog>

#include "model/customer_tree.h"

class QTreeWidget;
class QTreeWidgetItem;
class QStatusBar;

namespace plm::app {

// "移動先の選択": picks the measurement-data name that measurements move to.
// Only a measurement-data name is accepted as the target.
class CSelectMeasName : public QDialog {
    Q_OBJECT
  public:
    explicit CSelectMeasName(const model::CustomerTree& tree, QWidget* parent = nullptr);

    // Kind of a tree item, kept as its item data.
    enum ItemKind { Root = 1, CustomerItem = 2, CircuitItem = 3, NameItem = 4 };

    // Sorted positions of the chosen name; -1 until one is chosen.
    int customer() const { return customer_; }
    int circuit() const { return circuit_; }
    int name() const { return name_; }

    QTreeWidget* tree() const { return view_; }
    // The tree item of a measurement-data name, or nullptr.
    QTreeWidgetItem* nameItem(int customer, int circuit, int name) const;

    void accept() override;

  private:
    void build(const model::CustomerTree& tree);

    QTreeWidget* view_ = nullptr;
    QStatusBar* status_ = nullptr;
    int customer_ = -1;
    int circuit_ = -1;
    int name_ = -1;
};

}  // namespace plm::app
