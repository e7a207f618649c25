#include "app/assets/fleet_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <algorithm>

#include "analysis/figures.h"
#include "analysis/limits_file.h"
#include "app/analysis/figures_pane.h"
#include "app/document/plm_view_doc.h"
#include "chart/qt_text.h"
#include "support/text_codec.h"

namespace plm::app {
namespace {

using support::sj;

QTableWidgetItem* item(const QString& text) {
    auto* it = new QTableWidgetItem(text);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    it->setTextAlignment(Qt::AlignCenter);
    return it;
}

QString spreadText(const std::optional<analysis::Spread>& s) {
    if (!s)
        return QStringLiteral("---");
    return QString::fromStdString(analysis::msFromMicros(s->min) + " / " +
                                  analysis::msFromMicros(s->median) + " / " +
                                  analysis::msFromMicros(s->max));
}

// One column a pole of each kind, then the kind's pole spread.
struct FleetColumn {
    bool closes;
    int pole;  // -1: the pole spread
};

std::vector<FleetColumn> columnsFor(const std::vector<analysis::FleetModel>& models) {
    size_t poles = 0;
    for (const analysis::FleetModel& m : models)
        poles = std::max({poles, m.closeUs.size(), m.openUs.size()});
    std::vector<FleetColumn> out;
    for (const bool closes : {true, false}) {
        for (size_t p = 0; p < poles; ++p)
            out.push_back({closes, static_cast<int>(p)});
        out.push_back({closes, -1});
    }
    return out;
}

QString columnTitle(const FleetColumn& c) {
    const std::string kind = c.closes ? sj("投入") : sj("遮断");
    if (c.pole < 0)
        return qs(kind + sj(" 極間差[ms]"));
    return qs(support::format(sj("%s 極%d[ms]").c_str(), kind.c_str(), c.pole + 1));
}

std::optional<analysis::Spread> columnValue(const analysis::FleetModel& m, const FleetColumn& c) {
    const auto& poles = c.closes ? m.closeUs : m.openUs;
    if (c.pole < 0)
        return c.closes ? m.closeSpreadUs : m.openSpreadUs;
    return static_cast<size_t>(c.pole) < poles.size() ? poles[static_cast<size_t>(c.pole)]
                                                      : std::nullopt;
}

}  // namespace

CFleetView::CFleetView(CPLMViewDoc& doc, const settings::AppSettings& settings, QWidget* parent)
    : CAssetTable(settings.textOutDir, parent), doc_(doc) {
    setObjectName("CFleetView");
    setWindowTitle(qsj("型式別集計"));
}

bool CFleetView::refresh() {
    const std::optional<analysis::LimitsBook> book = loadLimitsBook();
    if (!book)
        return false;
    analysis::FleetTally tally(*book);
    for (const model::Customer& customer : doc_.tree().customers) {
        for (const model::TestCircuit& circuit : customer.circuits) {
            for (const model::MeasurementName& name : circuit.names) {
                for (const model::MeasurementRecord& record : name.records)
                    tally.add(customer.name, circuit.name, name.name, record);
            }
        }
    }
    models_ = tally.models();
    fill();
    return true;
}

void CFleetView::fill() {
    caption()->setText(
        qsj("遮断器（製造元・型式・製造番号）ごとの最新の投入・遮断の測定から（最小 / 中央値 / "
            "最大）"));
    const std::vector<FleetColumn> columns = columnsFor(models_);
    QStringList titles = {qsj("製造元"), qsj("型式"), qsj("台数"), qsj("測定数"), qsj("不合格")};
    for (const FleetColumn& c : columns)
        titles << columnTitle(c);
    table()->clear();
    table()->setColumnCount(static_cast<int>(titles.size()));
    table()->setHorizontalHeaderLabels(titles);
    table()->setRowCount(static_cast<int>(models_.size()));
    for (int r = 0; r < static_cast<int>(models_.size()); ++r) {
        const analysis::FleetModel& m = models_[static_cast<size_t>(r)];
        table()->setItem(r, 0, item(qs(m.maker)));
        table()->setItem(r, 1, item(qs(m.model)));
        table()->setItem(r, 2, item(QString::number(m.breakers)));
        table()->setItem(r, 3, item(QString::number(m.measurements)));
        QTableWidgetItem* failing = item(QString::number(m.failing));
        if (m.failing > 0)
            failing->setForeground(verdictQColor(analysis::Verdict::Fail));
        table()->setItem(r, 4, failing);
        for (size_t c = 0; c < columns.size(); ++c)
            table()->setItem(r, static_cast<int>(c) + 5,
                             item(spreadText(columnValue(m, columns[c]))));
    }
    table()->resizeColumnsToContents();
}

std::string CFleetView::csvBytes() const {
    return analysis::fleetCsv(models_);
}

}  // namespace plm::app
