#pragma once
// The scanned liveries: one LiveryData per installed AI livery, the list that holds them between
// a scan (or the reading of "LiveriesScanned.xml") and the building of the livery index, their
// order and equality, and "LiveriesScanned.xml", which keeps a scan's result for later starts.
//
// The list is filled and read on the start-up thread only.

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "refdata/livery_key.hpp"

namespace tamrix {

struct LiveryData {
    std::string title;   // the fltsim title, the name under which the simulator creates the livery
    std::string regcode; // the livery's registration; may be empty
    LiveryKey key;
    int16_t priority = 0; // 1-based position of the scanned folder (at most 10); 0 when read from the file
};

extern std::list<LiveryData> gLiveries;

// A livery without operator or without model cannot be matched and is not kept by the scan.
bool lf_isIncompleteLivery(const LiveryData& livery);

// Ordered by operator code text, second operator code text, model code text (byte-wise; an
// index beyond its table counts as the empty text), then title. Cargo, flags, regcode and
// priority take no part.
bool lf_compareLiveries(const LiveryData& a, const LiveryData& b);
// The same livery: title, operator, second operator, model and regcode equal.
bool lf_sameLivery(const LiveryData& a, const LiveryData& b);
// Sorts gLiveries with lf_compareLiveries and drops repeated liveries.
void lf_sortLiveries();

// Writes gLiveries to output/"LiveriesScanned.xml" and logs "{} liveries in {}". Nothing is
// written for an empty list. False when the file could not be written (logged).
bool lf_writeLiveriesXml();

// The most "LiveriesScanned.xml" may hold: some 200,000 liveries of a few hundred bytes each, far
// beyond any installation.
inline constexpr std::size_t kMaxLiveriesFileBytes = std::size_t{64} << 20;

// Empties gLiveries and fills it from output/"LiveriesScanned.xml", sorted, without repeats;
// unknown codes are added to the code tables. The file is read only as a regular file of at most
// kMaxLiveriesFileBytes (a pipe in its place is not waited on). Throws UserErrorException 51 (the
// file is missing - "File {} not found" -, cannot be read, or is not well-formed XML), 52 (no <liveries> section), 999 (an element without "a", "m" or "t") or 533 (no
// livery read); what was read before the error stays in the list.
void lf_readLiveriesXml();
// For the start-up: true when "LiveriesScanned.xml" is missing, cannot be read or is damaged, so
// that a scan rebuilds it; the last two are logged with what is wrong.
bool lf_liveriesXmlNeedsScan();

} // namespace tamrix
