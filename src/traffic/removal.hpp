#pragma once
// Taking aircraft out of the simulator and out of the lists, and keeping the user aircraft
// clear. removeAircraftFromSim is the one way out for a live or static aircraft, whatever its
// state; the record goes when the simulator reports the object removed (gf_removeFlightPlan).
// Start-up thread.

#include <cstdint>

#include "records/aircraft.hpp"

namespace tamrix {

// For a live or a static aircraft (told apart by key).
void removeAircraftFromSim(StaticAircraft& aircraft);
// The simulator removed the object (sim event kind 2).
void gf_removeFlightPlan(uint32_t objectId);
// Frees room for a newcomer d NM from the user (d negative: any) by removing the farthest active
// live aircraft beyond d + 0.1 NM; true when nothing was removed.
bool gf_removeFarthestLiveAc(double d);
// Once per simulator second while the user aircraft is airborne and COLLISION_USER_AIR is on.
void gf_removeLiveAcOnUserPath();
// Once per simulator second while the user aircraft is on the ground and COLLISION_USER_GND is on.
void gf_removeAcAroundUser();
// A static aircraft that a live aircraft on the ground runs into is removed.
void gf_removeStaticNearLiveAc(LiveAircraft& aircraft);
// Releases the live aircraft's claim on its stand (the live-occupied mark), when it holds one.
void lf_releaseStand(LiveAircraft& aircraft);
// Marks the aircraft's stand live-occupied and remembers that this aircraft set the mark.
void lf_claimStand(LiveAircraft& aircraft);
// A livery respawn whose object is gone: the aircraft waits in buffer to be created anew, as
// one that has never been sent (no object, no flight plan, no creation under way).
void lf_backToBuffer(LiveAircraft& aircraft);
// The reset before a restart: the user position of the last static check is forgotten.
void gf_resetRemovalState();

} // namespace tamrix
