#include "traffic/air_movement.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "links/park_airport.hpp"
#include "links/qnh_reader.hpp"
#include "links/sim_queues.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/stand_table.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/takeoff_landing.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

namespace {

constexpr double kDeg = 0.017453292519943295;

struct CategoryLimits {
    double maxBankDeg;
    double maxBankStepDeg;
    double maxPitchStepDeg;
    double liftOffSpeed;
};

constexpr CategoryLimits kLimits[6] = {
    {40.0, 0.035, 0.01, 90.0},    // Light
    {35.0, 0.0275, 0.0085, 110.0}, // Buzjets
    {30.0, 0.02, 0.0075, 140.0},  // Large
    {20.0, 0.015, 0.005, 150.0},  // Heavy
    {90.0, 0.1, 0.03, 220.0},     // HighPerf
    {75.0, 0.06, 0.03, 0.0},      // Rotorcraft
};

const CategoryLimits& limitsOf(AircraftCategory category) {
    const auto index = static_cast<uint32_t>(category);
    if (index >= 6) throw std::out_of_range("invalid unordered_map<K, T> key");
    return kLimits[index];
}

// Pitch that goes with a vertical speed (ft/min): nose up when climbing, down when descending.
double pitchForVerticalSpeed(double v) {
    if (v > 0) v = std::min(v, 2400.0);
    else v = std::max(v, -3000.0) / 2;
    return -3.0 * kDeg - (v / 600.0) * 2.2 * kDeg;
}

bool isOnGroundPhase(MovePhase p) {
    return p == MovePhase::Taxi || p == MovePhase::PushingBack || p == MovePhase::PushedBack;
}

// Descent rate (ft/min) of an armed landing.
double landingDescentRate(const LiveAircraft& ac) {
    if (ac.heightAboveGround > 100.0) {
        const double mean = (ac.samples[0].verticalSpeed + ac.samples[1].verticalSpeed) / 2;
        return std::min(mean - (gCurrentQnh.load() - 1013.25) * 6, -601.0);
    }
    return -600.0;
}

// A sample the feed already counts as on the ground by its height and speed while it still
// reports a descent of at least this (ft/min): a light aircraft's last seconds of its final
// approach, slow and low, are such reports.
constexpr double kStillDescending = -250.0;

// Below this ground speed (kt) a rotorcraft may hover: its reported positions then wobble by
// metres, and the way from one to the next says nothing of where its nose points.
constexpr double kHoverSpeed = 10.0;
// Reports, the reached one first, whose way tells a hover from slow flight.
constexpr std::size_t kHoverReports = 6;
// Above the hover speed the limit of a rotorcraft's nose turn fades out: it grows with the
// square of the speed beyond, over this many knots, so that a report a knot faster or slower
// turns the nose a little faster or slower, never at once as fast as its way bends.
constexpr double kNoseLimitFadeKt = 10.0;

// The fastest a rotorcraft's nose turns (radians per tick) at a ground speed (kt): one angle
// step up to the hover speed, more and more above it.
double noseTurnLimit(const LiveAircraft& ac, double speed) {
    const double beyond = 1.0 + std::max(speed - kHoverSpeed, 0.0) / kNoseLimitFadeKt;
    return ac.angleStep * beyond * beyond;
}

// Reports after the reached one whose heights tell whether a rotorcraft is off the ground: the
// feed's heights scatter by tens of feet, and the reader puts a report low over the field on
// the ground, so one report high or low tells nothing.
constexpr std::size_t kHeightReports = 4;
// Of those, the reports above the ground that lift a rotorcraft standing there: a single one is
// a stray height.
constexpr int kLiftOffReports = 2;
// Height (ft) by which a rotorcraft lifting off clears the ground at once: the simulator has an
// aircraft less than half a foot up standing.
constexpr double kLiftOffClearFt = 1.0;

// The heights of a rotorcraft's next reports above its ground (ft): how many are above it, and
// their mean, a report on the ground or below it counting 0.
struct NextHeights {
    int above = 0;
    double meanFt = 0.0;
};

NextHeights nextHeights(const LiveAircraft& ac, double groundLevel) {
    NextHeights heights;
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t i = 1; i < ac.samples.size() && count < kHeightReports; ++i, ++count) {
        const PositionSample& s = ac.samples[i];
        const double above = s.airborne ? s.altitude - groundLevel : 0.0;
        if (above > 0.0) {
            ++heights.above;
            sum += above;
        }
    }
    if (count > 0) heights.meanFt = sum / static_cast<double>(count);
    return heights;
}

// A rotorcraft leaves the ground when its reports leave it, and stays up while some of them are
// still above the ground: it needs no roll and no speed. Two of its next four reports above the
// ground lift one standing there straight into the air; one flying low takes a report the
// reader put on the ground among reports above it (an air taxi a few tens of feet up) at the
// mean height of the reports around it, instead of setting down on it and lifting again.
void followReportsOffTheGround(LiveAircraft& ac) {
    if (ac.category != AircraftCategory::Rotorcraft || ac.samples.size() < 2 || ac.move.landingStage != 0) return;
    // The height of its reference point standing on the ground under it.
    const double groundLevel = ac.position.altitude - ac.heightAboveGround + ac.staticCgHeight;
    const NextHeights heights = nextHeights(ac, groundLevel);
    if (ac.onGround) {
        if (heights.above < kLiftOffReports || (ac.phase != MovePhase::Taxi && ac.phase != MovePhase::Flying))
            return;
        ac.onGround = 0;
        // Off the pad its stay there has ended: no landing roll and no hold.
        ac.move.landingRoll = 0;
        ac.move.holding = 0;
        ac.position.altitude = std::max(ac.position.altitude, groundLevel + kLiftOffClearFt);
        lf_setPhase(ac, MovePhase::Flying);
    }
    PositionSample& next = ac.samples[1];
    if (!next.airborne && heights.above > 0) {
        next.airborne = 1;
        next.altitude = groundLevel + heights.meanFt;
    }
}

// A slow rotorcraft hovers when its reported positions wobble round one spot: the way along its
// next reports doubles back, ending less than half its length from where it began. One that
// goes its way slowly (an air taxi) flies nose first like any other.
bool isHovering(const LiveAircraft& ac) {
    if (ac.category != AircraftCategory::Rotorcraft) return false;
    for (std::size_t i = 0; i < std::min<std::size_t>(ac.samples.size(), 3); ++i)
        if (ac.samples[i].groundSpeed > kHoverSpeed) return false;
    const std::size_t n = std::min(ac.samples.size(), kHoverReports);
    // Two reports tell a wobble from a way no better than one.
    if (n < 3) return true;
    double way = 0.0;
    for (std::size_t i = 1; i < n; ++i)
        way += gf_distanceNm(positionOf(ac.samples[i - 1]), positionOf(ac.samples[i]));
    return 2.0 * gf_distanceNm(positionOf(ac.samples[0]), positionOf(ac.samples[n - 1])) <= way;
}

// The descent the feed still reports towards a sample on the ground, followed at its own rate
// instead of aiming at the field within one leg; never below the park airport's elevation.
void followFedDescent(LiveAircraft& ac, double ticks) {
    double step = ac.samples[1].verticalSpeed / 6000.0;
    const ParkAirport park = gf_parkAirport();
    if (park.code.isSet())
        step = std::max(step, std::min((park.elevationFeet - ac.position.altitude) / ticks, 0.0));
    ac.move.altitudeStep = step;
}

void useDescentRate(LiveAircraft& ac, double rate) {
    ac.move.verticalSpeed = rate;
    ac.samples[1].verticalSpeed = rate;
    ac.move.altitudeStep = rate / 6000.0;
}

// Climb towards the next sample, capped; no descent.
void climbTowardsNext(LiveAircraft& ac) {
    const double nextAltitude = ac.samples[1].altitude;
    if (nextAltitude > ac.position.altitude) {
        ac.move.altitudeStep = std::min((nextAltitude - ac.position.altitude) /
                                            static_cast<double>(lf_ticksToNext(ac)),
                                        ac.climbStepLimit);
    } else {
        ac.move.altitudeStep = 0.0;
    }
}

// An airborne sample at index i - 1 (the i-th, counting the oldest as the first) becomes the
// next one; the samples between are dropped.
bool searchAirborneFurtherOn(LiveAircraft& ac, std::size_t i) {
    if (ac.samples.size() < i || !ac.samples[i - 1].airborne) return false;
    for (std::size_t k = 0; k + 2 < i; ++k) ac.samples.erase(1);
    const int32_t ticks =
        gf_ticksFor(gf_distanceNm(positionOf(ac.samples[0]), positionOf(ac.samples[1])), lf_legSpeed(ac));
    lf_retimeNext(ac, gf_tickCount() + std::max<int64_t>(ticks, 25));
    climbTowardsNext(ac);
    return true;
}

// What the feed says of the descent while it still reports the aircraft flying; the flare comes
// down no faster than that.
double fedVerticalSpeed(const PositionSample& next) {
    return next.airborne || next.verticalSpeed <= kStillDescending ? next.verticalSpeed
                                                                   : std::numeric_limits<double>::quiet_NaN();
}

// A rotorcraft hovering on one spot, coming down onto its pad or rising from it: its height
// follows the reports there, down to the ground once they have it on the ground; its nose stays
// where it points, or turns as reported, and it levels its wings.
void hoverOnTheSpot(LiveAircraft& ac) {
    MoveState& m = ac.move;
    const PositionSample& next = ac.samples[1];
    const double ticks = static_cast<double>(lf_ticksToNext(ac));
    const double ground = ac.position.altitude - ac.heightAboveGround + ac.staticCgHeight;
    const double target = next.airborne ? std::max(next.altitude, ground) : ground;
    m.altitudeStep = std::min((target - ac.position.altitude) / ticks, ac.climbStepLimit);
    m.verticalSpeed = next.verticalSpeed;
    m.fedVerticalSpeed = fedVerticalSpeed(next);
    m.headingStep = next.headingKnown && next.trueHeading
                        ? gf_wrapDifference(*next.trueHeading - ac.position.heading) / ticks
                        : 0.0;
    m.bankStep = -ac.position.bank / ticks;
    const double maxPitchStep = limitsOf(ac.category).maxPitchStepDeg * kDeg;
    m.pitchStep = std::clamp((pitchForVerticalSpeed(next.verticalSpeed) - ac.position.pitch) / ticks,
                             -maxPitchStep, maxPitchStep);
}

// The next sample is re-timed from the leg's distance and speed.
void retimeInTheAir(LiveAircraft& ac) {
    const PositionSample& front = ac.samples[0];
    const PositionSample& next = ac.samples[1];
    if (!next.generated) {
        // A rotorcraft's reported positions wobble by metres round its way, and it flies slowly,
        // hovers, climbs straight up or speeds up from a standstill: timed by that way and its
        // speed, it would fall behind its reports or run ahead of them. It keeps the feed's times.
        if (ac.category == AircraftCategory::Rotorcraft) {
            lf_retimeNext(ac, next.dueTick);
            return;
        }
        double speed;
        if (ac.move.landingArmed && !next.airborne) speed = front.groundSpeed > 0 ? front.groundSpeed : 100.0;
        else speed = lf_legSpeed(ac);
        const int32_t ticks = gf_ticksFor(gf_distanceNm(positionOf(front), positionOf(next)), speed);
        lf_retimeNext(ac, gf_tickCount() + std::max<int64_t>(ticks, 25));
    } else if (ac.category == AircraftCategory::Rotorcraft) {
        lf_groundTiming(ac);
    }
}

void airStep(LiveAircraft& ac) {
    MoveState& m = ac.move;
    if (ac.phase != MovePhase::TakeOff && ac.phase != MovePhase::Flying) lf_setPhase(ac, MovePhase::Flying);
    PositionSample& front = ac.samples[0];
    PositionSample& next = ac.samples[1];
    m.speed = next.trueAirspeed;
    m.verticalSpeed = next.verticalSpeed;
    m.fedVerticalSpeed = fedVerticalSpeed(next);
    const double ticks = static_cast<double>(lf_ticksToNext(ac));

    if (m.landingStage == 0) {
        if (!front.airborne && next.airborne) {
            climbTowardsNext(ac);
        } else if (front.airborne && next.airborne && !m.landingArmed) {
            // The samples are followed up and down, only the climb capped: a least climb rate
            // near the ground would carry a slowly climbing aircraft above its next sample and
            // sink it back on the leg after, a sawtooth where the feed climbs steadily.
            m.altitudeStep = std::min((next.altitude - ac.position.altitude) / ticks, ac.climbStepLimit);
        } else if (front.airborne && next.airborne) {
            if (front.altitude != next.altitude || ac.heightAboveGround > 1000.0 ||
                front.verticalSpeed + next.verticalSpeed > 100.0) {
                m.altitudeStep = (next.altitude - ac.position.altitude) / ticks;
            } else {
                useDescentRate(ac, landingDescentRate(ac));
            }
        } else if (front.airborne) {
            const ParkAirport park = gf_parkAirport();
            const int32_t qnh = gCurrentQnh.load();
            if (next.verticalSpeed <= kStillDescending) {
                followFedDescent(ac, ticks);
            } else if (qnh <= 1013 && park.code.isSet()) {
                m.altitudeStep = (park.elevationFeet - ac.position.altitude) / ticks;
            } else {
                useDescentRate(ac, qnh < 1014 ? -601.0 : landingDescentRate(ac));
            }
            gf_setGear(ac, 1);
        } else {
            double sum = 0.0;
            for (std::size_t i = 0; i < ac.samples.size(); ++i) sum += ac.samples[i].verticalSpeed;
            if (!m.landingArmed && sum > 100.0) {
                bool found = false;
                const std::size_t last = std::min<std::size_t>(ac.samples.size() - 1, 10);
                for (std::size_t i = 3; i <= last && !found; ++i) found = searchAirborneFurtherOn(ac, i);
                if (!found) {
                    ac.samples[1].verticalSpeed = std::max(ac.samples[1].verticalSpeed, 601.0);
                    m.verticalSpeed = ac.samples[1].verticalSpeed;
                    m.altitudeStep = m.verticalSpeed / 6000.0;
                }
            } else if (next.verticalSpeed <= kStillDescending) {
                followFedDescent(ac, ticks);
            } else {
                useDescentRate(ac, landingDescentRate(ac));
            }
            gf_setGear(ac, 1);
        }
    }

    // The search above may have replaced the next sample.
    const PositionSample& nextNow = ac.samples[1];
    const double legTicks = static_cast<double>(lf_ticksToNext(ac));
    const CategoryLimits& limits = limitsOf(ac.category);

    if (ac.phase != MovePhase::TakeOff) {
        const double target = pitchForVerticalSpeed(nextNow.verticalSpeed);
        const double maxStep = limits.maxPitchStepDeg * kDeg;
        m.pitchStep = std::clamp((target - ac.position.pitch) / legTicks, -maxStep, maxStep);
    }

    double change;
    const double heightLimit = m.landingArmed ? 2000.0 : 1000.0;
    if (nextNow.headingKnown && nextNow.bank && nextNow.trueHeading && ac.heightAboveGround < heightLimit) {
        change = gf_wrapDifference(*nextNow.trueHeading - ac.position.heading);
    } else if (isHovering(ac)) {
        // The nose of a hovering rotorcraft stays where it points, or turns as reported.
        change = nextNow.headingKnown && nextNow.trueHeading
                     ? gf_wrapDifference(*nextNow.trueHeading - ac.position.heading)
                     : 0.0;
    } else {
        change = lf_headingChangeAfterNext(ac);
    }
    m.headingStep = change / legTicks;
    // A slow rotorcraft may fly sideways or backwards: its nose comes round to its way, or to a
    // reported heading, no faster than its speed lets it.
    if (ac.category == AircraftCategory::Rotorcraft) {
        const double limit = noseTurnLimit(ac, std::max(ac.samples[0].groundSpeed, nextNow.groundSpeed));
        m.headingStep = std::clamp(m.headingStep, -limit, limit);
    }

    if (nextNow.bank) {
        m.bankStep = (*nextNow.bank - ac.position.bank) / legTicks;
    } else {
        const double maxBank = limits.maxBankDeg * kDeg;
        const double target = -std::clamp(change, -maxBank, maxBank);
        const double maxStep = limits.maxBankStepDeg * kDeg;
        m.bankStep = std::clamp((target - ac.position.bank) / std::round(legTicks), -maxStep, maxStep);
    }

    if (ac.samples[0].altitude < 10000.0) {
        lf_climbApproachConfiguration(ac);
    } else if (!m.lightsAbove10000) {
        m.lightsAbove10000 = 1;
        m.lightsBelow10000 = 0;
        gf_queueLights(ac.objectId, {1, 1, 0, 0, 0, 0, 1});
        gf_setThrottle(ac, ac.category == AircraftCategory::Rotorcraft ? 4 : 3);
        gf_setGear(ac, 0);
        gf_setFlaps(ac, 0);
    }
}

// The phase step: steps towards the next sample; the oldest sample is dropped at the end.
void phaseStep(LiveAircraft& ac) {
    MoveState& m = ac.move;
    m.curve.clear();
    {
        PositionSample& front = ac.samples[0];
        PositionSample& next = ac.samples[1];
        if (!next.generated && samePosition(front, next)) next.generated = 1;
        if (!next.generated) m.targetHeading = gf_initialBearing(positionOf(front), positionOf(next));
    }
    followReportsOffTheGround(ac);
    if (ac.onGround) lf_nextPosGround(ac);
    else retimeInTheAir(ac);
    if (ac.state != LiveState::Active || ac.samples.size() < 2) return;

    const PositionSample& next = ac.samples[1];
    if (next.generated) {
        m.latitudeStep = 0.0;
        m.longitudeStep = 0.0;
        if (!m.takeOff.armed() && !m.landingRoll) lf_narrowWindows(ac);
        if (!ac.onGround && ac.category == AircraftCategory::Rotorcraft && m.landingStage == 0)
            hoverOnTheSpot(ac);
    } else {
        const double ticks = static_cast<double>(lf_ticksToNext(ac));
        m.latitudeStep = (next.latitude - ac.position.latitude) / ticks;
        m.longitudeStep = gf_wrapDegrees(next.longitude - ac.position.longitude) / ticks;
        if (ac.onGround) lf_groundSpeedStep(ac);
        else airStep(ac);
    }
    ac.samples.pop_front();
}

enum class Silence { Keep, Remove, Done };

// The aircraft continues on its own: a sample `count` synthetic steps ahead.
void appendSyntheticSample(LiveAircraft& ac, int32_t count) {
    MoveState& m = ac.move;
    ac.manoeuvreMark = count;
    const PositionSample& front = ac.samples[0];
    PositionSample copy = front;
    const bool parked = ac.phase == MovePhase::Parked;
    const double seconds = ac.onGround ? 3.0 : 8.0;
    if (front.generated || parked) {
        copy.generated = 1;
        copy.groundSpeed = 0.0;
    } else {
        double speed = front.groundSpeed;
        if (!ac.onGround) {
            if (!m.landingArmed) speed = std::max(speed * 0.95, 1.0);
            else if (count >= 4) speed = std::max(speed * 0.9, 1.0);
        } else if (!m.landingRoll) {
            // One whose reports run out on the ground stands where it is, unless it is taking
            // off: a take-off roll lost at the runway's end goes on, lifts off and climbs. A
            // rejected take-off is disarmed by the feed slowing below take-off speed.
            if (!m.takeOff.armed() && ac.phase != MovePhase::TakeOff) {
                copy.generated = 1;
                speed = 0.0;
            } else if (speed <= 30) speed = 40;
            else if (speed <= 60) speed = 80;
            else if (speed <= 100) speed = 110;
            else if (speed <= 140) { speed = 150; copy.verticalSpeed = 600; }
            else if (speed <= 160) { speed = 170; copy.verticalSpeed = 1200; }
            else { speed = 180; copy.verticalSpeed = 2400; }
        } else {
            // A landing roll goes on slowing, never faster than it was last reported; one the
            // feed reports standing stays where the feed stopped it.
            const double reported = speed;
            if (speed >= 140) speed = 100;
            else if (speed >= 100) speed = 80;
            else if (speed >= 80) speed = 60;
            else if (speed >= 60) speed = 30;
            else speed = 20;
            speed = std::min(speed, reported);
            if (speed <= 0.0) {
                copy.generated = 1;
                speed = 0.0;
            }
            copy.verticalSpeed = 0;
        }
        copy.groundSpeed = speed;
        if (speed > 0) {
            const double feet = seconds * 100 * speed * kFeetPerNm / kTicksPerHour;
            const GeoPosition p = gf_destinationPoint(positionOf(front), ac.position.heading, feet);
            copy.latitude = p.latitude;
            copy.longitude = p.longitude;
            copy.generated = samePosition(copy, front) ? 1 : 0;
            if (m.landingArmed && m.landingStage == 0) {
                copy.verticalSpeed = -667;
                copy.altitude -= seconds * 10.005;
            } else if (ac.phase == MovePhase::TakeOff) {
                copy.altitude += 25 * seconds;
                copy.verticalSpeed = 1500;
            }
            if (copy.altitude > 0) copy.airborne = 1;
            else {
                copy.airborne = 0;
                copy.altitude = 0;
            }
        }
    }
    if (parked) {
        copy.dueTick = front.dueTick + 60480000;
        m.departureNoticed = 0;
        // The stand stays claimed while the aircraft stands on it; only an aircraft that is no
        // longer at its stand gives the claim up here.
        if (!lf_atOwnStand(ac)) lf_releaseStand(ac);
    } else {
        copy.dueTick = front.dueTick + static_cast<int64_t>(seconds * 100);
    }
    ac.samples.push_back(copy);
}

// A rotorcraft on the ground outside a stand, landed there or not: it waits on its pad as a
// taxiing aircraft waits.
bool standsOnItsPad(const LiveAircraft& ac) {
    return ac.category == AircraftCategory::Rotorcraft && ac.onGround &&
           (ac.phase == MovePhase::Taxi || ac.phase == MovePhase::Flying);
}

// Fewer than two samples: hold, continue on its own, or give up.
Silence endOfSamples(LiveAircraft& ac) {
    MoveState& m = ac.move;
    const int64_t now = gf_tickCount();
    if (ac.phase == MovePhase::Parking) {
        // Arrived (parked), back to taxi, or removed because the stand is held.
        lf_arrivalAtStand(ac);
        if (ac.state != LiveState::Active) return Silence::Done;
    } else if (ac.phase == MovePhase::PushedBack ||
               (ac.phase == MovePhase::Taxi && !m.takeOff.armed() && !m.landingRoll) || standsOnItsPad(ac)) {
        // Holding on the ground: given up when another taxiing aircraft stands in the way or
        // the hold lasts too long.
        for (const LiveAircraft& other : gLiveAircraft) {
            if (&other == &ac || !other.onGround || other.phase != MovePhase::Taxi ||
                other.state != LiveState::Active || other.objectId == ac.objectId)
                continue;
            if (gf_distanceNm(positionOf(ac.position), positionOf(other.position)) <= 1.2 * (ac.size + other.size)) {
                m.holding = 0;
                m.holdingStartTick = 0;
                return Silence::Remove;
            }
        }
        if (m.holding) {
            if (AIRBORNE_ONLY.current.load() ||
                (now - m.holdingStartTick) / 6000 > MAX_HOLDING_MINUTES.current.load())
                return Silence::Remove;
        } else {
            m.holdingStartTick = now;
        }
        m.holding = 1;
        PositionSample copy = ac.samples[0];
        copy.dueTick += 300;
        copy.groundSpeed = 0.0;
        copy.generated = 1;
        ac.samples.push_back(copy);
        ac.manoeuvreMark = 1;
        return Silence::Keep;
    }

    if (ac.manoeuvreMark < 0) return Silence::Remove;
    if (ac.manoeuvreMark == 1) {
        ac.manoeuvreMark = -1;
        return Silence::Remove;
    }
    if (ac.manoeuvreMark >= 2) {
        appendSyntheticSample(ac, ac.manoeuvreMark - 1);
        return Silence::Keep;
    }
    if (!lf_categoryAllowed(ac.category)) return Silence::Remove;
    int32_t count;
    if (!ac.onGround) {
        const UserAcState user = gf_userCopy().state;
        if (!gf_isZeroPosition(user.latitude, user.longitude) &&
            gf_distanceNm({user.latitude, user.longitude}, positionOf(ac.position)) >= gRangeNm.load() - 0.5)
            return Silence::Remove;
        if (AIRBORNE_ONLY.current.load()) {
            const ParkAirport park = gf_parkAirport();
            const double elevation = park.code.isSet() ? park.elevationFeet : 0.0;
            if (std::abs(ac.position.altitude - elevation) < 1000.0) return Silence::Remove;
        }
        count = 8;
    } else {
        count = ac.phase == MovePhase::Parked ? 1 : 10;
    }
    appendSyntheticSample(ac, count);
    return Silence::Keep;
}

} // namespace

double gf_liftOffSpeed(AircraftCategory c) { return limitsOf(c).liftOffSpeed; }

int64_t lf_ticksToNext(const LiveAircraft& ac) {
    if (ac.samples.size() < 2) return 25;
    const int64_t d = ac.samples[1].dueTick - gf_tickCount();
    return d < 25 ? 25 : d;
}

void lf_retimeNext(LiveAircraft& ac, int64_t target) {
    PositionSample& next = ac.samples[1];
    const int64_t now = gf_tickCount();
    if (ac.manoeuvreMark < 1) {
        const int64_t upper = next.dueTick + ac.move.lateWindow;
        const int64_t lower = next.dueTick - ac.move.earlyWindow;
        if (target > upper) target = upper;
        else target = std::max(target, lower);
    }
    next.dueTick = std::max(target, now);
}

double lf_legSpeed(const LiveAircraft& ac) {
    const PositionSample& front = ac.samples[0];
    const PositionSample& next = ac.samples[1];
    if (front.groundSpeed == 0.0 && next.groundSpeed == 0.0) {
        const int64_t ticks = std::max<int64_t>(next.dueTick - front.dueTick, 25);
        const double d = gf_distanceNm(positionOf(front), positionOf(next));
        return std::max(d * kTicksPerHour / static_cast<double>(ticks), 1.0);
    }
    return (front.groundSpeed + next.groundSpeed) / 2;
}

double lf_headingChangeAfterNext(const LiveAircraft& ac) {
    // Two samples at one spot (a hover, a standstill) give no way to turn to.
    if (ac.samples.size() < 3 || samePosition(ac.samples[1], ac.samples[2])) return 0.0;
    const double bearing = gf_initialBearing(positionOf(ac.samples[1]), positionOf(ac.samples[2]));
    return gf_wrapDifference(bearing - ac.position.heading);
}

void lf_narrowWindows(LiveAircraft& ac) {
    MoveState& m = ac.move;
    if (m.earlyWindow > 1000) m.earlyWindow = std::max(m.earlyWindow - 100, 1000);
    if (m.lateWindow > 1000) m.lateWindow = std::max(m.lateWindow - 100, 1000);
}

void lf_setPhase(LiveAircraft& ac, MovePhase phase) {
    if (ac.phase == phase) return;
    ac.previousPhase = ac.phase;
    ac.phase = phase;
}

void lf_turnTowardsTarget(LiveAircraft& ac) {
    const double target = ac.move.targetHeading;
    if (std::isnan(target)) return;
    const double difference = gf_wrapDifference(target - ac.position.heading);
    if (std::abs(difference) * kRadToDeg <= 0.5) return;
    // Never faster than the aircraft's category turns: where the nose lags, the aircraft slows
    // along its way until the nose is on it.
    double step = std::min(ac.currentAngleStep, ac.angleStep);
    // Moving off from a standstill it turns no faster than the feed turned it, until on its way.
    if (ac.move.fedTurnStep > 0.0) step = std::min(step, ac.move.fedTurnStep);
    // The last step lands on the target instead of swinging past it.
    if (std::abs(difference) <= step) {
        ac.position.heading = gf_wrapHeading(target);
        ac.move.fedTurnStep = 0.0;
    } else
        ac.position.heading = gf_wrapHeading(ac.position.heading + (difference > 0 ? step : -step));
}

void lf_queueCallsignMatch(uint32_t key) {
    // Keys waiting for the per-second stand-option match; more are not remembered.
    constexpr std::size_t kMaxCallsignMatchKeys = 1024;
    if (gCallsignMatchKeys.size() < kMaxCallsignMatchKeys) gCallsignMatchKeys.push_back(key);
}

bool lf_categoryAllowed(AircraftCategory category) {
    switch (category) {
    case AircraftCategory::Light: return LIGHT_AIRCRAFT.current.load();
    case AircraftCategory::HighPerf: return HIGH_PERF_AIRCRAFT.current.load();
    case AircraftCategory::Rotorcraft: return HELICOPTERS.current.load();
    case AircraftCategory::Buzjets:
    case AircraftCategory::Large:
    case AircraftCategory::Heavy: return true;
    }
    return false;
}

void nextPosMain(LiveAircraft& ac) {
    try {
        // Each round either leaves at least two samples or removes the aircraft; the bound keeps
        // an aircraft whose synthetic samples are erased at once from looping.
        for (int round = 0;; ++round) {
            while (ac.samples.size() >= 2 && !ac.onGround && ac.samples[1].generated &&
                   ac.category != AircraftCategory::Rotorcraft)
                ac.samples.erase(1);
            if (ac.samples.size() >= 2) break;
            Silence answer = round < 16 ? endOfSamples(ac) : Silence::Remove;
            if (answer == Silence::Remove) {
                removeAircraftFromSim(ac);
                return;
            }
            if (answer == Silence::Done) return;
        }
        phaseStep(ac);
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), gf_acDescription(ac),
                                      ac.samples.size(), gf_moveName(ac.phase), gf_stateName(ac.state)));
        throw;
    }
}

void lf_integrateTick(LiveAircraft& ac) {
    MoveState& m = ac.move;
    AcPosition& p = ac.position;
    if (m.curve.active()) {
        lf_curveTick(ac);
    } else {
        if (isOnGroundPhase(ac.phase)) {
            if (m.turning) lf_turnTowardsTarget(ac);
        } else if (ac.phase == MovePhase::Parking) {
            lf_turnTowardsTarget(ac);
        } else {
            p.heading = gf_wrapHeading(p.heading + m.headingStep);
        }
        if (ac.phase != MovePhase::PushedBack) {
            const double share = ac.onGround ? lf_wayShareWhileTheNoseTurns(ac) : 1.0;
            p.latitude += m.latitudeStep * share;
            p.longitude += m.longitudeStep * share;
        }
    }

    if (ac.phase == MovePhase::TakeOff) {
        lf_takeOffTick(ac);
    } else if (!lf_landingTick(ac) && m.landingStage == 0) {
        if (ac.onGround) {
            p.pitch = ac.staticPitch;
            p.bank = 0.0;
        } else {
            p.bank += m.bankStep;
            p.pitch += m.pitchStep;
            p.altitude += m.altitudeStep;
        }
    }

    if (p.latitude > 90.0) {
        p.latitude = 180.0 - p.latitude;
        p.longitude += 180.0;
    } else if (p.latitude < -90.0) {
        p.latitude = -180.0 - p.latitude;
        p.longitude += 180.0;
    }
    if (p.longitude >= 180.0 || p.longitude < -180.0) {
        p.longitude = std::fmod(p.longitude + 180.0, 360.0);
        if (p.longitude < 0) p.longitude += 360.0;
        p.longitude -= 180.0;
    }
}

void lf_positionAtSpawn(LiveAircraft& ac) {
    lf_queueCallsignMatch(ac.key);
    const PositionSample& f = ac.samples.front();
    AcPosition& p = ac.position;
    p.latitude = f.latitude;
    p.longitude = f.longitude;
    p.altitude = f.altitude;
    if (!f.airborne) {
        // A report on the ground carries altitude 0: the aircraft is created standing on the
        // park airport (the only place ground targets are taken), not at sea level.
        const ParkAirport park = gf_parkAirport();
        if (park.code.isSet()) p.altitude = park.elevationFeet + ac.staticCgHeight;
    }
    p.trueAirspeed = f.trueAirspeed;
    p.bank = f.bank.value_or(0.0);
    p.pitch = f.airborne ? pitchForVerticalSpeed(f.verticalSpeed) : 0.6 * kDeg;
    double heading;
    if (ac.move.restoreHeading) {
        heading = ac.move.headingToRestore;
        ac.move.restoreHeading = 0;
    } else if (ac.phase == MovePhase::Parked) {
        heading = ac.standHeading;
    } else if (f.headingKnown && f.trueHeading && isHovering(ac)) {
        heading = *f.trueHeading;
    } else if (ac.samples.size() >= 2 && !ac.samples[1].generated && !samePosition(f, ac.samples[1]) &&
               !isHovering(ac)) {
        heading = gf_initialBearing(positionOf(f), positionOf(ac.samples[1]));
    } else {
        // With one sample (or a standing next one) the reported track is all there is.
        heading = f.track * kDeg;
    }
    p.heading = gf_wrapHeading(heading);
}

bool lf_isOnUserTrack(const LiveAircraft& ac, int32_t mode) {
    const double distanceLimit = mode == 0 ? 4.0 : 6.0;
    const double altitudeLimit = mode == 0 ? 1000.0 : 3000.0;
    const double lateralLimit = mode == 0 ? 700.0 : 4000.0;
    const UserAcState user = gf_userCopy().state;
    const GeoPosition userPos{user.latitude, user.longitude};
    const double d = gf_distanceNm(userPos, positionOf(ac.position));
    if (d > distanceLimit || std::abs(ac.position.altitude - user.altitude) >= altitudeLimit) return false;
    const double x = gf_wrapDifference(ac.position.heading - gf_initialBearing(userPos, positionOf(ac.position)));
    if (std::cos(x) * d * kFeetPerNm <= 0) return false;
    return std::abs(std::sin(x)) * d * kFeetPerNm <= lateralLimit;
}

bool lf_removeOnUserTrack(LiveAircraft& ac, int32_t mode) {
    if (!lf_isOnUserTrack(ac, mode)) return false;
    removeAircraftFromSim(ac);
    return true;
}

} // namespace tamrix
