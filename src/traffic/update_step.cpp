#include "traffic/update_step.hpp"

#include <exception>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "refdata/code_table.hpp"
#include "core/user_error.hpp"
#include "links/park_airport.hpp"
#include "liveries/regcodes.hpp"
#include "refdata/airports.hpp"
#include "refdata/registration_lookups.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"
#include "traffic/spawning.hpp"
#include "traffic/traffic_birth.hpp"

namespace tamrix {

namespace {


// A name for the log line of a failed step, also for a value outside its table.
template <class Value>
std::string_view nameOr(std::string_view (*name)(Value), Value value) {
    try {
        return name(value);
    } catch (const std::out_of_range&) {
        return "?";
    }
}

bool erased(const LiveAircraft& aircraft) { return aircraft.erase != 0 || aircraft.creationWithdrawn != 0; }

void handOver(const LiveAircraft& aircraft) {
    PositionEntry entry;
    static_assert(sizeof(entry.block) == sizeof(aircraft.position));
    entry.block.latitude = aircraft.position.latitude;
    entry.block.longitude = aircraft.position.longitude;
    entry.block.pitch = aircraft.position.pitch;
    entry.block.bank = aircraft.position.bank;
    entry.block.heading = aircraft.position.heading;
    entry.block.altitude = aircraft.position.altitude;
    entry.block.verticalSpeed = aircraft.position.verticalSpeed;
    entry.block.trueAirspeed = aircraft.position.trueAirspeed;
    entry.objectId = aircraft.objectId;
    gPositionFill->push_back(entry);
}

void activeStep(LiveAircraft& aircraft) {
    if (aircraft.samples.empty()) {
        gf_log(fmt::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{:.6f},{:.6f}, TAS:{:.0f}",
                           "updateLiveAc", gf_acDescription(aircraft), aircraft.key, aircraft.objectId,
                           aircraft.position.altitude, aircraft.position.latitude, aircraft.position.longitude,
                           aircraft.position.trueAirspeed));
        removeAircraftFromSim(aircraft);
        return;
    }
    if (gf_tickCount() >= aircraft.samples.front().dueTick) {
        nextPosMain(aircraft);
        aircraft.position.verticalSpeed = aircraft.move.verticalSpeed / 60.0;
        aircraft.position.trueAirspeed =
            (aircraft.samples.empty() || aircraft.samples.front().generated != 0) ? 0.0 : aircraft.move.speed;
    }
    if (aircraft.state != LiveState::Active) return;
    // A rotorcraft in the air moves on a standing sample too: it hovers there, up or down.
    if (!aircraft.samples.empty() &&
        (aircraft.samples.front().generated == 0 ||
         (aircraft.category == AircraftCategory::Rotorcraft && aircraft.onGround == 0)))
        lf_integrateTick(aircraft);
    if (aircraft.objectId != 0) {
        handOver(aircraft);
        return;
    }
    gf_log(fmt::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", aircraft.key,
                       aircraft.head.callsign, aircraft.head.registration, gf_liveryKey2Text(aircraft.head.liveryKey),
                       aircraft.samples.size()));
    removeAircraftFromSim(aircraft);
}

bool isParkAirportOrigin(const LiveAircraft& aircraft) {
    const ParkAirport park = gf_parkAirport();
    if (!park.code.isSet() || !aircraft.head.origin.isSet()) return false;
    const AirportRecord* record = gf_findAirport(park.code);
    return record != nullptr && record->code3 == aircraft.head.origin;
}

} // namespace

bool updateLiveAc(LiveAircraft& aircraft) {
    // An aircraft marked for erasure does nothing more.
    if (erased(aircraft)) return true;
    try {
        switch (aircraft.state) {
        case LiveState::Buffer:
            lf_spawnDecision(aircraft);
            break;
        case LiveState::Active:
            activeStep(aircraft);
            break;
        case LiveState::Adding2Sim:
            // A creation the simulator never announced: the aircraft is given up; should the object
            // still appear, nobody claims it and it is removed.
            if (aircraft.objectId == 0 && aircraft.creationSentTick >= 0 &&
                gf_tickCount() - aircraft.creationSentTick > kCreationAnswerTicks) {
                gf_log(fmt::format("{} no answer to the creation of {}, given up", "updateLiveAc",
                                   gf_acDescription(aircraft)));
                aircraft.erase = 1;
            }
            break;
        default:
            break;
        }
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& error) {
        gf_log(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", error.what(), gf_acDescription(aircraft),
                           aircraft.samples.size(), nameOr(gf_moveName, aircraft.phase),
                           nameOr(gf_stateName, aircraft.state)));
        // Its step would fail again on every tick: the aircraft goes, once.
        removeAircraftFromSim(aircraft);
    }
    return erased(aircraft);
}

bool lf_checkRespawn(LiveAircraft& aircraft, const TrafficLine& line) {
    if (aircraft.move.takeOff.armed() || aircraft.move.landingArmed != 0) return true;
    if (aircraft.state == LiveState::Buffer) {
        lf_takeOverBufferedIdentity(aircraft, line);
        return true;
    }
    if (aircraft.state != LiveState::Active || aircraft.phase == MovePhase::PushingBack || aircraft.manoeuvreMark > 0)
        return true;
    const bool routeUnchanged = lf_takeOverRoute(aircraft, line);
    const bool registrationKept = lf_checkRegistration(aircraft, line);
    const bool changed = !registrationKept || !routeUnchanged;
    const std::string& cs = line.head.callsign;
    if (!(cs.empty() || cs == aircraft.head.callsign || cs == aircraft.head.registration)) {
        const bool ghost = cs.back() == '_';
        if (ghost && gf_hasLiveTwin(cs)) return false;
        if (!ghost) lf_removeGhost(cs);
        aircraft.head.callsign = cs;
        aircraft.head.secondText = cs;
        aircraft.head.thirdText.clear();
    } else if (!changed) {
        return true;
    }
    if (!GUID_CHANGES.current.load()) return true;
    gf_log(fmt::format("          {} respawns", gf_flightText(aircraft)));
    liveryRespawn(aircraft);
    return false;
}

void lf_takeOverBufferedIdentity(LiveAircraft& aircraft, const TrafficLine& line) {
    TrafficHead& head = aircraft.head;
    if (line.head.destination.isSet() && line.head.destination != head.destination)
        head.destination = line.head.destination;
    if (line.head.origin.isSet() && line.head.origin != head.origin) head.origin = line.head.origin;
    if (!line.head.callsign.empty() && line.head.callsign != head.callsign) head.callsign = line.head.callsign;
    if (!line.head.registration.empty() && line.head.registration != head.registration)
        head.registration = line.head.registration;
}

bool lf_takeOverRoute(LiveAircraft& aircraft, const TrafficLine& line) {
    TrafficHead& head = aircraft.head;
    bool unchanged = true;
    if (!head.destination.isSet() && line.head.destination.isSet()) {
        head.destination = line.head.destination;
        unchanged = false;
    }
    if (!head.origin.isSet() && line.head.origin.isSet()) {
        head.origin = line.head.origin;
        unchanged = false;
    }
    const bool allKnown = head.origin.isSet() && head.destination.isSet() && line.head.origin.isSet() &&
                          line.head.destination.isSet();
    if (allKnown && head.origin != line.head.origin && head.destination != line.head.destination) {
        if (!(isParkAirportOrigin(aircraft) && line.head.destination == head.origin)) {
            head.origin = line.head.origin;
            head.destination = line.head.destination;
            unchanged = false;
            if (aircraft.onGround != 0 && aircraft.phase != MovePhase::Parking && aircraft.phase != MovePhase::Parked) {
                aircraft.previousPhase = aircraft.phase;
                aircraft.phase = MovePhase::Taxi;
            }
        }
    }
    return unchanged;
}

bool lf_checkRegistration(LiveAircraft& aircraft, const TrafficLine& line) {
    const std::string& reg = line.head.registration;
    if (reg.empty()) return true;
    bool result = true;
    const auto dbase = reg != aircraft.head.registration ? gf_lookupRegistration(reg) : std::nullopt;
    std::string airline;
    if (dbase && !(*dbase == aircraft.head.liveryKey) && gf_airlineFromCallsign(line.head.callsign, airline) &&
        (gOperatorCodes.text(dbase->operatorIndex) == airline ||
         (dbase->secondOperatorIndex != 0 && gOperatorCodes.text(dbase->secondOperatorIndex) == airline))) {
        aircraft.head.liveryKey = *dbase;
        if (aircraft.phase == MovePhase::Parked)
            lf_addRealStandOption(static_cast<int32_t>(aircraft.standId), aircraft, kStayArrival);
        lf_forgetLivery(aircraft);
        result = false;
    } else {
        result = !lf_checkRegistrationLivery(aircraft, line);
    }
    aircraft.head.registration = reg;
    return result;
}

bool lf_checkRegistrationLivery(LiveAircraft& aircraft, const TrafficLine& line) {
    const std::string& reg = line.head.registration;
    const auto it = gRegcodeMap.find(reg);
    if (it != gRegcodeMap.end()) {
        if (it->second == aircraft.liveryTitle) return false;
        if (const auto key = gf_lookupRegistration(reg)) aircraft.head.liveryKey = *key;
        lf_forgetLivery(aircraft);
        return true;
    }
    if (reg == aircraft.head.registration) return false;
    const auto key = gf_lookupRegistration(reg);
    if (!key) return false;
    if (key->modelIndex == aircraft.head.liveryKey.modelIndex &&
        key->secondOperatorIndex == aircraft.head.liveryKey.secondOperatorIndex)
        return false;
    aircraft.head.liveryKey = *key;
    lf_forgetLivery(aircraft);
    return true;
}

void lf_forgetLivery(LiveAircraft& aircraft) {
    gLiveryMemory.erase(aircraft.key);
    aircraft.liveryTitle = {};
    aircraft.fsltl = false;
    aircraft.previousPhase = aircraft.phase;
    aircraft.phase = MovePhase::Birth;
}

void liveryRespawn(LiveAircraft& aircraft) {
    try {
        SampleQueue& samples = aircraft.samples;
        if (samples.empty()) {
            removeAircraftFromSim(aircraft);
            return;
        }
        PositionSample p = samples.front();
        const bool parked = aircraft.phase == MovePhase::Parked ||
                            (aircraft.phase == MovePhase::Birth && aircraft.previousPhase == MovePhase::Parked);
        if (!parked) {
            const bool same = std::abs(p.latitude - aircraft.position.latitude) < 1e-8 &&
                              std::abs(p.longitude - aircraft.position.longitude) < 1e-8;
            p.latitude = aircraft.position.latitude;
            p.longitude = aircraft.position.longitude;
            p.bank = aircraft.position.bank;
            p.altitude = aircraft.position.altitude;
            if (same) p.generated = 1;
        } else {
            while (samples.size() > 1) samples.pop_back();
            samples.front().generated = 1;
            samples.front().track = aircraft.position.heading / kDegToRad;
            p.generated = 1;
        }
        p.dueTick = gf_tickCount() + 1;
        samples.push_front(p);
        aircraft.state = LiveState::LiveryRespawn;
        aircraft.move.headingToRestore = aircraft.position.heading;
        aircraft.move.restoreHeading = 1;
        lf_aircraftLeaving(aircraft);
        if (aircraft.objectId != 0) {
            gRemovalQueue.push_back(aircraft.objectId);
        } else {
            // No object to wait for: straight back to buffer.
            gf_log(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", gf_acDescription(aircraft)));
            lf_backToBuffer(aircraft);
        }
    } catch (const std::exception& error) {
        gf_log(fmt::format("{} {}", "liveryRespawn", error.what()));
    }
}

} // namespace tamrix
