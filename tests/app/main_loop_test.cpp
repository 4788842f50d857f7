// The main loop: its schedule, the periodic work keyed to simulator seconds, the not-running
// tick, and the requests it serves.

#include <set>

#include "app/app_test_support.hpp"
#include "app/main_window.hpp"
#include "links/sim_dispatch.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_intake.hpp"
#include "platform/win32/timer_resolution.hpp"
#include "traffic/live_traffic.hpp"

using namespace tamrix;
using apptest::contains;
using apptest::countOf;
using Clock = TickSchedule::Clock;
using std::chrono::milliseconds;

namespace {

TEST(MainLoopPeriods, SecondsThatAreMultiplesOfFiveGoToTheFiveSecondBranch) {
    std::set<int> park, watchdog, duplicates;
    for (int s = 1; s <= 400; ++s) {
        const PeriodicWork w = lf_periodicWork(s);
        if (w.parkAirportTick) park.insert(s);
        if (w.readerWatchdog) watchdog.insert(s);
        if (w.staticDuplicates) duplicates.insert(s);
        EXPECT_EQ(w.fiveSeconds, s % 5 == 0);
        EXPECT_EQ(w.halfMinute, s % 30 == 0);
    }
    EXPECT_TRUE(park.contains(16) && park.contains(96));
    EXPECT_FALSE(park.contains(80) || park.contains(160) || park.contains(240));
    EXPECT_TRUE(watchdog.contains(59) && watchdog.contains(118));
    EXPECT_FALSE(watchdog.contains(295));
    EXPECT_TRUE(duplicates.contains(61));
    EXPECT_FALSE(duplicates.contains(305));
    EXPECT_TRUE(lf_periodicWork(1200).twentyMinutes);
    EXPECT_TRUE(lf_periodicWork(86400).daily);
    EXPECT_FALSE(lf_periodicWork(43200).daily);
}

TEST(MainLoopSchedule, LateTicksAreSkippedNotCaughtUpAndSecondsReanchor) {
    const Clock::time_point t0{};
    TickSchedule schedule(t0);
    EXPECT_EQ(schedule.target(t0 + milliseconds(3)), t0 + milliseconds(10));
    // A tick that returns 150 ms late: the next one is 10 ms after now.
    const auto late = t0 + milliseconds(160);
    EXPECT_EQ(schedule.target(late), late + milliseconds(10));
    // Up to 100 ms late the deadline stands.
    EXPECT_EQ(schedule.target(t0 + milliseconds(105)), t0 + milliseconds(10));
    // Less than one whole millisecond ahead is not worth a sleep.
    EXPECT_FALSE(TickSchedule::worthSleeping(t0 + std::chrono::microseconds(900), t0));
    EXPECT_TRUE(TickSchedule::worthSleeping(t0 + milliseconds(2), t0));
    schedule.tickStarts(t0 + milliseconds(10), t0 + milliseconds(11), false);
    EXPECT_EQ(schedule.deadline(), t0 + milliseconds(20));
    // A simulator second about to be handled re-anchors the schedule on now.
    schedule.tickStarts(t0 + milliseconds(20), t0 + milliseconds(23), true);
    EXPECT_EQ(schedule.deadline(), t0 + milliseconds(33));
}

class MainLoop : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        gSimRunning = true;
        gSimConnectError = false;
        gf_liveTrafficHooks().handleAddingStack = [this] { ++ticks_; };
        gf_airportHooks().parkAirportTick = [this](bool first) {
            if (!first) parkTicks_.push_back(gSecondsCounter.load());
        };
    }
    // One tick that sees a simulator second.
    bool second() {
        gSimSecond = true;
        return lf_mainTick();
    }

    int ticks_ = 0;
    std::vector<int> parkTicks_;
};

TEST_F(MainLoop, PeriodicWorkFollowsSimulatorSecondsOnly) {
    // Ticks without an on-ground answer drive live traffic but no periodic work.
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(lf_mainTick());
    EXPECT_EQ(ticks_, 50);
    EXPECT_EQ(gSecondsCounter, 0);
    for (int s = 1; s <= 160; ++s)
        ASSERT_TRUE(second());
    EXPECT_EQ(gSecondsCounter, 160);
    EXPECT_EQ(parkTicks_, (std::vector<int>{16, 32, 48, 64, 96, 112, 128, 144}));
}

TEST_F(MainLoop, AMessageStaysTwentyFiveSimulatorSeconds) {
    gf_setStatusSecondsClock(10);
    gf_setStatusLine("Community path found", false);
    ASSERT_EQ(gf_statusLineSnapshot().stamp, 10u);
    for (uint32_t s = 1; s < 25; ++s)
        second();
    EXPECT_EQ(gf_statusLineSnapshot().message, "Community path found");
    second();
    EXPECT_EQ(gf_statusLineSnapshot().message, "");
}

TEST_F(MainLoop, TheDailyWorkStartsTheCounterAgain) {
    gSecondsCounter = 86399;
    int liveryMemoryCleared = 0;
    gf_liveTrafficHooks().clearLiveryMemory = [&] { ++liveryMemoryCleared; };
    second();
    EXPECT_EQ(gSecondsCounter, 0);
    EXPECT_EQ(liveryMemoryCleared, 1);
    second();
    EXPECT_EQ(gSecondsCounter, 1);
}

TEST_F(MainLoop, FlightNotRunningIsLoggedOnceAndResumesAtTheNextSecond) {
    int simEvents = 0;
    gf_liveTrafficHooks().processSimEvents = [&] { ++simEvents; };
    gSimRunning = false;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(lf_mainTick());
    EXPECT_EQ(simEvents, 5);
    EXPECT_EQ(ticks_, 0);
    EXPECT_FALSE(gf_trafficGateOpen());
    gSimRunning = true;
    second();
    EXPECT_TRUE(gf_trafficGateOpen());
    const auto log = logLines();
    std::size_t notRunning = 0, resumed = 0;
    for (const auto& line : log) {
        notRunning += line.ends_with(" Flight not running") ? 1 : 0;
        resumed += line.ends_with(" Flight resumed") ? 1 : 0;
    }
    EXPECT_EQ(notRunning, 1u);
    EXPECT_EQ(resumed, 1u);
    // A stop ends the loop on either path, also while the simulator runs without sending seconds.
    gf_setUserClosed();
    EXPECT_FALSE(lf_mainTick());
    gSimRunning = false;
    EXPECT_FALSE(lf_mainTick());
}

TEST_F(MainLoop, TheTwentyMinuteRenewalIsAnnouncedAndTheCountsFollowWhileTheFlightIsPaused) {
    gf_airportHooks().parkAirportLoaded = [] { return true; };
    gf_airportHooks().staticParkingBusy = [] { return false; };
    gMinutesToStaticUpdate = 1;
    gSecondsCounter = 59;
    second();
    EXPECT_TRUE(gStaticParkingUpdateRequest.load());
    EXPECT_EQ(gf_statusLineSnapshot().message, "Quorvel will update static parking in 15 seconds ...");
    EXPECT_EQ(gMinutesToStaticUpdate.load(), 20);

    // A paused flight still shows how many aircraft are there.
    LiveAircraft moving;
    moving.state = LiveState::Active;
    moving.phase = MovePhase::Flying;
    gLiveAircraft = {moving};
    gSimRunning = false;
    for (int i = 0; i < 100; ++i)
        lf_mainTick();
    EXPECT_EQ(gf_mainWindowState().liveCountShown.load(), 1u);
    gLiveAircraft.clear();
    gf_resetMainWindowState();
}

TEST_F(MainLoop, TheStaticCountdownAndTheAircraftListGoOnceASimulatorMinute) {
    OBJECTID_LIST.current = true;
    const std::filesystem::path list = gf_paths().objectIdListPath;
    std::filesystem::create_directories(list.parent_path());
    gMinutesToStaticUpdate = 20;
    for (int s = 1; s <= 120; ++s) {
        second();
        EXPECT_EQ(std::filesystem::exists(list), s % 60 == 0) << s;
        std::filesystem::remove(list);
        EXPECT_EQ(gMinutesToStaticUpdate.load(), 20 - s / 60) << s;
    }
}

TEST_F(MainLoop, AnObjectIdRequestFindsTheAircraftOrSaysItHasLeft) {
    std::optional<uint32_t> answer;
    gf_liveTrafficHooks().activeLiveObjectId = [&](const std::string&) { return answer; };
    gObjectIdRequest = true;
    second();
    EXPECT_TRUE(gObjectIdLookupPending);
    second();
    EXPECT_EQ(gf_objectIdLabel(), "has left");
    answer = 4711;
    gObjectIdLookupPending = true;
    second();
    EXPECT_EQ(gf_objectIdLabel(), "= 4711");
    EXPECT_EQ(gSelectedObjectId, 4711u);
}

TEST_F(MainLoop, BlockAndFlushRequestsAreTakenOnce) {
    std::vector<std::string> removed;
    gf_liveTrafficHooks().removeAircraftFromSim = [&](const std::string& cs) {
        removed.push_back(cs);
        return true;
    };
    int flushed = 0;
    gf_airportHooks().removeAllStaticAc = [&] { ++flushed; };
    BLOCK_CALLSIGN.current.set("DLH4TX");
    gBlockRequest = true;
    gFlushStaticRequest = true;
    second();
    second();
    EXPECT_EQ(removed, std::vector<std::string>{"DLH4TX"});
    EXPECT_EQ(flushed, 1);
    // No new static parking follows a flush.
    EXPECT_TRUE(INITIAL_LOAD_ONLY.current);
}

TEST_F(MainLoop, TheLoopRunsOnItsOwnClockUntilStoppedAndGivesTheTimerBack) {
    Clock::time_point now{};
    std::vector<Clock::time_point> sleeps;
    gf_setLoopClock({[&] { return now; },
                     [&](Clock::time_point until) {
                         sleeps.push_back(until);
                         now = until;
                     }});
    gf_liveTrafficHooks().handleAddingStack = [&] {
        if (++ticks_ == 20) now += milliseconds(150); // one stalled tick
        if (ticks_ == 40) gf_setUserClosed();
        gSimSecond = ticks_ % 10 == 0;
    };
    lf_mainLoop();
    EXPECT_EQ(platform::win32::activeTimerPeriods(), 0);
    ASSERT_GE(sleeps.size(), 30u);
    // Every tick 10 ms after the one before, except after the stall: the next tick comes 10 ms
    // after the stalled one ended, with no burst of catch-up ticks.
    std::vector<Clock::duration> gaps;
    for (std::size_t i = 1; i < sleeps.size(); ++i)
        if (sleeps[i] - sleeps[i - 1] != milliseconds(10)) gaps.push_back(sleeps[i] - sleeps[i - 1]);
    EXPECT_EQ(gaps, std::vector<Clock::duration>{milliseconds(160)});
}

} // namespace
