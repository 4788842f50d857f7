// The updater's heavy roads: a program update of a 50 MB installer fetched from a local server
// folder and unpacked in 512 KiB chunks (the time is the copy and unpack; memory stays at one
// chunk), and the packing of a "tblo" folder of 300 airport files of 16 KB into "tblo.zip".
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include "bench_work_folder.hpp"
#include "airports/tblo_folder.hpp"
#include "app/updater.hpp"
#include "core/log.hpp"
#include "core/zip_archive.hpp"

namespace {

using namespace tamrix;
namespace fs = std::filesystem;

bench::WorkFolder& work() {
    static bench::WorkFolder folder("updater");
    return folder;
}

std::string noise(std::size_t bytes, uint32_t seed) {
    std::string out(bytes, '\0');
    for (char& c : out) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    return out;
}

void BM_ProgramUpdateFromArchive(benchmark::State& state) {
    const fs::path server = work().path / "server" / "downloads";
    const fs::path zip = server / "release" / "Quorvel" / "latest_version.zip";
    fs::create_directories(zip.parent_path());
    const std::string installer = noise(static_cast<std::size_t>(state.range(0)) << 20, 7);
    {
        ZipArchive archive(zip);
        archive.open(ZipArchive::New);
        archive.addData("setup.exe", installer.data(), installer.size());
        archive.close();
    }
    ::setenv("QUORVEL_DOWNLOAD_BASE", ("file://" + server.string() + "/").c_str(), 1);
    for (auto _ : state) {
        if (!lf_downloadNewProgramVersion(VersionData{13, 0, 0})) state.SkipWithError("update failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(installer.size()));
    fs::remove_all("new_version");
}
BENCHMARK(BM_ProgramUpdateFromArchive)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_PackTbloFolder(benchmark::State& state) {
    const fs::path tblo = "tblo";
    const int files = static_cast<int>(state.range(0));
    const std::string xml = "<airport>" + std::string(16 * 1024, 'x') + "</airport>";
    for (auto _ : state) {
        state.PauseTiming();
        fs::create_directories(tblo);
        for (int i = 0; i < files; ++i) std::ofstream(tblo / fmt::format("X{:03}.xml", i)) << xml;
        state.ResumeTiming();
        if (!lf_zipDirectory(tblo / "tblo.zip")) state.SkipWithError("pack failed");
    }
    fs::remove_all(tblo);
}
BENCHMARK(BM_PackTbloFolder)->Arg(300)->Unit(benchmark::kMillisecond);

} // namespace
