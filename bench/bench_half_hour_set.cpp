// Half-hour sets are read and written for every stand and weekday whenever the park airport's file
// is loaded or saved: 512 stands x 7 days here, in the mix of ranges and lists the files hold.
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/half_hour_set.hpp"

namespace {

constexpr int kStandDays = 512 * 7;

const std::vector<tamrix::HalfHourSet>& sets() {
    static const std::vector<tamrix::HalfHourSet> all = [] {
        std::mt19937 engine(7);
        std::vector<tamrix::HalfHourSet> v;
        v.reserve(kStandDays);
        for (int i = 0; i < kStandDays; ++i) {
            tamrix::HalfHourSet s;
            if (i % 2 == 0) { // a run of slots
                const int first = static_cast<int>(engine() % 48);
                const int last = first + static_cast<int>(engine() % static_cast<unsigned>(48 - first));
                for (int k = first; k <= last; ++k)
                    s.set(static_cast<std::size_t>(k));
            } else { // a few scattered slots
                for (int k = 0; k < 6; ++k)
                    s.set(engine() % 48);
            }
            v.push_back(s);
        }
        return v;
    }();
    return all;
}

std::string textOf(const tamrix::HalfHourSet& s) {
    if (auto range = tamrix::gf_bitset2HourRanges(s)) return *range;
    return tamrix::gf_bitset2HourList(s).value_or("");
}

void BM_ParseStandWeek(benchmark::State& state) {
    std::vector<std::string> texts;
    for (const auto& s : sets())
        texts.push_back(textOf(s));
    for (auto _ : state)
        for (const auto& t : texts)
            benchmark::DoNotOptimize(tamrix::gf_hours2bitset(t));
    state.SetItemsProcessed(state.iterations() * kStandDays);
}

void BM_FormatStandWeek(benchmark::State& state) {
    for (auto _ : state)
        for (const auto& s : sets())
            benchmark::DoNotOptimize(textOf(s));
    state.SetItemsProcessed(state.iterations() * kStandDays);
}

} // namespace

BENCHMARK(BM_ParseStandWeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FormatStandWeek)->Unit(benchmark::kMicrosecond);
