#pragma once
// The per-airport XML file: its header parameters, its stands ("parkpos") and the flights
// learned at each stand ("opt"). One format serves the archived airport files, the files the
// airports scan generates, the user's handmade files and the learned files. This is its writer
// and the readers of its stands; the header is read by the park-airport reader.
//
// Start-up thread (the airports scan writes airport files from it too).

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include <pugixml.hpp>

#include "links/airport_file_header.hpp"
#include "records/stand_record.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {

// Write modes: a learned file (changes, manual stands and flights) or an airport file (every
// stand in full, no flights).
inline constexpr int32_t kApfLearnedMode = 0;
inline constexpr int32_t kApfAirportMode = 1;

// An airport file holding more stands than this is refused whole: the stand table is sized for
// a few hundred, and the adjacency of stands is quadratic in their number.
inline constexpr std::size_t kMaxApfStands = 2048;
// An airport file (archived, learned, handmade or generated) of more bytes than this is refused
// unread: 2048 stands with their flights of a week stay far below.
inline constexpr std::size_t kMaxApfBytes = std::size_t{64} << 20;

// Set while the park airport's stands come from a handmade file: the learned file is then
// written with every stand in full, its altitude and quality factors.
extern std::atomic<bool> gHandmadeAirport;

// Builds the document and saves it (atomically, folders created when missing). False when an
// element could not be appended or the save failed; nothing is written then. Throws
// gsl::narrowing_error when MAX_FIT_FL doubled is no whole number (learned mode).
bool gf_writeApf(const AirportFileHeader& header, const std::filesystem::path& path, int32_t mode, int32_t sim);
// Appends "parameters" with the header's parameters; false when "parameters" cannot be appended.
bool gf_writeApfHeader(pugi::xml_node root, const AirportFileHeader& header, int32_t mode);

// Why the reader skips a stand at this position ("has no valid lat/lon" at 0/0, "lies outside the
// earth ..."); empty for a usable position. Generated files leave such stands out by the same rule.
std::string gf_standPositionProblem(double latitude, double longitude);

// Reads "parkpositions" (below "root", else at the top level) into the stand table. Throws
// UserErrorException 93 for a stand without id or with an empty one, 94 for an id seen before,
// and std::length_error for a file of more than kMaxApfStands stands; the stands read before
// stay in the table.
void lf_readStands(pugi::xml_node document);
// Reads one stand with its flights and appends it to the stand table; every option gets the
// source given. A stand without a usable position is skipped with a log line.
void lf_readStand(pugi::xml_node parkpos, std::string id, uint32_t source);

struct OptIdentity {
    std::string cs;
    std::string cs2;
    LiveryKey key;
};
// The callsigns ("cs", split at the first ':') and the key of an option: from the registration
// table when it knows "reg", else from "airl" and "type".
OptIdentity lf_readOptIdentity(pugi::xml_node opt);
LiveryKey lf_optKeyFromCodes(pugi::xml_node opt);

} // namespace tamrix
