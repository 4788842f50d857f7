#pragma once
// The airport of a simulator scenario file as the RealTraffic stand-in needs it: reference point,
// elevation, runways, stands and the user aircraft. Geometry works in a flat local frame around
// the reference point (x metres east, y metres north), accurate to centimetres over the few
// kilometres of an airport and to metres over an approach of 15 nm.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "rtfeed/feed_traffic.hpp"

namespace rtfeed {

struct Vec2 {
    double x = 0.0;  // metres east
    double y = 0.0;  // metres north
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(Vec2 a, double k) { return {a.x * k, a.y * k}; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
inline double cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }
double length(Vec2 a);
Vec2 unit(Vec2 a);
// Unit vector of a true course in degrees, and the course of a vector (0 to 360).
Vec2 courseVector(double courseDeg);
double courseOf(Vec2 direction);
// Degrees in 0..360, and the signed difference b - a in -180..180.
double wrapDeg(double deg);
double turnDeg(double fromDeg, double toDeg);

inline constexpr double kEarthRadiusM = 6366707.019493707;  // 10800/pi nautical miles
inline constexpr double kMetresPerFoot = 0.3048;
inline constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

class LocalFrame {
public:
    LocalFrame() = default;
    explicit LocalFrame(Position origin);
    Vec2 toLocal(Position p) const;
    Position toGeo(Vec2 v) const;
    Position origin() const { return m_origin; }

private:
    Position m_origin;
    double m_cosLatitude = 1.0;
};

struct ScenarioRunway {
    std::string designator;  // "09/27": end 1 is the threshold of the first designator
    Vec2 end1;
    Vec2 end2;
    double widthM = 45.0;
    double lengthM() const { return length(end2 - end1); }
};

struct ScenarioStand {
    int type = 0;          // the simulator's taxi-parking type
    uint32_t number = 0;
    double headingDeg = 0.0;
    double radiusM = 0.0;
    Vec2 position;
};

struct ScenarioAirport {
    std::string icao;
    LocalFrame frame;       // around the airport's reference point
    double elevationFt = 0.0;
    std::vector<ScenarioRunway> runways;
    std::vector<ScenarioStand> stands;      // without the parking types 0 (none) and 13 (vehicles)
    Position user;                          // the user aircraft
    std::optional<std::size_t> userStand;   // the stand the user aircraft stands on
};

// Reads the airport `icao` of a scenario file, or with an empty code the airport nearest the user
// aircraft that has runways. Throws std::runtime_error naming the file and the fault.
ScenarioAirport readScenarioAirport(const std::filesystem::path& file, const std::string& icao = {});
// The same from the JSON text (for tests); `where` names the source in messages.
ScenarioAirport parseScenarioAirport(const std::string& text, const std::string& icao, const std::string& where);

} // namespace rtfeed
