#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/command_support.h"
#include "cli/session.h"
#include "model/backup_folder.h"
#include "model/backup_restore.h"
#include "model/data_file.h"
#include "model/shared_data_file.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

// plmtool backups / restore: the earlier versions of the data file kept in
// the backup folder, and bringing back what one of them holds.
namespace plm::cli {
namespace {

using support::format;

// The data file as it is now; a read-only command leaves a damaged one where it is.
model::CustomerTree currentTree(const Session& session, model::ErrorReporter& reporter) {
    model::CustomerTree tree;
    tree.devType = session.settings.deviceTypeIndex;
    model::FileIdentity identity;
    const model::LoadOutcome outcome =
        model::loadDataFile(tree, session.dataFile, reporter, model::DamagedFile::Leave, identity);
    if (outcome != model::LoadOutcome::Loaded && outcome != model::LoadOutcome::Missing)
        throw CxException();
    return tree;
}

std::string timeText(const model::BackupName& n) {
    return format("%04d/%02d/%02d %02d:%02d:%02d", n.year, n.month, n.day, n.hour, n.minute,
                  n.second);
}

std::string jsonText(const std::string& cp932) {
    return jsonString(support::toUtf8(cp932));
}

std::string missingJson(const std::vector<model::MissingMeasurements>& missing) {
    std::string out = format("{\"measurements\":%d,\"names\":[", model::missingCount(missing));
    const char* sep = "";
    for (const model::MissingMeasurements& m : missing) {
        out += format(
            "%s{\"customer\":%s,\"circuit\":%s,\"name\":%s,\"nameMissing\":%s,"
            "\"measurements\":%d}",
            sep, jsonText(m.customer).c_str(), jsonText(m.circuit).c_str(),
            jsonText(m.name).c_str(), m.nameMissing ? "true" : "false", m.count);
        sep = ",";
    }
    return out + "]}";
}

void printMissing(const std::vector<model::MissingMeasurements>& missing, const char* verb) {
    for (const model::MissingMeasurements& m : missing) {
        printLine(format("  %s %d measurement(s)%s under %s / %s / %s", verb, m.count,
                         m.nameMissing ? " and the name" : "", m.customer.c_str(),
                         m.circuit.c_str(), m.name.c_str()));
    }
}

int runBackups(const Invocation& inv) {
    if (!inv.args.empty())
        throw UsageError{"backups takes no arguments"};
    Session& session = openSession();
    StderrReporter reporter;
    const model::CustomerTree current = currentTree(session, reporter);
    std::string json = "[";
    const char* sep = "";
    model::BackupComparer comparer(current);
    for (const model::BackupFile& backup : model::listBackups(model::BackupKind::DataFile)) {
        const std::string stamp = backup.name.stamp();
        model::BackupSummary summary;
        if (!comparer.summarize(backup, summary, reporter)) {
            // Reported above; the others are listed all the same.
            if (inv.json)
                json += format("%s{\"stamp\":\"%s\",\"damaged\":true}", sep, stamp.c_str());
            else
                printUtf8(format("%s  damaged", stamp.c_str()));
            sep = ",";
            continue;
        }
        const auto& missing = summary.missing;
        if (inv.json) {
            json += format(
                "%s{\"stamp\":\"%s\",\"time\":\"%s\",\"size\":%lld,\"customers\":%d,"
                "\"measurements\":%d,\"missing\":%s}",
                sep, stamp.c_str(), timeText(backup.name).c_str(),
                static_cast<long long>(backup.size), summary.customers, summary.measurements,
                missingJson(missing).c_str());
            sep = ",";
            continue;
        }
        printUtf8(format(
            "%s  %s  %lld bytes  %d customer(s), %d measurement(s), "
            "%d not in the data file",
            stamp.c_str(), timeText(backup.name).c_str(), static_cast<long long>(backup.size),
            summary.customers, summary.measurements, model::missingCount(missing)));
        printMissing(missing, "lacks");
    }
    if (inv.json)
        printUtf8(json + "]");
    return 0;
}

int runRestore(const Invocation& inv) {
    if (inv.args.size() != 1)
        throw UsageError{"expected STAMP (as plmtool backups lists it)"};
    Session& session = openSession();
    StderrReporter reporter;
    const std::vector<model::BackupFile> backups = model::listBackups(model::BackupKind::DataFile);
    const model::BackupFile* backup = model::findBackup(backups, inv.args[0]);
    if (!backup)
        throw std::runtime_error("no backup " + inv.args[0] + " in " + model::backupFolderPath());
    model::CustomerTree saved;
    saved.devType = session.settings.deviceTypeIndex;
    if (!model::loadBackup(*backup, saved, reporter))
        throw CxException();

    model::SharedDataFile file(session.dataFile, session.settings.deviceTypeIndex);
    if (inv.hasFlag("replace")) {
        if (!file.update([&](model::CustomerTree& tree) { tree = saved; }, reporter))
            throw CxException();
        printUtf8(
            format("the data file is now the backup %s; the one it replaced is kept as a "
                   "backup",
                   backup->name.stamp().c_str()));
        return 0;
    }
    std::vector<model::MissingMeasurements> restored;
    if (!file.update([&](model::CustomerTree& tree) { restored = model::restoreInto(tree, saved); },
                     reporter)) {
        throw CxException();
    }
    printUtf8(format("restored %d measurement(s) from the backup %s", model::missingCount(restored),
                     backup->name.stamp().c_str()));
    printMissing(restored, "restored");
    return 0;
}

const CommandRegistration backupsCommand{{
    "backups",
    "backups [--json]",
    "the backups of the data file and what each holds that the data file lacks",
    runBackups,
    {{"json"}},
}};

const CommandRegistration restoreCommand{{
    "restore",
    "restore STAMP [--replace]",
    "bring back what a backup holds that the data file lacks (--replace: the backup whole)",
    runRestore,
    {{"replace"}},
}};

}  // namespace
}  // namespace plm::cli
