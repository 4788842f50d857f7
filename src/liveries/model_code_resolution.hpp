#pragma once
// The aircraft model (ICAO type designator) of one "aircraft.cfg" file: from its
// icao_type_designator, else from the stock aircraft named by base_container, or for the IVAO
// MTL packages from the aircraft's folder name. Wrong codes that the dbase knows a fix for are
// corrected (and listed); unusable codes are reported. Also the check of the file's fltsim
// section numbers. Runs on the scan's per-file tasks.

#include <filesystem>
#include <string>
#include <vector>

namespace tamrix {

// The file's model code; empty when none can be used (reported).
std::string lf_modelOfCfg(const std::filesystem::path& cfgPath, const std::vector<std::string>& lines);
std::string lf_modelFromBaseContainer(const std::filesystem::path& cfgPath, const std::vector<std::string>& lines);
// The model named by an IVAO MTL aircraft folder (".../IVAO_MTL/SimObjects/Airplanes/IVAO_<code>/
// aircraft.cfg" or the same below "ivao_x-csl"), cut to 4 characters; empty when unusable.
std::string lf_ivaoModelFromPath(const std::filesystem::path& cfgPath);
// False when the file must be given up: a header number that is no 32-bit number (logged) or one
// outside 0..10000 (reported). A file without any header is listed among the empty files.
bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const std::filesystem::path& cfgPath);

} // namespace tamrix
