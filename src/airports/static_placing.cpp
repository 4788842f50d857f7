#include "airports/static_placing.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "airports/static_parking.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "liveries/livery_matching.hpp"
#include "records/stand_table.hpp"
#include "refdata/code_table.hpp"
#include "traffic/live_traffic.hpp"

namespace tamrix {

namespace {

// Static keys run 1 to 9999: 0 is "no key" on the simulator side, and keys above 10000 belong
// to live aircraft.
constexpr uint32_t kStaticKeys = 9999;

// Never reset, not even by a restart within the process: keys of aircraft made before a
// restart may still be on their way out of the simulator.
uint32_t gStaticKeyCounter = 0;

bool standIsAdjacent(const StandRecord* stand, uint32_t sid) {
    return stand != nullptr && std::find(stand->adjacent.begin(), stand->adjacent.end(), sid) != stand->adjacent.end();
}

bool onOrNextTo(uint32_t aircraftStand, uint32_t candidateStand, const StandRecord* stand) {
    return aircraftStand == candidateStand || (aircraftStand != 0 && standIsAdjacent(stand, aircraftStand));
}

// Refuses the candidate when its stand is not free; logs why.
bool standRefused(const StaticCandidate& candidate, const StandRecord* stand) {
    const auto sid = static_cast<int32_t>(candidate.standId);
    for (const LiveAircraft& live : gLiveAircraft) {
        if (live.phase != MovePhase::Parking && live.phase != MovePhase::Parked) continue;
        if (!onOrNextTo(live.standId, candidate.standId, stand)) continue;
        if (live.standId == candidate.standId)
            gf_log(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here", gf_standNameOfSid(sid),
                               candidate.callsign, live.head.callsign));
        else
            gf_log(fmt::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                               gf_standNameOfSid(sid), candidate.callsign, live.head.callsign,
                               gf_standNameOfSid(static_cast<int32_t>(live.standId))));
        return true;
    }
    for (const StaticAircraft& parked : gStaticAircraft) {
        if (!onOrNextTo(parked.standId, candidate.standId, stand)) continue;
        gf_log(fmt::format("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
                           gf_standNameOfSid(sid), candidate.callsign, parked.head.callsign,
                           gf_standNameOfSid(static_cast<int32_t>(parked.standId))));
        return true;
    }
    if (stand == nullptr) {
        gf_logHighlighted(fmt::format("stand with id {} not found", gf_standNameOfSid(sid)));
        return true;
    }
    if (stand->liveOccupied != 0) {
        gf_log(fmt::format("{:8}: no static parking for {}, live aircraft occupies the stand", stand->id,
                           candidate.callsign));
        return true;
    }
    // The user's stand may have been reserved after the plan was made.
    if (stand->reserved != 0) {
        gf_log(fmt::format("{:8}: no static parking for {}, the stand is reserved", stand->id, candidate.callsign));
        return true;
    }
    return false;
}

std::string staticCallsignOf(StaticCandidate& candidate, uint32_t key) {
    if (candidate.callsign.empty())
        return fmt::format("{}{}{}", gOperatorCodes.text(candidate.key.operatorIndex), key, "*");
    std::string& first = candidate.staysOn != 0 ? candidate.callsign : candidate.secondCallsign;
    std::string& second = candidate.staysOn != 0 ? candidate.secondCallsign : candidate.callsign;
    std::string shown = first.empty() ? second : first;
    return lf_staticCallsign(shown);
}

} // namespace

std::string lf_staticCallsign(std::string& text) {
    while (!text.empty() && text.back() == '_') text.pop_back();
    if (!text.empty() && text.back() == '*') return text;
    return fmt::format("{}{}", text, "*");
}

uint32_t gf_staticKeyCounter() { return gStaticKeyCounter; }

uint32_t lf_nextStaticKey() {
    // A key still held by a static aircraft is passed over: two aircraft of one key would mix
    // up the simulator's answers about them. There are far fewer than 9999 static aircraft.
    for (uint32_t tries = 0; tries < kStaticKeys; ++tries) {
        gStaticKeyCounter = gStaticKeyCounter % kStaticKeys + 1;
        if (gf_findStaticByKey(gStaticKeyCounter) < 0) break;
    }
    return gStaticKeyCounter;
}

void lf_placeStaticCandidate() {
    if (gStaticCandidates.empty() || gStandTable.empty()) return;
    StaticCandidate candidate = std::move(gStaticCandidates.back());
    gStaticCandidates.pop_back();

    const StandRecord* found = candidate.standId >= 1 ? gf_findStand(static_cast<int32_t>(candidate.standId)) : nullptr;
    if (standRefused(candidate, found)) return;
    const StandRecord& stand = *found;

    const uint32_t key = lf_nextStaticKey();
    TrafficHead head;
    head.liveryKey = candidate.key;
    head.callsign = staticCallsignOf(candidate, key);
    head.secondText = candidate.callsign;
    head.thirdText = candidate.secondCallsign;
    head.registration = candidate.registration;
    TrafficRecord record;
    gf_makeStaticTrafficRecord(record, std::move(head));
    record.key = key;

    gStaticAircraft.emplace_back(std::move(record), stand.standId, stand.latitude, stand.longitude, stand.heading,
                                 stand.cargo != 0);
    if (!matchLiveryLogged(gStaticAircraft.back(), stand)) {
        gStaticAircraft.pop_back();
        return;
    }
    StaticAircraft& aircraft = gStaticAircraft.back();
    aircraft.timeSlot = candidate.timeSlot ? *candidate.timeSlot
                                           : gf_weekSlotBefore(gf_currentWeekSlot(), candidate.fitOffset);
    aircraft.state = LiveState::Adding2Sim;

    AiCreateRequest request;
    request.initPosition.Latitude = stand.latitude;
    request.initPosition.Longitude = stand.longitude;
    request.initPosition.Altitude = 0.0;
    request.initPosition.Pitch = 0.0;
    request.initPosition.Bank = 0.0;
    request.initPosition.Heading = stand.heading * kRadToDeg;
    request.initPosition.OnGround = 1;
    request.initPosition.Airspeed = 0;
    request.callsign = aircraft.head.callsign;
    request.liveryTitle = aircraft.liveryTitle;
    request.key = aircraft.key;
    gStaticAddingStack.push_back(std::move(request));
}

int64_t gf_countStaticAc(uint8_t withMean) {
    int64_t n = 0;
    int64_t halfHours = 0;
    const WeekSlot now = gf_currentWeekSlot();
    for (const StaticAircraft& aircraft : gStaticAircraft) {
        if (aircraft.state != LiveState::Active && aircraft.state != LiveState::RemovingFromSim) continue;
        ++n;
        halfHours += gf_halfHoursSince(now, aircraft.timeSlot);
    }
    StaticParkingPanel& panel = gf_staticParkingPanel();
    if (withMean == 0 || panel.weekUsed.load()) return n;
    const float mean = n == 0 ? 0.0f : static_cast<float>(static_cast<double>(halfHours) / (2.0 * static_cast<double>(n)) + 0.5);
    const float shown = panel.staticMeanParked.load();
    if (std::isnan(mean) || std::isnan(shown) || mean != shown) {
        panel.staticMeanParked.store(mean);
        lf_repaintStaticParkingPanel();
    }
    return n;
}

} // namespace tamrix
