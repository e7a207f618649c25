#include "cli/command.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace plm::cli {

bool Invocation::hasFlag(const std::string& name) const {
    for (const auto& f : flags) {
        if (f == "--" + name || f.rfind("--" + name + "=", 0) == 0)
            return true;
    }
    return false;
}

std::string Invocation::flagValue(const std::string& name) const {
    // An option given twice takes its last value.
    std::string value;
    for (size_t i = 0; i < flags.size(); ++i) {
        if (flags[i] == "--" + name && i + 1 < flags.size())
            value = flags[i + 1];
        if (flags[i].rfind("--" + name + "=", 0) == 0)
            value = flags[i].substr(name.size() + 3);
    }
    return value;
}

std::vector<Command>& commandTable() {
    static std::vector<Command> table;
    return table;
}

std::vector<const Command*> commandsInHelpOrder() {
    // The order of the README's list: the way a measurement goes, from the
    // capture to the outputs, then the exchange between installations and
    // the tester itself.
    static constexpr std::array<std::string_view, 21> kOrder = {
        "decode", "register",      "list",          "show",    "csv",     "report", "export",
        "import", "receive",       "analyze",       "trend",   "breaker", "fleet",  "due",
        "limits", "limits-export", "limits-import", "backups", "restore", "sync",   "archive"};
    auto rank = [](const Command* c) {
        return static_cast<size_t>(std::find(kOrder.begin(), kOrder.end(), c->name) -
                                   kOrder.begin());
    };
    std::vector<const Command*> out;
    for (const Command& command : commandTable())
        out.push_back(&command);
    std::sort(out.begin(), out.end(), [&](const Command* a, const Command* b) {
        return rank(a) != rank(b) ? rank(a) < rank(b) : a->name < b->name;
    });
    return out;
}

CommandRegistration::CommandRegistration(Command command) {
    commandTable().push_back(std::move(command));
}

}  // namespace plm::cli
