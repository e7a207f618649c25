#include "support/staged_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace plm::support {
namespace {

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

StagedFile::StagedFile(std::string targetFsPath) : target_(std::move(targetFsPath)) {
    std::filesystem::path folder = std::filesystem::path(target_).parent_path();
    if (folder.empty())
        folder = ".";
    // A short name of its own (the target's name may already be as long as
    // the file system allows), created with the usual permissions under the
    // umask, as the target would be.
    static std::atomic<unsigned> counter{0};
    const std::string stem = ".plm-part." + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = (folder / (stem + std::to_string(++counter))).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_.reset(fd);
            tempPath_ = path;
            return;
        }
        if (errno != EEXIST)
            break;
    }
    throwErrno("open");
}

StagedFile::~StagedFile() {
    if (!committed_)
        ::unlink(tempPath_.c_str());
}

void StagedFile::closeFd() {
    if (fd_ && ::close(fd_.release()) != 0)
        throwErrno("close");
}

void StagedFile::commit(bool replace) {
    closeFd();
    if (replace) {
        if (::rename(tempPath_.c_str(), target_.c_str()) != 0)
            throwErrno("rename");
    } else if (::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, target_.c_str(),
                           RENAME_NOREPLACE) != 0) {
        // File systems without the no-replace rename: a hard link fails the
        // same way on an existing target.
        if (errno != EINVAL && errno != ENOSYS)
            throwErrno("rename");
        if (::link(tempPath_.c_str(), target_.c_str()) != 0)
            throwErrno("link");
        ::unlink(tempPath_.c_str());
    }
    committed_ = true;
}

bool outputNameTaken(const std::string& fsPath) {
    struct stat st {};
    return ::lstat(fsPath.c_str(), &st) == 0;
}

void writeStagedFile(const std::string& targetFsPath, const std::string& bytes, bool replace) {
    StagedFile file(targetFsPath);
    writeAll(file.fd(), bytes.data(), bytes.size());
    file.commit(replace);
}

}  // namespace plm::support
