#pragma once
// The airports file: every airport the program knows (ICAO code, a second 3-character code,
// position, altitude, number of stands), read once per process into a table sorted by ICAO code,
// and the lookups on it: a known code, an airport by code, a known code inside a text, and the
// airport closest to a position.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/fixed_code.hpp"
#include "core/geodesy.hpp"

namespace tamrix {

struct AirportRecord {
    FixedCode<4> icaoCode;        // "c"
    FixedCode<3> code3;           // "i"; "XXX" when the file gives none
    double latitude = 0.0;        // "la", degrees
    double longitude = 0.0;       // "lo", degrees
    float airportAltitude = 0.0f; // "a", feet
    int32_t standCount = 0;       // "s"; 0 when absent
};

// Sorted ascending by ICAO code in character order; records of one code keep their file order.
extern std::vector<AirportRecord> gAirports;
extern std::unordered_set<FixedCode<4>> gAirportCodes;

// The airport codes the traffic source supports; filled by the airport scan, read by
// gf_findAirportCodeIn (both on the start-up thread).
extern std::unordered_set<FixedCode<4>> gRtAirportCodes;

// The distance in nautical miles from a position to the closest stand of an airport's file, with
// that stand's name; 100.0 when none can be had. The airport files provide it at start-up.
using ClosestStandReader = double (*)(const FixedCode<4>& airport, GeoPosition position,
                                      std::string& standName);
void gf_setClosestStandReader(ClosestStandReader reader) noexcept;

// Reads "airports.enc" of the "input" folder on the first call (decrypted into "airports.xml",
// which is removed again on every way out); later calls return at once. True when the table is
// not empty. Throws UserErrorException 88 when "airports.enc" is missing or cannot be decrypted
// (the text of gf_decryptReferenceFile), when the plain file cannot be loaded, has no <airports>
// element or holds an invalid or missing code; the table is then empty.
bool gf_readAirports();
// The same read, whether or not the table was read before; also of the encrypted file at
// `encPath`, decrypted into `plainPath`.
bool gf_loadAirports();
bool gf_loadAirports(const std::filesystem::path& encPath, const std::filesystem::path& plainPath);
// Empties the airport table and forgets its read, so that the next gf_readAirports reads again;
// the supported codes and the stand reader stay.
void gf_forgetAirportTable();
// Empties the airport tables (also the supported codes) and forgets the read and the stand
// reader, as at process start.
void gf_clearAirports();

bool gf_isKnownAirport(const FixedCode<4>& code);
// The first record of the code, or nullptr.
const AirportRecord* gf_findAirport(const FixedCode<4>& code);
// Looks, left to right, at each word of exactly four letters or digits (upper-cased) in the
// text: the first that the traffic source supports and that is a known airport wins; else the
// last supported word; else nothing.
std::optional<FixedCode<4>> gf_findAirportCodeIn(std::string_view text);
// The nearest airport within 5.0 nm of the position, or nullptr. When a second airport lies
// within 5.0 nm too, the one whose closest stand is nearer to the position wins.
const AirportRecord* gf_closestAirport(GeoPosition position);

} // namespace tamrix
