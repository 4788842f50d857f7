#pragma once
// What the RealTraffic stand-in sends and reads: the traffic datagram's comma-separated field
// layout, the QNH datagram, the version answer, the server's "Qs121=" and "Qs123=" lines, and a
// small set of synthetic flights placed around the user aircraft (climbing, cruising,
// descending, on the ground) that move on between their reports.
//
// The stand-in is an outside program: nothing here uses Quorvel's own code.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace rtfeed {

struct Position {
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
};

double distanceNm(Position a, Position b);
// The point reached from `start` along the true course after `distanceNm`.
Position destinationPoint(Position start, double courseDeg, double distanceNm);

enum class Phase { Climbing, Cruising, Descending, OnGround };

struct Flight {
    uint32_t key = 0;  // decimal aircraft key, above 10000
    std::string callsign;
    std::string type;          // ICAO type designator
    std::string registration;
    std::string origin;        // 3-character codes
    std::string destination;
    std::string category = "A3";  // ADS-B emitter category
    Phase phase = Phase::Cruising;
    Position position;
    Position placedAt;         // where the flight was placed (ground flights stay near it)
    double altitudeFt = 0.0;   // on the standard pressure setting
    double groundSpeedKt = 0.0;
    double trackDeg = 0.0;
    std::optional<double> headingDeg;  // the true heading when it differs from the track
    double verticalSpeedFpm = 0.0;
    double trueAirspeedKt = -1.0;  // -1: not given
    double rollDeg = 0.0;          // 0: not given
};

// Fields of a traffic datagram: 29 fields separated by ',', index 0 a record tag; 1 key, 2 and 3
// latitude and longitude, 4 altitude, 5 vertical speed, 6 airborne (1/0), 7 track, 8 ground
// speed, 9 callsign, 10 type, 11 registration, 12 origin, 13 destination, 14 time stamp (seconds
// since 1970 with fraction), 17 data source, 20 true airspeed, 23 roll, 25 true heading, 28
// emitter category; the others are empty.
inline constexpr std::size_t kTrafficFieldCount = 29;
std::string formatTrafficLine(const Flight& flight, double timeStamp);
// The fields of a traffic line (split at every ',').
std::vector<std::string> splitFields(std::string_view line);
// A line from fields.
std::string joinFields(const std::vector<std::string>& fields);

// {"QNH": 1013}
std::string formatQnhDatagram(int qnh);
// The answer to "Qs999=version": {"level":1,"version":"9.0"} in one send.
std::string versionAnswer(int level, std::string_view version);

// The user position of a "Qs121=pitch;bank;heading;altitude;speed;lat;lon" line (latitude and
// longitude in radians there); nothing for another or a malformed line.
std::optional<Position> parseUserPositionLine(std::string_view line);
// Milliseconds since 1970 of a "Qs123=" line.
std::optional<int64_t> parseSimTimeLine(std::string_view line);

// Flights placed around the user aircraft; one of each phase in turn.
class SyntheticTraffic {
public:
    SyntheticTraffic(uint32_t seed, int count);

    // Moves every flight on by `seconds` and places new ones for flights that have left the
    // area around `user` (or landed); the first call places them all.
    void advance(Position user, double seconds);
    // Moves one flight on by `seconds` (the pace of a live feed reports one flight at a time).
    void advanceFlight(std::size_t index, Position user, double seconds);

    const std::vector<Flight>& flights() const { return m_flights; }
    std::size_t size() const { return m_flights.size(); }

private:
    Flight place(Phase phase, Position user);

    std::mt19937 m_random;
    std::vector<Flight> m_flights;
    int m_count;
    uint32_t m_nextKey = 11000000;
    bool m_placed = false;
};

// The lines of a recorded file (empty lines and lines starting with '#' left out).
std::vector<std::string> readRecordedLines(const std::filesystem::path& path);

} // namespace rtfeed
