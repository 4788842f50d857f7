#pragma once
// Helpers of the SimConnect link tests: a fresh simulator and connection state with the log
// captured, a connection opened and registered without the SimClient thread, a stand-in for the
// dispatch handlers, waiting for a condition, and reading the call log.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "core/captured_log.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "links/park_airport.hpp"
#include "links/reserved_stand.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_dispatch.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/sim_status.hpp"
#include "links/stand_lookup.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_source_state.hpp"
#include "links/user_aircraft_data.hpp"
#include "links/user_aircraft_state.hpp"
#include "platform/simconnect/sim_world.hpp"

namespace simtest {

using platform::simconnect::simWorld;

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// "function(args)" of every call of these functions, in order.
inline std::vector<std::string> callTexts(std::initializer_list<std::string_view> functions) {
    std::vector<std::string> out;
    for (const auto& call : simWorld().calls())
        for (const auto f : functions)
            if (call.function == f) out.push_back(call.text());
    return out;
}

inline bool hasLine(const testsupport::CapturedLog& log, std::string_view line) {
    for (const auto& l : log.lines())
        if (l == line) return true;
    return false;
}

// What the dispatch handlers do with the messages these tests need: "Sim" sets the running
// flag, a Frame flushes the queues, QUIT marks the quit and clears the running flag. A test can
// make the next OPEN message throw.
struct TestDispatch {
    static inline std::function<void()> onOpen;
    static inline std::atomic<int> frames{0};

    static void dispatch(SIMCONNECT_RECV* message, DWORD, void*) {
        switch (message->dwID) {
        case SIMCONNECT_RECV_ID_OPEN:
            if (onOpen) onOpen();
            break;
        case SIMCONNECT_RECV_ID_QUIT:
            tamrix::gSimQuit.store(true);
            tamrix::gSimRunning.exchange(false);
            break;
        case SIMCONNECT_RECV_ID_EVENT: {
            const auto* event = reinterpret_cast<const SIMCONNECT_RECV_EVENT*>(message);
            if (event->uEventID == tamrix::kSystemEventSim) tamrix::gSimRunning.exchange(event->dwData == 1);
            break;
        }
        case SIMCONNECT_RECV_ID_EVENT_FRAME:
            ++frames;
            tamrix::lf_flushSimQueues();
            break;
        default:
            break;
        }
    }
};

// Everything the simulator link keeps for the whole process back to a fresh start: the
// simulator itself, the run state and the message line, and each piece of state of the link
// through its owner's own reset.
inline void resetSimLinks() {
    simWorld().reset();
    tamrix::gf_resetRunState();
    tamrix::gf_resetStatusLine();
    tamrix::gf_resetSimClientState();
    tamrix::gSimOpen.store(false);
    tamrix::gf_setSimDispatch(nullptr);
    tamrix::gf_setSimVersionSwitcher(nullptr);
    tamrix::gf_setReservedStandUpdater(nullptr);
    tamrix::gf_resetSimDispatchState();
    tamrix::gf_clearSimQueues();
    tamrix::gf_clearSimEvents();
    tamrix::gf_resetUserAircraftData();
    tamrix::gf_resetUserAcState();
    tamrix::gf_resetUserPositionRecord();
    tamrix::gf_resetSimStatusTexts();
    tamrix::gf_clearParkAirport();
    tamrix::gf_setStandNameFinder(nullptr);
    tamrix::gIsMsfs2020.store(true);
    tamrix::gRealTrafficProfessional.store(false);
}

// A fresh simulator link before and after each test, so that tests run in one process in any
// order.
class FreshSim : public ::testing::Test {
protected:
    void SetUp() override { resetSimLinks(); }
    void TearDown() override { resetSimLinks(); }
};

// The log captured in a fresh folder; a running simulator and flight; the user aircraft is
// object 1.
class SimTest : public FreshSim {
protected:
    void SetUp() override {
        FreshSim::SetUp();
        simWorld().startSimulator();
        simWorld().setFlightRunning(true);
        platform::simconnect::UserAircraft user;
        user.objectId = 1;
        user.latitude = 50.0;
        user.longitude = 8.0;
        simWorld().setUserAircraft(user);
        tamrix::gIsMsfs2020.store(true);
        tamrix::gf_reserveSimQueues();
    }

    // Opens and registers the SimClient connection on this thread, as the thread would, and
    // dispatches what came back unless asked not to.
    HANDLE connect(bool dispatchNow = true) {
        HANDLE handle = nullptr;
        EXPECT_EQ(SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
        tamrix::gSimConnect.store(handle);
        tamrix::lf_setupSimDefinitions();
        if (dispatchNow) SimConnect_CallDispatch(handle, TestDispatch::dispatch, nullptr);
        return handle;
    }

    // AI objects the simulator holds (ids from 100 on).
    std::vector<uint32_t> addAircraft(int count) {
        std::vector<uint32_t> ids;
        for (int i = 0; i < count; ++i)
            ids.push_back(simWorld().addForeignAircraft("Other", "X" + std::to_string(i), 50.0, 8.0, 0.0, true));
        simWorld().stepFrames(1);
        return ids;
    }

    testsupport::CapturedLog log;
};

// Holds the SimConnect lock on another thread until released (a mutex cannot be tried by the
// thread that holds it).
class LockHolder {
public:
    LockHolder() {
        m_thread = std::thread([this] {
            std::unique_lock lock(tamrix::gSimConnectLock);
            m_held = true;
            while (!m_release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        while (!m_held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LockHolder() { release(); }
    void release() {
        m_release = true;
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_release{false};
    std::thread m_thread;
};

} // namespace simtest
