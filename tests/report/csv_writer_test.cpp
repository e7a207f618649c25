#include "report/csv_writer.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "report/operating_times.h"
#include "support/log_writer.h"
#include "support/ole_date.h"
#include "support/text_codec.h"

namespace plm::report {
namespace {

using support::sj;

class RecordingReporter : public model::ErrorReporter {
  public:
    void report(const std::string& text, model::MessageIcon icon) override {
        texts.push_back(text);
        icons.push_back(icon);
    }
    std::vector<std::string> texts;
    std::vector<model::MessageIcon> icons;
};

CsvLayout defaultLayout() {
    CsvLayout layout;
    layout.itemName1 = sj("需要家名称");
    layout.itemName2 = sj("試験回路名称");
    layout.itemName3 = sj("測定ﾃﾞｰﾀ名称");
    return layout;
}

const CsvNames kNames{sj("東北電力"), sj("第1変電所"), sj("年次点検")};

// Three channels, 1 ms period, 51 samples: channel 1 closes at 36 and opens
// at 48, channel 2 closes between samples 0 and 1, channel 3 is always closed.
model::MeasurementRecord threeChannelRecord() {
    model::MeasurementRecord r;
    r.cond.devType = 0;
    r.dataNo = 12;
    r.measPeriod = 1;
    r.measTime = 0;
    r.noiseMask = 2;
    r.opSignal = 2;
    r.vcValue = 100;
    support::CalendarFields f;
    f.year = 2008, f.month = 4, f.day = 1, f.hour = 13, f.minute = 5, f.second = 12;
    support::fieldsToOle(f, r.testDateTime.value);
    r.testDateTime.status = support::DateStatus::Valid;
    r.cond.mcType = "VCB-7.2kV";
    r.cond.mcNum = "A12345";
    r.cond.mcDate = "2001/05";
    r.cond.mcMaker = sj("東京電機");
    r.cond.weather = sj("晴れ");
    r.cond.temp = 21.5;
    r.cond.hum = 45.0;
    r.cond.comment = sj("点検, \"A\"号機");
    r.contacts.assign(51, 0x06);
    r.contacts[0] = 0x04;
    for (int i = 36; i < 48; ++i)
        r.contacts[i] |= 0x01;
    return r;
}

// Lines of a CSV text without their CR LF; fails when a line ends otherwise.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "last line without CR LF";
        if (end == std::string::npos)
            break;
        EXPECT_EQ(text.substr(start, end - start).find('\n'), std::string::npos);
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

TEST(CsvText, MatchesTheReferenceFileByteForByte) {
    const std::string expected = test::readFile(test::dataPath("csv/three_channel.csv"));
    EXPECT_EQ(csvText(defaultLayout(), kNames, threeChannelRecord()), expected);
}

TEST(CsvText, SwitchesOffAndNoNoiseMaskLeaveSeventeenHeaderLines) {
    CsvLayout layout = defaultLayout();
    layout.chattering = layout.measureType = layout.measureOpe = layout.outsideTrigger = 0;
    model::MeasurementRecord r = threeChannelRecord();
    r.noiseMask = 0;
    const std::vector<std::string> all = lines(csvText(layout, kNames, r));
    const auto rows = std::find_if(all.begin(), all.end(), [](const std::string& l) {
        return l.rfind(sj("動作時間[ms]"), 0) == 0;
    });
    ASSERT_EQ(rows - all.begin(), 17);
    EXPECT_EQ(all[12], sj("計測時間, \"50 ms\""));
    EXPECT_EQ(all[13], sj("天候, \"晴れ\""));
    EXPECT_EQ(all[16], sj("備考, \"点検, \"A\"号機\""));
}

TEST(CsvText, VoltageLineNeedsOutsideTriggerAndAnAutomaticVoltageStart) {
    struct Case {
        int outsideTrigger;
        int opSignal;
        int measureOpe;
        bool shown;
    };
    for (const Case& c : {Case{1, 2, 0, true}, Case{1, 4, 0, true}, Case{0, 2, 0, false},
                          Case{1, 1, 0, false}, Case{1, 2, 1, false}}) {
        CsvLayout layout = defaultLayout();
        layout.outsideTrigger = c.outsideTrigger;
        model::MeasurementRecord r = threeChannelRecord();
        r.opSignal = c.opSignal;
        r.measureOpe = c.measureOpe;
        const std::string text = csvText(layout, kNames, r);
        EXPECT_EQ(text.find(sj("電圧電流, ")) != std::string::npos, c.shown)
            << c.outsideTrigger << " " << c.opSignal << " " << c.measureOpe;
    }
}

TEST(CsvText, IntervalFieldsFollowTheSamplingPeriod) {
    model::MeasurementRecord r = threeChannelRecord();
    r.contacts.assign(30, 0);
    for (int i = 8; i < 20; ++i)
        r.contacts[i] = 1;  // closes after 7 steps from sample 1
    r.measPeriod = 0;       // 100 us
    std::vector<std::string> all = lines(csvText(defaultLayout(), kNames, r));
    EXPECT_EQ(all[25], sj("動作時間[ms] 1CH, 0.7, 1.2, ---, ---, ---, ---, ---, ---, ---, ---, "));
    // Sample rows count the index itself, whatever the period.
    EXPECT_EQ(all[30], "0[ms], OFF, OFF, OFF");
    EXPECT_EQ(all.back(), "29[ms], OFF, OFF, OFF");
    r.measPeriod = 4;  // not a valid period: empty fields, each still followed by ", "
    all = lines(csvText(defaultLayout(), kNames, r));
    EXPECT_EQ(all[25], sj("動作時間[ms] 1CH, , , ---, ---, ---, ---, ---, ---, ---, ---, "));
}

TEST(CsvText, EightChannelRecordWritesEveryChannelAndSample) {
    model::MeasurementRecord r = threeChannelRecord();
    r.cond.devType = 3;
    r.contacts.assign(200001, 0x80);
    const std::vector<std::string> all = lines(csvText(defaultLayout(), kNames, r));
    ASSERT_EQ(all.size(), 25u + 8 + 2 + 200001);
    EXPECT_EQ(all[34], sj("測定データ, 1CH, 2CH, 3CH, 4CH, 5CH, 6CH, 7CH, 8CH"));
    EXPECT_EQ(all.back(), "200000[ms], OFF, OFF, OFF, OFF, OFF, OFF, OFF, ON");
}

TEST(OperatingTimes, FieldsAfterTheFirstMissingChangeAreMissing) {
    model::MeasurementRecord r = threeChannelRecord();
    // Channel 1: ON at 0 (ignored: measuring starts at sample 1), OFF 1..9,
    // ON 10..14, OFF from 15 on.
    r.contacts.assign(51, 0);
    r.contacts[0] = 1;
    for (int i = 10; i < 15; ++i)
        r.contacts[i] = 1;
    const IntervalArray got = OperatingTimeIntervals(r, 0);
    const IntervalArray want{9, 5, -1, -1, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(got, want);
    EXPECT_EQ(intervalText(r, got[0]), "9");
    EXPECT_EQ(intervalText(r, got[2]), "---");
}

TEST(OperatingTimes, FewerThanTwoSamplesCannotBeMeasured) {
    model::MeasurementRecord r = threeChannelRecord();
    r.contacts.assign(1, 0);
    EXPECT_THROW(OperatingTimeIntervals(r, 0), std::out_of_range);
}

class WriteCsvFileTest : public ::testing::Test {
  protected:
    std::string write(const std::string& path, const model::MeasurementRecord& r) {
        ok = WriteCsvFile(support::fromUtf8(path), defaultLayout(), kNames, r, reporter);
        return ok ? test::readFile(path) : std::string();
    }
    test::TempDir dir;
    RecordingReporter reporter;
    bool ok = false;
};

TEST_F(WriteCsvFileTest, ReplacesALongerExistingFileCompletely) {
    const std::string path = dir.file("DAT_20080401_130512.CSV");
    test::writeFile(path, std::string(200000, 'x'));
    EXPECT_EQ(write(path, threeChannelRecord()),
              test::readFile(test::dataPath("csv/three_channel.csv")));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(reporter.texts.empty());
}

TEST_F(WriteCsvFileTest, OpenFailuresReportTheFullPath) {
    const std::string missing = dir.file("no_such_folder/out.csv");
    for (const std::string& path : {missing, dir.path().string()}) {
        reporter.texts.clear();
        write(path, threeChannelRecord());
        EXPECT_FALSE(ok);
        ASSERT_EQ(reporter.texts.size(), 1u);
        EXPECT_EQ(reporter.texts[0], support::fromUtf8("OpenError\n" + path));
        EXPECT_EQ(reporter.icons[0], model::MessageIcon::Information);
    }
}

TEST_F(WriteCsvFileTest, OpenFailureGoesIntoTheApplicationLog) {
    support::AppLog().setLog(dir.file("APP"));
    write(dir.file("missing/out.csv"), threeChannelRecord());
    const std::string logFile = support::AppLog().periodFile(std::time(nullptr));
    support::AppLog().setLog("");
    EXPECT_NE(test::readFile(logFile).find("OpenError " + dir.file("missing/out.csv")),
              std::string::npos);
}

TEST_F(WriteCsvFileTest, RelativePathIsReportedInFull) {
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    write("missing/./out.csv", threeChannelRecord());
    std::filesystem::current_path(cwd);
    ASSERT_EQ(reporter.texts.size(), 1u);
    EXPECT_EQ(reporter.texts[0], support::fromUtf8("OpenError\n" + dir.file("missing/out.csv")));
}

TEST_F(WriteCsvFileTest, TooFewSamplesFailWithoutTouchingTheOldFile) {
    const std::string path = dir.file("old.csv");
    test::writeFile(path, "previous contents");
    model::MeasurementRecord r = threeChannelRecord();
    for (size_t samples : {0u, 1u}) {
        reporter.texts.clear();
        r.contacts.assign(samples, 0);
        write(path, r);
        EXPECT_FALSE(ok);
        ASSERT_EQ(reporter.texts.size(), 1u);
        const std::string& text = reporter.texts[0];
        EXPECT_EQ(text.rfind(sj("例外発生") + "\n", 0), 0u) << support::toUtf8(text);
        EXPECT_NE(text.find("\nD_CsvOut("), std::string::npos);
        EXPECT_EQ(text.back(), ')');
        EXPECT_EQ(reporter.icons[0], model::MessageIcon::Plain);
    }
    EXPECT_EQ(test::readFile(path), "previous contents");
}

}  // namespace
}  // namespace plm::report
