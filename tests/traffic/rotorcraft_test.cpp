// Rotorcraft off and on the ground, replayed from noisy feeds through the intake and the
// live-traffic tick: lifting off by the reports' heights, hovering, standing on a pad and being
// held there when the reports stop, and the nose of a slow one.

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "links/traffic_intake.hpp"
#include "links/traffic_line.hpp"
#include "traffic/movement.hpp"
#include "traffic/movement_test_support.hpp"
#include "traffic/traffic_birth.hpp"

namespace {

using namespace mvtest;

class RotorcraftTest : public ::testing::Test {
protected:
    void SetUp() override { resetWorld(); }
    void TearDown() override { resetWorld(); }
};

constexpr uint32_t kKey = 20500;
constexpr double kFirstLine = 1000.0; // time stamp of the first line (s)
// The reader puts a rotorcraft report up to this height above the park airport on the ground.
constexpr double kReaderGroundFt = 42.0;

const GeoPosition kPadA = gf_destinationPoint(kAirport, 0.0, 200.0 / 0.3048);
const GeoPosition kPadB = gf_destinationPoint(kPadA, kPi / 2, 10.0 * 30.0 / 3600.0 * kFeetPerNm);

// Where the rotorcraft truly is at a time of the script (s): its place, height above the field
// (ft), ground speed (kt), track (degrees) and vertical speed (ft/min).
struct Truth {
    GeoPosition at;
    double height = 0.0;
    double speed = 0.0;
    double track = 0.0;
    double verticalSpeed = 0.0;
};
using Script = std::function<Truth(double)>;

// The feed of a script over `seconds`: a line every 2-6 s, a fifth of them sent twice, each
// position 3-8 m off, each height +-30 ft, each speed +-1.5 kt (never below 0), as the reader
// hands them on (a rotorcraft's report within 42 ft of the field is on the ground, altitude 0).
std::vector<TrafficLine> feedOf(const Script& script, double seconds, unsigned seed, double speedNoise = 1.5,
                                double longestGap = 6.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> gap(2.0, longestGap), off(3.0, 8.0), way(0.0, 2.0 * kPi), height(-30.0, 30.0),
        speed(-speedNoise, speedNoise), unit(0.0, 1.0);
    std::vector<TrafficLine> lines;
    for (double t = 0.0; t <= seconds; t += gap(rng)) {
        const Truth truth = script(t);
        TrafficLine line;
        line.hexid = kKey;
        line.timeStamp = kFirstLine + t;
        PositionSample& s = line.sample;
        const GeoPosition p = gf_destinationPoint(truth.at, way(rng), off(rng) / 0.3048);
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        const double h = truth.height + height(rng);
        s.airborne = h > kReaderGroundFt ? 1 : 0;
        s.altitude = s.airborne ? kGroundFt + h : 0.0;
        s.groundSpeed = s.trueAirspeed = std::max(0.0, std::round((truth.speed + speed(rng)) * 10.0) / 10.0);
        s.track = truth.track;
        s.verticalSpeed = truth.verticalSpeed;
        lines.push_back(line);
        if (unit(rng) < 0.2) {
            TrafficLine again = line;
            again.timeStamp += 0.5; // from a second receiver
            lines.push_back(again);
        }
    }
    return lines;
}

// The program's due tick of a line: received `t` s into the feed, due 30 s later.
int64_t dueOf(const TrafficLine& line) { return 100 + std::llround((line.timeStamp - kFirstLine) * 100.0); }

// Replays the feed as the program takes it: the first two lines make the aircraft (in `phase`),
// each later one goes through the intake when it comes, 30 s before it falls due. The trace of
// every tick until `after` ticks past the last line's due tick.
std::vector<TracePoint> replay(const std::vector<TrafficLine>& lines, MovePhase phase, int64_t after = 0,
                               const std::function<void(LiveAircraft&)>& setUp = {}) {
    std::vector<PositionSample> first;
    for (std::size_t i = 0; i < 2; ++i) {
        first.push_back(lines[i].sample);
        first.back().dueTick = dueOf(lines[i]);
    }
    LiveAircraft& ac = addAircraft(AircraftCategory::Rotorcraft, kKey, first, phase);
    ac.lastUpdateTime = lines[1].timeStamp;
    if (setUp) setUp(ac);
    std::size_t delivered = 2;
    std::vector<TracePoint> trace;
    const int64_t end = dueOf(lines.back()) + after;
    while (gf_tickCount() < end) {
        while (delivered < lines.size() && dueOf(lines[delivered]) - kSampleDelayTicks <= gf_tickCount()) {
            TrafficLine line = lines[delivered++];
            line.sample.dueTick = dueOf(line);
            lf_onTrafficUpdate(line);
        }
        const auto part = run(kKey, 1);
        if (part.empty()) break;
        trace.push_back(part.front());
    }
    return trace;
}

// The trace points between two times of the feed (s).
std::vector<TracePoint> between(const std::vector<TracePoint>& trace, double from, double to) {
    std::vector<TracePoint> out;
    for (const TracePoint& t : trace)
        if (t.tick >= 100 + std::llround(from * 100.0) && t.tick <= 100 + std::llround(to * 100.0)) out.push_back(t);
    return out;
}

// The last tick at which the aircraft was active (not on its way out of the simulator).
int64_t lastActive(const std::vector<TracePoint>& trace) {
    int64_t last = -1;
    for (const TracePoint& t : trace)
        if (t.state == LiveState::Active) last = t.tick;
    return last;
}

double metresFrom(GeoPosition p, const TracePoint& t) {
    return gf_distanceNm(p, {t.position.latitude, t.position.longitude}) * kMetresPerNm;
}

// Standing on pad A at 0 kt.
Truth standingOnPadA(double) { return {kPadA, 0.0, 0.0, 90.0, 0.0}; }

// 20 s on pad A, a lift to 50 ft in 6 s, 30 s of air taxi east at 10 kt to pad B, 6 s down
// onto it, then standing there. (Lower, at 30 ft, the reader puts seven in ten of its lines on
// the ground: its reports hardly leave the ground.)
Truth airTaxiToPadB(double t) {
    if (t < 20.0) return {kPadA, 0.0, 0.0, 90.0, 0.0};
    if (t < 26.0) return {kPadA, 50.0 / 6.0 * (t - 20.0), 0.0, 90.0, 500.0};
    if (t < 56.0) {
        const GeoPosition p = gf_destinationPoint(kPadA, kPi / 2, 10.0 * (t - 26.0) / 3600.0 * kFeetPerNm);
        return {p, 50.0, 10.0, 90.0, 0.0};
    }
    if (t < 62.0) return {kPadB, 50.0 - 50.0 / 6.0 * (t - 56.0), 0.0, 90.0, -500.0};
    return {kPadB, 0.0, 0.0, 90.0, 0.0};
}

// 20 s on pad A, then straight up at 500 ft/min.
Truth verticalClimb(double t) {
    if (t < 20.0) return {kPadA, 0.0, 0.0, 90.0, 0.0};
    return {kPadA, 500.0 * (t - 20.0) / 60.0, 0.0, 90.0, 500.0};
}

// Hovering over pad A at `height` ft.
Script hoverAt(double height) {
    return [height](double) { return Truth{kPadA, height, 0.0, 90.0, 0.0}; };
}

// From a hover 100 ft above pad A, 10 s, down at 300 ft/min onto it, then standing there.
Truth landingOnPadA(double t) {
    if (t < 10.0) return {kPadA, 100.0, 0.0, 90.0, 0.0};
    if (t < 30.0) return {kPadA, 100.0 - 5.0 * (t - 10.0), 0.0, 90.0, -300.0};
    return {kPadA, 0.0, 0.0, 90.0, 0.0};
}

// ---- standing and hovering, as before ----

TEST_F(RotorcraftTest, AHelicopterStandingOnItsPadStaysThereAsOneObjectAndWaitsWhenItsReportsStop) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        resetWorld();
        auto lines = feedOf(standingOnPadA, 90.0, seed);
        // One stray height among them: 50 ft up for one report.
        lines[lines.size() / 2].sample.airborne = 1;
        lines[lines.size() / 2].sample.altitude = kGroundFt + 50.0;
        // And a minute on after its reports stop.
        const auto trace = replay(lines, MovePhase::Taxi, 6000);
        ASSERT_FALSE(trace.empty());
        EXPECT_GE(lastActive(trace) + 1, dueOf(lines.back()) + 6000) << "seed " << seed << ": gone";
        double farthest = 0.0;
        int inTheAir = 0;
        for (const TracePoint& t : trace) {
            inTheAir += t.onGround ? 0 : 1;
            farthest = std::max(farthest, metresFrom(kPadA, t));
        }
        EXPECT_EQ(inTheAir, 0) << "seed " << seed << ": ticks in the air";
        EXPECT_LT(farthest, 10.0) << "seed " << seed << ": metres off the pad";
        const LiveAircraft* ac = findAircraft(kKey);
        ASSERT_NE(ac, nullptr);
        EXPECT_EQ(ac->state, LiveState::Active);
        EXPECT_EQ(ac->objectId, kKey - 10000 + 100) << "seed " << seed << ": another object";
    }
}

TEST_F(RotorcraftTest, AHoveringHelicopterKeepsItsHeight) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        resetWorld();
        const auto lines = feedOf(hoverAt(80.0), 90.0, seed);
        const auto trace = replay(lines, MovePhase::Flying);
        ASSERT_FALSE(trace.empty());
        EXPECT_GE(lastActive(trace) + 1, dueOf(lines.back())) << "seed " << seed << ": gone";
        double lowest = 1e9, highest = -1e9, sum = 0.0;
        int onGround = 0;
        for (const TracePoint& t : trace) {
            lowest = std::min(lowest, t.agl);
            highest = std::max(highest, t.agl);
            sum += t.agl;
            onGround += t.onGround ? 1 : 0;
        }
        EXPECT_EQ(onGround, 0) << "seed " << seed;
        EXPECT_GT(lowest, 40.0) << "seed " << seed;
        EXPECT_LT(highest, 120.0) << "seed " << seed;
        EXPECT_NEAR(sum / static_cast<double>(trace.size()), 80.0, 15.0) << "seed " << seed;
    }
}

// ---- lifting off by the reports' heights ----

TEST_F(RotorcraftTest, AHelicopterAirTaxiingLowFromPadToPadIsInTheAirOnTheWay) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        resetWorld();
        const auto lines = feedOf(airTaxiToPadB, 100.0, seed);
        const auto trace = replay(lines, MovePhase::Taxi);
        ASSERT_FALSE(trace.empty());
        EXPECT_GE(lastActive(trace) + 1, dueOf(lines.back())) << "seed " << seed << ": gone";
        // On its way, from 4 s into the air taxi to 2 s before its end, low in the air.
        const auto way = between(trace, 30.0, 54.0);
        ASSERT_FALSE(way.empty());
        std::size_t inTheAir = 0;
        double sum = 0.0, highest = 0.0;
        for (const TracePoint& t : way) {
            inTheAir += t.onGround ? 0 : 1;
            sum += t.agl;
            highest = std::max(highest, t.agl);
        }
        EXPECT_GE(inTheAir, way.size() * 9 / 10) << "seed " << seed << ": ticks in the air of " << way.size();
        EXPECT_GT(sum / static_cast<double>(way.size()), kCgFt + 5.0) << "seed " << seed << ": mean height";
        EXPECT_LT(highest, 90.0) << "seed " << seed;
        // Down on pad B at the end.
        EXPECT_TRUE(trace.back().onGround) << "seed " << seed;
        EXPECT_LT(metresFrom(kPadB, trace.back()), 10.0) << "seed " << seed;
    }
}

TEST_F(RotorcraftTest, AHelicopterClimbingStraightUpFromItsPadFollowsTheFedHeights) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        resetWorld();
        const auto lines = feedOf(verticalClimb, 90.0, seed);
        const auto trace = replay(lines, MovePhase::Taxi);
        ASSERT_FALSE(trace.empty());
        EXPECT_GE(lastActive(trace) + 1, dueOf(lines.back())) << "seed " << seed << ": gone";
        // From 10 s into the climb it is where the feed has it, within the feed's noise and a
        // little; its height never jumps.
        for (const TrafficLine& line : lines) {
            const double t = line.timeStamp - kFirstLine;
            if (t < 30.0) continue;
            const auto at = std::find_if(trace.begin(), trace.end(),
                                         [&](const TracePoint& p) { return p.tick >= dueOf(line); });
            ASSERT_NE(at, trace.end());
            EXPECT_NEAR(at->agl, verticalClimb(t).height, 60.0) << "seed " << seed << " at " << t << " s";
        }
        double fastest = 0.0;
        for (std::size_t i = 1; i < trace.size(); ++i)
            fastest = std::max(fastest, trace[i].position.altitude - trace[i - 1].position.altitude);
        EXPECT_LE(fastest, gf_categoryValues(AircraftCategory::Rotorcraft).climbStepLimit + 1.0)
            << "seed " << seed << ": ft in a tick";
    }
}

TEST_F(RotorcraftTest, AHoverReportedBelowTheGroundComesDownOntoItAndStaysThere) {
    // Over pad A, the first two reports 60 ft up, the others 10 ft below the ground (a baro
    // error), in the air by their height above the park airport's stated elevation.
    auto lines = feedOf(hoverAt(60.0), 90.0, 7);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        PositionSample& s = lines[i].sample;
        s.latitude = kPadA.latitude;
        s.longitude = kPadA.longitude;
        s.airborne = 1;
        s.altitude = kGroundFt + (i < 2 ? 60.0 : -10.0);
    }
    const auto trace = replay(lines, MovePhase::Flying);
    ASSERT_FALSE(trace.empty());
    EXPECT_GE(lastActive(trace) + 1, dueOf(lines.back()));
    const auto down = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.onGround; });
    ASSERT_NE(down, trace.end()) << "never on the ground";
    double lowest = 1e9;
    for (const TracePoint& t : trace)
        lowest = std::min(lowest, t.agl);
    EXPECT_GE(lowest, kCgFt - 0.01) << "below the ground";
    const auto up = std::find_if(down, trace.end(), [](const TracePoint& t) { return !t.onGround; });
    EXPECT_EQ(up, trace.end()) << "off the ground again at tick " << (up == trace.end() ? 0 : up->tick);
}

// ---- held on the ground when its reports stop ----

TEST_F(RotorcraftTest, AHelicopterLandedOnItsPadIsHeldThereWhenItsReportsStop) {
    for (unsigned seed = 1; seed <= 2; ++seed) {
        resetWorld();
        const auto lines = feedOf(landingOnPadA, 50.0, seed);
        const auto trace = replay(lines, MovePhase::Flying, 10 * 6000);
        ASSERT_FALSE(trace.empty());
        const int64_t kept = lastActive(trace) - dueOf(lines.back());
        EXPECT_GE(kept, 10 * 6000 - 1) << "seed " << seed << ": removed " << kept / 100 << " s after its last line";
        EXPECT_TRUE(trace.back().onGround);
        EXPECT_LT(metresFrom(kPadA, trace.back()), 10.0);
    }
}

TEST_F(RotorcraftTest, AHelicopterHeldOnItsPadIsGivenUpAfterTheHoldingTime) {
    MAX_HOLDING_MINUTES.current.store(1);
    const auto lines = feedOf(landingOnPadA, 50.0, 3);
    const auto trace = replay(lines, MovePhase::Flying, 5 * 6000);
    ASSERT_FALSE(trace.empty());
    const int64_t kept = lastActive(trace) - dueOf(lines.back());
    EXPECT_GT(kept, 6000) << "ticks kept after its last line";
    EXPECT_LT(kept, 5 * 6000 - 1) << "ticks kept after its last line";
}

TEST_F(RotorcraftTest, AHoveringHelicopterWhoseReportsStopIsGivenUp) {
    const auto lines = feedOf(hoverAt(80.0), 40.0, 5);
    const auto trace = replay(lines, MovePhase::Flying, 5 * 6000);
    ASSERT_FALSE(trace.empty());
    const int64_t kept = lastActive(trace) - dueOf(lines.back());
    EXPECT_GT(kept, 30 * 100) << "ticks kept after its last line";
    EXPECT_LT(kept, 120 * 100) << "ticks kept after its last line";
}

// ---- the nose of a slow one ----

// East at `speed` kt, 200 ft up.
Script driftingEast(double speed) {
    return [speed](double t) {
        const GeoPosition from = gf_destinationPoint(kAirport, 0.0, 0.3 * kFeetPerNm);
        return Truth{gf_destinationPoint(from, kPi / 2, speed * t / 3600.0 * kFeetPerNm), 200.0, speed, 90.0, 0.0};
    };
}

// The fastest turn of the nose (degrees in a tick) of a helicopter whose transponder has its
// nose north while it drifts east.
double fastestNoseTurn(const std::vector<TrafficLine>& fed) {
    std::vector<TrafficLine> lines = fed;
    for (TrafficLine& l : lines) {
        l.sample.headingKnown = 1;
        l.sample.trueHeading = kFullTurn;
    }
    const auto trace = replay(lines, MovePhase::Flying, 0, [](LiveAircraft& ac) { ac.position.heading = 0.0; });
    double fastest = 0.0;
    for (std::size_t i = 1; i < trace.size(); ++i)
        fastest = std::max(fastest, degreesBetween(trace[i].position.heading, trace[i - 1].position.heading));
    return fastest;
}

TEST_F(RotorcraftTest, ASlowHelicoptersNoseTurnsNoFasterWhenItsReportedSpeedCrossesTenKnots) {
    const double turnRate = gf_categoryValues(AircraftCategory::Rotorcraft).angleStepRad / kDeg;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        resetWorld();
        const auto lines = feedOf(driftingEast(9.0), 90.0, seed, 1.5, 3.0);
        bool crosses = false;
        for (const TrafficLine& l : lines)
            crosses = crosses || l.sample.groundSpeed > 10.0;
        ASSERT_TRUE(crosses);
        EXPECT_LE(fastestNoseTurn(lines), 1.25 * turnRate) << "seed " << seed << ": degrees in a tick";
    }
}

TEST_F(RotorcraftTest, ASlowHelicoptersNoseLimitHasNoEdgeAtTenKnots) {
    // Just below and just above ten knots, each report within 0.4 kt of it.
    for (unsigned seed = 1; seed <= 3; ++seed) {
        resetWorld();
        const double below = fastestNoseTurn(feedOf(driftingEast(9.6), 90.0, seed, 0.4, 3.0));
        resetWorld();
        const double above = fastestNoseTurn(feedOf(driftingEast(10.4), 90.0, seed, 0.4, 3.0));
        EXPECT_LE(above, 1.25 * below) << "seed " << seed << ": degrees in a tick";
    }
}

} // namespace
