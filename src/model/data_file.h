#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/customer_tree.h"

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
// devType becomes the configured device type. Throws ArchiveError on
// truncated or malformed data, leaving the customers read before it in the
// tree. Memory stays bounded by the size of `bytes`.
ReadStatus readDataFile(std::string_view bytes, CustomerTree& tree);

// The texts of a failed load or save, shown through the ErrorReporter.
// "%s\n%s\n%s(%d)": kind, description (at most 99 bytes), module and line.
std::string failureText(const std::string& kind, const std::string& description);

// The stored path with a leading "." replaced by the program folder.
std::string resolveDataPath(const std::string& path);

// Moves the file at the stored path to "<path>_%Y%m%d%H%M%S" (local time),
// or "<path>_%Y%m%d%H%M%S_<n>" when a file of that name already exists; a
// failure of the move is ignored.
void moveAside(const std::string& path);

}  // namespace plm::model
