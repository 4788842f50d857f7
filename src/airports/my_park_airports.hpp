#pragma once
// The park airport list: the airports at which the user wants static parked aircraft, each with
// the stand the user's own aircraft usually takes there (the reserved stand, left free by static
// parking). They come from "my_park_airports.txt" in the airports folder and from the airport
// files of the thirdparty folder; the list is kept sorted by distance from the user aircraft, and
// its front entry is the current or next park airport.
//
// The list, the reserved stand name and the file are shared by three threads: the start-up
// thread reads, sorts and re-reads them, the SimClient thread records the user's stand
// (gf_updateReservedStand), the window thread selects a destination. Every function here takes
// the list's own lock for the whole of its work, so each sees a consistent list and the file is
// written by one writer at a time; none of them calls out of this file while holding it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/fixed_code.hpp"
#include "core/geodesy.hpp"

namespace tamrix {

struct MyParkAirport {
    std::string reservedStand; // the reserved stand's id text; empty for none
    double latitude = 0.0;     // degrees
    double longitude = 0.0;    // degrees
    double distance = 0.0;     // nm from the user aircraft; 0 until a sort refreshes it
    FixedCode<4> code;
};

// Empties the list and reads "my_park_airports.txt", then adds the airports of the thirdparty
// folder. False when a line named an unknown airport or the file could not be read. A bad line
// (three fields, a first field that is no airport code, a double) is logged and skipped alone.
bool lf_readMyParkAirports();
// Appends the airports that have a file in the thirdparty folder and are not listed yet.
void lf_addMyThirdpartyAirports();

// Writes the front entry into the file: its line replaces the line of the same airport, or is
// added; the lines come out sorted without duplicates, replaced whole (a failed write leaves the
// old file). A file that exists but cannot be read is left alone. False when nothing was written.
bool gf_writeMyParkAirports();
// The per-line step of the writer: when the line's first field is the front entry's code, the
// line becomes the new line (true). An empty line never matches.
bool gf_setMyParkAirportStand(const MyParkAirport& front, const std::string& newLine, std::string& line);

// Refreshes the distances from the user position and sorts (only the front's distance when the
// position has not moved by 1e-8 degrees; nothing but that while a destination is set).
void gf_sortMyParkAirports(GeoPosition user);
// Brings the airport to the front: a listed one is moved (the file is not written), a new one is
// put in front and written.
void gf_selectMyParkAirport(const FixedCode<4>& code, GeoPosition position);

// ---- snapshots and changes for the park airport selection ----
std::vector<MyParkAirport> gf_myParkAirports();
std::optional<MyParkAirport> gf_frontParkAirport();
// The loaded park airport and the user's stand at it: the park airport's entry comes to the
// front (created when missing) and its reserved stand becomes `stand` when that is not empty and
// differs; the file is written when the entry was new or its stand changed.
void gf_recordParkAirportStand(const FixedCode<4>& code, GeoPosition position, const std::string& stand);
// The front entry is the park airport and its reserved stand differs from `stand` (not empty):
// the stand is recorded and written. The SimClient thread's part of gf_updateReservedStand.
bool gf_recordUserStandAtFront(const FixedCode<4>& parkCode, const std::string& stand);

// The reserved stand of the park airport in the form applied to the stand table; empty for none.
std::string gf_reservedStandName();
void gf_setReservedStandName(std::string name);

// Back to the state of a process start: an empty list and no reserved stand (tests).
void gf_resetMyParkAirports();

} // namespace tamrix
