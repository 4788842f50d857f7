#pragma once
// The SimClient thread: it owns the program's SimConnect connection for one run. It opens the
// connection under the program's name, retrying every 100 ms until the simulator answers,
// registers the shared vocabulary (sim_definitions.hpp), then dispatches the simulator's
// messages about once per millisecond; on each Frame the dispatch flushes the command queues
// (sim_queues.hpp). Failures become a message for the user and, where needed, the end of the
// run with an exit reason. The connect phase starts it and waits for gSimRunning; closing
// requests its stop.

#include <atomic>
#include <cstdint>
#include <stop_token>

#include "platform/simconnect/simconnect.hpp"
#include "platform/win32/timer_resolution.hpp"

namespace tamrix {

// The SimClient connection; null while there is none. Published and cleared by the SimClient
// thread under the SimConnect lock; other threads use it only while they hold that lock.
extern std::atomic<HANDLE> gSimConnect;
// Connected and a flight runs ("Sim" event); cleared on QUIT and whenever the thread ends.
extern std::atomic<bool> gSimRunning;
// The OPEN message has arrived (the status panel's lamp); cleared when the thread ends.
extern std::atomic<bool> gSimOpen;
// A SimConnect request of this run failed; cleared by gf_reserveSimQueues when a run starts.
extern std::atomic<bool> gSimConnectError;
// The simulator announced its quit (QUIT): a request that fails from then on failed because the
// simulator is gone. Cleared by gf_resetSimClientState.
extern std::atomic<bool> gSimQuit;
// The user aircraft's object id (from the answers about the user aircraft; 0 before the
// first). Ids at or below it are never moved, commanded, removed or tracked.
extern std::atomic<uint32_t> gUserObjectId;

// The handler of every message of the SimClient connection: the dispatch handlers install it
// once at start-up. A thread that connects without one ends with an error on the message line.
void gf_setSimDispatch(DispatchProc dispatch);

// The thread body; ends when a stop is requested on the token, when the stop or closing flag
// is set while it waits for the simulator, when the connection is lost, or on an exception of
// the dispatch.
void lf_simClientThread(std::stop_token stop);

// Nothing for a null handle; else closes it ("SimConnect closed ok", or the highlighted
// "Closing SimConnect failed?!") and nulls it.
void lf_closeSimConnect(HANDLE& handle);

// The one reaction to any failed SimConnect request, from any thread, also with the SimConnect
// lock held: "SimConnect request error" on the message line and in the log, gSimConnectError
// set, and the run stops with "SIMCONNECT ERROR" (restart after 9 s) unless it stops already.
// After the simulator announced its quit, gSimConnectError is set and the run ends as the
// simulator's loss instead (gf_simNoLongerConnected): a restart would only wait for it.
void gf_simConnectRequestError();

// The SimClient connection was lost. Nothing when the run stops already. With a version
// mismatch the installed switcher selects the other simulator and restarts the run; otherwise
// (or without a switcher) "{clock} Flight Simulator no longer connected, Quorvel will stop ..."
// is logged and the run ends with "SIM WAS CLOSED".
void gf_simNoLongerConnected(bool mismatch);
using SimVersionSwitcher = void (*)();
void gf_setSimVersionSwitcher(SimVersionSwitcher switcher);

// The clean-up before a restart (no SimClient thread runs): no connection, no user object id,
// not running, no quit, no request error.
void gf_resetSimClientState();

// Keeps a raised timer resolution for as long as it lives; ends it only when the begin call
// succeeded.
struct TimerPeriodGuard {
    uint32_t period = 1;
    uint8_t active = 0;

    TimerPeriodGuard(uint32_t periodMs, bool began) : period(periodMs), active(began ? 1 : 0) {}
    ~TimerPeriodGuard() {
        if (active != 0) timeEndPeriod(period);
    }
    TimerPeriodGuard(const TimerPeriodGuard&) = delete;
    TimerPeriodGuard& operator=(const TimerPeriodGuard&) = delete;
};

} // namespace tamrix
