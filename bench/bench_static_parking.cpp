// The static parking plan of a big airport whose learned weeks are full: 512 stands in rows of
// 16, 60 m apart and every fourth pair only 30 m (adjacent), each with three real flights a day
// for the whole week and one soft flight a day, 64 static aircraft already standing.
// gf_calcStaticParking runs when a park airport is loaded and again on every renewal, inside a
// 10 ms tick of the main loop.
#include <cstdint>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "bench_work_folder.hpp"
#include "airports/static_parking.hpp"
#include "airports/stand_options.hpp"
#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "records/stand_table.hpp"
#include "refdata/code_table.hpp"
#include "traffic/live_traffic.hpp"

namespace {

using namespace tamrix;

constexpr int kRows = 32;
constexpr int kColumns = 16;
constexpr double kMetreDeg = 1.0 / 1852.0 / 60.0;

bench::WorkFolder& work() {
    static bench::WorkFolder folder("static");
    return folder;
}

StandOption flight(uint32_t sid, uint32_t day, int first, int last, uint32_t n, bool real) {
    StandOption o;
    o.key = LiveryKey{static_cast<uint16_t>(gf_airlineIndex(n % 2 == 0 ? "DLH" : "BAW")), 0,
                      static_cast<uint16_t>(gf_modelIndex(n % 3 == 0 ? "B738" : "A320")), 0, 0};
    o.reg = fmt::format("D-{:03}{:02}", sid, n);
    o.cs = fmt::format("OPR{}", sid * 100 + n);
    o.cs2 = n % 2 == 0 ? fmt::format("OPR{}", sid * 100 + n + 50) : std::string();
    for (int s = first; s <= last; ++s) o.hh.set(static_cast<std::size_t>(s % 48));
    o.day = day;
    o.real = real ? 1 : 0;
    return o;
}

void buildAirport() {
    gf_reserveStandTable();
    gf_clearStandTable();
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            StandRecord& stand = gf_emplaceStand(fmt::format("{}{}", static_cast<char>('A' + row % 26), column + 1), {},
                                                 {50.0 + row * 200.0 * kMetreDeg, 8.0 + column * 0.00084 - (column % 4 == 1 ? 0.00042 : 0.0), 0.0}, 25.0, 9,
                                                 false, false, false);
            stand.standId = static_cast<uint32_t>(gStandTable.size());
            const uint32_t sid = stand.standId;
            uint32_t n = 0;
            for (uint32_t day = 1; day <= 7; ++day) {
                // Stays of a few hours at staggered times: morning, afternoon, night.
                const int shift = static_cast<int>((sid * 5 + day) % 12);
                stand.options.push_back(flight(sid, day, shift, shift + 7, n++, true));
                stand.options.push_back(flight(sid, day, 16 + shift, 20 + shift, n++, true));
                stand.options.push_back(flight(sid, day, 34 + shift / 2, 40 + shift / 2, n++, true));
                stand.options.push_back(flight(sid, day, 10 + shift, 30 + shift, n++, false));
            }
            for (uint32_t i = 0; i < stand.options.size(); ++i) stand.options[i].number = i + 1;
            if (column % 4 == 1) { // stands 30 m apart in pairs
                stand.adjacent.push_back(sid - 1);
                gStandTable[sid - 2].adjacent.push_back(sid);
            }
        }
    }
    gf_initLiveTraffic();
    gStaticAircraft.clear();
    for (uint32_t i = 0; i < 64; ++i) {
        const StandRecord& stand = gStandTable[i * 8];
        StaticAircraft& a = gStaticAircraft.emplace_back(TrafficRecord{}, stand.standId, stand.latitude, stand.longitude,
                                                         0.0, false);
        a.state = LiveState::Active;
        a.size = 17.0 / 1852.0;
        a.head.callsign = fmt::format("STA{}*", i);
        a.head.secondText = fmt::format("STA{}", i);
        a.head.registration = fmt::format("D-S{:03}", i);
        a.key = i + 1;
    }
}

// Option numbers an earlier computation set aside come back, as a new read of the file would.
void renumber() {
    for (StandRecord& stand : gStandTable)
        for (uint32_t i = 0; i < stand.options.size(); ++i) stand.options[i].number = i + 1;
}

void run(benchmark::State& state, int percent, WeekSlot now) {
    work();
    static bool built = false;
    if (!built) {
        buildAirport();
        built = true;
    }
    static WeekSlot clockNow;
    clockNow = now;
    gf_setWeekClock([] { return clockNow; });
    MAX_PARK_SEL.current = 512;
    parking_percentage.current = percent;
    CUSTOM_PARKING_PERCENTAGE.current = -1;
    MAX_FIT.current = 47;
    WEEK.current = true;
    PARK_SOFT.current = true;
    for (auto _ : state) {
        state.PauseTiming();
        renumber();
        state.ResumeTiming();
        gf_calcStaticParking();
        benchmark::DoNotOptimize(gStaticCandidates.data());
    }
    state.counters["planned"] = static_cast<double>(gStaticCandidates.size());
    gf_resetStaticParking();
}

// The usual share of stands: found within a few half hours of now.
void BM_CalcStaticParking_HalfTheStands(benchmark::State& state) { run(state, 50, WeekSlot{3, 22}); }
// Every stand wanted: every kind runs to the largest fit offset.
void BM_CalcStaticParking_AllStands(benchmark::State& state) { run(state, 100, WeekSlot{3, 22}); }
// Early Monday: the search reaches back into Sunday.
void BM_CalcStaticParking_AllStandsMondayMorning(benchmark::State& state) { run(state, 100, WeekSlot{1, 1}); }

} // namespace

BENCHMARK(BM_CalcStaticParking_HalfTheStands)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcStaticParking_AllStands)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcStaticParking_AllStandsMondayMorning)->Unit(benchmark::kMillisecond);
