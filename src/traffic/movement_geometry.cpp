#include "traffic/movement_geometry.hpp"

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

// The curve's point (metres east and north of its origin) and its speed (metres per unit of the
// parameter) at u.
double curveEast(const CurvePath& c, double u) { return 2 * (1 - u) * u * c.controlEast + u * u * c.endEast; }
double curveNorth(const CurvePath& c, double u) { return 2 * (1 - u) * u * c.controlNorth + u * u * c.endNorth; }
double curveSpeed(const CurvePath& c, double u) {
    return std::hypot((c.endEast - c.controlEast) * 2 * u + c.controlEast * 2 * (1 - u),
                      (c.endNorth - c.controlNorth) * 2 * u + c.controlNorth * 2 * (1 - u));
}

bool usable(const CurvePath& c) { return c.active() && !std::isnan(c.endNorth) && !std::isnan(c.endEast); }

// The sum of short chords: within a thousandth of the length for any turn a curve is made for.
double measuredLength(const CurvePath& c) {
    constexpr int kChords = 32;
    double metres = 0.0, e0 = 0.0, n0 = 0.0;
    for (int i = 1; i <= kChords; ++i) {
        const double u = static_cast<double>(i) / kChords;
        const double e = curveEast(c, u);
        const double n = curveNorth(c, u);
        metres += std::hypot(e - e0, n - n0);
        e0 = e;
        n0 = n;
    }
    return metres;
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
    p.longitude = c.originLongitude + e / (std::cos(c.originLatitude * 0.017453292519943295) * kMetresPerDegree);
    return p;
}

double gf_curveLengthNm(const CurvePath& c) { return usable(c) ? c.lengthMetres / kMetresPerNm : 0.0; }

double gf_curveParameterAfterTick(const CurvePath& c, double t) {
    if (!usable(c)) return t;
    const double way = c.lengthMetres * c.parameterStep;
    // A step at the speed halfway through it; where the curve stands still (its control point on
    // its origin or its end) the plain parameter step.
    const double first = curveSpeed(c, t);
    if (!(first > 1e-6)) return t + c.parameterStep;
    const double middle = curveSpeed(c, std::min(t + way / first / 2, 1.0));
    return t + (middle > 1e-6 ? way / middle : c.parameterStep);
}

void gf_setCurve(CurvePath& c, double originLat, double originLon, double controlLat,
                 double controlLon, double endLat, double endLon) {
    const double eastScale = std::cos(originLat * 0.017453292519943295) * kMetresPerDegree;
    c.originLatitude = originLat;
    c.originLongitude = originLon;
    c.parameterStart = 0.0;
    c.parameterEnd = 1.0;
    c.controlNorth = (controlLat - originLat) * kMetresPerDegree;
    c.controlEast = (controlLon - originLon) * eastScale;
    c.endNorth = (endLat - originLat) * kMetresPerDegree;
    c.endEast = (endLon - originLon) * eastScale;
    c.parameter = 0.0;
    c.lengthMetres = measuredLength(c);
}

} // namespace tamrix
