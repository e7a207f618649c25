#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/ole_date.h"

// What an installation last had in common with the archive, kept in a file
// of its own beside the data file's program folder: for every measurement
// it synced, the archive's id and version and the place and conditions that
// version gave it; and how far it has read the archive's changes.
namespace plm::archive {

// Where a measurement is and what the user entered for it, as a version of
// the archive holds it. Names are CP932 bytes.
struct Placement {
    std::string customer, circuit, name;
    std::string conditions;  // conditionsBytes
    bool deleted = false;
    bool operator==(const Placement&) const = default;
};

struct SyncedMeasurement {
    int64_t id = 0;
    int64_t version = 0;  // the archive's version this installation has
    std::string key;      // sha256 of the tester bytes
    Placement placement;
};

// One entry of LIMITS.INI as last synced: its target and its section text
// (empty: no entry, or one without any value).
struct SyncedLimits {
    std::string target;  // limitsTargetKey
    int64_t version = 0;
    std::string section;
};

struct SyncState {
    std::string installationId;
    std::string archiveId;  // the archive this state was made with
    int64_t cursor = 0;     // every archive change up to this one was read
    bool everSynced = false;
    support::DateTimeValue lastSync;
    std::vector<SyncedMeasurement> measurements;
    std::vector<SyncedLimits> limits;
};

// A missing file is an empty state; a damaged one throws std::runtime_error.
SyncState loadSyncState(const std::string& fsPath);
// Replaces the file whole (written beside it, then renamed).
void saveSyncState(const SyncState& state, const std::string& fsPath);

}  // namespace plm::archive
