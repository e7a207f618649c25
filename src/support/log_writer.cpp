#include "support/log_writer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <thread>
#include <vector>

#include "support/file_lock.h"
#include "support/ole_date.h"
#include "support/paths.h"

namespace plm::support {
namespace {

// The tick of the last time-stamped line of any log in this process.
std::atomic<uint32_t> lastTick{0};
std::atomic<bool> lastTickSet{false};

// Holds the cross-process lock of one log file for the length of a write. A
// lock file that cannot be made leaves the write unserialised rather than lost.
class LogLock {
  public:
    explicit LogLock(const std::string& name) {
        const std::string path = support::lockFolder() + "/" + name;
        fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (!fd_)
            return;
        while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }

  private:
    support::UniqueFd fd_;
};

// Opens a log file for appending. Another program that holds a write lock on
// the file (our own writers take it for each write) counts as a failed open,
// the way a file opened without write sharing does.
support::UniqueFd openForAppend(const std::string& path) {
    support::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        fd.reset();
        errno = EWOULDBLOCK;
    }
    return fd;
}

// Only a file that is busy can become free by waiting. A missing folder or a
// refused permission stays as it is, and retrying it would stall every
// write (the application log is written on the user-interface thread).
bool worthRetrying(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EBUSY || error == ETXTBSY ||
           error == EINTR;
}

void removeIfLarger(const std::string& path, uint64_t limit) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > limit) {
        ::unlink(path.c_str());
    }
}

std::string stampPrefix(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    const uint32_t now = tickCount();
    const uint32_t since = lastTickSet.exchange(true) ? now - lastTick.load() : 0;
    lastTick = now;
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%02d/%02d %02d:%02d:%02d[%08lu](%8lu)", local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<unsigned long>(now), static_cast<unsigned long>(since));
    return prefix;
}

}  // namespace

uint32_t tickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000;
    return static_cast<uint32_t>(ms);
}

long logPeriod(std::time_t t, int daysPerFile) {
    std::tm local{};
    localtime_r(&t, &local);
    const long days =
        support::daysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) -
        support::daysFromCivil(1998, 1, 1);
    const long seconds = days * 86400L + local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
    return (seconds / 86400L - 1) / (daysPerFile > 0 ? daysPerFile : 1);
}

std::string logLockName(const std::string& fileName) {
    std::string name = fileName.size() > 20 ? fileName.substr(fileName.size() - 20) : fileName;
    for (char& c : name) {
        if (c == '\\' || c == '/' || c == '.' || c == ' ')
            c = '_';
    }
    return name;
}

void LogWriter::setLog(const std::string& base, int daysPerFile, int fileCount,
                       uint32_t openRetryMs, uint64_t sizeLimit) {
    base_ = base;
    daysPerFile_ = daysPerFile > 0 ? daysPerFile : 1;
    fileCount_ = fileCount > 0 ? fileCount : 1;
    openRetryMs_ = openRetryMs;
    sizeLimit_ = sizeLimit;
}

std::string LogWriter::periodFile(std::time_t t) const {
    // A clock set before 1998 gives a negative period; the index stays in range.
    long index = logPeriod(t, daysPerFile_) % fileCount_;
    if (index < 0)
        index += fileCount_;
    return base_ + std::to_string(index) + ".LOG";
}

void LogWriter::writeLine(const std::string& text) {
    write(text, true, true);
}
void LogWriter::writeStart(const std::string& text) {
    write(text, true, false);
}
void LogWriter::writeRaw(const std::string& text) {
    write(text, false, true);
}

void LogWriter::writeFormat(const char* format, ...) {
    if (!logOn())
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) + 1 : 1, '\0');
    if (size > 0)
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    writeLine(std::string(buffer.data(), size > 0 ? static_cast<size_t>(size) : 0));
}

void LogWriter::write(const std::string& text, bool stamped, bool endLine) {
    if (!logOn())
        return;
    const std::time_t t = std::time(nullptr);
    const long period = logPeriod(t, daysPerFile_);
    const std::string file = periodFile(t);
    LogLock lock(logLockName(file));

    // A file of an earlier cycle of the rotation, or one grown past the
    // limit, is started afresh.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && (logPeriod(st.st_mtime, daysPerFile_) != period ||
                                           static_cast<uint64_t>(st.st_size) > sizeLimit_)) {
        ::unlink(file.c_str());
    }

    const uint32_t start = tickCount();
    bool fallback = false;
    support::UniqueFd fd = openForAppend(file);
    while (!fd) {
        if (!worthRetrying(errno) || tickCount() - start > openRetryMs_) {
            const std::string spare = fallbackFile();
            removeIfLarger(spare, sizeLimit_);
            fd = openForAppend(spare);
            fallback = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fd = openForAppend(file);
    }
    if (!fd)
        return;

    std::string line = stamped ? stampPrefix(t) : std::string();
    line += text;
    if (endLine)
        line += '\n';
    try {
        support::writeAll(fd.get(), line.data(), line.size());
    } catch (const std::exception&) {
        return;  // logging never interrupts its caller
    }
    if (!fallback) {
        // The rotation test of the next write reads this time.
        const timespec times[2] = {{t, 0}, {t, 0}};
        ::futimens(fd.get(), times);
    }
}

LogWriter& AppLog() {
    static LogWriter log;
    return log;
}

void openAppLog() {
    AppLog().setLog(support::programFolder() + "/PLMView");
}

void openCommLog(LogWriter& log) {
    log.setLog(support::programFolder() + "/COMM_");
}

}  // namespace plm::support
