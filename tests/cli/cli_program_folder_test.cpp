#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/temp_dir.h"

namespace plm::cli {
namespace {

namespace fs = std::filesystem;

struct FolderCase {
    const char* name;
    const char* programAt;   // where the program file lies, under the test folder
    const char* settingsAt;  // where its first run must write system.ini
};

// A first run without --home or PLMVIEW_HOME: a portable copy keeps its files
// beside itself; an installed one (even when its bin folder is writable, as it
// is for root or in an unpacked package) keeps them in the user's data folder.
TEST(ProgramFolder, FirstRunWritesBesidePortableCopyAndPerUserWhenInstalled) {
    const FolderCase cases[] = {
        {"portable", "tools/plmview/plmtool", "tools/plmview"},
        {"installed", "root/usr/bin/plmtool", "home/.local/share/PLMView"},
        {"installed locally", "root/usr/local/bin/plmtool", "home/.local/share/PLMView"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const fs::path program = dir.path() / c.programAt;
        fs::create_directories(program.parent_path());
        fs::copy_file(PLMTOOL_PATH, program);
        fs::create_directories(dir.path() / "home");

        const std::string command =
            "cd '" + dir.path().string() + "' && env -u PLMVIEW_HOME -u XDG_DATA_HOME HOME='" +
            (dir.path() / "home").string() + "' '" + program.string() + "' list >/dev/null 2>&1";
        const int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);

        EXPECT_TRUE(fs::exists(dir.path() / c.settingsAt / "system.ini"));
        if (fs::path(c.settingsAt) != program.parent_path().lexically_relative(dir.path())) {
            EXPECT_FALSE(fs::exists(program.parent_path() / "system.ini"));
            EXPECT_FALSE(fs::exists(program.parent_path() / "PLMView.INI"));
        }
    }
}

// --home naming a folder that does not exist yet: the first run makes it and
// writes both INI files there, as any first run does.
TEST(ProgramFolder, FirstRunMakesAHomeFolderThatDoesNotExistYet) {
    test::TempDir dir;
    const fs::path home = dir.path() / "new" / "home";
    const std::string command = "cd '" + dir.path().string() +
                                "' && '" PLMTOOL_PATH "' --home new/home list >/dev/null 2>&1";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    EXPECT_TRUE(fs::exists(home / "system.ini"));
    EXPECT_TRUE(fs::exists(home / "PLMView.INI"));
}

}  // namespace
}  // namespace plm::cli
