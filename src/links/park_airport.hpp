#pragma once
// The park airport as the traffic reader needs it: the one airport near the user at which
// static aircraft are parked. Its code, position and elevation are written together by the
// airport side when the park airport changes and read as one snapshot, from any thread.

#include "core/fixed_code.hpp"
#include "core/geodesy.hpp"

namespace tamrix {

struct ParkAirport {
    FixedCode<4> code;             // not set when there is no park airport
    GeoPosition position;          // degrees
    float elevationFeet = 0.0f;
};

ParkAirport gf_parkAirport();
void gf_setParkAirport(const ParkAirport& airport);
// No park airport any more (code, position and elevation all zero).
void gf_clearParkAirport();

} // namespace tamrix
