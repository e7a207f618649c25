#pragma once

#include <QAbstractScrollArea>
#include <array>
#include <string>
#include <vector>

#include "chart/test_sheet.h"
#include "model/measurement_record.h"

class QPrinter;

namespace plm::app {

class CPLMViewDoc;
struct ViewHint;

// The chart view: the test sheet of the first measurement it holds, fed by
// the document's update hints. Scroll bars appear when the window is smaller
// than the sheet's fixed rows need.
class CViewGraph : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit CViewGraph(CPLMViewDoc& doc, QWidget* parent = nullptr);

    void onHint(const ViewHint& hint);

    bool hasRecord() const { return !records_.empty(); }
    const std::vector<model::MeasurementRecord>& records() const { return records_; }
    const chart::SheetNames& names() const { return names_; }
    const chart::TestSheet& sheet() const { return sheet_; }

    // Text output of the first measurement (the CSV dialog); does nothing
    // when the view holds none.
    void OnCsvOut();

    // Renders the printed page of the first measurement on the printer (one
    // page; blank when the view holds no measurement).
    void printTo(QPrinter& printer) const;

  signals:
    // The record array went from empty to holding records or back.
    void recordsChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void rebuild();
    void updateScrollBars();
    double pixelsPerUnit() const;
    QSizeF viewportUnits() const;

    CPLMViewDoc& doc_;
    chart::SheetNames names_;
    std::vector<model::MeasurementRecord> records_;
    chart::TestSheet sheet_{chart::TestSheet::Target::Screen};
};

}  // namespace plm::app
