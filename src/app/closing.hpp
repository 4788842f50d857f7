#pragma once
// The end of every run: the closing sequence, decided by the exit reason, which either restarts
// the run in this process after a countdown (new settings, a SimConnect error, a reader error)
// or ends the program; the clean-up that lets a restarted run start from scratch; and the switch
// between the two simulator versions.

#include <atomic>
#include <cstdint>

namespace tamrix {

// The main window is shown on a display. Only then does a "SYSTEM ERROR" wait for a person to
// read it and close the window; without one the run ends by itself with exit code 1.
extern std::atomic<bool> gWindowOnDisplay;
// Runs in a row that a reader error ended before any traffic or QNH arrived (a port taken by
// another program, say). Such runs restart kReaderRestartsInARow times; the next one ends the
// program with the error, as a "SYSTEM ERROR" does. Kept across restarts.
inline constexpr int32_t kReaderRestartsInARow = 3;
extern std::atomic<int32_t> gReaderErrorsInARow;

// The closing sequence, on the start-up thread, after the log was flushed. Ends by posting
// WM_APP+1 (restart) or WM_APP+2 (quit) to the main window. A close requested during the
// restart countdown quits instead of restarting; an exception in the sequence still quits
// (exit code 1) after showing "lf_closingDown exception {}". An end with an error that nobody
// can read (no display, production mode) quits at once with exit code 1 and the error on stderr.
// A file the sequence could not save (the learned airport file, the settings) is named on stderr
// and on the message line, and the process ends with exit code 1, also after a later run.
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
