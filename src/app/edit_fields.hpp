#pragma once
// The three edit fields of the main window (install path, blocked callsign, destination). A
// field takes effect when Enter is pressed in it: its subclass procedure then checks the text,
// stores it, shows the stored value again and tells the user on the message line.

#include <string>

#include "config/parameters.hpp"
#include "platform/win32/window.hpp"

namespace tamrix {

LRESULT lf_installPathEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT lf_blockCallsignEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT lf_destinationEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The control's text as UTF-8; empty on any failure.
std::string lf_getTextFromId(uint16_t controlId);

void lf_onInstallPathEntered(StringParameter& installPath, const std::string& text);
void lf_onBlockCallsignEntered();
void lf_unblockCallsign();
void lf_blockCallsign(const std::string& callsign);
void lf_onDestinationEntered();
// DESTINATION := the code (saved, shown), "New destination: {}", the airport first in the park
// airport list; "Re-read" disabled until the list has been read again.
void lf_setDestination(const std::string& icao, double latitude, double longitude);

} // namespace tamrix
