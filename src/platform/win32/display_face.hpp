#pragma once
// A display for the window model: when one is installed (the FLTK face on a Linux desktop), the
// program opens it for its main window and closes it at the end. Without one the window stays
// headless. The face reads the model and the latest frame, and feeds a person's clicks and keys
// back into the model as messages.

#include <chrono>
#include <functional>
#include <string>

#include "platform/win32/window.hpp"

namespace platform::win32 {

struct DisplayFace {
    std::function<void(HWND mainWindow)> open;
    // False when the display did not let the window end within kFaceEndTime (it has stopped
    // answering): the window is left there, and the program ends without it.
    std::function<bool()> close;
    // The display went away during the run (told why, from the face's thread); the face then
    // closes the window as its close button does.
    std::function<void(const std::string& why)> lost;
    // DISPLAY named a display that could not be opened (its name, and what it did: "cannot be
    // opened", "does not answer"): the window stays headless, and the program says so once its
    // log is open.
    std::string unusable;
    std::string unusableWhy;
};
inline constexpr std::chrono::milliseconds kFaceEndTime{5000};
// How long opening a display may take before it counts as one that does not answer.
inline constexpr std::chrono::milliseconds kDisplayAnswerTime{10000};
DisplayFace& displayFace();

} // namespace platform::win32
