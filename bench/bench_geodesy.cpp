// Nanoseconds per call of the three geodesy functions: the range test of every traffic line, the
// movement of every aircraft each tick and the stand searches all rest on them.
#include <cstddef>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/geodesy.hpp"

namespace {

using tamrix::GeoPosition;

const std::vector<GeoPosition>& positions() {
    static const std::vector<GeoPosition> all = [] {
        std::mt19937 engine(42);
        std::uniform_real_distribution<double> lat(-89.0, 89.0), lon(-180.0, 180.0);
        std::vector<GeoPosition> p(1024);
        for (auto& g : p)
            g = {lat(engine), lon(engine)};
        return p;
    }();
    return all;
}

void BM_DistanceNm(benchmark::State& state) {
    const auto& p = positions();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tamrix::gf_distanceNm(p[i & 1023], p[(i + 1) & 1023]));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_InitialBearing(benchmark::State& state) {
    const auto& p = positions();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tamrix::gf_initialBearing(p[i & 1023], p[(i + 1) & 1023]));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DestinationPoint(benchmark::State& state) {
    const auto& p = positions();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tamrix::gf_destinationPoint(
            p[i & 1023], 0.001 * static_cast<double>(i & 4095), static_cast<double>(i & 0xFFFF) * 10.0));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_DistanceNm);
BENCHMARK(BM_InitialBearing);
BENCHMARK(BM_DestinationPoint);
