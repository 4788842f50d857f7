#pragma once
// Live traffic: every aircraft that RealTraffic reports becomes a LiveAircraft that is created
// in the simulator and replays its reported track 30 seconds behind. One call of
// lf_handleAddingStack is one 10 ms tick of the main loop on the start-up thread: it drains the
// simulator's events, updates every aircraft, hands the positions to the SimClient thread,
// paces creations and removals, takes new traffic lines and makes one creation record.
//
// Everything here belongs to the start-up thread; aircraft are named across ticks by key or
// object id, never by pointer.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/traffic_line.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/aircraft.hpp"

namespace tamrix {

// Ticks of the settling delay after the simulator announced an object.
inline constexpr uint32_t kSettleTicks = 200;
// At most this many samples wait per aircraft; more remove it.
inline constexpr std::size_t kMaxWaitingSamples = 200;
// Creations waiting in the live adding stack from which newborn aircraft are held back.
inline constexpr std::size_t kAddingStackGate = 11;
// Ticks a sent creation may wait for the simulator's announcement; then the aircraft is given up.
// A little longer than the simulator side waits for the object, which tells the aircraft first.
inline constexpr int64_t kCreationAnswerTicks = kPendingCreationMaxAge.count() * 100 + 500;
// The failed-titles count that ends the run.
inline constexpr std::size_t kMaxFailedTitles = 20;

// Containers of live traffic (start-up thread).
extern std::vector<LiveAircraft> gLiveAircraft;
extern std::vector<StaticAircraft> gStaticAircraft;
extern std::deque<AiCreateRequest> gLiveAddingStack;
extern std::deque<AiCreateRequest> gStaticAddingStack;
extern std::deque<uint32_t> gRemovalQueue;        // object ids waiting for pacing
extern std::vector<uint32_t> gSpawnStack;         // keys accepted by spawnLiveAc; taken from the back
extern std::vector<SimEvent> gSettleList;         // created objects waiting out their settling
extern std::vector<uint32_t> gCallsignMatchKeys;  // keys the per-second work matches against learned stand options
extern std::vector<std::string> gGhostList;       // callsigns ending in '_' removed as ghosts
// The livery chosen per aircraft key, taken again by a later spawn of the same key.
extern std::unordered_map<uint32_t, std::string_view> gLiveryMemory;
// gf_keyRegText of aircraft without a usable livery; newcomers with the same text are erased.
extern std::unordered_set<std::string> gFailedKeyTexts;

// The current tick count (the live-traffic tick counter).
int64_t gf_tickCount();
// The user aircraft as this tick sees it (the copy refreshed every 100th tick and the on-ground flag).
const UserPositionRecord& gf_userCopy();
// Takes the user aircraft's record anew (done at the start of every tick).
void gf_refreshUserCopy();

// Reserves the containers once per process (later calls change nothing).
void gf_initLiveTraffic();
// The reset before a restart in the same process: every container, list and memory of live
// traffic empty, the tick counter 0, QNH 1013, the stand table empty, the airport side's static
// parking state reset through its hook.
void gf_resetLiveTraffic();

// One live-traffic tick.
void lf_handleAddingStack();
// Drains the simulator's events and runs the settling (first step of a tick; also every tick
// while the simulator is not running).
void gf_processSimEvents();
void lf_settleCreated();
void lf_pace();
void lf_requestAcInRange();

// Removes the creation of that key from an adding stack (order of the others kept); true when
// one was found.
bool gf_eraseFromAddingStack(std::deque<AiCreateRequest>& stack, uint32_t key);
// Erases the live aircraft at that index: the last record moves into its place.
void gf_eraseLiveAc(std::size_t index);
void gf_eraseStaticAc(std::size_t index);

// Look-ups by key and object id; -1 when none.
std::ptrdiff_t gf_findLiveByKey(uint32_t key);
std::ptrdiff_t gf_findLiveByObjectId(uint32_t objectId);
std::ptrdiff_t gf_findStaticByKey(uint32_t key);
std::ptrdiff_t gf_findStaticByObjectId(uint32_t objectId);

// Traffic lines the tick takes: 2, more while a backlog waits, so that no line waits in the
// intake queue for long (its sample falls due 30 s after arrival).
std::size_t gf_trafficLinesToTake(std::size_t queued);

} // namespace tamrix
