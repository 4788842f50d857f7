#pragma once
// One reported position of one live aircraft, as the traffic reader hands it to live traffic:
// the aircraft's identity (TrafficHead), one PositionSample and the aircraft key.

#include <cstdint>

#include "records/traffic_head.hpp"

namespace tamrix {

// The time stamps a traffic line may carry (seconds since 1970, UTC): 2000-01-01 up to
// 2100-01-01. Anything else is a broken sender, and the simulator clock would follow it.
inline constexpr double kEarliestTrafficTime = 946684800.0;
inline constexpr double kLatestTrafficTime = 4102444800.0;

struct TrafficLine {
    TrafficHead head;
    PositionSample sample;
    double reportedAltitude = 0.0;  // feet on the standard pressure setting, as received
    double timeStamp = 0.0;         // seconds since 1970 (UTC), within kEarliestTrafficTime..kLatestTrafficTime
    uint32_t hexid = 0;             // the aircraft key, above 10000
};

} // namespace tamrix
