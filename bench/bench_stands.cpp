// The stand choice of live aircraft on a big airport: 512 stands of every parking type, each with
// 20 learned flights. gf_nearestFittingStand runs whenever a landed or newborn aircraft looks for
// a stand, through live traffic's seam as in a run; the stand under the user aircraft is asked for
// on every user-state answer; learned callsigns are matched once per second.
#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "airports/stand_choice.hpp"
#include "airports/stand_options.hpp"
#include "airports/stand_services.hpp"
#include "core/geodesy.hpp"
#include "links/stand_lookup.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/stand_table.hpp"
#include "refdata/dbase.hpp"
#include "traffic/airport_services.hpp"

namespace {

using namespace tamrix;

constexpr GeoPosition kOrigin{50.0, 8.0};
constexpr double kFeetPerMetre = 3.280839895013123;
constexpr double kPi = 3.141592653589793;

GeoPosition at(double eastMetres, double northMetres) {
    GeoPosition p = gf_destinationPoint(kOrigin, kPi / 2, eastMetres * kFeetPerMetre);
    return gf_destinationPoint(p, 0.0, northMetres * kFeetPerMetre);
}

// 32 rows of 16 stands, 60 m apart; types 0 .. 15 along each row, helipads at type 0 in every
// fourth row; 20 flights each. In one line, the rows follow each other eastwards instead: every
// stand then lies at the same latitude, and each one's distance has to be computed.
void buildAirport(bool oneLine) {
    gf_reserveStandTable();
    gf_clearStandTable();
    for (uint32_t row = 0; row < 32; ++row) {
        for (uint32_t column = 0; column < 16; ++column) {
            const GeoPosition p = oneLine ? at((row * 16 + column) * 60.0, 0.0) : at(column * 60.0, row * 60.0);
            const auto type = static_cast<uint16_t>(column);
            StandRecord& stand = gf_emplaceStand(fmt::format("{}{}", static_cast<char>('A' + row % 26), column + 1), {},
                                                 {p.latitude, p.longitude, 0.0}, 25.0, type, type == 5, type <= 4,
                                                 type == 0 && row % 4 == 0);
            stand.standId = static_cast<uint32_t>(gStandTable.size());
            for (uint32_t i = 0; i < 20; ++i) {
                StandOption o;
                o.key = LiveryKey{static_cast<uint16_t>(10 + i), 0, static_cast<uint16_t>(100 + column), 0, 1};
                o.reg = fmt::format("D-A{:03}{}", stand.standId, i);
                o.cs = fmt::format("OPR{}", stand.standId * 20 + i);
                o.cs2 = i % 2 == 0 ? fmt::format("OPR{}", stand.standId * 20 + i + 1) : std::string();
                o.hh.set((i * 2 + column) % 48);
                o.day = 1 + i % 7;
                o.number = i + 1;
                o.real = 1;
                stand.options.push_back(std::move(o));
            }
        }
    }
}

LiveAircraft aircraftOf(AircraftCategory category, double halfSpanMetres, std::string callsign) {
    LiveAircraft a;
    a.category = category;
    a.size = halfSpanMetres * kNmPerMetre;
    a.head.callsign = std::move(callsign);
    a.head.liveryKey = LiveryKey{99, 0, 99, 0, 0};
    return a;
}

void airport(bool oneLine = false) {
    static int built = -1;
    if (built == static_cast<int>(oneLine)) return;
    buildAirport(oneLine);
    gf_installStandServices();
    gf_setUserOnGround(true);
    built = static_cast<int>(oneLine);
}

// A landed aircraft on a stand in the middle of the airport (search 55 m, no fallback).
void BM_NearestFittingStand_OnAStand(benchmark::State& state) {
    airport();
    const LiveAircraft a = aircraftOf(AircraftCategory::Large, 17.0, "OPR5000");
    const GeoPosition p = at(9 * 60.0 + 3.0, 15 * 60.0 + 2.0); // at GATE_MEDIUM of row 15
    for (auto _ : state) benchmark::DoNotOptimize(gf_nearestFittingStand(p.latitude, p.longitude, a, 0.0297, false));
    state.SetItemsProcessed(state.iterations());
}

// A newborn aircraft between stands: nothing within 20 m, so every stand within 85 m has its
// learned flights searched for the callsign (none names it).
void BM_NearestFittingStand_LearnedFallback(benchmark::State& state) {
    airport();
    const LiveAircraft a = aircraftOf(AircraftCategory::Large, 17.0, "XYZ123");
    const GeoPosition p = at(8 * 60.0 + 30.0, 15 * 60.0 + 30.0);
    for (auto _ : state) benchmark::DoNotOptimize(gf_nearestFittingStand(p.latitude, p.longitude, a, 0.0108, true));
    state.SetItemsProcessed(state.iterations());
}

// The same landed aircraft on an airport whose stands all lie at one latitude.
void BM_NearestFittingStand_OneLine(benchmark::State& state) {
    airport(true);
    const LiveAircraft a = aircraftOf(AircraftCategory::Large, 17.0, "OPR5000");
    const GeoPosition p = at((15 * 16 + 9) * 60.0 + 3.0, 2.0);
    for (auto _ : state) benchmark::DoNotOptimize(gf_nearestFittingStand(p.latitude, p.longitude, a, 0.0297, false));
    state.SetItemsProcessed(state.iterations());
}

// The stand under the user aircraft for a position that changes every call (no cached answer).
void BM_StandNameAt_NewPosition(benchmark::State& state) {
    airport();
    const GeoPosition p = at(5 * 60.0, 20 * 60.0);
    double shift = 0.0;
    for (auto _ : state) {
        shift = shift == 0.0 ? 1e-6 : 0.0;
        benchmark::DoNotOptimize(gf_standNameAt(p.latitude + shift, p.longitude));
    }
    state.SetItemsProcessed(state.iterations());
}

// The learned callsigns of one landed aircraft, over all 10,240 flights (no match).
void BM_MatchLearnedOption(benchmark::State& state) {
    airport();
    LiveAircraft a = aircraftOf(AircraftCategory::Heavy, 30.0, "NOPE1");
    a.head.liveryKey.operatorIndex = 10;
    for (auto _ : state) {
        gf_matchLearnedOption({3, 20}, a);
        benchmark::DoNotOptimize(a.head.thirdText);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_NearestFittingStand_OnAStand);
BENCHMARK(BM_NearestFittingStand_LearnedFallback);
BENCHMARK(BM_NearestFittingStand_OneLine);
BENCHMARK(BM_StandNameAt_NewPosition);
BENCHMARK(BM_MatchLearnedOption);
