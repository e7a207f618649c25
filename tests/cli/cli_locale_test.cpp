#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/tool_run.h"
#include "common/temp_dir.h"
#include "model/customer_tree.h"

// Numbers are written with "." in every locale, also after plmtool has
// started Qt for the report (Qt takes the process locale from the desktop).
namespace plm::cli {
namespace {

namespace fs = std::filesystem;

struct QuietReporter : model::ErrorReporter {
    void report(const std::string& text, model::MessageIcon) override { ADD_FAILURE() << text; }
};

// A comma-decimal locale made here, so the test needs no locale installed.
std::string makeGermanLocale(const test::TempDir& dir) {
    const std::string folder = dir.file("locales");
    fs::create_directories(folder);
    const std::string command = "localedef -i de_DE -f UTF-8 '" + folder +
                                "/de_DE.UTF-8' >/dev/null 2>&1; "
                                "test \"$(LOCPATH='" +
                                folder + "' LC_ALL=de_DE.UTF-8 locale decimal_point)\" = ,";
    EXPECT_EQ(std::system(command.c_str()), 0) << "localedef (package locales) is needed";
    return folder;
}

// Runs plmtool under the given environment; returns the exit status.
int runIn(const test::TempDir& dir, const std::string& env, const std::vector<std::string>& args,
          const std::string& out) {
    std::string command =
        "cd '" + dir.path().string() + "' && " + env + " '" PLMTOOL_PATH "' --home home";
    for (const auto& arg : args)
        command += " '" + arg + "'";
    command += " >'" + out + "' 2>>err.txt";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(CliLocale, NumbersUseAFullStopInACommaDecimalLocale) {
    test::TempDir dir;
    const std::string capture = fs::absolute(test::dataPath("capture_two.txt")).string();
    ASSERT_EQ(plmtool(dir, {"register", capture, "A", "t", "n"}).status, 0);
    // Fractions everywhere a number is written: conditions and 0.1 ms samples.
    const std::string dataFile = (dir.path() / "home" / "DATA" / "QBX.DAT").string();
    model::CustomerTree tree;
    QuietReporter reporter;
    ASSERT_TRUE(tree.load(dataFile, reporter));
    model::MeasurementRecord& record =
        model::findMeasurementName(tree, "A", "t", "n")->records.at(0);
    record.measPeriod = 0;
    record.cond.temp = 12.5;
    record.cond.hum = 40.25;
    record.cond.sesshoku = {0.5, 1.5, 2.5};
    record.cond.vacuum = {3.5, 4.5, 5.5};
    ASSERT_TRUE(tree.save(dataFile, reporter));

    const std::string german =
        "LOCPATH='" + makeGermanLocale(dir) + "' LC_ALL=de_DE.UTF-8 QT_QPA_PLATFORM=offscreen";
    const std::string plain = "LC_ALL=C QT_QPA_PLATFORM=offscreen";
    const std::vector<std::vector<std::string>> jobs = {
        {"show", "A", "t", "n", "0"},
        {"csv", "--force", "A", "t", "n", "0", "OUT.CSV"},
        {"report", "--force", "A", "t", "n", "0", "OUT.png"},
    };
    for (const auto& job : jobs) {
        const std::string output = job.back().starts_with("OUT") ? job.back() : "stdout.txt";
        ASSERT_EQ(runIn(dir, plain, job, "stdout.txt"), 0) << test::readFile(dir.file("err.txt"));
        const std::string expected = test::readFile(dir.file(output));
        ASSERT_EQ(runIn(dir, german, job, "stdout.txt"), 0) << test::readFile(dir.file("err.txt"));
        EXPECT_TRUE(test::readFile(dir.file(output)) == expected) << job[0];
        if (job[0] != "report") {
            EXPECT_NE(expected.find("12.5"), std::string::npos) << expected;
        }
    }
}

}  // namespace
}  // namespace plm::cli
