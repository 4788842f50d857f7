#pragma once
// Inside the simulator stand-in: the world's state behind one lock, shared by the control face
// (sim_world.cpp) and the SimConnect calls (simconnect.cpp). Not for use outside this folder.

#include <cstdint>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/simconnect/sim_world.hpp"

namespace platform::simconnect::detail {

struct Datum {
    std::string name;  // upper case
    std::string units; // upper case
    SIMCONNECT_DATATYPE type;
    // Resolved once when the datum is added: the simulator variable, its kind and the factor
    // from the simulator's own unit to the requested one.
    uint8_t var = 0;
    uint8_t kind = 0;
    double factor = 1.0;
};

// One message, kept in 8-byte words so that its doubles are aligned.
struct Message {
    std::vector<uint64_t> words;
    DWORD size = 0;
};

struct DataRequest {
    DWORD requestId = 0;
    DWORD defineId = 0;
    DWORD objectId = 0; // 0 = the user aircraft
};

struct ByTypeRequest {
    DWORD requestId = 0;
    DWORD defineId = 0;
    DWORD radiusMetres = 0;
};

struct Connection {
    uint32_t id = 0;
    std::string name;
    bool quitting = false; // the simulator quit: the QUIT message is the last one
    // The client has dispatched that QUIT: only from then on do its calls fail, as a simulator
    // announces its quit before its connection goes.
    bool quitAnnounced = false;
    std::deque<Message> queue;
    std::map<DWORD, std::vector<Datum>> definitions;
    std::map<DWORD, std::string> systemEvents; // event id -> upper-case system event name
    std::map<DWORD, std::string> clientEvents; // event id -> upper-case simulator event name
    std::map<DWORD, std::vector<DWORD>> groups;
    std::map<DWORD, DWORD> groupPriorities;
    std::map<DWORD, std::vector<std::string>> facilityDefinitions;
    std::vector<DataRequest> onceRequests;
    std::vector<DataRequest> secondRequests;
    std::vector<ByTypeRequest> byTypeRequests;
    DWORD lastSendId = 0;
};

struct Object {
    uint32_t id = 0;
    bool user = false;
    uint32_t creator = 0; // the connection that created it, 0 for the simulator's own objects
    std::string title;
    std::string atcId;
    std::string atcModel;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0; // feet
    double pitch = 0.0;    // radians
    double bank = 0.0;
    double heading = 0.0;
    double verticalSpeed = 0.0; // feet per second
    double trueAirspeed = 0.0;  // knots
    double groundSpeed = 0.0;   // knots
    bool onGround = false;
    uint32_t lights = 0;
    double spoilers = 0.0;
    double throttle1 = 0.0;
    double throttle2 = 0.0;
    double flaps = 0.0; // percent
    bool gearDown = true;
    bool enginesRunning = false;
    bool parkingBrake = false;
    std::string groundChange; // "touchdown" or "lift-off" since the last trace line, else empty
    double staticCg = 8.0; // feet
    double staticPitch = 0.0;
    bool freezeLatLon = false;
    bool freezeAltitude = false;
    bool freezeAttitude = false;
    bool released = false;
    std::string flightPlan;
    uint64_t positionUpdates = 0;
    uint64_t eventCount = 0;
};

// An object that appears on the next frame; a creation knows who asked for it.
struct Arrival {
    Object object;
    uint32_t creator = 0; // connection id, 0 for the simulator's own objects
    DWORD requestId = 0;
    uint64_t dueFrame = 0; // the object appears on this frame
};

struct State {
    std::mutex lock;

    bool available = false;
    bool running = false;
    std::string appName;
    std::array<uint32_t, 4> appVersion{};

    Object user;
    std::map<uint32_t, Object> ai;
    std::vector<Arrival> arrivals;
    std::vector<uint32_t> departures;
    uint32_t nextObjectId = 0;
    double groundAltitude = 0.0;
    double airportGroundRadiusNm = 0.0;
    int64_t zulu = 0;
    uint64_t frame = 0;
    int creationDelayFrames = 1;
    std::size_t objectLimit = 0;
    std::vector<ModelGeometry> models; // first match wins
    ModelGeometry defaultModel;
    std::vector<GroundEvent> groundEvents;
    std::vector<RoutePoint> userRoute;
    std::size_t userRouteNext = 0;
    std::vector<TimelineEvent> timeline; // by time
    std::size_t timelineNext = 0;
    std::vector<std::string> timelineLog;
    std::filesystem::path traceFile;
    std::ofstream trace;
    bool traceFailed = false;

    std::map<std::string, CreationAnswer> creationAnswers;
    CreationAnswer defaultAnswer = CreationAnswer::Refuse;
    std::map<std::string, Airport> airports; // by upper-case code

    std::map<uint32_t, Connection> connections; // by id, oldest first
    uint32_t nextConnectionId = 1;

    std::map<std::string, int, std::less<>> failures;
    std::vector<CallRecord> calls;
    bool callLogging = true;

    void resetLocked();

    Connection* find(HANDLE handle);
    Connection* findByName(std::string_view name);
    // The user aircraft for its id or 0, an AI object for its id; null when unknown.
    Object* findObject(DWORD id);
    // True (and one failure used up) when this function is to fail now.
    bool takeFailure(std::string_view function);
    void log(const Connection* connection, std::string_view function, std::string args, HRESULT result);

    // Queues an event message for every subscription to the system event (upper case).
    void broadcastEvent(std::string_view systemEvent, DWORD data);
    void broadcastAddRemove(std::string_view systemEvent, uint32_t objectId);

    // Pending answers of one connection; false when the definition or the object is unknown.
    bool answerData(Connection& connection, const DataRequest& request, DWORD outOf, DWORD entry,
                    SIMCONNECT_RECV_ID id);
    void answerByType(Connection& connection, const ByTypeRequest& request);

    void frameLocked();
    void secondLocked();

    // The control face's actions, for the control calls and the timeline alike.
    void quitLocked();
    void setRunningLocked(bool running);
    void loadFlightLocked(const std::string& fileName);
    bool removeObjectLocked(uint32_t id);
    void applyTimelineEvent(const TimelineEvent& event);

    // The ground under a position: the nearest airport with a ground altitude within the radius,
    // else the world's ground altitude (feet).
    double groundAt(double latitude, double longitude) const;
    // The model's static CG height and pitch for a title.
    const ModelGeometry& geometryOf(std::string_view title) const;
    // The simulator's on-ground flag follows the object's altitude against the ground; a change
    // is a touchdown or a lift-off.
    void followGround(Object& object);
    void moveUserAlongRoute();
    void writeTrace();
};

State& state();

// ---- messages ----
Message makeMessage(SIMCONNECT_RECV_ID id, const std::vector<std::byte>& body);
Message exceptionMessage(DWORD exception, DWORD sendId, DWORD index);
Message eventMessage(DWORD eventId, DWORD data);

// Little helpers to lay out message bodies and data blocks.
class Bytes {
public:
    void u32(uint32_t value) { put(&value, sizeof value); }
    void i32(int32_t value) { put(&value, sizeof value); }
    void i64(int64_t value) { put(&value, sizeof value); }
    void f32(float value) { put(&value, sizeof value); }
    void f64(double value) { put(&value, sizeof value); }
    // The text cut to fieldSize - 1 bytes, zero-filled to fieldSize.
    void text(std::string_view value, std::size_t fieldSize);
    void put(const void* data, std::size_t size);
    const std::vector<std::byte>& bytes() const { return m_bytes; }

private:
    std::vector<std::byte> m_bytes;
};

// ---- data definitions ----
// Resolves the datum's variable and units; false for a name the simulator does not know.
bool resolveDatum(Datum& datum);
// The size of one datum in a fixed-size block; 0 for variable-size texts.
std::size_t datumSize(SIMCONNECT_DATATYPE type);
// The block of the definition for the object.
std::vector<std::byte> buildBlock(const State& state, const Object& object, const std::vector<Datum>& datums);
// Fixed size of the definition's block; 0 when it holds a variable-size text.
std::size_t blockSize(const std::vector<Datum>& datums);
// Writes the block's values into the object (read-only datums are left alone).
void applyBlock(Object& object, const std::vector<Datum>& datums, const std::byte* block);

// ---- facilities ----
bool knownFacilityField(std::string_view upperField);
// The items of the airport's answer, in order, then the end message unless the airport says
// otherwise; an unknown airport gives the end message only.
std::vector<Message> facilityAnswer(const State& state, const std::vector<std::string>& definition,
                                    DWORD requestId, std::string_view icao, DWORD sendId);

std::string upper(std::string_view text);

} // namespace platform::simconnect::detail
