// The live-traffic tick: pacing of creations and removals, the simulator's events and the
// settling, the control setters, removal in every state, and the clearance rules around the
// user aircraft; with the faults of the record bookkeeping mended.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include "app/closing.hpp"
#include "app/subsystem_wiring.hpp"
#include "core/user_error.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_definitions.hpp"
#include "links/traffic_source_state.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "rtfeed/feed_session.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/removal.hpp"
#include "traffic/spawning.hpp"
#include "traffic/takeoff_landing.hpp"
#include "traffic_test_support.hpp"

namespace traffictest {
namespace {

AiCreateRequest creation(uint32_t key, const std::string& callsign) {
    AiCreateRequest r;
    r.key = key;
    r.callsign = callsign;
    return r;
}

std::size_t countEvents(const std::vector<ClientEventEntry>& events, uint32_t eventId) {
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [&](const ClientEventEntry& e) { return e.eventId == eventId; }));
}

using TickTest = TrafficTest;

TEST_F(TickTest, PacingSendsLiveCreationsFirstOnePerFiftyTicksAndOneRemovalPerTen) {
    for (uint32_t k : {20001u, 20002u, 20003u}) gLiveAddingStack.push_back(creation(k, "L" + std::to_string(k)));
    for (uint32_t k : {1u, 2u}) gStaticAddingStack.push_back(creation(k, "S*"));
    std::vector<std::pair<int64_t, uint32_t>> sent;
    for (int i = 0; i <= 200; ++i) {
        if (gf_tickCount() == 11) gRemovalQueue.push_back(777);
        const int64_t t = gf_tickCount();
        tick();
        for (const auto& c : takeCreations()) sent.emplace_back(t, c.key);
        for (uint32_t id : takeRemovals()) {
            EXPECT_EQ(id, 777u);
            EXPECT_EQ(t, 20);
        }
    }
    const std::vector<std::pair<int64_t, uint32_t>> expected{
        {0, 20001}, {50, 20002}, {100, 20003}, {150, 1}, {200, 2}};
    EXPECT_EQ(sent, expected);
}

TEST_F(TickTest, StaticCgAnswersOutsideTheirLimitsAreReplaced) {
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Active, 500);
    a.staticCgHeight = 8.0;
    gf_postSimEvent(SimEvent{500, 0, 0, kSimEventStaticCg, 40.0, 3.0 * 0.017453292519943295});
    gf_processSimEvents();
    ASSERT_NE(live(20001), nullptr);
    EXPECT_DOUBLE_EQ(live(20001)->staticCgHeight, 8.0);
    EXPECT_DOUBLE_EQ(live(20001)->staticPitch, 0.012217304763960306);
    gf_postSimEvent(SimEvent{500, 0, 0, kSimEventStaticCg, 9.5, 0.01});
    gf_processSimEvents();
    EXPECT_DOUBLE_EQ(live(20001)->staticCgHeight, 9.5);
    EXPECT_DOUBLE_EQ(live(20001)->staticPitch, 0.01);
}

TEST_F(TickTest, SettlingTogglesLightsThenActivatesLiveAndStaticAircraft) {
    addLive(20001, "DLH1", LiveState::Adding2Sim);
    StaticAircraft parked;
    parked.key = 7;
    parked.head.callsign = "DLH9*";
    parked.state = LiveState::Adding2Sim;
    parked.cargoStand = 1;
    gStaticAircraft.push_back(parked);
    gf_postSimEvent(SimEvent{500, 20001, 0, kSimEventCreatedLive, 0.0, 3000.0});
    gf_postSimEvent(SimEvent{501, 7, 0, kSimEventCreatedStatic, 0.0, 0.0});
    std::vector<ClientEventEntry> events;
    for (int i = 0; i < 199; ++i) {
        gf_processSimEvents();
        for (const auto& e : takeClientEvents()) events.push_back(e);
    }
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Adding2Sim);
    EXPECT_EQ(live(20001)->objectId, 500u);
    EXPECT_EQ(countEvents(events, kEventAllLightsToggle), 2u);
    gf_processSimEvents();
    EXPECT_EQ(live(20001)->state, LiveState::Active);
    EXPECT_EQ(gStaticAircraft[0].state, LiveState::Active);
    EXPECT_EQ(gStaticAircraft[0].objectId, 501u);
    events = takeClientEvents();
    // The static aircraft on its cargo stand: engines off, no cabin light.
    const auto cabin = std::find_if(events.begin(), events.end(),
                                    [](const ClientEventEntry& e) { return e.objectId == 501 && e.eventId == kEventCabinLightsSet; });
    ASSERT_NE(cabin, events.end());
    EXPECT_EQ(cabin->value, 0u);
    EXPECT_EQ(countEvents(events, kEventEngineAutoShutdown), 1u);
    EXPECT_EQ(countEvents(events, kEventEngineAutoStart), 1u); // the airborne live aircraft
    EXPECT_TRUE(gSettleList.empty());
}

TEST_F(TickTest, SettleEntriesDieWithTheirAircraftAndNeverTakeANewOneOfTheSameKey) {
    addLive(20001, "DLH1", LiveState::Adding2Sim);
    gf_postSimEvent(SimEvent{500, 20001, 0, kSimEventCreatedLive, 0.0, 3000.0});
    gf_processSimEvents();
    ASSERT_EQ(gSettleList.size(), 1u);
    // The simulator removes the object; the same key is born again and waits in buffer.
    gf_postSimEvent(SimEvent{500, 0, 0, kSimEventRemoved, 0.0, 0.0});
    gf_processSimEvents();
    EXPECT_EQ(live(20001), nullptr);
    EXPECT_TRUE(gSettleList.empty());
    addLive(20001, "DLH1", LiveState::Buffer);
    for (int i = 0; i < 250; ++i) gf_processSimEvents();
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::Buffer);
    EXPECT_EQ(live(20001)->objectId, 0u);

    // An announcement for a key nobody waits for: the object is removed, not left frozen.
    gf_postSimEvent(SimEvent{600, 29999, 0, kSimEventCreatedLive, 0.0, 0.0});
    gf_processSimEvents();
    EXPECT_EQ(gRemovalQueue.back(), 600u);
}

TEST_F(TickTest, ControlSettersSendOnlyChanges) {
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Active, 500);
    gf_setThrottle(a, 2);
    gf_setThrottle(a, 2);
    gf_setFlaps(a, 4); // a new aircraft remembers 4
    gf_setFlaps(a, 1);
    gf_setFlaps(a, 4);
    auto events = takeClientEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].eventId, kEventThrottleSet);
    EXPECT_EQ(events[0].value, 8191u);
    EXPECT_EQ(events[1].value, 3072u);
    EXPECT_EQ(events[2].value, 0u);
    a.category = AircraftCategory::Rotorcraft;
    gf_setFlaps(a, 2);
    gf_setSpoilers(a, 1);
    EXPECT_TRUE(takeClientEvents().empty());
    EXPECT_EQ(a.flapsIndex, 4u);
}

TEST_F(TickTest, RemovalInEveryStateNeverStrandsARecord) {
    // Buffer: erased at the end of the tick, never sent.
    removeAircraftFromSim(addLive(20001, "DLH1", LiveState::Buffer));
    // Two creations with one callsign: only the removed aircraft's creation is withdrawn.
    addLive(20002, "DLH2", LiveState::Adding2Sim);
    addLive(20003, "DLH2", LiveState::Adding2Sim);
    gLiveAddingStack.push_back(creation(20002, "DLH2"));
    gLiveAddingStack.push_back(creation(20003, "DLH2"));
    removeAircraftFromSim(*live(20002));
    ASSERT_EQ(gLiveAddingStack.size(), 1u);
    EXPECT_EQ(gLiveAddingStack.front().key, 20003u);
    // A key still on the spawn stack is withdrawn too.
    addLive(20004, "DLH4", LiveState::Adding2Sim);
    gSpawnStack.push_back(20004);
    removeAircraftFromSim(*live(20004));
    EXPECT_TRUE(gSpawnStack.empty());
    // Creation already sent: removed once it settled.
    addLive(20005, "DLH5", LiveState::Adding2Sim);
    removeAircraftFromSim(*live(20005));
    ASSERT_NE(live(20005), nullptr);
    EXPECT_EQ(live(20005)->removalAsked, 1);
    // Active with an object: queued; active without one: erased at once.
    removeAircraftFromSim(addLive(20006, "DLH6", LiveState::Active, 606));
    removeAircraftFromSim(addLive(20007, "DLH7", LiveState::Active, 0));
    ASSERT_NE(live(20006), nullptr);
    EXPECT_EQ(live(20006)->state, LiveState::RemovingFromSim);
    ASSERT_EQ(gRemovalQueue.size(), 1u);
    EXPECT_EQ(gRemovalQueue.front(), 606u);
    // A second removal does not send the object again.
    removeAircraftFromSim(*live(20006));
    EXPECT_EQ(gRemovalQueue.size(), 1u);

    tick();
    EXPECT_EQ(live(20001), nullptr);
    EXPECT_EQ(live(20002), nullptr);
    EXPECT_EQ(live(20004), nullptr);
    EXPECT_EQ(live(20007), nullptr);
    EXPECT_NE(live(20003), nullptr);

    gf_postSimEvent(SimEvent{700, 20005, 0, kSimEventCreatedLive, 0.0, 3000.0});
    std::vector<uint32_t> removed;
    for (int i = 0; i < 220; ++i) {
        tick();
        for (uint32_t id : takeRemovals()) removed.push_back(id);
    }
    ASSERT_NE(live(20005), nullptr);
    EXPECT_EQ(live(20005)->state, LiveState::RemovingFromSim);
    EXPECT_EQ(std::count(removed.begin(), removed.end(), 700u), 1);
}

TEST_F(TickTest, ACreationTheSimulatorNeverAnnouncesIsGivenUp) {
    addLive(20001, "DLH1", LiveState::Adding2Sim);
    gLiveAddingStack.push_back(creation(20001, "DLH1"));
    tick();
    ASSERT_EQ(takeCreations().size(), 1u);
    // The simulator side waits a minute for the object; the aircraft waits at least as long.
    tick(6000);
    ASSERT_NE(live(20001), nullptr);
    tick(static_cast<int>(kCreationAnswerTicks) - 6000);
    ASSERT_NE(live(20001), nullptr);
    tick();
    EXPECT_EQ(live(20001), nullptr);
    // The object appears after all: nobody claims it, so it is removed.
    gf_postSimEvent(SimEvent{900, 20001, 0, kSimEventCreatedLive, 0.0, 0.0});
    gf_processSimEvents();
    EXPECT_EQ(gRemovalQueue.back(), 900u);
}

TEST_F(TickTest, AnObjectTheSimulatorRemovesItselfFreesItsStand) {
    StandRecord stand;
    stand.id = "A12";
    stand.standId = 1;
    gStandTable.push_back(stand);
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Active, 500);
    a.standId = 1;
    lf_claimStand(a);
    ASSERT_EQ(gf_findStand(1)->liveOccupied, 1);
    gf_postSimEvent(SimEvent{500, 0, 0, kSimEventRemoved, 0.0, 0.0});
    gf_processSimEvents();
    EXPECT_EQ(live(20001), nullptr);
    EXPECT_EQ(gf_findStand(1)->liveOccupied, 0);
}

TEST_F(TickTest, ALiveAircraftPlacedOnAStandRemovesTheStaticOneThereWithAReadableLogLine) {
    StandRecord stand;
    stand.id = "A12";
    stand.standId = 1;
    gStandTable.push_back(stand);
    StaticAircraft parked;
    parked.key = 7;
    parked.head.callsign = "KLM9*";
    parked.state = LiveState::Active;
    parked.objectId = 501;
    parked.standId = 1;
    gStaticAircraft.push_back(parked);
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Adding2Sim);
    a.standId = 1;
    a.phase = MovePhase::Parked;
    a.samples.front().airborne = 0;
    gf_postSimEvent(SimEvent{500, 20001, 0, kSimEventCreatedLive, 0.0, 0.0});
    gf_processSimEvents();
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->onGround, 1);
    EXPECT_EQ(gStaticAircraft[0].state, LiveState::RemovingFromSim);
    EXPECT_EQ(gRemovalQueue.back(), 501u);
    EXPECT_TRUE(logged("A12     : DLH1     parks over static KLM9* \xE2\x80\x94 static will be removed"));
    const auto gear = takeClientEvents();
    EXPECT_TRUE(std::any_of(gear.begin(), gear.end(), [](const ClientEventEntry& e) {
        return e.objectId == 500 && e.eventId == kEventGearSet && e.value == 1;
    }));
}

TEST_F(TickTest, FarthestAircraftMakesRoomOnlyBeyondTheNewcomer) {
    const double nm = 1.0 / 60.0; // degrees of latitude per nautical mile
    addLive(20001, "A1", LiveState::Active, 501, kUserLat + 4.0 * nm, kUserLon);
    addLive(20002, "A2", LiveState::Active, 502, kUserLat + 5.05 * nm, kUserLon);
    EXPECT_TRUE(gf_removeFarthestLiveAc(5.0));
    addLive(20003, "A3", LiveState::Active, 503, kUserLat + 7.0 * nm, kUserLon);
    EXPECT_FALSE(gf_removeFarthestLiveAc(5.0));
    ASSERT_NE(live(20003), nullptr);
    EXPECT_EQ(live(20003)->state, LiveState::RemovingFromSim);
    ASSERT_NE(live(20002), nullptr);
    EXPECT_EQ(live(20002)->state, LiveState::Active);
}

TEST_F(TickTest, OnlyAircraftAheadOnTheUsersHeadingLineAreCleared) {
    // User at 300 ft above ground heading east (90 degrees).
    setUser(kUserLat, kUserLon, false, 1.5707963267948966, 300.0);
    const double nmLon = 1.0 / (60.0 * std::cos(kUserLat * 0.017453292519943295));
    const double ftLat = 1.0 / (60.0 * 6076.11549);
    auto onGround = [&](uint32_t key, double dLat, double dLon) {
        LiveAircraft& a = addLive(key, "G" + std::to_string(key), LiveState::Active, key - 20000, kUserLat + dLat,
                                  kUserLon + dLon);
        a.onGround = 1;
        a.position.altitude = 10000.0; // far from the user's track
    };
    onGround(20101, 80.0 * ftLat, 0.5 * nmLon);  // 80 ft off: stays
    onGround(20102, 0.0, -0.5 * nmLon);          // behind: stays
    onGround(20103, 0.5 / 60.0, 0.0);            // abeam left, 0.5 NM north: stays
    onGround(20104, 20.0 * ftLat, 0.5 * nmLon);  // 20 ft off, ahead: removed
    gf_removeLiveAcOnUserPath();
    ASSERT_NE(live(20101), nullptr);
    EXPECT_EQ(live(20101)->state, LiveState::Active);
    ASSERT_NE(live(20102), nullptr);
    EXPECT_EQ(live(20102)->state, LiveState::Active);
    ASSERT_NE(live(20103), nullptr);
    EXPECT_EQ(live(20103)->state, LiveState::Active);
    ASSERT_NE(live(20104), nullptr);
    EXPECT_EQ(live(20104)->state, LiveState::RemovingFromSim);

    setUser(kUserLat, kUserLon, false, 1.5707963267948966, 500.0);
    live(20104)->state = LiveState::Active;
    gf_removeLiveAcOnUserPath();
    EXPECT_EQ(live(20104)->state, LiveState::Active);

    // Heading 0.5 degrees: bearings just left of north lie more than 180 degrees from it.
    gLiveAircraft.clear();
    setUser(kUserLat, kUserLon, false, 0.5 * 0.017453292519943295, 300.0);
    onGround(20201, 0.0, -0.5 * nmLon);                       // abeam left (bearing 270): stays
    onGround(20202, -0.5 / 60.0, -0.2 * nmLon);               // behind left (bearing about 200): stays
    onGround(20203, 0.5 / 60.0, -0.5 * nmLon * 0.0034906585); // ahead, bearing 359.8: 37 ft off, removed
    gf_removeLiveAcOnUserPath();
    ASSERT_NE(live(20201), nullptr);
    EXPECT_EQ(live(20201)->state, LiveState::Active);
    ASSERT_NE(live(20202), nullptr);
    EXPECT_EQ(live(20202)->state, LiveState::Active);
    ASSERT_NE(live(20203), nullptr);
    EXPECT_EQ(live(20203)->state, LiveState::RemovingFromSim);
}

// At touchdown every category but Light puts out its spoilers and reversers by data, and takes
// them back when its landing roll slows to 90 kt.
TEST_F(TickTest, ReversersAtTouchdownAndBackInTheLandingRollForEveryCategoryButLight) {
    using platform::simconnect::simWorld;
    simWorld().reset();
    simWorld().startSimulator();
    HANDLE handle = nullptr;
    ASSERT_EQ(SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
    gSimConnect.store(handle);
    for (const auto& [key, category] :
         {std::pair{20001u, AircraftCategory::Light}, std::pair{20002u, AircraftCategory::Large}}) {
        LiveAircraft& a = addLive(key, "DLH" + std::to_string(key), LiveState::Active, key - 19000);
        a.category = category;
        a.move.landingArmed = 1;
        a.stepCounter = 1;
        a.samples.push_back(a.samples.front());
        gf_postSimEvent(SimEvent{a.objectId, 1, 0, kSimEventInRange, 100.0, 8.0});
    }
    gf_processSimEvents();
    for (const uint32_t key : {20001u, 20002u}) {
        ASSERT_EQ(live(key)->move.landingRoll, 1) << key;
        live(key)->samples.front().groundSpeed = 90.0;
        lf_groundSpeedStep(*live(key));
    }
    std::vector<std::string> written;
    for (const auto& call : simWorld().callsOf("SimConnect_SetDataOnSimObject")) written.push_back(call.args);
    EXPECT_EQ(written, std::vector<std::string>(2, "401,1002,0,0,24"));
    gSimConnect.store(nullptr);
    SimConnect_Close(handle);
    simWorld().reset();
}

TEST_F(TickTest, AnAircraftWhoseMovementFailsIsRemovedOnceWithOneLogLine) {
    LiveAircraft& a = addLive(20001, "DLH1", LiveState::Active, 500);
    a.phase = MovePhase::Flying;
    PositionSample next = a.samples.front();
    next.longitude += 0.05;
    next.dueTick = 500;
    a.samples.push_back(next);
    a.samples.front().dueTick = 0;
    a.category = static_cast<AircraftCategory>(9); // no such category: its tables fail
    tick(300);
    ASSERT_NE(live(20001), nullptr);
    EXPECT_EQ(live(20001)->state, LiveState::RemovingFromSim);
    EXPECT_EQ(takeRemovals(), std::vector<uint32_t>{500});
    std::size_t failures = 0;
    for (const auto& l : logLines())
        if (l.find("updateLiveAc: ") != std::string::npos) ++failures;
    EXPECT_EQ(failures, 1u);
}

TEST_F(TickTest, TheTwentiethRefusedTitleEndsTheRunAndTheEventLockIsFree) {
    for (int i = 0; i < 20; ++i) {
        const uint32_t key = 20001 + static_cast<uint32_t>(i);
        LiveAircraft& a = addLive(key, "R" + std::to_string(i), LiveState::Adding2Sim);
        a.liveryTitle = lf_findTitle(i % 2 == 0 ? "Fx A320 Lufthansa" : "Fx A320 Lufthansa Star Alliance");
    }
    // Distinct titles: 18 made up ones, then the two of the catalogue.
    for (int i = 0; i < 18; ++i) gNotCreatedTitles.insert("made up " + std::to_string(i));
    gf_postSimEvent(SimEvent{0, 20001, 0, kSimEventCreationRefused, 0.0, 0.0});
    EXPECT_NO_THROW(gf_processSimEvents()); // 19 titles
    EXPECT_EQ(live(20001), nullptr);
    gf_postSimEvent(SimEvent{0, 20002, 0, kSimEventCreationRefused, 0.0, 0.0});
    EXPECT_THROW(gf_processSimEvents(), UserErrorException);
    EXPECT_EQ(live(20002), nullptr);
    // The SimClient side can post again and the next tick drains normally.
    gf_postSimEvent(SimEvent{0, 0, 0, 99, 0.0, 0.0});
    EXPECT_EQ(gf_pendingSimEvents(), 1u);
    gf_processSimEvents();
    EXPECT_EQ(gf_pendingSimEvents(), 0u);

    // The run is restarted: a new flight is created, announced from the SimClient thread,
    // settled and made active.
    gf_installSubsystems();
    lf_cleanUpBeforeRestart();
    setUser(kUserLat, kUserLon, true);
    feed(line(20101, "KLM7", 2000.0, 50.1, 8.1, 12000.0, 300.0, "B738"));
    feed(line(20101, "KLM7", 2005.0, 50.1, 8.11, 12000.0, 300.0, "B738"));
    tick(2 + static_cast<int>(kSampleDelayTicks));
    ASSERT_NE(live(20101), nullptr);
    ASSERT_EQ(live(20101)->state, LiveState::Adding2Sim);
    tick(50);
    const auto created = takeCreations();
    ASSERT_EQ(created.size(), 1u);
    EXPECT_TRUE(std::string_view(created.front().liveryTitle).starts_with("Fx B739 KLM"));
    std::thread simClient([] {
        gf_postSimEvent(SimEvent{700, 20101, 0, kSimEventCreatedLive, 0.0, 3000.0});
    });
    simClient.join();
    tick(static_cast<int>(kSettleTicks) + 1);
    ASSERT_NE(live(20101), nullptr);
    EXPECT_EQ(live(20101)->state, LiveState::Active);
    EXPECT_EQ(live(20101)->objectId, 700u);
}

TEST_F(TickTest, ACreationTheSimulatorRemovedBeforeItWasRecognisedIsGivenUp) {
    addLive(20201, "GONE1", LiveState::Adding2Sim);
    addLive(20202, "ACTIVE1", LiveState::Active).objectId = 501;
    // A foreign object's removal (key 0) and one of an unknown key change nothing.
    gf_postSimEvent(SimEvent{777, 0, 0, kSimEventRemoved, 0.0, 0.0});
    gf_postSimEvent(SimEvent{778, 29999, 0, kSimEventRemoved, 0.0, 0.0});
    gf_processSimEvents();
    ASSERT_NE(live(20201), nullptr);
    // The waiting creation's object was removed before it was recognised: its record goes.
    gf_postSimEvent(SimEvent{502, 20201, 0, kSimEventRemoved, 0.0, 0.0});
    // An active aircraft whose object the simulator removed goes as well.
    gf_postSimEvent(SimEvent{501, 20202, 0, kSimEventRemoved, 0.0, 0.0});
    gf_processSimEvents();
    EXPECT_EQ(live(20201), nullptr);
    EXPECT_EQ(live(20202), nullptr);
}

// RealTraffic on this PC, connected to the program's server through the stand-in (which
// answers the version question, sends no traffic of its own and connects again after a drop).
class RealTrafficTickTest : public TickTest {
protected:
    void SetUp() override {
        TickTest::SetUp();
        gf_installSubsystems(); // the remover of the live aircraft when RealTraffic has gone
        gRealTrafficOnThisPc.store(true);
        gf_listenForRealTraffic("0");
        rtfeed::FeedOptions o;
        o.serverPort = gf_realTrafficServerPort();
        o.aircraft = 0;
        o.trafficPort = 9; // discard
        o.qnhPort = 9;
        o.qnhIntervalSeconds = 3600.0;
        m_feed = std::make_unique<rtfeed::FeedSession>(o);
        m_feedRun = std::async(std::launch::async, [this] { return m_feed->run(); });
        gf_waitForRealTraffic();
        ASSERT_TRUE(gf_realTrafficConnected());
    }
    void TearDown() override {
        endFeed();
        gf_resetRealTrafficServer();
        gRealTrafficOnThisPc.store(false);
        TickTest::TearDown();
    }
    void endFeed() {
        m_feed->stop();
        if (m_feedRun.valid()) m_feedRun.wait();
    }
    // Ticks, a millisecond apart so that the other end of the link can act, until the condition
    // holds. The ticks run beside this thread: a tick that waits for the link (no tick ends for
    // 30 s, however slowly the machine ticks) is freed by the stop flag, and false tells so.
    static bool tickUntil(const std::function<bool()>& condition) {
        std::atomic<int> ticked{0};
        auto ticking = std::async(std::launch::async, [&] {
            for (int i = 0; i < 20000 && !condition(); ++i) {
                tick();
                ++ticked;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return condition();
        });
        for (int seen = -1; ticking.wait_for(std::chrono::seconds(30)) != std::future_status::ready;) {
            if (ticked.load() != seen) {
                seen = ticked.load();
                continue;
            }
            gStopFlag.store(true);
            ticking.wait();
            return false;
        }
        return ticking.get();
    }

    std::unique_ptr<rtfeed::FeedSession> m_feed;
    std::future<rtfeed::FeedReport> m_feedRun;
};

TEST_F(RealTrafficTickTest, WhenRealTrafficHasGoneEveryLiveAircraftLeavesWithinASecondOfTicks) {
    std::set<uint32_t> objects;
    for (uint32_t i = 0; i < 5; ++i) {
        addLive(20001 + i, "DLH" + std::to_string(i), LiveState::Active, 501 + i);
        objects.insert(501 + i);
    }
    // RealTraffic ends for good.
    endFeed();
    ASSERT_TRUE(tickUntil([] { return !gf_realTrafficConnected(); }));
    const int64_t lost = gf_tickCount();
    std::set<uint32_t> removed;
    int64_t last = lost;
    ASSERT_TRUE(tickUntil([&] {
        for (uint32_t id : takeRemovals()) removed.insert(id);
        last = gf_tickCount();
        return removed == objects || last - lost > 500;
    })) << "the tick waited for RealTraffic";
    EXPECT_EQ(removed, objects);
    EXPECT_LE(last - lost, 60); // one removal every 10 ticks
}

TEST_F(RealTrafficTickTest, AfterRealTrafficIsBackItsAircraftAreCreatedAgain) {
    addLive(20001, "DLH1", LiveState::Active, 501);
    m_feed->disconnect(); // RealTraffic drops the link and connects again a second later
    ASSERT_TRUE(tickUntil([] { return !gf_realTrafficConnected(); }));
    ASSERT_TRUE(tickUntil([] { return gf_realTrafficConnected(); }));
    EXPECT_TRUE(gTrafficRunFlag.load());
    feed(line(20002, "KLM7", 2000.0, 50.1, 8.1, 12000.0, 300.0, "B738"));
    feed(line(20002, "KLM7", 2005.0, 50.1, 8.11, 12000.0, 300.0, "B738"));
    const int64_t fed = gf_tickCount();
    std::vector<AiCreateRequest> created;
    ASSERT_TRUE(tickUntil([&] {
        for (auto& c : takeCreations()) created.push_back(std::move(c));
        return !created.empty() || gf_tickCount() - fed > kSampleDelayTicks + 1000;
    }));
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created.front().key, 20002u);
}

TEST_F(TickTest, TheTickCountsOnlyWhenItRuns) {
    const int64_t before = gf_tickCount();
    for (int i = 0; i < 5; ++i) gf_processSimEvents(); // the main loop while the simulator halts
    EXPECT_EQ(gf_tickCount(), before);
    tick(3);
    EXPECT_EQ(gf_tickCount(), before + 3);
}

} // namespace
} // namespace traffictest
