#include "core/run_state.hpp"

#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace tamrix {

std::atomic<bool> gStopFlag{false};
std::atomic<bool> gClosingFlag{false};
std::atomic<bool> gIsMsfs2020{true};

namespace {

// The reason and its delay always belong together: they are written and read as one pair.
struct ReasonStore {
    std::mutex lock;
    ExitReason reason = ExitReason::NotYetSet;
    int32_t delay = 0;
};

ReasonStore& store() {
    static auto* s = new ReasonStore;
    return *s;
}

void storeReason(ExitReason reason, int32_t delay) {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.reason = reason;
    s.delay = delay;
}

} // namespace

std::string_view gf_exitReasonText(int32_t value) {
    static const std::unordered_map<int32_t, std::string_view> texts{
        {0, "NOT YET SET"},      {1, "SIM WAS CLOSED"},   {2, "NEW FLIGHT"},
        {3, "NEW SETTINGS"},     {4, "USER CLOSED SIM"},  {5, "SIMCONNECT ERROR"},
        {6, "READER ERROR"},     {7, "SYSTEM ERROR"},     {8, "NEW VERSION"},
    };
    return texts.at(value);
}

std::string_view gf_exitReasonText(ExitReason reason) { return gf_exitReasonText(static_cast<int32_t>(reason)); }

// Each setter stores the reason before it raises the flags, under the lock the readers of the
// reason take: whoever sees the run stop finds why.
bool gf_setExitReason(ExitReason reason, int32_t restartDelaySeconds) {
    auto& s = store();
    std::lock_guard guard(s.lock);
    if (gStopFlag.load()) return false;
    s.reason = reason;
    s.delay = restartDelaySeconds;
    gStopFlag.store(true);
    return true;
}

void gf_setUserClosed() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    if (s.reason == ExitReason::NotYetSet) {
        s.reason = ExitReason::UserClosedSim;
        s.delay = 0;
    }
    gClosingFlag.store(true);
    gStopFlag.store(true);
}

void gf_forceExitReason(ExitReason reason, int32_t restartDelaySeconds) {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.reason = reason;
    s.delay = restartDelaySeconds;
    gStopFlag.store(true);
}

ExitReason gf_exitReason() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    return s.reason;
}

int32_t gf_restartDelay() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    return s.delay;
}

void gf_resetRunState() {
    storeReason(ExitReason::NotYetSet, 0);
    gClosingFlag.store(false);
    gStopFlag.store(false);
}

} // namespace tamrix
