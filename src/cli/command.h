#pragma once

#include <functional>
#include <string>
#include <vector>

// The command table of plmtool. Each command file registers itself with a
// static CommandRegistration; main() parses the global options and dispatches.
namespace plm::cli {

// Raised for bad usage: main prints the text and the usage, exit status 2.
struct UsageError {
    std::string text;
};

struct Invocation {
    std::vector<std::string> args;   // positional arguments after the command name
    std::vector<std::string> flags;  // remaining --options, in order, as given
    bool json = false;               // --json

    bool hasFlag(const std::string& name) const;
    // The value of "--name VALUE" or "--name=VALUE" (the last one given);
    // empty when absent.
    std::string flagValue(const std::string& name) const;
};

// A command returns the exit status: 0 success, 1 failure (after printing
// the system's message to stderr). It may throw UsageError.
using CommandFn = std::function<int(const Invocation&)>;

// An option a command accepts, "--name" or, taking a value, "--name VALUE"
// (also written "--name=VALUE").
struct OptionSpec {
    std::string name;  // without the leading "--"
    bool takesValue = false;
};

struct Command {
    std::string name;
    std::string usage;  // e.g. "decode CAPTURE.txt [--json]"
    std::string help;   // one line
    CommandFn run;
    // Every option of the command; any other is refused (exit status 2).
    // The global --home and --data are accepted by every command.
    std::vector<OptionSpec> options = {};
};

std::vector<Command>& commandTable();

// The commands in the order --help lists them: that of the README, then any
// command not named there, by name.
std::vector<const Command*> commandsInHelpOrder();

struct CommandRegistration {
    explicit CommandRegistration(Command command);
};

}  // namespace plm::cli
