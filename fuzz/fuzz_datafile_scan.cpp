// The scanning reader over arbitrary bytes ends exactly as the full read
// does: the same status, the same archive failure text, or the same names
// and record counts, and a kept record equal to the one the full read has.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/archive_io.h"
#include "model/customer_tree.h"
#include "model/data_file.h"
#include "model/data_file_scan.h"

namespace {

using namespace plm::model;

std::string outcomeOfRead(std::string_view bytes, CustomerTree& tree) {
    try {
        return std::to_string(static_cast<int>(readDataFile(bytes, tree)));
    } catch (const ArchiveError& e) {
        return e.what();
    }
}

std::string outcomeOfScan(std::string_view bytes, const ScanSelection& selection,
                          DataFileOutline& outline) {
    try {
        MemoryReader in(bytes);
        return std::to_string(static_cast<int>(scanDataFile(in, selection, outline)));
    } catch (const ArchiveError& e) {
        return e.what();
    }
}

// Names and counts must agree level by level.
void compareShapes(const CustomerTree& tree, const DataFileOutline& outline) {
    if (tree.customers.count() != outline.customers.count())
        std::abort();
    for (int c = 0; c < tree.customers.count(); ++c) {
        const Customer& customer = tree.customers.at(c);
        const ScannedCustomer& scanned = outline.customers.at(c);
        if (customer.name != scanned.name || customer.circuits.count() != scanned.circuits.count())
            std::abort();
        for (int t = 0; t < customer.circuits.count(); ++t) {
            const TestCircuit& circuit = customer.circuits.at(t);
            const ScannedCircuit& scannedCircuit = scanned.circuits.at(t);
            if (circuit.name != scannedCircuit.name ||
                circuit.names.count() != scannedCircuit.names.count())
                std::abort();
            for (int n = 0; n < circuit.names.count(); ++n) {
                const MeasurementName& name = circuit.names.at(n);
                const ScannedName& scannedName = scannedCircuit.names.at(n);
                if (name.name != scannedName.name ||
                    static_cast<uint32_t>(name.records.count()) != scannedName.recordCount)
                    std::abort();
            }
        }
    }
}

// Doubles read from arbitrary bytes may be NaN, which equals nothing, not
// even itself: records are compared by the bytes the data file stores.
std::string storedBytes(const MeasurementRecord& record) {
    CustomerTree tree;
    findOrAddMeasurementName(tree, "c", "t", "n").records.append(record);
    return writeDataFile(tree);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CustomerTree tree;
    const std::string read = outcomeOfRead(bytes, tree);

    DataFileOutline outline;
    if (outcomeOfScan(bytes, ScanSelection::outline(), outline) != read)
        std::abort();
    if (read == std::to_string(static_cast<int>(ReadStatus::Ok)))
        compareShapes(tree, outline);

    // One record of the first name the full read found, chosen by the last byte.
    const MeasurementName* first = nullptr;
    const Customer* customer = nullptr;
    const TestCircuit* circuit = nullptr;
    for (const Customer& c : tree.customers)
        for (const TestCircuit& t : c.circuits)
            for (const MeasurementName& n : t.names)
                if (!first) {
                    customer = &c;
                    circuit = &t;
                    first = &n;
                }
    if (!first)
        return 0;
    const uint32_t index = size ? data[size - 1] % 4 : 0;
    DataFileOutline one;
    const ScanSelection selection =
        ScanSelection::oneRecord(customer->name, circuit->name, first->name, index);
    if (outcomeOfScan(bytes, selection, one) != read)
        std::abort();
    const ScannedName* found = one.find(customer->name, circuit->name, first->name);
    if (!found)
        std::abort();
    const MeasurementRecord* kept = found->record(index);
    const bool exists = index < static_cast<uint32_t>(first->records.count());
    if (exists != (kept != nullptr))
        std::abort();
    if (kept && storedBytes(*kept) != storedBytes(first->records.at(static_cast<int>(index))))
        std::abort();
    return 0;
}
