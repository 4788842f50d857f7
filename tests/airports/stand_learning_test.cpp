// Learning at the stands: the real stays of live aircraft become flights of a day and half hour,
// extended while the aircraft stays (also across midnight and the end of the week); learned
// callsigns given to landed aircraft; recent stays for static parking; and the stand services
// as live traffic and the SimClient side reach them through their seams.
#include <atomic>
#include <thread>

#include "airports/stand_services.hpp"
#include "airports/stands_test_support.hpp"

namespace {

using namespace standstest;

TEST_F(StandsTest, RealStaysAreLearnedAndExtendedWhileTheAircraftStays) {
    gDbaseRecords = {{"D-AIBA", LiveryKey{7, 0, 31, 0, 1}}};
    addStand("A1", at(0), 25, 9);
    StandRecord& s = gStandTable[0];
    LiveAircraft dlh = aircraft(AircraftCategory::Large, 17, "DLH4AB", "D-AIBA_", {7, 0, 30, 0, 0});

    lf_addRealStandOptionAt({3, 20}, 1, dlh, kStayArrival);
    ASSERT_EQ(s.options.size(), 1u);
    EXPECT_EQ(s.options[0].reg, "D-AIBA");
    EXPECT_EQ(dlh.head.liveryKey, (LiveryKey{7, 0, 31, 0, 1})); // the registration table knows it
    EXPECT_EQ(s.options[0].key, dlh.head.liveryKey);
    EXPECT_EQ(gLearnedUpdateCount, 1u);

    // Still there in the same half hour: nothing new; three half hours later: the stay grows.
    lf_addRealStandOptionAt({3, 20}, 1, dlh, kStayArrival);
    lf_addRealStandOptionAt({3, 23}, 1, dlh, kStayArrival);
    ASSERT_EQ(s.options.size(), 1u);
    EXPECT_EQ(slots(s.options[0].hh), (std::vector<int>{20, 21, 22, 23}));
    EXPECT_EQ(gLearnedUpdateCount, 2u);
    // The departure completes the stay; the next arrival is a new one.
    lf_addRealStandOptionAt({3, 23}, 1, dlh, kStayDeparture);
    EXPECT_EQ(s.options[0].cpl, 1);
    lf_addRealStandOptionAt({3, 25}, 1, dlh, kStayArrival);
    ASSERT_EQ(s.options.size(), 2u);
    EXPECT_EQ(slots(s.options[1].hh), (std::vector<int>{25}));
    // The latest stay is the one extended; a gap as long as a usual stay starts another.
    lf_addRealStandOptionAt({3, 27}, 1, dlh, kStayLeftStand);
    EXPECT_EQ(slots(s.options[1].hh), (std::vector<int>{25, 26, 27}));
    EXPECT_EQ(s.options[1].cpl, 1);
    EXPECT_EQ(slots(s.options[0].hh), (std::vector<int>{20, 21, 22, 23}));
    s.options[1].cpl = 0;
    lf_addRealStandOptionAt({3, 33}, 1, dlh, kStayArrival);
    ASSERT_EQ(s.options.size(), 3u);
    EXPECT_EQ(slots(s.options[2].hh), (std::vector<int>{33}));

    // A flight of the airport file for another half hour of today keeps the stay from being
    // learned; nothing is learned without a registration or a stand, or at a bad slot.
    StandOption fromFile;
    fromFile.reg = "D-AIBC";
    fromFile.number = 9;
    fromFile.day = 3;
    fromFile.real = 1;
    fromFile.source = 1;
    fromFile.hh.set(10);
    s.options.push_back(fromFile);
    LiveAircraft other = aircraft(AircraftCategory::Large, 17, "DLH7", "D-AIBC");
    lf_addRealStandOptionAt({3, 20}, 1, other, kStayArrival);
    LiveAircraft noReg = aircraft(AircraftCategory::Large, 17, "DLH8", "_");
    lf_addRealStandOptionAt({3, 20}, 1, noReg, kStayArrival);
    lf_addRealStandOptionAt({3, 20}, 0, dlh, kStayArrival);
    lf_addRealStandOptionAt({3, 20}, 2, dlh, kStayArrival);
    EXPECT_EQ(s.options.size(), 4u);
    lf_addRealStandOptionAt({3, 48}, 1, dlh, kStayArrival);
    EXPECT_EQ(s.options.size(), 4u);
    EXPECT_TRUE(logged("==> lf_addRealStandOption: hh_now: 48, invalid bitset position"));
}

TEST_F(StandsTest, StaysContinueAcrossMidnightAndTheEndOfTheWeek) {
    addStand("A1", at(0), 25, 9);
    StandRecord& s = gStandTable[0];
    LiveAircraft dlh = aircraft(AircraftCategory::Large, 17, "DLH4AB", "D-AIBA");

    // 23:00 on Wednesday, then 00:30 on Thursday: 47 for Wednesday, 0 and 1 for Thursday.
    lf_addRealStandOptionAt({3, 46}, 1, dlh, kStayArrival);
    dlh.head.callsign = "DLH5CD";
    lf_addRealStandOptionAt({4, 1}, 1, dlh, kStayArrival);
    ASSERT_EQ(s.options.size(), 2u);
    EXPECT_EQ(slots(s.options[0].hh), (std::vector<int>{46, 47}));
    EXPECT_EQ(s.options[1].day, 4u);
    EXPECT_EQ(slots(s.options[1].hh), (std::vector<int>{0, 1}));
    EXPECT_EQ(s.options[0].cs2, "DLH5CD");
    EXPECT_EQ(s.options[1].cs, "DLH5CD");
    // Thursday's option is today's from now on.
    lf_addRealStandOptionAt({4, 2}, 1, dlh, kStayArrival);
    EXPECT_EQ(slots(s.options[1].hh), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(s.options.size(), 2u);

    // Sunday night into Monday.
    LiveAircraft baw = aircraft(AircraftCategory::Large, 17, "BAW1", "G-EUPA");
    lf_addRealStandOptionAt({7, 47}, 1, baw, kStayArrival);
    lf_addRealStandOptionAt({1, 0}, 1, baw, kStayArrival);
    ASSERT_EQ(s.options.size(), 4u);
    EXPECT_EQ(slots(s.options[2].hh), (std::vector<int>{47}));
    EXPECT_EQ(slots(s.options[3].hh), (std::vector<int>{0}));

    // A stay that ended too long before midnight is not continued.
    LiveAircraft ezy = aircraft(AircraftCategory::Large, 17, "EZY1", "G-EZAA");
    lf_addRealStandOptionAt({5, 40}, 1, ezy, kStayArrival);
    lf_addRealStandOptionAt({6, 1}, 1, ezy, kStayArrival);
    ASSERT_EQ(s.options.size(), 6u);
    EXPECT_EQ(slots(s.options[4].hh), (std::vector<int>{40}));
    EXPECT_EQ(slots(s.options[5].hh), (std::vector<int>{1}));
}

TEST_F(StandsTest, GapsAreFilledUpToTheUsualStayOfTheAircraft) {
    struct Case {
        AircraftCategory category;
        uint8_t cargo;
        int32_t longestGap;
    };
    for (const Case c : {Case{AircraftCategory::Large, 1, 11}, Case{AircraftCategory::Heavy, 0, 7},
                         Case{AircraftCategory::Large, 0, 5}}) {
        gf_clearStandTable();
        StandRecord& s = addStand("A1", at(0), 25, 9);
        LiveAircraft a = aircraft(c.category, 20, "ABC1", "N123", {7, 0, 30, c.cargo, 0});
        ASSERT_EQ(gf_addStandOption(s, a.head.liveryKey, {2, 10}, "ABC1", "N123", false), 1u);
        const auto fillsGap = [&](int32_t gap) {
            return gf_standHoursFit({2, static_cast<uint32_t>(10 + gap)}, s, 1, {2, 10}, a, "N123", false);
        };
        EXPECT_FALSE(fillsGap(c.longestGap + 1)) << c.longestGap;
        EXPECT_EQ(slots(s.options[0].hh), (std::vector<int>{10}));
        EXPECT_TRUE(fillsGap(c.longestGap)) << c.longestGap;
        EXPECT_EQ(slots(s.options[0].hh).size(), static_cast<std::size_t>(c.longestGap + 1));
        EXPECT_TRUE(gf_standHoursFit({2, 10}, s, 1, {2, 10}, a, "N123", false));
        EXPECT_TRUE(gf_standHoursFit({2, 30}, s, 0, {2, 10}, a, "N123", false));
    }
}

TEST_F(StandsTest, LearnedCallsignsAndRecentStays) {
    StandRecord& s = addStand("A1", at(0), 25, 9);
    const auto option = [&](uint32_t day, uint16_t op, std::string cs, std::string cs2, int slot) {
        StandOption o;
        o.key = LiveryKey{op, 0, 30, 0, 0};
        o.reg = "D-AIBA";
        o.cs = std::move(cs);
        o.cs2 = std::move(cs2);
        o.hh.set(static_cast<std::size_t>(slot));
        o.day = day;
        o.real = 1;
        o.number = static_cast<uint32_t>(s.options.size() + 1);
        s.options.push_back(o);
    };
    option(3, 7, "DLH4AB", "DLH5CD", 0);
    option(3, 7, "DLH4AB", "", 20);   // no second callsign
    option(3, 8, "DLH4AB", "X1", 20); // another operator
    option(3, 7, "DLH3", "DLH4AB", 47);

    const auto match = [&](WeekSlot now, AircraftCategory category, std::string callsign) {
        LiveAircraft a = aircraft(category, 20, std::move(callsign));
        gf_matchLearnedOption(now, a);
        return a.head.secondText + "|" + a.head.thirdText;
    };
    EXPECT_EQ(match({3, 5}, AircraftCategory::Large, "DLH4AB_"), "DLH4AB|DLH5CD");
    EXPECT_EQ(match({3, 40}, AircraftCategory::Large, "DLH4AB"), "DLH3|DLH4AB");
    EXPECT_EQ(match({3, 20}, AircraftCategory::Large, "DLH4AB"), "|");
    EXPECT_EQ(match({3, 36}, AircraftCategory::Large, "DLH4AB"), "|");
    EXPECT_EQ(match({3, 33}, AircraftCategory::Heavy, "DLH4AB"), "DLH3|DLH4AB");
    EXPECT_EQ(match({4, 5}, AircraftCategory::Large, "DLH4AB"), "|");
    EXPECT_EQ(match({3, 5}, AircraftCategory::Large, "_"), "|");

    // The per-second work matches a landed aircraft once, by the clock (Wednesday 02:15).
    gRealTrafficProfessional.store(true);
    gLastTrafficTime.store(1796782500.0);
    LiveAircraft landed = aircraft(AircraftCategory::Large, 17, "DLH4AB");
    landed.state = LiveState::Active;
    gLiveAircraft.push_back(landed);
    gCallsignMatchKeys = {landed.key, 4711};
    gf_handleCallsignMatchingKey();
    EXPECT_EQ(gLiveAircraft[0].head.thirdText, "DLH5CD");
    EXPECT_EQ(gLiveAircraft[0].head.optionMatched, 1);
    EXPECT_EQ(gCallsignMatchKeys, (std::vector<uint32_t>{4711}));
    gf_handleCallsignMatchingKey();
    EXPECT_TRUE(gCallsignMatchKeys.empty());

    // Seen recently: today within the window, or at the end of the previous day.
    s.options.clear();
    option(3, 7, "DLH4AB", "", 44);
    option(7, 7, "DLH4AB", "", 47);
    const LiveAircraft dlh = aircraft(AircraftCategory::Large, 17);
    EXPECT_TRUE(gf_seenRecentlyAtStand({3, 46}, 1, dlh, 3));
    EXPECT_FALSE(gf_seenRecentlyAtStand({3, 46}, 1, dlh, 1));
    EXPECT_TRUE(gf_seenRecentlyAtStand({4, 1}, 1, dlh, 4));
    EXPECT_FALSE(gf_seenRecentlyAtStand({4, 1}, 1, dlh, 2));
    EXPECT_TRUE(gf_seenRecentlyAtStand({1, 0}, 1, dlh, 1));
    EXPECT_FALSE(gf_seenRecentlyAtStand({1, 0}, 1, aircraft(AircraftCategory::Large, 17, "DLH4AB", "D-AIBA", {7, 0, 31, 0, 0}), 1));
    EXPECT_FALSE(gf_seenRecentlyAtStand({1, 0}, 1, aircraft(AircraftCategory::Large, 17, "DLH4AB", ""), 1));
    EXPECT_FALSE(gf_seenRecentlyAtStand({3, 46}, 0, dlh, 3));
}

TEST_F(StandsTest, ServicesReachLiveTrafficAndTheSimClientSide) {
    static bool limited = false;
    AirportServices existing;
    existing.limitParkedAircraft = [](uint8_t) { limited = true; };
    gf_setAirportServices(existing);
    gf_installStandServices();
    gf_limitParkedAircraft(0);
    EXPECT_TRUE(limited);

    addStand("A1", at(0), 25, 9);
    addStand("A2", at(60), 25, 9);
    LiveAircraft dlh = aircraft(AircraftCategory::Large, 17);
    const GeoPosition p = at(55);
    StandRecord* stand = gf_nearestFittingStand(p.latitude, p.longitude, dlh, 20 * kNmPerMetre, false);
    ASSERT_NE(stand, nullptr);
    EXPECT_EQ(stand->id, "A2");

    // Learned at the clock's half hour: Wednesday 10:15.
    gRealTrafficProfessional.store(true);
    gLastTrafficTime.store(1796811300.0);
    lf_addRealStandOption(2, dlh, kStayArrival);
    ASSERT_EQ(gStandTable[1].options.size(), 1u);
    EXPECT_EQ(gStandTable[1].options[0].day, 3u);
    EXPECT_EQ(slots(gStandTable[1].options[0].hh), (std::vector<int>{20}));

    gf_setUserOnGround(true);
    EXPECT_EQ(tamrix::gf_standNameAt(p.latitude, p.longitude), "A2");
}

// The SimClient thread asks for the stand under the user aircraft while the start-up thread
// loads one park airport after another.
TEST_F(StandsTest, StandTableConcurrencyNameLookupWhileTheTableIsReloaded) {
    gf_installStandServices();
    gf_setUserOnGround(true);
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::thread simClient([&] {
        int i = 0;
        while (!done.load()) {
            const GeoPosition p = at((i++ % 20) * 50.0);
            const std::string name = tamrix::gf_standNameAt(p.latitude, p.longitude);
            if (!name.empty() && name[0] != 'S') ++wrong;
        }
    });
    for (int round = 0; round < 200; ++round) {
        gf_clearStandTable();
        for (int i = 0; i < 20; ++i) addStand("S" + std::to_string(i), at(i * 50.0), 25, 9);
    }
    done.store(true);
    simClient.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
