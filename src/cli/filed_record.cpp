#include "cli/filed_record.h"

#include <stdexcept>

#include "cli/session.h"
#include "model/data_file_scan.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

class StderrReporter : public model::ErrorReporter {
  public:
    void report(const std::string& text, model::MessageIcon) override { printError(text); }
};

}  // namespace

std::optional<model::MeasurementRecord> scanFiledRecord(const std::string& dataPath,
                                                        const std::string& customer,
                                                        const std::string& circuit,
                                                        const std::string& name, uint32_t index) {
    const std::string level1 = support::fromUtf8(customer);
    const std::string level2 = support::fromUtf8(circuit);
    const std::string level3 = support::fromUtf8(name);
    model::DataFileOutline outline;
    StderrReporter reporter;
    if (!model::scanDataFile(dataPath,
                             model::ScanSelection::oneRecord(level1, level2, level3, index),
                             outline, reporter)) {
        return std::nullopt;
    }
    const model::ScannedName* found = outline.find(level1, level2, level3);
    if (!found) {
        throw std::runtime_error("no such measurement name: " + customer + " / " + circuit + " / " +
                                 name);
    }
    const model::MeasurementRecord* record = found->record(index);
    if (!record) {
        throw std::runtime_error(
            support::format("no record %u (the name holds %u)", index, found->recordCount));
    }
    return *record;
}

}  // namespace plm::cli
