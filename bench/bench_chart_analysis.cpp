// The analysis of a breaker: the figures of a 200001-sample 8-channel record
// against one pass over its samples (counting the samples that differ from
// the one before), and the trend of a name with 10000 measurements, computed
// and drawn as on the judgement page, against its 100 ms budget.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "analysis/figures.h"
#include "analysis/trend.h"
#include "bench_timing.h"
#include "chart/trend_plot.h"
#include "synthetic_tree.h"

namespace {

using plm::bench::BestTimes;
using Clock = std::chrono::steady_clock;

plm::model::MeasurementRecord record(size_t samples, unsigned changeEvery, unsigned seed) {
    plm::model::MeasurementRecord r;
    r.cond.devType = 3;
    r.measPeriod = 0;
    r.contacts = plm::bench::randomContacts(samples, changeEvery, seed);
    return r;
}

// The baseline: every sample read once and compared with the one before.
size_t changedSamples(const plm::model::ContactSamples& samples) {
    size_t count = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        count += samples[i] != samples[i - 1] ? 1 : 0;
    return count;
}

volatile size_t sink;

void benchFigures() {
    constexpr int kRuns = 20;
    for (unsigned every : {997u, 10u}) {
        const plm::model::MeasurementRecord r = record(200001, every, 7);
        BestTimes figures, pass;
        for (int i = 0; i < kRuns; ++i) {
            figures.time([&] {
                sink = plm::analysis::computeFigures(r, plm::analysis::defaultPoleGroup())
                           .channels.size();
            });
            pass.time([&] { sink = changedSamples(r.contacts); });
        }
        std::printf(
            "figures of 200001 samples x 8 channels, a change every ~%u samples, best of %d"
            " (wall / cpu):\n",
            every, kRuns);
        std::printf("  computeFigures:  %7.3f / %7.3f ms\n", figures.wall * 1e3, figures.cpu * 1e3);
        std::printf("  one pass:        %7.3f / %7.3f ms\n", pass.wall * 1e3, pass.cpu * 1e3);
        std::printf("  ratio: %.2fx wall, %.2fx cpu (aim: within 2x)\n", figures.wall / pass.wall,
                    figures.cpu / pass.cpu);
    }
}

void benchTrend() {
    plm::model::RecordList records;
    records.reserve(10000);
    for (unsigned i = 0; i < 10000; ++i) {
        plm::model::MeasurementRecord r = record(1001, 50, i);
        r.testDateTime.status = plm::support::DateStatus::Valid;
        r.testDateTime.value = 40000.0 + i;
        records.append(std::move(r));
    }
    plm::analysis::Limits limits;
    plm::analysis::setLimit(limits, "close_max_ms", "60");
    QImage image(1600, 1000, QImage::Format_RGB32);
    BestTimes compute, draw;
    constexpr int kRuns = 5;
    for (int i = 0; i < kRuns; ++i) {
        plm::analysis::Trend trend;
        compute.time([&] { trend = plm::analysis::computeTrend(records, limits, std::nullopt); });
        draw.time([&] {
            image.fill(Qt::white);
            QPainter painter(&image);
            const plm::chart::TrendPlot plot(
                plm::chart::trendPlotData(trend, limits, true, {1, 2, 3}, 9999));
            plot.paint(painter, QRectF(0, 0, 1600, 1000),
                       plm::chart::PaintContext{1.0, std::nullopt});
        });
    }
    std::printf("trend of 10000 measurements of 1001 samples, best of %d (wall / cpu):\n", kRuns);
    std::printf("  computed:  %7.1f / %7.1f ms\n", compute.wall * 1e3, compute.cpu * 1e3);
    std::printf("  drawn:     %7.1f / %7.1f ms (1600x1000 image)\n", draw.wall * 1e3,
                draw.cpu * 1e3);
    std::printf("  both: %.1f ms wall = %.2fx, %.1f ms cpu = %.2fx of the 100 ms budget\n",
                (compute.wall + draw.wall) * 1e3, (compute.wall + draw.wall) / 0.1,
                (compute.cpu + draw.cpu) * 1e3, (compute.cpu + draw.cpu) / 0.1);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchFigures();
    benchTrend();
    return 0;
}
