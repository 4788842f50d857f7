// The live-traffic tick on one core: the tick as the running program has it (a heavy feed, the
// live aircraft at their limit, more waiting to be created, 10 ms between ticks), the
// clearance of the once-a-second work, the drain of the simulator's events, a burst of
// newborns, the intake under a heavy feed, and the memory of one aircraft. Heap allocations are
// counted by a replaced global operator new, only inside the tick.
// The replaced operator new and delete pair malloc with free; g++ cannot see that and warns
// wherever it inlines a delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <new>
#include <numbers>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_work_folder.hpp"
#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/paths.hpp"
#include "links/flight_plan_writer.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/aircraft.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "rtfeed/feed_traffic.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

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

namespace fs = std::filesystem;
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
    void report(benchmark::State& state, const std::string& prefix = {}) {
        std::sort(samples.begin(), samples.end());
        state.counters[prefix + "mean_us"] = ticks == 0 ? 0.0 : totalUs / static_cast<double>(ticks);
        state.counters[prefix + "p99_us"] = samples.empty() ? 0.0 : samples[samples.size() * 99 / 100];
        state.counters[prefix + "max_us"] = maxUs;
        if (prefix.empty())
            state.counters["allocs_per_tick"] =
                ticks == 0 ? 0.0 : static_cast<double>(allocations) / static_cast<double>(ticks);
    }
};

double threadCpuMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// One tick, timed, its allocations counted.
void timedTick(TickStats& stats) {
    const uint64_t before = gAllocations.load(std::memory_order_relaxed);
    const auto start = Clock::now();
    lf_handleAddingStack();
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    stats.add(us, gAllocations.load(std::memory_order_relaxed) - before);
}

// B1: the tick as the running program has it. A feed of K aircraft around the user reports each
// once a second (K / 100 lines a tick, parsed by the traffic reader as datagrams are), up to
// MAX_LIVE_SEL of them are live in the simulator, the others wait to be created or push the
// farthest out; 300 static aircraft stand by. A small simulator answers every creation and
// removal at once. Ramp-up runs unmeasured until the live aircraft are at the limit; then ticks
// are measured with the main loop's 10 ms pause between them, so that the tick meets cold caches
// as it does in the program: mean, 99th percentile and maximum, on the wall clock and in the
// thread's CPU time (the wall clock includes preemption by other programs).
class BenchSimulator {
public:
    // Answers what the ticks sent since the last call.
    void answer() {
        std::vector<AiCreateRequest> created;
        std::vector<uint32_t> removed;
        {
            std::lock_guard guard(gSimConnectLock);
            created.swap(gCreateQueue);
            removed.swap(gRemoveQueue);
            gClientEventQueue.clear();
            gPositionSend->clear();
        }
        for (const auto& request : created) {
            const uint32_t id = m_nextObjectId++;
            gf_postSimEvent(SimEvent{id, request.key, 0, kSimEventCreatedLive, 0.0, 3000.0});
        }
        for (const uint32_t id : removed) {
            gf_postSimEvent(SimEvent{id, 0, 0, kSimEventRemoved, 0.0, 0.0});
        }
    }
    static constexpr std::string_view kBenchLivery = "Bench Livery";

private:
    uint32_t m_nextObjectId = 100;
};

// The reference files in a folder of their own, read once: lines are born only for known types.
void readReferenceData() {
    static const bool read = [] {
        static const bench::WorkFolder folder("traffic");
        // The flight plans of the created aircraft go to the data folder: this one's own.
        fs::create_directories(folder.path / "roaming" / "Quorvel");
        ::setenv("QUORVEL_ROAMING_APPDATA", (folder.path / "roaming").c_str(), 1);
        gf_resetPaths();
        gf_createFlightPlanFolder();
        fs::create_directories("input");
        for (const char* name : {"dbase.enc", "airports.enc", "AIG-regcodes.enc"})
            fs::copy_file(fs::path(QUORVEL_ENC_DIR) / name, fs::path("input") / name,
                          fs::copy_options::overwrite_existing);
        return gf_readDbase() && gf_loadAirports();
    }();
    if (!read) throw std::runtime_error("reading data files failed");
}

int64_t activeCount() {
    return std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(),
                         [](const LiveAircraft& a) { return a.state == LiveState::Active; });
}

void BM_RunningTick(benchmark::State& state) {
    const auto feedAircraft = static_cast<int>(state.range(0));
    const auto maxLive = static_cast<int32_t>(state.range(1));
    readReferenceData();
    resetWorld();
    MAX_LIVE_SEL.current = maxLive;
    gRangeNm.store(40.0);
    addStatics(300);
    const rtfeed::Position user{kUserLat, kUserLon};
    gf_trafficReader().setUserPosition({kUserLat, kUserLon});
    rtfeed::SyntheticTraffic traffic(3, feedAircraft);
    traffic.advance(user, 0.0);
    // Each flight reported once a second with a time stamp that wanders by up to 0.2 s, as the
    // receivers' do.
    double clock = 1.7e9;
    std::size_t next = 0;
    const auto feedTick = [&] {
        clock += 0.01;
        for (int n = 0; n < feedAircraft / 100; ++n) {
            const std::size_t i = next++ % traffic.size();
            traffic.advanceFlight(i, user, 1.0);
            const double jitter = static_cast<double>((i * 7919 + next / traffic.size()) % 21) / 100.0 - 0.1;
            gf_trafficReader().interpret(rtfeed::formatTrafficLine(traffic.flights()[i], clock + jitter));
        }
    };
    // The livery of every aircraft of the feed, as the program remembers it per aircraft key.
    const auto rememberLiveries = [&] {
        for (const auto& f : traffic.flights())
            gLiveryMemory.try_emplace(f.key, BenchSimulator::kBenchLivery);
    };
    rememberLiveries();
    BenchSimulator simulator;
    // Ramp-up: creations are paced one per 50 ticks.
    for (int t = 0; t < 200000 && activeCount() < maxLive; ++t) {
        feedTick();
        lf_handleAddingStack();
        simulator.answer();
        rememberLiveries();
    }
    TickStats wall;
    TickStats cpu;
    double linesTaken = 0.0;
    for (auto _ : state) {
        const auto due = Clock::now() + std::chrono::milliseconds(10);
        feedTick();
        const std::size_t queued = gf_trafficIntakeSize();
        const double cpuStart = threadCpuMicros();
        timedTick(wall);
        cpu.add(threadCpuMicros() - cpuStart, 0);
        linesTaken += static_cast<double>(queued - std::min(queued, gf_trafficIntakeSize()));
        simulator.answer();
        rememberLiveries();
        std::this_thread::sleep_until(due);
    }
    wall.report(state);
    cpu.report(state, "cpu_");
    state.counters["active"] = static_cast<double>(activeCount());
    state.counters["records"] = static_cast<double>(gLiveAircraft.size());
    state.counters["waiting"] = static_cast<double>(
        std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(), [](const LiveAircraft& a) {
            return a.state == LiveState::Buffer || a.state == LiveState::Adding2Sim;
        }));
    state.counters["lines_per_tick"] = linesTaken / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RunningTick)
    ->Args({1000, 500})
    ->Args({1000, 1000})
    ->Iterations(3000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The clearance of the once-a-second work with N active live aircraft, none of them in the way
// (the whole list is walked): around the user on the ground (a third of the aircraft on the
// ground 1 to 3 km away, and the 300 static aircraft, walked because the user moved), and on
// the user's path in the air (the user 300 ft above the ground; the aircraft on the ground within
// 1 NM off the heading line, the airborne ones within 4 NM and 1,000 ft but crossing it).
constexpr double kFeetPerNm = 6076.11549;

void clearanceWorld(uint32_t n, bool userOnGround) {
    resetWorld();
    const GeoPosition user{kUserLat, kUserLon};
    for (uint32_t i = 0; i < n; ++i) {
        const double bearing = static_cast<double>(i % 360) * std::numbers::pi / 180.0;
        const bool ground = i % 3 == 0;
        const double nm =
            ground ? (userOnGround ? 0.55 + (i % 100) * 0.011 : 0.2 + (i % 80) * 0.01) : 2.0 + (i % 19) * 0.1;
        // Off the heading line (north) on the user's path: east or west of the user.
        const double groundBearing = userOnGround ? bearing : (i % 2 == 0 ? 0.5 : -0.5) * std::numbers::pi;
        const GeoPosition at = gf_destinationPoint(user, ground ? groundBearing : bearing, nm * kFeetPerNm);
        LiveAircraft& a = addAircraft(20001 + i, LiveState::Active, at.latitude, at.longitude);
        a.onGround = ground ? 1 : 0;
        a.position.altitude = ground ? 364.0 : 1100.0;
        a.position.heading =
            (ground ? groundBearing : bearing) + std::numbers::pi / 2.0; // crossing the line from the user
        a.size = 0.01;
    }
    for (uint32_t i = 0; i < 300; ++i) {
        StaticAircraft s;
        s.key = i + 1;
        s.head.callsign = "S" + std::to_string(i) + "*";
        s.state = LiveState::Active;
        s.objectId = 50000 + i;
        const GeoPosition stand = gf_destinationPoint(user, i * 0.02, (0.3 + i * 0.001) * kFeetPerNm);
        s.standLatitude = stand.latitude;
        s.standLongitude = stand.longitude;
        s.size = 0.01;
        gStaticAircraft.push_back(std::move(s));
    }
    UserAcState state;
    state.latitude = kUserLat;
    state.longitude = kUserLon;
    state.altitude = userOnGround ? 364.0 : 664.0;
    state.altitudeAboveGround = userOnGround ? 0.0 : 300.0;
    state.heading = 0.0;
    gf_setUserPositionState(state);
    gf_setUserOnGround(userOnGround);
    gf_refreshUserCopy();
}

double removedCount() {
    return static_cast<double>(
        std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(),
                      [](const LiveAircraft& a) { return a.state == LiveState::RemovingFromSim; }));
}

void BM_ClearanceAroundUser(benchmark::State& state) {
    clearanceWorld(static_cast<uint32_t>(state.range(0)), true);
    UserAcState user = gf_userCopy().state;
    int step = 0;
    for (auto _ : state) {
        // The user taxies on, so that the static aircraft are looked at every second.
        user.latitude = kUserLat + (++step % 2) * 1e-6;
        gf_setUserPositionState(user);
        gf_refreshUserCopy();
        gf_removeAcAroundUser();
    }
    state.counters["removed"] = removedCount();
}
BENCHMARK(BM_ClearanceAroundUser)->Arg(500)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_ClearanceOnUserPath(benchmark::State& state) {
    clearanceWorld(static_cast<uint32_t>(state.range(0)), false);
    for (auto _ : state)
        gf_removeLiveAcOnUserPath();
    state.counters["removed"] = removedCount();
}
BENCHMARK(BM_ClearanceOnUserPath)->Arg(500)->Arg(1000)->Unit(benchmark::kMicrosecond);

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
