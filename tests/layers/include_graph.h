#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plm::test {

// The quoted and angled includes of every source file under a source tree,
// and the rules of the order of its folders.
struct Include {
    std::string file;    // the including file, relative to the tree ("model/data_file.cpp")
    std::string target;  // what it names ("support/paths.h", "QString")
    bool angled = false;
};

std::vector<Include> scanIncludes(const std::filesystem::path& tree);

// "model/data_file.h" -> "model"; "app/browser/x.h" -> "app"; "x.h" -> "".
std::string layerOf(const std::string& path);
// "app/browser/x.h" -> "browser"; anything outside src/app -> "".
std::string screenOf(const std::string& path);

// One line per include that reaches above its own layer (or sideways into a
// layer of the same rank), and per Qt include below the first Qt layer.
std::vector<std::string> layerViolations(const std::vector<Include>& includes);

// One line per cycle among the screen folders of src/app ("a -> b -> a").
std::vector<std::string> screenCycles(const std::vector<Include>& includes);

}  // namespace plm::test
