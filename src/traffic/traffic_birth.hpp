#pragma once
// What a traffic line does: it is dropped, adds a sample to an aircraft that exists, or gives
// birth to a new LiveAircraft in state buffer; and the spawn decision that each tick takes for
// an aircraft in buffer. The rules keep implausible, duplicate, unwanted and excess aircraft
// out of the simulator. Start-up thread.

#include <string_view>

#include "links/traffic_line.hpp"
#include "records/aircraft.hpp"

namespace tamrix {

// One traffic line (the line's texts may be moved out).
void lf_onTrafficUpdate(TrafficLine& line);
void lf_birth(TrafficLine& line);
void lf_birthFilter(TrafficLine& line);
// The buffer step of an aircraft (called by updateLiveAc).
void lf_spawnDecision(LiveAircraft& aircraft);
// True when the aircraft must wait because of the user aircraft (drops samples as it goes).
bool lf_holdForUser(LiveAircraft& aircraft);
// For a callsign ending in '_': a live aircraft not being removed has the callsign without it.
bool gf_hasLiveTwin(std::string_view callsign);
// Appends a sample to an existing aircraft by the rules of its movement phase.
void decodeExisting(LiveAircraft& aircraft, PositionSample sample);
bool checkExtendingSituations(LiveAircraft& aircraft, PositionSample& sample);
bool checkNewPosDuringLanding(LiveAircraft& aircraft, PositionSample& sample);
bool lf_isStandstillSample(LiveAircraft& aircraft, PositionSample& sample);
void lf_noticeDeparture(LiveAircraft& aircraft, PositionSample& sample);
// Once its pushback has ended, an aircraft takes in the reports that came in meanwhile, in order,
// as if they came in now; those already due are dropped.
void lf_takeReportsKeptWhilePushing(LiveAircraft& aircraft);
// The spawn decision counts the active aircraft once per tick; a change of that count (a new
// tick, an active aircraft removed, a reset) makes it count again.
void lf_invalidateActiveCount();
// The reset before a restart: the feed's time reference and the notes of dropped lines start anew.
void lf_resetIntakeState();

} // namespace tamrix
