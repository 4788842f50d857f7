#include "links/sim_dispatch.hpp"

#include <algorithm>
#include <thread>

#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "core/user_error.hpp"
#include "links/reserved_stand.hpp"
#include "links/sim_dispatch_test_support.hpp"
#include "links/sim_status.hpp"
#include "links/stand_lookup.hpp"
#include "links/user_aircraft_data.hpp"
#include "links/user_aircraft_state.hpp"

using namespace tamrix;
using namespace dispatchtest;
using platform::simconnect::CreationAnswer;
using platform::simconnect::UserAircraft;

namespace {

std::atomic<int> gReservedStandUpdates{0};

AiCreateRequest creation(std::string callsign, std::string_view title, uint32_t key) {
    AiCreateRequest r;
    r.initPosition = {50.001, 8.001, 364.0, 0.0, 0.0, 90.0, 1, 0};
    r.callsign = std::move(callsign);
    r.liveryTitle = title;
    r.key = key;
    return r;
}

class Dispatch : public DispatchTest {
protected:
    void SetUp() override {
        DispatchTest::SetUp();
        gReservedStandUpdates = 0;
        gf_setReservedStandUpdater([] { ++gReservedStandUpdates; });
        answerUserState(); // the user aircraft is object 1
    }

    // Creates the aircraft and brings it into range: it is announced, then identified.
    uint32_t createAndIdentify(const AiCreateRequest& request) {
        gf_queueAiCreate(request);
        pump(2); // the flush sends the creation, the object appears
        const uint32_t id = gAddedObjects.empty() ? 0 : gAddedObjects.back();
        requestInRange();
        return id;
    }
};

// ---- identity of the simulator ----

TEST_F(DispatchTest, OpenNamesTheSimulatorAndItsVersionAndClearsTheWaitingMessage) {
    simWorld().setApplication("KittyHawk", {11, 0, 282174, 999});
    gf_setStatusLine("Waiting for MSFS 2020 ...", false);
    HANDLE second = nullptr;
    ASSERT_EQ(SimConnect_Open(&second, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
    SimConnect_CallDispatch(second, lf_simDispatch, nullptr);
    EXPECT_TRUE(simtest::hasLine(log, "MSFS 2020 (11.0.282174.999) connected"));
    EXPECT_EQ(gf_simulatorText(), "MSFS 2020 (11.0.282174.999)");
    EXPECT_TRUE(gSimOpen.load());
    EXPECT_EQ(gf_statusLineSnapshot().message, "");
    SimConnect_Close(second);
}

TEST_F(DispatchTest, TheOtherSimulatorOrAForeignApplicationEndsTheConnectionWithItsCode) {
    const auto openWith = [](const std::string& name, bool msfs2020) -> std::string {
        gIsMsfs2020.store(msfs2020);
        simWorld().setApplication(name, {1, 2, 3, 4});
        HANDLE h = nullptr;
        EXPECT_EQ(SimConnect_Open(&h, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
        std::string what = "no exception";
        try {
            SimConnect_CallDispatch(h, lf_simDispatch, nullptr);
        } catch (const UserErrorException& e) {
            what = e.what();
        }
        SimConnect_Close(h);
        return what;
    };
    EXPECT_TRUE(openWith("KittyHawk", false).starts_with("2024"));
    EXPECT_TRUE(openWith("SunRise", true).starts_with("2024"));
    EXPECT_EQ(openWith("SunRise", false), "no exception");
    EXPECT_EQ(gf_simulatorText(), "MSFS 2024 (1.2.3.4)");
    // Only letters, digits and white space of the name are shown.
    EXPECT_EQ(openWith("Foo Sim!<>", true), "77: 'Foo Sim' not being MSFS 2020 or MSFS 2024 connects ... ?");
}

TEST_F(DispatchTest, AnEmptyNameIsOnlyLogged) {
    simWorld().setApplication("", {1, 2, 3, 4});
    gSimOpen.store(false);
    HANDLE h = nullptr;
    ASSERT_EQ(SimConnect_Open(&h, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
    SimConnect_CallDispatch(h, lf_simDispatch, nullptr);
    EXPECT_TRUE(simtest::hasLine(log, "! Simulator name empty?"));
    EXPECT_FALSE(gSimOpen.load());
}

TEST_F(DispatchTest, TextsOfRecordsAreReadWithinTheirFieldAndShortRecordsAreRefused) {
    // A name that fills its whole field without an end.
    const std::string longName(256, 'A');
    auto open = Record(SIMCONNECT_RECV_ID_OPEN).bytes(longName, 256).u32(1).u32(2).u32(3).u32(4).done();
    ASSERT_TRUE(inject(open));
    try {
        dispatch();
        ADD_FAILURE() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  fmt::format("77: '{}' not being MSFS 2020 or MSFS 2024 connects ... ?", longName));
    }
    // Records cut short: nothing is read from beyond their end.
    ASSERT_TRUE(inject(Record(SIMCONNECT_RECV_ID_OPEN).bytes("KittyHawk", 256).u32(1).done()));
    ASSERT_TRUE(
        inject(Record(SIMCONNECT_RECV_ID_EXCEPTION).u32(SIMCONNECT_EXCEPTION_VERSION_MISMATCH).done()));
    ASSERT_TRUE(inject(Record(SIMCONNECT_RECV_ID_EVENT).u32(0).u32(kSystemEventFlightLoaded).done()));
    ASSERT_TRUE(inject(dataRecord(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, kRequestUserState, 1, kDefUserAcState)
                           .f64(51.0)
                           .done()));
    auto byType = inRangeRecord(300, 10.0, 0.0, 1, "DLH1");
    byType.pop_back();
    ASSERT_TRUE(inject(byType));
    ASSERT_TRUE(inject(Record(SIMCONNECT_RECV_ID_OPEN).done(4)));
    EXPECT_NO_THROW(dispatch());
    EXPECT_EQ(countLinesWith(log, "! SimConnect message "), 6);
    EXPECT_EQ(countLinesWith(log, "connected"), 1); // the fixture's own opening only
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
    EXPECT_EQ(gf_userAcState().latitude, 0.0);
    EXPECT_EQ(gf_pendingSimEvents(), 0u);
}

TEST_F(DispatchTest, UnknownMessagesAreLoggedAndThoseOfNoInterestIgnored) {
    ASSERT_TRUE(inject(Record(40).done()));
    ASSERT_TRUE(inject(Record(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).u32(104).u32(100).done()));
    dispatch();
    EXPECT_TRUE(simtest::hasLine(log, "! Unknown Dispatch dwID 40"));
    EXPECT_EQ(countLinesWith(log, "Dispatch"), 1);
}

// ---- running state, new flights, the end of the simulator ----

TEST_F(Dispatch, TheSimEventSetsAndClearsTheRunningState) {
    EXPECT_TRUE(gSimRunning.load()); // answered at once on subscribing
    EXPECT_TRUE(gSimRunningShown.load());
    simWorld().setFlightRunning(false);
    dispatch();
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_FALSE(gSimRunningShown.load());
}

TEST_F(Dispatch, ANewFlightFileEndsTheRunWithNewFlightAfterTheStandIsRemembered) {
    simWorld().loadFlight("next.FLT");
    dispatch();
    EXPECT_EQ(countLinesWith(log, "SimConnect: New file event"), 1);
    EXPECT_EQ(gReservedStandUpdates.load(), 1);
    EXPECT_TRUE(gStopFlag.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::NewFlight);
    EXPECT_EQ(gf_restartDelay(), 45);
}

TEST_F(Dispatch, AFlightLoadedEventIsANewFlightAndTheFirstReasonWins) {
    gf_setExitReason(ExitReason::SimConnectError, 9);
    ASSERT_TRUE(simWorld().injectEvent("Quorvel", kSystemEventFlightLoaded, 0));
    dispatch();
    EXPECT_TRUE(simtest::hasLine(log, "SimConnect: flight loaded event"));
    EXPECT_EQ(gReservedStandUpdates.load(), 1);
    EXPECT_EQ(gf_exitReason(), ExitReason::SimConnectError);
    EXPECT_EQ(gf_restartDelay(), 9);
}

TEST_F(Dispatch, AJumpOfTheUserAircraftOfMoreThanTenMilesIsANewFlight) {
    UserAircraft user = simWorld().userAircraft();
    user.latitude += 9.9 / 60.0;
    simWorld().setUserAircraft(user);
    answerUserState();
    EXPECT_FALSE(gStopFlag.load());
    user.latitude += 10.5 / 60.0;
    simWorld().setUserAircraft(user);
    answerUserState();
    EXPECT_TRUE(simtest::hasLine(log, "Teleport"));
    EXPECT_EQ(gf_exitReason(), ExitReason::NewFlight);
    EXPECT_EQ(gf_restartDelay(), 45);
    EXPECT_NEAR(gf_userAcState().latitude, 50.0 + 20.4 / 60.0, 1e-9);
}

TEST_F(DispatchTest, TheFirstUserStateAfterStartIsNeverAJump) {
    UserAircraft user = simWorld().userAircraft();
    user.latitude = -33.9;
    user.longitude = 151.2;
    simWorld().setUserAircraft(user);
    answerUserState();
    EXPECT_FALSE(gStopFlag.load());
    EXPECT_EQ(gUserObjectId.load(), 1u);
}

class SimDispatchConcurrency : public simtest::FreshSim {};

TEST_F(SimDispatchConcurrency, ALostSimulatorEndsTheRunWithSimWasClosed) {
    testsupport::CapturedLog log;
    simWorld().startSimulator();
    simWorld().setFlightRunning(true);
    gIsMsfs2020.store(true);
    gf_reserveSimQueues();
    gf_installSimDispatch();
    std::jthread client(lf_simClientThread);
    ASSERT_TRUE(simtest::waitFor([] { return gSimRunning.load(); }));
    gf_queueAiCreate(creation("DLH1", "Airliner", 20001));
    simWorld().quitSimulator();
    client.join(); // it ends by itself
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
    EXPECT_EQ(gf_restartDelay(), 0);
    EXPECT_EQ(countLinesWith(log, " Flight Simulator no longer connected, Quorvel will stop ..."), 1);
}

TEST_F(Dispatch, QuitEndsTheRunningStateAndLeavesEveryQueue) {
    gf_queueAiCreate(creation("DLH1", "Airliner", 20001));
    gAddedObjects.push_back(500);
    gPendingCreations.push_back({7, 20002, "DLH2"});
    simWorld().quitSimulator();
    dispatch();
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_TRUE(gSimQuit.load());
    std::lock_guard guard(gSimConnectLock);
    EXPECT_EQ(gCreateQueue.size(), 1u);
    EXPECT_EQ(gAddedObjects.size(), 1u);
    EXPECT_EQ(gPendingCreations.size(), 1u);
}

TEST_F(Dispatch, ARequestThatFailsWhileTheSimulatorStaysIsAnErrorThatRestartsTheRun) {
    simWorld().failCalls("SimConnect_RequestDataOnSimObject", 1);
    gf_requestUserAcPosition();
    EXPECT_EQ(gf_exitReason(), ExitReason::SimConnectError);
    EXPECT_EQ(gf_restartDelay(), 9);
    EXPECT_EQ(gf_statusLineSnapshot().message, "SimConnect request error");
    EXPECT_EQ(countLinesWith(log, "no longer connected"), 0);
}

TEST_F(Dispatch, ARequestThatFailsAfterTheSimulatorAnnouncedItsQuitClosesTheRunAsAClosedSimulator) {
    // The quit falls between the requests and their answers: a creation waits for the Frame
    // already sent, the user position has been asked for.
    simWorld().setCreationAnswer("Airliner", CreationAnswer::Create);
    simWorld().stepFrames(1);
    gf_queueAiCreate(creation("DLH1", "Airliner", 20001));
    gf_requestUserAcPosition();
    simWorld().quitSimulator();
    gf_requestUserAcPosition();
    dispatch(); // the Frame sends the creation, then the QUIT
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_FALSE(gStopFlag.load());
    // From now on a request fails because the simulator is gone.
    gf_requestUserAcPosition();
    EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
    EXPECT_EQ(gf_restartDelay(), 0);
    EXPECT_EQ(countLinesWith(log, " Flight Simulator no longer connected, Quorvel will stop ..."), 1);
    EXPECT_NE(gf_statusLineSnapshot().message, "SimConnect request error");
}

// ---- our aircraft ----

TEST_F(Dispatch, ALiveCreationIsRecognisedByItsAtcIdReleasedFrozenAndPosted) {
    simWorld().setCreationAnswer("Airbus DLH", CreationAnswer::Create);
    simWorld().setGroundAltitude(300.0);
    AiCreateRequest request = creation("DLH4AB", "Airbus DLH", 20001);
    request.initPosition.Altitude = 1300.0;
    request.initPosition.OnGround = 0;
    const uint32_t id = createAndIdentify(request);
    ASSERT_GT(id, 1u);
    EXPECT_TRUE(gPendingCreations.empty());
    EXPECT_TRUE(gAddedObjects.empty());
    EXPECT_TRUE(simWorld().object(id)->aiReleased);
    EXPECT_EQ(simtest::callTexts({"SimConnect_AIReleaseControl"}).size(), 1u);

    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].objectId, id);
    EXPECT_EQ(events[0].key, 20001u);
    EXPECT_EQ(events[0].kind, kSimEventCreatedLive);
    EXPECT_EQ(events[0].settleCounter, 0u);
    EXPECT_EQ(events[0].value1, 0.0);
    EXPECT_DOUBLE_EQ(events[0].value2, 1000.0); // height above ground

    pump(); // the freeze events go out on the next frame
    const auto object = simWorld().object(id);
    EXPECT_TRUE(object->freezeLatLon && object->freezeAltitude && object->freezeAttitude);
}

TEST_F(Dispatch, AStaticCreationIsPostedAsStatic) {
    simWorld().setCreationAnswer("Cessna", CreationAnswer::Create);
    const uint32_t id = createAndIdentify(creation("N172SP", "Cessna", 10000));
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventCreatedStatic);
    EXPECT_EQ(events[0].objectId, id);
    EXPECT_EQ(events[0].key, 10000u);
    EXPECT_EQ(events[0].value2, 0.0);
}

TEST_F(Dispatch, ARefusedCreationPostsItsKey) {
    simWorld().setCreationAnswer("Nobody Knows", CreationAnswer::Refuse);
    gf_queueAiCreate(creation("BAW1", "Nobody Knows", 30003));
    pump(); // sent
    ASSERT_EQ(gPendingCreations.size(), 1u);
    pump(); // refused
    EXPECT_TRUE(gPendingCreations.empty());
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventCreationRefused);
    EXPECT_EQ(events[0].objectId, 0u);
    EXPECT_EQ(events[0].key, 30003u);
    EXPECT_EQ(countLinesWith(log, "SIMCONNECT_EXCEPTION"), 0);
}

TEST_F(Dispatch, TwoPendingCreationsWithOneCallsignAreMatchedOneAfterTheOther) {
    gPendingCreations.push_back({11, 20001, "DLH1"});
    gPendingCreations.push_back({12, 20002, "DLH1"});
    gAddedObjects = {300, 301};
    ASSERT_TRUE(inject(inRangeRecord(300, 0.0, 0.0, 1, "DLH1")));
    dispatch();
    ASSERT_EQ(gPendingCreations.size(), 1u);
    EXPECT_EQ(gPendingCreations[0].key, 20002u);
    ASSERT_TRUE(inject(inRangeRecord(301, 0.0, 0.0, 1, "DLH1")));
    dispatch();
    EXPECT_TRUE(gPendingCreations.empty());
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].key, 20001u);
    EXPECT_EQ(events[1].key, 20002u);
}

// ---- other aircraft ----

TEST_F(Dispatch, AnAircraftOfSomebodyElseIsLeftAloneAndLoggedOnce) {
    const uint32_t id = simWorld().addForeignAircraft("Other", "N123AB", 50.0, 8.0, 0.0, true);
    pump();
    requestInRange();
    requestInRange();
    EXPECT_EQ(countLinesWith(log, "just spawned, but not by"), 1);
    EXPECT_TRUE(
        simtest::hasLine(log, fmt::format("just spawned, but not by Quorvel, oid: {}, callsign 'N123AB', "
                                          "altaboveGnd:0 ft, onground:1, gnd_alt:0 ft",
                                          id)));
    EXPECT_FALSE(simWorld().object(id)->aiReleased);
    EXPECT_TRUE(simtest::callTexts({"SimConnect_AIReleaseControl"}).empty());
    // Known now: later answers about it are in-range data.
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventInRange);
}

TEST_F(Dispatch, AircraftOfTheSimulatorItselfAreNoticedOnceInTheWholeRun) {
    simWorld().addForeignAircraft("Asobo A", "AS-GEN", 50.0, 8.0, 0.0, true);
    simWorld().addForeignAircraft("Asobo B", "AS-GEN", 50.0, 8.0, 0.0, true);
    pump();
    requestInRange();
    EXPECT_EQ(countLinesWith(log, "Spawned by Asobo, oid: "), 1);
    EXPECT_EQ(countLinesWith(log, "This message will be logged only once..."), 1);
    EXPECT_EQ(countLinesWith(log, "just spawned"), 0);
    EXPECT_EQ(gf_pendingSimEvents(), 0u);
    EXPECT_TRUE(simtest::callTexts({"SimConnect_AIReleaseControl"}).empty());
}

TEST_F(Dispatch, InRangeDataOfKnownAircraftIsPostedUpTo2500FeetWithAnAtcId) {
    ASSERT_TRUE(inject(inRangeRecord(300, 2500.0, 120.0, 0x100000001LL, "DLH1")));
    ASSERT_TRUE(inject(inRangeRecord(301, 2600.0, 120.0, 0, "DLH2")));
    ASSERT_TRUE(inject(inRangeRecord(302, 10.0, 120.0, 1, "")));
    ASSERT_TRUE(inject(inRangeRecord(303, 10.0, 120.0, 1, "DLH3*")));
    ASSERT_TRUE(inject(inRangeRecord(1, 0.0, 120.0, 1, "D-USER"))); // the user aircraft
    // An ATC id that fills its field without an end is read as its 32 characters.
    ASSERT_TRUE(inject(inRangeRecord(304, 0.0, 120.0, 1, std::string(32, 'X'))));
    dispatch();
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].objectId, 300u);
    EXPECT_EQ(events[0].kind, kSimEventInRange);
    EXPECT_EQ(events[0].key, 1u); // the low 32 bits of the on-ground value
    EXPECT_EQ(events[0].value1, 120.0);
    EXPECT_EQ(events[0].value2, 2500.0);
    EXPECT_EQ(events[1].objectId, 304u);
}

TEST_F(Dispatch, ARemovedObjectIsPostedAndNoLongerAwaited) {
    const uint32_t id = simWorld().addForeignAircraft("Other", "N1", 50.0, 8.0, 0.0, true);
    pump();
    ASSERT_EQ(gAddedObjects.size(), 1u);
    simWorld().removeObject(id);
    pump();
    EXPECT_TRUE(gAddedObjects.empty());
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventRemoved);
    EXPECT_EQ(events[0].objectId, id);
}

// ---- exceptions ----

TEST_F(Dispatch, ExceptionsAreReportedByTheirNumber) {
    for (const DWORD e : std::initializer_list<DWORD>{
             SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS,
             SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED,
             SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, DWORD{99}})
        simWorld().injectException("Quorvel", e, 5, 0);
    dispatch();
    EXPECT_TRUE(simtest::hasLine(log, "==> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));
    EXPECT_TRUE(simtest::hasLine(log, "SimConnect: too many objects (max 1000)"));
    EXPECT_EQ(gf_statusLineSnapshot().message, "SimConnect: too many objects (max 1000)");
    EXPECT_TRUE(simtest::hasLine(log, "SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE"));
    EXPECT_TRUE(simtest::hasLine(log, "==> SimConnect exception: load flight plan failed"));
    EXPECT_TRUE(simtest::hasLine(log, "SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE"));
    EXPECT_TRUE(simtest::hasLine(log, "==> SIMCONNECT_EXCEPTION #99"));

    simWorld().injectException("Quorvel", SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 5, 7);
    try {
        dispatch();
        ADD_FAILURE() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: SimConnect Version Mismatch, dwIndex: 7");
    }
}

TEST_F(DispatchTest, AnUnrecognisedIdIsQuietBeforeTheUserPositionIsKnownAndWhileStopping) {
    simWorld().injectException("Quorvel", SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 5, 0);
    dispatch();
    answerUserState();
    gStopFlag.store(true);
    simWorld().injectException("Quorvel", SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 5, 0);
    dispatch();
    EXPECT_EQ(countLinesWith(log, "UNRECOGNIZED_ID"), 0);
}

// ---- the user aircraft ----

TEST_F(DispatchTest, OnGroundAnswersCountSecondsAndSetTheFlagOnceThePositionIsKnown) {
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, kRequestUserOnGround, kDefUserOnGround,
                                                SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND, 0, 0, 0,
                                                0),
              S_OK);
    simWorld().stepSeconds(1);
    dispatch();
    EXPECT_TRUE(gSimSecond.exchange(false));
    EXPECT_EQ(gf_userPositionRecord().onGroundKnown, 0);

    answerUserState();
    simWorld().stepSeconds(1);
    dispatch();
    EXPECT_TRUE(gSimSecond.load());
    EXPECT_EQ(gf_userPositionRecord().onGroundKnown, 1);
    EXPECT_EQ(gf_userPositionRecord().onGround, 1);
}

TEST_F(DispatchTest, TheUserStateIsTheWholeBlockWithoutANegativeAltitude) {
    UserAircraft user = simWorld().userAircraft();
    user.altitudeFeet = -20.0;
    user.heading = 1.5;
    simWorld().setUserAircraft(user);
    simWorld().setZuluTime(1767225600 + 3600 * 13 + 42); // 2026-01-01 13:00:42
    answerUserState();
    const UserAcState state = gf_userAcState();
    EXPECT_EQ(state.latitude, 50.0);
    EXPECT_EQ(state.heading, 1.5);
    EXPECT_EQ(state.altitude, 0.0);
    EXPECT_EQ(state.zuluTime, 3600 * 13 + 42);
    EXPECT_EQ(state.zuluDayOfYear, 1);
    EXPECT_EQ(state.zuluYear, 2026);
    EXPECT_GT(state.temperature, 500.0);
    // The simulator's time is kept whoever reads it; only the professional edition is sent it.
    EXPECT_EQ(gf_simUtcTime(), std::optional<int64_t>(1767225600 + 3600 * 13 + 42));
}

TEST_F(DispatchTest, TheSimulatorsUtcTimeFollowsItsCalendar) {
    EXPECT_FALSE(gf_simUtcTime().has_value()); // not known before the first answer
    for (const int64_t t : {int64_t{42}, int64_t{86400 + 42}, int64_t{951782400} /* 2000-02-29 */,
                            int64_t{1735603200 + 86399} /* 2024-12-31 23:59:59 */, int64_t{1767225600}}) {
        simWorld().setZuluTime(t);
        answerUserState();
        EXPECT_EQ(gSimUtcTime.load(), t);
        EXPECT_EQ(gf_simUtcTime(), std::optional<int64_t>(t));
    }
}

TEST_F(DispatchTest, TheStandTheUserAircraftStandsOnIsShown) {
    gf_setStandNameFinder(
        [](double latitude, double) -> std::string { return latitude < 50.001 ? "A12" : ""; });
    answerUserState();
    EXPECT_EQ(gf_userStandName(), "A12");
    EXPECT_EQ(gf_userStandText(), "A12");
    UserAircraft user = simWorld().userAircraft();
    user.latitude = 50.01;
    simWorld().setUserAircraft(user);
    answerUserState();
    EXPECT_EQ(gf_userStandName(), "");
    EXPECT_EQ(gf_userStandText(), "");
}

TEST_F(DispatchTest, TitleAndModelAnswersReachTheUserAircraftData) {
    UserAircraft user = simWorld().userAircraft();
    user.title = std::string(60, 'T');
    user.atcModel = "";
    simWorld().setUserAircraft(user);
    gf_requestUserAcTitleModel();
    pump();
    EXPECT_EQ(gf_userAcTitle(), std::string(48, 'T'));
    EXPECT_EQ(gf_userAcText(), "Unknown (encrypted?) aircraft"); // the empty model came after the title
    EXPECT_TRUE(gf_userAcHalfSpan().has_value());
}

} // namespace

namespace {

TEST_F(DispatchTest, TheCleanUpBeforeARestartForgetsWhatTheRunLearned) {
    gf_setStandNameFinder([](double, double) -> std::string { return "B7"; });
    gRealTrafficProfessional.store(true);
    simWorld().setZuluTime(1767225600);
    auto user = simWorld().userAircraft();
    user.title = "Airliner One";
    simWorld().setUserAircraft(user);
    gf_requestUserAcTitleModel();
    answerUserState();
    ASSERT_EQ(gf_userStandName(), "B7");
    ASSERT_NE(gSimUtcTime.load(), 0);

    gf_resetSimDispatchState();
    gf_resetUserAircraftData();
    gf_resetSimStatusTexts();
    EXPECT_EQ(gf_userStandName(), "");
    EXPECT_EQ(gSimUtcTime.load(), 0);
    EXPECT_FALSE(gf_simUtcTime().has_value());
    EXPECT_FALSE(gSimSecond.load());
    EXPECT_EQ(gf_userAcTitle(), "");
    EXPECT_FALSE(gf_userAcHalfSpan().has_value());
    EXPECT_EQ(gf_userAcState().latitude, 0.0);
    EXPECT_EQ(gf_simulatorText(), "");
    EXPECT_EQ(gf_userAcText(), "");
    EXPECT_EQ(gf_userStandText(), "");
    // The previous position is forgotten too: the next run's first answer is no jump.
    user.latitude = 10.0;
    simWorld().setUserAircraft(user);
    answerUserState();
    EXPECT_FALSE(gStopFlag.load());
}

// ---- creations that never become a recognised object ----

TEST_F(Dispatch, AnObjectRemovedBeforeItWasRecognisedTellsItsAircraftsKey) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    gf_queueAiCreate(creation("DLH9", "Airbus", 20009));
    pump(2); // sent, then the object appears and its id is assigned to the creation
    ASSERT_EQ(gPendingCreations.size(), 1u);
    const uint32_t id = gPendingCreations[0].objectId;
    ASSERT_GT(id, 1u);
    ASSERT_TRUE(simWorld().removeObject(id)); // before any by-type answer
    pump();
    EXPECT_TRUE(gPendingCreations.empty());
    EXPECT_TRUE(gAddedObjects.empty());
    auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventRemoved);
    EXPECT_EQ(events[0].objectId, id);
    EXPECT_EQ(events[0].key, 20009u);

    // A recognised object's removal carries its key as well; somebody else's carries none.
    const uint32_t ours = createAndIdentify(creation("DLH10", "Airbus", 20010));
    const uint32_t foreign = simWorld().addForeignAircraft("Other", "N1", 50.0, 8.0, 0.0, true);
    pump();
    takeEvents();
    simWorld().removeObject(ours);
    simWorld().removeObject(foreign);
    pump();
    events = takeEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].objectId, ours);
    EXPECT_EQ(events[0].key, 20010u);
    EXPECT_EQ(events[1].objectId, foreign);
    EXPECT_EQ(events[1].key, 0u);
    EXPECT_TRUE(gOwnObjects.empty());
}

TEST_F(Dispatch, ACreationNeverSeenInRangeIsGivenUpAndItsObjectRemoved) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    AiCreateRequest far = creation("KLM77", "Boeing", 20077);
    far.initPosition.Latitude = 51.0; // 60 NM from the user aircraft, beyond the range asked for
    gf_queueAiCreate(far);
    pump(2);
    const uint32_t id = gPendingCreations.at(0).objectId;
    const auto sent = gPendingCreations.at(0).sentAt;
    requestInRange();
    EXPECT_TRUE(takeEvents().empty());
    // The bound is a time, whatever the frame rate: a busy simulator loading a model may take most
    // of a minute; a minute old is not yet too old, a moment more is, at the first frame after it.
    lf_expirePendingCreations(sent + std::chrono::seconds(60));
    EXPECT_EQ(gPendingCreations.size(), 1u);
    EXPECT_TRUE(takeEvents().empty());
    lf_expirePendingCreations(sent + std::chrono::seconds(60) + std::chrono::milliseconds(1));
    EXPECT_TRUE(gPendingCreations.empty());
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventRemoved);
    EXPECT_EQ(events[0].key, 20077u);
    EXPECT_EQ(events[0].objectId, id);
    EXPECT_EQ(countLinesWith(log, "KLM77    not seen 60 seconds after its creation, given up"), 1);
    pump(2); // the removal goes out and takes effect
    EXPECT_FALSE(simWorld().object(id).has_value());
    takeEvents();

    // A creation whose object never came at all is given up the same way, without a removal.
    simWorld().setDefaultCreationAnswer(CreationAnswer::Ignore);
    gf_queueAiCreate(creation("KLM78", "Boeing", 20078));
    pump();
    ASSERT_EQ(gPendingCreations.size(), 1u);
    lf_expirePendingCreations(gPendingCreations[0].sentAt + kPendingCreationMaxAge + std::chrono::seconds(1));
    pump();
    const auto silent = takeEvents();
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_EQ(silent[0].key, 20078u);
    EXPECT_EQ(silent[0].objectId, 0u);
    EXPECT_TRUE(simtest::callTexts({"SimConnect_AIRemoveObject"}).size() == 1u);
}

TEST_F(Dispatch, ACallsignLongerThanTheSimulatorKeepsIsRecognisedByWhatItKeeps) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    const std::string callsign = "VERYLONGCALLSIGN-0123456789-ABCDEFGHIJ"; // 38 bytes
    const uint32_t id = createAndIdentify(creation(callsign, "Airbus", 20111));
    ASSERT_GT(id, 1u);
    EXPECT_TRUE(gPendingCreations.empty());
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventCreatedLive);
    EXPECT_EQ(events[0].key, 20111u);
}

TEST_F(Dispatch, TheSimulatorsObjectLimitEndsTheCreationWithoutBlamingTheLivery) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    simWorld().setObjectLimit(0);
    gf_queueAiCreate(creation("SAS5", "Airbus", 20005));
    pump(2);
    EXPECT_TRUE(gPendingCreations.empty());
    const auto events = takeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, kSimEventRemoved); // not a refused title
    EXPECT_EQ(events[0].key, 20005u);
    EXPECT_EQ(gf_statusLineSnapshot().message, "SimConnect: too many objects (max 1000)");
}

} // namespace
