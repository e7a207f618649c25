#pragma once

#include <chrono>
#include <functional>
#include <string>

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

struct OpenOptions {
    OpenMode mode = OpenMode::Read;
    bool exclusive = false;  // flock LOCK_EX (LOCK_SH for a shared read otherwise)
    bool create = false;     // O_CREAT (Write never truncates here)
    std::chrono::milliseconds limit{60000};
    std::chrono::milliseconds interval{200};
    // Called before each wait; returning false gives up at once.
    std::function<bool()> keepWaiting;
};

// Opens fsPath (UTF-8). Retries while the file is locked by another process
// or busy (EAGAIN, EBUSY, ETXTBSY, EWOULDBLOCK) until the limit; a missing
// file or a permission failure is not retried. On failure returns an empty
// UniqueFd and sets errno.
UniqueFd openWithRetry(const std::string& fsPath, const OpenOptions& options);

// Reads the whole file behind fd. Throws std::system_error on a read failure.
std::string readAll(int fd);

// Writes all bytes; throws std::system_error on failure (EINTR and short writes handled).
void writeAll(int fd, const void* data, size_t size);

// Writes `bytes` to fsPath without ever truncating the only copy: a
// temporary file in the same folder, fsync, rename over the target, fsync of
// the folder. Holds an exclusive flock on the target (retried as above) while
// it works. Throws std::system_error on failure; the old file stays intact.
void replaceFileAtomically(const std::string& fsPath, const std::string& bytes,
                           const OpenOptions& lockOptions = {});

// For a read-modify-write cycle under one lock: takes the exclusive flock of
// fsPath (created empty when missing, retried like openWithRetry) and makes
// sure the descriptor still names the file at fsPath, so a writer that waited
// for another process reads that process's result, not the replaced copy.
// Read the content with readAll, then pass the descriptor to replaceLockedFile.
UniqueFd lockForReplace(const std::string& fsPath, const OpenOptions& lockOptions = {});

// The write half of replaceFileAtomically for a caller that already holds the
// lock of fsPath on lockedFd (the new file keeps the old file's permissions).
void replaceLockedFile(const std::string& fsPath, const std::string& bytes, int lockedFd);

}  // namespace plm::support
