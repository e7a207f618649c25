#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chart/chart_zoom.h"

class QPainter;

// The grid layout the test sheet is built from: rows and columns of fixed or
// percentage sizes whose cells hold text, a nested grid or a drawn block.
// Geometry is in 0.1 mm with y growing downward from the top-left corner; the
// painter's transform maps it onto the device (widget, PDF page or image).
namespace plm::chart {

// A row height or column width: fixed (0.1 mm), a percentage of the space
// the fixed entries leave free, or an equal share of what is left after that.
struct Extent {
    enum class Kind { Fixed, Percent, Rest };
    Kind kind = Kind::Rest;
    double value = 0.0;

    static Extent fixed(double units) { return {Kind::Fixed, units}; }
    static Extent percent(double pct) { return {Kind::Percent, pct}; }
    static Extent rest() { return {Kind::Rest, 0.0}; }
};

// Sizes of the entries for a total length; never negative. When the fixed
// entries need more than the total they keep their size and the others get 0.
std::vector<double> distributeExtents(const std::vector<Extent>& extents, double total);

enum class Side { Left = 0, Top = 1, Right = 2, Bottom = 3 };

// What painting needs beyond the painter: the length of one device pixel in
// 0.1 mm, so that hairlines stay at least one pixel wide on any device.
struct PaintContext {
    double unitsPerPixel = 1.0;
    // The part of the sample axis the chart shows on screen; without it the
    // chart shows the whole record with the designed ten divisions (the
    // printed page, PDF and PNG always do).
    std::optional<SampleSpan> visible;
    // Width of a one-unit line on this device.
    double lineWidth() const { return unitsPerPixel > 1.0 ? unitsPerPixel : 1.0; }
};

// A cell's content drawn by code (the timing chart).
class CellBlock {
  public:
    virtual ~CellBlock() = default;
    virtual void paint(QPainter& painter, const QRectF& rect, const PaintContext& ctx) const = 0;
};

class LayoutGrid;

struct GridCell {
    std::string text;  // CP932
    QColor textColor = Qt::black;
    QColor fill;                   // invalid: no fill
    std::array<QColor, 4> border;  // by Side; invalid: no line on that side
    int align = Qt::AlignCenter;   // Qt alignment and text flags
    QFont font;
    std::unique_ptr<LayoutGrid> grid;
    std::shared_ptr<const CellBlock> block;
    // A merged range is kept in its top-left cell; the others are covered.
    int colSpan = 1;
    int rowSpan = 1;
    bool covered = false;
};

class LayoutGrid {
  public:
    LayoutGrid(int columns, int rows);

    int columns() const { return columns_; }
    int rows() const { return rows_; }

    void setColumnWidth(int col, Extent extent);
    void setRowHeight(int row, Extent extent);
    const Extent& columnWidth(int col) const { return colExtents_.at(col); }
    const Extent& rowHeight(int row) const { return rowExtents_.at(row); }

    GridCell& cell(int col, int row);
    const GridCell& cell(int col, int row) const;

    // Merges the inclusive range into its top-left cell. Throws
    // std::out_of_range for a range outside the grid.
    void merge(int col0, int row0, int col1, int row1);
    // Creates (or replaces) the nested grid of a cell and returns it.
    LayoutGrid& nest(int col, int row, int columns, int rows);

    // Colour of the outer frame on every side; invalid draws none.
    void setFrame(const QColor& color) { frame_.fill(color); }
    void setFrame(Side side, const QColor& color) { frame_[static_cast<int>(side)] = color; }
    const QColor& frame(Side side) const { return frame_[static_cast<int>(side)]; }

    // Height the fixed rows need, nested grids not counted (their rows share
    // their cell's height).
    double fixedHeight() const;

    // Places every row, column and nested grid inside rect.
    void layout(const QRectF& rect);
    const QRectF& rect() const { return rect_; }
    // The laid out rectangle of a cell, a merged cell covering its whole range.
    QRectF cellRect(int col, int row) const;

    void paint(QPainter& painter, const PaintContext& ctx) const;

  private:
    int index(int col, int row) const;
    void paintCell(QPainter& painter, const PaintContext& ctx, const GridCell& cell,
                   const QRectF& r) const;

    int columns_;
    int rows_;
    std::vector<Extent> colExtents_;
    std::vector<Extent> rowExtents_;
    std::vector<GridCell> cells_;
    std::array<QColor, 4> frame_;
    QRectF rect_;
    std::vector<double> colEdges_;  // columns_ + 1 x positions after layout
    std::vector<double> rowEdges_;  // rows_ + 1 y positions after layout
};

}  // namespace plm::chart
