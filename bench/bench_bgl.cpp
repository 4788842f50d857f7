// Decoding large BGL airport files: the words of the file, the airport records and every
// airport's stands, as the airports scan does for a file with an airport section.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "airports/bgl_decoder.hpp"
#include "airports/bgl_file.hpp"
#include "bglgen/bgl_writer.hpp"

namespace {

using namespace tamrix;

const BglSinks& sinks() {
    static const BglSinks s{[](const FixedCode<4>&) { return true; }, [](std::string) {},
                            [](std::string_view, bool) {}};
    return s;
}

// Arguments: airports, parking spots per airport.
void BM_DecodeBglFile(benchmark::State& state) {
    const auto bytes = bglgen::writeBgl(
        bglgen::largeFile(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1))));
    std::size_t stands = 0;
    for (auto _ : state) {
        const std::vector<uint32_t> words = gf_bglWords(bytes);
        stands = 0;
        for (const BglAirportRecord& a : gf_findBglAirports(words, "large.bgl", sinks()))
            stands += gf_decodeBglAirportStands(words, a, "large.bgl", sinks()).stands.size();
        benchmark::DoNotOptimize(stands);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["stands"] = static_cast<double>(stands);
}
BENCHMARK(BM_DecodeBglFile)->Args({2000, 25})->Args({100, 200})->Unit(benchmark::kMillisecond);

// Finding the airports only, without their stands: the part every airport file pays, linked or not.
void BM_FindBglAirports(benchmark::State& state) {
    const auto bytes = bglgen::writeBgl(bglgen::largeFile(2000, 25));
    const std::vector<uint32_t> words = gf_bglWords(bytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_findBglAirports(words, "large.bgl", sinks()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_FindBglAirports)->Unit(benchmark::kMicrosecond);

// Reading the file from disk into words (one bulk read) and the quick check of its sections.
void BM_ReadBglFile(benchmark::State& state) {
    const auto bytes = bglgen::writeBgl(bglgen::largeFile(2000, 25));
    const std::string path = "bench_bgl_large.bgl";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(lf_hasAirportSection(path));
        std::string problem;
        benchmark::DoNotOptimize(lf_readBglWords(path, problem));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadBglFile)->Unit(benchmark::kMicrosecond);

} // namespace
