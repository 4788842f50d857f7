#include "rtfeed/feed_traffic.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <nlohmann/json.hpp>

namespace rtfeed {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;
constexpr double kEarthRadiusNm = 10800.0 / kPi;
constexpr double kAreaRadiusNm = 35.0;     // flights beyond this distance from the user are replaced
constexpr double kGroundAreaNm = 2.0;      // ground flights stay this near where they were placed
constexpr double kCruiseAltitudeFt = 34000.0;

// Airlines and types that the sample AI packages have liveries for, so that the program can
// create nearly every synthetic flight (a heavy load of --aircraft 1000 is a heavy load of
// live aircraft too).
constexpr std::array<std::string_view, 6> kAirlines{"DLH", "BAW", "AFR", "KLM", "EZY", "RYR"};
constexpr std::array<std::string_view, 3> kTypes{"A320", "B738", "A20N"};
constexpr std::array<std::string_view, 8> kAirports{"FRA", "MUC", "LHR", "CDG", "AMS", "ZRH", "DXB", "JFK"};

double normalizeDeg(double deg) {
    deg = std::fmod(deg, 360.0);
    return deg < 0.0 ? deg + 360.0 : deg;
}

std::optional<double> number(std::string_view text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

double distanceNm(Position a, Position b) {
    const double dLat = (b.latitude - a.latitude) * kDeg;
    const double dLon = (b.longitude - a.longitude) * kDeg;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(a.latitude * kDeg) * std::cos(b.latitude * kDeg) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * kEarthRadiusNm * std::asin(std::min(1.0, std::sqrt(h)));
}

Position destinationPoint(Position start, double courseDeg, double distance) {
    const double d = distance / kEarthRadiusNm;
    const double lat1 = start.latitude * kDeg;
    const double lon1 = start.longitude * kDeg;
    const double c = courseDeg * kDeg;
    const double lat2 = std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(c));
    const double lon2 =
        lon1 + std::atan2(std::sin(c) * std::sin(d) * std::cos(lat1), std::cos(d) - std::sin(lat1) * std::sin(lat2));
    return {lat2 / kDeg, std::remainder(lon2 / kDeg, 360.0)};
}

std::string formatTrafficLine(const Flight& f, double timeStamp) {
    std::vector<std::string> fields(kTrafficFieldCount);
    fields[0] = "RTF";
    fields[1] = fmt::format("{}", f.key);
    fields[2] = fmt::format("{:.5f}", f.position.latitude);
    fields[3] = fmt::format("{:.5f}", f.position.longitude);
    fields[4] = fmt::format("{:.0f}", f.altitudeFt);
    fields[5] = fmt::format("{:.0f}", f.verticalSpeedFpm);
    fields[6] = fmt::format("{}", f.phase == Phase::OnGround ? 0 : 1);
    fields[7] = fmt::format("{:.1f}", f.trackDeg);
    fields[8] = fmt::format("{:.1f}", f.groundSpeedKt);
    fields[9] = f.callsign.empty() ? "null" : f.callsign;
    fields[10] = f.type;
    fields[11] = f.registration.empty() ? "null" : f.registration;
    fields[12] = f.origin.empty() ? "null" : f.origin;
    fields[13] = f.destination.empty() ? "null" : f.destination;
    fields[14] = fmt::format("{:.2f}", timeStamp);
    fields[17] = "adsb_icao";
    fields[20] = fmt::format("{:.0f}", f.trueAirspeedKt);
    fields[23] = fmt::format("{:.1f}", f.rollDeg);
    fields[25] = fmt::format("{:.1f}", f.headingDeg.value_or(f.trackDeg));
    fields[28] = f.category;
    return joinFields(fields);
}

std::vector<std::string> splitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma = line.find(','); comma != std::string_view::npos; comma = line.find(',', start)) {
        fields.emplace_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    fields.emplace_back(line.substr(start));
    return fields;
}

std::string joinFields(const std::vector<std::string>& fields) { return fmt::format("{}", fmt::join(fields, ",")); }

std::string formatQnhDatagram(int qnh) { return fmt::format("{{\"QNH\": {}}}", qnh); }

std::string versionAnswer(int level, std::string_view version) {
    return nlohmann::json{{"level", level}, {"version", std::string(version)}}.dump();
}

std::optional<Position> parseUserPositionLine(std::string_view line) {
    constexpr std::string_view kPrefix = "Qs121=";
    if (!line.starts_with(kPrefix)) return std::nullopt;
    line.remove_prefix(kPrefix.size());
    std::vector<double> values;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find(';', start), line.size());
        const auto value = number(line.substr(start, end - start));
        if (!value) return std::nullopt;
        values.push_back(*value);
        start = end + 1;
    }
    if (values.size() != 7) return std::nullopt;
    return Position{values[5] / kDeg, values[6] / kDeg};
}

std::optional<int64_t> parseSimTimeLine(std::string_view line) {
    constexpr std::string_view kPrefix = "Qs123=";
    if (!line.starts_with(kPrefix)) return std::nullopt;
    line.remove_prefix(kPrefix.size());
    int64_t ms = 0;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), ms);
    if (ec != std::errc() || end != line.data() + line.size()) return std::nullopt;
    return ms;
}

SyntheticTraffic::SyntheticTraffic(uint32_t seed, int count) : m_random(seed), m_count(count < 0 ? 0 : count) {}

Flight SyntheticTraffic::place(Phase phase, Position user) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto pick = [&](auto& list) { return list[std::uniform_int_distribution<std::size_t>(0, list.size() - 1)(m_random)]; };
    Flight f;
    f.key = m_nextKey++;
    f.callsign = fmt::format("{}{}", pick(kAirlines), 100 + f.key % 9000);
    f.type = std::string(pick(kTypes));
    f.registration = fmt::format("D-A{}{}{}", static_cast<char>('A' + f.key % 26), static_cast<char>('A' + f.key / 26 % 26),
                                 static_cast<char>('A' + f.key / 676 % 26));
    f.origin = std::string(pick(kAirports));
    do f.destination = std::string(pick(kAirports));
    while (f.destination == f.origin);
    f.phase = phase;
    f.trackDeg = std::round(unit(m_random) * 3600.0) / 10.0;
    switch (phase) {
    case Phase::Climbing:
        f.position = destinationPoint(user, unit(m_random) * 360.0, 3.0 + unit(m_random) * 12.0);
        f.altitudeFt = 2000.0 + unit(m_random) * 6000.0;
        f.verticalSpeedFpm = 1500.0 + unit(m_random) * 1000.0;
        f.groundSpeedKt = 220.0 + unit(m_random) * 60.0;
        f.rollDeg = 0.0;
        break;
    case Phase::Cruising:
        f.position = destinationPoint(user, unit(m_random) * 360.0, 10.0 + unit(m_random) * 20.0);
        f.altitudeFt = 30000.0 + std::round(unit(m_random) * 8.0) * 1000.0;
        f.groundSpeedKt = 430.0 + unit(m_random) * 50.0;
        f.trueAirspeedKt = std::round(f.groundSpeedKt);
        break;
    case Phase::Descending:
        f.position = destinationPoint(user, unit(m_random) * 360.0, 8.0 + unit(m_random) * 20.0);
        f.altitudeFt = 8000.0 + unit(m_random) * 12000.0;
        f.verticalSpeedFpm = -(1500.0 + unit(m_random) * 500.0);
        f.groundSpeedKt = 250.0 + unit(m_random) * 70.0;
        f.rollDeg = 2.0;
        break;
    case Phase::OnGround:
        f.position = destinationPoint(user, unit(m_random) * 360.0, 0.2 + unit(m_random) * 1.3);
        f.altitudeFt = 0.0;
        f.groundSpeedKt = unit(m_random) < 0.5 ? 0.0 : 8.0 + unit(m_random) * 12.0;
        break;
    }
    f.placedAt = f.position;
    return f;
}

void SyntheticTraffic::advance(Position user, double seconds) {
    if (!m_placed) {
        m_placed = true;
        for (int i = 0; i < m_count; ++i) m_flights.push_back(place(static_cast<Phase>(i % 4), user));
        return;
    }
    for (std::size_t i = 0; i < m_flights.size(); ++i) advanceFlight(i, user, seconds);
}

void SyntheticTraffic::advanceFlight(std::size_t index, Position user, double seconds) {
    if (!m_placed) advance(user, 0.0);
    if (index >= m_flights.size()) return;
    Flight& f = m_flights[index];
    f.position = destinationPoint(f.position, f.trackDeg, f.groundSpeedKt * seconds / 3600.0);
    f.altitudeFt += f.verticalSpeedFpm * seconds / 60.0;
    if (f.phase == Phase::Climbing && f.altitudeFt >= kCruiseAltitudeFt) {
        f.phase = Phase::Cruising;
        f.altitudeFt = kCruiseAltitudeFt;
        f.verticalSpeedFpm = 0.0;
    }
    if (f.phase == Phase::OnGround && f.groundSpeedKt > 0.0)
        f.trackDeg = normalizeDeg(f.trackDeg + 3.0 * seconds);  // taxiing round the apron
    const bool landed = f.phase == Phase::Descending && f.altitudeFt < 1000.0;
    const bool gone = distanceNm(user, f.position) > kAreaRadiusNm ||
                      (f.phase == Phase::OnGround && distanceNm(f.placedAt, f.position) > kGroundAreaNm);
    if (landed || gone) f = place(f.phase, user);
}

std::vector<std::string> readRecordedLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        lines.push_back(line);
    }
    return lines;
}

} // namespace rtfeed
