#include "links/traffic_intake.hpp"

#include <deque>
#include <mutex>
#include <string>
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
    uint64_t dropped = 0;     // lines that gave way in the current overflow (0: none going on)
    int64_t reportedTick = 0; // the tick of the overflow's last log line
};

// The log line an overflow's state calls for, if any; taken under the traffic lock.
std::string overflowLine(TrafficIntake& s, bool full) {
    if (full) {
        const int64_t tick = gLiveTrafficTick.load();
        if (s.dropped++ == 0) {
            s.reportedTick = tick;
            return fmt::format("Traffic intake full at {} lines, the oldest lines give way",
                               kTrafficIntakeCapacity);
        }
        if (tick - s.reportedTick < kOverflowReportTicks) return {};
        s.reportedTick = tick;
        return fmt::format("Traffic intake still full, {} line{} dropped so far", s.dropped,
                           gf_plural(s.dropped));
    }
    if (s.dropped == 0 || s.lines.size() > kTrafficIntakeRelieved) return {};
    const uint64_t dropped = std::exchange(s.dropped, 0);
    return fmt::format("Traffic intake overflow over, {} line{} dropped", dropped, gf_plural(dropped));
}

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
    std::string report;
    {
        std::lock_guard guard(s.lock);
        if (!s.gateOpen) return false;
        const bool full = s.lines.size() >= kTrafficIntakeCapacity;
        if (full) s.lines.pop_front();
        report = overflowLine(s, full);
        s.lines.push_back(std::move(line));
    }
    if (!report.empty()) gf_log(report);
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
