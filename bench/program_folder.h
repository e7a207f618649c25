#pragma once

#include <filesystem>

#include "app/shell/app_context.h"
#include "model/customer_tree.h"
#include "settings/profile_file.h"
#include "support/paths.h"

namespace plm::bench {

// A fresh program folder at `home` with its settings read from there and
// `tree` saved as its data file; false when the save failed. The caller's
// prompter hears any message of the save.
inline bool freshProgramFolder(const std::filesystem::path& home, const model::CustomerTree& tree) {
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / "DATA");
    support::setProgramFolder(home.string());
    app::appSettings() = settings::AppSettings{};
    app::appSettings().Locate(settings::ProfileFile::Kind::ProgramFolder);
    app::appSettings().Load();
    return tree.save(app::appSettings().dataFilePath(), app::guiErrorReporter());
}

}  // namespace plm::bench
