#include "app/analysis/trend_view.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "app/analysis/figures_pane.h"
#include "chart/qt_text.h"
#include "model/name_compare.h"

namespace plm::app {
namespace {

using analysis::msFromMicros;
using support::sj;

QString withDelta(const std::optional<int64_t>& value, const std::optional<int64_t>& delta,
                  bool reference) {
    if (!value)
        return QStringLiteral("---");
    QString text = QString::fromStdString(msFromMicros(*value));
    if (delta && !reference)
        text += QStringLiteral(" (%1%2)")
                    .arg(*delta > 0 ? "+" : "")
                    .arg(QString::fromStdString(msFromMicros(*delta)));
    return text;
}

bool sameNameAs(const analysis::BreakerPlace& a, const analysis::BreakerPlace& b) {
    return model::sameName(a.customer, b.customer) && model::sameName(a.circuit, b.circuit) &&
           model::sameName(a.name, b.name);
}

QTableWidgetItem* item(const QString& text) {
    auto* it = new QTableWidgetItem(text);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return it;
}

}  // namespace

CTrendPlotWidget::CTrendPlotWidget(QWidget* parent) : QWidget(parent) {
    setObjectName("CTrendPlotWidget");
    setMinimumHeight(220);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setToolTip(qsj("Ctrl+ホイール：日付の拡大・縮小　ホイール：拡大した日付の移動"));
}

void CTrendPlotWidget::setData(std::optional<chart::TrendPlotData> data) {
    data_ = std::move(data);
    view_ = data_ ? chart::readableView(*data_) : chart::DateView{};
    update();
}

double CTrendPlotWidget::pixelsPerUnit() const {
    return logicalDpiY() / 254.0;
}

void CTrendPlotWidget::paintEvent(QPaintEvent*) {
    if (!data_)
        return;
    QPainter painter(this);
    // The plot is drawn in 0.1 mm like the printed page.
    const double ppu = pixelsPerUnit();
    painter.scale(ppu, ppu);
    chart::TrendPlot(*data_, view_)
        .paint(painter, QRectF(0, 0, width() / ppu, height() / ppu),
               chart::PaintContext{1.0 / ppu, std::nullopt});
}

void CTrendPlotWidget::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    const bool zoom = event->modifiers() & Qt::ControlModifier;
    if (!data_ || notches == 0.0 || (!zoom && view_.whole())) {
        QWidget::wheelEvent(event);
        return;
    }
    event->accept();
    if (zoom) {
        const double ppu = pixelsPerUnit();
        const auto [left, right] = chart::TrendPlot::plotSpan(QRectF(0, 0, width() / ppu, 1));
        const double at = (event->position().x() / ppu - left) / std::max(right - left, 1.0);
        view_ = chart::zoomedView(view_, at, std::pow(1.25, notches));
    } else {
        // Up shows earlier dates, as the chart's wheel does.
        view_ = chart::pannedView(view_, -0.1 * notches);
    }
    update();
}

CTrendView::CTrendView(QWidget* parent) : QWidget(parent) {
    setObjectName("CTrendView");
    scope_ = new QComboBox;
    scope_->setObjectName("trendScope");
    scope_->addItem(qsj("この測定名"));
    scope_->addItem(qsj("この遮断器（製造番号）"));
    connect(scope_, &QComboBox::currentIndexChanged, this, &CTrendView::scopeChanged);
    caption_ = new QLabel;
    caption_->setWordWrap(true);
    plot_ = new CTrendPlotWidget;
    table_ = new QTableWidget;
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    reference_ = new QPushButton(qsj("選んだ測定を基準にする"));
    reference_->setToolTip(qsj("行をダブルクリックすると、その測定をグラフに重ねて表示します"));
    connect(reference_, &QPushButton::clicked, this, &CTrendView::requestReference);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        // Rows of a breaker's history filed under other names carry no position.
        QTableWidgetItem* first = table_->item(row, 0);
        if (first && first->data(Qt::UserRole).toInt() >= 0)
            emit overlayRequested(first->data(Qt::UserRole).toInt());
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scope_);
    layout->addWidget(caption_);
    layout->addWidget(plot_, 1);
    layout->addWidget(table_, 1);
    layout->addWidget(reference_);
    clear();
}

CTrendView::Scope CTrendView::scope() const {
    return scope_->currentIndex() == ScopeBreaker ? ScopeBreaker : ScopeName;
}

void CTrendView::showReport(const analysis::AnalysisReport& report, bool closes) {
    const analysis::Trend& trend = report.trend;
    const std::vector<int> poles = report.limits.poleGroupOrDefault();
    plot_->setData(chart::trendPlotData(trend, report.limits, closes, poles, report.shownEntry));
    caption_->setText(qs(sj("動作時間と極間差の傾向 (") + (closes ? sj("投入") : sj("遮断")) +
                         sj("の測定)。括弧内は基準との差 [ms]")));
    fillTable(trend, poles, report.shownEntry, nullptr);
    reference_->setEnabled(!trend.entries.empty());
}

void CTrendView::showBreakerHistory(const analysis::BreakerHistory& history, int shownEntry,
                                    const analysis::Limits& limits, bool closes) {
    const std::vector<int> poles = limits.poleGroupOrDefault();
    plot_->setData(chart::trendPlotData(history.trend, limits, closes, poles, shownEntry));
    caption_->setText(qs(sj("この遮断器の測定の傾向 (") + (closes ? sj("投入") : sj("遮断")) +
                         sj("の測定)。設置場所を問わず製造番号で集めます。括弧内は最初の測定との差 "
                            "[ms]")));
    fillTable(history.trend, poles, shownEntry, &history.places);
    // A reference belongs to a name, not to a breaker's history.
    reference_->setEnabled(false);
}

void CTrendView::showNoBreaker() {
    clear();
    caption_->setText(qsj("この測定データには製造番号がないため、遮断器の履歴を表示できません"));
}

void CTrendView::fillTable(const analysis::Trend& trend, const std::vector<int>& poles,
                           int shownEntry, const std::vector<analysis::BreakerPlace>* places) {
    QStringList heads{qsj("試験日時"), qsj("種別")};
    for (int pole : poles)
        heads << QStringLiteral("CH%1").arg(pole);
    heads << qsj("極間差") << qsj("判定");
    if (places)
        heads << qsj("設置場所");
    table_->clear();
    table_->setColumnCount(static_cast<int>(heads.size()));
    table_->setHorizontalHeaderLabels(heads);
    table_->setRowCount(static_cast<int>(trend.entries.size()));
    for (size_t i = 0; i < trend.entries.size(); ++i) {
        const analysis::TrendEntry& e = trend.entries[i];
        const int r = static_cast<int>(i);
        const bool isReference = trend.referenceFor(i) == i;
        std::string date = analysis::trendDateText(e);
        if (static_cast<int>(i) == trend.reference)
            date += sj(" [基準]");
        table_->setItem(r, 0, item(qs(date)));
        // Only the shown name's rows can be laid over the chart.
        const bool ofShownName =
            !places || (shownEntry >= 0 && sameNameAs((*places)[i], (*places)[shownEntry]));
        table_->item(r, 0)->setData(Qt::UserRole, ofShownName ? e.index : -1);
        table_->setItem(r, 1, item(e.measureType == 0 ? qsj("投入") : qsj("遮断")));
        int col = 2;
        for (int pole : poles) {
            const size_t c = static_cast<size_t>(pole - 1);
            std::optional<int64_t> value;
            if (c < e.operatingUs.size())
                value = e.operatingUs[c];
            table_->setItem(r, col++,
                            item(withDelta(value, trend.operatingDelta(i, c), isReference)));
        }
        table_->setItem(r, col++,
                        item(withDelta(e.poleSpreadUs, trend.spreadDelta(i), isReference)));
        QTableWidgetItem* verdict = item(qs(analysis::verdictText(e.verdict)));
        verdict->setForeground(verdictQColor(e.verdict));
        table_->setItem(r, col, verdict);
        if (places) {
            const analysis::BreakerPlace& p = (*places)[i];
            table_->setItem(r, ++col, item(qs(p.customer + " / " + p.circuit + " / " + p.name)));
        }
        if (static_cast<int>(i) == shownEntry) {
            for (int c = 0; c <= col; ++c)
                table_->item(r, c)->setBackground(QColor(255, 240, 215));
        }
    }
}

void CTrendView::clear() {
    plot_->setData(std::nullopt);
    table_->clear();
    table_->setRowCount(0);
    table_->setColumnCount(0);
    caption_->clear();
    reference_->setEnabled(false);
}

void CTrendView::requestReference() {
    const int row = table_->currentRow();
    if (row < 0 || !table_->item(row, 0))
        return;
    emit referenceRequested(table_->item(row, 0)->data(Qt::UserRole).toInt());
}

}  // namespace plm::app
