// Static and live aircraft on a big park airport: 512 stands with learned flights, 300 static
// aircraft and 500 live ones (200 parked, 300 taxiing). The consistency pass is what the per-second
// and periodic work of the main loop runs over them: static duplicates of live flights, statics
// in the way of taxiing aircraft, the park limit and the parked count with its mean; none of it
// may cost a 10 ms tick. The parking adjustments re-plan the whole airport every 20 minutes.
#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "airports/static_consistency.hpp"
#include "airports/stand_options.hpp"
#include "airports/static_parking.hpp"
#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "records/stand_table.hpp"
#include "traffic/live_traffic.hpp"

namespace {

using namespace tamrix;

constexpr GeoPosition kOrigin{50.0, 8.0};
constexpr double kFeetPerMetre = 3.280839895013123;
constexpr double kPi = 3.141592653589793;
constexpr uint32_t kStands = 512;
constexpr uint32_t kStatics = 300;
constexpr uint32_t kParkedLive = 200;
constexpr uint32_t kTaxiingLive = 300;

GeoPosition at(double eastMetres, double northMetres) {
    GeoPosition p = gf_destinationPoint(kOrigin, kPi / 2, eastMetres * kFeetPerMetre);
    return gf_destinationPoint(p, 0.0, northMetres * kFeetPerMetre);
}

const auto kNow = std::chrono::steady_clock::time_point{} + std::chrono::hours(1000);

// 32 rows of 16 stands, 60 m apart, 24 learned flights each over the week.
void buildAirport() {
    gf_reserveStandTable();
    gf_clearStandTable();
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t column = 0; column < 16; ++column) {
            const GeoPosition p = at(column * 60.0, row * 60.0);
            StandRecord& stand = gf_emplaceStand(fmt::format("{}{}", static_cast<char>('A' + row % 26), column + 1), {},
                                                 {p.latitude, p.longitude, 0.0}, 25.0, 9, false, false, false);
            stand.standId = static_cast<uint32_t>(gStandTable.size());
            for (uint32_t i = 0; i < 24; ++i) {
                StandOption o;
                o.key = LiveryKey{static_cast<uint16_t>(10 + i % 8), 0, static_cast<uint16_t>(20 + i % 5), 0, 1};
                o.reg = fmt::format("D-S{:03}{}", stand.standId, i);
                o.cs = fmt::format("OPR{}", stand.standId * 24 + i);
                o.hh.set((i * 2 + column) % 48);
                o.hh.set((i * 2 + column + 1) % 48);
                o.day = 1 + i % 7;
                o.number = i + 1;
                o.real = 1;
                stand.options.push_back(std::move(o));
            }
        }
    }
}

// Static aircraft on the first stands, parked live aircraft on the next, taxiing ones on a
// taxiway beside the apron; nobody duplicates anybody, so every pass reads everything.
void buildTraffic() {
    gStaticAircraft.clear();
    gLiveAircraft.clear();
    gRemovalQueue.clear();
    for (uint32_t i = 0; i < kStatics; ++i) {
        StaticAircraft a;
        a.key = i + 1;
        a.objectId = 1000 + i;
        a.state = LiveState::Active;
        a.standId = i + 1;
        a.standLatitude = gStandTable[i].latitude;
        a.standLongitude = gStandTable[i].longitude;
        a.size = 17.0 / 1852.0;
        a.timeSlot = WeekSlot{3, 20};
        a.head.callsign = fmt::format("STA{}*", i);
        a.head.secondText = fmt::format("STA{}", i);
        a.head.registration = fmt::format("D-S{}", i);
        gStaticAircraft.push_back(std::move(a));
    }
    for (uint32_t i = 0; i < kParkedLive + kTaxiingLive; ++i) {
        LiveAircraft a;
        a.key = 20001 + i;
        a.objectId = 5000 + i;
        a.state = LiveState::Active;
        a.onGround = 1;
        a.size = 17.0 / 1852.0;
        a.head.callsign = fmt::format("LIV{}", i);
        a.head.registration = fmt::format("D-L{}", i);
        if (i < kParkedLive) {
            a.phase = MovePhase::Parked;
            a.standId = kStatics + i + 1;
            a.timeSlot = WeekSlot{3, 21};
            a.move.parkedSince = kNow - std::chrono::minutes(i % 80);
        } else {
            a.phase = MovePhase::Taxi;
            const GeoPosition p = at((i % 16) * 60.0, -400.0 - (i % 7) * 30.0);
            a.position.latitude = p.latitude;
            a.position.longitude = p.longitude;
        }
        gLiveAircraft.push_back(std::move(a));
    }
}

void setUp() {
    gf_resetSettings();
    MAX_PARK_SEL.current.store(500);
    parking_percentage.current.store(100); // 500 stands to fill: 300 static + 200 parked fit exactly
    gf_setWeekClock([] { return WeekSlot{3, 22}; });
    gf_setParkedClock([] { return kNow; });
    gf_resetStaticParking();
    buildAirport();
    buildTraffic();
}

void BM_ConsistencyPass(benchmark::State& state) {
    setUp();
    for (auto _ : state) {
        // The taxiing aircraft have moved since their last check, as they do every second.
        for (std::size_t i = kParkedLive; i < gLiveAircraft.size(); ++i) gLiveAircraft[i].lastCheckLatitude = 0.0;
        gf_removeStaticDuplicates();
        gf_clearStaticInTheWay();
        lf_limitParkedAircraft(0);
        benchmark::DoNotOptimize(gf_countLiveParkedAc(1));
    }
    if (!gRemovalQueue.empty()) state.SkipWithError("the pass removed an aircraft");
    state.counters["statics"] = static_cast<double>(gStaticAircraft.size());
    state.counters["live"] = static_cast<double>(gLiveAircraft.size());
}
BENCHMARK(BM_ConsistencyPass)->Unit(benchmark::kMicrosecond);

void BM_ParkingAdjustments(benchmark::State& state) {
    setUp();
    for (auto _ : state) {
        state.PauseTiming();
        buildTraffic();
        gf_resetStaticParking();
        state.ResumeTiming();
        gf_parkingAdjustments();
        benchmark::DoNotOptimize(gStaticCandidates.size());
    }
    state.counters["candidates"] = static_cast<double>(gStaticCandidates.size());
}
BENCHMARK(BM_ParkingAdjustments)->Unit(benchmark::kMillisecond);

} // namespace
