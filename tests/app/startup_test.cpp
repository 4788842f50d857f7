// Start-up's own rules: the command line, the install path, the run's folders.

#include "app/app_test_support.hpp"
#include "app/process_entry.hpp"
#include "app/startup.hpp"

using namespace tamrix;

namespace {

TEST(CommandLine, ProductionSwitchesIgnoreCaseAndTheLastOneWins) {
    const auto parse = [](std::vector<std::string> args) {
        args.insert(args.begin(), "quorvel");
        return gf_parseProductionSwitch(args);
    };
    EXPECT_FALSE(parse({}).seen);
    EXPECT_TRUE(parse({"--PRODUCTION"}).request);
    EXPECT_TRUE(parse({"/Production"}).request);
    EXPECT_FALSE(parse({"--production", "/no-production"}).request);
    EXPECT_TRUE(parse({"--production", "/no-production"}).seen);
    EXPECT_TRUE(parse({"--no-production", "/production"}).request);
    EXPECT_FALSE(parse({"--productionx", "production", "-production"}).seen);
    // The program path itself is never a switch.
    EXPECT_FALSE(gf_parseProductionSwitch({"--production"}).seen);
}

TEST(InstallPath, OnlyATrailingCommunityIsCut) {
    EXPECT_EQ(lf_installPathWithoutCommunity("D:\\MSFS\\Community"), "D:\\MSFS");
    EXPECT_EQ(lf_installPathWithoutCommunity("D:\\Community\\MSFS\\Community"), "D:\\Community\\MSFS");
    EXPECT_EQ(lf_installPathWithoutCommunity("D:\\Community\\MSFS"), "D:\\Community\\MSFS");
    EXPECT_EQ(lf_installPathWithoutCommunity("Community"), "Community");
    // A path typed with forward slashes, as the scans would otherwise look in ".../Community/Community".
    EXPECT_EQ(lf_installPathWithoutCommunity("/home/pilot/MSFS/Community"), "/home/pilot/MSFS");
    EXPECT_EQ(lf_installPathWithoutCommunity("/home/pilot/MyCommunity"), "/home/pilot/MyCommunity");
}

class StartUp : public apptest::AppTest {};

TEST_F(StartUp, EveryRunHasItsFoldersAndNoStaleAircraftList) {
    const auto& p = gf_paths();
    std::filesystem::create_directories(p.infoFolder);
    { std::ofstream(p.objectIdListPath) << "4711;DLH4TX;D-AIZZ;DLH;A320;GND;\n"; }
    lf_createFolders();
    for (const auto& f : {p.outputFolder, p.infoFolder, p.errorsFolder, p.airportsFolder,
                          p.learnedStockFolder, p.learnedSimaddonFolder, p.learnedThirdpartyFolder,
                          p.mySimaddonFolder, p.myThirdpartyFolder, p.myRegcodesFolder})
        EXPECT_TRUE(std::filesystem::is_directory(f)) << f;
    EXPECT_FALSE(std::filesystem::exists(p.objectIdListPath));
    // A file where a folder belongs cannot be mended: start-up stops with the system's reason.
    std::filesystem::remove_all(p.errorsFolder);
    { std::ofstream(p.errorsFolder) << "x"; }
    EXPECT_THROW(lf_createFolders(), std::filesystem::filesystem_error);
}

TEST_F(StartUp, ControlsOfARunStartWithThirtyPercentAndTheChosenSimulator) {
    parking_percentage.current = 70;
    SIM_CHOICE.current.set("MSFS 2024");
    MAX_FIT.current = 4;
    lf_initControls();
    EXPECT_EQ(parking_percentage.current, 30);
    EXPECT_FALSE(gIsMsfs2020);
    EXPECT_EQ(gSimGeneration, 2);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.current, 2.5f);
}

TEST_F(StartUp, DirectoryEntriesAreCountedAndAMissingFolderCountsNone) {
    EXPECT_EQ(gf_countDirectoryEntries(folder() / "nothing"), 0u);
    std::filesystem::create_directories(folder() / "my" / "sub");
    { std::ofstream(folder() / "my" / "EHAM.xml") << ""; }
    EXPECT_EQ(gf_countDirectoryEntries(folder() / "my"), 2u);
}

} // namespace
