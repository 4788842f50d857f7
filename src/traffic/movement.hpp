#pragma once
// The movement of live aircraft as the update step calls it: the air movement along the
// samples, take-off and landing, the ground movement and parking (air_movement.cpp,
// takeoff_landing.cpp, ground_movement.cpp, parking.cpp).
//
// Start-up thread only.

#include <cstdint>

#include "records/aircraft.hpp"
#include "records/stand_record.hpp"

namespace tamrix {

// The oldest sample fell due: move on to it (position, heading, phase).
void nextPosMain(LiveAircraft& aircraft);
// The per-tick step between samples (attitude, altitude, heading towards the target).
void lf_integrateTick(LiveAircraft& aircraft);
// The stand an aircraft first seen on the ground stands on; null for none. May set the
// aircraft's erase flag when the stand is not free for it.
StandRecord* lf_standAtBirth(LiveAircraft& aircraft);

// The position block of a new aircraft from its oldest sample, its key on the callsign-matching
// list. With one sample the heading is the sample's track.
void lf_positionAtSpawn(LiveAircraft& aircraft);
// Whether the aircraft lies in the user aircraft's track (mode 0: 4 NM, 1000 ft, 700 ft off;
// mode 1: 6 NM, 3000 ft, 4000 ft off) and moves away ahead of it; the test alone.
bool lf_isOnUserTrack(const LiveAircraft& aircraft, int32_t mode);
// lf_isOnUserTrack, and when true the aircraft is removed.
bool lf_removeOnUserTrack(LiveAircraft& aircraft, int32_t mode);
// A heading in radians brought into [0, 2 pi).
double gf_wrapHeading(double radians);

} // namespace tamrix
