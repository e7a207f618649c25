#pragma once

#include <string>

#include "model/error_reporter.h"
#include "model/line_settings.h"
#include "model/named_collection.h"
#include "model/record_list.h"

// The tree of everything the system keeps: customers ("需要家"), their test
// circuits ("試験回路") and measurement names ("測定データ名称"), each level
// unique and sorted under compareNames; a measurement name holds the
// measurements in date-time order. Copying any node copies its whole subtree.
namespace plm::model {

struct MeasurementName {
    std::string name;
    RecordList records;
};

struct TestCircuit {
    std::string name;
    NamedCollection<MeasurementName> names;
};

struct Customer {
    std::string name;
    NamedCollection<TestCircuit> circuits;
};

// What loading does with a regular file whose content is damaged: the data
// file of the running program is moved aside so that a new one can be
// written; a file only read (a read-only command, an import) stays as it is.
enum class DamagedFile { MoveAside, Leave };

struct CustomerTree {
    LineSettings lineSettings;
    NamedCollection<Customer> customers;
    // The configured device type, given by the tree's owner: every record
    // read into the tree takes it in place of the code stored. Not stored.
    int32_t devType = kDefaultDevType;

    // Reads the data file at `path` (stored CP932 form; a leading "." means
    // the program folder) into this tree: the customers are cleared first,
    // a missing file gives an empty tree. Every failure is reported through
    // `reporter` and the result is false; customers read before the failure
    // stay. Children that count as the same name are joined under the first
    // spelling read, keeping every record, and the joins are reported once. A regular file whose
    // content is damaged is moved aside to
    // "<path>_%Y%m%d%H%M%S" when `damaged` says so; a file that cannot be
    // opened (held too long, no permission, no regular file) stays.
    bool load(const std::string& path, ErrorReporter& reporter,
              DamagedFile damaged = DamagedFile::MoveAside);

    // Writes the tree as a version 6 data file, creating missing folders.
    // The previous file is replaced atomically, never truncated first, and
    // stays where it is when the save fails. Failures are reported as for load.
    bool save(const std::string& path, ErrorReporter& reporter) const;
};

// The MeasurementName at customer/circuit/name, or nullptr.
MeasurementName* findMeasurementName(CustomerTree& tree, std::string_view customer,
                                     std::string_view circuit, std::string_view name);
const MeasurementName* findMeasurementName(const CustomerTree& tree, std::string_view customer,
                                           std::string_view circuit, std::string_view name);

// findOrAdd on every level: the MeasurementName at customer/circuit/name.
MeasurementName& findOrAddMeasurementName(CustomerTree& tree, const std::string& customer,
                                          const std::string& circuit, const std::string& name);

}  // namespace plm::model
