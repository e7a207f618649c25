#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace plm::cli {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs plmtool in `dir` with its program folder in dir/home; the arguments
// are fixed test texts, quoted for the shell.
inline ToolRun plmtool(const test::TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "cd '" + dir.path().string() + "' && '" PLMTOOL_PATH "' --home home";
    for (const auto& arg : args)
        command += " '" + arg + "'";
    command += " >out.txt 2>err.txt";
    ToolRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = test::readFile(dir.file("out.txt"));
    run.err = test::readFile(dir.file("err.txt"));
    return run;
}

}  // namespace plm::cli
