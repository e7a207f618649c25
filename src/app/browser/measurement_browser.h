#pragma once

#include <QWidget>
#include <vector>

#include "app/browser/browser_model.h"
#include "app/document/selection.h"

class QTreeView;

namespace plm::app {

// The browser pane beside the chart: the customer tree down to the single
// measurements. Choosing a measurement (click or arrow keys) asks for it to
// be shown; showing one from elsewhere only moves the highlight.
class MeasurementBrowser : public QWidget {
    Q_OBJECT
  public:
    explicit MeasurementBrowser(QWidget* parent = nullptr);

    // Re-reads the tree after it changed, keeping the shown measurement selected.
    void reload(const model::CustomerTree& tree, const Selection& shown);
    // Lists nothing until the next reload.
    void clear();
    // Marks the measurements not yet in the team archive (see BrowserModel).
    void setSyncMarks(std::vector<bool> synced);
    // Highlights the shown measurement without asking to show it again.
    void showSelection(const Selection& shown);

    // The width that shows every column whole.
    int fittingWidth() const;

    QTreeView& view() { return *view_; }
    BrowserModel& model() { return model_; }

  signals:
    void measurementChosen(const plm::app::Selection& selection);

  private:
    void onCurrentChanged(const QModelIndex& current);
    // Columns as wide as their contents, until the user sets a width.
    void fitColumns();

    BrowserModel model_;
    QTreeView* view_ = nullptr;
    bool quiet_ = false;  // set while the highlight follows the chart
    bool fitting_ = false;
    bool userSized_ = false;  // a column width the user set is kept
};

}  // namespace plm::app
