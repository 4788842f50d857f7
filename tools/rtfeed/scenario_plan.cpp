#include "rtfeed/scenario_plan.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>

#include <fmt/format.h>

namespace rtfeed {
namespace {

constexpr double kCycleSeconds = 300.0;
constexpr double kFirstCycle = 120.0;          // the repeating pattern starts after the opening
constexpr double kClimbSeconds = 240.0;        // departures are reported this long after lift-off
constexpr double kStandMarginSeconds = 600.0;  // a stand stays free this long after its aircraft went stale
constexpr double kUserClearanceM = 250.0;      // traffic keeps this far from the user's stand
constexpr double kFirstLiftOff = 33.0;          // the opening departure's
// The runway is busy for the last seconds of an approach (the aircraft within some 700 m of the
// threshold), and until a departure is this far past lift-off (airborne, over the far end).
constexpr double kFinalSeconds = 10.0;
constexpr double kDepartureAheadSeconds = 5.0;

struct Airframe {
    const char* airline;
    int flightNumber;
    const char* type;
    const char* registration;  // as the reference data and the sample liveries know it
    const char* other;         // the other end of the flight
    const char* category;
};

// Jets that serve the airport; registrations of the reference data, types and operators the
// sample liveries cover.
constexpr std::array<Airframe, 10> kJets{{
    {"RYR", 6461, "B738", "EI-DCL", "STN", "A3"},
    {"KLM", 1341, "B738", "PH-BXA", "AMS", "A3"},
    {"DLH", 2434, "A320", "D-AIZZ", "FRA", "A3"},
    {"BAW", 814, "A320", "G-EUUA", "LHR", "A3"},
    {"EZY", 7142, "A20N", "G-UZHA", "LGW", "A3"},
    {"DLH", 1766, "E190", "D-AECA", "MUC", "A3"},
    {"AFR", 1350, "A320", "F-GKXA", "CDG", "A3"},
    {"BAW", 818, "A20N", "G-TTNA", "LHR", "A3"},
    {"DLH", 2436, "A20N", "D-AINA", "MUC", "A3"},
    {"SAS", 1706, "A321", "OY-KBO", "OSL", "A3"},
}};
constexpr std::array<Airframe, 2> kLight{{
    {"", 0, "C172", "D-EFAB", "null", "A1"},
    {"", 0, "P28A", "D-EAB", "null", "A1"},
}};
constexpr std::array<Airframe, 4> kOverflights{{
    {"UAE", 67, "B77W", "A6-EGA", "DXB", "A5"},
    {"FIN", 853, "A359", "OH-LWA", "HEL", "A5"},
    {"THY", 1783, "B77W", "TC-JJA", "IST", "A5"},
    {"SAS", 937, "A333", "LN-RKF", "CPH", "A5"},
}};
constexpr std::array<const char*, 4> kOverflightDestinations{"JFK", "LHR", "KEF", "ORD"};

bool isLight(const Airframe& a) { return std::string_view(a.category) == "A1"; }

// Parking types that fit the category, as the receiving program matches them: general-aviation
// ramps for the light aircraft, gates for the jets (all of the Large category;
// no cargo flights, so no cargo ramps).
bool standFits(int type, bool light) {
    if (light) return type == 1 || type == 2 || type == 3 || type == 14;
    return type == 8 || type == 9 || type == 15;
}

// The same aircraft again in a later cycle: the registration's last letter moves on (light
// aircraft take turns, so they move on every other round).
std::string registrationOf(const Airframe& a, int round) {
    std::string r = a.registration;
    if (isLight(a)) round /= 2;
    if (round > 0 && !r.empty() && r.back() >= 'A' && r.back() <= 'Z')
        r.back() = static_cast<char>('A' + (r.back() - 'A' + round) % 26);
    return r;
}

Flight identityOf(const Airframe& a, int round, uint32_t key, bool arriving) {
    Flight f;
    f.key = key;
    f.registration = registrationOf(a, round);
    if (a.airline[0] != '\0') {
        f.callsign = fmt::format("{}{}", a.airline, a.flightNumber + 10 * round + (arriving ? 0 : 1));
    } else {
        for (char c : f.registration)
            if (c != '-') f.callsign += c;
    }
    f.type = a.type;
    f.category = a.category;
    f.origin = arriving ? a.other : "BLL";
    f.destination = arriving ? "BLL" : a.other;
    return f;
}

struct Stands {
    const ScenarioAirport& airport;
    std::vector<std::vector<std::pair<double, double>>> taken;
    std::vector<bool> usable;

    explicit Stands(const ScenarioAirport& a) : airport(a), taken(a.stands.size()), usable(a.stands.size(), true) {
        for (std::size_t i = 0; i < a.stands.size(); ++i) {
            if (a.userStand && length(a.stands[i].position - a.stands[*a.userStand].position) < kUserClearanceM)
                usable[i] = false;
            if (!a.userStand && length(a.stands[i].position - a.frame.toLocal(a.user)) < kUserClearanceM)
                usable[i] = false;
        }
    }
    bool freeOver(std::size_t i, double from, double to) const {
        if (!usable[i]) return false;
        for (const auto& [a, b] : taken[i])
            if (from < b && to > a) return false;
        return true;
    }
    // Fitting stands in a seeded order.
    std::vector<std::size_t> candidates(bool light, std::mt19937& random) const {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < airport.stands.size(); ++i)
            if (usable[i] && standFits(airport.stands[i].type, light)) out.push_back(i);
        std::shuffle(out.begin(), out.end(), random);
        return out;
    }
};

} // namespace

std::string_view kindName(TargetKind kind) {
    switch (kind) {
    case TargetKind::Arrival: return "arrival";
    case TargetKind::Departure: return "departure";
    case TargetKind::Overflight: return "overflight";
    case TargetKind::GroundVehicle: return "ground vehicle";
    case TargetKind::Glider: return "glider";
    case TargetKind::FarAway: return "far away";
    }
    return "target";
}

ScenarioPlan planScenario(const ScenarioAirport& airport, const PlanOptions& options) {
    ScenarioPlan plan;
    plan.frame = airport.frame;
    plan.layout = layoutOf(airport, 0, true);
    const Layout& layout = plan.layout;
    std::mt19937 random(options.seed);
    std::uniform_real_distribution<double> unit01(0.0, 1.0);
    Stands stands(airport);
    Busy runway;
    uint32_t nextKey = 4500000;
    const double horizon = options.horizonSeconds;
    const std::string rwy = layout.runwayEnd;

    const auto standName = [&](std::size_t i) { return fmt::format("stand {}", airport.stands[i].number); };
    const auto label = [](const Flight& f) { return fmt::format("{} ({} {})", f.callsign, f.type, f.registration); };

    // An arrival touching down at `touchdown`, or later when the runway is busy then, on the
    // first stand of the seeded order that is free from its arrival until long after it went
    // stale. False when no stand is free.
    const auto addArrival = [&](const Airframe& a, int round, double touchdown) {
        const bool light = isLight(a);
        const Performance perf = light ? lightPerformance() : jetPerformance();
        for (std::size_t i : stands.candidates(light, random)) {
            ArrivalTimes times;
            Track track;
            for (bool moved = true; moved;) {
                const double approach = std::clamp(touchdown + 60.0, 60.0, 420.0);
                track = arrivalTrack(layout, perf, airport.stands[i], touchdown, approach, options.parkedSeconds, &times);
                moved = false;
                for (const auto& [from, to] : runway)
                    if (touchdown - kFinalSeconds < to && times.vacated > from) {
                        touchdown = to + kFinalSeconds + 1.0;
                        moved = true;
                    }
            }
            if (!stands.freeOver(i, times.onStand - 30.0, track.end() + kStandMarginSeconds)) continue;
            stands.taken[i].push_back({times.onStand - 30.0, track.end() + kStandMarginSeconds});
            runway.push_back({touchdown - kFinalSeconds, times.vacated});
            ScenarioFlight f;
            f.identity = identityOf(a, round, nextKey++, true);
            f.kind = TargetKind::Arrival;
            f.track = track.from(0.0);
            f.stand = i;
            f.repeatsStaleLines = true;
            const std::string who = label(f.identity);
            f.events = {{touchdown, fmt::format("{} touches down on {}", who, rwy)},
                        {times.vacated, fmt::format("{} leaves the runway", who)},
                        {times.onStand, fmt::format("{} parks on {}", who, standName(i))},
                        {track.end(), fmt::format("{} goes stale on {}", who, standName(i))}};
            plan.flights.push_back(std::move(f));
            return true;
        }
        return false;
    };
    // A departure parked `parkedSeconds` before it pushes back, on a free stand (or on `only`);
    // it pushes back at `pushback`, or in time to line up at `lineUpAt` when that is given. Its
    // take-off waits for the runway. Returns the lift-off time, or nothing when no stand is free.
    const auto addDeparture = [&](const Airframe& a, int round, double parkedSeconds, double pushback,
                                  std::optional<double> lineUpAt,
                                  std::optional<std::size_t> only) -> std::optional<double> {
        for (std::size_t i : stands.candidates(false, random)) {
            if (only && i != *only) continue;
            if (lineUpAt) {
                DepartureTimes trial;
                departureTrack(layout, jetPerformance(), airport.stands[i], 0.0, 0.0, {}, 0.0, &trial);
                pushback = *lineUpAt - trial.lineUp;
            }
            const double appear = pushback - parkedSeconds;
            if (!stands.freeOver(i, appear - 60.0, pushback + 120.0)) continue;
            DepartureTimes times;
            Track track = departureTrack(layout, jetPerformance(), airport.stands[i], appear, pushback, runway,
                                         kClimbSeconds, &times);
            stands.taken[i].push_back({appear - 60.0, pushback + 120.0});
            runway.push_back({times.lineUp, times.liftOff + kDepartureAheadSeconds});
            ScenarioFlight f;
            f.identity = identityOf(a, round, nextKey++, false);
            f.kind = TargetKind::Departure;
            f.track = track.from(0.0);
            f.stand = i;
            f.repeatsStaleLines = round % 2 == 0;
            const std::string who = label(f.identity);
            f.events = {{appear, fmt::format("{} is parked on {}", who, standName(i))},
                        {times.pushback, fmt::format("{} pushes back from {}", who, standName(i))},
                        {times.lineUp, fmt::format("{} lines up on {}", who, rwy)},
                        {times.liftOff, fmt::format("{} lifts off from {}", who, rwy)}};
            plan.flights.push_back(std::move(f));
            return times.liftOff;
        }
        return std::nullopt;
    };
    const auto addOverflight = [&](const Airframe& a, int round, double closestTime) {
        ScenarioFlight f;
        f.identity = identityOf(a, round, nextKey++, true);
        f.identity.destination = kOverflightDestinations[static_cast<std::size_t>(round) % kOverflightDestinations.size()];
        f.kind = TargetKind::Overflight;
        const double course = std::round(unit01(random) * 36.0) * 10.0;
        const double offsetM = (5.0 + unit01(random) * 7.0) * 1852.0 * (unit01(random) < 0.5 ? -1.0 : 1.0);
        const Vec2 closest = courseVector(course + 90.0) * offsetM;
        const double level = 33000.0 + 2000.0 * static_cast<double>(round % 3);
        f.track = cruiseTrack(closest, course, level, 460.0, closestTime, std::max(0.0, closestTime - 240.0),
                              std::min(horizon, closestTime + 240.0));
        f.events = {{closestTime, fmt::format("{} passes over at FL{:.0f}", label(f.identity), level / 100.0)}};
        plan.flights.push_back(std::move(f));
    };

    // The opening: one aircraft already taxiing in, one lining up, one landing soon after, one
    // parked and about to push back, a light aircraft on a longer final, one passing over.
    const std::size_t first = std::uniform_int_distribution<std::size_t>(0, kJets.size() - 1)(random);
    const auto jet = [&](std::size_t n) -> const Airframe& { return kJets[(first + n) % kJets.size()]; };
    addArrival(jet(0), 0, -80.0);
    // The opening departure lines up in time for its take-off roll to begin as the run starts.
    const double lineUpToLiftOff = [&] {
        DepartureTimes trial;
        departureTrack(layout, jetPerformance(), ScenarioStand{}, 0.0, 0.0, {}, 0.0, &trial);
        return trial.liftOff - trial.lineUp;
    }();
    const std::optional<double> firstLiftOff =
        addDeparture(jet(1), 0, 300.0, 0.0, kFirstLiftOff - lineUpToLiftOff, std::nullopt);
    // Landing once the departure is airborne and well ahead.
    addArrival(jet(2), 0, std::max(52.0, firstLiftOff.value_or(0.0) + kDepartureAheadSeconds + kFinalSeconds + 1.0));
    addArrival(kLight[0], 0, 150.0);
    addOverflight(kOverflights[0], 0, 60.0);

    // The repeating pattern, in each cycle of five minutes: a jet lands at 1:40, a departure
    // lines up at 2:45 once the runway is free, every other cycle a light aircraft lands at 4:35;
    // the other cycles leave room for a departure that had to wait.
    // Every arrival is planned before the departures that must wait for it.
    struct PlannedDeparture {
        const Airframe* airframe;
        int round;
        double pushback;
        std::optional<double> lineUpAt;
    };
    std::vector<PlannedDeparture> departures{{&jet(3), 0, 40.0, std::nullopt}};
    int round = 1;
    for (double cycle = kFirstCycle; cycle < horizon; cycle += kCycleSeconds, ++round) {
        const double jitter = std::round(unit01(random) * 10.0);
        addArrival(jet(4 + 3 * static_cast<std::size_t>(round)), round, cycle + 100.0 + jitter);
        departures.push_back({&jet(5 + 3 * static_cast<std::size_t>(round)), round, 0.0, cycle + 165.0 + jitter});
        if (round % 2 == 0)
            addArrival(kLight[static_cast<std::size_t>(round / 2) % kLight.size()], round, cycle + 275.0);
        addOverflight(kOverflights[static_cast<std::size_t>(round) % kOverflights.size()], round, cycle + 150.0);
    }
    // First come, first served at the holding point (some five minutes after a pushback).
    std::stable_sort(departures.begin(), departures.end(), [](const auto& a, const auto& b) {
        return a.lineUpAt.value_or(a.pushback + 300.0) < b.lineUpAt.value_or(b.pushback + 300.0);
    });
    for (const auto& d : departures)
        if (d.lineUpAt.value_or(d.pushback) < horizon)
            addDeparture(*d.airframe, d.round, d.round == 0 ? 70.0 : 150.0, d.pushback, d.lineUpAt, std::nullopt);

    // Targets the receiving program must drop.
    const Vec2 firstTaxiway = layout.onTaxiway(layout.along(layout.threshold) + 300.0);
    const double lapLength = std::min(900.0, layout.lengthM * 0.4);
    const std::vector<Vec2> lap{firstTaxiway, firstTaxiway + layout.direction * lapLength,
                                firstTaxiway + layout.direction * lapLength + layout.apronSide * 60.0,
                                firstTaxiway + layout.apronSide * 60.0};
    const auto addTarget = [&](Flight identity, TargetKind kind, Track track, std::string what) {
        ScenarioFlight f;
        identity.key = nextKey++;
        f.identity = std::move(identity);
        f.kind = kind;
        f.track = std::move(track);
        if (!f.track.empty()) f.events = {{f.track.start(), std::move(what)}};
        plan.flights.push_back(std::move(f));
    };
    Flight vehicle;
    vehicle.callsign = "FOLLOWME";
    vehicle.type = "GRND";
    vehicle.category = "C2";
    addTarget(vehicle, TargetKind::GroundVehicle, lapTrack(lap, 20.0, layout.elevationFt, 0.0, horizon),
              "FOLLOWME (ground vehicle) drives round the apron");
    Flight tanker;
    tanker.callsign = "BLL VEH2";
    tanker.type = "SERV";
    tanker.category = "C1";
    std::vector<Vec2> reversed(lap.rbegin(), lap.rend());
    addTarget(tanker, TargetKind::GroundVehicle, lapTrack(reversed, 15.0, layout.elevationFt, 0.0, horizon),
              "BLL VEH2 (ground vehicle) drives round the apron");
    Flight glider;
    glider.callsign = "OYXGA";
    glider.registration = "OY-XGA";
    glider.type = "GLID";
    glider.category = "B1";
    addTarget(glider, TargetKind::Glider,
              circleTrack(courseVector(300.0) * 7400.0, 180.0, 3500.0, 48.0, true, 0.0, horizon),
              "OYXGA (glider) circles 4 nm north-west");
    Flight far;
    far.callsign = "DLH400";
    far.registration = "D-ABYA";
    far.type = "B748";
    far.origin = "FRA";
    far.destination = "JFK";
    far.category = "A5";
    const Vec2 frankfurt = airport.frame.toLocal({50.03, 8.57});
    addTarget(far, TargetKind::FarAway, cruiseTrack(frankfurt, 300.0, 31000.0, 470.0, 60.0, 0.0, horizon),
              "DLH400 (far away) cruises near Frankfurt");
    Flight copenhagen;
    copenhagen.callsign = "SAS1419";
    copenhagen.registration = "SE-ROB";
    copenhagen.type = "A20N";
    copenhagen.origin = "CPH";
    copenhagen.destination = "ARN";
    const Vec2 kastrup = airport.frame.toLocal({55.6180, 12.6560});
    addTarget(copenhagen, TargetKind::FarAway,
              lapTrack({kastrup, kastrup + Vec2{400.0, 0.0}, kastrup + Vec2{400.0, 300.0}, kastrup + Vec2{0.0, 300.0}},
                       12.0, 17.0, 0.0, horizon),
              "SAS1419 (far away) taxis at Copenhagen");

    std::erase_if(plan.flights, [](const ScenarioFlight& f) { return f.track.empty(); });
    return plan;
}

Flight flightAt(const ScenarioFlight& flight, const LocalFrame& frame, double t) {
    const TrackState s = flight.track.at(t);
    Flight f = flight.identity;
    f.position = frame.toGeo(s.position);
    f.placedAt = f.position;
    f.altitudeFt = s.altitudeFt;
    f.groundSpeedKt = s.groundSpeedKt;
    f.trackDeg = s.trackDeg;
    f.headingDeg = s.headingDeg;
    f.verticalSpeedFpm = s.verticalSpeedFpm;
    f.rollDeg = s.rollDeg;
    f.phase = s.onGround ? Phase::OnGround : Phase::Cruising;
    f.trueAirspeedKt = s.onGround ? -1.0 : std::round(s.groundSpeedKt);
    return f;
}

} // namespace rtfeed
