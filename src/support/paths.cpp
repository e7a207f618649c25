#include "support/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "support/text_codec.h"

namespace plm::support {
namespace {

std::mutex& folderLock() {
    static std::mutex lock;
    return lock;
}

std::string& folderOverride() {
    static std::string value;
    return value;
}

std::string envOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string homeFolder() {
    return envOr("HOME", "/");
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string executablePath() {
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0)
        return {};
    buf.resize(static_cast<size_t>(n));
    return buf;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A program installed as a system package shares its folder with every other
// program, and root can write there. Settings and data files put beside it
// would be lost with the package, so such a folder is never the program
// folder. The folder's tail counts, not the whole path, so an unpacked
// package (dpkg -x, a chroot seen from outside) behaves like the installed one.
bool isSystemProgramFolder(const std::string& folder) {
    if (folder == "/bin" || folder == "/sbin")
        return true;
    for (const char* tail :
         {"/usr/bin", "/usr/sbin", "/usr/games", "/usr/local/bin", "/usr/local/sbin"}) {
        if (endsWith(folder, tail))
            return true;
    }
    return false;
}

bool isDirectory(const std::string& fsPath) {
    struct stat st {};
    return stat(fsPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir that counts an existing directory as success.
bool makeFolder(const std::string& fsPath) {
    if (mkdir(fsPath.c_str(), 0777) == 0)
        return true;
    return errno == EEXIST && isDirectory(fsPath);
}

bool isDriveLetter(const std::string& p) {
    return p.size() >= 2 && p[1] == ':' &&
           ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) &&
           (p.size() == 2 || p[2] == '/');
}

}  // namespace

std::string toFsPath(const std::string& storedPath) {
    std::string path = toUtf8(storedPath);
    // Only now is every 0x5C byte a real separator.
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    // Linux has no drive letters: "C:\..." lands in the user's home folder.
    if (isDriveLetter(path)) {
        std::string rest = path.substr(2);
        path = withoutTrailingSlash(homeFolder());
        if (rest.empty() || rest == "/")
            return path;
        path += rest;
    }
    return path;
}

std::string fromFsPath(const std::string& fsPath) {
    return fromUtf8(fsPath);
}

void setProgramFolder(const std::string& fsPath) {
    std::lock_guard guard(folderLock());
    folderOverride() = withoutTrailingSlash(fsPath);
}

std::string programFolder() {
    {
        std::lock_guard guard(folderLock());
        if (!folderOverride().empty())
            return folderOverride();
    }
    if (const char* home = std::getenv("PLMVIEW_HOME"); home && *home) {
        return withoutTrailingSlash(home);
    }
    std::string exe = executablePath();
    size_t slash = exe.rfind('/');
    if (slash != std::string::npos) {
        std::string folder = slash == 0 ? "/" : exe.substr(0, slash);
        if (!isSystemProgramFolder(folder) && access(folder.c_str(), W_OK) == 0)
            return folder;
    }
    std::string data = envOr("XDG_DATA_HOME", homeFolder() + "/.local/share");
    std::string folder = withoutTrailingSlash(data) + "/PLMView";
    // Created here in its UTF-8 form: a name outside CP932 would not survive
    // the stored form.
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

std::string programBaseName() {
    std::string exe = executablePath();
    std::string name = exe.substr(exe.rfind('/') + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::string runtimeFolder() {
    return withoutTrailingSlash(envOr("XDG_RUNTIME_DIR", "/tmp"));
}

std::string lockFolder() {
    const std::string runtime = envOr("XDG_RUNTIME_DIR", "");
    struct stat st {};
    if (!runtime.empty() && runtime.front() == '/' && ::stat(runtime.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
        return withoutTrailingSlash(runtime);
    }
    return programFolder();
}

bool CreateFolderPath(const std::string& storedPath) {
    const std::string path = toFsPath(storedPath);
    if (path.empty())
        return false;
    if (isDirectory(path))
        return true;
    size_t pos = 0;
    if (path.rfind("//", 0) == 0) {
        // A network path: "//server/share" is one unit that cannot be created.
        size_t server = path.find('/', 2);
        if (server == std::string::npos)
            return true;
        size_t share = path.find('/', server + 1);
        if (share == std::string::npos)
            return true;
        pos = share + 1;
    }
    for (size_t slash = path.find('/', pos); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (slash == 0)
            continue;
        if (!makeFolder(path.substr(0, slash)))
            return false;
    }
    return makeFolder(path);
}

std::string folderOf(const std::string& storedPath) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < storedPath.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(storedPath[i]);
        if (isLeadByte(b) && i + 1 < storedPath.size()) {
            ++i;
        } else if (b == '\\' || b == '/') {
            last = i;
        }
    }
    return last == std::string::npos ? std::string() : storedPath.substr(0, last);
}

}  // namespace plm::support
