#include "traffic/ground_movement.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/time_texts.hpp"
#include "links/park_airport.hpp"
#include "links/sim_queues.hpp"
#include "links/traffic_intake.hpp"
#include "records/stand_table.hpp"
#include "traffic/air_movement.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/parking.hpp"
#include "traffic/takeoff_landing.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

namespace {

constexpr double kArrivalNm = 2.0 / kMetresPerNm;
// How much faster and slower than its reported speed a taxiing aircraft may go to keep to the
// replay's time.
constexpr double kCatchUpFactor = 1.25;
constexpr double kFallBackFactor = 0.75;

double metresBetween(const PositionSample& a, const PositionSample& b) {
    return gf_distanceNm(positionOf(a), positionOf(b)) * kMetresPerNm;
}

// Lights of an aircraft moving on the ground under its own power or pushed.
void groundLights(const LiveAircraft& ac) { gf_queueLights(ac.objectId, {1, 1, 0, 1, 0, 1, 0}); }

// The aircraft stands where it is until `dueTick`: a copy of its standing position due then
// becomes the next sample.
void standUntil(LiveAircraft& ac, int64_t dueTick) {
    PositionSample wait = ac.samples[0];
    wait.generated = 1;
    wait.groundSpeed = 0.0;
    wait.dueTick = dueTick;
    lf_insertSample(ac.samples, 1, wait);
}

// A parked aircraft whose feed shows it leaving starts its pushback or pull-out when the first
// report of it moving falls due, as the rest of its track is replayed, not when that report came
// in, 30 s sooner. Until then it stands: the copies of its standing position give way to one due
// then. True while it waits.
bool standUntilTheDepartureIsDue(LiveAircraft& ac) {
    SampleQueue& samples = ac.samples;
    std::size_t first = 1;
    while (first < samples.size() && samples[first].generated)
        ++first;
    if (first >= samples.size()) return false;
    // The report came in at most the replay delay ago; one queued behind the week-long copy of a
    // parked aircraft is not to wait for that copy.
    PositionSample& departure = samples[first];
    departure.dueTick = std::min(departure.dueTick, gf_tickCount() + kSampleDelayTicks);
    if (departure.dueTick <= gf_tickCount()) return false;
    for (; first > 1; --first)
        samples.erase(1);
    standUntil(ac, departure.dueTick);
    return true;
}

// A taxiing aircraft that stands moves off as the feed did: it leaves so that it reaches the
// first report of it moving when that report falls due, not as soon as the report is next (up
// to the early window sooner, while the feed still stands). True while it waits.
bool standUntilTheFeedMovesOff(LiveAircraft& ac) {
    const PositionSample& front = ac.samples[0];
    const PositionSample& next = ac.samples[1];
    if (ac.phase != MovePhase::Taxi || ac.move.landingRoll || next.generated || front.groundSpeed > 0.0)
        return false;
    const double distance = gf_distanceNm(positionOf(front), positionOf(next));
    const int64_t start = next.dueTick - std::max<int64_t>(gf_ticksFor(distance, lf_legSpeed(ac)), 25);
    if (start <= gf_tickCount() + 25) return false;
    standUntil(ac, start);
    return true;
}

// A taxiing aircraft held where its feed fell silent was not stopped by the feed: the last report
// had it moving, and it went on unseen. The copies it stands on keep that speed, so that once the
// next report is known it moves off at about the fed speed, not as from a standstill (half the
// speed, and the replay's time lost). A standstill the feed reports sets the speed to 0 again.
void keepTheFedSpeedWhileHeld(LiveAircraft& ac) {
    if (ac.phase != MovePhase::Taxi || !ac.move.holding || ac.manoeuvreMark != 1 || ac.samples.size() != 2)
        return;
    const PositionSample& front = ac.samples[0];
    PositionSample& hold = ac.samples[1];
    if (hold.generated && hold.groundSpeed == 0.0 && samePosition(front, hold))
        hold.groundSpeed = front.groundSpeed;
}

// The pace (radians per tick) at which the feed turned the nose between two of its next reports,
// the fastest within the next 20 s of them, and never slower than the aircraft's own turn rate;
// that rate alone when they show no turn (a change of less than 5 degrees is the feed's noise):
// the feed turned the nose before them, where the aircraft was not (a pushback longer than its
// own), and the nose turns onto its way at its own pace, not in a swing. A way that reverses
// between two reports (a pushback's track) is no turn of the nose either.
double fedTurnPace(const LiveAircraft& ac) {
    constexpr double kNoise = 5.0 / kRadToDeg;
    const SampleQueue& samples = ac.samples;
    double fastest = 0.0;
    std::optional<double> before;
    int64_t beforeDue = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const PositionSample& s = samples[i];
        if (s.generated) continue;
        if (s.dueTick - samples[1].dueTick > 2000) break;
        std::optional<double> heading = s.trueHeading;
        if (!heading && s.groundSpeed > 0.0) heading = s.track / kRadToDeg;
        if (!heading) continue;
        if (before && s.dueTick > beforeDue) {
            const double turned = std::abs(gf_wrapDifference(*heading - *before));
            if (turned >= kNoise && turned < 2.0 * kPi / 3.0)
                fastest = std::max(fastest, turned / static_cast<double>(s.dueTick - beforeDue));
        }
        before = heading;
        beforeDue = s.dueTick;
    }
    return std::max(fastest, ac.angleStep);
}

void groundStep(LiveAircraft& ac) {
    MoveState& m = ac.move;
    keepTheFedSpeedWhileHeld(ac);
    if (ac.phase == MovePhase::PushingBack) {
        --m.pushbackCountdown;
        if (m.pushbackCountdown == 1) {
            // The side of the turn is decided now; later reports no longer change it.
            m.pushbackTurning = 0;
            if (m.pushbackSideKnown && ac.samples.size() >= 3) {
                if (m.pushbackRight) ac.samples.back() = m.sideSample;
                lf_setupCurve(ac);
                m.curve.parameterStep = 1.0 / gf_narrowTicks(90.0 / ac.currentAngleStep / 100.0);
                m.curve.turnAngle = 90.0;
                lf_groundTiming(ac);
                return;
            }
            if (ac.samples.size() >= 3) ac.samples.pop_back();
        } else if (m.pushbackCountdown < 1) {
            m.targetHeading = ac.position.heading;
            gf_queueEngineStart(ac.objectId);
            gf_setThrottle(ac, 0);
            gf_setFlaps(ac, 1);
            lf_setPhase(ac, MovePhase::PushedBack);
            m.pushbackCountdown = 1;
            ac.manoeuvreMark = 0;
            m.pushbackPending = 0;
        }
    } else if (ac.phase == MovePhase::Parked) {
        m.earlyWindow = 3000;
        m.lateWindow = m.takeOff.armed() ? 5000 : 3000;
        // A parked aircraft whose feed shows it moving again leaves its stand.
        for (std::size_t i = 1; i < ac.samples.size() && !m.pushbackPending; ++i)
            if (!ac.samples[i].generated) m.pushbackPending = 1;
        // Until the departure is due it stands: the copy just inserted is the next sample.
        if (m.pushbackPending && !standUntilTheDepartureIsDue(ac)) {
            const double bearing =
                gf_initialBearing({ac.standLatitude, ac.standLongitude}, positionOf(ac.samples.back()));
            const int32_t d = gf_narrowTicks(gf_wrapDegrees((bearing - ac.standHeading) * kRadToDeg));
            if (std::abs(d) < 90) lf_pullOutStart(ac);
            else lf_pushbackStart(ac);
        }
    } else if (standUntilTheFeedMovesOff(ac)) {
        // Still standing: the copy just inserted is the next sample.
    } else if (!ac.samples[1].generated) {
        if (ac.samples.size() >= 3 && !ac.samples[2].generated) {
            const double a = lf_headingChangeAfterNext(ac) * kRadToDeg;
            const PositionSample& front = ac.samples[0];
            const PositionSample& next = ac.samples[1];
            if (std::abs(a) > 45.0 && metresBetween(front, next) > 50.0 && front.groundSpeed <= 43.0 &&
                next.dueTick - front.dueTick >= 600) {
                lf_insertMidpoint(ac);
            } else if (std::abs(a) > 3.0 && std::abs(a) <= 160.0) {
                if (!samePosition(front, ac.samples[2])) {
                    lf_setupCurve(ac);
                    m.curve.turnAngle = std::abs(a);
                } else {
                    lf_midpointOnSpeedChange(ac);
                }
            } else {
                lf_midpointOnSpeedChange(ac);
            }
        } else if (ac.samples.size() >= 3) {
            lf_midpointOnSpeedChange(ac);
        } else if (ac.manoeuvreMark < 1) {
            lf_midpointOnSpeedChange(ac);
        }
        if (!m.curve.active()) {
            m.headingDifference = std::abs(gf_wrapDifference(m.targetHeading - ac.position.heading)) * kRadToDeg;
            m.turning = m.headingDifference > 3.0 ? 1 : 0;
        } else {
            m.turning = 0;
        }
    }

    // A taxiing aircraft that comes to a stop near a stand parks there.
    if (ac.samples.back().generated && ac.phase == MovePhase::Taxi && gf_parkAirport().code.isSet() && !gStandTable.empty()) {
        const bool leaving = ac.previousPhase == MovePhase::Parked || ac.previousPhase == MovePhase::PushingBack ||
                             ac.previousPhase == MovePhase::PushedBack;
        if (m.towed || !leaving) {
            if (ac.manoeuvreMark < 1) {
                if (ac.samples.size() >= 2 && ac.samples[1].groundSpeed <= 5.0 &&
                    metresBetween(ac.samples.back(), ac.samples[0]) <= 35.0)
                    try2Park(ac, false);
            } else {
                try2Park(ac, m.touchedDown != 0);
            }
        }
    }
    if (ac.samples.size() >= 2) lf_groundTiming(ac);
}

} // namespace

void lf_insertSample(SampleQueue& samples, std::size_t i, const PositionSample& sample) {
    if (i >= samples.size()) {
        samples.push_back(sample);
        return;
    }
    samples.push_back(samples.back());
    for (std::size_t j = samples.size() - 2; j > i; --j) samples[j] = samples[j - 1];
    samples[i] = sample;
}

void lf_nextPosGround(LiveAircraft& ac) {
    try {
        groundStep(ac);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}, {}, sz:{}", "nextPosGround", e.what(), gf_acDescription(ac), ac.samples.size()));
        throw;
    }
}

void lf_groundTiming(LiveAircraft& ac) {
    MoveState& m = ac.move;
    const PositionSample& front = ac.samples[0];
    const PositionSample& next = ac.samples[1];
    const int64_t now = gf_tickCount();
    if (!next.generated) {
        ac.currentAngleStep = ac.angleStep;
        const double distance = gf_distanceNm(positionOf(front), positionOf(next));
        // Along a curve the aircraft goes the curve's way, not straight to its end: timed by the
        // straight way it would round a corner faster than the leg's speed.
        const double way = m.curve.active() ? gf_curveLengthNm(m.curve) : distance;
        const int64_t n = std::max<int64_t>(gf_ticksFor(way, lf_legSpeed(ac)), 25);
        if (m.curve.active() || m.turning) {
            const double angle = m.turning ? m.headingDifference : m.curve.turnAngle;
            const double k = std::max(std::round(angle / ac.currentAngleStep / 100.0), 1.0);
            if (angle > 0 && distance > 0) {
                const double r = static_cast<double>(n) / k;
                if (angle <= 45.0) {
                    if (r >= 1.2) {
                        const double mult = std::min({r, r * 10.0 / angle, r * 30.0 / (kMetresPerNm * distance)});
                        if (mult > 0) ac.currentAngleStep *= 1.0 / mult;
                    } else if (r > 0) {
                        ac.currentAngleStep *= 1.0 / r;
                    }
                } else {
                    ac.currentAngleStep *= std::min(r, std::min(angle, 90.0) / 30.0);
                    if (angle >= 90.0) {
                        m.earlyWindow = std::max(m.earlyWindow, 2000);
                        m.lateWindow = std::max(m.lateWindow, 2000);
                    }
                }
            }
        }
        // The replay keeps to the feed's time: an aircraft behind the report's time (a slow
        // start, a turn) makes it up a little faster, one ahead of it goes a little slower.
        // The landing roll keeps its own pace.
        int64_t target = now + n;
        if (ac.manoeuvreMark < 1 && !m.landingRoll) {
            const auto within = [&](double factor) {
                return now + std::max<int64_t>(std::llround(static_cast<double>(n) / factor), 25);
            };
            target = std::clamp(next.dueTick, within(kCatchUpFactor), within(kFallBackFactor));
        }
        lf_retimeNext(ac, target);
        // A tug turns the aircraft no faster than it turns itself: the pushback's quarter turn
        // takes the time the nose needs at that rate where the curve turns fastest.
        if (ac.phase == MovePhase::PushingBack && m.curve.active())
            ac.samples[1].dueTick = std::max<int64_t>(
                ac.samples[1].dueTick,
                now + std::llround(m.curve.lengthMetres * m.curve.sharpestTurnPerMetre / ac.angleStep));
        if (m.curve.active() || m.turning) {
            // The nose keeps up with the way the aircraft moves, whatever the scaling above, as
            // far as its category turns: a curve's turn is done by its end (its tangent turns
            // fastest midway), a turn towards a straight leg within the leg's first half and at
            // most a second. Where the category turns slower, the aircraft slows instead.
            const double angle = m.turning ? m.headingDifference : m.curve.turnAngle;
            const double leg = static_cast<double>(lf_ticksToNext(ac));
            const double ticks = m.turning ? std::min(leg / 2.0, 100.0) : leg / 1.5;
            ac.currentAngleStep = std::max(ac.currentAngleStep, angle / kRadToDeg / ticks);
            // Moving off from a standstill (after a pushback, at a stop) the nose turns as the
            // feed turned it, not in a swing, until it is on its way: the aircraft is slow, its
            // way still to be found.
            if (front.groundSpeed == 0.0) m.fedTurnStep = fedTurnPace(ac);
        } else {
            m.fedTurnStep = 0.0;
        }
    } else {
        m.fedTurnStep = 0.0;
        int64_t n = next.dueTick - front.dueTick;
        if (n < 25) n = 25;
        const int64_t target = std::max<int64_t>(front.dueTick - now + n, 25);
        lf_retimeNext(ac, now + target);
    }
}

double lf_wayShareWhileTheNoseTurns(LiveAircraft& ac) {
    // Within 20 degrees of its way it goes at its pace (a corner's tangent outruns the nose
    // midway and the nose gains on it at the corner's ends); 40 degrees off it all but stands
    // and turns, so that it never crabs sideways along its way.
    constexpr double kFreeDeg = 20.0;
    constexpr double kCrawlDeg = 40.0;
    constexpr double kCrawlShare = 0.1;
    MoveState& m = ac.move;
    if (ac.samples.empty() || std::isnan(m.targetHeading)) return 1.0;
    if (!m.curve.active() && !(m.turning && ac.phase == MovePhase::Taxi)) return 1.0;
    const double lag = std::abs(gf_wrapDifference(m.targetHeading - ac.position.heading)) * kRadToDeg;
    if (lag <= kFreeDeg) return 1.0;
    const double share =
        std::max(kCrawlShare, 1.0 - (lag - kFreeDeg) / (kCrawlDeg - kFreeDeg) * (1.0 - kCrawlShare));
    m.heldBackTicks += 1.0 - share;
    if (m.heldBackTicks >= 1.0) {
        ++ac.samples.front().dueTick;
        m.heldBackTicks -= 1.0;
    }
    return share;
}

void lf_curveTick(LiveAircraft& ac) {
    MoveState& m = ac.move;
    const double share = lf_wayShareWhileTheNoseTurns(ac);
    const double step = m.curve.parameterStep;
    m.curve.parameterStep *= share;
    m.curve.parameter = std::clamp(gf_curveParameterAfterTick(m.curve, m.curve.parameter), 0.0, 0.999999);
    m.curve.parameterStep = step;
    const auto point = gf_bezierPoint(m.curve, m.curve.parameter);
    if (!point) {
        gf_log(fmt::format("{} error in curve at index: {:.2F}", ac.head.callsign, m.curve.parameter));
        return;
    }
    ac.position.latitude = point->latitude;
    ac.position.longitude = point->longitude;
    m.targetHeading = ac.phase == MovePhase::PushingBack ? gf_wrapHeading(point->heading + kPi) : point->heading;
    lf_turnTowardsTarget(ac);
}

void lf_setupCurve(LiveAircraft& ac) {
    PositionSample& front = ac.samples[0];
    PositionSample& next = ac.samples[1];
    PositionSample& after = ac.samples[2];
    if (after.groundSpeed == 0.0) after.groundSpeed = (front.groundSpeed + next.groundSpeed) / 2;
    gf_setCurve(ac.move.curve, ac.position.latitude, ac.position.longitude, next.latitude, next.longitude,
                after.latitude, after.longitude);
    ac.samples.erase(1);
}

void lf_insertMidpoint(LiveAircraft& ac) {
    const PositionSample& front = ac.samples[0];
    const PositionSample& next = ac.samples[1];
    PositionSample mid = front;
    mid.latitude = (front.latitude + next.latitude) / 2;
    mid.longitude = (front.longitude + next.longitude) / 2;
    mid.groundSpeed = (front.groundSpeed + next.groundSpeed) / 2;
    mid.altitude = (front.altitude + next.altitude) / 2;
    mid.airborne = mid.altitude > 0 ? 1 : 0;
    mid.dueTick = static_cast<int64_t>(std::llround((static_cast<double>(front.dueTick) +
                                                     static_cast<double>(next.dueTick)) / 2));
    mid.generated = 0;
    lf_insertSample(ac.samples, 1, mid);
}

void lf_midpointOnSpeedChange(LiveAircraft& ac) {
    const PositionSample& front = ac.samples[0];
    const PositionSample& next = ac.samples[1];
    if ((front.groundSpeed > 0 || next.groundSpeed > 0) && std::abs(front.groundSpeed - next.groundSpeed) > 5.0 &&
        metresBetween(front, next) >= 100.0)
        lf_insertMidpoint(ac);
}

void lf_pushbackStart(LiveAircraft& ac) {
    MoveState& m = ac.move;
    ac.manoeuvreMark = 0;
    const double reverse = gf_wrapHeading(ac.standHeading + kPi);
    const StandRecord* stand = gf_findStand(static_cast<int32_t>(ac.standId));
    if (!stand) return;
    const int64_t now = gf_tickCount();
    const double speed = ac.groundSpeed;
    const GeoPosition here = positionOf(ac.position);
    const GeoPosition a = gf_destinationPoint(here, reverse, 2.5 * stand->radius * kFeetPerNm);

    PositionSample& front = ac.samples[0];
    front.groundSpeed = speed;
    PositionSample end = front;
    end.latitude = a.latitude;
    end.longitude = a.longitude;
    end.groundSpeed = speed;
    end.generated = 0;
    end.airborne = 0;
    end.altitude = 0.0;
    const int64_t ticksToA = gf_ticksFor(gf_distanceNm(here, a), speed);
    end.dueTick = now + ticksToA;
    m.targetHeading = ac.position.heading;
    while (ac.samples.size() > 1) ac.samples.pop_back();
    ac.samples.push_back(end);
    lf_insertMidpoint(ac);

    const PositionSample& mid = ac.samples[1];
    const int64_t sideDue = now + ticksToA / 2 + gf_ticksFor(gf_distanceNm(positionOf(mid), a), speed);
    PositionSample b = end;
    const GeoPosition bp = gf_destinationPoint(a, reverse + kPi / 2, ac.size * kFeetPerNm);
    b.latitude = bp.latitude;
    b.longitude = bp.longitude;
    b.dueTick = sideDue;
    PositionSample s = end;
    const GeoPosition sp = gf_destinationPoint(a, reverse - kPi / 2, ac.size * kFeetPerNm);
    s.latitude = sp.latitude;
    s.longitude = sp.longitude;
    s.dueTick = sideDue;
    m.sideSample = b;
    ac.samples.push_back(s);

    groundLights(ac);
    lf_setPhase(ac, MovePhase::PushingBack);
    m.reportsWhilePushing.clear();
    m.pushbackCountdown = 2;
    // Until the pushback reaches its midpoint the feed may still tell the side of the turn.
    m.pushbackTurning = STRAIGHT_PBS_ONLY.current.load() ? 0 : 1;
}

void lf_pullOutStart(LiveAircraft& ac) {
    MoveState& m = ac.move;
    m.pushbackPending = 0;
    ac.manoeuvreMark = 0;
    const double speed = ac.groundSpeed;
    const GeoPosition f =
        gf_destinationPoint({ac.standLatitude, ac.standLongitude}, ac.standHeading, 2 * ac.size * kFeetPerNm);
    PositionSample& front = ac.samples[0];
    front.groundSpeed = speed;
    PositionSample ahead = front;
    ahead.latitude = f.latitude;
    ahead.longitude = f.longitude;
    ahead.groundSpeed = speed;
    ahead.generated = 0;
    ahead.dueTick = gf_tickCount() + gf_ticksFor(gf_distanceNm(positionOf(ac.position), f), speed);
    while (ac.samples.size() > 1) ac.samples.pop_back();
    ac.samples.push_back(ahead);
    lf_setPhase(ac, MovePhase::Taxi);
    m.targetHeading = ac.position.heading;
    groundLights(ac);
    gf_queueEngineStart(ac.objectId);
    gf_setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    gf_log(fmt::format("{:8}: {:8} pulling out", gf_standNameOfSid(static_cast<int32_t>(ac.standId)),
                       ac.head.callsign));
}

void drive2Stand(LiveAircraft& ac, double latitude, double longitude, double heading) {
    MoveState& m = ac.move;
    if (ac.samples.empty()) {
        gf_logHighlighted(fmt::format("{} empty sz?", "drive2Stand"));
        return;
    }
    // An aircraft that has come to a stop still drives the last metres at a walking pace.
    const double speed = std::max(ac.groundSpeed, 1.0);
    PositionSample& last = ac.samples.back();
    // An aircraft that stands (a copy is all it has left) drives on from where it stands: tried
    // again after a drive that ended short of the stand, it would stay there.
    if (ac.samples.size() == 1 && last.generated) {
        last.latitude = ac.position.latitude;
        last.longitude = ac.position.longitude;
        last.dueTick = std::min(last.dueTick, gf_tickCount());
    }
    const int64_t n = std::max<int64_t>(gf_ticksFor(gf_distanceNm(positionOf(last), {latitude, longitude}), speed), 100);
    last.groundSpeed = speed;
    PositionSample atStand;
    atStand.latitude = latitude;
    atStand.longitude = longitude;
    atStand.altitude = ac.position.altitude;
    atStand.groundSpeed = speed;
    atStand.trueAirspeed = speed;
    atStand.track = heading * kRadToDeg;
    atStand.verticalSpeed = 0.0;
    atStand.airborne = 0;
    atStand.generated = samePosition(last, atStand) ? 1 : 0;
    atStand.headingKnown = ac.samples.front().headingKnown;
    atStand.bank = ac.position.bank;
    atStand.trueHeading.reset();
    const int64_t frontDue = ac.samples.front().dueTick;
    atStand.dueTick = frontDue + n;
    PositionSample stop = atStand;
    stop.groundSpeed = 0.0;
    stop.trueAirspeed = 0.0;
    stop.generated = 1;
    stop.dueTick = frontDue + 50 + n;
    ac.samples.push_back(atStand);
    ac.samples.push_back(stop);
    m.targetHeading = heading;
    if (ac.manoeuvreMark >= 1) {
        ac.manoeuvreMark = 0;
        m.lateWindow = m.takeOff.armed() ? 5000 : 3000;
        m.earlyWindow = 3000;
    }
}

bool lf_atOwnStand(const LiveAircraft& ac) {
    if (ac.standId == 0) return false;
    return gf_distanceNm(positionOf(ac.position), {ac.standLatitude, ac.standLongitude}) <= kArrivalNm;
}

void lf_arrivalAtStand(LiveAircraft& ac) {
    const int32_t sid = static_cast<int32_t>(ac.standId);
    const StandRecord* stand = gf_findStand(sid);
    if (sid > 0 && stand && stand->liveOccupied) {
        // Another live aircraft holds the stand. This one never claimed it, so its removal leaves
        // the occupant's mark alone.
        ac.manoeuvreMark = 1;
        removeAircraftFromSim(ac);
        return;
    }
    if (!lf_atOwnStand(ac)) {
        // Parking is tried again where the aircraft comes to its stop.
        ac.move.lastParkLatitude = std::numeric_limits<double>::quiet_NaN();
        ac.move.lastParkLongitude = std::numeric_limits<double>::quiet_NaN();
        lf_setPhase(ac, MovePhase::Taxi);
        return;
    }
    lf_setPhase(ac, MovePhase::Parked);
    {
        const auto [day, halfHour] = gf_weekdayAndHalfHour();
        ac.timeSlot = WeekSlot{static_cast<uint32_t>(std::max(day, 0)), static_cast<uint32_t>(halfHour)};
    }
    lf_claimStand(ac);
    if (ac.move.towed) gf_log(fmt::format("          towed aircraft {} parks", gf_acDescription(ac)));
    ac.samples.front().generated = 1;
    ac.move.parkedSince = std::chrono::steady_clock::now();
    ac.move.standReferenceDistance = 0.0;
    ac.move.standLastDistance = 0.0;
    ac.move.standCount = 0;
    ac.move.standSeen = 0;
    lf_cargoMarking(ac);
    lf_initParkedControls(ac);
    gf_log(fmt::format("{:8}: {:8} arrived at stand", gf_standNameOfSid(sid), ac.head.callsign));
    lf_queueCallsignMatch(ac.key);
    lf_addRealStandOption(sid, ac, 0);
    gf_limitParkedAircraft(0);
}

void lf_cargoMarking(LiveAircraft& ac) {
    if (!ac.head.liveryKey.cargo || ac.cargoStand) return;
    StandRecord* stand = gf_findStand(static_cast<int32_t>(ac.standId));
    if (stand && stand->cargo) {
        stand->cargo = 0;
        stand->cargoChange = 1;
        gf_countLearnedUpdate();
    }
}

} // namespace tamrix
