// Scenario files and the clock thread of an autonomous run.

#include "platform/simconnect/sim_scenario.hpp"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <optional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/simconnect/sim_world.hpp"

namespace platform::simconnect {
namespace {

using nlohmann::json;

constexpr double kRadPerDeg = 0.017453292519943295;

struct Scenario {
    std::string appName = "KittyHawk";
    std::array<uint32_t, 4> appVersion{11, 0, 282174, 999};
    double startAfter = 0.0;
    double flightAfter = 0.0;
    double frameRate = 30.0;
    std::optional<int64_t> zulu;
    double groundAltitude = 0.0;
    std::optional<uint32_t> nextObjectId;
    bool acceptAll = false;
    std::vector<std::string> knownTitles;
    std::vector<std::string> refusedTitles;
    UserAircraft user;
    std::vector<Airport> airports;
    std::filesystem::path snapshotFile;
    std::filesystem::path traceFile;
    std::optional<std::size_t> objectLimit;
    int creationDelayFrames = 1;
    std::optional<double> groundRadiusNm;
    std::vector<ModelGeometry> models;
    std::vector<TimelineEvent> timeline;
};

[[noreturn]] void bad(const std::string& where, const std::string& what) {
    throw std::runtime_error(fmt::format("{}: {}", where, what));
}

void onlyKeys(const json& object, const std::string& where, std::initializer_list<const char*> keys) {
    if (!object.is_object()) bad(where, "must be an object");
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (const char* k : keys) known = known || key == k;
        if (!known) bad(where, fmt::format("unknown key '{}'", key));
    }
}

double number(const json& object, const char* key, double fallback, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (!it->is_number()) bad(where, fmt::format("'{}' must be a number", key));
    return it->get<double>();
}

template <typename Int> Int whole(const json& object, const char* key, Int fallback, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (!it->is_number_integer()) bad(where, fmt::format("'{}' must be a whole number", key));
    const auto value = it->get<int64_t>();
    if (value < static_cast<int64_t>(std::numeric_limits<Int>::min()) ||
        (value > 0 && static_cast<uint64_t>(value) > static_cast<uint64_t>(std::numeric_limits<Int>::max())))
        bad(where, fmt::format("'{}' is out of range", key));
    return static_cast<Int>(value);
}

std::string text(const json& object, const char* key, const std::string& fallback, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (!it->is_string()) bad(where, fmt::format("'{}' must be a text", key));
    return it->get<std::string>();
}

bool flag(const json& object, const char* key, bool fallback, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if (!it->is_boolean()) bad(where, fmt::format("'{}' must be true or false", key));
    return it->get<bool>();
}

std::vector<std::string> texts(const json& object, const char* key, const std::string& where) {
    std::vector<std::string> out;
    const auto it = object.find(key);
    if (it == object.end()) return out;
    if (!it->is_array()) bad(where, fmt::format("'{}' must be a list of texts", key));
    for (const auto& item : *it) {
        if (!item.is_string()) bad(where, fmt::format("'{}' must be a list of texts", key));
        out.push_back(item.get<std::string>());
    }
    return out;
}

const json* list(const json& object, const char* key, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) return nullptr;
    if (!it->is_array()) bad(where, fmt::format("'{}' must be a list", key));
    return &*it;
}

void checkPosition(double latitude, double longitude, const std::string& where) {
    if (!(latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0))
        bad(where, "the position is not on the earth");
}

UserAircraft readUser(const json& j, const std::string& where = "user_aircraft") {
    onlyKeys(j, where,
             {"object_id", "title", "atc_model", "latitude", "longitude", "altitude_ft", "heading_deg", "pitch_deg",
              "bank_deg", "ground_speed_kt", "on_ground", "route"});
    UserAircraft a;
    a.objectId = whole<uint32_t>(j, "object_id", a.objectId, where);
    a.title = text(j, "title", a.title, where);
    a.atcModel = text(j, "atc_model", a.atcModel, where);
    a.latitude = number(j, "latitude", 0.0, where);
    a.longitude = number(j, "longitude", 0.0, where);
    a.altitudeFeet = number(j, "altitude_ft", 0.0, where);
    a.heading = number(j, "heading_deg", 0.0, where) * kRadPerDeg;
    a.pitch = number(j, "pitch_deg", 0.0, where) * kRadPerDeg;
    a.bank = number(j, "bank_deg", 0.0, where) * kRadPerDeg;
    a.groundSpeedKnots = number(j, "ground_speed_kt", 0.0, where);
    a.onGround = flag(j, "on_ground", true, where);
    checkPosition(a.latitude, a.longitude, where);
    if (const json* route = list(j, "route", where)) {
        for (std::size_t i = 0; i < route->size(); ++i) {
            const json& p = (*route)[i];
            const std::string at = fmt::format("{}.route[{}]", where, i);
            onlyKeys(p, at, {"latitude", "longitude", "altitude_ft", "ground_speed_kt"});
            if (!p.contains("latitude") || !p.contains("longitude")) bad(at, "'latitude' and 'longitude' are needed");
            RoutePoint point;
            point.latitude = number(p, "latitude", 0.0, at);
            point.longitude = number(p, "longitude", 0.0, at);
            point.altitudeFeet = number(p, "altitude_ft", a.altitudeFeet, at);
            point.groundSpeedKnots = number(p, "ground_speed_kt", 0.0, at);
            checkPosition(point.latitude, point.longitude, at);
            if (!(point.groundSpeedKnots >= 0.0 && point.groundSpeedKnots <= 2000.0))
                bad(at, "'ground_speed_kt' must lie between 0 and 2000");
            a.route.push_back(point);
        }
    }
    return a;
}

// "09", "27R", and two of them joined by '/': "09/27", "18L/36R".
bool validDesignator(const std::string& text) {
    const auto one = [](std::string_view d) {
        if (d.size() < 2 || d.size() > 3) return false;
        if (d[0] < '0' || d[0] > '3' || d[1] < '0' || d[1] > '9') return false;
        const int number = (d[0] - '0') * 10 + (d[1] - '0');
        if (number < 1 || number > 36) return false;
        return d.size() == 2 || d[2] == 'L' || d[2] == 'C' || d[2] == 'R';
    };
    const auto slash = text.find('/');
    if (slash == std::string::npos) return one(text);
    return one(std::string_view(text).substr(0, slash)) && one(std::string_view(text).substr(slash + 1));
}

std::vector<TimelineEvent> readTimeline(const json& events) {
    std::vector<TimelineEvent> out;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const json& e = events[i];
        const std::string at = fmt::format("timeline[{}]", i);
        if (!e.is_object()) bad(at, "must be an object");
        const std::string kind = text(e, "event", "", at);
        TimelineEvent event;
        if (!e.contains("at_seconds")) bad(at, "'at_seconds' is missing");
        event.atSeconds = number(e, "at_seconds", 0.0, at);
        if (!(event.atSeconds >= 0.0 && event.atSeconds < 86400.0 * 7))
            bad(at, "'at_seconds' must lie between 0 and a week");
        if (kind == "pause" || kind == "unpause" || kind == "quit" || kind == "start") {
            onlyKeys(e, at, {"at_seconds", "event"});
            event.kind = kind == "pause"     ? TimelineEvent::Kind::Pause
                         : kind == "unpause" ? TimelineEvent::Kind::Unpause
                         : kind == "quit"    ? TimelineEvent::Kind::Quit
                                             : TimelineEvent::Kind::Start;
        } else if (kind == "new_flight") {
            onlyKeys(e, at, {"at_seconds", "event", "file", "user_aircraft"});
            event.kind = TimelineEvent::Kind::NewFlight;
            event.text = text(e, "file", "flight.FLT", at);
            if (const auto user = e.find("user_aircraft"); user != e.end())
                event.user = readUser(*user, at + ".user_aircraft");
        } else if (kind == "remove_object") {
            onlyKeys(e, at, {"at_seconds", "event", "object_id", "atc_id"});
            event.kind = TimelineEvent::Kind::RemoveObject;
            event.text = text(e, "atc_id", "", at);
            event.objectId = whole<uint32_t>(e, "object_id", 0, at);
            if (event.text.empty() == (event.objectId == 0)) bad(at, "needs either 'object_id' or 'atc_id'");
        } else if (kind == "refuse_title") {
            onlyKeys(e, at, {"at_seconds", "event", "title"});
            event.kind = TimelineEvent::Kind::RefuseTitle;
            event.text = text(e, "title", "", at);
            if (event.text.empty()) bad(at, "'title' is missing");
        } else {
            bad(at, fmt::format("unknown event '{}' (pause, unpause, new_flight, quit, start, remove_object, "
                                "refuse_title)",
                                kind));
        }
        out.push_back(std::move(event));
    }
    return out;
}

Airport readAirport(const json& j, std::size_t index) {
    const std::string where = fmt::format("airports[{}]", index);
    onlyKeys(j, where,
             {"icao", "name", "latitude", "longitude", "altitude_m", "ground_altitude_ft", "parkings", "helipads",
              "runways", "answer"});
    Airport a;
    a.icao = text(j, "icao", "", where);
    if (a.icao.empty()) bad(where, "'icao' is missing");
    a.name = text(j, "name", "", where);
    a.latitude = number(j, "latitude", 0.0, where);
    a.longitude = number(j, "longitude", 0.0, where);
    a.altitudeMetres = number(j, "altitude_m", 0.0, where);
    checkPosition(a.latitude, a.longitude, where);
    if (const std::string answer = text(j, "answer", "complete", where); answer == "no_end")
        a.answer = FacilityAnswer::NoEnd;
    else if (answer == "exception")
        a.answer = FacilityAnswer::Exception;
    else if (answer != "complete")
        bad(where, fmt::format("'answer' must be \"complete\", \"no_end\" or \"exception\", not '{}'", answer));
    // The ground around the airport: its own value, else its altitude.
    if (j.contains("ground_altitude_ft"))
        a.groundAltitudeFeet = number(j, "ground_altitude_ft", 0.0, where);
    else if (j.contains("altitude_m"))
        a.groundAltitudeFeet = a.altitudeMetres * 3.2808399;
    if (a.groundAltitudeFeet && !(*a.groundAltitudeFeet > -1500.0 && *a.groundAltitudeFeet < 30000.0))
        bad(where, "'ground_altitude_ft' must lie between -1500 and 30000");
    if (const json* runways = list(j, "runways", where)) {
        for (std::size_t i = 0; i < runways->size(); ++i) {
            const json& r = (*runways)[i];
            const std::string at = fmt::format("{}.runways[{}]", where, i);
            onlyKeys(r, at, {"designator", "lat1", "lon1", "lat2", "lon2", "width_m"});
            for (const char* key : {"designator", "lat1", "lon1", "lat2", "lon2"})
                if (!r.contains(key)) bad(at, fmt::format("'{}' is missing", key));
            Runway runway;
            runway.designator = text(r, "designator", "", at);
            if (!validDesignator(runway.designator))
                bad(at, fmt::format("'designator' must be like \"09/27\" or \"18L/36R\", not '{}'", runway.designator));
            runway.latitude1 = number(r, "lat1", 0.0, at);
            runway.longitude1 = number(r, "lon1", 0.0, at);
            runway.latitude2 = number(r, "lat2", 0.0, at);
            runway.longitude2 = number(r, "lon2", 0.0, at);
            runway.widthMetres = number(r, "width_m", runway.widthMetres, at);
            checkPosition(runway.latitude1, runway.longitude1, at);
            checkPosition(runway.latitude2, runway.longitude2, at);
            if (runway.latitude1 == runway.latitude2 && runway.longitude1 == runway.longitude2)
                bad(at, "both ends lie on one point");
            if (!(runway.widthMetres > 0.0 && runway.widthMetres <= 200.0)) bad(at, "'width_m' must lie between 0 and 200");
            a.runways.push_back(runway);
        }
    }
    if (const json* parkings = list(j, "parkings", where)) {
        for (std::size_t i = 0; i < parkings->size(); ++i) {
            const json& p = (*parkings)[i];
            const std::string at = fmt::format("{}.parkings[{}]", where, i);
            onlyKeys(p, at,
                     {"type", "taxi_point_type", "name", "suffix", "number", "orientation", "heading_deg", "radius_m",
                      "bias_x_m", "bias_z_m"});
            TaxiParking t;
            t.type = whole<int32_t>(p, "type", t.type, at);
            t.taxiPointType = whole<int32_t>(p, "taxi_point_type", 0, at);
            t.name = whole<int32_t>(p, "name", 0, at);
            t.suffix = whole<int32_t>(p, "suffix", 0, at);
            t.number = whole<uint32_t>(p, "number", 0, at);
            t.orientation = whole<int32_t>(p, "orientation", 0, at);
            t.heading = static_cast<float>(number(p, "heading_deg", 0.0, at));
            t.radius = static_cast<float>(number(p, "radius_m", 0.0, at));
            t.biasX = static_cast<float>(number(p, "bias_x_m", 0.0, at));
            t.biasZ = static_cast<float>(number(p, "bias_z_m", 0.0, at));
            a.parkings.push_back(t);
        }
    }
    if (const json* helipads = list(j, "helipads", where)) {
        for (std::size_t i = 0; i < helipads->size(); ++i) {
            const json& h = (*helipads)[i];
            const std::string at = fmt::format("{}.helipads[{}]", where, i);
            onlyKeys(h, at,
                     {"latitude", "longitude", "altitude_m", "heading_deg", "length_m", "width_m", "surface", "type"});
            Helipad pad;
            pad.latitude = number(h, "latitude", 0.0, at);
            pad.longitude = number(h, "longitude", 0.0, at);
            pad.altitude = number(h, "altitude_m", 0.0, at);
            pad.heading = static_cast<float>(number(h, "heading_deg", 0.0, at));
            pad.length = static_cast<float>(number(h, "length_m", 0.0, at));
            pad.width = static_cast<float>(number(h, "width_m", 0.0, at));
            pad.surface = whole<int32_t>(h, "surface", 0, at);
            pad.type = whole<int32_t>(h, "type", pad.type, at);
            a.helipads.push_back(pad);
        }
    }
    return a;
}

Scenario readScenario(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot be opened");
    const json j = json::parse(in);
    const std::string where = "scenario";
    onlyKeys(j, where,
             {"application", "start_after_seconds", "flight_after_seconds", "frame_rate", "zulu", "ground_altitude_ft",
              "airport_ground_radius_nm", "next_object_id", "accept_all_titles", "known_titles", "refused_titles",
              "user_aircraft", "airports", "snapshot_file", "trace_file", "object_limit", "creation_delay_frames",
              "models", "timeline"});
    Scenario s;
    if (const auto app = j.find("application"); app != j.end()) {
        onlyKeys(*app, "application", {"name", "version"});
        s.appName = text(*app, "name", s.appName, "application");
        if (const auto version = app->find("version"); version != app->end()) {
            if (!version->is_array() || version->size() != 4) bad("application", "'version' must hold four numbers");
            for (std::size_t i = 0; i < 4; ++i) {
                const json& number = (*version)[i];
                if (!number.is_number_unsigned() ||
                    number.get<uint64_t>() > std::numeric_limits<uint32_t>::max())
                    bad("application", "'version' must hold four numbers");
                s.appVersion[i] = static_cast<uint32_t>(number.get<uint64_t>());
            }
        }
    }
    s.startAfter = number(j, "start_after_seconds", 0.0, where);
    s.flightAfter = number(j, "flight_after_seconds", 0.0, where);
    s.frameRate = number(j, "frame_rate", s.frameRate, where);
    if (!(s.startAfter >= 0.0 && s.startAfter < 86400.0) || !(s.flightAfter >= 0.0 && s.flightAfter < 86400.0))
        bad(where, "the delays must lie between 0 and 86400 seconds");
    if (!(s.frameRate >= 1.0 && s.frameRate <= 200.0)) bad(where, "'frame_rate' must lie between 1 and 200");
    if (j.contains("zulu")) s.zulu = whole<int64_t>(j, "zulu", 0, where);
    s.groundAltitude = number(j, "ground_altitude_ft", 0.0, where);
    if (j.contains("next_object_id")) s.nextObjectId = whole<uint32_t>(j, "next_object_id", 0, where);
    s.acceptAll = flag(j, "accept_all_titles", false, where);
    s.knownTitles = texts(j, "known_titles", where);
    s.refusedTitles = texts(j, "refused_titles", where);
    if (const auto user = j.find("user_aircraft"); user != j.end()) s.user = readUser(*user);
    if (const json* airports = list(j, "airports", where))
        for (std::size_t i = 0; i < airports->size(); ++i) s.airports.push_back(readAirport((*airports)[i], i));
    s.snapshotFile = text(j, "snapshot_file", "", where);
    s.traceFile = text(j, "trace_file", "", where);
    if (!s.traceFile.empty() && !std::ofstream(s.traceFile, std::ios::binary | std::ios::app))
        bad(where, fmt::format("the trace file '{}' cannot be written", s.traceFile.string()));
    if (j.contains("airport_ground_radius_nm")) {
        s.groundRadiusNm = number(j, "airport_ground_radius_nm", 0.0, where);
        if (!(*s.groundRadiusNm >= 0.0 && *s.groundRadiusNm <= 100.0))
            bad(where, "'airport_ground_radius_nm' must lie between 0 and 100");
    }
    if (j.contains("object_limit")) s.objectLimit = whole<uint32_t>(j, "object_limit", 0, where);
    s.creationDelayFrames = whole<int32_t>(j, "creation_delay_frames", 1, where);
    if (s.creationDelayFrames < 1 || s.creationDelayFrames > 10000)
        bad(where, "'creation_delay_frames' must lie between 1 and 10000");
    if (const json* models = list(j, "models", where)) {
        for (std::size_t i = 0; i < models->size(); ++i) {
            const json& m = (*models)[i];
            const std::string at = fmt::format("models[{}]", i);
            onlyKeys(m, at, {"match", "static_cg_ft", "static_pitch_deg"});
            ModelGeometry model;
            model.match = text(m, "match", "", at);
            model.staticCgFeet = number(m, "static_cg_ft", model.staticCgFeet, at);
            model.staticPitch = number(m, "static_pitch_deg", model.staticPitch / kRadPerDeg, at) * kRadPerDeg;
            if (!(model.staticCgFeet >= 0.0 && model.staticCgFeet <= 100.0))
                bad(at, "'static_cg_ft' must lie between 0 and 100");
            if (!(std::fabs(model.staticPitch) <= 0.5)) bad(at, "'static_pitch_deg' is out of range");
            s.models.push_back(model);
        }
    }
    if (const json* timeline = list(j, "timeline", where)) s.timeline = readTimeline(*timeline);
    return s;
}

void apply(const Scenario& s) {
    SimWorld& w = simWorld();
    w.reset();
    w.setApplication(s.appName, s.appVersion);
    w.setUserAircraft(s.user);
    w.setGroundAltitude(s.groundAltitude);
    if (s.zulu) w.setZuluTime(*s.zulu);
    if (s.nextObjectId) w.setNextObjectId(*s.nextObjectId);
    w.setDefaultCreationAnswer(s.acceptAll ? CreationAnswer::Create : CreationAnswer::Refuse);
    for (const auto& title : s.knownTitles) w.setCreationAnswer(title, CreationAnswer::Create);
    for (const auto& title : s.refusedTitles) w.setCreationAnswer(title, CreationAnswer::Refuse);
    for (const auto& airport : s.airports) w.addAirport(airport);
    if (s.groundRadiusNm) w.setAirportGroundRadius(*s.groundRadiusNm);
    if (s.objectLimit) w.setObjectLimit(*s.objectLimit);
    w.setCreationDelay(s.creationDelayFrames);
    // Later entries of the file go before earlier ones once set, so set them from the last.
    for (auto it = s.models.rbegin(); it != s.models.rend(); ++it) w.setModelGeometry(*it);
    w.setTimeline(s.timeline);
    if (!s.traceFile.empty()) w.setTraceFile(s.traceFile);
}

// Writes the snapshot beside its final name and renames it, so that a reader never sees half.
void writeSnapshot(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return;
        out << text;
        if (!out) return;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
}

struct Clock {
    std::mutex lock;
    std::condition_variable_any wake;
    std::jthread thread;
};

Clock& clock() {
    static auto* c = new Clock;
    return *c;
}

void runClock(std::stop_token stop, Scenario s) {
    using namespace std::chrono;
    SimWorld& w = simWorld();
    const auto start = steady_clock::now();
    const auto startAt = start + duration_cast<steady_clock::duration>(duration<double>(s.startAfter));
    const auto flightAt = startAt + duration_cast<steady_clock::duration>(duration<double>(s.flightAfter));
    const auto framePeriod = duration_cast<steady_clock::duration>(duration<double>(1.0 / s.frameRate));
    auto nextFrame = start;
    auto nextSecond = start + seconds(1);
    bool started = false;
    bool flying = false;
    std::string lastSnapshot;
    Clock& c = clock();
    while (!stop.stop_requested()) {
        const auto now = steady_clock::now();
        if (!started && now >= startAt) {
            w.startSimulator();
            started = true;
        }
        if (started && !flying && now >= flightAt) {
            w.setFlightRunning(true);
            flying = true;
        }
        w.advanceTimeline(duration<double>(now - start).count());
        if (now >= nextFrame) {
            w.stepFrames(1);
            nextFrame += framePeriod;
            if (nextFrame < now) nextFrame = now + framePeriod; // behind: do not catch up in a burst
        }
        if (now >= nextSecond) {
            w.stepSeconds(1);
            nextSecond += seconds(1);
            if (nextSecond < now) nextSecond = now + seconds(1);
            if (!s.snapshotFile.empty()) {
                std::string snapshot = w.snapshotText();
                // The first line holds the frame count; compare the rest.
                const auto objectsStart = snapshot.find('\n');
                if (snapshot.compare(objectsStart, std::string::npos, lastSnapshot) != 0) {
                    writeSnapshot(s.snapshotFile, snapshot);
                    lastSnapshot = snapshot.substr(objectsStart);
                }
            }
        }
        std::unique_lock guard(c.lock);
        c.wake.wait_until(guard, stop, std::min(nextFrame, nextSecond), [] { return false; });
    }
}

} // namespace

bool loadScenario(const std::filesystem::path& file, std::string& error) {
    try {
        apply(readScenario(file));
        return true;
    } catch (const std::exception& e) {
        error = fmt::format("scenario '{}': {}", file.string(), e.what());
        return false;
    }
}

bool startAutonomous(const std::filesystem::path& file, std::string& error) {
    Clock& c = clock();
    if (c.thread.joinable()) {
        error = "the simulator's clock runs already";
        return false;
    }
    Scenario s;
    try {
        s = readScenario(file);
    } catch (const std::exception& e) {
        error = fmt::format("scenario '{}': {}", file.string(), e.what());
        return false;
    }
    apply(s);
    simWorld().setCallLogging(false);
    c.thread = std::jthread(runClock, std::move(s));
    return true;
}

void stopAutonomous() {
    Clock& c = clock();
    if (!c.thread.joinable()) return;
    c.thread.request_stop();
    c.thread.join();
    c.thread = std::jthread();
}

bool autonomousRunning() { return clock().thread.joinable(); }

bool loadFacilityAirports(const std::filesystem::path& file, std::string& error) {
    try {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw std::runtime_error("cannot be opened");
        const json j = json::parse(in);
        onlyKeys(j, "airport set", {"airports"});
        std::vector<Airport> airports;
        if (const json* list_ = list(j, "airports", "airport set"))
            for (std::size_t i = 0; i < list_->size(); ++i) airports.push_back(readAirport((*list_)[i], i));
        for (const auto& airport : airports) simWorld().addAirport(airport);
        return true;
    } catch (const std::exception& e) {
        error = fmt::format("airport set '{}': {}", file.string(), e.what());
        return false;
    }
}

} // namespace platform::simconnect
