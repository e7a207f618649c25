#include "model/data_file_scan.h"

#include <algorithm>

#include "model/archive_io.h"
#include "model/name_compare.h"
#include "model/name_join.h"

namespace plm::model {
namespace {

bool matches(const std::optional<std::string>& wanted, const std::string& name) {
    return !wanted || compareNames(*wanted, name) == 0;
}

// Walks the tree part of the file in the order readDataFile does, with the
// same count checks, keeping records only under the selected names.
class Scanner {
  public:
    Scanner(ArchiveReader& in, int32_t version, int32_t devType, const ScanSelection& selection,
            NameJoins& joins)
        : in_(in), version_(version), devType_(devType), selection_(selection), joins_(joins) {}

    void customers(NamedCollection<ScannedCustomer>& out) {
        const uint32_t n = checkedCount(in_, kMinNamedBlock, "customers");
        for (uint32_t i = 0; i < n; ++i) {
            ScannedCustomer customer;
            customer.name = in_.string();
            customer_ = &customer.name;
            circuits(customer.circuits, customer.name,
                     selection_.keepRecords && matches(selection_.customer, customer.name));
            addJoining(out, std::move(customer), joins_);
        }
        in_.requireEnd("the last customer");
    }

  private:
    void circuits(NamedCollection<ScannedCircuit>& out, const std::string& path, bool wanted) {
        const uint32_t n = checkedCount(in_, kMinNamedBlock, "test circuits");
        for (uint32_t i = 0; i < n; ++i) {
            ScannedCircuit circuit;
            circuit.name = in_.string();
            circuit_ = &circuit.name;
            names(circuit.names, childPath(&path, circuit.name),
                  wanted && matches(selection_.circuit, circuit.name));
            addJoining(out, std::move(circuit), joins_, &path, &path);
        }
    }

    void names(NamedCollection<ScannedName>& out, const std::string& path, bool wanted) {
        const uint32_t n = checkedCount(in_, kMinNamedBlock, "measurement names");
        for (uint32_t i = 0; i < n; ++i) {
            ScannedName name;
            name.name = in_.string();
            records(name, wanted && matches(selection_.name, name.name));
            addJoining(out, std::move(name), joins_, &path, &path);
        }
    }

    void records(ScannedName& node, bool wanted) {
        node.recordCount = checkedCount(in_, minRecordBytes(version_), "record list");
        node.firstKept = selection_.index.value_or(0);
        for (uint32_t i = 0; i < node.recordCount; ++i) {
            if (wanted && selection_.visit && selection_.visitIf) {
                visitPicked(node, i);
            } else if (wanted && (!selection_.index || *selection_.index == i)) {
                MeasurementRecord record = fresh_;
                readRecord(in_, version_, record, devType_,
                           selection_.visit ? selection_.visitParts : RecordParts::Whole);
                if (selection_.visit)
                    selection_.visit(ScannedPlace{*customer_, *circuit_, node.name, i},
                                     std::move(record));
                else
                    node.kept.push_back(std::move(record));
            } else {
                skipRecord(in_, version_);
            }
        }
    }

    // The samples go into one buffer reused for every record, and into a
    // record of their own only for a record that is picked.
    void visitPicked(const ScannedName& node, uint32_t index) {
        // A copy of one fresh record: making a record asks for the time of day.
        MeasurementRecord record = fresh_;
        readRecordSamples(in_, samples_);
        readRecordAfterSamples(in_, version_, record, devType_);
        if (!selection_.visitIf(record))
            return;
        record.contacts = ContactSamples::filled(samples_.size(), [&](uint8_t* out) {
            std::copy(samples_.begin(), samples_.end(), out);
        });
        selection_.visit(ScannedPlace{*customer_, *circuit_, node.name, index}, std::move(record));
    }

    ArchiveReader& in_;
    int32_t version_;
    int32_t devType_;
    const ScanSelection& selection_;
    NameJoins& joins_;
    const std::string* customer_ = nullptr;
    const std::string* circuit_ = nullptr;
    std::vector<uint8_t> samples_;
    const MeasurementRecord fresh_;
};

bool keptWhole(const ScannedName& name) {
    return name.firstKept == 0 && name.kept.size() == name.recordCount;
}

// Names whose records were kept whole (joined ones) keep only the record at
// the selected index, as the others do.
void keepOnlyIndex(NamedCollection<ScannedCustomer>& customers, uint32_t index) {
    for (ScannedCustomer& customer : customers) {
        for (ScannedCircuit& circuit : customer.circuits) {
            for (ScannedName& name : circuit.names) {
                if (name.kept.empty() || !keptWhole(name))
                    continue;
                std::vector<MeasurementRecord> kept;
                if (index < name.kept.size())
                    kept.push_back(std::move(name.kept[index]));
                name.kept = std::move(kept);
                name.firstKept = index;
            }
        }
    }
}

// A selected name that was joined holds its selected record only once every
// record of it is known.
void keepSelectedRecordOfJoins(ArchiveReader& in, const ScanSelection& selection,
                               DataFileOutline& outline) {
    if (outline.joins.empty() || !selection.index)
        return;
    if (outline.joins.partialRecords()) {
        // Rare (a file written elsewhere, or damaged): the bytes are read
        // once more keeping the selected names whole, rather than every scan
        // keeping them. Damage met again there is the damage the first pass
        // met, after every name it keeps.
        ScanSelection wholeNames = selection;
        wholeNames.index.reset();
        in.rewind();
        try {
            scanDataFile(in, wholeNames, outline);
        } catch (const ArchiveError&) {
        }
    }
    keepOnlyIndex(outline.customers, *selection.index);
}

}  // namespace

void joinContent(ScannedCustomer& kept, ScannedCustomer&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath) {
    joinChildren<ScannedCircuit>(kept.circuits, std::move(read.circuits), joins, keptPath,
                                 readPath);
}

void joinContent(ScannedCircuit& kept, ScannedCircuit&& read, NameJoins& joins,
                 const std::string& keptPath, const std::string& readPath) {
    joinChildren<ScannedName>(kept.names, std::move(read.names), joins, keptPath, readPath);
}

void joinContent(ScannedName& kept, ScannedName&& read, NameJoins& joins,
                 const std::string& /*keptPath*/, const std::string& /*readPath*/) {
    const bool whole = keptWhole(kept) && keptWhole(read);
    kept.recordCount += read.recordCount;
    if (!whole) {
        // Which records the joined name holds at the selected places is
        // known only from all of them.
        kept.kept.clear();
        joins.markPartialRecords();
        return;
    }
    RecordList records(std::move(kept.kept));
    for (MeasurementRecord& record : read.kept)
        records.add(std::move(record));
    records.renumber();
    const RecordList& joined = records;
    kept.kept.assign(joined.begin(), joined.end());
}

ScanSelection ScanSelection::oneRecord(std::string customer, std::string circuit, std::string name,
                                       uint32_t index) {
    ScanSelection s;
    s.keepRecords = true;
    s.customer = std::move(customer);
    s.circuit = std::move(circuit);
    s.name = std::move(name);
    s.index = index;
    return s;
}

ScanSelection ScanSelection::wholeCustomer(std::string customer) {
    ScanSelection s;
    s.keepRecords = true;
    s.customer = std::move(customer);
    return s;
}

const MeasurementRecord* ScannedName::record(uint32_t index) const {
    if (index < firstKept || index - firstKept >= kept.size())
        return nullptr;
    return &kept[index - firstKept];
}

Customer ScannedCustomer::toCustomer() && {
    Customer customer;
    customer.name = std::move(name);
    for (ScannedCircuit& scannedCircuit : circuits) {
        TestCircuit& circuit =
            customer.circuits.at(customer.circuits.findOrAdd(scannedCircuit.name));
        for (ScannedName& scannedName : scannedCircuit.names) {
            MeasurementName& target = circuit.names.at(circuit.names.findOrAdd(scannedName.name));
            target.records.reserve(scannedName.kept.size());
            for (MeasurementRecord& record : scannedName.kept)
                target.records.append(std::move(record));
        }
    }
    return customer;
}

const ScannedName* DataFileOutline::find(std::string_view customer, std::string_view circuit,
                                         std::string_view name) const {
    const ScannedCustomer* c = customers.get(customer);
    const ScannedCircuit* t = c ? c->circuits.get(circuit) : nullptr;
    return t ? t->names.get(name) : nullptr;
}

ReadStatus scanDataFile(ArchiveReader& in, const ScanSelection& selection,
                        DataFileOutline& outline) {
    outline.customers.clear();
    outline.joins.clear();
    int32_t version = 0;
    if (ReadStatus status = readPreamble(in, version); status != ReadStatus::Ok)
        return status;
    readLineSettings(in, outline.lineSettings);
    try {
        Scanner(in, version, outline.devType, selection, outline.joins)
            .customers(outline.customers);
    } catch (const ArchiveError&) {
        // The customers read before the damage stay, joined as the full read
        // joins them.
        keepSelectedRecordOfJoins(in, selection, outline);
        throw;
    }
    keepSelectedRecordOfJoins(in, selection, outline);
    return ReadStatus::Ok;
}

}  // namespace plm::model
