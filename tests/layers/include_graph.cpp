#include "layers/include_graph.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>

namespace plm::test {
namespace fs = std::filesystem;

namespace {

bool isSourceFile(const fs::path& p) {
    const auto ext = p.extension();
    return ext == ".h" || ext == ".cpp";
}

// The rank of each layer: a file may include its own layer and any of lower
// rank. cli sits above the core and the chart but beside ui and app; the
// archive sits above analysis, whose limits it syncs.
std::optional<int> rankOf(const std::string& layer) {
    static const std::map<std::string, int> ranks = {
        {"support", 0}, {"settings", 1}, {"model", 2}, {"link", 3}, {"report", 3}, {"analysis", 4},
        {"archive", 5}, {"chart", 6},    {"ui", 7},    {"app", 8},  {"cli", 7},
    };
    const auto it = ranks.find(layer);
    if (it == ranks.end())
        return std::nullopt;
    return it->second;
}

constexpr int firstQtRank = 6;

bool mayInclude(const std::string& from, const std::string& to) {
    if (from == to)
        return true;
    if (to == "cli")
        return false;
    const auto a = rankOf(from);
    const auto b = rankOf(to);
    if (!a || !b)
        return false;
    if (from == "cli")
        return *b < firstQtRank + 1;
    return *b < *a;
}

bool isQtHeader(const std::string& target) {
    return target.size() > 1 && target[0] == 'Q' &&
           std::isalpha(static_cast<unsigned char>(target[1]));
}

}  // namespace

std::vector<Include> scanIncludes(const fs::path& tree) {
    static const std::regex includeLine(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<Include> found;
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        if (!entry.is_regular_file() || !isSourceFile(entry.path()))
            continue;
        const std::string file = fs::relative(entry.path(), tree).generic_string();
        std::ifstream in(entry.path());
        std::string line;
        std::smatch m;
        while (std::getline(in, line))
            if (std::regex_search(line, m, includeLine))
                found.push_back({file, m[2].str(), m[1].str() == "<"});
    }
    std::sort(found.begin(), found.end(), [](const Include& a, const Include& b) {
        return std::tie(a.file, a.target) < std::tie(b.file, b.target);
    });
    return found;
}

std::string layerOf(const std::string& path) {
    const auto slash = path.find('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string screenOf(const std::string& path) {
    if (layerOf(path) != "app")
        return {};
    const auto rest = path.substr(4);
    const auto slash = rest.find('/');
    return slash == std::string::npos ? std::string() : rest.substr(0, slash);
}

std::vector<std::string> layerViolations(const std::vector<Include>& includes) {
    std::vector<std::string> lines;
    for (const auto& inc : includes) {
        const auto from = layerOf(inc.file);
        if (inc.angled) {
            const auto rank = rankOf(from);
            if (rank && *rank < firstQtRank && isQtHeader(inc.target))
                lines.push_back(inc.file + " includes <" + inc.target + "> below the Qt layers");
            continue;
        }
        const auto to = layerOf(inc.target);
        if (to.empty() || !rankOf(to))
            continue;
        if (!mayInclude(from, to))
            lines.push_back(inc.file + " (" + from + ") includes " + inc.target + " (" + to + ")");
    }
    return lines;
}

namespace {

using Graph = std::map<std::string, std::set<std::string>>;

Graph screenGraph(const std::vector<Include>& includes) {
    Graph graph;
    for (const auto& inc : includes) {
        const auto from = screenOf(inc.file);
        const auto to = screenOf(inc.target);
        if (!from.empty() && !to.empty() && from != to)
            graph[from].insert(to);
    }
    return graph;
}

// Depth-first search that reports each cycle once, from its smallest folder.
void findCycles(const Graph& graph, const std::string& start, const std::string& at,
                std::vector<std::string>& path, std::set<std::string>& onPath,
                std::vector<std::string>& cycles) {
    const auto it = graph.find(at);
    if (it == graph.end())
        return;
    for (const auto& next : it->second) {
        if (next == start) {
            std::string line;
            for (const auto& p : path)
                line += p + " -> ";
            cycles.push_back(line + start);
        } else if (next > start && !onPath.count(next)) {
            path.push_back(next);
            onPath.insert(next);
            findCycles(graph, start, next, path, onPath, cycles);
            onPath.erase(next);
            path.pop_back();
        }
    }
}

}  // namespace

std::vector<std::string> screenCycles(const std::vector<Include>& includes) {
    const auto graph = screenGraph(includes);
    std::vector<std::string> cycles;
    for (const auto& [start, _] : graph) {
        std::vector<std::string> path{start};
        std::set<std::string> onPath{start};
        findCycles(graph, start, start, path, onPath, cycles);
    }
    return cycles;
}

}  // namespace plm::test
