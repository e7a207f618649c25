#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/session.h"
#include "support/cx_exception.h"
#include "support/file_lock.h"
#include "support/text_codec.h"

namespace {

using plm::cli::Command;
using plm::cli::OptionSpec;
using plm::cli::UsageError;

const std::vector<OptionSpec> kGlobalOptions = {{"home", true}, {"data", true}, {"archive", true}};

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: plmtool [--home DIR] [--data FILE] [--archive CONNINFO] COMMAND ...\n\ncommands:\n",
        out);
    for (const Command* command : plm::cli::commandsInHelpOrder()) {
        std::fprintf(out, "  plmtool %-58s %s\n", command->usage.c_str(), command->help.c_str());
    }
}

const Command* findCommand(const std::string& name) {
    for (const auto& command : plm::cli::commandTable()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

bool isOption(const std::string& arg) {
    return arg.size() > 2 && arg.rfind("--", 0) == 0;
}

// "--name" or "--name=VALUE" to "name".
std::string optionName(const std::string& arg) {
    return arg.substr(2,
                      arg.find('=') == std::string::npos ? std::string::npos : arg.find('=') - 2);
}

const OptionSpec* findOption(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& option : specs) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

// The command is the first argument that is neither an option nor the value
// of a global option.
std::string commandName(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!isOption(arg))
            return arg;
        const OptionSpec* global = findOption(kGlobalOptions, optionName(arg));
        if (global && arg.find('=') == std::string::npos)
            ++i;
    }
    return {};
}

// Sorts the arguments into positional ones and options; an option that is
// neither global nor the command's own is refused.
plm::cli::Invocation parseArguments(int argc, char** argv, const Command& command) {
    plm::cli::Invocation inv;
    bool nameSeen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!isOption(arg)) {
            if (nameSeen || arg != command.name)
                inv.args.push_back(arg);
            nameSeen = true;
            continue;
        }
        const std::string name = optionName(arg);
        const OptionSpec* option = findOption(kGlobalOptions, name);
        if (!option)
            option = findOption(command.options, name);
        if (!option)
            throw UsageError{"unknown option '--" + name + "'"};
        const bool inlineValue = arg.find('=') != std::string::npos;
        if (inlineValue && !option->takesValue)
            throw UsageError{"--" + name + " takes no value"};
        inv.flags.push_back(arg);
        if (option->takesValue && !inlineValue) {
            if (i + 1 >= argc)
                throw UsageError{"--" + name + " needs a value"};
            inv.flags.push_back(argv[++i]);
        }
        if (name == "json")
            inv.json = true;
    }
    return inv;
}

// --home must name a folder (or one still to be made), --data a file.
void applyGlobalOptions(const plm::cli::Invocation& inv) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (inv.hasFlag("home")) {
        const std::string home = inv.flagValue("home");
        if (home.empty() || (fs::exists(home, ec) && !fs::is_directory(home, ec)))
            throw UsageError{"--home must name a folder: " + home};
        plm::cli::setHomeOverride(home);
    }
    if (inv.hasFlag("data")) {
        const std::string data = inv.flagValue("data");
        if (data.empty() || fs::is_directory(data, ec))
            throw UsageError{"--data must name a file, not a folder: " + data};
        plm::cli::setDataOverride(data);
    }
    if (inv.hasFlag("archive"))
        plm::cli::setArchiveOverride(inv.flagValue("archive"));
}

// Another program's lock may hold a command for up to a minute: say so once
// instead of waiting without a word.
void announceLongWaitsOnStderr() {
    plm::support::setLongWaitNotice([](const std::string& fsPath, std::chrono::milliseconds limit) {
        const std::string text = plm::support::toUtf8(plm::support::longWaitText(fsPath, limit));
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    });
}

// A link planted in place of a settings, limits or log file is refused; the
// user hears which one.
void announcePlantedLinksOnStderr() {
    plm::support::setPlantedLinkNotice([](const std::string& fsPath) {
        const std::string text = plm::support::toUtf8(plm::support::plantedLinkText(fsPath));
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    });
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            printUsage(stdout);
            return 0;
        }
    }
    const std::string name = commandName(argc, argv);
    const Command* command = findCommand(name);
    if (!command) {
        if (!name.empty())
            std::fprintf(stderr, "plmtool: unknown command '%s'\n", name.c_str());
        printUsage(stderr);
        return 2;
    }
    announceLongWaitsOnStderr();
    announcePlantedLinksOnStderr();
    try {
        const plm::cli::Invocation inv = parseArguments(argc, argv, *command);
        applyGlobalOptions(inv);
        return command->run(inv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "plmtool %s: %s\nusage: plmtool %s\n", name.c_str(), e.text.c_str(),
                     command->usage.c_str());
        return 2;
    } catch (const plm::CxException& e) {
        if (!e.quiet())
            plm::cli::printError(e.text());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "plmtool %s: %s\n", name.c_str(), e.what());
        return 1;
    }
}
