// Movement of live aircraft in the live-traffic tick. Tick times are the thread's CPU time.
// - Worst tick: 500 airborne aircraft whose samples all fall due in the same tick (the
//   trigonometry and tick narrowing of every leg at once); goal below 2 ms.
// - Steady airborne tick: the same 500 between samples (the per-tick integrator only).
// - Ground-heavy airport: 150 aircraft taxiing to and parking on 500 stands (corners, midpoints,
//   stand search and parking); the mean and worst tick over a minute of simulated time.
// - Position throughput: 500 cruising aircraft ticked every 10 ms while the SimClient side
//   flushes at 30 or 60 frames a second against the in-process simulator; the share of
//   positions that reach the simulator and the positions sent per frame.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cmath>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "links/park_airport.hpp"
#include "links/qnh_reader.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "sim_world_setup.hpp"
#include "records/stand_table.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement.hpp"
#include "traffic/movement_geometry.hpp"
#include "traffic/movement_test_support.hpp"

using namespace tamrix;
using platform::simconnect::simWorld;

namespace {

using mvtest::kAirport;
using mvtest::kDeg;
using mvtest::resetTraffic;

// Thread CPU time in microseconds: tick times without the preemption of a shared machine.
double cpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// The 99th percentile of the tick times (microseconds); the maximum on a shared machine mostly
// measures preemption.
double p99(std::vector<double> times) {
    if (times.empty()) return 0.0;
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, times.size() * 99 / 100)];
}
// A settled Large aircraft, as the movement tests make them.
LiveAircraft makeAircraft(uint32_t key, uint32_t objectId, const std::vector<PositionSample>& samples, MovePhase phase) {
    LiveAircraft ac =
        mvtest::settledAircraft(AircraftCategory::Large, key, objectId, samples, phase, fmt::format("B{}", key));
    gCallsignMatchKeys.clear();
    return ac;
}

// One leg per sample from `start` on `trackDeg` at `speed`; `ticks` apart from `firstDue` on.
std::vector<PositionSample> straightSamples(GeoPosition start, double trackDeg, double speed, double altitude,
                                            int64_t firstDue, int64_t ticks, int count, bool airborne) {
    std::vector<PositionSample> out;
    GeoPosition p = start;
    for (int i = 0; i < count; ++i) {
        PositionSample s;
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.altitude = airborne ? altitude : 0.0;
        s.groundSpeed = speed;
        s.trueAirspeed = speed;
        s.track = trackDeg + (i % 3) * 2.0;
        s.dueTick = firstDue + ticks * i;
        s.airborne = airborne ? 1 : 0;
        out.push_back(s);
        p = gf_destinationPoint(p, s.track * kDeg, speed * ticks / 360000.0 * 6076.11549);
    }
    return out;
}

std::vector<LiveAircraft> airborneFleet(int n, int64_t firstDue) {
    std::vector<LiveAircraft> fleet;
    for (int i = 0; i < n; ++i) {
        const GeoPosition start = gf_destinationPoint(kAirport, (i * 7 % 360) * kDeg, (5.0 + i % 30) * 6076.11549);
        auto samples = straightSamples(start, i * 13 % 360, 250.0 + i % 200, 12000.0 + 100 * i, firstDue, 400, 10, true);
        fleet.push_back(makeAircraft(20000 + static_cast<uint32_t>(i), 100 + static_cast<uint32_t>(i), samples,
                                     MovePhase::Flying));
    }
    return fleet;
}

void BM_WorstTick500AllDue(benchmark::State& state) {
    resetTraffic();
    const auto fleet = airborneFleet(500, 0);
    double worst = 0.0;
    std::vector<double> times;
    for (auto _ : state) {
        state.PauseTiming();
        resetTraffic();
        gLiveAircraft = fleet;
        state.ResumeTiming();
        const double t0 = cpuMicros();
        lf_handleAddingStack();
        const double us = cpuMicros() - t0;
        worst = std::max(worst, us);
        times.push_back(us);
    }
    state.counters["p99_us"] = p99(times);
    state.counters["max_us"] = worst;
}
BENCHMARK(BM_WorstTick500AllDue)->Unit(benchmark::kMicrosecond)->Iterations(200);

void BM_SteadyTick500Airborne(benchmark::State& state) {
    resetTraffic();
    gLiveAircraft = airborneFleet(500, 0);
    lf_handleAddingStack(); // every leg set up at tick 0
    double worst = 0.0;
    int64_t ticks = 0;
    std::vector<double> times;
    for (auto _ : state) {
        const double t0 = cpuMicros();
        lf_handleAddingStack();
        const double us = cpuMicros() - t0;
        worst = std::max(worst, us);
        if (times.size() < 1000000) times.push_back(us);
        if (++ticks == 350) {
            state.PauseTiming();
            resetTraffic();
            gLiveAircraft = airborneFleet(500, 0);
            lf_handleAddingStack();
            ticks = 0;
            state.ResumeTiming();
        }
    }
    state.counters["p99_us"] = p99(times);
    state.counters["max_us"] = worst;
}
BENCHMARK(BM_SteadyTick500Airborne)->Unit(benchmark::kMicrosecond);

// 500 stands in five rows; 150 aircraft taxiing in from the south, each turning a corner and
// stopping short of a stand, the others parked.
void groundAirport() {
    resetTraffic();
    gf_clearStandTable();
    for (uint32_t i = 0; i < 500; ++i) {
        StandRecord s;
        s.id = fmt::format("S{}", i + 1);
        const GeoPosition row = gf_destinationPoint(kAirport, 0.0, (i / 100) * 150.0 / 0.3048);
        const GeoPosition p = gf_destinationPoint(row, 0.5 * 3.141592653589793, (i % 100) * 50.0 / 0.3048);
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.radius = 22.0 / 1852.0;
        s.standId = i + 1;
        s.type = 9;
        if (i % 100 > 0) s.adjacent.push_back(i);
        if (i % 100 < 99) s.adjacent.push_back(i + 2);
        gStandTable.push_back(s);
    }
    for (int i = 0; i < 150; ++i) {
        const StandRecord& stand = gStandTable[static_cast<std::size_t>(i * 3)];
        const GeoPosition stop = gf_destinationPoint({stand.latitude, stand.longitude}, 3.141592653589793, 10.0 / 0.3048);
        const GeoPosition corner = gf_destinationPoint(stop, 3.141592653589793, 60.0 / 0.3048);
        const GeoPosition start = gf_destinationPoint(corner, 1.5 * 3.141592653589793, 80.0 / 0.3048);
        const int64_t first = 10 + i * 7;
        std::vector<PositionSample> samples;
        auto add = [&](GeoPosition p, double speed, double trackDeg, int64_t due, bool standing) {
            PositionSample s;
            s.latitude = p.latitude;
            s.longitude = p.longitude;
            s.groundSpeed = speed;
            s.track = trackDeg;
            s.dueTick = due;
            s.generated = standing ? 1 : 0;
            samples.push_back(s);
        };
        add(start, 12.0, 90.0, first, false);
        add(gf_destinationPoint(start, 0.5 * 3.141592653589793, 40.0 / 0.3048), 12.0, 90.0, first + 650, false);
        add(corner, 12.0, 0.0, first + 1300, false);
        add(gf_destinationPoint(corner, 0.0, 30.0 / 0.3048), 10.0, 0.0, first + 1900, false);
        add(gf_destinationPoint(stop, 3.141592653589793, 8.0 / 0.3048), 4.0, 0.0, first + 2500, false);
        add(stop, 0.0, 0.0, first + 2900, true);
        gLiveAircraft.push_back(makeAircraft(30000 + static_cast<uint32_t>(i), 1000 + static_cast<uint32_t>(i), samples,
                                             MovePhase::Taxi));
    }
}

void BM_GroundHeavyAirport150On500Stands(benchmark::State& state) {
    double worst = 0.0, total = 0.0;
    int64_t ticks = 0;
    int parked = 0;
    std::vector<double> times;
    for (auto _ : state) {
        state.PauseTiming();
        groundAirport();
        state.ResumeTiming();
        for (int t = 0; t < 6000; ++t) {
            const double t0 = cpuMicros();
            lf_handleAddingStack();
            const double us = cpuMicros() - t0;
            worst = std::max(worst, us);
            total += us;
            times.push_back(us);
            ++ticks;
        }
        state.PauseTiming();
        parked = static_cast<int>(std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(), [](const LiveAircraft& a) {
            return a.phase == MovePhase::Parked;
        }));
        state.ResumeTiming();
    }
    state.counters["mean_tick_us"] = total / static_cast<double>(std::max<int64_t>(ticks, 1));
    state.counters["p99_tick_us"] = p99(times);
    state.counters["max_tick_us"] = worst;
    state.counters["parked"] = parked;
}
BENCHMARK(BM_GroundHeavyAirport150On500Stands)->Unit(benchmark::kMillisecond)->Iterations(3);

std::vector<uint32_t> simulatorObjects(int count) { return benchsupport::simulatorObjects(count, 10000.0); }

void BM_PositionThroughput500(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const auto ids = simulatorObjects(500);
    uint64_t delivered = 0, produced = 0, frames = 0;
    for (auto _ : state) {
        resetTraffic();
        std::vector<LiveAircraft> fleet = airborneFleet(500, 0);
        for (std::size_t i = 0; i < fleet.size(); ++i) fleet[i].objectId = ids[i];
        gLiveAircraft = std::move(fleet);
        uint64_t before = 0;
        for (const auto& o : simWorld().objects()) before += o.positionUpdates;
        gSimConnectError.store(false);
        std::atomic<bool> stop{false};
        std::atomic<uint64_t> frameCount{0};
        std::thread frameThread([&] {
            const auto period = std::chrono::microseconds(1000000 / rate);
            auto next = std::chrono::steady_clock::now();
            while (!stop.load()) {
                next += period;
                std::this_thread::sleep_until(next);
                lf_flushSimQueues();
                ++frameCount;
            }
        });
        const int ticks = 300; // 3 s of 10 ms ticks
        auto deadline = std::chrono::steady_clock::now();
        for (int t = 0; t < ticks; ++t) {
            deadline += std::chrono::milliseconds(10);
            lf_handleAddingStack();
            std::this_thread::sleep_until(deadline);
        }
        stop.store(true);
        frameThread.join();
        gSimConnectError.store(true);
        uint64_t after = 0;
        for (const auto& o : simWorld().objects()) after += o.positionUpdates;
        delivered += after - before;
        produced += static_cast<uint64_t>(ticks) * 500;
        frames += frameCount.load();
    }
    state.counters["delivered_share"] = static_cast<double>(delivered) / static_cast<double>(std::max<uint64_t>(produced, 1));
    state.counters["positions_per_frame"] = static_cast<double>(delivered) / static_cast<double>(std::max<uint64_t>(frames, 1));
    state.counters["frames"] = static_cast<double>(frames);
}
BENCHMARK(BM_PositionThroughput500)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
