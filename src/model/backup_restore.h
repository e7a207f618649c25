#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/backup_folder.h"
#include "model/customer_tree.h"

// What a backup of the data file would give back, and bringing it back.
namespace plm::model {

// A measurement name of a backup with what the current data lacks of it:
// the name itself, or measurements of it. A measurement counts as present
// when the current name holds one of the same content (its data number
// aside), as the merge of two writers compares them; each one present
// matches one of the backup.
struct MissingMeasurements {
    std::string customer;  // CP932, spelled as in the backup
    std::string circuit;
    std::string name;
    bool nameMissing = false;
    int count = 0;
};

std::vector<MissingMeasurements> missingFrom(const CustomerTree& current,
                                             const CustomerTree& backup);

int missingCount(const std::vector<MissingMeasurements>& missing);

// What a listing of the backups shows of one: its numbers of customers and
// measurements and what the current data lacks of it.
struct BackupSummary {
    int customers = 0;
    int measurements = 0;
    std::vector<MissingMeasurements> missing;
};

// missingFrom(current, backup) and the numbers of a backup without loading
// it: the backup is scanned, each record compared as it is read, so neither
// the time nor the memory of a listing grows with a tree per backup. The
// current tree's index by date is made once for all backups compared.
class BackupComparer {
  public:
    explicit BackupComparer(const CustomerTree& current);
    ~BackupComparer();
    BackupComparer(const BackupComparer&) = delete;
    BackupComparer& operator=(const BackupComparer&) = delete;

    // A damaged backup is reported with the designed message and gives false.
    bool summarize(const BackupFile& backup, BackupSummary& summary, ErrorReporter& reporter);

    struct Indexes;

  private:
    const CustomerTree& current_;
    std::unique_ptr<Indexes> indexes_;
};

// Brings every name and measurement of `backup` that `current` lacks into
// `current`; what `current` holds stays, its line settings too. Returns
// what came back.
std::vector<MissingMeasurements> restoreInto(CustomerTree& current, const CustomerTree& backup);

// Reads a backup, which is never changed or moved: a damaged one is
// reported with the designed message and gives false.
bool loadBackup(const BackupFile& backup, CustomerTree& tree, ErrorReporter& reporter);

// The backup of the data file whose stamp (or file name) is `stamp`, or null.
const BackupFile* findBackup(const std::vector<BackupFile>& backups, const std::string& stamp);

}  // namespace plm::model
