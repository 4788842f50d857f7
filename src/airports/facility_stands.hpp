#pragma once
// The airports scan's first way to an airport's stands: for a BGL file with an airport section
// it takes the airport's code from the file's path, name or package manifest, links the airport
// to an archived airport file when the archive has one, and otherwise asks the running simulator
// for the airport's facility data and generates the airport file from it. Only when that yields
// no code or the simulator does not answer does the scan decode the BGL file itself.
//
// Start-up thread (the scan's thread).

#include <chrono>
#include <cstdint>
#include <filesystem>

#include "airports/scanned_airport.hpp"

namespace tamrix {

// True: the file is dealt with (linked, generated, or its airport is not one the program
// supports). False: the BGL decoder should read it (no code found, a package whose manufacturer
// and creator are both shorter than 4 characters, or the facility read failed).
// Only the path below the scanned folder names the airport and its package.
bool lf_readFacilities(const std::filesystem::path& path, const std::filesystem::path& scannedFolder);

// Reads the airport's stands from the simulator into `airport` (code, altitude, facilities flag,
// stands) and counts its helipads. False when the connection cannot be opened, the request is
// refused, the answer does not end in time or the simulator answers with an exception; each is
// logged, and the facility connection is then closed so that no late answer mixes into the next
// read.
bool gf_readScannedAirportStands(const FixedCode<4>& code, ScannedAirport& airport, int32_t& helipads);

// The longest wait for the end of one facility answer (10 s at first).
void gf_setFacilityWaitLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds gf_facilityWaitLimit();

} // namespace tamrix
