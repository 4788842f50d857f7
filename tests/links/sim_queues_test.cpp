#include "links/sim_queues.hpp"

#include <regex>
#include <thread>

#include "core/status_line.hpp"
#include "links/sim_test_support.hpp"

using namespace tamrix;
using namespace simtest;

namespace {

AiCreateRequest creation(const char* callsign, uint32_t key, std::string_view title = "Airbus A320 Test") {
    AiCreateRequest r;
    r.initPosition = {50.01, 8.0, 2000.0, -2.0, 0.0, 90.0, 0, 0};
    r.callsign = callsign;
    r.liveryTitle = title;
    r.key = key;
    return r;
}

void fillPosition(uint32_t objectId, double latitude) {
    PositionEntry entry;
    entry.block.latitude = latitude;
    entry.block.longitude = 8.0;
    entry.objectId = objectId;
    gPositionFill->push_back(entry);
}

class SimQueues : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        connect();
        ids = addAircraft(3);
        gUserObjectId.store(1);
        simWorld().clearCalls();
    }
    std::vector<uint32_t> ids;
};

TEST_F(SimQueues, AFrameFlushesPositionsEventsCreationsAndRemovalsInThatOrder) {
    simWorld().setCreationAnswer("Airbus A320 Test", platform::simconnect::CreationAnswer::Create);
    gf_queueAiRemove(ids[2]);
    gf_queueAiCreate(creation("DLH4AB", 10001));
    gf_queueClientEvent(ids[0], kEventFlapsSet, 2);
    gf_queueNavLights(ids[1], 1);
    fillPosition(ids[0], 50.2);
    fillPosition(ids[1], 50.3);
    ASSERT_TRUE(gf_handOverPositions());

    lf_flushSimQueues();

    const auto id = [&](int i) { return std::to_string(ids[i]); };
    EXPECT_EQ(callTexts({"SimConnect_SetDataOnSimObject", "SimConnect_AIReleaseControl",
                         "SimConnect_TransmitClientEvent", "SimConnect_AICreateNonATCAircraft",
                         "SimConnect_GetLastSentPacketID", "SimConnect_AIRemoveObject"}),
              (std::vector<std::string>{
                  "SimConnect_SetDataOnSimObject(402," + id(0) + ",0,0,64)",
                  "SimConnect_SetDataOnSimObject(402," + id(1) + ",0,0,64)",
                  "SimConnect_AIReleaseControl(" + id(0) + ",103)",
                  "SimConnect_TransmitClientEvent(" + id(0) + ",217,2,301,0)",
                  "SimConnect_AIReleaseControl(" + id(0) + ",103)",
                  "SimConnect_TransmitClientEvent(" + id(1) + ",207,1,301,0)",
                  "SimConnect_AICreateNonATCAircraft(Airbus A320 Test,DLH4AB,50.01000,8.00000,2000,-2.0,0.0,90.0,0,0,104)",
                  "SimConnect_GetLastSentPacketID()",
                  "SimConnect_AIRemoveObject(" + id(2) + ",105)",
              }));
    EXPECT_DOUBLE_EQ(simWorld().object(ids[1])->latitude, 50.3);
    EXPECT_EQ(simWorld().object(ids[1])->lights & 0x1u, 0x1u);

    ASSERT_EQ(gPendingCreations.size(), 1u);
    DWORD lastSendId = 0;
    // The creation was the last packet before the removal, which is one packet later.
    SimConnect_GetLastSentPacketID(gSimConnect.load(), &lastSendId);
    EXPECT_EQ(gPendingCreations[0].sendId, lastSendId - 1);
    EXPECT_EQ(gPendingCreations[0].key, 10001u);
    EXPECT_EQ(gPendingCreations[0].callsign, "DLH4AB");
    EXPECT_TRUE(gPositionSend->empty());
    EXPECT_TRUE(gClientEventQueue.empty());
    EXPECT_TRUE(gCreateQueue.empty());
    EXPECT_TRUE(gRemoveQueue.empty());

    // The simulator acts on the next frame: one object more, the removed one gone.
    simWorld().stepFrames(1);
    EXPECT_EQ(simWorld().aiObjectCount(), 3u);
    EXPECT_FALSE(simWorld().object(ids[2]).has_value());
}

TEST_F(SimQueues, AFrameThatFindsTheLockHeldSkipsAndKeepsTheQueues) {
    gf_queueAiRemove(ids[0]);
    gf_queueAiCreate(creation("DLH4AB", 10001));
    gf_queueCabinLights(ids[1], 1);
    fillPosition(ids[1], 50.3);
    ASSERT_TRUE(gf_handOverPositions());
    {
        LockHolder holder;
        lf_flushSimQueues();
    }
    EXPECT_TRUE(simWorld().calls().empty());
    EXPECT_EQ(gPositionSend->size(), 1u);
    EXPECT_EQ(gClientEventQueue.size(), 1u);
    EXPECT_EQ(gCreateQueue.size(), 1u);
    EXPECT_EQ(gRemoveQueue.size(), 1u);

    lf_flushSimQueues();
    EXPECT_EQ(callTexts({"SimConnect_SetDataOnSimObject", "SimConnect_TransmitClientEvent",
                         "SimConnect_AICreateNonATCAircraft", "SimConnect_AIRemoveObject"})
                  .size(),
              4u);
    EXPECT_TRUE(gRemoveQueue.empty());
}

TEST_F(SimQueues, TheTicksHandOverDropsItsPositionsWhenTheLockIsBusy) {
    fillPosition(ids[0], 50.1);
    ASSERT_TRUE(gf_handOverPositions());
    fillPosition(ids[1], 50.2);
    {
        LockHolder holder;
        EXPECT_FALSE(gf_handOverPositions());
    }
    EXPECT_TRUE(gPositionFill->empty());
    ASSERT_EQ(gPositionSend->size(), 1u);
    EXPECT_EQ((*gPositionSend)[0].objectId, ids[0]);
}

TEST_F(SimQueues, ObjectIdsAtOrBelowTheUserAircraftAreNeverMovedCommandedOrRemoved) {
    gUserObjectId.store(ids[1]); // a 2024-style world where the user aircraft has a high id
    fillPosition(ids[0], 51.0);
    fillPosition(ids[1], 51.0);
    fillPosition(ids[2], 51.0);
    fillPosition(0, 51.0);
    gf_handOverPositions();
    gf_queueClientEvent(ids[1], kEventFlapsSet, 1);
    gf_queueAiRemove(ids[0]);
    gf_queueAiRemove(ids[1]);

    lf_flushSimQueues();

    const std::string last = std::to_string(ids[2]);
    EXPECT_EQ(callTexts({"SimConnect_SetDataOnSimObject", "SimConnect_TransmitClientEvent",
                         "SimConnect_AIReleaseControl", "SimConnect_AIRemoveObject"}),
              std::vector<std::string>{"SimConnect_SetDataOnSimObject(402," + last + ",0,0,64)"});
    EXPECT_DOUBLE_EQ(simWorld().object(1)->latitude, 50.0);
    EXPECT_TRUE(hasLine(log, "==> SimConnect call to remove ac with objectid " + std::to_string(ids[0])));
    EXPECT_TRUE(hasLine(log, "==> SimConnect call to remove ac with objectid " + std::to_string(ids[1])));
    simWorld().stepFrames(1);
    EXPECT_EQ(simWorld().aiObjectCount(), 3u);
}

TEST_F(SimQueues, WithARequestErrorTheQueuesAreEmptiedAndNothingIsSent) {
    gSimConnectError.store(true);
    gf_queueAiCreate(creation("DLH4AB", 10001));
    gf_queueAiRemove(ids[0]);
    gf_queueEngineStart(ids[0]);
    fillPosition(ids[0], 51.0);
    gf_handOverPositions();

    lf_flushSimQueues();

    EXPECT_TRUE(simWorld().calls().empty());
    EXPECT_TRUE(gPendingCreations.empty());
    EXPECT_TRUE(gPositionSend->empty());
    EXPECT_TRUE(gClientEventQueue.empty());
    EXPECT_TRUE(gCreateQueue.empty());
    EXPECT_TRUE(gRemoveQueue.empty());

    gf_reserveSimQueues(); // a new run starts clean
    EXPECT_FALSE(gSimConnectError.load());
    EXPECT_GE(gCreateQueue.capacity(), 256u);
    EXPECT_GE(gPositionFill->capacity(), 256u);
    EXPECT_GE(gPositionSend->capacity(), 256u);
}

TEST_F(SimQueues, AFailedCreationStopsTheRunWithSimConnectErrorAndSendsNothingMore) {
    simWorld().failCalls("SimConnect_AICreateNonATCAircraft", 1);
    gf_queueAiCreate(creation("DLH1", 10001, "Bad Title"));
    gf_queueAiCreate(creation("DLH2", 10002));
    gf_queueAiRemove(ids[0]);

    lf_flushSimQueues();

    EXPECT_TRUE(hasLine(log, "==> ! Simcon call to create ac in sim failed, hexid:10001, liv: 'Bad Title', callsign: DLH1)"));
    EXPECT_TRUE(hasLine(log, "SimConnect request error"));
    EXPECT_EQ(gf_statusLineSnapshot().message, "SimConnect request error");
    EXPECT_TRUE(gSimConnectError.load());
    EXPECT_TRUE(gStopFlag.load());
    EXPECT_EQ(gf_exitReason(), ExitReason::SimConnectError);
    EXPECT_EQ(gf_restartDelay(), 9);
    EXPECT_TRUE(gPendingCreations.empty());
    EXPECT_EQ(simWorld().callsOf("SimConnect_AICreateNonATCAircraft").size(), 1u);
    EXPECT_TRUE(simWorld().callsOf("SimConnect_AIRemoveObject").empty());
    EXPECT_TRUE(gCreateQueue.empty());
    EXPECT_TRUE(gRemoveQueue.empty());
}

TEST_F(SimQueues, AFailingFlapsEventGivesTheReleaseAndTheMessageOnlyAndTheOthersStillGo) {
    simWorld().failCalls("SimConnect_TransmitClientEvent", 1);
    gf_queueClientEvent(ids[0], kEventFlapsSet, 3);
    gf_queueClientEvent(ids[0], kEventGearSet, 1);

    lf_flushSimQueues();

    const std::string id = std::to_string(ids[0]);
    EXPECT_EQ(callTexts({"SimConnect_AIReleaseControl", "SimConnect_TransmitClientEvent"}),
              (std::vector<std::string>{"SimConnect_AIReleaseControl(" + id + ",103)",
                                        "SimConnect_TransmitClientEvent(" + id + ",217,3,301,0)",
                                        "SimConnect_TransmitClientEvent(" + id + ",219,1,301,0)"}));
    EXPECT_TRUE(hasLine(log, "SimConnect TransmitClientEvent: 217 fails"));
    EXPECT_FALSE(gStopFlag.load());
}

TEST_F(SimQueues, AnUnreadablePacketIdKeepsThePendingCreationWithSendIdZero) {
    simWorld().failCalls("SimConnect_GetLastSentPacketID", 1);
    gf_queueAiCreate(creation("DLH4AB", 42));
    lf_flushSimQueues();
    EXPECT_TRUE(hasLine(log, "==> GetLastSentPacketID"));
    ASSERT_EQ(gPendingCreations.size(), 1u);
    EXPECT_EQ(gPendingCreations[0].sendId, 0u);
    EXPECT_EQ(gPendingCreations[0].key, 42u);
    EXPECT_FALSE(gStopFlag.load());
}

TEST_F(SimQueues, AFailedRemovalIsLoggedWithTheClockAndTheIdTextAndStopsTheRun) {
    simWorld().failCalls("SimConnect_AIRemoveObject", 1);
    gIsMsfs2020.store(false); // ids in hexadecimal
    gf_queueAiRemove(ids[0]);
    lf_flushSimQueues();
    const std::regex line(fmt::format(R"(==> \d\d:\d\d:\d\d !SimConnect call to remove AI ac from sim failed, id {:x}\?)",
                                      ids[0]));
    bool found = false;
    for (const auto& l : log.lines()) found = found || std::regex_match(l, line);
    EXPECT_TRUE(found);
    EXPECT_EQ(gf_exitReason(), ExitReason::SimConnectError);
}

TEST_F(SimQueues, LightsAndEnginesAreQueuedInTheirFixedOrderWithTheirValues) {
    gf_queueLights(5, {1, 0, 1, 0, 1, 1, 0});
    gf_queueEngineStart(6);
    gf_queueEngineShutdown(6);
    std::vector<std::array<uint32_t, 3>> queued;
    for (const auto& e : gClientEventQueue) queued.push_back({e.objectId, e.eventId, e.value});
    EXPECT_EQ(queued, (std::vector<std::array<uint32_t, 3>>{{5, 207, 1},
                                                            {5, 206, 0},
                                                            {5, 210, 1},
                                                            {5, 208, 0},
                                                            {5, 209, 1},
                                                            {5, 212, 1},
                                                            {5, 211, 0},
                                                            {6, 220, 0},
                                                            {6, 221, 0}}));
}

TEST_F(SimQueues, TheCleanUpEmptiesEveryQueueAndList) {
    gf_queueAiCreate(creation("A", 1));
    gf_queueAiRemove(ids[0]);
    gf_queueNavLights(ids[0], 1);
    fillPosition(ids[0], 1.0);
    gPendingCreations.push_back({1, 2, "B"});
    gAddedObjects.push_back(ids[0]);
    gf_clearSimQueues();
    EXPECT_TRUE(gCreateQueue.empty() && gRemoveQueue.empty() && gClientEventQueue.empty());
    EXPECT_TRUE(gPositionFill->empty() && gPositionSend->empty());
    EXPECT_TRUE(gPendingCreations.empty() && gAddedObjects.empty());
}

// The SimClient thread flushes on every frame the simulator's clock makes while two producer
// threads queue events and positions; everything queued reaches the simulator exactly once.
class SimQueuesConcurrency : public simtest::FreshSim {};

TEST_F(SimQueuesConcurrency, ProducersAppendWhileTheSimClientFlushesEveryFrame) {
    testsupport::CapturedLog log;
    simWorld().startSimulator();
    simWorld().setFlightRunning(true);
    gIsMsfs2020.store(true);
    gf_reserveSimQueues();
    gUserObjectId.store(1);
    gf_setSimDispatch(TestDispatch::dispatch);
    const uint32_t target = simWorld().addForeignAircraft("Other", "X", 50.0, 8.0, 0.0, true);
    simWorld().stepFrames(1);

    std::jthread client(lf_simClientThread);
    ASSERT_TRUE(waitFor([] { return gSimConnect.load() != nullptr; }));
    std::jthread clock([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            simWorld().stepFrames(1);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    constexpr int kEventsPerProducer = 400;
    std::thread events([&] {
        for (int i = 0; i < kEventsPerProducer; ++i) gf_queueClientEvent(target, kEventNavLightsSet, i % 2);
    });
    std::thread ticks([&] {
        for (int i = 0; i < kEventsPerProducer; ++i) {
            PositionEntry entry;
            entry.block.latitude = 50.0 + i * 1e-5;
            entry.objectId = target;
            gPositionFill->push_back(entry);
            gf_handOverPositions();
            gf_queueClientEvent(target, kEventBeaconLightsSet, 1);
        }
    });
    events.join();
    ticks.join();
    ASSERT_TRUE(waitFor([] {
        std::lock_guard guard(gSimConnectLock);
        return gClientEventQueue.empty() && gPositionSend->empty();
    }));
    clock.request_stop();
    clock.join();
    client.request_stop();
    client.join();
    EXPECT_EQ(simWorld().object(target)->eventCount, 2u * kEventsPerProducer);
    EXPECT_GT(simWorld().object(target)->positionUpdates, 0u);
    EXPECT_GT(TestDispatch::frames.load(), 0);
}

} // namespace
