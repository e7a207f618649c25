#include "chart/layout_grid.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <stdexcept>

#include "chart/qt_text.h"
#include "support/text_codec.h"

namespace plm::chart {

std::vector<double> distributeExtents(const std::vector<Extent>& extents, double total) {
    double fixed = 0.0;
    double percent = 0.0;
    int rests = 0;
    for (const Extent& e : extents) {
        if (e.kind == Extent::Kind::Fixed)
            fixed += std::max(0.0, e.value);
        if (e.kind == Extent::Kind::Percent)
            percent += std::max(0.0, e.value);
        if (e.kind == Extent::Kind::Rest)
            ++rests;
    }
    const double free = std::max(0.0, total - fixed);
    const double rest = rests ? std::max(0.0, free - free * percent / 100.0) / rests : 0.0;
    std::vector<double> sizes;
    sizes.reserve(extents.size());
    for (const Extent& e : extents) {
        switch (e.kind) {
            case Extent::Kind::Fixed:
                sizes.push_back(std::max(0.0, e.value));
                break;
            case Extent::Kind::Percent:
                sizes.push_back(free * std::max(0.0, e.value) / 100.0);
                break;
            case Extent::Kind::Rest:
                sizes.push_back(rest);
                break;
        }
    }
    return sizes;
}

LayoutGrid::LayoutGrid(int columns, int rows)
    : columns_(std::max(1, columns)),
      rows_(std::max(1, rows)),
      colExtents_(columns_, Extent::rest()),
      rowExtents_(rows_, Extent::rest()),
      cells_(static_cast<size_t>(columns_) * rows_) {}

int LayoutGrid::index(int col, int row) const {
    if (col < 0 || col >= columns_ || row < 0 || row >= rows_) {
        throw std::out_of_range("layout cell outside the grid");
    }
    return row * columns_ + col;
}

void LayoutGrid::setColumnWidth(int col, Extent extent) {
    colExtents_.at(col) = extent;
}
void LayoutGrid::setRowHeight(int row, Extent extent) {
    rowExtents_.at(row) = extent;
}

GridCell& LayoutGrid::cell(int col, int row) {
    return cells_[index(col, row)];
}
const GridCell& LayoutGrid::cell(int col, int row) const {
    return cells_[index(col, row)];
}

void LayoutGrid::merge(int col0, int row0, int col1, int row1) {
    index(col0, row0);
    index(col1, row1);
    if (col1 < col0)
        std::swap(col0, col1);
    if (row1 < row0)
        std::swap(row0, row1);
    for (int r = row0; r <= row1; ++r) {
        for (int c = col0; c <= col1; ++c)
            cell(c, r).covered = true;
    }
    GridCell& top = cell(col0, row0);
    top.covered = false;
    top.colSpan = col1 - col0 + 1;
    top.rowSpan = row1 - row0 + 1;
}

LayoutGrid& LayoutGrid::nest(int col, int row, int columns, int rows) {
    GridCell& c = cell(col, row);
    c.grid = std::make_unique<LayoutGrid>(columns, rows);
    return *c.grid;
}

double LayoutGrid::fixedHeight() const {
    double sum = 0.0;
    for (const Extent& e : rowExtents_) {
        if (e.kind == Extent::Kind::Fixed)
            sum += std::max(0.0, e.value);
    }
    return sum;
}

void LayoutGrid::layout(const QRectF& rect) {
    rect_ = rect;
    auto edges = [](const std::vector<double>& sizes, double start) {
        std::vector<double> out{start};
        for (double s : sizes)
            out.push_back(out.back() + s);
        return out;
    };
    colEdges_ = edges(distributeExtents(colExtents_, rect.width()), rect.left());
    rowEdges_ = edges(distributeExtents(rowExtents_, rect.height()), rect.top());
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            GridCell& gc = cell(c, r);
            if (gc.grid && !gc.covered)
                gc.grid->layout(cellRect(c, r));
        }
    }
}

QRectF LayoutGrid::cellRect(int col, int row) const {
    const GridCell& c = cell(col, row);
    if (colEdges_.empty())
        return {};
    const int col1 = std::min(columns_, col + c.colSpan);
    const int row1 = std::min(rows_, row + c.rowSpan);
    return QRectF(QPointF(colEdges_[col], rowEdges_[row]),
                  QPointF(colEdges_[col1], rowEdges_[row1]));
}

void LayoutGrid::paintCell(QPainter& painter, const PaintContext& ctx, const GridCell& cell,
                           const QRectF& r) const {
    if (cell.fill.isValid())
        painter.fillRect(r, cell.fill);
    if (cell.grid)
        cell.grid->paint(painter, ctx);
    if (cell.block)
        cell.block->paint(painter, r, ctx);
    if (!cell.text.empty()) {
        // Inner margin so that text never touches the cell's lines.
        const double pad = std::min(8.0, r.width() / 4);
        painter.setFont(cell.font);
        painter.setPen(cell.textColor);
        QString text = qs(cell.text);
        painter.drawText(r.adjusted(pad, 0, -pad, 0), cell.align, text);
    }
    const QPointF corners[4] = {r.bottomLeft(), r.topLeft(), r.topRight(), r.bottomRight()};
    for (int side = 0; side < 4; ++side) {
        if (!cell.border[side].isValid())
            continue;
        painter.setPen(QPen(cell.border[side], ctx.lineWidth(), Qt::SolidLine, Qt::SquareCap));
        painter.drawLine(corners[side], corners[(side + 1) % 4]);
    }
}

void LayoutGrid::paint(QPainter& painter, const PaintContext& ctx) const {
    if (colEdges_.empty())
        return;
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            const GridCell& gc = cell(c, r);
            const QRectF cr = cellRect(c, r);
            // A hidden (zero-sized) row or column draws nothing, not even its lines.
            if (gc.covered || cr.width() <= 0.0 || cr.height() <= 0.0)
                continue;
            painter.save();
            paintCell(painter, ctx, gc, cr);
            painter.restore();
        }
    }
    const QRectF r = rect_;
    if (r.width() <= 0.0 || r.height() <= 0.0)
        return;
    const QPointF corners[4] = {r.bottomLeft(), r.topLeft(), r.topRight(), r.bottomRight()};
    for (int side = 0; side < 4; ++side) {
        if (!frame_[side].isValid())
            continue;
        painter.setPen(QPen(frame_[side], ctx.lineWidth(), Qt::SolidLine, Qt::SquareCap));
        painter.drawLine(corners[side], corners[(side + 1) % 4]);
    }
}

}  // namespace plm::chart
