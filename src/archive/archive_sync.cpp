#include "archive/archive_sync.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

#include "archive/archive_connection.h"
#include "archive/archive_schema.h"
#include "archive/limits_sync.h"
#include "archive/local_records.h"
#include "archive/pg_connection.h"
#include "archive/record_codec.h"
#include "model/shared_data_file.h"
#include "model/tree_merge.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::archive {
namespace {

using support::format;
using support::sj;

constexpr int kBatch = 200;
constexpr size_t kBulk = 2000;  // tester data a transaction of new measurements

std::string hexDecoded(const std::string& text) {
    // bytea in its text form: "\x" and two hex digits a byte.
    const auto digit = [](char c) -> int { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string out;
    if (text.size() < 2)
        return out;
    out.resize((text.size() - 2) / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(digit(text[2 + 2 * i]) << 4 | digit(text[3 + 2 * i]));
    return out;
}

// A version of a measurement as the archive has it.
struct Head {
    int64_t id = 0;
    int64_t seq = 0;
    int occurrence = 0;
    std::string key;
    Placement placement;
    std::string installation;  // who made it (UTF-8)
};

const char* const kHeadColumns =
    "m.id, m.head, m.occurrence, m.tester_key, v.customer, v.circuit, v.name, v.conditions, "
    "v.deleted, i.name";
const char* const kHeadJoin =
    " FROM plm_measurement m JOIN plm_version v ON v.seq = m.head"
    " JOIN plm_installation i ON i.id = v.installation";

Head headOf(const PgResult& r, int row) {
    Head h;
    h.id = r.number(row, 0);
    h.seq = r.number(row, 1);
    h.occurrence = static_cast<int>(r.number(row, 2));
    h.key = hexDecoded(r.text(row, 3));
    h.placement = {hexDecoded(r.text(row, 4)), hexDecoded(r.text(row, 5)),
                   hexDecoded(r.text(row, 6)), hexDecoded(r.text(row, 7)), r.text(row, 8) == "t"};
    h.installation = r.text(row, 9);
    return h;
}

// What the local tree gets from the archive: a measurement moved, changed,
// deleted or added (local < 0) to the placement given.
struct Incoming {
    int local = -1;
    int64_t id = 0;
    Placement placement;
};

SyncConflict::Kind conflictKind(const Placement& mine, const Placement& theirs) {
    if (mine.deleted)
        return SyncConflict::Kind::DeletedHereChangedThere;
    if (theirs.deleted)
        return SyncConflict::Kind::ChangedHereDeletedThere;
    return SyncConflict::Kind::EditedOnBothSides;
}

CxException unreachable(const PgError& e) {
    return CxException(
        format(sj("アーカイブに接続できません\n%s").c_str(), support::fromUtf8(e.what()).c_str()));
}

// The date order of the data file (to the second, an invalid date first),
// and among equal dates the tester data, then the conditions: every
// installation orders what it synced alike.
struct OrderKey {
    int valid;
    long long second;
    std::string tester;
    std::string conditions;
    auto operator<=>(const OrderKey&) const = default;
};

OrderKey orderKeyOf(const model::MeasurementRecord& r) {
    const bool valid = r.testDateTime.valid();
    return {valid ? 1 : 0, valid ? std::llround(r.testDateTime.value * 86400.0) : 0, testerBytes(r),
            conditionsBytes(r.cond)};
}

void putInSyncOrder(model::MeasurementName& name) {
    std::vector<model::MeasurementRecord> records(name.records.begin(), name.records.end());
    std::vector<std::pair<OrderKey, size_t>> keys;
    for (size_t i = 0; i < records.size(); ++i)
        keys.emplace_back(orderKeyOf(records[i]), i);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<model::MeasurementRecord> sorted;
    for (const auto& k : keys)
        sorted.push_back(records[k.second]);
    name.records = model::RecordList(std::move(sorted));
    name.records.renumber();
}

struct NameRef {
    std::string customer, circuit, name;
    bool operator<(const NameRef& o) const {
        return std::tie(customer, circuit, name) < std::tie(o.customer, o.circuit, o.name);
    }
};

class Sync {
  public:
    Sync(const SyncSetup& setup, const SyncOptions& options) : setup_(setup), options_(options) {}

    SyncReport run() {
        checkConnectionText(setup_.connection);
        readLocal();
        try {
            PgConnection conn(conninfoOf(setup_.connection));
            requireSchema(conn);
            startFrom(archiveId(conn));
            if (!options_.dryRun)
                registerInstallation(conn);
            push(conn);
            if (!report_.cancelled)
                limits_.push(conn);
            if (!report_.cancelled)
                pull(conn);
            if (!options_.dryRun)
                logSync(conn);
        } catch (const PgError& e) {
            throw unreachable(e);
        }
        if (options_.dryRun)
            return report_;
        progress(SyncStage::Writing, 0, 0);
        writeLocal();
        return report_;
    }

  private:
    void progress(SyncStage stage, int done, int total) {
        if (options_.progress)
            options_.progress({stage, done, total});
    }
    bool cancelled() const { return options_.cancel && options_.cancel->load(); }

    void readLocal() {
        progress(SyncStage::Reading, 0, 0);
        state_ = loadSyncState(setup_.stateFile);
        ReportCollector reporter;
        if (!file_.load(tree_, reporter))
            throw CxException(reporter.text);
        local_ = localRecords(tree_);
    }

    // Pairs the local records with what was synced with this archive; a
    // state made with another archive (the connection was changed) counts
    // for nothing here, and the measurements meet this archive's as new.
    void startFrom(const std::string& archive) {
        if (state_.archiveId != archive) {
            const std::string installation = state_.installationId;
            state_ = SyncState{};
            state_.installationId = installation;
        }
        state_.archiveId = archive;
        limits_.readLocal();
        paired_ = pairWithState(local_, state_);
        // The names changed here since the last sync: put in the order every
        // installation gives them once the sync is through.
        for (const LocalRecord& r : local_) {
            if (r.synced < 0 ||
                !samePlacement(r.placement, state_.measurements[r.synced].placement))
                changedHere_.insert({r.placement.customer, r.placement.circuit, r.placement.name});
        }
        for (size_t s = 0; s < paired_.size(); ++s) {
            const Placement& p = state_.measurements[s].placement;
            if (paired_[s] < 0 && !p.deleted)
                changedHere_.insert({p.customer, p.circuit, p.name});
        }
        for (size_t s = 0; s < state_.measurements.size(); ++s)
            byId_[state_.measurements[s].id] = static_cast<int>(s);
    }

    struct ReportCollector : model::ErrorReporter {
        void report(const std::string& t, model::MessageIcon) override {
            text += text.empty() ? t : "\n" + t;
        }
        std::string text;
    };

    void registerInstallation(PgConnection& conn) {
        conn.exec(
            "INSERT INTO plm_installation (id, name) VALUES ($1, $2) "
            "ON CONFLICT (id) DO UPDATE SET name = EXCLUDED.name",
            {PgValue::text(setup_.installationId),
             PgValue::text(support::toUtf8(setup_.installationName))});
    }

    void logSync(PgConnection& conn) {
        PgTransaction tx(conn);
        conn.exec(
            "INSERT INTO plm_sync_log (installation, pushed, pulled, conflicts) "
            "VALUES ($1, $2, $3, $4)",
            {PgValue::text(setup_.installationId), PgValue::number(report_.pushed()),
             PgValue::number(report_.pulled()),
             PgValue::number(static_cast<int64_t>(report_.conflicts.size()))});
        conn.exec("UPDATE plm_installation SET last_sync = now() WHERE id = $1",
                  {PgValue::text(setup_.installationId)});
        tx.commit();
    }

    // ---- push ---------------------------------------------------------------

    void push(PgConnection& conn) {
        std::vector<int> changed;
        std::map<std::string, std::vector<int>> added;  // by key
        for (size_t l = 0; l < local_.size(); ++l) {
            const LocalRecord& r = local_[l];
            if (r.synced < 0)
                added[r.key].push_back(static_cast<int>(l));
            else if (!samePlacement(state_.measurements[r.synced].placement, r.placement))
                changed.push_back(static_cast<int>(l));
        }
        std::vector<int> removed;
        for (size_t s = 0; s < paired_.size(); ++s) {
            if (paired_[s] < 0 && !state_.measurements[s].placement.deleted)
                removed.push_back(static_cast<int>(s));
        }
        const int total = static_cast<int>(changed.size() + removed.size()) +
                          static_cast<int>(std::accumulate(
                              added.begin(), added.end(), size_t{0},
                              [](size_t n, const auto& kv) { return n + kv.second.size(); }));
        int done = 0;
        int inBatch = 0;
        std::optional<PgTransaction> tx;
        const auto step = [&](int count) {
            done += count;
            inBatch += count;
            progress(SyncStage::Pushing, done, total);
            if (inBatch >= kBatch && tx) {
                tx->commit();
                tx.reset();
                inBatch = 0;
            }
        };
        const auto open = [&] {
            if (!tx && !options_.dryRun) {
                tx.emplace(conn);
                conn.exec("SELECT pg_advisory_xact_lock($1)", {PgValue::number(kPushLock)});
            }
        };
        progress(SyncStage::Pushing, 0, total);
        for (int l : changed) {
            if (cancelled())
                break;
            open();
            const LocalRecord& r = local_[l];
            pushChange(conn, r.synced, r.placement, l);
            step(1);
        }
        for (int s : removed) {
            if (cancelled())
                break;
            open();
            Placement gone = state_.measurements[s].placement;
            gone.deleted = true;
            pushChange(conn, s, gone, -1);
            step(1);
        }
        if (tx) {
            tx->commit();
            tx.reset();
            inBatch = 0;
        }
        std::vector<std::pair<std::string, std::vector<int>>> groups(added.begin(), added.end());
        for (size_t at = 0; at < groups.size() && !cancelled(); at += kBulk) {
            const size_t end = std::min(groups.size(), at + kBulk);
            open();
            // What the archive has not seen goes in at once; the rest one
            // tester data at a time, to be matched with what is there.
            for (size_t g : pushNewInBulk(conn, groups, at, end)) {
                pushAdded(conn, groups[g].first, groups[g].second);
            }
            if (tx) {
                tx->commit();
                tx.reset();
            }
            int count = 0;
            for (size_t g = at; g < end; ++g)
                count += static_cast<int>(groups[g].second.size());
            done += count;
            progress(SyncStage::Pushing, done, total);
        }
        report_.cancelled = cancelled();
        if (tx)
            tx->commit();
        settlePending(conn);
    }

    Head lockedHead(PgConnection& conn, int64_t id) {
        const PgResult r =
            conn.exec(std::string("SELECT ") + kHeadColumns + kHeadJoin + " WHERE m.id = $1",
                      {PgValue::number(id)});
        if (r.rows() == 0)
            throw std::runtime_error("measurement " + std::to_string(id) +
                                     " is not in the archive");
        return headOf(r, 0);
    }

    int64_t insertVersion(PgConnection& conn, int64_t id, int64_t base, const Placement& p,
                          bool current) {
        const PgResult r = conn.exec(
            "INSERT INTO plm_version (measurement_id, base, customer, circuit, name, conditions, "
            "deleted, current, installation) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9) "
            "RETURNING seq",
            {PgValue::number(id), base ? PgValue::number(base) : PgValue::null(),
             PgValue::binary(p.customer), PgValue::binary(p.circuit), PgValue::binary(p.name),
             PgValue::binary(p.conditions), PgValue::text(p.deleted ? "t" : "f"),
             PgValue::text(current ? "t" : "f"), PgValue::text(setup_.installationId)});
        const int64_t seq = r.number(0, 0);
        if (current) {
            conn.exec("UPDATE plm_measurement SET head = $2 WHERE id = $1",
                      {PgValue::number(id), PgValue::number(seq)});
        }
        return seq;
    }

    void noteChange(SyncChange::Direction direction, const Placement& from, const Placement& to,
                    const std::string& tester) {
        SyncChange c;
        c.direction = direction;
        c.kind = to.deleted          ? SyncChange::Kind::Deleted
                 : noPlacement(from) ? SyncChange::Kind::Added
                                     : SyncChange::Kind::Changed;
        const Placement& shown = to.deleted ? from : to;
        c.customer = shown.customer;
        c.circuit = shown.circuit;
        c.name = shown.name;
        c.testDateTime = recordOfTesterBytes(tester).testDateTime;
        report_.changes.push_back(std::move(c));
    }

    // A conflict between this side's placement and the archive's head is
    // put to the decider only once the push's transaction is committed, so
    // no installation waits on a question; `settle` then writes the answer
    // against the head as it is by then. The archive keeps both versions.
    using Settle = std::function<void(PgConnection&, bool keepMine, const Head& head)>;
    struct Pending {
        SyncConflict conflict;
        int64_t id = 0;
        Placement mine;
        Settle settle;
    };

    void deferConflict(const Head& head, const Placement& mine, const std::string& tester,
                       Settle settle) {
        SyncConflict conflict;
        conflict.kind = conflictKind(mine, head.placement);
        conflict.customer = mine.customer;
        conflict.circuit = mine.circuit;
        conflict.name = mine.name;
        conflict.theirCustomer = head.placement.customer;
        conflict.theirCircuit = head.placement.circuit;
        conflict.theirName = head.placement.name;
        conflict.testDateTime = recordOfTesterBytes(tester).testDateTime;
        conflict.theirInstallation = support::fromUtf8(head.installation);
        if (options_.dryRun) {
            report_.conflicts.push_back(conflict);
            report_.decisions.push_back(ConflictDecision::KeepMine);
            return;
        }
        pending_.push_back({std::move(conflict), head.id, mine, std::move(settle)});
    }

    void settlePending(PgConnection& conn) {
        std::vector<ConflictDecision> decisions;
        for (const Pending& p : pending_) {
            decisions.push_back(options_.decide ? options_.decide(p.conflict)
                                                : ConflictDecision::KeepMine);
        }
        if (pending_.empty())
            return;
        PgTransaction tx(conn);
        conn.exec("SELECT pg_advisory_xact_lock($1)", {PgValue::number(kPushLock)});
        for (size_t i = 0; i < pending_.size(); ++i) {
            report_.conflicts.push_back(pending_[i].conflict);
            report_.decisions.push_back(decisions[i]);
            pending_[i].settle(conn, decisions[i] == ConflictDecision::KeepMine,
                               lockedHead(conn, pending_[i].id));
        }
        tx.commit();
        pending_.clear();
    }

    // Records in the state that this installation now has `seq` of `id`.
    int remember(int64_t id, int64_t seq, const std::string& key, const Placement& p) {
        auto it = byId_.find(id);
        if (it == byId_.end()) {
            state_.measurements.push_back({id, seq, key, p});
            it = byId_.emplace(id, static_cast<int>(state_.measurements.size() - 1)).first;
        } else {
            state_.measurements[it->second].version = seq;
            state_.measurements[it->second].placement = p;
        }
        return it->second;
    }

    // A measurement synced before whose placement changed here (local >= 0)
    // or that was deleted here (local < 0).
    void pushChange(PgConnection& conn, int s, const Placement& mine, int local) {
        SyncedMeasurement& known = state_.measurements[s];
        const Head head = lockedHead(conn, known.id);
        const std::string tester = local >= 0 ? local_[local].tester : testerOf(conn, known.id);
        const Placement before = known.placement;
        if (samePlacement(head.placement, mine)) {
            remember(known.id, head.seq, known.key, head.placement);
            return;
        }
        if (head.seq == known.version) {
            if (!options_.dryRun)
                remember(known.id, insertVersion(conn, known.id, head.seq, mine, true), known.key,
                         mine);
            noteChange(SyncChange::Direction::Push, before, mine, tester);
            return;
        }
        deferConflict(
            head, mine, tester,
            [this, s, mine, local, tester](PgConnection& c, bool keepMine, const Head& now) {
                SyncedMeasurement& entry = state_.measurements[s];
                if (samePlacement(now.placement, mine)) {
                    remember(entry.id, now.seq, entry.key, now.placement);
                    return;
                }
                if (keepMine) {
                    remember(entry.id, insertVersion(c, entry.id, now.seq, mine, true), entry.key,
                             mine);
                    return;
                }
                insertVersion(c, entry.id, now.seq, mine, false);
                remember(entry.id, now.seq, entry.key, now.placement);
                incoming_.push_back({local, entry.id, now.placement});
                if (local < 0)
                    testers_[entry.id] = tester;
            });
    }

    // New measurements here with one tester data: the same measurement when
    // the archive has it already (another installation registered it, or a
    // cut sync pushed it), else added with the next occurrence.
    void pushAdded(PgConnection& conn, const std::string& key, const std::vector<int>& locals) {
        const PgResult r = conn.exec(std::string("SELECT ") + kHeadColumns + kHeadJoin +
                                         " WHERE m.tester_key = $1 ORDER BY m.occurrence",
                                     {PgValue::binary(key)});
        std::vector<Head> free;
        int nextOccurrence = 0;
        for (int row = 0; row < r.rows(); ++row) {
            Head h = headOf(r, row);
            nextOccurrence = std::max(nextOccurrence, h.occurrence + 1);
            if (!byId_.count(h.id))
                free.push_back(std::move(h));
        }
        std::vector<int> unmatched;
        for (int l : locals) {
            const auto same = std::find_if(free.begin(), free.end(), [&](const Head& h) {
                return samePlacement(h.placement, local_[l].placement);
            });
            if (same == free.end()) {
                unmatched.push_back(l);
                continue;
            }
            local_[l].synced = remember(same->id, same->seq, key, same->placement);
            free.erase(same);
        }
        for (int l : unmatched) {
            LocalRecord& record = local_[l];
            if (!free.empty()) {
                const Head head = free.front();
                free.erase(free.begin());
                deferConflict(head, record.placement, record.tester,
                              [this, l, key](PgConnection& c, bool keepMine, const Head& now) {
                                  LocalRecord& mine = local_[l];
                                  if (samePlacement(now.placement, mine.placement)) {
                                      mine.synced = remember(now.id, now.seq, key, now.placement);
                                      return;
                                  }
                                  if (keepMine) {
                                      mine.synced = remember(
                                          now.id,
                                          insertVersion(c, now.id, now.seq, mine.placement, true),
                                          key, mine.placement);
                                      return;
                                  }
                                  insertVersion(c, now.id, now.seq, mine.placement, false);
                                  mine.synced = remember(now.id, now.seq, key, now.placement);
                                  incoming_.push_back({l, now.id, now.placement});
                              });
                continue;
            }
            noteChange(SyncChange::Direction::Push, {}, record.placement, record.tester);
            if (options_.dryRun)
                continue;
            const int64_t id =
                conn.exec(
                        "INSERT INTO plm_measurement (tester_key, occurrence, tester, head, "
                        "created_by) VALUES ($1, $2, $3, 0, $4) RETURNING id",
                        {PgValue::binary(key), PgValue::number(nextOccurrence++),
                         PgValue::binary(record.tester), PgValue::text(setup_.installationId)})
                    .number(0, 0);
            record.synced = remember(id, insertVersion(conn, id, 0, record.placement, true), key,
                                     record.placement);
        }
    }

    // Adds the groups at..end whose tester data the archive does not hold
    // yet, through COPY and two set statements; returns the others.
    std::vector<size_t> pushNewInBulk(
        PgConnection& conn, const std::vector<std::pair<std::string, std::vector<int>>>& groups,
        size_t at, size_t end) {
        std::string keys = "{";
        for (size_t g = at; g < end; ++g) {
            keys += g > at ? "," : "";
            for (unsigned char c : groups[g].first)
                keys += format("%02x", c);
        }
        keys += "}";
        const PgResult known = conn.exec(
            "SELECT DISTINCT encode(tester_key, 'hex') FROM plm_measurement WHERE tester_key IN "
            "(SELECT decode(k, 'hex') FROM unnest($1::text[]) k)",
            {PgValue::text(keys)});
        std::set<std::string> present;
        for (int row = 0; row < known.rows(); ++row)
            present.insert(hexDecoded("\\x" + known.text(row, 0)));
        std::vector<size_t> rest;
        std::string rows;
        std::vector<int> order;
        for (size_t g = at; g < end; ++g) {
            if (present.count(groups[g].first)) {
                rest.push_back(g);
                continue;
            }
            int occurrence = 0;
            for (int l : groups[g].second) {
                const LocalRecord& r = local_[l];
                noteChange(SyncChange::Direction::Push, {}, r.placement, r.tester);
                rows += std::to_string(order.size()) + "\t";
                appendCopyBytea(rows, r.key);
                rows += "\t" + std::to_string(occurrence++) + "\t";
                for (const std::string* v :
                     {&r.tester, &r.placement.customer, &r.placement.circuit, &r.placement.name}) {
                    appendCopyBytea(rows, *v);
                    rows += "\t";
                }
                appendCopyBytea(rows, r.placement.conditions);
                rows += "\n";
                order.push_back(l);
            }
        }
        if (order.empty() || options_.dryRun)
            return rest;
        conn.run(
            "CREATE TEMP TABLE IF NOT EXISTS plm_incoming (ord integer, key bytea, occurrence "
            "integer, tester bytea, customer bytea, circuit bytea, name bytea, conditions bytea) "
            "ON COMMIT DELETE ROWS");
        conn.copyIn("COPY plm_incoming FROM STDIN", rows);
        const PgResult made = conn.exec(
            "WITH m AS (INSERT INTO plm_measurement (tester_key, occurrence, tester, head, "
            "created_by) SELECT key, occurrence, tester, nextval('plm_change_seq'), $1 FROM "
            "plm_incoming ORDER BY ord RETURNING id, head, tester_key, occurrence), "
            "v AS (INSERT INTO plm_version (seq, measurement_id, customer, circuit, name, "
            "conditions, deleted, current, installation) SELECT m.head, m.id, i.customer, "
            "i.circuit, i.name, i.conditions, false, true, $1 FROM m JOIN plm_incoming i ON "
            "i.key = m.tester_key AND i.occurrence = m.occurrence) "
            "SELECT i.ord, m.id, m.head FROM m JOIN plm_incoming i ON i.key = m.tester_key AND "
            "i.occurrence = m.occurrence",
            {PgValue::text(setup_.installationId)});
        for (int row = 0; row < made.rows(); ++row) {
            LocalRecord& r = local_[order[static_cast<size_t>(made.number(row, 0))]];
            r.synced = remember(made.number(row, 1), made.number(row, 2), r.key, r.placement);
        }
        return rest;
    }

    std::string testerOf(PgConnection& conn, int64_t id) {
        return hexDecoded(
            conn.exec("SELECT tester FROM plm_measurement WHERE id = $1", {PgValue::number(id)})
                .text(0, 0));
    }

    // ---- pull ---------------------------------------------------------------

    void pull(PgConnection& conn) {
        std::vector<int> localOf(state_.measurements.size(), -1);
        for (size_t l = 0; l < local_.size(); ++l) {
            if (local_[l].synced >= 0) {
                if (static_cast<size_t>(local_[l].synced) >= localOf.size())
                    localOf.resize(local_[l].synced + 1, -1);
                localOf[local_[l].synced] = static_cast<int>(l);
            }
        }
        // One snapshot for measurements and limits: the change numbers up
        // to the cursor are then all read, of both kinds.
        PgTransaction tx(conn, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        int64_t cursor = state_.cursor;
        int done = 0;
        std::vector<int64_t> toFetch;
        for (;;) {
            const PgResult r = conn.exec(std::string("SELECT ") + kHeadColumns + kHeadJoin +
                                             " WHERE m.head > $1 ORDER BY m.head LIMIT 5000",
                                         {PgValue::number(cursor)});
            if (r.rows() == 0)
                break;
            for (int row = 0; row < r.rows(); ++row) {
                const Head head = headOf(r, row);
                cursor = head.seq;
                pullOne(head, localOf, toFetch);
            }
            done += r.rows();
            progress(SyncStage::Pulling, done, 0);
        }
        if (!options_.dryRun)
            fetchTesters(conn, toFetch);
        newCursor_ = std::max(cursor, limits_.pull(conn, state_.cursor));
        tx.commit();
    }

    void pullOne(const Head& head, std::vector<int>& localOf, std::vector<int64_t>& toFetch) {
        const auto it = byId_.find(head.id);
        if (it == byId_.end()) {
            remember(head.id, head.seq, head.key, head.placement);
            localOf.push_back(-1);
            if (!head.placement.deleted) {
                incoming_.push_back({-1, head.id, head.placement});
                toFetch.push_back(head.id);
                notePull({}, head.placement);
            }
            return;
        }
        SyncedMeasurement& known = state_.measurements[it->second];
        if (known.version == head.seq)
            return;
        const int local = it->second < static_cast<int>(localOf.size()) ? localOf[it->second] : -1;
        const Placement here =
            local >= 0 ? local_[local].placement : Placement{{}, {}, {}, {}, true};
        // Changed here and not pushed: the next push meets this version and
        // settles it then.
        if (!samePlacement(here, known.placement))
            return;
        const Placement before = known.placement;
        remember(head.id, head.seq, head.key, head.placement);
        if (samePlacement(here, head.placement))
            return;
        incoming_.push_back({local, head.id, head.placement});
        if (local < 0)
            toFetch.push_back(head.id);
        notePull(before, head.placement);
    }

    void notePull(const Placement& before, const Placement& after) {
        SyncChange c;
        c.direction = SyncChange::Direction::Pull;
        c.kind = after.deleted                           ? SyncChange::Kind::Deleted
                 : before.deleted || noPlacement(before) ? SyncChange::Kind::Added
                                                         : SyncChange::Kind::Changed;
        const Placement& shown = after.deleted ? before : after;
        c.customer = shown.customer;
        c.circuit = shown.circuit;
        c.name = shown.name;
        report_.changes.push_back(std::move(c));
    }

    void fetchTesters(PgConnection& conn, const std::vector<int64_t>& ids) {
        for (size_t at = 0; at < ids.size(); at += 1000) {
            std::string list = "{";
            for (size_t i = at; i < std::min(ids.size(), at + 1000); ++i)
                list += (i > at ? "," : "") + std::to_string(ids[i]);
            list += "}";
            // Binary results: the samples come as their bytes, the id as
            // eight bytes in network order.
            const PgResult r =
                conn.exec("SELECT id, tester FROM plm_measurement WHERE id = ANY($1::bigint[])",
                          {PgValue::text(list)}, true);
            for (int row = 0; row < r.rows(); ++row) {
                int64_t id = 0;
                for (unsigned char c : r.text(row, 0))
                    id = id << 8 | c;
                testers_[id] = r.text(row, 1);
            }
        }
    }

    // ---- the local file -------------------------------------------------------

    void writeLocal() {
        model::CustomerTree mine = tree_;
        std::set<NameRef> touched = changedHere_;
        const auto touch = [&](const Placement& p) {
            touched.insert({p.customer, p.circuit, p.name});
        };
        std::vector<model::MeasurementRecord> added;
        std::vector<Placement> addedAt;
        std::map<std::pair<model::MeasurementName*, int>, bool> removals;
        for (const Incoming& in : incoming_) {
            touch(in.placement);
            if (in.local >= 0) {
                const LocalRecord& r = local_[in.local];
                touch(r.placement);
                model::MeasurementName* owner = mirror(mine, r);
                model::MeasurementRecord& record = owner->records.at(r.index);
                if (in.placement.deleted) {
                    removals[{owner, r.index}] = true;
                } else if (model::sameName(r.placement.customer, in.placement.customer) &&
                           model::sameName(r.placement.circuit, in.placement.circuit) &&
                           model::sameName(r.placement.name, in.placement.name)) {
                    applyConditionsBytes(in.placement.conditions, record.cond);
                } else {
                    model::MeasurementRecord moved = record;
                    applyConditionsBytes(in.placement.conditions, moved.cond);
                    added.push_back(std::move(moved));
                    addedAt.push_back(in.placement);
                    removals[{owner, r.index}] = true;
                }
                owner->records.allowSharing();
            } else if (!in.placement.deleted) {
                model::MeasurementRecord record = recordOfTesterBytes(testers_.at(in.id));
                record.cond.devType = setup_.devType;
                applyConditionsBytes(in.placement.conditions, record.cond);
                added.push_back(std::move(record));
                addedAt.push_back(in.placement);
            }
        }
        std::set<model::MeasurementName*> emptied;
        for (auto it = removals.rbegin(); it != removals.rend(); ++it) {
            it->first.first->records.removeAt(it->first.second);
            emptied.insert(it->first.first);
        }
        for (size_t i = 0; i < added.size(); ++i) {
            const Placement& p = addedAt[i];
            findOrAddMeasurementName(mine, p.customer, p.circuit, p.name).records.add(added[i]);
        }
        for (const NameRef& ref : touched) {
            if (model::MeasurementName* name =
                    model::findMeasurementName(mine, ref.customer, ref.circuit, ref.name)) {
                putInSyncOrder(*name);
                emptied.insert(name);
            }
        }
        pruneEmptied(mine, emptied);
        if (!sameTree(mine, tree_)) {
            ReportCollector reporter;
            // A change made here meanwhile wins over the archive's: it is
            // pushed at the next sync.
            const auto keepTheirs = [](const model::ConflictQuestion&) {
                return model::ConflictChoice::KeepTheirs;
            };
            if (!file_.save(mine, reporter, keepTheirs))
                throw CxException(reporter.text);
        }
        limits_.writeLocal();
        state_.installationId = setup_.installationId;
        if (!report_.cancelled)
            state_.cursor = std::max(state_.cursor, newCursor_);
        state_.everSynced = true;
        state_.lastSync = support::nowLocal();
        saveSyncState(state_, setup_.stateFile);
    }

    // The node of `mine` (a copy of the tree read) that holds what `r` was read from.
    static model::MeasurementName* mirror(model::CustomerTree& mine, const LocalRecord& r) {
        return model::findMeasurementName(mine, r.placement.customer, r.placement.circuit,
                                          r.placement.name);
    }

    // Names the sync changed that hold no measurement any more go (the
    // archive keeps measurements, not empty names, so every installation
    // drops them alike), and so do the test circuits and customers left
    // empty by that.
    static void pruneEmptied(model::CustomerTree& tree,
                             const std::set<model::MeasurementName*>& emptied) {
        for (int c = tree.customers.count() - 1; c >= 0; --c) {
            model::Customer& customer = tree.customers.at(c);
            bool removedHere = false;
            for (int t = customer.circuits.count() - 1; t >= 0; --t) {
                model::TestCircuit& circuit = customer.circuits.at(t);
                bool removedName = false;
                for (int n = circuit.names.count() - 1; n >= 0; --n) {
                    model::MeasurementName& name = circuit.names.at(n);
                    if (emptied.count(&name) && name.records.empty()) {
                        circuit.names.removeAt(n);
                        removedName = true;
                    }
                }
                if (removedName && circuit.names.count() == 0) {
                    customer.circuits.removeAt(t);
                    removedHere = true;
                }
            }
            if (removedHere && customer.circuits.count() == 0)
                tree.customers.removeAt(c);
        }
    }

    const SyncSetup& setup_;
    const SyncOptions& options_;
    SyncReport report_;
    SyncState state_;
    model::SharedDataFile file_{setup_.dataFile, setup_.devType};
    model::CustomerTree tree_;
    std::vector<LocalRecord> local_;
    std::vector<int> paired_;
    std::unordered_map<int64_t, int> byId_;
    std::vector<Incoming> incoming_;
    std::set<NameRef> changedHere_;
    std::vector<Pending> pending_;
    LimitsSync limits_{setup_, options_, state_, report_};
    std::unordered_map<int64_t, std::string> testers_;
    int64_t newCursor_ = 0;
};

}  // namespace

int SyncReport::pushed() const {
    return static_cast<int>(std::count_if(changes.begin(), changes.end(), [](const SyncChange& c) {
        return c.direction == SyncChange::Direction::Push;
    }));
}

int SyncReport::pulled() const {
    return static_cast<int>(changes.size()) - pushed();
}

SyncReport sync(const SyncSetup& setup, const SyncOptions& options) {
    Sync run(setup, options);
    SyncReport report = run.run();
    return report;
}

}  // namespace plm::archive
