// Finding the simulator's packages folder in the places each simulator version and each store
// installs it, as a user's application-data folders hold them.
#include <cstdlib>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "airports/sim_install.hpp"
#include "airports_test_support.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "support/named_pipe.hpp"

namespace fs = std::filesystem;
using namespace tamrix;

namespace {

class SimInstall : public airportstest::ProgramFolder {
protected:
    // The values saved under the key in "parameters.xml".
    // The value saved under the key in "parameters.xml" ("" when none).
    static std::string saved(const std::string& key) {
        pugi::xml_document doc;
        if (!doc.load_file(gf_paths().parametersPath.c_str())) return {};
        for (pugi::xml_node p : doc.child("root").child("parameters").children())
            if (key == p.attribute("name").value()) return p.attribute("value").value();
        return {};
    }

    // A packages folder as the simulator lays it out.
    static fs::path packages(const fs::path& at, bool msfs2020) {
        makeFolders(at, {"Community", msfs2020 ? "Official/OneStore" : "Official2024", "StreamedPackages"});
        return at;
    }

    static void userCfg(const fs::path& file, const fs::path& packagesFolder) {
        const std::u8string p = packagesFolder.u8string();
        testsupport::writeFile(file, "{Graphics\r\n\tVersion 1.1.0\r\n}\r\nLastUsedPackagesPath \"/old/location\"\r\n"
                                     "InstalledPackagesPath \"" +
                                         std::string(p.begin(), p.end()) + "\"\r\n");
    }

    static std::string text(const fs::path& p) {
        const std::u8string t = p.u8string();
        return {t.begin(), t.end()};
    }
};

TEST_F(SimInstall, SteamEditionOf2020IsFoundInRoamingFolderBeforeAnyUserCfg) {
    gIsMsfs2020 = true;
    const fs::path steam = packages(roaming() / "Microsoft Flight Simulator" / "Packages", true);
    // A Store installation elsewhere must not win over the Steam one.
    userCfg(local() / "Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt",
            packages(folder_.path() / "store", true));

    ASSERT_EQ(gf_detectMsfs(), 1);
    EXPECT_EQ(saved("MSFS_INSTALL_PATH"), text(steam));
    EXPECT_EQ(saved("MSFS_2024_INSTALL_PATH"), "");
    EXPECT_EQ(ALL_INSTALL_PATH.current.get(), text(steam));
    EXPECT_EQ(gf_msfsPath("Community"), steam / "Community");
    EXPECT_EQ(logged("Steam packages: ").size(), 1u);
    EXPECT_TRUE(logged("UserCfg.opt").empty());
}

TEST_F(SimInstall, StoreEditionOf2024IsFoundThroughUserCfgAndKeepsNonAsciiFolderNames) {
    gIsMsfs2020 = false;
    const fs::path pkgs = packages(folder_.path() / "Flugsimulator Ünïcode ✈" / "pkgs2024", false);
    userCfg(local() / "Packages/Microsoft.Limitless_8wekyb3d8bbwe/LocalCache/UserCfg.opt", pkgs);

    ASSERT_EQ(gf_detectMsfs(), 1);
    // The UTF-8 bytes of the folder name reach parameters.xml unchanged.
    EXPECT_EQ(saved("MSFS_2024_INSTALL_PATH"), text(pkgs));
    EXPECT_EQ(saved("MSFS_INSTALL_PATH"), "");
    EXPECT_EQ(gf_msfsPath("StreamedPackages"), pkgs / "StreamedPackages");
    EXPECT_EQ(gf_msfsInstallPath("Community"), pkgs / "Community");
    EXPECT_EQ(logged("UserCfg.opt: InstalledPackagesPath=" + text(pkgs)).size(), 1u);

    // The settings as a later start reads them find the same folder.
    gf_resetSettings();
    EXPECT_FALSE(gf_readParameters()); // the file is usable
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.current.get(), text(pkgs));
}

TEST_F(SimInstall, EveryUserCfgPlaceOfEachVersionIsLookedAtInOrder) {
    struct Place {
        bool msfs2020;
        fs::path file;
        int expectedNotFound; // candidates before it
    };
    const std::vector<Place> places = {
        {true, local() / "Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt", 0},
        {true, roaming() / "Microsoft Flight Simulator/UserCfg.opt", 1},
        {false, roaming() / "Microsoft Flight Simulator 2024/UserCfg.opt", 1},
        {false, local() / "Packages/Microsoft.FlightDashboard_8wekyb3d8bbwe/LocalCache/UserCfg.opt", 2},
        {true, local() / "MSFSPackages/UserCfg.opt", 3},
        {false, local() / "MSFSPackages/UserCfg.opt", 3},
    };
    int n = 0;
    for (const Place& place : places) {
        SCOPED_TRACE(place.file.string());
        gIsMsfs2020 = place.msfs2020;
        fs::remove_all(roaming() / "Microsoft Flight Simulator");
        fs::remove_all(roaming() / "Microsoft Flight Simulator 2024");
        fs::remove_all(local());
        const fs::path pkgs = packages(folder_.path() / ("install" + std::to_string(n++)), place.msfs2020);
        userCfg(place.file, pkgs);
        const std::size_t before = logged("MSFS detection, not found: ").size();
        ASSERT_EQ(gf_detectMsfs(), 1);
        EXPECT_EQ(logged("MSFS detection, not found: ").size() - before,
                  static_cast<std::size_t>(place.expectedNotFound));
        EXPECT_EQ((place.msfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH).current.get(), text(pkgs));
    }
}

TEST_F(SimInstall, PackagesFolderNeedsTheOfficialFolderOfTheRunningVersion) {
    // A 2020 layout (Official) under the 2024 Steam name: not a 2024 packages folder.
    const fs::path p = packages(roaming() / "Microsoft Flight Simulator 2024" / "Packages", true);
    gIsMsfs2020 = false;
    EXPECT_FALSE(lf_isPackagesFolder(p));
    EXPECT_EQ(gf_detectMsfs(), 0);
    EXPECT_EQ(saved("MSFS_2024_INSTALL_PATH"), "");
    gIsMsfs2020 = true;
    EXPECT_TRUE(lf_isPackagesFolder(p));
    EXPECT_FALSE(lf_isPackagesFolder(fs::path()));
}

TEST_F(SimInstall, StandInLaidOutForRunsIsFoundForBothVersions) {
    const std::string command = std::string("'") + QUORVEL_SOURCE_DIR + "/scripts/lay-out-sim-install' '" +
                                folder_.path().string() + "' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ::setenv("QUORVEL_ROAMING_APPDATA", (folder_.path() / "appdata/roaming").c_str(), 1);
    ::setenv("QUORVEL_LOCAL_APPDATA", (folder_.path() / "appdata/local").c_str(), 1);
    gf_resetPaths();
    fs::create_directories(gf_paths().parametersPath.parent_path());
    for (const bool msfs2020 : {true, false}) {
        gIsMsfs2020 = msfs2020;
        ASSERT_EQ(gf_detectMsfs(), 1);
        EXPECT_TRUE(fs::is_directory(gf_msfsPath("Community") / "IVAO_MTL" / "SimObjects"));
    }
    EXPECT_EQ(MSFS_INSTALL_PATH.current.get(),
              text(folder_.path() / "appdata/roaming/Microsoft Flight Simulator/Packages"));
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.current.get(), text(folder_.path() / "sim/msfs2024"));
}

TEST_F(SimInstall, NothingInstalledLogsEveryPlaceAndAsksTheUser) {
    gIsMsfs2020 = false;
    EXPECT_EQ(gf_detectMsfs(), 0);
    EXPECT_EQ(logged("MSFS detection, not found: ").size(), 4u);
    EXPECT_EQ(logged("No UserCfg.opt found?").size(), 1u);
    EXPECT_TRUE(ALL_INSTALL_PATH.current.get().empty());
    EXPECT_TRUE(gf_msfsPath("Community").empty());
}

TEST_F(SimInstall, UserCfgLinesThatNameNoFolderGiveNothing) {
    gIsMsfs2020 = true;
    const fs::path file = local() / "MSFSPackages/UserCfg.opt";
    // 20 characters is one short of any line that can hold the key and a value.
    testsupport::writeFile(file, "InstalledPackagesPat\nInstalledPackagesPath");
    EXPECT_TRUE(lf_readUserCfgOpt().empty());
    EXPECT_EQ(logged("UserCfg.opt: InstalledPackagesPath=???").size(), 0u);
    testsupport::writeFile(file, "x\nInstalledPackagesPat\n");
    EXPECT_TRUE(lf_readUserCfgOpt().empty());
    EXPECT_EQ(logged("UserCfg.opt: InstalledPackagesPath=???").size(), 1u);
    testsupport::writeFile(file, "InstalledPackagesPath \"" + (folder_.path() / "open").string() + "\n");
    fs::create_directories(folder_.path() / "open");
    EXPECT_TRUE(lf_readUserCfgOpt().empty()); // no closing quote

    EXPECT_EQ(lf_installedPackagesValue("InstalledPackagesPath \"C:\\a b\\c\" x"), "C:\\a b\\c");
    EXPECT_EQ(lf_installedPackagesValue("InstalledPackagesPath \"abc"), "");
    EXPECT_EQ(lf_installedPackagesValue("InstalledPackagesPath abc\""), "");
    EXPECT_EQ(lf_installedPackagesValue("InstalledPackagesPath abc"), "InstalledPackagesPath abc");
}

// The simulator's settings file is read only as a regular file of the size such a file has: a
// larger one, a named pipe (never waited on) or a link to a device is named and gives no folder.
TEST_F(SimInstall, UserCfgThatIsNoSettingsFileIsNamedAndNotRead) {
    gIsMsfs2020 = true;
    const fs::path file = local() / "MSFSPackages/UserCfg.opt";
    userCfg(file, packages(folder_.path() / "pkgs", true));
    const std::string lines = testsupport::readFile(file);
    EXPECT_EQ(lf_readUserCfgOpt(), folder_.path() / "pkgs");
    testsupport::writeFile(file, std::string(1 << 20, '\n') + lines);
    EXPECT_TRUE(lf_readUserCfgOpt().empty());
    EXPECT_EQ(logged(fmt::format("! {} not read: {} bytes, more than the 1048576 it may hold", text(file),
                                 (1 << 20) + lines.size()))
                  .size(),
              1u);

    fs::remove(file);
    ASSERT_TRUE(testsupport::makeNamedPipe(file));
    fs::path found = "not read";
    ASSERT_TRUE(testsupport::readWithoutAWriter(file, [&] { found = lf_readUserCfgOpt(); }));
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(logged("! " + text(file) + " not read: a named pipe stands in its place").size(), 1u);

    fs::remove(file);
    fs::create_symlink("/dev/zero", file);
    EXPECT_TRUE(lf_readUserCfgOpt().empty());
    EXPECT_EQ(logged("! " + text(file) + " not read: a device stands in its place").size(), 1u);
    EXPECT_EQ(logged("UserCfg.opt: InstalledPackagesPath=???").size(), 3u);
}

} // namespace
