#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/customer_tree.h"
#include "settings/app_settings.h"
#include "support/ole_date.h"

// Syncing the data file with the team archive, both ways. The data file
// stays the working copy: a sync reads it under its lock, lets the lock go
// while it talks to the server, and takes it again only for the short
// read-merge-write of the result. What the installation last had in common
// with the archive is kept in a file of its own in the program folder.
namespace plm::archive {

// Who syncs, with what. Texts are CP932 except the UUID.
struct SyncSetup {
    std::string connection;                    // libpq connection string or service name
    std::string installationId;                // UUID
    std::string installationName;              // shown in the archive's log and history
    std::string dataFile;                      // stored path of the data file
    std::string stateFile;                     // file-system path of the sync state
    std::string limitsFile;                    // file-system path of LIMITS.INI; empty: not synced
    int32_t devType = model::kDefaultDevType;  // the configured device type of new records
};

// The sync state file of the program folder.
std::string defaultStateFile();

// The setup from [Archive] of the settings, for the data file at the stored
// path `dataFile`; a non-empty `connection` overrides the setting. An
// installation without an id is given a new UUID, written to the settings
// at once (for a dry run, one for this run alone); the name defaults to
// user@host. Throws CxException for a connection string holding a password
// or an archive not configured.
SyncSetup syncSetup(settings::AppSettings& settings, const std::string& dataFile,
                    const std::string& connection = {}, bool dryRun = false);

enum class SyncStage { Reading, Pushing, Pulling, Writing };

struct SyncProgress {
    SyncStage stage = SyncStage::Reading;
    int done = 0;
    int total = 0;  // 0 when not known yet
};

// One measurement (or limits entry) changed on this installation and in the
// archive since their last common sync.
struct SyncConflict {
    enum class Kind {
        EditedOnBothSides,        // place or conditions on both
        DeletedHereChangedThere,  // deleted here, changed in the archive
        ChangedHereDeletedThere,  // changed here, deleted in the archive
        LimitsOnBothSides,        // one entry of LIMITS.INI
    };
    Kind kind = Kind::EditedOnBothSides;
    // Where the measurement is here (for a deletion here: where it was), and
    // where the archive has it. CP932.
    std::string customer, circuit, name;
    std::string theirCustomer, theirCircuit, theirName;
    support::DateTimeValue testDateTime;
    std::string theirInstallation;  // who made the archive's version
};

enum class ConflictDecision { KeepMine, KeepTheirs };

// Asked once per conflict, on the thread that runs the sync, with no lock
// held (neither the data file's nor the archive's), after the pushes that
// met no conflict. Without one, this side is kept (plmtool). Either way the
// archive keeps both versions.
using ConflictDecider = std::function<ConflictDecision(const SyncConflict&)>;

struct SyncOptions {
    bool dryRun = false;  // find out what would be pushed and pulled, change nothing
    std::function<void(const SyncProgress&)> progress;
    // Set from another thread to stop before the next measurement changed
    // here (or the next batch of new ones): what was pushed by then stays
    // pushed, nothing is pulled, and the next sync goes on from there.
    const std::atomic<bool>* cancel = nullptr;
    ConflictDecider decide;
};

// One line of what a sync did (or, dry, would do).
struct SyncChange {
    enum class Direction { Push, Pull };
    enum class Kind { Added, Changed, Deleted, Limits };
    Direction direction = Direction::Push;
    Kind kind = Kind::Added;
    std::string customer, circuit, name;  // CP932
    support::DateTimeValue testDateTime;
};

struct SyncReport {
    std::vector<SyncChange> changes;
    std::vector<SyncConflict> conflicts;  // with the decision taken
    std::vector<ConflictDecision> decisions;
    bool cancelled = false;
    int pushed() const;
    int pulled() const;
};

// Runs one sync. Throws CxException with the system's message when the
// server cannot be reached or refuses (nothing local changed then), when the
// archive's schema is missing or newer than this program, or when the data
// file cannot be read or written.
SyncReport sync(const SyncSetup& setup, const SyncOptions& options);

// What the installation knows without the network.
struct LocalStatus {
    bool everSynced = false;
    support::DateTimeValue lastSync;  // local time of the last completed sync
    int notPushed = 0;                // measurements of the tree not yet in the archive
};

// Reads the state file; `tree` is the data file as it is now.
LocalStatus localStatus(const std::string& stateFile, const model::CustomerTree& tree);

// Which measurements of a tree are in the archive as they are here: what the
// browser marks. Built once from the state file, asked per record.
class SyncedRecords {
  public:
    explicit SyncedRecords(const std::string& stateFile);
    ~SyncedRecords();
    SyncedRecords(SyncedRecords&&) noexcept;
    SyncedRecords& operator=(SyncedRecords&&) noexcept;

    // The record at `index` of customer/circuit/name of `tree` is in the
    // archive with this place and these conditions.
    bool synced(const model::CustomerTree& tree, const std::string& customer,
                const std::string& circuit, const std::string& name, int index) const;
    // The same for every record of `tree`, customers, circuits, names and
    // records in tree order: one pass for a whole browser.
    std::vector<bool> syncedInTreeOrder(const model::CustomerTree& tree) const;
    // The count of records of `tree` not yet in the archive as they are.
    int notSynced(const model::CustomerTree& tree) const;

  private:
    struct Index;
    std::unique_ptr<Index> index_;
};

}  // namespace plm::archive
