// Placing static aircraft: each candidate taken from the back of the plan becomes a static
// aircraft with a livery and a callsign ending in '*', queued for creation on its stand, unless
// its stand is taken, reserved or next to another aircraft by then. End to end, the pacing of
// live traffic puts the planned aircraft into the simulator stand-in one after the other.
#include <algorithm>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "links/sim_definitions.hpp"
#include "links/sim_dispatch.hpp"
#include "links/simconnect_client.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "static_parking_test_support.hpp"

namespace staticstest {
namespace {

StaticCandidate candidate(const StandRecord& stand, std::string cs, std::string cs2 = "", uint8_t staysOn = 1,
                          uint32_t fitOffset = 0, const char* airline = "DLH") {
    StaticCandidate c;
    c.standId = stand.standId;
    c.fitOffset = fitOffset;
    c.key = LiveryKey{gf_airlineIndex(airline), 0, gf_modelIndex("A320"), 0, 0};
    c.callsign = std::move(cs);
    c.secondCallsign = std::move(cs2);
    c.registration = "D-AIZZ";
    c.staysOn = staysOn;
    return c;
}

// Places every candidate of the plan, best first; the callsigns queued for creation.
std::vector<std::string> placeAll() {
    while (!gStaticCandidates.empty()) lf_placeStaticCandidate();
    std::vector<std::string> out;
    for (const AiCreateRequest& r : gStaticAddingStack) out.push_back(r.callsign);
    return out;
}

TEST_F(StaticParkingTest, PlacedAircraftShowStarredCallsignsOnFreeStandsOnly) {
    gTestNow = WeekSlot{2, 1}; // Tuesday 00:30
    std::vector<StandRecord*> s;
    for (int i = 0; i < 12; ++i) s.push_back(&addStand("P" + std::to_string(i + 1), i * 100.0));
    makeAdjacent(*s[8], *s[9]);
    makeAdjacent(*s[10], *s[11]);
    s[3]->cargo = 1;

    // A live aircraft parked on P7 and one on P10, next to P9; a static one already on P11, next
    // to P12; P8 turned live-occupied, P6 reserved after the plan was made.
    LiveAircraft& onStand = gLiveAircraft.emplace_back();
    onStand.head.callsign = "AFR1";
    onStand.phase = MovePhase::Parked;
    onStand.standId = s[6]->standId;
    LiveAircraft& nextDoor = gLiveAircraft.emplace_back();
    nextDoor.head.callsign = "AFR2";
    nextDoor.phase = MovePhase::Parking;
    nextDoor.standId = s[9]->standId;
    StaticAircraft& parked = gStaticAircraft.emplace_back(TrafficRecord{}, s[10]->standId, 0.0, 0.0, 0.0, false);
    parked.head.callsign = "KLM5*";
    s[7]->liveOccupied = 1;
    s[5]->reserved = 1;

    // The key the next aircraft would get is held by a standing aircraft: it is passed over.
    const auto after = [](uint32_t key) { return key % 9999 + 1; };
    const uint32_t first = after(after(gf_staticKeyCounter()));
    parked.key = after(gf_staticKeyCounter());

    // Taken from the back: P1 first.
    gStaticCandidates = {
        candidate(*s[11], "DLH12"),
        candidate(*s[8], "DLH9"),
        candidate(*s[0], "DLH4"), // its stand is not in the table (below)
        candidate(*s[5], "DLH6"),
        candidate(*s[7], "DLH8"),
        candidate(*s[6], "DLH7"),
        candidate(*s[4], "ABC123__", "", 1),
        candidate(*s[3], "DLH40", "", 0, 3),      // shows its first callsign when there is no second
        candidate(*s[2], ""),                    // no callsign: operator, key and '*'
        candidate(*s[1], "DLH1", "DEF456_", 0),  // the flight has turned: the second callsign
        candidate(*s[0], "XYZ9*", "", 1, 3),
    };
    gStaticCandidates[2].standId = 99;

    EXPECT_EQ(placeAll(), (std::vector<std::string>{"XYZ9*", "DEF456*", fmt::format("DLH{}*", after(after(first))),
                                                   "DLH40*", "ABC123*"}));

    // Keys follow the counter, never twice; the records carry the flight's texts and times.
    ASSERT_EQ(gStaticAircraft.size(), 6u);
    const StaticAircraft& p1 = gStaticAircraft[1];
    EXPECT_EQ(p1.key, first);
    EXPECT_EQ(gStaticAircraft[2].key, after(first));
    EXPECT_EQ(gStaticAircraft[2].head.secondText, "DLH1");
    EXPECT_EQ(gStaticAircraft[2].head.thirdText, "DEF456_");
    EXPECT_EQ(p1.standId, s[0]->standId);
    EXPECT_EQ(p1.timeSlot.day, 1u); // three half hours before Tuesday 00:30
    EXPECT_EQ(p1.timeSlot.halfHour, 46u);
    EXPECT_EQ(gStaticAircraft[4].cargoStand, 1);
    EXPECT_EQ(gf_staticKeyCounter(), after(after(after(after(first)))));

    const AiCreateRequest& request = gStaticAddingStack.front();
    EXPECT_EQ(request.liveryTitle, p1.liveryTitle);
    EXPECT_FALSE(request.liveryTitle.empty());
    EXPECT_DOUBLE_EQ(request.initPosition.Latitude, s[0]->latitude);
    EXPECT_NEAR(request.initPosition.Heading, 90.0, 1e-9);
    EXPECT_EQ(request.initPosition.OnGround, 1u);

    EXPECT_TRUE(logged("P7      : no static parking for DLH7, live aircraft AFR1 standing here"));
    EXPECT_TRUE(logged("P8      : no static parking for DLH8, live aircraft occupies the stand"));
    EXPECT_TRUE(logged("P6      : no static parking for DLH6, the stand is reserved"));
    EXPECT_TRUE(logged("==> stand with id sid==? not found"));
    EXPECT_TRUE(logged("P9      : no static parking for DLH9, live aircraft AFR2 is adjacent at P10, possibly colliding"));
    EXPECT_TRUE(
        logged("P12     : no static parking for DLH12, static aircraft KLM5* is adjacent at P11, possibly colliding"));
}

// Static keys run 1 to 9999 and round again: 0 is the simulator side's "no key".
TEST_F(StaticParkingTest, StaticKeysRunFromOneTo9999AndNeverZero) {
    uint32_t previous = lf_nextStaticKey();
    for (int i = 0; i < 10000; ++i) {
        const uint32_t key = lf_nextStaticKey();
        ASSERT_EQ(key, previous == 9999 ? 1u : previous + 1) << "after " << previous;
        previous = key;
    }
}

// The time slot a placed aircraft was seen in lies its fit offset before now, on the week ring:
// before Monday 00:00 it is Sunday.
TEST(StaticPlacingTimeSlot, BeforeMondayMidnightIsSunday) {
    const WeekSlot sunday = gf_weekSlotBefore(WeekSlot{1, 1}, 3);
    EXPECT_EQ(sunday.day, 7u);
    EXPECT_EQ(sunday.halfHour, 46u);
    const WeekSlot lastOfWeek = gf_weekSlotBefore(WeekSlot{1, 0}, 1);
    EXPECT_EQ(lastOfWeek.day, 7u);
    EXPECT_EQ(lastOfWeek.halfHour, 47u);
}

// The planned aircraft reach the simulator stand-in through live traffic's pacing.
class StaticParkingInSimulator : public StaticParkingTest {
protected:
    void SetUp() override {
        StaticParkingTest::SetUp();
        using namespace platform::simconnect;
        simWorld().reset();
        simWorld().startSimulator();
        simWorld().setFlightRunning(true);
        UserAircraft user;
        user.objectId = 1;
        user.latitude = 50.05;
        user.longitude = 8.05;
        simWorld().setUserAircraft(user);
        simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
        gf_reserveSimQueues();
        ASSERT_EQ(SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
        gSimConnect.store(handle);
        lf_setupSimDefinitions();
        dispatch();
    }
    void TearDown() override {
        gSimConnect.store(nullptr);
        SimConnect_Close(handle);
        platform::simconnect::simWorld().reset();
        StaticParkingTest::TearDown();
    }
    void dispatch() { SimConnect_CallDispatch(handle, lf_simDispatch, nullptr); }
    void step(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            lf_handleAddingStack();
            platform::simconnect::simWorld().stepFrames(1);
            dispatch();
        }
    }
    static std::optional<platform::simconnect::ObjectView> objectOf(const std::string& callsign) {
        for (const auto& o : platform::simconnect::simWorld().objects())
            if (!o.user && o.atcId == callsign) return o;
        return std::nullopt;
    }
    HANDLE handle = nullptr;
};

TEST_F(StaticParkingInSimulator, PlannedAircraftAppearOneByOneAndSettle) {
    for (int i = 0; i < 6; ++i)
        addOption(addStand("A" + std::to_string(i + 1), i * 80.0), 3, 22 - i, 22 - i, "DLH" + std::to_string(100 * (i + 1)),
                  "D-AAA" + std::to_string(i));
    gf_calcStaticParking();
    ASSERT_EQ(gStaticCandidates.size(), 6u);
    // A live aircraft arrives at A6 before its static aircraft was placed: that candidate goes.
    gf_dropStaticCandidatesForStand(6);
    ASSERT_EQ(gStaticCandidates.size(), 5u);

    // One aircraft per half second, best fit first.
    std::vector<std::string> order;
    for (int t = 0; t < 400 && order.size() < 5; ++t) {
        step(1);
        for (const auto& o : platform::simconnect::simWorld().objects())
            if (!o.user && std::find(order.begin(), order.end(), o.atcId) == order.end()) order.push_back(o.atcId);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"DLH100*", "DLH200*", "DLH300*", "DLH400*", "DLH500*"}));
    EXPECT_TRUE(gStaticCandidates.empty());

    // They settle and stand in the simulator, each on its stand with its livery.
    step(250);
    ASSERT_EQ(gStaticAircraft.size(), 5u);
    for (const StaticAircraft& a : gStaticAircraft) {
        EXPECT_EQ(a.state, LiveState::Active) << a.head.callsign;
        const auto object = objectOf(a.head.callsign);
        ASSERT_TRUE(object.has_value()) << a.head.callsign;
        EXPECT_EQ(object->id, a.objectId);
        EXPECT_EQ(object->title, std::string(a.liveryTitle));
        EXPECT_NEAR(object->latitude, gStandTable[a.standId - 1].latitude, 1e-6);
    }
    // Placed zero to four half hours after their flights were seen: 1.5 hours on average.
    EXPECT_EQ(gf_countStaticAc(1), 5);
    EXPECT_FLOAT_EQ(gf_staticParkingPanel().staticMeanParked.load(), 1.5f);
    gTestNow = WeekSlot{1, 1};
    for (StaticAircraft& a : gStaticAircraft) a.timeSlot = WeekSlot{7, 46}; // Sunday 23:00
    gf_countStaticAc(1);
    EXPECT_FLOAT_EQ(gf_staticParkingPanel().staticMeanParked.load(), 2.0f);
    EXPECT_NE(platform::simconnect::simWorld().snapshotText().find("DLH300*"), std::string::npos);
    EXPECT_TRUE(logged("A1      : DLH100*  parked"));
}

} // namespace
} // namespace staticstest
