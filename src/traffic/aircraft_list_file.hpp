#pragma once
// The live callsigns the window offers for blocking (the CALLSIGN_2_OBJECTID list), and
// "ObjectIdList.txt", one line per active live aircraft, written once a minute while
// OBJECTID_LIST is on.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tamrix {

// What the list file and the callsign list need of one active live aircraft.
struct ActiveAircraftRow {
    uint32_t objectId = 0;
    std::string callsign;
    std::string registration;
    std::string operatorCode; // empty when the code is out of range
    std::string modelCode;
    bool onGround = false;
    bool parked = false;
};

// The active live aircraft in vector order. Live traffic installs the source; without it there
// are none.
using ActiveAircraftSource = std::vector<ActiveAircraftRow> (*)();
void gf_setActiveAircraftSource(ActiveAircraftSource source);
std::vector<ActiveAircraftRow> gf_activeAircraftRows();

// "{id};{callsign};{registration};{operator};{model};GND|AIR;PARKED|"
std::string lf_acStateLine(const ActiveAircraftRow& row);
// Writes "ObjectIdList.txt" in "output/info" (an empty file for an empty picture); logs
// "Failed to write {}" with the path when it cannot.
void gf_writeAcStatesCsv();
bool lf_writeAcStates(const std::vector<ActiveAircraftRow>& rows, const std::filesystem::path& path);

// The callsigns of the active live aircraft that are not parked, in ascending byte order,
// become the CALLSIGN_2_OBJECTID list (the first its current text); the combo box is refilled,
// enabled when the list has entries, and so is "Block", while "Unblock" is disabled. True when
// the list is not empty.
bool gf_fillLiveCallsignList();
// The object id of the aircraft the callsign selection found; 0 for none.
extern std::atomic<uint32_t> gSelectedObjectId;
// The list holds one empty entry (its current text), refilled; no object id is selected; the
// combo box and "Block" are disabled.
void gf_resetCallsignSelection();

} // namespace tamrix
