#pragma once
// One stand of the park airport and one flight learned at it. The facility reader and the
// airport files fill these records, static parking places aircraft on them, and the livery
// matching of a static aircraft reads the stand's name and its cargo flag.

#include <cstdint>
#include <string>
#include <vector>

#include "core/half_hour_set.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {

// A flight seen at a stand.
struct StandOption {
    LiveryKey key;
    std::string reg;   // never written to a file when empty
    std::string cs;    // callsign, without one trailing '_'
    std::string cs2;   // the callsign of the aircraft's next flight when it differed
    HalfHourSet hh;    // the half hours of the day in which the aircraft stood there
    uint32_t number = 0; // 1-based within the stand; 0 = unused
    uint32_t day = 0;    // 1 Monday .. 7 Sunday
    uint32_t source = 0; // 1 read from the airport file itself, 0 learned
    uint32_t real = 0;   // 1 really observed, 0 soft
    uint8_t cpl = 0;
};

// Where a stand lies and how an aircraft parked on it faces.
struct StandPosition {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double heading = 0.0;   // radians
};

struct StandRecord {
    std::vector<StandOption> options;
    std::string id;                 // the stand's name
    std::vector<uint32_t> adjacent; // stand ids of the stands that could collide with this one
    double latitude = 0.0;          // degrees
    double longitude = 0.0;         // degrees
    double heading = 0.0;           // radians
    double radius = 0.0;            // nautical miles
    uint32_t standId = 0;           // 1 .. n in the stand table; 0 while being built, for helipads
    uint16_t type = 0;              // parking type 0 .. 15 (0 for helipads)
    uint8_t manual = 0;
    uint8_t radiusChange = 0;
    uint8_t cargoChange = 0;
    uint8_t taken = 0;
    uint8_t liveOccupied = 0;
    uint8_t reserved = 0;
    uint8_t blocked = 0;
    uint8_t cargo = 0; // cargo stand
    uint8_t ramp = 0;  // general-aviation ramp
    uint8_t heli = 0;  // helipad

    StandRecord() = default;
    // A stand as an airport file or the simulator's data describe it: takes the id text and the
    // options over, converts the radius from metres, leaves the stand id 0 and every work flag
    // clear, and makes room for 8 adjacent stands.
    StandRecord(std::string id, std::vector<StandOption> options, StandPosition position, double radiusMetres,
                uint16_t type, bool cargo, bool ramp, bool heli);
};

} // namespace tamrix
