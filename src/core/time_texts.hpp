#pragma once
// The program's UTC time texts, and the weekday and half-hour slot of the "current" time: the time
// stamp of the last traffic datagram while RealTraffic's professional edition is connected, else
// the system clock.

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

namespace tamrix {

// Written by the traffic reader (time stamp of the last traffic datagram, seconds since 1970 UTC)
// and by the RealTraffic TCP server (professional edition connected); read here from any thread.
extern std::atomic<double> gLastTrafficTime;
extern std::atomic<bool> gRealTrafficProfessional;
// No traffic time stamp yet, no professional edition: the state a run starts from.
void gf_resetTrafficTime();

// The last second that converts: 3000-12-31 23:59:59 UTC. Earlier than 1970 does not convert either.
inline constexpr int64_t kLastConvertibleTime = 32535215999;

// "{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}": weekday, month, day, hour, minute, second, year, e.g.
// "Tue Dec 08 02:23:33 2026"; "Invalid time" for a time outside 1970 .. year 3000.
std::string gf_timeText(int64_t seconds);
// "hh:mm:ss" of the given time, "??:??:??" when it does not convert.
std::string gf_clockText(int64_t seconds);
// "Dec 08, 2026" of the given time, "??? ??, ????" when it does not convert.
std::string gf_dateTextOf(int64_t seconds);

// Seconds since 1970 of the system clock.
int64_t gf_systemTime();
// The traffic time when it counts (professional edition, finite stamp from 1 s to year 3000),
// else the system clock.
int64_t gf_currentTime();

// Clock of the system time; clock of the current time; date of the system time.
std::string gf_utcClock();
std::string gf_simClock();
std::string gf_dateText();

// {weekday 1 (Monday) .. 7 (Sunday), half-hour slot 0 .. 47} of the current time, both taken from
// one instant; {-1, -1} when the time does not convert. The second slot of an hour starts at
// minute 29, second 30.
std::pair<int32_t, int32_t> gf_weekdayAndHalfHour();
std::pair<int32_t, int32_t> gf_weekdayAndHalfHourAt(int64_t seconds);

} // namespace tamrix
