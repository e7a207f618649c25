#include "model/tree_edit.h"

#include <optional>
#include <stdexcept>
#include <type_traits>

namespace plm::model {

namespace {

// Calls `edit` with the name collection of `level` under `parents`, once for
// every level, so each edit is written one way only. Returns `none` when a
// parent is missing.
template <class Tree, class Edit, class Result>
Result withLevel(Tree& tree, TreeLevel level, TreeParents parents, Result none, Edit edit) {
    if (level == TreeLevel::Customer)
        return edit(tree.customers);
    if (parents.customer < 0)
        return none;
    auto& customer = tree.customers.at(parents.customer);
    if (level == TreeLevel::Circuit)
        return edit(customer.circuits);
    if (parents.circuit < 0)
        return none;
    return edit(customer.circuits.at(parents.circuit).names);
}

template <class Collection>
std::vector<std::string> namesOf(const Collection& collection) {
    std::vector<std::string> names;
    names.reserve(collection.count());
    for (const auto& child : collection)
        names.push_back(child.name);
    return names;
}

std::invalid_argument missingParent() {
    return std::invalid_argument("tree edit without its parent");
}

}  // namespace

std::vector<std::string> namesAt(const CustomerTree& tree, TreeLevel level, TreeParents parents) {
    return withLevel(tree, level, parents, std::vector<std::string>{},
                     [](const auto& names) { return namesOf(names); });
}

bool nameExists(const CustomerTree& tree, TreeLevel level, TreeParents parents,
                const std::string& name) {
    return withLevel(tree, level, parents, false,
                     [&name](const auto& names) { return names.find(name) >= 0; });
}

int addName(CustomerTree& tree, TreeLevel level, TreeParents parents, const std::string& name) {
    const int position =
        withLevel(tree, level, parents, -1, [&name](auto& names) { return names.findOrAdd(name); });
    if (position < 0)
        throw missingParent();
    return position;
}

void removeName(CustomerTree& tree, TreeLevel level, TreeParents parents, int position) {
    const bool removed = withLevel(tree, level, parents, false, [position](auto& names) {
        names.removeAt(position);
        return true;
    });
    if (!removed)
        throw missingParent();
}

int renameName(CustomerTree& tree, TreeLevel level, TreeParents parents, int position,
               const std::string& newName, const std::string& levelLabel) {
    const int renamed = withLevel(tree, level, parents, -1, [&](auto& names) {
        return names.rename(position, newName, levelLabel);
    });
    if (renamed < 0)
        throw missingParent();
    return renamed;
}

TakenName takeName(CustomerTree& tree, TreeLevel level, TreeParents parents, int position) {
    std::optional<TakenName> taken;
    withLevel(tree, level, parents, false, [&](auto& names) {
        auto& node = names.at(position);
        taken.emplace(std::move(node));
        names.removeAt(position);
        return true;
    });
    if (!taken)
        throw missingParent();
    return std::move(*taken);
}

int putName(CustomerTree& tree, TreeLevel level, TreeParents parents, TakenName&& taken) {
    const int position = withLevel(tree, level, parents, -1, [&taken](auto& names) {
        using Node = std::decay_t<decltype(names.at(0))>;
        return names.insertNode(std::get<Node>(std::move(taken)));
    });
    if (position < 0)
        throw missingParent();
    return position;
}

std::vector<MeasurementRecord> removeRecords(MeasurementName& node, const std::vector<int>& rows) {
    std::vector<MeasurementRecord> removed(rows.size());
    for (size_t i = rows.size(); i-- > 0;) {
        removed[i] = std::move(node.records.at(rows[i]));
        node.records.removeAt(rows[i]);
    }
    return removed;
}

std::vector<int> moveRecords(MeasurementName& source, const std::vector<int>& rows,
                             MeasurementName& target) {
    // All moved records leave the source before any is added: when the target
    // is the source itself, adding first would shift the positions still to
    // be removed and delete the wrong measurements.
    std::vector<MeasurementRecord> moving;
    moving.reserve(rows.size());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        moving.push_back(std::move(source.records.at(*it)));
        source.records.removeAt(*it);
    }
    std::vector<int> origin(size_t(target.records.count()), -1);
    for (size_t i = 0; i < moving.size(); ++i) {
        const int position = target.records.add(std::move(moving[i]));
        origin.insert(origin.begin() + position, rows[rows.size() - 1 - i]);
    }
    target.records.renumber();
    source.records.renumber();
    return origin;
}

}  // namespace plm::model
