#include "link/transfer_rate.h"

#include <gtest/gtest.h>

#include "support/text_codec.h"

namespace plm::link {
namespace {

using namespace std::chrono_literals;
using Clock = TransferRate::Clock;
using support::sj;

MeasurementProgress at(int64_t transferBytes, int blocks, int64_t received = 0,
                       int64_t announced = 0) {
    MeasurementProgress m;
    m.transferBytes = transferBytes;
    m.blocks = blocks;
    m.received = received;
    m.announced = announced;
    return m;
}

TEST(TransferRate, KnownOnceAFewBlocksArrivedOverAMeasurableSpan) {
    // The tester was started a minute after the line opened: that wait never counts.
    const Clock::time_point start = Clock::now() + 60s;
    struct Case {
        const char* name;
        std::chrono::milliseconds span;
        int blocks;
        double rate;
    };
    const Case cases[] = {
        {"too few blocks", 800ms, 2, 0.0},
        {"too short", 200ms, 3, 0.0},
        {"steady", 2000ms, 3, 1000.0},
        {"within a long first block", 1500ms, 2, 1000.0},
    };
    for (const Case& c : cases) {
        TransferRate rate;
        for (auto t = 0ms; t <= c.span; t += 10ms)
            rate.add(start + t, at(t.count(), t < c.span ? 1 : c.blocks));
        EXPECT_NEAR(rate.bytesPerSecond(), c.rate, 1.0) << c.name;
    }
}

TEST(TransferRate, FollowsTheLastSecondsAndTellsTheTimeLeft) {
    TransferRate rate;
    const Clock::time_point start = Clock::now();
    int64_t bytes = 0;
    // Ten seconds at 400 bytes/s, then four at 4000 bytes/s.
    for (auto t = 0ms; t <= 14000ms; t += 50ms) {
        rate.add(start + t, at(bytes, 10));
        bytes += t < 10000ms ? 20 : 200;
    }
    const double fast = rate.bytesPerSecond();
    EXPECT_GT(fast, 3000.0);
    EXPECT_LT(fast, 4100.0);

    const TransferFigures figures = rate.figures(at(bytes, 10, 1000, 1000 + 10 * 4000));
    EXPECT_EQ(figures.bytesPerSecond, fast);
    EXPECT_GE(figures.secondsLeft, 10);
    EXPECT_LE(figures.secondsLeft, 14);
    EXPECT_EQ(TransferRate().figures(at(0, 0, 10, 100)).secondsLeft, -1);
}

TEST(TransferRate, FiguresTextTellsTheRateOrTheSilence) {
    TransferFigures figures;
    figures.measurement.whole = 2;
    EXPECT_EQ(figuresText(figures), sj("受信完了 2 件"));
    figures.bytesPerSecond = 120.4;
    figures.secondsLeft = 3;
    EXPECT_EQ(figuresText(figures), sj("受信完了 2 件　120 バイト/秒　残り約 3 秒"));
    figures.silentSeconds = 35;
    EXPECT_EQ(figuresText(figures), sj("受信完了 2 件　35 秒間データが届いていません"));
}

}  // namespace
}  // namespace plm::link
