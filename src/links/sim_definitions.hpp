#pragma once
// The vocabulary the program and the simulator share over the SimClient connection: system
// events, data definitions with their blocks, client events, the notification group and the
// request ids. lf_setupSimDefinitions registers all of it once, right after the connection
// opens; every other SimConnect call of the program uses these numbers.

#include <cstdint>

#include "platform/simconnect/simconnect.hpp"

namespace tamrix {

// System events, subscribed in the order Sim, ObjectAdded, ObjectRemoved, FlightLoaded, Frame.
inline constexpr DWORD kSystemEventSim = 201;
inline constexpr DWORD kSystemEventObjectAdded = 202;
inline constexpr DWORD kSystemEventObjectRemoved = 203;
inline constexpr DWORD kSystemEventFrame = 204;
inline constexpr DWORD kSystemEventFlightLoaded = 205;

// Client events (all sent in group 301).
inline constexpr DWORD kEventBeaconLightsSet = 206;
inline constexpr DWORD kEventNavLightsSet = 207;
inline constexpr DWORD kEventTaxiLightsSet = 208;
inline constexpr DWORD kEventStrobesSet = 209;
inline constexpr DWORD kEventLandingLightsSet = 210;
inline constexpr DWORD kEventCabinLightsSet = 211;
inline constexpr DWORD kEventLogoLightsSet = 212;
inline constexpr DWORD kEventAllLightsToggle = 213;
inline constexpr DWORD kEventFreezeLatLonSet = 214;
inline constexpr DWORD kEventFreezeAltitudeSet = 215;
inline constexpr DWORD kEventFreezeAttitudeSet = 216;
inline constexpr DWORD kEventFlapsSet = 217;
inline constexpr DWORD kEventSpoilersSet = 218;
inline constexpr DWORD kEventGearSet = 219;
inline constexpr DWORD kEventEngineAutoStart = 220;
inline constexpr DWORD kEventEngineAutoShutdown = 221;
inline constexpr DWORD kEventThrottleSet = 222;

inline constexpr DWORD kGroupAi = 301;

// Data definitions.
inline constexpr DWORD kDefThrottleSpoilers = 401; // ThrottleSpoilerBlock, written
inline constexpr DWORD kDefAiPosition = 402;       // PositionBlock, written each frame
inline constexpr DWORD kDefUserAcState = 403;      // the user aircraft's 112-byte state
inline constexpr DWORD kDefAcInRange = 404;        // AcInRangeBlock, answers of request 101
inline constexpr DWORD kDefStaticCg = 405;         // StaticCgBlock, answer of request 102
inline constexpr DWORD kDefLightOnStates = 406;    // registered, not requested
inline constexpr DWORD kDefUserTitle = 407;        // zero-terminated title
inline constexpr DWORD kDefUserModel = 408;        // 32-byte ATC model
inline constexpr DWORD kDefUserOnGround = 409;     // i64 on-ground flag

// Requests; the request id tells the answer's handler which data arrived.
inline constexpr DWORD kRequestAcInRange = 101;
inline constexpr DWORD kRequestStaticCg = 102;
inline constexpr DWORD kRequestReleaseControl = 103;
inline constexpr DWORD kRequestCreateAi = 104;
inline constexpr DWORD kRequestRemoveAi = 105;
inline constexpr DWORD kRequestUserTitle = 106;
inline constexpr DWORD kRequestUserModel = 107;
inline constexpr DWORD kRequestUserOnGround = 108;
inline constexpr DWORD kRequestUserState = 109;
inline constexpr DWORD kRequestFlightPlan = 110;

// Definition 402: one AI aircraft's position as the simulator accepts it.
struct PositionBlock {
    double latitude = 0.0;      // degrees
    double longitude = 0.0;     // degrees
    double pitch = 0.0;         // radians
    double bank = 0.0;          // radians
    double heading = 0.0;       // true, radians
    double altitude = 0.0;      // feet
    double verticalSpeed = 0.0; // feet per second
    double trueAirspeed = 0.0;  // knots
};

// Definition 401: spoilers handle and both throttle levers, percent.
struct ThrottleSpoilerBlock {
    double spoilersHandle = 0.0;
    double throttle1 = 0.0;
    double throttle2 = 0.0;
};

// Definition 404: one aircraft within range.
struct AcInRangeBlock {
    double altitudeAboveGround = 0.0; // feet
    double groundAltitude = 0.0;      // feet
    int64_t onGround = 0;
    char atcId[32] = {};              // not necessarily zero-terminated
};

// Definition 405: an AI aircraft's static centre of gravity.
struct StaticCgBlock {
    double staticCgToGround = 0.0; // feet
    double staticPitch = 0.0;      // radians
};

static_assert(sizeof(PositionBlock) == 64);
static_assert(sizeof(ThrottleSpoilerBlock) == 24);
static_assert(sizeof(AcInRangeBlock) == 56);
static_assert(sizeof(StaticCgBlock) == 16);

// On the SimClient thread, right after the open, on gSimConnect: the five subscriptions, the
// 35 data definitions, the 17 client-event mappings, the 16 group additions and the group's
// priority, in that order. The results are not examined.
void lf_setupSimDefinitions();
// The same on a connection not yet published in gSimConnect, so that nobody sees the connection
// before it knows the vocabulary.
void lf_setupSimDefinitions(HANDLE handle);
// Adds one client event to group 301 as maskable.
void lf_addClientEventToGroup(DWORD eventId);

} // namespace tamrix
