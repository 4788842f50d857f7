#include "traffic/ai_controls.hpp"

#include <array>
#include <random>

#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/random.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_queues.hpp"

namespace tamrix {

namespace {

bool isRotorcraft(const StaticAircraft& aircraft) { return aircraft.category == AircraftCategory::Rotorcraft; }

uint32_t randomCabinLight() {
    if (!RANDOM.current.load()) return 1;
    std::uniform_int_distribution<int> draw(0, 9);
    return draw(gf_randomEngine()) <= 8 ? 1 : 0;
}

} // namespace

void gf_setSpoilers(StaticAircraft& aircraft, int32_t deploy) {
    if (isRotorcraft(aircraft)) return;
    gf_queueClientEvent(aircraft.objectId, kEventSpoilersSet, deploy > 0 ? 16383 : 0);
}

void gf_setFlaps(StaticAircraft& aircraft, uint32_t index) {
    static constexpr std::array<uint32_t, 5> values{0, 3072, 10240, 16383, 0};
    if (isRotorcraft(aircraft) || index == aircraft.flapsIndex) return;
    aircraft.flapsIndex = index;
    if (index >= values.size()) {
        gf_log("gf_setFlaps: invalid flaps index");
        return;
    }
    gf_queueClientEvent(aircraft.objectId, kEventFlapsSet, values[index]);
}

void gf_setGear(StaticAircraft& aircraft, uint32_t down) {
    if (isRotorcraft(aircraft)) return;
    gf_queueClientEvent(aircraft.objectId, kEventGearSet, down);
}

void gf_setThrottle(StaticAircraft& aircraft, uint32_t index) {
    static constexpr std::array<uint32_t, 5> values{0, 4914, 8191, 11468, 16383};
    if (index == aircraft.throttleIndex) return;
    aircraft.throttleIndex = index;
    if (index >= values.size()) return;
    gf_queueClientEvent(aircraft.objectId, kEventThrottleSet, values[index]);
}

void lf_initParkedControls(StaticAircraft& aircraft) {
    gf_setThrottle(aircraft, 0);
    gf_setFlaps(aircraft, 0);
    gf_queueEngineShutdown(aircraft.objectId);
    const uint32_t nav = NAV_LIGHTS_WHILE_PARKED.current.load() ? 1 : 0;
    const uint32_t cabin = aircraft.cargoStand != 0 ? 0 : randomCabinLight();
    gf_queueLights(aircraft.objectId, {nav, 0, 0, 0, 0, 1, cabin});
}

void lf_initLiveControls(LiveAircraft& aircraft) {
    const uint32_t id = aircraft.objectId;
    // Without a sample the aircraft counts as on the ground where it was created.
    const bool airborne = !aircraft.samples.empty() && aircraft.samples.front().airborne != 0;
    if (airborne) {
        gf_queueEngineStart(id);
        gf_setSpoilers(aircraft, 0);
        const bool low = aircraft.position.altitude <= 10000.0;
        const uint32_t cabin = aircraft.heightAboveGround >= 2000.0 ? 1 : 0;
        gf_queueLights(id, {1, 1, low ? 1u : 0u, 0, 1, low ? 1u : 0u, cabin});
        return;
    }
    gf_setSpoilers(aircraft, 0);
    const bool parked = aircraft.phase == MovePhase::Parked;
    const bool taxi = aircraft.phase == MovePhase::Taxi;
    uint32_t nav = 1;
    if (parked) {
        gf_queueEngineShutdown(id);
        nav = NAV_LIGHTS_WHILE_PARKED.current.load() ? 1 : 0;
    } else {
        gf_queueEngineStart(id);
    }
    gf_queueLights(id, {nav, parked ? 0u : 1u, 0, taxi ? 1u : 0u, 0, 1, 1});
    gf_setThrottle(aircraft, aircraft.category == AircraftCategory::Rotorcraft ? 4 : 0);
    gf_setFlaps(aircraft, taxi ? 1 : 0);
}

} // namespace tamrix
