#pragma once
// The per-aircraft step of every tick, the identity checks of every accepted traffic line, and
// the livery respawn, which removes the simulator object and creates the aircraft again under
// its new identity where it is. Start-up thread.

#include "links/traffic_line.hpp"
#include "records/aircraft.hpp"

namespace tamrix {

// True when the aircraft's erase or creation-withdrawn flag is set after the step.
bool updateLiveAc(LiveAircraft& aircraft);
// True when the line is to be used; false when the aircraft respawns or the line is dropped.
bool lf_checkRespawn(LiveAircraft& aircraft, const TrafficLine& line);
void lf_takeOverBufferedIdentity(LiveAircraft& aircraft, const TrafficLine& line);
// True when nothing changed.
bool lf_takeOverRoute(LiveAircraft& aircraft, const TrafficLine& line);
// False when the aircraft got another identity.
bool lf_checkRegistration(LiveAircraft& aircraft, const TrafficLine& line);
bool lf_checkRegistrationLivery(LiveAircraft& aircraft, const TrafficLine& line);
void lf_forgetLivery(LiveAircraft& aircraft);
void liveryRespawn(LiveAircraft& aircraft);

} // namespace tamrix
