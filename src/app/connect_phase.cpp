#include "app/connect_phase.hpp"

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/run_hooks.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/time_texts.hpp"
#include "links/qnh_reader.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_dispatch.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"
#include "links/user_aircraft_data.hpp"
#include "links/user_aircraft_state.hpp"
#include "traffic/auto_radius.hpp"

namespace tamrix {
namespace {

// A reader thread of the previous run that did not end in time was let go by the closing; a
// still joinable one has ended and is collected here.
void startReader(std::thread& slot, std::thread thread) {
    if (slot.joinable()) slot.join();
    slot = std::move(thread);
}

} // namespace

bool lf_requestAcGndAir() {
    const auto& timings = gf_appTimings();
    while (!gSimRunning.load() || gSimConnectError.load()) {
        if (gf_stopOrClosing()) return false;
        std::this_thread::sleep_for(timings.simWaitStep);
    }
    if (gf_stopOrClosing()) return false;
    {
        std::lock_guard guard(gSimConnectLock);
        const HRESULT hr = SimConnect_RequestDataOnSimObject(gSimConnect.load(), kRequestUserOnGround, kDefUserOnGround,
                                                             SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND, 0, 0,
                                                             0, 0);
        if (hr != S_OK) {
            gf_logHighlighted("SimConnect request ac gnd/air fails");
            gf_simConnectRequestError();
        }
    }
    for (;;) {
        const UserPositionRecord record = gf_userPositionRecord();
        if (record.onGroundKnown != 0 && !gf_isZeroPosition(record.state.latitude, record.state.longitude)) break;
        const auto passStart = std::chrono::steady_clock::now();
        gf_setUserPositionState(gf_requestUserAcPosition());
        if (gf_stopOrClosing()) return false;
        std::this_thread::sleep_until(passStart + timings.positionWaitStep);
    }
    gf_requestUserAcTitleModel();
    return true;
}

bool lf_runPhase() {
    const auto& timings = gf_appTimings();
    gTrafficRunFlag.store(false);
    gf_invalidateStatusPanel();
    gf_callHook(gf_liveTrafficHooks().initLiveTraffic);
    gf_reserveSimQueues();
    gf_invalidateStatusPanel();
    // Waits for the previous run's SimClient thread (asked to stop by its closing) first.
    gf_simClientThread().start([](std::stop_token stop) { lf_simClientThread(stop); });
    if (!lf_requestAcGndAir()) return false;

    if (SCAN_AIRPORTS.window != nullptr) EnableWindow(SCAN_AIRPORTS.window, TRUE);
    if (SCAN_AIRPORTS.current.load()) {
        gSimaddonCount.store(0);
        gf_invalidateStatusPanel();
        gThirdpartyCount.store(0);
        gf_invalidateStatusPanel();
        gf_callHook(gf_airportHooks().scanAirports);
    }
    if (AUTO_RANGE.current.load()) gf_applyAutoRange();
    const bool aerowinx = AEROWINX.current.load();
    gf_mainWindowState().realTrafficLampOff.store(false); // the RealTraffic lamp shows the link from now
    if (!gRealTrafficOnThisPc.load() || aerowinx) {
        gTrafficRunFlag.store(true);
        gf_invalidateStatusPanel();
    } else {
        gf_listenForRealTraffic(PORT_NUMBER.current.get());
    }
    if (gf_stopOrClosing()) return false;
    gf_invalidateStatusPanel();
    if (!aerowinx) {
        gf_waitForRealTraffic();
        if (gRealTrafficProfessional.load()) gf_sendSimTime(gSimUtcTime.load());
    } else {
        gRealTrafficProfessional.store(false);
    }
    if (gf_stopOrClosing()) return false;

    gf_shutTrafficGate();
    startReader(gf_qnhReaderThread(), std::thread(lf_qnhReaderThread, gQnhPort.load()));
    if (!gf_pauseUnlessStopping(timings.readerStagger)) return false;
    startReader(gf_trafficReaderThread(),
                std::thread(lf_trafficReaderThread, gTrafficPort.load(), gRealTrafficOnThisPc.load()));
    gf_sendUserPosition();
    const UserAcState user = gf_userPositionRecord().state;
    gf_trafficReader().setUserPosition({user.latitude, user.longitude});

    int32_t waits = 0;
    while (std::floor(gLastTrafficTime.load()) == 0.0 && waits < timings.trafficWaitSteps) {
        if (!gf_pauseUnlessStopping(timings.trafficWaitStep)) return false;
        ++waits;
    }
    if (std::floor(gLastTrafficTime.load()) == 0.0) gf_log("No traffic in this region?");
    gf_refreshTimeSlot();
    return true;
}

} // namespace tamrix
