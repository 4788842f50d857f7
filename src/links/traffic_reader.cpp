#include "links/traffic_reader.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/time_texts.hpp"
#include "links/park_airport.hpp"
#include "links/target_classification.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_line.hpp"
#include "links/traffic_source_state.hpp"
#include "refdata/code_table.hpp"
#include "refdata/model_lookups.hpp"

namespace tamrix {
namespace {

// Field indices of the traffic datagram.
enum Field : std::size_t {
    kKey = 1,
    kLatitude = 2,
    kLongitude = 3,
    kAltitude = 4,
    kVerticalSpeed = 5,
    kTrack = 7,
    kGroundSpeed = 8,
    kCallsign = 9,
    kType = 10,
    kRegistration = 11,
    kOrigin = 12,
    kDestination = 13,
    kTimeStamp = 14,
    kSource = 17,
    kTrueAirspeed = 20,
    kRoll = 23,
    kTrueHeading = 25,
    kCategory = 28,
};

constexpr double kGroundRadiusNm = 5.0;          // ground targets count only this near the park airport
constexpr double kFeetPerHectopascal = 27.0;
constexpr double kNoElevation = -1000.0;         // below any airport: only the speed bands decide
constexpr double kAirborneOnlyMargin = 150.0;    // feet above the park airport
// A rotorcraft hovers or flies slowly at any height: only its height above the park airport
// (feet) puts it on the ground, never its speed.
constexpr double kRotorcraftGroundHeight = 42.0;
constexpr std::size_t kMaxRegistrationLength = 12;

// A leading decimal number of the field (the rest is ignored); only a finite value counts: a
// non-finite time stamp, position or speed would poison every later computation.
std::optional<double> readNumber(std::string_view field) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || end == field.data() || !std::isfinite(value)) return std::nullopt;
    return value;
}

double numberOrThrow(std::string_view field, std::string_view name) {
    const auto value = readNumber(field);
    if (!value) throw std::runtime_error(fmt::format("{}:{}", name, field));
    return *value;
}

FixedCode<3> airportCode(std::string_view field) {
    if (field == "null") return {};
    return FixedCode<3>(field);
}

// True airspeed when the source gives none: a typical speed for the altitude band.
double defaultTrueAirspeed(double altitude) {
    if (altitude <= 2000.0) return 180.0;
    if (altitude <= 5000.0) return 220.0;
    if (altitude <= 10000.0) return 250.0;
    if (altitude <= 20000.0) return 350.0;
    return 430.0;
}

// Field 4 into the reported altitude and the sample's altitude, corrected for the QNH and set to
// 0 for a target that is on the ground by its height and speed (a rotorcraft by its height
// alone); false when AIRBORNE_ONLY excludes the target. The vertical speed plays no part: a
// noisy climb reported on a landing roll is no flight.
bool lf_correctAltitude(std::string_view field, std::string_view datagram, int32_t qnh,
                        std::optional<double> readerElevation, bool rotorcraft, PositionSample& sample,
                        double& reportedAltitude) {
    const auto reported = readNumber(field);
    if (!reported) throw std::runtime_error(fmt::format("altitude {} incorrect, from: {}", field, datagram));
    reportedAltitude = *reported;
    double a = *reported;
    const double gs = sample.groundSpeed;
    if (a > 0.0) {
        a = std::max(0.0, a + (static_cast<double>(qnh) - 1013.25) * kFeetPerHectopascal);
        if (a > 0.0 && a < 14000.0) {
            const double h = a - readerElevation.value_or(kNoElevation);
            if (rotorcraft) {
                if (h <= kRotorcraftGroundHeight) a = 0.0;
            } else if (h <= 0.0 || (h <= 42.0 && gs <= 120.0) || (h <= 84.0 && gs <= 80.0) ||
                       (h <= 108.0 && gs <= 43.0)) {
                a = 0.0;
            }
        }
        if (a > 0.0 && gs <= 35.0 && !rotorcraft) a = 0.0;
    } else {
        a = 0.0;
    }
    sample.altitude = a;
    if (!AIRBORNE_ONLY.current.load()) return true;
    const ParkAirport park = gf_parkAirport();
    const double floor = park.code.isSet() ? static_cast<double>(park.elevationFeet) : 0.0;
    return a - floor > kAirborneOnlyMargin;
}

// At most kMaxCallsignLength bytes of a callsign, never ending inside a UTF-8 sequence.
std::string_view cutCallsign(std::string_view callsign) {
    if (callsign.size() <= TrafficReader::kMaxCallsignLength) return callsign;
    std::size_t end = TrafficReader::kMaxCallsignLength;
    while (end > 0 && (static_cast<unsigned char>(callsign[end]) & 0xC0u) == 0x80u)
        --end;
    return callsign.substr(0, end);
}

// Field 9 into the callsign; false for the callsigns of test transmitters.
bool lf_readCallsign(std::string_view field, std::string& callsign) {
    static constexpr std::array<std::string_view, 6> kTestCallsigns{"ERARMTR0", "ERARMTR1", "AIRPORT1",
                                                                    "00000000", "TR852",    "TEST"};
    if (field == "null") field = {};
    if (field.find('@') != std::string_view::npos) {
        callsign.clear();
        return true;
    }
    if (std::ranges::find(kTestCallsigns, field) != kTestCallsigns.end()) return false;
    callsign.assign(cutCallsign(field));
    return true;
}

} // namespace

TrafficReader::TrafficReader()
    : UdpReader("Traffic Reader"), m_parkAirportElevation(std::numeric_limits<double>::quiet_NaN()) {
    m_fields.reserve(64);
}

void TrafficReader::setUserPosition(GeoPosition position) {
    std::lock_guard guard(m_lock);
    m_userPosition = position;
}

GeoPosition TrafficReader::userPosition() const {
    std::lock_guard guard(m_lock);
    return m_userPosition;
}

void TrafficReader::setParkAirportElevation(std::optional<double> feet) {
    m_parkAirportElevation.store(feet.value_or(std::numeric_limits<double>::quiet_NaN()));
}

std::optional<double> TrafficReader::parkAirportElevation() const {
    const double feet = m_parkAirportElevation.load();
    if (std::isnan(feet)) return std::nullopt;
    return feet;
}

void TrafficReader::startCallsignCollection() {
    std::lock_guard guard(m_lock);
    m_callsigns.clear();
    m_collecting.store(true);
}

std::unordered_set<std::string> TrafficReader::takeCallsigns() {
    m_collecting.exchange(false);
    std::lock_guard guard(m_lock);
    return std::exchange(m_callsigns, {});
}

void TrafficReader::clearCallsigns() {
    std::lock_guard guard(m_lock);
    m_callsigns.clear();
}

void TrafficReader::resetForRun() {
    {
        std::lock_guard guard(m_lock);
        m_userPosition = {};
        m_callsigns.clear();
        m_collecting.store(false);
    }
    m_parkAirportElevation.store(std::numeric_limits<double>::quiet_NaN());
    qnh.store(1013);
    UdpReader::resetForRun();
}

void TrafficReader::onDatagram() {
    const std::string_view datagram = m_currentDatagram;
    // Ground vehicles carry " VEH" in their line.
    if (datagram.find(" VEH") != std::string_view::npos) return;
    m_fields.clear();
    std::size_t start = 0;
    for (std::size_t comma = datagram.find(','); comma != std::string_view::npos;
         comma = datagram.find(',', start)) {
        m_fields.push_back(datagram.substr(start, comma - start));
        start = comma + 1;
    }
    m_fields.push_back(datagram.substr(start));
    processLineSub();
}

void TrafficReader::onStopped() {
    gTrafficReaderState.store(kReaderStopped);
    gf_invalidateStatusPanel();
    gf_log("Traffic Reader has stopped");
}

void TrafficReader::processLineSub() {
    try {
        parseAndQueue();
    } catch (const std::exception& e) {
        m_badDatagrams.report(fmt::format("exception in processLineSub: {}", e.what()));
    }
}

// The order puts the tests that drop most lines (position, range, registration, target type)
// before the string work for callsign and codes.
void TrafficReader::parseAndQueue() {
    const auto& f = m_fields;
    if (f.size() < kFieldCount) throw std::runtime_error(fmt::format("too few fields: {}", f.size()));

    TrafficLine line;
    PositionSample& sample = line.sample;

    // The last time stamp changes for every line that gets this far, also when it is dropped;
    // one outside any time of live traffic is the field's error.
    line.timeStamp = numberOrThrow(f[kTimeStamp], "timestamp");
    if (!(line.timeStamp >= kEarliestTrafficTime && line.timeStamp < kLatestTrafficTime))
        throw std::runtime_error(fmt::format("{}:{}", "timestamp", f[kTimeStamp]));
    gLastTrafficTime.store(line.timeStamp);

    sample.latitude = numberOrThrow(f[kLatitude], "lat");
    sample.longitude = numberOrThrow(f[kLongitude], "lon");
    const GeoPosition target{sample.latitude, sample.longitude};
    if (target.latitude < -90.0 || target.latitude > 90.0 || target.longitude < -180.0 ||
        target.longitude > 180.0 || (std::fabs(target.latitude) <= 0.0001 && std::fabs(target.longitude) <= 0.0001))
        throw std::runtime_error(fmt::format("invalid lalo: {}", gf_laloText(target.latitude, target.longitude)));

    if (!(gf_distanceNm(userPosition(), target) <= gRangeNm.load())) return;

    const std::string_view registration = f[kRegistration];
    if (registration.size() > kMaxRegistrationLength) return;
    if (registration != "null") line.head.registration.assign(registration);

    if (m_collecting.load()) {
        const std::string_view callsign = f[kCallsign];
        if (!callsign.empty() && callsign != "null" && callsign.find('@') == std::string_view::npos) {
            std::lock_guard guard(m_lock);
            m_callsigns.emplace(cutCallsign(callsign));
        }
    }

    if (!gf_isAircraftTarget(f[kType], f[kCategory])) return;
    line.head.liveryKey = LiveryKey{};
    line.head.liveryKey.modelIndex = gf_reportedModelIndex(f[kType]);

    if (f[kSource] == "adsb_icao") {
        const double h = numberOrThrow(f[kTrueHeading], "trueheading");
        if (h > 360.0) throw std::runtime_error(fmt::format("trueheading: {:.2f}", h));
        if (h == 0.0) {
            // North is written as 360 degrees: 0 would read as "no heading" further on.
            sample.trueHeading = kTwoPi;
            sample.headingKnown = 1;
        } else if (h > 0.0) {
            sample.trueHeading = h * kDegToRad;
            sample.headingKnown = 1;
        }
    }

    const std::string_view keyText = f[kKey];
    const auto [keyEnd, keyError] = std::from_chars(keyText.data(), keyText.data() + keyText.size(), line.hexid);
    if (keyError != std::errc() || keyEnd == keyText.data())
        throw std::runtime_error(fmt::format("hexid incorrect{}", keyText));
    if (line.hexid <= 10000) return;  // keys up to 10000 belong to static aircraft

    sample.groundSpeed = numberOrThrow(f[kGroundSpeed], "gs");

    const bool rotorcraft = gf_modelCategory(line.head.liveryKey.modelIndex) == AircraftCategory::Rotorcraft;
    if (!lf_correctAltitude(f[kAltitude], m_currentDatagram, qnh.load(), parkAirportElevation(), rotorcraft,
                            sample, line.reportedAltitude))
        return;
    sample.airborne = sample.altitude > 0.0 ? 1 : 0;

    if (!lf_readCallsign(f[kCallsign], line.head.callsign)) return;
    if (line.head.callsign.empty() && line.head.registration.empty()) return;

    if (sample.airborne == 0) {
        const ParkAirport park = gf_parkAirport();
        if (!park.code.isSet() || !(gf_distanceNm(park.position, target) <= kGroundRadiusNm)) return;
    }

    if (!f[kTrack].empty()) {
        const auto track = readNumber(f[kTrack]);
        if (!track) throw std::runtime_error(fmt::format("track incorrect {}", f[kTrack]));
        sample.track = *track;
    }
    if (sample.track == 0.0 && sample.trueHeading) sample.track = *sample.trueHeading * kRadToDeg;

    sample.verticalSpeed = numberOrThrow(f[kVerticalSpeed], "vs");

    line.head.origin = airportCode(f[kOrigin]);
    line.head.destination = airportCode(f[kDestination]);

    if (sample.airborne != 0) {
        const double roll = numberOrThrow(f[kRoll], "roll");
        if (roll != -1.0 && roll != 0.0) sample.bank = -roll * kDegToRad;
    }

    const auto tas = readNumber(f[kTrueAirspeed]);
    if (!tas) throw std::runtime_error(fmt::format("TAS incorrect{}", f[kTrueAirspeed]));
    sample.trueAirspeed = *tas == -1.0 ? defaultTrueAirspeed(sample.altitude) : *tas;

    sample.generated = 0;
    sample.dueTick = gLiveTrafficTick.load(std::memory_order_relaxed) + kSampleDelayTicks;

    gf_queueTrafficLine(std::move(line));
}

TrafficReader& gf_trafficReader() {
    static auto* reader = new TrafficReader;
    return *reader;
}

void lf_trafficReaderThread(uint16_t port, bool local) {
    gf_trafficReader().runThread("Traffic Reader", port, local, {&gTrafficReaderState, &gQnhReaderState});
}

std::string gf_laloText(double latitude, double longitude) { return fmt::format("{:.6f},{:.6f}", latitude, longitude); }

} // namespace tamrix
