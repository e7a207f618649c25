#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_sync.h"
#include "archive/pg_connection.h"
#include "archive/sync_state.h"

// The entries of LIMITS.INI in the archive: each target's section text is
// versioned as a measurement's place is, under the same rules (a conflict is
// decided, the archive keeps both, a removal is a version of no text).
namespace plm::archive {

class LimitsSync {
  public:
    LimitsSync(const SyncSetup& setup, const SyncOptions& options, SyncState& state,
               SyncReport& report);

    // Reads LIMITS.INI (without a lock held past the read).
    void readLocal();
    // Pushes the entries changed here; run in the push's order.
    void push(PgConnection& conn);
    // Reads the entries changed in the archive after `cursor`, in the pull's
    // transaction; returns the last change number seen.
    int64_t pull(PgConnection& conn, int64_t cursor);
    // Writes what the archive changed into LIMITS.INI under its lock.
    void writeLocal();

  private:
    struct Local {
        std::string target;
        std::string section;
    };
    // The archive's version in force of one entry; none: never synced.
    struct Head {
        bool exists = false;
        int64_t seq = 0;
        std::string section;
        std::string installation;  // CP932
    };
    static Head readHead(PgConnection& conn, const std::string& target);
    int stateOf(const std::string& target);
    void settle(PgConnection& conn, const Local& mine, int s);

    const SyncSetup& setup_;
    const SyncOptions& options_;
    SyncState& state_;
    SyncReport& report_;
    std::vector<Local> local_;
    std::vector<Local> incoming_;
};

}  // namespace plm::archive
