#pragma once
// The handler of every message of the SimClient connection (installed with gf_setSimDispatch):
// the simulator's identity and version, its running state, a new flight, objects added and
// removed, the answers to the program's requests, and exceptions. It recognises the AI aircraft
// the program created by their ATC id (the tail number given at creation), releases and freezes
// them, and hands what it learns to the live-traffic tick as sim events. All of it runs on the
// SimClient thread.
//
// Records are read only within the size the dispatch call gives; a record too short for what
// its kind carries is logged and ignored.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/simconnect/simconnect.hpp"

namespace tamrix {

// Set on each answer to request 108 (once per simulator second); the main loop takes it with an
// exchange to false for its once-per-simulator-second work.
extern std::atomic<bool> gSimSecond;
// The simulator's UTC time, seconds since 1970, from each answer about the user aircraft's state
// whose date is valid; 0 until known. Whether it goes to RealTraffic is the sender's choice
// (professional edition only).
extern std::atomic<int64_t> gSimUtcTime;
// Set with the first valid time of a run; cleared by the clean-up.
extern std::atomic<bool> gSimUtcKnown;
// The simulator's UTC time when known.
std::optional<int64_t> gf_simUtcTime();

// A user aircraft that moves further than this between two state answers has been moved to
// another place: a new flight.
inline constexpr double kTeleportDistanceNm = 10.0;
// Aircraft in range higher above the ground than this are of no interest to the tick.
inline constexpr double kInRangeMaxHeightFeet = 2500.0;

// Installs lf_simDispatch as the SimClient thread's handler.
void gf_installSimDispatch();

void lf_simDispatch(SIMCONNECT_RECV* message, DWORD size, void* context);
void lf_onSimOpen(const SIMCONNECT_RECV* message, DWORD size);
void lf_onSimException(const SIMCONNECT_RECV* message, DWORD size);
void lf_onSimObjectData(const SIMCONNECT_RECV* message, DWORD size);
void lf_onSimObjectDataByType(const SIMCONNECT_RECV* message, DWORD size);
// On each Frame, before the flush, with the time then: creations that the simulator has not
// shown as an object for more than kPendingCreationMaxAge are given up (logged, their object
// removed when one was assigned, and a removed-object event with their key posted).
void lf_expirePendingCreations(std::chrono::steady_clock::time_point now);

// gUserStandName: the stand the user aircraft was last seen on; empty for none.
std::string gf_userStandName();

// The clean-up before a restart (no SimClient thread runs): no simulator second, time, previous
// user position, stand name, and the AS-GEN notice may come again.
void gf_resetSimDispatchState();

} // namespace tamrix
