#include "archive/sync_state.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "archive/record_codec.h"
#include "support/staged_file.h"

namespace plm::archive {
namespace {

constexpr std::string_view kSignature = "PLMVIEW-ARCHIVE-STATE-1\n";

}  // namespace

SyncState loadSyncState(const std::string& fsPath) {
    SyncState state;
    std::ifstream file(fsPath, std::ios::binary);
    if (!file)
        return state;
    std::ostringstream text;
    text << file.rdbuf();
    const std::string bytes = text.str();
    try {
        ByteReader in(bytes);
        if (in.raw(kSignature.size()) != kSignature)
            throw std::runtime_error("bad signature");
        state.installationId = in.bytes();
        state.archiveId = in.bytes();
        state.cursor = in.i64();
        state.everSynced = in.u8() != 0;
        state.lastSync.value = in.f64();
        state.lastSync.status = static_cast<support::DateStatus>(in.i32());
        const int64_t count = in.i64();
        if (count < 0 || static_cast<uint64_t>(count) > bytes.size())
            throw std::runtime_error("bad count");
        state.measurements.reserve(static_cast<size_t>(count));
        for (int64_t i = 0; i < count; ++i) {
            SyncedMeasurement m;
            m.id = in.i64();
            m.version = in.i64();
            m.key = in.bytes();
            m.placement.customer = in.bytes();
            m.placement.circuit = in.bytes();
            m.placement.name = in.bytes();
            m.placement.conditions = in.bytes();
            m.placement.deleted = in.u8() != 0;
            state.measurements.push_back(std::move(m));
        }
        const int64_t limits = in.i64();
        if (limits < 0 || static_cast<uint64_t>(limits) > bytes.size())
            throw std::runtime_error("bad count");
        for (int64_t i = 0; i < limits; ++i) {
            SyncedLimits l;
            l.target = in.bytes();
            l.version = in.i64();
            l.section = in.bytes();
            state.limits.push_back(std::move(l));
        }
        if (!in.atEnd())
            throw std::runtime_error("bytes after the end");
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("the archive sync state " + fsPath + " is damaged (" + e.what() +
                                 ")");
    }
    return state;
}

void saveSyncState(const SyncState& state, const std::string& fsPath) {
    ByteWriter out;
    out.raw(kSignature);
    out.bytes(state.installationId);
    out.bytes(state.archiveId);
    out.i64(state.cursor);
    out.u8(state.everSynced ? 1 : 0);
    out.f64(state.lastSync.value);
    out.i32(static_cast<int32_t>(state.lastSync.status));
    out.i64(static_cast<int64_t>(state.measurements.size()));
    for (const SyncedMeasurement& m : state.measurements) {
        out.i64(m.id);
        out.i64(m.version);
        out.bytes(m.key);
        out.bytes(m.placement.customer);
        out.bytes(m.placement.circuit);
        out.bytes(m.placement.name);
        out.bytes(m.placement.conditions);
        out.u8(m.placement.deleted ? 1 : 0);
    }
    out.i64(static_cast<int64_t>(state.limits.size()));
    for (const SyncedLimits& l : state.limits) {
        out.bytes(l.target);
        out.i64(l.version);
        out.bytes(l.section);
    }
    std::filesystem::create_directories(std::filesystem::path(fsPath).parent_path());
    support::writeStagedFile(fsPath, out.out(), true);
}

}  // namespace plm::archive
