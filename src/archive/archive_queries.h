#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/measurement_record.h"

// What the archive holds, asked by plmtool and PLMView: the syncs, the
// versions of a measurement, the deleted measurements; and bringing one back.
// Names are CP932, times the server's local time as text.
namespace plm::archive {

struct ArchiveInfo {
    std::string server;  // the server's version()
    int schemaVersion = 0;
    int measurements = 0;
    int installations = 0;
};
// Throws CxException when the server cannot be reached.
ArchiveInfo archiveInfo(const std::string& connection);

// Creates or upgrades the archive; the versions applied, in order.
std::vector<int> initArchive(const std::string& connection);

struct SyncLogEntry {
    std::string installation;
    std::string time;
    int pushed = 0, pulled = 0, conflicts = 0;
};
// The newest first, at most `limit`.
std::vector<SyncLogEntry> syncLog(const std::string& connection, int limit = 100);

struct VersionEntry {
    int64_t seq = 0;
    std::string time;
    std::string installation;
    std::string customer, circuit, name;
    bool deleted = false;
    bool current = false;  // false: a version set aside by a conflict's answer
    bool head = false;     // the version in force
};
// Every version of every measurement with the tester data of `record`, by
// measurement (occurrence) and then in order.
struct MeasurementHistory {
    int64_t id = 0;
    int occurrence = 0;
    std::vector<VersionEntry> versions;
};
std::vector<MeasurementHistory> history(const std::string& connection,
                                        const model::MeasurementRecord& record);

struct DeletedEntry {
    int64_t id = 0;
    std::string customer, circuit, name;  // where it was
    support::DateTimeValue testDateTime;
    std::string time;
    std::string installation;
};
std::vector<DeletedEntry> deletedMeasurements(const std::string& connection);

// A new version of the measurement with the place and conditions it had
// before its deletion, made by `installationId` (registered under `name`
// when new). Throws CxException when it is not deleted or not there.
void undelete(const std::string& connection, const std::string& installationId,
              const std::string& installationName, int64_t id);

}  // namespace plm::archive
