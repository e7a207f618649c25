#include <algorithm>

#include "archive/archive_sync.h"
#include "archive/local_records.h"
#include "archive/sync_state.h"

namespace plm::archive {

struct SyncedRecords::Index {
    SyncState state;
};

SyncedRecords::SyncedRecords(const std::string& stateFile)
    : index_(std::make_unique<Index>(Index{loadSyncState(stateFile)})) {}
SyncedRecords::~SyncedRecords() = default;
SyncedRecords::SyncedRecords(SyncedRecords&&) noexcept = default;
SyncedRecords& SyncedRecords::operator=(SyncedRecords&&) noexcept = default;

namespace {

// Whether each record of `tree` is in the archive as it is here, in tree order.
std::vector<bool> syncedFlags(std::vector<LocalRecord>& local, const SyncState& state) {
    pairWithState(local, state);
    std::vector<bool> flags;
    for (const LocalRecord& r : local) {
        flags.push_back(r.synced >= 0 &&
                        samePlacement(state.measurements[r.synced].placement, r.placement));
    }
    return flags;
}

}  // namespace

bool SyncedRecords::synced(const model::CustomerTree& tree, const std::string& customer,
                           const std::string& circuit, const std::string& name, int index) const {
    std::vector<LocalRecord> local = localRecords(tree);
    const std::vector<bool> flags = syncedFlags(local, index_->state);
    const model::MeasurementName* target =
        model::findMeasurementName(tree, customer, circuit, name);
    for (size_t i = 0; i < local.size(); ++i) {
        if (local[i].owner == target && local[i].index == index)
            return flags[i];
    }
    return false;
}

std::vector<bool> SyncedRecords::syncedInTreeOrder(const model::CustomerTree& tree) const {
    std::vector<LocalRecord> local = localRecords(tree);
    return syncedFlags(local, index_->state);
}

int SyncedRecords::notSynced(const model::CustomerTree& tree) const {
    std::vector<LocalRecord> local = localRecords(tree);
    const std::vector<bool> flags = syncedFlags(local, index_->state);
    return static_cast<int>(std::count(flags.begin(), flags.end(), false));
}

LocalStatus localStatus(const std::string& stateFile, const model::CustomerTree& tree) {
    const SyncState state = loadSyncState(stateFile);
    LocalStatus status;
    status.everSynced = state.everSynced;
    status.lastSync = state.lastSync;
    status.notPushed = SyncedRecords(stateFile).notSynced(tree);
    return status;
}

}  // namespace plm::archive
