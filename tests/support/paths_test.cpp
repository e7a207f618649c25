#include "support/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "support/text_codec.h"

namespace plm::support {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Paths, StoredPathsBecomeFileSystemPaths) {
    ScopedEnv home("HOME", "/home/tester");
    // "ソ" is 0x83 0x5C in CP932: its trail byte must not turn into a separator.
    const std::string so = sj("ソ");
    ASSERT_EQ(so, "\x83\x5C");
    struct Case {
        std::string stored;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {".\\DATA\\QBX.DAT", "./DATA/QBX.DAT"},
        {"/var/lib/x", "/var/lib/x"},
        {"C:\\", "/home/tester"},
        {"c:", "/home/tester"},
        {"C:\\Data\\" + so + "\\a.qbx", "/home/tester/Data/ソ/a.qbx"},
        {"dir\\" + so + so + ".csv", "dir/ソソ.csv"},
        {"CX:\\x", "CX:/x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toFsPath(c.stored), c.expected) << c.stored;
    EXPECT_EQ(fromFsPath("/tmp/ソ/a"), "/tmp/" + so + "/a");
}

TEST(Paths, FolderOfStopsAtTheLastRealSeparator) {
    const std::string so = sj("ソ");
    EXPECT_EQ(folderOf("a\\b\\c.txt"), "a\\b");
    EXPECT_EQ(folderOf("/x/y/z.dat"), "/x/y");
    EXPECT_EQ(folderOf("d\\" + so), "d");
    EXPECT_EQ(folderOf(so + "x"), "");
    EXPECT_EQ(folderOf("name.txt"), "");
}

TEST(Paths, CreateFolderPathMakesEveryMissingPart) {
    test::TempDir dir;
    const std::string base = fromFsPath(dir.path().string());
    const std::string so = sj("ソ");
    EXPECT_TRUE(CreateFolderPath(base + "\\a\\" + so + "\\c"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "ソ" / "c"));
    EXPECT_TRUE(CreateFolderPath(base + "/a"));  // already there
    EXPECT_TRUE(CreateFolderPath(base + "/trailing/"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "trailing"));

    test::writeFile(dir.file("file"), "x");
    EXPECT_FALSE(CreateFolderPath(base + "/file/sub"));
    EXPECT_FALSE(CreateFolderPath(base + "/file"));
    EXPECT_FALSE(CreateFolderPath(""));
}

TEST(Paths, ProgramFolderFollowsOverrideEnvironmentAndExecutable) {
    ScopedEnv home("PLMVIEW_HOME", nullptr);
    const std::string exeFolder = fs::read_symlink("/proc/self/exe").parent_path().string();
    EXPECT_EQ(programFolder(), exeFolder);
    {
        ScopedEnv env("PLMVIEW_HOME", "/srv/plm/");
        EXPECT_EQ(programFolder(), "/srv/plm");
        setProgramFolder("/opt/given");
        EXPECT_EQ(programFolder(), "/opt/given");
        setProgramFolder("");
        EXPECT_EQ(programFolder(), "/srv/plm");
    }
    EXPECT_EQ(programBaseName(), "test_support");
}

TEST(Paths, RuntimeFolderPrefersXdgRuntimeDir) {
    {
        ScopedEnv env("XDG_RUNTIME_DIR", "/run/user/1000");
        EXPECT_EQ(runtimeFolder(), "/run/user/1000");
    }
    ScopedEnv env("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(runtimeFolder(), "/tmp");
}

// Lock files go only where no other user can have left one in the way.
TEST(Paths, LockFolderIsTheUsersRuntimeFolderOrElseTheProgramFolder) {
    test::TempDir own;
    test::writeFile(own.file("plain"), "");
    const std::string ownPath = own.path().string();
    ScopedEnv home("PLMVIEW_HOME", (ownPath + "/program").c_str());
    struct Case {
        const char* name;
        std::optional<std::string> runtime;
        std::string expected;
    };
    const Case cases[] = {
        {"own runtime folder", ownPath + "/", ownPath},
        {"unset", std::nullopt, programFolder()},
        {"missing", "/nonexistent/run/user/1000", programFolder()},
        {"relative", "run", programFolder()},
        {"a file", own.file("plain"), programFolder()},
    };
    for (const Case& c : cases) {
        ScopedEnv env("XDG_RUNTIME_DIR", c.runtime ? c.runtime->c_str() : nullptr);
        EXPECT_EQ(lockFolder(), c.expected) << c.name;
    }
    EXPECT_EQ(programFolder(), ownPath + "/program");
}

}  // namespace
}  // namespace plm::support
