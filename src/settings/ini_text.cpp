#include "settings/ini_text.h"

#include "support/text_codec.h"

namespace plm::settings {
namespace {

constexpr size_t npos = std::string::npos;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The section name of a header line ("[name]"), lower-cased, or nullopt when
// the line is no header. ']' can be the trail byte of a double-byte
// character, so the closing bracket is searched character by character.
std::optional<std::string> headerName(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && isSpace(line[i]))
        ++i;
    if (i >= line.size() || line[i] != '[')
        return std::nullopt;
    const size_t start = ++i;
    while (i < line.size() && line[i] != ']') {
        i +=
            support::isLeadByte(static_cast<unsigned char>(line[i])) && i + 1 < line.size() ? 2 : 1;
    }
    return support::lowerMb(support::trimMb(std::string_view(line).substr(start, i - start)));
}

// Key part of a "key=value" line, trimmed; nullopt for comments and lines
// without '=' ('=' is never a trail byte, so a plain search is safe).
std::optional<std::string> keyOf(const std::string& line) {
    const size_t eq = line.find('=');
    if (eq == npos)
        return std::nullopt;
    std::string key = support::trimMb(std::string_view(line).substr(0, eq));
    if (!key.empty() && key[0] == ';')
        return std::nullopt;
    return key;
}

std::string valueOf(const std::string& line) {
    std::string value = support::trimMb(std::string_view(line).substr(line.find('=') + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    value.resize(support::mbSafeLength(value, IniText::kMaxValueBytes));
    return value;
}

bool isBlankLine(const std::string& line) {
    for (char c : line) {
        if (!isSpace(c))
            return false;
    }
    return true;
}

}  // namespace

IniText::IniText(const std::string& bytes) {
    const size_t firstLf = bytes.find('\n');
    if (firstLf != npos && (firstLf == 0 || bytes[firstLf - 1] != '\r'))
        eol_ = "\n";
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        size_t end = lf == npos ? bytes.size() : lf;
        std::string line = bytes.substr(pos, end - pos);
        // A CR is part of the line end only in a file of CR LF ends; in a
        // file of LF ends it stays, so a write gives the line back whole.
        if (eol_ == "\r\n" && !line.empty() && line.back() == '\r')
            line.pop_back();
        lines_.push_back(std::move(line));
        pos = lf == npos ? bytes.size() : lf + 1;
    }
}

size_t IniText::findSection(const std::string& lowerName) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = headerName(lines_[i]);
        if (name && *name == lowerName)
            return i;
    }
    return npos;
}

size_t IniText::sectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && !headerName(lines_[i]))
        ++i;
    return i;
}

size_t IniText::findKey(size_t header, const std::string& lowerKey) const {
    const size_t end = sectionEnd(header);
    for (size_t i = header + 1; i < end; ++i) {
        auto key = keyOf(lines_[i]);
        if (key && support::lowerMb(*key) == lowerKey)
            return i;
    }
    return npos;
}

std::optional<std::string> IniText::get(const std::string& section, const std::string& key) const {
    const size_t header = findSection(support::lowerMb(support::trimMb(section)));
    if (header == npos)
        return std::nullopt;
    const size_t line = findKey(header, support::lowerMb(support::trimMb(key)));
    if (line == npos)
        return std::nullopt;
    return valueOf(lines_[line]);
}

void IniText::set(const std::string& section, const std::string& key, const std::string& value) {
    std::string safeValue = value;
    for (char& c : safeValue) {
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    }
    const std::string trimmedKey = support::trimMb(key);
    const size_t header = findSection(support::lowerMb(support::trimMb(section)));
    if (header == npos) {
        lines_.push_back("[" + support::trimMb(section) + "]");
        lines_.push_back(trimmedKey + "=" + safeValue);
        return;
    }
    const size_t line = findKey(header, support::lowerMb(trimmedKey));
    if (line != npos) {
        // The stored spelling of the key stays.
        lines_[line] = *keyOf(lines_[line]) + "=" + safeValue;
        return;
    }
    // After the last non-blank line of the section, so blank lines that
    // separate it from the next section stay where they are.
    size_t insertAt = sectionEnd(header);
    while (insertAt > header + 1 && isBlankLine(lines_[insertAt - 1]))
        --insertAt;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  trimmedKey + "=" + safeValue);
}

std::string IniText::bytes() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += eol_;
    }
    return out;
}

}  // namespace plm::settings
