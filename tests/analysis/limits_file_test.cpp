#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "analysis/limits_file.h"
#include "common/temp_dir.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::analysis {
namespace {

using support::sj;

TEST(LimitsFile, HandWrittenFileReadsAndWritesBackItsValues) {
    const std::string text =
        sj("; 東京の基準\n"
           "[Limits]\n"
           "Customer = 東京電力\n"
           "Circuit=第1変電所\n"
           "close_min_ms = 40\n"
           "close_max_ms=50.5\n"
           "pole_group=1, 2, 3\n"
           "\n"
           "[Limits]\r\n"
           "Customer=東京電力\r\n"
           "Circuit=第1変電所\r\n"
           "Name=\" 年次点検\"\r\n"
           "close_max_ms=48\r\n"
           "bounce_max_ms=2\r\n"
           "Reference=2025/06/01 10:00:00,3\r\n");
    const LimitsBook book = LimitsBook::parse(text, "LIMITS.INI");
    ASSERT_EQ(book.entries().size(), 2u);
    const Limits eff = book.effective(sj("東京電力"), sj("第1変電所"), sj(" 年次点検"));
    EXPECT_EQ(eff.closeMinUs, 40000);
    EXPECT_EQ(eff.closeMaxUs, 48000);
    EXPECT_EQ(eff.bounceMaxUs, 2000);
    EXPECT_EQ(eff.poleGroup, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(book.effective(sj("東京電力"), sj("第1変電所"), sj("別名")).closeMaxUs, 50500);
    EXPECT_FALSE(book.effective(sj("大阪"), sj("第1変電所"), "").judgesAnything());
    const ReferenceMark mark{"2025/06/01 10:00:00", 3};
    EXPECT_EQ(book.find(sj("東京電力"), sj("第1変電所"), sj(" 年次点検"))->reference, mark);

    // Written out and read again, nothing changes; the bytes are stable.
    const LimitsBook again = LimitsBook::parse(book.bytes(), "LIMITS.INI");
    EXPECT_EQ(again.entries(), book.entries());
    EXPECT_EQ(again.bytes(), book.bytes());
}

struct HostileCase {
    const char* name;
    std::string bytes;
    std::string detail;  // the end of the message
};

class HostileLimitsFile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileLimitsFile, IsRefusedWithTheLine) {
    const HostileCase& c = GetParam();
    try {
        LimitsBook::parse(c.bytes, "LIMITS.INI");
        ADD_FAILURE() << "accepted";
    } catch (const CxException& e) {
        EXPECT_EQ(e.text().rfind(sj("判定基準ファイルが正しくありません\nLIMITS.INI\n"), 0), 0u)
            << support::toUtf8(e.text());
        const std::string tail = sj(c.detail);
        ASSERT_GE(e.text().size(), tail.size());
        EXPECT_EQ(e.text().substr(e.text().size() - tail.size()), tail)
            << support::toUtf8(e.text());
    }
}

const std::string kHead = "[Limits]\nCustomer=A\nCircuit=B\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileLimitsFile,
    ::testing::Values(
        HostileCase{"KeyBeforeSection", "close_max_ms=1\n",
                    "1 行目: [Limits] の項目として読めません"},
        HostileCase{"UnknownKey", kHead + "close_maximum=1\n",
                    "4 行目: 判定基準の項目 \"close_maximum\" はありません"},
        HostileCase{"NotANumber", kHead + "close_max_ms=fast\n",
                    "4 行目: close_max_ms の値 \"fast\" が正しくありません"},
        HostileCase{"Overflow", kHead + "close_max_ms=99999999999999999999\n",
                    "4 行目: close_max_ms の値 \"99999999999999999999\" が正しくありません"},
        HostileCase{"BadGroup", kHead + "pole_group=1,2,2\n",
                    "4 行目: pole_group の値 \"1,2,2\" が正しくありません"},
        HostileCase{"NoCircuit", "[Limits]\nCustomer=A\n[Limits]\nCustomer=A\nCircuit=B\n",
                    "3 行目: Customer と Circuit のない [Limits] があります"},
        HostileCase{"Duplicate", kHead + kHead, "6 行目: 同じ対象の [Limits] が2つあります"},
        HostileCase{"CrossedLimits", kHead + "close_min_ms=50\nclose_max_ms=40\n",
                    "5 行目: close_min_ms が close_max_ms より大きくなっています"},
        HostileCase{"BadReference", kHead + "Name=C\nReference=yesterday,1\n",
                    "5 行目: Reference の値が正しくありません"},
        HostileCase{"ReferenceOfACircuit", kHead + "Reference=2025/06/01 10:00:00,1\n",
                    "4 行目: Reference は Name のある [Limits] にだけ書けます"},
        HostileCase{"Binary", std::string("[Limits]\n\x01\x02\xff\0garbage", 18),
                    "2 行目: 制御文字が含まれています"},
        HostileCase{"CarriageReturnInAName", kHead + "Name=B\r\x81\r\n",
                    "4 行目: 制御文字が含まれています"},
        HostileCase{"Garbage", "[Limits]\n\xff\xfe garbage\n",
                    "2 行目: [Limits] の項目として読めません"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LimitsFile, DamagedFileIsNeverReplaced) {
    test::TempDir dir;
    const std::string path = dir.file("LIMITS.INI");
    const std::string damaged = kHead + "close_max_ms=fast\n";
    test::writeFile(path, damaged);
    EXPECT_THROW(loadLimits(path), CxException);
    bool changed = false;
    EXPECT_THROW(updateLimits(path, [&](LimitsBook&) { changed = true; }), CxException);
    EXPECT_FALSE(changed);
    EXPECT_EQ(test::readFile(path), damaged);

    const std::string big(2 << 20, ';');
    test::writeFile(path, big);
    EXPECT_THROW(loadLimits(path), CxException);
    test::writeFile(path, "\xEF\xBB\xBF" + kHead);
    EXPECT_THROW(loadLimits(path), CxException);
    EXPECT_EQ(test::readFile(path), "\xEF\xBB\xBF" + kHead);

    const std::string fifo = dir.file("FIFO.INI");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(loadLimits(fifo), CxException);
    EXPECT_THROW(updateLimits(fifo, [](LimitsBook&) {}), CxException);
    EXPECT_THROW(loadLimits(dir.path().string()), CxException);
}

TEST(LimitsFile, UpdateKeepsOtherEntriesAndAMissingFileIsEmpty) {
    test::TempDir dir;
    const std::string path = dir.file("LIMITS.INI");
    EXPECT_TRUE(loadLimits(path).entries().empty());
    updateLimits(path, [](LimitsBook& book) {
        setLimit(book.entry("A", "B", "").limits, "close_max_ms", "50");
    });
    updateLimits(path, [](LimitsBook& book) {
        setLimit(book.entry("a", "b", "N").limits, "close_max_ms", "45");
    });
    const LimitsBook book = loadLimits(path);
    ASSERT_EQ(book.entries().size(), 2u);
    // Names compare as the customer tree compares them.
    EXPECT_EQ(book.effective("A", "B", "n").closeMaxUs, 45000);
    EXPECT_EQ(book.effective("A", "B", "other").closeMaxUs, 50000);
    EXPECT_THROW(LimitsBook().entry("A\nB", "B", ""), CxException);
    // A name that ends in half a double-byte character reads back as it was written.
    LimitsBook broken;
    setLimit(broken.entry("A", "B\x81", "").limits, "close_max_ms", "1");
    EXPECT_EQ(LimitsBook::parse(broken.bytes(), "x").entries(), broken.entries());
}

}  // namespace
}  // namespace plm::analysis
