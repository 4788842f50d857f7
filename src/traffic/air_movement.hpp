#pragma once
// Movement of a live aircraft along its reported samples. Every sample falls due at a tick; when
// the oldest sample of an active aircraft falls due, nextPosMain computes the per-tick steps
// (position, heading, altitude, pitch, bank) that carry the aircraft to the next sample, and
// keeps the aircraft going on its own for a while when the feed falls silent. Every tick between
// samples the integrator applies the steps. Take-off and landing and the ground movement plug
// into these two calls.

#include <cstdint>

#include "records/aircraft.hpp"
#include "traffic/movement.hpp"

namespace tamrix {

// The lift-off speed (knots) of a category. A category outside the table throws
// std::out_of_range.
double gf_liftOffSpeed(AircraftCategory category);

// nextPosMain, lf_integrateTick, lf_positionAtSpawn, lf_isOnUserTrack and lf_removeOnUserTrack:
// see traffic/movement.hpp.

// ---- shared by the take-off, landing and ground movement ----
// Ticks from now to the next sample's due tick; at least 25.
int64_t lf_ticksToNext(const LiveAircraft& ac);
// Re-times the next sample to `target` (a tick), held within the early and late windows around
// its due tick while real samples are followed, and never before now.
void lf_retimeNext(LiveAircraft& ac, int64_t target);
// Speed (knots) of the leg from the oldest to the next sample.
double lf_legSpeed(const LiveAircraft& ac);
// Heading change (radians, wrapped) from the current heading to the direction from the next
// sample to the one after it; 0 with fewer than 3 samples.
double lf_headingChangeAfterNext(const LiveAircraft& ac);
// Narrows both windows by 100 ticks towards 1000.
void lf_narrowWindows(LiveAircraft& ac);
// Sets the phase, remembering the one before.
void lf_setPhase(LiveAircraft& ac, MovePhase phase);
// Turns the heading one current angle step towards the target heading.
void lf_turnTowardsTarget(LiveAircraft& ac);
// Puts the aircraft's key on the callsign-matching list (bounded; the per-second work takes one
// a second).
void lf_queueCallsignMatch(uint32_t key);
// Whether a category may fly with the current options.
bool lf_categoryAllowed(AircraftCategory category);

} // namespace tamrix
