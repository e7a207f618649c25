#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/fixtures.h"
#include "model/customer_tree.h"
#include "model/data_file.h"
#include "support/ole_date.h"

namespace plm::test {

// Records every message the model reports, for exact comparisons.
struct RecordingReporter : model::ErrorReporter {
    std::vector<std::pair<std::string, model::MessageIcon>> messages;
    void report(const std::string& text, model::MessageIcon icon) override {
        messages.emplace_back(text, icon);
    }
};

// A record with every stored item set to a value derived from `seed`, so
// that a field dropped or swapped by the file format shows up.
inline model::MeasurementRecord richRecord(int seed, size_t samples = 7) {
    model::MeasurementRecord r;
    r.contacts.resize(samples);
    for (size_t i = 0; i < samples; ++i)
        r.contacts[i] = static_cast<uint8_t>(seed * 31 + i * 7);
    r.dataNo = seed;
    r.opSignal = seed + 1;
    r.triggerDetect = seed + 2;
    r.signalAcDc = seed + 3;
    r.chattering = seed + 4;
    r.measTime = seed + 5;
    r.measPeriod = seed + 6;
    for (int i = 0; i < 8; ++i)
        r.chSetting[i] = seed * 100 + i;
    r.testDateTime = dateAt(2008, 4, 1 + seed % 28, 13, 5, seed % 60);
    r.vcValue = -seed - 10;
    r.vcEndValue = seed + 11;
    r.measureType = seed + 12;
    r.measureOpe = seed + 13;
    r.noiseMask = seed + 14;
    auto& c = r.cond;
    c.mcType = "type" + std::to_string(seed);
    c.mcNum = "num" + std::to_string(seed);
    c.mcDate = "date" + std::to_string(seed);
    c.mcMaker = "maker" + std::to_string(seed);
    c.sesshoku = {seed + 0.25, seed + 0.5, seed + 0.75};
    c.vacuum = {seed + 1.25, seed + 1.5, seed + 1.75};
    c.weather = "weather" + std::to_string(seed);
    c.temp = seed + 20.5;
    c.hum = seed + 40.5;
    c.comment = "comment" + std::to_string(seed);
    for (int i = 0; i < 8; ++i)
        c.chComment[i] = "ch" + std::to_string(seed * 10 + i);
    return r;
}

// Builds data file bytes by hand, independently of the writer under test.
struct Bytes {
    std::string s;
    Bytes& raw(std::string_view v) {
        s.append(v);
        return *this;
    }
    Bytes& u8(uint8_t v) {
        s.push_back(static_cast<char>(v));
        return *this;
    }
    Bytes& u16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    Bytes& i32(int32_t v) {
        auto u = static_cast<uint32_t>(v);
        return u16(u & 0xFFFF).u16(u >> 16);
    }
    Bytes& f64(double v) {
        char b[8];
        std::memcpy(b, &v, 8);
        return raw(std::string_view(b, 8));
    }
    // A string shorter than 255 bytes: one length byte.
    Bytes& str(std::string_view v) { return u8(static_cast<uint8_t>(v.size())).raw(v); }
    // The header of a data file up to and including the customer count.
    Bytes& header(int32_t version, uint16_t customers) {
        str("sd5c16-20070831-sd56s0c-t6b510aD6").i32(version);
        for (int32_t v : {1, 38400, 8, 0, 0, 1})
            i32(v);
        return u16(customers);
    }
};

// The bytes of richRecord(seed) as the writer stores it.
inline std::string recordBytes(int seed) {
    model::CustomerTree tree;
    findOrAddMeasurementName(tree, "X", "C", "N").records.append(richRecord(seed));
    const std::string prefix =
        Bytes().header(6, 1).str("X").u16(1).str("C").u16(1).str("N").u16(1).s;
    return model::writeDataFile(tree).substr(prefix.size());
}

// A data file as other software may write it: X/C/N, X/C/n, X/C/N, X/c/N
// with one record each, richRecord seeds 3, 1, 2 and 4, so that the name
// they join into holds seeds 1, 2, 3, 4 in date order.
inline std::string foldingDataFile() {
    Bytes b;
    b.header(6, 1).str("X").u16(2).str("C").u16(3);
    b.str("N").u16(1).raw(recordBytes(3));
    b.str("n").u16(1).raw(recordBytes(1));
    b.str("N").u16(1).raw(recordBytes(2));
    b.str("c").u16(1).str("N").u16(1).raw(recordBytes(4));
    return b.s;
}

// What reading foldingDataFile() tells (UTF-8).
inline const char* kFoldingNotice =
    "同じ名前とみなされる名前が重なっていたため、一つにまとめました\n"
    "X / C / n → X / C / N\nX / C / N → X / C / N\nX / c → X / C\nX / c / N → X / C / N";

}  // namespace plm::test
