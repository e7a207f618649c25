#include "cli/command.h"

namespace plm::cli {

bool Invocation::hasFlag(const std::string& name) const {
    for (const auto& f : flags) {
        if (f == "--" + name || f.rfind("--" + name + "=", 0) == 0)
            return true;
    }
    return false;
}

std::string Invocation::flagValue(const std::string& name) const {
    for (size_t i = 0; i < flags.size(); ++i) {
        if (flags[i] == "--" + name && i + 1 < flags.size())
            return flags[i + 1];
        if (flags[i].rfind("--" + name + "=", 0) == 0)
            return flags[i].substr(name.size() + 3);
    }
    return {};
}

std::vector<Command>& commandTable() {
    static std::vector<Command> table;
    return table;
}

CommandRegistration::CommandRegistration(Command command) {
    commandTable().push_back(std::move(command));
}

}  // namespace plm::cli
