#include "config/settings_migration.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "config/settings_fixture.hpp"

using namespace tamrix;
using settingstest::fileEntries;
using settingstest::fileValues;
using settingstest::SettingsFile;
using testsupport::writeFile;

namespace {

class Migration : public SettingsFile {
protected:
    void SetUp() override {
        SettingsFile::SetUp();
        for (const char* name : {"input/airports.enc", "input/AIG-regcodes.enc", "input/dbase.enc",
                                 "new_version/install_new_version.exe", "new_version/sub/notes.txt"})
            writeFile(name, "old");
    }

    static bool encFilesThere() {
        return std::filesystem::exists("input/airports.enc") &&
               std::filesystem::exists("input/AIG-regcodes.enc") &&
               std::filesystem::exists("input/dbase.enc");
    }
    static bool anyEncFile() {
        return std::filesystem::exists("input/airports.enc") ||
               std::filesystem::exists("input/AIG-regcodes.enc") ||
               std::filesystem::exists("input/dbase.enc");
    }
    static bool newVersionThere() { return std::filesystem::exists("new_version"); }
};

} // namespace

TEST_F(Migration, FirstStartSwitchesBothScansOn) {
    createControls();
    gf_checkParametersVersion();
    EXPECT_TRUE(SCAN_LIVERIES.current.load());
    EXPECT_TRUE(SCAN_AIRPORTS.current.load());
    EXPECT_EQ(fileValues(path(), "SCAN_LIVERIES"), std::vector<std::string>{"true"});
    EXPECT_EQ(fileValues(path(), "SCAN_AIRPORTS"), std::vector<std::string>{"true"});
    EXPECT_EQ(state(SCAN_LIVERIES.window).checked, BST_CHECKED);
    EXPECT_EQ(state(SCAN_AIRPORTS.window).checked, BST_CHECKED);
    EXPECT_EQ(fileEntries(path()).size(), 60U);
    EXPECT_TRUE(encFilesThere());
}

TEST_F(Migration, SameVersionChangesNothing) {
    install("version_12_5_4.xml");
    gf_checkParametersVersion();
    EXPECT_FALSE(logged("version update"));
    EXPECT_TRUE(encFilesThere());
    EXPECT_TRUE(newVersionThere());
    EXPECT_EQ(RANGE.current.load(), 10);
    EXPECT_FALSE(SCAN_LIVERIES.current.load());
    EXPECT_EQ(fileValues(path(), "PROGRAM_VERSION"), std::vector<std::string>{"12.5.4"});
}

TEST_F(Migration, NewerStoredVersionIsOnlyRewritten) {
    install("version_12_6_0.xml");
    gf_checkParametersVersion();
    EXPECT_EQ(PROGRAM_VERSION.current.get(), "12.5.4");
    EXPECT_EQ(fileValues(path(), "PROGRAM_VERSION"), std::vector<std::string>{"12.5.4"});
    EXPECT_FALSE(logged("version update"));
    EXPECT_TRUE(encFilesThere());
    EXPECT_TRUE(newVersionThere());
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"10"});
}

TEST_F(Migration, UpdateFromOlderMajorClearsOldDataAndKeepsSettings) {
    install("version_11_9_3.xml");
    gf_checkParametersVersion();
    EXPECT_TRUE(logged("This is a version update from 11.9.3 -> 12.5.4"));
    EXPECT_FALSE(anyEncFile());
    EXPECT_FALSE(newVersionThere());
    EXPECT_FALSE(logged("too old"));
    EXPECT_EQ(RANGE.current.load(), 10);
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"10"});
    EXPECT_EQ(fileValues(path(), "SCAN_LIVERIES"), std::vector<std::string>{"false"});
    EXPECT_EQ(fileValues(path(), "PROGRAM_VERSION"), std::vector<std::string>{"12.5.4"});
}

TEST_F(Migration, VersionTooOldToConvertResetsTheFileForTheNextStart) {
    install("version_11_0_1.xml");
    gf_checkParametersVersion();
    EXPECT_TRUE(logged("This is a version update from 11.0.1 -> 12.5.4"));
    EXPECT_FALSE(anyEncFile());
    EXPECT_TRUE(newVersionThere()) << "only a convertible version clears new_version";
    EXPECT_TRUE(
        logged("Your previous version was too old to convert the old text box parameters to the newdropbox "
               "values."));
    EXPECT_TRUE(logged("Quorvel re-starts with default parameter values ..."));
    // The file holds the defaults; this run keeps the values it loaded.
    EXPECT_EQ(fileEntries(path()).size(), 60U);
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"40"});
    EXPECT_EQ(fileValues(path(), "SCAN_LIVERIES"), std::vector<std::string>{"true"});
    EXPECT_EQ(fileValues(path(), "PROGRAM_VERSION"), std::vector<std::string>{"12.5.4"});
    EXPECT_EQ(RANGE.current.load(), 10);
}

TEST_F(Migration, EmptyStoredVersionBecomesTheProgramVersion) {
    install("version_empty.xml");
    gf_checkParametersVersion();
    EXPECT_EQ(PROGRAM_VERSION.current.get(), "12.5.4");
    EXPECT_EQ(fileValues(path(), "PROGRAM_VERSION"), std::vector<std::string>{"12.5.4"});
    EXPECT_TRUE(encFilesThere());
    EXPECT_EQ(RANGE.current.load(), 10);
}

TEST_F(Migration, StoredTextThatIsNoVersionResetsNothing) {
    install("version_garbage.xml");
    gf_checkParametersVersion();
    EXPECT_TRUE(logged("VersionData exception: invalid version format"));
    EXPECT_TRUE(logged("! PROGRAM_VERSION 'garbage' is no version, taken as 12.5.4"));
    EXPECT_TRUE(encFilesThere());
    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"10"});
    EXPECT_EQ(fileValues(path(), "PROGRAM_VERSION"), std::vector<std::string>{"12.5.4"});
}

TEST(MaxFitHours, TableMapsEveryStoredChoiceBackToItsHours) {
    EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(47), 24.0F);
    EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(0), 0.5F);
    EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(-5), 0.5F);
    EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(21), 11.0F);
    EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(43), 21.0F);
    EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(22), 12.0F);
    EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(9), 5.0F);
    for (float hours : MAX_FIT_FL.allowed) {
        const int32_t stored = std::clamp(static_cast<int32_t>(std::lround(2 * hours)) - 1, 0, 47);
        EXPECT_FLOAT_EQ(gf_maxFit2MaxFitFl(stored), hours) << hours;
    }
}

TEST_F(SettingsFile, MaxFitHoursAreSelectedOnlyWhenListed) {
    createControls();
    SendMessageW(MAX_FIT_FL.window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"placeholder"));
    for (std::size_t i = 1; i < MAX_FIT_FL.allowed.size(); ++i)
        SendMessageW(MAX_FIT_FL.window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"h"));
    MAX_FIT.current = 13;
    gf_updateMaxFitFl();
    EXPECT_FLOAT_EQ(MAX_FIT_FL.current.load(), 7.0F);
    EXPECT_EQ(state(MAX_FIT_FL.window).selection, 11);
    MAX_FIT.current = 21;
    gf_updateMaxFitFl();
    EXPECT_FLOAT_EQ(MAX_FIT_FL.current.load(), 11.0F);
    EXPECT_EQ(state(MAX_FIT_FL.window).selection, 11) << "11 hours is not listed: selection stays";
}

TEST_F(SettingsFile, SetRangeClampsTheSettingAndBoundsTheWorkingRadius) {
    createControls();
    RANGE.fillComboBox();
    EXPECT_EQ(gf_setRange(150), 277800U);
    EXPECT_EQ(RANGE.current.load(), 100);
    EXPECT_EQ(state(RANGE.window).selection, 19);
    EXPECT_DOUBLE_EQ(gRangeNm.load(), 150.0);
    EXPECT_EQ(gRangeMeters.load(), 277800);

    EXPECT_EQ(gf_setRange(7), 7U * 1852U);
    EXPECT_EQ(RANGE.current.load(), 7);
    EXPECT_EQ(state(RANGE.window).selection, 19) << "7 is not listed: selection stays";

    EXPECT_EQ(gf_setRange(-10), 2U * 1852U);
    EXPECT_EQ(RANGE.current.load(), 2);
    EXPECT_DOUBLE_EQ(gRangeNm.load(), 2.0);

    EXPECT_EQ(gf_setRange(INT_MAX), static_cast<uint32_t>(kMaxWorkingRadiusNm) * 1852U);
    EXPECT_EQ(gRangeMeters.load(), kMaxWorkingRadiusNm * 1852);
    EXPECT_EQ(RANGE.current.load(), 100);
}
