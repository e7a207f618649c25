#include "link/transfer_journal.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <filesystem>
#include <set>

#include "common/temp_dir.h"

namespace plm::link {
namespace {

namespace fs = std::filesystem;

// A file of `size` bytes last written `days` days before `now`.
void oldFile(const test::TempDir& dir, const std::string& name, size_t size, int days,
             std::time_t now) {
    test::writeFile(dir.file(name), std::string(size, 'x'));
    const std::time_t when = now - days * 86400 - 60;
    const timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimes(dir.file(name).c_str(), times), 0);
}

std::set<std::string> names(const test::TempDir& dir) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        out.insert(entry.path().filename().string());
    return out;
}

TEST(TransferJournal, PruningRemovesTheOldestPastEitherLimit) {
    struct Case {
        const char* name;
        JournalLimits limits;
        std::set<std::string> journals;
    };
    const Case cases[] = {
        {"no limits", {0, 0}, {"RECV_1.txt", "RECV_2.txt", "RECV_3.txt", "RECV_4.txt"}},
        {"age", {0, 90}, {"RECV_2.txt", "RECV_3.txt", "RECV_4.txt"}},
        {"size", {650, 0}, {"RECV_3.txt", "RECV_4.txt"}},
        {"size within", {910, 0}, {"RECV_1.txt", "RECV_2.txt", "RECV_3.txt", "RECV_4.txt"}},
        {"both", {10000, 30}, {"RECV_3.txt", "RECV_4.txt"}},
    };
    const std::time_t now = std::time(nullptr);
    for (const Case& c : cases) {
        test::TempDir dir;
        oldFile(dir, "RECV_1.txt", 10, 100, now);
        oldFile(dir, "RECV_2.txt", 300, 50, now);
        oldFile(dir, "RECV_3.txt", 300, 10, now);
        oldFile(dir, "RECV_4.txt", 300, 1, now);
        // Files that are not the journal's stay whatever their age.
        oldFile(dir, "notes.txt", 5000, 400, now);
        oldFile(dir, "RECV_5.log", 5000, 400, now);
        fs::create_directory(dir.file("RECV_6.txt"));
        pruneJournal(dir.path().string(), c.limits, now);
        std::set<std::string> expected = c.journals;
        expected.insert({"notes.txt", "RECV_5.log", "RECV_6.txt"});
        EXPECT_EQ(names(dir), expected) << c.name;
    }
}

TEST(TransferJournal, TransfersWithinOneSecondGetFilesOfTheirOwn) {
    test::TempDir dir;
    const std::string folder = (dir.path() / "JOURNAL").string();
    TransferJournal first(folder, {}, "; first\r\n");
    TransferJournal second(folder, {}, "; second\r\n");
    ASSERT_NE(first.path(), second.path());
    first.writeBlock(std::vector<uint8_t>{0x00, 0x57});
    second.writeBlock(std::vector<uint8_t>{0xAB});
    first.close("end: completed");
    second.close({});
    EXPECT_EQ(test::readFile(first.path()), "; first\r\n0057\r\n; end: completed\r\n");
    EXPECT_EQ(test::readFile(second.path()), "; second\r\nAB\r\n");
    EXPECT_EQ(fs::path(first.path()).filename().string(), journalFileName(std::time(nullptr)))
        << "unless the second changed meanwhile";
}

}  // namespace
}  // namespace plm::link
