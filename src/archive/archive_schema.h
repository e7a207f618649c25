#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/pg_connection.h"

// The archive's tables, created and upgraded in numbered steps. Each step
// runs in a transaction of its own and records its number, so an upgrade
// that is cut leaves the archive at the last whole step.
namespace plm::archive {

// The schema version this program reads and writes.
int programSchemaVersion();

// The version of the archive reached through `conn`; 0 when it has none yet.
int archiveSchemaVersion(PgConnection& conn);

// The role field installations are members of: reading, and adding rows;
// no DELETE, TRUNCATE or DROP.
inline constexpr const char* kFieldRole = "plm_field";

// Held (as a transaction's advisory lock) by every change of measurement
// versions, so the change numbers are handed out in the order the changes
// become visible: a reader that has seen number n has seen all before it.
inline constexpr int64_t kPushLock = 0x504c4d50555348;

// Brings the archive to programSchemaVersion() and (re)grants the field
// role's rights. Returns the versions applied, in order. Throws CxException
// when the archive is newer than this program, and PgError from the server.
std::vector<int> initSchema(PgConnection& conn);

// The archive's own UUID, made when it was created: a sync state made with
// another archive is not this one's.
std::string archiveId(PgConnection& conn);

// Throws CxException unless the archive has exactly the program's version:
// none yet, older (run archive init) or newer (update the program).
void requireSchema(PgConnection& conn);

}  // namespace plm::archive
