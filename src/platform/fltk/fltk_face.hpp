#pragma once
// The window model shown on a display with FLTK: the latest painted frame as the background,
// the child controls as FLTK widgets at the same places, kept in step with the model, and a
// person's clicks, selections and Enter keys fed back into the model as the messages a Win32
// window would get. All FLTK work happens on one thread of its own; the program's window
// thread keeps running its message loop as it does headless.

namespace platform::fltk {

// Installs the face as the display of the window model when a display is there (DISPLAY is set
// and can be opened); otherwise the window stays headless, and a DISPLAY that could not be
// opened is kept for the program to name.
void installWhenDisplayed();

} // namespace platform::fltk
