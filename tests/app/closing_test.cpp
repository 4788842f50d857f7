// The closing sequence and restart: which reasons restart, what the countdown shows, what is
// saved, and the ways a run still ends when a person closes the window or the sequence fails.

#include <atomic>
#include <thread>

#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/app_test_support.hpp"
#include "app/closing.hpp"
#include "app/window_procedure.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "core/time_texts.hpp"
#include "support/ordinary_user.hpp"

using namespace tamrix;
using apptest::contains;
using apptest::countOf;

namespace {

class Closing : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        window_ = platform::win32::createTopLevelWindow("Quorvel", "Quorvel");
        gMainWindow = window_;
    }
    std::size_t posted(UINT message) const {
        std::size_t n = 0;
        for (const MSG& m : platform::win32::pendingMessages())
            n += m.message == message && m.hwnd == window_ ? 1 : 0;
        return n;
    }
    std::string savedValue(const std::string& key) const {
        for (const auto& line : apptest::readLines(gf_paths().parametersPath)) {
            const auto at = line.find("name=\"" + key + "\"");
            if (at == std::string::npos) continue;
            const auto v = line.find("value=\"", at);
            return line.substr(v + 7, line.find('"', v + 7) - v - 7);
        }
        return "<missing>";
    }

    HWND window_ = nullptr;
};

TEST_F(Closing, NewSettingsRestartsAfterItsCountdownAndKeepsTheScans) {
    int resets = 0;
    gf_liveTrafficHooks().resetLiveTraffic = [&] { ++resets; };
    SCAN_LIVERIES.current = true;
    SCAN_AIRPORTS.current = true;
    ASSERT_TRUE(gf_setExitReason(ExitReason::NewSettings, 3));

    lf_closingDown();

    const auto log = logLines();
    EXPECT_TRUE(contains(log, "Exiting: NEW SETTINGS"));
    EXPECT_TRUE(contains(log, "Prepare for a restart ..."));
    EXPECT_TRUE(contains(log, "Restarting after 3 seconds"));
    EXPECT_TRUE(contains(log, std::string(48, '-')));
    EXPECT_TRUE(contains(log, "Restart countdown finished"));
    EXPECT_EQ(posted(WM_START_RUN), 1u);
    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 0u);
    EXPECT_TRUE(gRestartFlag);
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_TRUE(SCAN_AIRPORTS.current);
    // The clean-up ran: a fresh run state.
    EXPECT_EQ(resets, 1);
    EXPECT_FALSE(gStopFlag);
    EXPECT_FALSE(gClosingFlag);
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
    // Settings the closing empties are saved empty.
    EXPECT_EQ(savedValue("DESTINATION"), "");
}

TEST_F(Closing, ErrorsRestartWithoutScanningAgain) {
    for (const auto& [reason, delay] : {std::pair{ExitReason::SimConnectError, 1}, std::pair{ExitReason::ReaderError, 1}}) {
        SCAN_LIVERIES.current = true;
        SCAN_AIRPORTS.current = true;
        ASSERT_TRUE(gf_setExitReason(reason, delay));
        lf_closingDown();
        EXPECT_FALSE(SCAN_LIVERIES.current);
        EXPECT_FALSE(SCAN_AIRPORTS.current);
        EXPECT_EQ(savedValue("SCAN_LIVERIES"), "false");
        EXPECT_EQ(savedValue("SCAN_AIRPORTS"), "false");
    }
    const auto log = logLines();
    EXPECT_TRUE(contains(log, "Exiting: SIMCONNECT ERROR"));
    EXPECT_TRUE(contains(log, "Exiting: READER ERROR"));
    EXPECT_EQ(countOf(log, "Restarting after 1 seconds"), 2u);
    EXPECT_EQ(posted(WM_START_RUN), 2u);
}

TEST_F(Closing, ADelayOfZeroShowsNoCountdown) {
    ASSERT_TRUE(gf_setExitReason(ExitReason::NewSettings, 0));
    lf_closingDown();
    const auto log = logLines();
    for (const auto& line : log)
        EXPECT_EQ(line.find("Restarting after"), std::string::npos) << line;
    EXPECT_FALSE(contains(log, "Restart countdown finished"));
    EXPECT_EQ(posted(WM_START_RUN), 1u);
}

TEST_F(Closing, AWindowClosedDuringTheCountdownQuitsInsteadOfRestarting) {
    gf_appTimings().countdownSecond = std::chrono::milliseconds(200);
    int resets = 0;
    gf_liveTrafficHooks().resetLiveTraffic = [&] { ++resets; };
    ASSERT_TRUE(gf_setExitReason(ExitReason::ReaderError, 15));
    std::thread closing(lf_closingDown);
    ASSERT_TRUE(apptest::waitFor([] { return gf_statusLineSnapshot().message.starts_with("Restarting after"); }));
    gUserClosedWindow = true; // the close button
    gClosingFlag = true;
    closing.join();

    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u);
    EXPECT_EQ(posted(WM_START_RUN), 0u);
    EXPECT_FALSE(gRestartFlag);
    EXPECT_EQ(resets, 0);
    EXPECT_FALSE(contains(logLines(), "Restart countdown finished"));
}

TEST_F(Closing, SystemErrorOnADisplayWaitsForTheUserBeforeTheSimulatorSideIsCleared) {
    gWindowOnDisplay = true;
    std::atomic<int> parkClosed{0};
    gf_airportHooks().closeParkAirport = [&] {
        ++parkClosed;
        return std::optional<std::filesystem::path>{};
    };
    gf_setStatusError("41: Quorvel must be run from the Quorvel folder!");
    gf_forceExitReason(ExitReason::SystemError, 0);
    std::thread closing(lf_closingDown);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(parkClosed, 0);
    EXPECT_EQ(gf_statusLineSnapshot().error, "41: Quorvel must be run from the Quorvel folder!");
    gUserClosedWindow = true;
    gClosingFlag = true;
    closing.join();
    EXPECT_EQ(parkClosed, 1);
    EXPECT_TRUE(contains(logLines(), "User closed Quorvel"));
    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u);
    EXPECT_EQ(gExitCode, 1) << "a failed run is no success, however it was ended";
}

// Nobody can read the message in production mode or without a display: the run ends by itself.
TEST_F(Closing, SystemErrorWithoutAReaderQuitsAtOnceWithExitCodeOne) {
    for (const bool production : {true, false}) {
        gProductionMode = production;
        gWindowOnDisplay = production; // production mode quits even on a display
        gExitCode = 0;
        gf_resetRunState();
        platform::win32::resetWindows();
        window_ = platform::win32::createTopLevelWindow("Quorvel", "Quorvel");
        gMainWindow = window_;
        gf_forceExitReason(ExitReason::SystemError, 0);
        lf_closingDown(); // returns without anybody closing the window
        EXPECT_EQ(gExitCode, 1) << production;
        EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u) << production;
    }
}

// A reader that cannot even start (its port taken) fails again after each restart: a few
// restarts, then the program ends with the error. Traffic in between breaks the row.
TEST_F(Closing, ReaderErrorsInARowEndTheProgramAfterAFewRestarts) {
    const std::string cause =
        "The Traffic Reader has stopped with error: bind to stream socket failed, error: 10048";
    const auto endRun = [&](bool trafficArrived) {
        gf_clearStatusError();
        gf_setStatusLine(cause, true);
        if (trafficArrived) gLastTrafficTime = 1700000000.0;
        ASSERT_TRUE(gf_setExitReason(ExitReason::ReaderError, 15));
        for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) {
        }
        lf_closingDown();
    };
    endRun(false);
    endRun(true); // a run with traffic: the row starts anew
    for (int32_t n = 1; n < kReaderRestartsInARow; ++n) {
        endRun(false);
        EXPECT_EQ(posted(WM_START_RUN), 1u) << n;
    }
    EXPECT_EQ(apptest::countOf(logLines(), "Restart countdown finished"),
              std::size_t(kReaderRestartsInARow + 1));

    endRun(false);
    EXPECT_EQ(posted(WM_START_RUN), 0u);
    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u);
    EXPECT_EQ(gExitCode, 1);
    EXPECT_FALSE(gRestartFlag);
    EXPECT_TRUE(contains(logLines(), fmt::format("Error {} ({} restarts in a row did not help)", cause,
                                                 kReaderRestartsInARow)));
}

TEST_F(Closing, AFailingStepStillEndsTheProgram) {
    gf_airportHooks().closeParkAirport = []() -> std::optional<std::filesystem::path> {
        throw std::runtime_error("airport file locked");
    };
    gf_setUserClosed();
    lf_closingDown();
    EXPECT_TRUE(contains(logLines(), "lf_closingDown exception airport file locked"));
    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u);
    EXPECT_EQ(gExitCode, 1);
}

TEST_F(Closing, NewFlightTellsTheUserAndQuits) {
    ASSERT_TRUE(gf_setExitReason(ExitReason::NewFlight, 45));
    lf_closingDown();
    EXPECT_TRUE(contains(logLines(), "New flight detected, Quorvel will close, please restart manually ..."));
    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u);
    EXPECT_FALSE(gRestartFlag);
    EXPECT_EQ(gExitCode, 0) << "everything was saved";
}

// The learned flights and the settings the closing could not save are lost: the program did not
// end well, and the user learns which files, on stderr and on the message line.
TEST_F(Closing, SavesThatFailEndWithExitCodeOneAndNameTheFiles) {
    SKIP_WITHOUT_ORDINARY_USER();
    const std::filesystem::path learned = folder() / "airports" / "learned" / "stock" / "EKBI.xml";
    gf_airportHooks().closeParkAirport = [&] { return std::optional<std::filesystem::path>(learned); };
    gf_saveParameters(false);
    const std::filesystem::path data = gf_paths().programDataFolder;
    testsupport::giveToOrdinaryUser(data);
    std::filesystem::permissions(data, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    gf_setUserClosed();
    testing::internal::CaptureStderr();
    {
        testsupport::AsOrdinaryUser user;
        lf_closingDown();
    }
    const std::string stderrText = testing::internal::GetCapturedStderr();
    std::filesystem::permissions(data, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);

    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u);
    EXPECT_EQ(gExitCode, 1);
    const std::string text = fmt::format("saving {}, {} failed when closing", learned.string(),
                                         gf_paths().parametersPath.string());
    EXPECT_EQ(stderrText, "Quorvel: Error " + text + "\n");
    EXPECT_EQ(gf_statusLineSnapshot().error, text);
}

// A restarted run keeps the window: its edit fields show what the closing emptied.
TEST_F(Closing, ARestartedRunShowsTheEmptiedDestinationAndBlockedCallsign) {
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_mainWndProc));
    SendMessageW(window_, WM_CREATE, 0, 0);
    const auto fieldText = [&](const StringControlParameter& p) {
        return platform::win32::windowState(GetDlgItem(window_, p.controlId))->text;
    };
    gf_setStringParameter(DESTINATION, "EKBI");
    gf_setStringControlText(DESTINATION);
    gf_setStringParameter(BLOCK_CALLSIGN, "DLH4AB");
    gf_setStringControlText(BLOCK_CALLSIGN);
    ASSERT_EQ(fieldText(DESTINATION), u"EKBI");
    ASSERT_TRUE(gf_setExitReason(ExitReason::SimConnectError, 0));

    lf_closingDown();

    EXPECT_EQ(posted(WM_START_RUN), 1u);
    EXPECT_EQ(savedValue("DESTINATION"), "");
    EXPECT_EQ(fieldText(DESTINATION), u"");
    EXPECT_EQ(fieldText(BLOCK_CALLSIGN), u"");
}

// A run without a window (the updater's folder opened for nobody) says where the installer waits.
TEST_F(Closing, ANewVersionWithoutAWindowSaysWhereItsInstallerWaits) {
    gWindowOnDisplay = false;
    ASSERT_TRUE(gf_setExitReason(ExitReason::NewVersion, 0));
    testing::internal::CaptureStderr();
    lf_closingDown();
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string installer =
        std::filesystem::absolute(gf_paths().newVersionFolder / gf_paths().installerName).string();
    EXPECT_NE(said.find("Quorvel ends: a new version was downloaded; its installer waits in " + installer),
              std::string::npos)
        << said;
    EXPECT_EQ(posted(WM_SAVE_AND_QUIT), 1u);
}

TEST_F(Closing, AVersionMismatchSwitchesTheSimulatorAndAsksForBothScans) {
    const auto scanned = gf_paths().liveriesScannedPath;
    std::filesystem::create_directories(scanned.parent_path());
    { std::ofstream(scanned) << "<root/>"; }
    SCAN_LIVERIES.current = false;
    SCAN_AIRPORTS.current = false;
    gIsMsfs2020 = true;

    lf_onSimVersionMismatch();

    EXPECT_EQ(SIM_CHOICE.current.get(), "MSFS 2024");
    EXPECT_EQ(savedValue("SIM_CHOICE"), "MSFS 2024");
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_TRUE(SCAN_AIRPORTS.current);
    EXPECT_FALSE(std::filesystem::exists(scanned));
    EXPECT_EQ(gf_exitReason(), ExitReason::NewSettings);
    EXPECT_EQ(gf_restartDelay(), 3);
    EXPECT_TRUE(contains(logLines(), "Switching MSFS version in Quorvel"));
}

} // namespace
