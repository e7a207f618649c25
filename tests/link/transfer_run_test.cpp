#include "link/transfer_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "common/fake_tester.h"
#include "common/temp_dir.h"
#include "common/transfer_builder.h"
#include "link/captured_file_source.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using support::sj;
using test::Bytes;
using test::FakeTester;

struct Finished {
    std::vector<TransferNotify> notes;
    TransferOutcome outcome = TransferOutcome::Failed;
    std::vector<model::MeasurementRecord> records;

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& n : notes) {
            if (n.kind == NotifyKind::Progress || n.kind == NotifyKind::Error)
                out.push_back(n.text);
        }
        return out;
    }
    std::vector<TransferFigures> figures() const {
        std::vector<TransferFigures> out;
        for (const auto& n : notes) {
            if (n.kind == NotifyKind::Figures)
                out.push_back(n.figures);
        }
        return out;
    }
    bool has(const std::string& text) const {
        const auto all = texts();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
    std::string errors() const {
        std::string out;
        for (const auto& n : notes) {
            if (n.kind == NotifyKind::Error)
                out += n.text;
        }
        return out;
    }
    NotifyKind last() const { return notes.empty() ? NotifyKind::Progress : notes.back().kind; }
    std::vector<Clock::time_point> figureTimes;
};

// Takes notifications until the run ends.
Finished collect(TransferRun& run) {
    Finished f;
    const auto limit = Clock::now() + 20s;
    while (Clock::now() < limit) {
        auto note = run.waitNext(50ms);
        if (!note)
            continue;
        f.notes.push_back(*note);
        if (note->kind == NotifyKind::Figures)
            f.figureTimes.push_back(Clock::now());
        if (note->kind == NotifyKind::Ended || note->kind == NotifyKind::Failed)
            break;
    }
    run.wait();
    f.outcome = run.outcome();
    f.records = run.takeResults();
    return f;
}

// Decodes a captured file the way "read from file" does.
TransferResult decodeFile(const std::string& fsPath) {
    CapturedFileSource source;
    NullProgressSink sink;
    source.open(support::fromFsPath(fsPath), sink);
    std::atomic<bool> stop{false};
    return TransferDecoder(source, sink, stop).run();
}

// Four measurements of 5001 samples: 1.3 s each at 38400 baud.
std::vector<model::MeasurementRecord> longRecords() {
    std::vector<model::MeasurementRecord> out;
    for (int i = 0; i < 4; ++i) {
        auto r = test::makeRecord(11 + i, 4, 1);
        test::setChannel(r, i, 0, {100 + i, 2000});
        r.vcValue = 200 + i;
        r.vcEndValue = 190;
        out.push_back(r);
    }
    return out;
}

// The first `measurements` whole measurements of a stream, plus `extra` bytes of the next.
Bytes streamPrefix(const std::vector<test::MeasurementBlocks>& blocks, size_t measurements,
                   size_t extra) {
    Bytes out;
    for (size_t i = 0; i < measurements; ++i) {
        const Bytes whole = test::streamBytes({blocks[i]});
        out.insert(out.end(), whole.begin(), whole.end());
    }
    const Bytes next = test::streamBytes({blocks[measurements]});
    out.insert(out.end(), next.begin(), next.begin() + static_cast<std::ptrdiff_t>(extra));
    return out;
}

TransferSetup lineSetup(const FakeTester& tester) {
    TransferSetup setup;
    setup.device = tester.device();
    return setup;
}

std::vector<model::MeasurementRecord> threeRecords() {
    auto a = test::makeRecord(1, 0, 1);
    test::setChannel(a, 0, 0, {5, 20});
    auto b = test::makeRecord(2, 1, 1);
    b.vcValue = 100;
    b.vcEndValue = 10;
    test::setChannel(b, 2, 1, {50});
    auto c = test::makeRecord(3, 0, 1);
    test::setChannel(c, 7, 0, {1, 2, 3});
    return {a, b, c};
}

bool lineIsFree(const std::string& device) {
    SerialLine probe;
    probe.setDevice(device);
    return probe.Open();
}

TEST(TransferRun, CompleteTransferArrivesAsTheSameCaptureDecodes) {
    const auto records = threeRecords();
    const auto blocks = test::transferBlocks(records);
    test::TempDir dir;
    test::writeFile(dir.file("capture.txt"), test::capturedText(blocks));
    TransferSetup fileSetup;
    fileSetup.filePath = support::fromFsPath(dir.file("capture.txt"));
    TransferRun fromFile(fileSetup);
    fromFile.start();
    const Finished expected = collect(fromFile);
    ASSERT_EQ(expected.outcome, TransferOutcome::Completed) << expected.errors();

    FakeTester tester;
    tester.send(test::streamBytes(blocks), 115200);
    TransferRun run(lineSetup(tester));
    int wakeUps = 0;
    run.setNotifyHandler([&] { ++wakeUps; });
    run.start();
    const Finished got = collect(run);

    ASSERT_EQ(got.outcome, TransferOutcome::Completed) << got.errors();
    EXPECT_EQ(got.last(), NotifyKind::Ended);
    EXPECT_EQ(wakeUps, static_cast<int>(got.notes.size()));
    ASSERT_EQ(got.records.size(), 3u);
    EXPECT_EQ(got.records, expected.records);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(got.records[i].contacts, records[i].contacts);
        EXPECT_EQ(got.records[i].dataNo, records[i].dataNo);
    }
    EXPECT_EQ(got.records[1].vcValue, 100);
    const auto texts = got.texts();
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[0], sj("シリアルポートオープン"));
    EXPECT_EQ(texts[1], sj("機器からのデータ送信待ち"));
    EXPECT_EQ(texts[2], sj("受信処理中..."));
    EXPECT_EQ(texts[texts.size() - 2], sj("シリアルポートクローズ"));
    EXPECT_EQ(texts.back(), sj("後処理中...しばらくお待ちください"));
    // Those are the run's status texts; every other one tells of a block.
    std::vector<std::string> status;
    for (const auto& n : got.notes) {
        if (n.kind == NotifyKind::Progress && !n.perBlock)
            status.push_back(n.text);
    }
    EXPECT_EQ(status, (std::vector<std::string>{texts[0], texts[1], texts[2],
                                                texts[texts.size() - 2], texts.back()}));
    EXPECT_TRUE(got.has(sj("ヘッダ情報")));
    EXPECT_TRUE(lineIsFree(tester.device()));
}

TEST(TransferRun, StopOnAStalledLineEndsPromptlyWithNothing) {
    FakeTester tester;
    const auto blocks = test::transferBlocks(threeRecords());
    Bytes start = blocks[0].count;
    start.insert(start.end(), blocks[0].header.begin(), blocks[0].header.end());
    tester.send(start);
    TransferRun run(lineSetup(tester));
    run.start();
    Finished f;
    while (!f.has(sj("ヘッダ情報"))) {
        auto note = run.waitNext(5s);
        ASSERT_TRUE(note) << "no header progress";
        f.notes.push_back(*note);
    }
    std::this_thread::sleep_for(1200ms);  // the contact read waits past one poll slice
    const auto stopped = Clock::now();
    run.requestStop();
    const Finished rest = collect(run);
    EXPECT_LT(Clock::now() - stopped, 500ms);
    // The read cut short by the stop is no failure of the line.
    EXPECT_EQ(rest.outcome, TransferOutcome::Stopped);
    EXPECT_EQ(rest.errors(), "");
    EXPECT_TRUE(rest.has(sj("シリアルポートクローズ")));
    EXPECT_EQ(rest.last(), NotifyKind::Ended);
    EXPECT_TRUE(rest.records.empty());
    EXPECT_TRUE(lineIsFree(tester.device()));
}

// Nothing is notified while the line is silent; asked with a later clock the
// run tells how long, with the figures of the bytes that came last.
TEST(TransferRun, SilentLineIsToldWithTheLatestFigures) {
    FakeTester tester;
    const auto blocks = test::transferBlocks(longRecords());
    const Bytes part = streamPrefix(blocks, 0, 36 + 700);
    TransferRun run(lineSetup(tester));
    EXPECT_FALSE(run.silentFigures(Clock::now() + 1h));  // nothing under way yet
    run.start();
    ASSERT_TRUE(tester.waitForOpen());
    tester.send(part, 115200);
    // Asked an hour ahead, the figures follow the bytes as they come.
    const auto arrived = [&] {
        const auto ahead = run.silentFigures(Clock::now() + 1h);
        return ahead && ahead->measurement.received == static_cast<int64_t>(part.size());
    };
    const auto limit = Clock::now() + 5s;
    while (!arrived() && Clock::now() < limit)
        std::this_thread::sleep_for(5ms);
    const auto now = Clock::now();
    ASSERT_TRUE(arrived()) << "the samples never arrived";
    EXPECT_FALSE(run.silentFigures(now));
    EXPECT_FALSE(run.silentFigures(now + 1500ms));
    const auto silent = run.silentFigures(now + 7s);
    ASSERT_TRUE(silent);
    EXPECT_GE(silent->silentSeconds, 7);
    EXPECT_LE(silent->silentSeconds, 8);
    EXPECT_EQ(silent->measurement.received, static_cast<int64_t>(part.size()));
    EXPECT_EQ(silent->measurement.number, 1);
    EXPECT_EQ(figuresText(*silent).find(sj("バイト/秒")), std::string::npos);
    run.requestStop();
    collect(run);
    EXPECT_FALSE(run.silentFigures(now + 7s));
}

TEST(TransferRun, StopBetweenBlocksIsQuiet) {
    FakeTester tester;
    tester.send(test::streamBytes(test::transferBlocks(threeRecords())));
    TransferRun run(lineSetup(tester));
    run.requestStop();  // seen before the first block is asked for
    run.start();
    const Finished f = collect(run);
    EXPECT_EQ(f.outcome, TransferOutcome::Stopped);
    EXPECT_EQ(f.last(), NotifyKind::Ended);
    EXPECT_TRUE(f.errors().empty());
    EXPECT_TRUE(f.records.empty());
}

TEST(TransferRun, UnpluggedTesterIsAReadErrorNotAHang) {
    FakeTester tester;
    const auto blocks = test::transferBlocks(threeRecords());
    Bytes part = blocks[0].count;
    part.insert(part.end(), blocks[0].header.begin(), blocks[0].header.end());
    part.insert(part.end(), blocks[0].contacts.begin(), blocks[0].contacts.begin() + 10);
    TransferRun run(lineSetup(tester));
    run.start();
    ASSERT_TRUE(tester.waitForOpen());
    std::this_thread::sleep_for(400ms);  // the line is set up and reading
    tester.send(part, 38400, true);
    const auto start = Clock::now();
    const Finished f = collect(run);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(f.errors(), sj("通信異常 [-1]"));
    EXPECT_EQ(f.last(), NotifyKind::Failed);
    EXPECT_TRUE(f.records.empty());
}

TEST(TransferRun, BadDataEndsWithItsOwnText) {
    auto blocks = test::transferBlocks({test::makeRecord(1, 0, 1)});
    struct Case {
        const char* name;
        Bytes stream;
        std::string error;
    };
    auto badEnd = blocks;
    badEnd[0].endCode = {0x12, 0x34, 0x56, 0x78};
    auto shortCount = blocks;
    shortCount[0].count = {0x00, 36 + 51 - 10};
    auto oneByteVc = blocks;
    oneByteVc[0].voltageCurrent = {0x07};
    oneByteVc[0].recount();
    const Case cases[] = {
        {"end code", test::streamBytes(badEnd),
         sj("終了コードに 00000000 又は FFFFFFFF 以外が転送されました")},
        {"short count", test::streamBytes(shortCount),
         sj("転送データ数と実転送数が合っていません")},
        {"line noise", Bytes(32, 0x00), sj("転送データ数と実転送数が合っていません")},
        {"1-byte voltage/current", test::streamBytes(oneByteVc),
         sj("電圧電流：受信データ異常<07>")},
    };
    for (const Case& c : cases) {
        FakeTester tester;
        tester.send(c.stream);
        TransferRun run(lineSetup(tester));
        run.start();
        const auto start = Clock::now();
        const Finished f = collect(run);
        EXPECT_LT(Clock::now() - start, 3s) << c.name;
        EXPECT_EQ(f.errors(), c.error) << c.name;
        EXPECT_EQ(f.last(), NotifyKind::Failed) << c.name;
        EXPECT_TRUE(f.records.empty()) << c.name;
        EXPECT_TRUE(lineIsFree(tester.device())) << c.name;
    }
}

TEST(TransferRun, PortThatCannotBeOpenedFailsAtOnce) {
    FakeTester tester;
    SerialLine holder;
    holder.setDevice(tester.device());
    ASSERT_TRUE(holder.Open());
    struct Case {
        std::string device;  // empty: the port number's own device
        int port;
        std::string error;
    };
    // The designed text, then the port that failed, so that the user knows which one.
    const Case cases[] = {
        {tester.device(), 1,
         sj("シリアルポートのオープンに失敗,Device or resource busyｴﾗｰNo:hex(10),dec(16) "
            "ポート：") +
             tester.device()},
        {"/nonexistent/tty", 1,
         sj("シリアルポートのオープンに失敗,No such file or directoryｴﾗｰNo:hex(2),dec(2) "
            "ポート：/nonexistent/tty")},
        {"", 16,
         sj("シリアルポートのオープンに失敗,No such file or directoryｴﾗｰNo:hex(2),dec(2) "
            "ポート：COM16 (/dev/ttyUSB7)")},
    };
    for (const Case& c : cases) {
        TransferSetup setup;
        setup.device = c.device;
        setup.line.port = c.port;
        TransferRun run(setup);
        run.start();
        const Finished f = collect(run);
        const std::vector<std::string> expected = {sj("シリアルポートオープン"), c.error,
                                                   sj("シリアルポートクローズ")};
        EXPECT_EQ(f.texts(), expected);
        EXPECT_EQ(f.last(), NotifyKind::Failed);
    }
}

TEST(TransferRun, DebugModeDecodesTheEmptyBuffer) {
    TransferSetup setup;
    setup.debugMode = true;
    setup.device = "/nonexistent/tty";
    TransferRun run(setup);
    run.start();
    const Finished f = collect(run);
    ASSERT_EQ(f.outcome, TransferOutcome::Completed) << f.errors();
    ASSERT_EQ(f.records.size(), 1u);
    EXPECT_EQ(f.records[0].contacts, std::vector<uint8_t>(501, 0));
    EXPECT_EQ(f.records[0].dataNo, 0);
    EXPECT_FALSE(f.records[0].dateValid());
}

TEST(TransferRun, OwnerGoingAwayStopsTheThread) {
    FakeTester tester;
    const auto start = Clock::now();
    {
        TransferRun run(lineSetup(tester));
        run.start();
        ASSERT_TRUE(tester.waitForOpen());
        std::this_thread::sleep_for(500ms);
    }
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(lineIsFree(tester.device()));
}

TEST(TransferRun, CommunicationLogSetting) {
    test::TempDir home;
    support::setProgramFolder(home.path().string());
    support::openAppLog();
    const TransferNotify progress{NotifyKind::Progress, sj("受信処理中..."), {}};
    const TransferNotify error{NotifyKind::Error, sj("通信異常 [-2]"), {}};
    logNotify(progress, false);
    logNotify(error, false);
    logNotify(progress, true);
    const std::string appLog = test::readFile(support::AppLog().periodFile(std::time(nullptr)));
    EXPECT_EQ(appLog.size(), 2 * 34 + error.text.size() + progress.text.size() + 2);
    EXPECT_EQ(appLog.find(progress.text), appLog.rfind(progress.text));
    EXPECT_LT(appLog.find(error.text), appLog.find(progress.text));

    // With the setting on, the line dumps every block it receives.
    FakeTester tester;
    const auto blocks = test::transferBlocks({test::makeRecord(1, 0, 1)});
    tester.send(test::streamBytes(blocks));
    TransferSetup setup = lineSetup(tester);
    setup.commLog = true;
    TransferRun run(setup);
    run.start();
    ASSERT_EQ(collect(run).outcome, TransferOutcome::Completed);
    const std::string traffic = test::readFile(run.line().periodFile(std::time(nullptr)));
    EXPECT_EQ(run.line().periodFile(std::time(nullptr)).rfind(home.file("COMM_"), 0), 0u);
    EXPECT_NE(traffic.find("port open " + tester.device()), std::string::npos);
    EXPECT_NE(traffic.find("SetTimeout[-1]"), std::string::npos);
    EXPECT_NE(traffic.find("**>00 57 \n"), std::string::npos);
    EXPECT_NE(traffic.find("**>00 00 00 00 \n"), std::string::npos);
}

TEST(TransferRun, FiguresRiseToTheBlockCountAFewTimesASecond) {
    auto records = longRecords();
    records.resize(2);
    const auto blocks = test::transferBlocks(records);
    FakeTester tester;
    TransferRun run(lineSetup(tester));
    run.start();
    ASSERT_TRUE(tester.waitForOpen());
    std::this_thread::sleep_for(400ms);
    const auto sending = Clock::now();
    tester.send(test::streamBytes(blocks), 38400);
    const Finished f = collect(run);
    const double seconds = std::chrono::duration<double>(Clock::now() - sending).count();
    ASSERT_EQ(f.outcome, TransferOutcome::Completed) << f.errors();

    const auto figures = f.figures();
    const int64_t length = 36 + 5001 + 4;
    ASSERT_GE(figures.size(), 4u);
    MeasurementProgress previous;
    bool rateSeen = false;
    for (const TransferFigures& t : figures) {
        const MeasurementProgress& m = t.measurement;
        EXPECT_EQ(m.announced, length);
        EXPECT_LE(m.received, m.announced);
        EXPECT_GE(m.number, previous.number);
        if (m.number == previous.number) {
            EXPECT_GE(m.received, previous.received);
        }
        previous = m;
        if (t.bytesPerSecond > 0) {
            rateSeen = true;
            EXPECT_GT(t.bytesPerSecond, 2000.0);
            EXPECT_LT(t.bytesPerSecond, 6000.0);
            EXPECT_GE(t.secondsLeft, 0);
            EXPECT_LE(t.secondsLeft, 3);
        }
    }
    EXPECT_TRUE(rateSeen);
    EXPECT_EQ(previous.number, 2);
    EXPECT_EQ(previous.received, length);
    EXPECT_EQ(previous.whole, 2);
    // At most one per interval, plus the last figures when the run ends.
    EXPECT_LE(figures.size(), seconds / 0.25 + 2);
    for (size_t i = 1; i + 1 < f.figureTimes.size(); ++i)
        EXPECT_GE(f.figureTimes[i] - f.figureTimes[i - 1], 150ms) << i;
}

TEST(TransferRun, WholeMeasurementsSurviveALineCut) {
    const auto records = longRecords();
    const auto blocks = test::transferBlocks(records);
    // The same measurements received without a failure.
    const std::vector<model::MeasurementRecord> expected = [&] {
        FakeTester tester;
        TransferRun run(lineSetup(tester));
        tester.send(test::streamBytes(blocks));
        run.start();
        return collect(run).records;
    }();
    ASSERT_EQ(expected.size(), 4u);

    struct Case {
        const char* name;
        size_t whole;
        size_t extra;
    };
    const Case cases[] = {
        {"in the samples of the third", 2, 500},
        {"right after the second end code", 2, 0},
        {"in the end code of the second", 1, 36 + 5001 + 2},
    };
    for (const Case& c : cases) {
        FakeTester tester;
        test::TempDir journal;
        TransferSetup setup = lineSetup(tester);
        setup.journalFolder = journal.path().string();
        TransferRun run(setup);
        run.start();
        ASSERT_TRUE(tester.waitForOpen());
        std::this_thread::sleep_for(300ms);
        // The tester goes away once the line has taken every byte it sent.
        tester.send(streamPrefix(blocks, c.whole, c.extra));
        tester.finish();
        std::this_thread::sleep_for(300ms);
        tester.hangUp();
        const Finished f = collect(run);
        EXPECT_EQ(f.errors(), sj("通信異常 [-1]")) << c.name;
        EXPECT_TRUE(f.records.empty()) << c.name;  // the designed result stays whole-or-nothing
        const TransferRun::Received got = run.takeReceived();
        EXPECT_TRUE(got.interrupted) << c.name;
        EXPECT_EQ(got.records, std::vector<model::MeasurementRecord>(expected.begin(),
                                                                     expected.begin() + c.whole))
            << c.name;

        // The journal keeps every byte, and reading it back offers the same whole ones.
        ASSERT_FALSE(run.journalPath().empty());
        const std::string text = test::readFile(run.journalPath());
        EXPECT_NE(text.find("; end: failed " + sj("通信異常 [-1]")), std::string::npos) << c.name;
        const TransferResult back = decodeFile(run.journalPath());
        EXPECT_EQ(back.outcome, TransferOutcome::Failed) << c.name;
        ASSERT_EQ(back.wholeCount, c.whole) << c.name;
        EXPECT_EQ(std::vector<model::MeasurementRecord>(back.records.begin(),
                                                        back.records.begin() + c.whole),
                  got.records)
            << c.name;
    }
}

TEST(TransferRun, StopInTheMiddleOfABlockOffersOnlyEarlierWholeOnesAndIsJournaledAsStopped) {
    const auto blocks = test::transferBlocks(longRecords());
    FakeTester tester;
    test::TempDir journal;
    TransferSetup setup = lineSetup(tester);
    setup.journalFolder = journal.path().string();
    TransferRun run(setup);
    run.start();
    ASSERT_TRUE(tester.waitForOpen());
    std::this_thread::sleep_for(300ms);
    tester.send(streamPrefix(blocks, 1, 36 + 2000));
    Finished f;
    while (true) {
        auto note = run.waitNext(5s);
        ASSERT_TRUE(note) << "the second measurement never got under way";
        f.notes.push_back(*note);
        if (note->kind == NotifyKind::Figures && note->figures.measurement.number == 2 &&
            note->figures.measurement.received > 32 + 1000)
            break;
    }
    run.requestStop();
    const Finished rest = collect(run);
    EXPECT_EQ(rest.outcome, TransferOutcome::Stopped);
    EXPECT_EQ(rest.errors(), "");
    EXPECT_TRUE(rest.records.empty());
    const TransferRun::Received got = run.takeReceived();
    EXPECT_TRUE(got.interrupted);
    ASSERT_EQ(got.records.size(), 1u);
    EXPECT_EQ(got.records[0].dataNo, 11);
    EXPECT_EQ(got.records[0].contacts, longRecords()[0].contacts);

    const std::string text = test::readFile(run.journalPath());
    EXPECT_EQ(text.substr(text.size() - 16), "; end: stopped\r\n");
    EXPECT_EQ(text.find("; end: failed"), std::string::npos);
    EXPECT_EQ(decodeFile(run.journalPath()).wholeCount, 1u);
}

TEST(TransferRun, JournalOfACompleteTransferAndOfNothing) {
    const auto records = threeRecords();
    const auto blocks = test::transferBlocks(records);
    test::TempDir journal;
    FakeTester tester;
    TransferSetup setup = lineSetup(tester);
    setup.journalFolder = (journal.path() / "JOURNAL").string();
    TransferRun run(setup);
    tester.send(test::streamBytes(blocks), 115200);
    run.start();
    const std::string path = run.journalPath();
    ASSERT_EQ(std::filesystem::path(path).parent_path(), journal.path() / "JOURNAL");
    EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("RECV_", 0), 0u);
    const Finished f = collect(run);
    ASSERT_EQ(f.outcome, TransferOutcome::Completed) << f.errors();
    const std::string text = test::readFile(path);
    EXPECT_EQ(text.rfind("; ", 0), 0u);
    EXPECT_NE(text.find("device " + tester.device() + " baud=38400"), std::string::npos);
    EXPECT_NE(text.find(test::capturedText(blocks)), std::string::npos);
    EXPECT_NE(text.find("; end: completed\r\n"), std::string::npos);
    const TransferResult back = decodeFile(path);
    ASSERT_EQ(back.outcome, TransferOutcome::Completed);
    EXPECT_EQ(back.records, f.records);

    // A transfer stopped before any byte arrived leaves no file behind.
    FakeTester silent;
    setup.device = silent.device();
    TransferRun nothing(setup);
    nothing.start();
    ASSERT_TRUE(silent.waitForOpen());
    const std::string unused = nothing.journalPath();
    EXPECT_TRUE(std::filesystem::exists(unused));
    nothing.requestStop();
    collect(nothing);
    EXPECT_FALSE(std::filesystem::exists(unused));
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(TransferRun, AJournalThatCannotBeCreatedNeverStopsTheTransfer) {
    test::TempDir dir;
    test::writeFile(dir.file("JOURNAL"), "a file where the folder should be");
    FakeTester tester;
    TransferSetup setup = lineSetup(tester);
    setup.journalFolder = dir.file("JOURNAL");
    TransferRun run(setup);
    tester.send(test::streamBytes(test::transferBlocks(threeRecords())), 115200);
    run.start();
    EXPECT_TRUE(run.journalPath().empty());
    const Finished f = collect(run);
    EXPECT_EQ(f.outcome, TransferOutcome::Completed);
    EXPECT_EQ(f.records.size(), 3u);
    EXPECT_EQ(f.errors().rfind(sj("受信記録ファイルを作成できません:"), 0), 0u)
        << support::toUtf8(f.errors());
}

}  // namespace
}  // namespace plm::link
