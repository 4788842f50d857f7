// The main loop's own cost and start-up preparation.
// - One 10 ms tick of the loop without a simulator second, and one with a simulator second
//   (the per-second work: callsign list, object-id look-up, aircraft list file) over 800 active
//   aircraft; live traffic's own tick is left out (its benchmarks are its own), so what remains is
//   the shell's share of the 10 ms period.
// - The loop's schedule itself (clock reads, deadlines) over 1000 ticks on a stepped clock.
// - Preparation: reference data and the livery catalogue, at the shipped data and at the
//   design scale of tools/datagen (40,000 liveries, the dbase at its design size).
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/main_loop.hpp"
#include "app/run_hooks.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "datagen/catalogue_generator.hpp"
#include "links/sim_dispatch.hpp"
#include "links/simconnect_client.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_scan.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "traffic/aircraft_list_file.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tamrix;

constexpr int kAircraft = 800;

// A program folder of its own for the whole benchmark process, with "Log.txt" open in it.
class BenchFolder {
public:
    BenchFolder() : m_root(fs::temp_directory_path() / ("quorvel-bench-app-" + std::to_string(::getpid()))) {
        fs::remove_all(m_root);
        fs::create_directories(m_root / "roaming" / "Quorvel");
        fs::create_directories(m_root / "output" / "info");
        ::setenv("QUORVEL_ROAMING_APPDATA", (m_root / "roaming").c_str(), 1);
        fs::current_path(m_root);
        gf_openLog();
    }
    ~BenchFolder() {
        gf_closeLog();
        fs::current_path(fs::temp_directory_path());
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    const fs::path& root() const { return m_root; }

private:
    fs::path m_root;
};

BenchFolder& benchFolder() {
    static BenchFolder folder;
    return folder;
}

std::vector<ActiveAircraftRow> activeAircraft() {
    static const std::vector<ActiveAircraftRow> rows = [] {
        std::vector<ActiveAircraftRow> out;
        for (int i = 0; i < kAircraft; ++i)
            out.push_back({static_cast<uint32_t>(1000 + i), fmt::format("TST{:04}", (i * 7919) % 10000),
                           fmt::format("D-A{:03}", i), "DLH", "A320", i % 3 == 0, i % 5 == 0});
        return out;
    }();
    return rows;
}

void prepareLoop() {
    benchFolder();
    gf_setActiveAircraftSource(&activeAircraft);
    gf_liveTrafficHooks().handleAddingStack = [] {};
    gf_liveTrafficHooks().activeLiveObjectId = [](const std::string& callsign) -> std::optional<uint32_t> {
        for (const auto& row : activeAircraft())
            if (row.callsign == callsign) return row.objectId;
        return std::nullopt;
    };
    gSimRunning = true;
    gSimConnectError = false;
    gf_resetRunState();
}

void BM_MainTickWithoutSecond(benchmark::State& state) {
    prepareLoop();
    for (auto _ : state) {
        gSimSecond = false;
        benchmark::DoNotOptimize(lf_mainTick());
    }
}
BENCHMARK(BM_MainTickWithoutSecond);

// A simulator second with the heaviest per-second work: an object-id request (the callsign list
// of 800 aircraft rebuilt and sorted), the look-up, and every 60th second the aircraft list file.
void BM_MainTickOnSimulatorSecond(benchmark::State& state) {
    prepareLoop();
    OBJECTID_LIST.current = true;
    for (auto _ : state) {
        gObjectIdRequest = true;
        gSimSecond = true;
        benchmark::DoNotOptimize(lf_mainTick());
    }
    OBJECTID_LIST.current = false;
}
BENCHMARK(BM_MainTickOnSimulatorSecond)->Unit(benchmark::kMicrosecond);

// The loop's schedule: 1000 ticks against a clock that the sleeps step forward.
void BM_MainLoopSchedule(benchmark::State& state) {
    prepareLoop();
    using Clock = TickSchedule::Clock;
    for (auto _ : state) {
        Clock::time_point now{};
        int ticks = 0;
        gf_setLoopClock({[&] { return now; }, [&](Clock::time_point until) { now = until; }});
        gf_liveTrafficHooks().handleAddingStack = [&] {
            if (++ticks == 1000) gf_setUserClosed();
        };
        lf_mainLoop();
        gf_resetRunState();
    }
    gf_setLoopClock({});
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_MainLoopSchedule)->Unit(benchmark::kMillisecond);

// Preparation: the dbase and airports files, then the livery catalogue.
void prepare() {
    // Both read anew: a process reads them once, a benchmark iteration stands for that once.
    if (!gf_readDbase() || !gf_loadAirports()) throw std::runtime_error("reading data files failed!");
    gf_clearLiveryIndex();
    gLiveriesProcessed = false;
    gf_processScannedLiveries();
}

void copyShippedReferenceFiles(const fs::path& input) {
    fs::create_directories(input);
    for (const char* name : {"dbase.enc", "airports.enc", "AIG-regcodes.enc"})
        fs::copy_file(fs::path(QUORVEL_ENC_DIR) / name, input / name, fs::copy_options::overwrite_existing);
}

void BM_PreparationShippedData(benchmark::State& state) {
    const auto& root = benchFolder().root();
    std::error_code ec;
    fs::remove_all(root / "input", ec);
    fs::remove_all(root / "output" / "LiveriesScanned.xml", ec);
    copyShippedReferenceFiles(root / "input");
    // The catalogue of the sample package tree, scanned once.
    fs::remove_all(root / "packages", ec);
    fs::copy(fs::path(QUORVEL_SOURCE_DIR) / "tests" / "fixtures" / "packages" / "Community", root / "packages",
             fs::copy_options::recursive);
    LIG_AUTOMATIC.current = false;
    lfolder0.current.set((root / "packages").string());
    if (!gf_readDbase()) state.SkipWithError("dbase not read");
    gf_scanLiveries();
    for (auto _ : state)
        prepare();
    state.counters["liveries"] = gScannedLiveryCount.load();
}
BENCHMARK(BM_PreparationShippedData)->Unit(benchmark::kMillisecond);

void BM_PreparationDesignScale(benchmark::State& state) {
    const auto& root = benchFolder().root();
    std::error_code ec;
    fs::remove_all(root / "input", ec);
    copyShippedReferenceFiles(root / "input"); // the airports file; datagen writes the rest
    datagen::writeCatalogue(root);
    for (auto _ : state)
        prepare();
    state.counters["liveries"] = gScannedLiveryCount.load();
}
BENCHMARK(BM_PreparationDesignScale)->Unit(benchmark::kMillisecond);

} // namespace
