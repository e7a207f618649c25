#pragma once

#include <string>

#include "support/file_lock.h"

namespace plm::support {

// A file that appears at its target path only when it is whole: the bytes
// go into a hidden temporary file in the target's folder, which commit()
// renames onto the target. Destroyed without commit (a failure, a cancelled
// run) the temporary file is removed and the target is untouched. Every
// output file of the system (CSV, report pages, export files, limits and
// trend files) is written this way: a symbolic link at the target's name is
// replaced by the new file, never followed, so nothing outside the output is
// written.
class StagedFile {
  public:
    // Creates the temporary file next to targetFsPath (UTF-8). Throws
    // std::system_error when the folder does not take a new file.
    explicit StagedFile(std::string targetFsPath);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // The temporary file: write through fd(), or let a writer that opens
    // files by name (a PDF writer) write at tempPath() after closeFd().
    int fd() const { return fd_.get(); }
    const std::string& tempPath() const { return tempPath_; }
    void closeFd();

    // Moves the temporary file onto the target. Without `replace` an existing
    // target is kept and commit throws std::system_error (EEXIST), even when
    // another process created it a moment ago. Throws on any other failure.
    void commit(bool replace);

  private:
    std::string target_;
    std::string tempPath_;
    UniqueFd fd_;
    bool committed_ = false;
};

// Something is at fsPath: a file, a folder, or a symbolic link (one that
// leads nowhere included), which an output written there would replace.
bool outputNameTaken(const std::string& fsPath);

// `bytes` as the whole file at targetFsPath, through a StagedFile committed
// with `replace`. Throws std::system_error (EEXIST for a kept target).
void writeStagedFile(const std::string& targetFsPath, const std::string& bytes, bool replace);

}  // namespace plm::support
