#include "model/data_file.h"

#include <cstring>

#include "model/archive_io.h"
#include "model/name_join.h"

namespace plm::model {
namespace {

// The header items from dataNo to devType and the six phase values: the
// fixed-size run of a record between its samples and its weather string.
constexpr uint64_t fixedRecordBytes(int32_t version) {
    const uint64_t optional = (version >= 2 ? 8 : 0) + (version >= 6 ? 4 : 0);
    return 7 * 4 + 8 * 4 + 4 + 8 + 2 * 4 + optional + 4 + 6 * 8;
}

// The fixed-size run is read and written in one piece: a record holds some
// forty numbers, and a call for each is what the load and save of a large
// file would spend their time on.
class FixedRun {
  public:
    FixedRun() = default;
    FixedRun(ArchiveReader& in, int32_t version) { in.read(bytes_, fixedRecordBytes(version)); }

    int32_t i32() {
        int32_t v;
        take(&v, sizeof v);
        return v;
    }
    double f64() {
        double v;
        take(&v, sizeof v);
        return v;
    }
    void put(int32_t v) { give(&v, sizeof v); }
    void put(double v) { give(&v, sizeof v); }
    void writeTo(ArchiveWriter& out) const { out.raw(bytes_, at_); }

  private:
    void take(void* out, size_t n) {
        std::memcpy(out, bytes_ + at_, n);
        at_ += n;
    }
    void give(const void* in, size_t n) {
        std::memcpy(bytes_ + at_, in, n);
        at_ += n;
    }

    uint8_t bytes_[fixedRecordBytes(kDataFileVersion)];
    size_t at_ = 0;
};

void readConditionStrings(ArchiveReader& in, TestConditions& c) {
    c.weather = in.string();
    c.temp = in.f64();
    c.hum = in.f64();
    c.comment = in.string();
    c.mcType = in.string();
    c.mcMaker = in.string();
    c.mcNum = in.string();
    c.mcDate = in.string();
    for (auto& comment : c.chComment)
        comment = in.string();
}

void skipConditionStrings(ArchiveReader& in) {
    in.skipString();  // weather
    in.skip(2 * 8);   // temp, hum
    for (int i = 0; i < 5 + 8; ++i)
        in.skipString();  // comment, the breaker strings, the channel comments
}

}  // namespace

// The fewest bytes a block can take, used to check a count from the file
// against the bytes left before anything is sized from it.
uint64_t minRecordBytes(int32_t version) {
    const uint64_t strings = 1 + 1 + 4 + 8;  // weather, comment, breaker strings, channel comments
    return 2 + fixedRecordBytes(version) + 2 * 8 + strings;
}

uint32_t checkedCount(ArchiveReader& in, uint64_t minBlock, const char* what) {
    uint32_t n = in.count();
    in.require(uint64_t{n} * minBlock, what);
    return n;
}

void readRecord(ArchiveReader& in, int32_t version, MeasurementRecord& r, int32_t devType,
                RecordParts parts) {
    const uint32_t count = in.count();
    in.require(count, "byte array");
    if (parts == RecordParts::Whole)
        r.contacts = ContactSamples::filled(count, [&](uint8_t* out) { in.read(out, count); });
    else
        in.skipBytes(count);
    readRecordAfterSamples(in, version, r, devType, parts);
}

void readRecordSamples(ArchiveReader& in, std::vector<uint8_t>& samples) {
    const uint32_t n = in.count();
    in.require(n, "byte array");
    samples.resize(n);
    in.read(samples.data(), n);
}

void readRecordAfterSamples(ArchiveReader& in, int32_t version, MeasurementRecord& r,
                            int32_t devType, RecordParts parts) {
    FixedRun run(in, version);
    r.dataNo = run.i32();
    r.opSignal = run.i32();
    r.triggerDetect = run.i32();
    r.signalAcDc = run.i32();
    r.chattering = run.i32();
    r.measTime = run.i32();
    r.measPeriod = run.i32();
    for (auto& value : r.chSetting)
        value = run.i32();
    r.testDateTime.status = static_cast<support::DateStatus>(run.i32());
    r.testDateTime.value = run.f64();
    r.vcValue = run.i32();
    r.vcEndValue = run.i32();
    if (version >= 2) {
        r.measureType = run.i32();
        r.measureOpe = run.i32();
    }
    if (version >= 6)
        r.noiseMask = run.i32();
    TestConditions& c = r.cond;
    run.i32();  // the stored device type gives way to the configured one
    c.devType = devType;
    for (int phase = 0; phase < 3; ++phase) {
        c.vacuum[phase] = run.f64();
        c.sesshoku[phase] = run.f64();
    }
    if (parts == RecordParts::HeaderOnly)
        skipConditionStrings(in);
    else
        readConditionStrings(in, c);
}

// Walks the same items as readRecord, so a damaged record fails the same way
// whether it is read or passed over.
void skipRecord(ArchiveReader& in, int32_t version) {
    in.skipBytes(in.count());
    in.skip(fixedRecordBytes(version));
    skipConditionStrings(in);
}

ReadStatus readPreamble(ArchiveReader& in, int32_t& version) {
    // Both are read before either is compared: a file too short for them is
    // an archive failure, not an unknown file.
    std::string signature = in.string();
    version = in.i32();
    if (signature != kDataFileSignature)
        return ReadStatus::BadSignature;
    if (version < 1 || version > kDataFileVersion)
        return ReadStatus::BadVersion;
    return ReadStatus::Ok;
}

void readLineSettings(ArchiveReader& in, LineSettings& line) {
    for (int32_t* v :
         {&line.port, &line.baud, &line.byteSize, &line.stopBits, &line.parity, &line.flow}) {
        *v = in.i32();
    }
}

namespace {

void readName(ArchiveReader& in, int32_t version, int32_t devType, MeasurementName& node) {
    uint32_t n = checkedCount(in, minRecordBytes(version), "record list");
    // Read in place, over copies of one fresh record (its items that older
    // versions lack stay as a new record has them): a large file holds
    // hundreds of thousands of records.
    std::vector<MeasurementRecord> records(n, MeasurementRecord());
    for (MeasurementRecord& record : records)
        readRecord(in, version, record, devType);
    node.records = RecordList(std::move(records));
}

void readCircuit(ArchiveReader& in, int32_t version, int32_t devType, TestCircuit& node,
                 NameJoins& joins, const std::string& path) {
    uint32_t n = checkedCount(in, kMinNamedBlock, "measurement names");
    for (uint32_t i = 0; i < n; ++i) {
        MeasurementName child;
        child.name = in.string();
        readName(in, version, devType, child);
        addJoining(node.names, std::move(child), joins, &path, &path);
    }
}

void readCustomer(ArchiveReader& in, int32_t version, int32_t devType, Customer& node,
                  NameJoins& joins) {
    uint32_t n = checkedCount(in, kMinNamedBlock, "test circuits");
    for (uint32_t i = 0; i < n; ++i) {
        TestCircuit child;
        child.name = in.string();
        readCircuit(in, version, devType, child, joins, childPath(&node.name, child.name));
        addJoining(node.circuits, std::move(child), joins, &node.name, &node.name);
    }
}

void writeRecord(ArchiveWriter& out, const MeasurementRecord& r) {
    out.count(r.contacts.size());
    out.raw(r.contacts.data(), r.contacts.size());
    FixedRun run;
    for (int32_t v : {r.dataNo, r.opSignal, r.triggerDetect, r.signalAcDc, r.chattering, r.measTime,
                      r.measPeriod}) {
        run.put(v);
    }
    for (int32_t v : r.chSetting)
        run.put(v);
    run.put(static_cast<int32_t>(r.testDateTime.status));
    run.put(r.testDateTime.value);
    for (int32_t v :
         {r.vcValue, r.vcEndValue, r.measureType, r.measureOpe, r.noiseMask, r.cond.devType}) {
        run.put(v);
    }
    const TestConditions& c = r.cond;
    for (int phase = 0; phase < 3; ++phase) {
        run.put(c.vacuum[phase]);
        run.put(c.sesshoku[phase]);
    }
    run.writeTo(out);
    out.string(c.weather);
    out.f64(c.temp);
    out.f64(c.hum);
    for (const std::string* s : {&c.comment, &c.mcType, &c.mcMaker, &c.mcNum, &c.mcDate}) {
        out.string(*s);
    }
    for (const auto& comment : c.chComment)
        out.string(comment);
}

void writeCustomer(ArchiveWriter& out, const Customer& customer) {
    out.string(customer.name);
    out.count(customer.circuits.count());
    for (const TestCircuit& circuit : customer.circuits) {
        out.string(circuit.name);
        out.count(circuit.names.count());
        for (const MeasurementName& name : circuit.names) {
            out.string(name.name);
            out.count(name.records.count());
            for (const MeasurementRecord& record : name.records)
                writeRecord(out, record);
        }
    }
}

}  // namespace

ReadStatus readDataFile(ArchiveReader& in, CustomerTree& tree, NameJoins& joins) {
    tree.customers.clear();
    joins.clear();
    int32_t version = 0;
    if (ReadStatus status = readPreamble(in, version); status != ReadStatus::Ok)
        return status;
    readLineSettings(in, tree.lineSettings);
    uint32_t n = checkedCount(in, kMinNamedBlock, "customers");
    for (uint32_t i = 0; i < n; ++i) {
        Customer customer;
        customer.name = in.string();
        readCustomer(in, version, tree.devType, customer, joins);
        addJoining(tree.customers, std::move(customer), joins);
    }
    in.requireEnd("the last customer");
    return ReadStatus::Ok;
}

ReadStatus readDataFile(ArchiveReader& in, CustomerTree& tree) {
    NameJoins joins;
    return readDataFile(in, tree, joins);
}

ReadStatus readDataFile(std::string_view bytes, CustomerTree& tree) {
    MemoryReader in(bytes);
    return readDataFile(in, tree);
}

void writeDataFile(const CustomerTree& tree, ArchiveWriter& writer) {
    writer.string(kDataFileSignature);
    writer.i32(kDataFileVersion);
    const LineSettings& line = tree.lineSettings;
    for (int32_t v : {line.port, line.baud, line.byteSize, line.stopBits, line.parity, line.flow}) {
        writer.i32(v);
    }
    writer.count(tree.customers.count());
    for (const Customer& customer : tree.customers)
        writeCustomer(writer, customer);
}

std::string writeDataFile(const CustomerTree& tree) {
    ArchiveWriter counter(nullptr);
    writeDataFile(tree, counter);
    std::string out;
    out.reserve(counter.size());
    ArchiveWriter writer(&out);
    writeDataFile(tree, writer);
    return out;
}

}  // namespace plm::model
