#pragma once
// One reported position of one live aircraft, as the traffic reader hands it to live traffic:
// the aircraft's identity (TrafficHead), one PositionSample and the aircraft key.

#include <cstdint>

#include "records/traffic_head.hpp"

namespace tamrix {

struct TrafficLine {
    TrafficHead head;
    PositionSample sample;
    double timeStamp = 0.0;  // seconds since 1970 (UTC), always finite
    uint32_t hexid = 0;      // the aircraft key, above 10000
};

} // namespace tamrix
