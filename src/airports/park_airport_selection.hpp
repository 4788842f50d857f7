#pragma once
// The park airport: at most one airport at a time whose stands get static parked aircraft. On
// the ground it is the closest airport that has an airport file; in the air it is the front of
// the park airport list once the user aircraft is within AIRP_RANGE of it and below AIRP_HEIGHT
// above ground. The park-airport step chooses and leaves it, loads its stand table, starts the
// static parking computation and records the stand the user aircraft stands on as the airport's
// reserved stand.
//
// Start-up thread, except lf_updateReservedStand (SimClient thread) and the view (any thread).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/fixed_code.hpp"
#include "core/geodesy.hpp"
#include "refdata/airports.hpp"

namespace tamrix {

// The park-airport step: once with true when the main loop starts, then every 16 simulator
// seconds with false.
void gf_parkAirportTick(bool firstCall);
// Loads the park airport's stand table; empty on success, else the text to show.
std::string lf_readParkedFile();
// Looks for a park airport while there is none.
void lf_findParkAirportInSight(GeoPosition user, bool firstCall);
// Decides, in the air, whether the park airport is left.
void lf_checkParkAirportInSight(GeoPosition user);
// Makes the airport with that code the park airport; false for an airport the table lacks.
bool gf_setParkAirport(const FixedCode<4>& code);
// Starts a static-parking cycle: busy, the traffic reader collects callsigns; with show, the
// message line says so.
void lf_startStaticParking(bool show);
// "EKBI (BLL)": the code ("?" for none) and the 3-character code unless it is "XXX".
std::string gf_airportLabel(const AirportRecord& record);
// The label of the current park airport.
std::string gf_parkAirportLabel();
// The reserved-stand updater that gf_updateReservedStand runs on the SimClient thread: the stand
// the user aircraft stands on (at 2 kn or less) becomes the reserved stand of the park airport
// when that is the front of the list.
void lf_updateReservedStand();
// The Re-read request: reads "my_park_airports.txt" again and applies a changed reserved stand;
// false when the file had a problem. `result` gets the text for the message line.
bool gf_checkMyParkAirports(std::string& result);

// What the parking panel shows of the park airport; any thread reads a copy.
struct ParkAirportView {
    std::string code;           // empty: no park airport
    std::string name;           // the airport file's airport name once loaded
    bool loaded = false;        // its stand table is loaded
    bool reservedStandFound = false;
};
ParkAirportView gf_parkAirportView();

// How the window follows the park airport; installed by the window, each may stay null.
struct ParkAirportWindowHooks {
    void (*repaint)() = nullptr;             // a value of the view changed
    void (*destinationEnabled)() = nullptr;  // the destination may be entered again
    void (*countdownRestarted)() = nullptr;  // a full computation: the next update in 20 minutes
};
void gf_setParkAirportWindowHooks(const ParkAirportWindowHooks& hooks);

// Airport files that failed to load in this run are not chosen again on the ground until the
// next run (each attempt would download and fail again every 16 seconds).
bool gf_parkAirportFailedBefore(const FixedCode<4>& code);

// Leaves the park airport (gf_closeParkAirport) and forgets what this step derived from it. The
// learned file when its save failed, else none.
std::optional<std::filesystem::path> gf_leaveParkAirport();
// Back to the state of a process start (the clean-up before a restart, tests).
void gf_resetParkAirportSelection();
// Installs the reserved-stand updater for the SimClient thread and the reserved stand name for
// static parking. Start-up, once.
void gf_installParkAirportSelection();

} // namespace tamrix
