#pragma once
// Reads one "aircraft.cfg" on a scan task: checks and reads it in whatever encoding it has,
// resolves the file's model, cuts the lines into fltsim sections and interprets each. The
// general reader serves every package kind but IVAO MTL, which has its own.

#include <cstdint>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "liveries/livery_list.hpp"

namespace tamrix {

// The file's liveries in section order. A file that is missing or cannot be read gives none; an
// exception is logged and passed on.
std::list<LiveryData> lf_searchLiveriesinFile(uint32_t priority, const std::filesystem::path& cfgPath);
std::list<LiveryData> lf_searchLiveriesinIVAOFile(uint32_t priority, const std::filesystem::path& cfgPath);

// A section starts at a header line and ends before the next header, or before a line holding
// "[" among its first six characters (anywhere, for IVAO MTL files); the records of all sections
// in section order.
std::list<LiveryData> lf_splitFltSimSections(uint32_t priority, const std::vector<std::string>& lines,
                                             const std::string& modelCode, const std::filesystem::path& cfgPath,
                                             const std::filesystem::path& folder);
std::list<LiveryData> lf_splitIvaoFltSimSections(uint32_t priority, const std::vector<std::string>& lines,
                                                 const std::string& modelCode, const std::filesystem::path& cfgPath,
                                                 const std::filesystem::path& folder);

// The path as UTF-8 for messages; never fails.
std::string lf_pathToUtf8(const std::filesystem::path& path);

} // namespace tamrix
