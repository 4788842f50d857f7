#pragma once
// The controls by which live and static aircraft show their state: spoilers, flaps, gear,
// throttle, engines and lights. Every command is a client event queued for the SimClient
// thread, sent on its next frame. Start-up thread.

#include <cstdint>

#include "records/aircraft.hpp"

namespace tamrix {

// 16383 when deploy > 0, else 0; nothing for a Rotorcraft.
void gf_setSpoilers(StaticAircraft& aircraft, int32_t deploy);
// Index 0 .. 4 sends 0, 3072, 10240, 16383, 0; nothing for a Rotorcraft or when the index is the
// one sent last; an index above 4 is logged and kept, nothing sent.
void gf_setFlaps(StaticAircraft& aircraft, uint32_t index);
// 0 or 1; nothing for a Rotorcraft.
void gf_setGear(StaticAircraft& aircraft, uint32_t down);
// Index 0 .. 4 sends 0, 4914, 8191, 11468, 16383; nothing when the index is the one sent last;
// 5 or above sends nothing. The index is kept in every case.
void gf_setThrottle(StaticAircraft& aircraft, uint32_t index);
// A static aircraft whose settling ended: throttle and flaps 0, engines off, parked lights.
void lf_initParkedControls(StaticAircraft& aircraft);
// A live aircraft whose settling ended, by its oldest sample (airborne or on the ground).
void lf_initLiveControls(LiveAircraft& aircraft);

} // namespace tamrix
