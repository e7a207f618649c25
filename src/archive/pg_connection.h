#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A thin RAII layer over libpq: one connection, results that free
// themselves, and statements that always pass their values as parameters
// (text, or binary for bytea).
namespace plm::archive {

// A failure of the server or the connection: libpq's text (UTF-8) and the
// SQLSTATE when the server sent one.
class PgError : public std::runtime_error {
  public:
    PgError(const std::string& text, std::string sqlState)
        : std::runtime_error(text), sqlState_(std::move(sqlState)) {}
    const std::string& sqlState() const { return sqlState_; }

  private:
    std::string sqlState_;
};

// One value of a statement: null, a text, or bytes sent as binary (bytea).
struct PgValue {
    enum class Kind { Null, Text, Binary };
    Kind kind = Kind::Null;
    std::string bytes;

    static PgValue null() { return {}; }
    static PgValue text(std::string v) { return {Kind::Text, std::move(v)}; }
    static PgValue binary(std::string v) { return {Kind::Binary, std::move(v)}; }
    static PgValue number(int64_t v) { return text(std::to_string(v)); }
};

class PgResult {
  public:
    explicit PgResult(PGresult* result) : result_(result, PQclear) {}
    int rows() const { return PQntuples(result_.get()); }
    bool isNull(int row, int column) const { return PQgetisnull(result_.get(), row, column); }
    // The value as text; for a binary result column, its bytes.
    std::string text(int row, int column) const;
    int64_t number(int row, int column) const;
    PGresult* get() const { return result_.get(); }

  private:
    std::unique_ptr<PGresult, void (*)(PGresult*)> result_;
};

class PgConnection {
  public:
    // Connects; throws PgError with libpq's reason.
    explicit PgConnection(const std::string& conninfo);

    // Runs one statement; `binaryResult` asks for the columns in binary form
    // (bytea as its bytes, so only for statements whose other columns are
    // read as bytes too). Throws PgError.
    PgResult exec(const std::string& sql, const std::vector<PgValue>& values = {},
                  bool binaryResult = false);
    // Statements without parameters, several at once (a migration).
    void run(const std::string& sql);
    // COPY ... FROM STDIN of `rows` in COPY's text form.
    void copyIn(const std::string& sql, const std::string& rows);

    PGconn* get() const { return conn_.get(); }

  private:
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn_;
};

// A transaction that rolls back unless committed.
class PgTransaction {
  public:
    explicit PgTransaction(PgConnection& conn, const char* begin = "BEGIN");
    ~PgTransaction();
    PgTransaction(const PgTransaction&) = delete;
    PgTransaction& operator=(const PgTransaction&) = delete;
    void commit();

  private:
    PgConnection& conn_;
    bool open_ = true;
};

// Appends bytes as a bytea value of COPY's text form: the hex form, its
// backslash escaped.
void appendCopyBytea(std::string& out, std::string_view bytes);

// The connection string libpq takes for a setting: a bare word is a service
// name; anything else is passed as it is.
std::string conninfoOf(const std::string& setting);

}  // namespace plm::archive
