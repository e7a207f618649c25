#include "archive/limits_sync.h"

#include <algorithm>
#include <map>

#include "analysis/limits_file.h"
#include "archive/archive_schema.h"
#include "archive/record_codec.h"
#include "support/text_codec.h"

namespace plm::archive {
namespace {

std::string targetKey(const analysis::LimitsTarget& t) {
    ByteWriter out;
    out.bytes(t.customer);
    out.bytes(t.circuit);
    out.u8(t.name ? 1 : 0);
    out.bytes(t.name.value_or(""));
    if (t.model) {
        out.u8(1);
        out.bytes(t.model->maker);
        out.bytes(t.model->model);
    }
    return std::move(out.out());
}

analysis::LimitsTarget targetOf(const std::string& key) {
    ByteReader in(key);
    analysis::LimitsTarget t;
    t.customer = in.bytes();
    t.circuit = in.bytes();
    const bool named = in.u8() != 0;
    const std::string name = in.bytes();
    if (named)
        t.name = name;
    if (!in.atEnd() && in.u8() != 0) {
        analysis::BreakerModel model;
        model.maker = in.bytes();
        model.model = in.bytes();
        t.model = std::move(model);
    }
    return t;
}

// The entry as a limits file of its own; no text for an entry without values.
std::string sectionOf(const analysis::LimitsEntry& entry) {
    if (entry.limits.empty() && !entry.reference && !entry.intervalMonths)
        return {};
    analysis::LimitsBook one;
    one.entry(entry.target) = entry;
    return one.bytes();
}

std::string byteaText(const PgResult& r, int row, int column) {
    if (r.isNull(row, column))
        return {};
    const std::string text = r.text(row, column);
    std::string out;
    for (size_t i = 2; i + 1 < text.size(); i += 2)
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

}  // namespace

LimitsSync::LimitsSync(const SyncSetup& setup, const SyncOptions& options, SyncState& state,
                       SyncReport& report)
    : setup_(setup), options_(options), state_(state), report_(report) {}

void LimitsSync::readLocal() {
    if (setup_.limitsFile.empty())
        return;
    const analysis::LimitsBook book =
        analysis::loadLimits(setup_.limitsFile, analysis::DamagedSections::StopTheirTarget);
    for (const analysis::LimitsEntry& entry : book.entries())
        local_.push_back({targetKey(entry.target), sectionOf(entry)});
    // An entry synced before and gone from the file now is a removal here.
    for (const SyncedLimits& known : state_.limits) {
        const bool present = std::any_of(local_.begin(), local_.end(),
                                         [&](const Local& l) { return l.target == known.target; });
        if (!present)
            local_.push_back({known.target, {}});
    }
}

int LimitsSync::stateOf(const std::string& target) {
    for (size_t i = 0; i < state_.limits.size(); ++i) {
        if (state_.limits[i].target == target)
            return static_cast<int>(i);
    }
    state_.limits.push_back({target, 0, {}});
    return static_cast<int>(state_.limits.size() - 1);
}

void LimitsSync::push(PgConnection& conn) {
    if (setup_.limitsFile.empty())
        return;
    for (const Local& mine : local_) {
        const int s = stateOf(mine.target);
        if (state_.limits[s].section == mine.section && state_.limits[s].version != 0)
            continue;
        if (state_.limits[s].version == 0 && mine.section.empty())
            continue;
        settle(conn, mine, s);
    }
}

LimitsSync::Head LimitsSync::readHead(PgConnection& conn, const std::string& target) {
    const PgResult r = conn.exec(
        "SELECT e.head, v.section, i.name FROM plm_limits_entry e JOIN plm_limits_version v ON "
        "v.seq = e.head JOIN plm_installation i ON i.id = v.installation WHERE e.target = $1",
        {PgValue::binary(target)});
    if (r.rows() == 0)
        return {};
    return {true, r.number(0, 0), byteaText(r, 0, 1), support::fromUtf8(r.text(0, 2))};
}

void LimitsSync::settle(PgConnection& conn, const Local& mine, int s) {
    const analysis::LimitsTarget target = targetOf(mine.target);
    // The question, if any, is asked with no transaction open; the answer is
    // written only against the head it was asked about, else asked again.
    for (;;) {
        const Head head = readHead(conn, mine.target);
        SyncedLimits& known = state_.limits[s];
        if (head.exists && head.section == mine.section) {
            known = {mine.target, head.seq, head.section};
            return;
        }
        const bool conflicting = head.exists && head.seq != known.version;
        bool current = true;
        SyncConflict conflict;
        ConflictDecision decision = ConflictDecision::KeepMine;
        if (conflicting) {
            conflict.kind = SyncConflict::Kind::LimitsOnBothSides;
            conflict.customer = conflict.theirCustomer = target.customer;
            conflict.circuit = conflict.theirCircuit = target.circuit;
            conflict.name = conflict.theirName = target.name.value_or("");
            conflict.theirInstallation = head.installation;
            if (options_.decide && !options_.dryRun)
                decision = options_.decide(conflict);
            current = decision == ConflictDecision::KeepMine;
        }
        if (!options_.dryRun) {
            PgTransaction tx(conn);
            conn.exec("SELECT pg_advisory_xact_lock($1)", {PgValue::number(kPushLock)});
            if (readHead(conn, mine.target).seq != head.seq)
                continue;
            if (!head.exists) {
                conn.exec("INSERT INTO plm_limits_entry (target, head) VALUES ($1, 0)",
                          {PgValue::binary(mine.target)});
            }
            const int64_t seq =
                conn.exec(
                        "INSERT INTO plm_limits_version (target, base, section, current, "
                        "installation) VALUES ($1, $2, $3, $4, $5) RETURNING seq",
                        {PgValue::binary(mine.target),
                         head.seq ? PgValue::number(head.seq) : PgValue::null(),
                         mine.section.empty() ? PgValue::null() : PgValue::binary(mine.section),
                         PgValue::text(current ? "t" : "f"), PgValue::text(setup_.installationId)})
                    .number(0, 0);
            if (current) {
                conn.exec("UPDATE plm_limits_entry SET head = $2 WHERE target = $1",
                          {PgValue::binary(mine.target), PgValue::number(seq)});
                known = {mine.target, seq, mine.section};
            } else {
                known = {mine.target, head.seq, head.section};
                incoming_.push_back({mine.target, head.section});
            }
            tx.commit();
        }
        if (conflicting) {
            report_.conflicts.push_back(conflict);
            report_.decisions.push_back(decision);
        } else {
            SyncChange change;
            change.kind = SyncChange::Kind::Limits;
            change.customer = target.customer;
            change.circuit = target.circuit;
            change.name = target.name.value_or("");
            report_.changes.push_back(change);
        }
        return;
    }
}

int64_t LimitsSync::pull(PgConnection& conn, int64_t cursor) {
    const PgResult r = conn.exec(
        "SELECT e.target, e.head, v.section FROM plm_limits_entry e JOIN plm_limits_version v "
        "ON v.seq = e.head WHERE e.head > $1 ORDER BY e.head",
        {PgValue::number(cursor)});
    std::map<std::string, std::string> here;
    for (const Local& l : local_)
        here[l.target] = l.section;
    for (int row = 0; row < r.rows(); ++row) {
        const std::string target = byteaText(r, row, 0);
        const int64_t seq = r.number(row, 1);
        const std::string section = byteaText(r, row, 2);
        cursor = std::max(cursor, seq);
        const int s = stateOf(target);
        SyncedLimits& known = state_.limits[s];
        if (known.version == seq)
            continue;
        // Changed here and not pushed: the next push settles it.
        if (here[target] != known.section)
            continue;
        known = {target, seq, section};
        if (here[target] == section)
            continue;
        incoming_.push_back({target, section});
        const analysis::LimitsTarget t = targetOf(target);
        SyncChange change;
        change.direction = SyncChange::Direction::Pull;
        change.kind = SyncChange::Kind::Limits;
        change.customer = t.customer;
        change.circuit = t.circuit;
        change.name = t.name.value_or("");
        report_.changes.push_back(change);
    }
    return cursor;
}

void LimitsSync::writeLocal() {
    if (incoming_.empty() || setup_.limitsFile.empty())
        return;
    analysis::updateLimits(setup_.limitsFile, [this](analysis::LimitsBook& book) {
        for (const Local& in : incoming_) {
            const analysis::LimitsTarget target = targetOf(in.target);
            if (in.section.empty()) {
                if (book.find(target))
                    book.entry(target) =
                        analysis::LimitsEntry{target, {}, std::nullopt, std::nullopt};
                continue;
            }
            const analysis::LimitsBook theirs = analysis::LimitsBook::parse(in.section, "archive");
            book.merge(theirs);
        }
    });
}

}  // namespace plm::archive
