#pragma once
// A display for the window model: when one is installed (the FLTK face on a Linux desktop), the
// program opens it for its main window and closes it at the end. Without one the window stays
// headless. The face reads the model and the latest frame, and feeds a person's clicks and keys
// back into the model as messages.

#include <functional>
#include <string>

#include "platform/win32/window.hpp"

namespace platform::win32 {

struct DisplayFace {
    std::function<void(HWND mainWindow)> open;
    std::function<void()> close;
    // The display went away during the run (told why, from the face's thread); the face then
    // closes the window as its close button does.
    std::function<void(const std::string& why)> lost;
    // DISPLAY named a display that could not be opened (its name): the window stays headless,
    // and the program says so once its log is open.
    std::string unusable;
};
DisplayFace& displayFace();

} // namespace platform::win32
