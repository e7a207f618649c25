#pragma once

#include <functional>
#include <string>

#include "archive/archive_sync.h"

class QProgressDialog;
class QWidget;

namespace plm::app {

struct ArchiveSyncResult {
    bool ok = false;
    archive::SyncReport report;
    std::string error;  // CP932: why the sync did not run through
};

// Runs one sync with the team archive on a worker thread under a modal
// progress window whose 中止 stops it at the next whole measurement. Each
// conflict is put to the user on the GUI thread as the data file's merge puts
// them. `started` sees the window before the worker begins (tests).
ArchiveSyncResult runArchiveSync(const archive::SyncSetup& setup, QWidget* parent,
                                 const std::function<void(QProgressDialog&)>& started = {});

// The question of one conflict: yes keeps this installation's version.
std::string syncConflictText(const archive::SyncConflict& conflict);

}  // namespace plm::app
