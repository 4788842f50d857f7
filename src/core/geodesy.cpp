#include "core/geodesy.hpp"

#include <algorithm>
#include <cmath>

namespace tamrix {

double gf_distanceNm(GeoPosition a, GeoPosition b) {
    const double phi1 = a.latitude * kDegToRad;
    const double phi2 = b.latitude * kDegToRad;
    const double lambda1 = a.longitude * kDegToRad;
    const double lambda2 = b.longitude * kDegToRad;
    const double sinHalfDPhi = std::sin((phi2 - phi1) / 2);
    const double sinHalfDLambda = std::sin((lambda2 - lambda1) / 2);
    double h = sinHalfDPhi * sinHalfDPhi + std::cos(phi2) * std::cos(phi1) * sinHalfDLambda * sinHalfDLambda;
    // Rounding can push h just past 1 for antipodal points; the square root of 1 - h would be NaN.
    h = std::clamp(h, 0.0, 1.0);
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * kDistanceFactorNm;
}

double gf_initialBearing(GeoPosition from, GeoPosition to) {
    const double phi1 = from.latitude * kDegToRad;
    const double phi2 = to.latitude * kDegToRad;
    const double dLambda = (to.longitude - from.longitude) * kDegToRad;
    const double y = std::sin(dLambda) * std::cos(phi2);
    const double x = std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda);
    double theta = std::atan2(y, x);
    if (theta < 0) {
        theta += kTwoPi;
        // A tiny negative angle rounds up to exactly 2 pi, which is north again.
        if (theta >= kTwoPi) theta = 0;
    }
    return theta;
}

GeoPosition gf_destinationPoint(GeoPosition start, double bearingRad, double distanceFeet) {
    const double delta = distanceFeet * kFeetToRadians;
    const double phi1 = start.latitude * kDegToRad;
    const double lambda1 = start.longitude * kDegToRad;
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double sinDelta = std::sin(delta);
    const double cosDelta = std::cos(delta);
    // Clamped: near the poles rounding can leave the argument just outside [-1, 1].
    const double sinPhi2 =
        std::clamp(sinPhi1 * cosDelta + cosPhi1 * sinDelta * std::cos(bearingRad), -1.0, 1.0);
    const double phi2 = std::asin(sinPhi2);
    double lambda2 =
        lambda1 + std::atan2(std::sin(bearingRad) * sinDelta * cosPhi1, cosDelta - sinPhi1 * std::sin(phi2));
    lambda2 = std::remainder(lambda2, kTwoPi);
    return {phi2 * kRadToDeg, lambda2 * kRadToDeg};
}

} // namespace tamrix
