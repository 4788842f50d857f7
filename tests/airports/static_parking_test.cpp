// The static parking plan: which stands get which learned flight, looking back half an hour at
// a time, by kind (real, any weekday, soft), with blocked neighbours, reserved and live stands,
// flights that are live or planned already, and the number of stands to fill.
#include <string>

#include "static_parking_test_support.hpp"

namespace staticstest {
namespace {

// A traffic line of a flight that is live now, as the reader receives it.
void seenLive(const std::string& callsign) {
    std::vector<std::string> fields(29, "0");
    fields[2] = "50.0";
    fields[3] = "8.0";
    fields[9] = callsign;
    fields[11] = "D-XXXX";
    fields[14] = "1700000000";
    gf_trafficReader().setUserPosition({50.0, 8.0});
    gRangeNm.store(40.0);
    std::string line;
    for (const auto& f : fields) line += (line.empty() ? "" : ",") + f;
    gf_trafficReader().interpret(line);
}

TEST_F(StaticParkingTest, PlanLooksBackByKindAndKeepsStandsFree) {
    int disabled = 0;
    static int* disabledCount = &disabled;
    gf_setStaticParkingHooks({[] { ++*disabledCount; }, nullptr, nullptr});

    addOption(addStand("A1", 0), 3, 20, 23, "DLH100", "D-AAAA", true, "DLH101"); // now
    addOption(addStand("A2", 60), 3, 16, 19, "DLH200", "D-AAAB");                // three half hours ago
    addOption(addStand("A3", 120), 3, 22, 22, "DLH300", "D-AAAC", false);        // soft
    addOption(addStand("A4", 180), 2, 22, 22, "DLH400", "D-AAAD");               // yesterday
    StandRecord& a5 = addStand("A5", 240);
    addOption(a5, 3, 22, 22, "DLH500", "D-AAAE");
    addOption(a5, 3, 22, 22, "DLH501", "D-AAAF");
    StandRecord& a7 = addStand("A7", 300);
    StandRecord& a8 = addStand("A8", 330);
    makeAdjacent(a7, a8);
    addOption(a7, 3, 22, 22, "DLH700", "D-AAAG");
    addOption(a8, 3, 22, 22, "DLH800", "D-AAAH");
    addOption(addStand("H1", 400, true), 3, 22, 22, "HEL1", "D-HXYZ", true, "", "DLH", "H145");
    addOption(addStand("R1", 460), 3, 22, 22, "DLH900", "D-AAAI"); // the user's reserved stand
    StandRecord& l1 = addStand("L1", 520);                          // a live aircraft stands here
    addOption(l1, 3, 22, 22, "DLH910", "D-AAAL");
    l1.liveOccupied = 1;
    StandRecord& c1 = addStand("C1", 580);
    addOption(c1, 3, 22, 22, "DLH920", "D-AAAM");    // live right now: not planned
    addOption(c1, 3, 21, 22, "DLH921", "D-AAAN");
    addOption(addStand("G1", 640), 3, 0, 47, "", "D-EFGH"); // no callsigns at all
    addOption(addStand("G2", 700), 3, 22, 22, "", "D-EFGI");
    addOption(addStand("D1", 760), 3, 22, 22, "DLH950", "D-AAAA"); // A1's aircraft
    addOption(addStand("S1", 820), 3, 0, 10, "DLH960", "D-AAAS");  // this morning
    gTestReservedStand = "R1";
    gf_trafficReader().startCallsignCollection();
    seenLive("DLH920_");

    gf_calcStaticParking();

    // Best fits at the back, where placing takes from; ties in stand order.
    EXPECT_EQ(plan(), (std::vector<std::string>{"S1:12", "A2:3", "C1:1", "A1:0", "A5:0", "A7:0", "G1:0", "G2:0"}));
    EXPECT_EQ(candidateAt("A5")->callsign, "DLH500");
    EXPECT_EQ(candidateAt("A1")->secondCallsign, "DLH101");
    EXPECT_EQ(candidateAt("A1")->staysOn, 1); // the flight still stands there in the next half hour
    EXPECT_EQ(candidateAt("C1")->callsign, "DLH921");
    // Set aside for this stand table: the live flight and the second use of one aircraft.
    EXPECT_EQ(c1.options[0].number, 0u);
    EXPECT_EQ(gStandTable[13].options[0].number, 0u);
    EXPECT_EQ(a8.options[0].number, 1u);
    EXPECT_EQ(a8.blocked, 1);
    EXPECT_EQ(gStandTable[8].reserved, 1);
    EXPECT_FALSE(gf_trafficReader().collectingCallsigns());

    EXPECT_EQ(gRealFitOffset, 48);
    EXPECT_EQ(gSoftFitOffset, -1);
    EXPECT_EQ(gf_staticParkingPanel().standsToFill.load(), 15);
    EXPECT_EQ(gf_staticParkingPanel().wantedPercentage.load(), 100);
    EXPECT_FALSE(gf_staticParkingPanel().softUsed.load());
    EXPECT_TRUE(gf_staticParkingBusy());
    EXPECT_EQ(disabled, 1);
    EXPECT_TRUE(loggedPart("(utc) It is day 3 (Wed), "));
    EXPECT_TRUE(loggedPart("8 real positions found, Max fit=24.0 hours, day 3, hh:22 or "));
    EXPECT_TRUE(loggedPart("8 positions (53% vs wanted 100%, with Max fit=24.0 hours)"));

    // With any weekday, soft flights and helicopters, the stands left get flights of those kinds.
    WEEK.current = true;
    PARK_SOFT.current = true;
    HELICOPTERS.current = true;
    gf_calcStaticParking();
    // The flight set aside stays aside; C1's other flight now fits at once.
    EXPECT_EQ(plan(), (std::vector<std::string>{"S1:12", "A2:3", "A1:0", "A5:0", "A7:0", "H1:0", "C1:0", "G1:0",
                                                "G2:0", "A4:0", "A3:0"}));
    EXPECT_TRUE(gf_staticParkingPanel().softUsed.load());
    EXPECT_TRUE(gf_staticParkingPanel().weekUsed.load());
    EXPECT_EQ(gSoftFitOffset, 48);
    EXPECT_TRUE(loggedPart("1 week/real position found"));
    EXPECT_TRUE(loggedPart("1 soft position found"));
}

TEST_F(StaticParkingTest, FewerWantedKeepsTheBestFitsAndTheWeekWraps) {
    // Monday 00:00: half an hour back is Sunday's last slot.
    gTestNow = WeekSlot{1, 0};
    for (int i = 0; i < 8; ++i) {
        StandRecord& s = addStand("B" + std::to_string(i + 1), i * 60.0);
        if (i < 4)
            addOption(s, 7, 47 - i, 47 - i, "BAW" + std::to_string(i), "G-BBB" + std::to_string(i), true, "", "BAW");
        else
            addOption(s, 1, 0, 0, "BAW" + std::to_string(i), "G-BBB" + std::to_string(i), true, "", "BAW");
    }
    parking_percentage.current = 50; // 4 of 8
    gf_calcStaticParking();
    // The four flights of now fill the wanted stands at once; Sunday's stay behind.
    EXPECT_EQ(plan(), (std::vector<std::string>{"B5:0", "B6:0", "B7:0", "B8:0"}));
    EXPECT_EQ(gRealFitOffset, 0);

    // Wanting more reaches back into Sunday, one half hour per step, until MAX_FIT.
    parking_percentage.current = 100;
    MAX_FIT.current = 2;
    gf_calcStaticParking();
    EXPECT_EQ(plan(), (std::vector<std::string>{"B2:2", "B1:1", "B5:0", "B6:0", "B7:0", "B8:0"}));
    EXPECT_EQ(gRealFitOffset, 3);
    EXPECT_EQ(candidateAt("B1")->fitOffset, 1u);
}

TEST_F(StaticParkingTest, NothingToPlanEndsTheCycleAtOnceAndOddPercentagesStayInRange) {
    int enabled = 0;
    static int* enabledCount = &enabled;
    gf_setStaticParkingHooks({nullptr, [] { ++*enabledCount; }, nullptr});
    addOption(addStand("A1", 0), 3, 10, 12, "DLH1", "D-AAAA");
    for (int i = 1; i < 10; ++i) addStand("S" + std::to_string(i), i * 60.0);
    MAX_FIT.current = 5; // ten half hours back lie beyond it
    gf_calcStaticParking();
    EXPECT_TRUE(gStaticCandidates.empty());
    EXPECT_FALSE(gf_staticParkingBusy());
    EXPECT_EQ(enabled, 1);
    EXPECT_TRUE(logged("no parking positions found"));

    // A percentage taken from a learned file may lie outside 0 .. 100; 2.5 stands round up.
    parking_percentage.current = 250;
    EXPECT_EQ(gf_standsToFill(), 10);
    parking_percentage.current = -30;
    EXPECT_EQ(gf_standsToFill(), 0);
    parking_percentage.current = 25;
    EXPECT_EQ(gf_standsToFill(), 3);
    EXPECT_EQ(gf_staticParkingPanel().wantedPercentage.load(), 30);
    MAX_PARK_SEL.current = 2; // the upper limit
    EXPECT_EQ(gf_standsToFill(), 2);
    EXPECT_EQ(gf_staticParkingPanel().wantedPercentage.load(), 20);
    MAX_PARK_SEL.current = 0; // no static parking at all
    EXPECT_EQ(gf_standsToFill(), 0);
    EXPECT_EQ(gf_staticParkingPanel().wantedPercentage.load(), 25);
}

// The share of the stands rounds a half up from four stands on, and at two or three stands from
// 50 % on; below that two or three stands get one aircraft, and from four stands a small share
// may round to none.
TEST_F(StaticParkingTest, TheStandsToFillRoundAHalfUpAndFewStandsGetOneBelowHalf) {
    const auto toFill = [](int stands, int32_t percent) {
        gf_clearStandTable();
        for (int i = 0; i < stands; ++i) addStand("P" + std::to_string(i + 1), i * 60.0);
        parking_percentage.current = percent;
        return gf_standsToFill();
    };
    EXPECT_EQ(toFill(3, 50), 2); // 1.5
    EXPECT_EQ(gf_staticParkingPanel().wantedPercentage.load(), 67);
    EXPECT_EQ(toFill(3, 49), 1);
    EXPECT_EQ(toFill(3, 10), 1); // 0.3, yet one
    EXPECT_EQ(toFill(2, 100), 2);
    EXPECT_EQ(toFill(2, 50), 1);
    EXPECT_EQ(toFill(2, 10), 1);
    EXPECT_EQ(toFill(4, 50), 2);
    EXPECT_EQ(toFill(4, 10), 0); // 0.4
    EXPECT_EQ(toFill(1, 40), 1);
}

TEST_F(StaticParkingTest, WingsMustClearAStaticAircraftNextDoor) {
    StandRecord& a = addStand("A1", 0);
    StandRecord& b = addStand("A2", 50);
    makeAdjacent(a, b);
    addOption(b, 3, 22, 22, "DLH1", "D-AAAA", true, "", "DLH", "B77W");
    addOption(b, 3, 22, 22, "DLH2", "D-AAAB", true, "", "DLH", "A320");
    StaticAircraft& parked = gStaticAircraft.emplace_back(TrafficRecord{}, a.standId, a.latitude, a.longitude, 0.0, false);
    parked.state = LiveState::Active;
    parked.size = 30.0 / 1852.0;
    gHalfSpans[gf_modelIndex("B77W")] = 32.0 / 1852.0;
    gHalfSpans[gf_modelIndex("A320")] = 17.0 / 1852.0;
    gf_calcStaticParking();
    // 30 + 32 m do not fit into 50 m; 30 + 17 m do.
    ASSERT_EQ(plan(), (std::vector<std::string>{"A2:0"}));
    EXPECT_EQ(gStaticCandidates[0].callsign, "DLH2");
}

} // namespace
} // namespace staticstest
