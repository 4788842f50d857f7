#pragma once
// The main loop of a run: a 10 ms tick against a steady-clock deadline that drives live traffic
// while the simulator runs, and after each simulator second the periodic work of live traffic,
// the airports side and the window. Periods count simulator seconds (answers of the
// once-per-second on-ground request), never wall-clock seconds.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "traffic/aircraft_list_file.hpp" // gSelectedObjectId, which the lookup sets

namespace tamrix {

// ---- requests from the window thread, taken by exchange in the periodic work ----
extern std::atomic<bool> gStaticParkingUpdateRequest;
extern std::atomic<bool> gRereadRequest;
extern std::atomic<bool> gFlushStaticRequest;
extern std::atomic<bool> gObjectIdRequest;
extern std::atomic<bool> gObjectIdLookupPending;
extern std::atomic<bool> gBlockRequest;
extern std::atomic<bool> gMatchingDepthRaised;

// Simulator seconds since the loop started (0 again after the daily work).
extern std::atomic<int32_t> gSecondsCounter;
// Minutes until the next static-parking update (counts down from 20).
extern std::atomic<int32_t> gMinutesToStaticUpdate;
// "= {id}" or "has left" beside the callsign selection; empty otherwise.
std::string gf_objectIdLabel();
// A new callsign selection: the label waits for its lookup.
void gf_clearObjectIdLabel();

// The current time slot: weekday 1 (Monday) .. 7 and half-hour slot 0 .. 47.
std::pair<int32_t, int32_t> gf_currentTimeSlot();
void gf_refreshTimeSlot();

// Which periodic work a simulator second s (the counter's new value) runs; the 16-, 59- and
// 61-second steps only on seconds that are not multiples of 5.
struct PeriodicWork {
    bool parkAirportTick = false;  // every 16 s
    bool readerWatchdog = false;   // every 59 s
    bool staticDuplicates = false; // every 61 s
    bool fiveSeconds = false;
    bool fifteenSeconds = false;
    bool halfMinute = false;
    bool minute = false;
    bool twentyMinutes = false;
    bool daily = false;
};
PeriodicWork lf_periodicWork(int32_t seconds);

// The tick schedule: deadlines 10 ms apart; a deadline more than 100 ms in the past is not
// caught up (the next tick is 10 ms after now), and the schedule is re-anchored on the moment a
// simulator second is about to be handled.
class TickSchedule {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kPeriod{10};
    static constexpr std::chrono::milliseconds kMaxLateness{100};

    explicit TickSchedule(Clock::time_point start) : m_deadline(start + kPeriod) {}
    // The moment the next tick should start, seen at `now`.
    Clock::time_point target(Clock::time_point now) const {
        return m_deadline + kMaxLateness < now ? now + kPeriod : m_deadline;
    }
    // Whether the loop sleeps before a tick due at `target`: only when it is a whole ms ahead.
    static bool worthSleeping(Clock::time_point target, Clock::time_point now) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(target - now).count() > 0;
    }
    // The tick starts: from its target, or from `now` when a simulator second is pending.
    void tickStarts(Clock::time_point target, Clock::time_point now, bool simSecondPending) {
        m_deadline = (simSecondPending ? now : target) + kPeriod;
    }
    Clock::time_point deadline() const { return m_deadline; }

private:
    Clock::time_point m_deadline;
};

// The loop's clock; tests replace it to run the loop without real time.
struct LoopClock {
    std::function<TickSchedule::Clock::time_point()> now;
    std::function<void(TickSchedule::Clock::time_point)> sleepUntil;
};
void gf_setLoopClock(LoopClock clock); // empty members: the steady clock and real sleeps

void lf_mainLoop();
bool lf_mainTick();
void lf_onSimSecond();
void lf_onFlightNotRunning();
void lf_everyHalfMinute();
void lf_handleRereadRequest();

// Everything of the main loop back to its initial values (the clean-up before a restart).
void gf_resetMainLoopState();

} // namespace tamrix
