// The simulator stand-in as live traffic needs it: the on-ground flag over each airport's ground,
// static CG by model, configuration kept from events and data, new flights, the object limit,
// slow creations, the timeline and the trace.

#include "platform/simconnect/sim_scenario.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "platform/simconnect/simconnect.hpp"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/temp_folder.hpp"

using namespace platform::simconnect;
using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

struct Inbox {
    std::vector<std::vector<std::byte>> messages;

    template <typename T> T as(std::size_t i, std::size_t offset = 0) const {
        T value{};
        std::memcpy(&value, messages.at(i).data() + offset, sizeof(T));
        return value;
    }
    DWORD id(std::size_t i) const { return as<SIMCONNECT_RECV>(i).dwID; }
    std::vector<DWORD> ids() const {
        std::vector<DWORD> out;
        for (std::size_t i = 0; i < messages.size(); ++i) out.push_back(id(i));
        return out;
    }
    // Indexes of the messages with this id.
    std::vector<std::size_t> of(DWORD wanted) const {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < messages.size(); ++i)
            if (id(i) == wanted) out.push_back(i);
        return out;
    }
};

void collect(SIMCONNECT_RECV* message, DWORD size, void* context) {
    const auto* bytes = reinterpret_cast<const std::byte*>(message);
    static_cast<Inbox*>(context)->messages.emplace_back(bytes, bytes + size);
}

struct Block402 {
    double latitude, longitude, pitch, bank, heading, altitude, verticalSpeed, trueAirspeed;
};
struct Block404 {
    double heightAboveGround, groundAltitude;
    int64_t onGround;
    char atcId[32];
};

constexpr double kEddfGround = 364.0;

// Frankfurt with its ground at 364 ft, the world's ground elsewhere at 0; the user aircraft on
// its apron; one connection that knows positions, by-type data, static CG, the configuration
// data and the client events of live traffic.
class LiveWorld : public ::testing::Test {
protected:
    void SetUp() override {
        stopAutonomous();
        simWorld().reset();
        simWorld().startSimulator();
        simWorld().setFlightRunning(true);
        simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
        Airport eddf;
        eddf.icao = "EDDF";
        eddf.latitude = 50.0333;
        eddf.longitude = 8.5706;
        eddf.groundAltitudeFeet = kEddfGround;
        simWorld().addAirport(eddf);
        UserAircraft user;
        user.latitude = 50.0333;
        user.longitude = 8.5706;
        user.altitudeFeet = kEddfGround;
        simWorld().setUserAircraft(user);

        SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0);
        SimConnect_SubscribeToSystemEvent(handle, 201, "Sim");
        SimConnect_SubscribeToSystemEvent(handle, 202, "ObjectAdded");
        SimConnect_SubscribeToSystemEvent(handle, 203, "ObjectRemoved");
        SimConnect_SubscribeToSystemEvent(handle, 205, "FlightLoaded");
        const char* position[] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                                  "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
        const char* units[] = {"degree", "degree", "radians", "radians", "radians", "feet", "feet per second", "knots"};
        for (int i = 0; i < 8; ++i) add(402, position[i], units[i]);
        add(404, "Plane Alt Above Ground", "feet");
        add(404, "Ground Altitude", "feet");
        add(404, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
        add(404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32);
        add(405, "Static CG to Ground", "feet");
        add(405, "Static Pitch", "radians");
        add(401, "SPOILERS HANDLE POSITION", "percent");
        add(401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent");
        add(401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent");
        const char* events[] = {"FLAPS_SET", "GEAR_SET", "SPOILERS_SET", "THROTTLE_SET", "ENGINE_AUTO_START",
                                "NAV_LIGHTS_SET", "PARKING_BRAKES"};
        for (DWORD i = 0; i < 7; ++i) SimConnect_MapClientEventToSimEvent(handle, 217 + i, events[i]);
        dispatch();
    }
    void TearDown() override { simWorld().reset(); }

    void add(DWORD def, const char* name, const char* units, SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64) {
        SimConnect_AddToDataDefinition(handle, def, name, units, type, 0.0f, SIMCONNECT_UNUSED);
    }

    Inbox dispatch() {
        Inbox inbox;
        EXPECT_EQ(SimConnect_CallDispatch(handle, collect, &inbox), S_OK);
        return inbox;
    }

    // A creation; the id of its object once it appeared (0 when it did not within `frames`).
    uint32_t create(const char* title, const char* tail, double latitude, double longitude, double altitude,
                    bool onGround, int frames = 1) {
        const SIMCONNECT_DATA_INITPOSITION init{latitude, longitude, altitude, 0.0, 0.0, 90.0, onGround ? 1u : 0u, 0};
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, title, tail, init, 104), S_OK);
        simWorld().stepFrames(frames);
        const Inbox inbox = dispatch();
        const auto added = inbox.of(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
        return added.empty() ? 0 : inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(added.back()).dwData;
    }

    void moveTo(uint32_t id, double latitude, double longitude, double altitude) {
        Block402 block{latitude, longitude, 0.0, 0.0, 1.5707963, altitude, 0.0, 140.0};
        ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 402, id, 0, 0, sizeof block, &block), S_OK);
    }

    // The by-type answer about one object (radius 50 km around the user aircraft).
    std::optional<Block404> inRange(uint32_t id) {
        SimConnect_RequestDataOnSimObjectType(handle, 101, 404, 50000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
        simWorld().stepFrames(1);
        const Inbox inbox = dispatch();
        for (const std::size_t i : inbox.of(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE))
            if (inbox.as<SIMCONNECT_RECV_SIMOBJECT_DATA>(i).dwObjectID == id)
                return inbox.as<Block404>(i, SIMCONNECT_RECV_SIMOBJECT_DATA_BLOCK_OFFSET);
        return std::nullopt;
    }

    HANDLE handle = nullptr;
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) out.push_back(field);
    if (!line.empty() && line.back() == ',') out.emplace_back();
    return out;
}

TEST_F(LiveWorld, AnAircraftCreatedOnTheGroundLiftsOffAndTouchesDownOverItsAirportsGround) {
    // Created on the ground at Frankfurt: it stands there on its model's static CG.
    const uint32_t id = create("Airbus A320 Neo Lufthansa", "DLH4AB", 50.0340, 8.5600, 0.0, true);
    ASSERT_NE(id, 0u);
    auto view = simWorld().object(id);
    EXPECT_TRUE(view->onGround);
    EXPECT_NEAR(view->altitudeFeet, kEddfGround + 8.9, 1e-9);
    EXPECT_NEAR(view->staticCgFeet, 8.9, 1e-9);
    auto data = inRange(id);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->onGround, 1);
    EXPECT_DOUBLE_EQ(data->groundAltitude, kEddfGround);
    EXPECT_NEAR(data->heightAboveGround, 8.9, 1e-9);

    // The static-CG request answers the model's values.
    SimConnect_RequestDataOnSimObject(handle, 102, 405, id, SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0);
    simWorld().stepFrames(1);
    Inbox inbox = dispatch();
    const auto answers = inbox.of(SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_DOUBLE_EQ(inbox.as<double>(answers[0], 40), 8.9);
    EXPECT_DOUBLE_EQ(inbox.as<double>(answers[0], 48), 0.005);

    // Rolling and climbing away: airborne once it is more than half a foot above its CG height.
    moveTo(id, 50.0340, 8.5700, kEddfGround + 9.3);
    EXPECT_TRUE(simWorld().object(id)->onGround);
    moveTo(id, 50.0340, 8.5800, kEddfGround + 9.5);
    EXPECT_FALSE(simWorld().object(id)->onGround);
    moveTo(id, 50.0340, 8.6500, kEddfGround + 1500.0);
    data = inRange(id);
    EXPECT_EQ(data->onGround, 0);
    EXPECT_NEAR(data->heightAboveGround, 1500.0, 1e-9);

    // Far from any airport the world's own ground counts.
    moveTo(id, 51.5, 9.0, 800.0);
    EXPECT_DOUBLE_EQ(simWorld().object(id)->groundAltitudeFeet, 0.0);
    EXPECT_DOUBLE_EQ(simWorld().object(id)->heightAboveGroundFeet, 800.0);

    // Back over Frankfurt, down to the runway: touchdown.
    moveTo(id, 50.0340, 8.5600, kEddfGround + 30.0);
    EXPECT_FALSE(simWorld().object(id)->onGround);
    moveTo(id, 50.0341, 8.5610, kEddfGround + 8.9);
    data = inRange(id);
    EXPECT_EQ(data->onGround, 1);

    const auto events = simWorld().groundEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[0].touchdown);
    EXPECT_TRUE(events[1].touchdown);
    EXPECT_EQ(events[1].id, id);
    EXPECT_EQ(events[1].atcId, "DLH4AB");
    EXPECT_NEAR(events[1].longitude, 8.5610, 1e-9);
}

TEST_F(LiveWorld, StaticCgFollowsTheModelAndATestCanSetOutOfRangeValues) {
    EXPECT_DOUBLE_EQ(simWorld().modelGeometry("Airbus A380 Emirates").staticCgFeet, 19.4);
    EXPECT_DOUBLE_EQ(simWorld().modelGeometry("Cessna Skyhawk").staticCgFeet, 4.0);
    EXPECT_DOUBLE_EQ(simWorld().modelGeometry("Something Unknown").staticCgFeet, ModelGeometry{}.staticCgFeet);
    simWorld().setModelGeometry({"broken", 40.0, 0.0523599});
    simWorld().setModelGeometry({"", 7.0, 0.01});
    EXPECT_DOUBLE_EQ(simWorld().modelGeometry("A Broken Model").staticCgFeet, 40.0);
    EXPECT_DOUBLE_EQ(simWorld().modelGeometry("Something Unknown").staticCgFeet, 7.0);
    const uint32_t id = create("A Broken Model", "BRK1", 50.0340, 8.5600, 0.0, true);
    EXPECT_NEAR(simWorld().object(id)->altitudeFeet, kEddfGround + 40.0, 1e-9);
    EXPECT_NEAR(simWorld().object(id)->pitch, 0.0523599, 1e-9);
}

TEST_F(LiveWorld, ConfigurationIsKeptFromEventsAndDataAndShownInSnapshotAndTrace) {
    TempFolder folder;
    ASSERT_TRUE(simWorld().setTraceFile(folder / "trace.csv"));
    const uint32_t id = create("Boeing 737-800 KLM", "KLM1234567", 50.0340, 8.5600, 0.0, true);
    for (const auto& [event, value] : std::vector<std::pair<DWORD, DWORD>>{
             {217, 10240}, {218, 0}, {219, 16383}, {220, 8191}, {221, 0}, {222, 1}, {223, 0}})
        ASSERT_EQ(SimConnect_TransmitClientEvent(handle, id, event, value, 301, 0), S_OK);
    auto view = simWorld().object(id);
    EXPECT_NEAR(view->flaps, 62.5, 0.01);
    EXPECT_FALSE(view->gearDown);
    EXPECT_NEAR(view->spoilers, 100.0, 1e-9);
    EXPECT_NEAR(view->throttle1, 50.0, 0.01);
    EXPECT_TRUE(view->enginesRunning);
    EXPECT_TRUE(view->parkingBrake);
    // Spoilers and reverse thrust as data, straight from the program's touchdown.
    const double reverse[] = {100.0, -100.0, -100.0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 401, id, 0, 0, sizeof reverse, const_cast<double*>(reverse)),
              S_OK);
    view = simWorld().object(id);
    EXPECT_DOUBLE_EQ(view->throttle2, -100.0);

    const std::string snapshot = simWorld().snapshotText();
    EXPECT_NE(snapshot.find("flaps:63% gear:up spoilers:100% throttle:-100% engines:on brake:set lights:nav"),
              std::string::npos)
        << snapshot;

    simWorld().stepSeconds(1);
    moveTo(id, 50.0340, 8.5700, kEddfGround + 200.0);
    simWorld().stepSeconds(1);
    simWorld().setTraceFile({});
    const auto lines = linesOf(testsupport::readFile(folder / "trace.csv"));
    ASSERT_EQ(lines.size(), 1u + 2u * 2u) << testsupport::readFile(folder / "trace.csv");
    EXPECT_EQ(lines[0], SimWorld::traceHeader());
    const auto columns = fieldsOf(lines[0]);
    const auto user = fieldsOf(lines[1]);
    const auto standing = fieldsOf(lines[2]);
    const auto flying = fieldsOf(lines[4]);
    ASSERT_EQ(standing.size(), columns.size());
    ASSERT_EQ(flying.size(), columns.size());
    EXPECT_EQ(user[2], "USER");
    EXPECT_EQ(standing[0], "2026-01-01T00:00:01Z");
    EXPECT_EQ(standing[1], std::to_string(id));
    EXPECT_EQ(standing[2], "KLM1234567");
    EXPECT_EQ(standing[8], "1");  // on the ground
    EXPECT_EQ(standing[9], "63"); // flaps
    EXPECT_EQ(standing[10], "0"); // gear up
    EXPECT_EQ(flying[0], "2026-01-01T00:00:02Z");
    EXPECT_EQ(flying[5], "564.0");
    EXPECT_EQ(flying[6], "200.0");
    EXPECT_EQ(flying[7], "90.0");
    EXPECT_EQ(flying[8], "0");
    EXPECT_EQ(flying[16], "lift-off");
}

TEST_F(LiveWorld, ANewFlightTakesTheOldFlightsTrafficWithItAndDropsCreationsUnderWay) {
    const uint32_t first = create("Airbus A320 One", "AAA111", 50.0340, 8.5600, 0.0, true);
    const uint32_t second = create("Airbus A320 Two", "BBB222", 50.0350, 8.5600, 0.0, true);
    simWorld().setCreationDelay(5);
    const SIMCONNECT_DATA_INITPOSITION init{50.04, 8.57, 3000.0, 0.0, 0.0, 0.0, 0, 250};
    SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 Three", "CCC333", init, 104);

    simWorld().loadFlight("Flights\\EDDF.FLT");
    Inbox inbox = dispatch();
    ASSERT_EQ(inbox.ids(), std::vector<DWORD>{SIMCONNECT_RECV_ID_EVENT_FILENAME});
    EXPECT_STREQ(reinterpret_cast<const char*>(inbox.messages[0].data() + 24), "Flights\\EDDF.FLT");
    simWorld().stepFrames(10);
    inbox = dispatch();
    const auto removed = inbox.of(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
    ASSERT_EQ(removed.size(), 2u);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(removed[0]).uEventID, 203u);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(removed[0]).dwData, first);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(removed[1]).dwData, second);
    EXPECT_EQ(simWorld().aiObjectCount(), 0u);
}

TEST_F(LiveWorld, TheObjectLimitRefusesCreationsAndASlowCreationAppearsOnItsFrame) {
    simWorld().setObjectLimit(2);
    simWorld().addForeignAircraft("Asobo", "AS-GEN", 50.0, 8.0, 0.0, true);
    simWorld().setCreationDelay(3);
    const SIMCONNECT_DATA_INITPOSITION init{50.04, 8.57, 3000.0, 0.0, 0.0, 0.0, 0, 250};
    SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 One", "AAA111", init, 104);
    SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 Two", "BBB222", init, 104);
    DWORD refusedSend = 0;
    SimConnect_GetLastSentPacketID(handle, &refusedSend);
    Inbox inbox = dispatch();
    ASSERT_EQ(inbox.ids(), std::vector<DWORD>{SIMCONNECT_RECV_ID_EXCEPTION});
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(0).dwException, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(0).dwSendID, refusedSend);

    simWorld().stepFrames(2); // the foreign aircraft; the creation is not done yet
    EXPECT_EQ(simWorld().aiObjectCount(), 1u);
    dispatch();
    simWorld().stepFrames(1);
    inbox = dispatch();
    ASSERT_EQ(inbox.of(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID).size(), 1u);
    EXPECT_EQ(simWorld().aiObjectCount(), 2u);
    // Room again once one leaves.
    ASSERT_TRUE(simWorld().removeObject(simWorld().objects()[1].id));
    simWorld().stepFrames(1);
    SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 Two", "BBB222", init, 104);
    EXPECT_TRUE(dispatch().of(SIMCONNECT_RECV_ID_EXCEPTION).empty());
}

TEST_F(LiveWorld, TheTimelinePausesRemovesRefusesLoadsAFlightAndQuitsInTimeOrder) {
    const uint32_t id = create("Airbus A320 One", "AAA111", 50.0340, 8.5600, 0.0, true);
    UserAircraft elsewhere;
    elsewhere.latitude = 50.0;
    elsewhere.longitude = 8.0;
    elsewhere.altitudeFeet = 0.0;
    elsewhere.route = {{50.0, 8.01, 0.0, 36.0}, {50.0, 8.02, 1000.0, 3600.0}};
    std::vector<TimelineEvent> timeline(6);
    timeline[0] = {5.0, TimelineEvent::Kind::Quit, "", 0, std::nullopt};
    timeline[1] = {1.0, TimelineEvent::Kind::Pause, "", 0, std::nullopt};
    timeline[2] = {2.0, TimelineEvent::Kind::RemoveObject, "AAA111", 0, std::nullopt};
    timeline[3] = {2.5, TimelineEvent::Kind::RefuseTitle, "Airbus A320 One", 0, std::nullopt};
    timeline[4] = {3.0, TimelineEvent::Kind::Unpause, "", 0, std::nullopt};
    timeline[5] = {4.0, TimelineEvent::Kind::NewFlight, "Next.FLT", 0, elsewhere};
    simWorld().setTimeline(timeline);

    EXPECT_EQ(simWorld().advanceTimeline(0.5), 0);
    EXPECT_EQ(simWorld().advanceTimeline(1.0), 1);
    EXPECT_FALSE(simWorld().flightRunning());
    EXPECT_EQ(simWorld().advanceTimeline(2.7), 2);
    simWorld().stepFrames(1);
    EXPECT_FALSE(simWorld().object(id).has_value());
    const SIMCONNECT_DATA_INITPOSITION init{50.04, 8.57, 3000.0, 0.0, 0.0, 0.0, 0, 250};
    SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 One", "AAA111", init, 104);
    Inbox inbox = dispatch();
    ASSERT_FALSE(inbox.of(SIMCONNECT_RECV_ID_EXCEPTION).empty());
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(inbox.of(SIMCONNECT_RECV_ID_EXCEPTION).back()).dwException,
              SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);

    EXPECT_EQ(simWorld().advanceTimeline(4.0), 2);
    EXPECT_TRUE(simWorld().flightRunning());
    EXPECT_FALSE(dispatch().of(SIMCONNECT_RECV_ID_EVENT_FILENAME).empty());

    // The user aircraft follows its route: 36 kt is 0.01 NM a second along the first leg (about
    // 0.39 NM), then climbs along the second one at 3600 kt, a nautical mile a second.
    simWorld().stepSeconds(10);
    UserAircraft user = simWorld().userAircraft();
    EXPECT_NEAR(user.longitude, 8.0 + 0.01 * 10 * 0.01 / 0.3857, 2e-5);
    EXPECT_NEAR(user.heading, 1.5708, 1e-3);
    EXPECT_TRUE(user.onGround);
    simWorld().stepSeconds(29); // past the first point, on into the second leg
    user = simWorld().userAircraft();
    EXPECT_GT(user.longitude, 8.01);
    EXPECT_LT(user.longitude, 8.0102);
    simWorld().stepSeconds(1);
    user = simWorld().userAircraft();
    EXPECT_DOUBLE_EQ(user.longitude, 8.02);
    EXPECT_DOUBLE_EQ(user.altitudeFeet, 1000.0);
    EXPECT_FALSE(user.onGround);
    EXPECT_DOUBLE_EQ(user.groundSpeedKnots, 0.0); // at the end of its route

    EXPECT_EQ(simWorld().advanceTimeline(100.0), 1);
    EXPECT_FALSE(simWorld().simulatorAvailable());
    const auto log = simWorld().timelineLog();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[1], "2.0 s: remove object 'AAA111'");
    EXPECT_EQ(log[4], "4.0 s: new flight 'Next.FLT'");
    EXPECT_EQ(log[5], "5.0 s: quit");
}

TEST_F(LiveWorld, TheScenarioCarriesGroundRunwaysModelsTimelineAndTrace) {
    TempFolder folder;
    writeFile(folder / "live.json", fmt::format(R"({{
        "ground_altitude_ft": 50, "object_limit": 40, "creation_delay_frames": 3,
        "models": [{{"match": "A320", "static_cg_ft": 9.1, "static_pitch_deg": 0.4}},
                   {{"match": "", "static_cg_ft": 6.0}}],
        "user_aircraft": {{"latitude": 50.03, "longitude": 8.57,
                          "route": [{{"latitude": 50.04, "longitude": 8.58, "ground_speed_kt": 20}}]}},
        "airports": [{{"icao": "EDDF", "latitude": 50.0333, "longitude": 8.5706, "ground_altitude_ft": 364,
                      "runways": [{{"designator": "07C/25C", "lat1": 50.0325, "lon1": 8.5347,
                                   "lat2": 50.0451, "lon2": 8.5869, "width_m": 45}}]}},
                     {{"icao": "EDDS", "latitude": 48.69, "longitude": 9.22, "altitude_m": 389}}],
        "timeline": [{{"at_seconds": 30, "event": "remove_object", "object_id": 123}},
                     {{"at_seconds": 10, "event": "new_flight", "file": "x.FLT"}}],
        "trace_file": "{}"
    }})",
                                                (folder / "trace.csv").string()));
    std::string error;
    ASSERT_TRUE(loadScenario(folder / "live.json", error)) << error;
    EXPECT_DOUBLE_EQ(simWorld().groundAltitudeAt(50.03, 8.56), 364.0);
    EXPECT_NEAR(simWorld().groundAltitudeAt(48.69, 9.22), 389 * 3.2808399, 1e-6);
    EXPECT_DOUBLE_EQ(simWorld().groundAltitudeAt(52.0, 13.0), 50.0);
    EXPECT_DOUBLE_EQ(simWorld().modelGeometry("Airbus A320 Lufthansa").staticCgFeet, 9.1);
    EXPECT_DOUBLE_EQ(simWorld().modelGeometry("Unknown").staticCgFeet, 6.0);
    EXPECT_EQ(simWorld().userAircraft().route.size(), 1u);
    const auto airports = simWorld().airports();
    ASSERT_EQ(airports.size(), 2u);
    ASSERT_EQ(airports[0].runways.size(), 1u);
    EXPECT_EQ(airports[0].runways[0].designator, "07C/25C");
    EXPECT_DOUBLE_EQ(airports[0].runways[0].longitude2, 8.5869);
    EXPECT_EQ(simWorld().advanceTimeline(10.0), 1);
    EXPECT_EQ(testsupport::readFile(folder / "trace.csv"), SimWorld::traceHeader() + "\n");

    const auto refused = [&](const std::string& body, const std::string& reason) {
        writeFile(folder / "bad.json", body);
        EXPECT_FALSE(loadScenario(folder / "bad.json", error)) << body;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    };
    refused(R"({"airports": [{"icao": "X", "runways": [{"designator": "37/19", "lat1": 1, "lon1": 1, "lat2": 2,
              "lon2": 2}]}]})",
            "'designator' must be like");
    refused(R"({"airports": [{"icao": "X", "runways": [{"designator": "09", "lat1": 1, "lon1": 1}]}]})",
            "'lat2' is missing");
    refused(R"({"timeline": [{"at_seconds": 1, "event": "explode"}]})", "unknown event 'explode'");
    refused(R"({"timeline": [{"event": "pause"}]})", "'at_seconds' is missing");
    refused(R"({"timeline": [{"at_seconds": 1, "event": "remove_object"}]})", "needs either");
    refused(R"({"timeline": [{"at_seconds": 1, "event": "pause", "title": "x"}]})", "unknown key 'title'");
    refused(R"({"creation_delay_frames": 0})", "'creation_delay_frames'");
    refused(R"({"trace_file": "/no/such/folder/trace.csv"})", "cannot be written");
    // The world kept the good scenario.
    EXPECT_DOUBLE_EQ(simWorld().groundAltitudeAt(52.0, 13.0), 50.0);
}

} // namespace
