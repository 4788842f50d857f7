#pragma once
// The curve along which a live aircraft turns a corner on the ground: a quadratic Bezier curve
// from P0 (the origin) under the pull of P1 (the control point) to P2, in metres north and east
// of the origin. NaN control coordinates mean no curve is active.

#include <array>
#include <cmath>
#include <limits>

namespace tamrix {

// Chords in which a curve is measured when it is set: their lengths give its length and the
// even pace along it.
inline constexpr int kCurveChords = 32;

struct CurvePath {
    double originLatitude = 0.0;  // degrees
    double originLongitude = 0.0; // degrees
    double parameterStart = 0.0;
    double endNorth = 0.0; // metres
    double endEast = 0.0;  // metres
    double parameterEnd = 1.0;
    double controlEast = std::numeric_limits<double>::quiet_NaN();  // metres
    double controlNorth = std::numeric_limits<double>::quiet_NaN(); // metres
    double parameter = 0.0;     // 0 .. 0.999999
    double parameterStep = 0.0; // per tick
    double turnAngle = 0.0;     // degrees
    double lengthMetres = 0.0;  // of the path from P0 to P2, set with the curve
    // The way (metres) from P0 to the end of each chord of kCurveChords even parameter steps.
    std::array<double, kCurveChords> chordEnds{};
    // The sharpest turn of the curve's way, radians per metre (between two chords).
    double sharpestTurnPerMetre = 0.0;

    bool active() const { return !std::isnan(controlEast) && !std::isnan(controlNorth); }
    void clear() {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        controlEast = controlNorth = endNorth = endEast = nan;
        parameter = 0.0;
        lengthMetres = 0.0;
        sharpestTurnPerMetre = 0.0;
    }
};

} // namespace tamrix
