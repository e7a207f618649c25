#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "common/temp_dir.h"
#include "link/captured_file_source.h"
#include "link/transfer_decoder.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

struct RecordingSink : ProgressSink {
    std::vector<std::string> texts;
    void progress(const std::string& text) override { texts.push_back(support::toUtf8(text)); }
};

// The failure text of opening `storedPath`, or "" when it opened.
std::string openFailure(CapturedFileSource& source, const std::string& storedPath,
                        RecordingSink& sink, const std::atomic<bool>* stop = nullptr) {
    try {
        source.open(storedPath, sink, stop);
    } catch (const CxException& e) {
        return support::toUtf8(e.text());
    }
    return {};
}

TEST(CapturedFile, DecodesAFixtureAndReportsTheFullPath) {
    std::string path =
        std::filesystem::absolute(test::dataPath("capture_two.txt")).lexically_normal();
    CapturedFileSource source;
    RecordingSink sink;
    ASSERT_EQ(openFailure(source, path, sink), "");
    EXPECT_EQ(sink.texts, std::vector<std::string>{"ファイルオープン:" + path});
    std::atomic<bool> stop{false};
    TransferResult result = TransferDecoder(source, sink, stop).run();
    ASSERT_EQ(result.outcome, TransferOutcome::Completed) << support::toUtf8(result.message);
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_EQ(result.records[0].dataNo, 7);
    EXPECT_EQ(result.records[1].vcValue, 100);
    EXPECT_EQ(result.records[1].vcEndValue, 10);
}

// A file saved by a Windows editor starts with a UTF-8 byte-order mark.
TEST(CapturedFile, ByteOrderMarkIsSkipped) {
    test::TempDir dir;
    const std::string path = dir.file("bom.txt");
    test::writeFile(path, "\xEF\xBB\xBF" + test::readFile(test::dataPath("capture_two.txt")));
    CapturedFileSource source;
    RecordingSink sink;
    ASSERT_EQ(openFailure(source, path, sink), "");
    std::atomic<bool> stop{false};
    TransferResult result = TransferDecoder(source, sink, stop).run();
    EXPECT_EQ(result.outcome, TransferOutcome::Completed) << support::toUtf8(result.message);
    EXPECT_EQ(result.records.size(), 2u);
}

TEST(CapturedFile, RelativePathsAreMadeAbsolute) {
    test::TempDir dir;
    test::writeFile(dir.file("cap.txt"), test::readFile(test::dataPath("capture_two.txt")));
    std::string savedHome = support::programFolder();
    std::filesystem::path savedCwd = std::filesystem::current_path();

    // A leading "." is the program folder; separators may be backslashes.
    support::setProgramFolder(dir.path().string());
    CapturedFileSource fromHome;
    RecordingSink sink;
    EXPECT_EQ(openFailure(fromHome, ".\\cap.txt", sink), "");
    EXPECT_EQ(fromHome.fullPath(), dir.file("cap.txt"));

    // Anything else relative is taken from the working folder.
    std::filesystem::current_path(dir.path());
    CapturedFileSource fromCwd;
    EXPECT_EQ(openFailure(fromCwd, "sub/../cap.txt", sink), "");
    EXPECT_EQ(fromCwd.fullPath(), dir.file("cap.txt"));

    std::filesystem::current_path(savedCwd);
    support::setProgramFolder(savedHome);
}

TEST(CapturedFile, OpenFailures) {
    test::TempDir dir;
    CapturedFileSource source;
    RecordingSink sink;
    std::string missing = dir.file("none.txt");
    EXPECT_EQ(openFailure(source, missing, sink), "ファイルが存在しません:" + missing);
    EXPECT_EQ(sink.texts.back(), "ファイルオープン:" + missing);

    std::string folder = dir.path().string();
    EXPECT_EQ(openFailure(source, folder, sink), "ファイルがオープン出来ません:" + folder);

    // Neither a FIFO (whose open would block) nor an endless device is read.
    const std::string fifo = dir.file("fifo.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(openFailure(source, fifo, sink), "ファイルがオープン出来ません:" + fifo);
    EXPECT_EQ(openFailure(source, "/dev/zero", sink), "ファイルがオープン出来ません:/dev/zero");

    // A regular file longer than any transfer is refused before it is read.
    const std::string huge = dir.file("huge.txt");
    test::writeFile(huge, "0057\n");
    std::filesystem::resize_file(huge, kMaxCapturedFileBytes + 1);
    EXPECT_EQ(openFailure(source, huge, sink), "ファイルが大きすぎます:" + huge);

    if (geteuid() != 0) {
        std::string locked = dir.file("locked.txt");
        test::writeFile(locked, "0057\n");
        std::filesystem::permissions(locked, std::filesystem::perms::none);
        EXPECT_EQ(openFailure(source, locked, sink), "ファイルがオープン出来ません:" + locked);
    }
}

TEST(CapturedFile, StopEndsTheWaitForABusyFile) {
    test::TempDir dir;
    std::string path = dir.file("busy.txt");
    test::writeFile(path, "0057\n");
    support::UniqueFd holder(::open(path.c_str(), O_RDONLY));
    ASSERT_TRUE(holder);
    ASSERT_EQ(flock(holder.get(), LOCK_EX), 0);

    std::atomic<bool> stop{true};
    CapturedFileSource source;
    RecordingSink sink;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(openFailure(source, path, sink, &stop), "ファイルがオープン出来ません:" + path);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace plm::link
