#include "records/stand_table.hpp"

#include <algorithm>

namespace tamrix {

std::vector<StandRecord> gStandTable;

void gf_reserveStandTable() {
    if (gStandTable.capacity() < 512) gStandTable.reserve(512);
}

void gf_clearStandTable() { gStandTable.clear(); }

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
