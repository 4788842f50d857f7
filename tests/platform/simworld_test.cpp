#include "platform/simconnect/sim_scenario.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "platform/simconnect/simconnect.hpp"

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/temp_folder.hpp"

using namespace platform::simconnect;
using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

// Copies of the messages one dispatch delivered.
struct Inbox {
    std::vector<std::vector<std::byte>> messages;

    DWORD id(std::size_t i) const { return as<SIMCONNECT_RECV>(i).dwID; }
    template <typename T> T as(std::size_t i, std::size_t offset = 0) const {
        T value{};
        std::memcpy(&value, messages.at(i).data() + offset, sizeof(T));
        return value;
    }
    std::vector<DWORD> ids() const {
        std::vector<DWORD> out;
        for (std::size_t i = 0; i < messages.size(); ++i) out.push_back(id(i));
        return out;
    }
};

void collect(SIMCONNECT_RECV* message, DWORD size, void* context) {
    auto* inbox = static_cast<Inbox*>(context);
    const auto* bytes = reinterpret_cast<const std::byte*>(message);
    inbox->messages.emplace_back(bytes, bytes + size);
}

Inbox dispatch(HANDLE handle) {
    Inbox inbox;
    EXPECT_EQ(SimConnect_CallDispatch(handle, collect, &inbox), S_OK);
    return inbox;
}

HANDLE open(const char* name) {
    HANDLE handle = nullptr;
    EXPECT_EQ(SimConnect_Open(&handle, name, nullptr, 0, nullptr, 0), S_OK);
    return handle;
}

// The process-wide simulator as a fresh process has it, before and after each test.
class FreshWorld : public ::testing::Test {
protected:
    void SetUp() override {
        stopAutonomous();
        simWorld().reset();
    }
    void TearDown() override {
        stopAutonomous();
        simWorld().reset();
    }
};

class SimWorldConnections : public FreshWorld {};
class SimWorldFacilities : public FreshWorld {};
class SimWorldScenario : public FreshWorld {};
class SimWorldConcurrency : public FreshWorld {};

// A running simulator with one connection that knows the frame, object and position vocabulary.
class SimWorldTest : public FreshWorld {
protected:
    void SetUp() override {
        FreshWorld::SetUp();
        simWorld().startSimulator();
        UserAircraft user;
        user.objectId = 1;
        user.latitude = 50.0;
        user.longitude = 8.0;
        user.altitudeFeet = 364.0;
        simWorld().setUserAircraft(user);
        simWorld().setGroundAltitude(364.0);
        handle = open("Quorvel");
        SimConnect_SubscribeToSystemEvent(handle, 10, "ObjectAdded");
        SimConnect_SubscribeToSystemEvent(handle, 11, "ObjectRemoved");
        SimConnect_SubscribeToSystemEvent(handle, 12, "Frame");
        const char* names[] = {"Plane Latitude", "Plane Longitude", "Plane Pitch degrees", "Plane Bank degrees",
                               "Plane Heading degrees true", "Plane Altitude", "Vertical Speed", "Airspeed True"};
        const char* units[] = {"degree", "degree", "radians", "radians", "radians", "feet", "feet per second", "knots"};
        for (int i = 0; i < 8; ++i)
            SimConnect_AddToDataDefinition(handle, 402, names[i], units[i], SIMCONNECT_DATATYPE_FLOAT64, 0.0f,
                                           SIMCONNECT_UNUSED);
        SimConnect_AddToDataDefinition(handle, 404, "Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64,
                                       0.0f, SIMCONNECT_UNUSED);
        SimConnect_AddToDataDefinition(handle, 404, "Ground Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64, 0.0f,
                                       SIMCONNECT_UNUSED);
        SimConnect_AddToDataDefinition(handle, 404, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64, 0.0f,
                                       SIMCONNECT_UNUSED);
        SimConnect_AddToDataDefinition(handle, 404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32, 0.0f,
                                       SIMCONNECT_UNUSED);
        SimConnect_MapClientEventToSimEvent(handle, 214, "FREEZE_LATITUDE_LONGITUDE_SET");
        dispatch(handle); // the OPEN message
    }

    uint32_t createAircraft(const char* title, const char* tail, double latitude = 50.01) {
        SIMCONNECT_DATA_INITPOSITION init{latitude, 8.0, 2000.0, -2.0, 0.0, 90.0, 0, 250};
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle, title, tail, init, 104), S_OK);
        simWorld().stepFrames(1);
        const Inbox inbox = dispatch(handle);
        for (std::size_t i = 0; i < inbox.messages.size(); ++i)
            if (inbox.id(i) == SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)
                return inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(i).dwData;
        ADD_FAILURE() << "no ObjectAdded for " << title;
        return 0;
    }

    HANDLE handle = nullptr;
};

TEST_F(SimWorldConnections, OpenFailsUntilTheSimulatorRunsAndThenAnnouncesItself) {
    HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_LT(SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(handle, nullptr);

    simWorld().startSimulator();
    simWorld().setApplication("SunRise", {12, 1, 3, 4});
    handle = open("Quorvel");
    ASSERT_NE(handle, nullptr);
    const Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), std::vector<DWORD>{SIMCONNECT_RECV_ID_OPEN});
    const auto openMessage = inbox.as<SIMCONNECT_RECV_OPEN>(0);
    EXPECT_STREQ(openMessage.szApplicationName, "SunRise");
    EXPECT_EQ(openMessage.dwApplicationVersionMajor, 12u);
    EXPECT_EQ(openMessage.dwApplicationBuildMinor, 4u);
    EXPECT_EQ(openMessage.header.dwSize, sizeof(SIMCONNECT_RECV_OPEN));
}

TEST_F(SimWorldConnections, EachConnectionHasItsOwnQueueAndClosedOrNullHandlesFail) {
    simWorld().startSimulator();
    HANDLE main = open("Quorvel");
    HANDLE reader = open("PARKING_DATA_RDR");
    dispatch(main);
    dispatch(reader);
    SimConnect_SubscribeToSystemEvent(main, 204, "Frame");
    simWorld().stepFrames(2);
    EXPECT_EQ(dispatch(main).ids(), (std::vector<DWORD>{7, 7}));
    EXPECT_TRUE(dispatch(reader).messages.empty());

    EXPECT_EQ(SimConnect_Close(reader), S_OK);
    EXPECT_EQ(simWorld().connections(), std::vector<std::string>{"Quorvel"});
    DWORD sendId = 0;
    for (HANDLE dead : {reader, static_cast<HANDLE>(nullptr)}) {
        EXPECT_LT(SimConnect_Close(dead), 0);
        EXPECT_LT(SimConnect_CallDispatch(dead, collect, nullptr), 0);
        EXPECT_LT(SimConnect_SubscribeToSystemEvent(dead, 1, "Sim"), 0);
        EXPECT_LT(SimConnect_RequestDataOnSimObjectType(dead, 101, 404, 1000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), 0);
        EXPECT_LT(SimConnect_GetLastSentPacketID(dead, &sendId), 0);
        EXPECT_LT(SimConnect_TransmitClientEvent(dead, 5, 214, 1, 301, 0), 0);
        EXPECT_LT(SimConnect_AddToFacilityDefinition(dead, 1001, "OPEN AIRPORT"), 0);
    }
    simWorld().stepFrames(1);
    EXPECT_EQ(dispatch(main).ids(), std::vector<DWORD>{7});
}

TEST_F(SimWorldConnections, SimEventTellsTheRunningStateAtOnceAndOnEveryChange) {
    simWorld().startSimulator();
    HANDLE handle = open("Quorvel");
    SimConnect_SubscribeToSystemEvent(handle, 201, "Sim");
    simWorld().setFlightRunning(true);
    simWorld().setFlightRunning(true); // no change, no event
    simWorld().setFlightRunning(false);
    const Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{2, 4, 4, 4}));
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT>(1).uEventID, 201u);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT>(1).dwData, 0u);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT>(2).dwData, 1u);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT>(3).dwData, 0u);
}

TEST_F(SimWorldTest, AKnownTitleAppearsOnTheNextFrameAndIsNamedByItsTailNumber) {
    simWorld().setFlightRunning(true);
    simWorld().setCreationAnswer("Airbus A320 Test", CreationAnswer::Create);
    SIMCONNECT_DATA_INITPOSITION init{50.01, 8.0, 2000.0, -2.0, 0.0, 90.0, 0, 250};
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 Test", "DLH4AB", init, 104), S_OK);
    EXPECT_EQ(simWorld().aiObjectCount(), 0u);
    EXPECT_TRUE(dispatch(handle).messages.empty());

    simWorld().stepFrames(1);
    Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE,
                                               SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, SIMCONNECT_RECV_ID_EVENT_FRAME}));
    const auto added = inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(0);
    EXPECT_EQ(added.uEventID, 10u);
    EXPECT_EQ(added.eObjType, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    EXPECT_GT(added.dwData, 1u);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>(1).dwObjectID, added.dwData);
    const auto view = simWorld().object(added.dwData);
    ASSERT_TRUE(view.has_value());
    EXPECT_NEAR(view->heading, 1.5707963, 1e-6);
    EXPECT_NEAR(view->pitch, -0.0349066, 1e-6);

    // Within 2 km of the user: the user aircraft and the new one, the new one by its tail number.
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(handle, 101, 404, 2000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), S_OK);
    simWorld().stepFrames(1);
    inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{9, 9, 7}));
    const auto second = inbox.as<SIMCONNECT_RECV_SIMOBJECT_DATA>(1);
    EXPECT_EQ(second.dwRequestID, 101u);
    EXPECT_EQ(second.dwObjectID, added.dwData);
    EXPECT_EQ(second.dwentrynumber, 2u);
    EXPECT_EQ(second.dwoutof, 2u);
    EXPECT_EQ(inbox.messages[1].size(), 40u + 56u);
    EXPECT_DOUBLE_EQ(inbox.as<double>(1, 40), 2000.0 - 364.0);
    EXPECT_EQ(inbox.as<int64_t>(1, 56), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(inbox.messages[1].data() + 64), "DLH4AB");
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_SIMOBJECT_DATA>(0).dwObjectID, 1u);
}

TEST_F(SimWorldTest, AnUnknownTitleGivesTheCreationExceptionWithTheRequestsPacketId) {
    SIMCONNECT_DATA_INITPOSITION init{};
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Nobody Knows", "ABC123", init, 104), S_OK);
    DWORD sendId = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(handle, &sendId), S_OK);
    const Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), std::vector<DWORD>{SIMCONNECT_RECV_ID_EXCEPTION});
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(0).dwException, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(0).dwSendID, sendId);
    simWorld().stepFrames(1);
    EXPECT_EQ(simWorld().aiObjectCount(), 0u);
}

TEST_F(SimWorldTest, RemovalsGiveRemovedEventsAndTheUserAircraftCannotBeRemoved) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    const uint32_t first = createAircraft("One", "AAA111");
    const uint32_t second = createAircraft("Two", "BBB222");
    ASSERT_EQ(SimConnect_AIRemoveObject(handle, first, 105), S_OK);
    EXPECT_TRUE(simWorld().removeObject(second)); // the simulator's own decision
    EXPECT_FALSE(simWorld().removeObject(9999));
    ASSERT_EQ(SimConnect_AIRemoveObject(handle, 1, 105), S_OK);
    Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), std::vector<DWORD>{SIMCONNECT_RECV_ID_EXCEPTION});
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(0).dwException,
              SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE);

    simWorld().stepFrames(1);
    inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{5, 5, 7}));
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(0).uEventID, 11u);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(0).dwData, first);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(1).dwData, second);
    EXPECT_EQ(simWorld().aiObjectCount(), 0u);
}

// A client's AI objects leave with its connection (a program restarted in its process opens a new
// one and must not find its earlier aircraft standing frozen); other clients' objects stay.
TEST_F(SimWorldTest, AClosedConnectionsObjectsLeaveWithItAndOthersSeeThemRemoved) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    const uint32_t ours = createAircraft("One", "AAA111");
    HANDLE other = open("Other");
    SimConnect_SubscribeToSystemEvent(other, 21, "ObjectRemoved");
    SIMCONNECT_DATA_INITPOSITION init{50.02, 8.0, 2000.0, 0.0, 0.0, 90.0, 0, 250};
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(other, "Two", "BBB222", init, 104), S_OK);
    simWorld().stepFrames(1);
    // Still under way when the connection closes.
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(handle, "Three", "CCC333", init, 104), S_OK);
    dispatch(other);

    ASSERT_EQ(SimConnect_Close(handle), S_OK);
    handle = nullptr;
    simWorld().stepFrames(2);

    std::vector<std::string> left;
    for (const auto& o : simWorld().objects())
        if (!o.user) left.push_back(o.atcId);
    EXPECT_EQ(left, std::vector<std::string>{"BBB222"});
    const Inbox inbox = dispatch(other);
    std::vector<DWORD> removed;
    for (std::size_t i = 0; i < inbox.messages.size(); ++i)
        if (inbox.id(i) == SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)
            removed.push_back(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(i).dwData);
    EXPECT_EQ(removed, std::vector<DWORD>{ours});
    SimConnect_Close(other);
}

TEST_F(SimWorldTest, PositionBlocksMoveTheObjectAndABlockOfTheWrongSizeIsRefused) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    const uint32_t id = createAircraft("One", "AAA111");
    double block[8] = {50.5, 8.5, 0.1, 0.2, 3.0, 1234.0, 5.0, 140.0};
    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 402, id, 0, 0, 64, block), S_OK);
    auto view = simWorld().object(id);
    ASSERT_TRUE(view.has_value());
    EXPECT_DOUBLE_EQ(view->latitude, 50.5);
    EXPECT_DOUBLE_EQ(view->heading, 3.0);
    EXPECT_DOUBLE_EQ(view->altitudeFeet, 1234.0);
    EXPECT_DOUBLE_EQ(view->trueAirspeed, 140.0);
    EXPECT_EQ(view->positionUpdates, 1u);

    ASSERT_EQ(SimConnect_SetDataOnSimObject(handle, 402, id, 0, 0, 56, block), S_OK);
    const Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), std::vector<DWORD>{SIMCONNECT_RECV_ID_EXCEPTION});
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(0).dwException, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE);
    EXPECT_EQ(simWorld().object(id)->positionUpdates, 1u);
}

TEST_F(SimWorldTest, ClientEventsActOnTheObjectAndUnknownNamesOrObjectsGiveExceptions) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    const uint32_t id = createAircraft("One", "AAA111");
    ASSERT_EQ(SimConnect_TransmitClientEvent(handle, id, 214, 1, 301, 0), S_OK);
    EXPECT_TRUE(simWorld().object(id)->freezeLatLon);
    ASSERT_EQ(SimConnect_TransmitClientEvent(handle, id, 999, 1, 301, 0), S_OK);    // not mapped
    ASSERT_EQ(SimConnect_TransmitClientEvent(handle, 4242, 214, 1, 301, 0), S_OK);  // no such object
    ASSERT_EQ(SimConnect_AddToDataDefinition(handle, 402, "NO SUCH VARIABLE", "feet", SIMCONNECT_DATATYPE_FLOAT64,
                                             0.0f, SIMCONNECT_UNUSED),
              S_OK);
    const Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{1, 1, 1}));
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(0).dwException, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(1).dwException, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EXCEPTION>(2).dwException, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED);
}

TEST_F(SimWorldTest, DataRequestsAreAnsweredOnlyWhileAFlightRuns) {
    SimConnect_AddToDataDefinition(handle, 409, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64, 0.0f,
                                   SIMCONNECT_UNUSED);
    for (const char* name : {"ZULU TIME", "ZULU DAY OF YEAR", "ZULU YEAR"})
        SimConnect_AddToDataDefinition(handle, 410, name, "Number", SIMCONNECT_DATATYPE_INT64, 0.0f,
                                       SIMCONNECT_UNUSED);
    simWorld().setZuluTime(86400 + 3600); // 1970-01-02 01:00:00
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 109, 410, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE,
                                                0, 0, 0, 0),
              S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 108, 409, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND,
                                                0, 0, 0, 0),
              S_OK);
    simWorld().stepFrames(1);
    simWorld().stepSeconds(2);
    EXPECT_EQ(dispatch(handle).ids(), std::vector<DWORD>{7}); // no flight: nothing but the frame

    simWorld().setFlightRunning(true);
    simWorld().stepFrames(1);
    simWorld().stepSeconds(2);
    const Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{8, 7, 8, 8}));
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_SIMOBJECT_DATA>(0).dwObjectID, 1u);
    EXPECT_EQ(inbox.as<int64_t>(0, 40), 3600);
    EXPECT_EQ(inbox.as<int64_t>(0, 48), 2);
    EXPECT_EQ(inbox.as<int64_t>(0, 56), 1970);
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_SIMOBJECT_DATA>(2).dwRequestID, 108u);
    EXPECT_EQ(inbox.as<int64_t>(2, 40), 1);
    EXPECT_EQ(simWorld().zuluTime(), 86400 + 3600 + 2);

    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, 108, 409, 0, SIMCONNECT_PERIOD_NEVER, 0, 0, 0, 0), S_OK);
    simWorld().stepSeconds(1);
    EXPECT_TRUE(dispatch(handle).messages.empty());
}

TEST_F(SimWorldTest, DispatchRunsTheCallbackWithoutTheWorldsLockAndLetsExceptionsPass) {
    simWorld().injectEvent("Quorvel", 55, 1);
    simWorld().injectEvent("Quorvel", 56, 2);
    simWorld().injectEvent("Quorvel", 57, 3);
    struct Context {
        HANDLE handle;
        std::vector<DWORD> seen;
        std::thread::id thread;
    } context{handle, {}, {}};
    const auto throwing = [](SIMCONNECT_RECV* message, DWORD, void* raw) {
        auto* c = static_cast<Context*>(raw);
        c->thread = std::this_thread::get_id();
        SIMCONNECT_RECV_EVENT event{};
        std::memcpy(&event, message, sizeof event);
        c->seen.push_back(event.uEventID);
        // Calling back in would dead-lock if the world's lock were held here.
        EXPECT_EQ(SimConnect_SubscribeToSystemEvent(c->handle, 99, "FlightLoaded"), S_OK);
        if (event.uEventID == 56) throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(SimConnect_CallDispatch(handle, throwing, &context), std::runtime_error);
    EXPECT_EQ(context.seen, (std::vector<DWORD>{55, 56}));
    EXPECT_EQ(context.thread, std::this_thread::get_id());
    EXPECT_EQ(simWorld().pendingMessages("Quorvel"), 1u);
    EXPECT_NO_THROW(SimConnect_CallDispatch(handle, throwing, &context));
    EXPECT_EQ(context.seen.back(), 57u);
}

TEST_F(SimWorldTest, AQuitSimulatorSendsQuitAndRefusesEverythingOnceTheQuitWasDispatched) {
    simWorld().stepFrames(1);
    simWorld().quitSimulator();
    // Announced first: until its client has taken the QUIT the connection takes calls, and
    // nothing comes of them.
    EXPECT_EQ(SimConnect_RequestDataOnSimObjectType(handle, 101, 404, 100, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), S_OK);
    DWORD sendId = 0;
    EXPECT_EQ(SimConnect_GetLastSentPacketID(handle, &sendId), S_OK);
    EXPECT_GT(sendId, 0u);
    simWorld().stepFrames(1);
    std::vector<DWORD> seen;
    HRESULT duringQuit = S_OK;
    struct Context {
        HANDLE handle;
        std::vector<DWORD>& seen;
        HRESULT& duringQuit;
    } context{handle, seen, duringQuit};
    const auto taking = [](SIMCONNECT_RECV* message, DWORD, void* raw) {
        auto& c = *static_cast<Context*>(raw);
        c.seen.push_back(message->dwID);
        if (message->dwID == SIMCONNECT_RECV_ID_QUIT)
            c.duringQuit = SimConnect_RequestDataOnSimObjectType(c.handle, 101, 404, 100,
                                                                 SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    };
    EXPECT_EQ(SimConnect_CallDispatch(handle, taking, &context), S_OK);
    EXPECT_EQ(seen, (std::vector<DWORD>{SIMCONNECT_RECV_ID_EVENT_FRAME, SIMCONNECT_RECV_ID_QUIT}));
    EXPECT_EQ(duringQuit, S_OK); // its handler still runs against a live connection
    EXPECT_LT(SimConnect_RequestDataOnSimObjectType(handle, 101, 404, 100, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), 0);
    EXPECT_LT(SimConnect_CallDispatch(handle, collect, nullptr), 0);
    HANDLE again = nullptr;
    EXPECT_LT(SimConnect_Open(&again, "Quorvel", nullptr, 0, nullptr, 0), 0);
}

TEST_F(SimWorldTest, FailuresCanBeAskedForAndEveryCallIsLoggedInOrder) {
    simWorld().clearCalls();
    simWorld().failCalls("SimConnect_TransmitClientEvent", 1);
    EXPECT_LT(SimConnect_TransmitClientEvent(handle, 1, 214, 0, 301, 0), 0);
    EXPECT_EQ(SimConnect_TransmitClientEvent(handle, 1, 214, 0, 301, 0), S_OK);
    simWorld().failCalls("SimConnect_GetLastSentPacketID", -1);
    DWORD sendId = 7;
    EXPECT_LT(SimConnect_GetLastSentPacketID(handle, &sendId), 0);
    EXPECT_LT(SimConnect_GetLastSentPacketID(handle, &sendId), 0);
    const auto calls = simWorld().calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].text(), "SimConnect_TransmitClientEvent(1,214,0,301,0)");
    EXPECT_LT(calls[0].result, 0);
    EXPECT_EQ(calls[1].result, S_OK);
    EXPECT_EQ(calls[1].connection, "Quorvel");
    EXPECT_EQ(simWorld().callsOf("SimConnect_GetLastSentPacketID").size(), 2u);
}

TEST_F(SimWorldFacilities, AnAirportAnswersItselfThenItsChildrenInDefinitionOrderThenTheEnd) {
    simWorld().startSimulator();
    Airport airport;
    airport.icao = "EDDF";
    airport.name = "Frankfurt";
    airport.latitude = 50.03;
    airport.longitude = 8.57;
    airport.altitudeMetres = 111.0;
    TaxiParking parking;
    parking.type = 13;
    parking.number = 12;
    parking.heading = 90.0f;
    parking.biasZ = -50.0f;
    airport.parkings = {parking, parking};
    Helipad pad;
    pad.width = 20.0f;
    pad.type = 2;
    airport.helipads = {pad};
    simWorld().addAirport(airport);

    HANDLE reader = open("PARKING_DATA_RDR");
    dispatch(reader);
    for (const char* field : {"OPEN AIRPORT", "LATITUDE", "LONGITUDE", "ALTITUDE", "NAME", "N_HELIPADS",
                              "N_TAXI_PARKINGS", "OPEN TAXI_PARKING", "TYPE", "TAXI_POINT_TYPE", "NAME", "SUFFIX",
                              "NUMBER", "ORIENTATION", "HEADING", "RADIUS", "BIAS_X", "BIAS_Z", "CLOSE TAXI_PARKING",
                              "OPEN HELIPAD", "LATITUDE", "LONGITUDE", "ALTITUDE", "HEADING", "LENGTH", "WIDTH",
                              "SURFACE", "TYPE", "CLOSE HELIPAD", "CLOSE AIRPORT"})
        ASSERT_EQ(SimConnect_AddToFacilityDefinition(reader, 1001, field), S_OK);
    ASSERT_EQ(SimConnect_RequestFacilityData(reader, 1001, 2001, "eddf", ""), S_OK);
    Inbox inbox = dispatch(reader);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{28, 28, 28, 28, 29}));
    EXPECT_EQ(inbox.as<DWORD>(0, 12), 2001u);
    EXPECT_EQ(inbox.as<DWORD>(0, 24), SIMCONNECT_FACILITY_DATA_AIRPORT);
    EXPECT_DOUBLE_EQ(inbox.as<double>(0, 48), 8.57);
    EXPECT_STREQ(reinterpret_cast<const char*>(inbox.messages[0].data() + 64), "Frankfurt");
    EXPECT_EQ(inbox.as<int32_t>(0, 96), 1);
    EXPECT_EQ(inbox.as<int32_t>(0, 100), 2);
    EXPECT_EQ(inbox.as<DWORD>(1, 24), SIMCONNECT_FACILITY_DATA_TAXI_PARKING);
    EXPECT_EQ(inbox.as<int32_t>(1, 40), 13);
    EXPECT_EQ(inbox.as<uint32_t>(1, 56), 12u);
    EXPECT_EQ(inbox.as<float>(1, 64), 90.0f);
    EXPECT_EQ(inbox.as<float>(1, 76), -50.0f);
    EXPECT_EQ(inbox.as<DWORD>(3, 24), SIMCONNECT_FACILITY_DATA_HELIPAD);
    EXPECT_EQ(inbox.as<float>(3, 72), 20.0f);
    EXPECT_EQ(inbox.as<int32_t>(3, 80), 2);
    EXPECT_EQ(inbox.as<DWORD>(4, 12), 2001u);

    // An airport the simulator does not know: the end only. One that never ends or fails.
    ASSERT_EQ(SimConnect_RequestFacilityData(reader, 1001, 2001, "XXXX", ""), S_OK);
    EXPECT_EQ(dispatch(reader).ids(), std::vector<DWORD>{29});
    airport.answer = FacilityAnswer::NoEnd;
    simWorld().addAirport(airport);
    ASSERT_EQ(SimConnect_RequestFacilityData(reader, 1001, 2001, "EDDF", ""), S_OK);
    EXPECT_EQ(dispatch(reader).ids(), (std::vector<DWORD>{28, 28, 28, 28}));
    airport.answer = FacilityAnswer::Exception;
    simWorld().addAirport(airport);
    ASSERT_EQ(SimConnect_RequestFacilityData(reader, 1001, 2001, "EDDF", ""), S_OK);
    EXPECT_EQ(dispatch(reader).ids(), std::vector<DWORD>{1});
}

TEST_F(SimWorldScenario, AValidFileSetsUpTheWorldAndABadOneLeavesItAlone) {
    TempFolder folder;
    writeFile(folder / "good.json", R"({
        "application": {"name": "SunRise", "version": [12, 0, 1, 2]},
        "accept_all_titles": true, "refused_titles": ["Broken Livery"],
        "next_object_id": 500,
        "user_aircraft": {"object_id": 7, "title": "My Plane", "latitude": 50.03, "longitude": 8.57,
                          "heading_deg": 180, "on_ground": true},
        "airports": [{"icao": "EDDF", "name": "Frankfurt", "parkings": [{"number": 12}]}]
    })");
    std::string error;
    ASSERT_TRUE(loadScenario(folder / "good.json", error)) << error;
    const UserAircraft user = simWorld().userAircraft();
    EXPECT_EQ(user.objectId, 7u);
    EXPECT_EQ(user.title, "My Plane");
    EXPECT_NEAR(user.heading, 3.14159265, 1e-6);

    simWorld().startSimulator();
    HANDLE handle = open("Quorvel");
    SimConnect_SubscribeToSystemEvent(handle, 10, "ObjectAdded");
    const SIMCONNECT_DATA_INITPOSITION init{};
    SimConnect_AICreateNonATCAircraft(handle, "Anything", "A1", init, 104);
    SimConnect_AICreateNonATCAircraft(handle, "Broken Livery", "B2", init, 104);
    simWorld().stepFrames(1);
    const Inbox inbox = dispatch(handle);
    ASSERT_EQ(inbox.ids(), (std::vector<DWORD>{2, 1, 5, 12}));
    EXPECT_EQ(inbox.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(2).dwData, 500u);

    writeFile(folder / "typo.json", R"({"user_aircraft": {"latitud": 1.0}})");
    EXPECT_FALSE(loadScenario(folder / "typo.json", error));
    EXPECT_NE(error.find("unknown key 'latitud'"), std::string::npos) << error;
    writeFile(folder / "broken.json", R"({"frame_rate": )");
    EXPECT_FALSE(loadScenario(folder / "broken.json", error));
    EXPECT_NE(error.find("broken.json"), std::string::npos) << error;
    writeFile(folder / "range.json", R"({"frame_rate": 5000})");
    EXPECT_FALSE(loadScenario(folder / "range.json", error));
    // A version number beyond 32 bits would wrap round to a small one.
    writeFile(folder / "wraps.json", R"({"application": {"name": "X", "version": [4294967308, 0, 1, 2]}})");
    EXPECT_FALSE(loadScenario(folder / "wraps.json", error));
    EXPECT_FALSE(loadScenario(folder / "missing.json", error));
    EXPECT_EQ(simWorld().userAircraft().title, "My Plane");
}

TEST_F(SimWorldScenario, TheExampleScenariosAreValid) {
    // Their snapshot and trace files are written beside the run, here in a folder of the test.
    TempFolder folder;
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    std::string error;
    const auto fixtures = std::filesystem::path(QUORVEL_SOURCE_DIR) / "tests/fixtures/simworld";
    EXPECT_TRUE(loadScenario(fixtures / "frankfurt.json", error)) << error;
    EXPECT_EQ(simWorld().userAircraft().atcModel, "A20N");
    EXPECT_FALSE(simWorld().simulatorAvailable());
    ASSERT_EQ(simWorld().airports().size(), 1u);
    EXPECT_EQ(simWorld().airports()[0].runways.size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(folder / "SimTrace.csv"));

    EXPECT_TRUE(loadScenario(fixtures / "frankfurt_events.json", error)) << error;
    EXPECT_EQ(simWorld().userAircraft().route.size(), 4u);
    EXPECT_EQ(simWorld().advanceTimeline(1000.0), 6);
    // The traffic feed's scenario of Billund is the simulator's as well.
    EXPECT_TRUE(loadScenario(std::filesystem::path(QUORVEL_SOURCE_DIR) / "data/scenario/EKBI.json", error)) << error;
    // Billund and, for the airports scan, the sample scenery's Aarhus (listed by code).
    ASSERT_EQ(simWorld().airports().size(), 2u);
    EXPECT_EQ(simWorld().airports()[1].runways.at(0).designator, "09/27");
    EXPECT_DOUBLE_EQ(simWorld().groundAltitudeAt(55.74, 9.15), 247.0);
    simWorld().reset();
    std::filesystem::current_path(before);
}

TEST_F(SimWorldScenario, TheClockRunsTheWorldAndWritesASnapshotAPersonCanRead) {
    TempFolder folder;
    const auto snapshot = folder / "SimObjects.txt";
    writeFile(folder / "run.json", fmt::format(R"({{"frame_rate": 100, "accept_all_titles": true,
        "user_aircraft": {{"latitude": 50.0, "longitude": 8.0}}, "snapshot_file": "{}"}})",
                                               snapshot.string()));
    std::string error;
    ASSERT_TRUE(startAutonomous(folder / "run.json", error)) << error;
    EXPECT_FALSE(startAutonomous(folder / "run.json", error));
    HANDLE handle = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0) < 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(handle, nullptr);
    SIMCONNECT_DATA_INITPOSITION init{50.001, 8.001, 364.0, 0.0, 0.0, 270.0, 1, 0};
    SimConnect_AICreateNonATCAircraft(handle, "Boeing 737 Test", "KLM12", init, 104);
    while ((simWorld().aiObjectCount() == 0 || !std::filesystem::exists(snapshot) ||
            testsupport::readFile(snapshot).find("KLM12") == std::string::npos) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stopAutonomous();
    EXPECT_FALSE(autonomousRunning());
    const std::string text = testsupport::readFile(snapshot);
    EXPECT_NE(text.find("flight running"), std::string::npos) << text;
    EXPECT_NE(text.find("KLM12"), std::string::npos) << text;
    EXPECT_NE(text.find("'Boeing 737 Test'"), std::string::npos) << text;
    EXPECT_GT(simWorld().frameNumber(), 0u);
}

TEST_F(SimWorldConcurrency, CallsFromSeveralThreadsWhileTheWorldStepsAndDispatches) {
    simWorld().startSimulator();
    simWorld().setFlightRunning(true);
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    simWorld().setCallLogging(false);
    HANDLE main = open("Quorvel");
    SimConnect_SubscribeToSystemEvent(main, 12, "Frame");
    SimConnect_SubscribeToSystemEvent(main, 10, "ObjectAdded");
    SimConnect_AddToDataDefinition(main, 402, "Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64, 0.0f,
                                   SIMCONNECT_UNUSED);
    const uint32_t id = simWorld().addForeignAircraft("Foreign", "AS-GEN", 50.0, 8.0, 0.0, true);
    simWorld().stepFrames(1);
    std::atomic<bool> done{false};
    std::atomic<int> delivered{0};
    std::thread dispatcher([&] {
        const auto count = [](SIMCONNECT_RECV*, DWORD, void* raw) { ++*static_cast<std::atomic<int>*>(raw); };
        while (!done) SimConnect_CallDispatch(main, count, &delivered);
    });
    std::thread stepper([&] {
        for (int i = 0; i < 300; ++i) simWorld().stepFrames(1);
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([&, t] {
            HANDLE own = open(t == 0 ? "PARKING_DATA_RDR" : "Other");
            for (int i = 0; i < 300; ++i) {
                double latitude = 50.0 + i * 1e-4;
                SimConnect_SetDataOnSimObject(main, 402, id, 0, 0, 8, &latitude);
                const SIMCONNECT_DATA_INITPOSITION init{};
                if (i % 50 == 0) SimConnect_AICreateNonATCAircraft(main, "Plane", "X1", init, 104);
                DWORD sendId = 0;
                SimConnect_GetLastSentPacketID(own, &sendId);
            }
            SimConnect_Close(own);
        });
    }
    stepper.join();
    for (auto& w : writers) w.join();
    done = true;
    dispatcher.join();
    simWorld().stepFrames(1); // creations made after the stepper's last frame
    Inbox rest = dispatch(main);
    EXPECT_GE(delivered.load() + static_cast<int>(rest.messages.size()), 300);
    EXPECT_EQ(simWorld().object(id)->positionUpdates, 900u);
    EXPECT_EQ(simWorld().aiObjectCount(), 1u + 18u);
}

TEST_F(SimWorldTest, TheSnapshotListsEveryObject) {
    simWorld().setDefaultCreationAnswer(CreationAnswer::Create);
    createAircraft("Airbus A320 Test", "DLH4AB");
    simWorld().addForeignAircraft("Asobo", "AS-GEN", 50.0, 8.0, 364.0, true);
    simWorld().stepFrames(1);
    const std::string text = simWorld().snapshotText();
    EXPECT_NE(text.find("2 AI objects"), std::string::npos) << text;
    EXPECT_NE(text.find("DLH4AB"), std::string::npos) << text;
    EXPECT_NE(text.find("AS-GEN"), std::string::npos) << text;
    EXPECT_NE(text.find("user"), std::string::npos) << text;
}

} // namespace
