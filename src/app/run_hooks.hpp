#pragma once
// What a run asks of live traffic and of the airports side, as hooks those subsystems install at
// start-up. The application shell calls them by these names at the points of the run where they
// belong; a hook that is not installed does nothing (or answers "none"), which is exactly the
// behaviour of a program without that subsystem: no live aircraft, no park airport, no static
// parking. Calls happen on the start-up thread unless noted.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tamrix {

struct LiveTrafficHooks {
    // Connect phase: fresh live-traffic state for the run (gf_initLiveTraffic).
    std::function<void()> initLiveTraffic;
    // The live-traffic tick, every 10 ms while the simulator runs (lf_handleAddingStack).
    std::function<void()> handleAddingStack;
    // While the simulator does not run: the simulator events only (gf_processSimEvents).
    std::function<void()> processSimEvents;
    // The clean-up before a restart (gf_resetLiveTraffic).
    std::function<void()> resetLiveTraffic;
    // Per simulator second: one key of the callsign-matching list, matched to a learned stand
    // option and freed of static duplicates; nothing when the list is empty.
    std::function<void()> handleCallsignMatchingKey;
    // The object id of the first active live aircraft with exactly this callsign.
    std::function<std::optional<uint32_t>(const std::string& callsign)> activeLiveObjectId;
    // Takes the first active live aircraft with exactly this callsign out of the simulator
    // (removeAircraftFromSim); false when there is none.
    std::function<bool(const std::string& callsign)> removeAircraftFromSim;
    // Collision clearance around the user aircraft (gf_removeAcAroundUser on the ground,
    // gf_removeLiveAcOnUserPath in the air).
    std::function<void()> removeAcAroundUser;
    std::function<void()> removeLiveAcOnUserPath;
    // Forget the livery chosen per aircraft key; forget the keys that found no livery; empty the
    // ghost list.
    std::function<void()> clearLiveryMemory;
    std::function<void()> clearFailedKeys;
    std::function<void()> clearGhostList;
};

struct AirportHooks {
    // Once when the main loop starts (first = true), then every 16 simulator seconds.
    std::function<void(bool first)> parkAirportTick;
    std::function<void()> removeStaticDuplicates;
    // The reserved stand of the current park airport; empty when it has none.
    std::function<std::string()> reservedStandName;
    std::function<void(const std::string& standName)> clearStand;
    // After the static-parking update has collected callsigns for 15 s (when a park airport is
    // set and its stand table is not empty).
    std::function<void()> parkingAdjustments;
    std::function<bool()> parkAirportLoaded;
    std::function<bool()> staticParkingBusy;
    // The static-parking update starts collecting callsigns: static parking is busy from now.
    std::function<void()> beginStaticParking;
    std::function<void()> removeAllStaticAc;
    std::function<void()> clearStaticInTheWay;
    // Closing: static aircraft removed, the airport file saved (gf_closeParkAirport); answers
    // the file whose save failed, else none. The tblo copy counter back to 0.
    std::function<std::optional<std::filesystem::path>()> closeParkAirport;
    std::function<void()> resetTbloCounter;
    // Start-up: "my_park_airports.txt" read (lf_readMyParkAirports); the Re-read request
    // (gf_checkMyParkAirports), true with a result text for the message line.
    std::function<void()> readMyParkAirports;
    std::function<bool(std::string& resultText)> checkMyParkAirports;
    // Connect phase with SCAN_AIRPORTS on (gf_scanAirports).
    std::function<void()> scanAirports;
    // A simulator installation was found (gf_detectMsfs).
    std::function<bool()> detectMsfs;
};

LiveTrafficHooks& gf_liveTrafficHooks();
AirportHooks& gf_airportHooks();
// Removes every installed hook (tests).
void gf_resetRunHooks();

// Calls the hook when it is installed; otherwise returns the fallback.
template <typename R, typename... Args, typename... Given>
R gf_callHook(const std::function<R(Args...)>& hook, R fallback, Given&&... args) {
    return hook ? hook(std::forward<Given>(args)...) : fallback;
}
template <typename... Args, typename... Given>
void gf_callHook(const std::function<void(Args...)>& hook, Given&&... args) {
    if (hook) hook(std::forward<Given>(args)...);
}

} // namespace tamrix
