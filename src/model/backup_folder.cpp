#include "model/backup_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

#include "model/data_file.h"
#include "settings/app_settings.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::model {
namespace {

namespace fs = std::filesystem;

std::mutex& settingsMutex() {
    static std::mutex mutex;
    return mutex;
}

BackupSettings& currentSettings() {
    static BackupSettings settings;
    return settings;
}

std::system_error failure(const char* what) {
    return std::system_error(errno, std::generic_category(), what);
}

// Temporary copies are ".backup.<pid>.<n>.tmp"; a copy whose process no
// longer runs was left by a copy that was killed.
const char* const kTempPrefix = ".backup.";

void removeStaleCopies(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kTempPrefix, 0) != 0 || !name.ends_with(".tmp"))
            continue;
        const long pid = std::strtol(name.c_str() + std::strlen(kTempPrefix), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlink(entry.path().c_str());
    }
}

BackupName nameAt(BackupKind kind, const std::tm& now, int sequence) {
    BackupName name;
    name.kind = kind;
    name.year = now.tm_year + 1900;
    name.month = now.tm_mon + 1;
    name.day = now.tm_mday;
    name.hour = now.tm_hour;
    name.minute = now.tm_min;
    name.second = now.tm_sec;
    name.sequence = sequence;
    return name;
}

bool sameInode(int fd, const std::string& path) {
    struct stat held {};
    struct stat there {};
    return fstat(fd, &held) == 0 && ::stat(path.c_str(), &there) == 0 &&
           held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

// A file system without hard links between these paths, or none at all.
bool linkUnsupported(int error) {
    return error == EXDEV || error == EPERM || error == ENOTSUP || error == EMLINK;
}

// Links `source` (through a symbolic link) under the first free name of the
// second; link() never replaces a name another writer took meanwhile. Empty
// when no link can be made there.
std::string linkUnderFreeName(const std::string& folder, BackupKind kind, const std::tm& now,
                              const std::string& source) {
    for (int sequence = 1; sequence < 10000; ++sequence) {
        const std::string target = folder + "/" + nameAt(kind, now, sequence).fileName();
        if (::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return target;
        if (errno == EEXIST)
            continue;
        if (linkUnsupported(errno))
            return {};
        throw failure("link");
    }
    errno = EEXIST;
    throw failure("link");
}

// Gives the finished copy `temp` the first free name of the second.
void placeCopy(const std::string& folder, BackupKind kind, const std::tm& now,
               const std::string& temp) {
    for (int sequence = 1; sequence < 10000; ++sequence) {
        const std::string target = folder + "/" + nameAt(kind, now, sequence).fileName();
        if (::link(temp.c_str(), target.c_str()) == 0) {
            ::unlink(temp.c_str());
            return;
        }
        if (errno == EEXIST)
            continue;
        if (!linkUnsupported(errno))
            throw failure("link");
        // No hard links at all (some network shares): a rename after a look,
        // which only another user of the folder could race.
        if (::access(target.c_str(), F_OK) == 0)
            continue;
        if (::rename(temp.c_str(), target.c_str()) != 0)
            throw failure("rename");
        return;
    }
    errno = EEXIST;
    throw failure("link");
}

void copyInto(int from, int to) {
    char buffer[1 << 16];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw failure("read");
        if (got == 0)
            return;
        support::writeAll(to, buffer, static_cast<size_t>(got));
        offset += got;
    }
}

void copyOf(int fd, const std::string& folder, BackupKind kind, const std::tm& now) {
    static std::atomic<unsigned> counter{0};
    const std::string temp = folder + "/" + kTempPrefix + std::to_string(getpid()) + "." +
                             std::to_string(counter++) + ".tmp";
    support::UniqueFd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!out)
        throw failure("create");
    try {
        copyInto(fd, out.get());
        if (fsync(out.get()) != 0)
            throw failure("fsync");
        if (::close(out.release()) != 0)
            throw failure("close");
        placeCopy(folder, kind, now, temp);
    } catch (...) {
        out.reset();
        ::unlink(temp.c_str());
        throw;
    }
}

// The data file is never written in place, so a link keeps the replaced
// version as it is. LIMITS.INI is a text file a person may edit in place,
// which would change a linked backup too: it is always copied.
void makeBackup(BackupKind kind, const std::string& fsPath, int fd, const std::string& folder,
                const std::tm& now) {
    if (kind == BackupKind::DataFile) {
        const std::string linked = linkUnderFreeName(folder, kind, now, fsPath);
        if (!linked.empty()) {
            if (sameInode(fd, linked))
                return;
            ::unlink(linked.c_str());
        }
    }
    copyOf(fd, folder, kind, now);
}

// Told once per run and folder: every later save would say the same.
void tellFailureOnce(const std::string& folder, int error, ErrorReporter* reporter) {
    static std::mutex mutex;
    static std::set<std::string> told;
    {
        const std::lock_guard lock(mutex);
        if (!told.insert(folder).second)
            return;
    }
    const std::string text = backupFailedText(folder, error);
    if (reporter)
        reporter->report(text, MessageIcon::Information);
    else
        std::fprintf(stderr, "%s\n", support::toUtf8(text).c_str());
}

}  // namespace

void configureBackups(const settings::AppSettings& settings) {
    BackupSettings backups;
    backups.folder = settings.backupFolder;
    backups.rule.keepLast = settings.backupKeepLast;
    backups.rule.keepDays = settings.backupKeepDays;
    backups.rule.keepMonths = settings.backupKeepMonths;
    backups.rule.maxBytes = std::max(settings.backupMaxMB, 0) * int64_t{1024 * 1024};
    setBackupSettings(backups);
}

void setBackupSettings(const BackupSettings& settings) {
    const std::lock_guard lock(settingsMutex());
    currentSettings() = settings;
}

BackupSettings backupSettings() {
    const std::lock_guard lock(settingsMutex());
    return currentSettings();
}

std::string backupFolderPath() {
    return support::toFsPath(resolveDataPath(backupSettings().folder));
}

std::string backupFailedText(const std::string& folderFsPath, int error) {
    return support::format(
        support::sj("以前のデータのバックアップを作成できません（データは保存します）\n%s\n%s")
            .c_str(),
        support::fromFsPath(folderFsPath).c_str(), openFailureReason(error).c_str());
}

void keepBackup(BackupKind kind, const std::string& fsPath, int fd, ErrorReporter* reporter) {
    struct stat held {};
    // A damaged file that was moved aside is kept where it went.
    if (fstat(fd, &held) != 0 || held.st_size == 0 || !sameInode(fd, fsPath))
        return;
    const std::string folder = backupFolderPath();
    std::time_t clock = std::time(nullptr);
    std::tm now{};
    localtime_r(&clock, &now);
    try {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            errno = ec.value();
            throw failure("mkdir");
        }
        removeStaleCopies(folder);
        makeBackup(kind, fsPath, fd, folder, now);
    } catch (const std::system_error& error) {
        tellFailureOnce(folder, error.code().value(), reporter);
        return;
    }
    pruneBackupFolder(folder, backupSettings().rule, now);
}

std::vector<BackupFile> listBackups(BackupKind kind) {
    std::vector<BackupFile> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(backupFolderPath(), ec)) {
        const auto name = parseBackupName(entry.path().filename().string());
        std::error_code sizeError;
        if (!name || name->kind != kind || !entry.is_regular_file(sizeError))
            continue;
        const auto size = entry.file_size(sizeError);
        found.push_back({*name, entry.path().string(), sizeError ? 0 : static_cast<int64_t>(size)});
    }
    std::sort(found.begin(), found.end(),
              [](const BackupFile& a, const BackupFile& b) { return newer(a.name, b.name); });
    return found;
}

void pruneBackupFolder(const std::string& folderFsPath, const PruneRule& rule, const std::tm& now) {
    std::vector<BackupEntry> entries;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folderFsPath, ec)) {
        const auto name = parseBackupName(entry.path().filename().string());
        std::error_code sizeError;
        if (!name || !entry.is_regular_file(sizeError))
            continue;
        const auto size = entry.file_size(sizeError);
        entries.push_back({*name, sizeError ? 0 : static_cast<int64_t>(size)});
    }
    const CalendarDay today{now.tm_year + 1900, now.tm_mon + 1, now.tm_mday};
    for (const std::string& name : backupsToRemove(entries, today, rule))
        ::unlink((folderFsPath + "/" + name).c_str());
}

}  // namespace plm::model
