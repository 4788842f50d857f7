#pragma once
// Parking of live aircraft on the park airport's stands: who gets a stand when a taxiing
// aircraft stops near it or an aircraft is first seen standing on it, and who makes way - a
// parked live aircraft, its ghost, a neighbour reaching into the stand, or a static aircraft.

#include <cstdint>
#include <string>
#include <string_view>

#include "records/aircraft.hpp"
#include "records/stand_record.hpp"

namespace tamrix {

// The name of the stand the user holds at the park airport (empty for none); the airport side,
// which keeps the park airports and their reserved stands, installs the source at start-up.
using ReservedStandName = std::string (*)();
void gf_setReservedStandNameSource(ReservedStandName source);
// The reserved stand's name through that source; empty while none is installed.
std::string gf_reservedStandNameFromSource();

// A taxiing aircraft that has stopped (touchedDown: it is being carried on by synthetic samples
// after touchdown) looks for a stand at its last sample and is driven onto it.
void try2Park(LiveAircraft& ac, bool touchedDown);
// The stand an aircraft first seen on the ground stands on; none when there is none or it is
// held (then the aircraft's erase flag is set). An aircraft already marked for erasure gets none
// and changes nothing.
// (Declared in traffic/movement.hpp as well.)
StandRecord* lf_standAtBirth(LiveAircraft& ac);
// Whether a live aircraft with this callsign, last reported at `seenAt` (feed time, seconds), may
// take stand `sid`; may remove the holder.
bool lf_standFreeForCallsign(int32_t sid, std::string_view callsign, double seenAt);
// Whether the aircraft on adjacent stand `adjacentSid` leaves room for `ac` on `stand`.
bool lf_adjacentStandFree(int32_t adjacentSid, const LiveAircraft& ac, const StandRecord& stand);
// Removes a live aircraft parked on adjacent stand `adjacentSid` that would collide.
void lf_clearAdjacentStand(int32_t adjacentSid, const LiveAircraft& ac, const StandRecord& stand);
// Static aircraft on the stand (and colliding ones on adjacent stands) make way for `ac`.
void lf_makeWayOnStand(const LiveAircraft& ac, const StandRecord& stand);
void lf_makeWayAtAdjacentStand(const LiveAircraft& ac, int32_t adjacentSid, const StandRecord& stand);

} // namespace tamrix
