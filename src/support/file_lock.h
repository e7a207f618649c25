#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>

// Opening files the way the system does: a file held by another process is
// retried every 200 ms up to a limit. Exclusive opens take an advisory flock
// and honour the ones of other processes.
namespace plm::support {

// An open file descriptor, closed (and its flock released) on destruction.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

enum class OpenMode { Read, Write, ReadWrite };

// Told once, with the path, when a wait for another program's lock has lasted
// longer than a second; `limit` is how long the wait lasts at most.
using LongWaitNotice =
    std::function<void(const std::string& fsPath, std::chrono::milliseconds limit)>;

// Installs the notice every wait of this process gives (plmtool prints it,
// PLMView shows it in its progress window); returns the one it replaces.
LongWaitNotice setLongWaitNotice(LongWaitNotice notice);

// Installs a notice for its lifetime and then puts back the one it replaced,
// so that nothing is told after the job that shows it has ended.
class ScopedLongWaitNotice {
  public:
    explicit ScopedLongWaitNotice(LongWaitNotice notice)
        : previous_(setLongWaitNotice(std::move(notice))) {}
    ~ScopedLongWaitNotice() { setLongWaitNotice(std::move(previous_)); }
    ScopedLongWaitNotice(const ScopedLongWaitNotice&) = delete;
    ScopedLongWaitNotice& operator=(const ScopedLongWaitNotice&) = delete;

  private:
    LongWaitNotice previous_;
};

// "ファイルは他のプログラムが使用中です ..." (CP932) for the UTF-8 path.
std::string longWaitText(const std::string& fsPath, std::chrono::milliseconds limit);

// One wait for a lock that may span several attempts to open: it sleeps
// between them, ends at its limit however many attempts there were, and gives
// the long-wait notice once.
class LockWait {
  public:
    LockWait(std::string fsPath, std::chrono::milliseconds limit,
             std::chrono::milliseconds interval = std::chrono::milliseconds(200));

    // Sleeps until the next attempt; false once the limit is reached (at once).
    bool pause();
    std::chrono::milliseconds elapsed() const;
    std::chrono::milliseconds limit() const { return limit_; }

  private:
    std::string fsPath_;
    std::chrono::milliseconds limit_;
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point start_;
    bool announced_ = false;
};

struct OpenOptions {
    OpenMode mode = OpenMode::Read;
    bool exclusive = false;  // flock LOCK_EX (LOCK_SH for a shared read otherwise)
    bool create = false;     // O_CREAT (Write never truncates here)
    std::chrono::milliseconds limit{60000};
    std::chrono::milliseconds interval{200};
    // Called before each wait; returning false gives up at once.
    std::function<bool()> keepWaiting;
    // A wait that outlasts this open (a caller that opens again when the file
    // was replaced meanwhile); limit and interval are then the wait's.
    LockWait* wait = nullptr;
    // A symbolic link at the path is not opened (O_NOFOLLOW): the open fails
    // with ELOOP at once and the planted-link notice is given. For the files
    // of the system (settings, logs, limits), whose place nobody else may
    // redirect to a file of their choosing.
    bool noFollow = false;
};

// Told, with the path, the first time an open with noFollow finds a symbolic
// link in place of that file.
using PlantedLinkNotice = std::function<void(const std::string& fsPath)>;

// Installs the notice of this process; returns the one it replaces.
PlantedLinkNotice setPlantedLinkNotice(PlantedLinkNotice notice);

// "シンボリックリンクが置かれているため開きません ..." (CP932) for the UTF-8 path.
std::string plantedLinkText(const std::string& fsPath);

// When the last open failed with ELOOP and fsPath is a symbolic link: gives
// the planted-link notice (once per path and process), records it in the application log unless
// `intoLog` is false (the log writer's own files, written under the log's
// lock), and returns true (errno is kept).
bool reportPlantedLink(const std::string& fsPath, bool intoLog = true);

// Opens fsPath (UTF-8). Retries while the file is locked by another process
// or busy (EAGAIN, EBUSY, ETXTBSY, EWOULDBLOCK) until the limit; a missing
// file or a permission failure is not retried. On failure returns an empty
// UniqueFd and sets errno.
UniqueFd openWithRetry(const std::string& fsPath, const OpenOptions& options);

// Opens and locks fsPath as openWithRetry does, and again when another
// process renamed a new file over it while this one waited: the lock would
// be on a file nobody reads any more. With `regularOnly` anything but a
// regular file fails with EINVAL.
UniqueFd openCurrent(const std::string& fsPath, OpenOptions options, bool regularOnly = false);

// Reads the whole file behind fd. Throws std::system_error on a read failure.
std::string readAll(int fd);

// Writes all bytes; throws std::system_error on failure (EINTR and short writes handled).
void writeAll(int fd, const void* data, size_t size);

// Writes `bytes` to fsPath without ever truncating the only copy: a
// temporary file in the same folder, fsync, rename over the target, fsync of
// the folder. Holds an exclusive flock on the target (retried as above) while
// it works. A link at fsPath is followed unless lockOptions.noFollow refuses it. Throws
// std::system_error on failure; the old file stays intact.
void replaceFileAtomically(const std::string& fsPath, const std::string& bytes,
                           const OpenOptions& lockOptions = {});

// For a read-modify-write cycle under one lock: takes the exclusive flock of
// fsPath (created empty when missing, retried like openWithRetry) and makes
// sure the descriptor still names the file at fsPath, so a writer that waited
// for another process reads that process's result, not the replaced copy.
// Read the content with readAll, then pass the descriptor to replaceLockedFile.
// With noFollow a link at fsPath is refused (ELOOP) rather than followed.
UniqueFd lockForReplace(const std::string& fsPath, const OpenOptions& lockOptions = {});

// The write half of replaceFileAtomically for a caller that already holds the
// lock of fsPath on lockedFd (the new file keeps the old file's permissions).
void replaceLockedFile(const std::string& fsPath, const std::string& bytes, int lockedFd);

}  // namespace plm::support
