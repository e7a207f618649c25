#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/measurement_record.h"

// The bytes the archive keeps of a measurement: its tester data (header,
// date and samples: what makes it the same measurement) and, apart, the
// user's test conditions. The data number, which filing rewrites, and the
// device type, which every installation sets from its own configuration,
// are in neither.
namespace plm::archive {

std::string testerBytes(const model::MeasurementRecord& record);
// The record of tester bytes, with the conditions reset; throws
// std::runtime_error for bytes that are not tester data.
model::MeasurementRecord recordOfTesterBytes(std::string_view bytes);

std::string conditionsBytes(const model::TestConditions& conditions);
// Sets every condition but the device type; throws std::runtime_error.
void applyConditionsBytes(std::string_view bytes, model::TestConditions& conditions);

// Little-endian pieces, also for the sync state file.
class ByteWriter {
  public:
    void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void i32(int32_t v) { fixed(&v, 4); }
    void i64(int64_t v) { fixed(&v, 8); }
    void f64(double v) { fixed(&v, 8); }
    void bytes(std::string_view v) {
        i32(static_cast<int32_t>(v.size()));
        out_.append(v);
    }
    void raw(std::string_view v) { out_.append(v); }
    std::string& out() { return out_; }

  private:
    void fixed(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
    std::string out_;
};

class ByteReader {
  public:
    explicit ByteReader(std::string_view in) : in_(in) {}
    uint8_t u8();
    int32_t i32();
    int64_t i64();
    double f64();
    std::string bytes();
    std::string raw(size_t n);
    bool atEnd() const { return in_.empty(); }

  private:
    void fixed(void* p, size_t n);
    template <class T>
    T fixedValue() {
        T v;
        fixed(&v, sizeof v);
        return v;
    }
    std::string_view in_;
};

}  // namespace plm::archive
