#include "archive/pg_connection.h"

#include <cstdlib>

namespace plm::archive {
namespace {

std::string errorText(PGconn* conn) {
    std::string text = conn ? PQerrorMessage(conn) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

std::string PgResult::text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       static_cast<size_t>(PQgetlength(result_.get(), row, column)));
}

int64_t PgResult::number(int row, int column) const {
    return std::strtoll(PQgetvalue(result_.get(), row, column), nullptr, 10);
}

PgConnection::PgConnection(const std::string& conninfo)
    : conn_(PQconnectdb(conninfo.c_str()), PQfinish) {
    if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK)
        throw PgError(errorText(conn_.get()), {});
    PQsetClientEncoding(conn_.get(), "UTF8");
    // Notices (an existing role, a table already there) are for a person at psql.
    PQsetNoticeProcessor(
        conn_.get(), [](void*, const char*) {}, nullptr);
}

PgResult PgConnection::exec(const std::string& sql, const std::vector<PgValue>& values,
                            bool binaryResult) {
    std::vector<const char*> data;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const PgValue& v : values) {
        data.push_back(v.kind == PgValue::Kind::Null ? nullptr : v.bytes.data());
        lengths.push_back(static_cast<int>(v.bytes.size()));
        formats.push_back(v.kind == PgValue::Kind::Binary ? 1 : 0);
    }
    PgResult result(PQexecParams(conn_.get(), sql.c_str(), static_cast<int>(values.size()), nullptr,
                                 data.data(), lengths.data(), formats.data(),
                                 binaryResult ? 1 : 0));
    const ExecStatusType status = result.get() ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* state =
            result.get() ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
        throw PgError(errorText(conn_.get()), state ? state : "");
    }
    return result;
}

void PgConnection::run(const std::string& sql) {
    PgResult result(PQexec(conn_.get(), sql.c_str()));
    const ExecStatusType status = result.get() ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        const char* state =
            result.get() ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
        throw PgError(errorText(conn_.get()), state ? state : "");
    }
}

void PgConnection::copyIn(const std::string& sql, const std::string& rows) {
    PgResult start(PQexec(conn_.get(), sql.c_str()));
    if (!start.get() || PQresultStatus(start.get()) != PGRES_COPY_IN)
        throw PgError(errorText(conn_.get()), {});
    if (PQputCopyData(conn_.get(), rows.data(), static_cast<int>(rows.size())) != 1 ||
        PQputCopyEnd(conn_.get(), nullptr) != 1)
        throw PgError(errorText(conn_.get()), {});
    for (PGresult* r; (r = PQgetResult(conn_.get())) != nullptr;) {
        PgResult result(r);
        if (PQresultStatus(r) != PGRES_COMMAND_OK) {
            const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            throw PgError(errorText(conn_.get()), state ? state : "");
        }
    }
}

void appendCopyBytea(std::string& out, std::string_view bytes) {
    static const char* const kDigits = "0123456789abcdef";
    out += "\\\\x";
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
}

PgTransaction::PgTransaction(PgConnection& conn, const char* begin) : conn_(conn) {
    conn_.run(begin);
}

PgTransaction::~PgTransaction() {
    if (open_) {
        // A broken connection rolls back on its own; nothing to report here.
        PGresult* r = PQexec(conn_.get(), "ROLLBACK");
        PQclear(r);
    }
}

void PgTransaction::commit() {
    conn_.run("COMMIT");
    open_ = false;
}

std::string conninfoOf(const std::string& setting) {
    const bool bareWord = setting.find('=') == std::string::npos &&
                          setting.find("://") == std::string::npos && !setting.empty();
    return bareWord ? "service=" + setting : setting;
}

}  // namespace plm::archive
