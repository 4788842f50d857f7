#include "app/main_loop.hpp"
#include "app/main_window.hpp"

#include <mutex>
#include <thread>

#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/run_hooks.hpp"
#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "core/guarded.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_dispatch.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"
#include "links/udp_reader.hpp"
#include "links/user_aircraft_state.hpp"
#include "liveries/matching_statistics.hpp"
#include "platform/win32/timer_resolution.hpp"
#include "traffic/aircraft_list_file.hpp"
#include "traffic/auto_radius.hpp"

namespace tamrix {

std::atomic<bool> gStaticParkingUpdateRequest{false};
std::atomic<bool> gRereadRequest{false};
std::atomic<bool> gFlushStaticRequest{false};
std::atomic<bool> gObjectIdRequest{false};
std::atomic<bool> gObjectIdLookupPending{false};
std::atomic<bool> gBlockRequest{false};
std::atomic<bool> gMatchingDepthRaised{false};
std::atomic<int32_t> gSecondsCounter{0};
std::atomic<int32_t> gMinutesToStaticUpdate{20};

namespace {

constexpr RECT kParkingArea{0, 392, 880, 448};
constexpr int32_t kNotRunningCountdown = 100;
constexpr uint32_t kMessageSeconds = 25;

// Only the start-up thread touches these.
bool gFlightNotRunning = false;
int32_t gNotRunningCountdown = kNotRunningCountdown;
bool gCollectingPhase = false;

std::atomic<uint64_t> gTimeSlot{0};
Guarded<std::string>& objectIdLabel() {
    static auto* label = new Guarded<std::string>;
    return *label;
}
Guarded<LoopClock>& loopClock() {
    static auto* clock = new Guarded<LoopClock>;
    return *clock;
}

void invalidate(const RECT& area) {
    const HWND window = gMainWindow.load();
    if (window != nullptr) InvalidateRect(window, &area, TRUE);
}

void enableControl(const ParameterControl& control, bool enable) {
    if (control.window != nullptr) EnableWindow(control.window, enable ? TRUE : FALSE);
}

void setObjectIdLabel(std::string text) {
    objectIdLabel().set(std::move(text));
    invalidate(kOptionsArea);
}

void copyUserPositionToReader() {
    const UserAcState state = gf_userPositionRecord().state;
    gf_trafficReader().setUserPosition({state.latitude, state.longitude});
}

// The two-phase static-parking update, every 15 s while requested: first the traffic reader
// collects callsigns, 15 s later the parking is adjusted to them.
void staticParkingUpdateStep() {
    if (!gStaticParkingUpdateRequest.load()) return;
    auto& airports = gf_airportHooks();
    if (!gCollectingPhase) {
        gCollectingPhase = true;
        gf_callHook(airports.beginStaticParking);
        gf_trafficReader().startCallsignCollection();
        return;
    }
    gCollectingPhase = false;
    gf_clearStatusError();
    gf_clearStatusLine();
    if (gf_callHook(airports.parkAirportLoaded, false)) gf_callHook(airports.parkingAdjustments);
    gf_flushLog();
    gStaticParkingUpdateRequest.store(false);
}

void objectIdLookup() {
    if (!gObjectIdLookupPending.load()) return;
    const std::string callsign = CALLSIGN_2_OBJECTID.current.get();
    const auto id =
        gf_callHook(gf_liveTrafficHooks().activeLiveObjectId, std::optional<uint32_t>{}, callsign);
    if (id) {
        gSelectedObjectId.store(*id);
        setObjectIdLabel(fmt::format("= {}", gf_id2Text(*id)));
    } else {
        setObjectIdLabel("has left");
    }
    gObjectIdLookupPending.store(false);
}

} // namespace

std::string gf_objectIdLabel() {
    return objectIdLabel().get();
}

void gf_clearObjectIdLabel() {
    objectIdLabel().set({});
}

std::pair<int32_t, int32_t> gf_currentTimeSlot() {
    const uint64_t packed = gTimeSlot.load();
    return {static_cast<int32_t>(packed >> 32), static_cast<int32_t>(packed & 0xffffffffu)};
}

void gf_refreshTimeSlot() {
    const auto [weekday, slot] = gf_weekdayAndHalfHour();
    gTimeSlot.store((static_cast<uint64_t>(static_cast<uint32_t>(weekday)) << 32) |
                    static_cast<uint32_t>(slot));
}

PeriodicWork lf_periodicWork(int32_t s) {
    PeriodicWork w;
    w.fiveSeconds = s % 5 == 0;
    if (!w.fiveSeconds) {
        w.parkAirportTick = s % 16 == 0;
        w.readerWatchdog = s % 59 == 0;
        w.staticDuplicates = s % 61 == 0;
        return w;
    }
    w.fifteenSeconds = s % 15 == 0;
    w.halfMinute = w.fifteenSeconds && s % 30 == 0;
    w.minute = w.halfMinute && s % 60 == 0;
    w.twentyMinutes = w.minute && s % 1200 == 0;
    w.daily = w.twentyMinutes && s % 86400 == 0;
    return w;
}

void gf_setLoopClock(LoopClock clock) {
    loopClock().set(std::move(clock));
}

void lf_mainLoop() {
    auto& airports = gf_airportHooks();
    gf_callHook(airports.parkAirportTick, true);
    gf_checkReadersAlive();
    gSecondsCounter.store(0);
    const LoopClock clock = loopClock().get();
    const auto now = [&clock] { return clock.now ? clock.now() : TickSchedule::Clock::now(); };
    TickSchedule schedule(now());
    gf_refreshTimeSlot();
    gf_openTrafficGate();
    gf_fillCallsignComboBox();
    enableControl(CS_TO_OID_BUTTON, true);
    TimerPeriodGuard timerPeriod(1, timeBeginPeriod(1) == TIMERR_NOERROR);

    bool running = lf_mainTick();
    while (running) {
        auto target = schedule.target(now());
        if (TickSchedule::worthSleeping(target, now())) {
            if (clock.sleepUntil) {
                clock.sleepUntil(target);
            } else {
                while (TickSchedule::Clock::now() < target)
                    std::this_thread::sleep_until(target);
            }
        }
        schedule.tickStarts(target, now(), gSimSecond.load());
        running = lf_mainTick();
    }
}

bool lf_mainTick() {
    if (!gSimRunning.load() || gSimConnectError.load()) {
        lf_onFlightNotRunning();
        return !gf_stopOrClosing();
    }
    gf_callHook(gf_liveTrafficHooks().handleAddingStack);
    // A close is noticed in every tick, not only in those that see a simulator second: a
    // simulator that runs but sends no seconds must not keep the run alive.
    if (!gSimSecond.exchange(false)) return !gf_stopOrClosing();
    lf_onSimSecond();
    if (gf_stopOrClosing()) return false;
    const int32_t s = gSecondsCounter.load();
    const PeriodicWork work = lf_periodicWork(s);
    auto& airports = gf_airportHooks();
    if (!work.fiveSeconds) {
        if (work.parkAirportTick && !gCollectingPhase) gf_callHook(airports.parkAirportTick, false);
        if (work.readerWatchdog) gf_checkReadersAlive();
        if (work.staticDuplicates) gf_callHook(airports.removeStaticDuplicates);
        return true;
    }
    copyUserPositionToReader();
    if (gRealTrafficProfessional.load()) gf_sendSimTime(gSimUtcTime.load());
    const std::string stand = gf_callHook(airports.reservedStandName, std::string{});
    if (!stand.empty()) gf_callHook(airports.clearStand, stand);
    lf_handleRereadRequest();
    if (!work.fifteenSeconds) return true;
    staticParkingUpdateStep();
    if (gTrafficReaderState.load() == kReaderSilent || gQnhReaderState.load() == kReaderSilent)
        gf_checkReadersAlive();
    if (work.halfMinute) lf_everyHalfMinute();
    return true;
}

void lf_onSimSecond() {
    if (gFlightNotRunning) {
        gFlightNotRunning = false;
        gf_log(fmt::format("{} Flight resumed", gf_utcClock()));
        gf_openTrafficGate();
    }
    const StatusLineSnapshot line = gf_statusLineSnapshot();
    const uint32_t clock = line.secondsClock + 1;
    gf_setStatusSecondsClock(clock);
    if (line.stamp >= 1 && clock >= line.stamp + kMessageSeconds) gf_clearStatusLine();
    gf_refreshTimeSlot();
    gSecondsCounter.fetch_add(1);
    gf_serveWindowRequests();
    lf_repaintIfCountsChanged();

    auto& traffic = gf_liveTrafficHooks();
    auto& airports = gf_airportHooks();
    gf_callHook(traffic.handleCallsignMatchingKey);
    objectIdLookup();
    if (gFlushStaticRequest.exchange(false)) {
        gf_callHook(airports.removeAllStaticAc);
        if (!INITIAL_LOAD_ONLY.current.load()) {
            INITIAL_LOAD_ONLY.current.store(true);
            gf_showCheckBox(INITIAL_LOAD_ONLY);
        }
    }
    if (gObjectIdRequest.exchange(false)) {
        setObjectIdLabel({});
        gf_fillLiveCallsignList();
        gObjectIdLookupPending.store(true);
    }
    if (gf_userPositionRecord().onGround != 0) {
        if (COLLISION_USER_GND.current.load()) gf_callHook(traffic.removeAcAroundUser);
    } else if (COLLISION_USER_AIR.current.load()) {
        gf_callHook(traffic.removeLiveAcOnUserPath);
    }
    if (COLLISION_LIVE_PARKED_GND.current.load()) gf_callHook(airports.clearStaticInTheWay);
    if (gBlockRequest.exchange(false)) {
        const std::string callsign = BLOCK_CALLSIGN.current.get();
        if (!callsign.empty()) gf_callHook(traffic.removeAircraftFromSim, false, callsign);
    }
    if (gf_callHook(airports.staticParkingBusy, false)) invalidate(kParkingArea);
}

void lf_everyHalfMinute() {
    if (gMatchingDepthRaised.exchange(false)) gf_callHook(gf_liveTrafficHooks().clearFailedKeys);
    if (AUTO_RANGE.current.load()) gf_applyAutoRange();
    const int32_t s = gSecondsCounter.load();
    if (s % 60 == 0) {
        auto& airports = gf_airportHooks();
        int32_t minutes = gMinutesToStaticUpdate.load() - 1;
        if (minutes < 1) {
            minutes = 20;
            if (gf_callHook(airports.parkAirportLoaded, false) && !INITIAL_LOAD_ONLY.current.load() &&
                !gf_callHook(airports.staticParkingBusy, false) && !gStaticParkingUpdateRequest.load())
                lf_announceStaticParkingUpdate();
        }
        gMinutesToStaticUpdate.store(minutes);
        invalidate(kOptionsArea);
        if (OBJECTID_LIST.current.load()) gf_writeAcStatesCsv();
        if (s % 1200 == 0) {
            gf_logNoMatchList();
            if (s % 86400 == 0) {
                gSecondsCounter.store(0);
                gf_logMatchingSummary();
                gf_callHook(gf_liveTrafficHooks().clearLiveryMemory);
            }
        }
    }
    if (gf_logIsOpen()) gf_flushLog();
}

void lf_handleRereadRequest() {
    if (!gRereadRequest.load()) return;
    auto& airports = gf_airportHooks();
    if (gf_callHook(airports.staticParkingBusy, false)) return;
    std::string result;
    if (gf_callHook(airports.checkMyParkAirports, false, result)) gf_setStatusLine(result, true);
    enableControl(REREAD_BUTTON, true);
    enableControl(DESTINATION, true);
    gRereadRequest.store(false);
}

void lf_onFlightNotRunning() {
    if (!gFlightNotRunning) {
        gf_shutTrafficGate();
        gFlightNotRunning = true;
        gNotRunningCountdown = kNotRunningCountdown;
        {
            std::lock_guard guard(gSimConnectLock);
            gPositionFill->clear();
            gPositionSend->clear();
        }
        gf_log(fmt::format("{} Flight not running", gf_utcClock()));
    }
    gf_callHook(gf_liveTrafficHooks().processSimEvents);
    if (--gNotRunningCountdown == 0) {
        lf_handleRereadRequest();
        gf_sendUserPosition();
    }
    if (gNotRunningCountdown < 1) {
        gNotRunningCountdown = kNotRunningCountdown;
        lf_repaintIfCountsChanged();
        gf_refreshTimeSlot();
    }
}

void gf_resetMainLoopState() {
    gSecondsCounter.store(0);
    gFlightNotRunning = false;
    gNotRunningCountdown = kNotRunningCountdown;
    gCollectingPhase = false;
    gStaticParkingUpdateRequest.store(false);
    gRereadRequest.store(false);
    gFlushStaticRequest.store(false);
    gObjectIdRequest.store(false);
    gObjectIdLookupPending.store(false);
    gBlockRequest.store(false);
    gMatchingDepthRaised.store(false);
    gMinutesToStaticUpdate.store(20);
    gSelectedObjectId.store(0);
    objectIdLabel().set({});
}

} // namespace tamrix
