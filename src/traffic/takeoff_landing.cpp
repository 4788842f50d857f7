#include "traffic/takeoff_landing.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <fmt/format.h>

#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "links/park_airport.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "traffic/air_movement.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

namespace {

constexpr double kDeg = 0.017453292519943295;

bool isRotorcraft(const LiveAircraft& ac) { return ac.category == AircraftCategory::Rotorcraft; }

// Spoilers and both throttle levers at rest (reversers off), written straight to the object;
// Light aircraft have none.
void clearReversers(LiveAircraft& ac) {
    if (ac.category == AircraftCategory::Light || ac.objectId == 0) return;
    ThrottleSpoilerBlock block{};
    std::lock_guard guard(gSimConnectLock);
    if (const HANDLE handle = gSimConnect.load())
        SimConnect_SetDataOnSimObject(handle, kDefThrottleSpoilers, ac.objectId, 0, 0, sizeof(block), &block);
}

// Altitude step (ft per tick) of a flare stage: the stage's own step, but no steeper than the
// descent the feed still reports, and at least the last stage's: an aircraft floating down at
// 200 ft/min touches down where the feed does, not hundreds of metres early.
double flareAltitudeStep(const LiveAircraft& ac) {
    static constexpr double kStageSteps[5] = {0.0, -0.1, -0.075, -0.05, -0.025};
    const double own = kStageSteps[std::min<uint32_t>(ac.move.landingStage, 4)];
    const double fed = ac.move.fedVerticalSpeed;
    if (std::isnan(fed)) return own;
    return std::max(own, std::min(fed / 6000.0, kStageSteps[4]));
}

} // namespace

void lf_climbApproachConfiguration(LiveAircraft& ac) {
    MoveState& m = ac.move;
    if (!m.lightsBelow10000) {
        m.lightsBelow10000 = 1;
        m.lightsAbove10000 = 0;
        gf_queueLights(ac.objectId, {1, 1, 1, 1, 1, 1, 1});
    }
    const bool big = ac.category == AircraftCategory::Buzjets || ac.category == AircraftCategory::Large ||
                     ac.category == AircraftCategory::Heavy;
    const double threshold = big ? 2050.0 : 625.0;
    const double agl = ac.heightAboveGround;
    if (agl <= threshold) {
        lf_lowLevelConfiguration(ac);
        return;
    }
    lf_narrowWindows(ac);
    gf_queueCabinLights(ac.objectId, 1);
    m.takeOff.clear();
    m.landingArmed = 0;
    const double v = ac.samples[0].verticalSpeed;
    if (v <= -250.0 && ac.throttleIndex == 3) gf_setThrottle(ac, isRotorcraft(ac) ? 4 : 2);
    else if (v > 400.0 && ac.throttleIndex == 4) gf_setThrottle(ac, isRotorcraft(ac) ? 4 : 3);
    if (agl >= 2400.0) {
        gf_setGear(ac, 0);
        gf_setFlaps(ac, 0);
    } else if (v <= 100.0) {
        if (agl < 2000.0) {
            if (ac.flapsIndex == 0) gf_setFlaps(ac, 1);
            else if (ac.flapsIndex == 1) gf_setFlaps(ac, 2);
        } else if (ac.flapsIndex == 0) {
            gf_setFlaps(ac, 1);
        }
    }
}

void lf_lowLevelConfiguration(LiveAircraft& ac) {
    MoveState& m = ac.move;
    gf_queueCabinLights(ac.objectId, 0);
    const ParkAirport park = gf_parkAirport();
    const bool near = park.code.isSet() &&
                      gf_distanceNm(park.position, {ac.position.latitude, ac.position.longitude}) <= 10.0;
    const double v = ac.samples[0].verticalSpeed;
    if (v > -250.0) {
        if (v <= 600.0 && (!m.landingArmed || near)) return;
        if (!m.climbConfigured) {
            lf_narrowWindows(ac);
            gf_setThrottle(ac, 4);
            gf_setGear(ac, 0);
            gf_setFlaps(ac, 0);
            m.climbConfigured = 1;
            m.landingStage = 0;
            m.landingArmed = 0;
        }
        return;
    }
    if (!m.landingArmed && near) {
        gf_setThrottle(ac, isRotorcraft(ac) ? 4 : 1);
        gf_setFlaps(ac, 3);
        gf_setGear(ac, 1);
        lf_queueCallsignMatch(ac.key);
        m.landingArmed = 1;
        m.climbConfigured = 0;
        ac.standLatitude = 0.0;
        ac.standLongitude = 0.0;
        ac.standId = 0;
        ac.cargoStand = 0;
        ac.stepCounter = 1;
        m.lateWindow = m.takeOff.armed() ? 5000 : 3000;
        m.earlyWindow = 3000;
    }
}

void lf_armTakeOff(LiveAircraft& ac) {
    MoveState& m = ac.move;
    if (m.towed) gf_logHighlighted(fmt::format("towed aircraft takes-off? {}", gf_acDescription(ac)));
    m.takeOff.begin();
    gf_setThrottle(ac, 0);
    gf_setSpoilers(ac, 0);
    gf_setFlaps(ac, 1);
    m.landingArmed = 0;
    m.touchedDown = 0;
    m.climbConfigured = 0;
    gf_queueLights(ac.objectId, {1, 1, 1, 1, 1, 1, 0});
    m.lateWindow = 5000;
    m.earlyWindow = 3000;
}

void lf_takeOffStart(LiveAircraft& ac) {
    MoveState& m = ac.move;
    const int32_t n = std::max<int32_t>(static_cast<int32_t>(ac.rotationTicks), 1);
    ac.stepCounter = n;
    ac.position.bank = 0.0;
    m.bankStep = 0.0;
    m.pitchStep = (ac.rotationPitch - ac.position.pitch) / n;
    if (!m.takeOff.armed()) lf_armTakeOff(ac);
    m.takeOff.begin();
    lf_setPhase(ac, MovePhase::TakeOff);
    m.headingStep = 0.0;
    m.curve.clear();
    if (m.landingRoll) {
        // A touch-and-go: full power straight from the landing roll.
        m.landingRoll = 0;
        m.landingArmed = 0;
        m.touchedDown = 0;
        gf_setThrottle(ac, 4);
        gf_setSpoilers(ac, 1);
        gf_setFlaps(ac, 1);
    }
}

bool lf_allLaterFastEnough(const LiveAircraft& ac) {
    const double liftOff = gf_liftOffSpeed(ac.category);
    for (std::size_t i = 1; i < ac.samples.size(); ++i)
        if (ac.samples[i].groundSpeed < liftOff) return false;
    return true;
}

void lf_groundSpeedStep(LiveAircraft& ac) {
    MoveState& m = ac.move;
    if (ac.phase == MovePhase::Flying || ac.phase == MovePhase::Parked) lf_setPhase(ac, MovePhase::Taxi);
    const PositionSample& front = ac.samples[0];
    const PositionSample& next = ac.samples[1];
    const double g0 = front.groundSpeed;
    const double g1 = next.groundSpeed;
    if (m.takeOff.armed()) {
        uint32_t throttle = 0;
        if (isRotorcraft(ac) || g0 >= 25 || g1 >= 30) throttle = 4;
        else if (g0 >= 20 || g1 >= 25) throttle = 2;
        else if (g0 >= 15 || g1 >= 20) throttle = 1;
        gf_setThrottle(ac, throttle);
    } else if (m.landingRoll) {
        const double turned = gf_wrapDifference(ac.position.heading - m.touchdownHeading) * kRadToDeg;
        if (std::abs(turned) >= 15.0) {
            gf_setFlaps(ac, 0);
            m.landingRoll = 0;
            m.touchdownHeading = 0.0;
            gf_setThrottle(ac, isRotorcraft(ac) ? 4 : 0);
            gf_setSpoilers(ac, 0);
            clearReversers(ac);
            gf_queueLights(ac.objectId, {1, 1, 0, 1, 0, 1, 1});
        } else if (g0 <= 90.0) {
            gf_setSpoilers(ac, 0);
            clearReversers(ac);
            gf_setFlaps(ac, 1);
        }
    } else {
        gf_setThrottle(ac, isRotorcraft(ac) ? 4 : 0);
    }
    if (!m.takeOff.armed() && !m.landingRoll) lf_narrowWindows(ac);
    if (m.landingStage == 0 && ac.phase != MovePhase::TakeOff) {
        ac.position.pitch = ac.staticPitch;
        ac.position.bank = 0.0;
        m.pitchStep = 0.0;
        m.bankStep = 0.0;
    }
    if (m.curve.active()) m.curve.parameterStep = 1.0 / static_cast<double>(lf_ticksToNext(ac));
    m.speed = ac.phase == MovePhase::PushingBack ? -g1 : g1;

    if (!m.takeOff.armed() || ac.phase == MovePhase::TakeOff || g0 < TakeOffRoll::kFastKt) return;
    bool someSlowClimb = false;
    bool allAirborne = true;
    for (std::size_t i = 1; i < ac.samples.size(); ++i) {
        if (ac.samples[i].verticalSpeed <= 256.0) someSlowClimb = true;
        if (!ac.samples[i].airborne) allAirborne = false;
    }
    if (someSlowClimb) {
        if (!lf_allLaterFastEnough(ac) || !allAirborne) return;
        m.altitudeStep = ac.climbStepLimit;
    } else if (!allAirborne) {
        m.altitudeStep = ac.climbStepLimit;
    } else {
        m.altitudeStep = std::max(next.altitude - ac.position.altitude, 0.1) /
                         static_cast<double>(lf_ticksToNext(ac));
    }
    lf_takeOffStart(ac);
}

void lf_takeOffTick(LiveAircraft& ac) {
    MoveState& m = ac.move;
    AcPosition& p = ac.position;
    ac.stepCounter = std::max(ac.stepCounter - 1, -1000);
    const int32_t sc = ac.stepCounter;
    if (sc >= 1) {
        ac.onGround = 0;
        if (p.pitch > ac.rotationPitch) p.pitch += m.pitchStep;
        return;
    }
    p.bank = std::clamp(p.bank + m.bankStep, -kPi, kPi);
    if (p.pitch > ac.climbPitch && ac.climbPitchTicks > 0)
        p.pitch += (ac.climbPitch - ac.rotationPitch) / static_cast<double>(ac.climbPitchTicks);
    if (sc == 0) return;
    if (sc >= -99) p.altitude += m.altitudeStep / 10;
    else if (sc >= -199) p.altitude += m.altitudeStep / 5;
    else if (sc >= -299) p.altitude += m.altitudeStep * 0.5;
    else if (sc == -300) {
        gf_setGear(ac, 0);
        p.altitude += m.altitudeStep;
    } else {
        p.altitude += m.altitudeStep;
        if (p.pitch <= ac.climbPitch) {
            m.pitchStep = 0.0;
            if (ac.heightAboveGround >= 800.0) {
                gf_setThrottle(ac, isRotorcraft(ac) ? 4 : 3);
                lf_setPhase(ac, MovePhase::Flying);
                ac.stepCounter = 1;
            }
        }
    }
}

bool lf_landingTick(LiveAircraft& ac) {
    MoveState& m = ac.move;
    AcPosition& p = ac.position;
    const bool flare = m.landingArmed && !ac.onGround && ac.heightAboveGround <= 400.0;
    if (!flare && m.landingStage == 0 && !m.derotating) return false;

    if (flare) {
        const double cg = ac.staticCgHeight;
        const double agl = ac.heightAboveGround;
        switch (m.landingStage) {
        case 0: {
            if (!m.elevationCacheValid) {
                const ParkAirport park = gf_parkAirport();
                if (park.code.isSet()) {
                    m.elevationCache = park.elevationFeet;
                    m.elevationCacheValid = 1;
                }
            }
            double h = agl;
            if (m.elevationCacheValid) {
                m.heightAboveAirport = p.altitude - m.elevationCache;
                h = std::min(agl, m.heightAboveAirport);
            }
            if (h <= cg + 30.0) {
                m.pitchStep = (-4.0 * kDeg - p.pitch) / std::max<double>(ac.flareTicks, 1.0);
                m.altitudeStep = -0.1;
                ac.samples[0].verticalSpeed = -601;
                m.landingStage = 1;
            }
            break;
        }
        case 1:
            if (agl <= cg + 20.0) {
                m.elevationCacheValid = 0;
                m.altitudeStep = -0.075;
                ac.samples[0].verticalSpeed = -450;
                m.landingStage = 2;
            }
            break;
        case 2:
            if (agl <= cg + 10.0) {
                gf_setThrottle(ac, 0);
                m.altitudeStep = -0.05;
                ac.samples[0].verticalSpeed = -300;
                m.landingStage = 3;
            }
            break;
        case 3:
            if (agl <= cg + 3.0) {
                m.altitudeStep = -0.025;
                ac.samples[0].verticalSpeed = -150;
                m.landingStage = 4;
            }
            break;
        default:
            break;
        }
    }

    if (!m.derotating) {
        if (m.landingStage == 0) {
            if (ac.onGround) {
                p.pitch = ac.staticPitch;
                p.bank = 0.0;
            } else {
                p.bank += m.bankStep;
                p.pitch += m.pitchStep;
                p.altitude += m.altitudeStep;
            }
        } else {
            p.bank = std::clamp(p.bank + m.bankStep, -kPi, kPi);
            // Never more nose-up than 4 degrees in the flare.
            p.pitch = std::max(p.pitch + m.pitchStep, -4.0 * kDeg);
            if (flare) m.altitudeStep = flareAltitudeStep(ac);
            p.altitude += m.altitudeStep;
        }
    } else {
        const double before = p.pitch;
        p.pitch += m.pitchStep;
        const bool passed = (before <= ac.staticPitch && p.pitch >= ac.staticPitch) ||
                            (before >= ac.staticPitch && p.pitch <= ac.staticPitch);
        if (passed) {
            p.pitch = ac.staticPitch;
            m.pitchStep = 0.0;
            m.bankStep = 0.0;
            p.bank = 0.0;
            m.derotating = 0;
            m.landingStage = 0;
        }
        p.bank += m.bankStep;
    }
    return true;
}

} // namespace tamrix
