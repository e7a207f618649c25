#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "model/backup_prune.h"
#include "model/error_reporter.h"

namespace plm::settings {
class AppSettings;
}

// The backup folder: before the data file or LIMITS.INI is replaced, the
// version being replaced is kept there under a dated name (see
// backup_prune.h), and the folder is pruned. The writer holds the file's
// exclusive lock meanwhile, so two writers never keep one version twice or
// lose one. A backup that cannot be made never stops the save.
namespace plm::model {

struct BackupSettings {
    std::string folder = ".\\DATA\\BACKUP";  // stored path; a leading "." is the program folder
    PruneRule rule;
};

// The [Backup] keys of the settings, for every backup this process makes.
void configureBackups(const settings::AppSettings& settings);
void setBackupSettings(const BackupSettings& settings);
BackupSettings backupSettings();

// The file-system path of the configured folder.
std::string backupFolderPath();

// "バックアップを作成できません..." naming the folder and the reason.
std::string backupFailedText(const std::string& folderFsPath, int error);

// Keeps the file open (and exclusively locked) on `fd`, found at `fsPath`, as
// a backup of `kind`, then prunes the folder. The data file is hard-linked
// when the folder is on its file system; anything else is copied to a
// temporary name, synced and renamed. An empty file is no version and is not
// kept. A failure is told once per run and folder through `reporter`
// (stderr without one); it never throws.
void keepBackup(BackupKind kind, const std::string& fsPath, int fd, ErrorReporter* reporter);

// A backup in the folder.
struct BackupFile {
    BackupName name;
    std::string fsPath;
    int64_t size = 0;
};

// The backups of `kind` in the configured folder, newest first.
std::vector<BackupFile> listBackups(BackupKind kind);

// Removes what the rule does not keep (only files named by the scheme).
void pruneBackupFolder(const std::string& folderFsPath, const PruneRule& rule, const std::tm& now);

}  // namespace plm::model
