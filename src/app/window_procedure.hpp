#pragma once
// The main window's procedure and the handlers of its push buttons, check boxes and combo
// boxes. Everything here runs on the window thread; work that belongs to the start-up thread is
// handed over as requests.

#include <optional>
#include <string>
#include <utility>

#include "platform/win32/window.hpp"

namespace tamrix {

inline constexpr UINT WM_REPAINT_MESSAGE_LINE = WM_APP + 0x60;

LRESULT lf_mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The close button: the orderly stop of the run; the window stays until the run has closed.
void lf_onCloseButton();

bool lf_HandleWMCOMMAND(HWND window, WPARAM wParam);
bool lf_onButton(HWND window, uint16_t controlId);
bool lf_onCheckBox(HWND window, uint16_t controlId);
bool lf_onComboBox(HWND window, WPARAM wParam);
// The selected index and its text when wParam tells of a new selection in that combo box.
std::optional<std::pair<int, std::string>> lf_getComboSelection(HWND window, uint16_t controlId, WPARAM wParam);

} // namespace tamrix
