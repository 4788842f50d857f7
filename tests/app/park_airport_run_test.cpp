// A user's first run at Billund: the airports scan finds the sample scenery packages of the
// simulator's Community folder, links Billund to its publisher's prepared file in the archive
// (made by airportgen from the scenario's stands and a week of rtfeed's schedule) and generates
// Aarhus's file from the simulator's facility data. The user aircraft stands on a stand at
// Billund: it becomes the park airport, its file is downloaded and its stands loaded, the user's
// stand is recorded as the reserved stand, static aircraft are planned from the learned week and
// placed in the simulator stand-in beside the live traffic, and when the simulator quits they are
// removed and what was learned at the airport is saved.

#include "airports/my_park_airports.hpp"
#include "airports/static_parking.hpp"
#include "app/app_run_fixture.hpp"
#include "traffic/live_traffic.hpp"

using namespace tamrix;
using apptest::contains;
using std::chrono::seconds;
namespace fs = std::filesystem;

namespace {

class ParkAirportRun : public apptest::InProcessRun {
protected:
    void SetUp() override {
        InProcessRun::SetUp();
        prepareRun(scenario(), {{"SCAN_LIVERIES", "true"}, {"SCAN_AIRPORTS", "true"}});
        const fs::path source = QUORVEL_SOURCE_DIR;
        fs::copy(source / "tests/fixtures/installation/Community", folder() / "sim" / "Community",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::copy(source / "data/input/ICAO_airports.txt", folder() / "input" / "ICAO_airports.txt");
        useBuildDownloadServer();
    }
    void TearDown() override {
        gf_resetMyParkAirports();
        InProcessRun::TearDown();
    }
    static fs::path scenario() { return fs::path(QUORVEL_SOURCE_DIR) / "data" / "scenario" / "EKBI.json"; }
    std::unique_ptr<apptest::Child> startFeed() const {
        return InProcessRun::startFeed({"--scenario", scenario().string(), "--skip", "30"}, 120);
    }
    // Static aircraft show their callsign with a trailing '*' as the object's ATC id.
    static std::size_t staticObjectsInSimulator() {
        std::size_t n = 0;
        for (const auto& object : platform::simconnect::simWorld().objects())
            if (!object.user && !object.atcId.empty() && object.atcId.back() == '*') ++n;
        return n;
    }
};

TEST_F(ParkAirportRun, AFirstRunLinksBillundToItsArchivedFileAndPlacesItsStaticsThenSavesWhatItLearned) {
    auto feed = startFeed();
    std::size_t statics = 0;
    const int code = runProgram([&] {
        // The park airport is chosen when the loop starts and loaded 16 simulator seconds later;
        // the statics follow one per 50 ticks, behind the live creations (those the sample
        // packages have no livery for are left out).
        if (!apptest::waitFor([] { return staticObjectsInSimulator() >= 1; }, seconds(90)))
            return closeWindow();
        statics = staticObjectsInSimulator();
        platform::simconnect::simWorld().quitSimulator();
    });

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
