#include "app/subsystem_wiring.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "airports/stand_choice.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/sim_install.hpp"
#include "airports/stand_services.hpp"
#include "app/run_hooks.hpp"
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

// Installed at every process entry: a run in the same process after the hooks were reset (a
// test's) finds them again.
void gf_installSubsystems() {
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

    gf_installStandServices();
    gf_installParkAirportFileServices();
    gf_setActiveAircraftSource(&activeAircraftRows);
}

} // namespace tamrix
