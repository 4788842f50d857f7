#pragma once
// Interprets one fltsim section of an IVAO MTL "aircraft.cfg": no icao_airline key - the airline
// is the three letters after the model code at the start of the title - and every livery needs
// its own "texture.<name>" folder. Runs on the scan's per-file tasks.

#include <cstdint>
#include <filesystem>
#include <string>

#include "liveries/fltsim_section.hpp"
#include "liveries/livery_list.hpp"

namespace tamrix {

// The section's livery, or the all-empty record (operator or model index 0) when there is none.
// A file-system error while testing the texture folder passes to the caller.
LiveryData lf_procesIvaoFltSimSection(uint32_t priority, FltSimSection& section, const std::string& modelCode,
                                      const std::filesystem::path& cfgPath, const std::filesystem::path& folder);

// The three word characters after the model code (and "W" when `withW`) and optional blanks at
// the start of the title, as written; empty when the title does not start so.
std::string lf_airlineFromIvaoTitle(std::string_view title, std::string_view modelCode, bool withW);

} // namespace tamrix
