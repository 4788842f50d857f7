// Traffic intake, birth and the spawn decision: which lines are dropped, which aircraft are
// born, held back, erased or spawned, the creation record a spawn makes, identity changes, and
// bad lines of every kind handled without a crash, a stuck record or a flooded log.
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include "app/subsystem_wiring.hpp"
#include "config/settings.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/removal.hpp"
#include "traffic/traffic_birth.hpp"
#include "traffic/update_step.hpp"
#include "traffic_test_support.hpp"

namespace traffictest {
namespace {

// A point `metres` from `p` on the bearing `degrees`.
GeoPosition off(GeoPosition p, double degrees, double metres) {
    return gf_destinationPoint(p, degrees * kPi / 180.0, metres / 0.3048);
}

// A copy of the aircraft's newest sample moved to `p` at `speed`, reported 2 s after it.
PositionSample reportAt(const LiveAircraft& a, GeoPosition p, double speed) {
    PositionSample s = a.samples.back();
    s.latitude = p.latitude;
    s.longitude = p.longitude;
    s.groundSpeed = speed;
    s.generated = 0;
    s.dueTick += 200;
    return s;
}

class IntakeTest : public TrafficTest {
protected:
    // The aircraft's samples after a line was handled.
    std::size_t samplesOf(uint32_t key) { return live(key) == nullptr ? 0 : live(key)->samples.size(); }
    void onLine(TrafficLine l) { lf_onTrafficUpdate(l); }

    // A newborn in buffer whose two airborne samples are due, of a flight with a livery.
    LiveAircraft& newborn(uint32_t key, const std::string& callsign, double lat = 50.1, double lon = 8.1) {
        LiveAircraft& a = addLive(key, callsign, LiveState::Buffer, 0, lat, lon);
        a.head.liveryKey.operatorIndex = gf_airlineIndex("DLH");
        PositionSample s = a.samples.front();
        s.longitude += 0.01;
        a.samples.push_back(s);
        a.samples.front().dueTick = 0;
        a.samples.back().dueTick = 1;
        return a;
    }

    // An active aircraft on the ground at (50.1, 8.1) in `phase`, its stand there claimed.
    LiveAircraft& onStand(uint32_t key, MovePhase phase, MovePhase previous) {
        LiveAircraft& a = addLive(key, "DLH" + std::to_string(key), LiveState::Active, key - 19000);
        a.phase = phase;
        a.previousPhase = previous;
        a.onGround = 1;
        a.samples.front().altitude = 0.0;
        a.samples.front().airborne = 0;
        a.samples.front().groundSpeed = 0.0;
        a.size = 17.0 / 1852.0; // an A320's half span
        a.standId = 1;
        a.standLatitude = 50.1;
        a.standLongitude = 8.1;
        a.move.standClaimed = 1;
        return a;
    }

    // An aircraft flying east at 120 kt, a line every 2 s (or `seconds`) at the altitudes given (0:
    // reported on the ground) and the vertical speeds given (none: 0), near a park airport 1,000 ft
    // high; the altitude of each line after it was handled, or NaN for a dropped one.
    std::vector<double> flownAltitudes(uint32_t key, const std::vector<double>& altitudes,
                                       double seconds = 2.0, const std::vector<double>& rates = {}) {
        const auto rate = [&](std::size_t i) { return i < rates.size() ? rates[i] : 0.0; };
        ParkAirport park;
        park.code = FixedCode<4>("EDXX");
        park.position = {50.0, 8.0};
        park.elevationFeet = 1000.0F;
        gf_setParkAirport(park);
        LiveAircraft& a = addLive(key, "DLH" + std::to_string(key), LiveState::Active, key - 20000);
        const bool onGround = altitudes.front() == 0.0;
        a.phase = onGround ? MovePhase::Taxi : MovePhase::Flying;
        a.onGround = onGround ? 1 : 0;
        a.samples.front().airborne = onGround ? 0 : 1;
        a.samples.front().altitude = altitudes.front();
        a.samples.front().groundSpeed = 120.0;
        a.samples.front().verticalSpeed = rate(0);
        a.lastUpdateTime = 1000.0;
        std::vector<double> out{altitudes.front()};
        GeoPosition p{50.1, 8.1};
        for (std::size_t i = 1; i < altitudes.size(); ++i) {
            p = gf_destinationPoint(p, kPi / 2, 120.0 * seconds / 3600.0 * kFeetPerNm);
            TrafficLine l = line(key, "DLH" + std::to_string(key), 1000.0 + seconds * static_cast<double>(i),
                                 p.latitude, p.longitude, altitudes[i], 120.0);
            l.sample.verticalSpeed = rate(i);
            l.sample.dueTick += std::llround(seconds * 100.0) * static_cast<int64_t>(i);
            const std::size_t before = live(key)->samples.size();
            lf_onTrafficUpdate(l);
            out.push_back(live(key)->samples.size() > before ? live(key)->samples.back().altitude
                                                             : std::numeric_limits<double>::quiet_NaN());
        }
        return out;
    }
};

TEST_F(IntakeTest, LinesTooSoonOrWithImplausibleSpeedJumpsAreDropped) {
    onLine(line(20001, "DLH1", 1000.0, 50.1, 8.1, 12000.0, 10.0));
    ASSERT_EQ(samplesOf(20001), 1u);
    onLine(line(20001, "DLH1", 1000.9, 50.11, 8.1, 12000.0, 10.0));
    EXPECT_EQ(samplesOf(20001), 1u);
    onLine(line(20001, "DLH1", 1001.1, 50.11, 8.1, 12000.0, 150.0)); // 15 times faster
    EXPECT_EQ(samplesOf(20001), 1u);
    onLine(line(20001, "DLH1", 1001.1, 50.11, 8.1, 12000.0, 11.0));
    EXPECT_EQ(samplesOf(20001), 2u);

    onLine(line(20002, "DLH2", 1000.0, 50.1, 8.2, 0.0, 4.0));
    onLine(line(20002, "DLH2", 1002.0, 50.2, 8.2, 0.0, 90.0)); // 80 kt rule
    EXPECT_EQ(samplesOf(20002), 1u);
}

TEST_F(IntakeTest, SlowGroundLinesAreThinnedOnlyWhileTheSpeedHolds) {
    // Eastwards on the ground, a line every 2 s (its sample due 2 s after the one before, as the
    // reader stamps them): slowing from 20 kt to a stop, standing 20 s, moving off again.
    GeoPosition p{50.1, 8.1};
    double t = 1000.0;
    auto onGround = [&](double speed) {
        TrafficLine l = line(20001, "DLH1", t, p.latitude, p.longitude, 0.0, speed);
        l.sample.dueTick += std::llround((t - 1000.0) * 100.0);
        onLine(l);
        p = gf_destinationPoint(p, kPi / 2, speed * 2.0 / 3600.0 * kFeetPerNm);
        t += 2.0;
    };
    for (double v : {20.0, 16.0, 12.0, 8.0, 4.0, 0.0})
        onGround(v);
    // Every line of the slowing is kept: each tells how far the aircraft came, the stop too.
    EXPECT_EQ(samplesOf(20001), 6u);
    for (int i = 0; i < 10; ++i)
        onGround(0.0);
    // Standing lines are thinned to one per 15 s.
    EXPECT_EQ(samplesOf(20001), 7u);
    for (double v : {2.0, 4.0, 6.0, 8.0})
        onGround(v);
    // Moving off is seen at the first line that says so.
    EXPECT_EQ(samplesOf(20001), 11u);
    // At a steady taxi speed lines closer than 20 m to the last kept one are thinned again.
    for (int i = 0; i < 6; ++i)
        onGround(8.4);
    EXPECT_EQ(samplesOf(20001), 13u);
}

TEST_F(IntakeTest, ASlowTaxiWhoseSpeedJittersIsThinnedLikeASteadyOne) {
    // Two aircraft taxi east at 5 kt for 2 minutes, a line every 2 s; one reports a steady 5 kt,
    // the other anything from 4 to 6 kt.
    std::mt19937 jitter(8);
    for (const uint32_t key : {20001u, 20002u}) {
        GeoPosition p{50.1, 8.1 + 0.01 * (key - 20001u)};
        for (int i = 0; i <= 60; ++i) {
            const double reported =
                key == 20001u ? 5.0 : 4.0 + 2.0 * static_cast<double>(jitter()) / 4294967296.0;
            TrafficLine l = line(key, "DLH" + std::to_string(key), 1000.0 + 2.0 * i, p.latitude, p.longitude,
                                 0.0, reported);
            l.sample.dueTick += 200 * i;
            onLine(l);
            p = gf_destinationPoint(p, kPi / 2, 5.0 * 2.0 / 3600.0 * kFeetPerNm);
        }
    }
    const std::size_t steady = samplesOf(20001);
    EXPECT_LE(samplesOf(20002), steady + 1) << "of 61 lines, where a steady 5 kt keeps " << steady;
}

TEST_F(IntakeTest, BirthFollowsTheCategoryOptionsAndTheSameFlightIsBornOnce) {
    onLine(line(20001, "N172AB", 1000.0, 50.1, 8.1, 3000.0, 100.0, "C172"));
    EXPECT_EQ(live(20001), nullptr); // Light is off
    LIGHT_AIRCRAFT.current = true;
    onLine(line(20001, "N172AB", 1000.0, 50.1, 8.1, 3000.0, 100.0, "C172"));
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->category, AircraftCategory::Light);
    EXPECT_EQ(live(20001)->head.secondText, "N172AB");
    onLine(line(20002, "XYZ1", 1000.0, 50.1, 8.1, 3000.0, 100.0, "Q999")); // unknown model
    EXPECT_EQ(live(20002), nullptr);
    onLine(line(20003, "N172AB", 1000.0, 50.1, 8.2, 3000.0, 100.0, "C172")); // same callsign and model
    EXPECT_EQ(live(20003), nullptr);
    onLine(line(20004, "N172AB", 1000.0, 50.1, 8.2, 3000.0, 100.0, "A320")); // another model
    EXPECT_NE(live(20004), nullptr);
    // Helicopters and high-performance aircraft likewise by their own options.
    for (const auto& [key, model, option] :
         {std::tuple{20005u, "EC35", &HELICOPTERS}, std::tuple{20006u, "F16", &HIGH_PERF_AIRCRAFT}}) {
        onLine(line(key, std::string("X") + model, 1000.0, 50.1, 8.3, 3000.0, 100.0, model));
        EXPECT_EQ(live(key), nullptr) << model;
        option->current = true;
        onLine(line(key, std::string("X") + model, 1000.0, 50.1, 8.3, 3000.0, 100.0, model));
        EXPECT_NE(live(key), nullptr) << model;
    }
}

TEST_F(IntakeTest, ANewbornWithOneSampleIsErasedWhenDue) {
    feed(line(20001, "DLH1", 1000.0));
    tick();
    ASSERT_NE(live(20001), nullptr);
    tick(static_cast<int>(kSampleDelayTicks));
    EXPECT_EQ(live(20001), nullptr);
    EXPECT_TRUE(takeCreations().empty());
}

TEST_F(IntakeTest, ASpawnedAircraftBecomesACreationWithItsLiveryInDegrees) {
    feed(line(20001, "DLH1", 1000.0, 50.1, 8.1));
    feed(line(20001, "DLH1", 1005.0, 50.1, 8.11));
    tick(2);
    ASSERT_EQ(samplesOf(20001), 2u);
    tick(static_cast<int>(kSampleDelayTicks));
    LiveAircraft* a = live(20001);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->state, LiveState::Adding2Sim);
    EXPECT_EQ(a->phase, MovePhase::Flying);
    EXPECT_EQ(a->liveryTitle, "Fx A320 Lufthansa");
    ASSERT_EQ(gLiveAddingStack.size(), 1u);
    const AiCreateRequest& r = gLiveAddingStack.front();
    EXPECT_EQ(r.key, 20001u);
    EXPECT_EQ(r.callsign, "DLH1");
    EXPECT_EQ(r.liveryTitle, "Fx A320 Lufthansa");
    EXPECT_DOUBLE_EQ(r.initPosition.Latitude, 50.1);
    EXPECT_NEAR(r.initPosition.Heading, 90.0, 0.1); // towards the next sample, in degrees
    EXPECT_NEAR(r.initPosition.Pitch, -3.0, 1e-9);
    EXPECT_EQ(gLiveryMemory.at(20001), "Fx A320 Lufthansa");
}

TEST_F(IntakeTest, MaxLiveSelectionReplacesOnlyAFartherAircraft) {
    MAX_LIVE_SEL.current = 10;
    const double nm = 1.0 / 60.0;
    for (uint32_t i = 0; i < 10; ++i) addLive(21000 + i, "A" + std::to_string(i), LiveState::Active, 100 + i,
                                              kUserLat + 5.05 * nm, kUserLon);
    feed(line(20001, "DLH1", 1000.0, kUserLat + 5.0 * nm, kUserLon));
    feed(line(20001, "DLH1", 1005.0, kUserLat + 5.0 * nm, kUserLon + 0.01));
    tick(2 + static_cast<int>(kSampleDelayTicks));
    EXPECT_EQ(live(20001), nullptr); // nobody beyond 5.1 NM

    // Moved away for good: its position and the sample it flies on.
    ASSERT_NE(live(21009), nullptr);
    live(21009)->position.latitude = kUserLat + 7.0 * nm;
    live(21009)->samples.front().latitude = kUserLat + 7.0 * nm;
    feed(line(20002, "DLH2", 1010.0, kUserLat + 5.0 * nm, kUserLon));
    feed(line(20002, "DLH2", 1015.0, kUserLat + 5.0 * nm, kUserLon + 0.01));
    tick(2 + static_cast<int>(kSampleDelayTicks));
    ASSERT_NE(live(20002), nullptr);
    EXPECT_EQ(live(20002)->state, LiveState::Adding2Sim);
    ASSERT_NE(live(21009), nullptr);
    EXPECT_EQ(live(21009)->state, LiveState::RemovingFromSim);
}

// A creation already handed to the simulator counts as live: with Max live 10, nine active
// aircraft and one on its way into the simulator leave no room for a newcomer.
TEST_F(IntakeTest, MaxLiveCountsCreationsAlreadySentToTheSimulator) {
    MAX_LIVE_SEL.current = 10;
    const double nm = 1.0 / 60.0;
    for (uint32_t i = 0; i < 9; ++i)
        addLive(21000 + i, "A" + std::to_string(i), LiveState::Active, 100 + i, kUserLat + 5.05 * nm,
                kUserLon);
    addLive(21009, "A9", LiveState::Adding2Sim, 0, kUserLat + 5.05 * nm, kUserLon).creationSentTick = 0;
    feed(line(20001, "DLH1", 1000.0, kUserLat + 5.0 * nm, kUserLon));
    feed(line(20001, "DLH1", 1005.0, kUserLat + 5.0 * nm, kUserLon + 0.01));
    tick(2 + static_cast<int>(kSampleDelayTicks));
    EXPECT_EQ(live(20001), nullptr);
    EXPECT_TRUE(gSpawnStack.empty());
    EXPECT_TRUE(gLiveAddingStack.empty());
}

TEST_F(IntakeTest, ManyWaitingCreationsHoldNewbornsAndGhostsGiveWay) {
    for (uint32_t k = 0; k < 11; ++k) {
        AiCreateRequest r;
        r.key = 30000 + k;
        gLiveAddingStack.push_back(r);
    }
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Buffer);
    for (int i = 1; i <= 3; ++i) {
        PositionSample s = a.samples.front();
        s.longitude += 0.01 * i;
        a.samples.push_back(s);
    }
    for (std::size_t i = 0; i < a.samples.size(); ++i) a.samples[i].dueTick = 0;
    tick(); // tick 0: nothing sent yet, the gate of 11 holds
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->samples.size(), 3u);
    EXPECT_EQ(live(20001)->state, LiveState::Buffer);

    gLiveAddingStack.clear();
    addLive(20002, "ABC123", LiveState::Active, 500);
    LiveAircraft& ghost = addLive(20003, "ABC123_", LiveState::Buffer);
    PositionSample s = ghost.samples.front();
    s.longitude += 0.01;
    ghost.samples.push_back(s);
    ghost.samples.front().dueTick = 0;
    tick();
    EXPECT_EQ(live(20003), nullptr);
}

TEST_F(IntakeTest, ACallsignChangeRespawnsOnlyWithGuidChanges) {
    // Created a minute ago: its first creation went to the simulator at tick 0.
    gLiveTrafficTick.store(6000);
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Active, 500);
    a.phase = MovePhase::Flying;
    a.lastUpdateTime = 1000.0;
    a.creationSentTick = 0;
    onLine(line(20001, "DLH1X", 1010.0, 50.1, 8.12));
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->head.callsign, "DLH1X");
    EXPECT_EQ(live(20001)->state, LiveState::Active);

    GUID_CHANGES.current = true;
    live(20001)->liveryTitle = lf_findTitle("Fx A320 Lufthansa");
    // A line named by the aircraft's registration is no callsign change.
    live(20001)->head.registration = "D-AIZB";
    onLine(line(20001, "D-AIZB", 1015.0, 50.1, 8.13));
    EXPECT_EQ(live(20001)->head.callsign, "DLH1X");
    EXPECT_EQ(live(20001)->state, LiveState::Active);
    onLine(line(20001, "DLH2Y", 1020.0, 50.1, 8.14));
    LiveAircraft* r = live(20001);
    EXPECT_EQ(r->head.callsign, "DLH2Y");
    EXPECT_EQ(r->state, LiveState::LiveryRespawn);
    EXPECT_EQ(gRemovalQueue.back(), 500u);
    // The removal event returns it to buffer; it is created again where it was, with its livery.
    gf_postSimEvent(SimEvent{500, 0, 0, kSimEventRemoved, 0.0, 0.0});
    tick();
    r = live(20001);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->objectId, 0u);
    tick(2);
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Adding2Sim);
    ASSERT_FALSE(gLiveAddingStack.empty());
    EXPECT_EQ(gLiveAddingStack.back().callsign, "DLH2Y");
    EXPECT_EQ(gLiveAddingStack.back().liveryTitle, "Fx A320 Lufthansa");
    EXPECT_DOUBLE_EQ(gLiveAddingStack.back().initPosition.Latitude, 50.1);
    // The new creation is sent and waited for like any first one, not given up at once.
    tick(60);
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Adding2Sim);
    const auto sent = takeCreations();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent.front().callsign, "DLH2Y");
}

// Its reports of moving off go: it is created again on its stand, on its heading.
TEST_F(IntakeTest, AnAircraftRespawnedOnItsStandIsCreatedThereAgainOnItsHeading) {
    GUID_CHANGES.current = true;
    LiveAircraft& a = onStand(20001, MovePhase::Parked, MovePhase::Parking);
    a.liveryTitle = lf_findTitle("Fx A320 Lufthansa");
    a.position.heading = 1.0;
    PositionSample away = a.samples.front();
    away.longitude += 0.001;
    away.dueTick += 300;
    a.samples.push_back(away);
    onLine(line(20001, "DLH9", 1020.0, 50.1, 8.1, 0.0, 0.0));
    ASSERT_EQ(live(20001)->state, LiveState::LiveryRespawn);
    gf_postSimEvent(SimEvent{1001, 0, 0, kSimEventRemoved, 0.0, 0.0});
    tick(3);
    const LiveAircraft* r = live(20001);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->state, LiveState::Adding2Sim);
    EXPECT_EQ(r->phase, MovePhase::Parked);
    // Only its oldest report is kept, behind the copy it is created from.
    ASSERT_EQ(r->samples.size(), 2u);
    EXPECT_EQ(r->samples.back().longitude, 8.1);
    EXPECT_EQ(r->samples.front().longitude, 8.1);
    ASSERT_FALSE(gLiveAddingStack.empty());
    EXPECT_NEAR(gLiveAddingStack.back().initPosition.Heading, 57.2958, 1e-4);
}

TEST_F(IntakeTest, BadLinesAreDroppedWithoutCrashOrFlood) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<TrafficLine> bad;
    for (int i = 0; i < 100; ++i) {
        bad.push_back(line(20001, "NAN1", 1000.0, nan));
        bad.push_back(line(20002, "INF1", 1000.0, 50.1, inf));
        bad.push_back(line(20003, "RNG1", 1000.0, 95.0));
        bad.push_back(line(20004, "SPD1", 1000.0, 50.1, 8.1, 12000.0, -5.0));
        bad.push_back(line(20005, "TIM1", nan));
        bad.push_back(line(5000, "KEY1", 1000.0)); // a static key
    }
    for (auto& l : bad) onLine(std::move(l));
    EXPECT_TRUE(gLiveAircraft.empty());
    // One believable line sets the clock; a line a day ahead is not believed, a little ahead is.
    onLine(line(20010, "DLH10", 1000.0));
    onLine(line(20011, "DLH11", 1000.0 + 86400.0));
    ASSERT_NE(live(20010), nullptr);
    EXPECT_EQ(live(20011), nullptr);
    onLine(line(20010, "DLH10", 1000.0 + 86400.0, 50.11));
    ASSERT_NE(live(20010), nullptr);
    EXPECT_EQ(live(20010)->samples.size(), 1u); // its record is not pushed a day ahead
    EXPECT_DOUBLE_EQ(live(20010)->lastUpdateTime, 1000.0);
    onLine(line(20010, "DLH10", 1005.0, 50.11));
    ASSERT_NE(live(20010), nullptr);
    EXPECT_EQ(live(20010)->samples.size(), 2u);
    // An empty callsign and registration: born, then erased when due (no name to create it by).
    onLine(line(20012, "", 1000.0, 50.2, 8.1));
    onLine(line(20012, "", 1005.0, 50.2, 8.11));
    ASSERT_NE(live(20012), nullptr);
    for (auto& s : {0u, 1u}) live(20012)->samples[s].dueTick = 0;
    tick();
    EXPECT_EQ(live(20012), nullptr);

    std::size_t dropNotes = 0;
    for (const auto& l : logLines())
        if (l.find("dropped:") != std::string::npos) ++dropNotes;
    EXPECT_LE(dropNotes, 3u);
}

TEST_F(IntakeTest, AnAircraftWithTooManySamplesIsRemovedAndStopsGrowing) {
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Adding2Sim);
    a.phase = MovePhase::Flying;
    a.lastUpdateTime = 1000.0;
    removeAircraftFromSim(a); // creation already sent: removal asked
    ASSERT_NE(live(20001), nullptr);
    ASSERT_EQ(live(20001)->removalAsked, 1);
    for (int i = 1; i <= 400; ++i) onLine(line(20001, "DLH1", 1000.0 + 3.0 * i, 50.1, 8.1 + 0.001 * i));
    ASSERT_NE(live(20001), nullptr);
    EXPECT_LE(live(20001)->samples.size(), 1u);

    LiveAircraft& b = addLive(20002, "DLH2", LiveState::Active, 502, 50.2, 8.1);
    b.phase = MovePhase::Flying;
    b.lastUpdateTime = 1000.0;
    for (int i = 1; i <= 400; ++i) onLine(line(20002, "DLH2", 1000.0 + 3.0 * i, 50.2, 8.1 + 0.001 * i));
    ASSERT_NE(live(20002), nullptr);
    EXPECT_EQ(live(20002)->state, LiveState::RemovingFromSim);
    EXPECT_LE(live(20002)->samples.size(), kMaxWaitingSamples + 1);
}

TEST_F(IntakeTest, TheTickKeepsUpWithAHeavyFeed) {
    // 500 aircraft reporting every second: 5 lines a tick.
    gf_openTrafficGate();
    std::size_t longest = 0;
    for (int t = 0; t < 1500; ++t) {
        for (int i = 0; i < 5; ++i) {
            const uint32_t n = static_cast<uint32_t>((t * 5 + i) % 500);
            TrafficLine l = line(20001 + n, "T" + std::to_string(n), 1000.0 + t / 100.0 + n * 1e-4, 50.0 + n * 0.001,
                                 8.0 + t * 1e-5);
            gf_queueTrafficLine(std::move(l));
        }
        tick();
        longest = std::max(longest, gf_trafficIntakeSize());
    }
    // A line waits a fraction of a second, never near the 30 s after which its sample is due.
    EXPECT_LT(longest, 300u);
    EXPECT_EQ(gf_trafficLinesToTake(0), 2u);
    EXPECT_EQ(gf_trafficLinesToTake(10000), 64u);
}

TEST_F(IntakeTest, StrayPositionsAndTimesAreNotFlownAndANewTrackIsBornWhereItIs) {
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Active, 500);
    a.phase = MovePhase::Flying;
    a.lastUpdateTime = 1000.0;
    onLine(line(20001, "DLH1", 1005.0, 50.1, 8.11));
    ASSERT_EQ(samplesOf(20001), 2u);
    // 54 NM off in 5 s (39,000 kt): a stray position, dropped; the track goes on.
    onLine(line(20001, "DLH1", 1010.0, 51.0, 8.1));
    EXPECT_EQ(samplesOf(20001), 2u);
    onLine(line(20001, "DLH1", 1015.0, 50.1, 8.13));
    EXPECT_EQ(samplesOf(20001), 3u);
    // A time stamp 50 minutes ahead is not believed, so the lines after it are still taken.
    onLine(line(20001, "DLH1", 1015.0 + 3000.0, 50.1, 8.14));
    EXPECT_EQ(samplesOf(20001), 3u);
    ASSERT_NE(live(20001), nullptr);
    EXPECT_DOUBLE_EQ(live(20001)->lastUpdateTime, 1015.0);
    onLine(line(20001, "DLH1", 1020.0, 50.1, 8.15));
    onLine(line(20001, "DLH1", 1025.0, 50.1, 8.16));
    EXPECT_EQ(samplesOf(20001), 5u);
    // Out of reach twice, the second line near the first: the aircraft is there now. It is
    // removed and born anew at its new place.
    onLine(line(20001, "DLH1", 1030.0, 51.0, 8.16));
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Active);
    onLine(line(20001, "DLH1", 1035.0, 51.0, 8.18));
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::RemovingFromSim);
    EXPECT_EQ(gRemovalQueue.back(), 500u);
    EXPECT_TRUE(
        logged("DLH1     jumped 54 NM off its track and goes on there: removed, to be born there anew"));
    gf_postSimEvent(SimEvent{500, 0, 0, kSimEventRemoved, 0.0, 0.0});
    tick();
    onLine(line(20001, "DLH1", 1040.0, 51.0, 8.2));
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Buffer);
    EXPECT_DOUBLE_EQ(live(20001)->samples.front().latitude, 51.0);
    // The whole feed moves on ten minutes: after three such lines in a row they are believed.
    onLine(line(20005, "DLH5", 1640.0, 52.0, 8.1));
    onLine(line(20006, "DLH6", 1641.0, 52.0, 8.2));
    EXPECT_EQ(live(20006), nullptr);
    onLine(line(20007, "DLH7", 1642.0, 52.0, 8.3));
    EXPECT_NE(live(20007), nullptr);
}

TEST_F(IntakeTest, AnAltitudeNoAircraftCouldHaveReachedIsDroppedInEveryPhaseBothWays) {
    // Each a single line 2,000 ft above or below its neighbours: on short final about 1,100 ft
    // above the field (below the field it is a line on the ground), and in cruise at 6,000 ft.
    for (const auto& [key, altitudes] : std::vector<std::pair<uint32_t, std::vector<double>>>{
             {20001, {2100.0, 2077.0, 4053.0, 2030.0, 2007.0}},
             {20002, {2100.0, 2077.0, 0.0, 2030.0, 2007.0}},
             {20003, {6000.0, 6000.0, 8000.0, 6000.0, 6000.0}},
             {20004, {6000.0, 6000.0, 4000.0, 6000.0, 6000.0}}}) {
        const auto flown = flownAltitudes(key, altitudes);
        EXPECT_TRUE(std::isnan(flown[2])) << key << " flew the spike to " << flown[2];
        EXPECT_EQ(flown[3], altitudes[3]) << key;
    }
    EXPECT_TRUE(loggedPart("dropped: an altitude no aircraft could have reached in time"));
    // Its bound at its edges: 500 ft within 2 s, in the air and down to a line on the ground (at the
    // field's 1,000 ft); 12,000 ft/min over 10 s, or 1.5 times the higher reported rate of the two.
    struct Step {
        double from, to, seconds, fromRate, toRate;
        bool kept;
    };
    uint32_t key = 20004;
    for (const Step& s : {Step{6000, 6499, 2, 0, 0, true}, Step{6000, 5499, 2, 0, 0, false},
                          Step{1499, 0, 2, 0, 0, true}, Step{1501, 0, 2, 0, 0, false},
                          Step{6000, 7999, 10, 0, 0, true}, Step{6000, 3999, 10, 0, 0, false},
                          Step{6000, 8499, 10, 10000, 0, true}, Step{6000, 8499, 10, 0, -10000, true},
                          Step{6000, 8501, 10, 0, 10000, false}}) {
        const auto flown = flownAltitudes(++key, {s.from, s.to}, s.seconds, {s.fromRate, s.toRate});
        EXPECT_EQ(!std::isnan(flown[1]), s.kept) << s.from << " to " << s.to << " ft, " << s.seconds << " s";
    }
}

TEST_F(IntakeTest, ARealDescentAGoAroundATouchdownAndALiftOffAreFollowed) {
    // 3,000 ft/min down from 6,000 ft; 700 ft/min down on final, then climbing away at 2,500
    // ft/min; the flare onto the runway (a line on the ground); a lift-off.
    std::vector<double> descent;
    for (double a = 6000.0; a >= 3000.0; a -= 100.0)
        descent.push_back(a);
    std::vector<double> goAround;
    for (double a = 2100.0; a >= 1700.0; a -= 23.0)
        goAround.push_back(a);
    for (double a = goAround.back() + 83.0; a <= 3400.0; a += 83.0)
        goAround.push_back(a);
    uint32_t key = 20010;
    for (const auto& altitudes :
         {descent, goAround, std::vector<double>{1300.0, 1220.0, 1160.0, 1125.0, 0.0, 0.0},
          std::vector<double>{0.0, 0.0, 1150.0, 1230.0, 1310.0}}) {
        const auto flown = flownAltitudes(++key, altitudes);
        for (std::size_t i = 0; i < flown.size(); ++i)
            EXPECT_EQ(flown[i], altitudes[i]) << key << " line " << i;
    }
}

TEST_F(IntakeTest, OnTheApproachAndInTheLandingRollAFasterSampleTakesTheNewestWaitingOnesSpeed) {
    // Northwards with the landing armed (flying) or rolling out (on the ground), reports 2 s and
    // 0.005 degrees apart, each {ground speed, altitude} (altitude 0: on the ground); the speed
    // the new report is appended with.
    using Report = std::pair<double, double>;
    uint32_t key = 20000;
    const auto kept = [&](bool rolling, const std::vector<Report>& waiting, Report report) {
        ++key;
        LiveAircraft& a = addLive(key, "DLH" + std::to_string(key), LiveState::Active, key - 19500,
                                  50.0 + 0.1 * (key - 20000), 8.1);
        a.phase = rolling ? MovePhase::Taxi : MovePhase::Flying;
        a.onGround = rolling ? 1 : 0;
        a.move.landingArmed = rolling ? 0 : 1;
        a.move.landingRoll = rolling ? 1 : 0;
        const auto at = [](PositionSample s, Report r) {
            s.latitude += 0.005;
            s.dueTick += 200;
            s.groundSpeed = r.first;
            s.altitude = r.second;
            s.airborne = r.second > 0.0 ? 1 : 0;
            return s;
        };
        a.samples.front() = at(a.samples.front(), waiting.front());
        for (std::size_t i = 1; i < waiting.size(); ++i)
            a.samples.push_back(at(a.samples.back(), waiting[i]));
        const std::size_t before = a.samples.size();
        decodeExisting(a, at(a.samples.back(), report));
        EXPECT_EQ(a.samples.size(), before + 1) << "dropped";
        return a.samples.back().groundSpeed;
    };
    // On final a faster report coming lower is held at the approach's speed; one that climbs more
    // than a height's noise (100 ft) over the approach's lowest waiting report, or is more than a
    // speed's noise (7 kt) faster without coming lower, is a go-around and keeps its own.
    EXPECT_EQ(kept(false, {{140.0, 900.0}}, {146.0, 800.0}), 140.0);
    EXPECT_EQ(kept(false, {{140.0, 900.0}}, {143.0, 925.0}), 140.0);
    EXPECT_EQ(kept(false, {{140.0, 900.0}}, {143.0, 1000.0}), 140.0);
    EXPECT_EQ(kept(false, {{140.0, 900.0}}, {143.0, 1001.0}), 143.0);
    EXPECT_EQ(kept(false, {{140.0, 900.0}, {140.0, 950.0}}, {143.0, 1040.0}), 143.0);
    EXPECT_EQ(kept(false, {{140.0, 900.0}}, {147.0, 900.0}), 140.0);
    EXPECT_EQ(kept(false, {{140.0, 900.0}}, {147.5, 900.0}), 147.5);
    EXPECT_EQ(kept(false, {{140.0, 900.0}}, {147.5, 899.0}), 140.0);
    // The first report on the ground is a touchdown, held however fast; a report in the air with
    // one on the ground still waiting climbs away from it, however low.
    EXPECT_EQ(kept(false, {{140.0, 300.0}}, {146.0, 0.0}), 140.0);
    EXPECT_EQ(kept(false, {{120.0, 0.0}, {140.0, 150.0}}, {146.0, 140.0}), 146.0);
    // Rolling out, a report 5 kt faster than the one before it on the ground accelerates to take
    // off again; less is the roll's noise. A report in the air climbs away.
    EXPECT_EQ(kept(true, {{100.0, 0.0}}, {103.0, 0.0}), 100.0);
    EXPECT_EQ(kept(true, {{100.0, 0.0}}, {104.9, 0.0}), 100.0);
    EXPECT_EQ(kept(true, {{100.0, 0.0}}, {105.0, 0.0}), 105.0);
    EXPECT_EQ(kept(true, {{140.0, 130.0}}, {146.0, 120.0}), 146.0);
}

TEST_F(IntakeTest, ANewbornLeftWithOneSampleOrHeldForTheUserIsCreatedAlongItsTrack) {
    // First seen standing on the ground away from any stand: the standstill copy is dropped and
    // the aircraft is created in taxi with its one sample, heading along the reported track.
    TrafficLine first = line(20001, "DLH1", 1000.0, 50.1, 8.1, 0.0, 0.0);
    first.sample.track = 45.0;
    TrafficLine second = first;
    second.timeStamp = 1020.0;
    feed(first);
    feed(second);
    tick(2 + static_cast<int>(kSampleDelayTicks));
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Adding2Sim);
    EXPECT_EQ(live(20001)->phase, MovePhase::Taxi);
    EXPECT_EQ(samplesOf(20001), 1u);
    ASSERT_EQ(gLiveAddingStack.size(), 1u);
    EXPECT_NEAR(gLiveAddingStack.front().initPosition.Heading, 45.0, 1e-9);
    // Announced and settled on the ground with that one sample.
    gf_postSimEvent(SimEvent{500, 20001, 0, kSimEventCreatedLive, 0.0, 0.0});
    tick(static_cast<int>(kSettleTicks) + 1);
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Active);
    EXPECT_EQ(live(20001)->onGround, 1);

    // The user flies north at 3000 ft. A newborn 3 NM ahead flying the user's way waits for the
    // user; one crossing the user's track is created.
    COLLISION_USER_AIR.current = true;
    setUser(kUserLat, kUserLon, false, 0.0, 3000.0);
    const double ahead = kUserLat + 3.0 / 60.0;
    auto newborn = [&](uint32_t key, const std::string& callsign, double track) {
        LiveAircraft& b = addLive(key, callsign, LiveState::Buffer, 0, ahead, kUserLon);
        b.samples.front().altitude = 3000.0;
        b.samples.front().track = track;
        b.samples.front().dueTick = 0;
        for (int i = 1; i <= 4; ++i) {
            PositionSample s = b.samples.front();
            s.latitude += 0.01 * i * std::cos(track * 0.017453292519943295);
            s.longitude += 0.01 * i * std::sin(track * 0.017453292519943295);
            b.samples.push_back(s);
        }
    };
    newborn(20002, "DLH2", 0.0);
    newborn(20003, "DLH3", 90.0);
    tick();
    ASSERT_NE(live(20002), nullptr);
    EXPECT_EQ(live(20002)->state, LiveState::Buffer);
    EXPECT_EQ(live(20002)->move.waitingForUser, 1);
    EXPECT_EQ(samplesOf(20002), 4u);
    ASSERT_NE(live(20003), nullptr);
    EXPECT_EQ(live(20003)->state, LiveState::Adding2Sim);
    // The user has landed and stands still: the waiting aircraft is created.
    setUser(kUserLat, kUserLon, true);
    tick();
    ASSERT_NE(live(20002), nullptr);
    EXPECT_EQ(live(20002)->state, LiveState::Adding2Sim);
    EXPECT_EQ(live(20002)->move.waitingForUser, 0);
}

TEST_F(IntakeTest, SpeedJumpsOfTenTimesOrAcrossEightyKnotsAreDroppedAtTheirEdges) {
    // Two lines 2 s and 100 m apart, the track turning 5 degrees (no thinning): the speeds of the
    // first and the second line, and whether the second is kept.
    const std::vector<std::tuple<double, double, bool>> pairs{
        {10.0, 99.0, true}, {10.0, 100.0, false}, {99.0, 10.0, true}, {100.0, 10.0, false},
        {4.0, 79.0, true},  {4.0, 80.0, false},   {79.0, 4.0, true},  {80.0, 4.0, false}};
    uint32_t key = 20001;
    for (const auto& [first, second, kept] : pairs) {
        const std::string callsign = "DLH" + std::to_string(key);
        onLine(line(key, callsign, 1000.0, 50.1, 8.1, 12000.0, first));
        TrafficLine l = line(key, callsign, 1002.0, 50.1, 8.1014, 12000.0, second);
        l.sample.track = 95.0;
        onLine(l);
        EXPECT_EQ(samplesOf(key), kept ? 2u : 1u) << first << " kt, then " << second << " kt";
        ++key;
    }
}

TEST_F(IntakeTest, StraightLinesAreThinnedTo450MetresInTheAirAndToFifteenSecondsWhenCreeping) {
    // At 300 kt straight ahead a line every 1.5 s: one every 3 s is kept (450 m is 2.9 s); a
    // line that turns 2 degrees is kept at once.
    GeoPosition p{50.1, 8.1};
    for (int i = 0; i <= 8; ++i) {
        onLine(line(20001, "DLH1", 1000.0 + 1.5 * i, p.latitude, p.longitude, 12000.0, 300.0));
        p = off(p, 90.0, 300.0 * 1.5 * 1852.0 / 3600.0);
    }
    EXPECT_EQ(samplesOf(20001), 5u);
    TrafficLine turning = line(20001, "DLH1", 1013.5, p.latitude, p.longitude, 12000.0, 300.0);
    turning.sample.track = 92.0;
    onLine(turning);
    EXPECT_EQ(samplesOf(20001), 6u);
    // Creeping on the ground at 2 kt, a line every 2 s: 20 m would take 19 s, but a line is kept
    // every 15 s at least.
    p = GeoPosition{50.2, 8.1};
    for (int i = 0; i <= 20; ++i) {
        TrafficLine l = line(20002, "DLH2", 1000.0 + 2.0 * i, p.latitude, p.longitude, 0.0, 2.0);
        l.sample.dueTick += 200 * i;
        onLine(l);
        p = off(p, 90.0, 2.0 * 2.0 * 1852.0 / 3600.0);
    }
    EXPECT_EQ(samplesOf(20002), 3u); // at 0, 16 and 32 s
}

TEST_F(IntakeTest, LinesNearTheParkAirportsElevationBearNoNewbornAndFeedNoAircraftInBuffer) {
    ParkAirport park;
    park.code = FixedCode<4>("EDXX");
    park.position = {50.0, 8.0};
    park.elevationFeet = 100.0F;
    gf_setParkAirport(park);
    // 100 ft above the field (within 108 ft): no aircraft is born; 120 ft above, one is.
    onLine(line(20001, "DLH1", 1000.0, 50.1, 8.1, 200.0, 110.0));
    EXPECT_EQ(live(20001), nullptr);
    onLine(line(20002, "DLH2", 1000.0, 50.1, 8.1, 220.0, 110.0));
    ASSERT_NE(live(20002), nullptr);
    // A line of it 50 ft above the field is dropped while it is in buffer, taken once it is active.
    onLine(line(20002, "DLH2", 1002.0, 50.1, 8.102, 150.0, 110.0));
    EXPECT_EQ(samplesOf(20002), 1u);
    live(20002)->state = LiveState::Active;
    live(20002)->phase = MovePhase::Flying;
    onLine(line(20002, "DLH2", 1004.0, 50.1, 8.104, 150.0, 110.0));
    EXPECT_EQ(samplesOf(20002), 2u);
}

TEST_F(IntakeTest, TheSpawnDecisionErasesBlockedGhostTwinFailedAndOverTheLimitNewcomers) {
    const double nm = 1.0 / 60.0;
    newborn(20001, "DLH1"); // spawned
    newborn(20002, "DLH2"); // blocked
    BLOCK_CALLSIGN.current.set("DLH2");
    newborn(20003, "DLH3_"); // removed as a ghost before
    gGhostList.push_back("DLH3_");
    addLive(20004, "DLH4", LiveState::Active, 504);
    newborn(20005, "DLH4_"); // its flight is live
    LiveAircraft& failed = newborn(20006, "DLH6");
    failed.head.registration = "D-AIZC";
    gFailedKeyTexts.insert(gf_keyRegText(failed)); // its livery failed
    addLive(20009, "DLH1_", LiveState::Active, 509); // the ghost of DLH1, flying
    tick();
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Adding2Sim);
    for (const uint32_t key : {20002u, 20003u, 20005u, 20006u})
        EXPECT_EQ(live(key), nullptr) << key;
    // Spawning DLH1 removes its ghost for good.
    EXPECT_EQ(live(20009)->state, LiveState::RemovingFromSim);
    EXPECT_EQ(gGhostList, std::vector<std::string>({"DLH3_", "DLH1_"}));
    // With Max live 0 no newcomer is created, however far away the live aircraft are.
    MAX_LIVE_SEL.current = 0;
    addLive(20007, "DLH7", LiveState::Active, 507, kUserLat + 30.0 * nm, kUserLon);
    newborn(20008, "DLH8", kUserLat + 5.0 * nm, kUserLon);
    tick();
    EXPECT_EQ(live(20008), nullptr);
    ASSERT_NE(live(20007), nullptr);
    EXPECT_EQ(live(20007)->state, LiveState::Active);
}

TEST_F(IntakeTest,
       ASpawnTakesTheRegistrationsFlightOrTheCallsignsAirlineAndNamesAnUnnamedFlightByItsRegistration) {
    // Reported as an A320 of no known airline: the registration is a British Airways A20N's.
    LiveAircraft& a = newborn(20001, "XYZ1");
    a.head.liveryKey.operatorIndex = gf_airlineIndex("XYZ");
    a.head.registration = "G-TTNA";
    // No operator reported: the callsign's airline.
    newborn(20002, "DLH2").head.liveryKey.operatorIndex = 0;
    // No callsign: the registration names it.
    newborn(20003, "@@@@@@@@").head.registration = "D-AIZB";
    tick();
    for (const uint32_t key : {20001u, 20002u, 20003u}) {
        ASSERT_NE(live(key), nullptr) << key;
        EXPECT_EQ(live(key)->state, LiveState::Adding2Sim) << key;
    }
    EXPECT_EQ(gModelCodes.text(live(20001)->head.liveryKey.modelIndex), "A20N");
    EXPECT_EQ(live(20001)->liveryTitle, "Fx A20N British Airways G-TTNA");
    EXPECT_EQ(live(20002)->liveryTitle, "Fx A320 Lufthansa");
    EXPECT_EQ(live(20003)->head.callsign, "D-AIZB");
}

TEST_F(IntakeTest, ANewbornWhoseSamplesMixGroundAndAirDropsTheOldestUntilTheyAgree) {
    LiveAircraft& a = newborn(20001, "DLH1");
    PositionSample ground = a.samples.front();
    ground.altitude = 0.0;
    ground.airborne = 0;
    a.samples.push_front(ground);
    tick();
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Buffer);
    EXPECT_EQ(samplesOf(20001), 2u);
    tick();
    EXPECT_EQ(live(20001)->state, LiveState::Adding2Sim);
}

TEST_F(IntakeTest, TheUserOnTheGroundHoldsBackNewbornsNearIt) {
    const GeoPosition user{kUserLat, kUserLon};
    const auto onGroundAt = [&](uint32_t key, double metres, double speed) -> LiveAircraft& {
        const GeoPosition p = off(user, 0.0, metres);
        LiveAircraft& a = newborn(key, "DLH" + std::to_string(key), p.latitude, p.longitude);
        for (std::size_t i = 0; i < a.samples.size(); ++i) {
            a.samples[i].altitude = 0.0;
            a.samples[i].airborne = 0;
            a.samples[i].groundSpeed = speed;
        }
        return a;
    };
    // With COLLISION_USER_GND, a newborn within 150 m of the user waits, losing its oldest sample.
    COLLISION_USER_GND.current = true;
    onGroundAt(20001, 140.0, 0.0);
    onGroundAt(20002, 160.0, 0.0);
    tick();
    EXPECT_EQ(samplesOf(20001), 1u);
    ASSERT_NE(live(20002), nullptr);
    EXPECT_EQ(live(20002)->state, LiveState::Adding2Sim);
    COLLISION_USER_GND.current = false;
    // One marked as waiting for the user waits while it is within 500 m or faster than 8 kt, or
    // while the user taxies faster than 8 kt.
    onGroundAt(20003, 490.0, 0.0).move.waitingForUser = 1;
    onGroundAt(20004, 510.0, 9.0).move.waitingForUser = 1;
    onGroundAt(20005, 510.0, 8.0).move.waitingForUser = 1;
    tick();
    EXPECT_EQ(samplesOf(20003), 1u);
    EXPECT_EQ(samplesOf(20004), 1u);
    ASSERT_NE(live(20005), nullptr);
    EXPECT_EQ(live(20005)->state, LiveState::Adding2Sim);
    EXPECT_EQ(live(20005)->move.waitingForUser, 0);
    UserAcState taxiing = gf_userCopy().state;
    taxiing.groundSpeed = 9.0;
    gf_setUserPositionState(taxiing);
    gf_refreshUserCopy();
    onGroundAt(20006, 2000.0, 0.0).move.waitingForUser = 1;
    tick();
    EXPECT_EQ(samplesOf(20006), 1u);
}

TEST_F(IntakeTest, AHoldingAircraftReportedBeyondTheThresholdOrWithTooManySamplesIsRemoved) {
    const double threshold = HOLDING_THRESHOLD_METERS.current.load();
    for (const auto& [key, metres, removed] :
         {std::tuple{20001u, threshold - 20.0, false}, std::tuple{20002u, threshold + 20.0, true}}) {
        LiveAircraft& a = addLive(key, "DLH" + std::to_string(key), LiveState::Active, key - 19000);
        a.phase = MovePhase::Taxi;
        a.onGround = 1;
        a.samples.front().altitude = 0.0;
        a.samples.front().airborne = 0;
        a.move.holding = 1;
        decodeExisting(a, reportAt(a, off({50.1, 8.1}, 90.0, metres), 10.0));
        ASSERT_NE(live(key), nullptr);
        EXPECT_EQ(live(key)->state == LiveState::RemovingFromSim, removed) << metres << " m";
    }
}

TEST_F(IntakeTest, MovingOffAfterAStandTheCopiesBeforeTheLastReportGoAndTheReportsStay) {
    // Waiting: the stop it rolls to, two standstill copies, a standing report, a copy of it.
    LiveAircraft& a = onStand(20001, MovePhase::Taxi, MovePhase::Taxi);
    const GeoPosition stop{50.1, 8.1};
    for (const bool copy : {true, true, false, true}) {
        PositionSample s = reportAt(a, stop, 0.0);
        s.generated = copy ? 1 : 0;
        a.samples.push_back(s);
    }
    decodeExisting(a, reportAt(a, off(stop, 0.0, 30.0), 5.0));
    ASSERT_EQ(a.samples.size(), 4u);
    EXPECT_EQ(a.samples[1].generated, 0);
    EXPECT_EQ(a.samples[2].generated, 1);
    EXPECT_EQ(a.samples[3].groundSpeed, 5.0);
}

TEST_F(IntakeTest, TheStandstillRuleStopsACopyAndRefusesAStopAfterFiftyKnotsWhileTakingOff) {
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Active, 501);
    a.phase = MovePhase::Taxi;
    a.onGround = 1;
    a.samples.front().altitude = 0.0;
    a.samples.front().airborne = 0;
    a.samples.front().groundSpeed = 3.0;
    // At the same position: a standstill, whatever speed it reports.
    PositionSample same = reportAt(a, {50.1, 8.1}, 3.0);
    EXPECT_TRUE(lf_isStandstillSample(a, same));
    EXPECT_EQ(same.groundSpeed, 0.0);
    EXPECT_EQ(same.generated, 1);
    // Taking off: a report of 0 kt far along is no stop after 50 kt, but is after 40.
    a.move.takeOff.begin();
    for (const auto& [before, taken] : {std::pair{50.0, false}, std::pair{40.0, true}}) {
        a.samples.back().groundSpeed = before;
        PositionSample stop = reportAt(a, off({50.1, 8.1}, 90.0, 100.0), 0.0);
        EXPECT_EQ(lf_isStandstillSample(a, stop), taken) << before << " kt before";
    }
}

TEST_F(IntakeTest, AroundItsStandAnAircraftHoldsParksOrLeavesByHowFarItsReportsAre) {
    const GeoPosition stand{50.1, 8.1};
    // Pushed back: near where the pushback ended it holds; a report 150 m on is its taxi, and
    // the stand is given up.
    LiveAircraft& pushed = onStand(20001, MovePhase::PushedBack, MovePhase::PushingBack);
    PositionSample near = reportAt(pushed, off(stand, 0.0, 10.0), 2.0);
    EXPECT_FALSE(checkExtendingSituations(pushed, near));
    EXPECT_EQ(pushed.move.holding, 1);
    PositionSample away = reportAt(pushed, off(stand, 0.0, 150.0), 10.0);
    EXPECT_TRUE(checkExtendingSituations(pushed, away));
    EXPECT_EQ(pushed.phase, MovePhase::Taxi);
    EXPECT_EQ(pushed.standId, 0u);
    EXPECT_EQ(pushed.move.standClaimed, 0);
    // Parked (after a parking): the first report within 85 m only marks the stand as seen; one
    // 150 m away is its departure, which gives the stand up; one 250 m away removes it.
    LiveAircraft& parked = onStand(20002, MovePhase::Parked, MovePhase::Parking);
    PositionSample within = reportAt(parked, off(stand, 0.0, 80.0), 0.0);
    EXPECT_FALSE(checkExtendingSituations(parked, within));
    PositionSample leaving = reportAt(parked, off(stand, 0.0, 150.0), 5.0);
    EXPECT_TRUE(checkExtendingSituations(parked, leaving));
    EXPECT_EQ(parked.move.departureNoticed, 1);
    EXPECT_EQ(parked.move.standClaimed, 0);
    LiveAircraft& gone = onStand(20003, MovePhase::Parked, MovePhase::Parked);
    PositionSample far = reportAt(gone, off(stand, 0.0, 250.0), 5.0);
    EXPECT_FALSE(checkExtendingSituations(gone, far));
    EXPECT_EQ(gone.state, LiveState::RemovingFromSim);
    // Parking: moving off 3 m a report, it is parked (to leave from there) once it is half its
    // size from where it was first seen; beyond 85 m it taxies again.
    LiveAircraft& parking = onStand(20004, MovePhase::Parking, MovePhase::Taxi);
    double metres = 1.0;
    while (parking.phase == MovePhase::Parking && metres < 40.0) {
        PositionSample s = reportAt(parking, off(stand, 0.0, metres), 2.0);
        checkExtendingSituations(parking, s);
        metres += 3.5;
    }
    EXPECT_EQ(parking.phase, MovePhase::Parked);
    EXPECT_LT(metres, parking.size * kMetresPerNm + 12.0);
    LiveAircraft& rolling = onStand(20005, MovePhase::Parking, MovePhase::Taxi);
    PositionSample beyond = reportAt(rolling, off(stand, 0.0, 90.0), 8.0);
    EXPECT_TRUE(checkExtendingSituations(rolling, beyond));
    EXPECT_EQ(rolling.phase, MovePhase::Taxi);
}

TEST_F(IntakeTest, ReportsBehindALandingAircraftAreDroppedOrBringItsSampleToWhereItIs) {
    // Heading north, the newest waiting report at (50.1, 8.1).
    const auto landing = [&](uint32_t key, bool armed) -> LiveAircraft& {
        LiveAircraft& a = addLive(key, "DLH" + std::to_string(key), LiveState::Active, key - 19000);
        a.phase = armed ? MovePhase::Flying : MovePhase::Taxi;
        a.onGround = armed ? 0 : 1;
        a.move.landingArmed = armed ? 1 : 0;
        a.move.landingRoll = armed ? 0 : 1;
        a.position.heading = 0.0;
        a.samples.front().groundSpeed = 120.0;
        return a;
    };
    const GeoPosition last{50.1, 8.1};
    // Armed, one report waiting: a report 120 degrees off the heading is dropped.
    LiveAircraft& armed = landing(20001, true);
    PositionSample aside = reportAt(armed, off(last, 120.0, 300.0), 120.0);
    EXPECT_FALSE(checkNewPosDuringLanding(armed, aside));
    // Rolling out: a report 160 degrees off brings the waiting one to where the aircraft is.
    LiveAircraft& rolling = landing(20002, false);
    rolling.position.latitude = 50.099;
    PositionSample behind = reportAt(rolling, off(last, 160.0, 300.0), 60.0);
    EXPECT_TRUE(checkNewPosDuringLanding(rolling, behind));
    EXPECT_DOUBLE_EQ(rolling.samples.back().latitude, 50.099);
    EXPECT_EQ(rolling.samples.back().dueTick, gf_tickCount() + 1);
    // More reports waiting: the newest, from which the new one lies behind, is dropped.
    LiveAircraft& more = landing(20003, true);
    more.samples.push_back(reportAt(more, off(last, 0.0, 600.0), 120.0));
    PositionSample between = reportAt(more, off(last, 0.0, 300.0), 120.0);
    EXPECT_TRUE(checkNewPosDuringLanding(more, between));
    EXPECT_EQ(more.samples.size(), 1u);
    // Flying on its own (synthetic samples), a report 120 degrees off its heading is dropped.
    LiveAircraft& alone = landing(20004, true);
    alone.move.landingArmed = 0;
    alone.manoeuvreMark = 3;
    PositionSample astern = reportAt(alone, off(last, 120.0, 1000.0), 120.0);
    EXPECT_FALSE(checkExtendingSituations(alone, astern));
}

TEST_F(IntakeTest, OfTheReportsKeptDuringAPushbackOnlyThoseStillAheadAreTaken) {
    LiveAircraft& a = onStand(20001, MovePhase::Taxi, MovePhase::PushedBack);
    a.samples.front().dueTick = gf_tickCount();
    const GeoPosition at{50.1, 8.1};
    PositionSample past = reportAt(a, off(at, 90.0, 30.0), 5.0);
    past.dueTick = gf_tickCount();
    PositionSample ahead = reportAt(a, off(at, 90.0, 60.0), 5.0);
    ahead.dueTick = gf_tickCount() + 500;
    a.move.reportsWhilePushing = {past, ahead};
    lf_takeReportsKeptWhilePushing(a);
    ASSERT_EQ(a.samples.size(), 2u);
    EXPECT_EQ(a.samples.back().dueTick, ahead.dueTick);
}

TEST_F(IntakeTest, NoAircraftIsBornBeyondTwoThousandRecords) {
    for (uint32_t k = 0; k < 2000; ++k)
        addLive(30000 + k, "A" + std::to_string(k), LiveState::Buffer);
    onLine(line(20001, "DLH1", 1000.0));
    EXPECT_EQ(live(20001), nullptr);
    EXPECT_TRUE(loggedPart("dropped: too many aircraft records"));
}
TEST_F(IntakeTest, AStandFirstSeenTakenIsHeldForItAndFreedWhenItsCreationGoes) {
    gf_installSubsystems();
    ParkAirport park;
    park.code = FixedCode<4>("EDXX");
    park.position = {50.05, 8.05};
    park.elevationFeet = 100.0F;
    gf_setParkAirport(park);
    StandRecord stand;
    stand.id = "A12";
    stand.latitude = 50.05;
    stand.longitude = 8.05;
    stand.heading = 1.0;
    stand.radius = 40.0 / 1852.0;
    stand.standId = 1;
    gStandTable.push_back(stand);
    // Two flights reported standing on the stand: both are held back the same tick.
    for (const auto& [key, callsign] : {std::pair{20001u, "DLH1"}, std::pair{20002u, "DLH2"}}) {
        feed(line(key, callsign, 1000.0, 50.05, 8.0501, 0.0, 0.0));
        feed(line(key, callsign, 1020.0, 50.05, 8.0501, 0.0, 0.0));
    }
    tick(4 + static_cast<int>(kSampleDelayTicks));
    const LiveAircraft* first = live(20001);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->state, LiveState::Adding2Sim);
    EXPECT_EQ(first->phase, MovePhase::Parked);
    // One sample is left, on the stand exactly and along its heading.
    ASSERT_EQ(first->samples.size(), 1u);
    EXPECT_EQ(first->samples.front().longitude, 8.05);
    EXPECT_NEAR(first->samples.front().track, 57.2958, 1e-4);
    EXPECT_EQ(live(20002), nullptr); // the stand is taken: DLH2 is not created on top of DLH1
    // Taken for static parking as well, until the aircraft's creation is withdrawn.
    EXPECT_EQ(gf_findStand(1)->liveOccupied, 1);
    removeAircraftFromSim(*live(20001));
    tick();
    EXPECT_EQ(live(20001), nullptr);
    EXPECT_EQ(gf_findStand(1)->liveOccupied, 0);
}

} // namespace
} // namespace traffictest
