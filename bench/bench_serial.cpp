// Serial receive speed: a transfer pushed through a pseudo-terminal with no
// baud limit, read by SerialLine and decoded by TransferDecoder, against the
// baseline of plain bulk reads of the same pty. Then the CPU a silent line
// costs while a read waits for the tester.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench_pty.h"
#include "link/serial_block_source.h"
#include "link/serial_line.h"
#include "link/transfer_decoder.h"
#include "support/file_lock.h"

namespace {

using Clock = std::chrono::steady_clock;
using plm::bench::Pty;
using plm::bench::transferStream;
using plm::bench::writePaced;
using plm::support::UniqueFd;

constexpr int kMeasurements = 60;  // 5 s at 100 us each: 50001 samples

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Plain bulk reads of the slave: what the pty itself can carry.
double baselineMBps(const std::vector<uint8_t>& stream) {
    Pty pty;
    std::thread writer([&] { writePaced(pty.master.get(), stream); });
    std::vector<uint8_t> buffer(65536);
    size_t got = 0;
    const auto start = Clock::now();
    while (got < stream.size()) {
        const ssize_t n = ::read(pty.slave.get(), buffer.data(), buffer.size());
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    const double s = seconds(Clock::now() - start);
    writer.join();
    return got / s / 1e6;
}

double lineAndDecoderMBps(const std::vector<uint8_t>& stream, std::chrono::microseconds pause,
                          size_t& records) {
    Pty pty;
    plm::link::SerialLine line;
    line.setDevice(pty.device);
    plm::model::LineSettings settings;
    settings.flow = 0;
    line.Configure(settings);
    if (!line.Open())
        std::fprintf(stderr, "open failed\n");
    line.SetReadTimeout(plm::link::SerialLine::kNoTimeout);
    std::thread writer([&] { writePaced(pty.master.get(), stream); });
    plm::link::SerialBlockSource source(line, false);
    plm::link::NullProgressSink progress;
    std::atomic<bool> stop{false};
    plm::link::TransferDecoder decoder(source, progress, stop);
    decoder.setPassPause(pause);
    const auto start = Clock::now();
    const auto result = decoder.run();
    const double s = seconds(Clock::now() - start);
    writer.join();
    records = result.outcome == plm::link::TransferOutcome::Completed ? result.records.size() : 0;
    return stream.size() / s / 1e6;
}

// CPU seconds (user + system) of the whole process while a read waits on a
// silent line for about two seconds.
double silentWaitCpu(double& wall) {
    Pty pty;
    plm::link::SerialLine line;
    line.setDevice(pty.device);
    line.Open();
    line.SetReadTimeout(plm::link::SerialLine::kNoTimeout);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    std::thread reader([&] {
        uint8_t b[2];
        uint32_t received = 0;
        line.ReadBlock(b, 2, received);
    });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    line.SetReadTimeout(1);
    reader.join();
    wall = seconds(Clock::now() - start);
    getrusage(RUSAGE_SELF, &after);
    auto cpu = [](const rusage& r) {
        return r.ru_utime.tv_sec + r.ru_utime.tv_usec / 1e6 + r.ru_stime.tv_sec +
               r.ru_stime.tv_usec / 1e6;
    };
    return cpu(after) - cpu(before);
}

}  // namespace

int main() {
    const auto stream = transferStream(kMeasurements);
    std::printf("transfer: %d measurements, %.2f MB\n", kMeasurements, stream.size() / 1e6);

    const double baseline = baselineMBps(stream);
    std::printf("baseline  pty bulk read:                 %8.2f MB/s\n", baseline);
    size_t records = 0;
    const double fast = lineAndDecoderMBps(stream, std::chrono::microseconds(0), records);
    std::printf(
        "SerialLine + decoder, no pass pause:     %8.2f MB/s  (%zu records, %.2f of baseline)\n",
        fast, records, fast / baseline);
    const double paced = lineAndDecoderMBps(stream, std::chrono::microseconds(1000), records);
    std::printf(
        "SerialLine + decoder, 1 ms pass pause:   %8.2f MB/s  (%zu records, %.2f of baseline)\n",
        paced, records, paced / baseline);
    std::printf("target: >= 1 MB/s (921600 baud is 0.09 MB/s): %s\n",
                paced >= 1.0 ? "met" : "NOT met");

    double wall = 0;
    const double cpu = silentWaitCpu(wall);
    std::printf("silent line: %.3f s CPU over %.2f s of waiting (%.3f%%)\n", cpu, wall,
                100.0 * cpu / wall);
    return 0;
}
