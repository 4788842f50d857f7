#include "links/traffic_intake.hpp"

#include <deque>
#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/number_helpers.hpp"

namespace tamrix {

std::atomic<int64_t> gLiveTrafficTick{0};

namespace {

struct TrafficIntake {
    std::mutex lock;  // the traffic lock
    std::deque<TrafficLine> lines;
    bool gateOpen = false;
    uint64_t dropped = 0;  // lines that gave way in the current overflow
};

TrafficIntake& intake() {
    static auto* s = new TrafficIntake;
    return *s;
}

} // namespace

void gf_openTrafficGate() {
    auto& s = intake();
    std::lock_guard guard(s.lock);
    s.gateOpen = true;
}

void gf_shutTrafficGate() {
    auto& s = intake();
    std::lock_guard guard(s.lock);
    s.gateOpen = false;
}

bool gf_trafficGateOpen() {
    auto& s = intake();
    std::lock_guard guard(s.lock);
    return s.gateOpen;
}

bool gf_queueTrafficLine(TrafficLine&& line) {
    auto& s = intake();
    bool overflowStarts = false;
    uint64_t overflowEnded = 0;
    {
        std::lock_guard guard(s.lock);
        if (!s.gateOpen) return false;
        if (s.lines.size() >= kTrafficIntakeCapacity) {
            s.lines.pop_front();
            overflowStarts = s.dropped++ == 0;
        } else if (s.dropped != 0) {
            overflowEnded = std::exchange(s.dropped, 0);
        }
        s.lines.push_back(std::move(line));
    }
    if (overflowStarts)
        gf_log(fmt::format("Traffic intake full at {} lines, the oldest lines give way", kTrafficIntakeCapacity));
    if (overflowEnded != 0)
        gf_log(fmt::format("Traffic intake overflow over, {} line{} dropped", overflowEnded, gf_plural(overflowEnded)));
    return true;
}

std::size_t gf_takeTrafficLines(std::size_t maxCount, std::vector<TrafficLine>& out) {
    out.clear();
    auto& s = intake();
    std::lock_guard guard(s.lock);
    while (out.size() < maxCount && !s.lines.empty()) {
        out.push_back(std::move(s.lines.front()));
        s.lines.pop_front();
    }
    return out.size();
}

std::size_t gf_trafficIntakeSize() {
    auto& s = intake();
    std::lock_guard guard(s.lock);
    return s.lines.size();
}

void gf_clearTrafficIntake() {
    auto& s = intake();
    std::lock_guard guard(s.lock);
    s.lines.clear();
    s.dropped = 0;
}

} // namespace tamrix

namespace tamrix {

void gf_resetTrafficIntake() {
    auto& s = intake();
    {
        std::lock_guard guard(s.lock);
        s.lines.clear();
        s.dropped = 0;
        s.gateOpen = false;
    }
    gLiveTrafficTick.store(0);
}

} // namespace tamrix
