#pragma once
// Spawning: an aircraft in buffer that passed the spawn decision gets its livery, its birth
// phase and (on the ground) its stand, and waits as a creation; when the simulator announces
// the object it gets its object id, flight plan and static centre of gravity. Also the livery
// bookkeeping (memory per key, failed titles) and the removal of ghosts. Start-up thread.

#include <cstdint>
#include <optional>
#include <string_view>

#include "links/sim_events.hpp"
#include "records/aircraft.hpp"

namespace tamrix {

// buffer -> adding2sim.
void spawnLiveAc(LiveAircraft& aircraft);
// The title remembered for the key unless it failed since; the entry goes in any case.
std::optional<std::string_view> lf_takeRememberedLivery(uint32_t key);
// The simulator refused to create the aircraft: message, title and type remembered; the 20th
// failed title throws UserErrorException 81.
void gf_liveryFailed(const TrafficRecord& record);
// Sim event kind 0 for the aircraft; true when the event is to enter the settle list.
bool onLiveAcCreated(LiveAircraft& aircraft, const SimEvent& event);
void lf_assignFlightPlan(LiveAircraft& aircraft);
void lf_placeOnGround(LiveAircraft& aircraft);
// Removes the live aircraft reported under the callsign with '_' appended.
void lf_removeGhost(std::string_view callsign);

} // namespace tamrix
