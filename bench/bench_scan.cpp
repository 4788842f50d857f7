// The airports scan over an installation of 2,000 add-on airport packages (each with its manifest
// and one airport BGL file), the simulator stand-in answering every facility request, and beside
// it the floor: merely walking the same tree and reading every file in it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "airports/airports_scan.hpp"
#include "airports/scan_log.hpp"
#include "bglgen/package_tree.hpp"
#include "config/settings.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "links/facility_reader.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "refdata/airports.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tamrix;

constexpr int kPackages = 2000;
constexpr uint32_t kSpots = 20;

std::string codeOf(int i) {
    std::string code = "QAAA";
    for (int k = 3, v = i; k >= 1; --k, v /= 26)
        code[static_cast<std::size_t>(k)] = static_cast<char>('A' + v % 26);
    return code;
}

// A program folder in the temporary folder with the installation below it; made once.
struct Installation {
    fs::path root;
    fs::path community;

    Installation() {
        root = fs::temp_directory_path() / fmt::format("quorvel-bench-scan-{}", ::getpid());
        fs::remove_all(root);
        community = root / "sim" / "Community";
        fs::create_directories(root / "input");
        fs::create_directories(root / "appdata" / "Quorvel");
        ::setenv("QUORVEL_ROAMING_APPDATA", (root / "appdata").c_str(), 1);
        fs::current_path(root);
        gf_resetPaths();
        gf_openLog();

        auto& world = platform::simconnect::simWorld();
        world.reset();
        world.startSimulator();
        world.setFlightRunning(true);
        world.setCallLogging(false);
        std::ofstream list(root / "input" / "ICAO_airports.txt");
        for (int i = 0; i < kPackages; ++i) {
            const std::string code = codeOf(i);
            list << code << (i % 16 == 15 ? "\n" : ",");
            gAirportCodes.insert(FixedCode<4>(code));
            bglgen::AirportPackage package;
            package.folderName = fmt::format("vendor{}-airport-{}", i, code);
            package.manifest = bglgen::manifestText(fmt::format("Airport {}", code), fmt::format("Vendor {}", i),
                                                    fmt::format("Vendor {} Studio", i), "1.0.0");
            package.bglPath = fmt::format("scenery/{}/{}_apt.bgl", code, code);
            package.code = code;
            package.spots = kSpots;
            package.helipads = 1;
            package.objectsFile = true;
            bglgen::writeAirportPackage(community, package);

            platform::simconnect::Airport airport;
            airport.icao = code;
            airport.name = fmt::format("Airport {}", code);
            airport.latitude = 40.0 + i * 0.001;
            airport.longitude = 8.0;
            for (uint32_t k = 0; k < kSpots; ++k) {
                platform::simconnect::TaxiParking parking;
                parking.type = 9;
                parking.number = k + 1;
                parking.radius = 20.0f;
                parking.biasX = 30.0f * static_cast<float>(k);
                airport.parkings.push_back(parking);
            }
            world.addAirport(airport);
        }
        list << "\n";
        gIsMsfs2020 = true;
        gf_setMsfsPaths(root / "sim", {});
    }
    ~Installation() {
        gf_closeLog();
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        // Kept on request, to compare what the scan wrote between two builds.
        if (std::getenv("QUORVEL_BENCH_KEEP") == nullptr) fs::remove_all(root, ec);
    }
};

Installation& installation() {
    static Installation made;
    return made;
}

void BM_ScanInstallation(benchmark::State& state) {
    installation();
    for (auto _ : state) {
        SCAN_AIRPORTS.current = true;
        gf_scanAirports();
    }
    state.counters["packages"] = kPackages;
    state.counters["files_made"] = static_cast<double>(gf_folderEntryCount(gf_paths().myThirdpartyFolder));
}
BENCHMARK(BM_ScanInstallation)->Unit(benchmark::kMillisecond)->Iterations(3);

// The walk alone: every package's airport found and its file generated, without the emptying of
// the user folders, the scan-log file and the collecting into "tblo" and its archive.
void BM_ScanFoldersOnly(benchmark::State& state) {
    installation();
    for (auto _ : state) {
        const DeferredFileSync sync;
        lf_readRtIcaoCodes();
        lf_scanFolders(lf_scanFolderPaths());
        gf_closeFacilityClient();
        gScanLog.clear();
    }
}
BENCHMARK(BM_ScanFoldersOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor: the same walk, every file read whole, nothing decided.
void BM_WalkAndReadFloor(benchmark::State& state) {
    const fs::path community = installation().community;
    std::vector<char> buffer;
    for (auto _ : state) {
        uint64_t bytes = 0;
        for (const auto& entry : fs::recursive_directory_iterator(community)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            buffer.resize(static_cast<std::size_t>(entry.file_size()));
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            bytes += static_cast<uint64_t>(in.gcount());
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_WalkAndReadFloor)->Unit(benchmark::kMillisecond)->Iterations(3);

// What the scan must write, alone: the user folder emptied and one airport file of the generated
// size written per package (plainly, no temporary name), then flushed to disk once, as the scan
// flushes. Beside the walk-and-read floor this shows the part of the scan that writing requires.
void BM_WriteFilesFloor(benchmark::State& state) {
    const fs::path folder = installation().root / "write-floor";
    fs::create_directories(folder);
    const std::string bytes(3600, 'x');
    for (auto _ : state) {
        for (const auto& entry : fs::directory_iterator(folder))
            fs::remove(entry.path());
        for (int i = 0; i < kPackages; ++i) {
            std::ofstream out(folder / (codeOf(i) + ".xml"), std::ios::binary);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            benchmark::DoNotOptimize(::syncfs(fd));
            ::close(fd);
        }
    }
}
BENCHMARK(BM_WriteFilesFloor)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
