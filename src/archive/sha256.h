#pragma once

#include <string>
#include <string_view>

namespace plm::archive {

// The SHA-256 digest of `bytes` (32 bytes): the key of a measurement's
// tester data, computed alike here and by the server's sha256().
std::string sha256(std::string_view bytes);

}  // namespace plm::archive
