#pragma once
// The in-process simulator behind the SimConnect stand-in, and its control face for tests and
// runs. One process-wide world: the simulator process (available or not), the flight (running or
// not), the user aircraft, the AI objects, the airports that answer facility requests, the
// connections with their message queues, and the ordered log of the calls made.
//
// Tests step it (frames, seconds) and inject faults; a run lets its own clock thread drive it
// from a scenario file (sim_scenario.hpp). Everything here is thread-safe.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/simconnect/simconnect.hpp"

namespace platform::simconnect {

// A point of the user aircraft's route: it flies or rolls there at the point's ground speed.
struct RoutePoint {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double altitudeFeet = 0.0;
    double groundSpeedKnots = 0.0; // on the leg to this point; 0 keeps the aircraft's speed
};

// The user's own aircraft. Angles of the attitude in radians.
struct UserAircraft {
    uint32_t objectId = 1;
    std::string title = "Airliner";
    std::string atcModel = "A320";
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double altitudeFeet = 0.0;
    double pitch = 0.0;
    double bank = 0.0;
    double heading = 0.0;
    double groundSpeedKnots = 0.0; // moves the aircraft along its heading each simulator second
    bool onGround = true;
    // With a route the aircraft follows it, one leg after the other, each simulator second; its
    // heading, altitude and on-ground flag follow the route. It stops at the last point.
    std::vector<RoutePoint> route;
};

// The height of a model's centre of gravity above the ground when it stands, and its pitch then.
struct ModelGeometry {
    std::string match; // upper-case part of the title that names the model; "" for the default
    double staticCgFeet = 8.0;
    double staticPitch = 0.005; // radians
};

// An object touched the ground or left it, as the simulator's on-ground flag reports it.
struct GroundEvent {
    uint64_t frame = 0;
    int64_t zulu = 0;
    uint32_t id = 0;
    std::string atcId;
    bool touchdown = false; // else lift-off
    double latitude = 0.0;
    double longitude = 0.0;
};

// What the simulator does at a time of the run, counted from its start.
struct TimelineEvent {
    enum class Kind { Pause, Unpause, NewFlight, Quit, Start, RemoveObject, RefuseTitle };
    double atSeconds = 0.0;
    Kind kind = Kind::Pause;
    std::string text;       // new flight: the file; remove object: the ATC id; refuse title: the title
    uint32_t objectId = 0;  // remove object: the id when no ATC id is given
    std::optional<UserAircraft> user; // new flight: where the user aircraft is then
};

// What the simulator does with a creation request for a title.
enum class CreationAnswer {
    Create, // the object appears on the next frame
    Refuse, // EXCEPTION CREATE_OBJECT_FAILED with the request's packet id
    Ignore, // nothing ever comes
};

// How an airport answers a facility request.
enum class FacilityAnswer {
    Complete,  // the items, then the end message
    NoEnd,     // the items, no end message
    Exception, // an EXCEPTION message only
};

struct TaxiParking {
    int32_t type = 1;
    int32_t taxiPointType = 0;
    int32_t name = 0;
    int32_t suffix = 0;
    uint32_t number = 0;
    int32_t orientation = 0;
    float heading = 0.0f; // degrees
    float radius = 0.0f;  // metres
    float biasX = 0.0f;   // metres east of the airport's reference point
    float biasZ = 0.0f;   // metres north of it
};

struct Helipad {
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0; // metres
    float heading = 0.0f;  // degrees
    float length = 0.0f;   // metres
    float width = 0.0f;    // metres
    int32_t surface = 0;
    int32_t type = 1;
};

struct Runway {
    std::string designator; // "09/27": end 1 is the threshold of the first designator
    double latitude1 = 0.0;
    double longitude1 = 0.0;
    double latitude2 = 0.0;
    double longitude2 = 0.0;
    double widthMetres = 45.0;
};

struct Airport {
    std::string icao;
    std::string name;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitudeMetres = 0.0;
    std::vector<TaxiParking> parkings;
    std::vector<Helipad> helipads;
    std::vector<Runway> runways;
    // The ground around the airport; without it the airport leaves the ground to the world's value.
    std::optional<double> groundAltitudeFeet;
    FacilityAnswer answer = FacilityAnswer::Complete;
};

// One object of the simulator as a test or a person sees it.
struct ObjectView {
    uint32_t id = 0;
    bool user = false;
    std::string title;
    std::string atcId;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitudeFeet = 0.0;
    double pitch = 0.0;   // radians
    double bank = 0.0;    // radians
    double heading = 0.0; // radians
    double verticalSpeed = 0.0; // feet per second
    double trueAirspeed = 0.0;  // knots
    bool onGround = false;
    uint32_t lights = 0; // light-states mask: nav 0x1, beacon 0x2, landing 0x4, taxi 0x8, strobe 0x10, logo 0x100, cabin 0x200
    bool freezeLatLon = false;
    bool freezeAltitude = false;
    bool freezeAttitude = false;
    bool aiReleased = false;
    double spoilers = 0.0;  // percent
    double throttle1 = 0.0; // percent
    double throttle2 = 0.0; // percent
    double flaps = 0.0;     // percent
    bool gearDown = true;
    bool enginesRunning = false;
    bool parkingBrake = false;
    double staticCgFeet = 0.0;
    double staticPitch = 0.0; // radians
    double groundAltitudeFeet = 0.0;
    double heightAboveGroundFeet = 0.0;
    std::string flightPlan;
    uint64_t positionUpdates = 0; // data blocks that set its position
    uint64_t eventCount = 0;      // client events it received
};

// One call made through the SimConnect face (SimConnect_CallDispatch is not logged).
struct CallRecord {
    std::string connection; // the name the connection was opened with; "" for a null or closed handle
    std::string function;   // e.g. "SimConnect_AddToDataDefinition"
    std::string args;       // the arguments after the handle, comma-separated
    HRESULT result = S_OK;

    // "function(args)"
    std::string text() const;
};

class SimWorld {
public:
    // Back to the state of a fresh process: not available, no flight, no connections, no AI
    // objects or airports, the default user aircraft and application, an empty call log.
    void reset();

    // ---- the simulator process and the flight ----
    void startSimulator();
    // QUIT to every connection, and new connections are refused. A connection takes calls (and
    // nothing comes of them) until its client has dispatched that QUIT; they fail from then on.
    void quitSimulator();
    bool simulatorAvailable() const;
    // The "Sim" event (1 or 0) goes to the subscribers when the state changes.
    void setFlightRunning(bool running);
    bool flightRunning() const;
    // A new flight file: EVENT_FILENAME to the subscribers of "FlightLoaded"; the old flight's AI
    // objects leave on the next frame (ObjectRemoved) and creations not yet done are dropped.
    void loadFlight(const std::string& fileName);
    // The name and version the OPEN message reports ("KittyHawk" for 2020, "SunRise" for 2024).
    void setApplication(const std::string& name, std::array<uint32_t, 4> version);

    // ---- aircraft ----
    void setUserAircraft(const UserAircraft& aircraft);
    UserAircraft userAircraft() const;
    // The ground's altitude (feet) wherever no airport of the world with a ground altitude lies
    // within the radius (nautical miles, 8 at first); the nearest such airport gives it there.
    void setGroundAltitude(double feet);
    void setAirportGroundRadius(double nauticalMiles);
    double groundAltitudeAt(double latitude, double longitude) const;
    // A model whose name is part of a title: its static CG and pitch (a built-in table of common
    // airliners, regional and light aircraft and helicopters; ModelGeometry{} elsewhere). A model
    // set here goes before the others; one with an empty match replaces the default.
    void setModelGeometry(const ModelGeometry& model);
    ModelGeometry modelGeometry(std::string_view title) const;
    // The simulator's own limit of AI objects (1000 at first): a creation beyond it gives
    // EXCEPTION TOO_MANY_OBJECTS.
    void setObjectLimit(std::size_t count);
    // A created object appears this many frames after its request (1 at first).
    void setCreationDelay(int frames);
    // Touchdowns and lift-offs of AI objects, oldest first.
    std::vector<GroundEvent> groundEvents() const;
    // Simulator time, seconds since 1970 UTC; it advances with each simulator second of a flight.
    void setZuluTime(int64_t secondsSince1970);
    int64_t zuluTime() const;
    // AI object ids are handed out from here on (must lie above the user aircraft's id).
    void setNextObjectId(uint32_t id);
    void setCreationAnswer(const std::string& title, CreationAnswer answer);
    // For titles without an answer of their own; Refuse at first.
    void setDefaultCreationAnswer(CreationAnswer answer);
    // An aircraft the simulator creates by itself (e.g. ATC id "AS-GEN"), announced on the next
    // frame; returns its id.
    uint32_t addForeignAircraft(const std::string& title, const std::string& atcId, double latitude,
                                double longitude, double altitudeFeet, bool onGround);
    // The simulator removes the object on the next frame (ObjectRemoved); false when unknown.
    bool removeObject(uint32_t id);
    std::vector<ObjectView> objects() const; // the user aircraft first, then by id
    std::optional<ObjectView> object(uint32_t id) const;
    std::size_t aiObjectCount() const;

    // ---- airports for facility requests and the ground ----
    void addAirport(const Airport& airport);
    std::vector<Airport> airports() const; // by code

    // ---- faults and messages ----
    // The next `count` calls of this function (e.g. "SimConnect_TransmitClientEvent") fail with
    // E_FAIL; a negative count makes them fail until cleared with count 0.
    void failCalls(const std::string& function, int count = 1);
    // Appends a message to the newest open connection with this name; false when there is none.
    bool injectMessage(std::string_view connectionName, const std::vector<std::byte>& message);
    bool injectException(std::string_view connectionName, DWORD exception, DWORD sendId, DWORD index);
    bool injectEvent(std::string_view connectionName, DWORD eventId, DWORD data);
    std::size_t pendingMessages(std::string_view connectionName) const;
    // Names of the open connections, oldest first.
    std::vector<std::string> connections() const;

    // ---- the call log ----
    std::vector<CallRecord> calls() const;
    std::vector<CallRecord> callsOf(std::string_view function) const;
    void clearCalls();
    // On at first; a long run turns it off so that it does not grow without end.
    void setCallLogging(bool on);

    // ---- timeline and trace ----
    // Events at times counted from the start of the run; advanceTimeline applies, in order, those
    // due at this time that have not been applied yet and returns how many it applied.
    void setTimeline(std::vector<TimelineEvent> events);
    int advanceTimeline(double secondsSinceStart);
    // One line for each applied event ("12.0 s: new flight 'x.flt'"), oldest first.
    std::vector<std::string> timelineLog() const;
    // Each simulator second appends one line per object to this file (created anew here, with a
    // header line); an empty path ends the trace. False when the file cannot be created.
    bool setTraceFile(const std::filesystem::path& file);
    // The trace's header line and the columns of its lines, comma-separated.
    static std::string traceHeader();

    // ---- time ----
    // Each frame: removals and creations take effect, pending answers go out (while a flight
    // runs), then the Frame event.
    void stepFrames(int count = 1);
    // Each simulator second of a running flight: the clock advances, the user aircraft moves on,
    // the SECOND requests are answered.
    void stepSeconds(int count = 1);
    uint64_t frameNumber() const;

    // What the simulator holds: one line per object, for a person to read.
    std::string snapshotText() const;
};

// The process-wide simulator.
SimWorld& simWorld();

} // namespace platform::simconnect
