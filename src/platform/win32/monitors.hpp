#pragma once
// Stand-in for the Win32 monitor calls: the screens the window may stand on, each with its work
// area (the part not taken by task bars). A display face fills them from the real screens;
// without one there is a single 1920 x 1080 screen whose lowest 40 pixels hold a task bar.

#include <vector>

#include "platform/win32/window.hpp"

struct HMONITOR__;
using HMONITOR = HMONITOR__*;

inline constexpr DWORD MONITOR_DEFAULTTONULL = 0;
inline constexpr DWORD MONITOR_DEFAULTTOPRIMARY = 1;
inline constexpr DWORD MONITOR_DEFAULTTONEAREST = 2;

struct MONITORINFO {
    DWORD cbSize = sizeof(MONITORINFO);
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags = 0;
};

// The monitor that shares the largest area with the rectangle; when none does, the nearest one
// (MONITOR_DEFAULTTONEAREST), the first (MONITOR_DEFAULTTOPRIMARY) or none (MONITOR_DEFAULTTONULL).
// An empty rectangle stands for its top-left point.
HMONITOR MonitorFromRect(const RECT* rect, DWORD flags);
// FALSE for a handle that names no monitor.
BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info);

namespace platform::win32 {

struct Monitor {
    RECT area;
    RECT workArea;
};
// Replaces the monitors; an empty list brings back the default screen.
void setMonitors(std::vector<Monitor> monitors);
std::vector<Monitor> monitors();

} // namespace platform::win32
