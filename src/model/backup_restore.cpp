#include "model/backup_restore.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>
#include <unordered_map>

#include "model/data_file.h"
#include "model/data_file_scan.h"
#include "model/tree_merge.h"
#include "support/paths.h"

namespace plm::model {
namespace {

uint64_t dateKey(const MeasurementRecord& r) {
    uint64_t bits = 0;
    std::memcpy(&bits, &r.testDateTime.value, sizeof bits);
    return bits;
}

// The records of a current name by date, for finding one of the same
// content as a record of a backup.
class DateIndex {
  public:
    explicit DateIndex(const RecordList* records) {
        if (records) {
            for (const MeasurementRecord& r : *records)
                byDate_.emplace_back(dateKey(r), &r);
            std::stable_sort(byDate_.begin(), byDate_.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        }
    }

    size_t size() const { return byDate_.size(); }

    // Matches `r` with a record of the same content not `taken` yet, which
    // then is; false when none is left.
    bool take(const MeasurementRecord& r, std::vector<bool>& taken) const {
        const uint64_t key = dateKey(r);
        auto at = std::lower_bound(byDate_.begin(), byDate_.end(), key,
                                   [](const auto& entry, uint64_t k) { return entry.first < k; });
        for (; at != byDate_.end() && at->first == key; ++at) {
            const size_t i = static_cast<size_t>(at - byDate_.begin());
            if (!taken[i] && sameRecordContent(*at->second, r)) {
                taken[i] = true;
                return true;
            }
        }
        return false;
    }

  private:
    std::vector<std::pair<uint64_t, const MeasurementRecord*>> byDate_;
};

// The records of `backup` that no record of `current` matches, one for one.
int unmatched(const RecordList* current, const RecordList& backup) {
    const DateIndex present(current);
    std::vector<bool> taken(present.size());
    int count = 0;
    for (const MeasurementRecord& r : backup)
        count += present.take(r, taken) ? 0 : 1;
    return count;
}

const MeasurementName* currentName(const CustomerTree& current, std::string_view customer,
                                   std::string_view circuit, std::string_view name) {
    const Customer* c = current.customers.get(customer);
    const TestCircuit* t = c ? c->circuits.get(circuit) : nullptr;
    return t ? t->names.get(name) : nullptr;
}

}  // namespace

// The date indexes of the current names, made once for every backup listed.
struct BackupComparer::Indexes {
    std::unordered_map<const MeasurementName*, DateIndex> byName;

    const DateIndex& of(const MeasurementName& name) {
        return byName.try_emplace(&name, &name.records).first->second;
    }
};

namespace {

// Counts, while a backup is scanned, its records that the current data
// lacks. Names that a load joins share one count and the same present
// records, whichever spelling a record comes under.
class UnmatchedTally {
  public:
    UnmatchedTally(const CustomerTree& current, BackupComparer::Indexes& indexes)
        : current_(current), indexes_(indexes) {}

    void add(const std::string& customer, const std::string& circuit, const std::string& name,
             const MeasurementRecord& record) {
        if (customer != customer_ || circuit != circuit_ || name != name_)
            enter(customer, circuit, name);
        if (!present_ || !present_->take(record, *taken_))
            ++*count_;
    }

    // The count of the joined name of `outline` that `name` is.
    int unmatchedOf(const ScannedName& name) const {
        auto it = joined_.find(&name);
        return it == joined_.end() ? 0 : it->second;
    }

    // Sums the counts of each spelling read into the outline's joined names.
    void join(const DataFileOutline& outline) {
        for (const auto& [spelling, count] : bySpelling_) {
            const auto& [customer, circuit, name] = spelling;
            if (const ScannedName* node = outline.find(customer, circuit, name))
                joined_[node] += count;
        }
    }

  private:
    void enter(const std::string& customer, const std::string& circuit, const std::string& name) {
        customer_ = customer;
        circuit_ = circuit;
        name_ = name;
        count_ = &bySpelling_[{customer, circuit, name}];
        const MeasurementName* now = currentName(current_, customer, circuit, name);
        present_ = now ? &indexes_.of(*now) : nullptr;
        taken_ = now ? &takenByName_.try_emplace(now, present_->size()).first->second : nullptr;
    }

    const CustomerTree& current_;
    BackupComparer::Indexes& indexes_;
    std::string customer_;
    std::string circuit_;
    std::string name_;
    int* count_ = nullptr;
    const DateIndex* present_ = nullptr;
    std::vector<bool>* taken_ = nullptr;
    std::map<std::tuple<std::string, std::string, std::string>, int> bySpelling_;
    std::unordered_map<const MeasurementName*, std::vector<bool>> takenByName_;
    std::unordered_map<const ScannedName*, int> joined_;
};

}  // namespace

std::vector<MissingMeasurements> missingFrom(const CustomerTree& current,
                                             const CustomerTree& backup) {
    std::vector<MissingMeasurements> missing;
    for (const Customer& customer : backup.customers) {
        const Customer* now = current.customers.get(customer.name);
        for (const TestCircuit& circuit : customer.circuits) {
            const TestCircuit* nowCircuit = now ? now->circuits.get(circuit.name) : nullptr;
            for (const MeasurementName& name : circuit.names) {
                const MeasurementName* nowName =
                    nowCircuit ? nowCircuit->names.get(name.name) : nullptr;
                const int count = unmatched(nowName ? &nowName->records : nullptr, name.records);
                if (!nowName || count > 0)
                    missing.push_back({customer.name, circuit.name, name.name, !nowName, count});
            }
        }
    }
    return missing;
}

int missingCount(const std::vector<MissingMeasurements>& missing) {
    int total = 0;
    for (const MissingMeasurements& m : missing)
        total += m.count;
    return total;
}

std::vector<MissingMeasurements> restoreInto(CustomerTree& current, const CustomerTree& backup) {
    std::vector<MissingMeasurements> missing = missingFrom(current, backup);
    // From an empty start both trees only add: the merge keeps every name
    // and record of either, and a record both hold once.
    CustomerTree start;
    start.devType = current.devType;
    start.lineSettings = current.lineSettings;
    MergeResult merged = mergeTrees(start, current, backup, MergeSide::Mine);
    current = std::move(merged.tree);
    return missing;
}

BackupComparer::BackupComparer(const CustomerTree& current)
    : current_(current), indexes_(std::make_unique<Indexes>()) {}

BackupComparer::~BackupComparer() = default;

bool BackupComparer::summarize(const BackupFile& backup, BackupSummary& summary,
                               ErrorReporter& reporter) {
    const CustomerTree& current = current_;
    UnmatchedTally tally(current, *indexes_);
    ScanSelection selection = ScanSelection::outline();
    selection.keepRecords = true;
    selection.visit = [&tally](const ScannedPlace& at, MeasurementRecord&& record) {
        tally.add(at.customer, at.circuit, at.name, record);
    };
    DataFileOutline outline;
    if (!scanDataFile(support::fromFsPath(backup.fsPath), selection, outline, reporter))
        return false;
    tally.join(outline);
    summary = {};
    for (const ScannedCustomer& customer : outline.customers) {
        ++summary.customers;
        for (const ScannedCircuit& circuit : customer.circuits) {
            for (const ScannedName& name : circuit.names) {
                summary.measurements += static_cast<int>(name.recordCount);
                const bool nameMissing =
                    !currentName(current, customer.name, circuit.name, name.name);
                const int count =
                    nameMissing ? static_cast<int>(name.recordCount) : tally.unmatchedOf(name);
                if (nameMissing || count > 0)
                    summary.missing.push_back(
                        {customer.name, circuit.name, name.name, nameMissing, count});
            }
        }
    }
    return true;
}

bool loadBackup(const BackupFile& backup, CustomerTree& tree, ErrorReporter& reporter) {
    FileIdentity identity;
    return loadDataFile(tree, support::fromFsPath(backup.fsPath), reporter, DamagedFile::Leave,
                        identity) == LoadOutcome::Loaded;
}

const BackupFile* findBackup(const std::vector<BackupFile>& backups, const std::string& stamp) {
    for (const BackupFile& b : backups) {
        if (b.name.stamp() == stamp || b.name.fileName() == stamp)
            return &b;
    }
    return nullptr;
}

}  // namespace plm::model
