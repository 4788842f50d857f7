// Air movement, take-off and landing of live aircraft, replayed through the live-traffic tick
// from scripted tracks: the position blocks the tick produces are checked against the samples.

#include <algorithm>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "links/sim_definitions.hpp"
#include "links/traffic_line.hpp"
#include "traffic/air_movement.hpp"
#include "traffic/movement.hpp"
#include "traffic/movement_test_support.hpp"
#include "traffic/takeoff_landing.hpp"
#include "traffic/traffic_birth.hpp"

namespace {

using namespace mvtest;

class AirMovementTest : public ::testing::Test {
protected:
    void SetUp() override { resetWorld(); }
    void TearDown() override { resetWorld(); }
};

// The largest heading change from one tick to the next (degrees) and whether every heading lies
// in [0, 2 pi).
std::pair<double, bool> headingJumps(const std::vector<TracePoint>& trace) {
    double worst = 0.0;
    bool inRange = true;
    for (std::size_t i = 0; i < trace.size(); ++i) {
        const double h = trace[i].position.heading;
        inRange = inRange && h >= 0.0 && h < kFullTurn;
        if (i > 0) worst = std::max(worst, degreesBetween(h, trace[i - 1].position.heading));
    }
    return {worst, inRange};
}

// The feed's time stamp (s) of a report: its due tick, in seconds.
double feedTime(const PositionSample& s) { return 1.7e9 + static_cast<double>(s.dueTick) / 100.0; }

// A report reaching the aircraft `key` as the program receives it: a traffic line through the
// intake, whose rules (the thinning of straight lines among them) apply.
void receive(uint32_t key, const PositionSample& report) {
    TrafficLine line;
    line.hexid = key;
    line.sample = report;
    line.timeStamp = feedTime(report);
    lf_onTrafficUpdate(line);
}

// Replays a feed through the intake to the aircraft `key`, which holds its first two reports:
// the others reach it 30 s before they fall due. The trace of every tick until the last report
// is due.
std::vector<TracePoint> replayFedAhead(uint32_t key, const std::vector<PositionSample>& feed) {
    findAircraft(key)->lastUpdateTime = feedTime(feed[1]);
    std::size_t delivered = 2;
    std::vector<TracePoint> trace;
    while (gf_tickCount() < feed.back().dueTick) {
        while (delivered < feed.size() && feed[delivered].dueTick - 3000 <= gf_tickCount())
            receive(key, feed[delivered++]);
        const auto part = run(key, 1);
        if (part.empty()) break;
        trace.push_back(part.front());
    }
    return trace;
}

// Where the feed has the aircraft at a tick: between the two reports due around it.
GeoPosition fedAt(const std::vector<PositionSample>& feed, int64_t tick) {
    std::size_t i = 1;
    while (i + 1 < feed.size() && feed[i].dueTick < tick)
        ++i;
    const double f = std::clamp(static_cast<double>(tick - feed[i - 1].dueTick) /
                                    static_cast<double>(feed[i].dueTick - feed[i - 1].dueTick),
                                0.0, 1.0);
    return {feed[i - 1].latitude + f * (feed[i].latitude - feed[i - 1].latitude),
            feed[i - 1].longitude + f * (feed[i].longitude - feed[i - 1].longitude)};
}

// The farthest (metres) the trace lies from where the feed has the aircraft at the same tick,
// from `from` on.
double metresOffFedTrack(const std::vector<PositionSample>& feed,
                         std::vector<TracePoint>::const_iterator from,
                         std::vector<TracePoint>::const_iterator to) {
    double worst = 0.0;
    for (auto t = from; t != to; ++t)
        worst = std::max(worst,
                         gf_distanceNm(fedAt(feed, t->tick), {t->position.latitude, t->position.longitude}) *
                             kMetresPerNm);
    return worst;
}

TEST_F(AirMovementTest, CruiseTurningThroughNorthBothWaysMeetsEverySampleAtItsDueTick) {
    // Right through north, then left back through it, at FL350 and 450 kt, a sample every 4 s.
    std::vector<Leg> legs;
    for (int i = 0; i < 4; ++i) legs.push_back({340.0, 450.0, 0.0});
    for (double t : {350.0, 0.0, 10.0, 20.0, 20.0, 20.0, 10.0, 0.0, 350.0, 340.0, 330.0, 330.0})
        legs.push_back({t, 450.0, 0.0});
    const auto samples = track(kAirport, 35000.0, 100, legs);
    addAircraft(AircraftCategory::Large, 20001, samples, MovePhase::Flying);

    const auto trace = run(20001, samples.back().dueTick);
    // Every sample is met within 1e-6 degrees on the tick it falls due (the trace point after a
    // tick carries the counter of the next tick).
    std::size_t met = 0;
    for (std::size_t k = 1; k < samples.size(); ++k) {
        const auto at = std::find_if(trace.begin(), trace.end(),
                                     [&](const TracePoint& t) { return t.tick == samples[k].dueTick; });
        ASSERT_NE(at, trace.end());
        EXPECT_NEAR(at->position.latitude, samples[k].latitude, 1e-6) << "sample " << k;
        EXPECT_NEAR(at->position.longitude, samples[k].longitude, 1e-6) << "sample " << k;
        EXPECT_NEAR(at->position.altitude, 35000.0, 1.0);
        ++met;
    }
    EXPECT_EQ(met, samples.size() - 1);
    const auto [worst, inRange] = headingJumps(trace);
    EXPECT_TRUE(inRange) << "a heading left [0, 2 pi)";
    EXPECT_LT(worst, 0.2) << "heading jumped";
    // The aircraft turned through north both ways and ended on the last leg's track.
    EXPECT_LT(degreesBetween(trace.back().position.heading, 330.0 * kDeg), 12.0);
    for (const auto& t : trace) EXPECT_GT(t.agl, 0.0);
}

TEST_F(AirMovementTest, DescentBelowAThousandFeetAwayFromTheParkAirportFollowsTheSamplesDown) {
    // An approach to another airport (no landing is armed 30 nm from the park airport): from
    // 900 ft above the ground down at 800 ft/min, a sample every 4 s.
    const GeoPosition far = gf_destinationPoint(kAirport, 0.0, 30.0 * kFeetPerNm);
    const std::vector<Leg> legs(12, Leg{270.0, 140.0, -800.0});
    const auto samples = track(far, kGroundFt + 900.0, 100, legs);
    addAircraft(AircraftCategory::Large, 20001, samples, MovePhase::Flying);

    const auto trace = run(20001, samples.back().dueTick);
    double worstClimb = 0.0;
    for (std::size_t i = 1; i < trace.size(); ++i)
        worstClimb = std::max(worstClimb, trace[i].position.altitude - trace[i - 1].position.altitude);
    EXPECT_LE(worstClimb, 0.0) << "climbed on the way down";
    for (std::size_t k = 2; k < samples.size(); ++k) {
        const auto at = std::find_if(trace.begin(), trace.end(),
                                     [&](const TracePoint& t) { return t.tick == samples[k].dueTick; });
        ASSERT_NE(at, trace.end());
        EXPECT_NEAR(at->position.altitude, samples[k].altitude, 15.0) << "sample " << k;
    }
}

TEST_F(AirMovementTest, LightAircraftClimbingSlowlyNearTheGroundClimbsSteadilyWithTheFeed) {
    // A light aircraft's climb-out at 700 ft/min and 70 kt from 300 ft above the ground, a
    // sample every 2 s: it never sinks and never climbs much faster than the feed.
    const std::vector<Leg> legs(20, Leg{270.0, 70.0, 700.0, 2.0, true});
    const auto samples =
        track(gf_destinationPoint(kAirport, kPi / 2, 1.0 * kFeetPerNm), kGroundFt + 300.0, 100, legs);
    addAircraft(AircraftCategory::Light, 20007, samples, MovePhase::Flying);

    const auto trace = run(20007, samples.back().dueTick);
    double sinking = 0.0, climbing = 0.0; // per tick
    for (std::size_t i = 1; i < trace.size(); ++i) {
        const double change = trace[i].position.altitude - trace[i - 1].position.altitude;
        sinking = std::min(sinking, change);
        climbing = std::max(climbing, change);
    }
    EXPECT_GE(sinking, 0.0) << "sank on the way up";
    EXPECT_LE(climbing * 6000.0, 1.2 * 700.0) << "ft/min";
    EXPECT_NEAR(trace.back().position.altitude, samples.back().altitude, 5.0);
}

TEST_F(AirMovementTest, AHoveringHelicopterKeepsItsHeadingWhileItsReportsWobble) {
    // 300 ft above the field at 0 to 3 kt, each reported position 15 m off the middle in
    // another direction, no reported heading.
    const GeoPosition middle = gf_destinationPoint(kAirport, 0.0, 0.3 * kFeetPerNm);
    std::vector<PositionSample> samples;
    for (int i = 0; i < 20; ++i) {
        PositionSample s;
        const GeoPosition p = gf_destinationPoint(middle, 2.3 * i, 15.0 / 0.3048);
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.altitude = kGroundFt + 300.0;
        s.groundSpeed = s.trueAirspeed = static_cast<double>(i % 4);
        s.track = 40.0;
        s.dueTick = 100 + 200 * i;
        s.airborne = 1;
        samples.push_back(s);
    }
    const LiveAircraft& ac = addAircraft(AircraftCategory::Rotorcraft, 20008, samples, MovePhase::Flying);
    const double start = ac.position.heading;

    const auto trace = run(20008, samples.back().dueTick);
    double worst = 0.0;
    for (const auto& t : trace)
        worst = std::max(worst, degreesBetween(t.position.heading, start));
    EXPECT_LT(worst, 1.0) << "degrees off the first heading";
}

// A helicopter 60 ft above the field flying east at `speed` kt, a report every 2 s, each
// `wobble` metres off the line to one side and the other in turn; neither a heading nor a track
// reported (the track reads 0, north).
std::vector<PositionSample> slowEastwards(double speed, double wobble) {
    const GeoPosition from = gf_destinationPoint(kAirport, 0.0, 0.3 * kFeetPerNm);
    std::vector<PositionSample> samples;
    for (int i = 0; i < 30; ++i) {
        PositionSample s;
        const GeoPosition onLine = gf_destinationPoint(from, kPi / 2, speed * 2.0 * i / 3600.0 * kFeetPerNm);
        const GeoPosition p = gf_destinationPoint(onLine, i % 2 ? 0.0 : kPi, wobble / 0.3048);
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.altitude = kGroundFt + 60.0;
        s.groundSpeed = s.trueAirspeed = speed;
        s.dueTick = 100 + 200 * i;
        s.airborne = 1;
        samples.push_back(s);
    }
    return samples;
}

TEST_F(AirMovementTest, AHelicopterAirTaxiingSlowlyTurnsItsNoseWithItsWay) {
    const auto samples = slowEastwards(8.0, 1.0);
    addAircraft(AircraftCategory::Rotorcraft, 20010, samples, MovePhase::Flying);

    const auto trace = run(20010, samples.back().dueTick);
    // From its third report on the nose points the way it flies, east.
    double worst = 0.0;
    for (const auto& t : trace)
        if (t.tick >= samples[3].dueTick) worst = std::max(worst, degreesBetween(t.position.heading, 90.0 * kDeg));
    EXPECT_LT(worst, 20.0) << "degrees off east";
}

TEST_F(AirMovementTest, AHelicopterDriftingSidewaysTurnsItsNoseNoFasterThanARotorcraftTurns) {
    // Its nose north, drifting east at 3 kt.
    const auto samples = slowEastwards(3.0, 0.0);
    LiveAircraft& ac = addAircraft(AircraftCategory::Rotorcraft, 20011, samples, MovePhase::Flying);
    ac.position.heading = 0.0;
    const double turnRate = ac.angleStep / kDeg;

    const auto trace = run(20011, samples.back().dueTick);
    const auto [fastest, inRange] = headingJumps(trace);
    EXPECT_TRUE(inRange);
    EXPECT_LE(fastest, turnRate + 1e-9) << "degrees in a tick";
    EXPECT_LT(degreesBetween(trace.back().position.heading, 90.0 * kDeg), 5.0) << "its nose never came round";
}

// A helicopter's approach eastwards to a pad 200 m north of the field: from 500 ft above it at
// 50 kt, slowing to a hover 100 ft above the pad, 10 s of hover, a vertical descent at
// 300 ft/min; then `standing` reports on the pad at 0 kt, and `departure` reports climbing away
// north at 1,000 ft/min, speeding up by 15 kt a report to 80 kt. A line every 2 s; the index of the first
// report on the pad.
std::pair<std::vector<PositionSample>, std::size_t> padLanding(int standing, int departure) {
    const GeoPosition pad = gf_destinationPoint(kAirport, 0.0, 200.0 / 0.3048);
    std::vector<Leg> legs;
    double way = 0.0; // m flown to the pad
    for (double v = 50.0; v > 0.0; v -= 5.0) {
        legs.push_back({90.0, v, -500.0 * v / 50.0, 2.0, true});
        way += v * 2.0 / 3600.0 * kMetresPerNm;
    }
    for (int i = 0; i < 5; ++i)
        legs.push_back({90.0, 0.0, 0.0, 2.0, true});
    for (int i = 0; i < 10; ++i)
        legs.push_back({90.0, 0.0, -300.0, 2.0, true});
    const std::size_t onPad = legs.size();
    for (int i = 0; i < standing; ++i)
        legs.push_back({90.0, 0.0, 0.0, 2.0, false});
    for (int i = 0; i < departure; ++i)
        legs.push_back({0.0, std::min(15.0 * (i + 1), 80.0), 1000.0, 2.0, true});
    double descent = 0.0;
    for (std::size_t i = 0; i + 15 < onPad; ++i)
        descent -= legs[i].verticalSpeed * 2.0 / 60.0;
    auto feed =
        track(gf_destinationPoint(pad, 1.5 * kPi, way / 0.3048), kGroundFt + 100.0 + descent, 100, legs);
    double altitude = kGroundFt;
    for (std::size_t i = onPad; i < feed.size(); ++i)
        feed[i].altitude = i < onPad + standing ? 0.0 : (altitude += 33.0);
    for (auto& s : feed)
        s.generated = 0;
    return {feed, onPad};
}

TEST_F(AirMovementTest, AHelicopterReportedStandingOnItsPadStaysThereAsLongAsItIsReported) {
    const auto [feed, onPad] = padLanding(90, 0);
    addAircraft(AircraftCategory::Rotorcraft, 20016, {feed[0], feed[1]}, MovePhase::Flying);
    const auto trace = replayFedAhead(20016, feed);
    ASSERT_TRUE(std::any_of(trace.begin(), trace.end(), [](const TracePoint& t) { return t.landingArmed; }))
        << "the landing was never armed";
    ASSERT_FALSE(trace.empty());
    EXPECT_GE(trace.back().tick, feed.back().dueTick) << "gone at tick " << trace.back().tick;
    EXPECT_EQ(trace.back().state, LiveState::Active);
    // It hovers and comes down at the fed heights.
    for (std::size_t k = onPad - 15; k < onPad; ++k) {
        const auto at = std::find_if(trace.begin(), trace.end(),
                                     [&](const TracePoint& t) { return t.tick >= feed[k].dueTick; });
        ASSERT_NE(at, trace.end());
        EXPECT_NEAR(at->position.altitude, feed[k].altitude, 10.0) << "report " << k;
    }
    // From 10 s after the feed has it on the pad it stands there, on the ground.
    const GeoPosition pad{feed[onPad].latitude, feed[onPad].longitude};
    double farthest = 0.0;
    int inTheAir = 0;
    for (const TracePoint& t : trace)
        if (t.tick >= feed[onPad].dueTick + 1000) {
            inTheAir += t.onGround ? 0 : 1;
            farthest = std::max(farthest, gf_distanceNm(pad, {t.position.latitude, t.position.longitude}) *
                                              kMetresPerNm);
        }
    EXPECT_EQ(inTheAir, 0) << "ticks in the air";
    EXPECT_LT(farthest, 1.0) << "metres off the pad";
    // Its nose points the way it came in, east: a hover gives it no way to turn to.
    EXPECT_LT(degreesBetween(trace.back().position.heading, 90.0 * kDeg), 5.0);
}

TEST_F(AirMovementTest, AHelicopterStandingOnItsPadLiftsOffAndFollowsItsReports) {
    // Standing on the pad for 20 s, then climbing away north.
    auto [landing, onPad] = padLanding(10, 30);
    std::vector<PositionSample> feed(landing.begin() + static_cast<std::ptrdiff_t>(onPad), landing.end());
    for (auto& s : feed)
        s.dueTick -= landing[onPad].dueTick - 100;
    addAircraft(AircraftCategory::Rotorcraft, 20017, {feed[0], feed[1]}, MovePhase::Taxi);
    const auto trace = replayFedAhead(20017, feed);
    ASSERT_FALSE(trace.empty());
    EXPECT_GE(trace.back().tick, feed.back().dueTick) << "gone at tick " << trace.back().tick;
    // On its way from its fifth report in the air.
    const auto away = std::find_if(trace.begin(), trace.end(),
                                   [&](const TracePoint& t) { return t.tick >= feed[14].dueTick; });
    EXPECT_LT(metresOffFedTrack(feed, away, trace.end()), 20.0) << "metres off the fed track in the climb";
    EXPECT_NEAR(trace.back().agl, feed.back().altitude - kGroundFt, 100.0);
}

TEST_F(AirMovementTest, ASampleLessThanTwentyFiveTicksAwayIsMetTwentyFiveTicksOn) {
    // At 400 kt the next sample lies 10 m ahead, 5 ticks away by its speed and its due tick:
    // it is re-timed to 25 ticks after the front falls due and met there, not sooner.
    const auto samples = track(gf_destinationPoint(kAirport, kPi, 20.0 * kFeetPerNm), 20000.0, 100,
                               {Leg{90.0, 400.0, 0.0, 0.05}, Leg{90.0, 400.0, 0.0}, Leg{90.0, 400.0, 0.0}});
    ASSERT_EQ(samples[1].dueTick, 105);
    addAircraft(AircraftCategory::Large, 20009, samples, MovePhase::Flying);

    run(20009, 101); // the front falls due at 100
    const LiveAircraft* ac = findAircraft(20009);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->samples.front().dueTick, 125);
    const auto trace = run(20009, 30);
    const auto at = [&](int64_t tick) {
        const auto it =
            std::find_if(trace.begin(), trace.end(), [&](const TracePoint& t) { return t.tick == tick; });
        return it == trace.end() ? GeoPosition{} : GeoPosition{it->position.latitude, it->position.longitude};
    };
    const GeoPosition next{samples[1].latitude, samples[1].longitude};
    EXPECT_LT(gf_distanceNm(at(125), next) * kMetresPerNm, 0.01);
    EXPECT_GT(gf_distanceNm(at(115), next) * kMetresPerNm, 3.0);
}

TEST_F(AirMovementTest, CrossingTenThousandFeetSendsEachLightSetOncePerCrossing) {
    // Climb through 10,000 ft, level off, descend through it again.
    std::vector<Leg> legs;
    for (int i = 0; i < 8; ++i) legs.push_back({90.0, 300.0, 3000.0});
    for (int i = 0; i < 4; ++i) legs.push_back({90.0, 300.0, 0.0});
    for (int i = 0; i < 8; ++i) legs.push_back({90.0, 300.0, -3000.0});
    for (int i = 0; i < 3; ++i) legs.push_back({90.0, 300.0, 0.0});
    const auto samples = track(gf_destinationPoint(kAirport, kPi, 60.0 * kFeetPerNm), 9000.0, 100, legs);
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20002, samples, MovePhase::Flying);
    const uint32_t id = ac.objectId;
    run(20002, 8500);

    int cruiseSets = 0, allSets = 0;
    const auto events = eventsOf(id);
    for (std::size_t i = 0; i + 6 < events.size(); ++i) {
        if (events[i].first != kEventNavLightsSet) continue;
        // nav, beacon, landing, taxi, strobes, logo, cabin
        if (events[i + 2] == std::pair<uint32_t, uint32_t>{kEventLandingLightsSet, 0} &&
            events[i + 6] == std::pair<uint32_t, uint32_t>{kEventCabinLightsSet, 1} &&
            events[i + 4] == std::pair<uint32_t, uint32_t>{kEventStrobesSet, 0})
            ++cruiseSets;
        if (events[i + 2] == std::pair<uint32_t, uint32_t>{kEventLandingLightsSet, 1} &&
            events[i + 4] == std::pair<uint32_t, uint32_t>{kEventStrobesSet, 1} &&
            events[i + 6] == std::pair<uint32_t, uint32_t>{kEventCabinLightsSet, 1})
            ++allSets;
    }
    EXPECT_EQ(cruiseSets, 1);
    EXPECT_EQ(allSets, 2); // below 10,000 ft at the start and again after the descent
}

TEST_F(AirMovementTest, SilentFeedFliesEightSyntheticSamplesAtNinetyFivePercentThenRemoves) {
    std::vector<Leg> legs(5, Leg{45.0, 400.0, 0.0});
    const auto samples = track(gf_destinationPoint(kAirport, kPi, 20.0 * kFeetPerNm), 20000.0, 100, legs);
    LiveAircraft& start = addAircraft(AircraftCategory::Large, 20003, samples, MovePhase::Flying);
    const uint32_t id = start.objectId;

    // Record the synthetic samples as they are appended.
    std::vector<PositionSample> synthetic;
    int64_t removedAt = -1;
    for (int64_t i = 0; i < 9000; ++i) {
        run(20003, 1);
        const LiveAircraft* ac = findAircraft(20003);
        ASSERT_NE(ac, nullptr);
        if (ac->state == LiveState::RemovingFromSim) {
            removedAt = gf_tickCount();
            break;
        }
        const PositionSample& last = ac->samples.back();
        if (ac->manoeuvreMark > 0 && (synthetic.empty() || synthetic.back().dueTick != last.dueTick))
            synthetic.push_back(last);
    }
    ASSERT_EQ(synthetic.size(), 8u);
    const int64_t lastReal = samples.back().dueTick;
    int64_t previousDue = lastReal;
    double speed = 400.0;
    GeoPosition from{samples.back().latitude, samples.back().longitude};
    for (std::size_t k = 0; k < synthetic.size(); ++k) {
        speed *= 0.95;
        EXPECT_NEAR(synthetic[k].groundSpeed, speed, 1e-9);
        // 8 s on, re-timed by the leg's mean speed.
        EXPECT_GE(synthetic[k].dueTick - previousDue, 760);
        EXPECT_LE(synthetic[k].dueTick - previousDue, 800);
        previousDue = synthetic[k].dueTick;
        const double flown = gf_distanceNm(from, {synthetic[k].latitude, synthetic[k].longitude});
        EXPECT_NEAR(flown, speed * 8.0 / 3600.0, 1e-4);
        from = {synthetic[k].latitude, synthetic[k].longitude};
    }
    // About 64 s of its own, then removed when the last synthetic sample falls due.
    EXPECT_EQ(removedAt, synthetic.back().dueTick + 1);
    EXPECT_GE(removedAt - lastReal, 6200);
    const auto& queue = gRemovalQueue;
    EXPECT_NE(std::find(queue.begin(), queue.end(), id), queue.end());
}

TEST_F(AirMovementTest, SilentFeedWhileLandingSinksEightyFeetPerSyntheticSample) {
    // Descending towards the park airport, landing armed: each synthetic sample reports
    // -667 ft/min and lies 80.04 ft lower.
    std::vector<Leg> legs(4, Leg{90.0, 140.0, -700.0});
    const auto samples = track(gf_destinationPoint(kAirport, 1.5 * kPi, 5.0 * kFeetPerNm), 1800.0, 100, legs);
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20004, samples, MovePhase::Flying);
    ac.move.landingArmed = 1;
    std::vector<PositionSample> synthetic;
    for (int64_t i = 0; i < 6000 && synthetic.size() < 3; ++i) {
        run(20004, 1);
        const LiveAircraft* a = findAircraft(20004);
        ASSERT_NE(a, nullptr);
        if (a->manoeuvreMark > 0 && (synthetic.empty() || synthetic.back().dueTick != a->samples.back().dueTick))
            synthetic.push_back(a->samples.back());
    }
    ASSERT_EQ(synthetic.size(), 3u);
    EXPECT_NEAR(synthetic[0].altitude, samples.back().altitude - 80.04, 1e-6);
    EXPECT_NEAR(synthetic[1].altitude, synthetic[0].altitude - 80.04, 1e-6);
    EXPECT_EQ(synthetic[0].verticalSpeed, -667.0);
    EXPECT_NEAR(synthetic[0].groundSpeed, 140.0 * 0.9, 1e-9); // n = 8: 90 % when landing
}

// A stationary sample (a standstill copy) between two in the air is dropped: the aircraft flies
// on to the next one instead of standing in the air. A rotorcraft hovers on it.
TEST_F(AirMovementTest, AStationarySampleInTheAirIsDroppedButARotorcraftHoversOnIt) {
    for (const AircraftCategory category : {AircraftCategory::Large, AircraftCategory::Rotorcraft}) {
        gLiveAircraft.clear();
        const int64_t t0 = gf_tickCount();
        auto samples = track(gf_destinationPoint(kAirport, kPi, 3.0 * kFeetPerNm), 2000.0, t0 + 100,
                             {Leg{90.0, 100.0, 0.0, 8.0}, Leg{90.0, 100.0, 0.0, 8.0}, Leg{90.0, 100.0, 0.0}});
        PositionSample copy = samples[0];
        copy.generated = 1;
        copy.groundSpeed = 0.0;
        copy.dueTick = t0 + 500;
        samples.insert(samples.begin() + 1, copy);
        addAircraft(category, 20012, samples, MovePhase::Flying);
        const auto trace = run(20012, 450);
        ASSERT_EQ(trace.size(), 450u);
        const GeoPosition first{samples[0].latitude, samples[0].longitude};
        const GeoPosition at400{trace.back().position.latitude, trace.back().position.longitude};
        const double moved = gf_distanceNm(first, at400) * kMetresPerNm;
        if (category == AircraftCategory::Rotorcraft)
            EXPECT_LT(moved, 1.0) << "a rotorcraft stands on the standstill copy";
        else
            EXPECT_GT(moved, 100.0) << "an aeroplane never stands in the air";
    }
}

// When the feed falls silent in the air the aircraft is given up at once, without samples of its
// own, when it is at the edge of the range, within 1,000 ft of the park airport's elevation with
// AIRBORNE_ONLY, or of a category whose option is off; otherwise it flies on by itself.
TEST_F(AirMovementTest, ASilentFeedInTheAirEndsAtOnceAtTheRangeEdgeLowWithAirborneOnlyOrWhenItsCategoryIsOff) {
    UserAcState user;
    user.latitude = kAirport.latitude;
    user.longitude = kAirport.longitude;
    gf_setUserPositionState(user);
    gf_refreshUserCopy();
    const auto givenUp = [](AircraftCategory category, double northNm, double altitude) {
        gLiveAircraft.clear();
        const auto samples = track(gf_destinationPoint(kAirport, 0.0, northNm * kFeetPerNm), altitude,
                                   gf_tickCount() + 100, {Leg{90.0, 150.0, 0.0}, Leg{90.0, 150.0, 0.0}});
        addAircraft(category, 20013, samples, MovePhase::Flying);
        run(20013, 600);
        const LiveAircraft* a = findAircraft(20013);
        return a == nullptr || a->state == LiveState::RemovingFromSim;
    };
    EXPECT_FALSE(givenUp(AircraftCategory::Large, 38.0, 5000.0));
    EXPECT_TRUE(givenUp(AircraftCategory::Large, 39.6, 5000.0)) << "within half a mile of the 40 nm range";
    EXPECT_FALSE(givenUp(AircraftCategory::Large, 10.0, kGroundFt + 600.0));
    AIRBORNE_ONLY.current.store(true);
    EXPECT_TRUE(givenUp(AircraftCategory::Large, 10.0, kGroundFt + 600.0)) << "600 ft above the park airport";
    EXPECT_FALSE(givenUp(AircraftCategory::Large, 10.0, kGroundFt + 1500.0));
    AIRBORNE_ONLY.current.store(false);
    EXPECT_FALSE(givenUp(AircraftCategory::Rotorcraft, 10.0, 3000.0));
    HELICOPTERS.current.store(false);
    EXPECT_TRUE(givenUp(AircraftCategory::Rotorcraft, 10.0, 3000.0)) << "helicopters off";
    LIGHT_AIRCRAFT.current.store(false);
    EXPECT_TRUE(givenUp(AircraftCategory::Light, 10.0, 3000.0)) << "light aircraft off";
}

TEST_F(AirMovementTest, OnUserTrackCloseAndWideLimits) {
    UserAcState user;
    user.latitude = kAirport.latitude;
    user.longitude = kAirport.longitude;
    user.altitude = 3000.0;
    user.heading = 0.0;
    gf_setUserPositionState(user);
    lf_handleAddingStack(); // the tick at 0 takes a fresh copy of the user state
    const double offsetNm = 600.0 / kFeetPerNm;
    auto place = [&](uint32_t key, double aheadNm) -> LiveAircraft& {
        // Ahead to the north, 600 ft east of the user's track, 500 ft above, flying north.
        const GeoPosition ahead = gf_destinationPoint(kAirport, 0.0, aheadNm * kFeetPerNm);
        const GeoPosition p = gf_destinationPoint(ahead, kPi / 2, offsetNm * kFeetPerNm);
        auto s = track(p, 3500.0, 1000000, {Leg{0.0, 150.0, 0.0}, Leg{0.0, 150.0, 0.0}});
        return addAircraft(AircraftCategory::Light, key, s, MovePhase::Flying);
    };
    LiveAircraft& near = place(20005, 3.0);
    EXPECT_TRUE(lf_isOnUserTrack(near, 0));
    LiveAircraft& far = place(20006, 5.0);
    EXPECT_FALSE(lf_isOnUserTrack(gLiveAircraft[1], 0));
    EXPECT_TRUE(lf_isOnUserTrack(gLiveAircraft[1], 1));
    (void)far;
    // Flying towards the user instead: never on its track.
    gLiveAircraft[0].position.heading = kPi;
    EXPECT_FALSE(lf_isOnUserTrack(gLiveAircraft[0], 0));
    // Removal by the check.
    gLiveAircraft[0].position.heading = 0.0;
    EXPECT_TRUE(lf_removeOnUserTrack(gLiveAircraft[0], 0));
    EXPECT_EQ(gLiveAircraft[0].state, LiveState::RemovingFromSim);
}

} // namespace

namespace {

using namespace mvtest;

class TakeOffLandingTest : public ::testing::Test {
protected:
    void SetUp() override { resetWorld(); }
    void TearDown() override { resetWorld(); }
};

// Index of the first client event (from `from` on) with this id and value for the object; -1.
std::ptrdiff_t findEvent(uint32_t objectId, uint32_t eventId, uint32_t value, std::size_t from = 0) {
    std::lock_guard guard(gSimConnectLock);
    for (std::size_t i = from; i < gClientEventQueue.size(); ++i) {
        const auto& e = gClientEventQueue[i];
        if (e.objectId == objectId && e.eventId == eventId && e.value == value) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

TEST_F(TakeOffLandingTest, DepartureRollRotatesClimbsInStagesAndRaisesTheGearAtMinusThreeHundred) {
    // Take-off roll westwards, then a climb at 2000 ft/min.
    std::vector<Leg> legs;
    for (double v : {30.0, 50.0, 70.0, 90.0, 110.0, 130.0, 150.0}) legs.push_back({270.0, v, 0.0, 4.0, false});
    for (int i = 0; i < 14; ++i) legs.push_back({270.0, 160.0 + i, 2000.0, 4.0, true});
    auto samples = track(gf_destinationPoint(kAirport, kPi, 600.0 / 0.3048), kGroundFt + 60.0, 100, legs);
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20010, samples, MovePhase::Taxi);
    const uint32_t id = ac.objectId;
    const int32_t rotationTicks = static_cast<int32_t>(ac.rotationTicks);
    lf_armTakeOff(ac);

    const auto trace = run(20010, 9000, [](const LiveAircraft& a) { return a.phase == MovePhase::Flying; });
    // Rotation: exactly the rotation ticks without a change of altitude.
    const auto start = std::find_if(trace.begin(), trace.end(),
                                    [](const TracePoint& t) { return t.phase == MovePhase::TakeOff; });
    ASSERT_NE(start, trace.end());
    EXPECT_EQ(start->stepCounter, rotationTicks - 1);
    const double groundAltitude = start->position.altitude;
    int rotating = 0;
    for (auto it = start; it != trace.end() && it->stepCounter >= 1 && it->phase == MovePhase::TakeOff; ++it) {
        EXPECT_DOUBLE_EQ(it->position.altitude, groundAltitude);
        ++rotating;
    }
    EXPECT_EQ(rotating, rotationTicks - 1);
    // The first 300 ticks of climb use a tenth, a fifth and a half of the step.
    for (auto it = start + 1; it != trace.end() && it->stepCounter > -300; ++it) {
        const double climbed = it->position.altitude - (it - 1)->position.altitude;
        double share = 0.0;
        if (it->stepCounter <= -1 && it->stepCounter >= -99) share = 0.1;
        else if (it->stepCounter <= -100 && it->stepCounter >= -199) share = 0.2;
        else if (it->stepCounter <= -200) share = 0.5;
        EXPECT_NEAR(climbed, it->altitudeStep * share, 1e-9) << "step counter " << it->stepCounter;
    }
    // Gear up at step counter -300 (the climb-out configuration may have sent one before).
    const auto at300 = std::find_if(start, trace.end(), [](const TracePoint& t) { return t.stepCounter == -300; });
    ASSERT_NE(at300, trace.end());
    EXPECT_GE(findEvent(id, kEventGearSet, 0, (at300 - 1)->events), 0);
    EXPECT_LT(findEvent(id, kEventGearSet, 0, (at300 - 1)->events), static_cast<std::ptrdiff_t>(at300->events));
    // Flying once at the climb pitch and 800 ft above ground; never below the ground.
    const auto flying = std::find_if(start, trace.end(), [](const TracePoint& t) { return t.phase == MovePhase::Flying; });
    ASSERT_NE(flying, trace.end());
    EXPECT_GE(flying->agl, 780.0);
    for (const auto& t : trace) EXPECT_GE(t.agl, kCgFt - 0.01);
    const auto [worst, inRange] = headingJumps(trace);
    EXPECT_TRUE(inRange);
    EXPECT_LT(worst, 0.5);
}

TEST_F(TakeOffLandingTest, TheTakeOffWaitsUntilEveryLaterSampleIsFastEnough) {
    // Lifting off westwards: the next report is still below a Large aircraft's 140 kt, the ones
    // after it are fast enough; all of them airborne and climbing slowly.
    std::vector<Leg> legs{{270.0, 100.0, 0.0, 4.0, false}};
    for (double v : {120.0, 150.0, 155.0})
        legs.push_back({270.0, v, 200.0, 4.0, true});
    const auto samples =
        track(gf_destinationPoint(kAirport, kPi, 600.0 / 0.3048), kGroundFt + 20.0, 100, legs);
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20012, samples, MovePhase::Taxi);
    lf_armTakeOff(ac);
    EXPECT_FALSE(lf_allLaterFastEnough(ac));
    lf_groundSpeedStep(ac);
    EXPECT_EQ(ac.phase, MovePhase::Taxi);
    // Once the slow one is behind, the take-off starts.
    ac.samples.pop_front();
    EXPECT_TRUE(lf_allLaterFastEnough(ac));
    ac.samples.front().airborne = 0;
    ac.samples.front().groundSpeed = 100.0;
    lf_groundSpeedStep(ac);
    EXPECT_EQ(ac.phase, MovePhase::TakeOff);
}

TEST_F(TakeOffLandingTest, AFeedThatSlowsOnTheGroundDisarmsTheTakeOff) {
    // On the runway westwards, reports 2 s apart at the given speeds.
    auto roll = [](const std::vector<double>& speeds) {
        std::vector<Leg> legs;
        for (double v : speeds)
            legs.push_back({270.0, v, 0.0, 2.0, false});
        return track(gf_destinationPoint(kAirport, kPi, 600.0 / 0.3048), 0.0, 100, legs);
    };
    const auto feed = roll({30.0, 38.0, 45.0, 52.0, 53.0, 41.0, 55.0, 60.0, 50.0, 40.0, 30.0, 20.0});
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20013, {feed[0], feed[1]}, MovePhase::Taxi);
    std::vector<bool> armed;
    for (std::size_t i = 2; i < feed.size(); ++i) {
        decodeExisting(ac, feed[i]);
        armed.push_back(ac.move.takeOff.armed());
    }
    // Armed once the speed has risen more than the feed's noise over the fast reports (53 over
    // 45 kt); a report well below the top (41 after 53) is a fall, and a rise from it again arms;
    // two below 43 kt in a row end the roll.
    EXPECT_EQ(armed, (std::vector<bool>{false, false, true, false, true, true, false, false, false, false}));

    // A landing roll that was taken for climbing away slows on: no take-off either.
    const auto landed = roll({60.0, 55.0, 50.0, 48.0, 42.0, 36.0});
    LiveAircraft& rolling =
        addAircraft(AircraftCategory::Large, 20014, {landed[0], landed[1]}, MovePhase::Taxi, "TST2");
    rolling.move.landingRoll = 1;
    PositionSample climbing = landed[1];
    climbing.airborne = 1;
    rolling.move.takeOff.reportArrives(climbing);
    decodeExisting(rolling, landed[2]);
    decodeExisting(rolling, landed[3]);
    EXPECT_TRUE(rolling.move.takeOff.armed());
    decodeExisting(rolling, landed[4]);
    EXPECT_FALSE(rolling.move.takeOff.armed());

    // Fast on the ground but slowing all along (rolling out, first seen on the ground): never
    // armed.
    const auto braking = roll({121.0, 118.0, 115.0, 112.0, 109.0});
    LiveAircraft& out = addAircraft(AircraftCategory::Large, 20015, {braking[0], braking[1]}, MovePhase::Taxi, "TST3");
    for (std::size_t i = 2; i < braking.size(); ++i) {
        decodeExisting(out, braking[i]);
        EXPECT_FALSE(out.move.takeOff.armed()) << braking[i].groundSpeed << " kt";
    }
}

// Descending at 300 ft/min 2,000 ft above the ground, a Large aircraft 8 nm from the park airport
// arms its landing; 12 nm away, or not descending, it does not.
TEST_F(TakeOffLandingTest, ALandingIsArmedOnlyDescendingWithinTenMilesOfTheParkAirport) {
    const auto armed = [](double nm, double verticalSpeed) {
        gLiveAircraft.clear();
        const auto samples = track(gf_destinationPoint(kAirport, 1.5 * kPi, nm * kFeetPerNm), kGroundFt + 2000.0,
                                   100, {Leg{90.0, 160.0, verticalSpeed}, Leg{90.0, 160.0, verticalSpeed}});
        LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20030, samples, MovePhase::Flying);
        lf_climbApproachConfiguration(ac);
        return ac.move.landingArmed != 0;
    };
    EXPECT_TRUE(armed(8.0, -300.0));
    EXPECT_FALSE(armed(12.0, -300.0));
    EXPECT_FALSE(armed(8.0, -100.0));
}

// Without a park airport the flare begins by the height above the ground the simulator reports.
TEST_F(TakeOffLandingTest, WithoutAParkAirportTheFlareBeginsByTheHeightAboveTheGround) {
    gf_clearParkAirport();
    const auto samples = track(kAirport, kGroundFt + 35.0, 100, {Leg{90.0, 130.0, -600.0}, Leg{90.0, 130.0, -600.0}});
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20031, samples, MovePhase::Flying);
    ac.move.landingArmed = 1;
    ac.heightAboveGround = kCgFt + 29.0;
    lf_landingTick(ac);
    EXPECT_EQ(ac.move.landingStage, 1u);
}

TEST_F(TakeOffLandingTest, GoAroundAbandonsTheArmedLandingWithClimbPower) {
    // Final approach from the west, then climbing away at 1500 ft/min before the runway.
    std::vector<Leg> legs(10, Leg{90.0, 140.0, -700.0});
    for (int i = 0; i < 12; ++i) legs.push_back({90.0, 150.0, 1500.0});
    const auto samples = track(gf_destinationPoint(kAirport, 1.5 * kPi, 4.0 * kFeetPerNm), kGroundFt + 1200.0, 100, legs);
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20060, samples, MovePhase::Flying);
    const uint32_t id = ac.objectId;
    const auto trace = run(20060, samples.back().dueTick);
    const auto armed = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.landingArmed; });
    ASSERT_NE(armed, trace.end());
    const auto abandoned = std::find_if(armed, trace.end(), [](const TracePoint& t) { return !t.landingArmed; });
    ASSERT_NE(abandoned, trace.end());
    const LiveAircraft* a = findAircraft(20060);
    EXPECT_EQ(a->move.climbConfigured, 1);
    EXPECT_EQ(a->move.landingStage, 0u);
    EXPECT_EQ(a->throttleIndex, 4u);
    EXPECT_EQ(a->flapsIndex, 0u);
    EXPECT_GE(findEvent(id, kEventGearSet, 0, armed->events), 0);
    for (const auto& t : trace) EXPECT_GT(t.agl, 300.0);
}

TEST_F(TakeOffLandingTest, LightAircraftReportedOnTheGroundWhileDescendingFollowsTheFedRateDown) {
    // A light aircraft's final approach at 70 kt and 370 ft/min from 500 ft; its last 84 ft
    // are reported on the ground by height and speed while the feed still reports the descent,
    // then it rolls out.
    constexpr double kRate = -370.0;
    std::vector<Leg> legs;
    for (double agl = 500.0; agl > 0.0; agl += kRate * 2.0 / 60.0)
        legs.push_back({90.0, 70.0, kRate, 2.0, agl > 84.0});
    for (double v : {60.0, 50.0, 40.0, 30.0, 20.0, 15.0, 10.0})
        legs.push_back({90.0, v, 0.0, 2.0, false});
    const auto samples =
        track(gf_destinationPoint(kAirport, 1.5 * kPi, 1.6 * kFeetPerNm), kGroundFt + 500.0, 100, legs);
    addAircraft(AircraftCategory::Light, 20062, samples, MovePhase::Flying);

    const auto trace = run(20062, samples.back().dueTick);
    // The descent over each second in the air, ft/min.
    double steepest = 0.0;
    bool landed = false;
    for (std::size_t i = 100; i < trace.size(); ++i) {
        landed = landed || trace[i].onGround;
        if (!trace[i].onGround && !trace[i - 100].onGround)
            steepest =
                std::min(steepest, (trace[i].position.altitude - trace[i - 100].position.altitude) * 60.0);
    }
    EXPECT_TRUE(landed);
    EXPECT_GT(steepest, 1.2 * kRate) << "dived";
    for (const auto& t : trace)
        EXPECT_GE(t.agl, kCgFt - 0.6);
}

TEST_F(TakeOffLandingTest, AFloatingLandingFlaresAtTheFedDescentAndTouchesDownNearWhereTheFeedDoes) {
    // A long landing: the final approach at 130 kt and 700 ft/min down to 40 ft, then a float
    // at 200 ft/min onto the runway (reached at the first sample on the ground), the roll-out.
    std::vector<Leg> legs(28, Leg{90.0, 130.0, -700.0, 2.0, true});
    for (int i = 0; i < 6; ++i)
        legs.push_back({90.0, 130.0, -200.0, 2.0, true});
    const std::size_t fedTouchdown = legs.size();
    for (double v : {120.0, 110.0, 100.0, 90.0, 80.0, 70.0})
        legs.push_back({90.0, v, 0.0, 2.0, false});
    const auto samples = track(gf_destinationPoint(kAirport, 1.5 * kPi, 2.0 * kFeetPerNm),
                               kGroundFt + 40.0 + 28 * 700.0 * 2.0 / 60.0, 100, legs);
    addAircraft(AircraftCategory::Large, 20063, samples, MovePhase::Flying);

    const auto trace = run(20063, samples.back().dueTick);
    // In the flare (stages 1 to 3) it comes down no faster than the feed's 200 ft/min.
    double steepest = 0.0;
    for (std::size_t i = 1; i < trace.size(); ++i)
        if (trace[i].landingStage >= 1 && trace[i].landingStage <= 3 && !trace[i].onGround)
            steepest =
                std::min(steepest, (trace[i].position.altitude - trace[i - 1].position.altitude) * 6000.0);
    EXPECT_GE(steepest, -201.0) << "ft/min in the flare";
    const auto down =
        std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.onGround; });
    ASSERT_NE(down, trace.end());
    const GeoPosition fed{samples[fedTouchdown].latitude, samples[fedTouchdown].longitude};
    const double metres =
        gf_distanceNm({down->position.latitude, down->position.longitude}, fed) * kMetresPerNm;
    // Its reference point follows the reported altitudes, so that its wheels, 8 ft below, meet
    // the runway some 2.4 s (160 m) before the feed's do.
    EXPECT_LT(metres, 220.0) << "touched down early";
}

TEST_F(TakeOffLandingTest, ALandingRollWhoseReportsRunOutWhereTheFeedStoppedItStandsThere) {
    // The end of a landing roll: 12 kt, then reported standing 6 m on; no more reports.
    auto samples = track(gf_destinationPoint(kAirport, kPi, 0.1 * kFeetPerNm), 0.0, 100,
                         {Leg{90.0, 12.0, 0.0, 1.0, false}, Leg{90.0, 0.0, 0.0, 2.0, false}});
    samples.back().generated = 0; // a new position, reported at 0 kt
    LiveAircraft& ac = addAircraft(AircraftCategory::Light, 20064, samples, MovePhase::Taxi);
    ac.move.landingRoll = 1;
    ac.move.touchdownHeading = ac.position.heading;

    run(20064, 1500);
    const LiveAircraft* a = findAircraft(20064);
    ASSERT_NE(a, nullptr);
    const GeoPosition stop{samples.back().latitude, samples.back().longitude};
    EXPECT_LT(gf_distanceNm({a->position.latitude, a->position.longitude}, stop) * kMetresPerNm, 0.5)
        << "drove on past the feed's stop";
}

TEST_F(TakeOffLandingTest, TouchAndGoLeavesTheLandingRollWithFullPower) {
    // Final approach, touchdown on the runway, and the feed shows it lifting off again.
    std::vector<Leg> approach(8, Leg{90.0, 130.0, -650.0});
    auto feed = track(gf_destinationPoint(kAirport, 1.5 * kPi, 2.0 * kFeetPerNm), kGroundFt + 8 * 650.0 * 4.0 / 60.0 + 10.0,
                      100, approach);
    GeoPosition p{feed.back().latitude, feed.back().longitude};
    int64_t due = feed.back().dueTick;
    auto add = [&](double speed, double altitude, double vs) {
        p = gf_destinationPoint(p, 0.5 * kPi, speed * 4.0 / 3600.0 * kFeetPerNm);
        due += 400;
        PositionSample s = feed.back();
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.groundSpeed = s.trueAirspeed = speed;
        s.altitude = altitude;
        s.verticalSpeed = vs;
        s.airborne = altitude > 0 ? 1 : 0;
        s.dueTick = due;
        s.generated = 0;
        feed.push_back(s);
    };
    for (double v : {120.0, 115.0, 112.0, 118.0, 126.0, 134.0, 142.0}) add(v, 0.0, 0.0);
    double altitude = kGroundFt + 40.0;
    for (int i = 0; i < 10; ++i, altitude += 130.0) add(150.0 + i, altitude, 1800.0);
    // The first two reports are there at once; the others reach the aircraft 30 s ahead.
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20061, {feed[0], feed[1]}, MovePhase::Flying);
    const uint32_t id = ac.objectId;
    ac.lastUpdateTime = feedTime(feed[1]);
    std::size_t delivered = 2;
    std::vector<TracePoint> trace;
    for (int64_t i = 0; i < due; ++i) {
        while (delivered < feed.size() && feed[delivered].dueTick - 3000 <= gf_tickCount())
            receive(20061, feed[delivered++]);
        const auto part = run(20061, 1);
        ASSERT_EQ(part.size(), 1u);
        trace.push_back(part.front());
    }
    const auto roll = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) { return t.landingRoll; });
    ASSERT_NE(roll, trace.end());
    const auto takeOff = std::find_if(roll, trace.end(), [](const TracePoint& t) { return t.phase == MovePhase::TakeOff; });
    ASSERT_NE(takeOff, trace.end());
    EXPECT_FALSE(takeOff->landingRoll);
    EXPECT_GE(findEvent(id, kEventThrottleSet, 16383, roll->events), 0);
    for (const auto& t : trace) EXPECT_GE(t.agl, kCgFt - 0.6);
    EXPECT_GT(trace.back().agl, 300.0);
}

TEST_F(TakeOffLandingTest, ATouchAndGoClimbsAwayAtItsFedSpeedAndKeepsToItsFedTrack) {
    // Final approach eastwards at 135 kt, a landing roll of 12 s slowing from 110 to 100 kt, the
    // acceleration to 145 kt, the lift-off and 46 s of climb at 150 to 160 kt; a line every 2 s.
    std::vector<Leg> legs(14, Leg{90.0, 135.0, -700.0, 2.0, true});
    for (double v : {110.0, 108.0, 106.0, 104.0, 102.0, 100.0, 110.0, 120.0, 130.0, 140.0, 145.0})
        legs.push_back({90.0, v, 0.0, 2.0, false});
    const std::size_t liftOff = legs.size();
    for (int i = 0; i < 23; ++i)
        legs.push_back({90.0, 150.0 + 10.0 * i / 22.0, 1500.0, 2.0, true});
    auto feed = track(gf_destinationPoint(kAirport, 1.5 * kPi, 1.5 * kFeetPerNm),
                      kGroundFt + 14 * 700.0 / 30.0, 100, legs);
    double altitude = kGroundFt + 20.0;
    for (std::size_t i = liftOff; i < feed.size(); ++i, altitude += 50.0)
        feed[i].altitude = altitude;
    for (auto& s : feed)
        s.generated = 0;
    addAircraft(AircraftCategory::Large, 20065, {feed[0], feed[1]}, MovePhase::Flying);
    const auto trace = replayFedAhead(20065, feed);
    const auto up = std::find_if(trace.begin(), trace.end(), [](const TracePoint& t) {
        return t.phase == MovePhase::TakeOff && t.stepCounter <= 0;
    });
    ASSERT_NE(up, trace.end()) << "never lifted off";
    EXPECT_LT(up->tick - feed[liftOff].dueTick, 100) << "ticks late";
    EXPECT_LT(metresOffFedTrack(feed, up, trace.end()), 100.0) << "metres off the fed track in the climb";
    EXPECT_GT(trace.back().agl, 1000.0);
}

TEST_F(TakeOffLandingTest, AGoAroundClimbsAwayAtItsFedSpeedAndKeepsToItsFedTrack) {
    // Final approach eastwards at 140 kt and 700 ft/min down to 200 ft, then the go-around:
    // accelerating to 175 kt and climbing at 1,500 ft/min for 60 s; a line every 2 s.
    std::vector<Leg> legs(16, Leg{90.0, 140.0, -700.0, 2.0, true});
    const std::size_t goAround = legs.size();
    for (int i = 0; i < 30; ++i)
        legs.push_back({90.0, std::min(141.5 + 1.5 * i, 175.0), 1500.0, 2.0, true});
    auto feed = track(gf_destinationPoint(kAirport, 1.5 * kPi, 2.0 * kFeetPerNm),
                      kGroundFt + 200.0 + 16 * 700.0 / 30.0, 100, legs);
    for (auto& s : feed)
        s.generated = 0;
    addAircraft(AircraftCategory::Large, 20066, {feed[0], feed[1]}, MovePhase::Flying);
    const auto trace = replayFedAhead(20066, feed);
    ASSERT_TRUE(std::any_of(trace.begin(), trace.end(), [](const TracePoint& t) { return t.landingArmed; }))
        << "the landing was never armed";
    const auto climbing =
        std::find_if(trace.begin(), trace.end(), [&](const TracePoint& t) { return t.tick >= feed[goAround].dueTick; });
    EXPECT_LT(metresOffFedTrack(feed, climbing, trace.end()), 60.0) << "metres off the fed track in the climb";
    EXPECT_NEAR(trace.back().agl, feed.back().altitude - kGroundFt, 150.0);
}

TEST_F(TakeOffLandingTest, ANoisyLandingRollNeverRunsAheadOfItsFedTrack) {
    // Touched down eastwards at 130 kt, braking at 3 kt/s to 15 kt, rolling on at 15 kt for 10 s
    // and stopping; a line every 2 s whose speed is off by up to 6 kt either way.
    std::mt19937 noise(40);
    std::uniform_real_distribution<double> off(-6.0, 6.0);
    std::vector<Leg> legs;
    for (double v = 130.0; v > 15.0; v -= 6.0)
        legs.push_back({90.0, v, 0.0, 2.0, false});
    for (int i = 0; i < 5; ++i)
        legs.push_back({90.0, 15.0, 0.0, 2.0, false});
    for (int i = 0; i < 5; ++i)
        legs.push_back({90.0, 0.0, 0.0, 2.0, false});
    auto feed = track(gf_destinationPoint(kAirport, 1.5 * kPi, 0.5 * kFeetPerNm), 0.0, 100, legs);
    for (auto& s : feed) {
        if (s.groundSpeed > 0.0) s.groundSpeed = s.trueAirspeed = s.groundSpeed + off(noise);
        s.generated = 0;
    }
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20067, {feed[0], feed[1]}, MovePhase::Taxi);
    ac.move.landingRoll = 1;
    ac.move.touchdownHeading = ac.position.heading;
    const auto trace = replayFedAhead(20067, feed);
    ASSERT_FALSE(trace.empty());
    // How far east of the touchdown the aircraft is against the feed at the same tick.
    const GeoPosition touchdown{feed[0].latitude, feed[0].longitude};
    const auto east = [&](GeoPosition p) { return gf_distanceNm(touchdown, p) * kMetresPerNm; };
    double ahead = 0.0;
    for (const TracePoint& t : trace)
        ahead = std::max(ahead, east({t.position.latitude, t.position.longitude}) - east(fedAt(feed, t.tick)));
    EXPECT_LT(ahead, 10.0) << "metres ahead of the feed";
}

// A turboprop's final approach eastwards at 115 kt and 600 ft/min, a line every 2 s (slow enough
// for the intake to keep every one), onto the runway and rolling out; or, with `goAroundAt`,
// climbing away from that line at 1,500 ft/min and accelerating to 150 kt. Each reported altitude
// is up to 40 ft off (the feed's barometric noise) and each speed up to 3 kt, in whole knots and
// feet.
std::vector<PositionSample> noisyFinal(unsigned seed, std::size_t goAroundAt = 0) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> baro(-40.0, 40.0);
    std::uniform_real_distribution<double> knots(-3.0, 3.0);
    std::vector<Leg> legs(goAroundAt > 0 ? goAroundAt : 40, Leg{90.0, 115.0, -600.0, 2.0, true});
    if (goAroundAt > 0) {
        for (int i = 0; i < 30; ++i)
            legs.push_back({90.0, std::min(116.5 + 1.5 * i, 150.0), 1500.0, 2.0, true});
    } else {
        for (double v = 105.0; v > 30.0; v -= 6.0)
            legs.push_back({90.0, v, 0.0, 2.0, false});
    }
    auto feed = track(gf_destinationPoint(kAirport, 1.5 * kPi, 2.6 * kFeetPerNm), kGroundFt + 40 * 600.0 / 30.0, 100,
                      legs);
    for (auto& s : feed) {
        s.generated = 0;
        s.groundSpeed = s.trueAirspeed = std::round(s.groundSpeed + knots(random));
        if (s.airborne) s.altitude = std::round(s.altitude + baro(random));
    }
    return feed;
}

// On a noisy final no report is taken for a go-around: a faster one keeps the approach's speed
// (kept, the aircraft would run ahead of its feed to an early touchdown). A go-around with the
// same noise climbs away at its fed speed and keeps to its fed track.
TEST_F(TakeOffLandingTest, BaroNoiseOnAFinalIsNoGoAroundButARealGoAroundStillIs) {
    int goArounds = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        resetWorld();
        const auto feed = noisyFinal(seed);
        LiveAircraft& ac = addAircraft(AircraftCategory::Large, 20068, {feed[0], feed[1]}, MovePhase::Flying);
        ac.lastUpdateTime = feedTime(feed[1]);
        std::size_t delivered = 2;
        while (gf_tickCount() < feed.back().dueTick && delivered < feed.size()) {
            while (delivered < feed.size() && feed[delivered].dueTick - 3000 <= gf_tickCount()) {
                LiveAircraft* a = findAircraft(20068);
                const double newest = a->samples.back().groundSpeed;
                const bool landing = a->move.landingArmed != 0;
                const std::size_t waiting = a->samples.size();
                receive(20068, feed[delivered++]);
                if (landing && a->samples.size() > waiting && a->samples.back().airborne &&
                    a->samples.back().groundSpeed > newest)
                    ++goArounds;
            }
            if (run(20068, 1).empty()) break;
        }
    }
    EXPECT_EQ(goArounds, 0) << "faster reports kept on 30 noisy finals";

    resetWorld();
    const std::size_t goAroundAt = 16;
    const auto feed = noisyFinal(7, goAroundAt);
    addAircraft(AircraftCategory::Large, 20069, {feed[0], feed[1]}, MovePhase::Flying);
    const auto trace = replayFedAhead(20069, feed);
    ASSERT_TRUE(std::any_of(trace.begin(), trace.end(), [](const TracePoint& t) { return t.landingArmed; }));
    const auto climbing = std::find_if(trace.begin(), trace.end(),
                                       [&](const TracePoint& t) { return t.tick >= feed[goAroundAt].dueTick; });
    EXPECT_LT(metresOffFedTrack(feed, climbing, trace.end()), 60.0) << "metres off the fed track in the climb";
    EXPECT_NEAR(trace.back().agl, feed.back().altitude - kGroundFt, 150.0);
}

} // namespace
