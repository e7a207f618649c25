#include "app/browser/measurement_browser.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "chart/qt_text.h"

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
    fitColumns();
    connect(view_->header(), &QHeaderView::sectionResized, this, [this] {
        if (!fitting_)
            userSized_ = true;
    });
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
    fitColumns();
    showSelection(shown);
}

namespace {

// Names longer than this are cut; their tooltip gives them whole.
constexpr int kWidestNameColumn = 320;

}  // namespace

void MeasurementBrowser::fitColumns() {
    if (userSized_)
        return;
    const QScopedValueRollback guard(fitting_, true);
    const QFontMetrics metrics(view_->font());
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    const QHeaderView& header = *view_->header();
    auto fit = [&](int column, int contents) {
        view_->setColumnWidth(column, std::max(header.sectionSizeHint(column), contents + padding));
    };
    // The open levels' names, and a measurement's No. one level deeper.
    const int name = std::max(
        static_cast<const QAbstractItemView*>(view_)->sizeHintForColumn(BrowserModel::ColName),
        4 * view_->indentation() + metrics.horizontalAdvance("0000"));
    fit(BrowserModel::ColName, std::min(name, kWidestNameColumn));
    fit(BrowserModel::ColDate, metrics.horizontalAdvance("0000/00/00 00:00"));
    fit(BrowserModel::ColKind,
        std::max(metrics.horizontalAdvance(qsj("投入")), metrics.horizontalAdvance(qsj("遮断"))));
}

int MeasurementBrowser::fittingWidth() const {
    const QHeaderView& header = *view_->header();
    int width = 0;
    for (int column = 0; column < header.count(); ++column)
        width += header.sectionSize(column);
    return width + 2 * view_->frameWidth() + view_->verticalScrollBar()->sizeHint().width();
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
