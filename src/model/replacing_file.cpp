#include "model/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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

// The lock of the file now at `target`. A writer that renamed a new file over
// it while this one waited leaves the lock on a file nobody reads any more,
// so lock again whatever is there now.
support::UniqueFd lockCurrent(const std::string& target, support::OpenOptions options) {
    options.mode = support::OpenMode::Read;
    options.exclusive = true;
    options.create = false;
    for (;;) {
        support::UniqueFd fd = support::openWithRetry(target, options);
        if (!fd)
            return fd;
        struct stat held {};
        struct stat now {};
        if (fstat(fd.get(), &held) != 0)
            return {};
        if (::stat(target.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
            now.st_ino == held.st_ino) {
            return fd;
        }
    }
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    if (temp_) {
        temp_.reset();
        ::unlink(tempPath_.c_str());
    }
}

bool ReplacingFile::open(const std::string& fsPath, const support::OpenOptions& options) {
    std::error_code ec;
    target_ = std::filesystem::is_symlink(fsPath, ec)
                  ? std::filesystem::weakly_canonical(fsPath, ec).string()
                  : fsPath;
    if (ec)
        target_ = fsPath;
    if (std::filesystem::is_directory(target_, ec)) {
        errno = EISDIR;
        return false;
    }
    lock_ = lockCurrent(target_, options);
    if (!lock_ && errno != ENOENT)
        return false;

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

void ReplacingFile::commit() {
    if (fsync(temp_.get()) != 0)
        throw fileError("fsync", tempPath_);
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
}

}  // namespace plm::model
