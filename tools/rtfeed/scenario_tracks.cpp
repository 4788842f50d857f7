#include "rtfeed/scenario_tracks.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace rtfeed {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;
constexpr double kGravity = 9.80665;
constexpr double kKt = kMetresPerSecondPerKnot;
constexpr double kGlideTangent = 0.05240777928304121;  // tan 3 degrees
constexpr double kLateralMps2 = 1.0;                   // cornering on the ground
constexpr double kStep = 0.5;                          // metres between the points of a speed profile

Vec2 leftNormal(Vec2 d) { return {-d.y, d.x}; }

double lerp(double a, double b, double f) { return a + (b - a) * f; }

TrackState standing(Vec2 position, double headingDeg, double elevationFt) {
    TrackState s;
    s.position = position;
    s.altitudeFt = elevationFt;
    s.trackDeg = wrapDeg(headingDeg);
    s.headingDeg = wrapDeg(headingDeg);
    s.onGround = true;
    return s;
}

TrackState stopped(TrackState s) {
    s.groundSpeedKt = 0.0;
    s.trackDeg = s.headingDeg;
    s.verticalSpeedFpm = 0.0;
    s.rollDeg = 0.0;
    return s;
}

} // namespace

// --- Track ---------------------------------------------------------------------------------

TrackState Track::at(double t) const {
    if (m_states.empty()) return {};
    const double offset = std::clamp(t - m_start, 0.0, static_cast<double>(m_states.size() - 1));
    const auto i = static_cast<std::size_t>(std::floor(offset));
    if (i + 1 >= m_states.size()) return m_states.back();
    const double f = offset - static_cast<double>(i);
    const TrackState& a = m_states[i];
    const TrackState& b = m_states[i + 1];
    TrackState s = f < 0.5 ? a : b;
    s.position = a.position + (b.position - a.position) * f;
    s.altitudeFt = lerp(a.altitudeFt, b.altitudeFt, f);
    s.groundSpeedKt = lerp(a.groundSpeedKt, b.groundSpeedKt, f);
    // A standing aircraft's track is its heading; starting or stopping, the moving side's counts
    // (a pushback's track is opposite to the heading it stood with).
    if (a.groundSpeedKt <= 0.0 || b.groundSpeedKt <= 0.0)
        s.trackDeg = a.groundSpeedKt <= 0.0 ? b.trackDeg : a.trackDeg;
    else
        s.trackDeg = wrapDeg(a.trackDeg + turnDeg(a.trackDeg, b.trackDeg) * f);
    s.headingDeg = wrapDeg(a.headingDeg + turnDeg(a.headingDeg, b.headingDeg) * f);
    if (s.groundSpeedKt < 0.05) {  // standing, as a line with one decimal shows it
        s.groundSpeedKt = 0.0;
        s.trackDeg = s.headingDeg;
    }
    s.verticalSpeedFpm = lerp(a.verticalSpeedFpm, b.verticalSpeedFpm, f);
    s.rollDeg = lerp(a.rollDeg, b.rollDeg, f);
    return s;
}

Track Track::from(double t) const {
    if (m_states.empty() || t <= m_start) return *this;
    const double skip = std::ceil(t - m_start);
    if (skip >= static_cast<double>(m_states.size())) return {};
    const auto n = static_cast<std::ptrdiff_t>(skip);
    return Track(m_start + skip, std::vector<TrackState>(m_states.begin() + n, m_states.end()));
}

// --- Path ----------------------------------------------------------------------------------

Path::Path(std::vector<Vec2> waypoints, double cornerRadiusM) {
    std::vector<Vec2> p;
    for (const Vec2& w : waypoints)
        if (p.empty() || rtfeed::length(w - p.back()) > 0.5) p.push_back(w);
    if (p.size() < 2) {
        const Vec2 only = p.empty() ? Vec2{} : p.front();
        m_pieces.push_back({0.0, 0.0, only, {0.0, 1.0}, 0.0, 0.0, 0.0, false});
        return;
    }
    const std::size_t legs = p.size() - 1;
    std::vector<double> legLength(legs);
    std::vector<Vec2> legDirection(legs);
    for (std::size_t i = 0; i < legs; ++i) {
        legLength[i] = rtfeed::length(p[i + 1] - p[i]);
        legDirection[i] = unit(p[i + 1] - p[i]);
    }
    // Corner i lies at p[i] between leg i-1 and leg i; its arc takes `cut` off both legs.
    std::vector<double> cut(p.size(), 0.0), radius(p.size(), 0.0), turn(p.size(), 0.0);
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
        const Vec2 a = legDirection[i - 1];
        const Vec2 b = legDirection[i];
        const double theta = std::atan2(cross(a, b), dot(a, b));
        if (std::fabs(theta) < 1e-6) continue;
        const double half = std::tan(std::fabs(theta) / 2.0);
        const double before = i - 1 == 0 ? legLength[i - 1] : legLength[i - 1] / 2.0;
        const double after = i == legs - 1 ? legLength[i] : legLength[i] / 2.0;
        cut[i] = std::min({cornerRadiusM * half, before, after});
        radius[i] = cut[i] / half;
        turn[i] = theta;
    }
    Vec2 current = p[0];
    for (std::size_t i = 0; i < legs; ++i) {
        const Vec2 lineEnd = p[i + 1] - legDirection[i] * cut[i + 1];
        const double lineLength = rtfeed::length(lineEnd - current);
        if (lineLength > 1e-9) {
            m_pieces.push_back({m_length, lineLength, current, legDirection[i], 0.0, 0.0, 0.0, false});
            m_length += lineLength;
        }
        current = lineEnd;
        if (i + 1 < legs && radius[i + 1] > 0.0) {
            const double r = radius[i + 1];
            const double theta = turn[i + 1];
            const Vec2 centre = lineEnd + leftNormal(legDirection[i]) * (theta > 0 ? r : -r);
            const Vec2 fromCentre = lineEnd - centre;
            const double arcLength = r * std::fabs(theta);
            m_pieces.push_back(
                {m_length, arcLength, centre, legDirection[i], r, std::atan2(fromCentre.y, fromCentre.x), theta, true});
            m_length += arcLength;
            current = p[i + 1] + legDirection[i + 1] * cut[i + 1];
        }
    }
    if (m_pieces.empty()) m_pieces.push_back({0.0, 0.0, p.front(), legDirection.front(), 0.0, 0.0, 0.0, false});
}

const Path::Piece& Path::pieceAt(double s) const {
    auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), s,
                               [](double value, const Piece& piece) { return value < piece.startS; });
    return it == m_pieces.begin() ? m_pieces.front() : *(it - 1);
}

Vec2 Path::at(double s) const {
    s = std::clamp(s, 0.0, m_length);
    const Piece& piece = pieceAt(s);
    const double local = std::clamp(s - piece.startS, 0.0, piece.length);
    if (!piece.arc) return piece.from + piece.direction * local;
    const double angle = piece.startAngle + (piece.sweep > 0 ? 1.0 : -1.0) * local / piece.radius;
    return piece.from + Vec2{std::cos(angle), std::sin(angle)} * piece.radius;
}

double Path::courseAt(double s) const {
    s = std::clamp(s, 0.0, m_length);
    const Piece& piece = pieceAt(s);
    if (!piece.arc) return courseOf(piece.direction);
    const double local = std::clamp(s - piece.startS, 0.0, piece.length);
    const double angle = piece.startAngle + (piece.sweep > 0 ? 1.0 : -1.0) * local / piece.radius;
    const Vec2 tangent = piece.sweep > 0 ? Vec2{-std::sin(angle), std::cos(angle)} : Vec2{std::sin(angle), -std::cos(angle)};
    return courseOf(tangent);
}

double Path::radiusAt(double s) const {
    const Piece& piece = pieceAt(std::clamp(s, 0.0, m_length));
    return piece.arc ? piece.radius : std::numeric_limits<double>::infinity();
}

// --- Performance and layout ----------------------------------------------------------------

Performance jetPerformance() { return {}; }

Performance lightPerformance() {
    Performance p;
    p.approachKt = 70.0;
    p.touchdownKt = 62.0;
    p.brakingMps2 = 1.2;
    p.exitKt = 15.0;
    p.taxiKt = 12.0;
    p.rotateKt = 55.0;
    p.takeoffMps2 = 1.3;
    p.climbFpm = 700.0;
    p.climbKt = 80.0;
    p.flareFt = 15.0;
    p.aimPointM = 150.0;
    return p;
}

double Layout::offCentreline(Vec2 p) const { return std::fabs(cross(direction, p - threshold)); }

Layout layoutOf(const ScenarioAirport& airport, std::size_t runwayIndex, bool towardsEnd1) {
    const ScenarioRunway& r = airport.runways.at(runwayIndex);
    Layout l;
    l.threshold = towardsEnd1 ? r.end2 : r.end1;
    l.direction = unit(towardsEnd1 ? r.end1 - r.end2 : r.end2 - r.end1);
    l.lengthM = r.lengthM();
    l.elevationFt = airport.elevationFt;
    const auto slash = r.designator.find('/');
    l.runwayEnd = slash == std::string::npos ? r.designator
                                             : (towardsEnd1 ? r.designator.substr(slash + 1) : r.designator.substr(0, slash));
    Vec2 mean;
    for (const auto& s : airport.stands) mean = mean + s.position * (1.0 / static_cast<double>(airport.stands.size()));
    const Vec2 left = leftNormal(l.direction);
    l.apronSide = airport.stands.empty() || dot(mean - l.threshold, left) >= 0.0 ? left : left * -1.0;
    double nearestLane = std::numeric_limits<double>::max();
    for (const auto& s : airport.stands) {
        const double d = dot(s.position - courseVector(s.headingDeg) * kStandLaneM - l.threshold, l.apronSide);
        if (d > 0.0) nearestLane = std::min(nearestLane, d);
    }
    l.taxiwayOffsetM = std::clamp(nearestLane - 40.0, 90.0, 180.0);
    return l;
}

// --- Driving a path ------------------------------------------------------------------------

Drive drivePath(const Path& path, double startMps, double endMps, double limitMps, double accelMps2,
                double brakeMps2, double elevationFt, bool reverse) {
    struct Profile {
        std::vector<double> s, v, t;
    };
    auto profile = std::make_shared<Profile>();
    const double total = path.length();
    const auto steps = static_cast<std::size_t>(std::max(1.0, std::ceil(total / kStep)));
    profile->s.resize(steps + 1);
    profile->v.resize(steps + 1);
    profile->t.resize(steps + 1, 0.0);
    for (std::size_t i = 0; i <= steps; ++i) {
        profile->s[i] = total * static_cast<double>(i) / static_cast<double>(steps);
        profile->v[i] = std::min(limitMps, std::sqrt(kLateralMps2 * path.radiusAt(profile->s[i])));
    }
    const double ds = total / static_cast<double>(steps);
    profile->v[0] = std::min(profile->v[0], startMps);
    for (std::size_t i = 0; i < steps; ++i)
        profile->v[i + 1] = std::min(profile->v[i + 1], std::sqrt(profile->v[i] * profile->v[i] + 2.0 * accelMps2 * ds));
    profile->v[steps] = std::min(profile->v[steps], endMps);
    for (std::size_t i = steps; i-- > 0;)
        profile->v[i] = std::min(profile->v[i], std::sqrt(profile->v[i + 1] * profile->v[i + 1] + 2.0 * brakeMps2 * ds));
    for (std::size_t i = 0; i < steps; ++i) {
        const double mean = std::max(0.5 * (profile->v[i] + profile->v[i + 1]), 0.05);
        profile->t[i + 1] = profile->t[i] + (total > 0.0 ? ds / mean : 0.0);
    }
    Drive drive;
    drive.duration = profile->t.back();
    drive.at = [profile, path, elevationFt, reverse](double tau) {
        const auto& t = profile->t;
        const auto it = std::upper_bound(t.begin(), t.end(), tau);
        std::size_t i = it == t.begin() ? 0 : static_cast<std::size_t>(it - t.begin()) - 1;
        if (i + 1 >= t.size()) i = t.size() - 2;
        const double span = t[i + 1] - t[i];
        const double f = span > 0.0 ? std::clamp((tau - t[i]) / span, 0.0, 1.0) : 1.0;
        // Within a step the speed changes linearly with time: distance from the mean speed.
        const double v = lerp(profile->v[i], profile->v[i + 1], f);
        const double s = profile->s[i] + 0.5 * (profile->v[i] + v) * (tau - t[i]) * (span > 0.0 ? 1.0 : 0.0);
        const double along = std::clamp(s, profile->s[i], profile->s[i + 1]);
        TrackState state;
        state.position = path.at(along);
        state.altitudeFt = elevationFt;
        state.groundSpeedKt = v / kKt;
        state.trackDeg = path.courseAt(along);
        state.headingDeg = reverse ? wrapDeg(state.trackDeg + 180.0) : state.trackDeg;
        state.onGround = true;
        return state;
    };
    return drive;
}

// --- Builder -------------------------------------------------------------------------------

void TrackBuilder::add(double duration, std::function<TrackState(double)> at) {
    if (duration <= 0.0) return;
    m_pieces.push_back({m_time, duration, std::move(at)});
    m_time += duration;
}

void TrackBuilder::hold(double seconds, TrackState state) {
    const TrackState s = stopped(state);
    add(seconds, [s](double) { return s; });
}

Track TrackBuilder::build() const {
    if (m_pieces.empty()) return {};
    const auto count = static_cast<std::size_t>(std::floor(m_time - m_start)) + 1;
    std::vector<TrackState> states(count);
    std::size_t piece = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const double t = m_start + static_cast<double>(k);
        while (piece + 1 < m_pieces.size() && t >= m_pieces[piece + 1].start) ++piece;
        const auto& p = m_pieces[piece];
        states[k] = p.at(std::clamp(t - p.start, 0.0, p.duration));
    }
    for (std::size_t k = 0; k < count; ++k) {
        TrackState& s = states[k];
        if (s.onGround) {
            s.verticalSpeedFpm = 0.0;
            s.rollDeg = 0.0;
            continue;
        }
        const std::size_t a = k == 0 ? 0 : k - 1;
        const std::size_t b = std::min(k + 1, count - 1);
        const double span = static_cast<double>(b - a);
        if (span <= 0.0) continue;
        s.verticalSpeedFpm = std::round((states[b].altitudeFt - states[a].altitudeFt) / span * 60.0);
        const double turnRate = turnDeg(states[a].headingDeg, states[b].headingDeg) / span * kDeg;
        s.rollDeg = std::atan(s.groundSpeedKt * kKt * turnRate / kGravity) / kDeg;
    }
    return Track(m_start, std::move(states));
}

// --- Arrivals ------------------------------------------------------------------------------

Track arrivalTrack(const Layout& layout, const Performance& perf, const ScenarioStand& stand, double touchdownTime,
                   double approachSeconds, double parkedSeconds, ArrivalTimes* times) {
    const double flare = perf.flareFt * kMetresPerFoot;
    const double flareStart = perf.aimPointM - flare / kGlideTangent;
    const double flareLength = 2.0 * flare / kGlideTangent;  // meets the glide path's slope
    const double touchdownAt = flareStart + flareLength;
    const auto height = [=](double x) {
        if (x <= flareStart) return (perf.aimPointM - x) * kGlideTangent;
        if (x < touchdownAt) return flare * std::pow(1.0 - (x - flareStart) / flareLength, 2.0);
        return 0.0;
    };
    const auto speedKt = [=](double x) {
        if (x >= flareStart) return lerp(perf.approachKt, perf.touchdownKt, std::min(1.0, (x - flareStart) / flareLength));
        const double before = -x;  // metres before the threshold
        if (before < 7408.0) return perf.approachKt;
        if (before < 18520.0) return perf.approachKt + 40.0 * (before - 7408.0) / 11112.0;
        return std::min(250.0, perf.approachKt + 40.0 + 30.0 * std::min(1.0, (before - 18520.0) / 18520.0));
    };
    // Distance flown against time, integrated back from the touchdown point.
    constexpr double dt = 0.1;
    auto xs = std::make_shared<std::vector<double>>();
    xs->push_back(touchdownAt);
    while (static_cast<double>(xs->size() - 1) * dt < approachSeconds)
        xs->push_back(xs->back() - speedKt(xs->back()) * kKt * dt);
    const double approach = static_cast<double>(xs->size() - 1) * dt;
    const double course = courseOf(layout.direction);

    TrackBuilder b(touchdownTime - approach);
    b.add(approach, [=](double tau) {
        const double back = (approach - tau) / dt;
        const auto i = std::min(static_cast<std::size_t>(back), xs->size() - 2);
        const double x = lerp((*xs)[i], (*xs)[i + 1], back - static_cast<double>(i));
        TrackState s;
        s.position = layout.onCentreline(x);
        s.altitudeFt = layout.elevationFt + height(x) / kMetresPerFoot;
        s.groundSpeedKt = speedKt(x);
        s.trackDeg = s.headingDeg = course;
        s.onGround = false;
        return s;
    });

    // Roll-out on the centreline down to the exit speed; stronger braking on a short runway.
    const double v0 = perf.touchdownKt * kKt;
    const double v1 = perf.exitKt * kKt;
    const double room = std::max(200.0, layout.lengthM - 250.0 - touchdownAt);
    const double brake = std::max(perf.brakingMps2, (v0 * v0 - v1 * v1) / (2.0 * room));
    const double rollTime = (v0 - v1) / brake;
    const double exitAt = touchdownAt + (v0 * v0 - v1 * v1) / (2.0 * brake);
    b.add(rollTime, [=](double tau) {
        TrackState s;
        s.position = layout.onCentreline(touchdownAt + v0 * tau - 0.5 * brake * tau * tau);
        s.altitudeFt = layout.elevationFt;
        s.groundSpeedKt = (v0 - brake * tau) / kKt;
        s.trackDeg = s.headingDeg = course;
        return s;
    });
    const double exitTime = b.now();

    const Vec2 lane = stand.position - courseVector(stand.headingDeg) * kStandLaneM;
    const double turnOff = exitAt + 80.0;
    const Path taxi({layout.onCentreline(exitAt), layout.onCentreline(turnOff), layout.onTaxiway(turnOff),
                     layout.onTaxiway(layout.along(lane)), lane, stand.position},
                    30.0);
    const Drive drive = drivePath(taxi, v1, 0.0, perf.taxiKt * kKt, 0.6, 1.2, layout.elevationFt, false);
    b.add(drive);
    double vacated = b.now();
    for (double tau = 0.0; tau <= drive.duration; tau += 0.5) {
        if (layout.offCentreline(drive.at(tau).position) > 60.0) {
            vacated = exitTime + tau;
            break;
        }
    }
    const double onStand = b.now();
    b.hold(parkedSeconds, standing(stand.position, stand.headingDeg, layout.elevationFt));
    if (times) *times = {touchdownTime, vacated, onStand};
    return b.build();
}

// --- Departures ----------------------------------------------------------------------------

Track departureTrack(const Layout& layout, const Performance& perf, const ScenarioStand& stand, double appearTime,
                     double pushbackTime, const Busy& busy, double climbSeconds, DepartureTimes* times) {
    const Vec2 nose = courseVector(stand.headingDeg);
    const Vec2 tail = layout.direction;  // the tail swings away from the threshold
    const Vec2 pushTurn = stand.position - nose * kStandLaneM;
    const Vec2 pushEnd = pushTurn + tail * 20.0;

    TrackBuilder b(appearTime);
    b.hold(std::max(0.0, pushbackTime - appearTime), standing(stand.position, stand.headingDeg, layout.elevationFt));
    const double pushback = b.now();
    b.add(drivePath(Path({stand.position, pushTurn, pushEnd}, 20.0), 0.0, 0.0, perf.pushbackKt * kKt, 0.3, 0.3,
                    layout.elevationFt, true));
    const double taxiCourse = courseOf(tail * -1.0);
    b.hold(20.0, standing(pushEnd, taxiCourse, layout.elevationFt));  // engines start, tug leaves

    constexpr double entry = 20.0;  // the entry connector, metres past the threshold
    const Vec2 ahead = pushEnd - tail * 30.0;
    const Vec2 holding = layout.onCentreline(entry) + layout.apronSide * 75.0;
    b.add(drivePath(Path({pushEnd, ahead, layout.onTaxiway(layout.along(ahead)), layout.onTaxiway(entry), holding}, 30.0),
                    0.0, 0.0, perf.taxiKt * kKt, 0.5, 0.8, layout.elevationFt, false));
    const Vec2 lineUpPoint = layout.onCentreline(entry + 45.0);
    const Drive lineUp = drivePath(Path({holding, layout.onCentreline(entry), lineUpPoint}, 30.0), 0.0, 0.0, 10.0 * kKt,
                                   0.5, 0.8, layout.elevationFt, false);
    const double vr = perf.rotateKt * kKt;
    const double rollTime = vr / perf.takeoffMps2;
    const double occupied = lineUp.duration + 4.0 + rollTime + 10.0;
    double start = b.now() + 10.0;
    for (bool moved = true; moved;) {
        moved = false;
        for (const auto& [from, to] : busy)
            if (start < to && start + occupied > from) {
                start = to + 5.0;
                moved = true;
            }
    }
    b.hold(start - b.now(), standing(holding, courseOf(layout.apronSide * -1.0), layout.elevationFt));
    const double lineUpTime = b.now();
    b.add(lineUp);
    const double course = courseOf(layout.direction);
    b.hold(4.0, standing(lineUpPoint, course, layout.elevationFt));
    const double rollFrom = layout.along(lineUpPoint);
    const double accel = perf.takeoffMps2;
    b.add(rollTime, [=](double tau) {
        TrackState s;
        s.position = layout.onCentreline(rollFrom + 0.5 * accel * tau * tau);
        s.altitudeFt = layout.elevationFt;
        s.groundSpeedKt = accel * tau / kKt;
        s.trackDeg = s.headingDeg = course;
        return s;
    });
    const double liftOff = b.now();
    const double liftOffAt = rollFrom + 0.5 * vr * rollTime;
    const double climbSpeed = std::max(vr, perf.climbKt * kKt);
    const double climbRate = perf.climbFpm / 60.0;  // feet a second
    b.add(climbSeconds, [=](double tau) {
        const double speedUp = climbSpeed - vr;  // at 1 m/s²
        const double v = std::min(vr + tau, climbSpeed);
        const double s = tau < speedUp ? vr * tau + 0.5 * tau * tau
                                       : vr * speedUp + 0.5 * speedUp * speedUp + climbSpeed * (tau - speedUp);
        const double h = tau < 8.0 ? climbRate * tau * tau / 16.0 : climbRate * (tau - 4.0);
        TrackState state;
        state.position = layout.onCentreline(liftOffAt + s);
        state.altitudeFt = layout.elevationFt + std::min(h, 10000.0);
        state.groundSpeedKt = v / kKt;
        state.trackDeg = state.headingDeg = course;
        state.onGround = tau <= 0.0;
        return state;
    });
    if (times) *times = {pushback, lineUpTime, liftOff};
    return b.build();
}

// --- Other traffic -------------------------------------------------------------------------

Track cruiseTrack(Vec2 closest, double courseDeg, double altitudeFt, double speedKt, double closestTime,
                  double startTime, double endTime) {
    TrackBuilder b(startTime);
    const Vec2 d = courseVector(courseDeg);
    b.add(endTime - startTime, [=](double tau) {
        TrackState s;
        s.position = closest + d * (speedKt * kKt * (startTime + tau - closestTime));
        s.altitudeFt = altitudeFt;
        s.groundSpeedKt = speedKt;
        s.trackDeg = s.headingDeg = wrapDeg(courseDeg);
        s.onGround = false;
        return s;
    });
    return b.build();
}

Track circleTrack(Vec2 centre, double radiusM, double altitudeFt, double speedKt, bool left, double startTime,
                  double endTime) {
    TrackBuilder b(startTime);
    const double rate = speedKt * kKt / radiusM * (left ? 1.0 : -1.0);
    b.add(endTime - startTime, [=](double tau) {
        const double angle = rate * tau;
        const Vec2 radial{std::cos(angle), std::sin(angle)};
        TrackState s;
        s.position = centre + radial * radiusM;
        s.altitudeFt = altitudeFt;
        s.groundSpeedKt = speedKt;
        s.trackDeg = s.headingDeg = courseOf(left ? leftNormal(radial) : leftNormal(radial) * -1.0);
        s.onGround = false;
        return s;
    });
    return b.build();
}

Track lapTrack(const std::vector<Vec2>& loop, double speedKt, double elevationFt, double startTime, double endTime) {
    TrackBuilder b(startTime);
    if (loop.size() < 3) return {};
    // Laps start and end halfway along the first leg, so that every corner is rounded.
    const Vec2 middle = (loop[0] + loop[1]) * 0.5;
    std::vector<Vec2> points{middle};
    for (std::size_t i = 1; i < loop.size(); ++i) points.push_back(loop[i]);
    points.push_back(loop[0]);
    points.push_back(middle);
    const Drive lap = drivePath(Path(points, 15.0), speedKt * kKt, speedKt * kKt, speedKt * kKt, 1.0, 1.0,
                                elevationFt, false);
    if (lap.duration <= 0.0) return {};
    while (b.now() < endTime) b.add(std::min(lap.duration, endTime - b.now()), lap.at);
    return b.build();
}

} // namespace rtfeed
