#pragma once

// Whoever sees the run stop, or the window closed, looks up why at once: a watcher thread waits
// for either flag and reads the reason the moment it sees one, round after round.

#include <atomic>
#include <functional>
#include <thread>

#include "core/run_state.hpp"

namespace testsupport {

// How many of the rounds found another reason than the expected one when a flag was seen.
inline int reasonsMissedWhenTheFlagsAreSeen(const std::function<void()>& setter, tamrix::ExitReason expected,
                                            int rounds) {
    using namespace tamrix;
    int missed = 0;
    for (int round = 0; round < rounds; ++round) {
        gf_resetRunState();
        std::atomic<bool> ready{false};
        ExitReason seen = ExitReason::NotYetSet;
        std::thread watcher([&] {
            ready.store(true);
            while (!gStopFlag.load() && !gClosingFlag.load()) {
            }
            seen = gf_exitReason();
        });
        while (!ready.load()) {
        }
        setter();
        watcher.join();
        missed += seen != expected ? 1 : 0;
    }
    return missed;
}

} // namespace testsupport
