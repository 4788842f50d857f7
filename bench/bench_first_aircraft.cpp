// Start-up to the first aircraft in the simulator: the whole program in this process, from the
// process entry through preparation (reference data, livery catalogue), the connect phase
// against the simulator stand-in (the Billund scenario) and the traffic readers, to the first AI
// object the simulator holds. A feed sends one airborne aircraft near the user every second from
// the start, as RealTraffic does once it runs.
//
// Counters (seconds from the process entry): "ready" the main loop runs, "first_line" the first
// traffic line was taken in, "first_aircraft" the simulator holds the first AI object; and
// "after_first_line", the time from the first line to that object. Most of it is the traffic
// delay the program keeps by design (every position is replayed 30 s after it arrives), so the
// program's own share is after_first_line - 30.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "app/app_state.hpp"
#include "app/main_loop.hpp"
#include "app/process_entry.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/time_texts.hpp"
#include "platform/simconnect/sim_scenario.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "platform/win32/window.hpp"
#include "rtfeed/feed_traffic.hpp"
#include "support/run_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tamrix;
using Clock = std::chrono::steady_clock;

// A program folder as a user has it (documentation, the encrypted reference files, the sample
// AI packages, the settings pointing at them) with the Billund scenario for the simulator
// stand-in, starting at once. The folder is the benchmark's to remove: after a failed run it
// stays for a look at its "Log.txt".
fs::path layOutProgramFolder() {
    const fs::path root = fs::temp_directory_path() / ("quorvel-bench-first-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    testsupport::ProgramFolder(root, root / "roaming" / "Quorvel").writeParameters();
    std::ifstream in(fs::path(QUORVEL_SOURCE_DIR) / "data" / "scenario" / "EKBI.json");
    nlohmann::json scenario = nlohmann::json::parse(in);
    scenario["start_after_seconds"] = 0;
    scenario["flight_after_seconds"] = 0;
    scenario.erase("snapshot_file");
    scenario.erase("trace_file");
    std::ofstream(root / "scenario.json") << scenario.dump(1);
    return root;
}

// One A320 approaching Billund from the east, a line a second.
void feed(uint16_t port, const std::atomic<bool>& stop) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    rtfeed::Flight f;
    f.key = 4512345;
    f.callsign = "AFR1350";
    f.type = "A320";
    f.registration = "F-GKXA";
    f.origin = "CDG";
    f.destination = "BLL";
    f.position = {55.7403, 9.40};
    f.altitudeFt = 3500.0;
    f.groundSpeedKt = 180.0;
    f.trackDeg = 268.0;
    f.trueAirspeedKt = 180.0;
    f.verticalSpeedFpm = -700.0;
    while (!stop.load()) {
        const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        const std::string line = rtfeed::formatTrafficLine(f, now);
        ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        f.position.longitude -= 180.0 / 3600.0 / 60.0 / 0.5628;  // 180 kt westwards at 55.7 N
        f.altitudeFt -= 700.0 / 60.0;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    ::close(fd);
}

void BM_StartUpToFirstAircraft(benchmark::State& state) {
    const fs::path root = layOutProgramFolder();
    const fs::path before = fs::current_path();
    fs::current_path(root);
    const testsupport::ScopedEnv roaming("QUORVEL_ROAMING_APPDATA", (root / "roaming").string());
    // The start asks the download server for newer versions: an empty local folder here, so that
    // the figures hold no outside network.
    const testsupport::ScopedEnv downloads("QUORVEL_DOWNLOAD_BASE", "file://" + (root / "no-server").string());
    const testsupport::RunEnvironment run(root / "scenario.json");
    const uint16_t trafficPort = run.trafficPort();
    gf_openLog();

    double ready = 0.0, firstLine = 0.0, firstAircraft = 0.0;
    bool failed = false;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        const auto start = Clock::now();
        const auto since = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
        std::thread sender([&] { feed(trafficPort, stop); });
        std::thread watcher([&] {
            while (since() < 120.0) {
                if (ready == 0.0 && gSecondsCounter.load() >= 1) ready = since();
                if (firstLine == 0.0 && gLastTrafficTime.load() > 0.0) firstLine = since();
                if (platform::simconnect::simWorld().aiObjectCount() > 0) {
                    firstAircraft = since();
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            while (gMainWindow.load() == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            PostMessageW(gMainWindow.load(), WM_CLOSE, 0, 0);
        });
        const int code = lf_winMainBody({"quorvel"});
        watcher.join();
        stop = true;
        sender.join();
        if (code != 0 || firstAircraft == 0.0) failed = true;
        state.SetIterationTime(firstAircraft);
    }
    state.counters["ready"] = ready;
    state.counters["first_line"] = firstLine;
    state.counters["first_aircraft"] = firstAircraft;
    state.counters["after_first_line"] = firstAircraft - firstLine;

    platform::simconnect::stopAutonomous();
    gf_closeLog();
    fs::current_path(before);
    if (failed) {
        // The folder stays for a look at its "Log.txt".
        state.SkipWithError(("no aircraft was created, see " + root.string()).c_str());
        return;
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
}
BENCHMARK(BM_StartUpToFirstAircraft)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
