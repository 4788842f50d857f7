#pragma once
// The main window's message line: one short text for the user, settable from any thread.
// An error text blocks ordinary messages until it is emptied. Setting a text posts
// WM_APP+0x60 to the main window so that the line is repainted.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32/window.hpp"

namespace tamrix {

inline constexpr UINT WM_REPAINT_STATUS_LINE = WM_APP + 0x60;

void gf_setStatusLine(std::string_view text, bool alsoLog);
void gf_clearStatusLine();
void gf_setStatusError(std::string_view text);
// Empties the error text (and the message); the closing and the clean-up before a restart.
void gf_clearStatusError();

struct StatusLineSnapshot {
    std::string message;
    std::string error;
    uint32_t stamp = 0;
    uint32_t secondsClock = 0;
};
StatusLineSnapshot gf_statusLineSnapshot();

// Empties the message and the error, stops the seconds clock at 0 and forgets the window: the
// line as the process starts it.
void gf_resetStatusLine();
// The seconds clock the main loop drives; the message stamp is taken from it.
void gf_setStatusSecondsClock(uint32_t seconds);
// The window the repaint message goes to (null until the main window exists).
void gf_setStatusLineWindow(HWND window);

} // namespace tamrix
