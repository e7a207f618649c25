#include "cli/filed_record.h"

#include <stdexcept>

#include "cli/command_support.h"
#include "cli/session.h"
#include "model/data_file_scan.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

// Scans with `selection` and returns the measurement name the selection
// names; nullopt when the file cannot be read.
std::optional<model::ScannedName> scanName(const std::string& dataPath,
                                           model::ScanSelection selection,
                                           const std::string& typed) {
    model::DataFileOutline outline;
    outline.devType = sessionDevType();
    StderrReporter reporter;
    if (!model::scanDataFile(dataPath, selection, outline, reporter))
        return std::nullopt;
    const model::ScannedName* found =
        outline.find(*selection.customer, *selection.circuit, *selection.name);
    if (!found)
        throw std::runtime_error("no such measurement name: " + typed);
    return *found;  // samples are shared, so the copy costs names and headers only
}

std::runtime_error noRecord(uint32_t index, uint32_t count) {
    return std::runtime_error(support::format("no record %u (the name holds %u)", index, count));
}

}  // namespace

std::optional<model::MeasurementRecord> scanFiledRecord(const std::string& dataPath,
                                                        const std::string& customer,
                                                        const std::string& circuit,
                                                        const std::string& name, uint32_t index) {
    std::optional<model::ScannedName> found =
        scanName(dataPath,
                 model::ScanSelection::oneRecord(storedText(customer), storedText(circuit),
                                                 storedText(name), index),
                 customer + " / " + circuit + " / " + name);
    if (!found)
        return std::nullopt;
    const model::MeasurementRecord* record = found->record(index);
    if (!record)
        throw noRecord(index, found->recordCount);
    return *record;
}

std::optional<model::RecordList> scanFiledName(const std::string& dataPath,
                                               const std::string& customer,
                                               const std::string& circuit, const std::string& name,
                                               std::optional<uint32_t> index) {
    model::ScanSelection selection;
    selection.keepRecords = true;
    selection.customer = storedText(customer);
    selection.circuit = storedText(circuit);
    selection.name = storedText(name);
    std::optional<model::ScannedName> found =
        scanName(dataPath, selection, customer + " / " + circuit + " / " + name);
    if (!found)
        return std::nullopt;
    if (index && *index >= found->recordCount)
        throw noRecord(*index, found->recordCount);
    model::RecordList records;
    records.reserve(found->kept.size());
    for (model::MeasurementRecord& r : found->kept)
        records.append(std::move(r));
    return records;
}

bool scanFiledTarget(const std::string& dataPath, const std::string& customer,
                     const std::string& circuit, const std::string& name) {
    model::DataFileOutline outline;
    outline.devType = sessionDevType();
    StderrReporter reporter;
    if (!model::scanDataFile(dataPath, model::ScanSelection::outline(), outline, reporter))
        return false;
    const model::ScannedCustomer* c = outline.customers.get(storedText(customer));
    const model::ScannedCircuit* t = c ? c->circuits.get(storedText(circuit)) : nullptr;
    if (!t || (!name.empty() && !t->names.get(storedText(name)))) {
        throw std::runtime_error(
            "no such " + std::string(name.empty() ? "test circuit" : "measurement name") + ": " +
            customer + " / " + circuit + (name.empty() ? "" : " / " + name));
    }
    return true;
}

}  // namespace plm::cli
