// The livery scan end to end on the hand-written package tree: folders, priorities, the file
// it writes, the reports and summary lines, the charset twins, and the scan's tasks.
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <unistd.h>

#include "config/settings.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "core/user_error.hpp"
#include "liveries/aircraft_cfg_reader.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/package_detection.hpp"
#include "liveries/scan_collectors.hpp"
#include "liveries/scan_tasks.hpp"
#include "liveries/scan_test_support.hpp"
#include "platform/win32/shell.hpp"
#include "refdata/code_table.hpp"
#include "support/named_pipe.hpp"
#include "support/turkish_locale.hpp"

namespace {

using namespace tamrix;
using scantest::kPackages;
using scantest::XmlLivery;
namespace fs = std::filesystem;

class LiveryScan : public scantest::ScanTest {
protected:
    ~LiveryScan() override { gf_setScanFileReader({}); }

    // Records the priority each file was read with, and reads it as the program does.
    void recordPriorities() {
        gf_setScanFileReader([this](uint32_t priority, const fs::path& cfgPath, bool ivao) {
            {
                std::lock_guard lock(mutex_);
                priorities_.emplace(cfgPath.parent_path().filename().string() + "@" + std::to_string(calls_++), priority);
            }
            return ivao ? lf_searchLiveriesinIVAOFile(priority, cfgPath) : lf_searchLiveriesinFile(priority, cfgPath);
        });
    }
    std::vector<uint32_t> prioritiesOf(const std::string& folderName) {
        std::vector<std::pair<int, uint32_t>> found;
        for (const auto& [key, priority] : priorities_)
            if (key.starts_with(folderName + "@")) found.emplace_back(std::stoi(key.substr(folderName.size() + 1)), priority);
        std::sort(found.begin(), found.end());
        std::vector<uint32_t> out;
        for (const auto& f : found) out.push_back(f.second);
        return out;
    }

    std::mutex mutex_;
    std::map<std::string, uint32_t> priorities_;
    int calls_ = 0;
};

TEST_F(LiveryScan, AutomaticScanOfThePackageTree) {
    gf_setMsfsPaths(kPackages, kPackages);
    ASSERT_TRUE(gf_scanLiveries());

    const std::vector<XmlLivery> expected{
        {"A320 KLM Royal", "KLM", "", "A320", false, ""}, // AFR A320 of folder 4 gave way to folder 1
        {"AIG A20N BAW G-TTNA", "BAW", "", "A20N", false, "G-TTNA"},
        {"AIG A20N DLH", "DLH", "", "A20N", false, ""},
        {"AIG A20N EZY", "EZY", "", "A20N", false, ""},
        {"AIG A320 AFR Upper", "AFR", "", "A320", false, ""},
        {"AIG A32N EIN", "EIN", "", "A20N", false, ""},
        {"AIG B738 BAW", "BAW", "", "B738", false, ""},
        {"AIG B738 BAW-STUB", "ZZZ", "", "B738", false, ""},
        {"AIG B738 KLM", "KLM", "", "B738", false, "PH-BX"},
        {"AIG B738 XYZ", "PVT", "", "B738", false, ""},
        {"AIG B738 ZZZ", "ZZZ", "", "B738", false, ""},
        {"AIG B77W BAW", "BAW", "", "B77W", true, ""},
        {"AIG B77W UAL", "UAL", "SKW", "B77W", true, "N777UX"},
        {"AIG C172 Club", "PVT", "", "C172", false, ""},
        {"AIG C172 N12AB Private", "PVT", "", "C172", false, "N12AB"},
        {"AIG C172 NoModelReg", "PVT", "", "C172", false, "F-NOMOD"},
        {"AIG C172 Reg", "DLH", "", "A319", false, "DABCD"},
        {"B738KLM NoW", "AFR", "", "B738", false, "F-GZHA"},
        {"B738W AFR Winglets", "AFR", "", "B738", false, ""},
        {"FSLTL_B738_UPS", "UPS", "", "B738", true, ""},
        {"JF E190 Caf\xc3\xa9 DLH", "DLH", "", "E190", false, ""},
        {"USR B738 DLH", "DLH", "", "B738", false, ""},
    };
    EXPECT_EQ(scannedLiveries(), expected);

    const fs::path community = kPackages / "Community";
    const fs::path aig = community / "aig-aitraffic-oci-test";
    const fs::path planes = aig / "SimObjects" / "Airplanes";
    const fs::path ivao = community / "IVAO_MTL" / "SimObjects" / "Airplanes";
    EXPECT_TRUE(logged(fmt::format("Automatic AIG scan found folder: '{}'", aig.string())));
    EXPECT_TRUE(logged(fmt::format("16 liveries found in {}", aig.string())));
    EXPECT_TRUE(logged(fmt::format("1 liverie found in {}", (community / "justflight-aircraft-traffic-fleet").string())));
    EXPECT_TRUE(logged("26 in total"));

    EXPECT_EQ(fileLines("output/errors/InvalidAirlineCodes.txt"),
              (std::vector<std::string>{
                  fmt::format("XYZ          in {} [fltsim.5]", (planes / "B738_MIX" / "aircraft.cfg").string()),
                  fmt::format("afr          in {} [fltsim.2]", (ivao / "IVAO_A320" / "aircraft.cfg").string())}));
    EXPECT_EQ(fileLines("output/errors/InvalidAircraftCodes.txt"),
              (std::vector<std::string>{
                  fmt::format("QQQQ             in {}", (planes / "QQQQ_BAD" / "aircraft.cfg").string()),
                  fmt::format("TOOL             in {}", (ivao / "IVAO_TOOLONGNAME" / "aircraft.cfg").string())}));
    EXPECT_EQ(fileLines("output/errors/Fixes.txt"),
              (std::vector<std::string>{fmt::format("Model fix: A32N found in {} changed into A20N",
                                                    (planes / "A32N_FIX" / "aircraft.cfg").string())}));
    EXPECT_EQ(fileLines("output/errors/InvalidAircraftCfgFiles.txt"),
              (std::vector<std::string>{
                  fmt::format("{} contains a [fltsim.x] section with a number < 0 or > 10000",
                              (planes / "BADNUM" / "aircraft.cfg").string()),
                  "Line icao_type_designator= is missing in [General] section of " +
                      (planes / "NOTYPE" / "aircraft.cfg").string()}));
    EXPECT_EQ(fileLines("output/info/AircraftCfgWithNoFltsimSection.txt"),
              (std::vector<std::string>{(planes / "EMPTY" / "aircraft.cfg").string()}));
    const auto incomplete = fileLines("output/errors/IncompleFltsimSections.txt");
    EXPECT_EQ(incomplete.size(), 18u);
    const std::string b738 = (planes / "B738_MIX").string();
    for (const std::string& line :
         {(planes / "A20N_BAW").string() + " [fltsim.2] has more than one title key",
          std::string("invalid atc_id=D-*BAD in: AIG A20N DLH"), b738 + " [FLTSIM.1] has more than one atc_parking_codes key",
          b738 + " [fltsim.9] title 'AIG B738 KLM' already exists",
          "'" + (planes / "B77W_HEAVY").string() + "' '[fltsim.0]' has no airline and no regcode info",
          "'" + (planes / "B77W_HEAVY").string() + "' '[fltsim.1]' has no airline and regcode not in dbase",
          (planes / "C172_GA" / "aircraft.cfg").string() + " [fltsim.3] icao_airline is missing, or it has invalid info ",
          (ivao / "IVAO_A320" / "texture.").string() + " [fltsim.4] does not exist",
          (ivao / "IVAO_A320").string() + " [fltsim.5] title already exists: A320AFR Air France"})
        EXPECT_NE(std::find(incomplete.begin(), incomplete.end(), line), incomplete.end()) << line;

    EXPECT_TRUE(logged("Errors:"));
    EXPECT_TRUE(logged("    2 invalid airline codes, see output/errors/InvalidAirlineCodes.txt"));
    EXPECT_TRUE(logged("    2 invalid model codes, see output/errors/InvalidAircraftCodes.txt"));
    EXPECT_TRUE(logged("    1 fixes, see output/errors/Fixes.txt"));
    EXPECT_TRUE(logged("    2 invalid aircraft.cfg files, see output/errors/InvalidAircraftCfgFiles.txt"));
    EXPECT_TRUE(logged("   18 incomplete [fltsim.x] sections, see output/errors/IncompleFltsimSections.txt"));
    EXPECT_TRUE(logged("    1 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt"));
    EXPECT_TRUE(logged("removed spaces around title '  A320AFR Air France  ' --> 'A320AFR Air France'"));

    EXPECT_FALSE(SCAN_LIVERIES.current);
    EXPECT_EQ(gScanTitles.size(), 0u);
    EXPECT_EQ(gRunningScanTasks, 0);
}

TEST_F(LiveryScan, CharsetTwinsYieldTheSameLiveries) {
    auto read = [](const std::string& folder) {
        lf_clearScanLists();
        std::vector<std::tuple<std::string, std::string, std::string, std::string>> out;
        for (const auto& l : lf_searchLiveriesinFile(1, kPackages / "charsets" / folder / "aircraft.cfg"))
            out.emplace_back(l.title, gOperatorCodes.text(l.key.operatorIndex), gModelCodes.text(l.key.modelIndex), l.regcode);
        return out;
    };
    const auto utf8 = read("utf8");
    ASSERT_EQ(utf8.size(), 2u);
    EXPECT_EQ(std::get<0>(utf8[0]), "Twin A320 Caf\xc3\xa9");
    EXPECT_EQ(std::get<3>(utf8[0]), "F-GKXA");
    for (const std::string twin : {"utf8_bom", "utf16le_bom", "utf16le", "utf16be_bom", "utf16be", "cp1252"})
        EXPECT_EQ(read(twin), utf8) << twin;
}

TEST_F(LiveryScan, ManualFoldersKeepTheirPriorities) {
    recordPriorities();
    LIG_AUTOMATIC.current = false;
    LIG_PRIORITIZE.current = false;
    lfolder3.current.set((kPackages / "charsets" / "utf8").string());
    lfolder5.current.set((kPackages / "charsets" / "cp1252").string());
    ASSERT_TRUE(gf_scanLiveries());
    EXPECT_EQ(prioritiesOf("utf8"), std::vector<uint32_t>{1});
    EXPECT_EQ(prioritiesOf("cp1252"), std::vector<uint32_t>{2});
    EXPECT_EQ(scannedLiveries().size(), 2u); // the twin's titles were claimed by the first folder

    // Skipped folders do not count; from the tenth folder on the priority stays 10.
    FolderList folders{kPackages / "missing"};
    for (int i = 0; i < 11; ++i) folders.push_back(kPackages / "charsets" / "utf16le");
    EXPECT_EQ(lf_scanLiveryFolders(folders), ScanOutcome::Found);
    EXPECT_EQ(prioritiesOf("utf16le"), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}));
    EXPECT_TRUE(logged((kPackages / "missing").string() + " does not exist, skipped!"));
}

TEST_F(LiveryScan, ManualFolderErrors) {
    LIG_AUTOMATIC.current = false;
    lfolder1.current.set((kPackages / "no-such-folder").string());
    EXPECT_THROW(
        try { gf_scanLiveries(); } catch (const UserErrorException& e) {
            EXPECT_STREQ(e.what(), "243: the path pointed to by parameter 'lfolder1' does not exist, see Log.txt!");
            throw;
        },
        UserErrorException);
    EXPECT_TRUE(loggedPart("lfolder1: '"));

    lfolder1.current.set("");
    fs::create_directories("docs");
    testsupport::writeFile(gf_paths().parametersPath, "<root/>");
    platform::win32::resetShell();
    EXPECT_THROW(
        try { gf_scanLiveries(); } catch (const UserErrorException& e) {
            EXPECT_STREQ(e.what(), "48: Exit Quorvel first!   Then set one or more lfolder parameters to your liveries, "
                                   "see Manual 5.2");
            throw;
        },
        UserErrorException);
    EXPECT_EQ(platform::win32::shellRequests().size(), 2u);
    EXPECT_TRUE(SCAN_LIVERIES.current);
}

// The catalogue and reports of the previous scan are what the next start works from: a scan that
// is stopped, finds nothing or cannot write leaves them as they were; a good scan replaces them.
TEST_F(LiveryScan, PreviousResultsStayUntilNewOnesAreWritten) {
    const std::string previousXml = R"(<root><liveries><l a="BAW" m="A320" t="Old"/></liveries></root>)";
    const auto installPrevious = [&] {
        testsupport::writeFile("output/LiveriesScanned.xml", previousXml);
        testsupport::writeFile("output/errors/Fixes.txt", "old fix\n");
        testsupport::writeFile("output/errors/InvalidAircraftCodes.txt", "old code\n");
        testsupport::writeFile("output/info/AircraftCfgWithNoFltsimSection.txt", "old empty\n");
    };
    const auto previousKept = [&] {
        return testsupport::readFile("output/LiveriesScanned.xml") == previousXml &&
               testsupport::readFile("output/errors/Fixes.txt") == "old fix\n" &&
               testsupport::readFile("output/errors/InvalidAircraftCodes.txt") == "old code\n" &&
               testsupport::readFile("output/info/AircraftCfgWithNoFltsimSection.txt") == "old empty\n";
    };
    installPrevious();

    EXPECT_THROW(gf_scanLiveries(), UserErrorException); // no simulator folder known: 43
    EXPECT_TRUE(previousKept());

    // Stopped.
    gf_setMsfsPaths(kPackages, kPackages);
    gStopFlag = true;
    EXPECT_FALSE(gf_scanLiveries());
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_TRUE(previousKept());
    EXPECT_EQ(gScanTitles.size(), 0u);
    EXPECT_TRUE(gDontUseTitles.empty());
    gStopFlag = false;

    // Nothing found: the log tells what was met on the way.
    LIG_AUTOMATIC.current = false;
    const fs::path bad = kPackages / "Community" / "aig-aitraffic-oci-test" / "SimObjects" / "Airplanes" / "QQQQ_BAD";
    lfolder0.current.set(bad.string());
    EXPECT_THROW(
        try { gf_scanLiveries(); } catch (const UserErrorException& e) {
            EXPECT_STREQ(e.what(), "53: no liveries found");
            throw;
        },
        UserErrorException);
    EXPECT_TRUE(previousKept());
    EXPECT_TRUE(logged("No livery found"));
    EXPECT_TRUE(logged("The results of the previous scan are kept. Found on the way:"));
    EXPECT_TRUE(logged("    1 invalid model codes:"));
    EXPECT_TRUE(logged(fmt::format("  QQQQ             in {}", (bad / "aircraft.cfg").string())));
    EXPECT_EQ(gInvalidModelLines.size(), 0u);
    EXPECT_TRUE(SCAN_LIVERIES.current);

    // A good scan replaces the catalogue and the reports; a file of the user's in the errors
    // folder stays, and says so.
    testsupport::writeFile("output/errors/mine.txt", "user\n");
    lfolder0.current.set((kPackages / "charsets" / "utf8").string());
    ASSERT_TRUE(gf_scanLiveries());
    EXPECT_EQ(scannedLiveries().size(), 2u);
    EXPECT_FALSE(fs::exists("output/errors/Fixes.txt"));
    EXPECT_FALSE(fs::exists("output/errors/InvalidAircraftCodes.txt"));
    EXPECT_FALSE(fs::exists("output/info/AircraftCfgWithNoFltsimSection.txt"));
    EXPECT_EQ(testsupport::readFile("output/errors/mine.txt"), "user\n");
    EXPECT_TRUE(loggedPart("problems with removing previous files: "));
}

TEST_F(LiveryScan, UnwritableCatalogueIsNoSuccessAndKeepsThePreviousReports) {
    gf_setMsfsPaths(kPackages, kPackages);
    testsupport::writeFile("output/LiveriesScanned.xml/in-the-way", "");
    testsupport::writeFile("output/errors/Fixes.txt", "old fix\n");
    EXPECT_THROW(gf_scanLiveries(), std::runtime_error);
    EXPECT_EQ(testsupport::readFile("output/errors/Fixes.txt"), "old fix\n");
    EXPECT_TRUE(fs::exists("output/LiveriesScanned.xml/in-the-way"));
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_EQ(gScanTitles.size(), 0u);
}

TEST_F(LiveryScan, ScanAfterAFailedScanStartsAfresh) {
    const fs::path utf8 = kPackages / "charsets" / "utf8";
    // A folder name the file system refuses to look at ends the scan with an error.
    EXPECT_THROW(lf_scanLiveryFolders({utf8, kPackages / std::string(300, 'x')}), fs::filesystem_error);
    EXPECT_EQ(lf_scanLiveryFolders({utf8}), ScanOutcome::Found);
    EXPECT_EQ(scannedLiveries().size(), 2u);
}

// The walk: exclusion words below the scanned folder only, linked packages, long paths, file names
// in any letter case.
TEST_F(LiveryScan, WalkerRules) {
    recordPriorities();
    const fs::path root = folder_.path() / "airport-sims" / "Community";
    const std::string cfg = "[fltsim.0]\ntitle=x\n";
    testsupport::writeFile(root / "pkg" / "Aircraft.CFG", cfg);
    testsupport::writeFile(root / "pkg" / "aircraft.cfg.old", cfg);
    testsupport::writeFile(root / "navigraph-data" / "nav" / "aircraft.cfg", cfg);
    testsupport::writeFile(folder_.path() / "elsewhere" / "linkedpkg" / "aircraft.cfg", cfg);
    fs::create_directory_symlink(folder_.path() / "elsewhere" / "linkedpkg", root / "linked");
    fs::create_directory_symlink(folder_.path() / "nowhere", root / "broken");
    fs::path deep = root / "deep";
    while (deep.string().size() < 260) deep /= "level";
    testsupport::writeFile(deep / "aircraft.cfg", cfg);
    // 249 bytes are no more than the limit; 250 are.
    const fs::path limit = root / "limit";
    testsupport::writeFile(limit / std::string(249 - limit.string().size() - 14, 'l') / "aircraft.cfg", cfg);
    testsupport::writeFile(limit / std::string(250 - limit.string().size() - 14, 'm') / "aircraft.cfg", cfg);
    // A plain tree of folders within the limit is walked whole, each file read once.
    fs::path plain = root / "plain";
    for (int level = 0; level < 8; ++level) {
        plain /= "d" + std::to_string(level);
        testsupport::writeFile(plain / "aircraft.cfg", cfg);
        testsupport::writeFile(plain / ("s" + std::to_string(level)) / "aircraft.cfg", cfg);
    }

    lf_walkPackageFolder(3, root);
    EXPECT_EQ(prioritiesOf("pkg"), std::vector<uint32_t>{3});
    EXPECT_EQ(prioritiesOf("linked"), std::vector<uint32_t>{3});
    EXPECT_TRUE(prioritiesOf("nav").empty());
    EXPECT_TRUE(prioritiesOf("level").empty());
    EXPECT_EQ(prioritiesOf(std::string(249 - limit.string().size() - 14, 'l')), std::vector<uint32_t>{3});
    EXPECT_TRUE(prioritiesOf(std::string(250 - limit.string().size() - 14, 'm')).empty());
    for (int level = 0; level < 8; ++level) {
        EXPECT_EQ(prioritiesOf("d" + std::to_string(level)), std::vector<uint32_t>{3}) << level;
        EXPECT_EQ(prioritiesOf("s" + std::to_string(level)), std::vector<uint32_t>{3}) << level;
    }
    EXPECT_EQ(calls_, 3 + 16);
}

// Paths longer than the simulator's platform allows are passed over with a line naming them, and
// a scan that finds nothing says that they were.
TEST_F(LiveryScan, TooLongPathsAreNamed) {
    fs::path packages = folder_.path() / "sim";
    const std::string community = "/Community/user-aitraffic";
    packages /= std::string(240 - packages.string().size() - community.size(), 'p');
    const fs::path package = packages / "Community" / "user-aitraffic";
    testsupport::writeFile(package / "SimObjects" / "Airplanes" / "A320" / "aircraft.cfg",
                           "[General]\nicao_type_designator=A320\n[fltsim.0]\ntitle=x\nicao_airline=KLM\n");
    gf_setMsfsPaths(packages, packages);
    EXPECT_THROW(
        try { gf_scanLiveries(); } catch (const UserErrorException& e) {
            EXPECT_STREQ(e.what(), "143: Automatic scan has not found any liveries, choose a different selection, or "
                                   "switch off automatic and set lfolder parameter(-s); 1 path longer than 249 bytes "
                                   "passed over, see Log.txt");
            throw;
        },
        UserErrorException);
    EXPECT_TRUE(logged(fmt::format("==> liveries search passes over {}: its path is longer than 249 bytes",
                                   (package / "SimObjects").string())));
}

// Of two packages of one kind the first by name is taken, in whatever order the file system
// lists them; a converted copy ("_CVT_") still never is.
TEST_F(LiveryScan, TwoPackagesOfAKindTakeTheFirstByName) {
    const fs::path community = folder_.path() / "Community";
    std::vector<std::string> names;
    // Created in an order unlike name order and its reverse.
    for (const char* prefix : {"m", "c", "x", "a", "q", "f", "t", "b"}) {
        names.push_back(std::string(prefix) + "-aig-aitraffic-oci");
        fs::create_directories(community / names.back());
    }
    const auto firstListed = [&] { return fs::directory_iterator(community)->path().filename().string(); };
    const auto firstByName = [&] { return *std::min_element(names.begin(), names.end()); };
    // Left out while the listing gives the first by name first anyway.
    while (firstListed() == firstByName() && names.size() > 2) {
        fs::remove(community / firstByName());
        names.erase(std::min_element(names.begin(), names.end()));
    }
    ASSERT_NE(firstListed(), firstByName()) << "the file system lists these folders in name order";
    fs::create_directories(community / "0-aig-aitraffic-oci_CVT_");

    FolderList folders;
    lf_detectAigPackage(community, folders);
    EXPECT_EQ(folders, FolderList{community / firstByName()});
}

// Links into the system's folders are not followed: /proc leads back to every folder of the
// machine (here, through the test's working folder, to a package outside the tree).
TEST_F(LiveryScan, SystemFoldersAreNotWalked) {
    recordPriorities();
    // A deep tree, so that the path limit would keep a walk through /proc short.
    fs::path root = folder_.path() / "c";
    while (root.string().size() < 200) root /= "cc";
    const std::string cfg = "[fltsim.0]\ntitle=x\n";
    testsupport::writeFile(root / "pkg" / "aircraft.cfg", cfg);
    testsupport::writeFile(folder_.path() / "e" / "aircraft.cfg", cfg); // the working folder's
    for (const char* system : {"/proc", "/sys", "/dev"})
        fs::create_directory_symlink(system, root / std::string(system).substr(1, 1));

    lf_walkPackageFolder(1, root);
    EXPECT_EQ(prioritiesOf("pkg"), std::vector<uint32_t>{1});
    EXPECT_TRUE(prioritiesOf("e").empty());
    EXPECT_EQ(calls_, 1);
    for (const char* system : {"/proc", "/sys", "/dev"})
        EXPECT_TRUE(logged(fmt::format("liveries search passes over {}: {} is a folder of the system",
                                       (root / std::string(system).substr(1, 1)).string(), system)))
            << system;

    // Nor is a scanned folder that leads there.
    fs::create_directory_symlink("/dev", "devices");
    lf_walkPackageFolder(1, "devices");
    EXPECT_TRUE(logged("liveries search passes over devices: /dev is a folder of the system"));
    EXPECT_EQ(calls_, 1);
}

// Codes fold their letters as ASCII: a lower-case airline code is filed upper case.
class LiveryScanCaseFolding : public LiveryScan {
protected:
    // Scans one package with an Aer Lingus livery whose code is written in lower case.
    std::vector<XmlLivery> scanLowerCaseAirline() {
        const fs::path root = folder_.path() / "folding";
        testsupport::writeFile(root / "pkg" / "aircraft.cfg",
                               "[General]\nicao_type_designator = a20n\n[FLTSIM.0]\nTITLE = Aer Lingus A20N\n"
                               "icao_airline = ein\natc_parking_types = gate\n");
        EXPECT_EQ(lf_scanLiveryFolders({root}), ScanOutcome::Found);
        return scannedLiveries();
    }
    const std::vector<XmlLivery> expected_{{"Aer Lingus A20N", "EIN", "", "A20N", false, ""}};
};

TEST_F(LiveryScanCaseFolding, LowerCaseAirlineIsFiledUpperCase) {
    EXPECT_EQ(scanLowerCaseAirline(), expected_);
    EXPECT_FALSE(fs::exists("output/errors/InvalidAirlineCodes.txt"));
}

// The user's locale, which the window toolkit sets, does not change it: under a Turkish one
// (without a single-byte upper case of 'i') "ein" is still EIN, not an invalid "EiN" left as PVT.
TEST_F(LiveryScanCaseFolding, LowerCaseAirlineIsFiledUpperCaseUnderATurkishLocale) {
    const testsupport::TurkishLocale turkish;
    ASSERT_TRUE(turkish.active());
    EXPECT_EQ(scanLowerCaseAirline(), expected_);
    EXPECT_FALSE(fs::exists("output/errors/InvalidAirlineCodes.txt"));
}

// Links that lead back into the tree: each folder is walked once, each file read once.
TEST_F(LiveryScan, LinkLoopsAreWalkedOnce) {
    recordPriorities();
    const fs::path root = folder_.path() / "loops";
    const std::string cfg = "[fltsim.0]\ntitle=x\n";
    testsupport::writeFile(root / "pkg" / "aircraft.cfg", cfg);
    testsupport::writeFile(root / "a" / "in-a" / "aircraft.cfg", cfg);
    fs::create_directories(root / "b");
    fs::create_directory_symlink(".", root / "pkg" / "self");
    fs::create_directory_symlink("..", root / "pkg" / "up");
    fs::create_directory_symlink("../b", root / "a" / "to-b");
    fs::create_directory_symlink("../a", root / "b" / "to-a");
    // Two links to one package outside the tree: it is read once.
    testsupport::writeFile(folder_.path() / "elsewhere" / "linkedpkg" / "aircraft.cfg", cfg);
    fs::create_directory_symlink(folder_.path() / "elsewhere" / "linkedpkg", root / "linked1");
    fs::create_directory_symlink(folder_.path() / "elsewhere" / "linkedpkg", root / "linked2");

    lf_walkPackageFolder(1, root);
    EXPECT_EQ(calls_, 3);
    EXPECT_EQ(prioritiesOf("pkg").size(), 1u);
    EXPECT_EQ(prioritiesOf("in-a").size(), 1u);
    EXPECT_EQ(prioritiesOf("linked1").size() + prioritiesOf("linked2").size(), 1u);
    const auto lines = logLines();
    const auto skipped = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.ends_with(" leads to a folder walked already, skipped");
    });
    EXPECT_GE(skipped, 4); // self, up's way back into the tree, one of a/b, one of the links
    EXPECT_LE(skipped, 5);
}

// A link to "/" or to a folder above the walked one holds the walked folder itself: it is named
// and not entered, like a loop. A link to a package beside the walked folder is still followed,
// once. A walked folder that leads to "/" is named and not walked; one that leads to an ordinary
// package folder is walked.
TEST_F(LiveryScan, LinksToTheFileSystemsRootOrAboveAreNotWalked) {
    recordPriorities();
    // Deep, so that the path limit keeps short a walk that does go through "/".
    fs::path above = folder_.path() / "s";
    while (above.string().size() < 190) above /= "ss";
    const fs::path root = above / "Community";
    const std::string cfg = "[fltsim.0]\ntitle=x\n";
    testsupport::writeFile(root / "pkg" / "aircraft.cfg", cfg);
    testsupport::writeFile(above / "beside" / "aircraft.cfg", cfg);
    fs::create_directory_symlink("/", root / "slash");
    fs::create_directory_symlink("..", root / "up");
    fs::create_directory_symlink(above.parent_path(), root / "pkg" / "upper");
    fs::create_directory_symlink(above / "beside", root / "beside");

    lf_walkPackageFolder(1, root);
    EXPECT_EQ(prioritiesOf("pkg"), std::vector<uint32_t>{1});
    EXPECT_EQ(prioritiesOf("beside"), std::vector<uint32_t>{1});
    EXPECT_EQ(calls_, 2);
    for (const auto& [link, target] : {std::pair{root / "slash", fs::path("/")}, std::pair{root / "up", above},
                                       std::pair{root / "pkg" / "upper", above.parent_path()}})
        EXPECT_TRUE(logged(fmt::format("liveries search passes over {}: it leads to {}, which holds the folder scanned",
                                       link.string(), target.string())))
            << link;

    fs::create_directory_symlink("/", "to-slash");
    lf_walkPackageFolder(1, "to-slash");
    EXPECT_TRUE(logged("liveries search passes over to-slash: it leads to /, the file system's root: the whole "
                       "machine is no folder of packages"));
    EXPECT_EQ(calls_, 2);
    fs::create_directory_symlink(root / "pkg", "to-pkg");
    lf_walkPackageFolder(1, "to-pkg");
    EXPECT_EQ(prioritiesOf("to-pkg"), std::vector<uint32_t>{1});
    EXPECT_EQ(calls_, 3);
}

// A folder or an aircraft.cfg that cannot be read is reported with the system's reason.
TEST_F(LiveryScan, UnreadableFoldersAndFilesAreReported) {
    testsupport::writeFile("not-a-folder", "");
    lf_walkPackageFolder(1, "not-a-folder");
    EXPECT_TRUE(loggedPart("liveries search cannot read folder not-a-folder: Not a directory"));

    const fs::path ivaoCfg = "pkgs/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg";
    EXPECT_TRUE(lf_searchLiveriesinIVAOFile(1, ivaoCfg).empty());
    EXPECT_TRUE(loggedPart(fmt::format("! Cannot read {}: No such file or directory", ivaoCfg.string())));

    if (::geteuid() != 0) { // permissions do not hold for the superuser
        testsupport::writeFile("locked/pkg/aircraft.cfg", "[fltsim.0]\ntitle=x\n");
        testsupport::writeFile("locked-file/aircraft.cfg", "[fltsim.0]\ntitle=x\n");
        fs::permissions("locked/pkg", fs::perms::none);
        fs::permissions("locked-file/aircraft.cfg", fs::perms::none);
        lf_walkPackageFolder(1, "locked");
        EXPECT_TRUE(lf_searchLiveriesinFile(1, "locked-file/aircraft.cfg").empty());
        fs::permissions("locked/pkg", fs::perms::owner_all);
        EXPECT_TRUE(loggedPart("liveries search cannot read folder locked/pkg: Permission denied"));
        EXPECT_TRUE(logged("! Cannot read locked-file/aircraft.cfg: Permission denied"));
    }
}

// An aircraft.cfg replaced by a named pipe after the walk took it for a file is named with what
// stands there, never waited on.
TEST_F(LiveryScan, AnAircraftCfgThatIsNoRegularFileIsNamedNotWaitedOn) {
    const fs::path cfg = "pkg/SimObjects/Airplanes/A320/aircraft.cfg";
    fs::create_directories(cfg.parent_path());
    fs::copy_file(kPackages / "charsets" / "utf8" / "aircraft.cfg", cfg);
    lf_clearScanLists();
    EXPECT_EQ(lf_searchLiveriesinFile(1, cfg).size(), 2u);

    fs::remove(cfg);
    ASSERT_TRUE(testsupport::makeNamedPipe(cfg));
    lf_clearScanLists();
    std::size_t found = 99;
    ASSERT_TRUE(testsupport::readWithoutAWriter(cfg, [&] { found = lf_searchLiveriesinFile(1, cfg).size(); }));
    EXPECT_EQ(found, 0u);
    EXPECT_TRUE(logged("! Cannot read " + cfg.string() + ": a named pipe stands in its place"));
}

// The file met first in the walk keeps a title, however long its reading takes.
TEST_F(LiveryScan, FirstFileInWalkOrderKeepsATitle) {
    const fs::path root = folder_.path() / "dups";
    for (const char* name : {"one", "two", "three"})
        testsupport::writeFile(root / name / "aircraft.cfg",
                               fmt::format("[General]\nicao_type_designator=A320\n[fltsim.0]\ntitle=Same Title\n"
                                           "icao_airline={}\n",
                                           name == std::string("one") ? "AFR" : (name == std::string("two") ? "KLM" : "DLH")));
    std::vector<std::string> walkOrder;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.path().filename() == "aircraft.cfg") walkOrder.push_back(entry.path().parent_path().filename().string());
    ASSERT_EQ(walkOrder.size(), 3u);
    const std::map<std::string, std::string> operators{{"one", "AFR"}, {"two", "KLM"}, {"three", "DLH"}};

    gScanWorkerCount = 3;
    gf_setScanFileReader([&](uint32_t priority, const fs::path& cfgPath, bool) {
        // The first file is the slowest.
        if (cfgPath.parent_path().filename() == walkOrder.front()) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return lf_searchLiveriesinFile(priority, cfgPath);
    });
    lf_walkPackageFolder(1, root);
    ASSERT_EQ(gLiveries.size(), 1u);
    EXPECT_EQ(gOperatorCodes.text(gLiveries.front().key.operatorIndex), operators.at(walkOrder.front()));
    const auto incomplete = gIncompleteSectionLines.snapshot();
    EXPECT_EQ(incomplete.size(), 2u);
    for (const std::string& name : {walkOrder[1], walkOrder[2]})
        EXPECT_NE(std::find(incomplete.begin(), incomplete.end(),
                            (root / name).string() + " [fltsim.0] title 'Same Title' already exists"),
                  incomplete.end())
            << name;
}

class LiveryScanConcurrency : public LiveryScan {};

// A slow file's result that comes within the bound is waited for and kept; the liveries keep the
// walk's order; every task has ended when the walk returns.
TEST_F(LiveryScanConcurrency, SlowResultsAreKeptInWalkOrder) {
    gScanWorkerCount = 2;
    std::atomic<int> ended{0};
    gf_setScanFileReader([&](uint32_t, const fs::path& cfgPath, bool) -> std::list<LiveryData> {
        const std::string text = cfgPath.string();
        if (text.find("utf16") != std::string::npos) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ++ended;
        if (text.find("cp1252") != std::string::npos) throw std::runtime_error("unreadable");
        return {LiveryData{text, "", LiveryKey{1, 0, 1, 0, 0}, 1}};
    });
    lf_walkPackageFolder(1, kPackages / "charsets");
    EXPECT_EQ(ended, 7);
    EXPECT_EQ(gRunningScanTasks, 0);
    std::vector<std::string> expected;
    for (const auto& entry : fs::recursive_directory_iterator(kPackages / "charsets"))
        if (entry.path().filename() == "aircraft.cfg" && entry.path().string().find("cp1252") == std::string::npos)
            expected.push_back(entry.path().string());
    std::vector<std::string> titles;
    for (const auto& livery : gLiveries) titles.push_back(livery.title);
    EXPECT_EQ(titles, expected);
    EXPECT_TRUE(loggedPart("unreadable"));
    EXPECT_FALSE(loggedPart("timed out"));
}

// A file read that never returns (a stalled network folder) holds the walk no longer than the
// bound: that file is left out with a line saying so, the others are kept in walk order, and the
// worker it holds is replaced, so the files after it are still read.
TEST_F(LiveryScanConcurrency, AFileThatNeverReturnsIsLeftOutAfterTheBound) {
    gScanWorkerCount = 1;
    gScanResultTimeout = std::chrono::seconds(2);
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    const fs::path root = kPackages / "charsets";
    gf_setScanFileReader([released](uint32_t, const fs::path& cfgPath, bool) -> std::list<LiveryData> {
        if (cfgPath.parent_path().filename() == "utf8") released.wait();
        return {LiveryData{cfgPath.string(), "", LiveryKey{1, 0, 1, 0, 0}, 1}};
    });
    auto walk = std::async(std::launch::async, [&] { lf_walkPackageFolder(1, root); });
    const bool ended = walk.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    release.set_value();
    walk.wait();
    ASSERT_TRUE(ended) << "the walk waits for a file that never returns";
    std::vector<std::string> expected;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.path().filename() == "aircraft.cfg" && entry.path().parent_path().filename() != "utf8")
            expected.push_back(entry.path().string());
    std::vector<std::string> titles;
    for (const auto& livery : gLiveries) titles.push_back(livery.title);
    EXPECT_EQ(titles, expected);
    EXPECT_TRUE(loggedPart("liveries inner search aborted: Future wait timed out after 2 seconds") ||
                loggedPart("liveries search aborted, futs outer, Future wait timed out after 2 seconds"));
    EXPECT_TRUE(loggedPart((root / "utf8" / "aircraft.cfg").string() + " is left out"));
    // The worker let go ends once its read returns.
    for (int i = 0; i < 600 && gRunningScanTasks.load() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(gRunningScanTasks.load(), 0);
}

// The stop flag ends the walk's waits and wins over a result that is there already: files not
// started yet are not read, nothing is kept. The first file's read sets the stop before its
// result comes, so whenever the walk looks, it finds the stop with the result or no result: the
// rule holds however the threads are scheduled, and is tried many times over.
TEST_F(LiveryScanConcurrency, StopEndsTheWalk) {
    gScanWorkerCount = 1;
    std::atomic<int> calls{0};
    gf_setScanFileReader([&](uint32_t, const fs::path& cfgPath, bool) -> std::list<LiveryData> {
        if (++calls == 1) gStopFlag = true;
        return {LiveryData{cfgPath.string(), "", LiveryKey{1, 0, 1, 0, 0}, 1}};
    });
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        gStopFlag = false;
        calls = 0;
        lf_walkPackageFolder(1, kPackages / "charsets");
        EXPECT_GE(calls.load(), 1);
        EXPECT_LT(calls.load(), 7);
        EXPECT_EQ(gRunningScanTasks, 0);
        ASSERT_TRUE(gLiveries.empty()) << gLiveries.front().title;
    }
}

} // namespace
