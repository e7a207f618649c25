#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/contact_samples.h"
#include "support/ole_date.h"

namespace plm::model {

// Displayed as "---" where it stands for dataNo or vcValue.
inline constexpr int32_t NO_VALUE = -99999999;

// The test conditions the user enters for a measurement. Strings are CP932.
struct TestConditions {
    int32_t devType = 3;
    std::string mcType;
    std::string mcNum;
    std::string mcDate;
    std::string mcMaker;
    std::array<double, 3> sesshoku{};
    std::array<double, 3> vacuum{};
    std::string weather;
    double temp = 0.0;
    double hum = 0.0;
    std::string comment;
    std::array<std::string, 8> chComment;

    // All strings empty, all doubles 0, devType the given code (the
    // configured device type).
    void Reset(int32_t configuredDevType);
    bool operator==(const TestConditions&) const = default;
};

// One measurement of the tester: header, the user's conditions and the
// contact samples (byte i is sample i; bit n is channel n+1, 1 = "ON").
// Copies share the samples (see ContactSamples).
struct MeasurementRecord {
    // A record of the default device type; one made for a running system
    // takes the configured one (Reset).
    MeasurementRecord();

    // Header, in data file order.
    int32_t dataNo = -1;
    int32_t opSignal = 0;
    int32_t triggerDetect = 0;
    int32_t signalAcDc = 0;
    int32_t chattering = 0;
    int32_t measTime = 0;
    int32_t measPeriod = 0;
    std::array<int32_t, 8> chSetting{};
    support::DateTimeValue testDateTime;
    int32_t vcValue = 0;
    int32_t vcEndValue = 0;
    int32_t measureType = 0;
    int32_t measureOpe = 0;
    int32_t noiseMask = 0;

    TestConditions cond;
    ContactSamples contacts;

    // Empty, dated now (an invalid date), with reset conditions.
    void Reset(int32_t configuredDevType);
    bool operator==(const MeasurementRecord&) const = default;

    // Labels (CP932 texts).
    std::string dataNoText() const;
    std::string testDateTimeText() const;  // "%Y/%m/%d %H:%M"
    std::string testDateText() const;      // "%Y/%m/%d"
    std::string testTimeText() const;      // "%H:%M"
    std::string devTypeText() const;
    std::string opSignalText() const;
    std::string triggerDetectText() const;
    std::string signalAcDcText() const;
    std::string chatteringText() const;
    std::string measTimeText() const;
    std::string measPeriodText() const;
    std::string vcValueText() const;
    std::string measureTypeText() const;
    std::string measureOpeText() const;
    std::string noiseMaskText() const;
    std::string tempText() const;
    std::string humText() const;
    std::string sesshokuText(int phase) const;
    std::string vacuumText(int phase) const;

    // Predicates and derived values.
    bool vcValueShown() const;
    bool dateValid() const { return testDateTime.valid(); }
    int channelCount() const;
    uint32_t expectedSampleCount() const;
    double samplesToMs(int64_t n) const;
    std::string msText(int64_t n) const;
    // Throws std::out_of_range when i is outside contacts.
    int contactState(int channel, int64_t i) const;
    // First i >= start with that state, or -1 (also -1 for start < 0).
    int64_t findContactState(int channel, int state, int64_t start) const;
    bool setDatePart(const std::string& text);
    bool setTimePart(const std::string& text);
};

void copyConditions(const MeasurementRecord& from, MeasurementRecord& to);

// Code tables.
int channelCount(int32_t devType);
int32_t devTypeFromChannels(int channels);
std::string devTypeLabel(int32_t devType);
std::string measTimeLabel(int32_t measTime);
int64_t measTimeMicros(int32_t measTime);
std::string measPeriodLabel(int32_t measPeriod);
// Sampling period in microseconds as used to count samples (5000 for code 4 and unknown codes).
int64_t measPeriodMicros(int32_t measPeriod);

// The code of the device type configured when system.ini names none (8
// channels). The configured device type (system.ini [Setting] DeviceType) is
// given by whoever makes records: each new record takes it and each record
// read from a data file is given it in place of the code stored.
inline constexpr int32_t kDefaultDevType = 3;

}  // namespace plm::model
