#pragma once
// The user aircraft's state as the simulator reports it (the block of definition 403), the last
// one received (written on the SimClient thread, copied whole by any thread), and the copy of it
// (the user-position record) that the start-up thread refreshes and the RealTraffic server
// sends on. Fields follow the simulator's data block in order.

#include <cstdint>

namespace tamrix {

struct UserAcState {
    double latitude = 0.0;             // degrees
    double longitude = 0.0;            // degrees
    double pitch = 0.0;                // radians
    double bank = 0.0;                 // radians
    double heading = 0.0;              // true heading, radians
    double altitude = 0.0;             // feet
    double indicatedAltitude = 0.0;    // feet
    double altitudeAboveGround = 0.0;  // feet
    double groundSpeed = 0.0;          // knots
    int64_t zuluTime = 0;              // seconds of the day
    int64_t zuluDayOfYear = 0;         // 1 .. 366
    int64_t zuluYear = 0;
    int64_t lightStates = 0;           // mask
    double temperature = 0.0;          // standard atmosphere, Rankine
};
static_assert(sizeof(UserAcState) == 112, "the block of definition 403");

struct UserPositionRecord {
    UserAcState state;
    uint8_t onGround = 0;
    uint8_t onGroundKnown = 0;
};

// A position is "zero" (not yet known) when both latitude and longitude lie within 0.0001 of 0.
bool gf_isZeroPosition(double latitude, double longitude);

// The last state the simulator reported (all zero before the first answer); each read and
// write is the whole block of one answer.
UserAcState gf_userAcState();
void gf_storeUserAcState(const UserAcState& state);
void gf_resetUserAcState();

// The user-position record; each read and write is the whole record.
UserPositionRecord gf_userPositionRecord();
void gf_setUserPositionState(const UserAcState& state);
void gf_setUserOnGround(bool onGround);
void gf_resetUserPositionRecord();

} // namespace tamrix
