// A user's first run at Billund: the airports scan finds the sample scenery packages of the
// simulator's Community folder, links Billund to its publisher's prepared file in the archive
// (made by airportgen from the scenario's stands and a week of rtfeed's schedule) and generates
// Aarhus's file from the simulator's facility data. The user aircraft stands on a stand at
// Billund: it becomes the park airport, its file is downloaded and its stands loaded, the user's
// stand is recorded as the reserved stand, static aircraft are planned from the learned week and
// placed in the simulator stand-in beside the live traffic, and when the simulator quits they are
// removed and what was learned at the airport is saved.

#include <algorithm>
#include <map>

#include "airports/my_park_airports.hpp"
#include "airports/static_parking.hpp"
#include "app/app_run_fixture.hpp"
#include "platform/win32/gdi.hpp"
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
        // The user chose Billund as destination and a window on top in an earlier run.
        prepareRun(scenario(), {{"SCAN_LIVERIES", "true"},
                                {"SCAN_AIRPORTS", "true"},
                                {"DESTINATION", "EKBI"},
                                {"ALWAYS_ON_TOP", "true"}});
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
    static bool isStatic(const platform::simconnect::ObjectView& object) {
        return !object.user && !object.atcId.empty() && object.atcId.back() == '*';
    }
    static std::size_t staticObjectsInSimulator() {
        std::size_t n = 0;
        for (const auto& object : platform::simconnect::simWorld().objects())
            n += isStatic(object) ? 1 : 0;
        return n;
    }
    static std::size_t liveObjectsInSimulator() {
        std::size_t n = 0;
        for (const auto& object : platform::simconnect::simWorld().objects())
            n += !object.user && !isStatic(object) ? 1 : 0;
        return n;
    }
    static bool staticNavLightsOn(bool on) {
        for (const auto& object : platform::simconnect::simWorld().objects())
            if (isStatic(object) && ((object.lights & 0x1) != 0) != on) return false;
        return true;
    }
    // The number the status panel paints after "live:" when the window paints now (as a display
    // asks it to).
    static std::optional<int> paintedLiveCount() {
        const HWND main = gMainWindow.load();
        const auto before = platform::win32::lastFrame(main);
        PostMessageW(main, WM_PAINT, 0, 0);
        const auto painted = [&] {
            const auto now = platform::win32::lastFrame(main);
            return now && (!before || now->number > before->number);
        };
        if (!apptest::waitFor(painted, seconds(5))) return std::nullopt;
        const auto frame = platform::win32::lastFrame(main);
        for (const auto& call : frame->calls)
            if (call.kind == platform::win32::DrawCall::Kind::Text && call.text.starts_with("live:"))
                return std::stoi(call.text.substr(5));
        return std::nullopt;
    }
};

TEST_F(ParkAirportRun, AFirstRunLinksBillundPlacesItsStaticsFollowsTheWindowAndSavesWhatItLearned) {
    auto feed = startFeed();
    std::size_t statics = 0, livesBefore = 0, staticsStayed = 0;
    std::string objects;
    bool liveShown = false, navLightsWereOn = false, navLightsWentOut = false, livesLeft = false,
         liveShownZero = false, topmost = false, selected = false;
    const int code = runProgram([&] {
        // The park airport is chosen when the loop starts and loaded 16 simulator seconds later;
        // the statics follow one per 50 ticks, behind the live creations (those the sample
        // packages have no livery for are left out).
        if (!apptest::waitFor([] { return staticObjectsInSimulator() >= 1; }, seconds(90)))
            return closeWindow();
        statics = staticObjectsInSimulator();
        // The user's window: aircraft moving show in "live:"; nav lights of the parked go out
        // when unticked; no live aircraft stays when none is allowed.
        // The first live aircraft come 30 s after their first reports, which on a slow machine can be
        // well after the first static.
        liveShown = apptest::waitForTicks([] { return paintedLiveCount().value_or(0) >= 1; }, 9000);
        navLightsWereOn = staticNavLightsOn(true);
        platform::win32::click(gMainWindow.load(), NAV_LIGHTS_WHILE_PARKED.controlId);
        navLightsWentOut = apptest::waitFor([] { return staticNavLightsOn(false); }, seconds(10));
        livesBefore = liveObjectsInSimulator();
        // "0": no live traffic. An aircraft still being created when the limit fell is not counted
        // yet; it settles and goes with the next choice.
        for (int attempt = 0; attempt < 4 && !livesLeft; ++attempt) {
            selected = platform::win32::select(gMainWindow.load(), MAX_LIVE_SEL.controlId, 0);
            livesLeft = apptest::waitForTicks([] { return liveObjectsInSimulator() == 0; }, 500);
        }
        liveShownZero = apptest::waitFor([] { return paintedLiveCount() == 0; }, seconds(10));
        staticsStayed = staticObjectsInSimulator();
        for (const auto& object : platform::simconnect::simWorld().objects())
            objects += object.atcId + " ";
        topmost = platform::win32::windowState(gMainWindow.load())->topmost;
        platform::simconnect::simWorld().quitSimulator();
    });

    // The window's actions, seen in the simulator.
    EXPECT_TRUE(selected);
    EXPECT_TRUE(liveShown) << objects;
    EXPECT_TRUE(navLightsWereOn);
    EXPECT_TRUE(navLightsWentOut);
    EXPECT_GE(livesBefore, 1u);
    EXPECT_TRUE(livesLeft) << objects;
    EXPECT_TRUE(liveShownZero);
    EXPECT_GE(staticsStayed, 1u);
    // What the user stored in an earlier run is applied at the start.
    EXPECT_TRUE(topmost);
    EXPECT_TRUE(logHas("New destination: EKBI"));

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
    for (const StaticAircraft& a : gStaticAircraft)
        EXPECT_NE(a.state, LiveState::Active);
    EXPECT_TRUE(
        fs::exists(folder() / "airports" / "learned" / "thirdparty" / "Quorvel Samples" / "EKBI.xml"));
    EXPECT_TRUE(logHas("/EKBI.xml' saved with"));
}

// A restart after a SimConnect error opens a new connection: the live aircraft of the first run
// must not stay in the simulator, frozen, beside the ones the restarted run creates for the same
// flights; and the window shows the destination the closing emptied.
TEST_F(ParkAirportRun, ARestartLeavesNoAircraftStandingTwiceAndShowsTheEmptiedDestination) {
    const auto liveObjects = [] {
        std::vector<platform::simconnect::ObjectView> live;
        for (auto& o : platform::simconnect::simWorld().objects())
            if (!o.user && !isStatic(o)) live.push_back(std::move(o));
        return live;
    };
    auto feed = InProcessRun::startFeed({"--scenario", scenario().string(), "--skip", "30"}, 240);
    std::size_t firstRun = 0, secondRun = 0;
    std::vector<std::string> doubled;
    std::u16string destinationShown = u"<none>";
    const int code = runProgram([&] {
        if (!apptest::waitFor([&] { return liveObjects().size() >= 2; }, seconds(120))) return closeWindow();
        uint32_t lastOfFirstRun = 0;
        for (const auto& o : platform::simconnect::simWorld().objects())
            lastOfFirstRun = std::max(lastOfFirstRun, o.id);
        firstRun = liveObjects().size();
        platform::simconnect::simWorld().failCalls("SimConnect_RequestDataOnSimObject", 1);
        if (!apptest::waitFor([&] { return contains(logLines(), "Restart countdown finished"); },
                              seconds(60)))
            return closeWindow();
        const HWND destination = GetDlgItem(gMainWindow.load(), DESTINATION.controlId);
        if (const auto state = platform::win32::windowState(destination)) destinationShown = state->text;
        // The restarted run creates the flights anew.
        const auto created = [&] {
            std::size_t n = 0;
            for (const auto& o : liveObjects())
                n += o.id > lastOfFirstRun ? 1 : 0;
            return n;
        };
        apptest::waitForTicks([&] { return created() >= firstRun; }, 9000);
        secondRun = created();
        std::map<std::string, int> seen;
        for (const auto& o : liveObjects())
            if (++seen[o.atcId] == 2) doubled.push_back(o.atcId);
        platform::simconnect::simWorld().quitSimulator();
    });

    EXPECT_EQ(code, 0);
    EXPECT_TRUE(contains(logLines(), "Exiting: SIMCONNECT ERROR"));
    EXPECT_GE(firstRun, 2u);
    EXPECT_GE(secondRun, 1u);
    EXPECT_TRUE(doubled.empty()) << testing::PrintToString(doubled);
    EXPECT_EQ(destinationShown, u"");
}

} // namespace
