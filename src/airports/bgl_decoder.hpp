#pragma once
// The decoding core of the simulator's compiled scenery files (BGL): it finds the airport records
// of a file and reads each airport's stands (helipads and taxiway parking spots), and nothing
// else. It works on the file's bytes alone; what it has to say goes to the sinks it is given.
//
// Every offset, count and size comes from the file and is checked against the words present
// before it is used: a truncated, overlapping or self-referencing record ends its walk with a
// log line, never with a read outside the file; indexes are 64-bit, so no count wraps.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/fixed_code.hpp"
#include "records/stand_record.hpp"

namespace tamrix {

inline constexpr uint32_t kBglHeaderSize = 56;
inline constexpr uint32_t kBglAirportSection = 3;
inline constexpr uint32_t kBglLargeSubsectionFlag = 0x10000;
inline constexpr uint16_t kBglAirportRecord = 0x0056;
inline constexpr uint16_t kBglHelipadRecord = 0x0026;
inline constexpr uint16_t kBglTaxiwayParkingRecord = 0x00E7;
// A walk of more records than this in one section or airport is taken for a corrupt file.
inline constexpr uint32_t kBglMaxLoop = 9000;

// What the core needs from the program: the support test of airport codes and the two logs.
struct BglSinks {
    std::function<bool(const FixedCode<4>&)> isKnownAirport;
    std::function<void(std::string)> scanLog;                 // the airports scan's log
    std::function<void(std::string_view, bool highlighted)> log; // the program's log
};

// One airport record of a file.
struct BglAirportRecord {
    uint64_t wordIndex = 0;
    uint64_t sizeWords = 0; // the record's size in words, sub-records included
    FixedCode<4> code;
    int32_t altitude = 0; // feet; 0 when below -20 or above 10000
};

struct BglAirportStands {
    std::vector<StandRecord> stands; // helipads first, then parking spots, in file order
    int32_t helipads = 0;
};

// The file's bytes as little-endian 32-bit words; a last partial word is padded with zeros.
std::vector<uint32_t> gf_bglWords(std::span<const uint8_t> bytes);

// The quick check on the file's first bytes (at least header and section table, when the file
// has them) and its full size: true when a section of the table is an airport section.
bool gf_bglHasAirportSection(std::span<const uint8_t> head, uint64_t fileSize);

// Every airport record with a usable, known code, in file order. `fileName` names the file in
// log lines.
std::vector<BglAirportRecord> gf_findBglAirports(std::span<const uint32_t> words, std::string_view fileName,
                                                 const BglSinks& sinks);

// The stands of one airport record.
BglAirportStands gf_decodeBglAirportStands(std::span<const uint32_t> words, const BglAirportRecord& airport,
                                           std::string_view fileName, const BglSinks& sinks);

// The airport code packed into an airport record (base 38 in raw >> 5); usable is false when a
// digit is a blank or "?". A usable code must also be a 4-character known airport; an unknown
// 4-character code is reported in the scan log.
std::string gf_decodeBglIcao(uint32_t raw, bool& usable, const BglSinks& sinks);

// Packed coordinates of BGL files, in degrees.
double gf_bglLatitude(uint32_t raw);
double gf_bglLongitude(uint32_t raw);
bool gf_bglPositionValid(double latitude, double longitude);

} // namespace tamrix
