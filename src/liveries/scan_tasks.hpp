#pragma once
// The per-file tasks of a livery scan: how many may run at once, how many run, and the wait for
// a free slot. The walker counts a task in before starting it; the task counts itself out when
// it ends, on every path (ScanTaskGuard).

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tamrix {

// Tasks allowed at once; start-up sets the hardware concurrency (2 when that is unknown).
extern std::atomic<int32_t> gScanWorkerCount;
// Tasks running now.
extern std::atomic<int32_t> gRunningScanTasks;

// The hardware concurrency, or 2 when the platform reports 0.
int32_t gf_defaultScanWorkerCount();

// Counts one task in.
void gf_scanTaskStarted();
// Counts one task out and wakes the walker.
void gf_scanTaskEnded();
// Blocks while gRunningScanTasks >= gScanWorkerCount.
void gf_waitForScanSlot();

class ScanTaskGuard {
public:
    ScanTaskGuard() = default;
    ~ScanTaskGuard() { gf_scanTaskEnded(); }
    ScanTaskGuard(const ScanTaskGuard&) = delete;
    ScanTaskGuard& operator=(const ScanTaskGuard&) = delete;
};

} // namespace tamrix
