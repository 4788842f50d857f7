#include "links/sim_definitions.hpp"

#include <cstring>

#include "links/sim_test_support.hpp"

using namespace tamrix;
using namespace simtest;

namespace {

class SimDefinitions : public SimTest {};

TEST_F(SimDefinitions, AreRegisteredInTheOrderTheSimulatorIsToldThem) {
    simWorld().clearCalls();
    connect(false);
    const std::vector<std::string> expected{
        "SimConnect_SubscribeToSystemEvent(201,Sim)",
        "SimConnect_SubscribeToSystemEvent(202,ObjectAdded)",
        "SimConnect_SubscribeToSystemEvent(203,ObjectRemoved)",
        "SimConnect_SubscribeToSystemEvent(205,FlightLoaded)",
        "SimConnect_SubscribeToSystemEvent(204,Frame)",
        "SimConnect_AddToDataDefinition(407,TITLE,,11,0,4294967295)",
        "SimConnect_AddToDataDefinition(408,ATC MODEL,,6,0,4294967295)",
        "SimConnect_AddToDataDefinition(409,SIM ON GROUND,Bool,2,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Plane Latitude,degree,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Plane Longitude,degree,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Plane Pitch degrees,radians,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Plane Bank degrees,radians,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Plane Heading degrees true,radians,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Plane Altitude,feet,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Vertical Speed,feet per second,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(402,Airspeed True,knots,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Plane Latitude,degree,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Plane Longitude,degree,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Plane Pitch degrees,radians,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Plane Bank degrees,radians,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Plane Heading degrees true,radians,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Plane Altitude,feet,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Indicated Altitude,feet,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Plane Alt Above Ground,feet,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,Ground Velocity,knots,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,ZULU TIME,Seconds,2,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,ZULU DAY OF YEAR,Number,2,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,ZULU YEAR,Number,2,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,LIGHT STATES,Mask,2,0,4294967295)",
        "SimConnect_AddToDataDefinition(403,STANDARD ATM TEMPERATURE,Rankine,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(405,Static CG to Ground,feet,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(405,Static Pitch,radians,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(406,Light On States,Mask,2,0,4294967295)",
        "SimConnect_AddToDataDefinition(404,Plane Alt Above Ground,feet,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(404,Ground Altitude,feet,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(404,SIM ON GROUND,Bool,2,0,4294967295)",
        "SimConnect_AddToDataDefinition(404,ATC ID,,6,0,4294967295)",
        "SimConnect_AddToDataDefinition(401,SPOILERS HANDLE POSITION,percent,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(401,GENERAL ENG THROTTLE LEVER POSITION:1,percent,4,0,4294967295)",
        "SimConnect_AddToDataDefinition(401,GENERAL ENG THROTTLE LEVER POSITION:2,percent,4,0,4294967295)",
        "SimConnect_MapClientEventToSimEvent(219,GEAR_SET)",
        "SimConnect_MapClientEventToSimEvent(220,ENGINE_AUTO_START)",
        "SimConnect_MapClientEventToSimEvent(221,ENGINE_AUTO_SHUTDOWN)",
        "SimConnect_MapClientEventToSimEvent(222,THROTTLE_SET)",
        "SimConnect_MapClientEventToSimEvent(217,FLAPS_SET)",
        "SimConnect_MapClientEventToSimEvent(218,SPOILERS_SET)",
        "SimConnect_MapClientEventToSimEvent(207,NAV_LIGHTS_SET)",
        "SimConnect_MapClientEventToSimEvent(206,BEACON_LIGHTS_SET)",
        "SimConnect_MapClientEventToSimEvent(210,LANDING_LIGHTS_SET)",
        "SimConnect_MapClientEventToSimEvent(208,TAXI_LIGHTS_SET)",
        "SimConnect_MapClientEventToSimEvent(209,STROBES_SET)",
        "SimConnect_MapClientEventToSimEvent(212,LOGO_LIGHTS_SET)",
        "SimConnect_MapClientEventToSimEvent(211,CABIN_LIGHTS_SET)",
        "SimConnect_MapClientEventToSimEvent(213,ALL_LIGHTS_TOGGLE)",
        "SimConnect_MapClientEventToSimEvent(214,FREEZE_LATITUDE_LONGITUDE_SET)",
        "SimConnect_MapClientEventToSimEvent(215,FREEZE_ALTITUDE_SET)",
        "SimConnect_MapClientEventToSimEvent(216,FREEZE_ATTITUDE_SET)",
    };
    std::vector<std::string> expectedAll = expected;
    for (const int event : {207, 206, 210, 208, 209, 212, 211, 213, 217, 218, 219, 221, 222, 214, 215, 216})
        expectedAll.push_back(fmt::format("SimConnect_AddClientEventToNotificationGroup(301,{},1)", event));
    expectedAll.push_back("SimConnect_SetNotificationGroupPriority(301,1)");

    std::vector<std::string> made;
    for (const auto& call : simWorld().calls())
        if (call.function != "SimConnect_Open") made.push_back(call.text());
    EXPECT_EQ(made, expectedAll);
    // Every datum is one the simulator knows: nothing came back but OPEN and the "Sim" state.
    EXPECT_EQ(simWorld().pendingMessages("Quorvel"), 2u);
}

// The blocks the simulator answers with have the sizes and offsets the program reads.
TEST_F(SimDefinitions, TheSimulatorAnswersAndAcceptsBlocksOfTheExpectedSizes) {
    const HANDLE handle = connect();
    const auto ids = addAircraft(1);
    SimConnect_CallDispatch(handle, TestDispatch::dispatch, nullptr);
    simWorld().setZuluTime(86400 + 7200); // day 2 of 1970, 02:00
    struct Answer {
        DWORD request;
        DWORD size;
        std::vector<std::byte> block;
    };
    static std::vector<Answer> answers;
    answers.clear();
    const auto keep = [](SIMCONNECT_RECV* message, DWORD size, void*) {
        if (message->dwID != SIMCONNECT_RECV_ID_SIMOBJECT_DATA) return;
        const auto* data = reinterpret_cast<const SIMCONNECT_RECV_SIMOBJECT_DATA*>(message);
        const auto* bytes = reinterpret_cast<const std::byte*>(message);
        answers.push_back({data->dwRequestID, size - 40, {bytes + 40, bytes + size}});
    };
    for (const auto& [request, definition] : std::vector<std::pair<DWORD, DWORD>>{
             {kRequestUserTitle, kDefUserTitle}, {kRequestUserModel, kDefUserModel},
             {kRequestUserOnGround, kDefUserOnGround}, {kRequestUserState, kDefUserAcState}})
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, request, definition, SIMCONNECT_OBJECT_ID_USER,
                                                    SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0),
                  S_OK);
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle, kRequestStaticCg, kDefStaticCg, ids[0],
                                                SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0),
              S_OK);
    simWorld().stepFrames(1);
    SimConnect_CallDispatch(handle, keep, nullptr);
    ASSERT_EQ(answers.size(), 5u);
    EXPECT_EQ(answers[0].request, kRequestUserTitle);
    EXPECT_STREQ(reinterpret_cast<const char*>(answers[0].block.data()), "Airliner");
    EXPECT_EQ(answers[1].size, 32u);
    EXPECT_EQ(answers[2].size, 8u);
    EXPECT_EQ(answers[3].size, 112u);
    int64_t zuluTime = 0;
    int64_t dayOfYear = 0;
    std::memcpy(&zuluTime, answers[3].block.data() + 72, 8);
    std::memcpy(&dayOfYear, answers[3].block.data() + 80, 8);
    EXPECT_EQ(zuluTime, 7200);
    EXPECT_EQ(dayOfYear, 2);
    EXPECT_EQ(answers[4].size, sizeof(StaticCgBlock));

    PositionBlock position;
    position.latitude = 50.1;
    ThrottleSpoilerBlock throttles{10.0, 80.0, 80.0};
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, kDefAiPosition, ids[0], 0, 0, sizeof position, &position), S_OK);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(handle, kDefThrottleSpoilers, ids[0], 0, 0, sizeof throttles, &throttles),
              S_OK);
    EXPECT_EQ(simWorld().pendingMessages("Quorvel"), 0u); // no size exception
    EXPECT_DOUBLE_EQ(simWorld().object(ids[0])->latitude, 50.1);
    EXPECT_DOUBLE_EQ(simWorld().object(ids[0])->throttle2, 80.0);
}

TEST_F(SimDefinitions, InRangeAnswersCarryTheTailNumberAsAtcId) {
    const HANDLE handle = connect();
    simWorld().setCreationAnswer("Airbus A320 Test", platform::simconnect::CreationAnswer::Create);
    const SIMCONNECT_DATA_INITPOSITION init{50.001, 8.0, 1000.0, 0.0, 0.0, 0.0, 0, 0};
    SimConnect_AICreateNonATCAircraft(handle, "Airbus A320 Test", "DLH4AB", init, kRequestCreateAi);
    simWorld().stepFrames(1);
    SimConnect_RequestDataOnSimObjectType(handle, kRequestAcInRange, kDefAcInRange, 5000,
                                          SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    simWorld().stepFrames(1);
    static std::vector<AcInRangeBlock> blocks;
    blocks.clear();
    SimConnect_CallDispatch(
        handle,
        [](SIMCONNECT_RECV* message, DWORD, void*) {
            if (message->dwID != SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE) return;
            AcInRangeBlock block;
            std::memcpy(&block, reinterpret_cast<const std::byte*>(message) + 40, sizeof block);
            blocks.push_back(block);
        },
        nullptr);
    ASSERT_EQ(blocks.size(), 2u); // the user aircraft and ours
    EXPECT_STREQ(blocks[1].atcId, "DLH4AB");
    EXPECT_DOUBLE_EQ(blocks[1].altitudeAboveGround, 1000.0);
    EXPECT_EQ(blocks[1].onGround, 0);
}

} // namespace
