#pragma once
// A run against the simulator stand-in without a test to step it: a scenario file sets up the
// world (simulator name, user aircraft, airports, which titles can be created) and a clock thread
// drives it (frames, simulator seconds), writing a snapshot of the simulator's objects that a
// person can read while the program runs.
//
// Scenario file (JSON; every key optional, unknown keys are errors):
// {
//   "application": {"name": "KittyHawk", "version": [11, 0, 282174, 999]},
//   "start_after_seconds": 0,          // the simulator becomes available
//   "flight_after_seconds": 2,         // then a flight runs
//   "frame_rate": 30,                  // frames per second, 1 to 200
//   "zulu": 1767225600,                // simulator time, seconds since 1970 UTC
//   "ground_altitude_ft": 364,
//   "next_object_id": 100,
//   "accept_all_titles": true,         // else only "known_titles" can be created
//   "known_titles": ["..."], "refused_titles": ["..."],
//   "user_aircraft": {"object_id": 1, "title": "...", "atc_model": "A320", "latitude": 50.03,
//                     "longitude": 8.57, "altitude_ft": 364, "heading_deg": 250, "pitch_deg": 0,
//                     "bank_deg": 0, "ground_speed_kt": 0, "on_ground": true},
//   "airports": [{"icao": "EDDF", "name": "Frankfurt", "latitude": 50.03, "longitude": 8.57,
//                 "altitude_m": 111,
//                 "parkings": [{"type": 1, "taxi_point_type": 0, "name": 0, "suffix": 0, "number": 12,
//                               "orientation": 0, "heading_deg": 90, "radius_m": 20,
//                               "bias_x_m": 100, "bias_z_m": -50}],
//                 "helipads": [{"latitude": 50.03, "longitude": 8.57, "altitude_m": 111,
//                               "heading_deg": 0, "length_m": 20, "width_m": 20, "surface": 0,
//                               "type": 2}]}],
//   "snapshot_file": "SimObjects.txt"
// }

#include <filesystem>
#include <string>

namespace platform::simconnect {

// Reads the scenario and, only when all of it is valid, applies it to the world (which is reset
// first). False with a readable reason in `error` otherwise; the world is then left as it was.
bool loadScenario(const std::filesystem::path& file, std::string& error);
// Loads the scenario and starts the clock thread: the simulator becomes available and the
// flight starts after the scenario's delays; the snapshot file is rewritten every simulator
// second when it changed. The call log is turned off. False with `error` when the scenario is
// bad or a clock already runs.
bool startAutonomous(const std::filesystem::path& file, std::string& error);
// Stops the clock thread and waits for it; nothing when none runs.
void stopAutonomous();
bool autonomousRunning();

} // namespace platform::simconnect
