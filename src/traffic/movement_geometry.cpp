#include "traffic/movement_geometry.hpp"

#include <algorithm>

#include <gsl/narrow>

namespace tamrix {

double gf_wrapHeading(double radians) {
    if (!std::isfinite(radians)) return 0.0;
    double h = std::fmod(radians, kFullTurn);
    if (h < 0) h += kFullTurn;
    // A tiny negative angle rounds up to a full turn, which is north again.
    if (h >= kFullTurn) h = 0.0;
    return h;
}

double gf_wrapDifference(double radians) {
    if (!std::isfinite(radians)) return radians;
    double d = std::fmod(radians, kFullTurn);
    if (d > kPi) d -= kFullTurn;
    else if (d <= -kPi) d += kFullTurn;
    return d;
}

double gf_wrapDegrees(double degrees) {
    if (!std::isfinite(degrees)) return degrees;
    double d = std::fmod(degrees, 360.0);
    if (d > 180.0) d -= 360.0;
    else if (d <= -180.0) d += 360.0;
    return d;
}

int32_t gf_narrowTicks(double ticks) {
    // gsl::narrow compares the value after the round trip, so NaN and anything beyond 32 bits
    // throw gsl::narrowing_error.
    return gsl::narrow<int32_t>(std::round(ticks));
}

int32_t gf_ticksFor(double distanceNm, double speedKnots) {
    return gf_narrowTicks(distanceNm * kTicksPerHour / speedKnots);
}

namespace {

// The curve's point (metres east and north of its origin) at u.
double curveEast(const CurvePath& c, double u) { return 2 * (1 - u) * u * c.controlEast + u * u * c.endEast; }
double curveNorth(const CurvePath& c, double u) { return 2 * (1 - u) * u * c.controlNorth + u * u * c.endNorth; }

bool usable(const CurvePath& c) { return c.active() && !std::isnan(c.endNorth) && !std::isnan(c.endEast); }

// The chords of even parameter steps, measured once: the sum of their lengths is within a
// thousandth of the curve's length for any turn a curve is made for, and within each the way
// goes on about evenly with the parameter.
void measureChords(CurvePath& c) {
    double metres = 0.0, e0 = 0.0, n0 = 0.0, sharpest = 0.0;
    double lastBearing = 0.0, lastLength = 0.0;
    for (int i = 1; i <= kCurveChords; ++i) {
        const double u = static_cast<double>(i) / kCurveChords;
        const double e = curveEast(c, u);
        const double n = curveNorth(c, u);
        const double length = std::hypot(e - e0, n - n0);
        const double bearing = std::atan2(e - e0, n - n0);
        if (i > 1 && length + lastLength > 1e-9)
            sharpest = std::max(sharpest, std::abs(gf_wrapDifference(bearing - lastBearing)) /
                                              ((length + lastLength) / 2));
        metres += length;
        c.chordEnds[static_cast<std::size_t>(i - 1)] = metres;
        e0 = e;
        n0 = n;
        lastBearing = bearing;
        lastLength = length;
    }
    c.lengthMetres = metres;
    c.sharpestTurnPerMetre = sharpest;
}

} // namespace

std::optional<CurvePoint> gf_bezierPoint(const CurvePath& c, double t) {
    if (!usable(c)) return std::nullopt;
    if (!(t >= c.parameterStart && t <= c.parameterEnd)) return std::nullopt;
    const double u = (t - c.parameterStart) / (c.parameterEnd - c.parameterStart);
    if (!(u >= 0.0 && u <= 1.0)) return std::nullopt;
    const double dE = (c.endEast - c.controlEast) * 2 * u + c.controlEast * 2 * (1 - u);
    const double dN = (c.endNorth - c.controlNorth) * 2 * u + c.controlNorth * 2 * (1 - u);
    CurvePoint p;
    p.heading = gf_wrapHeading(std::atan2(dE, dN));
    const double e = curveEast(c, u);
    const double n = curveNorth(c, u);
    p.latitude = c.originLatitude + n / kMetresPerDegree;
    p.longitude = c.originLongitude + e / (std::cos(c.originLatitude * kDegToRad) * kMetresPerDegree);
    return p;
}

double gf_curveLengthNm(const CurvePath& c) { return usable(c) ? c.lengthMetres / kMetresPerNm : 0.0; }

double gf_curveParameterAfterTick(const CurvePath& c, double t) {
    if (!usable(c)) return t;
    // A curve that goes nowhere (all three points at one spot) in plain parameter steps.
    if (!(c.lengthMetres > 1e-6)) return t + c.parameterStep;
    // The way gone at t, one tick's way on, and the parameter there, each within its chord.
    const auto chordStart = [&](int i) { return i == 0 ? 0.0 : c.chordEnds[static_cast<std::size_t>(i - 1)]; };
    const double x = std::clamp(t, 0.0, 1.0) * kCurveChords;
    int i = std::min(static_cast<int>(x), kCurveChords - 1);
    const double gone = chordStart(i) + (x - i) * (c.chordEnds[static_cast<std::size_t>(i)] - chordStart(i));
    const double target = gone + c.lengthMetres * c.parameterStep;
    if (target >= c.lengthMetres) return 1.0;
    while (c.chordEnds[static_cast<std::size_t>(i)] < target) ++i;
    const double chord = c.chordEnds[static_cast<std::size_t>(i)] - chordStart(i);
    const double within = chord > 1e-9 ? (target - chordStart(i)) / chord : 1.0;
    return (i + within) / kCurveChords;
}

void gf_setCurve(CurvePath& c, double originLat, double originLon, double controlLat,
                 double controlLon, double endLat, double endLon) {
    const double eastScale = std::cos(originLat * kDegToRad) * kMetresPerDegree;
    c.originLatitude = originLat;
    c.originLongitude = originLon;
    c.parameterStart = 0.0;
    c.parameterEnd = 1.0;
    c.controlNorth = (controlLat - originLat) * kMetresPerDegree;
    c.controlEast = (controlLon - originLon) * eastScale;
    c.endNorth = (endLat - originLat) * kMetresPerDegree;
    c.endEast = (endLon - originLon) * eastScale;
    c.parameter = 0.0;
    measureChords(c);
}

} // namespace tamrix
