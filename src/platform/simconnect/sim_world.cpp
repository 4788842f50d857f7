// The simulator's world: its state, what happens on a frame and on a simulator second, and the
// control face.

#include "platform/simconnect/sim_world.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

#include "platform/simconnect/sim_world_internal.hpp"

namespace platform::simconnect {
namespace detail {
namespace {

constexpr DWORD kMessageVersion = 6;
// A connection that is not dispatched gets no more Frame events beyond this many waiting
// messages, so that an idle connection cannot grow without end.
constexpr std::size_t kFrameQueueLimit = 1024;
constexpr double kPi = 3.141592653589793;
constexpr double kMetresPerNm = 1852.0;
// The simulator calls an object on the ground while its altitude lies within this of its static
// CG height above the ground.
constexpr double kOnGroundToleranceFeet = 0.5;
constexpr std::size_t kGroundEventLimit = 10000;

double distanceMetres(double lat1, double lon1, double lat2, double lon2) {
    const double rad = kPi / 180.0;
    const double dLat = (lat2 - lat1) * rad;
    const double dLon = (lon2 - lon1) * rad;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * std::atan2(std::sqrt(a), std::sqrt(1.0 - a)) * 3437.7467707849396 * kMetresPerNm;
}

Object userObject(const UserAircraft& a) {
    Object o;
    o.id = a.objectId;
    o.user = true;
    o.title = a.title;
    o.atcModel = a.atcModel;
    o.atcId = "USER";
    o.latitude = a.latitude;
    o.longitude = a.longitude;
    o.altitude = a.altitudeFeet;
    o.pitch = a.pitch;
    o.bank = a.bank;
    o.heading = a.heading;
    o.groundSpeed = a.groundSpeedKnots;
    o.onGround = a.onGround;
    return o;
}

ObjectView viewOf(const State& s, const Object& o) {
    ObjectView v;
    v.id = o.id;
    v.user = o.user;
    v.title = o.title;
    v.atcId = o.atcId;
    v.latitude = o.latitude;
    v.longitude = o.longitude;
    v.altitudeFeet = o.altitude;
    v.pitch = o.pitch;
    v.bank = o.bank;
    v.heading = o.heading;
    v.verticalSpeed = o.verticalSpeed;
    v.trueAirspeed = o.trueAirspeed;
    v.onGround = o.onGround;
    v.lights = o.lights;
    v.freezeLatLon = o.freezeLatLon;
    v.freezeAltitude = o.freezeAltitude;
    v.freezeAttitude = o.freezeAttitude;
    v.aiReleased = o.released;
    v.spoilers = o.spoilers;
    v.throttle1 = o.throttle1;
    v.throttle2 = o.throttle2;
    v.flaps = o.flaps;
    v.gearDown = o.gearDown;
    v.enginesRunning = o.enginesRunning;
    v.parkingBrake = o.parkingBrake;
    v.staticCgFeet = o.staticCg;
    v.staticPitch = o.staticPitch;
    v.groundAltitudeFeet = s.groundAt(o.latitude, o.longitude);
    v.heightAboveGroundFeet = std::max(0.0, o.altitude - v.groundAltitudeFeet);
    v.flightPlan = o.flightPlan;
    v.positionUpdates = o.positionUpdates;
    v.eventCount = o.eventCount;
    return v;
}

std::string lightsText(uint32_t lights) {
    static const std::pair<uint32_t, const char*> names[] = {{0x1, "nav"},     {0x2, "beacon"}, {0x4, "landing"},
                                                             {0x8, "taxi"},    {0x10, "strobe"}, {0x100, "logo"},
                                                             {0x200, "cabin"}};
    std::string out;
    for (const auto& [bit, name] : names) {
        if ((lights & bit) == 0) continue;
        if (!out.empty()) out += ',';
        out += name;
    }
    return out.empty() ? "-" : out;
}

std::string objectLine(const State& s, const Object& o) {
    std::string frozen;
    if (o.freezeLatLon) frozen += "P";
    if (o.freezeAltitude) frozen += "A";
    if (o.freezeAttitude) frozen += "T";
    const double height = std::max(0.0, o.altitude - s.groundAt(o.latitude, o.longitude));
    return fmt::format("{:<4} {:>10} {:<8} {:10.5f} {:11.5f} {:7.0f} ft {:6.0f} agl {:5.1f} deg {:6.1f} kt {:<6} "
                       "frozen:{:<3} flaps:{:.0f}% gear:{} spoilers:{:.0f}% throttle:{:.0f}% engines:{} brake:{} "
                       "lights:{} '{}'",
                       o.user ? "user" : "AI", o.id, o.atcId, o.latitude, o.longitude, o.altitude, height,
                       o.heading * 180.0 / kPi, o.user ? o.groundSpeed : o.trueAirspeed,
                       o.onGround ? "ground" : "air", frozen.empty() ? "-" : frozen, o.flaps,
                       o.gearDown ? "down" : "up", o.spoilers, o.throttle1, o.enginesRunning ? "on" : "off",
                       o.parkingBrake ? "set" : "off", lightsText(o.lights), o.title);
}

// Static CG heights and pitches of common models, matched against the upper-case title.
const std::vector<ModelGeometry>& builtInModels() {
    static const std::vector<ModelGeometry> table{
        {"A380", 19.4, 0.0035}, {"747", 17.0, 0.0045},   {"777", 15.6, 0.0055},   {"787", 14.6, 0.0050},
        {"A350", 15.0, 0.0050}, {"A330", 14.2, 0.0050},  {"A340", 14.5, 0.0050},  {"767", 13.0, 0.0050},
        {"757", 10.6, 0.0050},  {"A32", 8.9, 0.0050},    {"A31", 8.8, 0.0050},    {"A20N", 8.9, 0.0050},
        {"A21N", 8.9, 0.0050},  {"737", 8.4, 0.0060},    {"B38M", 8.4, 0.0060},   {"CRJ", 6.8, 0.0140},
        {"E17", 7.2, 0.0100},   {"E19", 7.6, 0.0100},    {"ATR", 7.0, 0.0000},    {"DASH 8", 7.4, 0.0000},
        {"DHC", 7.4, 0.0000},   {"CESSNA", 4.0, 0.0300}, {"C172", 4.0, 0.0300},   {"HELICOPTER", 5.2, 0.0000},
        {"H135", 5.2, 0.0000},  {"H145", 5.4, 0.0000},   {"BELL", 5.0, 0.0000},
    };
    return table;
}

double bearing(double lat1, double lon1, double lat2, double lon2) {
    const double rad = kPi / 180.0;
    const double y = std::sin((lon2 - lon1) * rad) * std::cos(lat2 * rad);
    const double x = std::cos(lat1 * rad) * std::sin(lat2 * rad) -
                     std::sin(lat1 * rad) * std::cos(lat2 * rad) * std::cos((lon2 - lon1) * rad);
    const double b = std::atan2(y, x);
    return b < 0.0 ? b + 2.0 * kPi : b;
}

std::string isoTime(int64_t seconds) {
    const int64_t day = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t inDay = seconds - day * 86400;
    // Days since 1970 to the civil date.
    int64_t z = day + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", y, m, d, inDay / 3600, inDay / 60 % 60, inDay % 60);
}

// A text field of a trace line: no separators inside.
std::string traceField(std::string text) {
    for (char& c : text)
        if (c == ',' || c == '\n' || c == '\r') c = '_';
    return text;
}

std::string timelineText(const TimelineEvent& e) {
    switch (e.kind) {
    case TimelineEvent::Kind::Pause: return "pause";
    case TimelineEvent::Kind::Unpause: return "unpause";
    case TimelineEvent::Kind::NewFlight: return fmt::format("new flight '{}'", e.text);
    case TimelineEvent::Kind::Quit: return "quit";
    case TimelineEvent::Kind::Start: return "start";
    case TimelineEvent::Kind::RemoveObject:
        return e.text.empty() ? fmt::format("remove object {}", e.objectId) : fmt::format("remove object '{}'", e.text);
    case TimelineEvent::Kind::RefuseTitle: return fmt::format("refuse title '{}'", e.text);
    }
    return "?";
}

} // namespace

State& state() {
    static auto* s = [] {
        auto* fresh = new State;
        fresh->resetLocked();
        return fresh;
    }();
    return *s;
}

void State::resetLocked() {
    available = false;
    running = false;
    appName = "KittyHawk";
    appVersion = {11, 0, 282174, 999};
    user = userObject(UserAircraft{});
    ai.clear();
    arrivals.clear();
    departures.clear();
    nextObjectId = 100;
    groundAltitude = 0.0;
    airportGroundRadiusNm = 8.0;
    zulu = 1767225600; // 2026-01-01 00:00:00 UTC
    frame = 0;
    creationDelayFrames = 1;
    objectLimit = 1000;
    models.clear();
    defaultModel = ModelGeometry{};
    groundEvents.clear();
    userRoute.clear();
    userRouteNext = 0;
    timeline.clear();
    timelineNext = 0;
    timelineLog.clear();
    traceFile.clear();
    if (trace.is_open()) trace.close();
    trace.clear();
    traceFailed = false;
    creationAnswers.clear();
    defaultAnswer = CreationAnswer::Refuse;
    airports.clear();
    connections.clear();
    failures.clear();
    calls.clear();
    callLogging = true;
}

Connection* State::find(HANDLE handle) {
    const auto id = static_cast<uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
    const auto it = connections.find(id);
    return it == connections.end() ? nullptr : &it->second;
}

Connection* State::findByName(std::string_view name) {
    Connection* newest = nullptr;
    for (auto& [id, c] : connections)
        if (c.name == name) newest = &c;
    return newest;
}

Object* State::findObject(DWORD id) {
    if (id == SIMCONNECT_OBJECT_ID_USER || id == user.id) return &user;
    const auto it = ai.find(id);
    return it == ai.end() ? nullptr : &it->second;
}

bool State::takeFailure(std::string_view function) {
    const auto it = failures.find(function);
    if (it == failures.end() || it->second == 0) return false;
    if (it->second > 0) --it->second;
    return true;
}

void State::log(const Connection* connection, std::string_view function, std::string args, HRESULT result) {
    if (!callLogging) return;
    calls.push_back(CallRecord{connection ? connection->name : std::string(), std::string(function), std::move(args),
                               result});
}

void State::broadcastEvent(std::string_view systemEvent, DWORD data) {
    for (auto& [id, c] : connections) {
        if (c.quitting) continue;
        for (const auto& [eventId, name] : c.systemEvents)
            if (name == systemEvent) c.queue.push_back(eventMessage(eventId, data));
    }
}

void State::broadcastAddRemove(std::string_view systemEvent, uint32_t objectId) {
    for (auto& [id, c] : connections) {
        if (c.quitting) continue;
        for (const auto& [eventId, name] : c.systemEvents) {
            if (name != systemEvent) continue;
            Bytes body;
            body.u32(0);
            body.u32(eventId);
            body.u32(objectId);
            body.u32(SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
            c.queue.push_back(makeMessage(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, body.bytes()));
        }
    }
}

bool State::answerData(Connection& connection, const DataRequest& request, DWORD outOf, DWORD entry,
                       SIMCONNECT_RECV_ID id) {
    const auto def = connection.definitions.find(request.defineId);
    const Object* object = findObject(request.objectId);
    if (def == connection.definitions.end() || object == nullptr) return false;
    Bytes body;
    body.u32(request.requestId);
    body.u32(object->id);
    body.u32(request.defineId);
    body.u32(0);
    body.u32(entry);
    body.u32(outOf);
    body.u32(static_cast<DWORD>(def->second.size()));
    const auto block = buildBlock(*this, *object, def->second);
    body.put(block.data(), block.size());
    connection.queue.push_back(makeMessage(id, body.bytes()));
    return true;
}

void State::answerByType(Connection& connection, const ByTypeRequest& request) {
    std::vector<DWORD> inRange;
    const auto within = [&](const Object& o) {
        return distanceMetres(user.latitude, user.longitude, o.latitude, o.longitude) <= request.radiusMetres;
    };
    if (within(user)) inRange.push_back(user.id);
    for (const auto& [id, o] : ai)
        if (within(o)) inRange.push_back(id);
    const auto outOf = static_cast<DWORD>(inRange.size());
    for (DWORD i = 0; i < outOf; ++i)
        answerData(connection, DataRequest{request.requestId, request.defineId, inRange[i]}, outOf, i + 1,
                   SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
}

void State::frameLocked() {
    ++frame;
    for (const uint32_t id : departures)
        if (ai.erase(id) != 0) broadcastAddRemove("OBJECTREMOVED", id);
    departures.clear();
    // Arrivals in the order of their requests; those not yet due wait.
    std::vector<Arrival> due;
    for (auto it = arrivals.begin(); it != arrivals.end();) {
        if (it->dueFrame <= frame) {
            due.push_back(std::move(*it));
            it = arrivals.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& arrival : due) {
        const uint32_t id = arrival.object.id;
        ai[id] = std::move(arrival.object);
        broadcastAddRemove("OBJECTADDED", id);
        const auto creator = connections.find(arrival.creator);
        if (creator != connections.end() && !creator->second.quitting) {
            Bytes body;
            body.u32(arrival.requestId);
            body.u32(id);
            creator->second.queue.push_back(makeMessage(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, body.bytes()));
        }
    }
    for (auto& [id, o] : ai) followGround(o);
    for (auto& [id, c] : connections) {
        if (c.quitting) continue;
        if (running) {
            for (const auto& request : c.onceRequests)
                answerData(c, request, 1, 1, SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
            c.onceRequests.clear();
            for (const auto& request : c.byTypeRequests) answerByType(c, request);
            c.byTypeRequests.clear();
        }
        if (c.queue.size() >= kFrameQueueLimit) continue;
        for (const auto& [eventId, name] : c.systemEvents) {
            if (name != "FRAME") continue;
            Bytes body;
            body.u32(0);
            body.u32(eventId);
            body.u32(0);
            body.f32(30.0f);
            body.f32(1.0f);
            c.queue.push_back(makeMessage(SIMCONNECT_RECV_ID_EVENT_FRAME, body.bytes()));
        }
    }
}

void State::secondLocked() {
    if (!running) return;
    ++zulu;
    if (userRouteNext < userRoute.size()) {
        moveUserAlongRoute();
    } else if (user.groundSpeed > 0.0) {
        const double nm = user.groundSpeed / 3600.0;
        user.latitude += nm * std::cos(user.heading) / 60.0;
        const double cosLat = std::cos(user.latitude * kPi / 180.0);
        if (std::fabs(cosLat) > 1e-9) user.longitude += nm * std::sin(user.heading) / (60.0 * cosLat);
    }
    for (auto& [id, c] : connections) {
        if (c.quitting) continue;
        for (const auto& request : c.secondRequests) answerData(c, request, 1, 1, SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    }
    writeTrace();
}

double State::groundAt(double latitude, double longitude) const {
    double nearest = airportGroundRadiusNm * kMetresPerNm;
    double ground = groundAltitude;
    for (const auto& [code, a] : airports) {
        if (!a.groundAltitudeFeet) continue;
        const double d = distanceMetres(latitude, longitude, a.latitude, a.longitude);
        if (d <= nearest) {
            nearest = d;
            ground = *a.groundAltitudeFeet;
        }
    }
    return ground;
}

const ModelGeometry& State::geometryOf(std::string_view title) const {
    const std::string name = upper(title);
    for (const auto& m : models)
        if (name.find(m.match) != std::string::npos) return m;
    for (const auto& m : builtInModels())
        if (name.find(m.match) != std::string::npos) return m;
    return defaultModel;
}

void State::followGround(Object& o) {
    const double ground = groundAt(o.latitude, o.longitude);
    const bool onGroundNow = o.altitude - ground <= o.staticCg + kOnGroundToleranceFeet;
    if (onGroundNow == o.onGround) return;
    o.onGround = onGroundNow;
    o.groundChange = onGroundNow ? "touchdown" : "lift-off";
    groundEvents.push_back(GroundEvent{frame, zulu, o.id, o.atcId, onGroundNow, o.latitude, o.longitude});
    if (groundEvents.size() > kGroundEventLimit) groundEvents.erase(groundEvents.begin());
}

void State::moveUserAlongRoute() {
    double budgetNm = 0.0;
    while (userRouteNext < userRoute.size()) {
        const RoutePoint& target = userRoute[userRouteNext];
        if (target.groundSpeedKnots > 0.0) user.groundSpeed = target.groundSpeedKnots;
        if (budgetNm == 0.0) budgetNm = user.groundSpeed / 3600.0;
        const double leftNm = distanceMetres(user.latitude, user.longitude, target.latitude, target.longitude) / kMetresPerNm;
        if (leftNm > 1e-9) user.heading = bearing(user.latitude, user.longitude, target.latitude, target.longitude);
        if (budgetNm <= 0.0) break;
        if (leftNm <= budgetNm) {
            user.latitude = target.latitude;
            user.longitude = target.longitude;
            user.altitude = target.altitudeFeet;
            budgetNm -= leftNm;
            ++userRouteNext;
            if (budgetNm <= 1e-12) break;
            continue;
        }
        const double f = budgetNm / leftNm;
        user.latitude += (target.latitude - user.latitude) * f;
        user.longitude += (target.longitude - user.longitude) * f;
        user.altitude += (target.altitudeFeet - user.altitude) * f;
        break;
    }
    if (userRouteNext >= userRoute.size()) user.groundSpeed = 0.0;
    const double ground = groundAt(user.latitude, user.longitude);
    const bool onGroundNow = user.altitude - ground <= user.staticCg + kOnGroundToleranceFeet;
    if (onGroundNow != user.onGround) user.groundChange = onGroundNow ? "touchdown" : "lift-off";
    user.onGround = onGroundNow;
}

static std::string traceLineOf(const State& s, const Object& o, const std::string& time) {
    const double ground = s.groundAt(o.latitude, o.longitude);
    std::string lights = lightsText(o.lights);
    std::replace(lights.begin(), lights.end(), ',', '+');
    return fmt::format("{},{},{},{:.6f},{:.6f},{:.1f},{:.1f},{:.1f},{},{:.0f},{},{:.0f},{:.0f},{},{},{},{}\n", time,
                       o.id, traceField(o.atcId), o.latitude, o.longitude, o.altitude,
                       std::max(0.0, o.altitude - ground), o.heading * 180.0 / kPi, o.onGround ? 1 : 0, o.flaps,
                       o.gearDown ? 1 : 0, o.spoilers, o.throttle1, o.enginesRunning ? 1 : 0, o.parkingBrake ? 1 : 0,
                       lights, o.groundChange);
}

void State::writeTrace() {
    if (!trace.is_open() || traceFailed) return;
    const std::string time = isoTime(zulu);
    trace << traceLineOf(*this, user, time);
    user.groundChange.clear();
    for (auto& [id, o] : ai) {
        trace << traceLineOf(*this, o, time);
        o.groundChange.clear();
    }
    trace.flush();
    if (!trace) traceFailed = true; // a full disk ends the trace, never the simulator
}

void State::quitLocked() {
    available = false;
    running = false;
    for (auto& [id, c] : connections) {
        if (c.quitting) continue;
        c.queue.push_back(makeMessage(SIMCONNECT_RECV_ID_QUIT, {}));
        c.quitting = true;
    }
    ai.clear();
    arrivals.clear();
    departures.clear();
}

void State::setRunningLocked(bool on) {
    if (running == on) return;
    running = on;
    broadcastEvent("SIM", on ? 1 : 0);
}

void State::loadFlightLocked(const std::string& fileName) {
    for (auto& [id, c] : connections) {
        if (c.quitting) continue;
        for (const auto& [eventId, name] : c.systemEvents) {
            if (name != "FLIGHTLOADED") continue;
            Bytes body;
            body.u32(0);
            body.u32(eventId);
            body.u32(0);
            body.text(fileName, 260);
            body.u32(0);
            c.queue.push_back(makeMessage(SIMCONNECT_RECV_ID_EVENT_FILENAME, body.bytes()));
        }
    }
    // The old flight's AI traffic goes with it.
    for (const auto& [id, o] : ai)
        if (std::find(departures.begin(), departures.end(), id) == departures.end()) departures.push_back(id);
    arrivals.clear();
}

bool State::removeObjectLocked(uint32_t id) {
    if (!ai.contains(id)) return false;
    if (std::find(departures.begin(), departures.end(), id) == departures.end()) departures.push_back(id);
    return true;
}

void State::applyTimelineEvent(const TimelineEvent& e) {
    bool done = true;
    switch (e.kind) {
    case TimelineEvent::Kind::Pause: setRunningLocked(false); break;
    case TimelineEvent::Kind::Unpause: setRunningLocked(true); break;
    case TimelineEvent::Kind::NewFlight:
        loadFlightLocked(e.text);
        if (e.user) {
            user = userObject(*e.user);
            userRoute = e.user->route;
            userRouteNext = 0;
            user.staticCg = geometryOf(user.title).staticCgFeet;
        }
        break;
    case TimelineEvent::Kind::Quit: quitLocked(); break;
    case TimelineEvent::Kind::Start: available = true; break;
    case TimelineEvent::Kind::RemoveObject:
        if (!e.text.empty()) {
            done = false;
            for (const auto& [id, o] : ai)
                if (o.atcId == e.text) done = removeObjectLocked(id) || done;
        } else {
            done = removeObjectLocked(e.objectId);
        }
        break;
    case TimelineEvent::Kind::RefuseTitle: creationAnswers[e.text] = CreationAnswer::Refuse; break;
    }
    timelineLog.push_back(fmt::format("{:.1f} s: {}{}", e.atSeconds, timelineText(e), done ? "" : " (no such object)"));
}

Message makeMessage(SIMCONNECT_RECV_ID id, const std::vector<std::byte>& body) {
    Message m;
    m.size = static_cast<DWORD>(sizeof(SIMCONNECT_RECV) + body.size());
    m.words.assign((m.size + 7) / 8, 0);
    const SIMCONNECT_RECV header{m.size, kMessageVersion, id};
    auto* bytes = reinterpret_cast<std::byte*>(m.words.data());
    std::memcpy(bytes, &header, sizeof header);
    if (!body.empty()) std::memcpy(bytes + sizeof header, body.data(), body.size());
    return m;
}

Message exceptionMessage(DWORD exception, DWORD sendId, DWORD index) {
    Bytes body;
    body.u32(exception);
    body.u32(sendId);
    body.u32(index);
    return makeMessage(SIMCONNECT_RECV_ID_EXCEPTION, body.bytes());
}

Message eventMessage(DWORD eventId, DWORD data) {
    Bytes body;
    body.u32(0);
    body.u32(eventId);
    body.u32(data);
    return makeMessage(SIMCONNECT_RECV_ID_EVENT, body.bytes());
}

} // namespace detail

using detail::state;

namespace {

// Runs `use` on the world's state with its lock held; what it gives back is made under the lock.
template <class Use>
auto underLock(Use&& use) {
    detail::State& s = state();
    std::lock_guard guard(s.lock);
    return use(s);
}

} // namespace

std::string CallRecord::text() const { return fmt::format("{}({})", function, args); }

SimWorld& simWorld() {
    static SimWorld world;
    return world;
}

void SimWorld::reset() {
    underLock([&](detail::State& s) { s.resetLocked(); });
}

void SimWorld::startSimulator() {
    underLock([&](detail::State& s) { s.available = true; });
}

void SimWorld::quitSimulator() {
    underLock([&](detail::State& s) { s.quitLocked(); });
}

bool SimWorld::simulatorAvailable() const {
    return underLock([&](detail::State& s) { return s.available; });
}

void SimWorld::setFlightRunning(bool running) {
    underLock([&](detail::State& s) { s.setRunningLocked(running); });
}

bool SimWorld::flightRunning() const {
    return underLock([&](detail::State& s) { return s.running; });
}

void SimWorld::loadFlight(const std::string& fileName) {
    underLock([&](detail::State& s) { s.loadFlightLocked(fileName); });
}

void SimWorld::setApplication(const std::string& name, std::array<uint32_t, 4> version) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    s.appName = name;
    s.appVersion = version;
}

void SimWorld::setUserAircraft(const UserAircraft& aircraft) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    detail::Object fresh = detail::userObject(aircraft);
    fresh.lights = s.user.lights;
    fresh.staticCg = s.geometryOf(aircraft.title).staticCgFeet;
    fresh.staticPitch = s.geometryOf(aircraft.title).staticPitch;
    s.user = std::move(fresh);
    s.userRoute = aircraft.route;
    s.userRouteNext = 0;
    s.nextObjectId = std::max(s.nextObjectId, aircraft.objectId + 1);
}

UserAircraft SimWorld::userAircraft() const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    UserAircraft a;
    a.objectId = s.user.id;
    a.title = s.user.title;
    a.atcModel = s.user.atcModel;
    a.latitude = s.user.latitude;
    a.longitude = s.user.longitude;
    a.altitudeFeet = s.user.altitude;
    a.pitch = s.user.pitch;
    a.bank = s.user.bank;
    a.heading = s.user.heading;
    a.groundSpeedKnots = s.user.groundSpeed;
    a.onGround = s.user.onGround;
    a.route = s.userRoute;
    return a;
}

void SimWorld::setGroundAltitude(double feet) {
    underLock([&](detail::State& s) { s.groundAltitude = feet; });
}

void SimWorld::setAirportGroundRadius(double nauticalMiles) {
    underLock([&](detail::State& s) { s.airportGroundRadiusNm = std::max(0.0, nauticalMiles); });
}

double SimWorld::groundAltitudeAt(double latitude, double longitude) const {
    return underLock([&](detail::State& s) { return s.groundAt(latitude, longitude); });
}

void SimWorld::setModelGeometry(const ModelGeometry& model) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    ModelGeometry m = model;
    m.match = detail::upper(m.match);
    if (m.match.empty())
        s.defaultModel = m;
    else
        s.models.insert(s.models.begin(), m);
}

ModelGeometry SimWorld::modelGeometry(std::string_view title) const {
    return underLock([&](detail::State& s) { return s.geometryOf(title); });
}

void SimWorld::setObjectLimit(std::size_t count) {
    underLock([&](detail::State& s) { s.objectLimit = count; });
}

void SimWorld::setCreationDelay(int frames) {
    underLock([&](detail::State& s) { s.creationDelayFrames = std::max(1, frames); });
}

std::vector<GroundEvent> SimWorld::groundEvents() const {
    return underLock([&](detail::State& s) { return s.groundEvents; });
}

void SimWorld::setTimeline(std::vector<TimelineEvent> events) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    std::stable_sort(events.begin(), events.end(),
                     [](const TimelineEvent& a, const TimelineEvent& b) { return a.atSeconds < b.atSeconds; });
    s.timeline = std::move(events);
    s.timelineNext = 0;
}

int SimWorld::advanceTimeline(double secondsSinceStart) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    int applied = 0;
    while (s.timelineNext < s.timeline.size() && s.timeline[s.timelineNext].atSeconds <= secondsSinceStart) {
        s.applyTimelineEvent(s.timeline[s.timelineNext]);
        ++s.timelineNext;
        ++applied;
    }
    return applied;
}

std::vector<std::string> SimWorld::timelineLog() const {
    return underLock([&](detail::State& s) { return s.timelineLog; });
}

bool SimWorld::setTraceFile(const std::filesystem::path& file) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    if (s.trace.is_open()) s.trace.close();
    s.trace.clear();
    s.traceFailed = false;
    s.traceFile = file;
    if (file.empty()) return true;
    s.trace.open(file, std::ios::binary | std::ios::trunc);
    if (!s.trace) {
        s.traceFailed = true;
        return false;
    }
    s.trace << traceHeader() << '\n';
    s.trace.flush();
    return static_cast<bool>(s.trace);
}

std::string SimWorld::traceHeader() {
    return "utc,id,atc_id,latitude,longitude,altitude_ft,height_ft,heading_deg,on_ground,flaps_pct,gear_down,"
           "spoilers_pct,throttle_pct,engines,parking_brake,lights,ground_event";
}

void SimWorld::setZuluTime(int64_t secondsSince1970) {
    underLock([&](detail::State& s) { s.zulu = secondsSince1970; });
}

int64_t SimWorld::zuluTime() const {
    return underLock([&](detail::State& s) { return s.zulu; });
}

void SimWorld::setNextObjectId(uint32_t id) {
    underLock([&](detail::State& s) { s.nextObjectId = std::max(id, s.user.id + 1); });
}

void SimWorld::setCreationAnswer(const std::string& title, CreationAnswer answer) {
    underLock([&](detail::State& s) { s.creationAnswers[title] = answer; });
}

void SimWorld::setDefaultCreationAnswer(CreationAnswer answer) {
    underLock([&](detail::State& s) { s.defaultAnswer = answer; });
}

uint32_t SimWorld::addForeignAircraft(const std::string& title, const std::string& atcId, double latitude,
                                      double longitude, double altitudeFeet, bool onGround) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    detail::Object o;
    o.id = s.nextObjectId++;
    o.title = title;
    o.atcId = atcId;
    o.latitude = latitude;
    o.longitude = longitude;
    o.altitude = altitudeFeet;
    o.onGround = onGround;
    o.staticCg = s.geometryOf(title).staticCgFeet;
    o.staticPitch = s.geometryOf(title).staticPitch;
    const uint32_t id = o.id;
    s.arrivals.push_back(detail::Arrival{std::move(o), 0, 0, s.frame + 1});
    return id;
}

bool SimWorld::removeObject(uint32_t id) {
    return underLock([&](detail::State& s) { return s.removeObjectLocked(id); });
}

std::vector<ObjectView> SimWorld::objects() const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    std::vector<ObjectView> out;
    out.push_back(detail::viewOf(s, s.user));
    for (const auto& [id, o] : s.ai) out.push_back(detail::viewOf(s, o));
    return out;
}

std::optional<ObjectView> SimWorld::object(uint32_t id) const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    const detail::Object* o = s.findObject(id);
    if (o == nullptr) return std::nullopt;
    return detail::viewOf(s, *o);
}

std::size_t SimWorld::aiObjectCount() const {
    return underLock([&](detail::State& s) { return s.ai.size(); });
}

void SimWorld::addAirport(const Airport& airport) {
    underLock([&](detail::State& s) { s.airports[detail::upper(airport.icao)] = airport; });
}

std::vector<Airport> SimWorld::airports() const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    std::vector<Airport> out;
    for (const auto& [code, a] : s.airports) out.push_back(a);
    return out;
}

void SimWorld::failCalls(const std::string& function, int count) {
    underLock([&](detail::State& s) { s.failures[function] = count; });
}

bool SimWorld::injectMessage(std::string_view connectionName, const std::vector<std::byte>& message) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    detail::Connection* c = s.findByName(connectionName);
    if (c == nullptr) return false;
    detail::Message m;
    m.size = static_cast<DWORD>(message.size());
    m.words.assign((message.size() + 7) / 8 + 1, 0);
    if (!message.empty()) std::memcpy(m.words.data(), message.data(), message.size());
    c->queue.push_back(std::move(m));
    return true;
}

bool SimWorld::injectException(std::string_view connectionName, DWORD exception, DWORD sendId, DWORD index) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    detail::Connection* c = s.findByName(connectionName);
    if (c == nullptr) return false;
    c->queue.push_back(detail::exceptionMessage(exception, sendId, index));
    return true;
}

bool SimWorld::injectEvent(std::string_view connectionName, DWORD eventId, DWORD data) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    detail::Connection* c = s.findByName(connectionName);
    if (c == nullptr) return false;
    c->queue.push_back(detail::eventMessage(eventId, data));
    return true;
}

std::size_t SimWorld::pendingMessages(std::string_view connectionName) const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    const detail::Connection* c = s.findByName(connectionName);
    return c == nullptr ? 0 : c->queue.size();
}

std::vector<std::string> SimWorld::connections() const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    std::vector<std::string> out;
    for (const auto& [id, c] : s.connections) out.push_back(c.name);
    return out;
}

std::vector<CallRecord> SimWorld::calls() const {
    return underLock([&](detail::State& s) { return s.calls; });
}

std::vector<CallRecord> SimWorld::callsOf(std::string_view function) const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    std::vector<CallRecord> out;
    std::copy_if(s.calls.begin(), s.calls.end(), std::back_inserter(out),
                 [&](const CallRecord& r) { return r.function == function; });
    return out;
}

void SimWorld::clearCalls() {
    underLock([&](detail::State& s) { s.calls.clear(); });
}

void SimWorld::setCallLogging(bool on) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    s.callLogging = on;
    if (!on) s.calls.clear();
}

void SimWorld::stepFrames(int count) {
    underLock([&](detail::State& s) { for (int i = 0; i < count; ++i) s.frameLocked(); });
}

void SimWorld::stepSeconds(int count) {
    underLock([&](detail::State& s) { for (int i = 0; i < count; ++i) s.secondLocked(); });
}

uint64_t SimWorld::frameNumber() const {
    return underLock([&](detail::State& s) { return s.frame; });
}

std::string SimWorld::snapshotText() const {
    auto& s = state();
    std::lock_guard guard(s.lock);
    const int64_t secondOfDay = ((s.zulu % 86400) + 86400) % 86400;
    std::string out = fmt::format("Simulator {}, frame {}, zulu {:02}:{:02}:{:02}, flight {}, {} AI object{}\n",
                                  s.available ? "available" : "not available", s.frame, secondOfDay / 3600,
                                  secondOfDay / 60 % 60, secondOfDay % 60, s.running ? "running" : "not running",
                                  s.ai.size(), s.ai.size() == 1 ? "" : "s");
    out += detail::objectLine(s, s.user);
    out += '\n';
    for (const auto& [id, o] : s.ai) {
        out += detail::objectLine(s, o);
        out += '\n';
    }
    return out;
}

} // namespace platform::simconnect
