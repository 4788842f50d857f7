// The movement of live aircraft until the air, ground and parking movement take over: an
// active aircraft moves on to each sample when it falls due and holds that position until the
// next one does. An aircraft whose last sample is long overdue has left the feed (or the
// radius, beyond which the reader drops its lines) and is removed. The spawn position, the
// user-track test and the heading wrap are the lasting ones.

#include <cmath>
#include <numbers>

#include "core/geodesy.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

namespace {

constexpr double kFeetPerNm = 6076.11549;
// Ticks past the due tick of the last sample after which the aircraft has left the feed.
constexpr int64_t kFeedLostTicks = 3000;
// Keys waiting for the per-second stand-option match; more are not remembered.
constexpr std::size_t kMaxCallsignMatchKeys = 1024;

GeoPosition at(const PositionSample& s) { return GeoPosition{s.latitude, s.longitude}; }

} // namespace

double gf_wrapHeading(double radians) {
    if (!std::isfinite(radians)) return 0.0;
    double h = std::fmod(radians, 2.0 * std::numbers::pi);
    if (h < 0.0) h += 2.0 * std::numbers::pi;
    if (h >= 2.0 * std::numbers::pi) h = 0.0;
    return h;
}

void nextPosMain(LiveAircraft& aircraft) {
    SampleQueue& samples = aircraft.samples;
    if (samples.empty()) return;
    const PositionSample& f = samples.front();
    AcPosition& p = aircraft.position;
    p.latitude = f.latitude;
    p.longitude = f.longitude;
    if (f.airborne != 0 || aircraft.onGround == 0) p.altitude = f.altitude;
    if (f.generated == 0) {
        p.heading = gf_wrapHeading(f.trueHeading ? *f.trueHeading : f.track * kDegToRad);
        p.bank = f.bank.value_or(0.0);
    }
    aircraft.move.speed = f.groundSpeed;
    aircraft.move.verticalSpeed = f.verticalSpeed;
    if (samples.size() > 1) {
        samples.pop_front();
        return;
    }
    if (gf_tickCount() - f.dueTick > kFeedLostTicks) removeAircraftFromSim(aircraft);
}

void lf_integrateTick(LiveAircraft&) {}

StandRecord* lf_standAtBirth(LiveAircraft&) { return nullptr; }

void lf_positionAtSpawn(LiveAircraft& aircraft) {
    if (gCallsignMatchKeys.size() < kMaxCallsignMatchKeys) gCallsignMatchKeys.push_back(aircraft.key);
    const SampleQueue& samples = aircraft.samples;
    if (samples.empty()) return;
    const PositionSample& f = samples.front();
    AcPosition& p = aircraft.position;
    p.latitude = f.latitude;
    p.longitude = f.longitude;
    p.altitude = f.altitude;
    p.trueAirspeed = f.groundSpeed;
    p.bank = f.bank.value_or(0.0);
    if (f.airborne != 0) {
        double v = f.verticalSpeed;
        v = v > 0.0 ? std::min(v, 2400.0) : std::max(v, -3000.0) / 2.0;
        p.pitch = (-3.0 - (v / 600.0) * 2.2) * kDegToRad;
    } else {
        p.pitch = 0.6 * kDegToRad;
    }
    double heading;
    if (aircraft.move.restoreHeading != 0) {
        heading = aircraft.move.headingToRestore;
        aircraft.move.restoreHeading = 0;
    } else if (aircraft.phase == MovePhase::Parked) {
        heading = aircraft.standHeading;
    } else if (samples.size() >= 2 && samples[1].generated == 0 && !(std::abs(samples[1].latitude - f.latitude) < 1e-8 &&
                                                                     std::abs(samples[1].longitude - f.longitude) < 1e-8)) {
        heading = gf_initialBearing(at(f), at(samples[1]));
    } else {
        // One sample, or the next one stands still: the reported track.
        heading = f.track * kDegToRad;
    }
    p.heading = gf_wrapHeading(heading);
}

bool lf_isOnUserTrack(const LiveAircraft& aircraft, int32_t mode) {
    const double maxDistance = mode == 0 ? 4.0 : 6.0;
    const double maxAltitude = mode == 0 ? 1000.0 : 3000.0;
    const double maxLateral = mode == 0 ? 700.0 : 4000.0;
    const UserAcState& user = gf_userCopy().state;
    const GeoPosition userAt{user.latitude, user.longitude};
    const GeoPosition here{aircraft.position.latitude, aircraft.position.longitude};
    const double d = gf_distanceNm(userAt, here);
    if (d > maxDistance || std::abs(aircraft.position.altitude - user.altitude) >= maxAltitude) return false;
    const double x = std::remainder(aircraft.position.heading - gf_initialBearing(userAt, here), 2.0 * std::numbers::pi);
    if (std::cos(x) * d * kFeetPerNm <= 0.0) return false;
    return std::abs(std::sin(x)) * d * kFeetPerNm <= maxLateral;
}

bool lf_removeOnUserTrack(LiveAircraft& aircraft, int32_t mode) {
    if (!lf_isOnUserTrack(aircraft, mode)) return false;
    removeAircraftFromSim(aircraft);
    return true;
}

} // namespace tamrix
