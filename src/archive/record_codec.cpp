#include "archive/record_codec.h"

#include <cstring>
#include <stdexcept>

namespace plm::archive {
namespace {

constexpr std::string_view kTesterTag = "PT1";
constexpr std::string_view kConditionsTag = "PC1";

void expectTag(ByteReader& in, std::string_view tag) {
    if (in.raw(tag.size()) != tag)
        throw std::runtime_error("not archive data");
}

}  // namespace

void ByteReader::fixed(void* p, size_t n) {
    if (in_.size() < n)
        throw std::runtime_error("archive data cut short");
    std::memcpy(p, in_.data(), n);
    in_.remove_prefix(n);
}

uint8_t ByteReader::u8() {
    return fixedValue<uint8_t>();
}
int32_t ByteReader::i32() {
    return fixedValue<int32_t>();
}
int64_t ByteReader::i64() {
    return fixedValue<int64_t>();
}
double ByteReader::f64() {
    return fixedValue<double>();
}
std::string ByteReader::bytes() {
    const int32_t n = i32();
    if (n < 0)
        throw std::runtime_error("archive data damaged");
    return raw(static_cast<size_t>(n));
}
std::string ByteReader::raw(size_t n) {
    if (in_.size() < n)
        throw std::runtime_error("archive data cut short");
    std::string v(in_.substr(0, n));
    in_.remove_prefix(n);
    return v;
}

std::string testerBytes(const model::MeasurementRecord& r) {
    ByteWriter out;
    out.raw(kTesterTag);
    for (int32_t v :
         {r.opSignal, r.triggerDetect, r.signalAcDc, r.chattering, r.measTime, r.measPeriod})
        out.i32(v);
    for (int32_t v : r.chSetting)
        out.i32(v);
    out.f64(r.testDateTime.value);
    out.i32(static_cast<int32_t>(r.testDateTime.status));
    for (int32_t v : {r.vcValue, r.vcEndValue, r.measureType, r.measureOpe, r.noiseMask})
        out.i32(v);
    out.bytes(
        std::string_view(reinterpret_cast<const char*>(r.contacts.data()), r.contacts.size()));
    return std::move(out.out());
}

model::MeasurementRecord recordOfTesterBytes(std::string_view bytes) {
    ByteReader in(bytes);
    expectTag(in, kTesterTag);
    model::MeasurementRecord r;
    for (int32_t* v :
         {&r.opSignal, &r.triggerDetect, &r.signalAcDc, &r.chattering, &r.measTime, &r.measPeriod})
        *v = in.i32();
    for (int32_t& v : r.chSetting)
        v = in.i32();
    r.testDateTime.value = in.f64();
    r.testDateTime.status = static_cast<support::DateStatus>(in.i32());
    for (int32_t* v : {&r.vcValue, &r.vcEndValue, &r.measureType, &r.measureOpe, &r.noiseMask})
        *v = in.i32();
    const std::string samples = in.bytes();
    r.contacts.assign(samples.begin(), samples.end());
    if (!in.atEnd())
        throw std::runtime_error("archive data damaged");
    return r;
}

std::string conditionsBytes(const model::TestConditions& c) {
    ByteWriter out;
    out.raw(kConditionsTag);
    for (const std::string* s : {&c.mcType, &c.mcNum, &c.mcDate, &c.mcMaker})
        out.bytes(*s);
    for (double v : c.sesshoku)
        out.f64(v);
    for (double v : c.vacuum)
        out.f64(v);
    out.bytes(c.weather);
    out.f64(c.temp);
    out.f64(c.hum);
    out.bytes(c.comment);
    for (const std::string& s : c.chComment)
        out.bytes(s);
    return std::move(out.out());
}

void applyConditionsBytes(std::string_view bytes, model::TestConditions& c) {
    ByteReader in(bytes);
    expectTag(in, kConditionsTag);
    model::TestConditions read;
    read.devType = c.devType;
    for (std::string* s : {&read.mcType, &read.mcNum, &read.mcDate, &read.mcMaker})
        *s = in.bytes();
    for (double& v : read.sesshoku)
        v = in.f64();
    for (double& v : read.vacuum)
        v = in.f64();
    read.weather = in.bytes();
    read.temp = in.f64();
    read.hum = in.f64();
    read.comment = in.bytes();
    for (std::string& s : read.chComment)
        s = in.bytes();
    if (!in.atEnd())
        throw std::runtime_error("archive data damaged");
    c = std::move(read);
}

}  // namespace plm::archive
