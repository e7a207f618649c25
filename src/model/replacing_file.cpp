#include "model/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace plm::model {
namespace {

std::system_error fileError(const char* what, const std::string& path) {
    return std::system_error(errno, std::generic_category(), std::string(what) + " " + path);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

FileIdentity identityOf(const struct stat& st) {
    FileIdentity id;
    id.exists = true;
    id.device = static_cast<uint64_t>(st.st_dev);
    id.inode = static_cast<uint64_t>(st.st_ino);
    id.size = static_cast<int64_t>(st.st_size);
    id.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

std::string resolveTarget(const std::string& fsPath) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(fsPath, ec))
        return fsPath;
    auto real = std::filesystem::weakly_canonical(fsPath, ec);
    return ec ? fsPath : real.string();
}

// The process id in ".<name>.<pid>.<n>.tmp", or 0 when `entry` is no
// temporary file of `name`.
pid_t tempOwner(const std::string& entry, const std::string& name) {
    const std::string prefix = "." + name + ".";
    if (entry.size() <= prefix.size() + 4 || entry.rfind(prefix, 0) != 0 ||
        !entry.ends_with(".tmp")) {
        return 0;
    }
    const std::string middle = entry.substr(prefix.size(), entry.size() - prefix.size() - 4);
    const size_t dot = middle.find('.');
    if (dot == 0 || dot == std::string::npos ||
        middle.find_first_not_of("0123456789.") != std::string::npos) {
        return 0;
    }
    return static_cast<pid_t>(std::strtol(middle.substr(0, dot).c_str(), nullptr, 10));
}

// The lock of the regular file now at `target`.
support::UniqueFd lockCurrent(const std::string& target, support::OpenOptions options) {
    // Opened for writing although only the lock is used: a file the user may
    // not write must not be replaced by renaming a new one over it.
    options.mode = support::OpenMode::ReadWrite;
    options.exclusive = true;
    options.create = false;
    return support::openCurrent(target, options, true);
}

}  // namespace

bool isRegularOrMissing(const std::string& fsPath) {
    struct stat link {};
    if (::lstat(fsPath.c_str(), &link) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    struct stat st {};
    if (::stat(fsPath.c_str(), &st) != 0)
        return false;  // errno tells why: a dangling link, a loop
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    return true;
}

FileIdentity identityOfFd(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 ? identityOf(st) : FileIdentity{};
}

FileIdentity identityAtPath(const std::string& fsPath) {
    struct stat st {};
    return ::stat(fsPath.c_str(), &st) == 0 ? identityOf(st) : FileIdentity{};
}

ReplacingFile::~ReplacingFile() {
    if (temp_) {
        temp_.reset();
        ::unlink(tempPath_.c_str());
    }
}

bool ReplacingFile::open(const std::string& fsPath, const support::OpenOptions& options) {
    // A link that leads nowhere (or in a loop) names no file to replace:
    // writing to where it points would put the data file somewhere else.
    if (!isRegularOrMissing(fsPath))
        return false;
    target_ = resolveTarget(fsPath);
    std::error_code ec;
    if (std::filesystem::is_directory(target_, ec)) {
        errno = EISDIR;
        return false;
    }
    lock_ = lockCurrent(target_, options);
    if (!lock_ && errno != ENOENT)
        return false;
    return createTemp();
}

bool ReplacingFile::openLocked(const std::string& fsPath, support::UniqueFd lock) {
    target_ = resolveTarget(fsPath);
    lock_ = std::move(lock);
    return createTemp();
}

// Under the lock no other save of this file is under way, so a temporary
// file of a process that no longer runs was left by a save that was killed.
void ReplacingFile::removeStaleTemps() const {
    const std::filesystem::path target(target_);
    const std::string name = target.filename().string();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf(target_), ec)) {
        const pid_t owner = tempOwner(entry.path().filename().string(), name);
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
            ::unlink(entry.path().c_str());
    }
}

bool ReplacingFile::createTemp() {
    if (lock_)
        removeStaleTemps();
    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOf(target_);
    const std::string name = std::filesystem::path(target_).filename().string();
    for (int attempt = 0; attempt < 100 && !temp_; ++attempt) {
        tempPath_ = folder + "/." + name + "." + std::to_string(getpid()) + "." +
                    std::to_string(counter++) + ".tmp";
        temp_.reset(::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!temp_ && errno != EEXIST)
            return false;
    }
    if (!temp_)
        return false;
    struct stat old {};
    if (lock_ && fstat(lock_.get(), &old) == 0)
        fchmod(temp_.get(), old.st_mode & 07777);
    return true;
}

void ReplacingFile::write(const void* data, size_t size) {
    support::writeAll(temp_.get(), data, size);
}

FileIdentity ReplacingFile::commit() {
    if (fsync(temp_.get()) != 0)
        throw fileError("fsync", tempPath_);
    const FileIdentity written = identityOfFd(temp_.get());
    if (::close(temp_.release()) != 0) {
        const auto error = fileError("close", tempPath_);
        ::unlink(tempPath_.c_str());
        throw error;
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        const auto error = fileError("rename", target_);
        ::unlink(tempPath_.c_str());
        throw error;
    }
    support::UniqueFd dir(::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems refuse fsync on a folder; the rename has happened anyway.
    if (dir)
        fsync(dir.get());
    return written;
}

}  // namespace plm::model
