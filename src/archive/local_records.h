#pragma once

#include <string>
#include <vector>

#include "archive/sync_state.h"
#include "model/customer_tree.h"

// The measurements of a data file as a sync sees them, and which of them
// are the measurements the sync state knows.
namespace plm::archive {

struct LocalRecord {
    const model::MeasurementName* owner = nullptr;
    int index = 0;       // in owner->records when the tree was read
    std::string tester;  // testerBytes
    std::string key;     // sha256(tester)
    Placement placement;
    int synced = -1;  // index into SyncState::measurements, or -1: new here
};

// Every measurement of `tree`, in tree order.
std::vector<LocalRecord> localRecords(const model::CustomerTree& tree);

// Same place (names compared as the tree compares them) and conditions, or
// both deleted.
bool samePlacement(const Placement& a, const Placement& b);

// No placement at all: a measurement this installation did not have.
bool noPlacement(const Placement& p);

// Pairs local records with the synced measurements of the same tester data:
// first those whose place and conditions are still what was synced, then
// the rest in order. Sets LocalRecord::synced; returns, per synced
// measurement, the local record paired with it or -1.
std::vector<int> pairWithState(std::vector<LocalRecord>& local, const SyncState& state);

}  // namespace plm::archive
