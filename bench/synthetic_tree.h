#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "model/customer_tree.h"
#include "support/ole_date.h"
#include "support/text_codec.h"

// A realistic customer tree for benchmarks: customers x circuits x names x
// records, each record with `samples` contact samples whose channels switch a
// few times, plausible header codes, ascending test dates and filled-in
// CP932 conditions.
namespace plm::bench {

struct SyntheticTreeShape {
    int customers = 50;
    int circuits = 10;  // per customer
    int names = 10;     // per circuit
    int records = 10;   // per measurement name
    int samples = 1001;
    uint32_t seed = 1;
};

// `samples` contact samples in which, about once in `changeEvery` samples,
// one channel picked at random changes.
inline model::ContactSamples randomContacts(size_t samples, unsigned changeEvery, unsigned seed) {
    std::vector<uint8_t> out(samples);
    std::mt19937 random(seed);
    uint8_t state = 0;
    for (uint8_t& sample : out) {
        if (random() % changeEvery == 0)
            state ^= static_cast<uint8_t>(1u << (random() % 8));
        sample = state;
    }
    return out;
}

namespace synthetic_detail {

// A small deterministic generator, so every run builds the same tree.
struct Rng {
    uint32_t state;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

inline std::string text(const char* utf8Format, int n) {
    return support::format(support::sj(utf8Format).c_str(), n);
}

// Each channel opens or closes a few times at random places after the command.
inline void fillContacts(model::MeasurementRecord& r, int samples, Rng& rng) {
    r.contacts.assign(static_cast<size_t>(samples), 0);
    for (int ch = 0; ch < 8; ++ch) {
        int state = rng.below(2);
        int at = 0;
        for (int change = 0; change < 4 && at < samples; ++change) {
            int next = at + 20 + rng.below(samples / 3 + 1);
            for (int i = at; i < next && i < samples; ++i) {
                r.contacts[static_cast<size_t>(i)] |= static_cast<uint8_t>(state << ch);
            }
            state ^= 1;
            at = next;
        }
    }
}

inline model::MeasurementRecord makeRecord(int serial, int samples, double day, Rng& rng) {
    model::MeasurementRecord r;
    fillContacts(r, samples, rng);
    r.dataNo = serial % 100 + 1;
    r.opSignal = rng.below(6);
    r.triggerDetect = rng.below(5);
    r.signalAcDc = rng.below(2);
    r.chattering = rng.below(2);
    r.measTime = 1;
    r.measPeriod = 1;
    for (int i = 0; i < 8; ++i)
        r.chSetting[static_cast<size_t>(i)] = rng.below(4);
    r.testDateTime = {day, support::DateStatus::Valid};
    r.vcValue = 100 + rng.below(100);
    r.vcEndValue = rng.below(50);
    r.measureType = rng.below(2);
    r.noiseMask = 1 + rng.below(2);
    model::TestConditions& c = r.cond;
    c.mcType = text("VCB-%d 形真空遮断器", serial % 7);
    c.mcNum = support::format("SN-%06d", serial);
    c.mcDate = support::format("%04d/%02d", 1980 + serial % 40, serial % 12 + 1);
    c.mcMaker = text("電機製作所 %d", serial % 5);
    c.sesshoku = {12, 12, 13};
    c.vacuum = {1.5, 1.5, 1.6};
    c.weather = support::sj("晴れ");
    c.temp = 20.5;
    c.hum = 55.0;
    c.comment = text("定期点検 第%d回 異常なし", serial % 30);
    for (int ch = 0; ch < 8; ++ch)
        c.chComment[static_cast<size_t>(ch)] = text("主接点 %d相", ch);
    return r;
}

}  // namespace synthetic_detail

inline model::CustomerTree makeSyntheticTree(const SyntheticTreeShape& shape = {}) {
    using namespace synthetic_detail;
    Rng rng{shape.seed * 2654435761u + 1};
    model::CustomerTree tree;
    int serial = 0;
    for (int cu = 0; cu < shape.customers; ++cu) {
        model::Customer& customer =
            tree.customers.at(tree.customers.findOrAdd(text("需要家 %03d 電力株式会社", cu)));
        for (int ci = 0; ci < shape.circuits; ++ci) {
            model::TestCircuit& circuit = customer.circuits.at(
                customer.circuits.findOrAdd(text("第%d変電所 6.6kV 回路", ci)));
            for (int na = 0; na < shape.names; ++na) {
                model::MeasurementName& name =
                    circuit.names.at(circuit.names.findOrAdd(text("測定点 %02d", na)));
                for (int re = 0; re < shape.records; ++re, ++serial) {
                    const double day = 39539.0 + serial * 0.01;  // from 2008-04-01 on
                    name.records.append(makeRecord(serial, shape.samples, day, rng));
                }
            }
        }
    }
    return tree;
}

}  // namespace plm::bench
