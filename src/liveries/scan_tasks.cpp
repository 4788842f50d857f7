#include "liveries/scan_tasks.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tamrix {

int32_t gf_defaultScanWorkerCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 2 : static_cast<int32_t>(std::min(count, 1024u));
}

std::atomic<int32_t> gScanWorkerCount{gf_defaultScanWorkerCount()};
std::atomic<int32_t> gRunningScanTasks{0};

namespace {
std::mutex gSlotMutex;
std::condition_variable gSlotFreed;
} // namespace

void gf_scanTaskStarted() {
    std::lock_guard lock(gSlotMutex);
    gRunningScanTasks.fetch_add(1);
}

void gf_scanTaskEnded() {
    {
        std::lock_guard lock(gSlotMutex);
        gRunningScanTasks.fetch_sub(1);
    }
    gSlotFreed.notify_all();
}

void gf_waitForScanSlot() {
    std::unique_lock lock(gSlotMutex);
    gSlotFreed.wait(lock, [] { return gRunningScanTasks.load() < std::max(1, gScanWorkerCount.load()); });
}

} // namespace tamrix
