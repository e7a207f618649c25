#include "model/data_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/archive_io.h"
#include "model/data_file_scan.h"
#include "support/text_codec.h"
#include "tree_test_util.h"

namespace plm::model {
namespace {

using test::Bytes;

// Every test here reads with the default device type, 8 channels.
class DataFileFormat : public ::testing::Test {};

CustomerTree oneRecordTree(MeasurementRecord record, const std::string& customer = "c") {
    CustomerTree tree;
    findOrAddMeasurementName(tree, customer, "t", "n").records.append(std::move(record));
    return tree;
}

// The record block of test::richRecord(1, 3), written out from the field table.
Bytes richRecordBlock(int version) {
    Bytes b;
    b.u16(3).u8(31 + 0).u8(31 + 7).u8(31 + 14);  // contacts
    for (int32_t v : {1, 2, 3, 4, 5, 6, 7})
        b.i32(v);  // dataNo .. measPeriod
    for (int32_t v = 100; v < 108; ++v)
        b.i32(v);  // chSetting
    b.i32(0).f64(test::dateAt(2008, 4, 2, 13, 5, 1).value);
    b.i32(-11).i32(12);
    if (version >= 2)
        b.i32(13).i32(14);
    if (version >= 6)
        b.i32(15);
    b.i32(3);                                                     // devType
    b.f64(2.25).f64(1.25).f64(2.5).f64(1.5).f64(2.75).f64(1.75);  // vacuum/sesshoku R, S, T
    b.str("weather1").f64(21.5).f64(41.5).str("comment1");
    b.str("type1").str("maker1").str("num1").str("date1");
    for (int i = 10; i < 18; ++i)
        b.str("ch" + std::to_string(i));
    return b;
}

TEST_F(DataFileFormat, EmptyTreeIsThe64ByteFile) {
    const std::string expected =
        std::string("\x21sd5c16-20070831-sd56s0c-t6b510aD6", 34) + std::string(
                                                                       "\x06\0\0\0"
                                                                       "\x01\0\0\0"
                                                                       "\x00\x96\0\0"
                                                                       "\x08\0\0\0"
                                                                       "\0\0\0\0"
                                                                       "\0\0\0\0"
                                                                       "\x01\0\0\0"
                                                                       "\0\0",
                                                                       30);
    std::string bytes = writeDataFile(CustomerTree{});
    EXPECT_EQ(bytes.size(), 64u);
    EXPECT_EQ(bytes, expected);
}

TEST_F(DataFileFormat, RecordItemsAreWrittenInFileOrder) {
    Bytes expected;
    expected.header(6, 1).str("c").u16(1).str("t").u16(1).str("n").u16(1);
    expected.raw(richRecordBlock(6).s);
    EXPECT_EQ(writeDataFile(oneRecordTree(test::richRecord(1, 3))), expected.s);
}

TEST_F(DataFileFormat, StringLengthPrefixes) {
    struct Case {
        size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, std::string("\x00", 1)},
        {254, "\xFE"},
        {255, std::string("\xFF\xFF\x00", 3)},
        {300, std::string("\xFF\x2C\x01", 3)},
        {0xFFFD, "\xFF\xFD\xFF"},
        {0xFFFE, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
        {70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
    };
    for (const auto& c : cases) {
        CustomerTree tree;
        const std::string name(c.length, 'x');
        tree.customers.findOrAdd(name);
        std::string bytes = writeDataFile(tree);
        EXPECT_EQ(bytes.substr(64, c.prefix.size()), c.prefix) << c.length;
        EXPECT_EQ(bytes.size(), 64 + c.prefix.size() + c.length + 2) << c.length;

        CustomerTree back;
        ASSERT_EQ(readDataFile(bytes, back), ReadStatus::Ok);
        EXPECT_EQ(back.customers.at(0).name, name);
    }
}

TEST_F(DataFileFormat, SampleCountPrefixes) {
    struct Case {
        size_t samples;
        std::string prefix;
    };
    const Case cases[] = {
        {0, std::string("\x00\x00", 2)},
        {0xFFFE, "\xFE\xFF"},
        {0xFFFF, std::string("\xFF\xFF\xFF\xFF\x00\x00", 6)},
        {70000, std::string("\xFF\xFF\x70\x11\x01\x00", 6)},
    };
    const size_t recordAt = 64 + 2 + 2 + 2 + 2 + 2 + 2;  // names "c", "t", "n" and their counts
    for (const auto& c : cases) {
        MeasurementRecord record;
        record.contacts.assign(c.samples, 0x5A);
        std::string bytes = writeDataFile(oneRecordTree(record));
        EXPECT_EQ(bytes.substr(recordAt, c.prefix.size()), c.prefix) << c.samples;

        CustomerTree back;
        ASSERT_EQ(readDataFile(bytes, back), ReadStatus::Ok);
        EXPECT_EQ(findMeasurementName(back, "c", "t", "n")->records.at(0).contacts,
                  record.contacts);
    }
}

TEST_F(DataFileFormat, RoundTripKeepsEveryItemAndName) {
    CustomerTree tree;
    tree.lineSettings = {7, 9600, 7, 2, 1, 0};
    const std::string names[] = {
        "",
        std::string(300, 'N'),
        support::sj("表ソ能"),   // trail bytes 0x5C
        "\x81\x20\xFF\x80\xA0",  // not valid CP932: kept as bytes
        support::sj("需要家Ａ"),
    };
    int seed = 0;
    for (const auto& customer : names) {
        for (const auto& circuit : {std::string("t1"), names[2]}) {
            auto& list = findOrAddMeasurementName(tree, customer, circuit, names[3]).records;
            list.append(test::richRecord(seed++));
            list.append(test::richRecord(seed++, 0));
        }
    }
    const std::string bytes = writeDataFile(tree);
    CustomerTree back;
    ASSERT_EQ(readDataFile(bytes, back), ReadStatus::Ok);
    EXPECT_EQ(back.lineSettings, tree.lineSettings);
    EXPECT_EQ(writeDataFile(back), bytes);
    ASSERT_EQ(back.customers.count(), 5);
    for (const auto& customer : names) {
        const auto* loaded = findMeasurementName(back, customer, names[2], names[3]);
        const auto* original = findMeasurementName(tree, customer, names[2], names[3]);
        ASSERT_TRUE(loaded && original);
        EXPECT_EQ(back.customers.get(customer)->name, customer);
        EXPECT_EQ(loaded->name, names[3]);
        EXPECT_TRUE(loaded->records == original->records);
    }
}

TEST_F(DataFileFormat, OlderVersionsLackTheLaterItems) {
    for (int version : {1, 2, 5}) {
        Bytes file;
        file.header(version, 1).str("c").u16(1).str("t").u16(1).str("n").u16(1);
        file.raw(richRecordBlock(version).s);
        CustomerTree tree;
        ASSERT_EQ(readDataFile(file.s, tree), ReadStatus::Ok) << version;
        const MeasurementRecord& r = findMeasurementName(tree, "c", "t", "n")->records.at(0);
        MeasurementRecord expected = test::richRecord(1, 3);
        if (version < 2)
            expected.measureType = expected.measureOpe = 0;
        if (version < 6)
            expected.noiseMask = 0;
        EXPECT_TRUE(r == expected) << version;

        // Saved again it is a version 6 file with those items present.
        Bytes v6;
        v6.header(6, 1).str("c").u16(1).str("t").u16(1).str("n").u16(1);
        Bytes block = richRecordBlock(6);
        const size_t optionalAt = 2 + 3 + 7 * 4 + 8 * 4 + 4 + 8 + 8;
        std::string items =
            Bytes().i32(expected.measureType).i32(expected.measureOpe).i32(expected.noiseMask).s;
        block.s.replace(optionalAt, 12, items);
        v6.raw(block.s);
        EXPECT_EQ(writeDataFile(tree), v6.s) << version;
    }
}

TEST_F(DataFileFormat, StoredDeviceTypeGivesWayToTheConfiguredOne) {
    std::string bytes = writeDataFile(oneRecordTree(test::richRecord(1, 3)));
    CustomerTree tree;
    tree.devType = 1;
    ASSERT_EQ(readDataFile(bytes, tree), ReadStatus::Ok);
    EXPECT_EQ(findMeasurementName(tree, "c", "t", "n")->records.at(0).cond.devType, 1);
}

TEST_F(DataFileFormat, WideStringsAreReadAsCp932) {
    // "需要" and U+1F600 (no CP932 form) as UTF-16LE, in the reader-only form.
    const std::string units("\x00\x97\x81\x89\x3D\xD8\x00\xDE", 8);
    Bytes file;
    file.header(6, 1).u8(0xFF).u16(0xFFFE).u8(4).raw(units).u16(0);
    CustomerTree tree;
    ASSERT_EQ(readDataFile(file.s, tree), ReadStatus::Ok);
    EXPECT_EQ(tree.customers.at(0).name, support::sj("需要") + "?");
}

TEST_F(DataFileFormat, NameStoredTwiceIsJoinedUnderTheFirstSpelling) {
    Bytes file;
    file.header(6, 2).str("Tokyo").u16(1).str("first").u16(0);
    file.str("TOKYO").u16(1).str("second").u16(0);
    CustomerTree tree;
    ASSERT_EQ(readDataFile(file.s, tree), ReadStatus::Ok);
    ASSERT_EQ(tree.customers.count(), 1);
    EXPECT_EQ(tree.customers.at(0).name, "Tokyo");
    ASSERT_EQ(tree.customers.at(0).circuits.count(), 2);
    EXPECT_EQ(tree.customers.at(0).circuits.at(0).name, "first");
    EXPECT_EQ(tree.customers.at(0).circuits.at(1).name, "second");
}

TEST_F(DataFileFormat, SignatureAndVersionAreCheckedAfterBothAreRead) {
    CustomerTree tree;
    EXPECT_EQ(readDataFile(Bytes().header(0, 0).s, tree), ReadStatus::BadVersion);
    EXPECT_EQ(readDataFile(Bytes().header(7, 0).s, tree), ReadStatus::BadVersion);
    std::string wrong = Bytes().header(6, 0).s;
    wrong[5] = 'X';
    EXPECT_EQ(readDataFile(wrong, tree), ReadStatus::BadSignature);
    // Too short to hold the version: malformed, not a foreign file.
    EXPECT_THROW(readDataFile(wrong.substr(0, 30), tree), ArchiveError);
    EXPECT_THROW(readDataFile("", tree), ArchiveError);
}

// Counts and lengths claiming gigabytes must fail on the bytes left, quickly
// and without sizing anything from the claim.
TEST_F(DataFileFormat, HugeCountsFailWithoutAllocating) {
    const std::string big32("\xFF\xFF\xFF\x7F", 4);
    const std::string cases[] = {
        Bytes().header(6, 0xFFFF).raw(big32).s,                  // customers
        Bytes().header(6, 1).str("c").u16(0xFFFF).raw(big32).s,  // circuits
        Bytes().header(6, 1).str("c").u16(1).str("t").u16(1).str("n").u16(0xFFFF).raw(big32).s,
        Bytes()
            .header(6, 1)
            .str("c")
            .u16(1)
            .str("t")
            .u16(1)
            .str("n")
            .u16(1)
            .u16(0xFFFF)
            .raw(big32)
            .s,
        Bytes().header(6, 1).u8(0xFF).u16(0xFFFF).raw(big32).s,                       // name length
        Bytes().header(6, 1).u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).raw(big32).s,  // wide
        Bytes().header(6, 1).str("c").u16(1).str("t").u16(1).str("n").u16(60000).s,
    };
    auto start = std::chrono::steady_clock::now();
    for (const auto& bytes : cases) {
        CustomerTree tree;
        EXPECT_THROW(readDataFile(bytes, tree), ArchiveError);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// Every prefix and every single-byte change of a small file either reads or
// fails with ArchiveError: nothing else escapes, nothing crashes.
TEST_F(DataFileFormat, TruncatedAndFlippedBytesFailCleanly) {
    CustomerTree tree;
    findOrAddMeasurementName(tree, "A", "t", "n").records.append(test::richRecord(1, 3));
    findOrAddMeasurementName(tree, "B", "t", "n").records.append(test::richRecord(2, 2));
    const std::string bytes = writeDataFile(tree);
    for (size_t n = 0; n < bytes.size(); ++n) {
        CustomerTree back;
        EXPECT_THROW(readDataFile(std::string_view(bytes).substr(0, n), back), ArchiveError) << n;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (uint8_t mask : {0x01, 0x80, 0xFF}) {
            std::string flipped = bytes;
            flipped[i] = static_cast<char>(flipped[i] ^ mask);
            CustomerTree back;
            try {
                readDataFile(flipped, back);
            } catch (const ArchiveError&) {
            }
        }
    }
}

// Two names of one customer, a second customer, the first stored again
// under other letter case (joined into the first) and a third customer.
std::string scanFixture(int version) {
    const std::string record = richRecordBlock(version).s;
    Bytes file;
    file.header(version, 4);
    file.str("A").u16(2).str("t").u16(1).str("n").u16(2).raw(record).raw(record);
    file.str("u").u16(1).str("m").u16(1).raw(record);
    file.str("B").u16(1).str("t").u16(1).str("n").u16(1).raw(record);
    file.str("a").u16(1).str("t").u16(2).str("n").u16(3).raw(record).raw(record).raw(record);
    file.str("x").u16(0);
    file.str("C").u16(1).str("t").u16(1).str("n").u16(1).raw(record);
    return file.s;
}

// How a read ended: the status, the archive failure's text, or the names
// with their record counts.
std::string outcome(const std::function<ReadStatus()>& read,
                    const std::function<std::string()>& describe) {
    try {
        const ReadStatus status = read();
        return status == ReadStatus::Ok ? describe() : "status " + std::to_string(int(status));
    } catch (const ArchiveError& e) {
        return std::string("error ") + e.what();
    }
}

std::string describeTree(const CustomerTree& tree) {
    std::string out;
    for (const Customer& c : tree.customers)
        for (const TestCircuit& t : c.circuits)
            for (const MeasurementName& n : t.names)
                out += c.name + "/" + t.name + "/" + n.name + ":" +
                       std::to_string(n.records.count()) + " ";
    return out;
}

std::string describeOutline(const DataFileOutline& outline) {
    std::string out;
    for (const ScannedCustomer& c : outline.customers)
        for (const ScannedCircuit& t : c.circuits)
            for (const ScannedName& n : t.names)
                out += c.name + "/" + t.name + "/" + n.name + ":" + std::to_string(n.recordCount) +
                       " ";
    return out;
}

struct ScanCase {
    const char* what;
    ScanSelection selection;
    std::vector<std::string> kept;  // "customer/circuit/name/index" of every kept record
    int visits = 0;                 // records handed to the selection's visitor
    std::shared_ptr<std::vector<MeasurementRecord>> visited = {};
};

// A selection that hands every record of customer "a" to a visitor.
ScanCase visiting(const char* what, int visits) {
    ScanCase c{what,
               ScanSelection::wholeCustomer("a"),
               {},
               visits,
               std::make_shared<std::vector<MeasurementRecord>>()};
    c.selection.visitIf = [](const MeasurementRecord& r) { return r.dataNo >= 0; };
    c.selection.visit = [seen = c.visited](const ScannedPlace&, const MeasurementRecord& r) {
        seen->push_back(r);
    };
    return c;
}

// Every record of every customer to a visitor that drops it.
ScanSelection visitEvery(RecordParts parts) {
    ScanSelection s;
    s.keepRecords = true;
    s.visit = [](const ScannedPlace&, MeasurementRecord&&) {};
    s.visitParts = parts;
    return s;
}

std::vector<ScanCase> scanCases() {
    return {
        visiting("every record visited", 6),
        {"visited whole", visitEvery(RecordParts::Whole), {}},
        {"visited header only", visitEvery(RecordParts::HeaderOnly), {}},
        {"outline", ScanSelection::outline(), {}},
        {"one record", ScanSelection::oneRecord("A", "T", "n", 3), {"A/t/n/3"}},
        {"record past the end", ScanSelection::oneRecord("B", "t", "n", 1), {}},
        {"whole customer",
         ScanSelection::wholeCustomer("a"),
         {"A/t/n/0", "A/t/n/1", "A/t/n/2", "A/t/n/3", "A/t/n/4", "A/u/m/0"}},
    };
}

TEST_F(DataFileFormat, ScanKeepsOnlyTheSelectedRecordsOfWhatALoadBuilds) {
    for (int version : {1, 6}) {
        const std::string bytes = scanFixture(version);
        CustomerTree tree;
        ASSERT_EQ(readDataFile(bytes, tree), ReadStatus::Ok);
        for (const ScanCase& c : scanCases()) {
            MemoryReader in(bytes);
            DataFileOutline outline;
            ASSERT_EQ(scanDataFile(in, c.selection, outline), ReadStatus::Ok);
            EXPECT_EQ(describeOutline(outline), describeTree(tree)) << c.what;
            std::vector<std::string> kept;
            for (const ScannedCustomer& cu : outline.customers)
                for (const ScannedCircuit& t : cu.circuits)
                    for (const ScannedName& n : t.names)
                        for (uint32_t i = 0; i < n.recordCount; ++i)
                            if (const MeasurementRecord* r = n.record(i)) {
                                kept.push_back(cu.name + "/" + t.name + "/" + n.name + "/" +
                                               std::to_string(i));
                                EXPECT_TRUE(*r == findMeasurementName(tree, cu.name, t.name, n.name)
                                                      ->records.at(static_cast<int>(i)))
                                    << c.what;
                            }
            EXPECT_EQ(kept, c.kept) << c.what << " version " << version;
        }
    }
}

// A visitor gets each selected record as it is read, under the names as
// read, with the parts it asked for and nothing kept.
TEST_F(DataFileFormat, AVisitorGetsEverySelectedRecordWithThePartsItAskedFor) {
    for (int version : {1, 6}) {
        const std::string bytes = scanFixture(version);
        CustomerTree tree;
        ASSERT_EQ(readDataFile(bytes, tree), ReadStatus::Ok);
        const MeasurementRecord& whole = findMeasurementName(tree, "A", "t", "n")->records.at(0);
        for (const RecordParts parts :
             {RecordParts::Whole, RecordParts::WithoutSamples, RecordParts::HeaderOnly}) {
            ScanSelection selection = ScanSelection::wholeCustomer("a");
            std::vector<std::string> visited;
            selection.visit = [&](const ScannedPlace& place, MeasurementRecord&& record) {
                visited.push_back(place.customer + "/" + place.circuit + "/" + place.name + "/" +
                                  std::to_string(place.index));
                MeasurementRecord expected = whole;
                if (parts != RecordParts::Whole)
                    expected.contacts = MeasurementRecord().contacts;
                if (parts == RecordParts::HeaderOnly) {
                    // The strings, temperature and humidity after the header are passed over.
                    expected.cond = MeasurementRecord().cond;
                    expected.cond.devType = whole.cond.devType;
                    expected.cond.vacuum = whole.cond.vacuum;
                    expected.cond.sesshoku = whole.cond.sesshoku;
                }
                EXPECT_TRUE(record == expected) << version << " " << static_cast<int>(parts);
            };
            selection.visitParts = parts;
            MemoryReader in(bytes);
            DataFileOutline outline;
            ASSERT_EQ(scanDataFile(in, selection, outline), ReadStatus::Ok);
            EXPECT_EQ(visited, (std::vector<std::string>{"A/t/n/0", "A/t/n/1", "A/u/m/0", "a/t/n/0",
                                                         "a/t/n/1", "a/t/n/2"}));
            EXPECT_EQ(describeOutline(outline), describeTree(tree));
            EXPECT_TRUE(outline.find("A", "t", "n")->kept.empty());
        }
    }
}

// Whatever damage a file has, kept or passed over, a scan ends exactly as a
// full read does: the same status, or the same archive failure at the same
// offset.
TEST_F(DataFileFormat, ScanFailsWhereAndHowTheFullReadFails) {
    for (int version : {1, 6}) {
        const std::string bytes = scanFixture(version);
        auto compare = [&](std::string_view damaged, const std::string& label) {
            CustomerTree tree;
            const std::string expected = outcome([&] { return readDataFile(damaged, tree); },
                                                 [&] { return describeTree(tree); });
            for (const ScanCase& c : scanCases()) {
                MemoryReader in(damaged);
                DataFileOutline outline;
                EXPECT_EQ(outcome([&] { return scanDataFile(in, c.selection, outline); },
                                  [&] { return describeOutline(outline); }),
                          expected)
                    << label << ", " << c.what << ", version " << version;
            }
        };
        for (size_t n = 0; n < bytes.size(); ++n)
            compare(std::string_view(bytes).substr(0, n), "cut at " + std::to_string(n));
        for (size_t i = 0; i < bytes.size(); ++i) {
            for (uint8_t mask : {0x01, 0x80, 0xFF}) {
                std::string flipped = bytes;
                flipped[i] = static_cast<char>(flipped[i] ^ mask);
                compare(flipped, "byte " + std::to_string(i) + " ^ " + std::to_string(mask));
            }
        }
    }
}

// Hands the bytes over `chunk` at a time, the way a file is read through
// its buffer, so that every item can straddle a refill.
class ChunkedReader : public ArchiveReader {
  public:
    ChunkedReader(std::string_view bytes, size_t chunk)
        : ArchiveReader(bytes.size()), bytes_(bytes), chunk_(chunk) {}

  protected:
    bool refill() override {
        if (next_ == bytes_.size())
            return false;
        const size_t n = std::min(chunk_, bytes_.size() - next_);
        pos_ = reinterpret_cast<const uint8_t*>(bytes_.data() + next_);
        end_ = pos_ + n;
        next_ += n;
        return true;
    }
    void restart() override {
        pos_ = end_ = nullptr;
        next_ = 0;
    }

  private:
    std::string_view bytes_;
    size_t chunk_;
    size_t next_ = 0;
};

// Items that straddle a refill are read and passed over as whole ones are:
// the same tree, or the same failure at the same offset.
TEST_F(DataFileFormat, ReadsAcrossRefillsEndAsReadsFromMemory) {
    Bytes longStrings;
    longStrings.header(6, 4).str("A").u16(1).str(std::string(300, 't')).u16(1);
    longStrings.str("n").u16(1).raw(richRecordBlock(6).s);
    const std::vector<std::string> files = {scanFixture(1), scanFixture(6), longStrings.s};
    auto expectSameEnd = [](std::string_view bytes, const std::string& label) {
        auto read = [](ArchiveReader& in) {
            CustomerTree tree;
            return outcome([&] { return readDataFile(in, tree); },
                           [&] { return writeDataFile(tree); });
        };
        auto scan = [](ArchiveReader& in) {
            DataFileOutline outline;
            return outcome([&] { return scanDataFile(in, ScanSelection::outline(), outline); },
                           [&] { return describeOutline(outline); });
        };
        MemoryReader wholeRead(bytes), wholeScan(bytes);
        const std::string expectedRead = read(wholeRead), expectedScan = scan(wholeScan);
        for (size_t chunk : {1, 2, 3, 7, 64}) {
            ChunkedReader chunkedRead(bytes, chunk), chunkedScan(bytes, chunk);
            EXPECT_EQ(read(chunkedRead), expectedRead) << label << ", chunks of " << chunk;
            EXPECT_EQ(scan(chunkedScan), expectedScan) << label << ", chunks of " << chunk;
        }
    };
    for (const std::string& bytes : files) {
        expectSameEnd(bytes, "whole file");
        for (size_t n = 0; n < bytes.size(); n += 5)
            expectSameEnd(std::string_view(bytes).substr(0, n), "cut at " + std::to_string(n));
        for (size_t i = 0; i < bytes.size(); ++i) {
            std::string flipped = bytes;
            flipped[i] = static_cast<char>(flipped[i] ^ 0xFF);
            expectSameEnd(flipped, "byte " + std::to_string(i) + " ^ 0xFF");
        }
    }
}

}  // namespace
}  // namespace plm::model
