// A user's first run at Billund: the airports scan finds the sample scenery packages of the
// simulator's Community folder, links Billund to its publisher's prepared file in the archive
// (made by airportgen from the scenario's stands and a week of rtfeed's schedule) and generates
// Aarhus's file from the simulator's facility data. The user aircraft stands on a stand at
// Billund: it becomes the park airport, its file is downloaded and its stands loaded, the user's
// stand is recorded as the reserved stand, static aircraft are planned from the learned week and
// placed in the simulator stand-in beside the live traffic, and when the simulator quits they are
// removed and what was learned at the airport is saved.

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
        program_->writeParameters({{"SCAN_LIVERIES", "true"}, {"SCAN_AIRPORTS", "true"}});
        trafficPort_ = freeUdpPort();
        qnhPort_ = freeUdpPort();
        ::setenv("QUORVEL_SIM_SCENARIO", scenario().c_str(), 1);
        ::setenv("QUORVEL_TRAFFIC_PORT", std::to_string(trafficPort_).c_str(), 1);
        ::setenv("QUORVEL_QNH_PORT", std::to_string(qnhPort_).c_str(), 1);
        gLastTrafficTime = 0.0;
        const fs::path source = QUORVEL_SOURCE_DIR;
        fs::copy(source / "tests/fixtures/installation/Community", folder() / "sim" / "Community",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::copy(source / "data/input/ICAO_airports.txt", folder() / "input" / "ICAO_airports.txt");
        const fs::path server = fs::path(QUORVEL_ENC_DIR).parent_path().parent_path() / "server" / "downloads";
        ::setenv("QUORVEL_DOWNLOAD_BASE", ("file://" + server.string() + "/").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("QUORVEL_SIM_SCENARIO");
        ::unsetenv("QUORVEL_TRAFFIC_PORT");
        ::unsetenv("QUORVEL_QNH_PORT");
        ::unsetenv("QUORVEL_DOWNLOAD_BASE");
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

TEST_F(ParkAirportRun, AFirstRunLinksBillundToItsArchivedFileAndPlacesItsStaticsThenSavesWhatItLearned) {
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
    // The scan: Billund linked to the archive, Aarhus generated from the facility data and, being a
    // known airport, packed for the program's maker.
    const std::string scanLog = apptest::readText(gf_paths().infoFolder / "AirportsScanLog.txt");
    EXPECT_NE(scanLog.find("thirdparty airport EKBI linked to archive/thirdparty/Quorvel%20Samples/EKBI.xml"),
              std::string::npos)
        << scanLog;
    EXPECT_NE(scanLog.find("Generated EKAH.xml: 6 positions"), std::string::npos) << scanLog;
    EXPECT_TRUE(fs::exists(folder() / "airports" / "my_thirdparty" / "EKAH.xml"));
    EXPECT_TRUE(fs::exists(folder() / "tblo" / "tblo.zip"));
    EXPECT_TRUE(logHas("Airport file read from 'archive/thirdparty/Quorvel%20Samples/EKBI.xml'"));
    // The user's stand became the reserved stand of Billund in "my_park_airports.txt".
    const std::string myList = apptest::readText(folder() / "airports" / "my_park_airports.txt");
    EXPECT_EQ(myList.rfind("EKBI,", 0), 0u) << myList;
    EXPECT_TRUE(contains(logLines(), "Exiting: SIM WAS CLOSED"));
    // Leaving at the closing: no static aircraft is left active, the learned file is written.
    for (const StaticAircraft& a : gStaticAircraft) EXPECT_NE(a.state, LiveState::Active);
    EXPECT_TRUE(fs::exists(folder() / "airports" / "learned" / "thirdparty" / "Quorvel Samples" / "EKBI.xml"));
    EXPECT_TRUE(logHas("/EKBI.xml' saved with"));
}

} // namespace
