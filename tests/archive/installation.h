#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/tool_run.h"
#include "common/temp_dir.h"
#include "model/customer_tree.h"

// A program folder of its own for each installation that syncs with the
// archive, driven through real plmtool processes.
namespace plm::test {

class Installation {
  public:
    explicit Installation(std::string conninfo) : conninfo_(std::move(conninfo)) {}

    // plmtool --archive CONNINFO ARGS in this installation.
    cli::ToolRun tool(const std::vector<std::string>& args) const;
    cli::ToolRun sync() const { return tool({"sync"}); }

    // The data file (program folder home/, data file home/DATA/QBX.DAT).
    model::CustomerTree tree() const;
    // Changes the data file under its lock, as PLMView or plmtool would.
    void edit(const std::function<void(model::CustomerTree&)>& change) const;

    const TempDir& dir() const { return dir_; }
    std::string home() const { return dir_.file("home"); }
    const std::string& conninfo() const { return conninfo_; }

  private:
    TempDir dir_;
    std::string conninfo_;
};

// A measurement of its own for each `seed`: date, header and samples differ.
model::MeasurementRecord uniqueRecord(int seed);

}  // namespace plm::test
