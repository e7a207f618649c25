#include "archive/archive_schema.h"

#include <string>

#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::archive {
namespace {

using support::format;
using support::sj;

// The changes of the archive are numbered by one sequence, so an
// installation reads everything after the last number it has seen. Names
// are kept as their CP932 bytes (bytea), byte for byte.
const char* const kVersion1 = R"sql(
CREATE TABLE plm_archive (id uuid PRIMARY KEY DEFAULT gen_random_uuid());
INSERT INTO plm_archive DEFAULT VALUES;
CREATE SEQUENCE plm_change_seq;
CREATE TABLE plm_installation (
    id uuid PRIMARY KEY,
    name text NOT NULL,
    first_sync timestamptz NOT NULL DEFAULT now(),
    last_sync timestamptz
);
CREATE TABLE plm_measurement (
    id bigserial PRIMARY KEY,
    tester_key bytea NOT NULL,
    occurrence integer NOT NULL CHECK (occurrence >= 0),
    tester bytea NOT NULL,
    head bigint NOT NULL,
    created_by uuid NOT NULL REFERENCES plm_installation,
    created_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (tester_key, occurrence)
);
CREATE INDEX plm_measurement_head ON plm_measurement (head);
CREATE TABLE plm_version (
    seq bigint PRIMARY KEY DEFAULT nextval('plm_change_seq'),
    measurement_id bigint NOT NULL REFERENCES plm_measurement,
    base bigint,
    customer bytea NOT NULL,
    circuit bytea NOT NULL,
    name bytea NOT NULL,
    conditions bytea NOT NULL,
    deleted boolean NOT NULL,
    current boolean NOT NULL,
    installation uuid NOT NULL REFERENCES plm_installation,
    made_at timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX plm_version_measurement ON plm_version (measurement_id, seq);
CREATE TABLE plm_sync_log (
    id bigserial PRIMARY KEY,
    installation uuid NOT NULL REFERENCES plm_installation,
    finished_at timestamptz NOT NULL DEFAULT now(),
    pushed integer NOT NULL,
    pulled integer NOT NULL,
    conflicts integer NOT NULL
);
CREATE TABLE plm_limits_entry (
    target bytea PRIMARY KEY,
    head bigint NOT NULL
);
CREATE TABLE plm_limits_version (
    seq bigint PRIMARY KEY DEFAULT nextval('plm_change_seq'),
    target bytea NOT NULL REFERENCES plm_limits_entry,
    base bigint,
    section bytea,
    current boolean NOT NULL,
    installation uuid NOT NULL REFERENCES plm_installation,
    made_at timestamptz NOT NULL DEFAULT now()
);
)sql";

const std::vector<const char*>& migrations() {
    static const std::vector<const char*> steps = {kVersion1};
    return steps;
}

// The rights a field installation needs to sync, and no more; granted again
// after every upgrade so new tables are covered.
const char* const kFieldGrants = R"sql(
DO $$ BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'plm_field') THEN
        CREATE ROLE plm_field NOLOGIN;
    END IF;
END $$;
REVOKE ALL ON ALL TABLES IN SCHEMA public FROM plm_field;
GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO plm_field;
GRANT UPDATE (head) ON plm_measurement, plm_limits_entry TO plm_field;
GRANT UPDATE (name, last_sync) ON plm_installation TO plm_field;
GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO plm_field;
REVOKE INSERT ON plm_schema_version, plm_archive FROM plm_field;
)sql";

constexpr int64_t kInitLock = 0x504c4d494e4954;  // one init at a time

}  // namespace

int programSchemaVersion() {
    return static_cast<int>(migrations().size());
}

int archiveSchemaVersion(PgConnection& conn) {
    const PgResult exists = conn.exec("SELECT to_regclass('plm_schema_version') IS NOT NULL");
    if (exists.text(0, 0) != "t")
        return 0;
    const PgResult r = conn.exec("SELECT coalesce(max(version), 0) FROM plm_schema_version");
    return static_cast<int>(r.number(0, 0));
}

namespace {

CxException newerSchema(int archive) {
    return CxException(
        format(sj("アーカイブのスキーマ（バージョン %d）はこのプログラムの対応するバージョン %d "
                  "より新しいため使用できません\nプログラムを更新してください")
                   .c_str(),
               archive, programSchemaVersion()));
}

}  // namespace

std::vector<int> initSchema(PgConnection& conn) {
    std::vector<int> applied;
    {
        PgTransaction tx(conn);
        conn.exec("SELECT pg_advisory_xact_lock($1)", {PgValue::number(kInitLock)});
        conn.run(
            "CREATE TABLE IF NOT EXISTS plm_schema_version (version integer PRIMARY KEY, "
            "applied_at timestamptz NOT NULL DEFAULT now())");
        tx.commit();
    }
    for (;;) {
        PgTransaction tx(conn);
        conn.exec("SELECT pg_advisory_xact_lock($1)", {PgValue::number(kInitLock)});
        const int version = archiveSchemaVersion(conn);
        if (version > programSchemaVersion())
            throw newerSchema(version);
        if (version == programSchemaVersion()) {
            conn.run(kFieldGrants);
            tx.commit();
            return applied;
        }
        conn.run(migrations()[static_cast<size_t>(version)]);
        conn.exec("INSERT INTO plm_schema_version (version) VALUES ($1)",
                  {PgValue::number(version + 1)});
        tx.commit();
        applied.push_back(version + 1);
    }
}

std::string archiveId(PgConnection& conn) {
    return conn.exec("SELECT id::text FROM plm_archive").text(0, 0);
}

void requireSchema(PgConnection& conn) {
    const int version = archiveSchemaVersion(conn);
    if (version == 0) {
        throw CxException(
            sj("アーカイブが作成されていません\nplmtool archive init で作成してください"));
    }
    if (version > programSchemaVersion())
        throw newerSchema(version);
    if (version < programSchemaVersion()) {
        throw CxException(
            format(sj("アーカイブのスキーマ（バージョン %d）が古いため使用できません\n"
                      "plmtool archive init で更新してください")
                       .c_str(),
                   version));
    }
}

}  // namespace plm::archive
