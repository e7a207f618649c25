#include "common/transfer_builder.h"

#include "support/ole_date.h"

namespace plm::test {
namespace {

void put16(Bytes& out, int32_t value) {
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

uint8_t toBcd(int value) {
    return static_cast<uint8_t>(((value / 10) % 10) << 4 | (value % 10));
}

void appendHexLine(std::string& out, const Bytes& block, const std::string& lineEnd) {
    static const char digits[] = "0123456789ABCDEF";
    for (uint8_t b : block) {
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    out += lineEnd;
}

}  // namespace

std::vector<Bytes> MeasurementBlocks::blocks() const {
    std::vector<Bytes> out{count, header, contacts};
    if (!voltageCurrent.empty())
        out.push_back(voltageCurrent);
    out.push_back(endCode);
    return out;
}

void MeasurementBlocks::recount() {
    count.clear();
    put16(count, static_cast<int32_t>(36 + contacts.size() + voltageCurrent.size()));
}

Bytes headerBlock(const model::MeasurementRecord& r) {
    Bytes out;
    put16(out, r.dataNo);
    out.push_back(static_cast<uint8_t>(r.opSignal));
    out.push_back(static_cast<uint8_t>(r.triggerDetect));
    out.push_back(static_cast<uint8_t>((r.measureType << 4) | (r.signalAcDc & 0x0F)));
    int mask = r.noiseMask == 1 ? 0x02 : r.noiseMask == 2 ? 0x06 : 0;
    out.push_back(static_cast<uint8_t>((r.measureOpe << 4) | mask | (r.chattering & 1)));
    out.push_back(static_cast<uint8_t>(r.measTime));
    out.push_back(static_cast<uint8_t>(r.measPeriod));
    for (int32_t value : r.chSetting)
        put16(out, value);
    support::CalendarFields f;
    if (r.dateValid() && support::oleToFields(r.testDateTime.value, f)) {
        for (int v : {f.year - 2000, f.month, f.day, f.hour, f.minute, f.second}) {
            out.push_back(toBcd(v));
        }
    } else {
        out.insert(out.end(), 6, 0);
    }
    return out;
}

Bytes voltageCurrentBlock(const model::MeasurementRecord& r) {
    Bytes out;
    if (r.vcValue == 0 && r.vcEndValue == 0)
        return out;
    put16(out, r.vcValue);
    put16(out, r.vcEndValue);
    return out;
}

std::vector<MeasurementBlocks> transferBlocks(
    const std::vector<model::MeasurementRecord>& records) {
    std::vector<MeasurementBlocks> out;
    for (size_t i = 0; i < records.size(); ++i) {
        MeasurementBlocks m;
        m.header = headerBlock(records[i]);
        m.contacts.assign(records[i].contacts.begin(), records[i].contacts.end());
        m.voltageCurrent = voltageCurrentBlock(records[i]);
        m.endCode = Bytes(4, i + 1 == records.size() ? 0x00 : 0xFF);
        m.recount();
        out.push_back(std::move(m));
    }
    return out;
}

Bytes streamBytes(const std::vector<MeasurementBlocks>& measurements) {
    Bytes out;
    for (const auto& m : measurements) {
        for (const Bytes& block : m.blocks())
            out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::string capturedText(const std::vector<MeasurementBlocks>& measurements,
                         const std::string& lineEnd) {
    std::string out;
    for (const auto& m : measurements) {
        for (const Bytes& block : m.blocks())
            appendHexLine(out, block, lineEnd);
    }
    return out;
}

std::string capturedText(const std::vector<model::MeasurementRecord>& records) {
    return capturedText(transferBlocks(records));
}

model::MeasurementRecord makeRecord(int dataNo, int measTime, int measPeriod) {
    model::MeasurementRecord r;
    r.dataNo = dataNo;
    r.measTime = measTime;
    r.measPeriod = measPeriod;
    support::CalendarFields f;
    f.year = 2015;
    f.month = 1;
    f.day = 6;
    f.hour = 5;
    f.minute = 56;
    f.second = 52;
    support::fieldsToOle(f, r.testDateTime.value);
    r.testDateTime.status = support::DateStatus::Valid;
    r.contacts.assign(r.expectedSampleCount(), 0);
    return r;
}

void setChannel(model::MeasurementRecord& record, int channel, int initial,
                const std::vector<int64_t>& changes) {
    int state = initial;
    size_t next = 0;
    auto bit = static_cast<uint8_t>(1u << channel);
    for (size_t i = 0; i < record.contacts.size(); ++i) {
        while (next < changes.size() && changes[next] == static_cast<int64_t>(i)) {
            state ^= 1;
            ++next;
        }
        record.contacts[i] = state ? (record.contacts[i] | bit) : (record.contacts[i] & ~bit);
    }
}

}  // namespace plm::test
