#pragma once
// Static parked aircraft and live aircraft share the park airport's stands. This keeps them
// consistent while a run goes on: a static aircraft goes when the same flight is live, when a
// live aircraft taxis into it and when its stand must be cleared; the parked aircraft are kept
// within the number of stands to fill; and the parking adjustments re-plan static parking during
// a run, keeping the static aircraft that may stay, removing those that no longer fit and
// planning new ones for the stands that became free. Also the count of parked live aircraft with
// their mean parked time for the panel.
//
// Start-up thread only. Every removal goes through removeAircraftFromSim.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "records/aircraft.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {

// A static aircraft that stays through an adjustment.
struct KeptStatic {
    std::string callsign;     // its static callsign
    std::string secondText;   // the option's callsign it came from
    std::string thirdText;    // the option's second callsign
    std::string registration;
    LiveryKey key;
    WeekSlot timeSlot;        // when it was placed
    uint32_t standId = 0;
    uint8_t replan = 0;       // to be placed again with its other callsign
};

// A static aircraft to be removed at the end of an adjustment.
struct StaticRemoval {
    std::string callsign;
    uint32_t standId = 0;
};

// A parked live aircraft and how long it has stood.
struct ParkedDuration {
    uint32_t key = 0;
    int64_t seconds = 0;
};

extern std::vector<KeptStatic> gKeptStatic;
extern std::vector<StaticRemoval> gStaticRemovals;

// A live aircraft that has just landed: the first active static aircraft of the same flight
// (registration, callsign or learned callsigns) is removed.
void gf_removeStaticDuplicatesOf(const LiveAircraft& live);
// The first active static aircraft that duplicates an active live aircraft on the ground (same
// registration, or its callsign followed by '*') is removed.
void gf_removeStaticDuplicates();
// Active live aircraft taxiing or parking that moved since their last check remove the first
// static aircraft they run into.
void gf_clearStaticInTheWay();
// Every static aircraft leaves (or its creation is taken back).
void gf_removeAllStaticAc();
// The static aircraft on the named stand goes, or else the parked live aircraft there; nothing
// for an empty or unknown name.
void gf_clearStand(const std::string& standName);
// The number of active parked live aircraft; with withMean, their mean parked time (hours) goes
// to the panel.
int64_t gf_countLiveParkedAc(uint8_t withMean);
// The parked aircraft are kept within the stands to fill, one more live aircraft about to park
// counted with aboutToPark: first the longest parked live aircraft goes, then the static aircraft
// that has stood longest. Installed as live traffic's limitParkedAircraft service.
void lf_limitParkedAircraft(uint8_t aboutToPark);
// Re-plans static parking during a run (after the traffic reader collected callsigns).
void gf_parkingAdjustments();

// Steps of the above.
void lf_parkedLiveByDuration(std::vector<ParkedDuration>& list);
void lf_removeLongestParkedLive(int64_t count);
void lf_listParkedLive();
void lf_reconcileStatic(WeekSlot now);
void lf_keepOrReplace(const StaticAircraft& aircraft, std::size_t candidate, WeekSlot now);

// The steady clock parked times are measured with; tests inject one (null: the real clock).
using SteadyClockNow = std::chrono::steady_clock::time_point (*)();
void gf_setParkedClock(SteadyClockNow now);

// Installs the park limit into live traffic's airport services (other services stay) and the
// static part of leaving the park airport. Start-up, once.
void gf_installStaticConsistency();
// The adjustment lists emptied (leaving the park airport, tests).
void gf_resetStaticConsistency();

} // namespace tamrix
