#include "traffic/removal.hpp"

#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <system_error>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "links/flight_plan_writer.hpp"
#include "links/user_aircraft_data.hpp"
#include "records/stand_table.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/movement.hpp"
#include "traffic/traffic_birth.hpp"

namespace tamrix {

namespace {

struct RemovalState {
    double lastUserLatitude = std::numeric_limits<double>::quiet_NaN();
    double lastUserLongitude = std::numeric_limits<double>::quiet_NaN();
};
RemovalState gRemoval;

double userSize() { return gf_userAcHalfSpan().value_or(0.0); }

GeoPosition userPosition() {
    const UserAcState& user = gf_userCopy().state;
    return GeoPosition{user.latitude, user.longitude};
}

// Erases the static aircraft with that key (the last record moves into its place).
void eraseStatic(uint32_t key) {
    const std::ptrdiff_t index = gf_findStaticByKey(key);
    if (index >= 0) gf_eraseStaticAc(static_cast<std::size_t>(index));
}

void withdrawFromSpawnStack(uint32_t key) {
    for (auto it = gSpawnStack.begin(); it != gSpawnStack.end(); ++it) {
        if (*it == key) {
            gSpawnStack.erase(it);
            return;
        }
    }
}

} // namespace

void lf_releaseStand(LiveAircraft& aircraft) {
    if (aircraft.move.standClaimed == 0) return;
    aircraft.move.standClaimed = 0;
    gf_setStandOccupied(static_cast<int32_t>(aircraft.standId), false);
}

void lf_claimStand(LiveAircraft& aircraft) {
    if (aircraft.standId == 0) return;
    gf_setStandOccupied(static_cast<int32_t>(aircraft.standId), true);
    aircraft.move.standClaimed = 1;
}

void lf_backToBuffer(LiveAircraft& aircraft) {
    aircraft.state = LiveState::Buffer;
    aircraft.objectId = 0;
    aircraft.throttleIndex = 5;
    aircraft.flapsIndex = 4;
    aircraft.flightPlanWritten = 0;
    // Its next creation is a new one: the wait for the simulator's answer starts when it is sent.
    aircraft.creationSentTick = -1;
}

void removeAircraftFromSim(StaticAircraft& aircraft) {
    const bool live = gf_isLiveKey(aircraft.key);
    switch (aircraft.state) {
    case LiveState::Buffer:
        if (live) {
            aircraft.erase = 1;
        } else {
            eraseStatic(aircraft.key);
        }
        return;
    case LiveState::Adding2Sim: {
        if (aircraft.removalAsked != 0) return;
        // Withdrawn by key: two aircraft may share a callsign.
        bool withdrawn = false;
        if (live) {
            const std::size_t before = gSpawnStack.size();
            withdrawFromSpawnStack(aircraft.key);
            withdrawn = gSpawnStack.size() != before || gf_eraseFromAddingStack(gLiveAddingStack, aircraft.key);
        } else {
            withdrawn = gf_eraseFromAddingStack(gStaticAddingStack, aircraft.key);
        }
        if (!withdrawn) {
            aircraft.removalAsked = 1;
        } else if (live) {
            aircraft.creationWithdrawn = 1;
        } else {
            eraseStatic(aircraft.key);
        }
        return;
    }
    case LiveState::Active:
    case LiveState::LiveryRespawn:
    case LiveState::RemovingFromSim: {
        const LiveState before = aircraft.state;
        if (live) {
            auto& liveAircraft = static_cast<LiveAircraft&>(aircraft);
            lf_releaseStand(liveAircraft);
            lf_aircraftLeaving(liveAircraft);
        }
        aircraft.state = LiveState::RemovingFromSim;
        if (live && before == LiveState::Active) lf_invalidateActiveCount();
        if (aircraft.objectId == 0) {
            // No object to remove and no removal event to wait for: the record goes now.
            gf_log(fmt::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim",
                               gf_acDescription(aircraft)));
            if (live) {
                aircraft.erase = 1;
            } else {
                eraseStatic(aircraft.key);
            }
            return;
        }
        // A livery respawn queued the removal already; a removal in progress is not repeated.
        if (before == LiveState::Active) gRemovalQueue.push_back(aircraft.objectId);
        return;
    }
    }
}

void gf_removeFlightPlan(uint32_t objectId) {
    if (objectId == 0) return;
    const std::ptrdiff_t index = gf_findLiveByObjectId(objectId);
    if (index >= 0) {
        LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
        if (aircraft.state == LiveState::LiveryRespawn) {
            lf_backToBuffer(aircraft);
            return;
        }
        // Also when the simulator removed the object on its own: the window's selection is
        // released as for any removal (the stand goes with the record).
        lf_aircraftLeaving(aircraft);
        if (aircraft.flightPlanWritten != 0) {
            std::error_code error;
            std::filesystem::remove(gf_flightPlanPath(objectId), error);
            if (error) gf_log(fmt::format("gf_removeFlightPlan: {}", error.message()));
        }
        gf_eraseLiveAc(static_cast<std::size_t>(index));
        return;
    }
    const std::ptrdiff_t staticIndex = gf_findStaticByObjectId(objectId);
    if (staticIndex >= 0) gf_eraseStaticAc(static_cast<std::size_t>(staticIndex));
}

bool gf_removeFarthestLiveAc(double d) {
    double threshold = d >= 0.0 ? d : -std::numeric_limits<double>::infinity();
    const double margin = d >= 0.0 ? 0.1 : 0.0;
    const GeoPosition user = userPosition();
    std::ptrdiff_t candidate = -1;
    for (std::size_t i = 0; i < gLiveAircraft.size(); ++i) {
        const LiveAircraft& aircraft = gLiveAircraft[i];
        if (aircraft.state != LiveState::Active) continue;
        const double distance = gf_distanceNm(user, positionOf(aircraft));
        if (distance > threshold + margin) {
            candidate = static_cast<std::ptrdiff_t>(i);
            threshold = distance;
        }
    }
    if (candidate < 0) return true;
    removeAircraftFromSim(gLiveAircraft[static_cast<std::size_t>(candidate)]);
    return false;
}

void gf_removeLiveAcOnUserPath() {
    const UserAcState& user = gf_userCopy().state;
    const GeoPosition userAt{user.latitude, user.longitude};
    for (LiveAircraft& aircraft : gLiveAircraft) {
        if (aircraft.state != LiveState::Active) continue;
        if (user.altitudeAboveGround < 500.0 && aircraft.onGround != 0) {
            const double r = gf_distanceNm(userAt, positionOf(aircraft));
            if (r <= 1.0) {
                // Only ahead of the user, on its heading line.
                double x = gf_initialBearing(userAt, positionOf(aircraft)) - user.heading;
                x = std::remainder(x, 2.0 * std::numbers::pi);
                const double lateral = r * std::abs(std::sin(x)) * kFeetPerNm;
                if (std::cos(x) > 0.0 && lateral <= 50.0) {
                    removeAircraftFromSim(aircraft);
                    return;
                }
            }
        }
        if (lf_removeOnUserTrack(aircraft, 0)) return;
    }
}

void gf_removeAcAroundUser() {
    const GeoPosition user = userPosition();
    const double size = userSize();
    for (LiveAircraft& aircraft : gLiveAircraft) {
        if (aircraft.state != LiveState::Active || aircraft.onGround == 0) continue;
        if (gf_distanceNm(user, positionOf(aircraft)) <= (size + aircraft.size) * 1.15) {
            removeAircraftFromSim(aircraft);
            return;
        }
    }
    if (!(std::abs(user.latitude - gRemoval.lastUserLatitude) >= 1e-8 ||
          std::abs(user.longitude - gRemoval.lastUserLongitude) >= 1e-8 || std::isnan(gRemoval.lastUserLatitude)))
        return;
    gRemoval.lastUserLatitude = user.latitude;
    gRemoval.lastUserLongitude = user.longitude;
    for (StaticAircraft& aircraft : gStaticAircraft) {
        if (aircraft.state != LiveState::Active) continue;
        const GeoPosition stand{aircraft.standLatitude, aircraft.standLongitude};
        if (gf_distanceNm(user, stand) <= 1.1 * (aircraft.size + size)) {
            removeAircraftFromSim(aircraft);
            return;
        }
    }
}

void gf_removeStaticNearLiveAc(LiveAircraft& aircraft) {
    if (aircraft.onGround == 0 || aircraft.move.landingRoll != 0 || aircraft.move.takeOff.armed()) return;
    aircraft.lastCheckLatitude = aircraft.position.latitude;
    aircraft.lastCheckLongitude = aircraft.position.longitude;
    const GeoPosition at = positionOf(aircraft);
    for (StaticAircraft& parked : gStaticAircraft) {
        if (parked.state != LiveState::Active || parked.head.callsign == aircraft.head.callsign) continue;
        const GeoPosition stand{parked.standLatitude, parked.standLongitude};
        if (gf_distanceNm(at, stand) <= 1.1 * (parked.size + aircraft.size)) {
            removeAircraftFromSim(parked);
            return;
        }
    }
}

void gf_resetRemovalState() { gRemoval = RemovalState{}; }

} // namespace tamrix
