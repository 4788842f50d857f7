#include "rtfeed/scenario_airport.hpp"

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace rtfeed {
namespace {

using nlohmann::json;

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;
constexpr double kFeetPerMetre = 3.280839895013123;

[[noreturn]] void bad(const std::string& where, const std::string& what) {
    throw std::runtime_error(fmt::format("{}: {}", where, what));
}

double number(const json& object, const char* key, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) bad(where, fmt::format("'{}' is missing", key));
    if (!it->is_number()) bad(where, fmt::format("'{}' must be a number", key));
    const double value = it->get<double>();
    if (!std::isfinite(value)) bad(where, fmt::format("'{}' must be finite", key));
    return value;
}

std::optional<double> optionalNumber(const json& object, const char* key, const std::string& where) {
    if (!object.contains(key)) return std::nullopt;
    return number(object, key, where);
}

// A whole number within [low, high]; `fallback` when the key is missing.
int64_t whole(const json& object, const char* key, int64_t low, int64_t high, int64_t fallback, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (!it->is_number_integer()) bad(where, fmt::format("'{}' must be a whole number", key));
    const int64_t value = it->get<int64_t>();
    if (value < low || value > high) bad(where, fmt::format("'{}' is out of range", key));
    return value;
}

const json& member(const json& object, const char* key, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) bad(where, fmt::format("'{}' is missing", key));
    return *it;
}

Position positionOf(const json& object, const char* lat, const char* lon, const std::string& where) {
    const Position p{number(object, lat, where), number(object, lon, where)};
    if (std::fabs(p.latitude) > 90.0 || std::fabs(p.longitude) > 180.0)
        bad(where, fmt::format("position {:.6f},{:.6f} is out of range", p.latitude, p.longitude));
    return p;
}

ScenarioAirport readAirport(const json& a, const json& scenario, Position user, const std::string& where) {
    if (!a.is_object()) bad(where, "must be an object");
    ScenarioAirport out;
    out.icao = a.value("icao", std::string());
    const Position reference = positionOf(a, "latitude", "longitude", where);
    out.frame = LocalFrame(reference);
    if (const auto ft = optionalNumber(a, "ground_altitude_ft", where))
        out.elevationFt = *ft;
    else if (const auto m = optionalNumber(a, "altitude_m", where))
        out.elevationFt = *m * kFeetPerMetre;
    else if (const auto top = optionalNumber(scenario, "ground_altitude_ft", "scenario"))
        out.elevationFt = *top;
    out.user = user;

    if (a.contains("runways")) {
        const json& runways = a["runways"];
        if (!runways.is_array()) bad(where, "'runways' must be a list");
        for (std::size_t i = 0; i < runways.size(); ++i) {
            const std::string at = fmt::format("{}.runways[{}]", where, i);
            const json& r = runways[i];
            if (!r.is_object()) bad(at, "must be an object");
            ScenarioRunway runway;
            const json& designator = member(r, "designator", at);
            if (!designator.is_string()) bad(at, "'designator' must be a text");
            runway.designator = designator.get<std::string>();
            runway.end1 = out.frame.toLocal(positionOf(r, "lat1", "lon1", at));
            runway.end2 = out.frame.toLocal(positionOf(r, "lat2", "lon2", at));
            runway.widthM = optionalNumber(r, "width_m", at).value_or(45.0);
            if (runway.lengthM() < 300.0) bad(at, fmt::format("runway of {:.0f} m is too short", runway.lengthM()));
            out.runways.push_back(std::move(runway));
        }
    }
    if (a.contains("parkings")) {
        const json& parkings = a["parkings"];
        if (!parkings.is_array()) bad(where, "'parkings' must be a list");
        for (std::size_t i = 0; i < parkings.size(); ++i) {
            const std::string at = fmt::format("{}.parkings[{}]", where, i);
            const json& p = parkings[i];
            if (!p.is_object()) bad(at, "must be an object");
            ScenarioStand stand;
            if (!p.contains("type")) bad(at, "'type' is missing");
            stand.type = static_cast<int>(whole(p, "type", 0, 15, 0, at));
            stand.number = static_cast<uint32_t>(whole(p, "number", 0, 0xFFFFFFFF, 0, at));
            stand.headingDeg = wrapDeg(optionalNumber(p, "heading_deg", at).value_or(0.0));
            stand.radiusM = optionalNumber(p, "radius_m", at).value_or(0.0);
            // The simulator places a parking at the reference point moved east, then north.
            const double east = optionalNumber(p, "bias_x_m", at).value_or(0.0);
            const double north = optionalNumber(p, "bias_z_m", at).value_or(0.0);
            Position geo = reference;
            if (east != 0.0) geo = destinationPoint(geo, east > 0 ? 90.0 : 270.0, std::fabs(east) / 1852.0);
            if (north != 0.0) geo = destinationPoint(geo, north > 0 ? 0.0 : 180.0, std::fabs(north) / 1852.0);
            stand.position = out.frame.toLocal(geo);
            if (stand.type == 0 || stand.type == 13) continue;
            out.stands.push_back(stand);
        }
    }
    const Vec2 userLocal = out.frame.toLocal(user);
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < out.stands.size(); ++i) {
        const double d = length(out.stands[i].position - userLocal);
        if (d <= std::max(out.stands[i].radiusM, 10.0) && d < best) {
            best = d;
            out.userStand = i;
        }
    }
    return out;
}

} // namespace

double length(Vec2 a) { return std::hypot(a.x, a.y); }

Vec2 unit(Vec2 a) {
    const double l = length(a);
    return l > 0.0 ? a * (1.0 / l) : Vec2{};
}

Vec2 courseVector(double courseDeg) { return {std::sin(courseDeg * kDeg), std::cos(courseDeg * kDeg)}; }

double courseOf(Vec2 d) { return wrapDeg(std::atan2(d.x, d.y) / kDeg); }

double wrapDeg(double deg) {
    deg = std::fmod(deg, 360.0);
    if (deg < 0.0) deg += 360.0;
    return deg >= 360.0 ? 0.0 : deg;
}

double turnDeg(double fromDeg, double toDeg) { return std::remainder(toDeg - fromDeg, 360.0); }

LocalFrame::LocalFrame(Position origin) : m_origin(origin), m_cosLatitude(std::cos(origin.latitude * kDeg)) {}

Vec2 LocalFrame::toLocal(Position p) const {
    const double dLon = std::remainder(p.longitude - m_origin.longitude, 360.0);
    return {dLon * kDeg * kEarthRadiusM * m_cosLatitude, (p.latitude - m_origin.latitude) * kDeg * kEarthRadiusM};
}

Position LocalFrame::toGeo(Vec2 v) const {
    const double lat = m_origin.latitude + v.y / kEarthRadiusM / kDeg;
    const double lon = m_origin.longitude + v.x / (kEarthRadiusM * m_cosLatitude) / kDeg;
    return {lat, std::remainder(lon, 360.0)};
}

ScenarioAirport parseScenarioAirport(const std::string& text, const std::string& icao, const std::string& where) {
    json scenario;
    try {
        scenario = json::parse(text);
    } catch (const json::exception& e) {
        bad(where, fmt::format("not JSON: {}", e.what()));
    }
    if (!scenario.is_object()) bad(where, "must be a JSON object");
    const json& userJson = member(scenario, "user_aircraft", where);
    if (!userJson.is_object()) bad(where + ".user_aircraft", "must be an object");
    const Position user = positionOf(userJson, "latitude", "longitude", where + ".user_aircraft");
    const json& airports = member(scenario, "airports", where);
    if (!airports.is_array()) bad(where, "'airports' must be a list");

    std::optional<ScenarioAirport> chosen;
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < airports.size(); ++i) {
        const std::string at = fmt::format("{}.airports[{}]", where, i);
        if (!icao.empty() && (!airports[i].is_object() || airports[i].value("icao", std::string()) != icao)) continue;
        ScenarioAirport airport = readAirport(airports[i], scenario, user, at);
        if (icao.empty() && airport.runways.empty()) continue;
        const double d = distanceNm(user, airport.frame.origin());
        if (d < best) {
            best = d;
            chosen = std::move(airport);
        }
    }
    if (!chosen) bad(where, icao.empty() ? "no airport with runways" : fmt::format("no airport {}", icao));
    if (chosen->runways.empty()) bad(where, fmt::format("airport {} has no runways", chosen->icao));
    return std::move(*chosen);
}

ScenarioAirport readScenarioAirport(const std::filesystem::path& file, const std::string& icao) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("{}: cannot be read", file.string()));
    std::ostringstream text;
    text << in.rdbuf();
    return parseScenarioAirport(text.str(), icao, file.string());
}

} // namespace rtfeed
