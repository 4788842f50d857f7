#pragma once
// The small flight plan every live aircraft gets in the simulator's AceXML ".pln" form, so that
// the simulator knows its type of flight and the ends of its route. Plans are "{object id}.pln"
// in the folder "orig_dest" below the program's data folder, which start-up creates and closing
// removes in every run.

#include <cstdint>
#include <filesystem>

#include "records/traffic_record.hpp"

namespace tamrix {

// The program data folder / "orig_dest".
std::filesystem::path gf_flightPlanFolder();
// Creates the folder with all missing parents ("gf_createFlightPlanFolder: {}" logged on an
// error); whether it exists afterwards.
bool gf_createFlightPlanFolder();
// The folder with every plan in it; a failure is logged as "gf_removeFlightPlanFolder: {}".
void gf_removeFlightPlanFolder();
// The folder joined with "{object id}.pln".
std::filesystem::path gf_flightPlanPath(uint32_t objectId);
// The nine lines of the plan (LF line ends only).
std::string gf_flightPlanText(const TrafficRecord& record);
// Replaces the plan atomically (an existing file stays whole until the new one is in place);
// false, with the cause logged, when it cannot be written.
bool gf_writeFlightPlan(const std::filesystem::path& path, const TrafficRecord& record);

} // namespace tamrix
