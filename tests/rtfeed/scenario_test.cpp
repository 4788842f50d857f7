// The scenario mode of the RealTraffic stand-in: the shipped airport, the geometry of the tracks
// it flies there, and the plan of a short run.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/geodesy.hpp"
#include "links/target_classification.hpp"
#include "rtfeed/scenario_plan.hpp"
#include "rtfeed/usage.hpp"

namespace rtfeed {
namespace {

constexpr double kTanGlide = 0.05240777928304121;

const std::string kScenario = std::string(QUORVEL_SOURCE_DIR) + "/data/scenario/EKBI.json";

const ScenarioAirport& billund() {
    static const ScenarioAirport airport = readScenarioAirport(kScenario);
    return airport;
}

// Heading and speed change from one second to the next within what an aircraft can do.
void expectSmooth(const Track& track, const std::string& what) {
    const auto& s = track.states();
    for (std::size_t i = 1; i < s.size(); ++i) {
        const double turn = std::fabs(turnDeg(s[i - 1].headingDeg, s[i].headingDeg));
        EXPECT_LE(turn, s[i].onGround ? 16.0 : 6.0) << what << " second " << i;
        EXPECT_LE(std::fabs(s[i].groundSpeedKt - s[i - 1].groundSpeedKt), 9.0) << what << " second " << i;
        const double moved = length(s[i].position - s[i - 1].position);
        const double expected = 0.5 * (s[i].groundSpeedKt + s[i - 1].groundSpeedKt) * kMetresPerSecondPerKnot;
        EXPECT_NEAR(moved, expected, 0.5 + 0.05 * expected) << what << " second " << i;
    }
}

TEST(ScenarioAirportFile, BillundAsTheProgramWillSeeIt) {
    const ScenarioAirport& a = billund();
    EXPECT_EQ(a.icao, "EKBI");
    EXPECT_DOUBLE_EQ(a.elevationFt, 247.0);
    ASSERT_EQ(a.runways.size(), 1u);
    const ScenarioRunway& r = a.runways[0];
    EXPECT_EQ(r.designator, "09/27");
    EXPECT_NEAR(r.lengthM(), 3100.0, 5.0);
    EXPECT_NEAR(courseOf(r.end2 - r.end1), 88.0, 0.2);
    EXPECT_LT(length((r.end1 + r.end2) * 0.5), 300.0);  // the runway lies by the reference point

    // The vehicle parking is left out, as the program's facility reader does.
    EXPECT_EQ(a.stands.size(), 25u);
    std::map<int, int> byType;
    for (const auto& s : a.stands) ++byType[s.type];
    EXPECT_GE(byType[8] + byType[9] + byType[10] + byType[15], 12);
    EXPECT_GE(byType[1] + byType[2] + byType[3] + byType[14], 6);
    ASSERT_TRUE(a.userStand.has_value());
    EXPECT_EQ(a.stands[*a.userStand].number, 1u);

    // Each stand where the program puts it: the reference point moved east, then north.
    std::ifstream in(kScenario);
    std::stringstream text;
    text << in.rdbuf();
    const auto json = nlohmann::json::parse(text.str());
    std::size_t i = 0;
    for (const auto& p : json["airports"][0]["parkings"]) {
        if (p["type"] == 13) continue;
        tamrix::GeoPosition g{55.740299, 9.15178};
        const double east = p["bias_x_m"], north = p["bias_z_m"];
        g = tamrix::gf_destinationPoint(g, east > 0 ? tamrix::kTwoPi / 4 : 3 * tamrix::kTwoPi / 4, std::fabs(east) / 0.3048);
        g = tamrix::gf_destinationPoint(g, north > 0 ? 0.0 : tamrix::kTwoPi / 2, std::fabs(north) / 0.3048);
        EXPECT_LT(length(a.frame.toLocal({g.latitude, g.longitude}) - a.stands[i].position), 0.05) << i;
        ++i;
    }
}

TEST(ScenarioAirportFile, FaultsNameTheirPlace) {
    const auto fault = [](const std::string& text) {
        try {
            parseScenarioAirport(text, "", "test.json");
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(fault("{").find("test.json: not JSON"), std::string::npos);
    const std::string user = R"("user_aircraft": {"latitude": 55.74, "longitude": 9.15})";
    EXPECT_EQ(fault("{" + user + R"(, "airports": []})"), "test.json: no airport with runways");
    EXPECT_EQ(fault("{" + user + R"(, "airports": [{"icao": "EKBI", "latitude": 55.74, "longitude": 9.15,
        "runways": [{"designator": "09/27", "lat1": 55.74, "lon1": 9.1, "lat2": "north", "lon2": 9.2}]}]})"),
              "test.json.airports[0].runways[0]: 'lat2' must be a number");
    EXPECT_EQ(fault("{" + user + R"(, "airports": [{"icao": "EKBI", "latitude": 55.74, "longitude": 9.15,
        "runways": [{"designator": "09/27", "lat1": 55.74, "lon1": 9.1, "lat2": 55.74, "lon2": 9.2}],
        "parkings": [{"heading_deg": 10}]}]})"),
              "test.json.airports[0].parkings[0]: 'type' is missing");
    EXPECT_EQ(fault("{" + user + R"(, "airports": [{"icao": "EKBI", "latitude": 55.74, "longitude": 9.15,
        "runways": [{"designator": "09/27", "lat1": 55.74, "lon1": 9.1, "lat2": 55.74, "lon2": 9.2}],
        "parkings": [{"type": 9, "number": -4}]}]})"),
              "test.json.airports[0].parkings[0]: 'number' is out of range");
}

TEST(ScenarioPath, CornersAreArcsBetweenStraightLegs) {
    const Path p({{0, 0}, {100, 0}, {100, 100}}, 30.0);
    EXPECT_NEAR(p.length(), 2 * 70.0 + 3.141592653589793 / 2 * 30.0, 1e-6);
    EXPECT_NEAR(p.courseAt(10.0), 90.0, 1e-9);
    EXPECT_NEAR(p.courseAt(p.length() - 1.0), 0.0, 1e-9);
    EXPECT_NEAR(length(p.at(p.length()) - Vec2{100, 100}), 0.0, 1e-6);
    for (double s = 0.5; s <= p.length(); s += 0.5) {
        EXPECT_LT(length(p.at(s) - p.at(s - 0.5)), 0.5 + 1e-9);
        EXPECT_LT(std::fabs(turnDeg(p.courseAt(s - 0.5), p.courseAt(s))), 1.0);
    }
    // A corner too tight for the radius is cut no further than halfway along its legs.
    const Path tight({{0, 0}, {20, 0}, {20, 20}, {40, 20}}, 30.0);
    EXPECT_NEAR(length(tight.at(tight.length()) - Vec2{40, 20}), 0.0, 1e-6);
}

TEST(ScenarioTracks, ArrivalsFlyTheGlidePathLandAndTaxiOntoEveryStand) {
    const ScenarioAirport& a = billund();
    const Layout layout = layoutOf(a);
    EXPECT_EQ(layout.runwayEnd, "27");
    EXPECT_NEAR(courseOf(layout.direction), 268.0, 0.2);
    for (const bool light : {false, true}) {
        const Performance perf = light ? lightPerformance() : jetPerformance();
        for (const auto& stand : a.stands) {
            const bool gate = stand.type == 8 || stand.type == 9 || stand.type == 15;
            const bool ramp = stand.type == 1 || stand.type == 2 || stand.type == 3 || stand.type == 14;
            if (!(light ? ramp : gate)) continue;
            const std::string what = fmt::format("{} to stand {}", light ? "light" : "jet", stand.number);
            ArrivalTimes times;
            const Track t = arrivalTrack(layout, perf, stand, 100.0, 300.0, 60.0, &times);
            expectSmooth(t, what);
            bool landed = false;
            for (const auto& s : t.states()) {
                const double x = layout.along(s.position);
                const double height = (s.altitudeFt - a.elevationFt) * kMetresPerFoot;
                EXPECT_GE(height, -0.01) << what;
                if (!s.onGround) {
                    EXPECT_FALSE(landed) << what << ": airborne again after touchdown";
                    EXPECT_LT(layout.offCentreline(s.position), 0.5) << what;
                    if (x < perf.aimPointM - perf.flareFt * kMetresPerFoot / kTanGlide) {
                        EXPECT_NEAR(height, (perf.aimPointM - x) * kTanGlide, 1.0) << what;
                    }
                    EXPECT_LE(s.verticalSpeedFpm, 0.0) << what;
                    EXPECT_GE(s.verticalSpeedFpm, -1000.0) << what;
                } else if (!landed) {
                    landed = true;
                    EXPECT_GT(x, 100.0) << what << ": touchdown past the threshold";
                    EXPECT_LT(x, 900.0) << what;
                }
                if (s.onGround && s.groundSpeedKt > 40.0) {
                    EXPECT_LT(layout.offCentreline(s.position), 0.5) << what;
                }
            }
            EXPECT_TRUE(landed) << what;
            EXPECT_NEAR(t.at(times.touchdown).altitudeFt, a.elevationFt, 0.5) << what;
            const TrackState last = t.states().back();
            EXPECT_LT(length(last.position - stand.position), 0.3) << what;
            EXPECT_LT(std::fabs(turnDeg(last.headingDeg, stand.headingDeg)), 0.5) << what;
            const TrackState parked = t.at(times.onStand + 1.0);
            EXPECT_EQ(parked.groundSpeedKt, 0.0) << what;
            EXPECT_LT(length(parked.position - stand.position), 0.3) << what;
            EXPECT_NEAR(t.end() - times.onStand, 60.0, 1.0) << what;
            EXPECT_GT(times.vacated, times.touchdown) << what;
            EXPECT_LT(times.vacated, times.onStand) << what;
        }
    }
}

TEST(ScenarioTracks, DeparturesPushBackTaxiWaitForTheRunwayAndClimbOut) {
    const ScenarioAirport& a = billund();
    const Layout layout = layoutOf(a);
    const ScenarioStand& stand = a.stands[5];
    DepartureTimes free, waiting;
    const Track t = departureTrack(layout, jetPerformance(), stand, 0.0, 30.0, {}, 120.0, &free);
    const Track late = departureTrack(layout, jetPerformance(), stand, 0.0, 30.0, {{free.lineUp - 5.0, free.lineUp + 50.0}},
                                      120.0, &waiting);
    EXPECT_NEAR(waiting.lineUp, free.lineUp + 55.0, 0.5);  // held short until the runway is free
    EXPECT_NEAR(waiting.liftOff - waiting.lineUp, free.liftOff - free.lineUp, 0.5);
    for (const Track* track : {&t, &late}) {
        expectSmooth(*track, "departure");
        const auto& s = track->states();
        EXPECT_LT(length(s.front().position - stand.position), 0.01);
        EXPECT_EQ(s.front().headingDeg, stand.headingDeg);
        EXPECT_EQ(s.front().groundSpeedKt, 0.0);
    }
    // Pushback: moving tail first, the nose turns to face the runway's threshold.
    const TrackState pushing = t.at(free.pushback + 15.0);
    EXPECT_GT(pushing.groundSpeedKt, 0.5);
    EXPECT_NEAR(std::fabs(turnDeg(pushing.trackDeg, pushing.headingDeg)), 180.0, 0.5);
    EXPECT_GT(layout.along(t.at(free.pushback + 150.0).position), 0.0);
    // On the centreline from the line-up to lift-off, airborne within the runway, then climbing.
    const TrackState rolling = t.at(free.liftOff - 10.0);
    EXPECT_LT(layout.offCentreline(rolling.position), 0.5);
    EXPECT_TRUE(rolling.onGround);
    EXPECT_NEAR(rolling.headingDeg, 268.0, 0.2);
    const TrackState off = t.at(free.liftOff + 1.0);
    EXPECT_FALSE(off.onGround);
    EXPECT_LT(layout.along(off.position), layout.lengthM - 600.0);
    EXPECT_GT(t.at(free.liftOff + 60.0).altitudeFt, a.elevationFt + 1500.0);
    EXPECT_GT(t.at(free.liftOff + 60.0).verticalSpeedFpm, 1000.0);
    double previous = a.elevationFt;
    for (double time = free.liftOff; time <= t.end(); time += 1.0) {
        EXPECT_GE(t.at(time).altitudeFt, previous);
        previous = t.at(time).altitudeFt;
    }
}

TEST(ScenarioPlanTest, ShortRunShowsLandingTakeOffParkingAndTargetsToDrop) {
    const ScenarioAirport& a = billund();
    PlanOptions options;
    options.horizonSeconds = 1200.0;
    const ScenarioPlan plan = planScenario(a, options);
    std::map<std::string, double> firstEvent;  // the verb of the event, its earliest time
    std::set<TargetKind> kinds;
    std::set<uint32_t> keys;
    int known = 0;
    std::string dbase;
    {
        std::ifstream in(std::string(QUORVEL_SOURCE_DIR) + "/data/input/dbase.xml");
        std::stringstream text;
        text << in.rdbuf();
        dbase = text.str();
    }
    for (const auto& f : plan.flights) {
        kinds.insert(f.kind);
        EXPECT_TRUE(keys.insert(f.identity.key).second) << f.identity.callsign;
        EXPECT_GT(f.identity.key, 10000u);
        EXPECT_GE(f.track.start(), 0.0);
        for (const auto& [time, text] : f.events) {
            for (const char* verb : {"touches down", "lifts off", "parks on", "pushes back", "passes over"}) {
                if (text.find(verb) == std::string::npos || time < 0.0) continue;
                firstEvent.try_emplace(verb, time);
                firstEvent[verb] = std::min(firstEvent[verb], time);
            }
        }
        const Flight line = flightAt(f, plan.frame, f.track.start());
        const std::string text = formatTrafficLine(line, 1.0e9);
        const bool dropped = text.find(" VEH") != std::string::npos || !tamrix::gf_isAircraftTarget(line.type, line.category);
        const bool mustDrop = f.kind == TargetKind::GroundVehicle || f.kind == TargetKind::Glider;
        EXPECT_EQ(dropped, mustDrop) << text;
        if (!mustDrop) {
            EXPECT_NE(dbase.find(line.type), std::string::npos) << line.type;
        }
        if (f.kind == TargetKind::FarAway) {
            EXPECT_GT(distanceNm(a.user, line.position), 100.0);
        }
        if (dbase.find("r=\"" + f.identity.registration + "\"") != std::string::npos) ++known;
        if (f.kind == TargetKind::Arrival || f.kind == TargetKind::Departure) {
            ASSERT_TRUE(f.stand.has_value());
            EXPECT_GE(length(a.stands[*f.stand].position - a.stands[*a.userStand].position), 250.0);
        }
    }
    EXPECT_EQ(kinds.size(), 6u);
    EXPECT_GE(known, 7);  // most of the opening's aircraft are the reference data's own
    EXPECT_LE(firstEvent["touches down"], 90.0);
    EXPECT_LE(firstEvent["lifts off"], 90.0);
    EXPECT_LE(firstEvent["parks on"], 60.0);
    EXPECT_LE(firstEvent["pushes back"], 60.0);
    EXPECT_LE(firstEvent["passes over"], 90.0);

    // No two aircraft on one stand at the same time, and the runway used by one at a time.
    std::vector<std::pair<std::size_t, const ScenarioFlight*>> onStands;
    for (const auto& f : plan.flights)
        if (f.stand) onStands.emplace_back(*f.stand, &f);
    for (double time = 0.0; time < options.horizonSeconds; time += 1.0) {
        std::map<std::size_t, int> occupied;
        int onRunway = 0;
        for (const auto& [stand, f] : onStands) {
            if (time < f->track.start() || time > f->track.end()) continue;
            const TrackState s = f->track.at(time);
            if (length(s.position - a.stands[stand].position) < 1.0) ++occupied[stand];
            // On the runway, or on short final over it.
            const bool low = s.onGround || s.altitudeFt < a.elevationFt + 60.0;
            const double along = plan.layout.along(s.position);
            if (low && plan.layout.offCentreline(s.position) < 30.0 && along > -300.0 && along < plan.layout.lengthM &&
                s.groundSpeedKt > 0.0)
                ++onRunway;
        }
        for (const auto& [stand, n] : occupied) EXPECT_LE(n, 1) << "stand " << stand << " at " << time;
        EXPECT_LE(onRunway, 1) << "at " << time;
    }
}

// --help names the times of the first events of the plan that rtfeed plays by default, as
// --plan lists them (whole seconds).
TEST(ScenarioPlanTest, HelpNamesTheFirstEventsAsThePlanHasThem) {
    const ScenarioPlan plan = planScenario(billund(), {});
    const auto first = [&](std::string_view verb) {
        double earliest = 1e9;
        for (const auto& f : plan.flights)
            for (const auto& [time, text] : f.events)
                if (time >= 0.0 && text.find(verb) != std::string::npos) earliest = std::min(earliest, time);
        const int whole = static_cast<int>(earliest);
        return fmt::format("{}:{:02}", whole / 60, whole % 60);
    };
    const std::string help = std::regex_replace(std::string(kUsage), std::regex("\\s+"), " ");
    for (const auto& [phrase, verb] :
         std::map<std::string, std::string>{{"a pushback at ", "pushes back"},
                                            {"the first take-off at ", "lifts off"},
                                            {"an arrival parks at ", "parks on"},
                                            {"the first landing at ", "touches down"}}) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(help, m, std::regex(phrase + "([0-9]+:[0-9]{2})"))) << phrase;
        EXPECT_EQ(m[1].str(), first(verb)) << phrase;
    }
}

TEST(ScenarioPlanTest, PushbackLinesCarryHeadingAndTrackApart) {
    const ScenarioPlan plan = planScenario(billund(), {});
    const auto departure = std::find_if(plan.flights.begin(), plan.flights.end(), [](const ScenarioFlight& f) {
        return f.kind == TargetKind::Departure && f.track.start() >= 0.0 && f.events.size() > 1 && f.events[1].first > 0.0;
    });
    ASSERT_NE(departure, plan.flights.end());
    // Standing, the track is the heading; pushed, it is opposite; never anything between.
    const double pushback = departure->events[1].first;
    int moving = 0;
    for (double t = pushback - 3.0; t < pushback + 20.0; t += 0.25) {
        const auto fields = splitFields(formatTrafficLine(flightAt(*departure, plan.frame, t), 1.0e9));
        ASSERT_EQ(fields.size(), kTrafficFieldCount);
        EXPECT_EQ(fields[6], "0");
        EXPECT_EQ(fields[4], "247");
        const double apart = std::fabs(turnDeg(std::stod(fields[7]), std::stod(fields[25])));
        if (std::stod(fields[8]) == 0.0) {
            EXPECT_LT(apart, 0.2) << t;
        } else {
            ++moving;
            EXPECT_GT(apart, 179.8) << t;
        }
    }
    EXPECT_GT(moving, 60);
}

} // namespace
} // namespace rtfeed
