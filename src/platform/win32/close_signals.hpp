#pragma once
// The desktop's close button has no window to come from on a terminal: SIGINT (Ctrl-C) and
// SIGTERM stand in for it. They are taken out of normal delivery and a small thread of their
// own turns each into a WM_CLOSE posted to the main window, so the program closes through its
// ordinary closing sequence instead of dying mid-write.

#include "platform/win32/window.hpp"

namespace platform::win32 {

// Blocks SIGINT and SIGTERM in the calling thread and starts the signal thread. Call it on the
// main thread before any other thread starts, so that every later thread inherits the mask.
// The window may be set later (setCloseSignalWindow); a signal before that is kept and
// delivered once the window is known. Starting twice does nothing.
void startCloseSignalThread();
void setCloseSignalWindow(HWND window);
// How many close signals arrived so far.
int closeSignalCount();

} // namespace platform::win32
