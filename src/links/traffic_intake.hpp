#pragma once
// The traffic intake: the one hand-over of parsed traffic lines from the "Traffic Reader"
// thread to the live-traffic tick on the start-up thread. A first-in-first-out queue and its
// gate, both under the traffic lock: the reader appends while the gate is open, the tick takes
// at most two lines from the front, the connect phase, a halted simulator and closing shut it.
//
// The queue is bounded. The tick drains 200 lines a second and every line falls due 30 s after
// it arrived, so a line that waited behind a full queue would come too late anyway: when full,
// the oldest line gives way. A sender that floods the intake must not flood the log as well: an
// overflow is logged when it starts, with its count once a minute while it lasts, and with the
// count when it is over, which is once the tick has drained the queue to a quarter.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "links/traffic_line.hpp"

namespace tamrix {

inline constexpr std::size_t kTrafficIntakeCapacity = 6000;
inline constexpr std::size_t kTrafficIntakeRelieved = kTrafficIntakeCapacity / 4;
// Ticks between two counts of a lasting overflow: a minute.
inline constexpr int64_t kOverflowReportTicks = 6000;
// Ticks between a line's arrival and the moment its sample falls due: 30 s of 10 ms ticks.
inline constexpr int64_t kSampleDelayTicks = 3000;

// The live-traffic tick counter: counted by the tick, read by the traffic reader without a lock.
extern std::atomic<int64_t> gLiveTrafficTick;

void gf_openTrafficGate();
void gf_shutTrafficGate();
bool gf_trafficGateOpen();

// Appends the line (moving its texts) while the gate is open; false when the gate is shut and
// the line was dropped.
bool gf_queueTrafficLine(TrafficLine&& line);
// Moves up to maxCount lines from the front into `out` (emptied first); returns how many.
std::size_t gf_takeTrafficLines(std::size_t maxCount, std::vector<TrafficLine>& out);
std::size_t gf_trafficIntakeSize();
// Empties the queue (the reset of live traffic before a restart); the gate stays as it is.
void gf_clearTrafficIntake();
// The intake as at process start: empty, the gate shut, no overflow counted, tick counter 0.
void gf_resetTrafficIntake();

} // namespace tamrix
