// The command queues to the simulator: one Frame's flush of 500 aircraft positions against the
// in-process simulator, and the cost of a queue append for a producer thread while the SimClient
// thread takes the lock for its flushes.

#include <atomic>
#include <chrono>
#include <thread>

#include <fmt/format.h>
#include <benchmark/benchmark.h>

#include "links/sim_definitions.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "sim_world_setup.hpp"

using namespace tamrix;
using platform::simconnect::simWorld;

namespace {

constexpr int kAircraft = 500;

std::vector<uint32_t> prepareWorld() { return benchsupport::simulatorObjects(kAircraft, 1000.0); }

void BM_FrameFlush500Positions(benchmark::State& state) {
    const auto ids = prepareWorld();
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kAircraft; ++i) {
            PositionEntry entry;
            entry.block.latitude = 50.0 + i * 1e-4;
            entry.block.longitude = 8.0;
            entry.block.altitude = 1000.0;
            entry.objectId = ids[static_cast<std::size_t>(i)];
            gPositionFill->push_back(entry);
        }
        gf_handOverPositions();
        state.ResumeTiming();
        lf_flushSimQueues();
    }
    state.SetItemsProcessed(state.iterations() * kAircraft);
}
BENCHMARK(BM_FrameFlush500Positions)->Unit(benchmark::kMicrosecond);

void BM_QueueAppend(benchmark::State& state) {
    prepareWorld();
    for (auto _ : state) {
        gf_queueClientEvent(100, kEventNavLightsSet, 1);
        if (gClientEventQueue.size() > 4096) {
            std::lock_guard guard(gSimConnectLock);
            gClientEventQueue.clear();
        }
    }
}
BENCHMARK(BM_QueueAppend);

// The consumer: the SimClient thread's flush every millisecond. Its error flag is set so that
// each flush only empties the queues under the lock, as a frame does that finds work.
void BM_QueueAppendWhileFlushing(benchmark::State& state) {
    prepareWorld();
    gSimConnectError.store(true);
    std::atomic<bool> stop{false};
    std::thread flusher([&] {
        while (!stop) {
            lf_flushSimQueues();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (auto _ : state) gf_queueClientEvent(100, kEventNavLightsSet, 1);
    stop = true;
    flusher.join();
    gSimConnectError.store(false);
}
BENCHMARK(BM_QueueAppendWhileFlushing)->UseRealTime();

} // namespace
