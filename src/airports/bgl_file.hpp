#pragma once
// BGL scenery files on disk: the quick check for an airport section, and the full decode of a
// file whose airports go, one by one, to the link-or-generate step of the airports scan.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "airports/bgl_decoder.hpp"
#include "airports/scanned_airport.hpp"

namespace tamrix {

// The scan's steps for one decoded airport. linkArchived: true when the airport was linked to an
// archived airport file (its stands are then not read). generate: writes the airport file from
// the stands, given the number of helipads among them. The airports scan supplies both.
struct BglAirportSteps {
    std::function<bool(ScannedAirport&)> linkArchived;
    std::function<void(ScannedAirport&, int32_t helipads)> generate;
};

// Reads only the header and section table: does the file hold an airport section? False for a
// file that cannot be opened or whose header or table does not fit.
bool lf_hasAirportSection(const std::filesystem::path& path);

// The most a scenery file may hold to be read: far beyond the largest airport file.
inline constexpr std::size_t kMaxBglFileBytes = std::size_t{512} << 20;

// The whole file as BGL words (a last partial word padded with zeros), read as
// gf_readRegularFile reads it: only a regular file of at most kMaxBglFileBytes, a pipe in its
// place not waited on. Otherwise nothing, and why in `problem` (words that follow the file's name).
std::vector<uint32_t> lf_readBglWords(const std::filesystem::path& path, std::string& problem);

// The sinks of the program: known airports from the airports table, the scan log, Log.txt.
const BglSinks& gf_programBglSinks();

// Decodes the file and hands every usable airport in it to the steps: first the package manifest
// is searched; a linked airport is done; an airport of a package whose manufacturer and creator
// are both shorter than 4 characters gets no file; otherwise its stands are read and generated.
// A file that cannot be read (lf_readBglWords) is named in the log and passed over. An exception
// is logged highlighted with the file's path and passed on. Only the path below the scanned
// folder names the package.
void lf_processBGLfile(const std::filesystem::path& path, const BglAirportSteps& steps,
                       const std::filesystem::path& scannedFolder);

// One airport record of the file's words (the part of lf_processBGLfile after the decode).
void lf_processAirportRecord(std::span<const uint32_t> words, const BglAirportRecord& record,
                             const std::filesystem::path& path, const BglAirportSteps& steps,
                             const std::filesystem::path& scannedFolder);

} // namespace tamrix
