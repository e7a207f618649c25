#include "archive/installation.h"

#include <gtest/gtest.h>

#include "common/fixtures.h"
#include "model/data_file.h"
#include "model/shared_data_file.h"
#include "support/paths.h"

namespace plm::test {

cli::ToolRun Installation::tool(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {"--archive", conninfo_};
    all.insert(all.end(), args.begin(), args.end());
    return cli::plmtool(dir_, all);
}

model::CustomerTree Installation::tree() const {
    ProgramFolderGuard folder(home());
    model::CustomerTree tree;
    FailingReporter reporter;
    tree.load(".\\DATA\\QBX.DAT", reporter, model::DamagedFile::Leave);
    return tree;
}

void Installation::edit(const std::function<void(model::CustomerTree&)>& change) const {
    ProgramFolderGuard folder(home());
    FailingReporter reporter;
    model::SharedDataFile file(".\\DATA\\QBX.DAT");
    EXPECT_TRUE(file.update(change, reporter));
}

model::MeasurementRecord uniqueRecord(int seed) {
    model::MeasurementRecord r = datedRecord(1 + seed % 28, seed / 28 % 24);
    r.testDateTime = dateAt(2020 + seed / (28 * 24 * 60), 1 + seed / (28 * 24) % 12, 1 + seed % 28,
                            seed / 28 % 24, seed % 60);
    closeChannelFrom(r, 1 + seed % 3, static_cast<size_t>(seed % 40));
    r.vcValue = seed;
    return r;
}

}  // namespace plm::test
