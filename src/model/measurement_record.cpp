#include "model/measurement_record.h"

#include <cmath>
#include <ctime>
#include <stdexcept>

#include "settings/app_settings.h"
#include "support/text_codec.h"

namespace plm::model {
namespace {

using support::sj;

const char* const kDash = "---";

// Label of a code in a small table; "---" for a code outside it.
template <size_t N>
std::string tableLabel(const char* const (&labels)[N], int32_t code) {
    if (code < 0 || static_cast<size_t>(code) >= N)
        return kDash;
    return sj(labels[code]);
}

struct PeriodRow {
    const char* label;
    int64_t micros;  // used to count the samples a measurement implies
    double msPerSample;
    bool tenths;  // ms text with one decimal
};

// Code 4 is no valid period: it counts like 5 ms but converts at 1 ms per sample
// and has no millisecond text.
const PeriodRow* periodRow(int32_t code) {
    static const PeriodRow rows[] = {
        {"100 us", 100, 0.1, true},   {"1 ms", 1000, 1.0, false},  {"2 ms", 2000, 2.0, false},
        {"20ms", 20000, 20.0, false}, {nullptr, 5000, 1.0, false}, {"5 ms", 5000, 5.0, false},
    };
    if (code < 0 || code > 5 || code == 4)
        return nullptr;
    return &rows[code];
}

std::string vcUnit(int32_t opSignal) {
    if (opSignal == 2 || opSignal == 3)
        return "V";
    if (opSignal == 4 || opSignal == 5)
        return "A";
    return {};
}

std::string oneDecimal(double v) {
    return support::format("%.1lf", v);
}

bool validPhase(int phase) {
    return phase >= 0 && phase < 3;
}

// The local time as an OLE date. A transfer resets its working record twice per
// measurement, so the calendar conversion is redone only when the second changes.
double nowValue() {
    thread_local std::time_t cachedSecond = -1;
    thread_local double cachedValue = 0.0;
    std::time_t second = std::time(nullptr);
    if (second != cachedSecond) {
        cachedValue = support::nowLocal().value;
        cachedSecond = second;
    }
    return cachedValue;
}

}  // namespace

void TestConditions::Reset(int32_t configuredDevType) {
    *this = TestConditions();
    devType = configuredDevType;
}

MeasurementRecord::MeasurementRecord() {
    Reset(kDefaultDevType);
}

void MeasurementRecord::Reset(int32_t configuredDevType) {
    dataNo = -1;
    opSignal = triggerDetect = signalAcDc = chattering = measTime = measPeriod = 0;
    chSetting.fill(0);
    vcValue = vcEndValue = measureType = measureOpe = noiseMask = 0;
    contacts.clear();
    // The value of an invalid date means nothing; it is the time the record was made.
    testDateTime = {nowValue(), support::DateStatus::Invalid};
    cond.Reset(configuredDevType);
}

void copyConditions(const MeasurementRecord& from, MeasurementRecord& to) {
    to.cond = from.cond;
}

// ---- code tables ----

int channelCount(int32_t devType) {
    switch (devType) {
        case 0:
            return 3;
        case 1:
            return 4;
        case 2:
            return 6;
        default:
            return 8;
    }
}

int32_t devTypeFromChannels(int channels) {
    return settings::deviceTypeIndexOf(channels);
}

std::string devTypeLabel(int32_t devType) {
    static const char* const labels[] = {"３ＣＨ", "４ＣＨ", "６ＣＨ", "８ＣＨ"};
    if (devType < 0 || devType > 3)
        return {};
    return sj(labels[devType]);
}

std::string measTimeLabel(int32_t measTime) {
    static const char* const labels[] = {"50 ms", "100 ms", "500 ms", "1 s",
                                         "5 s",   "10 s",   "20 s",   "200 s"};
    return tableLabel(labels, measTime);
}

int64_t measTimeMicros(int32_t measTime) {
    static const int64_t micros[] = {50000,   100000,   500000,   1000000,
                                     5000000, 10000000, 20000000, 200000000};
    if (measTime < 0 || measTime > 7)
        return 200000000;
    return micros[measTime];
}

std::string measPeriodLabel(int32_t measPeriod) {
    const PeriodRow* row = periodRow(measPeriod);
    return row ? std::string(row->label) : kDash;
}

int64_t measPeriodMicros(int32_t measPeriod) {
    const PeriodRow* row = periodRow(measPeriod);
    return row ? row->micros : 5000;
}

// ---- labels ----

std::string MeasurementRecord::dataNoText() const {
    return dataNo == NO_VALUE ? kDash : support::format("%d", dataNo);
}

std::string MeasurementRecord::testDateTimeText() const {
    return support::formatDateTime(testDateTime, "%Y/%m/%d %H:%M");
}

std::string MeasurementRecord::testDateText() const {
    return support::formatDateTime(testDateTime, "%Y/%m/%d");
}

std::string MeasurementRecord::testTimeText() const {
    return support::formatDateTime(testDateTime, "%H:%M");
}

std::string MeasurementRecord::devTypeText() const {
    return devTypeLabel(cond.devType);
}

std::string MeasurementRecord::opSignalText() const {
    static const char* const labels[] = {"内部", "接点", "電圧Hi", "電圧Lo", "電流Hi", "電流Lo"};
    return tableLabel(labels, opSignal);
}

std::string MeasurementRecord::triggerDetectText() const {
    static const char* const labels[] = {"自動", "a接点", "b接点", "印加", "除去"};
    return tableLabel(labels, triggerDetect);
}

std::string MeasurementRecord::signalAcDcText() const {
    static const char* const labels[] = {"交流", "直流"};
    return tableLabel(labels, signalAcDc);
}

std::string MeasurementRecord::chatteringText() const {
    static const char* const labels[] = {"OFF", "ON"};
    return tableLabel(labels, chattering);
}

std::string MeasurementRecord::measTimeText() const {
    return measTimeLabel(measTime);
}

std::string MeasurementRecord::measPeriodText() const {
    return measPeriodLabel(measPeriod);
}

std::string MeasurementRecord::vcValueText() const {
    if (vcValue == NO_VALUE)
        return kDash;
    if (!vcValueShown())
        return {};
    return support::format("%d %s", vcValue, vcUnit(opSignal).c_str());
}

std::string MeasurementRecord::measureTypeText() const {
    return sj(measureType == 0 ? "投入" : "遮断");
}

std::string MeasurementRecord::measureOpeText() const {
    return sj(measureOpe == 0 ? "自動" : "手動");
}

std::string MeasurementRecord::noiseMaskText() const {
    return noiseMask == 2 ? "ON" : "OFF";
}

std::string MeasurementRecord::tempText() const {
    return oneDecimal(cond.temp);
}

std::string MeasurementRecord::humText() const {
    return oneDecimal(cond.hum);
}

std::string MeasurementRecord::sesshokuText(int phase) const {
    return validPhase(phase) ? oneDecimal(cond.sesshoku[phase]) : std::string();
}

std::string MeasurementRecord::vacuumText(int phase) const {
    return validPhase(phase) ? oneDecimal(cond.vacuum[phase]) : std::string();
}

// ---- predicates and derived values ----

bool MeasurementRecord::vcValueShown() const {
    return opSignal >= 2 && opSignal <= 5 && measureOpe == 0;
}

int MeasurementRecord::channelCount() const {
    return model::channelCount(cond.devType);
}

uint32_t MeasurementRecord::expectedSampleCount() const {
    auto length = static_cast<uint32_t>(measTimeMicros(measTime));
    auto period = static_cast<uint32_t>(measPeriodMicros(measPeriod));
    return length / period + 1;
}

double MeasurementRecord::samplesToMs(int64_t n) const {
    switch (measPeriod) {
        case 0:
            return static_cast<double>(n) * 0.1;
        case 2:
            return static_cast<double>(n) * 2;
        case 3:
            return static_cast<double>(n) * 20;
        case 5:
            return static_cast<double>(n) * 5;
        default:
            return static_cast<double>(n);
    }
}

std::string MeasurementRecord::msText(int64_t n) const {
    const PeriodRow* row = periodRow(measPeriod);
    if (!row)
        return {};
    double ms = samplesToMs(n);
    if (row->tenths)
        return support::format("%.1f", ms);
    return support::format("%lld", static_cast<long long>(std::trunc(ms)));
}

int MeasurementRecord::contactState(int channel, int64_t i) const {
    if (i < 0 || static_cast<uint64_t>(i) >= contacts.size()) {
        throw std::out_of_range("contact sample index out of range");
    }
    unsigned shift = static_cast<unsigned>(channel) % 32u;
    return static_cast<int>((static_cast<uint32_t>(contacts[i]) >> shift) & 1u);
}

int64_t MeasurementRecord::findContactState(int channel, int state, int64_t start) const {
    if (start < 0)
        return -1;
    auto size = static_cast<int64_t>(contacts.size());
    unsigned shift = static_cast<unsigned>(channel) % 32u;
    for (int64_t i = start; i < size; ++i) {
        if (static_cast<int>((static_cast<uint32_t>(contacts[i]) >> shift) & 1u) == state)
            return i;
    }
    return -1;
}

bool MeasurementRecord::setDatePart(const std::string& text) {
    // A record whose date was never valid has no time of day to keep ("Invalid
    // DateTime" would spoil the parse for good), so the new date starts at midnight.
    std::string joined = testDateTime.status == support::DateStatus::Invalid
                             ? text
                             : support::format("%s %s", text.c_str(), testTimeText().c_str());
    testDateTime = support::parseDateTime(joined);
    return testDateTime.valid();
}

bool MeasurementRecord::setTimePart(const std::string& text) {
    std::string joined = support::format("%s %s", testDateText().c_str(), text.c_str());
    testDateTime = support::parseDateTime(joined);
    return testDateTime.valid();
}

}  // namespace plm::model
