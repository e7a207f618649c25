#include "common/temp_dir.h"
#include "layers/include_graph.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace plm::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\n";
    return text;
}

TEST(LayerOrder, NoSourceFileIncludesAHigherLayer) {
    const auto lines = layerViolations(scanIncludes(PLM_SOURCE_TREE));
    EXPECT_THAT(lines, IsEmpty()) << joined(lines);
}

TEST(LayerOrder, NoTwoScreenFoldersIncludeEachOther) {
    const auto cycles = screenCycles(scanIncludes(PLM_SOURCE_TREE));
    EXPECT_THAT(cycles, IsEmpty()) << joined(cycles);
}

// A small tree with one file per case shows that each rule is really checked.
class PlantedTree : public ::testing::Test {
  protected:
    void plant(const std::string& file, const std::string& include) {
        fs::create_directories((tree.path() / file).parent_path());
        writeFile(tree.file(file), "#pragma once\n#include " + include + "\nint x;\n");
    }
    std::vector<std::string> violations() const {
        return layerViolations(scanIncludes(tree.path()));
    }
    std::vector<std::string> cycles() const { return screenCycles(scanIncludes(tree.path())); }

    TempDir tree;
};

struct PlantCase {
    const char* file;
    const char* include;
    bool refused;
};

TEST(LayerOrder, EachIncludeIsJudgedByTheLayersOfBothEnds) {
    const PlantCase cases[] = {
        {"support/a.cpp", "\"settings/b.h\"", true}, {"model/a.cpp", "\"link/b.h\"", true},
        {"link/a.cpp", "\"report/b.h\"", true},      {"report/a.cpp", "\"link/b.h\"", true},
        {"analysis/a.cpp", "\"chart/b.h\"", true},   {"chart/a.cpp", "\"ui/b.h\"", true},
        {"ui/a.cpp", "\"app/x/b.h\"", true},         {"ui/a.cpp", "\"cli/b.h\"", true},
        {"app/x/a.cpp", "\"cli/b.h\"", true},        {"cli/a.cpp", "\"ui/b.h\"", true},
        {"cli/a.cpp", "\"app/x/b.h\"", true},        {"model/a.cpp", "<QString>", true},
        {"analysis/a.cpp", "<QtCore>", true},        {"app/x/a.cpp", "\"support/b.h\"", false},
        {"analysis/a.cpp", "\"link/b.h\"", false},   {"analysis/a.cpp", "\"report/b.h\"", false},
        {"cli/a.cpp", "\"chart/b.h\"", false},       {"chart/a.cpp", "<QPainter>", false},
        {"model/a.cpp", "<vector>", false},          {"model/a.cpp", "\"model/b.h\"", false},
        {"analysis/a.cpp", "\"archive/b.h\"", true}, {"archive/a.cpp", "\"chart/b.h\"", true},
        {"archive/a.cpp", "<QString>", true},        {"archive/a.cpp", "\"analysis/b.h\"", false},
        {"cli/a.cpp", "\"archive/b.h\"", false},
    };
    for (const auto& c : cases) {
        TempDir fresh;
        fs::create_directories((fresh.path() / c.file).parent_path());
        writeFile((fresh.path() / c.file).string(), std::string("#include ") + c.include + "\n");
        const auto lines = layerViolations(scanIncludes(fresh.path()));
        EXPECT_EQ(lines.size(), c.refused ? 1u : 0u) << c.file << " including " << c.include << "\n"
                                                     << joined(lines);
    }
}

TEST_F(PlantedTree, ACycleOfScreenFoldersIsNamedOnce) {
    plant("app/browser/a.h", "\"app/shell/b.h\"");
    plant("app/shell/b.cpp", "\"app/main_window/c.h\"");
    plant("app/main_window/c.cpp", "\"app/browser/a.h\"");
    plant("app/dialogs/d.cpp", "\"app/shell/b.h\"");
    EXPECT_THAT(cycles(), ElementsAre("browser -> shell -> main_window -> browser"));
}

TEST_F(PlantedTree, ScreenFoldersIncludedOneWayAreNoCycle) {
    plant("app/main_window/a.cpp", "\"app/browser/b.h\"");
    plant("app/main_window/c.cpp", "\"app/dialogs/d.h\"");
    plant("app/dialogs/d.cpp", "\"app/browser/b.h\"");
    plant("app/browser/b.cpp", "\"app/browser/e.h\"");
    EXPECT_THAT(cycles(), IsEmpty());
}

}  // namespace
}  // namespace plm::test
