// Whole runs in this process, from the window's first WM_APP+1 to the end of the message loop:
// start-up, the connect phase against the simulator stand-in and rtfeed, the main loop, and the
// ways a run ends (the simulator quits; a SimConnect error and a reader error restart the run in
// the same process; a new flight ends the program).

#include "app/app_run_fixture.hpp"

using namespace tamrix;
using apptest::contains;
using std::chrono::seconds;
namespace fs = std::filesystem;

namespace {

class WholeRun : public apptest::InProcessRun {
protected:
    void SetUp() override {
        InProcessRun::SetUp();
        prepareRun(fs::path(QUORVEL_SOURCE_DIR) / "tests" / "fixtures" / "simworld" / "frankfurt.json",
                   {{"SCAN_LIVERIES", "true"}});
    }
    // rtfeed beside the program: synthetic traffic around the Frankfurt user aircraft.
    std::unique_ptr<apptest::Child> startFeed() const {
        return InProcessRun::startFeed({"--position", "50.04752,8.55782"}, 60);
    }
    // Waits until the main loop of the current run has counted this many simulator seconds.
    static bool mainLoopRuns(int32_t secondsWanted) {
        return apptest::waitFor([&] { return gSecondsCounter.load() >= secondsWanted; }, seconds(40));
    }
};

TEST_F(WholeRun, TheSimulatorQuitsAndTheProgramClosesWithZero) {
    auto feed = startFeed();
    const int code = runProgram([] {
        if (!mainLoopRuns(3)) return closeWindow();
        platform::simconnect::simWorld().quitSimulator();
    });

    EXPECT_EQ(code, 0);
    const auto log = logLines();
    EXPECT_TRUE(contains(log, "          Traffic Reader connected"));
    EXPECT_FALSE(contains(log, "No traffic in this region?"));
    EXPECT_GT(gLastTrafficTime.load(), 0.0);
    EXPECT_TRUE(contains(log, "Exiting: SIM WAS CLOSED"));
    EXPECT_TRUE(fs::exists(folder() / "output" / "LiveriesScanned.xml"));
    // The closing removed the flight plans; the settings file is whole and keeps the user's folder.
    EXPECT_FALSE(fs::exists(gf_paths().programDataFolder / "orig_dest"));
    EXPECT_NE(apptest::readText(program_->parameters()).find((folder() / "packages").string()), std::string::npos);
    EXPECT_NE(apptest::readText(program_->parameters()).find("</root>"), std::string::npos);
    EXPECT_FALSE(gf_startUpThread().joinable());
}

TEST_F(WholeRun, ErrorsRestartInTheSameProcessAndANewFlightEndsIt) {
    // The first on-ground request fails: "SIMCONNECT ERROR", a restart. The second run finds the
    // traffic port taken: "READER ERROR", a restart. The third run runs until a new flight.
    int blocker = -1;
    ::setenv("QUORVEL_TRAFFIC_PORT", std::to_string(testsupport::freeUdpPort(&blocker)).c_str(), 1);
    const int code = runProgram([&] {
        // The scenario's flight starts 2 s after the simulator: time to arm the failure.
        if (!apptest::waitFor([] { return platform::simconnect::autonomousRunning(); }, seconds(30)))
            return closeWindow();
        platform::simconnect::simWorld().failCalls("SimConnect_RequestDataOnSimObject", 1);
        if (!apptest::waitFor([&] { return contains(logLines(), "Exiting: READER ERROR"); }, seconds(60)))
            return closeWindow();
        ::close(blocker);
        blocker = -1;
        if (!apptest::waitFor([&] { return apptest::countOf(logLines(), "Restart countdown finished") == 2; },
                              seconds(30)))
            return closeWindow();
        if (!mainLoopRuns(2)) return closeWindow();
        platform::simconnect::simWorld().loadFlight("Another.FLT");
    });
    if (blocker >= 0) ::close(blocker);

    EXPECT_EQ(code, 0);
    const auto log = logLines();
    EXPECT_TRUE(contains(log, "==> SimConnect request ac gnd/air fails"));
    EXPECT_TRUE(contains(log, "Exiting: SIMCONNECT ERROR"));
    EXPECT_TRUE(contains(log, "Exiting: READER ERROR"));
    EXPECT_EQ(apptest::countOf(log, "Restart countdown finished"), 2u);
    EXPECT_TRUE(contains(log, "Exiting: NEW FLIGHT"));
    EXPECT_TRUE(contains(log, "New flight detected, Quorvel will close, please restart manually ..."));
    // The liveries were scanned once: the restarts do not scan again.
    EXPECT_FALSE(SCAN_LIVERIES.current);
    EXPECT_NE(apptest::readText(program_->parameters()).find("name=\"SCAN_LIVERIES\" value=\"false\""),
              std::string::npos);
}

} // namespace
