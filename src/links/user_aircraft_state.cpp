#include "links/user_aircraft_state.hpp"

#include <cmath>
#include <mutex>

namespace tamrix {
namespace {

struct RecordStore {
    std::mutex lock;
    UserPositionRecord record;
    UserAcState lastReceived;
};

RecordStore& store() {
    static auto* s = new RecordStore;
    return *s;
}

} // namespace

bool gf_isZeroPosition(double latitude, double longitude) {
    return std::fabs(latitude) <= 0.0001 && std::fabs(longitude) <= 0.0001;
}

UserAcState gf_userAcState() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    return s.lastReceived;
}

void gf_storeUserAcState(const UserAcState& state) {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.lastReceived = state;
}

void gf_resetUserAcState() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.lastReceived = {};
}

UserPositionRecord gf_userPositionRecord() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    return s.record;
}

void gf_setUserPositionState(const UserAcState& state) {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.record.state = state;
}

void gf_setUserOnGround(bool onGround) {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.record.onGround = onGround ? 1 : 0;
    s.record.onGroundKnown = 1;
}

void gf_resetUserPositionRecord() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.record = {};
}

} // namespace tamrix
