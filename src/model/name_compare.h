#pragma once

#include <string_view>

namespace plm::model {

// The name comparison of every level of the customer tree: the C-locale
// case-insensitive byte comparison. ASCII A-Z compare as a-z, every other
// byte by its unsigned value, a prefix sorts first. Double-byte CP932 names
// are compared byte by byte too, so a trail byte in 0x41..0x5A folds like a
// capital letter (the names "イトウ" and "ツトウ" are the same name).
// Returns <0, 0 or >0.
int compareNames(std::string_view a, std::string_view b);

inline bool sameName(std::string_view a, std::string_view b) {
    return compareNames(a, b) == 0;
}

}  // namespace plm::model
