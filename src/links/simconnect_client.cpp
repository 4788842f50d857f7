#include "links/simconnect_client.hpp"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <pthread.h>

#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "links/reserved_stand.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_queues.hpp"
#include "links/traffic_source_state.hpp"

namespace tamrix {

std::atomic<HANDLE> gSimConnect{nullptr};
std::atomic<bool> gSimRunning{false};
std::atomic<bool> gSimOpen{false};
std::atomic<bool> gSimConnectError{false};
std::atomic<bool> gSimQuit{false};
std::atomic<uint32_t> gUserObjectId{0};

namespace {

using namespace std::chrono_literals;

std::atomic<DispatchProc> gDispatch{nullptr};
std::atomic<SimVersionSwitcher> gVersionSwitcher{nullptr};

constexpr auto kOpenRetry = 100ms;
constexpr auto kDispatchPace = 1ms;

// Paces both loops of the thread against the steady clock; a stop request cuts a wait short.
class Pacer {
public:
    void sleepFor(const std::stop_token& stop, std::chrono::steady_clock::duration pause) {
        const auto deadline = std::chrono::steady_clock::now() + pause;
        std::unique_lock guard(m_lock);
        m_wake.wait_until(guard, stop, deadline, [] { return false; });
    }

private:
    std::mutex m_lock;
    std::condition_variable_any m_wake;
};

// lf_simClientExit: armed at the start of the thread, runs on every way out. The connection is
// cleared and closed under the SimConnect lock, so that no other thread is using it meanwhile.
struct SimClientExit {
    HANDLE& handle;

    ~SimClientExit() {
        try {
            gf_updateReservedStand();
        } catch (const std::exception& e) {
            gf_logHighlighted(fmt::format("! gf_updateReservedStand: {}", e.what()));
        } catch (...) {
            gf_logHighlighted("! gf_updateReservedStand: unknown exception");
        }
        {
            std::lock_guard guard(gSimConnectLock);
            gSimOpen.store(false);
            // Without a connection nothing runs, whatever way the thread ended.
            gSimRunning.store(false);
            gSimConnect.store(nullptr);
            lf_closeSimConnect(handle);
        }
        gf_invalidateStatusPanel();
    }
};

} // namespace

void gf_setSimDispatch(DispatchProc dispatch) { gDispatch.store(dispatch); }

void gf_setSimVersionSwitcher(SimVersionSwitcher switcher) { gVersionSwitcher.store(switcher); }

void lf_closeSimConnect(HANDLE& handle) {
    if (handle == nullptr) return;
    if (SimConnect_Close(handle) < 0)
        gf_logHighlighted("Closing SimConnect failed?!");
    else
        gf_log("SimConnect closed ok");
    handle = nullptr;
}

void gf_simConnectRequestError() {
    if (gSimQuit.load()) {
        gSimConnectError.exchange(true);
        gf_simNoLongerConnected(false);
        return;
    }
    gf_setStatusLine("SimConnect request error", true);
    gSimConnectError.exchange(true);
    gf_setExitReason(ExitReason::SimConnectError, 9);
}

void gf_simNoLongerConnected(bool mismatch) {
    if (gStopFlag.load()) return;
    if (mismatch) {
        if (const SimVersionSwitcher switcher = gVersionSwitcher.load()) {
            switcher();
            return;
        }
    }
    gf_log(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_utcClock(), kProgramName));
    gf_setExitReason(ExitReason::SimWasClosed, 0);
}

void gf_resetSimClientState() {
    {
        std::lock_guard guard(gSimConnectLock);
        gSimConnect.store(nullptr);
    }
    gUserObjectId.store(0);
    gSimRunning.store(false);
    gSimQuit.store(false);
    gSimConnectError.store(false);
}

void lf_simClientThread(std::stop_token stop) {
    pthread_setname_np(pthread_self(), "SimClient");
    HANDLE handle = nullptr;
    {
        std::lock_guard guard(gSimConnectLock);
        gSimConnect.store(nullptr);
    }
    const SimClientExit exitGuard{handle};
    bool waitingShown = false;
    bool mismatch = false;
    bool lossReported = false;
    Pacer pacer;
    const auto reportLoss = [&] {
        if (lossReported) return;
        lossReported = true;
        gSimRunning.exchange(false);
        gf_simNoLongerConnected(mismatch);
    };

    try {
        for (;;) {
            if (gStopFlag.load() || gClosingFlag.load() || stop.stop_requested()) return;
            if (!waitingShown) {
                waitingShown = true;
                gf_log(" ");
                gf_setStatusLine(fmt::format("Waiting for MSFS 20{} ...", gIsMsfs2020.load() ? "20" : "24"), true);
                if (gf_logIsOpen()) gf_flushLog();
            }
            if (SimConnect_Open(&handle, std::string(kProgramName).c_str(), nullptr, 0, nullptr, 0) >= 0) break;
            handle = nullptr;
            pacer.sleepFor(stop, kOpenRetry);
        }

        // The vocabulary first, then the connection is published: whoever sees it may use it.
        lf_setupSimDefinitions(handle);
        {
            std::lock_guard guard(gSimConnectLock);
            gSimConnect.store(handle);
        }
        const DispatchProc dispatch = gDispatch.load();
        if (dispatch == nullptr) throw std::logic_error("no handler for the simulator's messages");
        const TimerPeriodGuard timer(1, timeBeginPeriod(1) == TIMERR_NOERROR);

        while (!stop.stop_requested()) {
            // A dispatch that fails means the connection is gone (the simulator has quit): the
            // run cannot go on without it.
            if (SimConnect_CallDispatch(handle, dispatch, nullptr) < 0) {
                reportLoss();
                break;
            }
            pacer.sleepFor(stop, kDispatchPace);
        }
    } catch (const UserErrorException& e) {
        const std::string text = e.what();
        if (text.starts_with("2024")) {
            gf_log(fmt::format("MSFS and {} do not match, restarting ...", kProgramName));
            mismatch = true;
            reportLoss();
        } else {
            gf_setStatusError(text.empty() ? "Unknown exception" : text);
        }
    } catch (const std::exception& e) {
        gf_setStatusError(e.what());
        reportLoss();
    } catch (...) {
        gf_setStatusError(fmt::format("Exception in {}", "SimClient"));
        reportLoss();
    }
}

} // namespace tamrix
