#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_queries.h"
#include "archive/archive_sync.h"
#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/filed_record.h"
#include "cli/session.h"
#include "model/data_file.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

// plmtool sync and plmtool archive: the team archive on a PostgreSQL server.
namespace plm::cli {
namespace {

using support::format;

std::string jsonText(const std::string& cp932) {
    return jsonString(support::toUtf8(cp932));
}

std::string connectionOf(Session& session) {
    const std::string& given = archiveOverride();
    const std::string connection = given.empty() ? session.settings.archiveConnection : given;
    if (connection.empty()) {
        throw CxException(support::sj(
            "アーカイブが設定されていません\nPLMView.INI の [Archive] Connection に接続先を設定して"
            "ください"));
    }
    return connection;
}

std::string placeText(const std::string& customer, const std::string& circuit,
                      const std::string& name) {
    return customer + " / " + circuit + " / " + name;
}

const char* stageName(archive::SyncStage stage) {
    switch (stage) {
        case archive::SyncStage::Reading:
            return "reading the data file";
        case archive::SyncStage::Pushing:
            return "pushing";
        case archive::SyncStage::Pulling:
            return "pulling";
        case archive::SyncStage::Writing:
            return "writing the data file";
    }
    return "";
}

// One line on stderr when a stage begins and every 500 measurements.
std::function<void(const archive::SyncProgress&)> stderrProgress(std::atomic<bool>& cancel) {
    return [&cancel, last = -1, lastDone = 0](const archive::SyncProgress& p) mutable {
        if (interruptRequested())
            cancel = true;
        const int stage = static_cast<int>(p.stage);
        if (stage == last && p.done - lastDone < 500 && !(p.total && p.done == p.total))
            return;
        if (stage == last && p.done == lastDone)
            return;
        last = stage;
        lastDone = p.done;
        if (p.total)
            printError(format("%s %d/%d", stageName(p.stage), p.done, p.total));
        else if (p.done)
            printError(format("%s %d", stageName(p.stage), p.done));
        else
            printError(stageName(p.stage));
    };
}

const char* kindText(archive::SyncChange::Kind kind) {
    switch (kind) {
        case archive::SyncChange::Kind::Added:
            return "new";
        case archive::SyncChange::Kind::Changed:
            return "changed";
        case archive::SyncChange::Kind::Deleted:
            return "deleted";
        case archive::SyncChange::Kind::Limits:
            return "limits";
    }
    return "";
}

std::string conflictText(const archive::SyncConflict& c) {
    const char* what = c.kind == archive::SyncConflict::Kind::DeletedHereChangedThere
                           ? "deleted here, changed by %s in the archive"
                       : c.kind == archive::SyncConflict::Kind::ChangedHereDeletedThere
                           ? "changed here, deleted by %s in the archive"
                           : "changed here and by %s in the archive";
    return "conflict: " + placeText(c.customer, c.circuit, c.name) + " " +
           format(what, c.theirInstallation.c_str()) +
           "; this installation's version is kept, the archive keeps both";
}

int runSync(const Invocation& inv) {
    if (!inv.args.empty())
        throw UsageError{"sync takes no arguments"};
    Session& session = openSession();
    const archive::SyncSetup setup = archive::syncSetup(session.settings, session.dataFile,
                                                        archiveOverride(), inv.hasFlag("dry-run"));
    std::atomic<bool> cancel{false};
    InterruptGuard guard(true);
    archive::SyncOptions options;
    options.dryRun = inv.hasFlag("dry-run");
    options.cancel = &cancel;
    options.progress = stderrProgress(cancel);
    const archive::SyncReport report = archive::sync(setup, options);
    const char* verb = options.dryRun ? "would " : "";
    for (const archive::SyncChange& c : report.changes) {
        const bool push = c.direction == archive::SyncChange::Direction::Push;
        std::string line = format("%s%s %s %s", verb, push ? "push" : "pull", kindText(c.kind),
                                  placeText(c.customer, c.circuit, c.name).c_str());
        if (c.testDateTime.valid())
            line += " " + support::formatDateTime(c.testDateTime, "%Y/%m/%d %H:%M:%S");
        printLine(line);
    }
    for (const archive::SyncConflict& c : report.conflicts)
        printLine(conflictText(c));
    printUtf8(format("%spushed %d, %spulled %d, %d conflict(s)%s", verb, report.pushed(), verb,
                     report.pulled(), static_cast<int>(report.conflicts.size()),
                     report.cancelled ? "; stopped before the end, the next sync goes on" : ""));
    return report.cancelled ? 1 : 0;
}

int runInit(Session& session) {
    const std::vector<int> applied = archive::initArchive(connectionOf(session));
    if (applied.empty())
        printUtf8("the archive is up to date");
    for (int version : applied)
        printUtf8(format("schema version %d applied", version));
    return 0;
}

int runStatus(Session& session, const Invocation& inv) {
    StderrReporter reporter;
    model::CustomerTree tree;
    model::FileIdentity identity;
    const model::LoadOutcome outcome =
        model::loadDataFile(tree, session.dataFile, reporter, model::DamagedFile::Leave, identity);
    if (outcome != model::LoadOutcome::Loaded && outcome != model::LoadOutcome::Missing)
        throw CxException();
    const archive::LocalStatus local = archive::localStatus(archive::defaultStateFile(), tree);
    const std::string last =
        local.everSynced ? support::formatDateTime(local.lastSync, "%Y/%m/%d %H:%M:%S") : "";
    std::string reason;
    archive::ArchiveInfo info;
    bool reached = false;
    try {
        info = archive::archiveInfo(connectionOf(session));
        reached = true;
    } catch (const CxException& e) {
        reason = e.text();
    }
    if (inv.json) {
        printUtf8(
            format("{\"reached\":%s,\"server\":%s,\"schemaVersion\":%d,\"measurements\":%d,"
                   "\"installations\":%d,\"installationId\":%s,\"lastSync\":%s,\"notPushed\":%d,"
                   "\"reason\":%s}",
                   reached ? "true" : "false", jsonString(info.server).c_str(), info.schemaVersion,
                   info.measurements, info.installations,
                   jsonString(session.settings.archiveInstallationId).c_str(),
                   local.everSynced ? jsonString(last).c_str() : "null", local.notPushed,
                   jsonText(reason).c_str()));
        return 0;
    }
    const std::string& named =
        archiveOverride().empty() ? session.settings.archiveConnection : archiveOverride();
    printLine("archive: " + (named.empty() ? std::string("not configured") : named));
    if (reached) {
        printUtf8("server: " + info.server);
        printUtf8(format("schema version: %d, %d measurement(s) from %d installation(s)",
                         info.schemaVersion, info.measurements, info.installations));
    } else {
        printUtf8("server: not reached");
        printError(reason);
    }
    printUtf8("last sync: " + (local.everSynced ? last : std::string("never")));
    printUtf8(format("not pushed: %d measurement(s)", local.notPushed));
    return 0;
}

int runLog(Session& session, const Invocation& inv) {
    const std::vector<archive::SyncLogEntry> log = archive::syncLog(connectionOf(session));
    std::string json = "[";
    for (const archive::SyncLogEntry& e : log) {
        if (inv.json) {
            json += format(
                "%s{\"installation\":%s,\"time\":\"%s\",\"pushed\":%d,\"pulled\":%d,"
                "\"conflicts\":%d}",
                json.size() > 1 ? "," : "", jsonText(e.installation).c_str(), e.time.c_str(),
                e.pushed, e.pulled, e.conflicts);
        } else {
            printLine(format("%s  %s  pushed %d, pulled %d, %d conflict(s)", e.time.c_str(),
                             e.installation.c_str(), e.pushed, e.pulled, e.conflicts));
        }
    }
    if (inv.json)
        printUtf8(json + "]");
    return 0;
}

int runHistory(Session& session, const Invocation& inv) {
    if (inv.args.size() != 5)
        throw UsageError{"expected archive history CUSTOMER CIRCUIT NAME INDEX"};
    const std::optional<model::MeasurementRecord> record =
        scanFiledRecord(session.dataFile, inv.args[1], inv.args[2], inv.args[3],
                        static_cast<uint32_t>(parseIndex(inv.args[4])));
    if (!record)
        return 1;
    const auto histories = archive::history(connectionOf(session), *record);
    if (histories.empty()) {
        printUtf8("not in the archive");
        return 0;
    }
    for (const archive::MeasurementHistory& h : histories) {
        printUtf8(
            format("measurement %lld (occurrence %d)", static_cast<long long>(h.id), h.occurrence));
        for (const archive::VersionEntry& v : h.versions) {
            printLine(format("  %s  %s  %s%s%s", v.time.c_str(), v.installation.c_str(),
                             v.deleted ? "deleted " : "",
                             placeText(v.customer, v.circuit, v.name).c_str(),
                             v.head       ? "  (in force)"
                             : !v.current ? "  (set aside in a conflict)"
                                          : ""));
        }
    }
    return 0;
}

int runDeleted(Session& session, const Invocation& inv) {
    std::string json = "[";
    for (const archive::DeletedEntry& e : archive::deletedMeasurements(connectionOf(session))) {
        const std::string tested = support::formatDateTime(e.testDateTime, "%Y/%m/%d %H:%M:%S");
        if (inv.json) {
            json += format(
                "%s{\"id\":%lld,\"customer\":%s,\"circuit\":%s,\"name\":%s,\"tested\":%s,"
                "\"deletedAt\":\"%s\",\"by\":%s}",
                json.size() > 1 ? "," : "", static_cast<long long>(e.id),
                jsonText(e.customer).c_str(), jsonText(e.circuit).c_str(), jsonText(e.name).c_str(),
                jsonString(tested).c_str(), e.time.c_str(), jsonText(e.installation).c_str());
        } else {
            printLine(format("%lld  %s  %s  deleted %s by %s", static_cast<long long>(e.id),
                             placeText(e.customer, e.circuit, e.name).c_str(), tested.c_str(),
                             e.time.c_str(), e.installation.c_str()));
        }
    }
    if (inv.json)
        printUtf8(json + "]");
    return 0;
}

int runUndelete(Session& session, const Invocation& inv) {
    if (inv.args.size() != 2)
        throw UsageError{"expected archive undelete ID (as archive deleted lists it)"};
    char* end = nullptr;
    const long long id = std::strtoll(inv.args[1].c_str(), &end, 10);
    if (inv.args[1].empty() || *end != '\0' || id <= 0)
        throw UsageError{"ID must be a number as archive deleted lists it: " + inv.args[1]};
    const archive::SyncSetup setup =
        archive::syncSetup(session.settings, session.dataFile, archiveOverride());
    archive::undelete(setup.connection, setup.installationId, setup.installationName, id);
    printUtf8(
        format("measurement %lld is back in the archive; every installation gets it at "
               "its next sync",
               id));
    return 0;
}

int runArchive(const Invocation& inv) {
    const std::string what = inv.args.empty() ? std::string() : inv.args[0];
    const bool noMore = inv.args.size() == 1;
    if (what == "history" || what == "undelete") {
        Session& session = openSession();
        return what == "history" ? runHistory(session, inv) : runUndelete(session, inv);
    }
    if (!noMore || (what != "init" && what != "status" && what != "log" && what != "deleted"))
        throw UsageError{"expected archive init|status|log|history|deleted|undelete"};
    Session& session = openSession();
    if (what == "init")
        return runInit(session);
    if (what == "status")
        return runStatus(session, inv);
    if (what == "log")
        return runLog(session, inv);
    return runDeleted(session, inv);
}

const CommandRegistration kSync{{
    "sync",
    "sync [--dry-run]",
    "push to and pull from the team archive (--dry-run: only tell what would change)",
    runSync,
    {{"dry-run"}},
}};

const CommandRegistration kArchive{{
    "archive",
    "archive init|status|log|deleted|history CUSTOMER CIRCUIT NAME INDEX|undelete ID [--json]",
    "create or upgrade the team archive, and what it holds",
    runArchive,
    {{"json"}},
}};

}  // namespace
}  // namespace plm::cli
