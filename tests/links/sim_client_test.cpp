#include "links/simconnect_client.hpp"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/status_line.hpp"
#include "core/user_error.hpp"
#include "links/reserved_stand.hpp"
#include "links/sim_test_support.hpp"
#include "platform/win32/timer_resolution.hpp"

using namespace tamrix;
using namespace simtest;

namespace {

std::atomic<int> gReservedStandUpdates{0};
std::atomic<int> gVersionSwitches{0};

class SimClient : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        simWorld().reset(); // the simulator is not there yet
        gReservedStandUpdates = 0;
        gVersionSwitches = 0;
        gf_setSimDispatch(TestDispatch::dispatch);
        gf_setReservedStandUpdater([] { ++gReservedStandUpdates; });
        gf_setSimVersionSwitcher([] { ++gVersionSwitches; });
    }

    static bool connected() {
        const auto names = simWorld().connections();
        return gSimConnect.load() != nullptr && names.size() == 1 && names[0] == "Quorvel";
    }

    // Starts the thread against a simulator that is there, and waits for the connection.
    std::jthread startConnected() {
        simWorld().startSimulator();
        std::jthread client(lf_simClientThread);
        EXPECT_TRUE(waitFor(connected));
        return client;
    }

    // Runs the thread against a simulator that is there until it ends by itself.
    static void runUntilItEnds() {
        simWorld().startSimulator();
        std::jthread client(lf_simClientThread);
        client.join();
    }
};

TEST_F(SimClient, RetriesWhileTheSimulatorIsAwayAndConnectsOnceItRuns) {
    std::jthread client(lf_simClientThread);
    ASSERT_TRUE(waitFor([] { return simWorld().callsOf("SimConnect_Open").size() >= 3; }));
    EXPECT_EQ(gSimConnect.load(), nullptr);
    EXPECT_EQ(gf_statusLineSnapshot().message, "Waiting for MSFS 2020 ...");

    simWorld().startSimulator();
    ASSERT_TRUE(waitFor(connected));
    const auto opens = simWorld().callsOf("SimConnect_Open");
    EXPECT_LT(opens.front().result, 0);
    EXPECT_EQ(opens.back().result, S_OK);
    EXPECT_EQ(opens.back().args, "Quorvel,0");
    EXPECT_EQ(simWorld().callsOf("SimConnect_SubscribeToSystemEvent").size(), 5u);
    EXPECT_TRUE(waitFor([] { return platform::win32::activeTimerPeriods() == 1; }));

    // The dispatch runs: the "Sim" event of a running flight reaches the handler.
    simWorld().setFlightRunning(true);
    ASSERT_TRUE(waitFor([] { return gSimRunning.load(); }));

    client.request_stop();
    client.join(); // the stop wakes its pause between dispatches; a thread that missed it would hang here
    EXPECT_EQ(gSimConnect.load(), nullptr);
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_TRUE(simWorld().connections().empty());
    EXPECT_EQ(platform::win32::activeTimerPeriods(), 0);
    EXPECT_EQ(gReservedStandUpdates.load(), 1);

    // One waiting message in the whole wait, then the close.
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], " ");
    EXPECT_EQ(lines[1], "Waiting for MSFS 2020 ...");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Waiting for MSFS 2020 ..."), 1);
    EXPECT_EQ(lines.back(), "SimConnect closed ok");
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
}

TEST_F(SimClient, TheConnectionIsPublishedOnlyAfterItsVocabularyIsRegistered) {
    std::jthread client(lf_simClientThread);
    ASSERT_TRUE(waitFor([] { return !simWorld().callsOf("SimConnect_Open").empty(); }));
    LockHolder holder; // from now on publishing the connection waits for the SimConnect lock
    simWorld().startSimulator();
    ASSERT_TRUE(waitFor([] { return !simWorld().callsOf("SimConnect_SetNotificationGroupPriority").empty(); }));
    EXPECT_EQ(gSimConnect.load(), nullptr);
    EXPECT_EQ(simWorld().callsOf("SimConnect_SubscribeToSystemEvent").size(), 5u);
    holder.release();
    ASSERT_TRUE(waitFor(connected));
    client.request_stop();
}

TEST_F(SimClient, TheWaitingMessageNamesTheChosenSimulator) {
    gIsMsfs2020.store(false);
    std::jthread client(lf_simClientThread);
    ASSERT_TRUE(waitFor([] { return !simWorld().callsOf("SimConnect_Open").empty(); }));
    client.request_stop();
    client.join();
    EXPECT_TRUE(hasLine(log, "Waiting for MSFS 2024 ..."));
}

TEST_F(SimClient, AStopRequestWhileWaitingEndsTheThreadPromptlyWithoutAnotherMessage) {
    std::jthread client(lf_simClientThread);
    ASSERT_TRUE(waitFor([] { return !simWorld().callsOf("SimConnect_Open").empty(); }));
    client.request_stop();
    client.join(); // the stop wakes its pause between attempts
    EXPECT_EQ(log.lines(), (std::vector<std::string>{" ", "Waiting for MSFS 2020 ..."}));
}

TEST_F(SimClient, TheStopOrClosingFlagEndsTheWaitBeforeTheNextAttempt) {
    gClosingFlag.store(true);
    simWorld().startSimulator();
    std::jthread client(lf_simClientThread);
    client.join();
    EXPECT_TRUE(simWorld().callsOf("SimConnect_Open").empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(SimClient, TheExitClosesTheConnectionOnlyInsideTheSimConnectLock) {
    std::jthread client = startConnected();
    {
        LockHolder holder;
        client.request_stop();
        // The thread has left its loop but must wait for the lock before it lets go.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_NE(gSimConnect.load(), nullptr);
        EXPECT_EQ(simWorld().connections().size(), 1u);
    }
    client.join();
    EXPECT_EQ(gSimConnect.load(), nullptr);
    EXPECT_TRUE(simWorld().connections().empty());
}

TEST_F(SimClient, ASimulatorThatQuitsEndsTheRunWithSimWasClosed) {
    std::jthread client = startConnected();
    simWorld().setFlightRunning(true);
    ASSERT_TRUE(waitFor([] { return gSimRunning.load(); }));
    simWorld().quitSimulator();
    client.join(); // it ends by itself
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
    EXPECT_EQ(gf_restartDelay(), 0);
    bool logged = false;
    for (const auto& line : log.lines())
        logged = logged || line.ends_with(" Flight Simulator no longer connected, Quorvel will stop ...");
    EXPECT_TRUE(logged);
}

TEST_F(SimClient, AVersionMismatchSwitchesToTheOtherSimulator) {
    TestDispatch::onOpen = [] { throw UserErrorException(2024, ""); };
    runUntilItEnds();
    TestDispatch::onOpen = nullptr;
    EXPECT_TRUE(hasLine(log, "MSFS and Quorvel do not match, restarting ..."));
    EXPECT_EQ(gVersionSwitches.load(), 1);
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
    EXPECT_TRUE(hasLine(log, "SimConnect closed ok"));
}

TEST_F(SimClient, AMismatchWithoutASwitcherEndsTheRunAsALostSimulator) {
    gf_setSimVersionSwitcher(nullptr);
    TestDispatch::onOpen = [] { throw UserErrorException(2024, ""); };
    runUntilItEnds();
    TestDispatch::onOpen = nullptr;
    EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
}

TEST_F(SimClient, AForeignApplicationShowsItsErrorAndEndsTheThreadWithoutAnExitReason) {
    TestDispatch::onOpen = [] {
        throw UserErrorException(77, "'Foo' not being MSFS 2020 or MSFS 2024 connects ... ?");
    };
    simWorld().setFlightRunning(true);
    runUntilItEnds();
    TestDispatch::onOpen = nullptr;
    EXPECT_EQ(gf_statusLineSnapshot().error, "77: 'Foo' not being MSFS 2020 or MSFS 2024 connects ... ?");
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
    EXPECT_FALSE(gStopFlag.load());
    // The connection is gone, so nothing runs any more.
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_EQ(gVersionSwitches.load(), 0);
}

TEST_F(SimClient, AnUnexpectedExceptionIsShownAndEndsTheRunAsALostSimulator) {
    TestDispatch::onOpen = [] { throw std::runtime_error("handler broke"); };
    runUntilItEnds();
    TestDispatch::onOpen = nullptr;
    EXPECT_EQ(gf_statusLineSnapshot().error, "handler broke");
    EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
}

TEST_F(SimClient, AnythingElseThrownIsShownAsAnExceptionInSimClient) {
    TestDispatch::onOpen = [] { throw 42; };
    runUntilItEnds();
    TestDispatch::onOpen = nullptr;
    EXPECT_EQ(gf_statusLineSnapshot().error, "Exception in SimClient");
    EXPECT_EQ(gf_exitReason(), ExitReason::SimWasClosed);
}

TEST_F(SimClient, WithoutADispatchHandlerTheThreadEndsWithAnError) {
    gf_setSimDispatch(nullptr);
    runUntilItEnds();
    EXPECT_EQ(gf_statusLineSnapshot().error, "no handler for the simulator's messages");
    EXPECT_TRUE(simWorld().connections().empty());
}

TEST_F(SimClient, ARequestErrorStopsTheRunWithSimConnectErrorAndTheFirstReasonWins) {
    gf_simConnectRequestError();
    EXPECT_EQ(gf_statusLineSnapshot().message, "SimConnect request error");
    EXPECT_TRUE(hasLine(log, "SimConnect request error"));
    EXPECT_TRUE(gSimConnectError.load());
    EXPECT_TRUE(gStopFlag.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::SimConnectError);
    EXPECT_EQ(gf_restartDelay(), 9);

    gf_resetRunState();
    gf_setExitReason(ExitReason::NewFlight, 45);
    gf_simConnectRequestError();
    EXPECT_EQ(gf_exitReason(), ExitReason::NewFlight);
    EXPECT_EQ(gf_restartDelay(), 45);
}

TEST_F(SimClient, ClosingReportsAFailedCloseAndForgetsTheHandleEitherWay) {
    simWorld().startSimulator();
    HANDLE handle = nullptr;
    ASSERT_EQ(SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
    simWorld().failCalls("SimConnect_Close", 1);
    lf_closeSimConnect(handle);
    EXPECT_EQ(handle, nullptr);
    lf_closeSimConnect(handle); // nothing for a null handle
    EXPECT_EQ(log.lines(), std::vector<std::string>{"==> Closing SimConnect failed?!"});
}

TEST_F(SimClient, TheResetBeforeARestartClearsTheConnectionState) {
    gUserObjectId.store(77);
    gSimRunning.store(true);
    gSimConnectError.store(true);
    gSimQuit.store(true);
    gf_resetSimClientState();
    EXPECT_EQ(gUserObjectId.load(), 0u);
    EXPECT_FALSE(gSimRunning.load());
    EXPECT_FALSE(gSimQuit.load());
    EXPECT_FALSE(gSimConnectError.load());
    EXPECT_EQ(gSimConnect.load(), nullptr);
}

class ReservedStand : public simtest::FreshSim {};

TEST_F(ReservedStand, TheUpdaterOfTheAirportsSideRunsWhenInstalled) {
    gf_updateReservedStand(); // nothing installed: nothing to do
    static int calls = 0;
    gf_setReservedStandUpdater([] { ++calls; });
    gf_updateReservedStand();
    EXPECT_EQ(calls, 1);
    gf_setReservedStandUpdater(nullptr);
    gf_updateReservedStand();
    EXPECT_EQ(calls, 1);
}

} // namespace
