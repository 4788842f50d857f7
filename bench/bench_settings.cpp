// The cost of loading "parameters.xml" and of saving one changed setting into it (both rewrite
// the whole file under the settings lock).

#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "config/parameters_file.hpp"
#include "config/settings.hpp"

namespace {

// A private roaming folder with a complete "parameters.xml", made once per process.
void prepareFolder() {
    static const bool ready = [] {
        const auto root =
            std::filesystem::temp_directory_path() / ("quorvel-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(root / "Quorvel");
        ::setenv("QUORVEL_ROAMING_APPDATA", root.c_str(), 1);
        tamrix::gf_saveParameters(true);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(
                std::filesystem::temp_directory_path() / ("quorvel-bench-" + std::to_string(::getpid())), ec);
        });
        return true;
    }();
    (void)ready;
}

void BM_LoadParameters(benchmark::State& state) {
    prepareFolder();
    for (auto _ : state)
        benchmark::DoNotOptimize(tamrix::gf_readParameters());
}
BENCHMARK(BM_LoadParameters)->Unit(benchmark::kMicrosecond);

void BM_SaveOneSetting(benchmark::State& state) {
    prepareFolder();
    int32_t i = 0;
    for (auto _ : state) {
        tamrix::RANGE.current = 2 + (i++ % 99);
        tamrix::gf_saveIntParameter(tamrix::RANGE);
    }
}
BENCHMARK(BM_SaveOneSetting)->Unit(benchmark::kMicrosecond);

} // namespace
