#include "model/backup_restore.h"

#include <cstring>
#include <unordered_map>

#include "model/data_file.h"
#include "model/tree_merge.h"
#include "support/paths.h"

namespace plm::model {
namespace {

uint64_t dateKey(const MeasurementRecord& r) {
    uint64_t bits = 0;
    std::memcpy(&bits, &r.testDateTime.value, sizeof bits);
    return bits;
}

// The records of `backup` that no record of `current` matches, one for one.
int unmatched(const RecordList* current, const RecordList& backup) {
    std::unordered_multimap<uint64_t, const MeasurementRecord*> present;
    if (current) {
        for (const MeasurementRecord& r : *current)
            present.emplace(dateKey(r), &r);
    }
    int count = 0;
    for (const MeasurementRecord& r : backup) {
        auto [first, last] = present.equal_range(dateKey(r));
        auto match = first;
        while (match != last && !sameRecordContent(*match->second, r))
            ++match;
        if (match == last)
            ++count;
        else
            present.erase(match);
    }
    return count;
}

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
