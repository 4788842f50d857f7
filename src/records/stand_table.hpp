#pragma once
// The stand table: the stands of the park airport, one process-wide vector owned by the
// start-up thread. Its stands carry the ids 1 .. n in table order, so a lookup by stand id is
// a binary search. The airport side fills and empties it; live traffic and static parking read
// it and mark stands.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "records/stand_record.hpp"

namespace tamrix {

extern std::vector<StandRecord> gStandTable;

// The SimClient thread asks for the stand at the user aircraft's position while the start-up
// thread owns the table. So every change of the table's shape (append, clear, replace) happens
// under this lock and starts a new generation; the start-up thread reads and marks stands
// without it, and the other thread reads under it.
std::mutex& gf_standTableLock();
// The table's generation: an answer cached about the table holds only while it stays the same.
uint32_t gf_standTableGeneration();
// Starts a new generation after a change of shape made by the caller under the lock.
void gf_standTableChanged();

// Room for 512 stands (once per process; later calls change nothing).
void gf_reserveStandTable();
// Destroys every stand (under the lock, starting a new generation); the reserved room stays.
void gf_clearStandTable();
// The stand with that id, or null for 0, a negative id or an id no stand has.
StandRecord* gf_findStand(int32_t sid);
// The stand's id text; "sid==0?" for 0, "sid==?" for a negative id or one no stand has.
std::string gf_standNameOfSid(int32_t sid);
// Learned changes of the park airport's stands since its file was last saved.
extern uint32_t gLearnedUpdateCount;
void gf_countLearnedUpdate();
// Sets or clears the stand's live-occupied mark; ids below 1 or not in the table are ignored.
void gf_setStandOccupied(int32_t sid, bool value);

} // namespace tamrix
