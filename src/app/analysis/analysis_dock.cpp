#include "app/analysis/analysis_dock.h"

#include <QCheckBox>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <functional>

#include "app/analysis/figures_pane.h"
#include "app/analysis/limits_dialog.h"
#include "app/analysis/trend_view.h"
#include "app/document/plm_view_doc.h"
#include "chart/qt_text.h"
#include "support/cx_exception.h"
#include "ui/busy_scope.h"
#include "ui/prompter.h"

namespace plm::app {
namespace {

using support::sj;

// Another program may hold LIMITS.INI for a while: the progress window says so.
analysis::LimitsBook loadLimitsShowingWait() {
    const ui::BusyScope busy{QString()};
    return analysis::loadLimits(analysis::limitsFilePath());
}

void updateLimitsShowingWait(const std::function<void(analysis::LimitsBook&)>& change) {
    const ui::BusyScope busy{QString()};
    analysis::updateLimits(analysis::limitsFilePath(), change);
}

const model::MeasurementName* shownName(const CPLMViewDoc& doc) {
    const Selection& sel = doc.selection();
    const model::MeasurementName* name =
        model::findMeasurementName(doc.tree(), sel.customer, sel.circuit, sel.name);
    if (!name || sel.index < 0 || sel.index >= name->records.count())
        return nullptr;
    return name;
}

}  // namespace

CAnalysisDock::CAnalysisDock(CPLMViewDoc& doc, ChartDecorations& view, QWidget* parent)
    : QDockWidget(qsj("判定・傾向"), parent), doc_(doc), view_(view) {
    setObjectName("CAnalysisDock");
    tabs_ = new QTabWidget(this);
    figures_ = new CFiguresPane;
    trend_ = new CTrendView;
    tabs_->addTab(figures_, qsj("判定"));
    tabs_->addTab(trend_, qsj("傾向"));
    setWidget(tabs_);
    connect(&doc_, &CPLMViewDoc::shownChanged, this, &CAnalysisDock::refresh);
    connect(figures_->limitsButton(), &QPushButton::clicked, this, &CAnalysisDock::OnLimits);
    connect(figures_->overlayBox(), &QCheckBox::toggled, this, &CAnalysisDock::applyOverlay);
    connect(figures_->printBox(), &QCheckBox::toggled, this, &CAnalysisDock::applyPrint);
    connect(trend_, &CTrendView::referenceRequested, this, &CAnalysisDock::markReference);
    connect(trend_, &CTrendView::overlayRequested, this, &CAnalysisDock::overlayMeasurement);
    connect(trend_, &CTrendView::scopeChanged, this, &CAnalysisDock::refresh);
    refresh();
}

void CAnalysisDock::clear(const std::string& why) {
    report_.reset();
    figures_->showNothing(why);
    trend_->clear();
    applyOverlay();
    applyPrint();
}

int CAnalysisDock::fittingWidth() const {
    // The tab page's frame and the dock's on both sides.
    const int frames = 4 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tabs_) + 8;
    return figures_->fittingWidth() + frames;
}

void CAnalysisDock::refresh() {
    const model::MeasurementName* name = shownName(doc_);
    if (!name) {
        clear(sj("測定データが選ばれていません"));
        return;
    }
    const Selection& sel = doc_.selection();
    const model::MeasurementRecord& record = name->records.at(sel.index);
    std::optional<analysis::BreakerHistory> history;
    try {
        const analysis::LimitsBook book = loadLimitsShowingWait();
        report_ = analysis::analyzeFiled(name->records, sel.index, book, sel.customer, sel.circuit,
                                         sel.name);
        const std::optional<analysis::Breaker> breaker = analysis::breakerOf(record.cond);
        if (trend_->scope() == CTrendView::ScopeBreaker && breaker)
            history = analysis::breakerHistory(doc_.tree(), *breaker, book);
    } catch (const CxException& e) {
        // A damaged limits file is the user's to mend: say so and judge nothing.
        clear(e.text());
        return;
    }
    figures_->showReport(*report_);
    const bool closes = record.measureType == 0;
    if (trend_->scope() == CTrendView::ScopeName)
        trend_->showReport(*report_, closes);
    else if (!history)
        trend_->showNoBreaker();
    else
        trend_->showBreakerHistory(
            *history, history->entryOf({sel.customer, sel.circuit, sel.name}, sel.index),
            report_->limits, closes);
    applyOverlay();
    applyPrint();
}

// The measurement the user chose for the shown one, else the reference of
// its kind, unless that is the shown one itself.
void CAnalysisDock::applyOverlay() {
    const model::MeasurementName* name = shownName(doc_);
    if (overlayFor_ != doc_.selection())
        overlayIndex_.reset();
    std::optional<model::MeasurementRecord> reference;
    if (figures_->overlayBox()->isChecked() && report_ && name && report_->shownEntry >= 0) {
        const size_t shown = static_cast<size_t>(report_->shownEntry);
        const int shownIndex = report_->trend.entries[shown].index;
        const int index = overlayIndex_.value_or(
            report_->trend.entries[report_->trend.referenceFor(shown)].index);
        if (index != shownIndex && index < name->records.count())
            reference = name->records.at(index);
    }
    if (reference || view_.hasOverlay())
        view_.setOverlay(std::move(reference));
}

void CAnalysisDock::applyPrint() {
    if (figures_->printBox()->isChecked() && report_)
        view_.setPrintAnalysis(report_);
    else
        view_.setPrintAnalysis(std::nullopt);
}

void CAnalysisDock::overlayMeasurement(int index) {
    overlayIndex_ = index;
    overlayFor_ = doc_.selection();
    if (figures_->overlayBox()->isChecked())
        applyOverlay();
    else
        figures_->overlayBox()->setChecked(true);
}

void CAnalysisDock::OnLimits() {
    if (!shownName(doc_))
        return;
    const Selection& sel = doc_.selection();
    try {
        const model::MeasurementRecord& record = shownName(doc_)->records.at(sel.index);
        CLimitsDialog dialog(sel.customer, sel.circuit, sel.name, loadLimitsShowingWait(), this,
                             analysis::breakerModelOf(record.cond));
        if (dialog.exec() != QDialog::Accepted)
            return;
    } catch (const CxException& e) {
        ui::prompter().stop(e.text());
        return;
    }
    refresh();
}

void CAnalysisDock::markReference(int index) {
    const model::MeasurementName* name = shownName(doc_);
    if (!name || index < 0 || index >= name->records.count())
        return;
    const model::MeasurementRecord& record = name->records.at(index);
    const Selection& sel = doc_.selection();
    try {
        updateLimitsShowingWait([&](analysis::LimitsBook& book) {
            book.entry(sel.customer, sel.circuit, sel.name).reference =
                analysis::markOf(record.testDateTime, record.dataNo);
        });
    } catch (const CxException& e) {
        ui::prompter().stop(e.text());
        return;
    }
    refresh();
}

}  // namespace plm::app
