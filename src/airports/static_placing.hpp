#pragma once
// Placing static aircraft: the live-traffic pacing takes one planned candidate at a time from
// the back of the plan, checks once more that its stand is free, not reserved and clear of
// neighbours, makes a StaticAircraft with a matched livery and queues its creation on the
// static adding stack. Also the count of static aircraft in the simulator with their mean
// parked time.
//
// Start-up thread only.

#include <cstdint>
#include <string>

namespace tamrix {

// Places the last candidate of the plan (at most one static creation per call).
void lf_placeStaticCandidate();

// The text shown in the simulator for a static aircraft: trailing '_' stripped from the text
// (the caller's text changes), then the text itself when it ends in '*', else the text and '*'.
std::string lf_staticCallsign(std::string& text);

// The static key counter: advanced for every aircraft made, 1 to 9999 and round again (never 0,
// the simulator side's "no key"), never to a key a static aircraft still holds. Never reset
// within the process.
uint32_t lf_nextStaticKey();
uint32_t gf_staticKeyCounter();

// The number of static aircraft in the simulator (active or being removed); with withMean, also
// their mean parked time for the panel.
int64_t gf_countStaticAc(uint8_t withMean);

} // namespace tamrix
