#pragma once
// Angle and curve arithmetic of the live aircraft's movement: headings wrapped into one turn,
// signed heading differences, tick counts from distances and speeds, and the quadratic Bezier
// curve in a local metric plane along which an aircraft turns corners on the ground.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/geodesy.hpp"
#include "records/aircraft.hpp"
#include "records/curve_path.hpp"

namespace tamrix {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kFullTurn = 6.283185307179586;
inline constexpr double kFeetPerNm = 6076.11549;
inline constexpr double kMetresPerNm = 1852.0;
// Metres per degree of latitude in the local plane of a curve.
inline constexpr double kMetresPerDegree = 111132.95;
inline constexpr double kTicksPerHour = 360000.0;

// Where a sample or an aircraft is.
inline GeoPosition positionOf(const PositionSample& s) { return {s.latitude, s.longitude}; }
inline GeoPosition positionOf(const AcPosition& p) { return {p.latitude, p.longitude}; }
inline GeoPosition positionOf(const LiveAircraft& ac) { return positionOf(ac.position); }
// Two samples with both coordinates within a tolerance (degrees) of each other: by default at
// one spot (the feed's own repeats).
inline bool samePosition(const PositionSample& a, const PositionSample& b, double toleranceDeg = 1e-8) {
    return std::abs(a.latitude - b.latitude) <= toleranceDeg && std::abs(a.longitude - b.longitude) <= toleranceDeg;
}

// Any angle (radians) into [0, 2 pi), below zero as well as above a full turn; 0 for NaN.
double gf_wrapHeading(double radians);
// Any angle difference (radians) into (-pi, pi].
double gf_wrapDifference(double radians);
// Degrees into (-180, 180].
double gf_wrapDegrees(double degrees);

// Ticks needed to cover a distance at a speed: round(nm * 360000 / kt), narrowed to a signed
// 32-bit count; NaN or a value out of range throws gsl::narrowing_error.
int32_t gf_ticksFor(double distanceNm, double speedKnots);
// A double that must be a whole signed 32-bit number after rounding; throws otherwise.
int32_t gf_narrowTicks(double ticks);

struct CurvePoint {
    double latitude = 0.0;
    double longitude = 0.0;
    double heading = 0.0; // tangent, radians in [0, 2 pi)
};

// The point of the curve at parameter t; none when no curve is active or t lies outside it.
std::optional<CurvePoint> gf_bezierPoint(const CurvePath& curve, double t);
// The length of the curve's path in nautical miles (0 when no curve is active): longer than the
// straight way from its origin to its end, the more so the sharper it turns.
double gf_curveLengthNm(const CurvePath& curve);
// The curve's parameter one tick on from t, for a tick that goes the curve's length times the
// parameter step along it: an even pace, also where the control point lies nearer one end than
// the other (in even parameter steps the pace would change in their ratio). t itself for no
// active curve.
double gf_curveParameterAfterTick(const CurvePath& curve, double t);
// Sets the curve from the origin through a control position to an end position (degrees), and
// its length.
void gf_setCurve(CurvePath& curve, double originLat, double originLon, double controlLat,
                 double controlLon, double endLat, double endLon);

} // namespace tamrix
