#include "traffic/live_traffic.hpp"

#include <algorithm>
#include <exception>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/user_error.hpp"
#include "links/park_airport.hpp"
#include "links/qnh_reader.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_definitions.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_intake.hpp"
#include "links/user_aircraft_data.hpp"
#include "records/stand_table.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/removal.hpp"
#include "traffic/spawning.hpp"
#include "traffic/traffic_birth.hpp"
#include "traffic/update_step.hpp"

namespace tamrix {

std::vector<LiveAircraft> gLiveAircraft;
std::vector<StaticAircraft> gStaticAircraft;
std::deque<AiCreateRequest> gLiveAddingStack;
std::deque<AiCreateRequest> gStaticAddingStack;
std::deque<uint32_t> gRemovalQueue;
std::vector<uint32_t> gSpawnStack;
std::vector<SimEvent> gSettleList;
std::vector<uint32_t> gCallsignMatchKeys;
std::vector<std::string> gGhostList;
std::unordered_map<uint32_t, std::string_view> gLiveryMemory;
std::unordered_set<std::string> gFailedKeyTexts;

namespace {

// Lines the tick takes at most in one go while a backlog waits.
constexpr std::size_t kMaxLinesPerTick = 64;

bool gInitialised = false;
UserPositionRecord gUser;
std::vector<SimEvent> gDrained;     // the events of this tick, handled without the sim-event lock
std::vector<TrafficLine> gLines;    // the traffic lines of this tick

void logUnclaimed(uint32_t objectId, uint32_t key) {
    gf_log(fmt::format("gf_processSimEvents: object {} of key {} has no aircraft waiting for it, removed",
                       gf_id2Text(objectId), key));
}

// An object of ours that no record waits for any more stays frozen in the simulator unless it
// is removed.
void removeUnclaimed(uint32_t objectId, uint32_t key) {
    if (objectId < 3) return;
    logUnclaimed(objectId, key);
    gRemovalQueue.push_back(objectId);
}

void onInRange(const SimEvent& event) {
    const std::ptrdiff_t index = gf_findLiveByObjectId(event.objectId);
    if (index < 0) return;
    LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
    MoveState& move = aircraft.move;
    if (event.key != 0 && aircraft.onGround == 0 && aircraft.stepCounter <= 1 &&
        aircraft.state != LiveState::RemovingFromSim && aircraft.phase != MovePhase::TakeOff) {
        if (move.landingStage != 0 || move.landingArmed != 0) {
            // Touchdown of a landing.
            move.landingRoll = 1;
            move.derotating = 1;
            move.touchdownHeading = aircraft.position.heading;
            move.landingArmed = 0;
            move.touchedDown = 1;
            gf_setSpoilers(aircraft, 1);
            if (aircraft.category != AircraftCategory::Light) {
                const double thrust = aircraft.fsltl ? -100.0 : 100.0;
                ThrottleSpoilerBlock block{100.0, thrust, thrust};
                std::lock_guard guard(gSimConnectLock);
                if (const HANDLE handle = gSimConnect.load())
                    SimConnect_SetDataOnSimObject(handle, kDefThrottleSpoilers, aircraft.objectId, 0, 0,
                                                  sizeof block, &block);
            }
            const double n = aircraft.touchdownTicks;
            if (n <= 0.0) {
                gf_log(fmt::format("{} ! onGround slots {:.1f}", aircraft.head.callsign, n));
                move.pitchStep = aircraft.staticPitch;
                move.bankStep = 0.0;
            } else {
                move.pitchStep = (aircraft.staticPitch - aircraft.position.pitch) / n;
                move.bankStep = (0.0 - aircraft.position.bank) / n;
            }
            gCallsignMatchKeys.push_back(aircraft.key);
        }
        aircraft.onGround = 1;
        move.altitudeStep = 0.0;
        aircraft.stepCounter = 1;
    }
    aircraft.heightAboveGround = event.value2;
    if (aircraft.onGround != 0 || aircraft.stepCounter >= 2)
        aircraft.position.altitude = event.value1 + aircraft.staticCgHeight;
}

void onStaticCg(const SimEvent& event) {
    const std::ptrdiff_t index = gf_findLiveByObjectId(event.objectId);
    if (index < 0) return;
    LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
    if (event.value1 >= 1.0 && event.value1 <= 35.0) aircraft.staticCgHeight = event.value1;
    double pitch = event.value2;
    if (!(pitch > -0.017453292519943295 && pitch <= 0.04363323129985824)) pitch = 0.012217304763960306;
    aircraft.staticPitch = pitch;
}

void onRefused(const SimEvent& event) {
    if (gf_isLiveKey(event.key)) {
        const std::ptrdiff_t index = gf_findLiveByKey(event.key);
        if (index < 0) return;
        const TrafficRecord record = gLiveAircraft[static_cast<std::size_t>(index)];
        gf_eraseLiveAc(static_cast<std::size_t>(index));
        gf_liveryFailed(record);
        return;
    }
    const std::ptrdiff_t index = gf_findStaticByKey(event.key);
    if (index < 0) return;
    const TrafficRecord record = gStaticAircraft[static_cast<std::size_t>(index)];
    gf_eraseStaticAc(static_cast<std::size_t>(index));
    gf_liveryFailed(record);
}

// The simulator removed an object. One of our aircraft that still waits for its creation to be
// recognised (the event carries its key) is given up, so that it does not wait for ever.
void onRemoved(const SimEvent& event) {
    if (event.objectId != 0 &&
        (gf_findLiveByObjectId(event.objectId) >= 0 || gf_findStaticByObjectId(event.objectId) >= 0)) {
        gf_removeFlightPlan(event.objectId);
        return;
    }
    if (event.key == 0) return;
    if (gf_isLiveKey(event.key)) {
        const std::ptrdiff_t index = gf_findLiveByKey(event.key);
        if (index < 0) return;
        LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
        if (aircraft.state != LiveState::Adding2Sim) return;
        gf_log(fmt::format("{:8} creation removed by the simulator, given up", aircraft.head.callsign));
        lf_aircraftLeaving(aircraft);
        gf_eraseLiveAc(static_cast<std::size_t>(index));
        return;
    }
    const std::ptrdiff_t index = gf_findStaticByKey(event.key);
    if (index < 0) return;
    const StaticAircraft& aircraft = gStaticAircraft[static_cast<std::size_t>(index)];
    if (aircraft.state != LiveState::Adding2Sim) return;
    gf_log(fmt::format("{:8} creation removed by the simulator, given up", aircraft.head.callsign));
    gf_eraseStaticAc(static_cast<std::size_t>(index));
}

void handleEvent(const SimEvent& event) {
    switch (event.kind) {
    case kSimEventCreatedLive: {
        const std::ptrdiff_t index = gf_findLiveByKey(event.key);
        if (index < 0 || gLiveAircraft[static_cast<std::size_t>(index)].state != LiveState::Adding2Sim) {
            removeUnclaimed(event.objectId, event.key);
            return;
        }
        LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
        if (onLiveAcCreated(aircraft, event)) {
            SimEvent entry = event;
            entry.settleCounter = 0;
            gSettleList.push_back(entry);
        } else {
            // An object id the simulator never uses for AI: the creation cannot be followed.
            aircraft.erase = 1;
        }
        return;
    }
    case kSimEventCreatedStatic: {
        const std::ptrdiff_t index = gf_findStaticByKey(event.key);
        if (index < 0 || gStaticAircraft[static_cast<std::size_t>(index)].state != LiveState::Adding2Sim ||
            event.objectId < 3) {
            removeUnclaimed(event.objectId, event.key);
            return;
        }
        // The object id is bound now, so that a reused key cannot take this entry later.
        gStaticAircraft[static_cast<std::size_t>(index)].objectId = event.objectId;
        SimEvent entry = event;
        entry.settleCounter = 0;
        gSettleList.push_back(entry);
        return;
    }
    case kSimEventRemoved:
        onRemoved(event);
        return;
    case kSimEventInRange:
        onInRange(event);
        return;
    case kSimEventStaticCg:
        onStaticCg(event);
        return;
    case kSimEventCreationRefused:
        onRefused(event);
        return;
    default:
        return;
    }
}

// Settles one entry; true when the entry is done (or its aircraft is gone).
bool settleEntry(SimEvent& entry) {
    if (entry.kind == kSimEventCreatedStatic) {
        const std::ptrdiff_t index = gf_findStaticByKey(entry.key);
        if (index < 0) return true;
        StaticAircraft& aircraft = gStaticAircraft[static_cast<std::size_t>(index)];
        if (aircraft.state != LiveState::Adding2Sim || aircraft.objectId != entry.objectId) return true;
        if (entry.settleCounter < kSettleTicks) ++entry.settleCounter;
        if (entry.settleCounter < kSettleTicks) return false;
        aircraft.state = LiveState::Active;
        lf_initParkedControls(aircraft);
        gf_log(fmt::format("{:8}: {:8} parked", gf_standNameOfSid(static_cast<int32_t>(aircraft.standId)),
                           aircraft.head.callsign));
        if (aircraft.removalAsked != 0) {
            aircraft.removalAsked = 0;
            removeAircraftFromSim(aircraft);
        }
        return true;
    }
    const std::ptrdiff_t index = gf_findLiveByKey(entry.key);
    if (index < 0) return true;
    LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
    if (aircraft.state != LiveState::Adding2Sim || aircraft.objectId != entry.objectId) return true;
    if (entry.settleCounter < kSettleTicks) {
        ++entry.settleCounter;
        if (entry.settleCounter == 50 || entry.settleCounter == 100)
            gf_queueClientEvent(entry.objectId, kEventAllLightsToggle, 0);
    }
    if (entry.settleCounter < kSettleTicks) return false;
    lf_initLiveControls(aircraft);
    aircraft.state = LiveState::Active;
    // The reports that came in while it was created (slowly, or first seen rolling) tell its
    // take-off roll as they would have, had it been active.
    if (aircraft.onGround != 0 && aircraft.phase == MovePhase::Taxi && aircraft.move.landingRoll == 0)
        aircraft.move.takeOff.reportsWaiting(aircraft.samples);
    if (aircraft.removalAsked != 0) {
        aircraft.removalAsked = 0;
        removeAircraftFromSim(aircraft);
    }
    return true;
}

void takeTrafficLines() {
    const std::size_t count = gf_trafficLinesToTake(gf_trafficIntakeSize());
    if (gf_takeTrafficLines(count, gLines) == 0) return;
    for (TrafficLine& line : gLines) {
        try {
            lf_onTrafficUpdate(line);
        } catch (const UserErrorException&) {
            gLines.clear();
            throw;
        } catch (const std::exception& error) {
            // The line is lost; so is its aircraft, whose next lines would fail alike.
            gf_log(fmt::format("lf_onTrafficUpdate: key {} exception {}", line.hexid, error.what()));
            if (const std::ptrdiff_t index = gf_findLiveByKey(line.hexid); index >= 0)
                removeAircraftFromSim(gLiveAircraft[static_cast<std::size_t>(index)]);
        }
    }
    gLines.clear();
}

void makeCreationRecord() {
    if (gSpawnStack.empty()) return;
    const uint32_t key = gSpawnStack.back();
    gSpawnStack.pop_back();
    const std::ptrdiff_t index = gf_findLiveByKey(key);
    if (index < 0) return;
    LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
    if (aircraft.state != LiveState::Adding2Sim) return;
    if (aircraft.head.callsign.empty()) {
        // Nothing could recognise the object: the aircraft is not created.
        gf_log(fmt::format("{} {} objectid = 0?", "lf_handleAddingStack", gf_acDescription(aircraft)));
        aircraft.erase = 1;
        return;
    }
    AiCreateRequest request;
    request.initPosition.Latitude = aircraft.position.latitude;
    request.initPosition.Longitude = aircraft.position.longitude;
    request.initPosition.Altitude = aircraft.position.altitude;
    request.initPosition.Pitch = aircraft.position.pitch * kRadToDeg;
    request.initPosition.Bank = aircraft.position.bank * kRadToDeg;
    request.initPosition.Heading = aircraft.position.heading * kRadToDeg;
    // An aircraft first reported on the ground is created standing on it.
    request.initPosition.OnGround =
        !aircraft.samples.empty() && aircraft.samples.front().airborne == 0 ? 1 : 0;
    request.initPosition.Airspeed = 0;
    request.callsign = aircraft.head.callsign;
    request.liveryTitle = aircraft.liveryTitle;
    request.key = aircraft.key;
    gLiveAddingStack.push_back(std::move(request));
}

} // namespace

int64_t gf_tickCount() { return gLiveTrafficTick.load(std::memory_order_relaxed); }

const UserPositionRecord& gf_userCopy() { return gUser; }

void gf_refreshUserCopy() { gUser = gf_userPositionRecord(); }

std::size_t gf_trafficLinesToTake(std::size_t queued) {
    // Two a tick as long as the queue is short; with a backlog a share of it, so that a line
    // waits about a quarter of a second at 500 lines a second and its sample is never due yet.
    return std::clamp<std::size_t>(queued / 25, 2, kMaxLinesPerTick);
}

void gf_initLiveTraffic() {
    if (gInitialised) return;
    gInitialised = true;
    gLiveAircraft.reserve(512);
    gStaticAircraft.reserve(256);
    gf_reserveStandTable();
    gf_reserveSimEvents(256);
    gSettleList.reserve(128);
    gSpawnStack.reserve(64);
    gCallsignMatchKeys.reserve(64);
    gGhostList.reserve(64);
    gDrained.reserve(1024);
    gLines.reserve(kMaxLinesPerTick);
}

void gf_resetLiveTraffic() {
    gf_clearParkAirport();
    gf_clearSimEvents();
    gSettleList.clear();
    if (gf_airportServices().resetStaticParking != nullptr) gf_airportServices().resetStaticParking();
    gSpawnStack.clear();
    gRemovalQueue.clear();
    gLiveAddingStack.clear();
    gStaticAddingStack.clear();
    gf_clearTrafficIntake();
    gStaticAircraft.clear();
    gLiveAircraft.clear();
    gf_clearStandTable();
    gLearnedUpdateCount = 0;
    gCallsignMatchKeys.clear();
    gGhostList.clear();
    gLiveryMemory.clear();
    gDrained.clear();
    gLines.clear();
    gUser = UserPositionRecord{};
    gf_resetRemovalState();
    gLiveTrafficTick.store(0);
    lf_resetIntakeState();
    gCurrentQnh.store(1013);
}

bool gf_eraseFromAddingStack(std::deque<AiCreateRequest>& stack, uint32_t key) {
    const auto it = std::find_if(stack.begin(), stack.end(), [key](const AiCreateRequest& r) { return r.key == key; });
    if (it == stack.end()) return false;
    stack.erase(it);
    return true;
}

void gf_eraseLiveAc(std::size_t index) {
    if (index >= gLiveAircraft.size()) return;
    // A stand it claimed is free again, whichever way the record goes.
    lf_releaseStand(gLiveAircraft[index]);
    if (index + 1 != gLiveAircraft.size()) gLiveAircraft[index] = std::move(gLiveAircraft.back());
    gLiveAircraft.pop_back();
}

void gf_eraseStaticAc(std::size_t index) {
    if (index >= gStaticAircraft.size()) return;
    if (index + 1 != gStaticAircraft.size()) gStaticAircraft[index] = std::move(gStaticAircraft.back());
    gStaticAircraft.pop_back();
}

std::ptrdiff_t gf_findLiveByKey(uint32_t key) {
    for (std::size_t i = 0; i < gLiveAircraft.size(); ++i)
        if (gLiveAircraft[i].key == key) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::ptrdiff_t gf_findLiveByObjectId(uint32_t objectId) {
    if (objectId == 0) return -1;
    for (std::size_t i = 0; i < gLiveAircraft.size(); ++i)
        if (gLiveAircraft[i].objectId == objectId) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::ptrdiff_t gf_findStaticByKey(uint32_t key) {
    for (std::size_t i = 0; i < gStaticAircraft.size(); ++i)
        if (gStaticAircraft[i].key == key) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

std::ptrdiff_t gf_findStaticByObjectId(uint32_t objectId) {
    if (objectId == 0) return -1;
    for (std::size_t i = 0; i < gStaticAircraft.size(); ++i)
        if (gStaticAircraft[i].objectId == objectId) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

void gf_processSimEvents() {
    // The events are copied out so that the SimClient thread waits for a copy only, never for
    // their handling.
    gf_drainSimEvents([](const std::vector<SimEvent>& events) { gDrained.assign(events.begin(), events.end()); });
    struct Clear {
        ~Clear() { gDrained.clear(); }
    } clear;
    for (const SimEvent& event : gDrained) handleEvent(event);
    if (!gSettleList.empty()) lf_settleCreated();
}

void lf_settleCreated() {
    std::erase_if(gSettleList, [](SimEvent& entry) { return settleEntry(entry); });
}

void lf_pace() {
    const int64_t tick = gf_tickCount();
    if (tick % 10 != 0) return;
    if (!gRemovalQueue.empty()) {
        gf_queueAiRemove(gRemovalQueue.front());
        gRemovalQueue.pop_front();
    }
    if (tick % 50 != 0) return;
    if (!gLiveAddingStack.empty()) {
        const AiCreateRequest& request = gLiveAddingStack.front();
        if (const std::ptrdiff_t index = gf_findLiveByKey(request.key); index >= 0)
            gLiveAircraft[static_cast<std::size_t>(index)].creationSentTick = tick;
        gf_queueAiCreate(request);
        gLiveAddingStack.pop_front();
        return;
    }
    if (!gStaticAddingStack.empty()) {
        gf_queueAiCreate(gStaticAddingStack.front());
        gStaticAddingStack.pop_front();
    }
    if (gf_hasStaticCandidates()) lf_detcs();
}

void lf_requestAcInRange() {
    const int64_t tick = gf_tickCount();
    if (tick % 20 == 0) {
        bool failed = false;
        {
            std::lock_guard guard(gSimConnectLock);
            const HANDLE handle = gSimConnect.load();
            // Without a connection there is nobody to ask.
            if (handle != nullptr && !gSimConnectError.load())
                failed = SimConnect_RequestDataOnSimObjectType(handle, kRequestAcInRange, kDefAcInRange,
                                                               static_cast<DWORD>(std::max(0, gRangeMeters.load())),
                                                               SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) < 0;
        }
        if (failed) {
            gf_log("SimConnect request ac within range fails");
            gf_simConnectRequestError();
        }
        gf_sendUserPosition();
    }
    if (tick % 100 == 0 && gSimConnect.load() != nullptr) gf_setUserPositionState(gf_requestUserAcPosition());
}

void lf_handleAddingStack() {
    gf_refreshUserCopy();
    gf_processSimEvents();
    lf_invalidateActiveCount();

    // An aircraft whose pushback ended in the last tick stands pushed back for that tick before it
    // takes in what the feed reported meanwhile.
    for (LiveAircraft& aircraft : gLiveAircraft)
        lf_takeReportsKeptWhilePushing(aircraft);
    bool erase = false;
    for (LiveAircraft& aircraft : gLiveAircraft)
        if (updateLiveAc(aircraft)) erase = true;
    if (erase)
        std::erase_if(gLiveAircraft, [](LiveAircraft& a) {
            if (a.erase == 0 && a.creationWithdrawn == 0) return false;
            lf_releaseStand(a);
            return true;
        });

    gf_handOverPositions();
    lf_pace();
    takeTrafficLines();
    makeCreationRecord();
    lf_requestAcInRange();
    gLiveTrafficTick.fetch_add(1, std::memory_order_relaxed);
}

} // namespace tamrix
