#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/file_lock.h"

namespace plm::model {

// What a file at a path was when it was read or written: a save compares it
// with what is there now to see whether another program wrote meanwhile.
struct FileIdentity {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identityOfFd(int fd);
FileIdentity identityAtPath(const std::string& fsPath);

// Nothing at fsPath, or a regular file (through links). False with errno set
// for anything else: a link that leads nowhere or in a loop, a folder, a
// device, a FIFO. Such a path is no data file and is never written.
bool isRegularOrMissing(const std::string& fsPath);

// Writes a new version of a file without ever truncating the old one: the
// bytes go, as they are produced, into a temporary file in the same folder,
// which is fsynced and renamed over the target on commit. While it works it
// holds the exclusive lock of the current file, so readers and other writers
// see either the old or the new file, whole. Streaming keeps the memory of a
// save independent of the file's size.
class ReplacingFile {
  public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Locks the current file (retrying as `options` say; a missing file needs
    // no lock) and creates the temporary file. False with errno set when
    // either cannot be done: the file cannot be opened for writing (a file the
    // user may not write, or one that is no regular file, is never replaced).
    bool open(const std::string& fsPath, const support::OpenOptions& options);

    // The same for a caller that already holds the exclusive lock of the file
    // at fsPath on `lock` (kept until the object ends).
    bool openLocked(const std::string& fsPath, support::UniqueFd lock);

    // Appends to the temporary file; throws std::system_error.
    void write(const void* data, size_t size);

    // fsync, rename over the target, fsync of the folder; throws
    // std::system_error. Returns what the new file is.
    FileIdentity commit();

  private:
    bool createTemp();
    void removeStaleTemps() const;

    std::string target_;
    std::string tempPath_;
    support::UniqueFd lock_;
    support::UniqueFd temp_;
};

}  // namespace plm::model
