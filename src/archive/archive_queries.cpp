#include "archive/archive_queries.h"

#include "archive/archive_connection.h"
#include "archive/archive_schema.h"
#include "archive/pg_connection.h"
#include "archive/record_codec.h"
#include "archive/sha256.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::archive {
namespace {

using support::format;
using support::sj;

std::string bytesOf(const PgResult& r, int row, int column) {
    const std::string text = r.text(row, column);
    std::string out;
    for (size_t i = 2; i + 1 < text.size(); i += 2)
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

// Runs `job` on a connection to an archive of the program's schema; the
// server's failures become the system's message.
template <class Job>
auto withArchive(const std::string& connection, bool schemaNeeded, Job job) {
    checkConnectionText(connection);
    try {
        PgConnection conn(conninfoOf(connection));
        if (schemaNeeded)
            requireSchema(conn);
        return job(conn);
    } catch (const PgError& e) {
        throw CxException(format(sj("アーカイブに接続できません\n%s").c_str(),
                                 support::fromUtf8(e.what()).c_str()));
    }
}

const char* const kTime = "to_char(%s, 'YYYY/MM/DD HH24:MI:SS')";

std::string timeOf(const char* column) {
    return format(kTime, column);
}

}  // namespace

ArchiveInfo archiveInfo(const std::string& connection) {
    return withArchive(connection, false, [](PgConnection& conn) {
        ArchiveInfo info;
        info.server = conn.exec("SELECT version()").text(0, 0);
        info.schemaVersion = archiveSchemaVersion(conn);
        if (info.schemaVersion > 0) {
            const PgResult r = conn.exec(
                "SELECT (SELECT count(*) FROM plm_measurement), "
                "(SELECT count(*) FROM plm_installation)");
            info.measurements = static_cast<int>(r.number(0, 0));
            info.installations = static_cast<int>(r.number(0, 1));
        }
        return info;
    });
}

std::vector<int> initArchive(const std::string& connection) {
    return withArchive(connection, false, [](PgConnection& conn) { return initSchema(conn); });
}

std::vector<SyncLogEntry> syncLog(const std::string& connection, int limit) {
    return withArchive(connection, true, [limit](PgConnection& conn) {
        const PgResult r = conn.exec(
            "SELECT i.name, " + timeOf("l.finished_at") +
                ", l.pushed, l.pulled, l.conflicts FROM plm_sync_log l JOIN plm_installation i "
                "ON i.id = l.installation ORDER BY l.id DESC LIMIT $1",
            {PgValue::number(limit)});
        std::vector<SyncLogEntry> out;
        for (int row = 0; row < r.rows(); ++row) {
            out.push_back({support::fromUtf8(r.text(row, 0)), r.text(row, 1),
                           static_cast<int>(r.number(row, 2)), static_cast<int>(r.number(row, 3)),
                           static_cast<int>(r.number(row, 4))});
        }
        return out;
    });
}

std::vector<MeasurementHistory> history(const std::string& connection,
                                        const model::MeasurementRecord& record) {
    const std::string key = sha256(testerBytes(record));
    return withArchive(connection, true, [&key](PgConnection& conn) {
        const PgResult r = conn.exec(
            "SELECT m.id, m.occurrence, v.seq, " + timeOf("v.made_at") +
                ", i.name, v.customer, v.circuit, v.name, v.deleted, v.current, v.seq = m.head "
                "FROM plm_measurement m JOIN plm_version v ON v.measurement_id = m.id "
                "JOIN plm_installation i ON i.id = v.installation "
                "WHERE m.tester_key = $1 ORDER BY m.occurrence, v.seq",
            {PgValue::binary(key)});
        std::vector<MeasurementHistory> out;
        for (int row = 0; row < r.rows(); ++row) {
            if (out.empty() || out.back().id != r.number(row, 0))
                out.push_back({r.number(row, 0), static_cast<int>(r.number(row, 1)), {}});
            out.back().versions.push_back(
                {r.number(row, 2), r.text(row, 3), support::fromUtf8(r.text(row, 4)),
                 bytesOf(r, row, 5), bytesOf(r, row, 6), bytesOf(r, row, 7), r.text(row, 8) == "t",
                 r.text(row, 9) == "t", r.text(row, 10) == "t"});
        }
        return out;
    });
}

std::vector<DeletedEntry> deletedMeasurements(const std::string& connection) {
    return withArchive(connection, true, [](PgConnection& conn) {
        const PgResult r = conn.exec(
            "SELECT m.id, v.customer, v.circuit, v.name, m.tester, " + timeOf("v.made_at") +
            ", i.name FROM plm_measurement m JOIN plm_version v ON v.seq = m.head "
            "JOIN plm_installation i ON i.id = v.installation WHERE v.deleted ORDER BY m.id");
        std::vector<DeletedEntry> out;
        for (int row = 0; row < r.rows(); ++row) {
            out.push_back({r.number(row, 0), bytesOf(r, row, 1), bytesOf(r, row, 2),
                           bytesOf(r, row, 3), recordOfTesterBytes(bytesOf(r, row, 4)).testDateTime,
                           r.text(row, 5), support::fromUtf8(r.text(row, 6))});
        }
        return out;
    });
}

void undelete(const std::string& connection, const std::string& installationId,
              const std::string& installationName, int64_t id) {
    withArchive(connection, true, [&](PgConnection& conn) {
        PgTransaction tx(conn);
        conn.exec("SELECT pg_advisory_xact_lock($1)", {PgValue::number(kPushLock)});
        const PgResult head = conn.exec(
            "SELECT m.head, v.deleted FROM plm_measurement m JOIN plm_version v ON v.seq = m.head "
            "WHERE m.id = $1",
            {PgValue::number(id)});
        if (head.rows() == 0 || head.text(0, 1) != "t") {
            throw CxException(
                format(sj("アーカイブに削除された測定データ（%lld）はありません").c_str(),
                       static_cast<long long>(id)));
        }
        conn.exec(
            "INSERT INTO plm_installation (id, name) VALUES ($1, $2) "
            "ON CONFLICT (id) DO UPDATE SET name = EXCLUDED.name",
            {PgValue::text(installationId), PgValue::text(support::toUtf8(installationName))});
        const PgResult seq = conn.exec(
            "INSERT INTO plm_version (measurement_id, base, customer, circuit, name, conditions, "
            "deleted, current, installation) SELECT measurement_id, $2, customer, circuit, name, "
            "conditions, false, true, $3 FROM plm_version WHERE measurement_id = $1 AND NOT "
            "deleted AND current ORDER BY seq DESC LIMIT 1 RETURNING seq",
            {PgValue::number(id), PgValue::number(head.number(0, 0)),
             PgValue::text(installationId)});
        if (seq.rows() == 0)
            throw CxException(
                format(sj("アーカイブに削除された測定データ（%lld）はありません").c_str(),
                       static_cast<long long>(id)));
        conn.exec("UPDATE plm_measurement SET head = $2 WHERE id = $1",
                  {PgValue::number(id), PgValue::number(seq.number(0, 0))});
        tx.commit();
        return 0;
    });
}

}  // namespace plm::archive
