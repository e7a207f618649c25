#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/customer_tree.h"
#include "model/replacing_file.h"
#include "support/cx_exception.h"

// The data file: the byte layout of versions 1..6 (read) and 6 (written).
// CustomerTree::load/save add the file handling and the reporting on top.
namespace plm::model {

inline constexpr int32_t kDataFileVersion = 6;
inline constexpr std::string_view kDataFileSignature = "sd5c16-20070831-sd56s0c-t6b510aD6";

// The bytes of `tree` as a version 6 data file.
std::string writeDataFile(const CustomerTree& tree);

// Why reading a data file stopped.
enum class ReadStatus {
    Ok,
    BadSignature,  // message 131
    BadVersion,    // message 130
};

// Malformed or truncated data ("ｱｰｶｲﾌﾞ異常").
class ArchiveError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads data file bytes into `tree` (customers cleared first). Each record's
// devType becomes the configured device type. Names that count as the same
// name under one parent are joined under the first spelling read. Throws
// ArchiveError on truncated or malformed data and on bytes after the last
// customer, leaving the customers read before it in the tree. Memory stays
// bounded by the size of `bytes`.
ReadStatus readDataFile(std::string_view bytes, CustomerTree& tree);

// The texts of a failed load or save, shown through the ErrorReporter.
// "%s\n%s\n%s(%d)": kind, description (at most 99 bytes), module and line.
std::string failureText(const std::string& kind, const std::string& description);

// The stored path with a leading "." replaced by the program folder, in the
// form the file system sees ("/" separators, a drive letter resolved).
std::string resolveDataPath(const std::string& path);

// Moves the regular file at the stored path to "<path>_%Y%m%d%H%M%S" (local
// time), or "<path>_%Y%m%d%H%M%S_<n>" when a file of that name already
// exists. Returns the new stored path, empty when nothing was moved (no
// regular file there, or the move failed).
std::string moveAside(const std::string& path);

// How reading a data file ended.
enum class LoadOutcome {
    Loaded,
    Missing,      // no file (or a folder) at the path: an empty tree
    Damaged,      // read, and its content is not a data file (reported)
    Unavailable,  // could not be opened or read (reported); the file stays
};

// Loads the data file at the resolved stored path into `tree` under the
// exclusive lock, waiting for other holders as designed. Only a regular file
// whose content was read and found damaged is moved aside, and only with
// DamagedFile::MoveAside; the message then tells where it went. `identity`
// receives what the file read was.
LoadOutcome loadDataFile(CustomerTree& tree, const std::string& path, ErrorReporter& reporter,
                         DamagedFile damaged, FileIdentity& identity);

// Reads the data file held open (and locked) on fd from its start; the
// rules of loadDataFile for a damaged file.
LoadOutcome readHeldDataFile(int fd, CustomerTree& tree, const std::string& path,
                             ErrorReporter& reporter, DamagedFile damaged);

// How long opening the data file waits for another holder.
inline constexpr std::chrono::milliseconds kDataFileOpenLimit{60000};

// Streams the tree as a data file into `file` and commits it; the bytes
// written so far go to progress->fileProgress as they are.
FileIdentity writeDataFile(const CustomerTree& tree, ReplacingFile& file,
                           ErrorReporter* progress = nullptr);

// "ファイルを開くことが出来ません\n%s" for the stored path.
CxException openFailure(const std::string& path);
// The same followed by a line with the reason of the errno value (no
// permission, a read-only file system, no space, a link that leads nowhere).
CxException openFailure(const std::string& path, int error);
// That reason line (CP932).
std::string openFailureReason(int error);

// Runs `job`; a failure is reported with its designed message and gives false.
bool reportingFailures(ErrorReporter& reporter, const std::function<void()>& job);

}  // namespace plm::model
