// The connect phase against the simulator stand-in: it waits for a running simulator and a
// known user position, opens no TCP server without RealTraffic on this PC, and starts the QNH
// reader before the traffic reader.

#include "app/app_test_support.hpp"
#include "app/connect_phase.hpp"
#include "core/time_texts.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_dispatch.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_source_state.hpp"
#include "links/user_aircraft_state.hpp"

using namespace tamrix;
using std::chrono::seconds;

namespace {

class ConnectPhase : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        gf_installSimDispatch();
        gTrafficPort = 0; // any free port: nothing is sent in this test
        gQnhPort = 0;
        gf_appTimings().trafficWaitSteps = 5;
    }
    void TearDown() override {
        gf_setUserClosed();
        lf_stopReaders();
        gf_simClientThread().stopAndJoin();
        gTrafficPort = 49005;
        gQnhPort = 49004;
        AppTest::TearDown();
    }
    // A simulator whose user aircraft stands at 0/0 until the test moves it.
    void startSimulator() {
        const auto scenario = folder() / "scenario.json";
        std::ofstream(scenario) << R"({"start_after_seconds": 0, "flight_after_seconds": 0, "frame_rate": 60,
            "user_aircraft": {"latitude": 0, "longitude": 0, "on_ground": true}})";
        std::string error;
        ASSERT_TRUE(platform::simconnect::startAutonomous(scenario, error)) << error;
    }
};

TEST_F(ConnectPhase, WaitsForAKnownPositionThenStartsTheReadersWithoutAServer) {
    startSimulator();
    std::atomic<int> result{-1};
    std::thread phase([&] { result = lf_runPhase() ? 1 : 0; });
    // Connected and running, but the user aircraft reports 0/0: the phase keeps asking.
    ASSERT_TRUE(apptest::waitFor([] { return gSimRunning.load(); }, seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(gQnhReaderState, kReaderStopped);

    auto user = platform::simconnect::simWorld().userAircraft();
    user.latitude = 55.741127;
    user.longitude = 9.138932;
    platform::simconnect::simWorld().setUserAircraft(user);
    phase.join();

    EXPECT_EQ(result, 1);
    EXPECT_EQ(gf_realTrafficServerPort(), 0);
    EXPECT_TRUE(gTrafficRunFlag);
    const auto log = logLines();
    const auto at = [&](std::string_view line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
    ASSERT_TRUE(apptest::contains(log, "          QNH Reader connected"));
    ASSERT_TRUE(apptest::contains(log, "          Traffic Reader connected"));
    EXPECT_LT(at("          QNH Reader connected"), at("          Traffic Reader connected"));
    EXPECT_TRUE(apptest::contains(log, "No traffic in this region?"));
    const UserPositionRecord record = gf_userPositionRecord();
    EXPECT_NEAR(record.state.latitude, 55.741127, 1e-6);
    EXPECT_EQ(record.onGroundKnown, 1);
}

TEST_F(ConnectPhase, ACloseWhileWaitingForTheSimulatorEndsThePhase) {
    // No simulator at all: the phase waits until the window is closed.
    std::atomic<int> result{-1};
    std::thread phase([&] { result = lf_runPhase() ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(result, -1);
    gf_setUserClosed();
    phase.join();
    EXPECT_EQ(result, 0);
}

} // namespace
