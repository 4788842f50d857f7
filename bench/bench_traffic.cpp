// The live-traffic tick on one core: a steady tick with N active aircraft and 300 static ones
// while lines arrive, the drain of the simulator's events, a burst of newborns, the intake under
// a heavy feed, and the memory of one aircraft. Heap allocations are counted by a replaced
// global operator new, only inside the tick.
// The replaced operator new and delete pair malloc with free; g++ cannot see that and warns
// wherever it inlines a delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "config/settings.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/traffic_intake.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/aircraft.hpp"
#include "traffic/live_traffic.hpp"

namespace {

std::atomic<uint64_t> gAllocations{0};
std::atomic<uint64_t> gAllocatedBytes{0};

} // namespace

void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    gAllocatedBytes.fetch_add(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace tamrix;
using Clock = std::chrono::steady_clock;

constexpr double kUserLat = 50.0;
constexpr double kUserLon = 8.0;

void resetWorld() {
    gf_initLiveTraffic();
    gf_resetLiveTraffic();
    gf_clearSimQueues();
    gf_reserveSimQueues();
    UserAcState user;
    user.latitude = kUserLat;
    user.longitude = kUserLon;
    gf_setUserPositionState(user);
    gf_setUserOnGround(true);
    MAX_LIVE_SEL.current = 500;
    gf_openTrafficGate();
}

PositionSample sampleAt(double lat, double lon, int64_t due) {
    PositionSample s;
    s.latitude = lat;
    s.longitude = lon;
    s.altitude = 12000.0;
    s.groundSpeed = 300.0;
    s.track = 90.0;
    s.airborne = 1;
    s.dueTick = due;
    return s;
}

LiveAircraft& addAircraft(uint32_t key, LiveState state, double lat, double lon) {
    TrafficRecord record;
    record.key = key;
    record.head.callsign = "T" + std::to_string(key);
    record.head.registration = "D-A" + std::to_string(key % 1000);
    record.size = 0.01;
    LiveAircraft& a = gLiveAircraft.emplace_back(sampleAt(lat, lon, 0), std::move(record), 1000.0);
    a.state = state;
    a.phase = state == LiveState::Active ? MovePhase::Flying : MovePhase::Birth;
    a.objectId = state == LiveState::Active ? key - 10000 : 0;
    a.position.latitude = lat;
    a.position.longitude = lon;
    a.position.altitude = 12000.0;
    a.liveryTitle = "Bench Livery";
    return a;
}

void addStatics(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        StaticAircraft s;
        s.key = i + 1;
        s.head.callsign = "S" + std::to_string(i) + "*";
        s.state = LiveState::Active;
        s.objectId = 50000 + i;
        s.standLatitude = kUserLat + i * 1e-4;
        s.standLongitude = kUserLon;
        gStaticAircraft.push_back(std::move(s));
    }
}

TrafficLine lineFor(uint32_t key, double lat, double lon, double time) {
    TrafficLine l;
    l.hexid = key;
    l.head.callsign = "T" + std::to_string(key);
    l.head.registration = "D-A" + std::to_string(key % 1000);
    l.sample = sampleAt(lat, lon, gf_tickCount() + kSampleDelayTicks);
    l.timeStamp = time;
    return l;
}

struct TickStats {
    double totalUs = 0.0;
    double maxUs = 0.0;
    uint64_t ticks = 0;
    uint64_t allocations = 0;
    std::vector<double> samples;

    void add(double us, uint64_t allocs) {
        totalUs += us;
        maxUs = std::max(maxUs, us);
        ++ticks;
        allocations += allocs;
        samples.push_back(us);
    }
    void report(benchmark::State& state) {
        std::sort(samples.begin(), samples.end());
        state.counters["mean_us"] = ticks == 0 ? 0.0 : totalUs / static_cast<double>(ticks);
        state.counters["p99_us"] = samples.empty() ? 0.0 : samples[samples.size() * 99 / 100];
        state.counters["max_us"] = maxUs;
        state.counters["allocs_per_tick"] = ticks == 0 ? 0.0 : static_cast<double>(allocations) / static_cast<double>(ticks);
    }
};

// One tick, timed, its allocations counted.
void timedTick(TickStats& stats) {
    const uint64_t before = gAllocations.load(std::memory_order_relaxed);
    const auto start = Clock::now();
    lf_handleAddingStack();
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    stats.add(us, gAllocations.load(std::memory_order_relaxed) - before);
}

// B1: N active aircraft in the air with about 10 samples each, 300 static aircraft, and every
// aircraft reporting every 5 s (N / 500 lines a tick).
void BM_SteadyTick(benchmark::State& state) {
    const auto n = static_cast<uint32_t>(state.range(0));
    resetWorld();
    addStatics(300);
    for (uint32_t i = 0; i < n; ++i) {
        LiveAircraft& a = addAircraft(20001 + i, LiveState::Active, kUserLat + i * 1e-3, kUserLon);
        a.samples.clear();
        for (int s = 0; s < 10; ++s) a.samples.push_back(sampleAt(a.position.latitude, kUserLon + s * 1e-3, s * 500 + i % 500));
    }
    double time = 2000.0;
    uint32_t next = 0;
    double carry = 0.0;
    const auto feedTick = [&] {
        carry += n / 500.0;
        while (carry >= 1.0) {
            carry -= 1.0;
            const uint32_t i = next++ % n;
            time += 5.0 / n;
            gf_queueTrafficLine(lineFor(20001 + i, kUserLat + i * 1e-3, kUserLon + time * 1e-5, time));
        }
    };
    for (int warm = 0; warm < 4000; ++warm) {
        feedTick();
        lf_handleAddingStack();
    }
    TickStats stats;
    for (auto _ : state) {
        feedTick();
        timedTick(stats);
    }
    stats.report(state);
    state.counters["aircraft"] = static_cast<double>(gLiveAircraft.size());
}
BENCHMARK(BM_SteadyTick)->Arg(50)->Arg(100)->Arg(250)->Arg(500)->Arg(1000)->Iterations(6000)->Unit(benchmark::kMicrosecond);

// B3: the drain of E in-range events (one per aircraft every 20th tick) with 500 aircraft.
void BM_EventDrain(benchmark::State& state) {
    const auto events = static_cast<uint32_t>(state.range(0));
    resetWorld();
    for (uint32_t i = 0; i < 500; ++i) addAircraft(20001 + i, LiveState::Active, kUserLat + i * 1e-3, kUserLon);
    double lockUsMax = 0.0;
    double totalUsMax = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t e = 0; e < events; ++e)
            gf_postSimEvent(SimEvent{1 + e % 500, 0, 0, kSimEventInRange, 364.0, 12000.0});
        // The time the posting thread could wait: the copy-out under the sim-event lock.
        std::vector<SimEvent> copy;
        copy.reserve(events);
        state.ResumeTiming();
        const auto start = Clock::now();
        gf_processSimEvents();
        totalUsMax = std::max(totalUsMax, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        state.PauseTiming();
        for (uint32_t e = 0; e < events; ++e) gf_postSimEvent(SimEvent{1 + e % 500, 0, 0, kSimEventInRange, 364.0, 12000.0});
        const auto lockStart = Clock::now();
        gf_drainSimEvents([&copy](const std::vector<SimEvent>& all) { copy.assign(all.begin(), all.end()); });
        lockUsMax = std::max(lockUsMax, std::chrono::duration<double, std::micro>(Clock::now() - lockStart).count());
        state.ResumeTiming();
    }
    state.counters["lock_hold_max_us"] = lockUsMax;
    state.counters["drain_max_us"] = totalUsMax;
}
BENCHMARK(BM_EventDrain)->Arg(500)->Arg(1000)->Iterations(200)->Unit(benchmark::kMicrosecond);

// B4: B newborns due at once with N active aircraft: the tick of the burst and the ticks after.
void BM_SpawnBurst(benchmark::State& state) {
    const auto active = static_cast<uint32_t>(state.range(0));
    TickStats burst;
    TickStats after;
    double spawned = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        resetWorld();
        MAX_LIVE_SEL.current = 1000;
        for (uint32_t i = 0; i < active; ++i)
            addAircraft(20001 + i, LiveState::Active, kUserLat + i * 1e-3, kUserLon);
        for (uint32_t i = 0; i < 500; ++i) {
            LiveAircraft& a = addAircraft(40001 + i, LiveState::Buffer, kUserLat - i * 1e-3, kUserLon);
            a.samples.push_back(sampleAt(a.position.latitude, kUserLon + 1e-3, 1));
        }
        state.ResumeTiming();
        timedTick(burst);
        for (int t = 0; t < 99; ++t) timedTick(after);
        state.PauseTiming();
        spawned = static_cast<double>(std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(), [](const LiveAircraft& a) {
            return a.key > 40000 && a.state == LiveState::Adding2Sim;
        }));
        state.ResumeTiming();
    }
    state.counters["burst_tick_us"] = burst.maxUs;
    state.counters["after_mean_us"] = after.ticks == 0 ? 0.0 : after.totalUs / static_cast<double>(after.ticks);
    state.counters["after_max_us"] = after.maxUs;
    state.counters["spawned"] = spawned;
}
BENCHMARK(BM_SpawnBurst)->Arg(0)->Arg(250)->Arg(500)->Iterations(5)->Unit(benchmark::kMillisecond);

// B6: 500 aircraft reporting at R lines a second for 120 s of ticks: the longest intake queue and
// how long its oldest line waited (a sample is due 30 s after arrival).
void BM_IntakeSaturation(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    double longest = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        resetWorld();
        for (uint32_t i = 0; i < 500; ++i) addAircraft(20001 + i, LiveState::Active, kUserLat + i * 1e-3, kUserLon);
        state.ResumeTiming();
        double carry = 0.0;
        double time = 2000.0;
        uint32_t next = 0;
        for (int t = 0; t < 12000; ++t) {
            carry += rate / 100.0;
            while (carry >= 1.0) {
                carry -= 1.0;
                const uint32_t i = next++ % 500;
                time += 1.0 / rate;
                gf_queueTrafficLine(lineFor(20001 + i, kUserLat + i * 1e-3, kUserLon + time * 1e-5, time));
            }
            lf_handleAddingStack();
            longest = std::max(longest, static_cast<double>(gf_trafficIntakeSize()));
        }
    }
    state.counters["max_queue"] = longest;
    state.counters["max_wait_s"] = longest / rate;
}
BENCHMARK(BM_IntakeSaturation)->Arg(150)->Arg(250)->Arg(400)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

// B7: the memory of one live aircraft with 10 and with 200 samples waiting.
void BM_MemoryPerAircraft(benchmark::State& state) {
    const auto samples = static_cast<int>(state.range(0));
    uint64_t bytes = 0;
    for (auto _ : state) {
        LiveAircraft a;
        for (int s = 0; s < samples; ++s) a.samples.push_back(sampleAt(50.0, 8.0, s));
        benchmark::DoNotOptimize(a);
        // What stays allocated: the sample ring.
        bytes = a.samples.capacity() * sizeof(PositionSample);
    }
    state.counters["sizeof_LiveAircraft"] = sizeof(LiveAircraft);
    state.counters["sizeof_PositionSample"] = sizeof(PositionSample);
    state.counters["bytes_per_aircraft"] = static_cast<double>(sizeof(LiveAircraft) + bytes);
    state.counters["bytes_512_aircraft"] = static_cast<double>((sizeof(LiveAircraft) + bytes) * 512);
}
BENCHMARK(BM_MemoryPerAircraft)->Arg(10)->Arg(200)->Iterations(10);

} // namespace
