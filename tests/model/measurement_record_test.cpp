#include "model/measurement_record.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "support/text_codec.h"

namespace plm::model {
namespace {

std::string utf8(const std::string& cp932) {
    return support::toUtf8(cp932);
}

MeasurementRecord recordAt(const char* dateTime) {
    MeasurementRecord r;
    r.testDateTime = support::parseDateTime(dateTime);
    return r;
}

TEST(MeasurementRecord, NewRecordLabels) {
    MeasurementRecord r;
    r.Reset(1);
    using Label = std::function<std::string(const MeasurementRecord&)>;
    const std::pair<Label, const char*> labels[] = {
        {&MeasurementRecord::dataNoText, "-1"},
        {&MeasurementRecord::devTypeText, "４ＣＨ"},
        {&MeasurementRecord::measTimeText, "50 ms"},
        {&MeasurementRecord::measPeriodText, "100 us"},
        {&MeasurementRecord::opSignalText, "内部"},
        {&MeasurementRecord::triggerDetectText, "自動"},
        {&MeasurementRecord::signalAcDcText, "交流"},
        {&MeasurementRecord::chatteringText, "OFF"},
        {&MeasurementRecord::measureTypeText, "投入"},
        {&MeasurementRecord::measureOpeText, "自動"},
        {&MeasurementRecord::noiseMaskText, "OFF"},
        {&MeasurementRecord::testDateTimeText, "Invalid DateTime"},
        {&MeasurementRecord::testDateText, "Invalid DateTime"},
        {&MeasurementRecord::vcValueText, ""},
        {&MeasurementRecord::tempText, "0.0"},
        {&MeasurementRecord::humText, "0.0"},
    };
    for (const auto& [label, expected] : labels)
        EXPECT_EQ(utf8(label(r)), expected);
    EXPECT_FALSE(r.dateValid());
    EXPECT_EQ(r.cond.devType, 1);
    EXPECT_TRUE(r.contacts.empty());
}

TEST(MeasurementRecord, CodeLabels) {
    struct Case {
        std::function<void(MeasurementRecord&, int)> set;
        std::function<std::string(const MeasurementRecord&)> label;
        std::vector<const char*> labels;  // codes 0.., then one code past the table
    };
    const Case cases[] = {
        {[](auto& r, int c) { r.opSignal = c; },
         &MeasurementRecord::opSignalText,
         {"内部", "接点", "電圧Hi", "電圧Lo", "電流Hi", "電流Lo", "---"}},
        {[](auto& r, int c) { r.triggerDetect = c; },
         &MeasurementRecord::triggerDetectText,
         {"自動", "a接点", "b接点", "印加", "除去", "---"}},
        {[](auto& r, int c) { r.signalAcDc = c; },
         &MeasurementRecord::signalAcDcText,
         {"交流", "直流", "---"}},
        {[](auto& r, int c) { r.chattering = c; },
         &MeasurementRecord::chatteringText,
         {"OFF", "ON", "---"}},
        {[](auto& r, int c) { r.measTime = c; },
         &MeasurementRecord::measTimeText,
         {"50 ms", "100 ms", "500 ms", "1 s", "5 s", "10 s", "20 s", "200 s", "---"}},
        {[](auto& r, int c) { r.measPeriod = c; },
         &MeasurementRecord::measPeriodText,
         {"100 us", "1 ms", "2 ms", "20ms", "---", "5 ms", "---"}},
        {[](auto& r, int c) { r.cond.devType = c; },
         &MeasurementRecord::devTypeText,
         {"３ＣＨ", "４ＣＨ", "６ＣＨ", "８ＣＨ", ""}},
        {[](auto& r, int c) { r.measureType = c; },
         &MeasurementRecord::measureTypeText,
         {"投入", "遮断", "遮断", "遮断", "遮断", "遮断"}},
        {[](auto& r, int c) { r.measureOpe = c; },
         &MeasurementRecord::measureOpeText,
         {"自動", "手動", "手動"}},
        {[](auto& r, int c) { r.noiseMask = c; },
         &MeasurementRecord::noiseMaskText,
         {"OFF", "OFF", "ON", "OFF"}},
    };
    for (const Case& c : cases) {
        MeasurementRecord r;
        for (size_t code = 0; code < c.labels.size(); ++code) {
            c.set(r, static_cast<int>(code));
            EXPECT_EQ(utf8(c.label(r)), c.labels[code]) << c.labels[0] << " code " << code;
        }
        if (c.labels.back() == std::string("---") || c.labels.back() == std::string()) {
            c.set(r, -1);
            EXPECT_EQ(utf8(c.label(r)), c.labels.back()) << c.labels[0] << " code -1";
        }
    }
}

TEST(MeasurementRecord, ChannelCounts) {
    const std::pair<int32_t, int> devTypes[] = {{0, 3}, {1, 4}, {2, 6}, {3, 8}, {7, 8}, {-1, 8}};
    for (auto [code, channels] : devTypes)
        EXPECT_EQ(channelCount(code), channels) << code;
    const std::pair<int, int32_t> fromChannels[] = {{3, 0}, {4, 1}, {6, 2}, {8, 3}, {5, 3}, {0, 3}};
    for (auto [channels, code] : fromChannels)
        EXPECT_EQ(devTypeFromChannels(channels), code);
}

TEST(MeasurementRecord, SampleCountsAndMilliseconds) {
    struct Case {
        int32_t measTime, measPeriod;
        uint32_t samples;
        double ms7;  // samplesToMs(7)
        const char* text7;
    };
    const Case cases[] = {
        {0, 0, 501, 0.7, "0.7"}, {7, 3, 10001, 140, "140"}, {3, 5, 201, 35, "35"},
        {0, 1, 51, 7, "7"},      {2, 2, 251, 14, "14"},     {7, 0, 2000001, 0.7, "0.7"},
        {3, 4, 201, 7, ""},      {42, 9, 40001, 7, ""},     {1, 0, 1001, 0.7, "0.7"},
        {-3, 1, 200001, 7, "7"},
    };
    for (const Case& c : cases) {
        MeasurementRecord r;
        r.measTime = c.measTime;
        r.measPeriod = c.measPeriod;
        SCOPED_TRACE(testing::Message() << c.measTime << "/" << c.measPeriod);
        EXPECT_EQ(r.expectedSampleCount(), c.samples);
        EXPECT_DOUBLE_EQ(r.samplesToMs(7), c.ms7);
        EXPECT_EQ(r.msText(7), c.text7);
    }
    MeasurementRecord r;
    r.measPeriod = 0;
    EXPECT_EQ(r.msText(123), "12.3");
    r.measPeriod = 1;
    EXPECT_EQ(r.msText(-3), "-3");
}

TEST(MeasurementRecord, VoltageCurrentText) {
    struct Case {
        int32_t vcValue, opSignal, measureOpe;
        const char* text;
    };
    const Case cases[] = {
        {100, 3, 0, "100 V"},    {100, 2, 0, "100 V"},    {100, 4, 0, "100 A"}, {7, 5, 0, "7 A"},
        {100, 3, 1, ""},         {100, 1, 0, ""},         {100, 0, 0, ""},      {100, 6, 0, ""},
        {NO_VALUE, 3, 0, "---"}, {NO_VALUE, 1, 1, "---"},
    };
    for (const Case& c : cases) {
        MeasurementRecord r;
        r.vcValue = c.vcValue;
        r.opSignal = c.opSignal;
        r.measureOpe = c.measureOpe;
        EXPECT_EQ(r.vcValueText(), c.text) << c.vcValue << " " << c.opSignal << " " << c.measureOpe;
    }
    MeasurementRecord r;
    r.dataNo = NO_VALUE;
    EXPECT_EQ(r.dataNoText(), "---");
    r.cond.temp = 23.45;
    r.cond.sesshoku = {1.25, -0.05, 100};
    EXPECT_EQ(r.tempText(), "23.4");
    EXPECT_EQ(r.sesshokuText(2), "100.0");
    EXPECT_EQ(r.vacuumText(0), "0.0");
}

TEST(MeasurementRecord, ContactQueries) {
    MeasurementRecord r;
    r.contacts = {0x00, 0x01, 0x03, 0x82, 0x00, 0x01};
    EXPECT_EQ(r.contactState(0, 1), 1);
    EXPECT_EQ(r.contactState(1, 1), 0);
    EXPECT_EQ(r.contactState(7, 3), 1);
    EXPECT_EQ(r.contactState(8, 3), 0);   // beyond the byte
    EXPECT_EQ(r.contactState(32, 1), 1);  // channel numbers wrap at 32
    EXPECT_THROW(r.contactState(0, 6), std::out_of_range);
    EXPECT_THROW(r.contactState(0, -1), std::out_of_range);

    struct Case {
        int channel, state;
        int64_t start, found;
    };
    const Case cases[] = {
        {0, 1, 0, 1},  {0, 0, 1, 3},     {0, 1, 3, 5},   {0, 1, 6, -1}, {1, 1, 0, 2},
        {7, 1, 4, -1}, {0, 1, -998, -1}, {0, 0, -1, -1}, {3, 1, 0, -1}, {2, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(r.findContactState(c.channel, c.state, c.start), c.found)
            << c.channel << " " << c.state << " " << c.start;
    }
}

TEST(MeasurementRecord, ResetCopyAndConditions) {
    MeasurementRecord a;
    a.dataNo = 9;
    a.contacts = {1, 2, 3};
    a.cond.mcType = "VCB-1";
    a.cond.chComment[7] = "x";
    a.cond.vacuum[1] = 2.5;
    MeasurementRecord copy = a;
    EXPECT_EQ(copy, a);

    MeasurementRecord b;
    b.dataNo = 4;
    copyConditions(a, b);
    EXPECT_EQ(b.cond, a.cond);
    EXPECT_EQ(b.dataNo, 4);
    EXPECT_TRUE(b.contacts.empty());

    a.cond.devType = 0;
    a.testDateTime = support::parseDateTime("2015/01/06 05:56");
    a.Reset(2);
    EXPECT_EQ(a.dataNo, -1);
    EXPECT_TRUE(a.contacts.empty());
    EXPECT_FALSE(a.dateValid());
    EXPECT_EQ(a.cond.devType, 2);
    EXPECT_TRUE(a.cond.mcType.empty());
    EXPECT_EQ(a.cond.vacuum[1], 0.0);
}

TEST(MeasurementRecord, CopiesShareSamplesUntilOneOfThemWrites) {
    MeasurementRecord a;
    a.contacts = {1, 2, 3};
    MeasurementRecord b = a;
    EXPECT_EQ(b.contacts.data(), a.contacts.data());

    // Every way of writing leaves the other copy as it was; a reference
    // taken before the copy was made still writes only its own record.
    auto first = a.contacts[0];
    MeasurementRecord c = a;
    first = 9;
    b.contacts[1] |= 0x80;
    MeasurementRecord d = c;
    d.contacts.resize(5);
    EXPECT_EQ(a.contacts, (std::vector<uint8_t>{9, 2, 3}));
    EXPECT_EQ(b.contacts, (std::vector<uint8_t>{1, 0x82, 3}));
    EXPECT_EQ(c.contacts, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(d.contacts, (std::vector<uint8_t>{1, 2, 3, 0, 0}));

    // A holder of the samples keeps the bytes it saw.
    const ContactSamples held = c.contacts;
    c.contacts[2] = 7;
    EXPECT_EQ(held, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_NE(c.contacts.data(), held.data());
}

TEST(MeasurementRecord, DateAndTimeEdits) {
    MeasurementRecord r = recordAt("2015/01/06 05:56:52");
    EXPECT_TRUE(r.setDatePart("2008/04/01"));
    // The kept time comes from the "%H:%M" text: the seconds go.
    EXPECT_EQ(support::formatDateTime(r.testDateTime, "%Y/%m/%d %H:%M:%S"), "2008/04/01 05:56:00");
    EXPECT_TRUE(r.setTimePart("13:05:07"));
    EXPECT_EQ(support::formatDateTime(r.testDateTime, "%Y/%m/%d %H:%M:%S"), "2008/04/01 13:05:07");
    EXPECT_EQ(r.testDateText(), "2008/04/01");
    EXPECT_EQ(r.testTimeText(), "13:05");

    EXPECT_FALSE(r.setTimePart("25:00"));
    EXPECT_FALSE(r.dateValid());
    EXPECT_EQ(r.testDateTimeText(), "Invalid DateTime");

    // A record without a valid date takes a new date at midnight.
    EXPECT_TRUE(r.setDatePart("2009/12/31"));
    EXPECT_EQ(r.testDateTimeText(), "2009/12/31 00:00");
    EXPECT_FALSE(r.setDatePart("2009/02/30"));
    EXPECT_FALSE(r.dateValid());
}

}  // namespace
}  // namespace plm::model
