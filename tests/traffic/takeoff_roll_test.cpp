// The take-off roll as the feed reports it: rolls on the runway and on its exits, fed through the
// intake with the noise of a real feed (whole knots, 5 kt steps above 100 kt, each report a few
// knots off), replayed by the live-traffic tick until well after their reports stop. A roll that
// speeds up takes off where its reports end; one that slows stands.

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "links/sim_events.hpp"
#include "records/takeoff_roll.hpp"
#include "links/traffic_line.hpp"
#include "traffic/movement.hpp"
#include "traffic/movement_test_support.hpp"
#include "traffic/traffic_birth.hpp"

namespace {

using namespace mvtest;

class TakeOffRollTest : public ::testing::Test {
protected:
    void SetUp() override { resetWorld(); }
    void TearDown() override { resetWorld(); }
};

// A ground report as the traffic reader hands it over, in feed seconds.
struct Report {
    double t = 0.0;
    GeoPosition at;
    double speed = 0.0;
    double track = 0.0;
};

// How the feed reports a roll's speed: each report off by up to `noiseKt` either way, in whole
// knots, and in 5 kt steps above 100 kt when `fiveKnotSteps`.
struct FeedNoise {
    double noiseKt = 0.0;
    bool fiveKnotSteps = false;
    unsigned seed = 1;
};

// Reports every `every` seconds of a roll from `start`, whose true speed (kt) and track (degrees)
// at second s are `speedAt(s)` and `trackAt(s)`, for `seconds`; the last report is the one at
// `seconds`.
std::vector<Report> roll(GeoPosition start, int seconds, const std::function<double(double)>& speedAt,
                         const std::function<double(double)>& trackAt, FeedNoise noise, double every = 2.0) {
    std::mt19937 random(noise.seed);
    std::uniform_real_distribution<double> off(-noise.noiseKt, noise.noiseKt);
    std::vector<Report> out;
    GeoPosition p = start;
    const double step = 0.1;
    double next = 0.0;
    for (int tenth = 0; tenth <= 10 * seconds; ++tenth) {
        const double s = tenth * step;
        const double v = speedAt(s);
        if (s + 1e-9 >= next) {
            double reported = std::max(0.0, std::round(v + off(random)));
            if (noise.fiveKnotSteps && reported > 100.0) reported = 5.0 * std::round(reported / 5.0);
            out.push_back({1.7e9 + s, p, reported, trackAt(s)});
            next += every;
        }
        p = gf_destinationPoint(p, trackAt(s) * kDeg, v * step / 3600.0 * kFeetPerNm);
    }
    return out;
}

const auto kWest = [](double) { return 270.0; };

GeoPosition runwayStart() { return gf_destinationPoint(kAirport, kPi, 600.0 / 0.3048); }

// How the reports reach the program: each 30 s before it falls due, or `burst` of them together;
// with `createdLate` the aircraft is still being created until its roll has come in whole.
struct Delivery {
    std::size_t burst = 1;
    bool createdLate = false;
};

struct Outcome {
    bool tookOff = false;
    double highestAgl = 0.0;
};

// Replays the reports through the intake as the program does (a Large aircraft taxiing that holds
// the first two reports) until 25 s after the last one is due.
Outcome replay(const std::vector<Report>& feed, Delivery delivery = {}) {
    constexpr uint32_t kKey = 20300;
    const int64_t firstDue = gf_tickCount() + 3100;
    const auto due = [&](const Report& r) { return firstDue + std::llround((r.t - feed.front().t) * 100.0); };
    const auto sample = [&](const Report& r) {
        PositionSample s;
        s.latitude = r.at.latitude;
        s.longitude = r.at.longitude;
        s.groundSpeed = s.trueAirspeed = r.speed;
        s.track = r.track;
        s.dueTick = due(r);
        return s;
    };
    LiveAircraft& ac = addAircraft(AircraftCategory::Large, kKey, {sample(feed[0]), sample(feed[1])}, MovePhase::Taxi);
    ac.lastUpdateTime = feed[1].t;
    const uint32_t objectId = ac.objectId;
    std::optional<int64_t> createdAt;
    if (delivery.createdLate) {
        ac.state = LiveState::Adding2Sim;
        ac.objectId = 0;
        ac.onGround = 0;
        createdAt = due(feed.back()) - 2500;
    }
    std::size_t delivered = 2;
    Outcome outcome;
    const int64_t end = due(feed.back()) + 2500;
    while (gf_tickCount() < end) {
        if (createdAt && gf_tickCount() == *createdAt)
            gf_postSimEvent(SimEvent{objectId, kKey, 0, kSimEventCreatedLive, kGroundFt, 0.0});
        // A burst comes in when its last report is 30 s ahead.
        const std::size_t last = std::min(delivered + delivery.burst, feed.size()) - 1;
        if (delivered < feed.size() && due(feed[last]) - 3000 <= gf_tickCount()) {
            for (; delivered <= last; ++delivered) {
                TrafficLine line;
                line.hexid = kKey;
                line.sample = sample(feed[delivered]);
                line.timeStamp = feed[delivered].t;
                lf_onTrafficUpdate(line);
            }
        }
        const auto part = run(kKey, 1);
        if (part.empty()) break;
        outcome.highestAgl = std::max(outcome.highestAgl, part.front().agl);
        outcome.tookOff = outcome.tookOff || part.front().phase == MovePhase::TakeOff;
    }
    return outcome;
}

// Of 30 seeds, how many of the rolls made by `make` take off (or climb more than a foot).
int takeOffsOf30(const std::function<std::vector<Report>(unsigned)>& make, Delivery delivery = {}) {
    int count = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        resetWorld();
        const Outcome o = replay(make(seed), delivery);
        if (o.tookOff || o.highestAgl > kCgFt + 1.0) ++count;
    }
    return count;
}

// Accelerating from a standstill at 3 kt a second, lost at 120 to 135 kt.
std::vector<Report> accelerating(unsigned seed, double noiseKt, bool fiveKnotSteps) {
    const double lostAt = 120.0 + static_cast<double>(seed % 16);
    const int seconds = static_cast<int>(lostAt / 3.0);
    return roll(runwayStart(), seconds, [](double s) { return 3.0 * s; }, kWest, {noiseKt, fiveKnotSteps, seed});
}

TEST_F(TakeOffRollTest, NoisyAcceleratingRollsLostAtTheirEndTakeOff) {
    EXPECT_EQ(takeOffsOf30([](unsigned seed) { return accelerating(seed, 4.0, false); }), 30) << "4 kt noise";
    EXPECT_EQ(takeOffsOf30([](unsigned seed) { return accelerating(seed, 5.0, true); }), 30)
        << "5 kt noise, 5 kt steps";
    EXPECT_EQ(takeOffsOf30([](unsigned seed) { return accelerating(seed, 5.0, false); }, {3, false}), 30)
        << "in bursts of three";
    EXPECT_EQ(takeOffsOf30([](unsigned seed) { return accelerating(seed, 5.0, false); }, {1, true}), 30)
        << "created late";
}

// A clean roll-out first seen at 121 kt braking at 1.5 kt a second, lost at 55 kt; a take-off
// roll to 102 kt rejected, braking at 4 kt a second with 4 kt of noise, lost at 40 kt: neither
// takes off.
TEST_F(TakeOffRollTest, ACleanRollOutAndANoisyRejectedTakeOffStand) {
    const auto rollOut = [](unsigned) {
        return roll(runwayStart(), 44, [](double s) { return 121.0 - 1.5 * s; }, kWest, {});
    };
    EXPECT_EQ(takeOffsOf30(rollOut), 0);
    const auto rejected = [](unsigned seed) {
        return roll(runwayStart(), 50, [](double s) { return s <= 34 ? 3.0 * s : 102.0 - 4.0 * (s - 34); }, kWest,
                    {4.0, false, seed});
    };
    EXPECT_EQ(takeOffsOf30(rejected), 0);
}

// Slowing rolls whose reports stop, each report a few knots off: an arrival first seen on a fast
// exit at 60 kt slowing 1 kt a second to 44-46 kt as it turns off, 3 kt of noise; a roll-out from
// 121 kt braking at 1.5 kt a second, 4 kt of noise, lost at 100, 90, 80, 70 or 55 kt; one in
// 5 kt steps lost at 110 kt. None takes off.
TEST_F(TakeOffRollTest, NoisySlowingRollsWhoseReportsStopStand) {
    const auto exit = [](unsigned seed) {
        const int seconds = 14 + static_cast<int>(seed % 3);
        return roll(runwayStart(), seconds, [](double s) { return 60.0 - s; },
                    [](double s) { return 270.0 + 2.0 * s; }, {3.0, false, seed});
    };
    EXPECT_EQ(takeOffsOf30(exit), 0) << "fast exit";
    for (const double lostAt : {100.0, 90.0, 80.0, 70.0, 55.0}) {
        const auto rollOut = [lostAt](unsigned seed) {
            return roll(runwayStart(), static_cast<int>((121.0 - lostAt) / 1.5),
                        [](double s) { return 121.0 - 1.5 * s; }, kWest, {4.0, false, seed});
        };
        EXPECT_EQ(takeOffsOf30(rollOut), 0) << "rolling out, lost at " << lostAt << " kt";
    }
    const auto steps = [](unsigned seed) {
        return roll(runwayStart(), 8, [](double s) { return 121.0 - 1.5 * s; }, kWest, {0.0, true, seed});
    };
    EXPECT_EQ(takeOffsOf30(steps), 0) << "5 kt steps, lost at 110 kt";
}

// A take-off rejected at 102 kt whose reports stop one report after the abort, at 94 kt.
TEST_F(TakeOffRollTest, ATakeOffRejectedOneReportBeforeItsReportsStopStands) {
    const auto feed = roll(runwayStart(), 36, [](double s) { return s <= 34 ? 3.0 * s : 94.0; }, kWest, {});
    ASSERT_EQ(feed.back().speed, 94.0);
    ASSERT_EQ(feed[feed.size() - 2].speed, 102.0);
    const Outcome o = replay(feed);
    EXPECT_FALSE(o.tookOff);
    EXPECT_LT(o.highestAgl, kCgFt + 1.0);
}

// The roll's edges, report by report: on the ground, 2 s apart, at the speeds given.
PositionSample onTheGround(double kt, int64_t due = 0) {
    PositionSample s;
    s.groundSpeed = kt;
    s.dueTick = due;
    return s;
}

TakeOffRoll rolled(std::initializer_list<double> speeds) {
    TakeOffRoll r;
    for (const double v : speeds) r.reportArrives(onTheGround(v));
    return r;
}

TEST(TakeOffRollEdges, ItRisesOverItsFastReportsByMoreThanTheNoise) {
    EXPECT_FALSE(rolled({50.0, 50.0}).armed()) << "two equal fast reports";
    EXPECT_FALSE(rolled({115.0, 115.0}).armed()) << "two equal in 5 kt steps";
    EXPECT_FALSE(rolled({50.0, 50.0 + TakeOffRoll::kNoiseKt}).armed()) << "exactly the noise";
    EXPECT_TRUE(rolled({50.0, 50.5 + TakeOffRoll::kNoiseKt}).armed());
    // A slow report before the fast ones or among them is no low to rise from.
    EXPECT_FALSE(rolled({30.0, 44.0, 51.0}).armed());
    EXPECT_FALSE(rolled({46.0, 41.0, 49.0}).armed());
    EXPECT_TRUE(rolled({46.0, 41.0, 51.0}).armed());
    // An airborne report is the lift-off.
    PositionSample up = onTheGround(140.0);
    up.airborne = 1;
    TakeOffRoll r;
    r.reportArrives(up);
    EXPECT_TRUE(r.armed());
}

TEST(TakeOffRollEdges, ItFallsBelowItsTopByMoreThanTheNoiseAndTwoSlowReportsEndIt) {
    EXPECT_TRUE(rolled({50.0, 70.0, 100.0, 100.0 - TakeOffRoll::kNoiseKt}).armed()) << "exactly the noise";
    EXPECT_FALSE(rolled({50.0, 70.0, 100.0, 99.5 - TakeOffRoll::kNoiseKt}).armed());
    // The top counts from the first fast report, before any rise.
    EXPECT_FALSE(rolled({121.0, 118.0, 115.0, 112.0, 113.0}).armed());
    // One slow report falls; fast again and risen, it is a take-off again; two slow end the roll,
    // and a new one starts level.
    EXPECT_FALSE(rolled({50.0, 60.0, 41.0}).armed());
    EXPECT_TRUE(rolled({50.0, 60.0, 41.0, 52.0}).armed());
    EXPECT_FALSE(rolled({50.0, 60.0, 41.0, 40.0, 45.0}).armed());
    EXPECT_TRUE(rolled({50.0, 60.0, 41.0, 40.0, 45.0, 53.0}).armed());
    // Begun, it is a take-off whatever is reported, until cleared.
    TakeOffRoll begun = rolled({121.0, 100.0});
    begun.begin();
    begun.reportArrives(onTheGround(30.0));
    begun.reportArrives(onTheGround(20.0));
    EXPECT_TRUE(begun.armed());
    begun.clear();
    EXPECT_FALSE(begun.armed());
}

SampleQueue waiting(std::initializer_list<double> speeds) {
    SampleQueue q;
    int64_t due = 0;
    for (const double v : speeds) q.push_back(onTheGround(v, due += 200));
    return q;
}

TEST(TakeOffRollEdges, TheReportsWaitingAtActivationTellTheRollFromTheFirstOn) {
    TakeOffRoll r;
    r.reportsWaiting(waiting({45.0, 45.5 + TakeOffRoll::kNoiseKt}));
    EXPECT_TRUE(r.armed()) << "the first pair of waiting reports";
    // A rejected roll that had come in whole, one report after the abort or slow again: none,
    // whatever the roll told before.
    r.reportsWaiting(waiting({50.0, 60.0, 70.0, 80.0, 90.0, 100.0, 92.0}));
    EXPECT_FALSE(r.armed());
    r = rolled({50.0, 60.0, 70.0});
    ASSERT_TRUE(r.armed());
    r.reportsWaiting(waiting({100.0, 80.0, 40.0, 30.0}));
    EXPECT_FALSE(r.armed());
    r = rolled({50.0, 60.0, 70.0});
    r.reportsWaiting(waiting({80.0, 81.0}));
    EXPECT_FALSE(r.armed()) << "level waiting reports after a rise told before";
}

} // namespace
