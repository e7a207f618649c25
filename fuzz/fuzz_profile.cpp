// Profile files come from other installations and from hand editing: any bytes
// must read as values or defaults, and a write must change only its own key.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "settings/profile_file.h"

namespace {

// A fresh folder for one input, on tmpfs when there is one: every write
// syncs its file, which costs a disk flush elsewhere and would slow the
// fuzzer to a crawl. Removed again when the input is done.
class WorkFolder {
  public:
    WorkFolder() {
        path_ = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz-profile-XXXXXX"
                                              : "/tmp/fuzz-profile-XXXXXX";
        if (!mkdtemp(path_.data()))
            std::abort();
    }
    ~WorkFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

bool isPlain(const std::string& s) {
    for (char c : s) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using plm::settings::ProfileFile;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const WorkFolder folder;
    const std::string file = folder.path() + "/fuzz.ini";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ProfileFile profile;
    profile.path = file;

    const std::pair<const char*, const char*> probes[] = {
        {"S", "k"}, {"Param", "DataFile"}, {"a", "b"}, {"Setting", "DeviceType"}};
    std::string before[4];
    for (int i = 0; i < 4; ++i) {
        before[i] = profile.GetString(probes[i].first, probes[i].second, "<none>", {}, false);
    }
    profile.GetInt("S", "n", 5, {}, false);
    profile.LoadPlacement();

    // A value taken from the input: writing it must not disturb other keys,
    // and a plain value must read back unchanged.
    const std::string value = bytes.substr(0, 32);
    profile.WriteString("Fuzz", "Key", value);
    const std::string back = profile.GetString("Fuzz", "Key", "<none>", {}, false);
    if (isPlain(value) && back != value)
        std::abort();
    for (int i = 0; i < 4; ++i) {
        if (profile.GetString(probes[i].first, probes[i].second, "<none>", {}, false) !=
            before[i]) {
            std::abort();
        }
    }
    profile.GetInt("Fuzz", "Key", 0);
    return 0;
}
