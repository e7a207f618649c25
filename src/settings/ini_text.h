#pragma once

#include <optional>
#include <string>
#include <vector>

// The content of one profile (INI) file, read and changed the way the Windows
// profile functions do it. Section and key names compare case-insensitively
// (ASCII letters only; double-byte characters compare as bytes); the first
// matching section and the first matching key in it win. Every line that is
// not touched by a write (comments, blank lines, unknown keys, even binary
// garbage) is written back byte for byte.
namespace plm::settings {

class IniText {
  public:
    // The longest value a read returns, in bytes (never splitting a double-byte character).
    static constexpr size_t kMaxValueBytes = 4999;

    explicit IniText(const std::string& bytes);

    // The trimmed value of the key, without one pair of enclosing quotes, cut
    // to kMaxValueBytes; nullopt when the section or the key does not exist.
    std::optional<std::string> get(const std::string& section, const std::string& key) const;

    // Sets the key, adding the section at the end and the key at the end of
    // its section when they do not exist yet. Line breaks and NUL bytes in the
    // value would break the file apart: they are written as blanks.
    void set(const std::string& section, const std::string& key, const std::string& value);

    // The file content, lines ended the way the file ended them (CR LF for a new file).
    std::string bytes() const;

  private:
    // Index of the header line of the first matching section, or npos.
    size_t findSection(const std::string& lowerName) const;
    // Index of the first line after the section's header that starts another section.
    size_t sectionEnd(size_t header) const;
    size_t findKey(size_t header, const std::string& lowerKey) const;

    std::vector<std::string> lines_;
    std::string eol_ = "\r\n";
};

}  // namespace plm::settings
