#pragma once

#include <string>
#include <vector>

#include "common/temp_dir.h"

// A PostgreSQL server of the test binary's own: initdb and pg_ctl in a
// temporary folder, reached only through a Unix socket in that folder. The
// server refuses to run as root, so under root it runs as an unprivileged
// user that owns the folder.
namespace plm::test {

class PgServer {
  public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // A fresh database; its connection string.
    std::string createDatabase();
    // The connection string of an existing database.
    std::string conninfo(const std::string& database) const;

    // pg_ctl stop -m immediate: the server dies as on a power cut.
    void stopImmediately();
    void start();

    const std::string& folder() const { return folder_; }

  private:
    // Runs a server program (as the server's user); its exit status.
    int run(const std::vector<std::string>& argv) const;

    TempDir dir_;
    std::string folder_;
    std::string bin_;
    int databases_ = 0;
};

// The server every test of the binary shares, started on first use and
// stopped when the tests end.
PgServer& sharedServer();

}  // namespace plm::test
