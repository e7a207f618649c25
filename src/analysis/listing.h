#pragma once

#include <string>

#include "support/ole_date.h"

// Pieces the lists over the whole tree share (the fleet table, the names
// due for a test).
namespace plm::analysis {

// Whether a measurement dated `candidate`, met after the newest so far,
// takes its place: a valid date is newer than none, and of two equal dates
// the later met (the later in the list) is the newer.
inline bool replacesNewest(const support::DateTimeValue& candidate,
                           const support::DateTimeValue& newest) {
    if (!candidate.valid())
        return !newest.valid();
    return !newest.valid() || candidate.value >= newest.value;
}

// The key under which names that compare as the same meet: ASCII capitals
// folded, as the name comparison folds them.
inline std::string foldedName(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
    return key;
}

// A CSV field, in double quotes when it holds a comma, a quote or a line end.
inline std::string csvField(const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos)
        return utf8;
    std::string out = "\"";
    for (const char c : utf8)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

}  // namespace plm::analysis
