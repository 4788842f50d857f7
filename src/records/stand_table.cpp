#include "records/stand_table.hpp"

#include <algorithm>
#include <atomic>

namespace tamrix {

std::vector<StandRecord> gStandTable;

namespace {
std::atomic<uint32_t> gGeneration{0};
} // namespace

std::mutex& gf_standTableLock() {
    static std::mutex lock;
    return lock;
}

uint32_t gf_standTableGeneration() { return gGeneration.load(); }

void gf_standTableChanged() { gGeneration.fetch_add(1); }

void gf_reserveStandTable() {
    std::lock_guard guard(gf_standTableLock());
    if (gStandTable.capacity() < 512) gStandTable.reserve(512);
}

void gf_clearStandTable() {
    std::lock_guard guard(gf_standTableLock());
    gStandTable.clear();
    gf_standTableChanged();
}

StandRecord* gf_findStand(int32_t sid) {
    if (sid < 1) return nullptr;
    auto it = std::lower_bound(gStandTable.begin(), gStandTable.end(), sid,
                               [](const StandRecord& s, int32_t id) { return static_cast<int32_t>(s.standId) < id; });
    if (it == gStandTable.end() || static_cast<int32_t>(it->standId) != sid) return nullptr;
    return &*it;
}

std::string gf_standNameOfSid(int32_t sid) {
    if (sid == 0) return "sid==0?";
    const StandRecord* stand = gf_findStand(sid);
    return stand != nullptr ? stand->id : std::string("sid==?");
}

uint32_t gLearnedUpdateCount = 0;

void gf_countLearnedUpdate() { ++gLearnedUpdateCount; }

void gf_setStandOccupied(int32_t sid, bool value) {
    if (StandRecord* stand = gf_findStand(sid)) stand->liveOccupied = value ? 1 : 0;
}

} // namespace tamrix
