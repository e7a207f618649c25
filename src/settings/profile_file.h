#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Access to a profile (INI) file with the semantics of the Windows profile
// functions: section and key names compare case-insensitively, the first
// write creates the file and the section, other lines and comments are kept,
// values are read up to 4999 bytes. All texts are CP932.
namespace plm::settings {

struct WindowPlacement {
    uint32_t flags = 0;
    uint32_t showCmd = 0;
    int32_t minX = 0, minY = 0;
    int32_t maxX = 0, maxY = 0;
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Base name of the main profile file shared by every program of the system.
inline constexpr const char* kMainProfileName = "PLMView";

class ProfileFile {
  public:
    enum class Kind {
        Path = 0,
        WindowsFolder = 1,
        ProgramFolder = 2,
        DocumentsFolder = 3,
        Given = 5
    };

    virtual ~ProfileFile() = default;

    // Sets the path: folder, '/', name and extension (".INI" when the name has
    // no '.'); Kind::Path takes the name (with that extension) as the path.
    // The name defaults to the program base name. The GUI and plmtool share
    // one main file: a program whose file is not called PLMView passes
    // kMainProfileName, e.g. Locate(Kind::ProgramFolder, kMainProfileName).
    // Also fills the folder fields below.
    void Locate(Kind kind, const std::string& name = {}, const std::string& folder = {});

    // With an empty `file` the own path is used. With writeBack, a result equal
    // to the default is written to the file.
    int GetInt(const std::string& section, const std::string& key, int defaultValue,
               const std::string& file = {}, bool writeBack = true);
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, const std::string& file = {},
                          bool writeBack = true);
    void WriteInt(const std::string& section, const std::string& key, long value,
                  const std::string& file = {});
    void WriteString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file = {});

    void LoadPlacement();
    void SavePlacement();

    // ".\DATA\QBX.DAT" -> program folder + "\DATA\QBX.DAT"; other paths unchanged.
    std::string MakeAbsolute(const std::string& path, const std::string& base = {}) const;
    // "." + rest when the path lies in the base folder (compared byte for byte,
    // as Linux names are case-sensitive); other paths unchanged.
    std::string MakeRelative(const std::string& path, const std::string& base = {}) const;

    // Groups the reads and writes of the own file (a whole Load or Save) into
    // one locked read-modify-replace: the file is read once and written once
    // when the outermost Batch ends, with the same content as writing key by
    // key, and another program's writes to it wait until then.
    class Batch {
      public:
        explicit Batch(ProfileFile& profile);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        ProfileFile& profile_;
        bool outermost_ = false;
    };

    // Stored (CP932) forms of the folders; see the path rules in support/paths.h.
    std::string path;
    std::string windowsFolder;
    std::string tempFolder;
    std::string documentsFolder;
    std::string programPath;
    std::string programFolder;
    std::string programBaseName;
    WindowPlacement placement;
    bool placementValid = false;

  private:
    struct OpenBatch;

    std::optional<std::string> readValue(const std::string& file, const std::string& section,
                                         const std::string& key);
    void writeValue(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);

    // Shared, not unique: ProfileFile stays copyable; a batch only lives
    // within one Batch scope.
    std::shared_ptr<OpenBatch> batch_;
};

}  // namespace plm::settings
