#include "archive/local_records.h"

#include <unordered_map>

#include "archive/record_codec.h"
#include "archive/sha256.h"
#include "model/name_compare.h"

namespace plm::archive {

std::vector<LocalRecord> localRecords(const model::CustomerTree& tree) {
    std::vector<LocalRecord> out;
    for (const model::Customer& customer : tree.customers) {
        for (const model::TestCircuit& circuit : customer.circuits) {
            for (const model::MeasurementName& name : circuit.names) {
                const model::RecordList& records = name.records;
                for (int i = 0; i < records.count(); ++i) {
                    LocalRecord r;
                    r.owner = &name;
                    r.index = i;
                    r.tester = testerBytes(records.at(i));
                    r.key = sha256(r.tester);
                    r.placement = {customer.name, circuit.name, name.name,
                                   conditionsBytes(records.at(i).cond), false};
                    out.push_back(std::move(r));
                }
            }
        }
    }
    return out;
}

bool samePlacement(const Placement& a, const Placement& b) {
    if (a.deleted || b.deleted)
        return a.deleted == b.deleted;
    return model::sameName(a.customer, b.customer) && model::sameName(a.circuit, b.circuit) &&
           model::sameName(a.name, b.name) && a.conditions == b.conditions;
}

bool noPlacement(const Placement& p) {
    return !p.deleted && p.customer.empty() && p.circuit.empty() && p.name.empty() &&
           p.conditions.empty();
}

std::vector<int> pairWithState(std::vector<LocalRecord>& local, const SyncState& state) {
    std::unordered_map<std::string, std::vector<int>> byKey;
    for (size_t i = 0; i < state.measurements.size(); ++i)
        byKey[state.measurements[i].key].push_back(static_cast<int>(i));
    std::vector<int> paired(state.measurements.size(), -1);
    // A record takes a known measurement of its key that has not moved,
    // then one that lives, and only once those are taken a deleted one.
    enum class Take { Unchanged, Living, Any };
    const auto pairPass = [&](Take take) {
        for (size_t l = 0; l < local.size(); ++l) {
            LocalRecord& record = local[l];
            if (record.synced >= 0)
                continue;
            const auto it = byKey.find(record.key);
            if (it == byKey.end())
                continue;
            for (int s : it->second) {
                if (paired[s] >= 0)
                    continue;
                const Placement& known = state.measurements[s].placement;
                if (take == Take::Unchanged && !samePlacement(known, record.placement))
                    continue;
                if (take == Take::Living && known.deleted)
                    continue;
                paired[s] = static_cast<int>(l);
                record.synced = s;
                break;
            }
        }
    };
    pairPass(Take::Unchanged);
    pairPass(Take::Living);
    pairPass(Take::Any);
    return paired;
}

}  // namespace plm::archive
