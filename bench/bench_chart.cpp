// Drawing the test sheet of an 8-channel record into a 1600x1000 image:
// milliseconds per frame once the record's edges are cached, for records of
// 1001 to 200001 samples, with a few changes per channel and with a change
// every 10 samples; then zoom and pan frames of the screen chart at a fixed
// zoom of 500 samples with a change every 10 samples.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_timing.h"
#include "chart/test_sheet.h"
#include "support/text_codec.h"
#include "synthetic_tree.h"

namespace {

using Clock = std::chrono::steady_clock;

plm::model::MeasurementRecord record(size_t samples, size_t changeEvery) {
    plm::model::MeasurementRecord r;
    r.cond.devType = 3;
    r.measTime = 7;
    r.measPeriod = 3;
    r.testDateTime.status = plm::support::DateStatus::Valid;
    r.testDateTime.value = 39539.5;
    r.contacts = plm::bench::randomContacts(samples, static_cast<unsigned>(changeEvery), 11);
    return r;
}

struct Timing {
    double firstMs;
    double frameMs;
    double frameCpuMs;
};

Timing measure(const plm::model::MeasurementRecord& r, QImage& image) {
    plm::settings::AppSettings settings;
    const plm::chart::SheetNames names{"A", "B", "C"};
    auto t0 = Clock::now();
    plm::chart::TestSheet sheet;
    sheet.rebuild(settings, names, &r);
    auto paint = [&] {
        image.fill(Qt::white);
        QPainter painter(&image);
        sheet.paint(painter, QRectF(0, 0, image.width(), image.height()));
    };
    paint();
    const double first = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    constexpr int kFrames = 20;
    t0 = Clock::now();
    const double cpu0 = plm::bench::cpuSeconds() * 1e3;
    for (int i = 0; i < kFrames; ++i)
        paint();
    const double cpu = (plm::bench::cpuSeconds() * 1e3 - cpu0) / kFrames;
    const double frame =
        std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / kFrames;
    return {first, frame, cpu};
}

// Frames of the zoomed chart: half of them pan by a tenth of the view, half
// zoom in and out by 1.25 around a pointer at a third of the plot, so the
// view stays near kZoomSpan samples.
constexpr double kZoomSpan = 500.0;

Timing measureZoom(const plm::model::MeasurementRecord& r, QImage& image) {
    plm::settings::AppSettings settings;
    plm::chart::TestSheet sheet;
    sheet.rebuild(settings, {"A", "B", "C"}, &r);
    const int64_t xMax = static_cast<int64_t>(r.contacts.size()) - 1;
    const double middle = static_cast<double>(xMax) / 2.0;
    plm::chart::SampleSpan view =
        plm::chart::clampSpan({middle - kZoomSpan / 2, middle + kZoomSpan / 2}, xMax);
    auto paint = [&] {
        image.fill(Qt::white);
        QPainter painter(&image);
        sheet.paint(painter, QRectF(0, 0, image.width(), image.height()), {}, view);
    };
    auto t0 = Clock::now();
    paint();
    const double first = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    constexpr int kFrames = 40;
    double direction = 1.0;
    t0 = Clock::now();
    const double cpu0 = plm::bench::cpuSeconds() * 1e3;
    for (int i = 0; i < kFrames; ++i) {
        if (i % 2 == 0) {
            if (view.last >= static_cast<double>(xMax) || view.first <= 0.0)
                direction = -direction;
            view = plm::chart::panBy(view, direction * view.length() / 10.0, xMax);
        } else {
            const double anchor = view.first + view.length() / 3.0;
            view = plm::chart::zoomAround(view, anchor, i % 4 == 1 ? 1.25 : 0.8, xMax);
        }
        paint();
    }
    const double cpu = (plm::bench::cpuSeconds() * 1e3 - cpu0) / kFrames;
    const double frame =
        std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / kFrames;
    return {first, frame, cpu};
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    QImage image(1600, 1000, QImage::Format_RGB32);
    image.setDotsPerMeterX(3780);  // 96 dpi, like a desktop screen
    image.setDotsPerMeterY(3780);
    std::printf("test sheet of 8 channels into 1600x1000 (ms; first frame builds the edges)\n");
    std::printf("%10s %10s %10s %10s %10s\n", "samples", "changes", "first", "frame", "frame cpu");
    double base = 0.0;
    for (size_t every : {997u, 10u}) {
        for (size_t samples : {1001u, 10001u, 100001u, 200001u}) {
            const plm::model::MeasurementRecord r = record(samples, every);
            const Timing t = measure(r, image);
            if (base == 0.0)
                base = t.frameCpuMs;
            std::printf("%10zu %6s1/%-3zu %10.2f %10.2f %10.2f  (cpu %.2fx the first row)\n",
                        samples, "", every, t.firstMs, t.frameMs, t.frameCpuMs,
                        t.frameCpuMs / base);
        }
    }
    std::printf("aim: under 16 ms per frame, nearly flat from 1001 to 200001 samples\n\n");

    std::printf("zoom and pan frames at about %.0f samples in view, a change every 10 samples\n",
                kZoomSpan);
    std::printf("%10s %10s %10s %10s\n", "samples", "first", "frame", "frame cpu");
    double zoomBase = 0.0;
    for (size_t samples : {1001u, 10001u, 100001u, 200001u}) {
        const plm::model::MeasurementRecord r = record(samples, 10);
        const Timing t = measureZoom(r, image);
        if (zoomBase == 0.0)
            zoomBase = t.frameCpuMs;
        std::printf("%10zu %10.2f %10.2f %10.2f  (cpu %.2fx the first row)\n", samples, t.firstMs,
                    t.frameMs, t.frameCpuMs, t.frameCpuMs / zoomBase);
    }
    std::printf("aim: under 16 ms per frame, flat from 1001 to 200001 samples\n");
    return 0;
}
