#pragma once
// Headless stand-in for the Win32 window calls the program makes: window records behind
// opaque handles, child controls (buttons and check boxes, combo boxes, edit fields), their
// messages, repaint requests and the posted-message queue. Calls are shaped like their Win32
// namesakes; namespace platform::win32 holds the inspection face for tests and runs.
//
// Every call is thread-safe (one lock for the whole model). SendMessageW runs the window's
// procedure at once on the calling thread, with the lock released, so a procedure may call
// back into these functions. Texts are UTF-16 (char16_t); combo-box and edit texts are kept
// whole so that a display can mirror the model exactly.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct WindowRecord;
using HWND = WindowRecord*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
struct HMENU__;
using HMENU = HMENU__*;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using LONG_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using BOOL = int;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr UINT WM_APP = 0x8000;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_CTLCOLOREDIT = 0x0133;
inline constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
// Notification codes in the high word of WM_COMMAND's wParam.
inline constexpr UINT BN_CLICKED = 0;
inline constexpr UINT CBN_SELCHANGE = 1;
inline constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
    return static_cast<WPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
inline constexpr unsigned LOWORD(WPARAM w) {
    return static_cast<unsigned>(w & 0xFFFF);
}
inline constexpr unsigned HIWORD(WPARAM w) {
    return static_cast<unsigned>((w >> 16) & 0xFFFF);
}

// Text messages of every window.
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;

// Buttons and check boxes.
inline constexpr UINT BM_GETCHECK = 0x00F0;
inline constexpr UINT BM_SETCHECK = 0x00F1;
inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

// Combo boxes (drop-down lists).
inline constexpr UINT CB_ADDSTRING = 0x0143;
inline constexpr UINT CB_GETCOUNT = 0x0146;
inline constexpr UINT CB_GETCURSEL = 0x0147;
inline constexpr UINT CB_GETLBTEXT = 0x0148;
inline constexpr UINT CB_GETLBTEXTLEN = 0x0149;
inline constexpr UINT CB_RESETCONTENT = 0x014B;
inline constexpr UINT CB_SELECTSTRING = 0x014D;
inline constexpr UINT CB_SETCURSEL = 0x014E;
inline constexpr LRESULT CB_OKAY = 0;
inline constexpr LRESULT CB_ERR = -1;

// Window styles the model looks at.
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;

inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;

inline constexpr int GWLP_WNDPROC = -4;

// SetWindowPos.
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOACTIVATE = 0x0010;
inline constexpr int GWLP_ID = -12;

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

// Posts to the queue and returns at once; a null window posts to the thread-less queue as well.
// Fails (FALSE) for a window handle that is not alive.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Takes the oldest message whose number lies in min..max (0, 0 = any) and whose window matches
// (null = any); returns FALSE when there is none.
BOOL PeekMessageW(MSG* msg, HWND window, UINT min, UINT max, UINT removeFlags);
// Waits for the next message; returns 0 for WM_QUIT, else nonzero.
BOOL GetMessageW(MSG* msg, HWND window, UINT min, UINT max);
void PostQuitMessage(int exitCode);
// Keyboard translation has nothing to do without a keyboard; kept for the loop's shape.
BOOL TranslateMessage(const MSG* msg);
// Runs the procedure of the message's window (as SendMessageW); 0 for a message without a
// living window.
LRESULT DispatchMessageW(const MSG* msg);
BOOL IsWindow(HWND window);
// Destroys the window and its child windows.
BOOL DestroyWindow(HWND window);

// Creates a window. With a parent the window is a child control and `menu` carries its control
// id (as Win32 does); the class names "BUTTON", "COMBOBOX" and "EDIT" (any letter case) give
// the control kinds, any other class a plain window. WS_DISABLED creates it disabled.
// Returns null for a parent that is not alive.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
// The first living child of `dialog` with this control id; null when there is none.
HWND GetDlgItem(HWND dialog, int controlId);
int GetDlgCtrlID(HWND window);

// Runs the window's procedure at once on the calling thread; 0 for a window that is not alive.
// The built-in control procedure understands WM_SETTEXT/WM_GETTEXT/WM_GETTEXTLENGTH,
// BM_SETCHECK/BM_GETCHECK (buttons) and CB_RESETCONTENT, CB_ADDSTRING, CB_SETCURSEL,
// CB_GETCURSEL, CB_SELECTSTRING, CB_GETLBTEXT, CB_GETLBTEXTLEN, CB_GETCOUNT (combo boxes).
// String arguments are NUL-terminated char16_t texts passed in lParam.
//
// Combo boxes are drop-down lists without an edit part:
// - CB_SELECTSTRING selects the first item, searching after wParam (-1: from the top, wrapping
//   round), that begins with the text regardless of letter case; without a match it returns
//   CB_ERR and keeps the current selection;
// - CB_SETCURSEL with -1 or an index out of range clears the selection and returns CB_ERR;
// - WM_SETTEXT selects the first item equal to the text regardless of letter case, and leaves
//   the selection alone (CB_ERR) when there is none; the window text is the selected item.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcW(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Default handling: the window text messages; 0 for anything else.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

BOOL SetWindowTextW(HWND window, LPCWSTR text);
// Copies at most maxCount - 1 units and a NUL; returns the units copied.
int GetWindowTextW(HWND window, LPWSTR buffer, int maxCount);
int GetWindowTextLengthW(HWND window);

// Returns nonzero when the window was disabled before the call.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
// Records a repaint request; a null rectangle means the whole client area.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

// GWLP_WNDPROC replaces the window procedure and returns the previous one; GWLP_ID sets the
// control id. Other indexes are not kept (0).
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);

// Moves or resizes the window and, for a top-level window, keeps or drops it on top
// (HWND_TOPMOST, HWND_NOTOPMOST; any other z-order argument leaves that alone).
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
// Screen rectangle of the window; FALSE (and an empty rectangle) for a window that is not alive.
BOOL GetWindowRect(HWND window, RECT* rect);

// Minimizing and maximizing a top-level window. A minimized window lies at (-32000, -32000), a
// maximized one at (-8, -8) as its frame reaches past the screen's corner; both keep their
// normal rectangle, which restoring gives back.
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;
// Returns nonzero when the window was visible before (always, in this model).
BOOL ShowWindow(HWND window, int command);
struct POINT {
    LONG x = 0;
    LONG y = 0;
};
struct WINDOWPLACEMENT {
    UINT length = 0; // must be sizeof (WINDOWPLACEMENT)
    UINT flags = 0;
    UINT showCmd = 0; // SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};
BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement);

BOOL CheckDlgButton(HWND dialog, int controlId, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int controlId);

namespace platform::win32 {

// Creates a top-level window record (the stand-in's CreateWindowExW for the main window).
HWND createTopLevelWindow(const std::string& className, const std::string& title);

// Every message posted so far and not yet taken, oldest first (a copy).
std::vector<MSG> pendingMessages();
// How many messages with this number were ever posted.
std::size_t postedCount(UINT message);
// How many messages with this number were ever sent to a living window with SendMessageW.
std::size_t sentCount(UINT message);

enum class ControlKind { Window, Button, ComboBox, Edit };

// Everything the model keeps of one window (a copy).
struct WindowState {
    bool alive = false;
    ControlKind kind = ControlKind::Window;
    std::string className;
    HWND parent = nullptr;
    int controlId = 0;
    DWORD style = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool enabled = true;
    UINT checked = BST_UNCHECKED;
    std::u16string text;               // for a combo box: its selected item
    std::vector<std::u16string> items; // combo boxes
    int selection = -1;                // combo boxes; -1 for none
    bool topmost = false;              // top-level windows kept above others
    int showState = 1;                 // SW_SHOWNORMAL, SW_SHOWMINIMIZED or SW_SHOWMAXIMIZED
    RECT normal;                       // the restored rectangle while minimized or maximized
    WNDPROC procedure = nullptr;
};
// Nothing for a handle the model never made.
std::optional<WindowState> windowState(HWND window);
// The living children of a window, in creation order.
std::vector<HWND> childWindows(HWND parent);

struct Invalidation {
    HWND window = nullptr;
    bool wholeClientArea = false;
    RECT rect;
    bool erase = false;
};
// The most recent repaint requests, oldest first (at most the last 1024), and how many were
// ever made.
std::vector<Invalidation> invalidations();
std::size_t invalidationCount();

// ---- synthetic user input, as a person's clicks and keys reach the window ----
// Each is posted to the queue (the window thread handles it) and is refused (false) for a
// control that does not exist or is disabled, as a disabled control takes no input.
// A click on a button or check box: WM_COMMAND (id, BN_CLICKED) to the parent. A check box is
// not ticked by the click; the parent's handler decides.
bool click(HWND parent, int controlId);
// Selects the item of a combo box and tells the parent (WM_COMMAND (id, CBN_SELCHANGE)).
bool select(HWND parent, int controlId, int index);
// Types the text into an edit field, one WM_CHAR per unit ("\r" is the Enter key, "\b"
// deletes the last unit).
bool type(HWND parent, int controlId, const std::u16string& text);
// Handles every message that is waiting now (not those the handling posts); how many.
std::size_t dispatchPending();

// Drops all pending messages, the counters and the recorded repaint requests; destroys all
// windows (tests only).
void resetWindows();

} // namespace platform::win32
