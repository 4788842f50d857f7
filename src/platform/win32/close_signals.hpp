#pragma once
// The desktop's close button has no window to come from on a terminal: SIGINT (Ctrl-C), SIGQUIT
// (Ctrl-\), SIGTERM and SIGHUP (the terminal hung up) stand in for it. They are taken out of
// normal delivery and a small thread of their own turns each into a WM_CLOSE posted to the main
// window, so the program closes through its ordinary closing sequence instead of dying
// mid-write (SIGQUIT leaves no core dump). A process started in the background of a script, with
// SIGINT and SIGQUIT ignored, still takes them when they are sent to it; one started with
// hang-ups ignored (nohup) keeps ignoring them. SIGPIPE is ignored: a write to a pipe or socket
// whose reader has gone is an error result, never the end of the program.
//
// A close signal also starts a time limit. The closing waits for the program's threads; one
// blocked for good in a call that never returns would hold the process forever. When the process
// has not ended within kCloseTimeLimit of the first close signal, it ends anyway: the overdue
// report says so and gives the exit code (the program knows whether its closing had saved
// everything by then); without a report, or one that does not answer in time, the code is
// 128 + the signal's number, as for a process that the signal ended without its closing.

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/win32/window.hpp"

namespace platform::win32 {

inline constexpr std::chrono::seconds kCloseTimeLimit{20};

// What the program says about close signals. Each report runs on a thread of its own, so a
// report that blocks (a full stderr pipe, a lock held by the stuck thread) never delays the
// signals or the end; the overdue report is given kOverdueReportTime before the process ends.
struct CloseSignalReports {
    std::function<void(std::string_view signalName)> received;
    // Returns the exit code of the process, or nothing for 128 + the signal's number.
    std::function<std::optional<int>(std::string_view signalName, std::chrono::seconds limit)> overdue;
};
inline constexpr std::chrono::milliseconds kOverdueReportTime{2000};

// Blocks the close signals in the calling thread, ignores SIGPIPE and starts the signal thread.
// Call it on the main thread before any other thread starts, so that every later thread
// inherits the mask. The window may be set later (setCloseSignalWindow); a signal before that
// is kept and delivered once the window is known. Starting twice does nothing.
void startCloseSignalThread();
void setCloseSignalWindow(HWND window);
void setCloseSignalReports(CloseSignalReports reports);
// How many close signals arrived so far.
int closeSignalCount();

} // namespace platform::win32
