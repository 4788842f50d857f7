#pragma once
// Take-off and landing of live aircraft: arming a take-off when the feed shows the aircraft
// accelerating, rotation and a staged initial climb, the configuration (lights, gear, flaps,
// spoilers, throttle) by height and vertical speed, arming a landing near the park airport, the
// four flare stages down to the ground and the landing roll until the aircraft turns off.

#include "records/aircraft.hpp"

namespace tamrix {

// Below 10,000 ft, on each sample: lights, throttle, gear and flaps by height and vertical speed.
void lf_climbApproachConfiguration(LiveAircraft& ac);
// At or below the category's threshold height: climb-out, or arming a landing near the park
// airport.
void lf_lowLevelConfiguration(LiveAircraft& ac);
// The feed shows a take-off beginning.
void lf_armTakeOff(LiveAircraft& ac);
// Rotation begins.
void lf_takeOffStart(LiveAircraft& ac);
// On the ground, next sample moving: throttle, landing roll, leg speed and the take-off decision.
void lf_groundSpeedStep(LiveAircraft& ac);
// Every sample after the oldest is at least as fast as the category's lift-off speed.
bool lf_allLaterFastEnough(const LiveAircraft& ac);
// The integrator's take-off branch (phase take_off).
void lf_takeOffTick(LiveAircraft& ac);
// The integrator's landing branch; false when it does not apply this tick.
bool lf_landingTick(LiveAircraft& ac);

} // namespace tamrix
