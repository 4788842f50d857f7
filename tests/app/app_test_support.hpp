#pragma once
// Helpers of the application-shell tests: one per-process roaming data folder, a fresh program
// folder per test with the log open in it, process-wide state of a run put back between tests,
// and short waits.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_state.hpp"
#include "app/closing.hpp"
#include "app/main_loop.hpp"
#include "app/run_hooks.hpp"
#include "config/parameters.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "liveries/livery_index.hpp"
#include "traffic/live_traffic.hpp"
#include "platform/simconnect/sim_scenario.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "platform/win32/window.hpp"
#include "refdata/reference_data.hpp"
#include "support/temp_folder.hpp"
#include "support/user_folders.hpp"
#include "traffic/auto_radius.hpp"

namespace apptest {

namespace fs = std::filesystem;

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> readLines(const fs::path& path) {
    std::vector<std::string> out;
    std::istringstream in(readText(path));
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

inline bool contains(const std::vector<std::string>& lines, std::string_view wanted) {
    for (const auto& l : lines)
        if (l == wanted) return true;
    return false;
}

inline std::size_t countOf(const std::vector<std::string>& lines, std::string_view wanted) {
    std::size_t n = 0;
    for (const auto& l : lines)
        n += l == wanted ? 1 : 0;
    return n;
}

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Waits until the condition holds, for at most `ticks` of the program's live-traffic ticks: its
// own clock, which a busy machine slows, so that what the program does in its ticks is given its
// ticks however slowly they come. Ticks count as the counter moves on, also across a restart that
// starts it again from 0. `stall` of the wall clock with the counter standing still ends the wait
// of a program that has stopped ticking; a slow one that still ticks is waited for.
inline bool waitForTicks(const std::function<bool()>& condition, int64_t ticks,
                         std::chrono::seconds stall = std::chrono::seconds(120)) {
    int64_t counted = 0;
    int64_t last = tamrix::gf_tickCount();
    auto stalledAt = std::chrono::steady_clock::now() + stall;
    while (!condition()) {
        const int64_t now = tamrix::gf_tickCount();
        if (now != last) stalledAt = std::chrono::steady_clock::now() + stall;
        counted += now >= last ? now - last : now;
        last = now;
        if (counted > ticks || std::chrono::steady_clock::now() > stalledAt) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The roaming data folder of this test process (in its temporary folder of the user's folders,
// removed with it); the program data folder is its "Quorvel".
inline const fs::path& roamingFolder() {
    static const fs::path folder = [] {
        const fs::path f = testsupport::processUserFolder() / "roaming";
        fs::create_directories(f);
        ::setenv("QUORVEL_ROAMING_APPDATA", f.c_str(), 1);
        tamrix::gf_resetPaths();
        // Fresh starts ask the download server for versions: here an empty local folder, so no
        // test depends on the network (the updater's own tests serve their own folders).
        ::setenv("QUORVEL_DOWNLOAD_BASE", ("file://" + (f / "no-server").string() + "/").c_str(), 0);
        return f;
    }();
    return folder;
}

// Every setting at its default.
inline void resetSettings() { tamrix::gf_resetSettings(); }

// Everything a run leaves behind, back to the state of a fresh process.
inline void resetRun() {
    using namespace tamrix;
    platform::simconnect::stopAutonomous();
    gf_resetRunHooks(); // hooks of a test may point at its locals
    lf_cleanUpBeforeRestart();
    // What the clean-up reaches through the live-traffic hook, emptied above: the live aircraft,
    // the stand table and the feed's reference time of an earlier run would meet the next run in
    // this process.
    gf_resetLiveTraffic();
    gf_resetManualRadius();
    gRestartFlag = false;
    gUserClosedWindow = false;
    gStartUpFinished = false;
    gClosingSaved = false;
    gExitCode = 0;
    gWindowOnDisplay = false;
    gReaderErrorsInARow = 0;
    gReferenceDataRead = false;
    gf_resetReferenceData(); // a test that sets the airport table by hand leaves it marked as read
    gf_resetLiveryIndex(); // the livery count of an earlier run would show in the window
    gProductionMode = false;
    gIsMsfs2020 = true;
    gSimGeneration = 1;
    gMainWindow = nullptr;
    gf_setStatusLineWindow(nullptr);
    gf_setLoopClock({});
    gf_resetStatusLine();
    platform::win32::resetWindows();
    platform::simconnect::simWorld().reset();
}

// A test in a fresh program folder ("Log.txt" open there), with the settings at their defaults,
// short waits, and the state of a run reset before and after.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        roamingFolder();
        std::error_code ec;
        fs::remove_all(tamrix::gf_paths().programDataFolder, ec);
        fs::create_directories(tamrix::gf_paths().programDataFolder);
        resetRun();
        resetSettings();
        auto& t = tamrix::gf_appTimings();
        t = tamrix::AppTimings{};
        t.simWaitStep = std::chrono::milliseconds(10);
        t.positionWaitStep = std::chrono::milliseconds(50);
        t.readerStagger = std::chrono::milliseconds(100);
        t.trafficWaitStep = std::chrono::milliseconds(20);
        t.readerGrace = std::chrono::milliseconds(10);
        t.systemErrorWaitStep = std::chrono::milliseconds(10);
        t.countdownSecond = std::chrono::milliseconds(20);
        t.newFlightPause = std::chrono::milliseconds(50);
        tamrix::gf_openLog();
    }
    void TearDown() override {
        resetRun();
        resetSettings();
        tamrix::gf_closeLog();
        tamrix::gf_appTimings() = tamrix::AppTimings{};
    }
    std::vector<std::string> logLines() const {
        tamrix::gf_flushLog();
        return readLines(folder_.path() / "Log.txt");
    }
    const fs::path& folder() const { return folder_.path(); }

    testsupport::TempFolder folder_{true};
};

} // namespace apptest
