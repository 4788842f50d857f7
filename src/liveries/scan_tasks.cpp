#include "liveries/scan_tasks.hpp"

#include <algorithm>
#include <thread>

namespace tamrix {

int32_t gf_defaultScanWorkerCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 2 : static_cast<int32_t>(std::min(count, 1024u));
}

std::atomic<int32_t> gScanWorkerCount{gf_defaultScanWorkerCount()};
std::atomic<int32_t> gRunningScanTasks{0};

void gf_scanTaskStarted() { gRunningScanTasks.fetch_add(1); }

void gf_scanTaskEnded() { gRunningScanTasks.fetch_sub(1); }

void gf_resetScanTasks() {
    gScanWorkerCount = gf_defaultScanWorkerCount();
    gRunningScanTasks = 0;
}

} // namespace tamrix
