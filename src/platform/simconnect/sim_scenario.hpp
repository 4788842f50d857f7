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
//   "ground_altitude_ft": 364,         // the ground away from the airports
//   "airport_ground_radius_nm": 8,     // an airport's ground reaches this far
//   "next_object_id": 100,
//   "object_limit": 1000,              // the simulator's own limit of AI objects
//   "creation_delay_frames": 1,        // a created object appears after this many frames
//   "accept_all_titles": true,         // else only "known_titles" can be created
//   "known_titles": ["..."], "refused_titles": ["..."],
//   "models": [{"match": "A320", "static_cg_ft": 8.9, "static_pitch_deg": 0.3}],  // "" = default
//   "user_aircraft": {"object_id": 1, "title": "...", "atc_model": "A320", "latitude": 50.03,
//                     "longitude": 8.57, "altitude_ft": 364, "heading_deg": 250, "pitch_deg": 0,
//                     "bank_deg": 0, "ground_speed_kt": 0, "on_ground": true,
//                     "route": [{"latitude": 50.04, "longitude": 8.58, "altitude_ft": 364,
//                                "ground_speed_kt": 15}]},
//   "airports": [{"icao": "EDDF", "name": "Frankfurt", "latitude": 50.03, "longitude": 8.57,
//                 "altitude_m": 111, "ground_altitude_ft": 364,   // ground: else altitude_m
//                 "runways": [{"designator": "07C/25C", "lat1": 50.0325, "lon1": 8.5347,
//                              "lat2": 50.0451, "lon2": 8.5869, "width_m": 45}],  // end 1: first designator
//                 "parkings": [{"type": 1, "taxi_point_type": 0, "name": 0, "suffix": 0, "number": 12,
//                               "orientation": 0, "heading_deg": 90, "radius_m": 20,
//                               "bias_x_m": 100, "bias_z_m": -50}],
//                 "helipads": [{"latitude": 50.03, "longitude": 8.57, "altitude_m": 111,
//                               "heading_deg": 0, "length_m": 20, "width_m": 20, "surface": 0,
//                               "type": 2}],
//                 "answer": "complete"}],          // facility requests: or "no_end", "exception"
//   "timeline": [{"at_seconds": 60, "event": "pause"}, {"at_seconds": 70, "event": "unpause"},
//                {"at_seconds": 80, "event": "remove_object", "atc_id": "DLH123"},   // or "object_id"
//                {"at_seconds": 90, "event": "refuse_title", "title": "..."},
//                {"at_seconds": 120, "event": "new_flight", "file": "x.FLT", "user_aircraft": {...}},
//                {"at_seconds": 200, "event": "quit"}, {"at_seconds": 210, "event": "start"}],
//   "snapshot_file": "SimObjects.txt",
//   "trace_file": "SimTrace.csv"       // one line per object per simulator second
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

// Adds the airports of a file {"airports": [...]} (each as in a scenario, with "answer":
// "complete", "no_end" or "exception" for how it answers facility requests) to the world, beside
// those it has; an airport of a code the world knows replaces it. False with `error`, and
// nothing added, when any of it is invalid.
bool loadFacilityAirports(const std::filesystem::path& file, std::string& error);

} // namespace platform::simconnect
