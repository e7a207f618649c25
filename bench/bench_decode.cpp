// Decoding a captured transfer against the baseline of reading the same file
// into memory. The 1 ms pause per decoder pass is switched off: it is a
// deliberate wait, not work.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/captured_file_source.h"
#include "link/transfer_decoder.h"
#include "support/file_lock.h"
#include "support/paths.h"

namespace {

using Clock = std::chrono::steady_clock;

void appendHex(std::string& out, const std::vector<uint8_t>& block) {
    static const char digits[] = "0123456789ABCDEF";
    for (uint8_t b : block) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    out += "\r\n";
}

// `count` measurements with measuring time and period codes giving `samples`
// samples each; every channel switches a few times, and each has a
// voltage/current block.
std::string captureText(int count, uint8_t measTime, uint8_t measPeriod, size_t samples) {
    std::string out = "; benchmark capture\r\n";
    for (int m = 0; m < count; ++m) {
        std::vector<uint8_t> contacts(samples);
        for (size_t i = 0; i < samples; ++i) {
            contacts[i] = static_cast<uint8_t>(i < samples / 3   ? 0x00
                                               : i < samples / 2 ? 0x5A
                                                                 : 0xFF);
        }
        std::vector<uint8_t> header(30, 0);
        header[1] = static_cast<uint8_t>(m + 1);
        header[2] = 2;
        header[6] = measTime;
        header[7] = measPeriod;
        const uint8_t date[] = {0x26, 0x11, 0x20, 0x10, 0x15, 0x32};
        std::copy(std::begin(date), std::end(date), header.begin() + 24);
        size_t total = 36 + samples + 4;
        appendHex(out, {static_cast<uint8_t>(total >> 8), static_cast<uint8_t>(total)});
        appendHex(out, header);
        appendHex(out, contacts);
        appendHex(out, {0x00, 0x64, 0x00, 0x63});
        appendHex(out, std::vector<uint8_t>(4, m + 1 == count ? 0x00 : 0xFF));
    }
    return out;
}

double bestSeconds(int repeats, const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < repeats; ++i) {
        auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void measure(const char* name, const std::string& text, size_t expectedRecords) {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("bench_decode_" + std::to_string(getpid()) + ".txt"))
                           .string();
    std::ofstream(path, std::ios::binary) << text;
    double mb = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    const int repeats = 15;

    size_t readBytes = 0;
    double readTime = bestSeconds(repeats, [&] {
        plm::support::UniqueFd fd(::open(path.c_str(), O_RDONLY));
        readBytes = plm::support::readAll(fd.get()).size();
    });

    size_t records = 0;
    double decodeTime = bestSeconds(repeats, [&] {
        plm::link::NullProgressSink progress;
        plm::link::CapturedFileSource source;
        source.open(plm::support::fromFsPath(path), progress);
        std::atomic<bool> stop{false};
        plm::link::TransferDecoder decoder(source, progress, stop);
        decoder.setPassPause(std::chrono::microseconds(0));
        records = decoder.run().records.size();
    });
    std::filesystem::remove(path);

    // The decoder's own work: the same text already in memory (the copies are
    // made before the clock starts and freed after it stops).
    std::vector<plm::link::CapturedFileSource> sources(repeats);
    for (auto& source : sources)
        source.openText(text);
    size_t next = 0;
    double memoryTime = bestSeconds(repeats, [&] {
        plm::link::NullProgressSink progress;
        std::atomic<bool> stop{false};
        plm::link::TransferDecoder decoder(sources[next++], progress, stop);
        decoder.setPassPause(std::chrono::microseconds(0));
        records = std::min(records, decoder.run().records.size());
    });

    if (records != expectedRecords || readBytes != text.size()) {
        std::printf("%s: decoded %zu records, expected %zu\n", name, records, expectedRecords);
        std::exit(1);
    }
    std::printf(
        "%-20s %5.2f MB  read %6.3f ms/MB  open+decode %6.3f ms/MB (%4.2fx)  "
        "decode from memory %6.3f ms/MB (%4.2fx)\n",
        name, mb, readTime * 1000 / mb, decodeTime * 1000 / mb, decodeTime / readTime,
        memoryTime * 1000 / mb, memoryTime / readTime);
}

}  // namespace

int main() {
    // 500 ms at 100 us: 5001 samples; 5 s at 100 us: 50001 samples.
    measure("100 x 5001 samples", captureText(100, 2, 0, 5001), 100);
    measure("1 x 50001 samples", captureText(1, 4, 0, 50001), 1);
    return 0;
}
