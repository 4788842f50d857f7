// The airports scan over a stand-in simulator installation of each version, with the simulator
// stand-in answering facility requests: which packages it reads, which airports it links, which
// airport files it generates from facility data or from the BGL file, the scan-log file, and a
// scan that is stopped, cannot read a folder, or lacks its list of supported airports.
#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "airports/airports_scan.hpp"
#include "airports/bgl_file.hpp"
#include "airports/facility_stands.hpp"
#include "airports/scan_log.hpp"
#include "airports/tblo_folder.hpp"
#include "airports_test_support.hpp"
#include "bglgen/bgl_writer.hpp"
#include "bglgen/package_tree.hpp"
#include "config/settings.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "core/zip_archive.hpp"
#include "core/user_error.hpp"
#include "links/facility_reader.hpp"
#include "platform/simconnect/sim_scenario.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "support/named_pipe.hpp"
#include "support/ordinary_user.hpp"
#include "support/turkish_locale.hpp"

namespace fs = std::filesystem;
using namespace tamrix;
using platform::simconnect::simWorld;

namespace {

constexpr const char* kCodes[] = {"LFPG", "EHAM", "EDDF", "XYZW", "EKBI", "KJFK", "KMCI", "EGLL", "LIMA"};

class AirportsScan : public airportstest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        std::string list;
        for (const char* code : kCodes) {
            gAirportCodes.insert(FixedCode<4>(code));
            list += std::string(list.empty() ? "" : ",") + code;
        }
        testsupport::writeFile(folder_.path() / "input" / "ICAO_airports.txt", "\xEF\xBB\xBF" + list + "\n\n");
        gSimaddons20 = {"LFPG"};
        gSimaddons24 = {"EDDF"};
        gThirdparties20 = {{"MyCo", {"EHAM123"}}};
        gThirdparties24 = gThirdparties20;
        gPublishers = {{"MyCo", "MyCo Scenery Team"}};
        SCAN_AIRPORTS.current = true;
        gTbloCopyCounter = 0;

        simWorld().reset();
        simWorld().startSimulator();
        simWorld().setFlightRunning(true);
        std::string error;
        ASSERT_TRUE(platform::simconnect::loadFacilityAirports(
            fs::path(QUORVEL_SOURCE_DIR) / "tests/fixtures/installation/facilities.json", error))
            << error;
        gf_setFacilityWaitLimit(std::chrono::milliseconds(200));

        AirportScanWindow& window = gf_airportScanWindow();
        window.showSimaddonAirports = [this](uint64_t n) { simaddonShown.push_back(n); };
        window.showThirdpartyAirports = [this](uint64_t n) { thirdpartyShown.push_back(n); };
    }
    void TearDown() override {
        gf_closeFacilityClient();
        gf_airportScanWindow() = {};
        gf_setFacilityWaitLimit(kFacilityWaitLimit);
        simWorld().reset();
        ProgramFolder::TearDown();
    }

    // The simulator's packages folder, below user folders whose names hold a word of the skip
    // list, a supported airport's code and a publisher's name: only what lies below the scanned
    // folders may decide.
    fs::path packages() const { return folder_.path() / "Aircraft Sims" / "MyCo lima" / "packages"; }

    // Stock, add-on and skipped packages of the BGL walk.
    void layOutCommunity() {
        const fs::path community = packages() / "Community";
        bglgen::writeAirportPackage(
            community, {"myco-airport-eham-amsterdam",
                        bglgen::manifestText("Amsterdam Schiphol EHAM", "MyCo", "MyCo Scenery Team", "1.2.3"),
                        "scenery/myco/EHAM_apx.bgl", "EHAM", 4, 0, 52.3, 4.76, true});
        // Statics of the same package: filtered by name.
        bglgen::writeAirportPackage(community, {"myco-airport-eham-amsterdam", "", "scenery/myco/statics/EHAM_statics.bgl",
                                                "EGLL", 2});
        bglgen::writeAirportPackage(
            community,
            {"smallfield-scenery", bglgen::manifestText("Field XYZW scenery", "Small Field Works", "Small Field Works", "2.0"),
             "scenery/field.bgl", "XYZW", 2});
        // The simulator starts answering and never ends: the BGL file gives the stands.
        bglgen::writeAirportPackage(
            community, {"otherfield-kjfk", bglgen::manifestText("Kennedy", "Other Vendor", "Other Vendor", "1.0"),
                        "scenery/kjfk.bgl", "KJFK", 5, 1, 40.64, -73.78});
        // A package with short manufacturer and creator is only ever linked: no file.
        bglgen::writeAirportPackage(community, {"tinyfield-ekbi", bglgen::manifestText("Billund", "AB", "", "1.0"),
                                                "scenery/ekbi.bgl", "EKBI", 3});
        bglgen::writeAirportPackage(community / "Aircraft Hangar", {"x-airport-egll", "", "scenery/egll.bgl", "EGLL"});
        bglgen::writeAirportPackage(community, {"fsltl-traffic-base", "", "SimObjects/egll.bgl", "EGLL"});
    }

    void layOutOfficial2020() {
        const fs::path official = packages() / "Official" / "OneStore";
        bglgen::writeAirportPackage(
            official, {"asobo-airport-lfpg-paris", bglgen::manifestText("Paris", "Asobo", "Asobo Studio", "1.0.0"),
                       "scenery/world/LFPG_apt.BGL", "LFPG", 6});
        bglgen::writeAirportPackage(official, {"fs-base-genericairports", "", "scenery/x.bgl", "EGLL"});
    }

    void layOutStreamed2024() {
        const fs::path streamed = packages() / "StreamedPackages";
        for (const char* name : {"microsoft-airport-eddf-frankfurt", "microsoft-airport-ekbi-billund",
                                 "fs20-microsoft-airport-egll-london", "asobo-scenery-world-update-egll",
                                 "othervendor-airport-kmci", "zz-vendor-airport-xyzw"})
            fs::create_directories(streamed / name);
        testsupport::writeFile(streamed / "Content.xml", "<Content/>");
    }

    static std::set<std::string> filesIn(const fs::path& folder) {
        std::set<std::string> out;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            out.insert(entry.path().filename().string());
        return out;
    }
    std::set<std::string> simaddonFiles() const { return filesIn(folder_.path() / "airports/my_simaddon"); }
    std::set<std::string> thirdpartyFiles() const { return filesIn(folder_.path() / "airports/my_thirdparty"); }
    std::string userFile(const std::string& name) const {
        return testsupport::readFile(folder_.path() / "airports" / name);
    }
    std::string scanLogFile() const { return testsupport::readFile(folder_.path() / "output/info/AirportsScanLog.txt"); }

    static std::vector<std::string> standIds(const std::string& xml) {
        pugi::xml_document document;
        EXPECT_TRUE(document.load_string(xml.c_str()));
        std::vector<std::string> ids;
        for (const auto& parkpos : document.select_nodes("//parkpos"))
            ids.push_back(parkpos.node().attribute("id").value());
        return ids;
    }

    static std::vector<std::string> facilityRequests() {
        std::vector<std::string> out;
        for (const auto& call : simWorld().callsOf("SimConnect_RequestFacilityData"))
            out.push_back(call.args);
        return out;
    }
    static bool facilityConnectionOpen() {
        const auto open = simWorld().connections();
        return std::find(open.begin(), open.end(), "PARKING_DATA_RDR") != open.end() || gFacilityClientOpen.load();
    }
    std::string savedParameters() const {
        return testsupport::readFile(roaming() / "Quorvel" / "parameters.xml");
    }

    std::vector<uint64_t> simaddonShown;
    std::vector<uint64_t> thirdpartyShown;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(AirportsScan, Msfs2020WalksOfficialAndCommunityLinksGeneratesAndFallsBackToTheBglFile) {
    layOutOfficial2020();
    layOutCommunity();
    gIsMsfs2020 = true;
    gf_setMsfsPaths(packages(), {});
    // Files of an earlier scan go.
    testsupport::writeFile(folder_.path() / "airports/my_thirdparty/OLD1.xml", "<root/>");

    gf_scanAirports();

    EXPECT_EQ(simaddonFiles(), (std::set<std::string>{"LFPG.txt"}));
    EXPECT_EQ(thirdpartyFiles(), (std::set<std::string>{"EHAM.txt", "XYZW.xml", "KJFK.xml"}));
    EXPECT_EQ(userFile("my_simaddon/LFPG.txt"), "archive/simaddon/LFPG.xml\n");
    EXPECT_EQ(userFile("my_thirdparty/EHAM.txt"), "archive/thirdparty/MyCo/EHAM123.xml\n");
    // From the simulator's facility data: parkings by number (type 13 left out), the helipad.
    EXPECT_EQ(standIds(userFile("my_thirdparty/XYZW.xml")), (std::vector<std::string>{"12", "12a", "3", "helipad1"}));
    EXPECT_TRUE(contains(userFile("my_thirdparty/XYZW.xml"), "Field XYZW"));
    EXPECT_FALSE(contains(userFile("my_thirdparty/XYZW.xml"), R"(name="publisher" value="MyCo")"));
    // The simulator never ended its answer for KJFK: the BGL file's five spots and helipad.
    EXPECT_EQ(standIds(userFile("my_thirdparty/KJFK.xml")).size(), 6u);
    // Short manufacturer and creator: no facility request, no file. Skipped trees: no request.
    const auto requests = facilityRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(contains(requests[0] + requests[1], "XYZW"));
    EXPECT_TRUE(contains(requests[0] + requests[1], "KJFK"));
    EXPECT_FALSE(facilityConnectionOpen());

    const std::string log = scanLogFile();
    EXPECT_TRUE(contains(log, "+++++++++++++++++ Scanning for addon  airports in:" + packages().string() + "/Official\n"));
    EXPECT_TRUE(contains(log, "\nFac: " + (packages() / "Community/smallfield-scenery/scenery/field.bgl").string() + "\n"));
    EXPECT_TRUE(contains(log, "Reading Facilites data for KJFK via SimConnect failed, is MSFS connected?\n"
                              "Facilities reader did not succeed, trying the BGL file reader ...\n"));
    EXPECT_FALSE(contains(log, "statics"));
    EXPECT_FALSE(contains(log, "Aircraft Hangar"));
    EXPECT_TRUE(gScanLog.empty());

    EXPECT_EQ(logged("The scan will search 2 folders").size(), 1u);
    EXPECT_EQ(logged("airports scan ends").size(), 1u);
    EXPECT_GE(logged("SimConnect (PARKING_DATA_RDR) closed").size(), 1u);
    ASSERT_FALSE(thirdpartyShown.empty());
    EXPECT_EQ(thirdpartyShown.back(), 3u);
    EXPECT_EQ(simaddonShown.back(), 1u);
    EXPECT_FALSE(SCAN_AIRPORTS.current);
    EXPECT_TRUE(contains(savedParameters(), R"(name="SCAN_AIRPORTS" value="false")"));
    EXPECT_TRUE(gRtAirportCodes.empty());
    // The generated files of known airports are collected into the archive, flat.
    EXPECT_EQ(filesIn(folder_.path() / "tblo"), (std::set<std::string>{"tblo.zip"}));
    ZipArchive archive(folder_.path() / "tblo" / "tblo.zip");
    ASSERT_TRUE(archive.open());
    std::set<std::string> packed;
    for (const auto& entry : archive.getEntries())
        packed.insert(entry.name);
    EXPECT_EQ(packed, (std::set<std::string>{"XYZW.xml", "KJFK.xml"}));
    EXPECT_EQ(gTbloCopyCounter.load(), 2u);
}

TEST_F(AirportsScan, Msfs2024WalksStreamedPackagesOneByOneAndAnExceptionCostsOnlyItsPackage) {
    layOutStreamed2024();
    layOutCommunity();
    gIsMsfs2020 = false;
    gf_setMsfsPaths({}, packages());

    gf_scanAirports();

    // EDDF is the simulator's own add-on in the archive; EKBI is not and is generated from the
    // facility data into the simaddon folder.
    EXPECT_EQ(simaddonFiles(), (std::set<std::string>{"EDDF.txt", "EKBI.xml"}));
    EXPECT_EQ(userFile("my_simaddon/EDDF.txt"), "archive/simaddon/EDDF.xml\n");
    EXPECT_EQ(standIds(userFile("my_simaddon/EKBI.xml")), (std::vector<std::string>{"1", "2", "30"}));
    // KMCI's request was answered with an exception: no file, the scan went on.
    EXPECT_EQ(thirdpartyFiles(), (std::set<std::string>{"EHAM.txt", "XYZW.xml", "KJFK.xml"}));
    EXPECT_EQ(logged("Reading Facilites data for KMCI via SimConnect failed, is MSFS connected?").size(), 1u);

    std::set<std::string> asked;
    for (const auto& request : facilityRequests())
        for (const char* code : kCodes)
            if (contains(request, code)) asked.insert(code);
    // Excluded streamed packages (fs20-, -scenery-) are never asked for: no EGLL.
    EXPECT_EQ(asked, (std::set<std::string>{"EKBI", "KMCI", "XYZW", "KJFK"}));
    EXPECT_FALSE(facilityConnectionOpen());

    const std::string log = scanLogFile();
    EXPECT_TRUE(contains(log, "+++++++++++++++++ Scanning for streamed airports in:\n" +
                                  (packages() / "StreamedPackages").string() + "\n"));
    EXPECT_TRUE(contains(log, "airport has 'EKBI' in directory path\n"));
    EXPECT_TRUE(contains(log, "airport has 'XYZW' in folder path\n"));
    EXPECT_TRUE(contains(log, "Reading Facilites data for KMCI via SimConnect failed, is MSFS connected?\n"));
    EXPECT_FALSE(contains(log, "fs20-"));
    EXPECT_EQ(logged("airports scan ends").size(), 1u);
    EXPECT_FALSE(SCAN_AIRPORTS.current);
    // EKBI of the simaddon folder went to the archive too.
    ZipArchive archive(folder_.path() / "tblo" / "tblo.zip");
    ASSERT_TRUE(archive.open());
    EXPECT_TRUE(archive.getEntry("EKBI.xml").has_value());
}

TEST_F(AirportsScan, AStopEndsTheWalkButTheScanLogIsWrittenAndTheConnectionClosed) {
    // Three airports the simulator answers for.
    for (const char* code : {"EKBI", "EGLL", "XYZW"}) {
        std::string name = std::string("extra-") + code;
        bglgen::writeAirportPackage(packages() / "Community",
                                    {name, bglgen::manifestText(name, "Extra Vendor", "Extra Vendor", "1.0"),
                                     "scenery/a.bgl", code, 2});
    }
    gf_setMsfsPaths(packages(), {});
    // The user closes the window once the first airport file is generated.
    gf_airportScanWindow().showThirdpartyAirports = [](uint64_t n) {
        if (n > 0) gStopFlag = true;
    };

    gf_scanAirports();

    EXPECT_EQ(facilityRequests().size(), 1u);
    EXPECT_EQ(thirdpartyFiles().size(), 1u);
    EXPECT_FALSE(facilityConnectionOpen());
    const std::string log = scanLogFile();
    EXPECT_TRUE(contains(log, "\nFac: "));
    EXPECT_TRUE(contains(log, "airports in:" + (packages() / "Community").string()));
    EXPECT_EQ(logged("airports scan ends").size(), 1u);
}

TEST_F(AirportsScan, WithoutTheListOfSupportedAirportsNothingIsTouched) {
    layOutCommunity();
    gf_setMsfsPaths(packages(), {});
    fs::remove(folder_.path() / "input" / "ICAO_airports.txt");
    testsupport::writeFile(folder_.path() / "airports/my_thirdparty/EHAM.txt", "archive/thirdparty/MyCo/EHAM.xml\n");

    EXPECT_THROW(gf_scanAirports(), UserErrorException);

    EXPECT_EQ(thirdpartyFiles(), (std::set<std::string>{"EHAM.txt"}));
    EXPECT_TRUE(SCAN_AIRPORTS.current);
    EXPECT_TRUE(facilityRequests().empty());
    EXPECT_FALSE(fs::exists(folder_.path() / "output/info/AirportsScanLog.txt"));
    EXPECT_EQ(logged("airports scan ends").size(), 1u);

    // A bad token in the list is passed over with a log line; the others are read.
    testsupport::writeFile(folder_.path() / "input" / "ICAO_airports.txt", "EHAM, EDD-\n XYZW ,\n");
    lf_readRtIcaoCodes();
    EXPECT_EQ(gRtAirportCodes.size(), 2u);
    EXPECT_EQ(logged("'EDD-' passed over").size(), 1u);
}

// The list of supported airports is read only as a regular file of a list's size: a named pipe in
// its place is named, never waited on, and nothing is touched, as without the list.
TEST_F(AirportsScan, AListThatIsNoRegularFileIsNamedNotWaitedOn) {
    const fs::path& list = gf_paths().icaoAirportsPath;
    const auto error = [](const auto& read) {
        try {
            read();
        } catch (const UserErrorException& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(error(lf_readRtIcaoCodes), "");
    EXPECT_EQ(gRtAirportCodes.size(), std::size(kCodes));

    fs::remove(list);
    ASSERT_TRUE(testsupport::makeNamedPipe(list));
    std::string piped = "not read";
    ASSERT_TRUE(testsupport::readWithoutAWriter(list, [&] { piped = error(gf_scanAirports); }));
    EXPECT_EQ(piped, "522: File '" + list.string() + "' cannot be read: a named pipe stands in its place");
    EXPECT_TRUE(gRtAirportCodes.empty());
    EXPECT_TRUE(SCAN_AIRPORTS.current);
    EXPECT_TRUE(facilityRequests().empty());

    fs::remove(list);
    testsupport::writeFile(list, "EHAM");
    fs::resize_file(list, (std::size_t{4} << 20) + 1);
    EXPECT_EQ(error(lf_readRtIcaoCodes), "522: File '" + list.string() +
                                             "' cannot be read: 4194305 bytes, more than the 4194304 it may hold");
}

TEST_F(AirportsScan, AFolderTheUserMayNotReadIsPassedOverAndTheWalkGoesOn) {
    SKIP_WITHOUT_ORDINARY_USER();
    layOutCommunity();
    gf_setMsfsPaths(packages(), {});
    // An airport package the user may not read: its airport gets no file.
    const fs::path locked = packages() / "Community" / "aaa-locked";
    bglgen::writeAirportPackage(packages() / "Community",
                                {"aaa-locked",
                                 bglgen::manifestText("Locked Field", "Locked Works", "Locked Works", "1.0"),
                                 "scenery/kmci.bgl", "KMCI", 2});
    // Root reads every folder: the scan runs as an ordinary user, in a program folder of its own.
    testsupport::giveToOrdinaryUser(folder_.path());
    fs::permissions(locked, fs::perms::none);

    {
        testsupport::AsOrdinaryUser user;
        gf_scanAirports();
    }
    fs::permissions(locked, fs::perms::owner_all);

    EXPECT_EQ(thirdpartyFiles(), (std::set<std::string>{"EHAM.txt", "XYZW.xml", "KJFK.xml"}));
    EXPECT_FALSE(contains(scanLogFile(), "aborted"));
}

// A first run's scan: the stand-in installation that runs use, the shipped list of supported
// airports and the scenario the simulator stand-in plays; with no publisher known for the sample
// packages, Billund and Aarhus get their airport files from the scenario's facility data in both
// simulator versions. (With the shipped reference data Billund is linked to the archive: the
// application's first-run test shows that.)
TEST_F(AirportsScan, TheStandInInstallationGivesTheScenarioAirportsTheirFilesFromFacilityData) {
    const fs::path source(QUORVEL_SOURCE_DIR);
    const std::string command = "'" + (source / "scripts/lay-out-sim-install").string() + "' '" +
                                folder_.path().string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    fs::copy_file(source / "data/input/ICAO_airports.txt", folder_.path() / "input/ICAO_airports.txt",
                  fs::copy_options::overwrite_existing);
    std::string error;
    ASSERT_TRUE(platform::simconnect::loadScenario(source / "data/scenario/EKBI.json", error)) << error;
    simWorld().startSimulator();
    simWorld().setFlightRunning(true);
    std::map<std::string, std::size_t> parkings;
    for (const auto& airport : simWorld().airports())
        for (const auto& parking : airport.parkings)
            parkings[airport.icao] += parking.type != 0 && parking.type != 13 ? 1 : 0;
    ASSERT_EQ(parkings.size(), 2u);
    gAirportCodes.insert(FixedCode<4>("EKAH"));

    for (const bool msfs2020 : {true, false}) {
        gIsMsfs2020 = msfs2020;
        gf_setMsfsPaths(folder_.path() / "appdata/roaming/Microsoft Flight Simulator/Packages",
                        folder_.path() / "sim/msfs2024");
        SCAN_AIRPORTS.current = true;
        gf_scanAirports();
        EXPECT_EQ(thirdpartyFiles(), (std::set<std::string>{"EKAH.xml", "EKBI.xml"}));
        for (const auto& [code, count] : parkings)
            EXPECT_EQ(standIds(userFile("my_thirdparty/" + code + ".xml")).size(), count) << code;
        EXPECT_TRUE(contains(userFile("my_thirdparty/EKBI.xml"), "Billund"));
        EXPECT_FALSE(SCAN_AIRPORTS.current);
    }
}

TEST_F(AirportsScan, SkipWordsAndLengthApplyBelowTheScannedFolder) {
    const fs::path root = "/sims/Aircraft Sims/Community";
    EXPECT_FALSE(lf_isSkippedPath(root / "myco-airport-eham/scenery/a.bgl", root));
    EXPECT_TRUE(lf_isSkippedPath(root / "Aircraft Hangar", root));
    EXPECT_TRUE(lf_isSkippedPath(root / "pkg/SimObjects", root));
    EXPECT_TRUE(lf_isSkippedPath(root / "AIRCRAFT HANGAR/a.bgl", root));
    // The folder named with a final separator, or a path through "..", are still measured from it.
    const fs::path slashed = "/sims/Aircraft Sims/Community/";
    EXPECT_FALSE(lf_isSkippedPath(slashed / "myco-airport-eham/a.bgl", slashed));
    EXPECT_TRUE(lf_isSkippedPath(slashed / "pkg/SimObjects", slashed));
    EXPECT_FALSE(lf_isSkippedPath(root / "pkg/../myco/a.bgl", root));
    // 250 characters and more are passed over; a character beyond the basic plane counts twice.
    const std::string base = (root / "p").string();
    EXPECT_FALSE(lf_isSkippedPath(base + std::string(249 - base.size(), 'x'), root));
    EXPECT_TRUE(lf_isSkippedPath(base + std::string(250 - base.size(), 'x'), root));
    EXPECT_TRUE(lf_isSkippedPath(base + std::string(248 - base.size(), 'x') + "\xF0\x9F\x9B\xAB", root));
    EXPECT_TRUE(lf_isExcludedPackage("fs20-microsoft-airport-egll"));
    EXPECT_FALSE(lf_isExcludedPackage("microsoft-airport-egll"));
}

// A scanned folder that leads into the system's folders (/proc, /sys, /dev) is not walked.
TEST_F(AirportsScan, SystemFoldersAreNotWalked) {
    fs::create_directory_symlink("/dev", "Community");
    lf_scanAirportFolder("Community");
    EXPECT_NE(std::find(gScanLog.begin(), gScanLog.end(), "===> Community passed over: /dev is a folder of the system"),
              gScanLog.end());
}

// Names fold their letters as ASCII whatever the locale: a Turkish one has no lower case of 'I'.
TEST_F(AirportsScan, SkipWordsHoldUnderATurkishLocale) {
    const testsupport::TurkishLocale turkish;
    ASSERT_TRUE(turkish.active());
    const fs::path root = "/sims/Community";
    EXPECT_TRUE(lf_isSkippedPath(root / "AIRCRAFT HANGAR/a.bgl", root));
    EXPECT_TRUE(lf_isSkippedPath(root / "pkg/SIMOBJECTS", root));
    EXPECT_FALSE(lf_isSkippedPath(root / "MYCO-AIRPORT-EHAM/a.bgl", root));
}

// A scan that collects nothing new keeps the archive an earlier scan asked the user to mail, and
// does not ask again; without a packages folder both folders are reported missing.
TEST_F(AirportsScan, NothingNewToMailKeepsTheEarlierArchiveAndMissingFoldersAreReported) {
    bglgen::writeAirportPackage(
        packages() / "Community",
        {"myco-airport-eham-amsterdam",
         bglgen::manifestText("Amsterdam Schiphol EHAM", "MyCo", "MyCo Scenery Team", "1.2.3"),
         "scenery/myco/EHAM_apx.bgl", "EHAM", 4});
    const fs::path archive = folder_.path() / "tblo" / "tblo.zip";
    {
        ZipArchive old(archive);
        fs::create_directories(archive.parent_path());
        ASSERT_TRUE(old.open(ZipArchive::New));
        ASSERT_TRUE(old.addData("XQAA.xml", "<old/>", 6));
        ASSERT_TRUE(old.close());
    }
    testsupport::writeFile(folder_.path() / "tblo" / "EGLL.xml", "<left over/>");
    gIsMsfs2020 = true;
    gf_setMsfsPaths(packages(), {});

    gf_scanAirports();

    EXPECT_EQ(thirdpartyFiles(), (std::set<std::string>{"EHAM.txt"}));
    EXPECT_EQ(filesIn(folder_.path() / "tblo"), (std::set<std::string>{"tblo.zip"}));
    ZipArchive kept(archive);
    ASSERT_TRUE(kept.open());
    EXPECT_TRUE(kept.getEntry("XQAA.xml").has_value());
    EXPECT_EQ(gTbloCopyCounter.load(), 0u);
    EXPECT_TRUE(logged("! Mail ").empty());
    EXPECT_EQ(logged("All your simaddon and third party airports are recognised").size(), 1u);

    gf_setMsfsPaths({}, {});
    SCAN_AIRPORTS.current = true;
    gf_scanAirports();
    EXPECT_EQ(logged("The scan will search 2 folders").size(), 2u);
    const std::vector<std::string> missing = logged(" does not exist, skipped!");
    ASSERT_GE(missing.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(missing.end() - 2, missing.end()),
              (std::vector<std::string>{"Official does not exist, skipped!",
                                        "Community does not exist, skipped!"}));
    EXPECT_EQ(logged("Warning: Scan has not found any add-on airports").size(), 1u);
    EXPECT_FALSE(SCAN_AIRPORTS.current);
    EXPECT_TRUE(fs::exists(archive));
}

// Links inside the scanned folder are followed: a linked scenery file is read like any other, a
// scenery package linked into Community is scanned as if it lay there, beside the plain ones. A
// link back up the tree and a link into the system's folders are named and not entered.
TEST_F(AirportsScan, TheWalkFollowsLinkedFilesAndFoldersOnce) {
    const fs::path community = packages() / "Community";
    const fs::path elsewhere = folder_.path() / "elsewhere";
    const fs::path kjfk = bglgen::writeAirportPackage(
        elsewhere, {"otherfield-kjfk", bglgen::manifestText("Kennedy", "Other Vendor", "Other Vendor", "1.0"),
                    "scenery/kjfk.bgl", "KJFK", 5});
    bglgen::writeAirportPackage(elsewhere, {"smallfield-xyzw", "", "scenery/field.bgl", "XYZW", 2});
    bglgen::writeAirportPackage(
        community, {"myco-airport-eham-amsterdam",
                    bglgen::manifestText("Amsterdam Schiphol EHAM", "MyCo", "MyCo Scenery Team", "1.2.3"),
                    "scenery/myco/EHAM_apx.bgl", "EHAM", 4});
    fs::create_directories(community / "linked-xyzw" / "scenery");
    testsupport::writeFile(
        community / "linked-xyzw" / "manifest.json",
        bglgen::manifestText("Field XYZW", "Small Field Works", "Small Field Works", "2.0"));
    fs::create_symlink(elsewhere / "smallfield-xyzw" / "scenery" / "field.bgl",
                       community / "linked-xyzw" / "scenery" / "field.bgl");
    fs::create_directory_symlink(kjfk, community / "otherfield-kjfk");
    fs::create_directory_symlink(community, community / "linked-xyzw" / "scenery" / "loop");
    fs::create_directory_symlink("/proc", community / "processes");
    gIsMsfs2020 = true;

    lf_scanAirportFolder(community);

    std::string log;
    for (const std::string& line : gScanLog)
        log += line + "\n";
    const auto read = [&](const fs::path& bgl) {
        const std::string line = "\nFac: " + bgl.string() + "\n";
        std::size_t count = 0;
        for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
            ++count;
        return count;
    };
    EXPECT_EQ(read(community / "myco-airport-eham-amsterdam" / "scenery" / "myco" / "EHAM_apx.bgl"), 1u) << log;
    EXPECT_EQ(read(community / "linked-xyzw" / "scenery" / "field.bgl"), 1u) << log;
    EXPECT_EQ(read(community / "otherfield-kjfk" / "scenery" / "kjfk.bgl"), 1u) << log;
    EXPECT_TRUE(contains(log, "===> " + (community / "linked-xyzw" / "scenery" / "loop").string() +
                                  " passed over: it leads to a folder walked already\n"))
        << log;
    EXPECT_TRUE(contains(log, "===> " + (community / "processes").string() +
                                  " passed over: /proc is a folder of the system\n"))
        << log;
    EXPECT_FALSE(contains(log, "aborted")) << log;
}

// A link to "/" or to a folder above the scanned one holds the scanned folder itself: it is named
// in the scan log and not entered, like a loop, and no folder of the machine becomes an airport.
// A scenery package linked in from beside the scanned folder is still read, once. A scanned folder
// that leads to "/" is named and not walked; one that leads to an ordinary folder is walked.
TEST_F(AirportsScan, LinksToTheFileSystemsRootOrAboveAreNotWalked) {
    // Deep, so that the path limit keeps short a walk that does go through "/".
    fs::path above = folder_.path() / "s";
    while (above.string().size() < 190) above /= "ss";
    const fs::path community = above / "Community";
    bglgen::writeAirportPackage(community, {"eham", bglgen::manifestText("Schiphol", "MyCo", "MyCo Scenery Team", "1.0"),
                                            "scenery/a.bgl", "EHAM", 4});
    const fs::path xyzw = bglgen::writeAirportPackage(
        above / "beside",
        {"xyzw", bglgen::manifestText("Field XYZW", "Small Field Works", "Small Field Works", "2.0"), "scenery/b.bgl",
         "XYZW", 2});
    fs::create_directory_symlink("/", community / "slash");
    fs::create_directory_symlink("..", community / "up");
    fs::create_directory_symlink(above.parent_path(), community / "eham" / "scenery" / "upper");
    fs::create_directory_symlink(xyzw, community / "xyzw");
    gIsMsfs2020 = true;
    const auto scanLog = [] {
        std::string log;
        for (const std::string& line : gScanLog)
            log += line + "\n";
        gScanLog.clear();
        return log;
    };
    const auto reads = [](const std::string& log) {
        std::vector<std::string> read;
        for (auto at = log.find("\nFac: "); at != std::string::npos; at = log.find("\nFac: ", at + 1))
            read.push_back(log.substr(at + 6, log.find('\n', at + 1) - at - 6));
        return read;
    };

    lf_scanAirportFolder(community);
    std::string log = scanLog();
    EXPECT_EQ(reads(log), (std::vector<std::string>{(community / "eham/scenery/a.bgl").string(),
                                                    (community / "xyzw/scenery/b.bgl").string()}))
        << log;
    for (const auto& [link, target] :
         {std::pair{community / "slash", fs::path("/")}, std::pair{community / "up", above},
          std::pair{community / "eham/scenery/upper", above.parent_path()}})
        EXPECT_TRUE(contains(log, "===> " + link.string() + " passed over: it leads to " + target.string() +
                                      ", which holds the folder scanned\n"))
            << link << log;
    EXPECT_FALSE(contains(log, "aborted")) << log;

    fs::create_directory_symlink("/", folder_.path() / "to-slash");
    lf_scanAirportFolder(folder_.path() / "to-slash");
    log = scanLog();
    EXPECT_TRUE(reads(log).empty()) << log;
    EXPECT_TRUE(contains(log, "===> " + (folder_.path() / "to-slash").string() +
                                  " passed over: it leads to /, the file system's root: the whole machine is no "
                                  "folder of packages\n"))
        << log;
    fs::create_directory_symlink(above / "beside", folder_.path() / "to-beside");
    lf_scanAirportFolder(folder_.path() / "to-beside");
    log = scanLog();
    EXPECT_EQ(reads(log), std::vector<std::string>{(folder_.path() / "to-beside/xyzw/scenery/b.bgl").string()}) << log;
}

// The walk's cheap look at a scenery file reads the header and the section table, however long
// the table is, and nothing it does not have.
TEST_F(AirportsScan, TheAirportSectionIsFoundBehindALongSectionTable) {
    bglgen::BglFile file;
    for (int i = 0; i < 300; ++i)
        file.sections.push_back(bglgen::Section{0x25, 1, 1, {bglgen::RawRecord{}}});
    file.sections.push_back(bglgen::Section{3, 1, 1, {bglgen::Airport{bglgen::packIcao("KJFK"), 0, {}, {}}}});
    const auto write = [this](const std::string& name, const bglgen::BglFile& bgl) {
        const auto bytes = bglgen::writeBgl(bgl);
        testsupport::writeFile(folder_.path() / name, std::string(bytes.begin(), bytes.end()));
        return folder_.path() / name;
    };
    EXPECT_TRUE(lf_hasAirportSection(write("long.bgl", file)));
    // Cut inside the table: the file is not taken for an airport file.
    bglgen::BglFile cut = file;
    cut.truncateTo = 56 + 20 * 290;
    EXPECT_FALSE(lf_hasAirportSection(write("cut.bgl", cut)));
    file.sections.pop_back();
    EXPECT_FALSE(lf_hasAirportSection(write("objects.bgl", file)));
    fs::create_directories(folder_.path() / "folder.bgl");
    EXPECT_FALSE(lf_hasAirportSection(folder_.path() / "folder.bgl"));
}

} // namespace
