#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "common/temp_dir.h"

// The manual page and the bash completion are written by hand; these tests
// hold them to the command table, so a command or an option added to plmtool
// cannot be left out of either.
namespace plm::cli {
namespace {

std::string packagingFile(const std::string& name) {
    return test::readFile(std::string(PLM_PACKAGING_DIR) + "/" + name);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::set<std::string> optionsIn(const std::string& text) {
    static const std::regex option("--[a-z][a-z-]*");
    std::set<std::string> out;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        out.insert(it->str());
    return out;
}

std::set<std::string> optionsOf(const Command& command, bool valuesOnly = false) {
    std::set<std::string> out;
    for (const OptionSpec& option : command.options) {
        if (option.takesValue || !valuesOnly)
            out.insert("--" + option.name);
    }
    return out;
}

// A text line of the page as it reads: font changes dropped, "\-" a hyphen.
std::string asRead(const std::string& line) {
    static const std::regex font(R"(\\f[BIRP])");
    std::string out = std::regex_replace(line, font, "");
    for (size_t at = out.find("\\-"); at != std::string::npos; at = out.find("\\-", at))
        out.replace(at, 2, "-");
    return out;
}

// The tag of every entry in the COMMANDS section. A tag is the single input
// line after .TP: a tag spread over several macro lines renders its first
// line alone as the tag and the rest in the description, so it is kept here
// as written and never equals a usage.
std::vector<std::string> manualCommandTags(const std::string& page) {
    const std::vector<std::string> lines = linesOf(page);
    std::vector<std::string> tags;
    bool inCommands = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(".SH", 0) == 0)
            inCommands = lines[i] == ".SH COMMANDS";
        else if (inCommands && lines[i] == ".TP" && i + 1 < lines.size())
            tags.push_back(lines[i + 1].rfind('.', 0) == 0 ? lines[i + 1] : asRead(lines[i + 1]));
    }
    return tags;
}

TEST(CliManual, EveryOptionOfACommandIsInItsUsage) {
    for (const Command& command : commandTable()) {
        const std::string& usage = command.usage;
        EXPECT_TRUE(usage.rfind(command.name, 0) == 0 &&
                    (usage.size() == command.name.size() || usage[command.name.size()] == ' '))
            << usage;
        for (const std::string& option : optionsOf(command))
            EXPECT_NE(usage.find(option), std::string::npos) << command.name << " " << option;
    }
}

TEST(CliManual, ManualPageListsEveryCommandWithItsUsageInHelpOrder) {
    std::vector<std::string> usages;
    for (const Command* command : commandsInHelpOrder())
        usages.push_back(command->usage);
    EXPECT_EQ(manualCommandTags(packagingFile("plmtool.1")), usages);
}

// What the completion script knows: its commands, the options it offers in
// each command's branch, and the options whose value it steps over.
struct Completion {
    std::set<std::string> commands;
    std::map<std::string, std::set<std::string>> options;
    std::set<std::string> valuesSkipped;  // when looking for the command word
    std::set<std::string> valuesAfter;    // branches of "case $prev"

    explicit Completion(const std::string& script) {
        static const std::regex list(R"(local commands="([^"]*)\")");
        std::smatch match;
        if (std::regex_search(script, match, list)) {
            std::istringstream words(match[1].str());
            for (std::string word; words >> word;)
                commands.insert(word);
        }
        static const std::regex label(R"(^([a-z][a-z| -]*)\)$)");
        enum class Section { None, Prev, Command } section = Section::None;
        std::vector<std::string> branch;
        for (const std::string& raw : linesOf(script)) {
            const std::string line = trimmed(raw);
            if (line == "case $prev in") {
                section = Section::Prev;
            } else if (line == "case $command in") {
                section = Section::Command;
            } else if (line == "esac") {
                section = Section::None;
            } else if (line.find("((i++))") != std::string::npos) {
                valuesSkipped = optionsIn(line);
            } else if (section == Section::Prev && line.rfind("--", 0) == 0 && line.back() == ')') {
                const auto named = optionsIn(line);
                valuesAfter.insert(named.begin(), named.end());
            } else if (section == Section::Command) {
                if (std::regex_match(line, match, label)) {
                    branch.clear();
                    std::istringstream names(match[1].str());
                    for (std::string name; std::getline(names, name, '|');) {
                        branch.push_back(trimmed(name));
                        options[branch.back()];
                    }
                } else {
                    for (const std::string& name : branch) {
                        const auto offered = optionsIn(line);
                        options[name].insert(offered.begin(), offered.end());
                    }
                }
            }
        }
    }
};

TEST(CliManual, CompletionOffersEveryCommandAndEachOfItsOptions) {
    const Completion completion(packagingFile("plmtool.bash-completion"));
    std::set<std::string> names;
    std::set<std::string> valueOptions = {"--home", "--data", "--archive"};
    for (const Command& command : commandTable()) {
        names.insert(command.name);
        const auto values = optionsOf(command, true);
        valueOptions.insert(values.begin(), values.end());
        ASSERT_TRUE(completion.options.count(command.name)) << command.name;
        EXPECT_EQ(completion.options.at(command.name), optionsOf(command)) << command.name;
    }
    EXPECT_EQ(completion.commands, names);
    EXPECT_EQ(completion.valuesSkipped, valueOptions);
    EXPECT_EQ(completion.valuesAfter, valueOptions);
}

}  // namespace
}  // namespace plm::cli
