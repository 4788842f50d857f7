#include "platform/win32/monitors.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>

namespace platform::win32 {
namespace {

std::vector<Monitor> defaultMonitors() { return {Monitor{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}}; }

struct Screens {
    std::mutex lock;
    std::vector<Monitor> monitors = defaultMonitors();
};
Screens& screens() {
    static Screens s;
    return s;
}

HMONITOR handleOf(std::size_t index) { return reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(index + 1)); }

int64_t overlap(const RECT& a, const RECT& b) {
    const int64_t w = std::min<int64_t>(a.right, b.right) - std::max<int64_t>(a.left, b.left);
    const int64_t h = std::min<int64_t>(a.bottom, b.bottom) - std::max<int64_t>(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// Squared distance between two rectangles (0 when they touch or overlap).
int64_t distance(const RECT& a, const RECT& b) {
    const int64_t dx = std::max<int64_t>({0, int64_t{b.left} - a.right, int64_t{a.left} - b.right});
    const int64_t dy = std::max<int64_t>({0, int64_t{b.top} - a.bottom, int64_t{a.top} - b.bottom});
    return dx * dx + dy * dy;
}

bool contains(const RECT& area, LONG x, LONG y) {
    return x >= area.left && x < area.right && y >= area.top && y < area.bottom;
}

} // namespace

void setMonitors(std::vector<Monitor> list) {
    std::lock_guard guard(screens().lock);
    screens().monitors = list.empty() ? defaultMonitors() : std::move(list);
}

std::vector<Monitor> monitors() {
    std::lock_guard guard(screens().lock);
    return screens().monitors;
}

} // namespace platform::win32

HMONITOR MonitorFromRect(const RECT* rect, DWORD flags) {
    using namespace platform::win32;
    const std::vector<Monitor> list = monitors();
    if (rect == nullptr || list.empty()) return nullptr;
    const bool empty = rect->right <= rect->left || rect->bottom <= rect->top;
    std::size_t best = list.size();
    int64_t bestOverlap = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const int64_t shared = empty ? (contains(list[i].area, rect->left, rect->top) ? 1 : 0) : overlap(*rect, list[i].area);
        if (shared > bestOverlap) {
            bestOverlap = shared;
            best = i;
        }
    }
    if (best < list.size()) return handleOf(best);
    if (flags == MONITOR_DEFAULTTOPRIMARY) return handleOf(0);
    if (flags != MONITOR_DEFAULTTONEAREST) return nullptr;
    const RECT point = empty ? RECT{rect->left, rect->top, rect->left, rect->top} : *rect;
    int64_t nearest = std::numeric_limits<int64_t>::max();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const int64_t d = distance(point, list[i].area);
        if (d < nearest) {
            nearest = d;
            best = i;
        }
    }
    return handleOf(best);
}

BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) {
    const auto index = reinterpret_cast<std::uintptr_t>(monitor);
    const auto list = platform::win32::monitors();
    if (info == nullptr || index == 0 || index > list.size()) return FALSE;
    info->rcMonitor = list[index - 1].area;
    info->rcWork = list[index - 1].workArea;
    info->dwFlags = index == 1 ? 1 : 0; // MONITORINFOF_PRIMARY
    return TRUE;
}
