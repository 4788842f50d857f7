#include "traffic/spawning.hpp"

#include <chrono>

#include <fmt/format.h>

#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "core/user_error.hpp"
#include "config/refused_titles.hpp"
#include "links/flight_plan_writer.hpp"
#include "links/sim_definitions.hpp"
#include "links/simconnect_client.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/matching_statistics.hpp"
#include "refdata/code_table.hpp"
#include "records/stand_table.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

namespace {

WeekSlot currentWeekSlot() {
    const auto [day, slot] = gf_weekdayAndHalfHour();
    if (day < 1 || slot < 0) return WeekSlot{};
    return WeekSlot{static_cast<uint32_t>(day), static_cast<uint32_t>(slot)};
}

bool endsWithUnderscore(std::string_view text) { return !text.empty() && text.back() == '_'; }

// The birth phase of an aircraft first seen on the ground: parked on a stand, else taxi.
void bornOnGround(LiveAircraft& aircraft) {
    SampleQueue& samples = aircraft.samples;
    StandRecord* stand = lf_standAtBirth(aircraft);
    if (aircraft.erase != 0) return;
    if (stand == nullptr) {
        if (samples.size() >= 2 && samples[1].generated != 0) samples.pop_front();
        aircraft.phase = MovePhase::Taxi;
        return;
    }
    aircraft.standLatitude = stand->latitude;
    aircraft.standLongitude = stand->longitude;
    aircraft.standHeading = stand->heading;
    aircraft.standId = stand->standId;
    aircraft.cargoStand = stand->cargo;
    // Taken from now on: static parking leaves it alone and a taxiing aircraft does not park there.
    lf_claimStand(aircraft);
    lf_cargoMarking(aircraft);
    aircraft.phase = MovePhase::Parked;
    aircraft.timeSlot = currentWeekSlot();
    aircraft.move.parkedSince = std::chrono::steady_clock::now();
    aircraft.move.standCount = 0;
    aircraft.move.standSeen = 0;
    if (samples.size() > 1) samples.pop_front();
    PositionSample& front = samples.front();
    front.latitude = stand->latitude;
    front.longitude = stand->longitude;
    front.track = stand->heading * kRadToDeg;
    lf_addRealStandOption(static_cast<int32_t>(stand->standId), aircraft, kStaySpawnParked);
    gf_limitParkedAircraft(1);
}

} // namespace

std::optional<std::string_view> lf_takeRememberedLivery(uint32_t key) {
    const auto it = gLiveryMemory.find(key);
    if (it == gLiveryMemory.end()) return std::nullopt;
    const std::string_view title = it->second;
    gLiveryMemory.erase(it);
    if (gNotCreatedTitles.contains(title)) return std::nullopt;
    return title;
}

void spawnLiveAc(LiveAircraft& aircraft) {
    SampleQueue& samples = aircraft.samples;
    if (samples.size() < 2) {
        gf_log(fmt::format("{} sz:{}", "spawnLiveAc", samples.size()));
        return;
    }
    if (samples[1].generated != 0) {
        samples[0].generated = 1;
        samples[0].groundSpeed = 0.0;
        samples[1].groundSpeed = 0.0;
        if (samples.size() >= 3 && samples[2].generated != 0) samples[2].groundSpeed = 0.0;
    } else {
        samples[0].generated = 0;
    }

    if (aircraft.phase == MovePhase::Birth) {
        if (aircraft.liveryTitle.empty()) {
            if (const auto remembered = lf_takeRememberedLivery(aircraft.key)) {
                aircraft.liveryTitle = *remembered;
                aircraft.fsltl = remembered->find("FSLTL_") != std::string_view::npos;
            } else {
                matchLivery(aircraft);
                if (!aircraft.liveryTitle.empty()) {
                    gLiveryMemory[aircraft.key] = aircraft.liveryTitle;
                } else {
                    if (!aircraft.head.registration.empty()) gFailedKeyTexts.insert(gf_keyRegText(aircraft));
                    gf_noteNoMatch(gf_acDescription(aircraft));
                    aircraft.erase = 1;
                    // Nothing more for an aircraft that is not created: no stand is taken for it.
                    return;
                }
            }
        }
        if (samples.front().airborne != 0)
            aircraft.phase = MovePhase::Flying;
        else
            bornOnGround(aircraft);
    }
    if (aircraft.erase != 0) return;

    lf_positionAtSpawn(aircraft);
    aircraft.state = LiveState::Adding2Sim;
    gSpawnStack.push_back(aircraft.key);
    if (!endsWithUnderscore(aircraft.head.callsign)) lf_removeGhost(aircraft.head.callsign);
}

void lf_removeGhost(std::string_view callsign) {
    if (callsign.empty()) return;
    for (LiveAircraft& ghost : gLiveAircraft) {
        const std::string& cs = ghost.head.callsign;
        if (ghost.state == LiveState::RemovingFromSim || ghost.erase != 0 || ghost.creationWithdrawn != 0) continue;
        if (cs.size() != callsign.size() + 1 || !cs.starts_with(callsign) || cs.back() != '_') continue;
        if (ghost.phase == MovePhase::Parked)
            gf_log(fmt::format("{:8}: {:8} is a ghost and will be removed, continue with {}",
                               gf_standNameOfSid(static_cast<int32_t>(ghost.standId)), cs, callsign));
        else
            gf_log(fmt::format("          {:8} is a ghost and will be removed, continue with {}", cs, callsign));
        if (gGhostList.size() < 4096) gGhostList.push_back(cs);
        removeAircraftFromSim(ghost);
        return;
    }
}

void gf_liveryFailed(const TrafficRecord& record) {
    if (!gStopFlag.load() && !gClosingFlag.load())
        gf_setStatusLine(fmt::format("{} '{}' could not be created by your Sim!", record.head.callsign,
                                     record.liveryTitle),
                         true);
    if (!record.liveryTitle.empty()) gNotCreatedTitles.insert(record.liveryTitle);
    gNotCreatedLines.insert(fmt::format("{} {}", gOperatorCodes.text(record.head.liveryKey.operatorIndex),
                                        gModelCodes.text(record.head.liveryKey.modelIndex)));
    if (gNotCreatedTitles.size() >= kMaxFailedTitles)
        throw UserErrorException(81, "There are too many liveries that could not be created!");
}

bool onLiveAcCreated(LiveAircraft& aircraft, const SimEvent& event) {
    if (event.objectId < 3) return false;
    aircraft.objectId = event.objectId;
    aircraft.heightAboveGround = event.value2;
    if (aircraft.samples.empty() || aircraft.samples.front().airborne == 0) lf_placeOnGround(aircraft);
    lf_assignFlightPlan(aircraft);
    bool failed = false;
    {
        std::lock_guard guard(gSimConnectLock);
        if (const HANDLE handle = gSimConnect.load(); handle != nullptr && !gSimConnectError.load())
            failed = SimConnect_RequestDataOnSimObject(handle, kRequestStaticCg, kDefStaticCg, aircraft.objectId,
                                                       SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0) < 0;
    }
    if (failed) {
        gf_log("SimConnect request StaticCG fails");
        gf_simConnectRequestError();
    }
    return true;
}

void lf_assignFlightPlan(LiveAircraft& aircraft) {
    if (!aircraft.head.origin.isSet() || !aircraft.head.destination.isSet()) return;
    const std::filesystem::path path = gf_flightPlanPath(aircraft.objectId);
    bool written = gf_writeFlightPlan(path, aircraft);
    if (written && gIsMsfs2020.load()) {
        std::lock_guard guard(gSimConnectLock);
        const HANDLE handle = gSimConnect.load();
        written = handle != nullptr &&
                  SimConnect_AISetAircraftFlightPlan(handle, aircraft.objectId, path.string().c_str(),
                                                     kRequestFlightPlan) == S_OK;
    }
    aircraft.flightPlanWritten = written ? 1 : 0;
    if (!written) gf_log(fmt::format("{} creating a flight plan failed", gf_acShortDescription(aircraft)));
}

void lf_placeOnGround(LiveAircraft& aircraft) {
    aircraft.onGround = 1;
    gf_setGear(aircraft, 1);
    aircraft.position.verticalSpeed = 0.0;
    aircraft.move.verticalSpeed = 0.0;
    aircraft.timeSlot = currentWeekSlot();
    const std::string standName = gf_standNameOfSid(static_cast<int32_t>(aircraft.standId));
    gf_log(fmt::format("{:8}: {:8} parks", standName, aircraft.head.callsign));
    if (aircraft.standId != 0) {
        gf_dropStaticCandidatesForStand(static_cast<int32_t>(aircraft.standId));
        for (StaticAircraft& parked : gStaticAircraft) {
            if (parked.standId != aircraft.standId || parked.state != LiveState::Active) continue;
            gf_log(fmt::format("{:8}: {:8} parks over static {} \xE2\x80\x94 static will be removed", standName,
                               aircraft.head.callsign, parked.head.callsign));
            removeAircraftFromSim(parked);
            break;
        }
    }
    aircraft.stepCounter = 1;
}

} // namespace tamrix
