#pragma once
// The identity of a reported aircraft (TrafficHead) and one reported position of it
// (PositionSample). Every traffic line carries one of each; every live and static aircraft
// record starts with a TrafficHead, and a live aircraft queues its PositionSamples until they
// fall due.

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
    uint16_t optionMatched = 0; // set once the landed aircraft was matched against learned stand options
    std::string callsign;      // empty when none
    std::string secondText;    // live: copy of the callsign; static: the stand option's callsign
    std::string thirdText;     // live: empty; static: the stand option's second callsign
    std::string registration;  // at most 12 characters; empty when none

    TrafficHead() = default;
    TrafficHead(const TrafficHead&) = default;
    TrafficHead& operator=(const TrafficHead&) = default;
    // A move takes the texts over and leaves the source's texts empty.
    TrafficHead(TrafficHead&& other) noexcept;
    TrafficHead& operator=(TrafficHead&& other) noexcept;
};

struct PositionSample {
    double latitude = 0.0;       // degrees
    double longitude = 0.0;      // degrees
    double altitude = 0.0;       // feet, QNH-corrected; 0 on the ground
    double groundSpeed = 0.0;    // knots
    double track = 0.0;          // degrees
    double verticalSpeed = 0.0;  // as reported
    double trueAirspeed = 0.0;   // knots
    // Live-traffic tick at which the sample falls due. 64 bits: tick arithmetic (a parked
    // aircraft's sample a week ahead) never overflows.
    int64_t dueTick = 0;
    uint8_t airborne = 0;
    uint8_t generated = 0;       // 0 for every reported sample; set on samples made by live traffic
    uint8_t headingKnown = 0;
    std::optional<double> bank;         // radians, airborne aircraft only
    std::optional<double> trueHeading;  // radians, ADS-B targets only
};

} // namespace tamrix
