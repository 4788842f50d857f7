#pragma once
// Process-wide state of one run: the stop and closing flags, the exit reason with its restart
// delay, and the simulator version in use. Any thread may read or set them.

#include <atomic>
#include <cstdint>
#include <string_view>

namespace tamrix {

// Why the run ends; the first setter wins.
enum class ExitReason : int32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
    NewVersion = 8,
};

extern std::atomic<bool> gStopFlag;
extern std::atomic<bool> gClosingFlag;
// True while the chosen simulator is MSFS 2020, false for MSFS 2024.
extern std::atomic<bool> gIsMsfs2020;

// "NOT YET SET", "SIM WAS CLOSED", ...; throws std::out_of_range for a value outside the table.
std::string_view gf_exitReasonText(ExitReason reason);
std::string_view gf_exitReasonText(int32_t value);

// Exchanges the stop flag to true; only when it was clear stores the reason and its restart
// delay (seconds). Returns true when this call's reason was stored.
bool gf_setExitReason(ExitReason reason, int32_t restartDelaySeconds);
// The close button, production mode and early ends of start-up: sets closing and stop, and
// stores "USER CLOSED SIM" only while no reason is set.
void gf_setUserClosed();
// The start-up thread's catch blocks: stores the reason without looking at the stop flag.
void gf_forceExitReason(ExitReason reason, int32_t restartDelaySeconds);

ExitReason gf_exitReason();
int32_t gf_restartDelay();

// Before an in-process restart: stop and closing clear, no reason.
void gf_resetRunState();

} // namespace tamrix
