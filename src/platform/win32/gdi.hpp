#pragma once
// Headless stand-in for the GDI calls the main window's painting makes. A paint records its
// calls as a frame (fills, lines and texts with their colours); EndPaint publishes the frame as
// the window's latest, which tests inspect and a display (the FLTK face) draws as it stands.
// There is no pixel surface: the recording is the off-screen composition, and publishing it at
// EndPaint is the one copy to the screen.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/window.hpp"

using COLORREF = std::uint32_t; // 0x00BBGGRR

struct PaintRecording;
using HDC = PaintRecording*;
struct GdiObject;
using HGDIOBJ = GdiObject*;
using HBRUSH = GdiObject*;
using HPEN = GdiObject*;

struct PAINTSTRUCT {
    HDC hdc = nullptr;
    BOOL fErase = FALSE;
    RECT rcPaint;
};

inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr int PS_SOLID = 0;

// Brushes and pens live as long as the process (the program never releases them).
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
// Selecting a pen sets the colour of later lines; returns the pen selected before (null at first).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);

HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL MoveToEx(HDC dc, int x, int y, void* previous);
BOOL LineTo(HDC dc, int x, int y);
// Returns the previous text colour.
COLORREF SetTextColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);
COLORREF SetBkColor(HDC dc, COLORREF colour);
BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int length);

namespace platform::win32 {

struct DrawCall {
    enum class Kind { Fill, Line, Text };
    Kind kind = Kind::Fill;
    RECT rect;           // Fill: the rectangle; Line: left/top = from, right/bottom = to
    int x = 0;           // Text
    int y = 0;
    std::string text;    // UTF-8 (units that are no valid UTF-16 become U+FFFD)
    COLORREF colour = 0;
};

struct Frame {
    std::vector<DrawCall> calls;
    std::size_t number = 0; // 1 for the first frame of the window
};

// The latest frame published for the window, if any.
std::optional<Frame> lastFrame(HWND window);
// Forgets all frames (tests).
void resetFrames();

// Colour as red, green, blue.
inline constexpr std::uint8_t redOf(COLORREF c) { return static_cast<std::uint8_t>(c & 0xFF); }
inline constexpr std::uint8_t greenOf(COLORREF c) { return static_cast<std::uint8_t>((c >> 8) & 0xFF); }
inline constexpr std::uint8_t blueOf(COLORREF c) { return static_cast<std::uint8_t>((c >> 16) & 0xFF); }

} // namespace platform::win32
