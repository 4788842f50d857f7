#include "core/geodesy.hpp"

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

using namespace tamrix;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFeetPerNm = 6076.115485564304;

// An independent formula for the cross-check: the spherical law of cosines.
double lawOfCosinesNm(GeoPosition a, GeoPosition b) {
    const double p1 = a.latitude * kPi / 180, p2 = b.latitude * kPi / 180;
    const double dl = (b.longitude - a.longitude) * kPi / 180;
    return std::acos(std::sin(p1) * std::sin(p2) + std::cos(p1) * std::cos(p2) * std::cos(dl)) * 10800 / kPi;
}

} // namespace

TEST(Geodesy, DistanceInNauticalMiles) {
    const GeoPosition eham{52.3086, 4.7639}, egll{51.4775, -0.4614};
    EXPECT_EQ(gf_distanceNm(eham, eham), 0.0);
    EXPECT_NEAR(gf_distanceNm({0, 0}, {1, 0}), 60.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 1}), 60.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm({40, 10}, {41, 10}), 60.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm(eham, egll), lawOfCosinesNm(eham, egll), 1e-6);
    EXPECT_DOUBLE_EQ(gf_distanceNm(eham, egll), gf_distanceNm(egll, eham));
    // Across the antimeridian the short way round.
    EXPECT_NEAR(gf_distanceNm({0, 179.5}, {0, -179.5}), 60.0, 1e-9);
}

TEST(Geodesy, DistanceNearThePolesAndAntipodesIsNeverNaN) {
    EXPECT_NEAR(gf_distanceNm({90, 0}, {90, 123}), 0.0, 1e-9);
    EXPECT_NEAR(gf_distanceNm({89.9, 0}, {89.9, 180}), 12.0, 1e-6);
    EXPECT_NEAR(gf_distanceNm({90, 0}, {-90, 0}), 10800.0, 1e-6);
    for (double lat = -90; lat <= 90; lat += 0.37) {
        for (double lon = -180; lon <= 180; lon += 7.3) {
            const double d = gf_distanceNm({lat, lon}, {-lat, lon + 180});
            ASSERT_FALSE(std::isnan(d)) << lat << " " << lon;
            ASSERT_NEAR(d, 10800.0, 1e-3);
        }
    }
}

TEST(Geodesy, InitialBearingInRadians) {
    EXPECT_EQ(gf_initialBearing({0, 0}, {0, 0}), 0.0);
    EXPECT_NEAR(gf_initialBearing({0, 0}, {0, 1}), kPi / 2, 1e-12);
    EXPECT_NEAR(gf_initialBearing({0, 0}, {1, 0}), 0.0, 1e-12);
    EXPECT_NEAR(gf_initialBearing({0, 0}, {-1, 0}), kPi, 1e-12);
    EXPECT_NEAR(gf_initialBearing({0, 0}, {0, -1}), 3 * kPi / 2, 1e-12);
    // Across the antimeridian: east, not the long way west.
    EXPECT_NEAR(gf_initialBearing({0, 179.5}, {0, -179.5}), kPi / 2, 1e-12);
    // Down the meridian from the north pole.
    EXPECT_NEAR(gf_initialBearing({90, 0}, {80, 0}), kPi, 1e-9);
    for (double lat = -89.5; lat < 90; lat += 3.1) {
        for (double dLon = -1e-9; dLon < 360; dLon += 11.7) {
            const double b = gf_initialBearing({lat, 20}, {lat + 0.3, 20 + dLon});
            ASSERT_GE(b, 0.0);
            ASSERT_LT(b, kTwoPi);
        }
    }
}

TEST(Geodesy, DestinationPoint) {
    const GeoPosition north = gf_destinationPoint({0, 0}, 0, kFeetPerNm);
    EXPECT_NEAR(north.latitude, 1.0 / 60, 1e-9);
    EXPECT_NEAR(north.longitude, 0.0, 1e-12);

    // A distance of 0 keeps the position, with the longitude brought into -180 .. 180.
    const GeoPosition same = gf_destinationPoint({12.5, 190}, 1.0, 0);
    EXPECT_NEAR(same.latitude, 12.5, 1e-12);
    EXPECT_NEAR(same.longitude, -170, 1e-9);

    // Going out and measuring back gives the same distance and bearing.
    const GeoPosition start{52.3086, 4.7639};
    const GeoPosition there = gf_destinationPoint(start, 1.2, 25 * kFeetPerNm);
    EXPECT_NEAR(gf_distanceNm(start, there), 25.0, 1e-6);
    EXPECT_NEAR(gf_initialBearing(start, there), 1.2, 1e-9);
}

TEST(Geodesy, DestinationAcrossTheAntimeridianAndOverThePole) {
    const GeoPosition east = gf_destinationPoint({10, 179.9}, kPi / 2, 20 * kFeetPerNm);
    EXPECT_LT(east.longitude, -179.0);
    EXPECT_GE(east.longitude, -180.0);
    const GeoPosition west = gf_destinationPoint({-10, -179.9}, 3 * kPi / 2, 20 * kFeetPerNm);
    EXPECT_GT(west.longitude, 179.0);
    EXPECT_LE(west.longitude, 180.0);

    // 2 nm north from 89.99 N passes the pole and comes down the other side.
    const GeoPosition over = gf_destinationPoint({89.99, 0}, 0, 2 * kFeetPerNm);
    EXPECT_NEAR(over.latitude, 90 - (2.0 / 60 - 0.01), 1e-6);
    EXPECT_NEAR(std::abs(over.longitude), 180.0, 1e-6);

    // Straight to the pole: rounding pushes the sine of the new latitude past 1 for many of these.
    for (double lat = 0; lat < 90; lat += 0.013) {
        const double feet = (kPi / 2 - lat * kDegToRad) / kFeetToRadians;
        const GeoPosition pole = gf_destinationPoint({lat, 5}, 0, feet);
        ASSERT_FALSE(std::isnan(pole.latitude) || std::isnan(pole.longitude)) << lat;
        ASSERT_NEAR(pole.latitude, 90.0, 1e-4);
    }
    for (const double lat : {90.0, -90.0, 89.9999999, -89.9999999}) {
        for (double bearing = 0; bearing < kTwoPi; bearing += 0.01) {
            for (const double feet : {0.0, 1e-3, 1.0, 1000.0, 6.6e7, 1.3e8}) {
                const GeoPosition p = gf_destinationPoint({lat, 33}, bearing, feet);
                ASSERT_FALSE(std::isnan(p.latitude) || std::isnan(p.longitude))
                    << lat << " " << bearing << " " << feet;
                ASSERT_LE(std::abs(p.latitude), 90.0);
                ASSERT_LE(std::abs(p.longitude), 180.0);
            }
        }
    }
}
