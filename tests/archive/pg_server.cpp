#include "archive/pg_server.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "archive/pg_connection.h"

namespace plm::test {
namespace {

namespace fs = std::filesystem;

std::string serverBinFolder() {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        if (fs::exists(entry.path() / "bin" / "pg_ctl"))
            found.push_back(entry.path() / "bin");
    }
    if (found.empty())
        throw std::runtime_error("no PostgreSQL server under /usr/lib/postgresql (make deps)");
    std::sort(found.begin(), found.end());
    return found.back().string();
}

// The unprivileged user a root test runs the server as.
const passwd* serverUser() {
    if (geteuid() != 0)
        return nullptr;
    for (const char* name : {"nobody", "daemon"}) {
        if (const passwd* pw = getpwnam(name))
            return pw;
    }
    throw std::runtime_error("no unprivileged user to run the PostgreSQL server as");
}

}  // namespace

PgServer::PgServer() : folder_(dir_.path().string()), bin_(serverBinFolder()) {
    if (const passwd* pw = serverUser()) {
        if (chown(folder_.c_str(), pw->pw_uid, pw->pw_gid) != 0)
            throw std::runtime_error("cannot hand the server folder to " +
                                     std::string(pw->pw_name));
    }
    if (run({bin_ + "/initdb", "-D", folder_ + "/data", "-U", "plm", "-A", "trust", "-E", "UTF8",
             "--no-locale", "--no-sync"}) != 0)
        throw std::runtime_error("initdb failed; see " + folder_ + "/server.log");
    start();
}

PgServer::~PgServer() {
    run({bin_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "fast", "-w", "stop"});
}

int PgServer::run(const std::vector<std::string>& argv) const {
    const passwd* pw = serverUser();
    const std::string log = folder_ + "/server.log";
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (pw &&
            (setgroups(0, nullptr) != 0 || setgid(pw->pw_gid) != 0 || setuid(pw->pw_uid) != 0))
            _exit(126);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
            close(out);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void PgServer::start() {
    if (run({bin_ + "/pg_ctl", "-D", folder_ + "/data", "-l", folder_ + "/postgres.log", "-w", "-o",
             "-k " + folder_ + " -c listen_addresses='' -c fsync=off", "start"}) != 0)
        throw std::runtime_error("pg_ctl start failed; see " + folder_ + "/postgres.log");
}

void PgServer::stopImmediately() {
    run({bin_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "immediate", "-w", "stop"});
}

std::string PgServer::conninfo(const std::string& database) const {
    return "host=" + folder_ + " user=plm dbname=" + database;
}

std::string PgServer::createDatabase() {
    const std::string name = "archive_" + std::to_string(++databases_);
    archive::PgConnection(conninfo("postgres")).run("CREATE DATABASE " + name);
    return conninfo(name);
}

}  // namespace plm::test
