// The team archive on a PostgreSQL server of this run's own: a push of new
// measurements against a COPY of the same rows into the same tables, a pull
// against COPY ... TO of them, a sync with nothing new, and the memory of a
// sync as the archive grows. PLM_BENCH_ARCHIVE_N (measurements an
// installation, default 2000) and PLM_BENCH_ARCHIVE_INSTALLATIONS (default
// 5) set the sizes; the design's figure is 10000 and 50.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/pg_connection.h"
#include "archive/pg_server.h"
#include "archive/record_codec.h"
#include "archive/sha256.h"
#include "bench_timing.h"
#include "model/customer_tree.h"
#include "model/measurement_record.h"
#include "support/ole_date.h"

namespace {

using namespace plm;
using bench::Clock;
using bench::msSince;

int envInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

// Measurement `i` of installation `site`: 1001 samples, its own date.
model::MeasurementRecord record(int site, int i) {
    model::MeasurementRecord r;
    support::CalendarFields f;
    f.year = 2000 + site;
    f.month = 1 + i / (28 * 24 * 60) % 12;
    f.day = 1 + i / (24 * 60) % 28;
    f.hour = i / 60 % 24;
    f.minute = i % 60;
    support::fieldsToOle(f, r.testDateTime.value);
    r.testDateTime.status = support::DateStatus::Valid;
    r.measTime = 1;
    r.measPeriod = 1;
    r.vcValue = i;
    std::vector<uint8_t> samples(1001);
    for (size_t k = 0; k < samples.size(); ++k)
        samples[k] = static_cast<uint8_t>(k > static_cast<size_t>(100 + i % 500) ? 0x07 : 0);
    r.contacts = model::ContactSamples(samples);
    return r;
}

struct Run {
    double ms = 0;
    long maxRssKb = 0;
    int status = -1;
};

// plmtool sync in `home`, timed, with the peak memory of that process.
Run plmtoolSync(const std::string& home, const std::string& conninfo) {
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execl(PLMTOOL_PATH, PLMTOOL_PATH, "--home", home.c_str(), "--archive", conninfo.c_str(),
              "sync", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {msSince(start), usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void writeDataFile(const std::string& home, int site, int n) {
    model::CustomerTree tree;
    for (int i = 0; i < n; ++i) {
        model::findOrAddMeasurementName(tree, "C" + std::to_string(site),
                                        "K" + std::to_string(i % 10), "N" + std::to_string(i % 7))
            .records.append(record(site, i));
    }
    for (model::Customer& c : tree.customers)
        for (model::TestCircuit& t : c.circuits)
            for (model::MeasurementName& m : t.names)
                m.records.renumber();
    struct Quiet : model::ErrorReporter {
        void report(const std::string& text, model::MessageIcon) override {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    } reporter;
    std::filesystem::create_directories(home + "/DATA");
    tree.save(home + "/DATA/QBX.DAT", reporter);
}

// COPY of n rows of installation `site` into plm_measurement and
// plm_version, as a push would leave them; the time in ms.
double copyIn(archive::PgConnection& conn, int site, int n) {
    const std::string id = "00000000-0000-4000-8000-" +
                           std::string(12 - std::to_string(site).size(), '0') +
                           std::to_string(site);
    conn.exec(
        "INSERT INTO plm_installation (id, name) VALUES ($1, $2) ON CONFLICT DO NOTHING",
        {archive::PgValue::text(id), archive::PgValue::text("bench " + std::to_string(site))});
    const int64_t firstSeq =
        conn.exec("SELECT setval('plm_change_seq', nextval('plm_change_seq') + $1) - $1 + 1",
                  {archive::PgValue::number(n)})
            .number(0, 0);
    const int64_t firstId = conn.exec(
                                    "SELECT setval('plm_measurement_id_seq', "
                                    "nextval('plm_measurement_id_seq') + $1) - $1 + 1",
                                    {archive::PgValue::number(n)})
                                .number(0, 0);
    std::string measurements, versions;
    std::string conditions = archive::conditionsBytes(model::TestConditions{});
    for (int i = 0; i < n; ++i) {
        const std::string tester = archive::testerBytes(record(site, i));
        const std::string mid = std::to_string(firstId + i), seq = std::to_string(firstSeq + i);
        measurements += mid + "\t";
        archive::appendCopyBytea(measurements, archive::sha256(tester));
        measurements += "\t0\t";
        archive::appendCopyBytea(measurements, tester);
        measurements += "\t" + seq + "\t" + id + "\n";
        versions += seq + "\t" + mid + "\t";
        for (const std::string& v : {"C" + std::to_string(site), "K" + std::to_string(i % 10),
                                     "N" + std::to_string(i % 7)}) {
            archive::appendCopyBytea(versions, v);
            versions += "\t";
        }
        archive::appendCopyBytea(versions, conditions);
        versions += "\tf\tt\t" + id + "\n";
    }
    const auto start = Clock::now();
    archive::PgTransaction tx(conn);
    conn.copyIn(
        "COPY plm_measurement (id, tester_key, occurrence, tester, head, created_by) FROM STDIN",
        measurements);
    conn.copyIn(
        "COPY plm_version (seq, measurement_id, customer, circuit, name, conditions, deleted, "
        "current, installation) FROM STDIN",
        versions);
    tx.commit();
    return msSince(start);
}

double copyOut(archive::PgConnection& conn) {
    const auto start = Clock::now();
    PGresult* r = PQexec(conn.get(),
                         "COPY (SELECT m.id, m.tester, v.customer, v.circuit, v.name, v.conditions "
                         "FROM plm_measurement m JOIN plm_version v ON v.seq = m.head) TO STDOUT");
    PQclear(r);
    size_t bytes = 0;
    for (char* line; PQgetCopyData(conn.get(), &line, 0) > 0;) {
        bytes += std::strlen(line);
        PQfreemem(line);
    }
    for (PGresult* rest; (rest = PQgetResult(conn.get())) != nullptr;)
        PQclear(rest);
    return bytes ? msSince(start) : 0;
}

}  // namespace

int main() {
    const int n = envInt("PLM_BENCH_ARCHIVE_N", 2000);
    const int sites = envInt("PLM_BENCH_ARCHIVE_INSTALLATIONS", 5);
    test::PgServer server;
    const std::string conninfo = server.createDatabase();
    const std::string root = server.folder();
    std::system((std::string("'" PLMTOOL_PATH "' --home '") + root + "/office' --archive '" +
                 conninfo + "' archive init >/dev/null")
                    .c_str());
    archive::PgConnection conn(conninfo);

    const std::string home = root + "/site0";
    writeDataFile(home, 0, n);
    const Run push = plmtoolSync(home, conninfo);
    const double copyPush = copyIn(conn, 1, n);
    std::printf(
        "push of %d new measurements: %.0f ms (plmtool sync, status %d); COPY of the same "
        "rows: %.0f ms; ratio %.2f\n",
        n, push.ms, push.status, copyPush, push.ms / copyPush);
    const Run idleSmall = plmtoolSync(home, conninfo);  // pulls installation 1
    const Run idle1 = plmtoolSync(home, conninfo);
    for (int site = 2; site < sites; ++site)
        copyIn(conn, site, n);
    const std::string fresh = root + "/fresh";
    const Run pull = plmtoolSync(fresh, conninfo);
    const double copyPull = copyOut(conn);
    std::printf(
        "pull of %d measurements into an empty installation: %.0f ms (status %d); COPY ... "
        "TO of them: %.0f ms; ratio %.2f\n",
        sites * n, pull.ms, pull.status, copyPull, pull.ms / copyPull);
    plmtoolSync(home, conninfo);
    const Run idle2 = plmtoolSync(home, conninfo);
    std::printf(
        "sync with nothing new, %d measurements here: %.0f ms with %d in the archive, "
        "%.0f ms with %d\n",
        2 * n, idle1.ms, 2 * n, idle2.ms, sites * n);
    std::printf(
        "peak memory of that sync: %ld kB with %d in the archive, %ld kB with %d "
        "(this installation then holds %d)\n",
        idle1.maxRssKb, 2 * n, idle2.maxRssKb, sites * n, sites * n);
    std::printf("(pull of one installation's %d: %.0f ms)\n", n, idleSmall.ms);
    return push.status == 0 && pull.status == 0 ? 0 : 1;
}
