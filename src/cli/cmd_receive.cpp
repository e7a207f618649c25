#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/record_line.h"
#include "cli/session.h"
#include "link/transfer_run.h"
#include "model/data_file.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

// plmtool receive [--port N | --device PATH] [--capture OUT.txt]: waits for
// the tester, prints every progress text as it happens, and the figures of
// the measurement being received on stderr, and then one line per
// measurement: all of them when the transfer completes, those that arrived
// whole when it fails or is stopped. Nothing is filed. With --capture
// everything received is also written as a captured transfer file; the
// journal of received transfers keeps it in any case.
namespace plm::cli {
namespace {

using support::sj;

// The line settings kept in the data file; the defaults when it cannot be
// read. Reading only: a receive never moves a bad data file aside.
model::LineSettings storedLineSettings(const std::string& dataFile) {
    std::ifstream in(support::toFsPath(dataFile), std::ios::binary);
    if (!in)
        return {};
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    model::CustomerTree tree;
    try {
        if (model::readDataFile(bytes, tree) == model::ReadStatus::Ok)
            return tree.lineSettings;
    } catch (const std::exception&) {
        // A damaged file says nothing reliable about the line.
    }
    return {};
}

std::optional<int> parsePort(const std::string& text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    const int port = std::stoi(text);
    return port >= 1 ? std::optional<int>(port) : std::nullopt;
}

void writeCapture(const std::string& fsPath, const link::TransferSetup& setup,
                  const std::vector<std::vector<uint8_t>>& blocks) {
    std::string text = link::capturedFileHeader("plmtool", setup.lineName(), setup.line);
    for (const auto& block : blocks)
        text += link::hexText(block) + "\r\n";
    support::replaceFileAtomically(fsPath, text);
}

link::TransferSetup setupFrom(const Invocation& inv, const Session& session) {
    const std::string port = inv.flagValue("port");
    const std::string device = inv.flagValue("device");
    if (!port.empty() && !device.empty())
        throw UsageError{"give --port or --device, not both"};
    if (inv.hasFlag("port") && !parsePort(port))
        throw UsageError{"--port needs a number from 1"};
    if (inv.hasFlag("device") && device.empty())
        throw UsageError{"--device needs a path"};
    if (inv.hasFlag("capture") && inv.flagValue("capture").empty()) {
        throw UsageError{"--capture needs a file"};
    }
    link::TransferSetup setup =
        link::TransferSetup::fromSettings(session.settings, storedLineSettings(session.dataFile));
    if (!port.empty())
        setup.line.port = *parsePort(port);
    setup.device = device;
    return setup;
}

// The figures of the measurement being received on stderr: one line that
// keeps being rewritten on a terminal, a plain line each time otherwise. On a
// terminal the line steps aside for every other text and comes back below it.
class FiguresLine {
  public:
    FiguresLine() : terminal_(::isatty(STDERR_FILENO) == 1) {}
    ~FiguresLine() { finish(); }
    FiguresLine(const FiguresLine&) = delete;
    FiguresLine& operator=(const FiguresLine&) = delete;

    void show(const link::TransferFigures& figures) {
        const link::MeasurementProgress& m = figures.measurement;
        const int percent = m.announced > 0 ? static_cast<int>(100 * m.received / m.announced) : 0;
        text_ = support::toUtf8(link::measurementText(m) + support::format(" (%d%%)  ", percent) +
                                link::figuresText(figures));
        draw();
    }
    // Prints a text without tearing the figures line.
    void print(const std::string& cp932, bool error) {
        if (terminal_ && !text_.empty())
            std::fputs("\r\033[K", stderr);
        error ? printError(cp932) : printLine(cp932);
        if (terminal_)
            draw();
    }
    void finish() {
        if (terminal_ && !text_.empty())
            std::fputc('\n', stderr);
        text_.clear();
    }

  private:
    void draw() {
        if (text_.empty())
            return;
        std::fputs(terminal_ ? ("\r" + text_ + "\033[K").c_str() : (text_ + "\n").c_str(), stderr);
        std::fflush(stderr);
    }

    bool terminal_;
    std::string text_;
};

// Prints the run's texts and figures as they come, tells once a second how
// long a silent line has been silent, and stops the run on an interrupt.
void follow(link::TransferRun& run, bool commLog) {
    FiguresLine figures;
    bool stopAsked = false;
    int64_t silenceTold = -1;
    while (true) {
        if (interruptRequested() && !stopAsked) {
            run.requestStop();
            stopAsked = true;
        }
        const auto note = run.waitNext(std::chrono::milliseconds(50));
        if (!note) {
            const auto silent =
                stopAsked ? std::nullopt : run.silentFigures(std::chrono::steady_clock::now());
            if (silent && silent->silentSeconds != silenceTold) {
                figures.show(*silent);
                silenceTold = silent->silentSeconds;
            }
            continue;
        }
        link::logNotify(*note, commLog);
        switch (note->kind) {
            case link::NotifyKind::Progress:
                figures.print(note->text, false);
                break;
            case link::NotifyKind::Error:
                figures.print(note->text, true);
                break;
            case link::NotifyKind::Figures:
                figures.show(note->figures);
                silenceTold = -1;
                break;
            case link::NotifyKind::Ended:
            case link::NotifyKind::Failed:
                return;
        }
    }
}

int runReceive(const Invocation& inv) {
    if (!inv.args.empty())
        throw UsageError{"no arguments besides the options"};
    Session& session = openSession();
    support::openAppLog();
    const link::TransferSetup setup = setupFrom(inv, session);
    const std::string capture = inv.flagValue("capture");

    std::vector<std::vector<uint8_t>> blocks;
    link::TransferRun run(setup);
    if (!capture.empty()) {
        run.setBlockObserver([&blocks](std::span<const uint8_t> block) {
            blocks.emplace_back(block.begin(), block.end());
        });
    }
    {
        InterruptGuard guard(false);
        run.start();
        follow(run, setup.commLog);
        run.wait();
    }
    if (!capture.empty() && !blocks.empty()) {
        writeCapture(absoluteFsPath(capture), setup, blocks);
    }
    std::error_code ec;
    if (!run.journalPath().empty() && std::filesystem::exists(run.journalPath(), ec))
        printError(link::journalNotice(run.journalPath()));
    const link::TransferRun::Received received = run.takeReceived();
    for (const auto& record : received.records)
        printLine(recordLine(record));
    if (received.interrupted) {
        printError(wholeMeasurementsNote(received.records.size()));
    }
    return run.outcome() == link::TransferOutcome::Completed ? 0 : 1;
}

const CommandRegistration registration{{
    "receive",
    "receive [--port N | --device PATH] [--capture OUT.txt]",
    "wait for the tester, show its transfer (files nothing)",
    runReceive,
    {{"port", true}, {"device", true}, {"capture", true}},
}};

}  // namespace
}  // namespace plm::cli
