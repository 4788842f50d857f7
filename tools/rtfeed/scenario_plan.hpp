#pragma once
// The traffic of a scenario run around one airport: which aircraft arrive, depart, pass over or
// must be dropped by the receiving program, when, and on which stands. A pushback, the first
// take-off, an arrival reaching its stand and the first landing fall within the first 45
// seconds, so that a short run shows them all (the receiver replays them 30 s later); after
// that the pattern repeats every five minutes with new flights until the planned time is over.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtfeed/feed_traffic.hpp"
#include "rtfeed/scenario_airport.hpp"
#include "rtfeed/scenario_tracks.hpp"

namespace rtfeed {

enum class TargetKind {
    Arrival,
    Departure,
    Overflight,
    GroundVehicle,  // not an aircraft: type and emitter category say so, or " VEH" in the line
    Glider,         // not an aircraft by its emitter category
    FarAway,        // beyond any receiving radius
};
std::string_view kindName(TargetKind kind);

struct ScenarioFlight {
    Flight identity;        // key, callsign, type, registration, origin, destination, category
    TargetKind kind = TargetKind::Overflight;
    Track track;            // scenario seconds; reports end where the track ends (the flight goes stale)
    std::optional<std::size_t> stand;       // index into the airport's stands
    bool repeatsStaleLines = false;         // now and then one of its older lines is sent again
    std::vector<std::pair<double, std::string>> events;  // scenario time, what happens
};

struct ScenarioPlan {
    LocalFrame frame;  // the airport's
    Layout layout;
    std::vector<ScenarioFlight> flights;
};

struct PlanOptions {
    double horizonSeconds = 7200.0;  // scenario seconds to plan from 0
    uint32_t seed = 1;
    double parkedSeconds = 150.0;    // arrivals stay reported on their stand this long
};

ScenarioPlan planScenario(const ScenarioAirport& airport, const PlanOptions& options);

// The line state of a flight at scenario time t, in the form the traffic line is written from.
Flight flightAt(const ScenarioFlight& flight, const LocalFrame& frame, double t);

} // namespace rtfeed
