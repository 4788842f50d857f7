// A whole run at Billund: the user aircraft stands on a stand of the scenario's airport, whose
// airport file (made by airportgen from the scenario's stands and a week of rtfeed's schedule)
// lies in the user's simaddon folder. The airport becomes the park airport, its stands are loaded,
// the user's stand is recorded as the reserved stand, static aircraft are planned and placed in
// the simulator stand-in beside the live traffic, and when the simulator quits they are removed
// and what was learned at the airport is saved.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "airports/my_park_airports.hpp"
#include "airports/static_parking.hpp"
#include "app/app_test_support.hpp"
#include "app/process_entry.hpp"
#include "app/program_folder.hpp"
#include "core/time_texts.hpp"
#include "links/traffic_source_state.hpp"
#include "traffic/live_traffic.hpp"

using namespace tamrix;
using apptest::contains;
using std::chrono::seconds;
namespace fs = std::filesystem;

namespace {

using apptest::freeUdpPort;

class ParkAirportRun : public apptest::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        program_.emplace(folder(), gf_paths().programDataFolder);
        program_->writeParameters({{"SCAN_LIVERIES", "true"}});
        trafficPort_ = freeUdpPort();
        qnhPort_ = freeUdpPort();
        ::setenv("QUORVEL_SIM_SCENARIO", scenario().c_str(), 1);
        ::setenv("QUORVEL_TRAFFIC_PORT", std::to_string(trafficPort_).c_str(), 1);
        ::setenv("QUORVEL_QNH_PORT", std::to_string(qnhPort_).c_str(), 1);
        gLastTrafficTime = 0.0;
        const fs::path archived =
            fs::path(QUORVEL_ENC_DIR).parent_path().parent_path() / "server/downloads/MSFS/archive/stock/EKBI.xml";
        fs::create_directories(folder() / "airports" / "my_simaddon");
        fs::copy_file(archived, folder() / "airports" / "my_simaddon" / "EKBI.xml");
    }
    void TearDown() override {
        ::unsetenv("QUORVEL_SIM_SCENARIO");
        ::unsetenv("QUORVEL_TRAFFIC_PORT");
        ::unsetenv("QUORVEL_QNH_PORT");
        gf_resetMyParkAirports();
        AppTest::TearDown();
    }
    static fs::path scenario() { return fs::path(QUORVEL_SOURCE_DIR) / "data" / "scenario" / "EKBI.json"; }
    std::unique_ptr<apptest::Child> startFeed() {
        return std::make_unique<apptest::Child>(
            QUORVEL_RTFEED,
            std::vector<std::string>{"--no-server", "--scenario", scenario().string(), "--skip", "30", "--traffic-port",
                                     std::to_string(trafficPort_), "--qnh-port", std::to_string(qnhPort_),
                                     "--duration", "120", "--quiet"},
            folder(), std::vector<std::string>{});
    }
    bool logHas(std::string_view part) const {
        for (const auto& line : logLines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    // Static aircraft show their callsign with a trailing '*' as the object's ATC id.
    static std::size_t staticObjectsInSimulator() {
        std::size_t n = 0;
        for (const auto& object : platform::simconnect::simWorld().objects())
            if (!object.user && !object.atcId.empty() && object.atcId.back() == '*') ++n;
        return n;
    }

    std::optional<apptest::ProgramFolder> program_;
    uint16_t trafficPort_ = 0;
    uint16_t qnhPort_ = 0;
};

TEST_F(ParkAirportRun, BillundBecomesTheParkAirportItsStaticsArePlacedAndRemovedAndItsLearnedFileSaved) {
    auto feed = startFeed();
    std::size_t statics = 0;
    std::thread simulatorSide([&] {
        const auto giveUp = [] { PostMessageW(gMainWindow.load(), WM_CLOSE, 0, 0); };
        // The park airport is chosen when the loop starts and loaded 16 simulator seconds later;
        // the statics follow one per 50 ticks, behind the live creations (those the sample
        // packages have no livery for are left out).
        if (!apptest::waitFor([] { return staticObjectsInSimulator() >= 1; }, seconds(90))) return giveUp();
        statics = staticObjectsInSimulator();
        platform::simconnect::simWorld().quitSimulator();
    });
    const int code = lf_winMainBody({"quorvel"});
    simulatorSide.join();

    EXPECT_EQ(code, 0);
    EXPECT_GE(statics, 1u);
    EXPECT_TRUE(logHas("User aircraft on the ground at EKBI"));
    EXPECT_TRUE(logHas("The park airport is EKBI"));
    EXPECT_TRUE(logHas("Airport file read from 'airports\\my_simaddon\\EKBI.xml'") ||
                logHas("Airport file read from 'airports/my_simaddon/EKBI.xml'"));
    // The user's stand became the reserved stand of Billund in "my_park_airports.txt".
    const std::string myList = apptest::readText(folder() / "airports" / "my_park_airports.txt");
    EXPECT_EQ(myList.rfind("EKBI,", 0), 0u) << myList;
    EXPECT_TRUE(contains(logLines(), "Exiting: SIM WAS CLOSED"));
    // Leaving at the closing: no static aircraft is left active, the learned file is written.
    for (const StaticAircraft& a : gStaticAircraft) EXPECT_NE(a.state, LiveState::Active);
    bool learned = false;
    for (const auto& entry : fs::recursive_directory_iterator(folder() / "airports" / "learned"))
        learned = learned || entry.path().filename() == "EKBI.xml";
    EXPECT_TRUE(learned);
    EXPECT_TRUE(logHas("/EKBI.xml' saved with"));
}

} // namespace
