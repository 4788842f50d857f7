// Ground movement and parking of live aircraft through the live-traffic tick: the landing from
// the approach to the stand, pushbacks and pull-outs, curves, and who gets a stand.

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>

#include <gtest/gtest.h>

#include "core/captured_log.hpp"
#include "links/sim_definitions.hpp"
#include "links/stand_lookup.hpp"
#include "refdata/dbase.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/movement.hpp"
#include "traffic/movement_test_support.hpp"
#include "traffic/parking.hpp"
#include "traffic/takeoff_landing.hpp"
#include "traffic/traffic_birth.hpp"

namespace {

using namespace mvtest;

class GroundMovementTest : public ::testing::Test {
protected:
    void SetUp() override { resetWorld(); }
    void TearDown() override {
        gf_setReservedStandNameSource(nullptr);
        gf_setStandNameFinder(nullptr);
        gHalfSpans[0] = 0.0;
        resetWorld();
    }
};

// A Large aircraft approaching from the west at 140 kt and 700 ft/min, landing eastwards, rolling
// out, turning left off the runway and taxiing north into stand A5.
struct Arrival {
    std::vector<PositionSample> samples;
    GeoPosition stand;
};

Arrival makeArrival() {
    std::vector<Leg> legs;
    const int approach = 42;
    for (int i = 0; i < approach; ++i) legs.push_back({90.0, 140.0, -700.0, 4.0, true});
    for (double v : {130.0, 110.0, 90.0, 70.0, 50.0, 30.0, 20.0, 15.0}) legs.push_back({90.0, v, 0.0, 4.0, false});
    for (int i = 0; i < 3; ++i) legs.push_back({0.0, 15.0, 0.0, 4.0, false});
    const double approachNm = approach * 140.0 * 4.0 / 3600.0;
    const GeoPosition threshold = gf_destinationPoint(kAirport, kPi, 900.0 / 0.3048);
    const GeoPosition start = gf_destinationPoint(threshold, 1.5 * kPi, approachNm * kFeetPerNm);
    Arrival a;
    a.samples = track(start, kGroundFt + 42 * 700.0 * 4.0 / 60.0 + 5.0, 100, legs);
    // The last reported positions: slowing to 5 kt, then standing 10 m short of the stand.
    const PositionSample last = a.samples.back();
    PositionSample slow = last;
    const GeoPosition p1 = gf_destinationPoint({last.latitude, last.longitude}, 0.0, 15.0 * 4.0 / 3600.0 * kFeetPerNm);
    slow.latitude = p1.latitude;
    slow.longitude = p1.longitude;
    slow.groundSpeed = 5.0;
    slow.dueTick = last.dueTick + 400;
    a.samples.push_back(slow);
    PositionSample stop = slow;
    const GeoPosition p2 = gf_destinationPoint(p1, 0.0, 5.0 * 4.0 / 3600.0 * kFeetPerNm);
    stop.latitude = p2.latitude;
    stop.longitude = p2.longitude;
    stop.groundSpeed = 0.0;
    stop.generated = 1;
    stop.dueTick = slow.dueTick + 400;
    a.samples.push_back(stop);
    a.stand = gf_destinationPoint(p2, 0.0, 10.0 / 0.3048);
    // Stand A5 lies where this flight ends.
    gStandTable[4].latitude = a.stand.latitude;
    gStandTable[4].longitude = a.stand.longitude;
    gStandTable[4].heading = 0.0;
    return a;
}

TEST_F(GroundMovementTest, ArrivalFlaresTouchesDownRollsOutTaxiesAndParksOnItsStand) {
    testsupport::CapturedLog log;
    const Arrival a = makeArrival();
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20020, a.samples, MovePhase::Flying, "DLH400");
    const uint32_t id = ac.objectId;
    const auto trace = run(20020, a.samples.back().dueTick + 2000,
                           [](const LiveAircraft& x) { return x.phase == MovePhase::Parked; });
    ASSERT_FALSE(trace.empty());
    const TracePoint& end = trace.back();
    ASSERT_EQ(end.phase, MovePhase::Parked);
    ASSERT_EQ(end.state, LiveState::Active);

    // Landing armed below 2050 ft within 10 nm: throttle 1, flaps 3, gear down.
    const auto armed = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.landingArmed; });
    ASSERT_NE(armed, trace.end());
    EXPECT_LE(armed->agl, 2050.0);
    const auto evs = eventsOf(id);
    auto has = [&](uint32_t e, uint32_t v) { return std::find(evs.begin(), evs.end(), std::pair{e, v}) != evs.end(); };
    EXPECT_TRUE(has(kEventFlapsSet, 16383));
    EXPECT_TRUE(has(kEventGearSet, 1));
    EXPECT_TRUE(has(kEventThrottleSet, 4914));
    EXPECT_TRUE(has(kEventSpoilersSet, 16383)); // at touchdown

    // The flare: stages 1 to 4 at static CG + 30, 20, 10 and 3 ft with their altitude steps.
    const double thresholds[5] = {0, kCgFt + 30, kCgFt + 20, kCgFt + 10, kCgFt + 3};
    const double steps[5] = {0, -0.1, -0.075, -0.05, -0.025};
    for (uint32_t stage = 1; stage <= 4; ++stage) {
        const auto at = std::find_if(trace.begin(), trace.end(), [&](const TracePoint& t) { return t.landingStage == stage; });
        ASSERT_NE(at, trace.end()) << "stage " << stage;
        EXPECT_LE(at->agl, thresholds[stage] + 1.0) << "stage " << stage;
        EXPECT_DOUBLE_EQ(at->altitudeStep, steps[stage]);
    }
    // Touchdown, derotation to the static pitch, the landing roll ended by the turn-off.
    const auto down = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.onGround; });
    ASSERT_NE(down, trace.end());
    EXPECT_TRUE(down->landingRoll);
    const auto derotated = std::find_if(down, trace.end(), [](const TracePoint& t) { return !t.derotating; });
    ASSERT_NE(derotated, trace.end());
    EXPECT_NEAR(derotated->position.pitch, kStaticPitch, 1e-12);
    EXPECT_FALSE(end.landingRoll);

    // Never below the ground, no heading jumps, every heading within one turn.
    for (const auto& t : trace) EXPECT_GE(t.agl, kCgFt - 0.6);
    for (std::size_t i = 1; i < trace.size(); ++i) {
        EXPECT_LT(degreesBetween(trace[i].position.heading, trace[i - 1].position.heading), 1.0) << "tick " << trace[i].tick;
        EXPECT_GE(trace[i].position.heading, 0.0);
        EXPECT_LT(trace[i].position.heading, kFullTurn);
    }
    // Parked on the stand's position and heading; the stand is marked and the arrival logged.
    EXPECT_LT(gf_distanceNm({end.position.latitude, end.position.longitude}, a.stand) * kMetresPerNm, 0.05);
    EXPECT_LT(degreesBetween(end.position.heading, 0.0), 3.0);
    EXPECT_EQ(gStandTable[4].liveOccupied, 1);
    EXPECT_TRUE(logHas(log, "A5      : DLH400   arrived at stand"));
    const LiveAircraft* parked = findAircraft(20020);
    EXPECT_EQ(parked->standId, 5u);
    // Parked without fresh samples it waits a week and keeps its stand.
    run(20020, 200);
    EXPECT_EQ(findAircraft(20020)->phase, MovePhase::Parked);
    EXPECT_EQ(gStandTable[4].liveOccupied, 1);
}

} // namespace

namespace {

using namespace mvtest;

class GroundManoeuvreTest : public GroundMovementTest {};

GeoPosition standPos(int i) { return {gStandTable[i - 1].latitude, gStandTable[i - 1].longitude}; }

// A Large aircraft parked on stand `sid` (facing north) whose feed shows it moving towards
// `bearing` (radians from the stand): the pushback or pull-out is pending.
LiveAircraft& parkedLeaving(uint32_t key, int sid, double bearing, const char* callsign = "TST1") {
    const GeoPosition at = standPos(sid);
    PositionSample front;
    front.latitude = at.latitude;
    front.longitude = at.longitude;
    front.generated = 1;
    front.dueTick = 100;
    PositionSample moved = front;
    const GeoPosition p = gf_destinationPoint(at, bearing, 30.0 / 0.3048);
    moved.latitude = p.latitude;
    moved.longitude = p.longitude;
    moved.groundSpeed = 3.0;
    moved.generated = 0;
    moved.dueTick = 1100;
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, key, {front, moved}, MovePhase::Parked, callsign);
    ac.standId = static_cast<uint32_t>(sid);
    ac.standLatitude = at.latitude;
    ac.standLongitude = at.longitude;
    ac.standHeading = 0.0;
    ac.position.heading = 0.0;
    ac.move.pushbackPending = 1;
    return ac;
}

TEST_F(GroundManoeuvreTest, StraightPushbackEndsTwoAndAHalfStandRadiiBehind) {
    STRAIGHT_PBS_ONLY.current.store(true);
    parkedLeaving(20030, 3, kPi);
    const auto trace = run(20030, 5000, [](const LiveAircraft& a) { return a.phase == MovePhase::PushedBack; });
    ASSERT_EQ(trace.back().phase, MovePhase::PushedBack);
    const GeoPosition a = gf_destinationPoint(standPos(3), kPi, 2.5 * gStandTable[2].radius * kFeetPerNm);
    EXPECT_LT(gf_distanceNm({trace.back().position.latitude, trace.back().position.longitude}, a) * kMetresPerNm, 0.5);
    for (const auto& t : trace) EXPECT_LT(degreesBetween(t.position.heading, 0.0), 0.01) << "nose stays north";
    // It then holds there, waiting for the feed.
    run(20030, 1000);
    EXPECT_EQ(findAircraft(20030)->phase, MovePhase::PushedBack);
    EXPECT_EQ(findAircraft(20030)->move.holding, 1);
}

TEST_F(GroundManoeuvreTest, CurvedPushbacksEndOneHalfSpanToTheSideAfterAQuarterTurn) {
    for (bool right : {true, false}) {
        resetWorld();
        LiveAircraft& ac = parkedLeaving(20031, 3, kPi);
        ac.move.pushbackSideKnown = 1;
        ac.move.pushbackRight = right ? 1 : 0;
        const double size = ac.size;
        const auto trace = run(20031, 8000, [](const LiveAircraft& a) { return a.phase == MovePhase::PushedBack; });
        ASSERT_EQ(trace.back().phase, MovePhase::PushedBack);
        const GeoPosition a = gf_destinationPoint(standPos(3), kPi, 2.5 * gStandTable[2].radius * kFeetPerNm);
        // Reverse heading south: B lies west (right turn), S east (left turn) of A.
        const GeoPosition side = gf_destinationPoint(a, right ? 1.5 * kPi : 0.5 * kPi, size * kFeetPerNm);
        const GeoPosition end{trace.back().position.latitude, trace.back().position.longitude};
        EXPECT_LT(gf_distanceNm(end, side) * kMetresPerNm, 1.0) << (right ? "right" : "left");
        EXPECT_LT(degreesBetween(trace.back().position.heading, right ? 0.5 * kPi : 1.5 * kPi), 2.0);
        for (std::size_t i = 1; i < trace.size(); ++i)
            EXPECT_LT(degreesBetween(trace[i].position.heading, trace[i - 1].position.heading), 0.5);
    }
}

// While the aircraft pushes back, the feed (30 s ahead) pushes it straight back at 3 kt, the nose
// where it pointed on the stand, or turned right to 80 degrees: only a reported heading that
// turns makes the pushback curve, towards that side, and never with straight pushbacks only.
// A report bearing no heading tells of the turn by its track, the way the tail moves: swinging
// west of south, it turns the nose east as a heading of 80 degrees does.
TEST_F(GroundManoeuvreTest, APushbackCurvesOnlyWhenItsReportedHeadingTurns) {
    for (const auto& [fedHeading, straightOnly, trackOnly] :
         {std::tuple{0.0, false, false}, {80.0, false, false}, {80.0, true, false}, {80.0, false, true}}) {
        resetWorld();
        STRAIGHT_PBS_ONLY.current.store(straightOnly);
        const double size = parkedLeaving(20035, 3, kPi).size;
        std::vector<TracePoint> trace;
        int reports = 0;
        for (int i = 0; i < 8000 && (trace.empty() || trace.back().phase != MovePhase::PushedBack); ++i) {
            LiveAircraft* ac = findAircraft(20035);
            ASSERT_NE(ac, nullptr);
            if (ac->phase == MovePhase::PushingBack && gf_tickCount() % 200 == 0) {
                PositionSample s;
                const GeoPosition p = gf_destinationPoint(standPos(3), kPi, 3.0 * (++reports) / 0.3048);
                s.latitude = p.latitude;
                s.longitude = p.longitude;
                s.groundSpeed = 3.0;
                s.trueAirspeed = 3.0;
                s.track = trackOnly ? 180.0 + fedHeading : 180.0;
                // Some reports bear the heading; others only the way, straight behind the nose.
                if (!trackOnly && (fedHeading != 0.0 || reports % 2 == 1)) s.trueHeading = fedHeading * kDeg;
                s.dueTick = gf_tickCount() + 3000;
                decodeExisting(*ac, s);
            }
            const auto part = run(20035, 1);
            ASSERT_EQ(part.size(), 1u);
            trace.push_back(part.front());
        }
        ASSERT_EQ(trace.back().phase, MovePhase::PushedBack) << fedHeading;
        EXPECT_GT(reports, 0);
        const GeoPosition a = gf_destinationPoint(standPos(3), kPi, 2.5 * gStandTable[2].radius * kFeetPerNm);
        const GeoPosition end{trace.back().position.latitude, trace.back().position.longitude};
        if (fedHeading == 0.0 || straightOnly) {
            EXPECT_LT(gf_distanceNm(end, a) * kMetresPerNm, 0.5);
            for (const auto& t : trace)
                ASSERT_LT(degreesBetween(t.position.heading, 0.0), 0.01) << "nose stays north";
        } else {
            // Reverse heading south: a right turn ends one half span west of A, nose east.
            const GeoPosition side = gf_destinationPoint(a, 1.5 * kPi, size * kFeetPerNm);
            EXPECT_LT(gf_distanceNm(end, side) * kMetresPerNm, 1.0);
            EXPECT_LT(degreesBetween(trace.back().position.heading, 0.5 * kPi), 2.0);
        }
    }
}

// A pushed aircraft moves tail first: the simulator is given its leg's speed as negative, and
// the same leg driven under its own power as positive.
TEST_F(GroundManoeuvreTest, APushbackLegRunsAtTheNextSpeedNegated) {
    LiveAircraft& ac = parkedLeaving(20036, 3, kPi);
    ac.samples[0].groundSpeed = 2.0;
    ac.phase = MovePhase::PushingBack;
    lf_groundSpeedStep(ac);
    EXPECT_EQ(ac.move.speed, -3.0);
    ac.phase = MovePhase::Taxi;
    lf_groundSpeedStep(ac);
    EXPECT_EQ(ac.move.speed, 3.0);
}

TEST_F(GroundManoeuvreTest, PullOutFollowsASampleAheadOfTheStand) {
    testsupport::CapturedLog log;
    LiveAircraft& ac = parkedLeaving(20032, 4, 0.0, "KLM77");
    const double size = ac.size;
    run(20032, 3000, [](const LiveAircraft& a) { return a.move.holding != 0; });
    const LiveAircraft* a = findAircraft(20032);
    EXPECT_EQ(a->phase, MovePhase::Taxi);
    const GeoPosition f = gf_destinationPoint(standPos(4), 0.0, 2 * size * kFeetPerNm);
    EXPECT_LT(gf_distanceNm({a->position.latitude, a->position.longitude}, f) * kMetresPerNm, 0.5);
    EXPECT_TRUE(logHas(log, "A4      : KLM77    pulling out"));
}

// Taxi samples 30 m apart at 10 kt: north, then the given turn.
std::vector<PositionSample> corner(double turnDegrees) {
    const double seconds = 30.0 / (10.0 * 1852.0 / 3600.0);
    std::vector<Leg> legs{{0.0, 10.0, 0.0, seconds, false},
                          {turnDegrees, 10.0, 0.0, seconds, false},
                          {turnDegrees, 10.0, 0.0, seconds, false},
                          {turnDegrees, 10.0, 0.0, seconds, false}};
    return track(gf_destinationPoint(kAirport, kPi, 2000.0), 0.0, 100, legs);
}

TEST_F(GroundManoeuvreTest, RightAngleCornerIsOneCurveThatNeverTouchesTheCornerSample) {
    const auto samples = corner(90.0);
    addAircraft(AircraftCategory::Large, 20033, samples, MovePhase::Taxi);
    const auto trace = run(20033, samples[2].dueTick);
    const GeoPosition cornerPos{samples[1].latitude, samples[1].longitude};
    const GeoPosition endPos{samples[2].latitude, samples[2].longitude};
    double nearCorner = 1e9, nearEnd = 1e9;
    for (const auto& t : trace) {
        const GeoPosition p{t.position.latitude, t.position.longitude};
        nearCorner = std::min(nearCorner, gf_distanceNm(p, cornerPos) * kMetresPerNm);
        nearEnd = std::min(nearEnd, gf_distanceNm(p, endPos) * kMetresPerNm);
    }
    EXPECT_GT(nearCorner, 5.0);
    EXPECT_LT(nearEnd, 0.5);
    for (std::size_t i = 1; i < trace.size(); ++i)
        EXPECT_LT(degreesBetween(trace[i].position.heading, trace[i - 1].position.heading), 0.5);
    EXPECT_GT(degreesBetween(trace.back().position.heading, 0.0), 60.0);
}

TEST_F(GroundManoeuvreTest, TurnBackOfMoreThanOneHundredSixtyDegreesIsNotCurved) {
    const auto samples = corner(175.0);
    addAircraft(AircraftCategory::Large, 20034, samples, MovePhase::Taxi);
    const auto trace = run(20034, samples[1].dueTick);
    EXPECT_FALSE(findAircraft(20034)->move.curve.active());
    const GeoPosition end{trace.back().position.latitude, trace.back().position.longitude};
    EXPECT_LT(gf_distanceNm(end, {samples[1].latitude, samples[1].longitude}) * kMetresPerNm, 0.01);
}

TEST_F(GroundManoeuvreTest, GroundTurnRateUsesTheAngleStepInRadians) {
    // A Large aircraft's quarter turn: 90 / 0.07 degrees-in-radians / 100 = 737 ticks.
    const double step = gf_categoryValues(AircraftCategory::Large).angleStepRad;
    EXPECT_EQ(gf_narrowTicks(90.0 / step / 100.0), 737);
}

// ---- who gets a stand ----

class ParkingTest : public GroundMovementTest {};

// A report of an aircraft standing 5 m from the stand's point.
PositionSample standingSampleBeside(int sid) {
    const GeoPosition at = gf_destinationPoint(standPos(sid), kPi, 5.0 / 0.3048);
    PositionSample s;
    s.latitude = at.latitude;
    s.longitude = at.longitude;
    s.generated = 1;
    s.dueTick = 100;
    return s;
}

// A live aircraft standing parked and active on stand `sid`.
LiveAircraft& parkedOn(uint32_t key, int sid, const char* callsign) {
    const GeoPosition at = standPos(sid);
    PositionSample s;
    s.latitude = at.latitude;
    s.longitude = at.longitude;
    s.generated = 1;
    s.dueTick = 60480000;
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, key, {s}, MovePhase::Parked, callsign);
    ac.standId = static_cast<uint32_t>(sid);
    ac.standLatitude = at.latitude;
    ac.standLongitude = at.longitude;
    return ac;
}

// A Large aircraft taxiing north at 5 kt that stops `shortM` metres south of stand `sid`.
LiveAircraft& arriving(uint32_t key, int sid, int64_t firstDue, double shortM, const char* callsign) {
    const GeoPosition stopAt = gf_destinationPoint(standPos(sid), kPi, shortM / 0.3048);
    const GeoPosition from = gf_destinationPoint(stopAt, kPi, 20.0 / 0.3048);
    std::vector<Leg> legs{{0.0, 5.0, 0.0, 20.0 / (5.0 * 1852.0 / 3600.0), false}, {0.0, 0.0, 0.0, 4.0, false}};
    auto samples = track(from, 0.0, firstDue, legs);
    return addAircraft(AircraftCategory::Large, key, samples, MovePhase::Taxi, callsign);
}

TEST_F(ParkingTest, SecondArrivalAtAHeldStandIsRemovedAndTheHolderKeepsItsMark) {
    arriving(20040, 2, 100, 10.0, "AAA1");
    arriving(20041, 2, 130, 10.0, "BBB2");
    for (int i = 0; i < 4000; ++i) run(20040, 1);
    const LiveAircraft* first = findAircraft(20040);
    const LiveAircraft* second = findAircraft(20041);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->phase, MovePhase::Parked);
    EXPECT_EQ(second->state, LiveState::RemovingFromSim);
    EXPECT_EQ(gStandTable[1].liveOccupied, 1) << "the newcomer's removal freed the holder's stand";
}

TEST_F(ParkingTest, StoppingThreeMetresOffTheStandGoesBackToTaxi) {
    LiveAircraft& ac = parkedOn(20042, 5, "CCC3");
    ac.phase = MovePhase::Parking;
    const GeoPosition off = gf_destinationPoint(standPos(5), kPi, 3.0 / 0.3048);
    ac.position.latitude = off.latitude;
    ac.position.longitude = off.longitude;
    lf_arrivalAtStand(ac);
    EXPECT_EQ(ac.phase, MovePhase::Taxi);
    EXPECT_EQ(gStandTable[4].liveOccupied, 0);
}

TEST_F(ParkingTest, ADriveThatEndsShortOfTheStandIsTriedAgainFromWhereTheAircraftStands) {
    testsupport::CapturedLog log;
    LiveAircraft& ac = parkedOn(20046, 5, "DDD4");
    ac.phase = MovePhase::Taxi;
    ac.groundSpeed = 4.0;
    try2Park(ac, false);
    ASSERT_EQ(ac.phase, MovePhase::Parking);
    ASSERT_EQ(ac.samples.size(), 3u);
    EXPECT_EQ(ac.samples[1].dueTick - ac.samples[0].dueTick, 100); // a drive takes a second at least
    // The drive ends 3 m short: back to taxi, standing on a copy at the stand's position.
    const GeoPosition off = gf_destinationPoint(standPos(5), kPi, 3.0 / 0.3048);
    ac.position.latitude = off.latitude;
    ac.position.longitude = off.longitude;
    while (ac.samples.size() > 1) ac.samples.pop_back();
    lf_arrivalAtStand(ac);
    ASSERT_EQ(ac.phase, MovePhase::Taxi);
    // Tried again at the same stop, it drives the last metres onto the stand and arrives: at the
    // stand after the 146 ticks that 3 m take at 4 kt, standing still 50 ticks later.
    try2Park(ac, false);
    ASSERT_EQ(ac.samples.size(), 3u);
    EXPECT_EQ(ac.samples[1].dueTick - ac.samples[0].dueTick, 146);
    EXPECT_EQ(ac.samples[2].dueTick - ac.samples[0].dueTick, 196);
    EXPECT_EQ(ac.samples[2].groundSpeed, 0.0);
    const auto trace = run(20046, 1000, [](const LiveAircraft& x) { return x.phase == MovePhase::Parked; });
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().phase, MovePhase::Parked);
    EXPECT_LT(gf_distanceNm({trace.back().position.latitude, trace.back().position.longitude}, standPos(5)) *
                  kMetresPerNm,
              0.5);
    EXPECT_TRUE(logHas(log, "A5      : DDD4     arrived at stand"));
}

TEST_F(ParkingTest, GhostsDepartingAircraftAndNewcomers) {
    testsupport::CapturedLog log;
    // The real flight takes the stand from its ghost; the ghost never takes it from the flight.
    parkedOn(20043, 4, "AB123_");
    EXPECT_TRUE(lf_standFreeForCallsign(4, "AB123", 0.0));
    EXPECT_EQ(gLiveAircraft[0].state, LiveState::RemovingFromSim);
    EXPECT_TRUE(logHas(log, "A4      : AB123_   ghost, replace by AB123"));
    parkedOn(20044, 5, "AB123");
    EXPECT_FALSE(lf_standFreeForCallsign(5, "AB123_", 0.0));
    // A callsign one character longer is another flight, not a ghost: the holder keeps the stand.
    EXPECT_FALSE(lf_standFreeForCallsign(5, "AB1234", 0.0));
    EXPECT_EQ(findAircraft(20044)->state, LiveState::Active);
    // An aircraft reported departing keeps its stand against a newcomer, however long ago.
    LiveAircraft& leaving = parkedOn(20045, 6, "DEP1");
    leaving.move.departureNoticed = 1;
    EXPECT_FALSE(lf_standFreeForCallsign(6, "NEW1", 600.0));
    EXPECT_EQ(findAircraft(20045)->state, LiveState::Active);
}

TEST_F(ParkingTest, QueuedStaticOnTheStandIsWithdrawnInsteadOfCreated) {
    testsupport::CapturedLog log;
    StaticAircraft st;
    st.head.callsign = "STA*";
    st.key = 7;
    st.standId = 6;
    st.state = LiveState::Adding2Sim;
    gStaticAircraft.push_back(st);
    AiCreateRequest request;
    request.callsign = "STA*";
    request.key = 7;
    gStaticAddingStack.push_back(request);
    LiveAircraft& ac = arriving(20046, 6, 100, 10.0, "LIV1");
    lf_makeWayOnStand(ac, gStandTable[5]);
    EXPECT_TRUE(gStaticAircraft.empty());
    EXPECT_TRUE(gStaticAddingStack.empty());
    EXPECT_TRUE(logHas(log, "queued A6      : STA*"));
}

TEST_F(ParkingTest, NoLiveAircraftParksOnTheReservedStandOrWhereTheUserAircraftStands) {
    gf_setReservedStandNameSource([] { return std::string("A7"); });
    // The user aircraft stands on A8.
    gf_setStandNameFinder([](double latitude, double longitude) {
        return gf_distanceNm({latitude, longitude}, standPos(8)) * kMetresPerNm <= 20.0 ? std::string("A8")
                                                                                        : std::string();
    });
    UserAcState user;
    user.latitude = standPos(8).latitude;
    user.longitude = standPos(8).longitude;
    gf_setUserPositionState(user);
    gf_refreshUserCopy();
    arriving(20047, 7, 100, 10.0, "RES1");
    arriving(20048, 8, 100, 10.0, "USR1");
    run(20047, 3000);
    for (const uint32_t key : {20047u, 20048u}) {
        const LiveAircraft* ac = findAircraft(key);
        ASSERT_NE(ac, nullptr);
        EXPECT_NE(ac->phase, MovePhase::Parked) << key;
        EXPECT_NE(ac->phase, MovePhase::Parking) << key;
        EXPECT_EQ(ac->standId, 0u) << key;
    }
    // Nor is one first seen standing there put on either stand.
    for (const int sid : {7, 8}) {
        const PositionSample s = standingSampleBeside(sid);
        LiveAircraft& born = addAircraft(AircraftCategory::Large, 20049, {s, s}, MovePhase::Birth, "NEW9");
        born.state = LiveState::Buffer;
        EXPECT_EQ(lf_standAtBirth(born), nullptr) << "A" << sid;
        gLiveAircraft.pop_back();
    }
}

// An aircraft that has left its stand (pushed back) and stops near another does not park there
// on its way out; a towed one does.
TEST_F(ParkingTest, AnAircraftLeavingItsStandParksAtItsFirstStopOnlyWhenTowed) {
    for (const bool towed : {false, true}) {
        gLiveAircraft.clear();
        LiveAircraft& ac = arriving(20050, 6, gf_tickCount() + 100, 10.0, "OUT1");
        ac.previousPhase = MovePhase::PushedBack;
        ac.move.towed = towed ? 1 : 0;
        run(20050, 3000);
        const LiveAircraft* a = findAircraft(20050);
        ASSERT_NE(a, nullptr);
        if (towed) {
            EXPECT_EQ(a->phase, MovePhase::Parked);
            EXPECT_EQ(a->standId, 6u);
        } else {
            EXPECT_EQ(a->phase, MovePhase::Taxi);
            EXPECT_EQ(a->standId, 0u);
        }
    }
}

// A stopped aircraft looks for a stand within 20 m of its last report; one carried on by samples
// of its own after touchdown within 55 m.
TEST_F(ParkingTest, AStoppedAircraftLooksForAStandWithinTwentyMetresOrFiftyFiveOnItsOwnAfterTouchdown) {
    for (const double metres : {15.0, 30.0}) {
        for (const bool touchedDown : {false, true}) {
            gLiveAircraft.clear();
            LiveAircraft& ac = parkedOn(20051, 4, "STP1");
            ac.phase = MovePhase::Taxi;
            ac.standId = 0;
            const GeoPosition at = gf_destinationPoint(standPos(4), kPi, metres / 0.3048);
            ac.samples.back().latitude = at.latitude;
            ac.samples.back().longitude = at.longitude;
            try2Park(ac, touchedDown);
            const bool parks = metres < 20.0 || touchedDown;
            EXPECT_EQ(ac.phase == MovePhase::Parking, parks) << metres << " m, touched down " << touchedDown;
            EXPECT_EQ(ac.standId, parks ? 4u : 0u);
        }
    }
}

// An arrival takes its stand: a live aircraft parked on it is removed, and so is one parked on an
// adjacent stand near enough to touch wings; static aircraft on the stand, and on an adjacent one
// near enough, make way. Those on an adjacent stand farther off stay.
TEST_F(ParkingTest, AnArrivalTakesItsStandFromTheAircraftOnItAndFromNeighboursThatWouldTouchIt) {
    testsupport::CapturedLog log;
    gHalfSpans[0] = 35.0 / kMetresPerNm; // wings touch within 1.1 x 70 m
    // A6 lies 100 m from A5, A4 60 m.
    const GeoPosition a6 = gf_destinationPoint(standPos(5), kPi / 2, 100.0 / 0.3048);
    gStandTable[5].latitude = a6.latitude;
    gStandTable[5].longitude = a6.longitude;
    const auto placeStatic = [](uint32_t key, int sid, const char* callsign) {
        StaticAircraft st;
        st.key = key;
        st.head.callsign = callsign;
        st.standId = static_cast<uint32_t>(sid);
        st.state = LiveState::Active;
        st.objectId = 600 + key;
        gStaticAircraft.push_back(st);
    };
    parkedOn(20052, 5, "HLD1");
    parkedOn(20053, 4, "NBR4");
    parkedOn(20054, 6, "NBR6");
    placeStatic(1, 5, "ST5*");
    placeStatic(2, 4, "ST4*");
    placeStatic(3, 6, "ST6*");
    LiveAircraft& ac = arriving(20055, 5, 100, 10.0, "ARR1");
    try2Park(ac, false);
    EXPECT_EQ(findAircraft(20055)->standId, 5u);
    EXPECT_EQ(findAircraft(20052)->state, LiveState::RemovingFromSim);
    EXPECT_EQ(findAircraft(20053)->state, LiveState::RemovingFromSim);
    EXPECT_EQ(findAircraft(20054)->state, LiveState::Active);
    ASSERT_EQ(gStaticAircraft.size(), 3u);
    EXPECT_EQ(gStaticAircraft[0].state, LiveState::RemovingFromSim);
    EXPECT_EQ(gStaticAircraft[1].state, LiveState::RemovingFromSim);
    EXPECT_EQ(gStaticAircraft[2].state, LiveState::Active);
    EXPECT_TRUE(logHas(log, "A5      : HLD1     removed, ARR1 wants to park there"));
    EXPECT_TRUE(logHas(log, "A4      : NBR4     removed by parking ARR1 at adjacent and possibly colliding stand A5"));
    EXPECT_TRUE(logHas(log, "A4      : ST4*     makes way for ARR1 parking at excluded stand A5"));
}

TEST_F(ParkingTest, StandAtBirthPlacesAStationaryAircraftAndLeavesOthersAloneWhenErased) {
    const PositionSample s = standingSampleBeside(9);
    LiveAircraft& born = addAircraft(AircraftCategory::Large, 20049, {s, s}, MovePhase::Birth, "NEW9");
    born.state = LiveState::Buffer;
    // Marked for erasure (no livery): no stand.
    born.erase = 1;
    EXPECT_EQ(lf_standAtBirth(gLiveAircraft.back()), nullptr);
    // Otherwise the newcomer takes the free stand.
    gLiveAircraft.back().erase = 0;
    const StandRecord* stand = lf_standAtBirth(gLiveAircraft.back());
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->standId, 9u);
}

// Two aircraft reported standing on one stand (a duplicate target under another callsign, two
// light aircraft on one apron stand): the one standing there keeps it and the newcomer is not
// created, so the two never take the stand from each other in turn.
TEST_F(ParkingTest, AnAircraftFirstSeenStandingOnAHeldStandIsNotCreatedThere) {
    const PositionSample s = standingSampleBeside(9);
    parkedOn(20048, 9, "OLD1");
    LiveAircraft& born = addAircraft(AircraftCategory::Large, 20049, {s, s}, MovePhase::Birth, "NEW9");
    born.state = LiveState::Buffer;
    EXPECT_EQ(lf_standAtBirth(born), nullptr);
    EXPECT_EQ(born.erase, 1);
    EXPECT_EQ(gLiveAircraft[0].state, LiveState::Active);

    // So too when the holder was last reported a minute and a half before the newcomer.
    gLiveAircraft.clear();
    parkedOn(20048, 9, "OLD1").lastUpdateTime = 1.7e9;
    LiveAircraft& later = addAircraft(AircraftCategory::Large, 20049, {s, s}, MovePhase::Birth, "NEW9");
    later.state = LiveState::Buffer;
    later.lastUpdateTime = 1.7e9 + 90.0;
    EXPECT_EQ(lf_standAtBirth(later), nullptr);
    EXPECT_EQ(gLiveAircraft[0].state, LiveState::Active);

    // The aircraft an arrival removed there, still reported standing, is not born again on the
    // stand while the arrival drives onto it.
    gLiveAircraft.clear();
    LiveAircraft& arrival = parkedOn(20050, 9, "ARR1");
    arrival.phase = MovePhase::Parking;
    LiveAircraft& again = addAircraft(AircraftCategory::Large, 20048, {s, s}, MovePhase::Birth, "OLD1");
    again.state = LiveState::Buffer;
    EXPECT_EQ(lf_standAtBirth(again), nullptr);
    EXPECT_EQ(again.erase, 1);
    EXPECT_EQ(gLiveAircraft[0].state, LiveState::Active);
}

// An aircraft parked on a stand whose reports stopped two minutes before a newcomer is first seen
// standing there is gone from the stand: it makes way, and the newcomer is created on it.
TEST_F(ParkingTest, AHolderNoLongerReportedGivesItsStandToANewcomerFirstSeenThere) {
    testsupport::CapturedLog log;
    const PositionSample s = standingSampleBeside(9);
    parkedOn(20048, 9, "OLD1").lastUpdateTime = 1.7e9;
    LiveAircraft& born = addAircraft(AircraftCategory::Large, 20049, {s, s}, MovePhase::Birth, "NEW9");
    born.state = LiveState::Buffer;
    born.lastUpdateTime = 1.7e9 + 120.0;
    const StandRecord* stand = lf_standAtBirth(born);
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->standId, 9u);
    EXPECT_EQ(gLiveAircraft[1].erase, 0);
    EXPECT_EQ(gLiveAircraft[0].state, LiveState::RemovingFromSim);
    EXPECT_TRUE(logHas(log, "A9      : OLD1     removed because another live NEW9 wants the stand ..."));
}

// Only an aircraft about to stop (next report at 5 kt at most) is first seen standing on a stand.
// An aircraft first seen standing gets a stand only within 5 nm of the park airport; it takes it
// from an aircraft of its own callsign, and from one that stopped short of it (taxiing, not
// parked); a parked neighbour near enough to touch wings keeps its stand and the newcomer is not
// created.
TEST_F(ParkingTest, AStandAtBirthIsNearTheParkAirportTakenFromItsOwnCallsignAndNeverTouchingAParkedNeighbour) {
    const auto bornOn = [](int sid, const char* callsign) -> LiveAircraft& {
        const PositionSample s = standingSampleBeside(sid);
        LiveAircraft& born = addAircraft(AircraftCategory::Large, 20060, {s, s}, MovePhase::Birth, callsign);
        born.state = LiveState::Buffer;
        return born;
    };
    // The stands moved 6 nm away from the park airport: none.
    const StandRecord kept = gStandTable[1];
    const GeoPosition far = gf_destinationPoint(kAirport, 0.0, 6.0 * kFeetPerNm);
    gStandTable[1].latitude = far.latitude;
    gStandTable[1].longitude = far.longitude;
    EXPECT_EQ(lf_standAtBirth(bornOn(2, "FAR9")), nullptr);
    EXPECT_EQ(gLiveAircraft.back().erase, 0);
    gStandTable[1] = kept;
    gLiveAircraft.clear();

    parkedOn(20061, 2, "SAME1");
    const StandRecord* same = lf_standAtBirth(bornOn(2, "SAME1"));
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->standId, 2u);
    EXPECT_EQ(findAircraft(20061)->state, LiveState::RemovingFromSim);
    gLiveAircraft.clear();

    parkedOn(20062, 4, "SHRT1").phase = MovePhase::Taxi;
    EXPECT_NE(lf_standAtBirth(bornOn(4, "NEW4")), nullptr);
    EXPECT_EQ(findAircraft(20062)->state, LiveState::Active);
    gLiveAircraft.clear();

    gHalfSpans[0] = 35.0 / kMetresPerNm;
    parkedOn(20063, 7, "NBR7");
    LiveAircraft& next = bornOn(8, "NEW8");
    EXPECT_EQ(lf_standAtBirth(next), nullptr);
    EXPECT_EQ(gLiveAircraft.back().erase, 1);
    EXPECT_EQ(findAircraft(20063)->state, LiveState::Active);
}

TEST_F(ParkingTest, AMovingNewbornIsPutOnAStandOnlyWhenItsNextReportIsAtMostFiveKnots) {
    const GeoPosition from = gf_destinationPoint(standPos(9), kPi, 20.0 / 0.3048);
    const GeoPosition to = gf_destinationPoint(standPos(9), kPi, 2.0 / 0.3048);
    PositionSample f;
    f.latitude = from.latitude;
    f.longitude = from.longitude;
    f.groundSpeed = 8.0;
    f.dueTick = 100;
    PositionSample next = f;
    next.latitude = to.latitude;
    next.longitude = to.longitude;
    next.dueTick = 300;
    for (const double speed : {6.0, 5.0}) {
        gLiveAircraft.clear();
        next.groundSpeed = speed;
        LiveAircraft& born = addAircraft(AircraftCategory::Large, 20051, {f, next}, MovePhase::Birth, "MOV1");
        born.state = LiveState::Buffer;
        const StandRecord* stand = lf_standAtBirth(born);
        if (speed > 5.0) {
            EXPECT_EQ(stand, nullptr) << "still moving at " << speed << " kt";
        } else {
            ASSERT_NE(stand, nullptr);
            EXPECT_EQ(stand->standId, 9u);
        }
    }
}

} // namespace

#include "traffic/removal.hpp"
#include "traffic/traffic_birth.hpp"

namespace {

using namespace mvtest;

class DepartureTest : public GroundMovementTest {};

// A report of the feed on the ground at p, due at the tick given.
PositionSample fedReport(GeoPosition p, double speed, double trackDeg, int64_t due) {
    PositionSample s;
    s.latitude = p.latitude;
    s.longitude = p.longitude;
    s.groundSpeed = speed;
    s.trueAirspeed = speed;
    s.track = trackDeg;
    s.dueTick = due;
    return s;
}

// The feed of a departure from stand A3 (facing north), report by report 2 s apart with the
// reported nose: standing, then pushed straight back south 62 m at 5 kt, the nose still north.
struct FedPushback {
    std::vector<PositionSample> feed;
    int64_t due = 3100;
    GeoPosition at = standPos(3);

    FedPushback() {
        const GeoPosition stand = at;
        for (int i = 0; i < 4; ++i)
            add(stand, 0.0, 0.0, 0.0);
        for (int i = 1; i <= 12; ++i)
            add(gf_destinationPoint(stand, kPi, 5.2 * i / 0.3048), 5.0, 180.0, 0.0);
    }
    void add(GeoPosition p, double speed, double trackDeg, double headingDeg) {
        PositionSample s = fedReport(p, speed, trackDeg, due);
        s.trueHeading = headingDeg * kDeg;
        feed.push_back(s);
        at = p;
        due += 200;
    }
};

// A departure standing parked on stand A3 given the feed tick by tick, each report 30 s before it
// falls due, as the intake hands it over: the aircraft's point at every tick (fewer when it was
// lost, which fails the test).
std::vector<TracePoint> replayDepartureFromStand3(uint32_t key, const char* callsign,
                                                  const std::vector<PositionSample>& feed) {
    LiveAircraft& ac = parkedOn(key, 3, callsign);
    ac.samples.front().dueTick = 60480000;
    ac.manoeuvreMark = 1;
    ac.previousPhase = MovePhase::Parking;
    lf_claimStand(ac);
    std::size_t delivered = 0;
    std::vector<TracePoint> trace;
    for (int64_t i = 0; i < feed.back().dueTick; ++i) {
        while (delivered < feed.size() && feed[delivered].dueTick - 3000 <= gf_tickCount()) {
            LiveAircraft* a = findAircraft(key);
            if (a == nullptr) {
                ADD_FAILURE() << callsign << " was lost at tick " << gf_tickCount();
                return trace;
            }
            decodeExisting(*a, feed[delivered++]);
        }
        const auto part = run(key, 1);
        if (part.size() != 1u) {
            ADD_FAILURE() << callsign << " has no point at tick " << gf_tickCount();
            return trace;
        }
        trace.push_back(part.front());
    }
    return trace;
}

// The points of the replay while the aircraft taxies under its own power.
std::vector<TracePoint> taxiPartOf(const std::vector<TracePoint>& replay) {
    std::vector<TracePoint> trace;
    for (const TracePoint& t : replay)
        if (t.phase == MovePhase::Taxi) trace.push_back(t);
    return trace;
}

// The most the nose turns within one second (100 ticks) of the trace, in degrees.
double fastestTurnInASecond(const std::vector<TracePoint>& trace) {
    double fastest = 0.0;
    for (std::size_t i = 100; i < trace.size(); ++i)
        fastest = std::max(fastest, degreesBetween(trace[i].position.heading, trace[i - 100].position.heading));
    return fastest;
}

// The feed of a departure from stand A3 (facing north): standing, pushed back 40 m south,
// engines started (40 s), west along the taxiway, the take-off roll westwards and the climb.
// Each report reaches the aircraft 30 s before it falls due, as the intake hands it over.
std::vector<PositionSample> departureFeed(int64_t firstDue) {
    std::vector<PositionSample> out;
    const GeoPosition stand = standPos(3);
    int64_t due = firstDue;
    auto add = [&](GeoPosition p, double speed, double trackDeg, double altitude, double vs) {
        PositionSample s = fedReport(p, speed, trackDeg, due);
        s.altitude = altitude;
        s.verticalSpeed = vs;
        s.airborne = altitude > 0 ? 1 : 0;
        out.push_back(s);
        due += 200;
    };
    for (int i = 0; i < 4; ++i) add(stand, 0.0, 0.0, 0.0, 0.0);
    GeoPosition p = stand;
    for (int i = 1; i <= 12; ++i) add(p = gf_destinationPoint(stand, kPi, 3.5 * i / 0.3048), 3.4, 0.0, 0.0, 0.0);
    for (int i = 0; i < 20; ++i)
        add(p, 0.0, 270.0, 0.0, 0.0); // standing, nose west
    const GeoPosition pushedTo = p;
    for (int i = 1; i <= 40; ++i)
        add(p = gf_destinationPoint(pushedTo, 1.5 * kPi, 15.0 * 2.0 / 3600.0 * kFeetPerNm * i), 15.0, 270.0, 0.0, 0.0);
    double speed = 15.0;
    while (speed < 150.0) {
        speed = std::min(speed + 8.0, 150.0);
        add(p = gf_destinationPoint(p, 1.5 * kPi, speed * 2.0 / 3600.0 * kFeetPerNm), speed, 270.0, 0.0, 0.0);
    }
    double altitude = kGroundFt + 30.0;
    for (int i = 0; i < 40; ++i) {
        speed = std::min(speed + 2.0, 180.0);
        add(p = gf_destinationPoint(p, 1.5 * kPi, speed * 2.0 / 3600.0 * kFeetPerNm), speed, 270.0, altitude, 2200.0);
        altitude += 2200.0 * 2.0 / 60.0;
    }
    return out;
}

TEST_F(DepartureTest, FromTheStandPushbackTaxiTakeOffAndClimbThroughTheIntake) {
    const auto feed = departureFeed(3100);
    // Parked on A3 as after its arrival: a week-long standing sample, its stand claimed.
    LiveAircraft& ac = parkedOn(20050, 3, "DLH401");
    ac.samples.front().dueTick = 60480000;
    ac.manoeuvreMark = 1;
    ac.previousPhase = MovePhase::Parking;
    lf_claimStand(ac);
    std::size_t delivered = 0;
    std::vector<TracePoint> trace;
    std::vector<MovePhase> phases{MovePhase::Parked};
    for (int64_t i = 0; i < feed.back().dueTick + 1000; ++i) {
        while (delivered < feed.size() && feed[delivered].dueTick - 3000 <= gf_tickCount()) {
            LiveAircraft* a = findAircraft(20050);
            ASSERT_NE(a, nullptr);
            decodeExisting(*a, feed[delivered++]);
        }
        const auto part = run(20050, 1);
        ASSERT_EQ(part.size(), 1u);
        trace.push_back(part.front());
        if (phases.back() != part.front().phase) phases.push_back(part.front().phase);
        if (part.front().phase == MovePhase::Flying && part.front().agl > 1500.0) break;
    }
    // The phases in order: parked, pushing back, pushed back, taxi, take-off, flying.
    const std::vector<MovePhase> expected{MovePhase::Parked,   MovePhase::PushingBack, MovePhase::PushedBack,
                                          MovePhase::Taxi,     MovePhase::TakeOff,     MovePhase::Flying};
    EXPECT_EQ(phases, expected);
    EXPECT_EQ(gStandTable[2].liveOccupied, 0) << "the stand is free once the aircraft has left it";
    const LiveAircraft* a = findAircraft(20050);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->state, LiveState::Active);
    EXPECT_EQ(a->standId, 0u);
    for (std::size_t i = 1; i < trace.size(); ++i) {
        EXPECT_LT(degreesBetween(trace[i].position.heading, trace[i - 1].position.heading), 1.0) << "tick " << trace[i].tick;
        EXPECT_GE(trace[i].agl, kCgFt - 0.01);
    }
    // The pushback begins as the feed's does, 30 s after its reports came in, not when they came
    // in; the feed then heads west, so the pushback ends with the nose west. West on the runway;
    // climbing away.
    const auto pushing = std::find_if(trace.begin(), trace.end(),
                                      [](const TracePoint& t) { return t.phase == MovePhase::PushingBack; });
    ASSERT_NE(pushing, trace.end());
    EXPECT_GE(pushing->tick, feed[4].dueTick);
    EXPECT_LT(pushing->tick, feed[4].dueTick + 1000);
    const auto pushed = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.phase == MovePhase::PushedBack; });
    ASSERT_NE(pushed, trace.end());
    EXPECT_LT(degreesBetween(pushed->position.heading, 270.0 * kDeg), 5.0);
    // It stands while the feed stands after its pushback, and moves off as the feed does (its
    // first 15 kt report is due 2 s after the last of 40 s standing), on the feed's way west.
    const auto lastPushed =
        std::find_if(pushed, trace.end(),
                     [](const TracePoint& t) { return t.phase != MovePhase::PushedBack; }) -
        1;
    const GeoPosition stood{lastPushed->position.latitude, lastPushed->position.longitude};
    const auto movedOff = std::find_if(lastPushed, trace.end(), [&](const TracePoint& t) {
        return gf_distanceNm(stood, {t.position.latitude, t.position.longitude}) * kMetresPerNm > 2.0;
    });
    ASSERT_NE(movedOff, trace.end());
    // Its own pushback ended elsewhere: the way to the first 15 kt report, at the mean of 0 and
    // 15 kt, takes it some seconds (leaving when the report came in, it left 20 s early).
    EXPECT_GE(movedOff->tick, feed[36].dueTick - 1500);
    EXPECT_LT(movedOff->tick, feed[36].dueTick + 300);
    const auto takeOff = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.phase == MovePhase::TakeOff; });
    ASSERT_NE(takeOff, trace.end());
    EXPECT_LT(degreesBetween(takeOff->position.heading, 270.0 * kDeg), 3.0);
    EXPECT_GT(trace.back().agl, 1500.0);
}

// The feed pushes the aircraft straight back from stand A3 (facing north) as far as its own
// pushback goes, it stands 40 s, then taxies off turning right through 80 degrees in 8 s. Once
// pushed back, the nose turns at about the feed's pace, never in a swing, onto the feed's way.
TEST_F(DepartureTest, AfterAPushbackTheNoseTurnsAtThePaceOfTheFedTurn) {
    FedPushback fed;
    const auto add = [&](GeoPosition q, double speed, double trackDeg, double headingDeg) {
        fed.add(q, speed, trackDeg, headingDeg);
    };
    GeoPosition p = fed.at;
    for (int i = 0; i < 20; ++i)
        add(p, 0.0, 0.0, 0.0);
    for (int i = 1; i <= 4; ++i) {
        const double v = 3.0 + 5.0 * i / 4.0;
        p = gf_destinationPoint(p, (20.0 * i - 10.0) * kDeg, v * 2.0 / 3600.0 * kFeetPerNm);
        add(p, v, 20.0 * i, 20.0 * i);
    }
    for (int i = 0; i < 30; ++i)
        add(p = gf_destinationPoint(p, 80.0 * kDeg, 8.0 * 2.0 / 3600.0 * kFeetPerNm), 8.0, 80.0, 80.0);
    const std::vector<TracePoint> trace = taxiPartOf(replayDepartureFromStand3(20051, "DLH402", fed.feed));
    ASSERT_GT(trace.size(), 200u);
    EXPECT_LT(degreesBetween(trace.front().position.heading, 0.0), 1.0) << "a straight pushback";
    // The feed turns 20 degrees in 2 s; in no second does the nose turn more than 12. Turning no
    // faster than the aircraft does, the nose is left within a new turn's 3 degrees of the way.
    EXPECT_LE(fastestTurnInASecond(trace), 12.0);
    EXPECT_LT(degreesBetween(trace.back().position.heading, 80.0 * kDeg), 3.0);
}

// With straight pushbacks only, the feed pushes the aircraft back from stand A3 (facing north)
// 16 m farther than its own pushback goes, the tail swinging east over the last 16 m until the
// nose points west, stands 20 s and taxies off west. The feed's turn lies among the reports near
// the aircraft's own pushback end, of no use to it; the reports it follows show none. Moving off
// from there it turns its nose onto the way no faster than the feed turned it, never in a swing.
TEST_F(DepartureTest, AfterAPushbackShortOfTheFedOneTheNoseTurnsNoFasterThanTheFeedTurnedIt) {
    STRAIGHT_PBS_ONLY.current.store(true);
    FedPushback fed;
    const auto add = [&](GeoPosition q, double speed, double trackDeg, double headingDeg) {
        fed.add(q, speed, trackDeg, headingDeg);
    };
    GeoPosition p = fed.at;
    // The feed turns the nose 90 degrees in 8 s.
    for (int i = 1; i <= 4; ++i) {
        const double nose = 360.0 - 22.5 * i;
        const double way = nose + 180.0 - 11.25;
        add(p = gf_destinationPoint(p, way * kDeg, 4.0 / 0.3048), 4.0, way, nose);
    }
    for (int i = 0; i < 10; ++i)
        add(p, 0.0, 0.0, 270.0);
    for (int i = 1; i <= 3; ++i)
        add(p = gf_destinationPoint(p, 1.5 * kPi, 2.0 * i * 2.0 / 3600.0 * kFeetPerNm), 2.0 * i, 270.0, 270.0);
    for (int i = 0; i < 30; ++i)
        add(p = gf_destinationPoint(p, 1.5 * kPi, 8.0 * 2.0 / 3600.0 * kFeetPerNm), 8.0, 270.0, 270.0);
    const std::vector<TracePoint> trace = taxiPartOf(replayDepartureFromStand3(20053, "DLH404", fed.feed));
    ASSERT_GT(trace.size(), 200u);
    EXPECT_LE(fastestTurnInASecond(trace), 12.0) << "degrees in a second";
    EXPECT_LT(degreesBetween(trace.back().position.heading, 270.0 * kDeg), 2.0);
}

// The feed pushes the aircraft straight back from stand A3 as far as its own pushback goes,
// stands 16 s, then taxies east 40 m and turns south. The feed's stop and the start of its taxi
// come in while the aircraft's own pushback (begun once the feed showed it leaving) still runs:
// kept for afterwards, they hold it where it stands until the feed moves off, and it follows the
// feed round the corner instead of heading across at once for the first report after its
// pushback.
TEST_F(DepartureTest, ReportsThatComeInDuringThePushbackAreFollowedAfterIt) {
    const GeoPosition stand = standPos(3);
    std::vector<PositionSample> feed;
    int64_t due = 3100;
    const auto add = [&](GeoPosition p, double speed, double trackDeg) {
        feed.push_back(fedReport(p, speed, trackDeg, due));
        due += 200;
    };
    for (int i = 0; i < 4; ++i)
        add(stand, 0.0, 0.0);
    GeoPosition p = stand;
    for (int i = 1; i <= 18; ++i)
        add(p = gf_destinationPoint(stand, kPi, 3.5 * i / 0.3048), 3.4, 180.0);
    const GeoPosition stopped = p;
    for (int i = 0; i < 8; ++i)
        add(p, 0.0, 0.0);
    const std::size_t movingOff = feed.size();
    add(p = gf_destinationPoint(p, kPi / 2, 1.0 / 0.3048), 2.0, 90.0);
    add(p = gf_destinationPoint(p, kPi / 2, 3.0 / 0.3048), 4.0, 90.0);
    while (gf_distanceNm(stopped, p) * kMetresPerNm < 40.0)
        add(p = gf_destinationPoint(p, kPi / 2, 8.0 / 0.3048), 8.0, 90.0);
    const GeoPosition corner = p;
    for (int i = 0; i < 15; ++i)
        add(p = gf_destinationPoint(p, kPi, 8.0 / 0.3048), 8.0, 180.0);
    const std::vector<TracePoint> trace = replayDepartureFromStand3(20052, "DLH403", feed);
    ASSERT_EQ(trace.size(), static_cast<std::size_t>(feed.back().dueTick));
    const auto pushed = std::find_if(trace.begin(), trace.end(),
                                     [](const TracePoint& t) { return t.phase == MovePhase::PushedBack; });
    ASSERT_NE(pushed, trace.end());
    ASSERT_GT(pushed->tick, feed[movingOff].dueTick - 3000) << "the feed's taxi came in during the pushback";
    const GeoPosition stood{pushed->position.latitude, pushed->position.longitude};
    ASSERT_LT(gf_distanceNm(stood, stopped) * kMetresPerNm, 3.0);
    const auto movedOff = std::find_if(pushed, trace.end(), [&](const TracePoint& t) {
        return gf_distanceNm(stood, {t.position.latitude, t.position.longitude}) * kMetresPerNm > 1.0;
    });
    ASSERT_NE(movedOff, trace.end());
    EXPECT_GE(movedOff->tick, feed[movingOff].dueTick - 300) << "moves off while the feed stands";
    // Round the corner: it passes within a few metres of it.
    double nearest = 1e9;
    for (auto t = movedOff; t != trace.end(); ++t)
        nearest = std::min(nearest, gf_distanceNm(corner, {t->position.latitude, t->position.longitude}) *
                                        kMetresPerNm);
    EXPECT_LT(nearest, 5.0) << "cuts across the corner";
}

} // namespace

namespace {

using namespace mvtest;

TEST_F(GroundManoeuvreTest, AfterAFeedGapATaxiingAircraftGoesOnAtTheFedSpeedAndKeepsTheReplaysTime) {
    // Taxiing east at 8 kt, a report every 6 s, then none for 30 s more; the aircraft went on at
    // 8 kt all along. Each report reaches the aircraft 30 s before it falls due.
    const GeoPosition from = gf_destinationPoint(kAirport, kPi, 3000.0);
    const double kt = 8.0;
    const auto at = [&](double seconds) {
        PositionSample p;
        const GeoPosition g = gf_destinationPoint(from, kPi / 2, kt * seconds / 3600.0 * kFeetPerNm);
        p.latitude = g.latitude;
        p.longitude = g.longitude;
        p.groundSpeed = kt;
        p.trueAirspeed = kt;
        p.track = 90.0;
        p.dueTick = 100 + std::llround(seconds * 100);
        return p;
    };
    std::vector<PositionSample> feed;
    for (double s = 0; s <= 60; s += 6)
        feed.push_back(at(s));
    for (double s = 96; s <= 180; s += 6)
        feed.push_back(at(s));
    addAircraft(AircraftCategory::Large, 20073, {feed[0], feed[1]}, MovePhase::Taxi);
    std::size_t delivered = 2;
    double worst = 0.0;
    for (int64_t i = 0; i < feed.back().dueTick; ++i) {
        while (delivered < feed.size() && feed[delivered].dueTick - 3000 <= gf_tickCount()) {
            LiveAircraft* a = findAircraft(20073);
            ASSERT_NE(a, nullptr);
            decodeExisting(*a, feed[delivered++]);
        }
        const auto part = run(20073, 1);
        ASSERT_EQ(part.size(), 1u);
        // Seconds behind the replay: the way it has still to go to where the feed had it.
        const double way = gf_distanceNm(from, {part[0].position.latitude, part[0].position.longitude});
        const double behind = (kt * static_cast<double>(part[0].tick - 100) / 360000.0 - way) / kt * 3600.0;
        worst = std::max(worst, behind);
        // It stands only until the report after the gap is known (6 s past the last one before
        // it), and 20 s after that report falls due it is back on the replay's time.
        if (part[0].tick >= at(96).dueTick + 2000) {
            ASSERT_LT(behind, 1.0) << "tick " << part[0].tick;
        }
    }
    EXPECT_LT(worst, 7.0);
}

TEST_F(GroundManoeuvreTest, SilentFeedOnTheGroundHoldsThenGivesUpAfterTheHoldingMinutes) {
    MAX_HOLDING_MINUTES.current.store(1);
    std::vector<Leg> legs(3, Leg{90.0, 12.0, 0.0, 4.0, false});
    const auto samples = track(gf_destinationPoint(kAirport, kPi, 3000.0), 0.0, 100, legs);
    addAircraft(AircraftCategory::Large, 20070, samples, MovePhase::Taxi);
    const auto trace = run(20070, 20000, [](const LiveAircraft& a) { return a.state != LiveState::Active; });
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().state, LiveState::RemovingFromSim);
    // It stood where the feed left it (held still) until more than a whole minute had passed.
    const int64_t silentFrom = samples.back().dueTick;
    EXPECT_GT(trace.back().tick - silentFrom, 2 * 6000 - 400);
    EXPECT_LE(trace.back().tick - silentFrom, 2 * 6000 + 400);
    const GeoPosition last{samples.back().latitude, samples.back().longitude};
    EXPECT_LT(gf_distanceNm({trace.back().position.latitude, trace.back().position.longitude}, last) * kMetresPerNm, 0.01);

    // With AIRBORNE_ONLY the hold ends at once: removed when its first hold of 3 s is over.
    gLiveAircraft.clear();
    AIRBORNE_ONLY.current.store(true);
    const auto again = track(gf_destinationPoint(kAirport, kPi, 3000.0), 0.0, gf_tickCount() + 100, legs);
    addAircraft(AircraftCategory::Large, 20070, again, MovePhase::Taxi);
    const auto held = run(20070, 2000, [](const LiveAircraft& a) { return a.state != LiveState::Active; });
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held.back().state, LiveState::RemovingFromSim);
    EXPECT_LE(held.back().tick - again.back().dueTick, 400);
}

// A parked aircraft whose feed falls silent stands on: its copy falls due a week later. It keeps
// its stand's claim while it stands on it; one that stands elsewhere gives the claim up.
TEST_F(GroundManoeuvreTest, AParkedAircraftWhoseFeedFallsSilentStandsAWeekAndHoldsItsStandOnlyOnIt) {
    for (const double off : {0.0, 10.0}) {
        gLiveAircraft.clear();
        gStandTable[4].liveOccupied = 0;
        const GeoPosition stand{gStandTable[4].latitude, gStandTable[4].longitude};
        PositionSample s;
        s.latitude = stand.latitude;
        s.longitude = stand.longitude;
        s.generated = 1;
        s.dueTick = gf_tickCount() + 100;
        LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20074, {s}, MovePhase::Parked, "PRK1");
        ac.standId = 5;
        ac.standLatitude = stand.latitude;
        ac.standLongitude = stand.longitude;
        lf_claimStand(ac);
        const GeoPosition at = gf_destinationPoint(stand, kPi, off / 0.3048);
        ac.position.latitude = at.latitude;
        ac.position.longitude = at.longitude;
        const int64_t silentFrom = s.dueTick;
        run(20074, 12000);
        const LiveAircraft* a = findAircraft(20074);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->state, LiveState::Active) << off << " m off";
        EXPECT_EQ(a->phase, MovePhase::Parked);
        ASSERT_FALSE(a->samples.empty());
        EXPECT_GE(a->samples.back().dueTick, silentFrom + 7 * 24 * 360000);
        EXPECT_EQ(gStandTable[4].liveOccupied, off == 0.0 ? 1 : 0) << off << " m off";
    }
}

// The feed loses a take-off roll at 120 kt (coverage ends at the runway's end): the armed
// take-off goes on by itself, at take-off speed along the runway, lifts off and climbs, until
// the samples it makes of its own are used up.
TEST_F(GroundManoeuvreTest, SilentFeedOnTheRunwayWithTheTakeOffArmedLiftsOffAndClimbs) {
    std::vector<Leg> legs{
        {270.0, 100.0, 0.0, 2.0, false}, {270.0, 110.0, 0.0, 2.0, false}, {270.0, 120.0, 0.0, 2.0, false}};
    const auto samples = track(gf_destinationPoint(kAirport, kPi, 3000.0), 0.0, 100, legs);
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20073, samples, MovePhase::Taxi);
    ac.move.takeOff.begin();
    const auto trace = run(20073, 20000, [](const LiveAircraft& a) { return a.state != LiveState::Active; });
    ASSERT_FALSE(trace.empty());
    const GeoPosition last{samples.back().latitude, samples.back().longitude};
    const auto at = [&](int64_t tick) {
        const auto t = std::find_if(trace.begin(), trace.end(), [&](const TracePoint& p) { return p.tick == tick; });
        return t == trace.end() ? 0.0 : gf_distanceNm({t->position.latitude, t->position.longitude}, last) * kMetresPerNm;
    };
    // 3 s on it is still rolling at take-off speed (120 kt is 185 m in 3 s), on its way west.
    EXPECT_GT(at(samples.back().dueTick + 300), 150.0);
    double highest = 0.0;
    bool rotated = false;
    for (const auto& t : trace) {
        highest = std::max(highest, t.agl);
        rotated = rotated || t.phase == MovePhase::TakeOff;
        EXPECT_LT(degreesBetween(t.position.heading, 270.0 * kDeg), 1.0) << "tick " << t.tick;
    }
    EXPECT_TRUE(rotated);
    EXPECT_GT(highest, 300.0);
    // Its ten samples of its own used up (3 s apart on the ground, 8 s in the air), it is removed.
    EXPECT_EQ(trace.back().state, LiveState::RemovingFromSim);
    EXPECT_GT(trace.back().tick - samples.back().dueTick, 3000);
    EXPECT_LT(trace.back().tick - samples.back().dueTick, 9000);
}

TEST_F(GroundManoeuvreTest, SilentFeedOnTheGroundNextToAnotherTaxiingAircraftGivesUpAtOnce) {
    std::vector<Leg> legs(3, Leg{90.0, 12.0, 0.0, 4.0, false});
    const GeoPosition from = gf_destinationPoint(kAirport, kPi, 3000.0);
    const auto samples = track(from, 0.0, 100, legs);
    addAircraft(AircraftCategory::Large, 20071, samples, MovePhase::Taxi);
    // Another aircraft taxies right where this one stops.
    const auto other = track({samples.back().latitude, samples.back().longitude}, 0.0, 100,
                             {Leg{0.0, 1.0, 0.0, 400.0, false}, Leg{0.0, 1.0, 0.0, 4.0, false}});
    addAircraft(AircraftCategory::Large, 20072, other, MovePhase::Taxi, "OTH1");
    const auto trace = run(20071, 5000, [](const LiveAircraft& a) { return a.state != LiveState::Active; });
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().state, LiveState::RemovingFromSim);
    EXPECT_LE(trace.back().tick, samples.back().dueTick + 1);
}

} // namespace

#include "links/traffic_line.hpp"

namespace {

using namespace mvtest;

class FedGroundTest : public GroundMovementTest {};

// A report as the traffic reader hands it over: one every 2 s, in feed seconds from `t0`.
struct FedLine {
    double t = 0.0;
    GeoPosition at;
    double speed = 0.0;
    double track = 0.0;
};

// Reports every 2 s of a ground run from `start` heading `trackAt(second)` (degrees), whose speed
// at each whole second is `speedAt(second)` (kt), for `seconds`.
std::vector<FedLine> groundRun(GeoPosition start, const std::function<double(int)>& trackAt, int seconds,
                               const std::function<double(int)>& speedAt, double t0 = 1.7e9) {
    std::vector<FedLine> out;
    GeoPosition p = start;
    for (int s = 0; s <= seconds; ++s) {
        const double v = speedAt(s);
        if (s % 2 == 0) out.push_back({t0 + s, p, v, trackAt(s)});
        p = gf_destinationPoint(p, trackAt(s) * kDeg, v / 3600.0 * kFeetPerNm);
    }
    return out;
}

std::vector<FedLine> groundRun(GeoPosition start, double track, int seconds,
                               const std::function<double(int)>& speedAt, double t0 = 1.7e9) {
    return groundRun(start, [track](int) { return track; }, seconds, speedAt, t0);
}

// A time of the program lost: for `seconds` from feed second `at` it counts no tick (a machine too
// busy for it), and the reports sent meanwhile reach it together when it counts again.
struct LostTicks {
    double at = -1.0;
    double seconds = 0.0;
};

// Replays `feed` through the intake: each report reaches the intake 30 s before it falls due
// (its due tick is `firstDue` + 100 per feed second, less the ticks lost before it); the aircraft
// `key` is taxiing and holds the first two reports already. The trace of every tick until `ticks`
// past the last report's due tick. With `createdAt` the aircraft is still being created: the
// simulator announces its object at that tick, and it settles before it moves.
std::vector<TracePoint> replayThroughIntake(uint32_t key, const std::vector<FedLine>& feed, int64_t firstDue,
                                            int64_t ticks = 3000, LostTicks lost = {},
                                            std::optional<int64_t> createdAt = {}) {
    auto due = [&](const FedLine& l) {
        double t = l.t - feed.front().t;
        if (lost.at >= 0.0 && t >= lost.at) t = t < lost.at + lost.seconds ? lost.at : t - lost.seconds;
        return firstDue + std::llround(t * 100.0);
    };
    auto sample = [&](const FedLine& l) {
        PositionSample s;
        s.latitude = l.at.latitude;
        s.longitude = l.at.longitude;
        s.groundSpeed = s.trueAirspeed = l.speed;
        s.track = l.track;
        s.dueTick = due(l);
        return s;
    };
    LiveAircraft& ac =
        addAircraft(AircraftCategory::Large, key, {sample(feed[0]), sample(feed[1])}, MovePhase::Taxi);
    ac.lastUpdateTime = feed[1].t;
    const uint32_t objectId = ac.objectId;
    if (createdAt) {
        ac.state = LiveState::Adding2Sim;
        ac.objectId = 0;
        ac.onGround = 0;
    }
    std::size_t delivered = 2;
    std::vector<TracePoint> trace;
    const int64_t end = due(feed.back()) + ticks;
    while (gf_tickCount() < end) {
        if (createdAt && gf_tickCount() == *createdAt)
            gf_postSimEvent(SimEvent{objectId, key, 0, kSimEventCreatedLive, kGroundFt, 0.0});
        while (delivered < feed.size() && due(feed[delivered]) - 3000 <= gf_tickCount()) {
            TrafficLine line;
            line.hexid = key;
            line.sample = sample(feed[delivered]);
            line.timeStamp = feed[delivered].t;
            ++delivered;
            lf_onTrafficUpdate(line);
        }
        const auto part = run(key, 1);
        if (part.empty()) break;
        trace.push_back(part.front());
    }
    return trace;
}

// Whether the aircraft stands still from tick `from` to `to`: its greatest distance (m) from
// `stop` then, or 1000 when it moves meanwhile.
double standsStill(const std::vector<TracePoint>& trace, int64_t from, int64_t to, GeoPosition stop) {
    const TracePoint* first = nullptr;
    double farthest = 0.0;
    for (const auto& t : trace) {
        if (t.tick < from || t.tick > to) continue;
        const GeoPosition at{t.position.latitude, t.position.longitude};
        if (!first) first = &t;
        if (gf_distanceNm(at, {first->position.latitude, first->position.longitude}) * kMetresPerNm > 0.1)
            return 1000.0;
        farthest = std::max(farthest, gf_distanceNm(stop, at) * kMetresPerNm);
    }
    return first ? farthest : 1000.0;
}

// The fastest the aircraft went over any second of the trace on the program's clock (kt), and the
// tick at which that second began.
std::pair<double, int64_t> fastestSecond(const std::vector<TracePoint>& trace) {
    std::pair<double, int64_t> fastest{0.0, 0};
    for (std::size_t i = 0; i + 100 < trace.size(); ++i) {
        const AcPosition& a = trace[i].position;
        const AcPosition& b = trace[i + 100].position;
        const double kt = gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * kTicksPerHour /
                          static_cast<double>(trace[i + 100].tick - trace[i].tick);
        if (kt > fastest.first) fastest = {kt, trace[i].tick};
    }
    return fastest;
}

// East at 11 kt, turning north at 60 s when `corner`; the program counts no tick for 3 s at 58 s
// of the feed, so the aircraft falls behind the feed's time and makes it up.
std::vector<TracePoint> taxiBehindTheFeedsTime(uint32_t key, bool corner) {
    const auto track = [corner](int s) { return corner && s >= 60 ? 0.0 : 90.0; };
    const auto feed = groundRun(gf_destinationPoint(kAirport, kPi, 3000.0), track, 120, [](int) { return 11.0; });
    return replayThroughIntake(key, feed, 3100, 500, LostTicks{58.0, 3.0});
}

TEST_F(FedGroundTest, BehindTheFeedsTimeATaxiingAircraftCatchesUpAtMostAQuarterFaster) {
    const auto trace = taxiBehindTheFeedsTime(20084, false);
    ASSERT_FALSE(trace.empty());
    const auto [fastest, at] = fastestSecond(trace);
    EXPECT_GT(fastest, 11.0 * 1.2) << "does not catch up";
    EXPECT_LT(fastest, 11.0 * 1.3) << "at tick " << at;
}

TEST_F(FedGroundTest, BehindTheFeedsTimeATaxiingAircraftRoundsACornerNoFasterThanItCatchesUpOnAStraightWay) {
    const auto trace = taxiBehindTheFeedsTime(20085, true);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().state, LiveState::Active);
    const auto [fastest, at] = fastestSecond(trace);
    EXPECT_LT(fastest, 11.0 * 1.3) << "at tick " << at;
}

// The greatest distance (m) from tick `from` to `to` between the aircraft and where the feed had
// it at that moment of the replay (between two reports, on the straight line joining them).
double metresOffTheFeed(const std::vector<TracePoint>& trace, const std::vector<FedLine>& feed, int64_t firstDue,
                        int64_t from, int64_t to) {
    double worst = 0.0;
    for (const auto& t : trace) {
        if (t.tick < from || t.tick > to) continue;
        const double fedTime = feed.front().t + static_cast<double>(t.tick - firstDue) / 100.0;
        const auto after = std::find_if(feed.begin(), feed.end(), [&](const FedLine& l) { return l.t >= fedTime; });
        if (after == feed.begin() || after == feed.end()) continue;
        const FedLine& a = *(after - 1);
        const double u = (fedTime - a.t) / (after->t - a.t);
        const GeoPosition fed{a.at.latitude + u * (after->at.latitude - a.at.latitude),
                              a.at.longitude + u * (after->at.longitude - a.at.longitude)};
        worst = std::max(worst, gf_distanceNm(fed, {t.position.latitude, t.position.longitude}) * kMetresPerNm);
    }
    return worst;
}

TEST_F(FedGroundTest, ARejectedTakeOffStopsWhereTheFeedStopsAndTaxisBack) {
    // Lined up westwards: 20 s up to 90 kt, 30 s down to a stop, 40 s standing, then 10 kt.
    const auto speedAt = [](int s) -> double {
        if (s < 30) return std::min(90.0, 4.5 * s);
        if (s < 60) return std::max(0.0, 90.0 - 3.0 * (s - 30));
        return s < 100 ? 0.0 : 10.0;
    };
    const auto feed = groundRun(gf_destinationPoint(kAirport, kPi, 600.0 / 0.3048), 270.0, 130, speedAt);
    const int64_t firstDue = 3100;
    const auto trace = replayThroughIntake(20080, feed, firstDue);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().state, LiveState::Active);
    double highest = 0.0;
    int64_t tookOff = -1;
    for (const auto& t : trace) {
        highest = std::max(highest, t.agl);
        if (t.phase == MovePhase::TakeOff && tookOff < 0) tookOff = t.tick;
    }
    EXPECT_EQ(tookOff, -1);
    EXPECT_LT(highest, kCgFt + 1.0);
    // It stands while the feed stands (60 s to 100 s), within the last report's way of the stop.
    EXPECT_LT(standsStill(trace, firstDue + 6200, firstDue + 9800, feed[30].at), 6.0);
}

// Rolls westwards whose reports stop: an arrival first seen rolling out at 121 kt, braking at
// 1.5 kt a second, lost at 55 kt; a take-off roll to 120 kt braking at 4 kt a second, lost at
// 64 kt; a fast exit turning off at 60 kt, lost at 46 kt. Slowing, none of them is taking off:
// each stands where its reports stopped. A roll that speeds up to its last report, lost at
// 120 kt, goes on, lifts off and climbs. The same when all of the reports had come in before the
// aircraft was created and active.
TEST_F(FedGroundTest, ARollWhoseReportsSlowedBeforeTheyStoppedStandsAndOneThatSpedUpTakesOff) {
    struct Roll {
        const char* name;
        int seconds;
        std::function<double(int)> speedAt;
        std::function<double(int)> trackAt;
        bool takesOff;
        bool createdLate = false;
    };
    const auto west = [](int) { return 270.0; };
    const auto speedingUp = [](int s) { return 3.0 * s; };
    const auto rejected = [](int s) { return s <= 40 ? 3.0 * s : 120.0 - 4.0 * (s - 40); };
    const std::vector<Roll> rolls{
        {"rolling out", 44, [](int s) { return 121.0 - 1.5 * s; }, west, false},
        {"rejected", 54, rejected, west, false},
        {"fast exit", 14, [](int s) { return 60.0 - s; }, [](int s) { return 270.0 + 2.0 * s; }, false},
        {"taking off", 40, speedingUp, west, true},
        // Their creation took so long that the whole roll had come in before they became active.
        {"taking off, created late", 40, speedingUp, west, true, true},
        {"rejected, created late", 54, rejected, west, false, true},
    };
    for (const Roll& roll : rolls) {
        resetWorld();
        const auto feed = groundRun(gf_destinationPoint(kAirport, kPi, 600.0 / 0.3048), roll.trackAt, roll.seconds,
                                    roll.speedAt);
        const int64_t firstDue = gf_tickCount() + 3100;
        std::optional<int64_t> createdAt;
        if (roll.createdLate) createdAt = firstDue + 100 * roll.seconds - 2500;
        const auto trace = replayThroughIntake(20087, feed, firstDue, 4000, {}, createdAt);
        ASSERT_FALSE(trace.empty()) << roll.name;
        double highest = 0.0;
        bool rotated = false;
        for (const auto& t : trace) {
            highest = std::max(highest, t.agl);
            rotated = rotated || t.phase == MovePhase::TakeOff;
        }
        EXPECT_EQ(rotated, roll.takesOff) << roll.name;
        if (roll.takesOff) {
            EXPECT_GT(highest, 300.0) << roll.name;
            continue;
        }
        EXPECT_LT(highest, kCgFt + 1.0) << roll.name;
        const int64_t lastDue = firstDue + 100 * (roll.seconds / 2 * 2);
        EXPECT_LT(standsStill(trace, lastDue + 500, lastDue + 4000, feed.back().at), 5.0) << roll.name;
    }
}

TEST_F(FedGroundTest, ATaxiStopIsReplayedWhereAndWhenTheFeedStopsBesideAnotherTaxiingAircraft) {
    // North at 8 kt, slowing by 1 kt a second to a stop, standing 60 s, moving off again.
    const auto speedAt = [](int s) -> double {
        if (s < 20) return 8.0;
        if (s < 28) return 8.0 - (s - 20);
        if (s < 88) return 0.0;
        return std::min(8.0, static_cast<double>(s - 88));
    };
    const GeoPosition start = gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048);
    const auto feed = groundRun(start, 0.0, 120, speedAt);
    // Another aircraft taxies slowly 30 m to the east of the stop all the while.
    const GeoPosition stop = feed[14].at; // the report at 28 s
    const auto other = track(gf_destinationPoint(stop, kPi / 2, 30.0 / 0.3048), 0.0, 100,
                             {Leg{0.0, 0.5, 0.0, 200.0, false}, Leg{0.0, 0.5, 0.0, 4.0, false}});
    addAircraft(AircraftCategory::Large, 20082, other, MovePhase::Taxi, "OTH1");
    const int64_t firstDue = 3100;
    const auto trace = replayThroughIntake(20081, feed, firstDue, 500);
    ASSERT_FALSE(trace.empty());
    // Still fed, it is not removed.
    EXPECT_EQ(trace.back().state, LiveState::Active);
    EXPECT_GE(trace.back().tick, firstDue + 12000);
    // It stands at the fed stop until the feed moves off (1 kt in its first second).
    EXPECT_LT(standsStill(trace, firstDue + 2900, firstDue + 8800, stop), 2.0);
}

TEST_F(FedGroundTest, AStandingAircraftWhoseFeedNeverSaysZeroKnotsStandsStillAndTaxisOnInTime) {
    // North at 8 kt for 20 s, then standing 60 s: every report 0.5 to 1.5 kt, 2 to 4 m from the
    // stop in any direction, its track anywhere; then north at 8 kt again.
    std::mt19937 noise(36);
    const auto unit = [&] { return static_cast<double>(noise()) / 4294967296.0; };
    const GeoPosition start = gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048);
    const auto taxiing = [](int) { return 8.0; };
    std::vector<FedLine> feed = groundRun(start, 0.0, 20, taxiing);
    const GeoPosition stop = gf_destinationPoint(feed.back().at, 0.0, 8.0 * 2.0 / 3600.0 * kFeetPerNm);
    double t = feed.back().t;
    for (int i = 0; i < 30; ++i) {
        const GeoPosition at = gf_destinationPoint(stop, unit() * 2.0 * kPi, (2.0 + 2.0 * unit()) / 0.3048);
        feed.push_back({t += 2.0, at, 0.5 + unit(), unit() * 360.0});
    }
    for (const FedLine& l : groundRun(stop, 0.0, 40, taxiing, t + 2.0))
        feed.push_back(l);
    const int64_t firstDue = 3100;
    const auto trace = replayThroughIntake(20083, feed, firstDue, 0);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().state, LiveState::Active);
    // Once it has rolled to the stop (8 s after the first standing report) until the feed moves
    // off at 82 s it stands: no way, no turn.
    double way = 0.0;
    double turned = 0.0;
    for (std::size_t i = 1; i < trace.size(); ++i) {
        if (trace[i].tick < firstDue + 3000 || trace[i].tick > firstDue + 8000) continue;
        const AcPosition& a = trace[i - 1].position;
        const AcPosition& b = trace[i].position;
        way += gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * kMetresPerNm;
        turned += degreesBetween(a.heading, b.heading);
    }
    EXPECT_LT(way, 1.0) << "crept while the feed stood";
    EXPECT_LT(turned, 5.0) << "degrees turned while the feed stood";
    // Taxiing on from 82 s, it is back on the replay's time once it has come up to speed.
    double behind = 0.0;
    for (const TracePoint& p : trace) {
        if (p.tick < firstDue + 10000 || p.tick > firstDue + 11600) continue;
        const double fed = 8.0 * static_cast<double>(p.tick - firstDue - 8200) / 360000.0 * kMetresPerNm;
        const double come = gf_distanceNm(stop, {p.position.latitude, p.position.longitude}) * kMetresPerNm;
        behind = std::max(behind, fed - come);
    }
    EXPECT_LT(behind, 10.0) << "metres behind the feed";
}

// North at 8 kt into a right turn of 3 degrees a second, slowing by 1 kt a second in the turn to
// a stop, standing 60 s, then moving off round the rest of the turn: it stops where the feed
// stops, in the turn.
TEST_F(FedGroundTest, ATaxiSlowingToAStopInATurnStopsWhereTheFeedStops) {
    const auto speedAt = [](int s) -> double {
        if (s < 24) return 8.0;
        if (s < 32) return 8.0 - (s - 24);
        if (s < 92) return 0.0;
        return std::min(8.0, static_cast<double>(s - 92));
    };
    const auto trackAt = [](int s) { return std::clamp(3.0 * (s - 20), 0.0, 90.0); };
    const auto feed = groundRun(gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048), trackAt, 130, speedAt);
    const GeoPosition stop = feed[16].at; // the report at 32 s
    const int64_t firstDue = 3100;
    const auto trace = replayThroughIntake(20086, feed, firstDue, 500);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().state, LiveState::Active);
    EXPECT_LT(standsStill(trace, firstDue + 3300, firstDue + 9200, stop), 2.0);
}

// A taxi at a steady slow speed north, through a quarter turn right at 3 degrees a second and on
// east; its reports in the turn lie a few metres apart, well within a standing aircraft's
// scatter. It keeps to its fed track and time all the way round.
TEST_F(FedGroundTest, ASlowTaxiThroughATurnKeepsToItsFedPoint) {
    const auto trackAt = [](int s) { return std::clamp(3.0 * (s - 30), 0.0, 90.0); };
    for (const double kt : {2.0, 3.5, 5.0}) {
        resetWorld();
        const auto feed = groundRun(gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048), trackAt, 100,
                                    [kt](int) { return kt; });
        const int64_t firstDue = gf_tickCount() + 3100;
        const auto trace = replayThroughIntake(20084, feed, firstDue, 0);
        ASSERT_FALSE(trace.empty());
        EXPECT_LT(metresOffTheFeed(trace, feed, firstDue, firstDue + 2000, firstDue + 9000), 5.0) << kt << " kt";
    }
}

// A queue creeping north at 1 kt, give or take half a knot from report to report: it keeps up
// with its feed.
TEST_F(FedGroundTest, AQueueCreepingAtAKnotKeepsUpWithItsFeed) {
    std::mt19937 noise(7);
    std::vector<double> speeds;
    for (int i = 0; i <= 120; ++i)
        speeds.push_back(0.5 + static_cast<double>(noise()) / 4294967296.0);
    const auto feed = groundRun(gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048), 0.0, 240,
                                [&](int s) { return speeds[static_cast<std::size_t>(s / 2)]; });
    const int64_t firstDue = 3100;
    const auto trace = replayThroughIntake(20085, feed, firstDue, 0);
    ASSERT_FALSE(trace.empty());
    EXPECT_LT(metresOffTheFeed(trace, feed, firstDue, firstDue + 3000, firstDue + 22000), 3.0);
}

} // namespace

namespace {

using namespace mvtest;

class NoisyGroundTest : public GroundMovementTest {};

// The noise of a real ground feed: positions scattered a few metres, speeds a few knots off,
// reports some seconds apart, now and then one twice (two receivers) or one out of order.
struct FeedNoise {
    std::mt19937 rng;
    explicit FeedNoise(uint32_t seed) : rng(seed) {}
    double unit() { return static_cast<double>(rng()) / 4294967296.0; }
    double between(double a, double b) { return a + (b - a) * unit(); }
    GeoPosition scatter(GeoPosition p, double minM, double maxM) {
        return gf_destinationPoint(p, unit() * 2.0 * kPi, between(minM, maxM) / 0.3048);
    }
};

// A fed line's seconds, position, speed and track as the traffic reader hands them over, with a
// copy now and then (a second receiver) and a line now and then swapped with the one before.
std::vector<FedLine> withDuplicatesAndSwaps(std::vector<FedLine> lines, FeedNoise& noise) {
    std::vector<FedLine> out;
    for (const FedLine& l : lines) {
        out.push_back(l);
        if (out.size() > 2 && noise.unit() < 0.2) out.push_back(l);
    }
    for (std::size_t i = 2; i + 1 < out.size(); ++i)
        if (noise.unit() < 0.05) std::swap(out[i], out[i + 1]);
    return out;
}

// The nose turned in any one second of the trace from `from` to `to`, at most (degrees).
double fastestNoseSecond(const std::vector<TracePoint>& trace, int64_t from, int64_t to) {
    double fastest = 0.0;
    for (std::size_t i = 100; i < trace.size(); ++i) {
        if (trace[i - 100].tick < from || trace[i].tick > to) continue;
        fastest = std::max(fastest, degreesBetween(trace[i].position.heading, trace[i - 100].position.heading));
    }
    return fastest;
}

// The widest angle (degrees) between the nose and the way the aircraft went over any second of
// the trace from `from` to `to` in which it went at least 8 kt.
double widestCrabInASecond(const std::vector<TracePoint>& trace, int64_t from, int64_t to) {
    double widest = 0.0;
    for (std::size_t i = 100; i < trace.size(); ++i) {
        const TracePoint& a = trace[i - 100];
        const TracePoint& b = trace[i];
        if (a.tick < from || b.tick > to) continue;
        const GeoPosition pa{a.position.latitude, a.position.longitude};
        const GeoPosition pb{b.position.latitude, b.position.longitude};
        const double seconds = static_cast<double>(b.tick - a.tick) / 100.0;
        if (gf_distanceNm(pa, pb) * 3600.0 / seconds < 8.0) continue;
        widest = std::max(widest, degreesBetween(gf_initialBearing(pa, pb), a.position.heading));
    }
    return widest;
}

// A departure taxies north at about 10 kt to the holding point and stops there. It holds three
// minutes reporting 0 kt, every 5 to 15 s, each report 3 to 6 m from where it stands with a track
// anywhere; a 90 s outage falls inside the hold, and after it the feed still has it standing.
// Then it turns left onto the runway, west. The feed as the reader hands it over, and the tick
// at which the feed stops and moves off (feed seconds).
struct HoldingPointFeed {
    std::vector<FedLine> lines;
    GeoPosition stop;
    double stopsAt = 0.0;
    double movesOffAt = 0.0;
};

HoldingPointFeed holdingPointFeed(uint32_t seed) {
    FeedNoise noise(seed);
    HoldingPointFeed f;
    const double t0 = 1.7e9;
    GeoPosition p = gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048);
    double t = t0;
    std::vector<FedLine> lines;
    // 60 s north at 10 kt, reports every 2 to 6 s.
    while (t - t0 < 60.0) {
        lines.push_back({t, noise.scatter(p, 0.0, 3.0), std::round(10.0 + noise.between(-3.0, 3.0)), 0.0});
        const double dt = std::round(noise.between(2.0, 6.0));
        p = gf_destinationPoint(p, 0.0, 10.0 * dt / 3600.0 * kFeetPerNm);
        t += dt;
    }
    // Slowing to the stop within 6 s.
    lines.push_back({t, p, 5.0, 0.0});
    p = gf_destinationPoint(p, 0.0, 5.0 * 4.0 / 3600.0 * kFeetPerNm);
    t += 4.0;
    f.stop = p;
    f.stopsAt = t - t0;
    // Three minutes standing; no line from 60 s to 150 s of it.
    const double holdEnd = t + 180.0;
    while (t < holdEnd) {
        const double held = t - t0 - f.stopsAt;
        if (held < 60.0 || held > 150.0)
            lines.push_back({t, noise.scatter(p, 3.0, 6.0), 0.0, noise.unit() * 360.0});
        t += std::round(noise.between(5.0, 15.0));
    }
    // Moving off west onto the runway, speeding up by 2 kt a second to 20 kt.
    f.movesOffAt = t - t0;
    double v = 2.0;
    for (int i = 0; i < 20; ++i) {
        lines.push_back({t, noise.scatter(p, 0.0, 3.0), std::round(v + noise.between(-2.0, 2.0)), 270.0});
        const double dt = std::round(noise.between(2.0, 5.0));
        p = gf_destinationPoint(p, 1.5 * kPi, (v + dt) * dt / 3600.0 * kFeetPerNm);
        v = std::min(v + 2.0 * dt, 20.0);
        t += dt;
    }
    f.lines = withDuplicatesAndSwaps(lines, noise);
    return f;
}

TEST_F(NoisyGroundTest, AnAircraftStandingAtTheHoldingPointKeepsItsNoseAndTurnsTheWayItsReportsGoWhenItMovesOn) {
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        resetWorld();
        const HoldingPointFeed f = holdingPointFeed(seed);
        const int64_t firstDue = gf_tickCount() + 3100;
        const auto trace = replayThroughIntake(20090, f.lines, firstDue, 500);
        ASSERT_FALSE(trace.empty()) << "seed " << seed;
        EXPECT_EQ(trace.back().state, LiveState::Active) << "seed " << seed;
        // From 10 s after the stop until the feed moves off: no way and no turn worth the name.
        const int64_t from = firstDue + std::llround((f.stopsAt + 10.0) * 100.0);
        const int64_t to = firstDue + std::llround(f.movesOffAt * 100.0) - 100;
        double way = 0.0, turned = 0.0, nose = 0.0;
        for (std::size_t i = 1; i < trace.size(); ++i) {
            if (trace[i].tick <= from || trace[i].tick > to) continue;
            const AcPosition& a = trace[i - 1].position;
            const AcPosition& b = trace[i].position;
            way += gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * kMetresPerNm;
            turned += degreesBetween(a.heading, b.heading);
            nose = std::max(nose, degreesBetween(b.heading, 0.0));
        }
        EXPECT_LT(way, 2.0) << "seed " << seed << ": metres crept while standing";
        EXPECT_LT(turned, 5.0) << "seed " << seed << ": degrees turned while standing";
        EXPECT_LT(nose, 10.0) << "seed " << seed << ": nose off the way it came";
        // Moving on it turns left onto its way west: its nose never passes east of north.
        double signedTurn = 0.0, mostRight = 0.0;
        for (std::size_t i = 1; i < trace.size(); ++i) {
            if (trace[i].tick <= to) continue;
            signedTurn += gf_wrapDifference(trace[i].position.heading - trace[i - 1].position.heading) / kDeg;
            mostRight = std::max(mostRight, signedTurn);
        }
        EXPECT_LT(mostRight, 10.0) << "seed " << seed << ": turned right, the wrong way";
        EXPECT_NEAR(signedTurn, -90.0, 20.0) << "seed " << seed;
    }
}

} // namespace

namespace {

using namespace mvtest;

// Lines of a ground run through `legs` of (track, speed at the leg's start, speed at its end,
// seconds), reported every `minGap` to `maxGap` s with the feed's noise: positions 3 to 8 m off,
// speeds 3 kt off in whole knots.
struct RunLeg {
    double track;
    double fromKt;
    double toKt;
    double seconds;
};

std::vector<FedLine> sparseRun(GeoPosition start, const std::vector<RunLeg>& legs, double minGap, double maxGap,
                               FeedNoise& noise, double scatterMin = 3.0, double scatterMax = 8.0,
                               double speedNoise = 3.0) {
    std::vector<FedLine> out;
    const double t0 = 1.7e9;
    GeoPosition p = start;
    double t = 0.0, next = 0.0;
    for (const RunLeg& leg : legs) {
        for (double s = 0.0; s < leg.seconds; s += 0.5, t += 0.5) {
            const double v = leg.fromKt + (leg.toKt - leg.fromKt) * s / leg.seconds;
            if (t >= next) {
                const double fedKt = std::max(0.0, std::round(v + noise.between(-speedNoise, speedNoise)));
                out.push_back({t0 + t, noise.scatter(p, scatterMin, scatterMax), fedKt, leg.track});
                next = t + std::round(noise.between(minGap, maxGap));
            }
            p = gf_destinationPoint(p, leg.track * kDeg, v * 0.5 / 3600.0 * kFeetPerNm);
        }
    }
    return out;
}

// The fastest any second of the trace from `from` went (kt).
double fastestKnots(const std::vector<TracePoint>& trace, int64_t from) {
    std::vector<TracePoint> part;
    for (const TracePoint& t : trace)
        if (t.tick >= from) part.push_back(t);
    return fastestSecond(part).first;
}

// Reports 5 to 15 s apart: a taxi east at 15 kt turning left onto a taxiway north, and an
// aircraft leaving the runway westwards at 60 kt, slowing to 15 kt on a fast exit 60 degrees to
// the right and again right onto the taxiway north. However far apart its reports, the nose of
// a Large aircraft turns at most its own 7 degrees a second, it goes the way its nose points
// (never 40 degrees or more off it in a second at 8 kt or more), and it goes no faster than a
// quarter above its fed speed to keep to the replay's time.
TEST_F(NoisyGroundTest, WithSparseReportsNoGroundTurnIsFasterThanTheAircraftTurns) {
    const double rate = gf_categoryValues(AircraftCategory::Large).angleStepRad / kDeg * 100.0;
    struct Case {
        const char* name;
        std::vector<RunLeg> legs;
        double slowFrom; // feed seconds after which the fed speed is at most about 15 kt
    };
    const std::vector<Case> cases{
        {"taxi corner", {{90.0, 15.0, 15.0, 60.0}, {0.0, 15.0, 15.0, 60.0}}, 0.0},
        {"runway exit",
         {{270.0, 60.0, 40.0, 10.0}, {330.0, 40.0, 15.0, 20.0}, {0.0, 15.0, 15.0, 50.0}},
         30.0},
    };
    for (const Case& c : cases) {
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            resetWorld();
            FeedNoise noise(seed);
            const auto feed = withDuplicatesAndSwaps(
                sparseRun(gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048), c.legs, 5.0, 15.0, noise), noise);
            const int64_t firstDue = gf_tickCount() + 3100;
            const auto trace = replayThroughIntake(20091, feed, firstDue, 0);
            ASSERT_FALSE(trace.empty()) << c.name << " seed " << seed;
            const int64_t lastDue = firstDue + std::llround((feed.back().t - feed.front().t) * 100.0);
            EXPECT_LT(fastestNoseSecond(trace, firstDue, lastDue), rate + 0.5)
                << c.name << " seed " << seed << ": degrees in one second";
            EXPECT_LT(widestCrabInASecond(trace, firstDue, lastDue), 40.0)
                << c.name << " seed " << seed << ": degrees between the nose and the way it goes";
            const int64_t slow = firstDue + std::llround(c.slowFrom * 100.0) + 1000;
            EXPECT_LT(fastestKnots(trace, slow), (15.0 + 3.0) * 1.3) << c.name << " seed " << seed;
        }
    }
}

// Neighbour: a slow taxi through a quarter turn, its reports 2 to 10 s apart, a metre of
// scatter at most and half a knot of speed noise, keeps within 6 m of its feed all the way round
// (the reports a curve is made of lie up to 26 m apart at 5 kt).
TEST_F(NoisyGroundTest, ASlowTaxiTurnWithReportsTwoToTenSecondsApartKeepsToItsFeed) {
    for (const double kt : {3.0, 5.0}) {
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            resetWorld();
            FeedNoise noise(seed);
            std::vector<RunLeg> legs{{0.0, kt, kt, 30.0}};
            for (int i = 1; i <= 10; ++i) legs.push_back({9.0 * i, kt, kt, 3.0});
            legs.push_back({90.0, kt, kt, 40.0});
            const auto lines =
                sparseRun(gf_destinationPoint(kAirport, kPi, 1500.0 / 0.3048), legs, 2.0, 10.0, noise, 0.0, 1.0, 0.5);
            const auto feed = withDuplicatesAndSwaps(lines, noise);
            const int64_t firstDue = gf_tickCount() + 3100;
            const auto trace = replayThroughIntake(20092, feed, firstDue, 0);
            ASSERT_FALSE(trace.empty());
            EXPECT_LT(metresOffTheFeed(trace, lines, firstDue, firstDue + 2000, firstDue + 9000), 6.0)
                << kt << " kt seed " << seed;
        }
    }
}

} // namespace

namespace {

using namespace mvtest;

class StandstillEdgeTest : public GroundMovementTest {
protected:
    // A taxiing aircraft whose newest sample `n` is the report at `speedKt` and `trackDeg` due at
    // tick 1000, scattered a little off the row of stands as a real report is.
    LiveAircraft& taxiing(double speedKt, double trackDeg) {
        n = fedReport(gf_destinationPoint(kAirport, 0.3, 1234.5), speedKt, trackDeg, 1000);
        n.generated = 0;
        return addAircraft(AircraftCategory::Large, 20095, {n}, MovePhase::Taxi);
    }
    // A report `dt` ticks after n, `north` and `east` degrees from it.
    PositionSample report(double north, double east, double speedKt, double trackDeg, int64_t dt = 200) const {
        PositionSample s = fedReport({n.latitude + north, n.longitude + east}, speedKt, trackDeg, n.dueTick + dt);
        s.generated = 0;
        return s;
    }
    // The report as the standstill rule leaves it: true when it stands (a copy of n at 0 kt).
    bool standsAtN(LiveAircraft& ac, PositionSample s) {
        EXPECT_TRUE(lf_isStandstillSample(ac, s));
        return s.generated != 0 && s.groundSpeed == 0.0 && s.latitude == n.latitude && s.longitude == n.longitude;
    }
    // A report `metres` from n along `wayDeg` (degrees of latitude and longitude from metres at
    // n's latitude).
    PositionSample along(double wayDeg, double metres, double speedKt, double trackDeg) const {
        const GeoPosition p = gf_destinationPoint({n.latitude, n.longitude}, wayDeg * kDeg, metres / 0.3048);
        return report(p.latitude - n.latitude, p.longitude - n.longitude, speedKt, trackDeg);
    }
    PositionSample n;
};

// A report at one spot with the last one (both coordinates within 1e-8 degrees) is a standstill
// whatever its speed; just beyond, a report of a moving aircraft is followed as it is.
TEST_F(StandstillEdgeTest, TheSameSpotIsWithinOneHundredMillionthOfADegree) {
    LiveAircraft& ac = taxiing(0.0, 0.0);
    PositionSample same = report(0.9e-8, -0.9e-8, 6.0, 0.0);
    EXPECT_TRUE(lf_isStandstillSample(ac, same));
    EXPECT_EQ(same.groundSpeed, 0.0);
    EXPECT_NE(same.generated, 0);
    for (const auto& [north, east] : {std::pair{1.1e-8, 0.0}, std::pair{0.0, 1.1e-8}}) {
        PositionSample beside = report(north, east, 6.0, 0.0);
        EXPECT_TRUE(lf_isStandstillSample(ac, beside));
        EXPECT_EQ(beside.groundSpeed, 6.0);
        EXPECT_EQ(beside.generated, 0);
    }
}

// A slow report within 0.00015 degrees of the last one in both latitude and longitude is a
// standing aircraft's scatter; a little farther either way it is followed as reported.
TEST_F(StandstillEdgeTest, AStandingAircraftsScatterIsWithinFifteenHundredThousandthsOfADegreeEachWay) {
    LiveAircraft& ac = taxiing(0.0, 0.0);
    for (const double speed : {0.0, 3.0, 5.0}) {
        EXPECT_TRUE(standsAtN(ac, report(0.000149, 0.0, speed, 123.0))) << speed;
        EXPECT_TRUE(standsAtN(ac, report(0.0, -0.000149, speed, 123.0))) << speed;
        EXPECT_TRUE(standsAtN(ac, report(-0.000149, 0.000149, speed, 123.0))) << speed;
        EXPECT_FALSE(standsAtN(ac, report(0.000151, 0.0, speed, 123.0))) << speed;
        EXPECT_FALSE(standsAtN(ac, report(0.0, -0.000151, speed, 123.0))) << speed;
    }
    // Faster than a standing aircraft's noise it moves, however near.
    EXPECT_FALSE(standsAtN(ac, report(0.00001, 0.0, 5.5, 0.0)));
}

// A slow report near a moving one carries on its way when it lies ahead on its track at about the
// way their speeds went meanwhile: from half the slower one's way to one and a half times the
// faster one's and a metre of the feed's rounding.
TEST_F(StandstillEdgeTest, AReportCarriesOnTheWayFromHalfTheSlowerToOneAndAHalfTheFasterSpeedsWay) {
    LiveAircraft& ac = taxiing(4.0, 30.0);
    const double slowerM = 3.0 * 2.0 / 3600.0 * kMetresPerNm; // 3 kt for 2 s
    const double fasterM = 4.0 * 2.0 / 3600.0 * kMetresPerNm;
    EXPECT_TRUE(standsAtN(ac, along(30.0, 0.49 * slowerM, 3.0, 30.0)));
    EXPECT_FALSE(standsAtN(ac, along(30.0, 0.51 * slowerM, 3.0, 30.0)));
    EXPECT_FALSE(standsAtN(ac, along(30.0, 1.5 * fasterM + 0.98, 3.0, 30.0)));
    EXPECT_TRUE(standsAtN(ac, along(30.0, 1.5 * fasterM + 1.02, 3.0, 30.0)));
    // Ahead means within 45 degrees of the moving report's track.
    EXPECT_FALSE(standsAtN(ac, along(30.0 + 44.0, fasterM, 3.0, 30.0)));
    EXPECT_TRUE(standsAtN(ac, along(30.0 - 46.0, fasterM, 3.0, 30.0)));
}

// A report as fast as the moving one before it carries on its way only when its own track agrees
// with the way (within 45 degrees); a slower one (a stop's) need not.
TEST_F(StandstillEdgeTest, AtEqualSpeedsAReportCarriesOnTheWayOnlyAlongItsOwnTrack) {
    LiveAircraft& ac = taxiing(4.0, 30.0);
    const double wayM = 4.0 * 2.0 / 3600.0 * kMetresPerNm;
    EXPECT_FALSE(standsAtN(ac, along(30.0, wayM, 4.0, 30.0 + 44.0)));
    EXPECT_TRUE(standsAtN(ac, along(30.0, wayM, 4.0, 30.0 + 46.0)));
    EXPECT_TRUE(standsAtN(ac, along(30.0, wayM, 4.0, 30.0 - 46.0)));
    EXPECT_FALSE(standsAtN(ac, along(30.0, wayM, 3.9, 30.0 + 170.0)));
}

// The stop a slowing aircraft rolls on to lies on the way it came: a 0 kt report up to 8 m to the
// side of the moving report's track (a standing aircraft's scatter) is brought onto the track, as
// far along it as the report lies; farther aside it is a turn, kept where reported.
TEST_F(StandstillEdgeTest, AStopReportUpToEightMetresAsideOfTheWayItCameIsBroughtOntoIt) {
    LiveAircraft& ac = taxiing(4.0, 0.0);
    const double north = 10.0 / kMetresPerDegree;
    const double metreEast = 1.0 / (kMetresPerDegree * std::cos(n.latitude * kDeg));
    PositionSample near = report(north, 7.9 * metreEast, 0.0, 200.0, 600);
    EXPECT_TRUE(lf_isStandstillSample(ac, near));
    EXPECT_EQ(near.generated, 0);
    EXPECT_NEAR(near.longitude, n.longitude, 1e-9);
    EXPECT_NEAR((near.latitude - n.latitude) * kMetresPerDegree, 10.0, 0.05);
    PositionSample aside = report(north, 8.1 * metreEast, 0.0, 200.0, 600);
    EXPECT_TRUE(lf_isStandstillSample(ac, aside));
    EXPECT_EQ(aside.generated, 0);
    EXPECT_EQ(aside.longitude, n.longitude + 8.1 * metreEast);
    EXPECT_EQ(aside.latitude, n.latitude + north);
}

} // namespace
