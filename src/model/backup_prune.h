#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The names of the backups of the data file and the limits file and the rule
// that decides which of them a folder keeps. Pure: no file is touched here.
namespace plm::model {

enum class BackupKind { DataFile, Limits };

// "QBX_20261211_093005.DAT", "QBX_20261211_093005_2.DAT" (the second one of
// that second), "LIMITS_20261211_093005.INI". Local time of the backup.
struct BackupName {
    BackupKind kind = BackupKind::DataFile;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int sequence = 1;  // 1 for a name without "_<n>"

    // "20261211_093005" or "20261211_093005_2": what plmtool restore takes.
    std::string stamp() const;
    std::string fileName() const;
    // Newer first when `a` was made after `b`.
    friend bool newer(const BackupName& a, const BackupName& b);
};

// The name when `fileName` follows the scheme exactly, else nothing: only
// such files are ever removed by pruning.
std::optional<BackupName> parseBackupName(const std::string& fileName);

struct CalendarDay {
    int year = 0, month = 0, day = 0;
};

// Keep the newest `keepLast`; of the older ones the newest of each day for
// `keepDays` days back from today, of each month for `keepMonths` months, and
// of each year for ever; then, while the kept ones hold more than `maxBytes`
// (0: no limit), drop the oldest, never the newest of a kind. The two kinds
// are ruled apart and share the size limit.
struct PruneRule {
    int keepLast = 20;
    int keepDays = 30;
    int keepMonths = 12;
    int64_t maxBytes = int64_t{2000} * 1024 * 1024;
};

struct BackupEntry {
    BackupName name;
    int64_t size = 0;
};

// The file names to remove, oldest first.
std::vector<std::string> backupsToRemove(const std::vector<BackupEntry>& backups,
                                         const CalendarDay& today, const PruneRule& rule);

}  // namespace plm::model
