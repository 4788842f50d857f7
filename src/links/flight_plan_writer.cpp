#include "links/flight_plan_writer.hpp"

#include <system_error>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"

namespace tamrix {
namespace {

// Aircraft that fly under instrument rules: business jets, large and heavy aircraft.
std::string_view flightTypeOf(AircraftCategory category) {
    switch (category) {
    case AircraftCategory::Buzjets:
    case AircraftCategory::Large:
    case AircraftCategory::Heavy:
        return "IFR";
    default:
        return "VFR";
    }
}

} // namespace

std::filesystem::path gf_flightPlanFolder() {
    return gf_paths().programDataFolder / "orig_dest";
}

bool gf_createFlightPlanFolder() {
    const std::filesystem::path folder = gf_flightPlanFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) gf_log(fmt::format("gf_createFlightPlanFolder: {}", error.message()));
    return std::filesystem::exists(folder);
}

void gf_removeFlightPlanFolder() {
    std::error_code error;
    std::filesystem::remove_all(gf_flightPlanFolder(), error);
    if (error) gf_log(fmt::format("gf_removeFlightPlanFolder: {}", error.message()));
}

std::filesystem::path gf_flightPlanPath(uint32_t objectId) {
    return gf_flightPlanFolder() / fmt::format("{}.pln", objectId);
}

std::string gf_flightPlanText(const TrafficRecord& record) {
    return fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                       "<FlightPlan.FlightPlan>\n"
                       "<FPType>{}</FPType>\n"
                       "<DepartureID>{}</DepartureID>\n"
                       "<DestinationID>{}</DestinationID>\n"
                       "</FlightPlan.FlightPlan>\n"
                       "</SimBase.Document>\n"
                       "\n",
                       flightTypeOf(record.category), record.head.origin.text(),
                       record.head.destination.text());
}

bool gf_writeFlightPlan(const std::filesystem::path& path, const TrafficRecord& record) {
    // The simulator may read the plan at any moment: it sees the old plan or the whole new one.
    // Written in the live-traffic tick, so without flushes to disk: the plan serves this run only.
    return gf_writeFileWhole(path, gf_flightPlanText(record));
}

} // namespace tamrix
