#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "cli/command.h"
#include "cli/session.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace {

void printUsage(std::FILE* out) {
    std::fputs("usage: plmtool [--home DIR] [--data FILE] COMMAND ...\n\ncommands:\n", out);
    for (const auto& command : plm::cli::commandTable()) {
        std::fprintf(out, "  plmtool %-58s %s\n", command.usage.c_str(), command.help.c_str());
    }
}

const plm::cli::Command* findCommand(const std::string& name) {
    for (const auto& command : plm::cli::commandTable()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

bool takesValue(const std::string& flag) {
    return flag == "--home" || flag == "--data" || flag == "--port" || flag == "--device" ||
           flag == "--capture" || flag == "--set" || flag == "--csv" || flag == "--reference";
}

}  // namespace

int main(int argc, char** argv) {
    plm::cli::Invocation inv;
    std::string name;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            printUsage(stdout);
            return 0;
        }
        if (arg.rfind("--", 0) == 0) {
            if (arg == "--json")
                inv.json = true;
            inv.flags.push_back(arg);
            if (takesValue(arg) && i + 1 < argc)
                inv.flags.push_back(argv[++i]);
        } else if (name.empty()) {
            name = arg;
        } else {
            inv.args.push_back(arg);
        }
    }
    if (std::string home = inv.flagValue("home"); !home.empty())
        plm::cli::setHomeOverride(home);
    if (std::string data = inv.flagValue("data"); !data.empty())
        plm::cli::setDataOverride(data);

    const plm::cli::Command* command = findCommand(name);
    if (!command) {
        if (!name.empty())
            std::fprintf(stderr, "plmtool: unknown command '%s'\n", name.c_str());
        printUsage(stderr);
        return 2;
    }
    try {
        return command->run(inv);
    } catch (const plm::cli::UsageError& e) {
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
