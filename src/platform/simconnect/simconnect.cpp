// The SimConnect calls of the stand-in, acting on the process-wide simulator world.

#include "platform/simconnect/simconnect.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fmt/format.h>

#include "platform/simconnect/sim_world_internal.hpp"

using platform::simconnect::CreationAnswer;
using namespace platform::simconnect::detail;

namespace {

std::string textOf(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// One logged call on an open connection: fails on an unknown connection, on one whose client
// has dispatched its QUIT, and when a failure was asked for; a connection whose QUIT still waits
// takes a request and nothing comes of it (a query of the connection itself still answers);
// otherwise counts the packet and runs the body under the world's lock. `args` builds the logged
// argument text only when the call log is on.
template <typename Args, typename Body>
HRESULT connectionCall(HANDLE handle, std::string_view function, Args&& args, Body&& body, bool sends = true) {
    State& s = state();
    std::lock_guard guard(s.lock);
    Connection* c = s.find(handle);
    HRESULT result = E_FAIL;
    if (c != nullptr && !c->quitAnnounced && !s.takeFailure(function)) {
        if (sends) ++c->lastSendId;
        result = c->quitting && sends ? S_OK : body(s, *c);
    }
    if (s.callLogging) s.log(c, function, args(), result);
    return result;
}

void queueException(Connection& c, DWORD exception, DWORD index) {
    c.queue.push_back(exceptionMessage(exception, c.lastSendId, index));
}

// An object id the call may act on; queues UNRECOGNIZED_ID otherwise.
Object* objectOrException(State& s, Connection& c, DWORD objectId, DWORD index) {
    Object* o = s.findObject(objectId);
    if (o == nullptr) queueException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, index);
    return o;
}

// An AI object (never the user aircraft); queues an exception otherwise.
Object* aiObjectOrException(State& s, Connection& c, DWORD objectId) {
    Object* o = objectOrException(s, c, objectId, 1);
    if (o != nullptr && o->user) {
        queueException(c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, 1);
        return nullptr;
    }
    return o;
}

void applyClientEvent(Object& o, std::string_view event, DWORD value) {
    static const std::pair<std::string_view, uint32_t> lightBits[] = {
        {"NAV_LIGHTS_SET", 0x1},   {"BEACON_LIGHTS_SET", 0x2}, {"LANDING_LIGHTS_SET", 0x4},
        {"TAXI_LIGHTS_SET", 0x8},  {"STROBES_SET", 0x10},      {"LOGO_LIGHTS_SET", 0x100},
        {"CABIN_LIGHTS_SET", 0x200}};
    ++o.eventCount;
    for (const auto& [name, bit] : lightBits) {
        if (event != name) continue;
        o.lights = value != 0 ? (o.lights | bit) : (o.lights & ~bit);
        return;
    }
    // Axis events carry 0 to 16383 for 0 to 100 percent.
    const double percent = std::clamp(static_cast<double>(value), 0.0, 16383.0) * 100.0 / 16383.0;
    if (event == "ALL_LIGHTS_TOGGLE") o.lights = o.lights != 0 ? 0 : 0x31F;
    else if (event == "FREEZE_LATITUDE_LONGITUDE_SET") o.freezeLatLon = value != 0;
    else if (event == "FREEZE_ALTITUDE_SET") o.freezeAltitude = value != 0;
    else if (event == "FREEZE_ATTITUDE_SET") o.freezeAttitude = value != 0;
    else if (event == "THROTTLE_SET") o.throttle1 = o.throttle2 = percent;
    else if (event == "SPOILERS_SET") o.spoilers = percent;
    else if (event == "FLAPS_SET") o.flaps = percent;
    else if (event == "GEAR_SET") o.gearDown = value != 0;
    else if (event == "GEAR_UP") o.gearDown = false;
    else if (event == "GEAR_DOWN") o.gearDown = true;
    else if (event == "ENGINE_AUTO_START") o.enginesRunning = true;
    else if (event == "ENGINE_AUTO_SHUTDOWN") o.enginesRunning = false;
    else if (event == "PARKING_BRAKES") o.parkingBrake = !o.parkingBrake;
    else if (event == "PARKING_BRAKE_SET") o.parkingBrake = value != 0;
}

} // namespace

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND, DWORD, HANDLE, DWORD ConfigIndex) {
    State& s = state();
    std::lock_guard guard(s.lock);
    const std::string name = textOf(szName);
    HRESULT result = E_FAIL;
    Connection* opened = nullptr;
    if (phSimConnect != nullptr) *phSimConnect = nullptr;
    if (phSimConnect != nullptr && s.available && !s.takeFailure("SimConnect_Open")) {
        const uint32_t id = s.nextConnectionId++;
        Connection& c = s.connections[id];
        c.id = id;
        c.name = name;
        Bytes body;
        body.text(s.appName, 256);
        for (const uint32_t part : s.appVersion) body.u32(part);
        c.queue.push_back(makeMessage(SIMCONNECT_RECV_ID_OPEN, body.bytes()));
        *phSimConnect = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(id));
        opened = &c;
        result = S_OK;
    }
    if (s.callLogging) s.log(opened, "SimConnect_Open", fmt::format("{},{}", name, ConfigIndex), result);
    return result;
}

HRESULT SimConnect_Close(HANDLE hSimConnect) {
    State& s = state();
    std::lock_guard guard(s.lock);
    Connection* c = s.find(hSimConnect);
    if (c == nullptr) {
        if (s.callLogging) s.log(nullptr, "SimConnect_Close", "", E_FAIL);
        return E_FAIL;
    }
    // A refused close still ends the connection: the program drops its handle either way.
    const HRESULT result = s.takeFailure("SimConnect_Close") ? E_FAIL : S_OK;
    if (s.callLogging) s.log(c, "SimConnect_Close", "", result);
    const uint32_t closed = c->id;
    s.connections.erase(closed);
    // As the simulator does, the AI objects a client created leave with its connection, and its
    // creations still under way are dropped; the other clients see the objects removed.
    std::erase_if(s.arrivals, [closed](const Arrival& arrival) { return arrival.creator == closed; });
    for (auto it = s.ai.begin(); it != s.ai.end();) {
        if (it->second.creator != closed) {
            ++it;
            continue;
        }
        const uint32_t id = it->first;
        it = s.ai.erase(it);
        std::erase(s.departures, id);
        s.broadcastAddRemove("OBJECTREMOVED", id);
    }
    return result;
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext) {
    State& s = state();
    std::size_t budget = 0;
    {
        std::lock_guard guard(s.lock);
        Connection* c = s.find(hSimConnect);
        if (c == nullptr || pfcnDispatch == nullptr || s.takeFailure("SimConnect_CallDispatch")) return E_FAIL;
        if (c->quitting && c->queue.empty()) return E_FAIL;
        budget = c->queue.size();
    }
    // The callback runs without the world's lock: it calls back into SimConnect, and it may block
    // on the program's own locks that other threads hold while they call in here.
    for (; budget > 0; --budget) {
        Message message;
        {
            std::lock_guard guard(s.lock);
            Connection* c = s.find(hSimConnect);
            if (c == nullptr || c->queue.empty()) break;
            message = std::move(c->queue.front());
            c->queue.pop_front();
        }
        auto* record = reinterpret_cast<SIMCONNECT_RECV*>(message.words.data());
        if (record->dwID != SIMCONNECT_RECV_ID_QUIT) {
            pfcnDispatch(record, message.size, pContext);
            continue;
        }
        // The connection goes only once the client has heard of the quit, whatever its handler did.
        const auto announced = [&] {
            std::lock_guard guard(s.lock);
            if (Connection* c = s.find(hSimConnect)) c->quitAnnounced = true;
        };
        try {
            pfcnDispatch(record, message.size, pContext);
        } catch (...) {
            announced();
            throw;
        }
        announced();
    }
    return S_OK;
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, DWORD DefineID, const char* DatumName,
                                       const char* UnitsName, SIMCONNECT_DATATYPE DatumType, float fEpsilon,
                                       DWORD DatumID) {
    const std::string datum = textOf(DatumName);
    const std::string units = textOf(UnitsName);
    return connectionCall(
        hSimConnect, "SimConnect_AddToDataDefinition",
        [&] {
            return fmt::format("{},{},{},{},{},{}", DefineID, datum, units, static_cast<DWORD>(DatumType), fEpsilon,
                               DatumID);
        },
        [&](State&, Connection& c) {
            Datum d{upper(datum), upper(units), DatumType};
            if (!resolveDatum(d)) {
                queueException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 3);
                return S_OK;
            }
            c.definitions[DefineID].push_back(std::move(d));
            return S_OK;
        });
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, DWORD EventID, const char* SystemEventName) {
    const std::string name = textOf(SystemEventName);
    return connectionCall(
        hSimConnect, "SimConnect_SubscribeToSystemEvent", [&] { return fmt::format("{},{}", EventID, name); },
        [&](State& s, Connection& c) {
            c.systemEvents[EventID] = upper(name);
            // "Sim" tells the current state at once.
            if (upper(name) == "SIM") c.queue.push_back(eventMessage(EventID, s.running ? 1 : 0));
            return S_OK;
        });
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, DWORD EventID, const char* EventName) {
    const std::string name = textOf(EventName);
    return connectionCall(
        hSimConnect, "SimConnect_MapClientEventToSimEvent", [&] { return fmt::format("{},{}", EventID, name); },
        [&](State&, Connection& c) {
            c.clientEvents[EventID] = upper(name);
            return S_OK;
        });
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect, DWORD GroupID, DWORD EventID,
                                                     BOOL bMaskable) {
    return connectionCall(
        hSimConnect, "SimConnect_AddClientEventToNotificationGroup",
        [&] { return fmt::format("{},{},{}", GroupID, EventID, bMaskable); },
        [&](State&, Connection& c) {
            c.groups[GroupID].push_back(EventID);
            return S_OK;
        });
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect, DWORD GroupID, DWORD uPriority) {
    return connectionCall(
        hSimConnect, "SimConnect_SetNotificationGroupPriority",
        [&] { return fmt::format("{},{}", GroupID, uPriority); },
        [&](State&, Connection& c) {
            c.groupPriorities[GroupID] = uPriority;
            return S_OK;
        });
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID, DWORD ObjectID,
                                          SIMCONNECT_PERIOD Period, DWORD Flags, DWORD origin, DWORD interval,
                                          DWORD limit) {
    return connectionCall(
        hSimConnect, "SimConnect_RequestDataOnSimObject",
        [&] {
            return fmt::format("{},{},{},{},{},{},{},{}", RequestID, DefineID, ObjectID, static_cast<DWORD>(Period),
                               Flags, origin, interval, limit);
        },
        [&](State& s, Connection& c) {
            if (!c.definitions.contains(DefineID)) {
                queueException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
                return S_OK;
            }
            if (objectOrException(s, c, ObjectID, 3) == nullptr) return S_OK;
            const auto sameId = [&](const DataRequest& r) { return r.requestId == RequestID; };
            std::erase_if(c.secondRequests, sameId);
            const DataRequest request{RequestID, DefineID, ObjectID};
            if (Period == SIMCONNECT_PERIOD_ONCE) c.onceRequests.push_back(request);
            else if (Period == SIMCONNECT_PERIOD_SECOND) c.secondRequests.push_back(request);
            return S_OK;
        });
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, DWORD RequestID, DWORD DefineID,
                                              DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type) {
    return connectionCall(
        hSimConnect, "SimConnect_RequestDataOnSimObjectType",
        [&] { return fmt::format("{},{},{},{}", RequestID, DefineID, dwRadiusMeters, static_cast<DWORD>(type)); },
        [&](State&, Connection& c) {
            if (!c.definitions.contains(DefineID)) {
                queueException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
                return S_OK;
            }
            c.byTypeRequests.push_back(ByTypeRequest{RequestID, DefineID, dwRadiusMeters});
            return S_OK;
        });
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, DWORD DefineID, DWORD ObjectID, DWORD Flags,
                                      DWORD ArrayCount, DWORD cbUnitSize, void* pDataSet) {
    return connectionCall(
        hSimConnect, "SimConnect_SetDataOnSimObject",
        [&] { return fmt::format("{},{},{},{},{}", DefineID, ObjectID, Flags, ArrayCount, cbUnitSize); },
        [&](State& s, Connection& c) {
            const auto def = c.definitions.find(DefineID);
            if (def == c.definitions.end()) {
                queueException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
                return S_OK;
            }
            Object* o = objectOrException(s, c, ObjectID, 2);
            if (o == nullptr) return S_OK;
            const std::size_t size = blockSize(def->second);
            if (pDataSet == nullptr || size == 0 || cbUnitSize != size || ArrayCount > 1) {
                queueException(c, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, 6);
                return S_OK;
            }
            applyBlock(*o, def->second, static_cast<const std::byte*>(pDataSet));
            if (!o->user) s.followGround(*o);
            return S_OK;
        });
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, DWORD ObjectID, DWORD EventID, DWORD dwData,
                                       DWORD GroupID, DWORD Flags) {
    return connectionCall(
        hSimConnect, "SimConnect_TransmitClientEvent",
        [&] { return fmt::format("{},{},{},{},{}", ObjectID, EventID, dwData, GroupID, Flags); },
        [&](State& s, Connection& c) {
            const auto event = c.clientEvents.find(EventID);
            if (event == c.clientEvents.end()) {
                queueException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 2);
                return S_OK;
            }
            if (Object* o = objectOrException(s, c, ObjectID, 1)) applyClientEvent(*o, event->second, dwData);
            return S_OK;
        });
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                          const char* szTailNumber, SIMCONNECT_DATA_INITPOSITION InitPos,
                                          DWORD RequestID) {
    const std::string title = textOf(szContainerTitle);
    const std::string tail = textOf(szTailNumber);
    return connectionCall(
        hSimConnect, "SimConnect_AICreateNonATCAircraft",
        [&] {
            return fmt::format("{},{},{:.5f},{:.5f},{:.0f},{:.1f},{:.1f},{:.1f},{},{},{}", title, tail,
                               InitPos.Latitude, InitPos.Longitude, InitPos.Altitude, InitPos.Pitch, InitPos.Bank,
                               InitPos.Heading, InitPos.OnGround, InitPos.Airspeed, RequestID);
        },
        [&](State& s, Connection& c) {
            const auto own = s.creationAnswers.find(title);
            const CreationAnswer answer = own == s.creationAnswers.end() ? s.defaultAnswer : own->second;
            if (answer == CreationAnswer::Refuse) {
                queueException(c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, 0);
            } else if (answer == CreationAnswer::Create && s.ai.size() + s.arrivals.size() >= s.objectLimit) {
                queueException(c, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, 0);
            } else if (answer == CreationAnswer::Create) {
                constexpr double kRadPerDeg = 0.017453292519943295;
                Object o;
                o.id = s.nextObjectId++;
                o.creator = c.id;
                o.title = title;
                o.atcId = tail;
                o.latitude = InitPos.Latitude;
                o.longitude = InitPos.Longitude;
                o.altitude = InitPos.Altitude;
                o.pitch = InitPos.Pitch * kRadPerDeg;
                o.bank = InitPos.Bank * kRadPerDeg;
                o.heading = InitPos.Heading * kRadPerDeg;
                o.trueAirspeed = InitPos.Airspeed;
                const auto& model = s.geometryOf(title);
                o.staticCg = model.staticCgFeet;
                o.staticPitch = model.staticPitch;
                // A creation on the ground stands on it; otherwise the flag follows the altitude.
                const double ground = s.groundAt(o.latitude, o.longitude);
                if (InitPos.OnGround != 0) {
                    o.altitude = ground + o.staticCg;
                    o.pitch = o.staticPitch;
                }
                o.onGround = o.altitude - ground <= o.staticCg + 0.5;
                s.arrivals.push_back(
                    Arrival{std::move(o), c.id, RequestID, s.frame + static_cast<uint64_t>(s.creationDelayFrames)});
            }
            return S_OK;
        });
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwError) {
    return connectionCall(
        hSimConnect, "SimConnect_GetLastSentPacketID", [] { return std::string(); },
        [&](State&, Connection& c) {
            if (pdwError == nullptr) return E_FAIL;
            *pdwError = c.lastSendId;
            return S_OK;
        },
        false);
}

HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID) {
    return connectionCall(
        hSimConnect, "SimConnect_AIReleaseControl", [&] { return fmt::format("{},{}", ObjectID, RequestID); },
        [&](State& s, Connection& c) {
            if (Object* o = aiObjectOrException(s, c, ObjectID)) o->released = true;
            return S_OK;
        });
}

HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, DWORD ObjectID, DWORD RequestID) {
    return connectionCall(
        hSimConnect, "SimConnect_AIRemoveObject", [&] { return fmt::format("{},{}", ObjectID, RequestID); },
        [&](State& s, Connection& c) {
            if (Object* o = aiObjectOrException(s, c, ObjectID)) {
                if (std::find(s.departures.begin(), s.departures.end(), o->id) == s.departures.end())
                    s.departures.push_back(o->id);
            }
            return S_OK;
        });
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, DWORD ObjectID, const char* szFlightPlanPath,
                                           DWORD RequestID) {
    const std::string path = textOf(szFlightPlanPath);
    return connectionCall(
        hSimConnect, "SimConnect_AISetAircraftFlightPlan",
        [&] { return fmt::format("{},{},{}", ObjectID, path, RequestID); },
        [&](State& s, Connection& c) {
            Object* o = aiObjectOrException(s, c, ObjectID);
            if (o == nullptr) return S_OK;
            std::error_code ec;
            if (path.empty() || !std::filesystem::is_regular_file(std::filesystem::path(path), ec)) {
                queueException(c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, 2);
                return S_OK;
            }
            o->flightPlan = path;
            return S_OK;
        });
}

HRESULT SimConnect_AddToFacilityDefinition(HANDLE hSimConnect, DWORD DefineID, const char* FieldName) {
    const std::string field = textOf(FieldName);
    return connectionCall(
        hSimConnect, "SimConnect_AddToFacilityDefinition", [&] { return fmt::format("{},{}", DefineID, field); },
        [&](State&, Connection& c) {
            const std::string name = upper(field);
            if (!knownFacilityField(name)) {
                queueException(c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, 2);
                return S_OK;
            }
            c.facilityDefinitions[DefineID].push_back(name);
            return S_OK;
        });
}

HRESULT SimConnect_RequestFacilityData(HANDLE hSimConnect, DWORD DefineID, DWORD RequestID, const char* ICAO,
                                       const char* Region) {
    const std::string icao = textOf(ICAO);
    const std::string region = textOf(Region);
    return connectionCall(
        hSimConnect, "SimConnect_RequestFacilityData",
        [&] { return fmt::format("{},{},{},{}", DefineID, RequestID, icao, region); },
        [&](State& s, Connection& c) {
            const auto def = c.facilityDefinitions.find(DefineID);
            if (def == c.facilityDefinitions.end()) {
                queueException(c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, 1);
                return S_OK;
            }
            for (auto& m : facilityAnswer(s, def->second, RequestID, icao, c.lastSendId))
                c.queue.push_back(std::move(m));
            return S_OK;
        });
}
