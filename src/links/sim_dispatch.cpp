#include "links/sim_dispatch.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>

#include <fmt/format.h>

#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "links/reserved_stand.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_events.hpp"
#include "links/sim_message.hpp"
#include "links/sim_queues.hpp"
#include "links/sim_status.hpp"
#include "links/simconnect_client.hpp"
#include "links/stand_lookup.hpp"
#include "links/traffic_source_state.hpp"
#include "links/user_aircraft_data.hpp"

namespace tamrix {

std::atomic<bool> gSimSecond{false};
std::atomic<int64_t> gSimUtcTime{0};
std::atomic<bool> gSimUtcKnown{false};

namespace {

constexpr uint32_t kMaxStaticKey = 10000; // keys up to this are static aircraft, above live ones
constexpr std::size_t kDataOffset = SIMCONNECT_RECV_SIMOBJECT_DATA_BLOCK_OFFSET;

// State of the handlers; the SimClient thread writes it, the clean-up resets it while no such
// thread runs, and the stand name is read by other threads.
struct DispatchState {
    std::mutex lock;
    std::string userStandName;
    GeoPosition previousUserPosition;
    bool asGenLogged = false;
};

DispatchState& state() {
    static auto* s = new DispatchState;
    return *s;
}

void logShort(DWORD id, DWORD size) {
    gf_logHighlighted(fmt::format("! SimConnect message {} too short: {} bytes", id, size));
}

void postEvent(uint32_t objectId, uint32_t key, uint32_t kind, double value1, double value2) {
    gf_postSimEvent(SimEvent{objectId, key, 0, kind, value1, value2});
}

// The first pending creation that matches, removed; the others keep their sending order.
template <class Matches> std::optional<PendingCreation> takePending(Matches matches) {
    auto& pending = gPendingCreations;
    const auto found = std::find_if(pending.begin(), pending.end(), matches);
    if (found == pending.end()) return std::nullopt;
    PendingCreation taken = std::move(*found);
    pending.erase(found);
    return taken;
}

// The callsign as the simulator keeps it for the object's ATC id.
std::string_view keptCallsign(const std::string& callsign) {
    return std::string_view(callsign).substr(0, std::min(callsign.size(), kSimAtcIdKept));
}

// The key of one of our announced objects, forgotten; 0 for any other object.
uint32_t takeOwnObject(uint32_t objectId) {
    auto& own = gOwnObjects;
    const auto found = std::find_if(own.begin(), own.end(),
                                    [objectId](const OwnObject& o) { return o.objectId == objectId; });
    if (found == own.end()) return 0;
    const uint32_t key = found->key;
    *found = own.back();
    own.pop_back();
    return key;
}

// Objects whose removal the simulator never reported stay at most this many; the oldest go first.
constexpr std::size_t kOwnObjectsMax = 4096;

void rememberOwnObject(uint32_t objectId, uint32_t key) {
    takeOwnObject(objectId);
    if (gOwnObjects.size() >= kOwnObjectsMax) gOwnObjects.erase(gOwnObjects.begin());
    gOwnObjects.push_back(OwnObject{objectId, key});
}

bool takeAddedObject(uint32_t objectId) {
    auto& added = gAddedObjects;
    const auto found = std::find(added.begin(), added.end(), objectId);
    if (found == added.end()) return false;
    *found = added.back();
    added.pop_back();
    return true;
}

bool userPositionIsZero() {
    const UserAcState user = gf_userAcState();
    return gf_isZeroPosition(user.latitude, user.longitude);
}

void newFlight() {
    gf_updateReservedStand();
    gf_setExitReason(ExitReason::NewFlight, 45);
}

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// Seconds since 1970 of the simulator's zulu year, day of year and time of day.
int64_t simUtcTimeOf(const UserAcState& user) {
    const int64_t y = static_cast<int64_t>(static_cast<int16_t>(user.zuluYear)) - 1;
    const int64_t days =
        365 * y + floorDiv(y, 4) - floorDiv(y, 100) + floorDiv(y, 400) + user.zuluDayOfYear - 719163;
    return days * 86400 + user.zuluTime;
}

// A date the simulator can hold: year 1970 to 9999, a day of that year and a second of the day.
bool validZulu(const UserAcState& user) {
    const auto year = static_cast<int16_t>(user.zuluYear);
    return year >= 1970 && year <= 9999 && user.zuluDayOfYear >= 1 && user.zuluDayOfYear <= 366 &&
           user.zuluTime >= 0 && user.zuluTime < 86400;
}

void onUserAcState(uint32_t objectId, UserAcState user) {
    if (user.altitude < 0.0) user.altitude = 0.0;
    gf_storeUserAcState(user);

    const GeoPosition now{user.latitude, user.longitude};
    auto& s = state();
    GeoPosition previous;
    {
        std::lock_guard guard(s.lock);
        previous = s.previousUserPosition;
        s.previousUserPosition = now;
    }
    if (!gf_isZeroPosition(previous.latitude, previous.longitude) &&
        !gf_isZeroPosition(now.latitude, now.longitude) &&
        gf_distanceNm(previous, now) > kTeleportDistanceNm) {
        gf_log("Teleport");
        gf_setExitReason(ExitReason::NewFlight, 45);
    }

    std::string stand = gf_standNameAt(now.latitude, now.longitude);
    bool repaint = false;
    {
        std::lock_guard guard(s.lock);
        repaint = stand != s.userStandName;
        s.userStandName = stand;
    }
    if (repaint) {
        gf_setUserStandText(std::move(stand));
        gf_invalidateStatusPanel();
    }

    if (validZulu(user)) {
        gSimUtcTime.exchange(simUtcTimeOf(user));
        gSimUtcKnown.store(true);
    }
    gUserObjectId.store(objectId);
}

} // namespace

void gf_installSimDispatch() {
    gf_setSimDispatch(lf_simDispatch);
}

std::optional<int64_t> gf_simUtcTime() {
    if (!gSimUtcKnown.load()) return std::nullopt;
    return gSimUtcTime.load();
}

std::string gf_userStandName() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    return s.userStandName;
}

void gf_resetSimDispatchState() {
    auto& s = state();
    {
        std::lock_guard guard(s.lock);
        s.userStandName.clear();
        s.previousUserPosition = {};
        s.asGenLogged = false;
    }
    gSimSecond.store(false);
    gSimUtcTime.store(0);
    gSimUtcKnown.store(false);
}

void lf_simDispatch(SIMCONNECT_RECV* message, DWORD size, void*) {
    if (message == nullptr) return;
    DWORD id = 0;
    if (!gf_readRecordField(message, size, offsetof(SIMCONNECT_RECV, dwID), id)) {
        logShort(id, size);
        return;
    }
    switch (id) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        lf_onSimException(message, size);
        break;
    case SIMCONNECT_RECV_ID_OPEN:
        lf_onSimOpen(message, size);
        break;
    case SIMCONNECT_RECV_ID_QUIT:
        gSimQuit.store(true);
        gSimRunning.exchange(false);
        break;
    case SIMCONNECT_RECV_ID_EVENT: {
        SIMCONNECT_RECV_EVENT event{};
        if (!gf_readRecordField(message, size, 0, event)) {
            logShort(id, size);
            break;
        }
        if (event.uEventID == kSystemEventSim) {
            const bool running = event.dwData == 1;
            gSimRunning.exchange(running);
            gSimRunningShown.store(running);
            gf_invalidateStatusPanel();
        } else if (event.uEventID == kSystemEventFlightLoaded) {
            gf_log("SimConnect: flight loaded event");
            newFlight();
        }
        break;
    }
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE: {
        SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE event{};
        if (!gf_readRecordField(message, size, 0, event)) {
            logShort(id, size);
            break;
        }
        if (event.eObjType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) break;
        if (event.uEventID == kSystemEventObjectAdded) {
            if (event.dwData > gUserObjectId.load()) gAddedObjects.push_back(event.dwData);
        } else if (event.uEventID == kSystemEventObjectRemoved) {
            // An object that leaves before it was ever in range is no longer waited for: its id
            // may come back for another object. When it was one of our creations the event
            // carries its key, so that its aircraft does not wait for it for ever.
            const uint32_t objectId = event.dwData;
            takeAddedObject(objectId);
            uint32_t key = 0;
            if (objectId != 0) {
                if (const auto gone = takePending(
                        [objectId](const PendingCreation& p) { return p.objectId == objectId; })) {
                    key = gone->key;
                    gf_log(fmt::format("{:8} removed by the simulator before it was recognised, oid: {}",
                                       gone->callsign, gf_id2Text(objectId)));
                } else {
                    key = takeOwnObject(objectId);
                }
            }
            postEvent(objectId, key, kSimEventRemoved, 0.0, 0.0);
        }
        break;
    }
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        gf_logHighlighted("SimConnect: New file event");
        newFlight();
        break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
        lf_expirePendingCreations(std::chrono::steady_clock::now());
        lf_flushSimQueues();
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        lf_onSimObjectData(message, size);
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        lf_onSimObjectDataByType(message, size);
        break;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID: {
        // The simulator answers our creations in the order they were sent: the oldest creation
        // without an object gets this one.
        SIMCONNECT_RECV_ASSIGNED_OBJECT_ID assigned{};
        if (!gf_readRecordField(message, size, 0, assigned)) {
            logShort(id, size);
            break;
        }
        if (assigned.dwRequestID != kRequestCreateAi || assigned.dwObjectID == 0) break;
        const auto open = std::find_if(gPendingCreations.begin(), gPendingCreations.end(),
                                       [](const PendingCreation& p) { return p.objectId == 0; });
        if (open != gPendingCreations.end()) open->objectId = assigned.dwObjectID;
        break;
    }
    case SIMCONNECT_RECV_ID_CLIENT_DATA:
    case SIMCONNECT_RECV_ID_EVENT_EX1:
        break;
    default:
        gf_log(fmt::format("! Unknown Dispatch dwID {}", id));
        break;
    }
}

void lf_onSimOpen(const SIMCONNECT_RECV* message, DWORD size) {
    SIMCONNECT_RECV_OPEN open{};
    if (!gf_readRecordField(message, size, 0, open)) {
        logShort(SIMCONNECT_RECV_ID_OPEN, size);
        return;
    }
    const std::string_view name = gf_recordText(
        message, size, offsetof(SIMCONNECT_RECV_OPEN, szApplicationName), sizeof open.szApplicationName);
    if (name.empty()) {
        gf_log("! Simulator name empty?");
        return;
    }
    gSimOpen.store(true);
    gf_invalidateStatusPanel();

    std::string kept;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && (std::isalnum(u) != 0 || std::isspace(u) != 0)) kept += c;
    }
    std::string_view simulator;
    if (kept == "KittyHawk") {
        if (!gIsMsfs2020.load()) throw UserErrorException(2024, "");
        simulator = "MSFS 2020";
    } else if (kept == "SunRise") {
        if (gIsMsfs2020.load()) throw UserErrorException(2024, "");
        simulator = "MSFS 2024";
    } else {
        throw UserErrorException(77,
                                 fmt::format("'{}' not being MSFS 2020 or MSFS 2024 connects ... ?", kept));
    }
    std::string text = fmt::format("{} ({}.{}.{}.{})", simulator, open.dwApplicationVersionMajor,
                                   open.dwApplicationVersionMinor, open.dwApplicationBuildMajor,
                                   open.dwApplicationBuildMinor);
    gf_log(fmt::format("{} connected", text));
    gf_setSimulatorText(std::move(text));
    gf_invalidateStatusPanel();
    gf_clearStatusLine();
}

void lf_onSimException(const SIMCONNECT_RECV* message, DWORD size) {
    SIMCONNECT_RECV_EXCEPTION exception{};
    if (!gf_readRecordField(message, size, 0, exception)) {
        logShort(SIMCONNECT_RECV_ID_EXCEPTION, size);
        return;
    }
    switch (exception.dwException) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID:
        if (userPositionIsZero() || gStopFlag.load() || gClosingFlag.load()) break;
        gf_logHighlighted("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        break;
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw UserErrorException(95,
                                 fmt::format("SimConnect Version Mismatch, dwIndex: {}", exception.dwIndex));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS: {
        gf_setStatusLine("SimConnect: too many objects (max 1000)", true);
        // That creation will never give an object: its aircraft is told so, its livery is not
        // to blame.
        const DWORD sendId = exception.dwSendID;
        if (const auto refused =
                takePending([sendId](const PendingCreation& p) { return p.sendId == sendId; }))
            postEvent(0, refused->key, kSimEventRemoved, 0.0, 0.0);
        break;
    }
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
        gf_log("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
        break;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: {
        const DWORD sendId = exception.dwSendID;
        if (const auto refused =
                takePending([sendId](const PendingCreation& p) { return p.sendId == sendId; }))
            postEvent(0, refused->key, kSimEventCreationRefused, 0.0, 0.0);
        break;
    }
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        gf_logHighlighted("SimConnect exception: load flight plan failed");
        break;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        gf_log("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
        break;
    default:
        gf_logHighlighted(fmt::format("SIMCONNECT_EXCEPTION #{}", exception.dwException));
        break;
    }
}

void lf_onSimObjectData(const SIMCONNECT_RECV* message, DWORD size) {
    SIMCONNECT_RECV_SIMOBJECT_DATA head{};
    if (!gf_readRecordField(message, size, 0, head)) {
        logShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
        return;
    }
    switch (head.dwRequestID) {
    case kRequestStaticCg: {
        StaticCgBlock cg{};
        if (!gf_readRecordField(message, size, kDataOffset, cg)) {
            logShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
            return;
        }
        postEvent(head.dwObjectID, 0, kSimEventStaticCg, cg.staticCgToGround, cg.staticPitch);
        break;
    }
    case kRequestUserTitle:
        lf_onUserAcTitle(gf_recordText(message, size, kDataOffset, size));
        break;
    case kRequestUserModel:
        lf_onUserAcModel(gf_recordText(message, size, kDataOffset, 32));
        break;
    case kRequestUserOnGround: {
        int64_t onGround = 0;
        if (!gf_readRecordField(message, size, kDataOffset, onGround)) {
            logShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
            return;
        }
        if (!userPositionIsZero()) gf_setUserOnGround(static_cast<uint32_t>(onGround) != 0);
        gSimSecond.exchange(true);
        break;
    }
    case kRequestUserState: {
        UserAcState user{};
        if (!gf_readRecordField(message, size, kDataOffset, user)) {
            logShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, size);
            return;
        }
        onUserAcState(head.dwObjectID, user);
        break;
    }
    default:
        break;
    }
}

void lf_onSimObjectDataByType(const SIMCONNECT_RECV* message, DWORD size) {
    SIMCONNECT_RECV_SIMOBJECT_DATA head{};
    AcInRangeBlock block{};
    if (!gf_readRecordField(message, size, 0, head) ||
        !gf_readRecordField(message, size, kDataOffset, block)) {
        logShort(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, size);
        return;
    }
    const uint32_t objectId = head.dwObjectID;
    if (head.dwRequestID != kRequestAcInRange || objectId <= gUserObjectId.load()) return;
    const std::string_view atcId = gf_recordText(&block.atcId, sizeof block.atcId, 0, sizeof block.atcId);
    const double heightAboveGround = block.altitudeAboveGround;

    if (!takeAddedObject(objectId)) {
        // An aircraft already known, ours or foreign.
        if (heightAboveGround > kInRangeMaxHeightFeet || atcId.empty() || atcId.back() == '*') return;
        postEvent(objectId, static_cast<uint32_t>(block.onGround), kSimEventInRange, block.groundAltitude,
                  heightAboveGround);
        return;
    }

    // Ours by the callsign as the simulator keeps it, else by the object id it assigned.
    std::optional<PendingCreation> ours;
    if (!atcId.empty())
        ours = takePending([atcId](const PendingCreation& p) { return keptCallsign(p.callsign) == atcId; });
    if (!ours) ours = takePending([objectId](const PendingCreation& p) { return p.objectId == objectId; });
    if (ours) {
        // Another creation that was given this object's id in error waits for its own.
        for (auto& p : gPendingCreations)
            if (p.objectId == objectId) p.objectId = 0;
    }
    if (!ours) {
        // Somebody else's aircraft: it stays as it is.
        if (atcId != "AS-GEN") {
            gf_log(fmt::format("just spawned, but not by {}, oid: {}, callsign '{}', altaboveGnd:{:.0f} ft, "
                               "onground:{}, gnd_alt:{:.0f} ft",
                               kProgramName, gf_id2Text(objectId), atcId, heightAboveGround, block.onGround,
                               block.groundAltitude));
            return;
        }
        auto& s = state();
        {
            std::lock_guard guard(s.lock);
            if (s.asGenLogged) return;
            s.asGenLogged = true;
        }
        gf_logHighlighted(
            fmt::format("\nSpawned by Asobo, oid: {}, callsign AS-GEN, altaboveGnd:{:.0f} ft, "
                        "onground:{}, gnd_alt:{:.0f} ft\nThis message will be logged only once...\n",
                        gf_id2Text(objectId), heightAboveGround, block.onGround, block.groundAltitude));
        return;
    }

    {
        std::lock_guard guard(gSimConnectLock);
        SimConnect_AIReleaseControl(gSimConnect.load(), objectId, kRequestReleaseControl);
        for (const DWORD freeze : {kEventFreezeLatLonSet, kEventFreezeAltitudeSet, kEventFreezeAttitudeSet})
            gClientEventQueue.push_back(ClientEventEntry{objectId, freeze, 1});
    }
    rememberOwnObject(objectId, ours->key);
    if (ours->key <= kMaxStaticKey)
        postEvent(objectId, ours->key, kSimEventCreatedStatic, 0.0, 0.0);
    else
        postEvent(objectId, ours->key, kSimEventCreatedLive, 0.0, heightAboveGround);
}

void lf_expirePendingCreations(std::chrono::steady_clock::time_point now) {
    auto& pending = gPendingCreations;
    // Sent in order: the oldest are at the front.
    while (!pending.empty() && now - pending.front().sentAt > kPendingCreationMaxAge) {
        PendingCreation gone = std::move(pending.front());
        pending.erase(pending.begin());
        gf_log(fmt::format("{:8} not seen {} seconds after its creation, given up{}", gone.callsign,
                           kPendingCreationMaxAge.count(),
                           gone.objectId != 0 ? fmt::format(", oid {} removed", gf_id2Text(gone.objectId))
                                              : ""));
        if (gone.objectId > gUserObjectId.load()) {
            takeAddedObject(gone.objectId);
            gf_queueAiRemove(gone.objectId);
        }
        postEvent(gone.objectId, gone.key, kSimEventRemoved, 0.0, 0.0);
    }
}

} // namespace tamrix
