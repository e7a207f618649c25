#include "link/transfer_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "link/transfer_decoder.h"
#include "support/file_lock.h"
#include "support/ole_date.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "RECV_";
constexpr const char* kSuffix = ".txt";

bool isJournalName(const std::string& name) {
    return name.size() > 9 && name.rfind(kPrefix, 0) == 0 &&
           name.compare(name.size() - 4, 4, kSuffix) == 0;
}

struct JournalFile {
    fs::path path;
    std::time_t modified = 0;
    int64_t size = 0;
};

std::vector<JournalFile> journalFiles(const std::string& folder) {
    std::vector<JournalFile> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        struct stat st {};
        if (!isJournalName(entry.path().filename().string()) ||
            ::lstat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            continue;
        }
        files.push_back({entry.path(), st.st_mtime, static_cast<int64_t>(st.st_size)});
    }
    // Oldest first; the name (its time) breaks ties within a second.
    std::sort(files.begin(), files.end(), [](const JournalFile& a, const JournalFile& b) {
        return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
    });
    return files;
}

void syncFolder(const std::string& folder) {
    support::UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems refuse fsync on a folder; the file itself is synced.
    if (dir)
        ::fsync(dir.get());
}

// A new file in `folder` named after the time, with a number added when a
// file of that name is there already (two transfers within one second).
support::UniqueFd createJournalFile(const std::string& folder, std::string& path) {
    const std::string name = journalFileName(std::time(nullptr));
    const std::string stem = name.substr(0, name.size() - 4);
    for (int n = 1; n < 1000; ++n) {
        path = folder + "/" + (n == 1 ? name : stem + "_" + std::to_string(n) + kSuffix);
        // O_EXCL never follows a link: one planted at the name only takes the next number.
        support::UniqueFd fd(
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return support::UniqueFd();
}

}  // namespace

std::string capturedFileHeader(const std::string& program, const std::string& where,
                               const model::LineSettings& s) {
    std::string out = "; " + program + " receive " +
                      support::formatDateTime(support::nowLocal(), "%Y/%m/%d %H:%M:%S") + "\r\n";
    out += support::fromUtf8(
        support::format("; %s baud=%d byteSize=%d stopBits=%d parity=%d flow=%d\r\n", where.c_str(),
                        s.baud, s.byteSize, s.stopBits, s.parity, s.flow));
    return out;
}

std::string journalFileName(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::strftime(name, sizeof name, "RECV_%Y%m%d_%H%M%S.txt", &local);
    return name;
}

void pruneJournal(const std::string& folder, const JournalLimits& limits, std::time_t now) {
    std::vector<JournalFile> files = journalFiles(folder);
    std::error_code ec;
    auto kept = files.begin();
    if (limits.maxDays > 0) {
        const std::time_t oldest = now - static_cast<std::time_t>(limits.maxDays) * 86400;
        for (; kept != files.end() && kept->modified < oldest; ++kept)
            fs::remove(kept->path, ec);
    }
    if (limits.maxBytes > 0) {
        int64_t total = 0;
        for (auto it = kept; it != files.end(); ++it)
            total += it->size;
        for (; kept != files.end() && total > limits.maxBytes; ++kept) {
            fs::remove(kept->path, ec);
            total -= kept->size;
        }
    }
}

TransferJournal::TransferJournal(const std::string& folder, const JournalLimits& limits,
                                 const std::string& header) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw std::system_error(ec, "mkdir " + folder);
    // A link planted in place of the folder would put the journal (and its
    // pruning) wherever it leads.
    if (fs::is_symlink(folder, ec)) {
        errno = ELOOP;
        support::reportPlantedLink(folder);
        throw std::system_error(ELOOP, std::generic_category(), "open " + folder);
    }
    pruneJournal(folder, limits, std::time(nullptr));
    fd_ = createJournalFile(folder, path_);
    if (!fd_)
        throw std::system_error(errno, std::generic_category(), "open " + path_);
    support::writeAll(fd_.get(), header.data(), header.size());
    syncFolder(folder);
}

TransferJournal::~TransferJournal() {
    try {
        close({});
    } catch (const std::system_error&) {
        // What was written stays; a destructor has no one left to tell.
    }
}

void TransferJournal::writeBlock(std::span<const uint8_t> bytes) {
    if (!fd_)
        return;
    const std::string line = hexText(bytes) + "\r\n";
    support::writeAll(fd_.get(), line.data(), line.size());
    anyBlock_ = true;
}

void TransferJournal::close(const std::string& note) {
    if (!fd_)
        return;
    support::UniqueFd fd = std::move(fd_);
    if (!anyBlock_) {
        // Nothing arrived: a file of comments only would just crowd the folder.
        fd.reset();
        std::error_code ec;
        fs::remove(path_, ec);
        return;
    }
    if (!note.empty()) {
        const std::string line = "; " + note + "\r\n";
        support::writeAll(fd.get(), line.data(), line.size());
    }
    if (::fsync(fd.get()) != 0)
        throw std::system_error(errno, std::generic_category(), "fsync " + path_);
}

}  // namespace plm::link
