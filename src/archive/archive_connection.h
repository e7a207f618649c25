#pragma once

#include <string>

// Reaching the team archive: a libpq connection string or service name, as
// [Archive] Connection holds it. Passwords never live there: they go to the
// libpq password file (~/.pgpass, PGPASSFILE) or a service file.
namespace plm::archive {

// The CP932 message that refuses a connection string holding a password,
// naming where passwords go.
std::string passwordRefusedText();

// Throws CxException(passwordRefusedText()) when `conninfo` holds a password
// (a password=... key, or a URI with user:password@), and a CxException with
// libpq's reason when it does not parse at all.
void checkConnectionText(const std::string& conninfo);

// What the server answered to a test connection: on success its version,
// the database and the user it was reached as; otherwise libpq's reason.
// Texts are CP932.
struct ConnectionAnswer {
    bool ok = false;
    std::string text;
};

// Connects once and disconnects; never throws. The refusal of a password in
// the string is an answer too.
ConnectionAnswer testConnection(const std::string& conninfo);

// A connection string made of the fields of a settings dialog; empty fields
// are left out, values are quoted as libpq wants them.
struct ConnectionFields {
    std::string host;
    std::string port;
    std::string dbname;
    std::string user;
    std::string sslmode;  // disable, allow, prefer, require, verify-ca, verify-full
};
std::string connectionString(const ConnectionFields& fields);
// The fields of a connection string (what a dialog shows); unknown keys are dropped.
ConnectionFields connectionFields(const std::string& conninfo);

}  // namespace plm::archive
