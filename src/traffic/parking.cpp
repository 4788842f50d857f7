#include "traffic/parking.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "links/park_airport.hpp"
#include "links/stand_lookup.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/stand_table.hpp"
#include "refdata/model_lookups.hpp"
#include "traffic/air_movement.hpp"
#include "traffic/ground_movement.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/ai_controls.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

namespace {

ReservedStandName gReservedStandName = nullptr;

constexpr double kNmPerMetre = 1.0 / kMetresPerNm;
// Feed seconds without a report after which an aircraft parked on a stand counts as gone from it.
constexpr double kGoneFromStandSeconds = 120.0;

bool isParkedOrPushing(MovePhase p) { return p == MovePhase::Parked || p == MovePhase::PushingBack; }

double halfSpanOf(const TrafficRecord& r) { return gf_halfSpan(r.head.liveryKey.modelIndex); }

// Two aircraft on stands this far apart or nearer touch wings.
bool collide(GeoPosition a, GeoPosition b, const TrafficRecord& one, const TrafficRecord& other) {
    return gf_distanceNm(a, b) <= 1.1 * (halfSpanOf(one) + halfSpanOf(other));
}

LiveAircraft* firstLiveOnStand(int32_t sid, const LiveAircraft* except = nullptr) {
    if (sid < 1) return nullptr;
    for (LiveAircraft& other : gLiveAircraft)
        if (&other != except && static_cast<int32_t>(other.standId) == sid) return &other;
    return nullptr;
}

// An aircraft that is in the simulator or on its way there holds its stand; one that is leaving
// or will not be created does not.
bool holdsStand(const LiveAircraft& other) {
    return (other.state == LiveState::Active || other.state == LiveState::Adding2Sim) && other.erase == 0 &&
           other.creationWithdrawn == 0 && other.removalAsked == 0;
}

LiveAircraft* firstHolderOfStand(int32_t sid, const LiveAircraft* except = nullptr) {
    if (sid < 1) return nullptr;
    for (LiveAircraft& other : gLiveAircraft)
        if (&other != except && static_cast<int32_t>(other.standId) == sid && holdsStand(other))
            return &other;
    return nullptr;
}

// The stand's position when the table has one; none for ids below 1, unknown ids and 0/0.
std::optional<GeoPosition> standPosition(int32_t sid) {
    const StandRecord* s = gf_findStand(sid);
    if (!s || (s->latitude == 0.0 && s->longitude == 0.0)) return std::nullopt;
    return GeoPosition{s->latitude, s->longitude};
}

bool endsInUnderscore(std::string_view cs) { return !cs.empty() && cs.back() == '_'; }
std::string_view withoutLast(std::string_view cs) { return cs.empty() ? cs : cs.substr(0, cs.size() - 1); }

// A stand the user aircraft stands on or holds is never given to a live aircraft.
bool userStand(const StandRecord& stand) {
    const std::string reserved = gReservedStandName ? gReservedStandName() : std::string();
    if (!reserved.empty() && stand.id == reserved) return true;
    const UserAcState user = gf_userCopy().state;
    const std::string under = gf_standNameAt(user.latitude, user.longitude);
    return !under.empty() && stand.id == under;
}

void takeStand(LiveAircraft& ac, const StandRecord& stand) {
    ac.standLatitude = stand.latitude;
    ac.standLongitude = stand.longitude;
    ac.standHeading = stand.heading;
    ac.standId = stand.standId;
    ac.cargoStand = stand.cargo;
}

} // namespace

void gf_setReservedStandNameSource(ReservedStandName source) { gReservedStandName = source; }

std::string gf_reservedStandNameFromSource() { return gReservedStandName ? gReservedStandName() : std::string(); }

void try2Park(LiveAircraft& ac, bool touchedDown) {
    if (ac.samples.empty()) {
        gf_logHighlighted(fmt::format("{} empty sz?", "try2Park"));
        return;
    }
    const PositionSample& last = ac.samples.back();
    MoveState& m = ac.move;
    if (std::abs(last.latitude - m.lastParkLatitude) <= 1e-8 && std::abs(last.longitude - m.lastParkLongitude) <= 1e-8)
        return;
    m.lastParkLatitude = last.latitude;
    m.lastParkLongitude = last.longitude;
    const double search = (touchedDown ? 55.0 : 20.0) * kNmPerMetre;
    const StandRecord* found = gf_nearestFittingStand(last.latitude, last.longitude, ac, search, touchedDown);
    if (!found) return;
    const StandRecord& stand = *found;
    if (userStand(stand)) return;
    const int32_t sid = static_cast<int32_t>(stand.standId);
    if (LiveAircraft* holder = firstLiveOnStand(sid, &ac);
        holder && holder->phase == MovePhase::Parked && holder->state == LiveState::Active) {
        gf_log(fmt::format("{:8}: {:8} removed, {} wants to park there", stand.id, holder->head.callsign,
                           ac.head.callsign));
        removeAircraftFromSim(*holder);
    }
    for (uint32_t adjacent : stand.adjacent) lf_clearAdjacentStand(static_cast<int32_t>(adjacent), ac, stand);
    lf_makeWayOnStand(ac, stand);
    takeStand(ac, stand);
    while (ac.samples.size() > 1) ac.samples.pop_back();
    lf_setPhase(ac, MovePhase::Parking);
    drive2Stand(ac, stand.latitude, stand.longitude, stand.heading);
}

StandRecord* lf_standAtBirth(LiveAircraft& ac) {
    // An aircraft that will not be created must not move others off their stands.
    if (ac.erase || ac.samples.empty() || gStandTable.empty()) return nullptr;
    const ParkAirport park = gf_parkAirport();
    PositionSample& f = ac.samples.front();
    if (!park.code.isSet() || gf_distanceNm({f.latitude, f.longitude}, park.position) > 5.0) return nullptr;
    GeoPosition at{f.latitude, f.longitude};
    if (!f.generated) {
        const PositionSample& last = ac.samples.back();
        if (ac.samples.size() < 2 || ac.samples[1].groundSpeed > 5.0 ||
            gf_distanceNm({last.latitude, last.longitude}, at) > 35.0 * kNmPerMetre)
            return nullptr;
        at = {last.latitude, last.longitude};
    }
    StandRecord* found = gf_nearestFittingStand(at.latitude, at.longitude, ac, 55.0 * kNmPerMetre, f.generated != 0);
    if (!found || userStand(*found)) return nullptr;
    const StandRecord& stand = *found;
    bool free = lf_standFreeForCallsign(static_cast<int32_t>(stand.standId), ac.head.callsign, ac.lastUpdateTime);
    for (uint32_t adjacent : stand.adjacent)
        free = free && lf_adjacentStandFree(static_cast<int32_t>(adjacent), ac, stand);
    if (!free) {
        ac.erase = 1;
        return nullptr;
    }
    lf_makeWayOnStand(ac, stand);
    if (!f.generated) {
        f.generated = 1;
        f.groundSpeed = 0.0;
    }
    return found;
}

bool lf_standFreeForCallsign(int32_t sid, std::string_view c, double seenAt) {
    // An aircraft still waiting for its creation holds the stand as well: two aircraft first
    // seen on one stand are not both created there.
    // An arrival driving onto the stand holds it too: the aircraft it removed there is not born
    // again on it.
    LiveAircraft* other = firstHolderOfStand(sid);
    if (!other || (other->phase != MovePhase::Parked && other->phase != MovePhase::Parking &&
                   other->phase != MovePhase::PushingBack && other->phase != MovePhase::PushedBack))
        return true;
    const std::string name = gf_standNameOfSid(sid);
    const std::string_view theirs = other->head.callsign;
    if (theirs == c) {
        gf_log(fmt::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", name, theirs, c));
        removeAircraftFromSim(*other);
        return true;
    }
    // A ghost is the same flight reported again under its callsign with '_' appended.
    if (endsInUnderscore(c) && withoutLast(c) == theirs) return false;
    if ((endsInUnderscore(theirs) && withoutLast(theirs) == c) || (endsInUnderscore(theirs) && !endsInUnderscore(c))) {
        gf_log(fmt::format("{:8}: {:8} ghost, replace by {}", name, theirs, c));
        removeAircraftFromSim(*other);
        return true;
    }
    if (!endsInUnderscore(theirs) && endsInUnderscore(c)) return false;
    if (other->move.departureNoticed) return false;
    // Still reported, the aircraft standing there keeps the stand against a newcomer that is
    // itself first seen standing on it (a duplicate target under another callsign, two light
    // aircraft on one apron stand): were the newcomer to take it, the one it removed, still
    // reported there, would be born again and take it back, and so on for ever. One whose reports
    // have stopped is gone from the stand and makes way.
    if (other->state != LiveState::Active || seenAt - other->lastUpdateTime < kGoneFromStandSeconds) return false;
    gf_log(fmt::format("{:8}: {:8} removed because another live {} wants the stand ...", name, theirs, c));
    removeAircraftFromSim(*other);
    return true;
}

bool lf_adjacentStandFree(int32_t adjacentSid, const LiveAircraft& ac, const StandRecord& stand) {
    const LiveAircraft* other = firstHolderOfStand(adjacentSid, &ac);
    if (!other || !isParkedOrPushing(other->phase) || other->head.callsign == ac.head.callsign) return true;
    const auto at = standPosition(adjacentSid);
    if (!at) return true;
    return !collide(*at, {stand.latitude, stand.longitude}, ac, *other);
}

void lf_clearAdjacentStand(int32_t adjacentSid, const LiveAircraft& ac, const StandRecord& stand) {
    LiveAircraft* other = firstLiveOnStand(adjacentSid, &ac);
    if (!other || !isParkedOrPushing(other->phase) || other->state != LiveState::Active) return;
    const auto at = standPosition(adjacentSid);
    if (!at || !collide(*at, {stand.latitude, stand.longitude}, ac, *other)) return;
    gf_log(fmt::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                       gf_standNameOfSid(adjacentSid), other->head.callsign, ac.head.callsign, stand.id));
    removeAircraftFromSim(*other);
}

void lf_makeWayOnStand(const LiveAircraft& ac, const StandRecord& stand) {
    auto& statics = gStaticAircraft;
    bool erased = false;
    for (StaticAircraft& st : statics) {
        if (st.standId != stand.standId || st.erase) continue;
        const bool sameFlight = st.head.secondText == ac.head.callsign ||
                                (!st.head.registration.empty() && st.head.registration == ac.head.registration);
        const char* suffix = sameFlight ? " the same live version" : "";
        if (st.state == LiveState::Adding2Sim) {
            if (gf_eraseFromAddingStack(gStaticAddingStack, st.key)) {
                st.erase = 1;
                erased = true;
                gf_log(fmt::format("queued {:8}: {:8} {} makes way for{} {} {}", stand.id, st.head.callsign,
                                   st.head.registration, suffix, ac.head.callsign, ac.head.registration));
            } else {
                st.removalAsked = 1;
            }
        } else if (st.state == LiveState::Active) {
            gf_log(fmt::format("{:8}: {:8} {} makes way for{} {} {}", stand.id, st.head.callsign, st.head.registration,
                               suffix, ac.head.callsign, ac.head.registration));
            removeAircraftFromSim(st);
        }
    }
    if (erased) std::erase_if(statics, [](const StaticAircraft& st) { return st.erase != 0; });
    for (uint32_t adjacent : stand.adjacent) lf_makeWayAtAdjacentStand(ac, static_cast<int32_t>(adjacent), stand);
}

void lf_makeWayAtAdjacentStand(const LiveAircraft& ac, int32_t adjacentSid, const StandRecord& stand) {
    const GeoPosition at = standPosition(adjacentSid).value_or(GeoPosition{0.0, 0.0});
    for (StaticAircraft& st : gStaticAircraft) {
        if (static_cast<int32_t>(st.standId) != adjacentSid || st.state != LiveState::Active) continue;
        if (!collide(at, {stand.latitude, stand.longitude}, st, ac)) continue;
        gf_log(fmt::format("{:8}: {:8} makes way for {} parking at excluded stand {}", gf_standNameOfSid(adjacentSid),
                           st.head.callsign, ac.head.callsign, stand.id));
        removeAircraftFromSim(st);
        return;
    }
}

} // namespace tamrix
