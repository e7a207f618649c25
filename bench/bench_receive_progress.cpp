// Progress notifications of a transfer: how many the owner of a TransferRun
// (the receive dialog, plmtool) is sent per second at the fastest line speed
// the settings offer (256000 baud) and on an unpaced pseudo-terminal, against
// the baseline of how often the decoder itself reports figures in the same
// transfer (what would reach the owner without the run's rate limit).
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench_pty.h"
#include "link/serial_block_source.h"
#include "link/serial_line.h"
#include "link/transfer_decoder.h"
#include "link/transfer_run.h"
#include "support/file_lock.h"

namespace {

using Clock = std::chrono::steady_clock;
using plm::bench::Pty;
using plm::bench::transferStream;
using plm::bench::writePaced;
using plm::support::UniqueFd;

constexpr int kMeasurements = 2;  // 5 s at 100 us each: 50001 samples
constexpr int kFastestBaud = 256000;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Counts {
    int figures = 0;
    int texts = 0;
    double seconds = 0.0;
};

// The decoder alone on the line: every figures report it makes.
Counts decoderReports(const std::vector<uint8_t>& stream, int baud) {
    struct Counting : plm::link::ProgressSink {
        Counts counts;
        void progress(const std::string&) override { ++counts.texts; }
        void measurement(const plm::link::MeasurementProgress&) override { ++counts.figures; }
    } sink;
    Pty pty;
    plm::link::SerialLine line;
    line.setDevice(pty.device);
    if (!line.Open())
        std::fprintf(stderr, "open failed\n");
    line.SetReadTimeout(plm::link::SerialLine::kNoTimeout);
    const auto start = Clock::now();
    std::thread writer([&] { writePaced(pty.master.get(), stream, baud); });
    plm::link::SerialBlockSource source(line, false);
    std::atomic<bool> stop{false};
    plm::link::TransferDecoder decoder(source, sink, stop);
    decoder.run();
    sink.counts.seconds = seconds(Clock::now() - start);
    writer.join();
    return sink.counts;
}

// The whole run: what its owner is sent.
Counts ownerNotifications(const std::vector<uint8_t>& stream, int baud) {
    Pty pty;
    plm::link::TransferSetup setup;
    setup.device = pty.device;
    plm::link::TransferRun run(setup);
    run.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the line is open and waiting
    const auto start = Clock::now();
    std::thread writer([&] { writePaced(pty.master.get(), stream, baud); });
    Counts counts;
    for (;;) {
        const auto note = run.waitNext(std::chrono::milliseconds(100));
        if (!note)
            continue;
        if (note->kind == plm::link::NotifyKind::Figures)
            ++counts.figures;
        else if (note->kind == plm::link::NotifyKind::Progress)
            ++counts.texts;
        if (note->kind == plm::link::NotifyKind::Ended ||
            note->kind == plm::link::NotifyKind::Failed)
            break;
    }
    counts.seconds = seconds(Clock::now() - start);
    writer.join();
    return counts;
}

void report(const char* name, int baud, const std::vector<uint8_t>& stream) {
    const Counts raw = decoderReports(stream, baud);
    const Counts told = ownerNotifications(stream, baud);
    std::printf("%s:\n", name);
    std::printf("  baseline decoder figures reports: %7d in %5.2f s = %9.1f /s\n", raw.figures,
                raw.seconds, raw.figures / raw.seconds);
    std::printf("  figures notifications to owner:   %7d in %5.2f s = %9.1f /s  (ratio %.4f)\n",
                told.figures, told.seconds, told.figures / told.seconds,
                (told.figures / told.seconds) / (raw.figures / raw.seconds));
    std::printf("  progress texts to owner:          %7d in %5.2f s = %9.1f /s\n", told.texts,
                told.seconds, told.texts / told.seconds);
}

}  // namespace

int main() {
    const std::vector<uint8_t> stream = transferStream(kMeasurements);
    std::printf("transfer: %d measurements of 50001 samples, %zu bytes\n", kMeasurements,
                stream.size());
    report("256000 baud (fastest setting)", kFastestBaud, stream);
    report("unpaced pty", 0, stream);
    std::printf("target: at most a few figures notifications per second (limit %lld ms apart)\n",
                static_cast<long long>(plm::link::TransferRun::kFiguresInterval.count()));
    return 0;
}
