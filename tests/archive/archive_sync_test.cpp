#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <thread>

#include "archive/archive_sync.h"
#include "archive/installation.h"
#include "archive/pg_connection.h"
#include "archive/pg_server.h"
#include "archive/record_codec.h"
#include "archive/sha256.h"
#include "common/fixtures.h"
#include "model/record_register.h"
#include "model/tree_merge.h"
#include "support/text_codec.h"

namespace plm::test {
namespace {

using ::testing::HasSubstr;

std::string initArchive() {
    const std::string conninfo = sharedServer().createDatabase();
    Installation office(conninfo);
    const cli::ToolRun init = office.tool({"archive", "init"});
    EXPECT_EQ(init.status, 0) << init.err;
    return conninfo;
}

void fileRecords(model::CustomerTree& tree, const std::string& customer, const std::string& circuit,
                 const std::string& name, const std::vector<model::MeasurementRecord>& records) {
    model::fileRecords(model::findOrAddMeasurementName(tree, customer, circuit, name), records,
                       model::RegisterMode::Append, records.front().cond);
}

std::set<std::string> archivedKeys(const std::string& conninfo) {
    archive::PgConnection conn(conninfo);
    const archive::PgResult r = conn.exec("SELECT encode(tester_key, 'hex') FROM plm_measurement");
    std::set<std::string> keys;
    for (int i = 0; i < r.rows(); ++i)
        keys.insert(r.text(i, 0));
    return keys;
}

std::string hexKey(const model::MeasurementRecord& record) {
    std::string out;
    for (unsigned char c : archive::sha256(archive::testerBytes(record)))
        out += support::format("%02x", c);
    return out;
}

int64_t countOf(const std::string& conninfo, const std::string& sql) {
    return archive::PgConnection(conninfo).exec(sql).number(0, 0);
}

void expectSynced(const Installation& installation) {
    const cli::ToolRun run = installation.sync();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
}

// Random registers, condition edits, renames and deletions on every
// installation between rounds in which all of them sync at once.
TEST(ArchiveSync, InstallationsSyncingAtOnceConvergeAndKeepEveryMeasurement) {
    const std::string conninfo = initArchive();
    constexpr int kInstallations = 8;
    const int rounds =
        std::getenv("PLM_ARCHIVE_ROUNDS") ? std::atoi(std::getenv("PLM_ARCHIVE_ROUNDS")) : 10;
    std::vector<std::unique_ptr<Installation>> sites;
    for (int i = 0; i < kInstallations; ++i)
        sites.push_back(std::make_unique<Installation>(conninfo));
    std::mt19937 random(20261211);
    const auto pick = [&random](int n) { return static_cast<int>(random() % n); };
    std::set<std::string> registered;
    int seed = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& site : sites) {
            site->edit([&](model::CustomerTree& tree) {
                // Changes first, on what the archive already has; new ones last.
                std::vector<model::MeasurementName*> names;
                for (model::Customer& c : tree.customers)
                    for (model::TestCircuit& t : c.circuits)
                        for (model::MeasurementName& n : t.names)
                            names.push_back(&n);
                if (!names.empty()) {
                    model::MeasurementName& name = *names[pick(names.size())];
                    if (!name.records.empty()) {
                        switch (pick(3)) {
                            case 0:
                                name.records.at(pick(name.records.count())).cond.comment =
                                    "edit " + std::to_string(seed++);
                                break;
                            case 1:
                                name.records.removeAt(pick(name.records.count()));
                                break;
                            default:
                                name.name += "+";
                        }
                        name.records.allowSharing();
                    }
                }
                // A renamed name keeps its place only after a re-sort of
                // its level; filing through the tree's own lookup does it.
                model::CustomerTree rebuilt;
                for (model::Customer& c : tree.customers)
                    for (model::TestCircuit& t : c.circuits)
                        for (model::MeasurementName& n : t.names)
                            for (const model::MeasurementRecord& r : n.records)
                                model::findOrAddMeasurementName(rebuilt, c.name, t.name, n.name)
                                    .records.add(r);
                tree.customers = std::move(rebuilt.customers);
                const int count = 1 + pick(3);
                std::vector<model::MeasurementRecord> added;
                for (int k = 0; k < count; ++k) {
                    added.push_back(uniqueRecord(seed++));
                    registered.insert(hexKey(added.back()));
                }
                fileRecords(tree, "C" + std::to_string(pick(2)), "K" + std::to_string(pick(2)),
                            "N" + std::to_string(pick(3)), added);
            });
        }
        std::vector<std::thread> syncs;
        for (const auto& site : sites)
            syncs.emplace_back([&site] { expectSynced(*site); });
        for (std::thread& t : syncs)
            t.join();
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& site : sites)
            expectSynced(*site);
    }
    const model::CustomerTree first = sites.front()->tree();
    for (const auto& site : sites)
        EXPECT_TRUE(model::sameTree(site->tree(), first)) << site->home();
    const std::set<std::string> archived = archivedKeys(conninfo);
    for (const std::string& key : registered)
        EXPECT_TRUE(archived.count(key)) << key;
    EXPECT_EQ(archived.size(), registered.size());
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_sync_log"),
              kInstallations * (rounds + 2));
}

// Names that only CP932 bytes tell apart, quotes and backslashes, the
// empty name: another installation gets every one back byte for byte; two
// spellings that count as one name join under one, as in the data file.
TEST(ArchiveSync, HostileNamesRoundTripByteForByte) {
    const std::string conninfo = initArchive();
    Installation a(conninfo), b(conninfo);
    const std::vector<std::string> names = {"it's",
                                            "back\\slash\\",
                                            "\"quoted\"",
                                            support::sj("ソース"),
                                            support::sj("表示"),
                                            support::sj("能力"),
                                            "",
                                            "tab\there",
                                            "'; DROP TABLE plm_version; --"};
    a.edit([&](model::CustomerTree& tree) {
        int seed = 100;
        for (const std::string& n : names)
            fileRecords(tree, n, support::sj("回路\\"), n, {uniqueRecord(seed++)});
        fileRecords(tree, "Fold", "K", "Abc", {uniqueRecord(seed++)});
        fileRecords(tree, "Fold", "K2", "abc", {uniqueRecord(seed++)});
    });
    expectSynced(a);
    expectSynced(b);
    const model::CustomerTree there = b.tree();
    EXPECT_TRUE(model::sameTree(there, a.tree()));
    for (const std::string& n : names) {
        const model::MeasurementName* found =
            model::findMeasurementName(there, n, support::sj("回路\\"), n);
        ASSERT_NE(found, nullptr) << support::toUtf8(n);
        EXPECT_EQ(found->name, n);
        EXPECT_EQ(found->records.count(), 1);
    }
    // "Abc" and "abc" under one circuit: b files them under one name.
    a.edit([&](model::CustomerTree& tree) {
        fileRecords(tree, "Fold", "K3", "Abc", {uniqueRecord(200)});
    });
    b.edit([&](model::CustomerTree& tree) {
        fileRecords(tree, "Fold", "K3", "abc", {uniqueRecord(201)});
    });
    expectSynced(a);
    expectSynced(b);
    expectSynced(a);
    // Each keeps the spelling it had first.
    for (const auto& [site, spelling] : {std::pair{&a, "Abc"}, std::pair{&b, "abc"}}) {
        const model::CustomerTree tree = site->tree();
        const model::MeasurementName* joined =
            model::findMeasurementName(tree, "Fold", "K3", "ABC");
        ASSERT_NE(joined, nullptr);
        EXPECT_EQ(joined->name, spelling);
        EXPECT_EQ(joined->records.count(), 2);
    }
}

// A deletion reaches the others; undelete brings it back everywhere; the
// archive never lost a row.
TEST(ArchiveSync, DeletionIsAVersionThatUndeleteTakesBack) {
    const std::string conninfo = initArchive();
    Installation a(conninfo), b(conninfo);
    a.edit([](model::CustomerTree& tree) {
        fileRecords(tree, "C", "K", "N", {uniqueRecord(1), uniqueRecord(2)});
    });
    expectSynced(a);
    expectSynced(b);
    b.edit([](model::CustomerTree& tree) {
        findOrAddMeasurementName(tree, "C", "K", "N").records.removeAt(0);
    });
    expectSynced(b);
    expectSynced(a);
    EXPECT_EQ(model::findMeasurementName(a.tree(), "C", "K", "N")->records.count(), 1);
    const cli::ToolRun deleted = a.tool({"archive", "deleted"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_THAT(deleted.out, HasSubstr("C / K / N"));
    const std::string id = deleted.out.substr(0, deleted.out.find(' '));
    const cli::ToolRun undone = a.tool({"archive", "undelete", id});
    EXPECT_EQ(undone.status, 0) << undone.err;
    expectSynced(a);
    expectSynced(b);
    EXPECT_EQ(model::findMeasurementName(a.tree(), "C", "K", "N")->records.count(), 2);
    EXPECT_TRUE(model::sameTree(a.tree(), b.tree()));
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_measurement"), 2);
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_version"), 4);
    const cli::ToolRun history = a.tool({"archive", "history", "C", "K", "N", "0"});
    EXPECT_EQ(history.status, 0) << history.err;
    EXPECT_THAT(history.out, HasSubstr("deleted C / K / N"));
}

// The same measurement changed on two installations: plmtool keeps its own
// and says so; the archive keeps both versions.
TEST(ArchiveSync, AConflictKeepsTheLocalVersionAndTheArchiveKeepsBoth) {
    const std::string conninfo = initArchive();
    Installation a(conninfo), b(conninfo);
    a.edit([](model::CustomerTree& tree) { fileRecords(tree, "C", "K", "N", {uniqueRecord(7)}); });
    expectSynced(a);
    expectSynced(b);
    const auto comment = [](const std::string& text) {
        return [text](model::CustomerTree& tree) {
            findOrAddMeasurementName(tree, "C", "K", "N").records.at(0).cond.comment = text;
        };
    };
    a.edit(comment("from a"));
    b.edit(comment("from b"));
    expectSynced(a);
    const cli::ToolRun run = b.sync();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("conflict: C / K / N changed here and by"));
    EXPECT_EQ(model::findMeasurementName(b.tree(), "C", "K", "N")->records.at(0).cond.comment,
              "from b");
    expectSynced(a);
    EXPECT_TRUE(model::sameTree(a.tree(), b.tree()));
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_version"), 3);
}

}  // namespace
}  // namespace plm::test

namespace plm::test {
namespace {

// The limits set on one installation reach the other; a limit changed on
// both is kept as each has it at first, and the archive has both.
TEST(ArchiveSync, LimitsEntriesSyncAsVersions) {
    const std::string conninfo = initArchive();
    Installation a(conninfo), b(conninfo);
    for (const Installation* site : {&a, &b}) {
        site->edit(
            [](model::CustomerTree& tree) { fileRecords(tree, "C", "K", "N", {uniqueRecord(9)}); });
    }
    ASSERT_EQ(a.tool({"limits", "C", "K", "--set", "close_min_ms=40"}).status, 0);
    expectSynced(a);
    expectSynced(b);
    EXPECT_THAT(b.tool({"limits", "C", "K"}).out, HasSubstr("40"));
    ASSERT_EQ(a.tool({"limits", "C", "K", "--set", "close_min_ms=41"}).status, 0);
    ASSERT_EQ(b.tool({"limits", "C", "K", "--set", "close_min_ms=42"}).status, 0);
    expectSynced(a);
    const cli::ToolRun run = b.sync();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("1 conflict(s)"));
    expectSynced(a);
    EXPECT_THAT(a.tool({"limits", "C", "K"}).out, HasSubstr("42"));
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_limits_version"), 3);
}

}  // namespace
}  // namespace plm::test

namespace plm::test {
namespace {

// PLMView's way: the sync called in the program, a decider asked per
// conflict. While it is asked no lock is held: another installation syncs
// meanwhile. Keeping theirs brings the archive's version here and keeps
// this one in the archive as a version set aside.
TEST(ArchiveSync, ADeciderAskedWithoutLocksCanKeepTheArchivesVersion) {
    const std::string conninfo = initArchive();
    Installation a(conninfo), b(conninfo), c(conninfo);
    a.edit([](model::CustomerTree& tree) { fileRecords(tree, "C", "K", "N", {uniqueRecord(5)}); });
    expectSynced(a);
    expectSynced(b);
    a.edit([](model::CustomerTree& tree) {
        findOrAddMeasurementName(tree, "C", "K", "N").records.at(0).cond.comment = "a";
    });
    b.edit([](model::CustomerTree& tree) {
        findOrAddMeasurementName(tree, "C", "K", "N").records.at(0).cond.comment = "b";
    });
    c.edit([](model::CustomerTree& tree) { fileRecords(tree, "X", "K", "N", {uniqueRecord(6)}); });
    expectSynced(a);

    ProgramFolderGuard folder(b.home());
    archive::SyncSetup setup;
    setup.connection = conninfo;
    setup.installationId = "7d0c8a46-5e4f-4b7a-9a63-0b0c2f9e3a11";
    setup.installationName = "b in process";
    setup.dataFile = ".\\DATA\\QBX.DAT";
    setup.stateFile = b.home() + "/ARCHIVE.SYN";
    archive::SyncOptions options;
    std::vector<archive::SyncConflict> asked;
    options.decide = [&](const archive::SyncConflict& conflict) {
        asked.push_back(conflict);
        expectSynced(c);
        return archive::ConflictDecision::KeepTheirs;
    };
    const archive::SyncReport report = archive::sync(setup, options);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, archive::SyncConflict::Kind::EditedOnBothSides);
    EXPECT_EQ(asked[0].name, "N");
    EXPECT_EQ(report.decisions, std::vector{archive::ConflictDecision::KeepTheirs});
    const model::CustomerTree here = b.tree();
    EXPECT_EQ(model::findMeasurementName(here, "C", "K", "N")->records.at(0).cond.comment, "a");
    EXPECT_NE(model::findMeasurementName(here, "X", "K", "N"), nullptr);
    EXPECT_EQ(countOf(conninfo, "SELECT count(*) FROM plm_version WHERE NOT current"), 1);
}

}  // namespace
}  // namespace plm::test
