#pragma once
// Interprets one fltsim section of an "aircraft.cfg" (every package kind but IVAO MTL) into at
// most one livery: its title, registration, key (operator, model, cargo) and folder priority.
// Rejected sections are reported in the scan's collections. Runs on the scan's per-file tasks;
// the only shared data it writes are the claimed titles and the report collections.

#include <cstdint>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "liveries/livery_list.hpp"

namespace tamrix {

// The lines of one section in file order, the header line ([fltsim.N]) first.
using FltSimSection = std::vector<std::string>;

// Trailing empty and "//" lines are removed from the section (never the header).
void lf_dropTrailingCommentLines(FltSimSection& section);

// Zero or one livery. An exception from below is logged and passed on.
std::list<LiveryData> lf_procesFltSimSection(uint32_t priority, FltSimSection& section, const std::string& modelCode,
                                             std::filesystem::path cfgPath, std::filesystem::path folder);

} // namespace tamrix
