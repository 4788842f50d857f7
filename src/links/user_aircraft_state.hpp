#pragma once
// The user aircraft's position and attitude as the simulator reports them, and the copy of it
// (the user-position record) that the start-up thread refreshes and the RealTraffic server
// sends on. Fields follow the simulator's data block in order; the block's later fields (zulu
// time, lights, temperature) are not needed here.

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
};

struct UserPositionRecord {
    UserAcState state;
    uint8_t onGround = 0;
    uint8_t onGroundKnown = 0;
};

// A position is "zero" (not yet known) when both latitude and longitude lie within 0.0001 of 0.
bool gf_isZeroPosition(double latitude, double longitude);

// The user-position record; each read and write is the whole record.
UserPositionRecord gf_userPositionRecord();
void gf_setUserPositionState(const UserAcState& state);
void gf_setUserOnGround(bool onGround);
void gf_resetUserPositionRecord();

} // namespace tamrix
