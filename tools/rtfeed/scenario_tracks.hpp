#pragma once
// Physically plausible tracks around an airport, built from its runway and stands: straight-in
// approaches on a 3 degree glide path with flare, touchdown, roll-out and taxi to a stand;
// pushback, taxi, line-up, take-off and climb-out; straight cruise legs; circling; laps round the
// apron. Everything here is a pure function of its arguments; a track holds one state a second.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "rtfeed/scenario_airport.hpp"

namespace rtfeed {

struct TrackState {
    Vec2 position;
    double altitudeFt = 0.0;      // above sea level, standard pressure setting
    double groundSpeedKt = 0.0;
    double trackDeg = 0.0;        // direction of motion
    double headingDeg = 0.0;      // where the nose points (differs from the track in a pushback)
    double verticalSpeedFpm = 0.0;
    double rollDeg = 0.0;
    bool onGround = true;
};

class Track {
public:
    Track() = default;
    Track(double start, std::vector<TrackState> states) : m_start(start), m_states(std::move(states)) {}

    bool empty() const { return m_states.empty(); }
    double start() const { return m_start; }
    double end() const { return m_start + static_cast<double>(m_states.size()) - 1.0; }
    // The state at time t (clamped to the track), interpolated between the seconds.
    TrackState at(double t) const;
    const std::vector<TrackState>& states() const { return m_states; }
    // The part from time t on (for tracks that begin before the run).
    Track from(double t) const;

private:
    double m_start = 0.0;
    std::vector<TrackState> m_states;
};

// A ground or air path: straight legs between waypoints with every corner rounded by an arc.
class Path {
public:
    Path(std::vector<Vec2> waypoints, double cornerRadiusM);
    double length() const { return m_length; }
    Vec2 at(double s) const;
    double courseAt(double s) const;
    // The radius of the arc at s; infinite on a straight leg.
    double radiusAt(double s) const;

private:
    struct Piece {
        double startS;
        double length;
        Vec2 from;        // line: start point; arc: centre
        Vec2 direction;   // line: unit direction
        double radius;    // arc only
        double startAngle;  // arc only: angle of the start point seen from the centre (radians)
        double sweep;       // arc only: signed, radians, counter-clockwise positive
        bool arc;
    };
    const Piece& pieceAt(double s) const;
    std::vector<Piece> m_pieces;
    double m_length = 0.0;
};

struct Performance {
    double approachKt = 140.0;
    double touchdownKt = 135.0;
    double brakingMps2 = 2.0;
    double exitKt = 20.0;
    double taxiKt = 15.0;
    double pushbackKt = 4.0;
    double rotateKt = 150.0;
    double takeoffMps2 = 2.2;
    double climbFpm = 2200.0;
    double climbKt = 250.0;
    double flareFt = 40.0;
    double aimPointM = 300.0;   // glide path aiming point past the threshold
};
Performance jetPerformance();
Performance lightPerformance();

// The runway in use and the taxi layout derived from it: a parallel taxiway on the side of the
// stands, a lane in front of each stand, connectors at right angles.
struct Layout {
    Vec2 threshold;     // landing and take-off threshold
    Vec2 direction;     // landing and take-off direction (unit)
    double lengthM = 0.0;
    Vec2 apronSide;     // unit normal towards the stands
    double taxiwayOffsetM = 180.0;
    double elevationFt = 0.0;
    std::string runwayEnd;  // designator of the end in use, "27"

    double along(Vec2 p) const { return dot(p - threshold, direction); }
    Vec2 onCentreline(double a) const { return threshold + direction * a; }
    Vec2 onTaxiway(double a) const { return onCentreline(a) + apronSide * taxiwayOffsetM; }
    // Distance of a point from the extended centreline (any side).
    double offCentreline(Vec2 p) const;
};
inline constexpr double kStandLaneM = 45.0;  // from a stand to the lane in front of it
// The runway `runwayIndex` of the airport, landing towards its end 1 when `towardsEnd1` (the
// second designator in use, "27" of "09/27") and towards end 2 otherwise.
Layout layoutOf(const ScenarioAirport& airport, std::size_t runwayIndex = 0, bool towardsEnd1 = true);

// Ground speed, track and time of a path driven with the given speed limit, acceleration and
// braking, slowing for the corners (lateral acceleration 1 m/s²); speeds in m/s.
struct Drive {
    double duration = 0.0;
    std::function<TrackState(double)> at;  // by seconds since the start of the drive
};
Drive drivePath(const Path& path, double startMps, double endMps, double limitMps, double accelMps2,
                double brakeMps2, double elevationFt, bool reverse);

// Collects timed pieces of a track and samples them once a second.
class TrackBuilder {
public:
    explicit TrackBuilder(double start) : m_time(start), m_start(start) {}
    double now() const { return m_time; }
    void add(double duration, std::function<TrackState(double)> at);
    void add(const Drive& drive) { add(drive.duration, drive.at); }
    void hold(double seconds, TrackState state);
    // Samples from the start to now; vertical speed and airborne roll are derived from the
    // altitudes and headings of the neighbouring seconds.
    Track build() const;

private:
    struct Piece {
        double start;
        double duration;
        std::function<TrackState(double)> at;
    };
    std::vector<Piece> m_pieces;
    double m_time;
    double m_start;
};

// Runway occupancy, [from, to] in seconds: from a line-up to some way past lift-off, from an
// approach's last seconds to vacating the runway.
using Busy = std::vector<std::pair<double, double>>;

struct ArrivalTimes {
    double touchdown = 0.0;
    double vacated = 0.0;
    double onStand = 0.0;
};
// Straight-in approach from `approachSeconds` before touchdown, landing, roll-out, taxi to the
// stand, then parked (speed 0) for `parkedSeconds`.
Track arrivalTrack(const Layout& layout, const Performance& perf, const ScenarioStand& stand, double touchdownTime,
                   double approachSeconds, double parkedSeconds, ArrivalTimes* times = nullptr);

struct DepartureTimes {
    double pushback = 0.0;
    double lineUp = 0.0;
    double liftOff = 0.0;
};
// Parked on the stand from `appearTime`, pushback at `pushbackTime`, taxi to the holding point,
// waiting there while the runway is busy, line-up, take-off and `climbSeconds` of climb-out.
Track departureTrack(const Layout& layout, const Performance& perf, const ScenarioStand& stand, double appearTime,
                     double pushbackTime, const Busy& busy, double climbSeconds, DepartureTimes* times = nullptr);

// A straight leg at constant altitude and speed, `closestTime` being abeam `closest`.
Track cruiseTrack(Vec2 closest, double courseDeg, double altitudeFt, double speedKt, double closestTime,
                  double startTime, double endTime);
// Circles of `radiusM` round `centre`, counter-clockwise seen from above when `left`.
Track circleTrack(Vec2 centre, double radiusM, double altitudeFt, double speedKt, bool left, double startTime,
                  double endTime);
// Laps of a closed loop through the points (ground vehicles).
Track lapTrack(const std::vector<Vec2>& loop, double speedKt, double elevationFt, double startTime, double endTime);

} // namespace rtfeed
