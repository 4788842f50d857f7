#pragma once
// One reported position of one live aircraft, as the traffic reader hands it to live traffic:
// the aircraft's identity (TrafficHead), one PositionSample and the aircraft key. TrafficHead
// also starts every live and static aircraft record, and live traffic queues PositionSamples
// per aircraft.

#include <cstdint>
#include <optional>
#include <string>

#include "core/fixed_code.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {

struct TrafficHead {
    LiveryKey liveryKey;       // the traffic reader sets the model index only
    FixedCode<3> origin;       // not set = none
    FixedCode<3> destination;  // not set = none
    uint16_t optionMatched = 0;
    std::string callsign;      // empty when none
    std::string secondText;    // empty in a traffic line
    std::string thirdText;     // empty in a traffic line
    std::string registration;  // at most 12 characters; empty when none
};

struct PositionSample {
    double latitude = 0.0;       // degrees
    double longitude = 0.0;      // degrees
    double altitude = 0.0;       // feet, QNH-corrected; 0 on the ground
    double groundSpeed = 0.0;    // knots
    double track = 0.0;          // degrees
    double verticalSpeed = 0.0;  // as reported
    double trueAirspeed = 0.0;   // knots
    uint32_t dueTick = 0;        // live-traffic tick at which the sample falls due
    uint8_t airborne = 0;
    uint8_t generated = 0;       // 0 for every reported sample
    uint8_t headingKnown = 0;
    std::optional<double> bank;         // radians, airborne aircraft only
    std::optional<double> trueHeading;  // radians, ADS-B targets only
};

struct TrafficLine {
    TrafficHead head;
    PositionSample sample;
    double timeStamp = 0.0;  // seconds since 1970 (UTC), always finite
    uint32_t hexid = 0;      // the aircraft key, above 10000
};

} // namespace tamrix
