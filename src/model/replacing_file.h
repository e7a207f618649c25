#pragma once

#include <cstddef>
#include <string>

#include "support/file_lock.h"

namespace plm::model {

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
    // either cannot be done: the file cannot be opened for writing.
    bool open(const std::string& fsPath, const support::OpenOptions& options);

    // Appends to the temporary file; throws std::system_error.
    void write(const void* data, size_t size);

    // fsync, rename over the target, fsync of the folder; throws std::system_error.
    void commit();

  private:
    std::string target_;
    std::string tempPath_;
    support::UniqueFd lock_;
    support::UniqueFd temp_;
};

}  // namespace plm::model
