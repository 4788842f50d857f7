// airportgen SCENARIO ICAO SERVER_DOWNLOADS [PUBLISHER]
// Writes the archived airport file of the scenario's airport: its stands as the simulator's
// facility data give them (named by their parking numbers), and the flights rtfeed's synthetic
// schedule parks on them over a week (one planned day per weekday), each in the half hours it
// stands there. The file goes to SERVER_DOWNLOADS/MSFS/archive/stock/ and .../MSFS2024/...; with
// a PUBLISHER, the same airport as that publisher's scenery also to archive/thirdparty/PUBLISHER/,
// where the link file of an airports scan that finds the publisher's package points. It says
// nothing unless it fails.
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <string>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/airport_file.hpp"
#include "airports/park_airport_file.hpp"
#include "config/xml_helpers.hpp"
#include "core/half_hour_set.hpp"
#include "records/stand_table.hpp"
#include "rtfeed/scenario_plan.hpp"

namespace {

using namespace tamrix;

constexpr double kSecondsPerDay = 86400.0;
constexpr double kDegreesPerRadian = 57.29577951308232;

struct Stay {
    std::string reg;
    std::string cs;
    std::string airline;
    std::string type;
    uint32_t day = 0;
    HalfHourSet hours;
};

std::string airlineOf(const std::string& callsign) {
    if (callsign.size() < 4) return {};
    for (int i = 0; i < 3; ++i)
        if (callsign[static_cast<std::size_t>(i)] < 'A' || callsign[static_cast<std::size_t>(i)] > 'Z') return {};
    return callsign.substr(0, 3);
}

HalfHourSet halfHours(double from, double to) {
    HalfHourSet hours;
    const int first = std::max(0, static_cast<int>(std::floor(from / 1800.0)));
    const int last = std::min(47, static_cast<int>(std::floor(to / 1800.0)));
    for (int slot = first; slot <= last; ++slot) hours.set(static_cast<std::size_t>(slot));
    return hours;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: airportgen SCENARIO ICAO SERVER_DOWNLOADS [PUBLISHER]\n");
        return 2;
    }
    try {
        const rtfeed::ScenarioAirport airport = rtfeed::readScenarioAirport(argv[1], argv[2]);
        std::map<std::size_t, std::vector<Stay>> stays; // stand index -> flights parked there
        for (uint32_t day = 1; day <= 7; ++day) {
            rtfeed::PlanOptions options;
            options.horizonSeconds = kSecondsPerDay;
            options.seed = day;
            const rtfeed::ScenarioPlan plan = rtfeed::planScenario(airport, options);
            for (const rtfeed::ScenarioFlight& flight : plan.flights) {
                if (!flight.stand || flight.identity.registration.empty()) continue;
                double from = 0.0;
                double to = 0.0;
                if (flight.kind == rtfeed::TargetKind::Arrival) {
                    from = flight.track.end() - options.parkedSeconds;
                    to = flight.track.end();
                } else if (flight.kind == rtfeed::TargetKind::Departure) {
                    from = flight.track.start();
                    to = flight.track.start() + options.parkedSeconds;
                } else {
                    continue;
                }
                if (from >= kSecondsPerDay) continue;
                Stay stay{flight.identity.registration, flight.identity.callsign, airlineOf(flight.identity.callsign),
                          flight.identity.type, day, halfHours(from, std::min(to, kSecondsPerDay - 1.0))};
                stays[*flight.stand].push_back(std::move(stay));
            }
        }

        AirportFileHeader header;
        header.icao = FixedCode<4>(airport.icao);
        header.airportName = "Billund";
        header.publisher = "stock";
        header.altitude = static_cast<int32_t>(std::lround(airport.elevationFt));
        for (std::size_t i = 0; i < airport.stands.size(); ++i) {
            const rtfeed::ScenarioStand& s = airport.stands[i];
            const rtfeed::Position p = airport.frame.toGeo(s.position);
            const bool cargo = s.type == 5 || s.type == 6;
            const bool ramp = s.type == 1 || s.type == 2 || s.type == 3 || s.type == 4 || s.type == 14;
            header.stands.emplace_back(fmt::format("{}", s.number), std::vector<StandOption>{},
                                       StandPosition{p.latitude, p.longitude, s.headingDeg / kDegreesPerRadian},
                                       s.radiusM, static_cast<uint16_t>(s.type), cargo, ramp, false);
        }
        // The quality factors the flights give, as the program computes them.
        gStandTable = header.stands;
        for (auto& [index, list] : stays)
            for (const Stay& stay : list) {
                StandOption option;
                option.reg = stay.reg;
                option.day = stay.day;
                option.hh = stay.hours;
                option.real = 1;
                option.number = static_cast<uint32_t>(gStandTable[index].options.size() + 1);
                gStandTable[index].options.push_back(option);
            }
        const QualityFactors quality = gf_qualityFactors();

        // One archived file per publisher folder: the stands and the week's flights as above.
        const auto writeArchived = [&](const std::string& publisher, const std::filesystem::path& folder) {
            header.publisher = publisher;
            const std::filesystem::path first = std::filesystem::path(argv[3]) / "MSFS" / folder / (airport.icao + ".xml");
            std::filesystem::create_directories(first.parent_path());
            if (!gf_writeApf(header, first, kApfAirportMode, 1)) throw std::runtime_error("could not write " + first.string());
            pugi::xml_document document;
            if (!document.load_file(first.c_str())) throw std::runtime_error("could not read back " + first.string());
            pugi::xml_node parameters = document.child("root").child("parameters");
            gf_appendIntParameterNode(parameters, "Qf_real", quality.Qf_real);
            gf_appendIntParameterNode(parameters, "Qf_soft", quality.Qf_soft);
            gf_appendIntParameterNode(parameters, "RT_traffic_week", 1);
            std::size_t index = 0;
            for (pugi::xml_node parkpos : document.child("root").child("parkpositions").children("parkpos")) {
                for (const Stay& stay : stays[index]) {
                    const auto hh = gf_bitset2HourRanges(stay.hours);
                    if (!hh) continue;
                    pugi::xml_node opt = parkpos.append_child("opt");
                    gf_appendAttributeString(opt, "reg", stay.reg);
                    gf_appendAttributeString(opt, "airl", stay.airline);
                    gf_appendAttributeString(opt, "type", stay.type);
                    gf_appendAttributeString(opt, "day", fmt::format("{}", stay.day));
                    gf_appendAttributeString(opt, "hh", *hh);
                    gf_appendAttributeString(opt, "cs", stay.cs);
                }
                ++index;
            }
            for (const char* sim : {"MSFS", "MSFS2024"}) {
                const std::filesystem::path out = std::filesystem::path(argv[3]) / sim / folder / (airport.icao + ".xml");
                std::filesystem::create_directories(out.parent_path());
                if (!gf_saveXml(document, out)) throw std::runtime_error("could not write " + out.string());
            }
        };
        writeArchived("stock", "archive/stock");
        if (argc == 5) writeArchived(argv[4], std::filesystem::path("archive/thirdparty") / argv[4]);
        // Silent on success: it runs as a step of the build, whose own line says what it makes.
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "airportgen: %s\n", e.what());
        return 1;
    }
}
