#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/archive_io.h"
#include "model/customer_tree.h"
#include "model/data_file.h"
#include "model/error_reporter.h"
#include "model/name_join.h"

// Reading a data file for a job that needs one customer, one record or only
// the names and record counts: the whole file is checked exactly as a load
// checks it, but only the selected records are kept, so the memory a scan
// takes does not grow with the samples of the file.
namespace plm::model {

class ArchiveReader;

// Where a record handed to a scan's visitor is filed, by the names as read
// (CP932): names joined later in the scan may be spelled apart here.
struct ScannedPlace {
    const std::string& customer;
    const std::string& circuit;
    const std::string& name;
    uint32_t index;  // position under the name as read
};
using RecordVisitor = std::function<void(const ScannedPlace&, MeasurementRecord&&)>;

// Which records a scan keeps. A level left empty matches every name; names
// match under compareNames. Without keepRecords only names and counts stay.
struct ScanSelection {
    bool keepRecords = false;
    std::optional<std::string> customer;
    std::optional<std::string> circuit;
    std::optional<std::string> name;
    std::optional<uint32_t> index;  // only the record at this position
    // With keepRecords: each selected record goes to the visitor as it is
    // read instead of being kept, so a job that looks at every record once
    // holds one record at a time. Positions are those of the file: a name
    // that the scan joins has its records placed again (see
    // DataFileOutline::joins).
    RecordVisitor visit;
    // With visit: only the records whose header and conditions this takes
    // are visited; the samples of the others are never kept.
    std::function<bool(const MeasurementRecord&)> visitIf;
    // What of each record the visitor needs: a job that looks only at dates
    // or conditions spares the reading of the rest.
    RecordParts visitParts = RecordParts::Whole;

    // Names and record counts only.
    static ScanSelection outline() { return {}; }
    // The record at `index` of customer/circuit/name.
    static ScanSelection oneRecord(std::string customer, std::string circuit, std::string name,
                                   uint32_t index);
    // Every record of one customer.
    static ScanSelection wholeCustomer(std::string customer);
};

// A measurement name as scanned: its record count, and the records that the
// selection kept (kept[i] is the record at position firstKept + i).
struct ScannedName {
    std::string name;
    uint32_t recordCount = 0;
    uint32_t firstKept = 0;
    std::vector<MeasurementRecord> kept;

    // The record at `index` when it was kept, else nullptr.
    const MeasurementRecord* record(uint32_t index) const;
};

struct ScannedCircuit {
    std::string name;
    NamedCollection<ScannedName> names;
};

struct ScannedCustomer {
    std::string name;
    NamedCollection<ScannedCircuit> circuits;

    // The customer with the records kept of it: every record when the scan
    // kept whole names (ScanSelection::wholeCustomer).
    Customer toCustomer() &&;
};

// The tree as a load would build it (names that count as the same name
// joined as a load joins them), holding names, counts and the kept records.
struct DataFileOutline {
    LineSettings lineSettings;
    NamedCollection<ScannedCustomer> customers;
    NameJoins joins;  // what the scan joined
    // The configured device type the kept records take, as for CustomerTree.
    int32_t devType = kDefaultDevType;

    const ScannedName* find(std::string_view customer, std::string_view circuit,
                            std::string_view name) const;
};

// Scans data file bytes into `outline` (cleared first). Throws ArchiveError
// as readDataFile does, at the same offsets with the same texts, whether the
// damage lies in a kept or in a passed-over part. A selection of one index
// that meets names to join reads the bytes a second time (rewinding `in`),
// since the place of a record in a joined name is known only from all of them.
ReadStatus scanDataFile(ArchiveReader& in, const ScanSelection& selection,
                        DataFileOutline& outline);

// Scans the data file at `path` (stored CP932 form; a leading "." means the
// program folder). A missing file is an empty outline. Every failure is
// reported through `reporter` with the texts of CustomerTree::load and gives
// false; the file is never changed or moved, since a scan only reads. Other
// readers may scan at the same time; a writer holding the file is waited for
// as a load waits.
bool scanDataFile(const std::string& path, const ScanSelection& selection, DataFileOutline& outline,
                  ErrorReporter& reporter);

}  // namespace plm::model
