#include "app/data_sheet/select_meas_name.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/data_sheet/mgmt_header_view.h"
#include "chart/qt_text.h"
#include "support/text_codec.h"
#include "ui/listed_name.h"
#include "ui/prompter.h"

namespace plm::app {

using support::sj;

namespace {

// The wait cursor for as long as the tree is being built.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QTreeWidgetItem* addItem(QTreeWidgetItem* parent, const std::string& text, int kind,
                         const QIcon& icon) {
    auto* item = new QTreeWidgetItem(parent, {ui::listedName(text)});
    item->setData(0, Qt::ForegroundRole, ui::listedNameForeground(text));
    item->setData(0, Qt::UserRole, kind);
    item->setIcon(0, icon);
    return item;
}

}  // namespace

CSelectMeasName::CSelectMeasName(const model::CustomerTree& tree, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(qsj("移動先の選択"));
    view_ = new QTreeWidget(this);
    view_->setHeaderHidden(true);
    view_->setFont(proportionalGothic());
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(qsj("移動"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(qsj("キャンセル"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSelectMeasName::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSelectMeasName::reject);
    status_ = new QStatusBar(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addWidget(view_, 1);
    layout->addWidget(buttons);
    layout->addWidget(status_);
    resize(360, 420);
    build(tree);
}

void CSelectMeasName::build(const model::CustomerTree& tree) {
    WaitCursor wait;
    const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon file = style()->standardIcon(QStyle::SP_FileIcon);
    auto* root = new QTreeWidgetItem(view_, {qsj("需要家データ")});
    root->setData(0, Qt::UserRole, Root);
    root->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    QFont bold = view_->font();
    bold.setBold(true);
    root->setFont(0, bold);
    for (const model::Customer& c : tree.customers) {
        QTreeWidgetItem* ci = addItem(root, c.name, CustomerItem, folder);
        for (const model::TestCircuit& t : c.circuits) {
            QTreeWidgetItem* ti = addItem(ci, t.name, CircuitItem, folder);
            for (const model::MeasurementName& n : t.names)
                addItem(ti, n.name, NameItem, file);
        }
    }
    root->setExpanded(true);
}

QTreeWidgetItem* CSelectMeasName::nameItem(int customer, int circuit, int name) const {
    QTreeWidgetItem* root = view_->topLevelItem(0);
    if (!root || customer < 0 || customer >= root->childCount())
        return nullptr;
    QTreeWidgetItem* c = root->child(customer);
    if (circuit < 0 || circuit >= c->childCount())
        return nullptr;
    QTreeWidgetItem* t = c->child(circuit);
    if (name < 0 || name >= t->childCount())
        return nullptr;
    return t->child(name);
}

void CSelectMeasName::accept() {
    QTreeWidgetItem* item = view_->currentItem();
    if (!item || !item->isSelected() || item->data(0, Qt::UserRole).toInt() != NameItem) {
        ui::prompter().stop(sj("測定データ名称を選んでください"));
        return;
    }
    QTreeWidgetItem* circuitItem = item->parent();
    QTreeWidgetItem* customerItem = circuitItem->parent();
    name_ = circuitItem->indexOfChild(item);
    circuit_ = customerItem->indexOfChild(circuitItem);
    customer_ = customerItem->parent()->indexOfChild(customerItem);
    QDialog::accept();
}

}  // namespace plm::app
