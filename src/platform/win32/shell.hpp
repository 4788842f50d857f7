#pragma once
// Stand-ins for the desktop shell's "open" and for message boxes. Neither ever blocks: there is
// no desktop to answer them. Every request is recorded for tests (namespace platform::win32).
// Texts are UTF-8, the native text of Linux; null text pointers are allowed where the shell
// allows them.
//
// ShellExecuteW starts a program only when QUORVEL_SHELL_OPEN names one (for example
// "xdg-open"): it runs that program with the file as its argument, detached, and does not wait
// for it. Without the variable the request is only recorded and reported as done.

#include <cstdint>
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

// Records the box, echoes it to standard error and answers IDOK at once.
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
// Forgets the records and the forced result.
void resetShell();

} // namespace platform::win32
