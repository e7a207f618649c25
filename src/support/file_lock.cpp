#include "support/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "support/log_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::support {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace {

using Clock = std::chrono::steady_clock;

bool isBusy(int err) {
    return err == EAGAIN || err == EWOULDBLOCK || err == EBUSY || err == ETXTBSY || err == EINTR;
}

int openFlags(const OpenOptions& options) {
    int flags = O_CLOEXEC;
    switch (options.mode) {
        case OpenMode::Read:
            flags |= O_RDONLY;
            break;
        case OpenMode::Write:
            flags |= O_WRONLY;
            break;
        case OpenMode::ReadWrite:
            flags |= O_RDWR;
            break;
    }
    if (options.create)
        flags |= O_CREAT;
    if (options.noFollow)
        flags |= O_NOFOLLOW;
    return flags;
}

// One attempt: open, refuse a folder, take the lock without waiting.
UniqueFd tryOpen(const std::string& fsPath, const OpenOptions& options) {
    UniqueFd fd(::open(fsPath.c_str(), openFlags(options), 0666));
    if (!fd) {
        if (options.noFollow)
            reportPlantedLink(fsPath);
        return fd;
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0)
        return UniqueFd();
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return UniqueFd();
    }
    if (flock(fd.get(), (options.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        int err = errno;
        fd.reset();
        errno = err;
    }
    return fd;
}

std::system_error fileError(const char* what, const std::string& fsPath) {
    return std::system_error(errno, std::generic_category(), std::string(what) + " " + fsPath);
}

}  // namespace

namespace {

std::mutex noticeMutex;
LongWaitNotice longWaitNotice;

constexpr std::chrono::milliseconds kNoticeAfter{1000};

void announceLongWait(const std::string& fsPath, std::chrono::milliseconds limit) {
    LongWaitNotice notice;
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        notice = longWaitNotice;
    }
    if (notice)
        notice(fsPath, limit);
}

}  // namespace

namespace {

PlantedLinkNotice plantedLinkNotice;

}  // namespace

PlantedLinkNotice setPlantedLinkNotice(PlantedLinkNotice notice) {
    std::lock_guard<std::mutex> lock(noticeMutex);
    std::swap(plantedLinkNotice, notice);
    return notice;
}

std::string plantedLinkText(const std::string& fsPath) {
    return format(sj("ファイルの場所にシンボリックリンクが置かれているため開きません\n%s").c_str(),
                  fromFsPath(fsPath).c_str());
}

bool reportPlantedLink(const std::string& fsPath, bool intoLog) {
    const int err = errno;
    struct stat st {};
    if (err != ELOOP || ::lstat(fsPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        errno = err;
        return false;
    }
    // Said once per path: a settings file is opened once for every key.
    static std::set<std::string> reported;
    PlantedLinkNotice notice;
    {
        std::lock_guard<std::mutex> lock(noticeMutex);
        if (!reported.insert(fsPath).second) {
            errno = err;
            return true;
        }
        notice = plantedLinkNotice;
    }
    if (intoLog && AppLog().logOn())
        AppLog().writeLine("PlantedLink " + fromFsPath(fsPath));
    if (notice)
        notice(fsPath);
    errno = err;
    return true;
}

LongWaitNotice setLongWaitNotice(LongWaitNotice notice) {
    std::lock_guard<std::mutex> lock(noticeMutex);
    std::swap(longWaitNotice, notice);
    return notice;
}

std::string longWaitText(const std::string& fsPath, std::chrono::milliseconds limit) {
    const auto seconds = static_cast<int>((limit.count() + 999) / 1000);
    return format(sj("ファイルは他のプログラムが使用中です\n終わるまで待っています（最長 %d "
                     "秒）\n%s")
                      .c_str(),
                  seconds, fromFsPath(fsPath).c_str());
}

LockWait::LockWait(std::string fsPath, std::chrono::milliseconds limit,
                   std::chrono::milliseconds interval)
    : fsPath_(std::move(fsPath)), limit_(limit), interval_(interval), start_(Clock::now()) {}

std::chrono::milliseconds LockWait::elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
}

bool LockWait::pause() {
    const auto waited = elapsed();
    if (waited >= limit_)
        return false;
    if (!announced_ && waited >= kNoticeAfter) {
        announced_ = true;
        announceLongWait(fsPath_, limit_);
    }
    // A pause of at least a millisecond: no attempt follows another at once.
    const auto pause = std::max(std::chrono::milliseconds(1), std::min(interval_, limit_ - waited));
    std::this_thread::sleep_for(pause);
    return true;
}

UniqueFd openWithRetry(const std::string& fsPath, const OpenOptions& options) {
    LockWait own(fsPath, options.limit, options.interval);
    LockWait& wait = options.wait ? *options.wait : own;
    for (;;) {
        UniqueFd fd = tryOpen(fsPath, options);
        if (fd)
            return fd;
        const int err = errno;
        if (!isBusy(err))
            return UniqueFd();
        if ((options.keepWaiting && !options.keepWaiting()) || !wait.pause()) {
            errno = err;
            return UniqueFd();
        }
    }
}

std::string readAll(int fd) {
    std::string out;
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            return out;
        } else if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "read");
        }
    }
}

void writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "write");
        } else if (n == 0) {
            throw std::system_error(EIO, std::generic_category(), "write");
        }
    }
}

namespace {

// A new, empty file beside the target that no other writer can pick.
UniqueFd createTempBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "." + name + "." + std::to_string(getpid()) + "." +
                   std::to_string(counter++) + ".tmp";
        UniqueFd fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST)
            return fd;
    }
    return UniqueFd();
}

void syncFolderOf(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : target.substr(0, slash);
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems refuse fsync on a folder; the rename itself already happened.
    if (dir)
        fsync(dir.get());
}

std::string resolveLink(const std::string& fsPath) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(fsPath, ec))
        return fsPath;
    auto real = std::filesystem::weakly_canonical(fsPath, ec);
    return ec ? fsPath : real.string();
}

UniqueFd lockCurrent(const std::string& target, OpenOptions options) {
    options.exclusive = true;
    return openCurrent(target, std::move(options));
}

}  // namespace

UniqueFd openCurrent(const std::string& fsPath, OpenOptions options, bool regularOnly) {
    LockWait wait(fsPath, options.limit, options.interval);
    if (!options.wait)
        options.wait = &wait;
    for (;;) {
        UniqueFd fd = openWithRetry(fsPath, options);
        if (!fd)
            return fd;
        struct stat held {};
        struct stat now {};
        if (fstat(fd.get(), &held) != 0)
            return UniqueFd();
        if (regularOnly && !S_ISREG(held.st_mode)) {
            errno = EINVAL;
            return UniqueFd();
        }
        if (::stat(fsPath.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
            now.st_ino == held.st_ino) {
            return fd;
        }
        if (!options.wait->pause()) {
            errno = EAGAIN;
            return UniqueFd();
        }
    }
}

UniqueFd lockForReplace(const std::string& fsPath, const OpenOptions& lockOptions) {
    OpenOptions options = lockOptions;
    options.mode = OpenMode::Read;
    options.create = true;
    return lockCurrent(options.noFollow ? fsPath : resolveLink(fsPath), options);
}

void replaceLockedFile(const std::string& fsPath, const std::string& bytes, int lockedFd) {
    const std::string target = resolveLink(fsPath);
    struct stat old {};
    const bool hadOld = lockedFd >= 0 && fstat(lockedFd, &old) == 0;
    std::string tempPath;
    UniqueFd temp = createTempBeside(target, tempPath);
    if (!temp)
        throw fileError("create", tempPath);
    try {
        if (hadOld)
            fchmod(temp.get(), old.st_mode & 07777);
        writeAll(temp.get(), bytes.data(), bytes.size());
        if (fsync(temp.get()) != 0)
            throw fileError("fsync", tempPath);
        if (::close(temp.release()) != 0)
            throw fileError("close", tempPath);
        if (::rename(tempPath.c_str(), target.c_str()) != 0)
            throw fileError("rename", target);
    } catch (...) {
        temp.reset();
        ::unlink(tempPath.c_str());
        throw;
    }
    syncFolderOf(target);
}

void replaceFileAtomically(const std::string& fsPath, const std::string& bytes,
                           const OpenOptions& lockOptions) {
    OpenOptions options = lockOptions;
    options.mode = OpenMode::Read;
    options.create = false;
    // Hold the old file's lock so a reader or writer of it never sees half a change.
    UniqueFd lock = lockCurrent(options.noFollow ? fsPath : resolveLink(fsPath), options);
    if (!lock && errno != ENOENT)
        throw fileError("lock", fsPath);
    replaceLockedFile(fsPath, bytes, lock.get());
}

}  // namespace plm::support
