#include "links/user_aircraft_state.hpp"

#include <cmath>

#include "core/guarded.hpp"

namespace tamrix {
namespace {

// Built on first use and never destroyed: the SimConnect thread may still write at exit.
Guarded<UserAcState>& lastReceived() {
    static auto* g = new Guarded<UserAcState>;
    return *g;
}

Guarded<UserPositionRecord>& positionRecord() {
    static auto* g = new Guarded<UserPositionRecord>;
    return *g;
}

} // namespace

bool gf_isZeroPosition(double latitude, double longitude) {
    return std::fabs(latitude) <= 0.0001 && std::fabs(longitude) <= 0.0001;
}

UserAcState gf_userAcState() { return lastReceived().get(); }
void gf_storeUserAcState(const UserAcState& state) { lastReceived().set(state); }
void gf_resetUserAcState() { lastReceived().set({}); }

UserPositionRecord gf_userPositionRecord() { return positionRecord().get(); }

void gf_setUserPositionState(const UserAcState& state) {
    positionRecord().update([&](UserPositionRecord& r) { r.state = state; });
}

void gf_setUserOnGround(bool onGround) {
    positionRecord().update([&](UserPositionRecord& r) {
        r.onGround = onGround ? 1 : 0;
        r.onGroundKnown = 1;
    });
}

void gf_resetUserPositionRecord() { positionRecord().set({}); }

} // namespace tamrix
