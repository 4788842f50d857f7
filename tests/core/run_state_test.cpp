#include "core/run_state.hpp"

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/exit_reason_watch.hpp"

using namespace tamrix;

TEST(ExitReason, TextsOfTheTable) {
    EXPECT_EQ(gf_exitReasonText(ExitReason::NotYetSet), "NOT YET SET");
    EXPECT_EQ(gf_exitReasonText(ExitReason::SimWasClosed), "SIM WAS CLOSED");
    EXPECT_EQ(gf_exitReasonText(ExitReason::NewFlight), "NEW FLIGHT");
    EXPECT_EQ(gf_exitReasonText(ExitReason::NewSettings), "NEW SETTINGS");
    EXPECT_EQ(gf_exitReasonText(ExitReason::UserClosedSim), "USER CLOSED SIM");
    EXPECT_EQ(gf_exitReasonText(ExitReason::SimConnectError), "SIMCONNECT ERROR");
    EXPECT_EQ(gf_exitReasonText(ExitReason::ReaderError), "READER ERROR");
    EXPECT_EQ(gf_exitReasonText(ExitReason::SystemError), "SYSTEM ERROR");
    EXPECT_EQ(gf_exitReasonText(ExitReason::NewVersion), "NEW VERSION");
    EXPECT_THROW(gf_exitReasonText(9), std::out_of_range);
}

TEST(ExitReason, FirstSetterWinsWithItsDelay) {
    EXPECT_TRUE(gf_setExitReason(ExitReason::ReaderError, 15));
    EXPECT_FALSE(gf_setExitReason(ExitReason::SimConnectError, 9));
    EXPECT_TRUE(gStopFlag);
    EXPECT_EQ(gf_exitReason(), ExitReason::ReaderError);
    EXPECT_EQ(gf_restartDelay(), 15);

    // The close button only stores its reason while none is set.
    gf_setUserClosed();
    EXPECT_TRUE(gClosingFlag);
    EXPECT_EQ(gf_exitReason(), ExitReason::ReaderError);

    gf_resetRunState();
    EXPECT_FALSE(gStopFlag);
    EXPECT_FALSE(gClosingFlag);
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
    gf_setUserClosed();
    EXPECT_EQ(gf_exitReason(), ExitReason::UserClosedSim);

    // The start-up thread's catch blocks store their reason regardless.
    gf_forceExitReason(ExitReason::SystemError, 0);
    EXPECT_EQ(gf_exitReason(), ExitReason::SystemError);
}

TEST(ExitReasonConcurrency, ExactlyOneOfManySettersWins) {
    std::vector<std::thread> threads;
    std::atomic<int> winners{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &winners] {
            const auto reason = t % 2 ? ExitReason::ReaderError : ExitReason::SimConnectError;
            if (gf_setExitReason(reason, t % 2 ? 15 : 9)) ++winners;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(winners, 1);
    // The delay always belongs to the stored reason.
    EXPECT_EQ(gf_restartDelay(), gf_exitReason() == ExitReason::ReaderError ? 15 : 9);
}

// Whoever sees the run stop, or the window closed, finds why: the reason is there before either
// flag. A watcher waits for the flags and reads the reason at once, many times over.
TEST(ExitReasonConcurrency, TheReasonIsThereWhenTheFlagsAreSeen) {
    const auto watch = [](const std::function<void()>& setter, ExitReason expected) {
        return testsupport::reasonsMissedWhenTheFlagsAreSeen(setter, expected, 2000);
    };
    EXPECT_EQ(watch([] { gf_setUserClosed(); }, ExitReason::UserClosedSim), 0);
    EXPECT_EQ(watch([] { gf_setExitReason(ExitReason::ReaderError, 15); }, ExitReason::ReaderError), 0);
    gf_resetRunState();
}
