// Static and live aircraft sharing the park airport's stands: static copies of live flights make
// way, the parked aircraft stay within the stands to fill (counted on the week ring and in steady
// clock time), a stand is cleared for the user, and the parking adjustments re-plan a running
// airport.

#include <chrono>

#include "airports/static_consistency.hpp"
#include "airports/static_parking.hpp"
#include "config/settings.hpp"
#include "core/status_line.hpp"
#include "links/traffic_reader.hpp"
#include "stands_test_support.hpp"

using namespace tamrix;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kNow = Clock::time_point{} + 1000h;
WeekSlot gNowSlot{3, 22};

class StaticConsistency : public standstest::StandsTest {
protected:
    void SetUp() override {
        StandsTest::SetUp();
        reset();
        gf_setParkedClock([] { return kNow; });
        gf_setWeekClock([] { return gNowSlot; });
        gNowSlot = WeekSlot{3, 22};
    }
    void TearDown() override {
        reset();
        StandsTest::TearDown();
    }
    static void reset() {
        gf_resetStaticParking();
        gf_resetStaticConsistency();
        gStaticAircraft.clear();
        gStaticAddingStack.clear();
        gRemovalQueue.clear();
        gf_setParkedClock(nullptr);
        gf_setWeekClock(nullptr);
        gf_resetSettings();
        gf_resetStatusLine();
    }

    // Stands 20 m apart in a row, ids 1 .. n.
    static void stands(int n) {
        for (int i = 0; i < n; ++i) addStand(fmt::format("S{}", i + 1), standstest::at(i * 60.0), 20.0, 9);
    }
    static StaticAircraft& addStatic(uint32_t key, uint32_t sid, std::string callsign, std::string reg,
                                     WeekSlot placed = {3, 20}) {
        StaticAircraft a;
        a.key = key;
        a.objectId = 100 + key;
        a.state = LiveState::Active;
        a.standId = sid;
        a.timeSlot = placed;
        a.head.callsign = callsign + "*";
        a.head.secondText = callsign;
        a.head.registration = std::move(reg);
        if (const StandRecord* s = gf_findStand(static_cast<int32_t>(sid))) {
            a.standLatitude = s->latitude;
            a.standLongitude = s->longitude;
        }
        gStaticAircraft.push_back(a);
        return gStaticAircraft.back();
    }
    static LiveAircraft& addParkedLive(uint32_t key, uint32_t sid, std::string callsign, Clock::duration parkedFor,
                                       AircraftCategory category = AircraftCategory::Large) {
        LiveAircraft a = aircraft(category, 17.0, std::move(callsign), "D-L" + std::to_string(key));
        a.key = key;
        a.objectId = 100 + key;
        a.state = LiveState::Active;
        a.phase = MovePhase::Parked;
        a.onGround = 1;
        a.standId = sid;
        a.timeSlot = WeekSlot{3, 20};
        a.move.parkedSince = kNow - parkedFor;
        gLiveAircraft.push_back(std::move(a));
        return gLiveAircraft.back();
    }
    static bool removed(uint32_t key) {
        for (const StaticAircraft& a : gStaticAircraft)
            if (a.key == key) return a.state == LiveState::RemovingFromSim;
        for (const LiveAircraft& a : gLiveAircraft)
            if (a.key == key) return a.state == LiveState::RemovingFromSim;
        return true; // gone altogether
    }
};

TEST_F(StaticConsistency, StaticCopiesOfLiveFlightsMakeWayOneAtATime) {
    stands(4);
    addStatic(1, 1, "DLH100", "D-ABCD");
    addStatic(2, 2, "DLH200", "D-ABCD"); // the same registration twice: one per call
    addStatic(3, 3, "KLM123", "PH-AAA");
    StaticAircraft& withSecond = addStatic(4, 4, "EZY77", "G-EZZZ");
    withSecond.head.thirdText = "EZY78";

    LiveAircraft landed = aircraft(AircraftCategory::Large, 17.0, "DLH9X", "D-ABCD");
    gf_removeStaticDuplicatesOf(landed);
    EXPECT_TRUE(removed(1));
    EXPECT_FALSE(removed(2));
    // A ghost's callsign ends in '_': its static copy is found without it.
    LiveAircraft ghost = aircraft(AircraftCategory::Large, 17.0, "EZY78_", "");
    gf_removeStaticDuplicatesOf(ghost);
    EXPECT_TRUE(removed(4));
    // Empty texts name no flight: a live aircraft without registration or third text spares the rest.
    LiveAircraft anonymous = aircraft(AircraftCategory::Large, 17.0, "XYZ1", "");
    gf_removeStaticDuplicatesOf(anonymous);
    EXPECT_FALSE(removed(2));
    EXPECT_FALSE(removed(3));

    // The periodic pass: an active live aircraft on the ground whose callsign the static one shows.
    LiveAircraft& live = addParkedLive(20001, 0, "KLM123", 5min);
    live.phase = MovePhase::Taxi;
    live.head.registration.clear();
    gf_removeStaticDuplicates();
    EXPECT_TRUE(removed(3));
    EXPECT_FALSE(removed(2));
    EXPECT_EQ(gRemovalQueue, (std::deque<uint32_t>{101, 104, 103}));
}

TEST_F(StaticConsistency, ATaxiingAircraftRemovesTheStaticItRunsIntoAndOnlyThatOne) {
    stands(3);
    addStatic(1, 1, "DLH1", "").size = 17.0 * kNmPerMetre;
    addStatic(2, 3, "DLH3", "").size = 17.0 * kNmPerMetre;
    LiveAircraft& near = addParkedLive(20001, 0, "NEAR", 0min);
    near.phase = MovePhase::Taxi;
    const GeoPosition closeBy = standstest::at(25.0, 10.0); // 27 m from S1, within 1.1 x 34 m
    near.position.latitude = closeBy.latitude;
    near.position.longitude = closeBy.longitude;
    LiveAircraft& far = addParkedLive(20002, 0, "FAR", 0min);
    far.phase = MovePhase::Parking;
    const GeoPosition away = standstest::at(60.0, -300.0);
    far.position.latitude = away.latitude;
    far.position.longitude = away.longitude;

    gf_clearStaticInTheWay();
    EXPECT_TRUE(removed(1));
    EXPECT_FALSE(removed(2));
    // Both positions count as checked: they are not looked at again until they move.
    EXPECT_EQ(gLiveAircraft[1].lastCheckLatitude, away.latitude);
    EXPECT_EQ(gLiveAircraft[0].lastCheckLongitude, closeBy.longitude);
}

TEST_F(StaticConsistency, TheParkLimitRemovesTheLongestParkedOnTheWeekRing) {
    stands(20);
    MAX_PARK_SEL.current.store(10);
    parking_percentage.current.store(50); // 10 of 20 stands
    for (uint32_t i = 0; i < 8; ++i) addParkedLive(20001 + i, i + 1, fmt::format("LIV{}", i), (30 + i) * 1min);
    // Monday 00:30 and Sunday 23:30 seen from Monday 01:00: Sunday's has stood longer.
    gNowSlot = WeekSlot{1, 2};
    addStatic(1, 11, "MON1", "", WeekSlot{1, 1});
    addStatic(2, 12, "SUN1", "", WeekSlot{7, 47});
    addStatic(3, 13, "MON0", "", WeekSlot{1, 0});

    // 8 live + 1 about to park is within 10; 3 static + 8 + 1 = 12 is not: the Sunday one goes.
    lf_limitParkedAircraft(1);
    EXPECT_FALSE(removed(20001));
    EXPECT_TRUE(removed(2));
    EXPECT_FALSE(removed(1));
    EXPECT_TRUE(logged(fmt::format("{:8}: {} static max park exceeded, removed", "S12", "SUN1*")));

    // Three more live aircraft: the live one parked longest goes first.
    addParkedLive(20009, 14, "LIV8", 10min);
    addParkedLive(20010, 15, "LIV9", 10min);
    addParkedLive(20011, 16, "LIV10", 10min);
    lf_limitParkedAircraft(0);
    EXPECT_TRUE(removed(20008)); // 37 minutes, the longest
    EXPECT_TRUE(logged(fmt::format("{:8}: {} live max park exceeded, removed", "S8", "LIV7")));
}

TEST_F(StaticConsistency, ParkedLiveAircraftAreCountedInSteadyClockMinutes) {
    stands(6);
    addParkedLive(20001, 1, "LARGE91", 91min);
    addParkedLive(20002, 2, "LARGE89", 89min);
    addParkedLive(20003, 3, "HEAVY179", 179min, AircraftCategory::Heavy);
    addParkedLive(20004, 4, "HEAVY181", 181min, AircraftCategory::Heavy);
    LiveAircraft& leaving = addParkedLive(20005, 5, "LEAVING", 300min);
    leaving.move.standCount = 2; // its reports move off the stand: it leaves by itself
    lf_listParkedLive();
    EXPECT_TRUE(removed(20001));
    EXPECT_FALSE(removed(20002));
    EXPECT_FALSE(removed(20003));
    EXPECT_TRUE(removed(20004));
    EXPECT_FALSE(removed(20005));
    ASSERT_EQ(gParkedLive.size(), 3u);
    EXPECT_EQ(gParkedLive[0].callsign, "LEAVING");
    EXPECT_EQ(gParkedLive[1].parkedMinutes, 89);
    EXPECT_EQ(gParkedLive[2].parkedMinutes, 179);

    // With INITIAL_LOAD_ONLY no one is parked too long.
    gParkedLive.clear();
    addParkedLive(20006, 6, "LARGE500", 500min);
    INITIAL_LOAD_ONLY.current.store(true);
    lf_listParkedLive();
    EXPECT_FALSE(removed(20006));

    // Mean parked time on the week ring: placed at slots 20, now 22 -> one hour, plus a half.
    EXPECT_EQ(gf_countLiveParkedAc(1), 4);
    EXPECT_FLOAT_EQ(gf_staticParkingPanel().liveMeanParked.load(), 1.5f);
}

TEST_F(StaticConsistency, AdjustmentsRemoveLiveSurplusAndStaticsOfCollectedFlightsAndKeepTheRest) {
    stands(10);
    MAX_PARK_SEL.current.store(500);
    parking_percentage.current.store(30); // 3 of 10 stands
    for (uint32_t i = 0; i < 5; ++i) addParkedLive(20001 + i, i + 1, fmt::format("LIV{}", i), (10 + i) * 1min);
    addStatic(1, 8, "DLH500", "D-AAAE");
    gCollectedCallsigns.clear();
    gf_trafficReader().startCallsignCollection();

    gf_parkingAdjustments();
    // The two parked longest (14 and 13 minutes) went; the other three hold their stands.
    EXPECT_TRUE(removed(20005));
    EXPECT_TRUE(removed(20004));
    EXPECT_FALSE(removed(20001));
    EXPECT_EQ(gParkedLive.size(), 3u);
    EXPECT_EQ(gStandTable[0].taken, 1);
    // With every wanted stand held by live aircraft the static one is surplus and goes too.
    EXPECT_TRUE(removed(1));
    EXPECT_TRUE(gStaticCandidates.empty());
    EXPECT_EQ(gf_statusLineSnapshot().message, "Parking adjustments: 1 to be removed, 0 to be added");
}

TEST_F(StaticConsistency, AStaticWhoseFlightIsSeenLiveGoesAndOneStillDueStays) {
    stands(10);
    StandOption option;
    option.reg = "D-AAAE";
    option.cs = "DLH500";
    option.day = 3;
    option.real = 1;
    option.number = 1;
    for (std::size_t slot : {20u, 21u, 22u}) option.hh.set(slot);
    gStandTable[3].options.push_back(option);
    option.reg = "D-AAAF";
    option.cs = "DLH501";
    gStandTable[4].options.push_back(option);
    option.reg = "D-AAAG";
    option.cs = "DLH502";
    option.hh = HalfHourSet{};
    option.hh.set(10); // this morning only
    gStandTable[5].options.push_back(option);
    addStatic(1, 4, "DLH500", "D-AAAE");
    addStatic(2, 5, "DLH501", "D-AAAF");
    addStatic(3, 6, "DLH502", "D-AAAG");
    gCollectedCallsigns = {"DLH501"};

    lf_reconcileStatic(gNowSlot);
    ASSERT_EQ(gKeptStatic.size(), 1u);
    EXPECT_EQ(gKeptStatic[0].callsign, "DLH500*"); // its flight still stands there now
    ASSERT_EQ(gStaticRemovals.size(), 2u);
    EXPECT_EQ(gStaticRemovals[0].callsign, "DLH501*"); // flies live
    EXPECT_EQ(gStaticRemovals[1].callsign, "DLH502*"); // no longer due
}

} // namespace
