#include "core/paths.hpp"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

using namespace tamrix;
namespace fs = std::filesystem;

TEST(ProgramPaths, DataFolderLiesInRoamingAppData) {
    setenv("QUORVEL_ROAMING_APPDATA", "/users/pilot/roaming", 1);
    gf_resetPaths();
    const auto& p = gf_paths();
    EXPECT_EQ(p.programDataFolder, fs::path("/users/pilot/roaming/Quorvel"));
    EXPECT_EQ(p.parametersPath, fs::path("/users/pilot/roaming/Quorvel/parameters.xml"));
    EXPECT_EQ(p.parametersPathText, "/users/pilot/roaming/Quorvel/parameters.xml");
    EXPECT_EQ(&gf_paths(), &p); // built once
}

TEST(ProgramPaths, DataFolderIsRelativeWhenAppDataIsUnknown) {
    setenv("QUORVEL_ROAMING_APPDATA", "", 1);
    gf_resetPaths();
    EXPECT_EQ(gf_paths().programDataFolder, fs::path("Quorvel"));
    EXPECT_EQ(gf_paths().parametersPath, fs::path("Quorvel/parameters.xml"));
}
