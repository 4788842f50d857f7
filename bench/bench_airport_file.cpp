// Reading and saving a big airport file: 512 stands with 48 learned flights each (24,576 "opt"
// elements, a few MB). Reading runs when the park airport is loaded, inside a tick of the main
// loop, so it should stay well under the 100 ms after which the loop skips ahead; it includes
// the parse, the stands, the learned merge and the adjacency of every pair of stands. Saving runs
// when the park airport is left.
#include <cstdint>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "bench_work_folder.hpp"
#include "airports/airport_file.hpp"
#include "airports/park_airport_file.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "links/park_airport.hpp"
#include "records/stand_table.hpp"

namespace {

using namespace tamrix;

constexpr int kStands = 512;
constexpr int kOptions = 48;

bench::WorkFolder& work() {
    static bench::WorkFolder folder("apf");
    return folder;
}

// 32 rows of 16 stands 60 m apart; each stand with 48 flights over the week.
AirportFileHeader bigAirport(const char* regPrefix = "D") {
    AirportFileHeader header;
    header.icao = FixedCode<4>("XQBB");
    header.airportName = "Big Test Field";
    header.publisher = "stock";
    header.altitude = 300;
    for (int i = 0; i < kStands; ++i) {
        const double lat = 50.0 + (i / 16) * 0.00054;
        const double lon = 8.0 + (i % 16) * 0.00084;
        StandRecord stand(fmt::format("S{}", i + 1), {}, {lat, lon, 1.5}, 22.0, static_cast<uint16_t>(8 + i % 4),
                          false, false, false);
        for (int o = 0; o < kOptions; ++o) {
            StandOption option;
            option.reg = fmt::format("{}-{:04}", regPrefix, (i * kOptions + o) % 9000);
            option.cs = fmt::format("DLH{}", o);
            option.day = static_cast<uint32_t>(1 + o % 7);
            option.number = static_cast<uint32_t>(o + 1);
            option.real = 1;
            option.hh.set(static_cast<std::size_t>(o % 46));
            option.hh.set(static_cast<std::size_t>(o % 46 + 1));
            stand.options.push_back(option);
        }
        header.stands.push_back(std::move(stand));
    }
    return header;
}

void BM_ReadAirportFile(benchmark::State& state) {
    work();
    const AirportFileHeader header = bigAirport();
    // The archived file carries its flights and every stand in full, as a handmade file is written.
    gHandmadeAirport.store(true);
    gf_writeApf(header, "airports/my_thirdparty/XQBB.xml", kApfLearnedMode, 1);
    gHandmadeAirport.store(false);
    // A learned file of the same size (other aircraft) merged into it.
    gf_writeApf(bigAirport("G"), "airports/learned/thirdparty/stock/XQBB.xml", kApfLearnedMode, 1);
    ParkAirport park;
    park.code = FixedCode<4>("XQBB");
    gf_setParkAirport(park);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size("airports/my_thirdparty/XQBB.xml"));
    for (auto _ : state) {
        gf_clearStandTable();
        ParkAirportInfo info;
        QualityFactors quality;
        const std::string problem = gf_readApf("airports\\my_thirdparty\\XQBB.xml", info, quality);
        if (!problem.empty() || gStandTable.size() != kStands || gStandTable.back().options.size() != 2 * kOptions) state.SkipWithError(problem.c_str());
        benchmark::DoNotOptimize(gStandTable.data());
        gParkAirportFileReady.store(false); // no save between the rounds
    }
    gf_clearStandTable();
}
BENCHMARK(BM_ReadAirportFile)->Unit(benchmark::kMillisecond);

void BM_SaveLearnedFile(benchmark::State& state) {
    work();
    const AirportFileHeader header = bigAirport();
    for (auto _ : state) {
        if (!gf_writeApf(header, "airports/learned/stock/XQBB.xml", kApfLearnedMode, 1))
            state.SkipWithError("save failed");
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size("airports/learned/stock/XQBB.xml"));
}
BENCHMARK(BM_SaveLearnedFile)->Unit(benchmark::kMillisecond);

} // namespace
