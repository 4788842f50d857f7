#include "app/closing.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/run_hooks.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "core/version_data.hpp"
#include "links/flight_plan_writer.hpp"
#include "links/qnh_reader.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_dispatch.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/sim_status.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"
#include "links/user_aircraft_data.hpp"
#include "links/user_aircraft_state.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/matching_statistics.hpp"

namespace tamrix {
// A version switch empties the livery catalogue, but only the start-up thread may do that: the
// switch itself may come from the SimClient thread while the catalogue is in use.
std::atomic<bool> gCatalogueClearPending{false};
std::atomic<bool> gWindowOnDisplay{false};
std::atomic<int32_t> gReaderErrorsInARow{0};

namespace {

// Counts a run that a reader error ended; true when the restarts in a row are used up, with the
// error shown and logged. A run in which traffic or the QNH arrived breaks the row.
bool readerRestartsUsedUp(ExitReason reason) {
    if (reason != ExitReason::ReaderError) {
        gReaderErrorsInARow.store(0);
        return false;
    }
    const bool received = gLastTrafficTime.load() > 0.0 || gf_qnhReader().datagramCounter.load() != 0;
    const int32_t inARow = received ? 1 : gReaderErrorsInARow.load() + 1;
    gReaderErrorsInARow.store(inARow);
    if (inARow <= kReaderRestartsInARow) return false;
    const std::string cause = gf_statusLineSnapshot().message;
    gf_setStatusError(fmt::format("{} ({} restarts in a row did not help)",
                                  cause.empty() ? std::string("A reader has stopped") : cause,
                                  kReaderRestartsInARow));
    return true;
}

// An error that ends the program: where nobody can read it, the program ends by itself with the
// error on stderr; on a display it stays until the user closes the window. Either way the
// program failed, and its exit code says so.
void endWithError() {
    gExitCode.store(1);
    if (gProductionMode.load() || !gWindowOnDisplay.load()) {
        const std::string error = gf_statusLineSnapshot().error;
        std::fprintf(stderr, "%s\n", fmt::format("{} ends: Error {}", kProgramName, error).c_str());
        return;
    }
    while (!gUserClosedWindow.load())
        std::this_thread::sleep_for(gf_appTimings().systemErrorWaitStep);
    const std::string closed = fmt::format("User closed {}", kProgramName);
    gf_clearStatusError();
    gf_setStatusLine(closed, true);
}

// Without a window nobody sees the folder the updater opened: the run says on stderr where the
// new version's installer waits.
void tellWhereTheInstallerWaits() {
    if (!gProductionMode.load() && gWindowOnDisplay.load()) return;
    const ProgramPaths& paths = gf_paths();
    std::error_code ec;
    const std::filesystem::path installer =
        std::filesystem::absolute(paths.newVersionFolder / paths.installerName, ec);
    std::fprintf(
        stderr, "%s\n",
        fmt::format("{} ends: a new version was downloaded; its installer waits in {} (see README.txt "
                    "beside it)",
                    kProgramName, installer.string())
            .c_str());
}

// Files the closing could not save: what they were to keep is lost. The program did not end as it
// should, so the exit code says so; the files are named on stderr and on the message line.
class UnsavedFiles {
public:
    void note(bool saved, const std::filesystem::path& file) {
        if (saved || std::find(m_files.begin(), m_files.end(), file) != m_files.end()) return;
        m_files.push_back(file);
    }
    void note(const std::optional<std::filesystem::path>& notSaved) {
        if (notSaved) note(false, *notSaved);
    }
    void report() const {
        if (m_files.empty()) return;
        gExitCode.store(1);
        std::string names;
        for (const auto& file : m_files)
            names += (names.empty() ? "" : ", ") + file.string();
        const std::string text = fmt::format("saving {} failed when closing", names);
        std::fprintf(stderr, "%s\n", fmt::format("{}: Error {}", kProgramName, text).c_str());
        gf_setStatusError(text);
    }

private:
    std::vector<std::filesystem::path> m_files;
};

bool isRestartReason(ExitReason reason) {
    return reason == ExitReason::NewSettings || reason == ExitReason::SimConnectError ||
           reason == ExitReason::ReaderError;
}

void postToWindow(UINT message) {
    const HWND window = gMainWindow.load();
    if (window != nullptr) PostMessageW(window, message, 0, 0);
}

// Sleeps in short steps; false as soon as the user closes the window.
bool pauseUnlessClosing(std::chrono::milliseconds duration) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + duration;
    while (steady_clock::now() < end) {
        if (gUserClosedWindow.load()) return false;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(end - steady_clock::now(), milliseconds(20)));
    }
    return !gUserClosedWindow.load();
}

void joinReader(std::thread& thread, const UdpReader& reader, std::chrono::steady_clock::time_point limit) {
    if (!thread.joinable()) return;
    while (reader.isRunning() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (reader.isRunning()) {
        gf_log("A reader did not stop in time and is left to end on its own");
        thread.detach();
    } else {
        thread.join();
    }
}

} // namespace

void lf_stopReaders() {
    auto& traffic = gf_trafficReader();
    auto& qnh = gf_qnhReader();
    qnh.stopFlag.store(true);
    traffic.stopFlag.store(true);
    std::this_thread::sleep_for(gf_appTimings().readerGrace);
    const auto limit = std::chrono::steady_clock::now() + gf_appTimings().readerJoinLimit;
    joinReader(gf_qnhReaderThread(), qnh, limit);
    joinReader(gf_trafficReaderThread(), traffic, limit);
}

bool lf_restartCountdown() {
    const int32_t delay = gf_restartDelay();
    if (delay < 1) return !gUserClosedWindow.load();
    gf_log(fmt::format("Restarting after {} seconds", delay));
    gf_log(std::string(48, '-'));
    for (int32_t n = delay; n >= 1; --n) {
        const auto shown = std::chrono::steady_clock::now();
        gf_setStatusLine(fmt::format("Restarting after {} second{}", n, gf_plural(n)), false);
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - shown);
        if (!pauseUnlessClosing(gf_appTimings().countdownSecond - elapsed)) {
            gf_log("Restart countdown ended: the window was closed");
            return false;
        }
    }
    gf_log("Restart countdown finished");
    return true;
}

void lf_cleanUpBeforeRestart() {
    // The old SimClient thread was asked to stop by the closing; it owns the connection, the
    // queues and the flags reset below until it has ended.
    gf_simClientThread().stopAndJoin();

    gf_resetTrafficSource();
    gf_clearSimQueues();
    gf_resetMainWindowState();
    gf_resetSimClientState();
    gf_resetSimDispatchState();
    gf_resetUserAcState();
    gf_resetUserPositionRecord();
    gf_resetUserAircraftData();
    gf_clearSimEvents();
    gf_callHook(gf_liveTrafficHooks().resetLiveTraffic);
    gf_clearTrafficIntake();

    gf_clearStatusError();
    gf_setStatusSecondsClock(0);

    gf_resetSimStatusTexts();
    gf_setRealTrafficText({});
    gTrafficReaderState.store(kReaderStopped);
    gQnhReaderState.store(kReaderStopped);
    gShownQnh.store(0);
    gTrafficRunFlag.store(false);

    gf_resetMainLoopState();
    gRealTrafficProfessional.store(false);
    gWaitingForRealTraffic.store(true);

    if (gCatalogueClearPending.exchange(false)) {
        gf_clearLiveryIndex();
        gLiveriesProcessed.store(false);
    }
    gf_resetRunState();
}

void lf_switchSimVersion() {
    std::filesystem::remove(gf_paths().liveriesScannedPath); // a missing file is no error
    gCatalogueClearPending.store(true);
    SCAN_AIRPORTS.current.store(true);
    gf_saveBoolParameter(SCAN_AIRPORTS);
    gf_showCheckBox(SCAN_AIRPORTS);
    SCAN_LIVERIES.current.store(true);
    gf_saveBoolParameter(SCAN_LIVERIES);
    gf_showCheckBox(SCAN_LIVERIES);
    gf_setStatusLine(fmt::format("Switching MSFS version in {}", kProgramName), true);
    ALL_INSTALL_PATH.current.set({});
    gf_setStringControlText(ALL_INSTALL_PATH);
    if (!gIsMsfs2020.load()) gf_setStringParameter(MYSIMADDON24_VERSION, {});
    gf_setExitReason(ExitReason::NewSettings, 3);
}

void lf_onSimVersionMismatch() {
    const std::string other = gIsMsfs2020.load() ? "MSFS 2024" : "MSFS 2020";
    gf_setStringParameter(SIM_CHOICE, other);
    if (SIM_CHOICE.indexOfValue()) SIM_CHOICE.fillComboBox();
    lf_switchSimVersion();
}

void lf_closingDown() {
    try {
        // One snapshot: a reason stored while the sequence runs must not change its course.
        const ExitReason reason = gf_exitReason();
        gf_log(fmt::format("Exiting: {}", gf_exitReasonText(reason)));
        const bool readersGaveUp = readerRestartsUsedUp(reason);
        gf_shutTrafficGate();
        gf_simClientThread().requestStop();
        lf_stopReaders();
        gf_exitRealTrafficServer();

        if (reason == ExitReason::SystemError || readersGaveUp) endWithError();

        auto& airports = gf_airportHooks();
        auto& traffic = gf_liveTrafficHooks();
        UnsavedFiles unsaved;
        const auto& settingsFile = gf_paths().parametersPath;
        unsaved.note(gf_callHook(airports.closeParkAirport, std::optional<std::filesystem::path>{}));
        gf_callHook(traffic.clearLiveryMemory);
        gf_removeFlightPlanFolder();
        // The edit fields show the emptied texts: a restarted run keeps the window.
        unsaved.note(gf_setStringParameter(DESTINATION, {}), settingsFile);
        gf_setStringControlText(DESTINATION);
        unsaved.note(gf_setStringParameter(BLOCK_CALLSIGN, {}), settingsFile);
        gf_setStringControlText(BLOCK_CALLSIGN);
        gf_callHook(airports.resetTbloCounter);
        gf_callHook(traffic.clearGhostList);
        gf_logMatchingSummary();
        gf_logNoMatchList();

        bool restart = false;
        if (isRestartReason(reason) && !readersGaveUp && !gUserClosedWindow.load()) {
            gRestartFlag.store(true);
            gf_clearStatusError();
            gf_clearStatusLine();
            gf_setStatusLine("Prepare for a restart ...", true);
            if (reason != ExitReason::NewSettings) {
                // The restarted run must not scan again.
                SCAN_LIVERIES.current.store(false);
                unsaved.note(gf_saveBoolParameter(SCAN_LIVERIES), settingsFile);
                SCAN_AIRPORTS.current.store(false);
                unsaved.note(gf_saveBoolParameter(SCAN_AIRPORTS), settingsFile);
            }
            restart = lf_restartCountdown();
            if (restart) {
                lf_cleanUpBeforeRestart();
            } else {
                gRestartFlag.store(false);
            }
        } else {
            gRestartFlag.store(false);
            if (reason == ExitReason::NewFlight) {
                gf_setStatusLine(
                    fmt::format("New flight detected, {} will close, please restart manually ...", kProgramName), true);
                pauseUnlessClosing(gf_appTimings().newFlightPause);
            } else if (reason == ExitReason::NewVersion) {
                tellWhereTheInstallerWaits();
            }
        }
        unsaved.report();
        postToWindow(restart ? WM_START_RUN : WM_SAVE_AND_QUIT);
        gf_flushLog();
    } catch (const std::exception& e) {
        gf_setStatusLine(fmt::format("{} exception {}", "lf_closingDown", e.what()), true);
        // Without a restart or quit message the program could not be ended any more.
        gExitCode.store(1);
        postToWindow(WM_SAVE_AND_QUIT);
        gf_flushLog();
    }
}

} // namespace tamrix
