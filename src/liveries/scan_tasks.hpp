#pragma once
// The per-file tasks of a livery scan: how many workers read files at once and how many tasks
// run. A worker counts a task in when it starts it and out when it ends, on every path
// (ScanTaskGuard).

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tamrix {

// Worker threads of a scan; start-up sets the hardware concurrency (2 when that is unknown).
extern std::atomic<int32_t> gScanWorkerCount;
// Tasks running now.
extern std::atomic<int32_t> gRunningScanTasks;

// The hardware concurrency, or 2 when the platform reports 0.
int32_t gf_defaultScanWorkerCount();

// Counts one task in.
void gf_scanTaskStarted();
// Counts one task out.
void gf_scanTaskEnded();
// The start-up values: the default worker count, no task running.
void gf_resetScanTasks();

class ScanTaskGuard {
public:
    ScanTaskGuard() = default;
    ~ScanTaskGuard() { gf_scanTaskEnded(); }
    ScanTaskGuard(const ScanTaskGuard&) = delete;
    ScanTaskGuard& operator=(const ScanTaskGuard&) = delete;
};

} // namespace tamrix
