#include "links/sim_definitions.hpp"

#include <iterator>

#include "links/simconnect_client.hpp"

namespace tamrix {
namespace {

struct DatumEntry {
    DWORD definition;
    const char* name;
    const char* units; // null: the datum has no units
    SIMCONNECT_DATATYPE type;
};

constexpr auto kInt64 = SIMCONNECT_DATATYPE_INT64;
constexpr auto kFloat64 = SIMCONNECT_DATATYPE_FLOAT64;
constexpr auto kString32 = SIMCONNECT_DATATYPE_STRING32;
constexpr auto kStringV = SIMCONNECT_DATATYPE_STRINGV;

// In registration order; within a definition, in the order of its block.
constexpr DatumEntry kDatums[] = {
    {kDefUserTitle, "TITLE", nullptr, kStringV},
    {kDefUserModel, "ATC MODEL", nullptr, kString32},
    {kDefUserOnGround, "SIM ON GROUND", "Bool", kInt64},
    {kDefAiPosition, "Plane Latitude", "degree", kFloat64},
    {kDefAiPosition, "Plane Longitude", "degree", kFloat64},
    {kDefAiPosition, "Plane Pitch degrees", "radians", kFloat64},
    {kDefAiPosition, "Plane Bank degrees", "radians", kFloat64},
    {kDefAiPosition, "Plane Heading degrees true", "radians", kFloat64},
    {kDefAiPosition, "Plane Altitude", "feet", kFloat64},
    {kDefAiPosition, "Vertical Speed", "feet per second", kFloat64},
    {kDefAiPosition, "Airspeed True", "knots", kFloat64},
    {kDefUserAcState, "Plane Latitude", "degree", kFloat64},
    {kDefUserAcState, "Plane Longitude", "degree", kFloat64},
    {kDefUserAcState, "Plane Pitch degrees", "radians", kFloat64},
    {kDefUserAcState, "Plane Bank degrees", "radians", kFloat64},
    {kDefUserAcState, "Plane Heading degrees true", "radians", kFloat64},
    {kDefUserAcState, "Plane Altitude", "feet", kFloat64},
    {kDefUserAcState, "Indicated Altitude", "feet", kFloat64},
    {kDefUserAcState, "Plane Alt Above Ground", "feet", kFloat64},
    {kDefUserAcState, "Ground Velocity", "knots", kFloat64},
    {kDefUserAcState, "ZULU TIME", "Seconds", kInt64},
    {kDefUserAcState, "ZULU DAY OF YEAR", "Number", kInt64},
    {kDefUserAcState, "ZULU YEAR", "Number", kInt64},
    {kDefUserAcState, "LIGHT STATES", "Mask", kInt64},
    {kDefUserAcState, "STANDARD ATM TEMPERATURE", "Rankine", kFloat64},
    {kDefStaticCg, "Static CG to Ground", "feet", kFloat64},
    {kDefStaticCg, "Static Pitch", "radians", kFloat64},
    {kDefLightOnStates, "Light On States", "Mask", kInt64},
    {kDefAcInRange, "Plane Alt Above Ground", "feet", kFloat64},
    {kDefAcInRange, "Ground Altitude", "feet", kFloat64},
    {kDefAcInRange, "SIM ON GROUND", "Bool", kInt64},
    {kDefAcInRange, "ATC ID", nullptr, kString32},
    {kDefThrottleSpoilers, "SPOILERS HANDLE POSITION", "percent", kFloat64},
    {kDefThrottleSpoilers, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", kFloat64},
    {kDefThrottleSpoilers, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", kFloat64},
};
static_assert(std::size(kDatums) == 35);

struct EventEntry {
    DWORD id;
    const char* name;
};

constexpr EventEntry kClientEvents[] = {
    {kEventGearSet, "GEAR_SET"},
    {kEventEngineAutoStart, "ENGINE_AUTO_START"},
    {kEventEngineAutoShutdown, "ENGINE_AUTO_SHUTDOWN"},
    {kEventThrottleSet, "THROTTLE_SET"},
    {kEventFlapsSet, "FLAPS_SET"},
    {kEventSpoilersSet, "SPOILERS_SET"},
    {kEventNavLightsSet, "NAV_LIGHTS_SET"},
    {kEventBeaconLightsSet, "BEACON_LIGHTS_SET"},
    {kEventLandingLightsSet, "LANDING_LIGHTS_SET"},
    {kEventTaxiLightsSet, "TAXI_LIGHTS_SET"},
    {kEventStrobesSet, "STROBES_SET"},
    {kEventLogoLightsSet, "LOGO_LIGHTS_SET"},
    {kEventCabinLightsSet, "CABIN_LIGHTS_SET"},
    {kEventAllLightsToggle, "ALL_LIGHTS_TOGGLE"},
    {kEventFreezeLatLonSet, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {kEventFreezeAltitudeSet, "FREEZE_ALTITUDE_SET"},
    {kEventFreezeAttitudeSet, "FREEZE_ATTITUDE_SET"},
};
static_assert(std::size(kClientEvents) == 17);

// ENGINE_AUTO_START belongs to no group; it is still sent with group 301 like the others.
constexpr DWORD kGroupMembers[] = {
    kEventNavLightsSet, kEventBeaconLightsSet,  kEventLandingLightsSet,   kEventTaxiLightsSet,
    kEventStrobesSet,   kEventLogoLightsSet,    kEventCabinLightsSet,     kEventAllLightsToggle,
    kEventFlapsSet,     kEventSpoilersSet,      kEventGearSet,            kEventEngineAutoShutdown,
    kEventThrottleSet,  kEventFreezeLatLonSet,  kEventFreezeAltitudeSet,  kEventFreezeAttitudeSet,
};
static_assert(std::size(kGroupMembers) == 16);

} // namespace

void lf_addClientEventToGroup(DWORD eventId) {
    SimConnect_AddClientEventToNotificationGroup(gSimConnect.load(), kGroupAi, eventId, TRUE);
}

void lf_setupSimDefinitions() { lf_setupSimDefinitions(gSimConnect.load()); }

void lf_setupSimDefinitions(HANDLE handle) {
    SimConnect_SubscribeToSystemEvent(handle, kSystemEventSim, "Sim");
    SimConnect_SubscribeToSystemEvent(handle, kSystemEventObjectAdded, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(handle, kSystemEventObjectRemoved, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(handle, kSystemEventFlightLoaded, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(handle, kSystemEventFrame, "Frame");
    for (const auto& d : kDatums)
        SimConnect_AddToDataDefinition(handle, d.definition, d.name, d.units, d.type, 0.0f, SIMCONNECT_UNUSED);
    for (const auto& e : kClientEvents) SimConnect_MapClientEventToSimEvent(handle, e.id, e.name);
    for (const DWORD event : kGroupMembers)
        SimConnect_AddClientEventToNotificationGroup(handle, kGroupAi, event, TRUE);
    SimConnect_SetNotificationGroupPriority(handle, kGroupAi, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
}

} // namespace tamrix
