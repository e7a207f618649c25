#include "app/browser/measurement_browser.h"

#include <QHeaderView>
#include <QScopedValueRollback>
#include <QTreeView>
#include <QVBoxLayout>

namespace plm::app {

MeasurementBrowser::MeasurementBrowser(QWidget* parent) : QWidget(parent) {
    setObjectName("MeasurementBrowser");
    view_ = new QTreeView(this);
    view_->setObjectName("browserTree");
    view_->setModel(&model_);
    // Measurement rows are all one line high: the view then lays out tens of
    // thousands of them without asking each row.
    view_->setUniformRowHeights(true);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setAllColumnsShowFocus(true);
    view_->header()->setStretchLastSection(false);
    view_->header()->setSectionResizeMode(QHeaderView::Interactive);
    view_->setColumnWidth(BrowserModel::ColName, 140);
    view_->setColumnWidth(BrowserModel::ColDate, 120);
    view_->setColumnWidth(BrowserModel::ColKind, 60);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onCurrentChanged(current); });
}

void MeasurementBrowser::reload(const model::CustomerTree& tree, const Selection& shown) {
    {
        const QScopedValueRollback guard(quiet_, true);
        model_.reset(&tree);
        // Customers and test circuits open: the measurement names show at once.
        view_->expandToDepth(1);
    }
    showSelection(shown);
}

void MeasurementBrowser::clear() {
    const QScopedValueRollback guard(quiet_, true);
    model_.reset(nullptr);
}

void MeasurementBrowser::setSyncMarks(std::vector<bool> synced) {
    model_.setSyncMarks(std::move(synced));
    // Rows read the model when painted: a repaint shows the new marks.
    view_->viewport()->update();
}

void MeasurementBrowser::showSelection(const Selection& shown) {
    const QModelIndex at = model_.indexOf(shown);
    {
        const QScopedValueRollback guard(quiet_, true);
        if (at.isValid() && model_.isMeasurement(at)) {
            view_->setCurrentIndex(at);
            view_->scrollTo(at);
        } else {
            view_->clearSelection();
            if (at.isValid())
                view_->expand(at.parent());
        }
    }
}

void MeasurementBrowser::onCurrentChanged(const QModelIndex& current) {
    if (!quiet_ && model_.isMeasurement(current))
        emit measurementChosen(model_.selectionAt(current));
}

}  // namespace plm::app
