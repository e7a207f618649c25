#include "settings/profile_file.h"

#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <fstream>

#include "settings/ini_text.h"
#include "support/file_lock.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::settings {
namespace {

// Another process holds a profile file only for the moment of one write.
constexpr std::chrono::milliseconds kProfileLockLimit{10000};

// A link planted in place of a profile is neither read nor written
// through: it is reported and the profile reads as empty.
support::OpenOptions profileOpenOptions() {
    support::OpenOptions options;
    options.limit = kProfileLockLimit;
    options.noFollow = true;
    return options;
}

// Missing, unreadable or locked for too long: an empty profile, so every
// read yields its default.
std::string readProfile(const std::string& fsPath) {
    support::UniqueFd fd = support::openWithRetry(fsPath, profileOpenOptions());
    if (!fd)
        return {};
    try {
        return support::readAll(fd.get());
    } catch (const std::exception&) {
        return {};
    }
}

// Read, change and replace under one lock, so two programs writing the same
// file never lose each other's keys and a crash leaves the old file whole.
// Like the profile functions, a failed write is not an error of the caller.
void writeProfile(const std::string& fsPath, const std::string& section, const std::string& key,
                  const std::string& value) {
    try {
        support::UniqueFd lock = support::lockForReplace(fsPath, profileOpenOptions());
        if (!lock)
            return;
        const std::string before = support::readAll(lock.get());
        IniText text(before);
        text.set(section, key, value);
        std::string after = text.bytes();
        if (after != before)
            support::replaceLockedFile(fsPath, after, lock.get());
    } catch (const std::exception&) {
    }
}

std::string envOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// XDG_DOCUMENTS_DIR from the user's user-dirs.dirs ("$HOME/Documents"), when
// that folder exists; else the home folder.
std::string documentsFolderFs() {
    const std::string home = envOr("HOME", "/");
    const std::string config = envOr("XDG_CONFIG_HOME", home + "/.config");
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    const std::string prefix = "XDG_DOCUMENTS_DIR=\"";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        std::string dir = line.substr(prefix.size());
        dir = dir.substr(0, dir.find('"'));
        if (dir.rfind("$HOME", 0) == 0)
            dir = home + dir.substr(5);
        if (!dir.empty() && access(dir.c_str(), F_OK) == 0)
            return withoutTrailingSlash(dir);
    }
    return withoutTrailingSlash(home);
}

std::string executablePathFs() {
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
}

// Folder without a trailing separator, never cutting a trail byte 0x5C.
std::string withoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && (support::endsWithBackslash(folder) || folder.back() == '/')) {
        folder.pop_back();
    }
    return folder;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// Parses one number of the placement text with scanf's rules for %d and %u
// (optional sign, decimal digits) into 32 bits; false when there is none.
bool parseNumber(const char*& p, int64_t& out) {
    while (*p == ' ' || *p == '\t')
        ++p;
    const char* start = p;
    if (*p == '+' || *p == '-')
        ++p;
    if (*p < '0' || *p > '9')
        return false;
    uint32_t magnitude = 0;
    while (*p >= '0' && *p <= '9')
        magnitude = magnitude * 10 + static_cast<uint32_t>(*p++ - '0');
    out = *start == '-' ? -static_cast<int64_t>(magnitude) : magnitude;
    return true;
}

// An integer value of the profile: like parseNumber, and "0x1F" (after the
// blanks and the sign) is hexadecimal, as the profile functions read it.
bool parseProfileInt(const char*& p, int64_t& out) {
    while (*p == ' ' || *p == '\t')
        ++p;
    const char* sign = p;
    const char* digits = *p == '+' || *p == '-' ? p + 1 : p;
    if (digits[0] != '0' || (digits[1] != 'x' && digits[1] != 'X'))
        return parseNumber(p, out);
    p = digits + 2;
    uint32_t magnitude = 0;
    for (;; ++p) {
        const char c = *p;
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            break;
        magnitude = magnitude * 16 + static_cast<uint32_t>(digit);
    }
    out = *sign == '-' ? -static_cast<int64_t>(magnitude) : magnitude;
    return true;
}

// The profile functions drop the trailing blanks of a default.
std::string withoutTrailingBlanks(const std::string& text) {
    const size_t end = text.find_last_not_of(" \t");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

struct ProfileFile::OpenBatch {
    std::string fsPath;
    support::UniqueFd lock;
    std::string before;
    IniText text{std::string()};
};

ProfileFile::Batch::Batch(ProfileFile& profile) : profile_(profile) {
    if (profile_.batch_)
        return;
    outermost_ = true;
    try {
        auto batch = std::make_shared<OpenBatch>();
        batch->fsPath = support::toFsPath(profile_.path);
        batch->lock = support::lockForReplace(batch->fsPath, profileOpenOptions());
        // Without the lock every operation goes to the file on its own.
        if (!batch->lock)
            return;
        batch->before = support::readAll(batch->lock.get());
        batch->text = IniText(batch->before);
        profile_.batch_ = std::move(batch);
    } catch (const std::exception&) {
    }
}

ProfileFile::Batch::~Batch() {
    if (!outermost_)
        return;
    auto batch = std::move(profile_.batch_);
    if (!batch)
        return;
    try {
        const std::string after = batch->text.bytes();
        if (after != batch->before) {
            support::replaceLockedFile(batch->fsPath, after, batch->lock.get());
        }
    } catch (const std::exception&) {
    }
}

std::optional<std::string> ProfileFile::readValue(const std::string& file,
                                                  const std::string& section,
                                                  const std::string& key) {
    const std::string fsPath = support::toFsPath(file.empty() ? path : file);
    if (batch_ && batch_->fsPath == fsPath)
        return batch_->text.get(section, key);
    return IniText(readProfile(fsPath)).get(section, key);
}

void ProfileFile::writeValue(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& value) {
    const std::string fsPath = support::toFsPath(file.empty() ? path : file);
    if (batch_ && batch_->fsPath == fsPath) {
        batch_->text.set(section, key, value);
    } else {
        writeProfile(fsPath, section, key, value);
    }
}

void ProfileFile::Locate(Kind kind, const std::string& name, const std::string& folder) {
    windowsFolder = "/etc";
    tempFolder = support::fromFsPath(withoutTrailingSlash(envOr("TMPDIR", "/tmp")));
    documentsFolder = support::fromFsPath(documentsFolderFs());
    programPath = support::fromFsPath(executablePathFs());
    programFolder = support::fromFsPath(support::programFolder());
    programBaseName = support::fromFsPath(support::programBaseName());

    const std::string fileName = name.empty() ? programBaseName : name;
    const std::string extension = fileName.find('.') == std::string::npos ? ".INI" : "";
    std::string base;
    switch (kind) {
        case Kind::Path:
            path = fileName + extension;
            return;
        case Kind::WindowsFolder:
            base = windowsFolder;
            break;
        case Kind::ProgramFolder:
            base = programFolder;
            break;
        case Kind::DocumentsFolder:
            base = documentsFolder;
            break;
        case Kind::Given:
            base = withoutTrailingSeparator(folder);
            break;
    }
    path = base + "/" + fileName + extension;
}

int ProfileFile::GetInt(const std::string& section, const std::string& key, int defaultValue,
                        const std::string& file, bool writeBack) {
    const std::string target = file.empty() ? path : file;
    auto text = readValue(target, section, key);
    int result = defaultValue;
    if (text && !text->empty()) {
        // Leading blanks, a sign and decimal digits, or hexadecimal ones after
        // "0x"; anything else reads as 0.
        const char* p = text->c_str();
        int64_t number = 0;
        result = parseProfileInt(p, number) ? static_cast<int>(static_cast<uint32_t>(number)) : 0;
    }
    if (writeBack && result == defaultValue) {
        WriteString(section, key, support::format("%ld", static_cast<long>(defaultValue)), target);
    }
    return result;
}

std::string ProfileFile::GetString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue, const std::string& file,
                                   bool writeBack) {
    const std::string target = file.empty() ? path : file;
    auto text = readValue(target, section, key);
    const std::string shownDefault = withoutTrailingBlanks(defaultValue);
    std::string result =
        text ? *text
             : shownDefault.substr(0, support::mbSafeLength(shownDefault, IniText::kMaxValueBytes));
    if (writeBack && result == shownDefault)
        WriteString(section, key, shownDefault, target);
    return result;
}

void ProfileFile::WriteInt(const std::string& section, const std::string& key, long value,
                           const std::string& file) {
    WriteString(section, key, support::format("%ld", value), file);
}

void ProfileFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file) {
    writeValue(file, section, key, value);
}

void ProfileFile::LoadPlacement() {
    const std::string text = GetString("Window", "Placement", "");
    if (text.empty())
        return;
    // "%u , %u , %d , %d , %d , %d , %d , %d , %d , %d"
    int64_t n[10];
    const char* p = text.c_str();
    for (int i = 0; i < 10; ++i) {
        if (i > 0) {
            while (*p == ' ' || *p == '\t')
                ++p;
            if (*p++ != ',')
                return;
        }
        if (!parseNumber(p, n[i]))
            return;
    }
    placement.flags = static_cast<uint32_t>(n[0]);
    placement.showCmd = static_cast<uint32_t>(n[1]);
    int32_t* rest[] = {&placement.minX, &placement.minY, &placement.maxX,  &placement.maxY,
                       &placement.left, &placement.top,  &placement.right, &placement.bottom};
    for (int i = 0; i < 8; ++i)
        *rest[i] = static_cast<int32_t>(static_cast<uint32_t>(n[i + 2]));
    placementValid = true;
}

void ProfileFile::SavePlacement() {
    const WindowPlacement& w = placement;
    WriteString(
        "Window", "Placement",
        support::format("%u , %u , %d , %d , %d , %d , %d , %d , %d , %d", w.flags, w.showCmd,
                        w.minX, w.minY, w.maxX, w.maxY, w.left, w.top, w.right, w.bottom));
}

std::string ProfileFile::MakeAbsolute(const std::string& path, const std::string& base) const {
    if (path.empty() || path[0] != '.')
        return path;
    return (base.empty() ? programFolder : base) + path.substr(1);
}

std::string ProfileFile::MakeRelative(const std::string& path, const std::string& base) const {
    // Linux file names are case-sensitive: the base must match exactly and end
    // at a separator, and the rest keeps its case so the result still names
    // the same file when MakeAbsolute turns it back.
    const std::string folder = withoutTrailingSeparator(base.empty() ? programFolder : base);
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0)
        return path;
    if (path.size() > folder.size() && !isSeparator(path[folder.size()]) &&
        !isSeparator(folder.back())) {
        return path;
    }
    return "." + path.substr(folder.size());
}

}  // namespace plm::settings
