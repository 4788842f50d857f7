#pragma once
// The desktop shell's "open" and message boxes on Linux. A message box never blocks, and an open
// waits at most kOpenerAnswerTime. Every request is recorded for tests (namespace
// platform::win32).
// Texts are UTF-8, the native text of Linux; null text pointers are allowed where the shell
// allows them.
//
// ShellExecuteW opens a folder (or file) with the desktop's opener, xdg-open, found on PATH; a
// program that QUORVEL_SHELL_OPEN names is taken in its place (tests give a stand-in there, so
// that no test opens anything on a desktop). The opener runs with the path as its argument and
// its exit status is the answer: 0 opened, anything else refused. One still running after
// kOpenerAnswerTime (a file manager started in the foreground) has opened it, and is left to run.
// Without an opener nothing can be opened, and the request fails.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/window.hpp"

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

// Shell results at or below 32 are errors.
inline constexpr std::intptr_t SE_ERR_FNF = 2;
inline constexpr std::intptr_t SE_ERR_NOASSOC = 31;

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONERROR = 0x00000010;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;
inline constexpr int IDOK = 1;

// Result above 32 on success. Fails with SE_ERR_FNF when the file is missing (a text with
// "://" is taken as an address and not checked), SE_ERR_NOASSOC for a verb other than "open"
// (null means "open") or when the shell that starts the configured program fails.
HINSTANCE ShellExecuteW(HWND window, const char* operation, const char* file, const char* parameters,
                        const char* directory, int showCommand);

// Records the box, echoes it to standard error, hands it to the display's shower (when a display
// shows the window) and answers IDOK at once.
int MessageBoxW(HWND window, const char* text, const char* caption, UINT type);

namespace platform::win32 {

struct ShellRequest {
    HWND window = nullptr;
    std::string operation;
    std::string file;
    std::string parameters;
    std::string directory;
    int showCommand = 0;
    std::intptr_t result = 0;
    std::string failure; // why it failed: no opener, its exit status, ...; empty when it opened
};

struct MessageBoxRecord {
    HWND window = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
};

// Every shell request and message box so far, oldest first (copies).
std::vector<ShellRequest> shellRequests();
std::vector<MessageBoxRecord> messageBoxes();
// Makes every later ShellExecuteW return this value (0 restores the normal behaviour); a value
// at or below 32 lets tests see the shell refuse.
void setShellExecuteResult(std::intptr_t result);
// A display that shows message boxes beside the window (the FLTK face); it must not block. An
// empty one: the boxes go to standard error only.
void setMessageBoxShower(std::function<void(const std::string& text, const std::string& caption)> shower);

// Why the latest request failed (empty when it did not), for the caller's log.
std::string lastShellFailure();

inline constexpr std::chrono::milliseconds kOpenerAnswerTime{3000};
// How long an opener is waited for (tests shorten it; reset puts it back).
void setOpenerAnswerTime(std::chrono::milliseconds time);
// Forgets the records, the forced result and the answer time.
void resetShell();

} // namespace platform::win32
