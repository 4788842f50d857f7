#include "platform/win32/timer_resolution.hpp"

#include <map>
#include <mutex>

namespace {

struct Periods {
    std::mutex lock;
    std::map<unsigned int, int> active; // period -> begins not yet ended
};

Periods& periods() {
    static auto* p = new Periods;
    return *p;
}

} // namespace

MMRESULT timeBeginPeriod(unsigned int uPeriod) {
    if (uPeriod == 0) return TIMERR_NOCANDO;
    auto& p = periods();
    std::lock_guard guard(p.lock);
    ++p.active[uPeriod];
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(unsigned int uPeriod) {
    auto& p = periods();
    std::lock_guard guard(p.lock);
    const auto it = p.active.find(uPeriod);
    if (it == p.active.end() || it->second == 0) return TIMERR_NOCANDO;
    --it->second;
    return TIMERR_NOERROR;
}

namespace platform::win32 {

int activeTimerPeriods() {
    auto& p = periods();
    std::lock_guard guard(p.lock);
    int total = 0;
    for (const auto& [period, count] : p.active) total += count;
    return total;
}

} // namespace platform::win32
