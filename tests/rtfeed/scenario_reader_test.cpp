// The scenario's lines through the program's own traffic reader at Billund: the aircraft pass,
// the targets meant to be dropped are dropped, and what passes says on the ground or airborne
// as the track does.
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/settings.hpp"
#include "core/captured_log.hpp"
#include "links/park_airport.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "rtfeed/scenario_plan.hpp"

namespace rtfeed {
namespace {

class ScenarioThroughTheReader : public ::testing::Test {
protected:
    void SetUp() override {
        airport = readScenarioAirport(std::string(QUORVEL_SOURCE_DIR) + "/data/scenario/EKBI.json");
        savedRange = tamrix::gRangeNm.load();
        tamrix::gRangeNm.store(40.0);
        tamrix::gf_openTrafficGate();
        tamrix::gf_clearTrafficIntake();
        reader.setUserPosition({airport.user.latitude, airport.user.longitude});
        reader.qnh.store(1013);
        reader.setParkAirportElevation(airport.elevationFt);
        const Position ref = airport.frame.origin();
        tamrix::gf_setParkAirport({tamrix::FixedCode<4>("EKBI"), {ref.latitude, ref.longitude},
                                   static_cast<float>(airport.elevationFt)});
        tamrix::AIRBORNE_ONLY.current.store(false);
    }
    void TearDown() override {
        tamrix::gf_clearParkAirport();
        tamrix::gf_clearTrafficIntake();
        tamrix::gRangeNm.store(savedRange);
    }

    std::optional<tamrix::TrafficLine> read(const std::string& line) {
        reader.interpret(line);
        std::vector<tamrix::TrafficLine> out;
        tamrix::gf_takeTrafficLines(4, out);
        EXPECT_LE(out.size(), 1u);
        if (out.empty()) return std::nullopt;
        return std::move(out.front());
    }

    testsupport::CapturedLog log;
    tamrix::TrafficReader& reader = tamrix::gf_trafficReader();
    ScenarioAirport airport;
    double savedRange = 0.0;
};

TEST_F(ScenarioThroughTheReader, AircraftPassAndTheOthersAreDropped) {
    PlanOptions options;
    options.horizonSeconds = 600.0;
    const ScenarioPlan plan = planScenario(airport, options);
    std::map<TargetKind, int> passed, sent;
    for (const auto& f : plan.flights) {
        for (double t = std::ceil(f.track.start()); t <= f.track.end() && t <= options.horizonSeconds; t += 2.0) {
            const Flight flight = flightAt(f, plan.frame, t);
            const TrackState state = f.track.at(t);
            const auto line = read(formatTrafficLine(flight, 1.8e9 + t));
            ++sent[f.kind];
            const double nm = distanceNm(airport.user, flight.position);
            const bool aircraft = f.kind == TargetKind::Arrival || f.kind == TargetKind::Departure ||
                                  f.kind == TargetKind::Overflight;
            EXPECT_EQ(line.has_value(), aircraft && nm <= 40.0) << f.identity.callsign << " at " << t;
            if (!line) continue;
            ++passed[f.kind];
            EXPECT_EQ(line->hexid, f.identity.key);
            EXPECT_EQ(line->head.callsign, f.identity.callsign);
            EXPECT_EQ(line->head.registration, f.identity.registration);
            EXPECT_NEAR(line->sample.latitude, flight.position.latitude, 1e-5);
            EXPECT_NEAR(line->sample.longitude, flight.position.longitude, 1e-5);
            const double height = state.altitudeFt - airport.elevationFt;
            if (state.onGround) {
                EXPECT_EQ(line->sample.airborne, 0) << f.identity.callsign << " at " << t;
            } else if (height > 110.0) {
                EXPECT_EQ(line->sample.airborne, 1) << f.identity.callsign << " at " << t;
            }
            ASSERT_TRUE(line->sample.trueHeading.has_value());
            EXPECT_NEAR(std::remainder(*line->sample.trueHeading * 57.29577951308232 - state.headingDeg, 360.0), 0.0, 0.06);
        }
    }
    for (const auto kind : {TargetKind::Arrival, TargetKind::Departure, TargetKind::Overflight}) {
        EXPECT_GT(passed[kind], 50) << kindName(kind);
    }
    for (const auto kind : {TargetKind::GroundVehicle, TargetKind::Glider, TargetKind::FarAway}) {
        EXPECT_GT(sent[kind], 50) << kindName(kind);
        EXPECT_EQ(passed[kind], 0) << kindName(kind);
    }
    for (const auto& l : log.lines()) EXPECT_EQ(l.find("exception in processLineSub"), std::string::npos) << l;
}

} // namespace
} // namespace rtfeed
