#pragma once

#include <optional>
#include <string>
#include <string_view>

// Every text the system keeps is a CP932 byte string in std::string. These
// helpers convert at the edges (GUI, terminal, file system) only.
namespace plm::support {

// CP932 -> UTF-8. Bytes that do not decode become U+FFFD; never throws.
std::string toUtf8(std::string_view cp932);

// UTF-8 -> CP932. Characters without a CP932 form become '?'; never throws.
std::string fromUtf8(std::string_view utf8);

// The first character of a typed UTF-8 text that the stored CP932 form
// cannot hold: a character without a CP932 form (emoji, characters outside
// JIS X 0208 and the NEC/IBM extensions), NUL (every edge ends a text at it),
// or bytes that are no UTF-8.
struct Unstorable {
    size_t offset = 0;      // byte offset in the UTF-8 text
    size_t length = 0;      // its bytes
    std::string character;  // the character (UTF-8); empty for bytes that are no UTF-8
    std::string code;       // "U+1F600", or "0xFF" for bytes that are no UTF-8
};
std::optional<Unstorable> findUnstorable(std::string_view utf8);

// "保存できない文字が含まれています\n%s" with the code (CP932), the refusal
// of such a text.
std::string unstorableText(const Unstorable& found);

// A fixed system text written in UTF-8 in the source, as CP932 bytes.
// Converted once and cached; the reference stays valid for the whole run.
const std::string& sj(std::string_view utf8Literal);

// True when b is the first byte of a CP932 double-byte character.
inline bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Byte length of the longest prefix of s that is at most maxBytes long and does
// not end inside a double-byte character.
size_t mbSafeLength(std::string_view s, size_t maxBytes);

// Removes blanks, tabs, CR and LF at the ends, never splitting a double-byte character.
std::string trimMb(std::string_view s);

// ASCII lower-casing that leaves both bytes of a double-byte character alone.
std::string lowerMb(std::string_view s);

// True when s ends with a real backslash (not the trail byte of a double-byte character).
bool endsWithBackslash(std::string_view s);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace plm::support
