#include "traffic/traffic_birth.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <numbers>
#include <optional>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "links/park_airport.hpp"
#include "records/takeoff_roll.hpp"
#include "refdata/code_table.hpp"
#include "refdata/model_lookups.hpp"
#include "refdata/registration_lookups.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"
#include "traffic/spawning.hpp"
#include "traffic/update_step.hpp"

namespace tamrix {

namespace {

// A line whose time stamp lies further than this from the lines before it is not believed.
constexpr double kTimeJumpSeconds = 3600.0;
// After this many such lines in a row the feed's clock has really moved (a replay, say).
constexpr uint32_t kTimeJumpReanchor = 50;
// Lines ahead within that hour that come in a row: the whole feed has moved on (the simulator's
// clock it stamps its lines with, say), not one line.
constexpr uint32_t kAheadReanchor = 3;
// Records in live traffic beyond which no aircraft is born: a feed of ever new keys cannot
// fill the memory.
constexpr std::size_t kMaxLiveRecords = 2000;
// One summary line a minute at most per reason of a dropped bad line.
constexpr int64_t kDropLogTicks = 6000;
// A line may lie this far ahead of the newest believed one, plus the time passed since that one
// came: the feed's lines are never much newer than each other.
constexpr double kAheadSeconds = 30.0;
// A position this far (NM) from the aircraft's newest sample may be out of its reach; nearer ones
// are the feed's ordinary scatter.
constexpr double kJumpMinNm = 1.0;
// Climb or descent (ft/min) beyond which a line's altitude is out of the aircraft's reach: twice
// an airliner's steep 6,000 ft/min, and a reported rate with this margin when it is higher (a
// fighter's zoom climb). Over the 2 s between two lines it is 400 ft; the floor (ft) lets the
// altitude steps of the reports and the shift of a new QNH pass, however short the gap.
constexpr double kVerticalReachFpm = 12000.0;
constexpr double kReportedRateMargin = 1.5;
constexpr double kVerticalReachFloorFt = 500.0;
// A rise of ground speed (kt) from one report to the next that a landing roll's noise does not
// make: the aircraft accelerates again.
constexpr double kRollRiseKt = 5.0;
// Two reports of one height differ by up to this (ft): the feed's barometric altitudes are
// 30-50 ft off either way.
constexpr double kHeightNoiseFt = 100.0;
// Two reports of one ground speed differ by up to this (kt).
constexpr double kSpeedNoiseKt = TakeOffRoll::kNoiseKt;
// Up to this ground speed (kt) a report near the last one is a standing aircraft's.
constexpr double kStandstillSpeedKt = 5.0;
// A report this close (degrees) to the way of the report before it lies ahead of it.
constexpr double kAheadOnTrackDeg = 45.0;
// The feed's positions come to about a metre (five decimals of a degree).
constexpr double kPositionNoiseNm = 1.0 / 1852.0;
// A standing aircraft's reports lie up to this far (nm) to the side of where it stands: 8 m.
constexpr double kStandingScatterNm = 8.0 / 1852.0;
// The lines kept last whose speeds a ground line must leave behind to tell of a change of speed.
constexpr std::size_t kSpeedBandLines = 3;

struct DropLog {
    const char* reason;
    uint64_t count = 0;
    int64_t lastLogTick = -kDropLogTicks;
};

DropLog gBadValues{"non-finite or out-of-range values"};
DropLog gBadTime{"a time stamp far from the other lines"};
DropLog gTooMany{"too many aircraft records"};
DropLog gOutOfReach{"a position no aircraft could have reached in time"};
DropLog gAltitudeOutOfReach{"an altitude no aircraft could have reached in time"};

double gReferenceTime = 0.0;
std::chrono::steady_clock::time_point gReferenceSetAt{};
uint32_t gTimeJumps = 0;

// At most 16 characters of a text from the feed, anything but printable ASCII shown as '?', so
// that the log stays valid UTF-8.
std::string printable(std::string_view text) {
    std::string out(text.substr(0, 16));
    for (char& c : out)
        if (c < 0x20 || c > 0x7E) c = '?';
    return out;
}

void dropped(DropLog& log, const TrafficLine& line) {
    ++log.count;
    const int64_t tick = gf_tickCount();
    if (tick - log.lastLogTick < kDropLogTicks) return;
    gf_log(fmt::format("Traffic line of {} key {} dropped: {} ({} such line{} since the last note)",
                       printable(line.head.callsign), line.hexid, log.reason, log.count, log.count == 1 ? "" : "s"));
    log.lastLogTick = tick;
    log.count = 0;
}

bool finite(double v) { return std::isfinite(v); }

// Values the movement can work with.
bool plausible(const TrafficLine& line) {
    const PositionSample& s = line.sample;
    if (!gf_isLiveKey(line.hexid)) return false;
    if (!finite(s.latitude) || !finite(s.longitude) || !finite(s.altitude) || !finite(s.groundSpeed) ||
        !finite(s.track) || !finite(s.verticalSpeed) || !finite(line.timeStamp))
        return false;
    if (std::abs(s.latitude) > 90.0 || std::abs(s.longitude) > 180.0) return false;
    if (s.altitude < -2000.0 || s.altitude > 100000.0 || s.groundSpeed < 0.0 || s.groundSpeed > 2000.0) return false;
    if (s.track < -360.0 || s.track > 720.0 || line.timeStamp <= 0.0) return false;
    if (s.bank && !finite(*s.bank)) return false;
    if (s.trueHeading && !finite(*s.trueHeading)) return false;
    return true;
}

void setReferenceTime(double t) {
    gReferenceTime = t;
    gReferenceSetAt = std::chrono::steady_clock::now();
}

// A time stamp near those of the lines before it (the first line sets the reference): at most
// an hour older than the newest, and not newer than it by more than the time since it came and a
// little. A single line far ahead would otherwise hold back every later line of its aircraft;
// a feed whose clock moved is believed again after a few lines.
bool believableTime(double t) {
    if (gReferenceTime == 0.0) {
        setReferenceTime(t);
        return true;
    }
    const double passed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - gReferenceSetAt).count();
    if (gReferenceTime - t <= kTimeJumpSeconds && t - gReferenceTime <= kAheadSeconds + passed) {
        gTimeJumps = 0;
        if (t > gReferenceTime) setReferenceTime(t);
        return true;
    }
    const uint32_t needed = t - gReferenceTime <= kTimeJumpSeconds && t > gReferenceTime ? kAheadReanchor
                                                                                         : kTimeJumpReanchor;
    if (++gTimeJumps < needed) return false;
    gTimeJumps = 0;
    setReferenceTime(t);
    return true;
}

// Whether the line lies further from (latitude, longitude), reported at `since` with `speed`,
// than any aircraft could have flown since: at twice the faster of the two speeds and 200 kt,
// in the air at least 1000 kt.
bool outOfReach(GeoPosition from, double speed, double since, const TrafficLine& line) {
    const double d = gf_distanceNm(from, GeoPosition{line.sample.latitude, line.sample.longitude});
    if (d <= kJumpMinNm) return false;
    const double hours = (line.timeStamp - since) / 3600.0;
    if (hours <= 0.0) return true;
    double reach = 2.0 * std::max(speed, line.sample.groundSpeed) + 200.0;
    if (line.sample.airborne != 0) reach = std::max(reach, 1000.0);
    return d / hours > reach;
}

// A line out of the aircraft's reach is a stray position and dropped; when the next line is out
// of reach too but within reach of the stray one, the aircraft goes on from there: a new track,
// and it is removed to be born there anew. True when the line is not to be used.
bool offTrack(LiveAircraft& aircraft, const TrafficLine& line) {
    const PositionSample& n = aircraft.samples.back();
    if (!outOfReach(GeoPosition{n.latitude, n.longitude}, n.groundSpeed, aircraft.lastUpdateTime, line)) {
        aircraft.jumpTime = 0.0;
        return false;
    }
    if (aircraft.jumpTime != 0.0 && line.timeStamp > aircraft.jumpTime &&
        !outOfReach(GeoPosition{aircraft.jumpLatitude, aircraft.jumpLongitude}, line.sample.groundSpeed,
                    aircraft.jumpTime, line)) {
        gf_log(fmt::format(
            "{:8} jumped {:.0f} NM off its track and goes on there: removed, to be born there anew",
            aircraft.head.callsign,
            gf_distanceNm(GeoPosition{n.latitude, n.longitude},
                          GeoPosition{line.sample.latitude, line.sample.longitude})));
        aircraft.jumpTime = 0.0;
        removeAircraftFromSim(aircraft);
        return true;
    }
    aircraft.jumpLatitude = line.sample.latitude;
    aircraft.jumpLongitude = line.sample.longitude;
    aircraft.jumpTime = line.timeStamp;
    dropped(gOutOfReach, line);
    return true;
}

// The height of a sample: its altitude, or on the ground the park airport's elevation (ground
// lines come only near it); none when there is no park airport.
std::optional<double> heightOf(const PositionSample& s) {
    if (s.airborne != 0) return s.altitude;
    const ParkAirport park = gf_parkAirport();
    if (!park.code.isSet()) return std::nullopt;
    return static_cast<double>(park.elevationFeet);
}

// Whether the line's altitude lies further from the newest sample's, reported at `since`, than
// any aircraft could have climbed or descended since: a single report thousands of feet off its
// neighbours (a garbled altitude) would be flown up or down and back.
bool altitudeOutOfReach(const PositionSample& n, double since, const TrafficLine& line) {
    const std::optional<double> from = heightOf(n);
    const std::optional<double> to = heightOf(line.sample);
    if (!from || !to) return false;
    const double minutes = (line.timeStamp - since) / 60.0;
    const double reported = std::max(std::abs(n.verticalSpeed), std::abs(line.sample.verticalSpeed));
    const double rate = std::max(kVerticalReachFpm, kReportedRateMargin * reported);
    return std::abs(*to - *from) > std::max(kVerticalReachFloorFt, rate * minutes);
}

double angleDifferenceDeg(double a, double b) {
    const double d = std::remainder(a - b, 360.0);
    return std::abs(d);
}


// A new report measured against the newest waiting sample, once for all the rules that ask: whether
// it lies at the same spot or within a standing aircraft's scatter at once, the distance and the
// way to it when first asked. Measured as the report came in: a rule that moves the report
// measures it anew.
class ReportStep {
public:
    ReportStep(const PositionSample& newest, const PositionSample& report)
        : m_from(positionOf(newest)), m_to(positionOf(report)), m_same(samePosition(report, newest, 1e-8)),
          m_withinScatter(samePosition(report, newest, 0.00015)) {}
    bool same() const { return m_same; }
    bool withinScatter() const { return m_withinScatter; }
    double distanceNm() const {
        if (std::isnan(m_distanceNm)) m_distanceNm = gf_distanceNm(m_from, m_to);
        return m_distanceNm;
    }
    // Degrees from the newest waiting sample to the report.
    double wayDeg() const {
        if (std::isnan(m_wayDeg)) m_wayDeg = gf_initialBearing(m_from, m_to) * kRadToDeg;
        return m_wayDeg;
    }

private:
    GeoPosition m_from;
    GeoPosition m_to;
    bool m_same;
    bool m_withinScatter;
    mutable double m_distanceNm = std::numeric_limits<double>::quiet_NaN();
    mutable double m_wayDeg = std::numeric_limits<double>::quiet_NaN();
};

// The rules of decodeExisting, handed the report's step from the newest waiting sample (none when
// no sample waits).
bool isStandstill(LiveAircraft& aircraft, PositionSample& sample, ReportStep& step);
bool extendsTheTrack(LiveAircraft& aircraft, PositionSample& sample, ReportStep* step);
bool duringLanding(LiveAircraft& aircraft, PositionSample& sample, ReportStep& step);

double parkElevation() {
    const ParkAirport park = gf_parkAirport();
    return park.code.isSet() ? static_cast<double>(park.elevationFeet) : -1000.0;
}

bool nearParkElevation(const PositionSample& s) {
    return s.altitude > 0.0 && s.altitude < 10000.0 && std::abs(s.altitude - parkElevation()) <= 108.0;
}

void endManoeuvre(LiveAircraft& aircraft) {
    aircraft.manoeuvreMark = 0;
    aircraft.move.earlyWindow = 3000;
    aircraft.move.lateWindow = aircraft.move.takeOff.armed() ? 5000 : 3000;
    if (!aircraft.samples.empty()) aircraft.samples.front().dueTick = gf_tickCount() + 1;
}

// An aircraft that moves on after standing: the standstill copies before index `end` are of no
// more use. The reported samples stay: the replay runs 30 s behind the feed, so the aircraft has
// yet to pass them, and without them it would cut straight across to the stop. The oldest sample
// stays too: it is the one the aircraft is moving to.
void dropStandstillCopiesBefore(SampleQueue& samples, std::size_t end) {
    for (std::size_t i = std::min(end, samples.size()); i-- > 1;)
        if (samples[i].generated != 0) samples.erase(i);
}

bool speedDiffers(double kept, double v) {
    const double d = std::abs(v - kept);
    return d >= 1.0 && d >= 0.2 * std::max(kept, v);
}

// A ground line whose speed lies this far beyond the speeds of the last few lines kept tells of a
// start, a slowing or a stop: kept whatever its spacing. Thinned, each slower line of a slowing
// would need a longer gap than the one before and be dropped, and the replay would run out of
// lines. A speed that only jitters stays among the speeds kept before it and is thinned.
bool speedChanged(const SampleQueue& samples, double v) {
    if (samples.empty()) return false;
    double lowest = samples.back().groundSpeed;
    double highest = lowest;
    // A stop ends the speeds before it: moving off is a change whatever the aircraft came in at.
    for (std::size_t i = samples.size() - 1, seen = 1; i-- > 0 && seen < kSpeedBandLines && lowest > 0.0;
         ++seen) {
        lowest = std::min(lowest, samples[i].groundSpeed);
        highest = std::max(highest, samples[i].groundSpeed);
    }
    return (v < lowest && speedDiffers(lowest, v)) || (v > highest && speedDiffers(highest, v));
}

// A slow report that carries on the way of the moving report before it: ahead of it on its
// track, at about the distance their speeds carried the aircraft meanwhile, whether it goes on
// at that speed or slows. A slow taxi's reports, round a turn too, and a slowing's to the stop
// are such: the aircraft rolls on to each, so that it keeps to its feed and stops where the feed
// stops it, not at the last moving report. A report as fast as the one before moves its own way
// too: its track agrees (a slowing one may be the stop's, whose track tells nothing). A standing
// aircraft's reports scatter round its stop with a little speed, nearer or farther than that
// speed goes and any way: those stay standstill copies, or it would creep and turn to each.
bool movesOnAlongItsTrack(const PositionSample& n, const PositionSample& sample, const ReportStep& step) {
    if (n.generated != 0 || n.groundSpeed <= 0.0) return false;
    const double hours = static_cast<double>(sample.dueTick - n.dueTick) / 360000.0;
    const double slower = std::min(n.groundSpeed, sample.groundSpeed) * hours;
    const double faster = std::max(n.groundSpeed, sample.groundSpeed) * hours;
    const double d = step.distanceNm();
    if (d < 0.5 * slower || d > 1.5 * faster + kPositionNoiseNm) return false;
    const double way = step.wayDeg();
    return angleDifferenceDeg(way, n.track) <= kAheadOnTrackDeg &&
           (sample.groundSpeed < n.groundSpeed || angleDifferenceDeg(way, sample.track) <= kAheadOnTrackDeg);
}

// The report of the stop that a slowing aircraft rolls on to lies a few metres to the side of
// its way as every standing report does; the aircraft came along its track and stops on it. Rolled
// to the scattered spot, the nose would turn on the last metres to it and stand turned for as long
// as it stands. Brought onto the track as far along it as the report lies, the stop keeps where the
// feed stops it; a report farther aside than a standing aircraft's scatter is a turn, kept as is.
void stopOnTheWayItCame(const PositionSample& n, PositionSample& sample, const ReportStep& step) {
    const double off = (step.wayDeg() - n.track) * kDegToRad;
    const double d = step.distanceNm();
    if (std::abs(d * std::sin(off)) > kStandingScatterNm) return;
    const GeoPosition on = gf_destinationPoint(positionOf(n), n.track * kDegToRad, d * std::cos(off) * kFeetPerNm);
    sample.latitude = on.latitude;
    sample.longitude = on.longitude;
}

// Climbing away from the landing roll (two reports in the air): taxiing again, to take off.
void climbAwayFromTheLandingRoll(LiveAircraft& aircraft, const PositionSample& sample) {
    MoveState& move = aircraft.move;
    aircraft.previousPhase = aircraft.phase;
    aircraft.phase = MovePhase::Taxi;
    move.takeOff.reportArrives(sample);
    gf_setThrottle(aircraft, 3);
    gf_setSpoilers(aircraft, 1);
    gf_setFlaps(aircraft, 1);
    move.landingArmed = 0;
    move.touchedDown = 0;
    gf_queueLights(aircraft.objectId, {1, 1, 1, 1, 1, 1, 0});
    move.earlyWindow = 3000;
    move.lateWindow = 5000;
}

bool userOnGround() { return gf_userCopy().onGround != 0; }

GeoPosition userPosition() {
    const UserAcState& u = gf_userCopy().state;
    return GeoPosition{u.latitude, u.longitude};
}

bool callsignBlocked(const std::string& callsign) {
    return BLOCK_CALLSIGN.current.update([&](const std::string& blocked) { return !blocked.empty() && blocked == callsign; });
}

// Active live aircraft and those whose creation has gone to the simulator and is not yet active,
// counted once per tick (the spawn decision asks for every aircraft in buffer). Leaving out the
// creations in flight would let a burst of newcomers past Max live.
struct ActiveCount {
    bool valid = false;
    std::size_t count = 0;
};
ActiveCount gActive;

std::size_t activeLiveCount() {
    if (!gActive.valid) {
        gActive.valid = true;
        gActive.count = static_cast<std::size_t>(
            std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(), [](const LiveAircraft& a) {
                return a.state == LiveState::Active ||
                       (a.state == LiveState::Adding2Sim && a.creationSentTick >= 0);
            }));
    }
    return gActive.count;
}

} // namespace

void lf_invalidateActiveCount() { gActive.valid = false; }

void lf_resetIntakeState() {
    gReferenceTime = 0.0;
    gTimeJumps = 0;
    for (DropLog* log : {&gBadValues, &gBadTime, &gTooMany, &gOutOfReach, &gAltitudeOutOfReach}) {
        log->count = 0;
        log->lastLogTick = -kDropLogTicks;
    }
    gActive = ActiveCount{};
}

bool gf_hasLiveTwin(std::string_view callsign) {
    if (callsign.empty() || callsign.back() != '_') return false;
    const std::string_view base = callsign.substr(0, callsign.size() - 1);
    return std::any_of(gLiveAircraft.begin(), gLiveAircraft.end(), [base](const LiveAircraft& a) {
        return a.state != LiveState::RemovingFromSim && a.head.callsign == base;
    });
}

void lf_onTrafficUpdate(TrafficLine& line) {
    if (!plausible(line)) {
        dropped(gBadValues, line);
        return;
    }
    if (!believableTime(line.timeStamp)) {
        dropped(gBadTime, line);
        return;
    }
    const std::ptrdiff_t index = gf_findLiveByKey(line.hexid);
    if (index < 0) {
        if (line.head.callsign.empty() || gLiveAircraft.empty()) {
            lf_birth(line);
            return;
        }
        const uint16_t model = line.head.liveryKey.modelIndex;
        const bool twin = std::any_of(gLiveAircraft.begin(), gLiveAircraft.end(), [&](const LiveAircraft& a) {
            return a.head.callsign == line.head.callsign && a.head.liveryKey.modelIndex == model;
        });
        if (!twin) lf_birth(line);
        return;
    }
    LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
    // Lines of an aircraft on its way out are of no use; none are queued behind a removal.
    if (aircraft.state == LiveState::LiveryRespawn || aircraft.state == LiveState::RemovingFromSim ||
        aircraft.removalAsked != 0 || aircraft.erase != 0 || aircraft.creationWithdrawn != 0)
        return;
    const double t = line.timeStamp;
    const double v = line.sample.groundSpeed;
    if (!aircraft.samples.empty()) {
        const PositionSample& s = aircraft.samples.back();
        const double T = aircraft.lastUpdateTime;
        if (t == T || t - T <= 1.0) return;
        const double sv = s.groundSpeed;
        if ((sv > 5.0 && v >= 10.0 * sv) || (v > 5.0 && sv >= 10.0 * v) || (sv <= 5.0 && v >= 80.0) ||
            (v <= 5.0 && sv >= 80.0))
            return;
        if (aircraft.manoeuvreMark < 1) {
            const double trackChange = std::abs(line.sample.track - s.track);
            double spacing = -1.0;
            if (line.sample.airborne != 0 && v > 120.0 && trackChange <= 1.0)
                spacing = 0.2429805615550756 / (v / 3600.0);
            else if (line.sample.airborne == 0 && v <= 30.0 && trackChange <= 2.0 &&
                     !speedChanged(aircraft.samples, v))
                spacing = v > 0.0 ? std::min(15.0, 0.010799136069114472 / (v / 3600.0)) : 15.0;
            if (spacing >= 0.0 && t - T <= spacing) return;
        }
        if (offTrack(aircraft, line)) return;
        if (altitudeOutOfReach(aircraft.samples.back(), aircraft.lastUpdateTime, line)) {
            dropped(gAltitudeOutOfReach, line);
            return;
        }
    }
    if (aircraft.state == LiveState::Buffer && nearParkElevation(line.sample)) return;
    if (!lf_checkRespawn(aircraft, line)) return;
    aircraft.lastUpdateTime = t;
    decodeExisting(aircraft, line.sample);
}

void lf_birth(TrafficLine& line) {
    if (const auto key = gf_lookupRegistration(line.head.registration)) line.head.liveryKey = *key;
    if (!gf_isKnownModelCode(gModelCodes.text(line.head.liveryKey.modelIndex))) return;
    lf_birthFilter(line);
}

void lf_birthFilter(TrafficLine& line) {
    const AircraftCategory category = gf_modelCategory(line.head.liveryKey.modelIndex);
    switch (category) {
    case AircraftCategory::Light:
        if (!LIGHT_AIRCRAFT.current.load()) return;
        break;
    case AircraftCategory::HighPerf:
        if (!HIGH_PERF_AIRCRAFT.current.load()) return;
        break;
    case AircraftCategory::Rotorcraft:
        if (!HELICOPTERS.current.load()) return;
        break;
    case AircraftCategory::Buzjets:
    case AircraftCategory::Large:
    case AircraftCategory::Heavy:
        break;
    default:
        return;
    }
    if (nearParkElevation(line.sample)) return;
    if (gLiveAircraft.size() >= kMaxLiveRecords) {
        dropped(gTooMany, line);
        return;
    }
    line.head.secondText = line.head.callsign;
    line.head.thirdText.clear();
    line.head.optionMatched = 0;
    TrafficRecord record;
    gf_makeStaticTrafficRecord(record, std::move(line.head));
    record.key = line.hexid;
    record.currentAngleStep = record.angleStep;
    const CategoryValues& values = gf_categoryValues(record.category);
    record.climbStepLimit = values.climbStepLimit;
    record.groundSpeed = values.groundSpeed;
    gLiveAircraft.emplace_back(line.sample, std::move(record), line.timeStamp);
}

bool lf_holdForUser(LiveAircraft& aircraft) {
    SampleQueue& samples = aircraft.samples;
    if (samples.empty()) return false;
    const UserAcState& user = gf_userCopy().state;
    const GeoPosition userAt = userPosition();
    if (userOnGround()) {
        if (aircraft.move.waitingForUser != 0) {
            const PositionSample& f = samples.front();
            if (user.groundSpeed > 8.0 ||
                (f.airborne == 0 && (f.groundSpeed > 8.0 || gf_distanceNm(userAt, positionOf(f)) <= 500.0 / 1852.0))) {
                samples.pop_front();
                return true;
            }
        }
        const PositionSample& f = samples.front();
        if (COLLISION_USER_GND.current.load() && f.airborne == 0 &&
            gf_distanceNm(userAt, positionOf(f)) <= 0.08099352051835854) {
            samples.pop_front();
            return true;
        }
        aircraft.move.waitingForUser = 0;
        return false;
    }
    if (!COLLISION_USER_AIR.current.load()) return false;
    if (aircraft.move.waitingForUser != 0) {
        samples.pop_front();
        return true;
    }
    // The newborn as it would appear: at its oldest sample, heading along its track.
    const PositionSample& f = samples.front();
    aircraft.position.latitude = f.latitude;
    aircraft.position.longitude = f.longitude;
    aircraft.position.altitude = f.altitude;
    aircraft.position.heading = gf_wrapHeading(f.track * kDegToRad);
    if (lf_isOnUserTrack(aircraft, 1)) {
        aircraft.move.waitingForUser = 1;
        samples.pop_front();
        return true;
    }
    return false;
}

void lf_spawnDecision(LiveAircraft& aircraft) {
    SampleQueue& samples = aircraft.samples;
    if (samples.empty()) {
        aircraft.erase = 1;
        return;
    }
    if (samples.front().dueTick > gf_tickCount()) return;
    if (samples.size() == 1) {
        samples.pop_front();
        aircraft.erase = 1;
        return;
    }
    const std::string& callsign = aircraft.head.callsign;
    const bool ghost = !callsign.empty() && callsign.back() == '_';
    if (ghost && std::find(gGhostList.begin(), gGhostList.end(), callsign) != gGhostList.end()) {
        aircraft.erase = 1;
        return;
    }
    const uint8_t airborne = samples.front().airborne;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i].airborne != airborne) {
            samples.pop_front();
            return;
        }
    }
    if (lf_holdForUser(aircraft)) return;
    if (gLiveAddingStack.size() >= kAddingStackGate && aircraft.phase == MovePhase::Birth) {
        samples.pop_front();
        return;
    }
    const int32_t maxLive = MAX_LIVE_SEL.current.load();
    if (maxLive <= 0) {
        aircraft.erase = 1;
        return;
    }
    if (gSpawnStack.size() + activeLiveCount() + gLiveAddingStack.size() >= static_cast<std::size_t>(maxLive)) {
        const double d = gf_distanceNm(positionOf(samples.front()), userPosition());
        if (gf_removeFarthestLiveAc(d)) {
            aircraft.erase = 1;
            return;
        }
    }
    if (callsignBlocked(callsign)) {
        aircraft.erase = 1;
        return;
    }
    LiveryKey& key = aircraft.head.liveryKey;
    if (key.fromRegistration == 0) {
        if (const auto found = gf_lookupRegistration(aircraft.head.registration)) key = *found;
        if (key.operatorIndex == 0) {
            std::string airline;
            key.operatorIndex = gf_airlineIndex(gf_airlineFromCallsign(callsign, airline) ? airline : "PVT");
        }
    }
    if (!gf_isValidCallsign(aircraft.head.callsign)) {
        aircraft.head.callsign = aircraft.head.registration;
        if (!gf_isValidCallsign(aircraft.head.callsign)) {
            aircraft.erase = 1;
            return;
        }
    }
    if (!gFailedKeyTexts.empty() && gFailedKeyTexts.contains(gf_keyRegText(aircraft))) {
        aircraft.erase = 1;
        return;
    }
    if (gf_hasLiveTwin(aircraft.head.callsign)) {
        aircraft.erase = 1;
        return;
    }
    spawnLiveAc(aircraft);
}

void decodeExisting(LiveAircraft& aircraft, PositionSample sample) {
    try {
        SampleQueue& samples = aircraft.samples;
        if (samples.size() > kMaxWaitingSamples) {
            // The sample goes with the aircraft.
            removeAircraftFromSim(aircraft);
            return;
        }
        if (aircraft.move.holding != 0 && !samples.empty() &&
            gf_distanceNm(positionOf(samples.front()), positionOf(sample)) * 1852.0 > HOLDING_THRESHOLD_METERS.current.load()) {
            aircraft.move.holding = 0;
            removeAircraftFromSim(aircraft);
            return;
        }
        // The report against the newest waiting sample, measured once for all the rules below.
        std::optional<ReportStep> step;
        if (!samples.empty()) step.emplace(samples.back(), sample);
        if (aircraft.phase != MovePhase::Birth) {
            if (!extendsTheTrack(aircraft, sample, step ? &*step : nullptr)) return;
            if (samples.empty()) {
                samples.push_back(sample);
                return;
            }
            const PositionSample n = samples.back();
            if (sample.airborne == 0 && n.generated != 0) {
                const bool allGenerated = [&] {
                    for (std::size_t i = 0; i < samples.size(); ++i)
                        if (samples[i].generated == 0) return false;
                    return true;
                }();
                if (sample.generated != 0 && allGenerated) {
                    // Standing copies on the ground all say the same; a rotorcraft's in the air
                    // still carry it down onto the spot.
                    if (samples.size() > 1 && samples.front().airborne == 0) samples.pop_front();
                } else if (samples.size() >= 3) {
                    // The newest reported sample among up to 7 before the newest one.
                    std::ptrdiff_t r = -1;
                    const std::ptrdiff_t from = static_cast<std::ptrdiff_t>(samples.size()) - 2;
                    for (std::ptrdiff_t i = from; i >= 0 && from - i < 7; --i) {
                        if (samples[static_cast<std::size_t>(i)].generated == 0) {
                            r = i;
                            break;
                        }
                    }
                    if (r >= 0) {
                        const PositionSample& rs = samples[static_cast<std::size_t>(r)];
                        if (n.dueTick - rs.dueTick < 1500 || gf_distanceNm(positionOf(rs), positionOf(sample)) <= 0.011879049676025918)
                            dropStandstillCopiesBefore(samples, static_cast<std::size_t>(r));
                    }
                }
            }
            if (sample.dueTick <= n.dueTick) sample.dueTick = n.dueTick + 1;
            TakeOffRoll& roll = aircraft.move.takeOff;
            if (aircraft.state == LiveState::Active && aircraft.onGround != 0 && aircraft.phase != MovePhase::TakeOff) {
                if (roll.armed() || (aircraft.move.landingRoll == 0 && aircraft.phase == MovePhase::Taxi))
                    roll.reportArrives(sample);
                else if (aircraft.move.landingRoll != 0 && n.airborne != 0 && sample.airborne != 0)
                    climbAwayFromTheLandingRoll(aircraft, sample);
            }
            samples.push_back(sample);
            if (samples.size() == 2 && samples[0].generated != 0 && samples[1].generated != 0) {
                samples[0].dueTick = gf_tickCount() + 1;
                samples[0].groundSpeed = samples[1].groundSpeed;
            }
            return;
        }
        if (!step || !isStandstill(aircraft, sample, *step)) return;
        const int64_t after = samples.back().dueTick + 1;
        if (sample.dueTick < after) sample.dueTick = after;
        samples.push_back(sample);
    } catch (const std::exception& error) {
        gf_log(fmt::format("{} exception {}", "decodeExisting", error.what()));
        throw;
    }
}

namespace {

bool isStandstill(LiveAircraft& aircraft, PositionSample& sample, ReportStep& step) {
    const PositionSample& n = aircraft.samples.back();
    const bool same = step.same();
    if (same) sample.generated = 1;
    if (aircraft.category == AircraftCategory::Rotorcraft) return true;
    const bool flyingActive = aircraft.state == LiveState::Active && aircraft.onGround == 0;
    const bool takeOffArmed = aircraft.move.takeOff.armed();
    if (same) {
        if (sample.airborne != 0 || flyingActive) return false;
        if (takeOffArmed && sample.groundSpeed > 0.0 && n.groundSpeed >= 30.0) return false;
        if (sample.groundSpeed > 0.0) sample.groundSpeed = 0.0;
        return true;
    }
    // The box takes in the position noise of a standing aircraft; a report that says the
    // aircraft moves is no standstill, however close to the last one (10 kt in 2 s is 10 m).
    if (step.withinScatter() && sample.groundSpeed <= kStandstillSpeedKt) {
        if (sample.airborne != 0 || flyingActive) return false;
        if (takeOffArmed && sample.groundSpeed > 0.0 && n.groundSpeed >= 50.0) return false;
        if (movesOnAlongItsTrack(n, sample, step)) {
            if (sample.groundSpeed == 0.0) {
                stopOnTheWayItCame(n, sample, step);
                step = ReportStep(n, sample);
            }
            return true;
        }
        sample = n;
        sample.groundSpeed = 0.0;
        sample.generated = 1;
        step = ReportStep(n, sample);
        return true;
    }
    if (sample.groundSpeed != 0.0) return true;
    if (takeOffArmed || sample.airborne != 0) return n.groundSpeed < 50.0;
    return true;
}

bool extendsTheTrack(LiveAircraft& aircraft, PositionSample& sample, ReportStep* step) {
    MoveState& move = aircraft.move;
    const GeoPosition here{aircraft.position.latitude, aircraft.position.longitude};
    switch (aircraft.phase) {
    case MovePhase::PushingBack: {
        if (!STRAIGHT_PBS_ONLY.current.load() && move.pushbackTurning != 0) {
            double reference = -1.0;
            double turn = 0.0;
            if (sample.trueHeading) {
                reference = *sample.trueHeading;
                turn = std::remainder(reference - aircraft.position.heading, 2.0 * std::numbers::pi);
            } else if (sample.track != 0.0) {
                reference = sample.track * kDegToRad;
                turn = std::remainder(reference - aircraft.position.heading, 2.0 * std::numbers::pi);
                // A track nearer the tail than the nose is the way the tail moves: its swing to
                // one side turns the nose to the other, as the nose's own turn seen from behind.
                if (std::abs(turn) > 0.5 * std::numbers::pi)
                    turn = std::remainder(turn - std::numbers::pi, 2.0 * std::numbers::pi);
            }
            // A report along the aircraft's own axis (the nose where it points, or a way straight
            // behind it) tells of no turn: the pushback stays straight until one shows the nose
            // turned, and that one gives the side.
            constexpr double kNoTurn = 15.0 * kDegToRad;
            if (reference >= 0.0 && std::abs(turn) > kNoTurn && std::abs(turn) < std::numbers::pi - kNoTurn) {
                move.pushbackRight = turn > 0.0 ? 1 : 0;
                move.pushbackSideKnown = 1;
            }
        }
        // The aircraft's own pushback stands for the feed's, but what the feed reports meanwhile
        // (the stop at the pushback's end, the start of the taxi) is kept for afterwards: dropped,
        // the pushed-back aircraft would head at once for the first report after it, cutting
        // across while the feed still stands.
        if (move.reportsWhilePushing.size() < kMaxWaitingSamples) move.reportsWhilePushing.push_back(sample);
        return false;
    }
    case MovePhase::PushedBack: {
        const double d = gf_distanceNm(here, positionOf(sample));
        // Near where the pushback ended the feed's own pushback end is of no interest; a report
        // of the aircraft moving off is the start of its taxi, followed from there on (dropped,
        // the aircraft would cut straight across to the first report farther away).
        const bool movingOff = sample.groundSpeed > kStandstillSpeedKt;
        if (!movingOff && (d <= 2.75 * aircraft.size || d <= move.holdingDistance) &&
            d <= 6.0 * aircraft.size) {
            if (move.holding == 0) {
                move.holding = 1;
                move.holdingStartTick = gf_tickCount();
            }
            move.holdingDistance = d;
            return false;
        }
        aircraft.previousPhase = aircraft.phase;
        aircraft.phase = MovePhase::Taxi;
        lf_releaseStand(aircraft);
        aircraft.standLatitude = 0.0;
        aircraft.standLongitude = 0.0;
        aircraft.standId = 0;
        aircraft.cargoStand = 0;
        move.holding = 0;
        // Reported samples are followed again, within the replay windows.
        if (aircraft.manoeuvreMark > 0) endManoeuvre(aircraft);
        return true;
    }
    case MovePhase::Parking:
    case MovePhase::Parked: {
        if (aircraft.state <= LiveState::Adding2Sim) return false;
        const GeoPosition stand{aircraft.standLatitude, aircraft.standLongitude};
        const double d = gf_distanceNm(positionOf(sample), stand);
        const double limit = 0.0458963282937365 * (aircraft.previousPhase == MovePhase::Parking ? 2.0 : 1.0);
        if (d <= limit) {
            move.parkedSince = std::chrono::steady_clock::now();
            if (move.standSeen == 0) {
                move.standSeen = 1;
                move.standReferenceDistance = d;
                move.standLastDistance = d;
                move.standCount = 0;
                move.departureNoticed = 0;
                return false;
            }
            constexpr double kStep = 0.0016198704103671706; // 3 m
            if (d >= move.standLastDistance + kStep) {
                move.standLastDistance = d;
                ++move.standCount;
            } else if (d <= move.standLastDistance - kStep) {
                move.standCount = 0;
            }
            const double beyond = d - move.standReferenceDistance;
            if ((move.standCount >= 3 && beyond >= aircraft.size / 2.0) || beyond > aircraft.size) {
                lf_noticeDeparture(aircraft, sample);
                return true;
            }
            move.departureNoticed = 0;
            return false;
        }
        if (aircraft.phase == MovePhase::Parking) {
            aircraft.previousPhase = MovePhase::Parking;
            aircraft.phase = MovePhase::Taxi;
            return true;
        }
        if (d > 0.10799136069114472) {
            lf_addRealStandOption(static_cast<int32_t>(aircraft.standId), aircraft, kStayLeftStand);
            removeAircraftFromSim(aircraft);
            return false;
        }
        lf_noticeDeparture(aircraft, sample);
        return true;
    }
    default:
        break;
    }
    if (move.landingArmed != 0 || move.landingRoll != 0) {
        if (step == nullptr) {
            gf_log(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
            return false;
        }
        return duringLanding(aircraft, sample, *step);
    }
    // With no sample waiting there is no standstill to tell.
    if (step != nullptr && !isStandstill(aircraft, sample, *step)) return false;
    if (aircraft.manoeuvreMark <= 0) return true;
    if (step == nullptr) {
        gf_log(fmt::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    if (aircraft.onGround == 0 &&
        angleDifferenceDeg(step->wayDeg(), aircraft.position.heading * kRadToDeg) >= 100.0)
        return false;
    endManoeuvre(aircraft);
    move.holding = 0;
    return true;
}

// A touch-and-go: a sample on the ground clearly faster than the one before it on the ground
// (the aircraft accelerates to take off again), or an airborne one after the feed had the
// aircraft on the ground (the climb away). A go-around: an airborne sample that has climbed above
// the approach's lowest waiting report by more than a height's noise, or one faster than the
// one before it by more than a speed's noise without coming lower. Either keeps its speed: held
// at the approach's or the landing roll's, the aircraft would climb away late and fall ever
// further behind its fed track. A report only a little higher or faster is the feed's noise.
bool climbsAwayAgain(const LiveAircraft& aircraft, const PositionSample& sample) {
    const SampleQueue& samples = aircraft.samples;
    const PositionSample& before = samples.back();
    if (sample.airborne == 0)
        return before.airborne == 0 && sample.groundSpeed >= before.groundSpeed + kRollRiseKt;
    if (aircraft.onGround != 0) return true;
    double lowest = before.altitude;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].airborne == 0) return true;
        lowest = std::min(lowest, samples[i].altitude);
    }
    return sample.altitude > lowest + kHeightNoiseFt ||
           (sample.altitude >= before.altitude && sample.groundSpeed > before.groundSpeed + kSpeedNoiseKt);
}

bool duringLanding(LiveAircraft& aircraft, PositionSample& sample, ReportStep& step) {
    SampleQueue& samples = aircraft.samples;
    if (step.same()) {
        // A rotorcraft hovers, comes down and stands on its pad at one spot: each report there
        // is a standstill that holds it on the spot, as the standstill rule keeps every report of
        // a rotorcraft. Dropped, it would run out of reports and go on by itself.
        if (aircraft.category != AircraftCategory::Rotorcraft) return false;
        if (aircraft.manoeuvreMark > 0) endManoeuvre(aircraft);
        return isStandstill(aircraft, sample, step);
    }
    const double heading = aircraft.position.heading * kRadToDeg;
    const auto offHeading = [&](const ReportStep& from) { return angleDifferenceDeg(from.wayDeg(), heading); };
    // The newest waiting sample changes when one behind the aircraft is dropped or brought to it.
    bool newestChanged = false;
    if (samples.size() == 1) {
        const double d = offHeading(step);
        if (aircraft.move.landingArmed != 0) {
            if (d >= 90.0) return false;
        } else if (d >= 150.0) {
            if (aircraft.manoeuvreMark > 0) return false;
            PositionSample here = samples.back();
            here.latitude = aircraft.position.latitude;
            here.longitude = aircraft.position.longitude;
            here.dueTick = gf_tickCount() + 1;
            samples.back() = here;
            newestChanged = true;
        }
    } else if (offHeading(step) >= 90.0) {
        samples.pop_back();
        newestChanged = true;
        if (!samples.empty() && offHeading(ReportStep(samples.back(), sample)) >= 90.0) samples.pop_back();
    }
    if (aircraft.manoeuvreMark > 0) endManoeuvre(aircraft);
    const bool sameAsNewest = newestChanged ? !samples.empty() && samePosition(samples.back(), sample, 1e-8) : false;
    if (!samples.empty() && !sameAsNewest) {
        sample.generated = 0;
        if (sample.groundSpeed > 40.0 && sample.groundSpeed > samples.back().groundSpeed &&
            !climbsAwayAgain(aircraft, sample))
            sample.groundSpeed = samples.back().groundSpeed;
    } else if (!samples.empty()) {
        sample.generated = 1;
    }
    return true;
}

} // namespace

bool lf_isStandstillSample(LiveAircraft& aircraft, PositionSample& sample) {
    ReportStep step(aircraft.samples.back(), sample);
    return isStandstill(aircraft, sample, step);
}

bool checkExtendingSituations(LiveAircraft& aircraft, PositionSample& sample) {
    std::optional<ReportStep> step;
    if (!aircraft.samples.empty()) step.emplace(aircraft.samples.back(), sample);
    return extendsTheTrack(aircraft, sample, step ? &*step : nullptr);
}

bool checkNewPosDuringLanding(LiveAircraft& aircraft, PositionSample& sample) {
    if (aircraft.samples.empty()) {
        gf_log(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    ReportStep step(aircraft.samples.back(), sample);
    return duringLanding(aircraft, sample, step);
}

void lf_takeReportsKeptWhilePushing(LiveAircraft& aircraft) {
    std::vector<PositionSample>& kept = aircraft.move.reportsWhilePushing;
    if (kept.empty() || aircraft.phase == MovePhase::PushingBack) return;
    const std::vector<PositionSample> reports = std::move(kept);
    kept.clear();
    for (const PositionSample& report : reports) {
        if (aircraft.state != LiveState::Active || aircraft.removalAsked != 0 || aircraft.erase != 0) return;
        // A report already due is past; the aircraft goes on from the ones still ahead.
        if (report.dueTick > gf_tickCount()) decodeExisting(aircraft, report);
    }
}

void lf_noticeDeparture(LiveAircraft& aircraft, PositionSample& sample) {
    sample.generated = 0;
    aircraft.move.departureNoticed = 1;
    if (aircraft.previousPhase == MovePhase::Parked) return;
    if (aircraft.manoeuvreMark > 0) endManoeuvre(aircraft);
    lf_addRealStandOption(static_cast<int32_t>(aircraft.standId), aircraft, kStayDeparture);
    lf_releaseStand(aircraft);
    aircraft.previousPhase = aircraft.phase;
    aircraft.phase = MovePhase::Parked;
}

} // namespace tamrix
