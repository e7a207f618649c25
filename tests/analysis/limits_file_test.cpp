#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

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
                    "1 行目: Customer と Circuit のない [Limits] があります"},
        HostileCase{"Duplicate", kHead + kHead, "4 行目: 同じ対象の [Limits] が2つあります"},
        HostileCase{"DuplicateAsTheTreeComparesNames", kHead + "[Limits]\nCircuit=b\nCustomer=a\n",
                    "4 行目: 同じ対象の [Limits] が2つあります"},
        HostileCase{"RepeatedKey", kHead + "close_max_ms=1\nclose_max_ms=2\n",
                    "5 行目: 項目 \"close_max_ms\" が同じ [Limits] に2つあります"},
        HostileCase{"RepeatedName", kHead + "Name=C\nNameHex=43\n",
                    "5 行目: 項目 \"Name\" が同じ [Limits] に2つあります"},
        HostileCase{"BadHex", "[Limits]\nCustomerHex=4G\nCircuit=B\n",
                    "2 行目: CustomerHex の値 \"4G\" が正しくありません"},
        HostileCase{"CrossedLimits", kHead + "close_min_ms=50\nclose_max_ms=40\n",
                    "5 行目: close_min_ms が close_max_ms より大きくなっています"},
        HostileCase{"BadInterval", kHead + "interval_months=-1\n",
                    "4 行目: interval_months の値 \"-1\" が正しくありません"},
        HostileCase{"BadReference", kHead + "Name=C\nReference=yesterday,1\n",
                    "5 行目: Reference の値が正しくありません"},
        HostileCase{"ReferenceOfACircuit", kHead + "Reference=2025/06/01 10:00:00,1\n",
                    "4 行目: Reference は Name のある [Limits] にだけ書けます"},
        HostileCase{"Binary", std::string("[Limits]\n\x01\x02\xff\0garbage", 18),
                    "2 行目: 制御文字が含まれています"},
        HostileCase{"CarriageReturnInAName", kHead + "Name=B\r\x81\r\n",
                    "4 行目: 制御文字が含まれています"},
        HostileCase{"Garbage", "[Limits]\n\xff\xfe garbage\n",
                    "2 行目: [Limits] の項目として読めません"},
        HostileCase{"ModelWithACircuit", "[Limits]\nMaker=M\nModel=X\nCircuit=B\n",
                    "1 行目: Maker と Model の [Limits] には Customer、Circuit、Name は書けません"},
        HostileCase{"ModelWithoutMaker", "[Limits]\nModel=X\n",
                    "1 行目: Maker と Model の片方しかない [Limits] があります"},
        HostileCase{"EmptyModel", "[Limits]\nMaker=M\nModel=\n",
                    "3 行目: Model が空の [Limits] があります"},
        HostileCase{"DuplicateModel", "[Limits]\nMaker=M\nModel=X\n[Limits]\nModel=x\nMaker=m\n",
                    "4 行目: 同じ対象の [Limits] が2つあります"},
        HostileCase{"ReferenceOfAModel",
                    "[Limits]\nMaker=M\nModel=X\nReference=2025/06/01 10:00:00,1\n",
                    "4 行目: Reference は Name のある [Limits] にだけ書けます"}),
    [](const auto& info) { return std::string(info.param.name); });

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const CxException& e) {
        return support::toUtf8(e.text());
    }
    return "accepted";
}

TEST(LimitsFile, NotALimitsFileIsNeverReplaced) {
    test::TempDir dir;
    const std::string path = dir.file("LIMITS.INI");
    const std::string big(2 << 20, ';');
    test::writeFile(path, big);
    EXPECT_THROW(loadLimits(path, DamagedSections::StopTheirTarget), CxException);
    bool changed = false;
    EXPECT_THROW(updateLimits(path, [&](LimitsBook&) { changed = true; }), CxException);
    EXPECT_FALSE(changed);
    test::writeFile(path, "\xEF\xBB\xBF" + kHead);
    EXPECT_THROW(loadLimits(path), CxException);
    EXPECT_THROW(updateLimits(path, [](LimitsBook&) {}), CxException);
    EXPECT_EQ(test::readFile(path), "\xEF\xBB\xBF" + kHead);

    const std::string fifo = dir.file("FIFO.INI");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(loadLimits(fifo), CxException);
    EXPECT_THROW(updateLimits(fifo, [](LimitsBook&) {}), CxException);
    EXPECT_THROW(loadLimits(dir.path().string()), CxException);
}

// Whatever can be put into a book is written so that it reads back as it
// was: names are taken as they are in the data file.
TEST(LimitsFile, EveryNameAndValueReadsBackAsWritten) {
    std::vector<std::string> names = {
        "",
        "A",
        " ",
        "  lead",
        "trail\t",
        "a=b",
        "=",
        ";comment",
        "#hash",
        "[Limits]",
        "[x]",
        "\"",
        "\"\"",
        "\"quoted\"",
        "end\"",
        "Name",
        "CR\rin",
        "LF\nin",
        "CRLF\r\n",
        std::string("N\0UL", 4),
        "\x1b[31mred",
        "\x7f",
        sj("東京電力"),
        sj("ソ表"),      // trail bytes 0x5C
        sj("　全角　"),  // ideographic spaces at both ends
        "\x83[",         // trail byte 0x5B
        "B\x81",         // half a double-byte character at the end
        "B\x81 ",
        "\x81\"",
        "\xff\xfe",
    };
    // And names of any bytes at all.
    std::mt19937 random(25);
    for (int i = 0; i < 300; ++i) {
        std::string name(random() % 7, '\0');
        for (char& c : name)
            c = static_cast<char>(random() % 256);
        names.push_back(name);
    }
    LimitsBook book;
    int value = 1;
    for (const std::string& name : names) {
        setLimit(book.entry(LimitsTarget::ofCircuit(name, "B")).limits, "close_max_ms",
                 std::to_string(value++) + ".125");
        setLimit(book.entry(LimitsTarget::ofCircuit("A", name)).limits, "pole_group", "3,1");
        LimitsEntry& named = book.entry(LimitsTarget::ofName(name, name, name));
        setLimit(named.limits, "bounce_max_ms", "0.001");
        setLimit(named.limits, "open_max_ms", "1000000000");
        named.reference = ReferenceMark{"2025/02/28 23:59:59", value};
    }
    const std::string bytes = book.bytes();
    const LimitsBook back = LimitsBook::parse(bytes, "LIMITS.INI");
    EXPECT_EQ(back.entries(), book.entries());
    EXPECT_EQ(back.bytes(), bytes);
    // Names with control characters are kept in hexadecimal, on lines of their own.
    EXPECT_NE(bytes.find("\r\nCustomerHex=43520D696E\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nCustomer=\"\"\r\nCircuit=B\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nName=\"\"\r\n"), std::string::npos);
}

TEST(LimitsFile, TheEmptyNameIsATargetOfItsOwn) {
    // As written before the empty name was quoted: a bare Customer= or
    // Circuit= is the empty name; a bare Name= is still the circuit itself.
    const LimitsBook old = LimitsBook::parse(
        "[Limits]\r\nCustomer=\r\nCircuit=B\r\nclose_max_ms=1\r\n"
        "[Limits]\r\nCustomer=A\r\nCircuit=B\r\nName=\r\nclose_max_ms=2\r\n"
        "[Limits]\r\nCustomer=A\r\nCircuit=B\r\nName=\"\"\r\nclose_min_ms=1\r\n"
        "Reference=2025/06/01 10:00:00,3\r\n",
        "LIMITS.INI");
    EXPECT_EQ(old.effective("", "B", "N").closeMaxUs, 1000);
    const Limits empty = old.effective("A", "B", "");
    EXPECT_EQ(empty.closeMaxUs, 2000);
    EXPECT_EQ(empty.closeMinUs, 1000);
    EXPECT_FALSE(old.effective("A", "B", "N").closeMinUs);
    EXPECT_EQ(old.find(LimitsTarget::ofName("A", "B", ""))->reference,
              (ReferenceMark{"2025/06/01 10:00:00", 3}));
    EXPECT_FALSE(old.find(LimitsTarget::ofCircuit("A", "B"))->reference);
    EXPECT_EQ(LimitsBook::parse(old.bytes(), "x").entries(), old.entries());
}

// A file with damaged sections: each stops the lookups that may need it.
TEST(LimitsFile, ADamagedSectionStopsOnlyItsTarget) {
    const std::string text =
        "; kept\n"
        "[Limits]\nCustomer=A\nCircuit=B\nclose_max_ms=50\n"                 // 2: fine
        "[Limits]\nCustomer=A\nCircuit=B\nName=N\nclose_max_ms=fast\n"       // 10: A/B/N
        "[Limits]\nCustomer=X\nCircuit=Y\nclose_max_ms=1\nclose_max_ms=2\n"  // 11: X/Y
        "[Limits]\nCustomer=P\nclose_max_ms=1\n"                             // 16: P/*
        "[Limits]\nCustomer=A\nCircuit=C\nName=M\nclose_max_ms=5\n"          // 19: fine
        "[Limits]\nCustomer=A\nCircuit=C\nName=m\n";                         // 24: duplicate
    const LimitsBook book = LimitsBook::read(text, "LIMITS.INI");
    ASSERT_EQ(book.entries().size(), 2u);
    ASSERT_EQ(book.damaged().size(), 4u);
    EXPECT_EQ(book.effective("A", "B", "other").closeMaxUs, 50000);
    EXPECT_EQ(messageOf([&] { book.effective("a", "b", "n"); }),
              "判定基準ファイルが正しくありません\nLIMITS.INI\n10 行目: close_max_ms の値 \"fast\" "
              "が正しくありません");
    EXPECT_NE(messageOf([&] { book.effective("X", "Y", "Z"); }).find("15 行目: 項目"),
              std::string::npos);
    EXPECT_EQ(book.effective("X", "Q", "Z").closeMaxUs, std::nullopt);
    EXPECT_NE(messageOf([&] { book.effective("P", "any", "Z"); }).find("16 行目: Customer と"),
              std::string::npos);
    EXPECT_NE(messageOf([&] { book.effective("A", "C", "M"); }).find("24 行目: 同じ対象"),
              std::string::npos);
    EXPECT_EQ(book.effective("A", "C", "L").closeMaxUs, std::nullopt);
    EXPECT_NE(messageOf([&] { book.ofCustomer("P"); }), "accepted");
    EXPECT_EQ(book.ofCustomer("X2").entries().size(), 0u);
    EXPECT_THROW(LimitsBook::parse(text, "LIMITS.INI"), CxException);

    // A line ahead of every section may be anyone's.
    const LimitsBook stray =
        LimitsBook::read("close_max_ms=1\nCustomer=Q\nCircuit=R\n" + kHead, "LIMITS.INI");
    for (const char* customer : {"Q", "A", "Z"})
        EXPECT_NE(messageOf([&] { stray.effective(customer, "R", "S"); }).find("1 行目"),
                  std::string::npos);

    // Rewritten, the damaged sections come back byte for byte, in their place.
    LimitsBook changed = book;
    setLimit(changed.entry(LimitsTarget::ofName("A", "B", "O")).limits, "close_max_ms", "7");
    EXPECT_THROW(changed.entry(LimitsTarget::ofName("A", "B", "N")), CxException);
    const std::string rewritten = changed.bytes();
    for (const char* section :
         {"[Limits]\nCustomer=A\nCircuit=B\nName=N\nclose_max_ms=fast\n",
          "[Limits]\nCustomer=P\nclose_max_ms=1\n", "[Limits]\nCustomer=A\nCircuit=C\nName=m\n"})
        EXPECT_NE(rewritten.find(section), std::string::npos) << section;
    const LimitsBook again = LimitsBook::read(rewritten, "LIMITS.INI");
    EXPECT_EQ(again.entries(), changed.entries());
    EXPECT_EQ(again.damaged().size(), 4u);
    EXPECT_EQ(again.bytes(), rewritten);
}

TEST(LimitsFile, UpdateKeepsOtherEntriesAndRefusesWhatWouldNotReadBack) {
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

    const std::string before = test::readFile(path);
    support::DateTimeValue invalid;
    EXPECT_EQ(messageOf([&] { referenceMarkOf(invalid, 1); }),
              "試験日時が正しくない測定データは基準にできません");
    struct Refusal {
        const char* name;
        std::function<void(LimitsBook&)> change;
        std::string message;
    };
    const std::vector<Refusal> refusals = {
        {"reference without a date",
         [&](LimitsBook& b) { b.entry("A", "B", "N").reference = markOf(invalid, 1); },
         "a / b / N\n試験日時が正しくない測定データは基準にできません"},
        {"reference of a circuit",
         [](LimitsBook& b) {
             b.entry("A", "B", "").reference = ReferenceMark{"2025/06/01 10:00:00", 1};
         },
         "A / B\n基準の測定データは測定データ名称にだけ設定できます"},
        {"crossed limits", [](LimitsBook& b) { b.entry("A", "B", "").limits.closeMinUs = 60000; },
         "A / B\nclose_min_ms が close_max_ms より大きくなっています"},
        {"negative time", [](LimitsBook& b) { b.entry("A", "B", "M").limits.openMaxUs = -1; },
         "A / B / M\n判定基準ファイルに書くと読み戻せない値があります"},
        {"more than the reader takes",
         [](LimitsBook& b) {
             for (int i = 0; i < 20000; ++i)
                 b.entry(LimitsTarget::ofName("A", "B", std::to_string(i))).limits.closeMaxUs = 1;
         },
         "判定基準ファイルが大きくなりすぎるため書き込めません"},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(messageOf([&] { updateLimits(path, r.change); }), r.message) << r.name;
        EXPECT_EQ(test::readFile(path), before) << r.name;
    }
}

// Each key set alone at one level, with a different value at every weaker
// level: the strongest level that sets it wins and is the one named.
struct PrecedenceCase {
    const char* key;
    LimitsLevel level;
};

class LimitsPrecedence : public ::testing::TestWithParam<PrecedenceCase> {};

TEST_P(LimitsPrecedence, TheStrongestLevelThatSetsAKeyHoldsIt) {
    const auto [key, level] = GetParam();
    // Pole groups and times as each level would write them.
    const auto valueAt = [&](LimitsLevel at) -> std::string {
        if (std::string(key) == "pole_group")
            return at == LimitsLevel::Model ? "1,2" : at == LimitsLevel::Circuit ? "2,3" : "4,5,6";
        return at == LimitsLevel::Model ? "30.0" : at == LimitsLevel::Circuit ? "31.0" : "32.0";
    };
    LimitsBook book;
    const std::pair<LimitsLevel, LimitsTarget> levels[] = {
        {LimitsLevel::Model, LimitsTarget::ofModel(sj("東芝"), "VK-10")},
        {LimitsLevel::Circuit, LimitsTarget::ofCircuit("A", "B")},
        {LimitsLevel::Name, LimitsTarget::ofName("A", "B", "N")},
    };
    for (const auto& [at, target] : levels) {
        if (at <= level)
            setLimit(book.entry(target).limits, key, valueAt(at));
    }
    // Written and read back first, so the model's section reads as one.
    book = LimitsBook::parse(book.bytes(), "LIMITS.INI");
    model::TestConditions conditions;
    conditions.mcMaker = sj("東芝");
    conditions.mcType = "vk-10";  // as names compare
    const LevelledLimits held =
        book.levelled(LimitsTarget::ofName("a", "b", "n"), breakerModelOf(conditions));
    EXPECT_EQ(limitText(held.limits, key), valueAt(level));
    EXPECT_EQ(held.levelOf(key), level);
    for (const std::string& other : limitKeys()) {
        if (other != key) {
            EXPECT_EQ(held.levelOf(other), LimitsLevel::None) << other;
        }
    }
    EXPECT_EQ(book.effective("A", "B", "N", conditions), held.limits);

    // Another maker's breaker of that model is not judged by it.
    conditions.mcMaker = sj("日立");
    EXPECT_EQ(
        book.levelled(LimitsTarget::ofName("A", "B", "N"), breakerModelOf(conditions)).levelOf(key),
        level == LimitsLevel::Model ? LimitsLevel::None : level);
}

std::vector<PrecedenceCase> precedenceCases() {
    std::vector<PrecedenceCase> cases;
    static std::vector<std::string> keys = limitKeys();
    for (const std::string& key : keys) {
        for (const LimitsLevel level :
             {LimitsLevel::Model, LimitsLevel::Circuit, LimitsLevel::Name})
            cases.push_back({key.c_str(), level});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryKeyAtEveryLevel, LimitsPrecedence,
                         ::testing::ValuesIn(precedenceCases()), [](const auto& info) {
                             return std::string(info.param.key) + "_" + levelKey(info.param.level);
                         });

TEST(LimitsFile, ModelEntriesReadWriteAndStayApartFromCustomers) {
    const std::string text =
        sj("[Limits]\nMaker=東芝\nModel=VK-10\nopen_max_ms=35\n"
           "[Limits]\nMaker=\nModelHex=41094210\nclose_max_ms=60\n"  // no maker, a tab in the model
           "[Limits]\nCustomer=A\nCircuit=B\nclose_max_ms=50\n");
    const LimitsBook book = LimitsBook::parse(text, "LIMITS.INI");
    ASSERT_EQ(book.entries().size(), 3u);
    EXPECT_EQ(book.find(LimitsTarget::ofModel(sj("東芝"), "vk-10"))->limits.openMaxUs, 35000);
    EXPECT_EQ(book.find(LimitsTarget::ofModel("", "A\tB\x10"))->limits.closeMaxUs, 60000);
    const LimitsBook again = LimitsBook::parse(book.bytes(), "LIMITS.INI");
    EXPECT_EQ(again.entries(), book.entries());
    EXPECT_NE(book.bytes().find("ModelHex=41094210"), std::string::npos);

    EXPECT_EQ(book.ofCustomer("A").entries().size(), 1u);
    EXPECT_EQ(book.ofModels().entries().size(), 2u);
    // A measurement without a model has no model level.
    EXPECT_EQ(breakerModelOf(model::TestConditions()), std::nullopt);
    EXPECT_EQ(targetText(LimitsTarget::ofModel(sj("東芝"), "VK-10")), sj("型式 東芝 / VK-10"));
}

TEST(LimitsFile, ADamagedModelSectionStopsOnlyItsModel) {
    const std::string text =
        sj("[Limits]\nMaker=M\nModel=X\nopen_max_ms=fast\n"
           "[Limits]\nMaker=M\nModel=Y\nopen_max_ms=35\n"
           "[Limits]\nCustomer=A\nCircuit=B\nclose_max_ms=50\n");
    LimitsBook book = LimitsBook::read(text, "LIMITS.INI");
    ASSERT_EQ(book.damaged().size(), 1u);
    model::TestConditions x;
    x.mcMaker = "M";
    x.mcType = "X";
    EXPECT_NE(messageOf([&] { book.effective("A", "B", "N", x); }).find("4 行目"),
              std::string::npos);
    model::TestConditions y = x;
    y.mcType = "Y";
    EXPECT_EQ(book.effective("A", "B", "N", y).openMaxUs, 35000);
    // The circuits and customers are not the damaged section's.
    EXPECT_EQ(book.effective("A", "B", "N").closeMaxUs, 50000);
    EXPECT_EQ(book.ofCustomer("A").entries().size(), 1u);
    EXPECT_THROW(book.ofModels(), CxException);
    // A rewrite carries the damaged section over as it was.
    book.entry(LimitsTarget::ofModel("M", "Z")).limits.openMaxUs = 40000;
    EXPECT_NE(book.bytes().find("Model=X\nopen_max_ms=fast\n"), std::string::npos);

    // A section whose target did not read at all may be a model's.
    const LimitsBook stray = LimitsBook::read("[Limits]\n\xff\xfe\n", "LIMITS.INI");
    EXPECT_THROW(stray.find(LimitsTarget::ofModel("M", "X")), CxException);
}

}  // namespace
}  // namespace plm::analysis
