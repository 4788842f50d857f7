// The livery scan at the size it is built for: a generated tree of about 4,000 "aircraft.cfg"
// files with 40,000 fltsim sections, scanned with 1 and with 8 workers, beside the floor - the
// time merely to find and read the same files on one thread.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/text_files.hpp"
#include "datagen/package_generator.hpp"
#include "liveries/livery_scan.hpp"
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

Tree& tree() {
    static Tree t;
    return t;
}

void BM_ScanPackageTree(benchmark::State& state) {
    const auto& made = tree().made();
    gScanWorkerCount = static_cast<int32_t>(state.range(0));
    LIG_PRIORITIZE.current = true;
    for (auto _ : state) {
        if (lf_scanLiveryFolders({made.packageFolder}) != ScanOutcome::Found) state.SkipWithError("no liveries");
    }
    state.counters["files"] = static_cast<double>(made.files);
    state.counters["sections"] = static_cast<double>(made.sections);
    state.counters["sections/s"] =
        benchmark::Counter(static_cast<double>(made.sections), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ScanPackageTree)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: walk the same tree and read every aircraft.cfg as text, nothing more.
void BM_ReadFloor(benchmark::State& state) {
    const auto& made = tree().made();
    std::vector<std::string> lines;
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
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
