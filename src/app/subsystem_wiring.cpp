#include "app/subsystem_wiring.hpp"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/airports_scan.hpp"
#include "airports/stand_choice.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/sim_install.hpp"
#include "airports/stand_services.hpp"
#include "airports/tblo_folder.hpp"
#include "app/app_state.hpp"
#include "app/main_window.hpp"
#include "app/run_hooks.hpp"
#include "core/status_line.hpp"
#include "links/traffic_source_state.hpp"
#include "records/aircraft.hpp"
#include "refdata/code_table.hpp"
#include "traffic/aircraft_list_file.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

namespace tamrix {
namespace {

LiveAircraft* activeLiveWithCallsign(const std::string& callsign) {
    for (auto& aircraft : gLiveAircraft) {
        if (aircraft.state == LiveState::Active && aircraft.head.callsign == callsign) return &aircraft;
    }
    return nullptr;
}

std::vector<ActiveAircraftRow> activeAircraftRows() {
    std::vector<ActiveAircraftRow> rows;
    rows.reserve(gLiveAircraft.size());
    for (const auto& aircraft : gLiveAircraft) {
        if (aircraft.state != LiveState::Active) continue;
        ActiveAircraftRow row;
        row.objectId = aircraft.objectId;
        row.callsign = aircraft.head.callsign;
        row.registration = aircraft.head.registration;
        row.operatorCode = gOperatorCodes.text(aircraft.head.liveryKey.operatorIndex);
        row.modelCode = gModelCodes.text(aircraft.head.liveryKey.modelIndex);
        row.onGround = aircraft.onGround != 0;
        row.parked = aircraft.phase == MovePhase::Parked;
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

void gf_installSubsystems() {
    static bool installed = false;
    if (installed) return;
    installed = true;

    LiveTrafficHooks& live = gf_liveTrafficHooks();
    live.initLiveTraffic = [] { gf_initLiveTraffic(); };
    live.handleAddingStack = [] { lf_handleAddingStack(); };
    live.processSimEvents = [] { gf_processSimEvents(); };
    live.resetLiveTraffic = [] { gf_resetLiveTraffic(); };
    live.handleCallsignMatchingKey = [] { gf_handleCallsignMatchingKey(); };
    live.activeLiveObjectId = [](const std::string& callsign) -> std::optional<uint32_t> {
        if (const LiveAircraft* aircraft = activeLiveWithCallsign(callsign)) return aircraft->objectId;
        return std::nullopt;
    };
    live.removeAircraftFromSim = [](const std::string& callsign) {
        LiveAircraft* aircraft = activeLiveWithCallsign(callsign);
        if (aircraft == nullptr) return false;
        removeAircraftFromSim(*aircraft);
        return true;
    };
    live.removeAcAroundUser = [] {
        gf_refreshUserCopy();
        gf_removeAcAroundUser();
    };
    live.removeLiveAcOnUserPath = [] {
        gf_refreshUserCopy();
        gf_removeLiveAcOnUserPath();
    };
    live.clearLiveryMemory = [] { gLiveryMemory.clear(); };
    live.clearFailedKeys = [] { gFailedKeyTexts.clear(); };
    live.clearGhostList = [] { gGhostList.clear(); };

    gf_airportHooks().detectMsfs = [] { return gf_detectMsfs() != 0; };
    AirportScanWindow& scanWindow = gf_airportScanWindow();
    scanWindow.showSimaddonAirports = [](uint64_t count) {
        gSimaddonCount.store(count);
        gf_invalidateStatusPanel();
    };
    scanWindow.showThirdpartyAirports = [](uint64_t count) {
        gThirdpartyCount.store(count);
        gf_invalidateStatusPanel();
    };
    scanWindow.repaintOptions = [] { gf_invalidateOptionsArea(); };
    // A scan that fails (its list of supported airports missing, say) is reported and the run
    // goes on without it; SCAN_AIRPORTS stays on, so the next start scans again.
    gf_airportHooks().scanAirports = [] {
        try {
            gf_scanAirports();
        } catch (const std::exception& e) {
            gf_setStatusLine(fmt::format("Airports scan failed: {}", e.what()), true);
        }
    };
    gf_airportHooks().resetTbloCounter = [] { gTbloCopyCounter.store(0); };

    gf_installStandServices();
    gf_installParkAirportFileServices();
    gf_setActiveAircraftSource(&activeAircraftRows);
}

} // namespace tamrix
