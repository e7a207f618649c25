#pragma once

#include <functional>
#include <string>

// Opening a written file with another program. Both take file-system (UTF-8)
// paths; neither goes through a shell, so blanks or quotes in a name cannot
// turn into extra arguments or commands.
namespace plm::ui {

// Starts `program` detached with `file` as its one argument. False when it
// could not be started.
bool runProgramWithFile(const std::string& program, const std::string& file);

// Opens `file` with the program the desktop associates with its type.
bool openWithAssociation(const std::string& file);

// Tests replace both with recorders; an empty function restores the real one.
using LaunchHook = std::function<bool(const std::string& program, const std::string& file)>;
void setLaunchHook(LaunchHook hook);

}  // namespace plm::ui
