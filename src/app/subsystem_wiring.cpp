#include "app/subsystem_wiring.hpp"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "airports/airports_scan.hpp"
#include "airports/my_park_airports.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/park_airport_selection.hpp"
#include "airports/sim_install.hpp"
#include "airports/stand_choice.hpp"
#include "airports/stand_options.hpp"
#include "airports/stand_services.hpp"
#include "airports/static_consistency.hpp"
#include "airports/static_parking.hpp"
#include "airports/static_placing.hpp"
#include "airports/tblo_folder.hpp"
#include "app/app_state.hpp"
#include "app/closing.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/run_hooks.hpp"
#include "config/settings.hpp"
#include "core/status_line.hpp"
#include "links/park_airport.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_dispatch.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_source_state.hpp"
#include "records/aircraft.hpp"
#include "records/stand_table.hpp"
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

void invalidateParkingBand() {
    const HWND window = gMainWindow.load();
    if (window != nullptr) InvalidateRect(window, &kParkingBand, TRUE);
}

// The parking panel shows copies of what the airports side holds; these run on the start-up
// thread whenever a value there changes.
void showParkAirport() {
    MainWindowState& s = gf_mainWindowState();
    const ParkAirportView view = gf_parkAirportView();
    const ParkPanelTexts texts = gf_parkPanelTexts();
    s.parkAirportCode.set(view.code);
    s.parkAirportName.set(view.name);
    s.parkAirportLoaded.store(view.loaded);
    s.reservedStandFound.store(view.reservedStandFound);
    s.parkAirportSecond.set(view.loaded ? texts.second : std::string{});
    s.qualityText.set(view.loaded ? texts.quality : std::string{});
    s.stands.store(view.loaded ? texts.stands : 0);
    s.handmade.store(view.loaded && texts.handmade);
    s.trafficWeek.store(view.loaded ? static_cast<int32_t>(gParkFile.rtTrafficWeek) : 0);
    s.standUpdates.store(gLearnedUpdateCount);
    invalidateParkingBand();
}

void showStaticParking() {
    MainWindowState& s = gf_mainWindowState();
    const StaticParkingPanel& panel = gf_staticParkingPanel();
    s.standsToFill.store(panel.standsToFill.load());
    s.wantedPercentage.store(panel.wantedPercentage.load());
    s.softFit.store(panel.softUsed.load());
    s.weekFit.store(panel.weekUsed.load());
    s.staticAverageFit.store(panel.staticMeanParked.load());
    s.liveAverageFit.store(panel.liveMeanParked.load());
    s.waitingStaticCandidates.store(gStaticCandidates.size());
    s.standUpdates.store(gLearnedUpdateCount);
    invalidateParkingBand();
}

void installAirports() {
    AirportHooks& airports = gf_airportHooks();
    airports.parkAirportTick = [](bool first) {
        gf_parkAirportTick(first);
        showStaticParking();
    };
    airports.removeStaticDuplicates = [] { gf_removeStaticDuplicates(); };
    airports.reservedStandName = [] { return gf_reservedStandName(); };
    airports.clearStand = [](const std::string& stand) { gf_clearStand(stand); };
    airports.parkingAdjustments = [] {
        gf_parkingAdjustments();
        showStaticParking();
    };
    airports.parkAirportLoaded = [] { return gf_parkAirport().code.isSet() && !gStandTable.empty(); };
    airports.staticParkingBusy = [] { return gf_staticParkingBusy(); };
    airports.beginStaticParking = [] { gf_beginStaticParking(); };
    airports.removeAllStaticAc = [] { gf_removeAllStaticAc(); };
    airports.clearStaticInTheWay = [] { gf_clearStaticInTheWay(); };
    airports.closeParkAirport = [] { return gf_leaveParkAirport(); };
    airports.readMyParkAirports = [] { lf_readMyParkAirports(); };
    airports.checkMyParkAirports = [](std::string& result) { return gf_checkMyParkAirports(result); };
    airports.detectMsfs = [] { return gf_detectMsfs() != 0; };
    airports.resetTbloCounter = [] { gTbloCopyCounter.store(0); };

    StaticParkingHooks staticHooks;
    staticHooks.controlsDisabled = [] { gf_disableStaticParkingControls(); };
    staticHooks.controlsEnabled = [] { gf_enableStaticParkingControls(); };
    staticHooks.repaintPanel = [] { showStaticParking(); };
    gf_setStaticParkingHooks(staticHooks);

    ParkAirportWindowHooks parkHooks;
    parkHooks.repaint = [] { showParkAirport(); };
    parkHooks.destinationEnabled = [] {
        if (DESTINATION.window != nullptr) EnableWindow(DESTINATION.window, TRUE);
    };
    parkHooks.countdownRestarted = [] { gMinutesToStaticUpdate.store(20); };
    gf_setParkAirportWindowHooks(parkHooks);
    gf_setParkingPanelRepaint([] {
        gf_mainWindowState().standUpdates.store(gLearnedUpdateCount);
        invalidateParkingBand();
    });

    gf_installStaticParking();
    gf_installStaticConsistency();
    gf_installParkAirportSelection();
}

} // namespace

// Installed at every process entry: a run in the same process after the hooks were reset (a
// test's) finds them again.
void gf_installSubsystems() {
    gf_installSettingHooks();
    gf_installSimDispatch();
    gf_setSimVersionSwitcher(&lf_onSimVersionMismatch);
    // RealTraffic has gone (the start-up thread found it while sending the user position): its
    // aircraft would freeze where they are, so every live aircraft leaves the simulator; one still
    // waiting for creation has its creation withdrawn.
    gf_setLiveAircraftRemover([] {
        for (LiveAircraft& aircraft : gLiveAircraft)
            if (aircraft.state == LiveState::Active || aircraft.state == LiveState::Adding2Sim)
                removeAircraftFromSim(aircraft);
    });

    LiveTrafficHooks& live = gf_liveTrafficHooks();
    live.initLiveTraffic = [] { gf_initLiveTraffic(); };
    live.handleAddingStack = [] { lf_handleAddingStack(); };
    live.processSimEvents = [] { gf_processSimEvents(); };
    live.resetLiveTraffic = [] { gf_resetLiveTraffic(); };
    live.handleCallsignMatchingKey = [] {
        if (gCallsignMatchKeys.empty()) return;
        const uint32_t key = gCallsignMatchKeys.front();
        gf_handleCallsignMatchingKey();
        // A live flight that landed or parked: its static copy, if any, makes way.
        const std::ptrdiff_t index = gf_findLiveByKey(key);
        if (index >= 0) gf_removeStaticDuplicatesOf(gLiveAircraft[static_cast<std::size_t>(index)]);
    };
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

    gf_installStandServices();
    installAirports();
    gf_installParkAirportFileServices();
    gf_setActiveAircraftSource(&activeAircraftRows);
}

} // namespace tamrix
