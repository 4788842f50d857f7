#pragma once
// Ground movement of live aircraft between their reported positions: corners become quadratic
// curves, midpoints are inserted where the speed changes, the heading turns at a limited rate
// and each sample is timed so that turn rate and reported time agree; pushbacks (straight, or
// ending in a quarter turn) and pull-outs from stands; the final approach to a stand and the
// arrival there.

#include <cstddef>

#include "records/aircraft.hpp"

namespace tamrix {

// The ground step of the phase step (aircraft on the ground). Errors are logged and thrown on.
void lf_nextPosGround(LiveAircraft& ac);
// Re-times the next sample by distance, speed and the turn still to make.
void lf_groundTiming(LiveAircraft& ac);
// The share of a tick's way the aircraft goes on the ground while its nose lags its way (1 when
// it does not); the next sample falls due later by the share held back.
double lf_wayShareWhileTheNoseTurns(LiveAircraft& ac);
// One tick along the active curve (instead of the straight step).
void lf_curveTick(LiveAircraft& ac);
// The curve from the current position with the next sample as control point and the one after
// it as end point; the next sample is erased.
void lf_setupCurve(LiveAircraft& ac);
// A sample halfway between the oldest and the next becomes the next.
void lf_insertMidpoint(LiveAircraft& ac);
// A midpoint when the speed changes by more than 5 kt over at least 100 m.
void lf_midpointOnSpeedChange(LiveAircraft& ac);
// Start of a pushback from the aircraft's stand.
void lf_pushbackStart(LiveAircraft& ac);
// Start of a pull-out forwards from the aircraft's stand.
void lf_pullOutStart(LiveAircraft& ac);
// The final approach to a stand at the given position (degrees) and heading (radians).
void drive2Stand(LiveAircraft& ac, double latitude, double longitude, double heading);
// Samples used up in phase parking: parked when within 2 m of the stand, else back to taxi.
void lf_arrivalAtStand(LiveAircraft& ac);
// A cargo aircraft on a stand marked cargo that its own record does not know as cargo.
void lf_cargoMarking(LiveAircraft& ac);
// Whether the aircraft stands (within 2 m) on the stand it holds.
bool lf_atOwnStand(const LiveAircraft& ac);
// Inserts a sample at index i of the queue (0 <= i <= size).
void lf_insertSample(SampleQueue& samples, std::size_t i, const PositionSample& sample);

} // namespace tamrix
