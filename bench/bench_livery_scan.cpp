// The livery scan at the size it is built for: a generated tree of about 4,000 "aircraft.cfg"
// files with 40,000 fltsim sections, scanned with 1 and with 8 workers, beside the floor - the
// time merely to find and read the same files on one thread. The second argument puts the machine
// under load: that many threads spin beside the scan (one per hardware thread for "loaded").
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/text_files.hpp"
#include "datagen/package_generator.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_collectors.hpp"
#include "liveries/scan_tasks.hpp"
#include "refdata/dbase.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tamrix;

class Tree {
public:
    Tree() : m_folder(fs::temp_directory_path() / ("quorvel-bench-scan-" + std::to_string(::getpid()))) {
        fs::remove_all(m_folder);
        m_made = datagen::writePackageTree(m_folder);
        fs::current_path(m_folder);
        ::setenv("QUORVEL_ROAMING_APPDATA", (m_folder / "roaming").c_str(), 1);
        fs::create_directories(m_folder / "roaming" / "Quorvel");
        gf_openLog();
        if (!gf_readDbase()) std::abort();
    }
    ~Tree() {
        gf_closeLog();
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(m_folder, ec);
    }
    const datagen::GeneratedPackages& made() const { return m_made; }

private:
    fs::path m_folder;
    datagen::GeneratedPackages m_made;
};

// Busy threads that compete with the scan for the processors while they live.
class BackgroundLoad {
public:
    explicit BackgroundLoad(int threads) {
        for (int i = 0; i < threads; ++i)
            m_threads.emplace_back([this] {
                uint64_t x = 88172645463325252ull;
                while (!m_done.load(std::memory_order_relaxed)) {
                    for (int k = 0; k < 1000; ++k) {
                        x ^= x << 13;
                        x ^= x >> 7;
                        x ^= x << 17;
                    }
                    benchmark::DoNotOptimize(x);
                }
            });
    }
    ~BackgroundLoad() {
        m_done = true;
        for (auto& thread : m_threads) thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::vector<std::thread> m_threads;
};

int loadThreads(int64_t arg) {
    if (arg == 0) return 0;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 2 : static_cast<int>(hardware);
}

Tree& tree() {
    static Tree t;
    return t;
}

void BM_ScanPackageTree(benchmark::State& state) {
    const auto& made = tree().made();
    gScanWorkerCount = static_cast<int32_t>(state.range(0));
    LIG_PRIORITIZE.current = true;
    BackgroundLoad load(loadThreads(state.range(1)));
    for (auto _ : state) {
        if (lf_scanLiveryFolders({made.packageFolder}) != ScanOutcome::Found) state.SkipWithError("no liveries");
    }
    state.counters["files"] = static_cast<double>(made.files);
    state.counters["sections"] = static_cast<double>(made.sections);
    state.counters["sections/s"] =
        benchmark::Counter(static_cast<double>(made.sections), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ScanPackageTree)
    ->ArgNames({"workers", "loaded"})
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The walk alone (walk, read, interpret), without what the scan does after it (sorting, writing
// the catalogue and the reports): the part the workers share.
void BM_WalkPackageTree(benchmark::State& state) {
    const auto& made = tree().made();
    gScanWorkerCount = static_cast<int32_t>(state.range(0));
    BackgroundLoad load(loadThreads(state.range(1)));
    if (state.range(2) != 0) gf_setScanFileReader([](uint32_t, const fs::path&, bool) { return std::list<LiveryData>{}; });
    for (auto _ : state) {
        lf_walkPackageFolder(1, made.packageFolder);
        gLiveries.clear();
        lf_clearScanLists();
    }
    gf_setScanFileReader({});
    state.counters["files"] = static_cast<double>(made.files);
}
BENCHMARK(BM_WalkPackageTree)
    ->ArgNames({"workers", "loaded", "noread"})
    ->Args({8, 0, 1})
    ->Args({1, 0, 0})
    ->Args({8, 0, 0})
    ->Args({8, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor: walk the same tree and read every aircraft.cfg as text, nothing more.
void BM_ReadFloor(benchmark::State& state) {
    const auto& made = tree().made();
    std::vector<std::string> lines;
    BackgroundLoad load(loadThreads(state.range(0)));
    for (auto _ : state) {
        std::size_t count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(made.packageFolder)) {
            if (entry.path().filename() != "aircraft.cfg") continue;
            if (gf_readTextFile(gf_detectCharset(entry.path()), entry.path(), lines)) count += lines.size();
        }
        benchmark::DoNotOptimize(count);
    }
    state.counters["files"] = static_cast<double>(made.files);
}
BENCHMARK(BM_ReadFloor)->ArgName("loaded")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
