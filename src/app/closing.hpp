#pragma once
// The end of every run: the closing sequence, decided by the exit reason, which either restarts
// the run in this process after a countdown (new settings, a SimConnect error, a reader error)
// or ends the program; the clean-up that lets a restarted run start from scratch; and the switch
// between the two simulator versions.

#include <atomic>

namespace tamrix {

// The closing sequence, on the start-up thread, after the log was flushed. Ends by posting
// WM_APP+1 (restart) or WM_APP+2 (quit) to the main window. A close requested during the
// restart countdown quits instead of restarting; an exception in the sequence still quits
// (exit code 1) after showing "lf_closingDown exception {}".
void lf_closingDown();
// "Restarting after {} second{}" once a second for the restart delay; ends early (false) when
// the user closes the window meanwhile.
bool lf_restartCountdown();
// Every piece of run state back to its initial value. The previous run's SimClient thread is
// waited for first: it owns some of that state until it has ended.
void lf_cleanUpBeforeRestart();
// A restart for the other simulator version: fresh catalogue (emptied before the restart, on the
// start-up thread), both scans requested, "NEW SETTINGS" with a delay of 3 s.
void lf_switchSimVersion();
// The livery catalogue is emptied by the clean-up before the next restart, on the start-up
// thread that owns it (a version switch, a livery scan asked for from the window).
extern std::atomic<bool> gCatalogueClearPending;
// What the SimClient thread does when the simulator is of the other version: SIM_CHOICE becomes
// that version, saved and selected, then lf_switchSimVersion.
void lf_onSimVersionMismatch();

// Tells both UDP readers to stop and waits, within the closing's bound, until their threads
// have ended.
void lf_stopReaders();

} // namespace tamrix
