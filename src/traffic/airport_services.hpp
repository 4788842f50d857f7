#pragma once
// What live traffic asks of the airport side (the stand logic, the learned stand options and
// static parking). The airport side owns that logic and installs its functions here at
// start-up; live traffic calls only these. Without an airport side installed there is no park
// airport logic: no stay is learned, no parked limit applies, no static aircraft is planned.
//
// All of them run on the start-up thread.

#include <cstdint>

#include "records/aircraft.hpp"
#include "records/stand_record.hpp"

namespace tamrix {

// Modes of a real stay at a stand.
inline constexpr int32_t kStayArrival = 0;     // arrival, or an update while parked
inline constexpr int32_t kStaySpawnParked = 1; // first seen parked at spawn
inline constexpr int32_t kStayDeparture = 2;   // departure from the stand
inline constexpr int32_t kStayLeftStand = 3;   // removed on leaving the stand

struct AirportServices {
    // Records a real stay of the aircraft at the stand (learned stand options).
    void (*addRealStandOption)(int32_t sid, LiveAircraft& aircraft, int32_t mode) = nullptr;
    // Removes parked live or static aircraft beyond the park limit; aboutToPark is 1 when a
    // live aircraft is about to take a stand.
    void (*limitParkedAircraft)(uint8_t aboutToPark) = nullptr;
    // Static parking's plan: whether candidates wait, and placing one of them (may append one
    // static creation).
    bool (*hasStaticCandidates)() = nullptr;
    void (*placeStaticCandidate)() = nullptr;
    // Drops every planned static candidate for the stand.
    void (*dropStaticCandidatesForStand)(int32_t sid) = nullptr;
    // The nearest stand that fits the aircraft within the search distance (nautical miles),
    // with or without the far fallback; null for none.
    StandRecord* (*nearestFittingStand)(double latitude, double longitude, const LiveAircraft& aircraft,
                                        double searchNm, bool fallbackAllowed) = nullptr;
    // The reset of live traffic before a restart hands over what it does not own: the static
    // candidates and static-parking maps, the names of the park airport's files with their state,
    // the current week slot, the stand change counter, the window's selected aircraft and the
    // repaint of the status areas.
    void (*resetStaticParking)() = nullptr;
};

// Installs the services (replacing all of them); any member may stay null.
void gf_setAirportServices(const AirportServices& services);
const AirportServices& gf_airportServices();

// Calls through the installed services; each does nothing (or answers none / false) when the
// service is not installed.
void lf_addRealStandOption(int32_t sid, LiveAircraft& aircraft, int32_t mode);
void gf_limitParkedAircraft(uint8_t aboutToPark);
bool gf_hasStaticCandidates();
void lf_detcs();
void gf_dropStaticCandidatesForStand(int32_t sid);
StandRecord* gf_nearestFittingStand(double latitude, double longitude, const LiveAircraft& aircraft,
                                    double searchNm, bool fallbackAllowed);
// The aircraft leaves live traffic (removed, or respawned under a new identity): when it is the
// one selected in the window's callsign list, the selection is cleared.
void lf_aircraftLeaving(const LiveAircraft& aircraft);

} // namespace tamrix
