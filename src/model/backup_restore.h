#pragma once

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
