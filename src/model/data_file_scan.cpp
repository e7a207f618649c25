#include "model/data_file_scan.h"

#include "model/archive_io.h"
#include "model/name_compare.h"

namespace plm::model {
namespace {

bool matches(const std::optional<std::string>& wanted, const std::string& name) {
    return !wanted || compareNames(*wanted, name) == 0;
}

// Walks the tree part of the file in the order readDataFile does, with the
// same count checks, keeping records only under the selected names.
class Scanner {
  public:
    Scanner(ArchiveReader& in, int32_t version, const ScanSelection& selection)
        : in_(in), version_(version), selection_(selection) {}

    void customers(NamedCollection<ScannedCustomer>& out) {
        const uint32_t n = checkedCount(in_, kMinNamedBlock, "customers");
        for (uint32_t i = 0; i < n; ++i) {
            ScannedCustomer customer;
            customer.name = in_.string();
            circuits(customer.circuits,
                     selection_.keepRecords && matches(selection_.customer, customer.name));
            out.insertNode(std::move(customer));
        }
    }

  private:
    void circuits(NamedCollection<ScannedCircuit>& out, bool wanted) {
        const uint32_t n = checkedCount(in_, kMinNamedBlock, "test circuits");
        for (uint32_t i = 0; i < n; ++i) {
            ScannedCircuit circuit;
            circuit.name = in_.string();
            names(circuit.names, wanted && matches(selection_.circuit, circuit.name));
            out.insertNode(std::move(circuit));
        }
    }

    void names(NamedCollection<ScannedName>& out, bool wanted) {
        const uint32_t n = checkedCount(in_, kMinNamedBlock, "measurement names");
        for (uint32_t i = 0; i < n; ++i) {
            ScannedName name;
            name.name = in_.string();
            records(name, wanted && matches(selection_.name, name.name));
            out.insertNode(std::move(name));
        }
    }

    void records(ScannedName& node, bool wanted) {
        node.recordCount = checkedCount(in_, minRecordBytes(version_), "record list");
        node.firstKept = selection_.index.value_or(0);
        for (uint32_t i = 0; i < node.recordCount; ++i) {
            if (wanted && (!selection_.index || *selection_.index == i)) {
                MeasurementRecord record;
                readRecord(in_, version_, record);
                node.kept.push_back(std::move(record));
            } else {
                skipRecord(in_, version_);
            }
        }
    }

    ArchiveReader& in_;
    int32_t version_;
    const ScanSelection& selection_;
};

}  // namespace

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
    int32_t version = 0;
    if (ReadStatus status = readPreamble(in, version); status != ReadStatus::Ok)
        return status;
    readLineSettings(in, outline.lineSettings);
    Scanner(in, version, selection).customers(outline.customers);
    return ReadStatus::Ok;
}

}  // namespace plm::model
