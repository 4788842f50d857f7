#pragma once
// Spherical-earth geodesy: great-circle distance, initial bearing and the point reached along a
// bearing. Every range, movement and placement decision rests on these; pure and thread-safe.

namespace tamrix {

// Degrees, north and east positive.
struct GeoPosition {
    double latitude = 0.0;
    double longitude = 0.0;

    constexpr bool operator==(const GeoPosition&) const noexcept = default;
};

inline constexpr double kDegToRad = 0.017453292519943295; // pi / 180
inline constexpr double kRadToDeg = 57.29577951308232;    // 180 / pi
inline constexpr double kTwoPi = 6.283185307179586;
// Twice the earth radius of 10800/pi nautical miles: one nautical mile is one minute of arc.
inline constexpr double kDistanceFactorNm = 6875.493541569878;
// One foot as an angle: the reciprocal of the earth radius in feet.
inline constexpr double kFeetToRadians = 4.787404208238998e-8;

// Nautical miles, never negative; finite positions never give NaN.
double gf_distanceNm(GeoPosition a, GeoPosition b);
// Initial true course from `from` to `to` in radians, 0 <= result < 2 pi.
double gf_initialBearing(GeoPosition from, GeoPosition to);
// The position reached from `start` along `bearingRad` after `distanceFeet`; longitude in -180..180.
GeoPosition gf_destinationPoint(GeoPosition start, double bearingRad, double distanceFeet);

} // namespace tamrix
