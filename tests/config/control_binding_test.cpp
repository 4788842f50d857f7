#include "config/control_binding.hpp"

#include <gtest/gtest.h>

#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "config/settings_fixture.hpp"
#include "config/settings_migration.hpp"

using namespace tamrix;
using platform::win32::sentCount;
using settingstest::fileValues;
using settingstest::SettingsFile;
using settingstest::u16;

namespace {

std::size_t sentTotal() {
    std::size_t total = 0;
    for (UINT m : {BM_SETCHECK, CB_SETCURSEL, CB_RESETCONTENT, CB_ADDSTRING, CB_SELECTSTRING, WM_SETTEXT})
        total += sentCount(m);
    return total;
}

} // namespace

TEST_F(SettingsFile, IntChoiceComboBoxListsAllowedValuesAndSelectsOnlyAnAllowedOne) {
    createControls();
    MAX_LIVE_SEL.current = 7;
    MAX_LIVE_SEL.fillComboBox();
    auto s = state(MAX_LIVE_SEL.window);
    EXPECT_EQ(s.items, (std::vector<std::u16string>{u"0", u"10", u"25", u"50", u"75", u"100", u"500"}));
    EXPECT_EQ(s.selection, -1);

    MAX_LIVE_SEL.current = 25;
    MAX_LIVE_SEL.fillComboBox();
    EXPECT_EQ(state(MAX_LIVE_SEL.window).selection, 2);
    EXPECT_EQ(state(MAX_LIVE_SEL.window).items.size(), 7U) << "refilled, not appended";
}

TEST_F(SettingsFile, PackageChoiceSelectsByPrefixThenExactly) {
    createControls();
    AI_PACKAGE_SELECTOR.current.set("AIG");
    AI_PACKAGE_SELECTOR.fillComboBox();
    auto s = state(AI_PACKAGE_SELECTOR.window);
    ASSERT_EQ(s.items.size(), 64U);
    EXPECT_EQ(s.selection, 0);
    EXPECT_EQ(s.text, u"AIG, FSLTL, JF, MTL");
    const auto index = AI_PACKAGE_SELECTOR.indexOfValue();
    ASSERT_TRUE(index);
    EXPECT_EQ(*index, 60U);
    SendMessageW(AI_PACKAGE_SELECTOR.window, CB_SETCURSEL, *index, 0);
    EXPECT_EQ(state(AI_PACKAGE_SELECTOR.window).text, u"AIG");

    SIM_CHOICE.current.set("MSFS 2030");
    EXPECT_FALSE(SIM_CHOICE.indexOfValue());
    SIM_CHOICE.current.set("msfs 2024");
    SIM_CHOICE.fillComboBox();
    EXPECT_EQ(state(SIM_CHOICE.window).selection, 1) << "the prefix search ignores case";
    EXPECT_FALSE(SIM_CHOICE.indexOfValue()) << "the exact search does not";
}

TEST_F(SettingsFile, CallsignComboBoxLeavesOutTextsThatAreNoUtf8) {
    createControls();
    *CALLSIGN_2_OBJECTID.options = {"BAW12", "DLH\xC3(4", "KLM7"};
    CALLSIGN_2_OBJECTID.current.set("KLM7");
    gf_fillCallsignComboBox();
    const auto s = state(CALLSIGN_2_OBJECTID.window);
    EXPECT_EQ(s.items, (std::vector<std::u16string>{u"BAW12", u"KLM7"}));
    EXPECT_EQ(s.text, u"KLM7");
    EXPECT_TRUE(logged("utf8_to_wide failed for 'DLH"));
}

TEST_F(SettingsFile, FillingDoesNothingBeforeTheWindowExists) {
    RANGE.fillComboBox();
    SIM_CHOICE.fillComboBox();
    gf_fillCallsignComboBox();
    EXPECT_EQ(sentTotal(), 0U);
}

TEST_F(SettingsFile, ControlTextIsWrittenByIdAndRepaintsTheOptions) {
    HWND main = createControls();
    BLOCK_CALLSIGN.current.set("SWR");
    gf_setStringControlText(BLOCK_CALLSIGN);
    EXPECT_EQ(state(BLOCK_CALLSIGN.window).text, u"SWR");
    const auto repaints = platform::win32::invalidations();
    ASSERT_FALSE(repaints.empty());
    EXPECT_EQ(repaints.back().window, main);
    EXPECT_EQ(repaints.back().rect.top, 112);
    EXPECT_EQ(repaints.back().rect.bottom, 392);
    EXPECT_TRUE(repaints.back().erase);

    BLOCK_CALLSIGN.current.set("bad\xFF");
    gf_setStringControlText(BLOCK_CALLSIGN);
    EXPECT_EQ(state(BLOCK_CALLSIGN.window).text, u"SWR");
    EXPECT_TRUE(logged("utf8_to_wide failed for 'bad"));

    DestroyWindow(BLOCK_CALLSIGN.window);
    BLOCK_CALLSIGN.current.set("SWR");
    gf_setStringControlText(BLOCK_CALLSIGN);
    EXPECT_TRUE(logged("GetDlgItem failed for ID 32828"));
}

TEST_F(SettingsFile, ReenablingAControl) {
    createControls();
    EnableWindow(AI_PACKAGE_SELECTOR.window, FALSE);
    gf_reenableControl(AI_PACKAGE_SELECTOR);
    EXPECT_TRUE(IsWindowEnabled(AI_PACKAGE_SELECTOR.window));
}

TEST_F(SettingsFile, AirportValuesEqualToTheCurrentOnesChangeNothing) {
    createControls();
    gf_saveParameters(false);
    const std::string before = testsupport::readFile(path());
    const std::size_t sentBefore = sentTotal();
    gApfValues = gf_currentApfValues();
    gf_applyApfParameters();
    EXPECT_EQ(sentTotal(), sentBefore);
    EXPECT_EQ(testsupport::readFile(path()), before);
}

TEST_F(SettingsFile, AirportValuesAreRestoredSavedAndShown) {
    createControls();
    gf_saveParameters(false);
    RANGE.fillComboBox();
    parking_percentage.fillComboBox();
    // The park airport overrode these; its record holds the values from before.
    ApfValueRecord r = gf_currentApfValues();
    r.range = 150;
    r.maxLiveSel = 7;
    r.maxFit = 13;
    r.parkingPercentage = 45;
    r.autoRange = 0;
    r.week = 1;
    gApfValues = r;
    gf_applyApfParameters();

    EXPECT_EQ(RANGE.current.load(), 100);
    EXPECT_DOUBLE_EQ(gRangeNm.load(), 150.0);
    EXPECT_EQ(state(RANGE.window).selection, 19);
    EXPECT_EQ(MAX_LIVE_SEL.current.load(), 7);
    EXPECT_EQ(MAX_FIT.current.load(), 13);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.current.load(), 7.0F);
    EXPECT_EQ(parking_percentage.current.load(), 45);
    EXPECT_EQ(state(parking_percentage.window).selection, 9);
    EXPECT_FALSE(AUTO_RANGE.current.load());
    EXPECT_EQ(state(AUTO_RANGE.window).checked, BST_UNCHECKED);
    EXPECT_TRUE(IsWindowEnabled(RANGE.window));
    EXPECT_FALSE(IsWindowEnabled(AR_ABOVE_HEIGHT.window));
    EXPECT_TRUE(WEEK.current.load());
    EXPECT_EQ(state(WEEK.window).checked, BST_CHECKED);

    EXPECT_EQ(fileValues(path(), "RANGE"), std::vector<std::string>{"100"});
    EXPECT_EQ(fileValues(path(), "MAX_LIVE_SEL"), std::vector<std::string>{"7"});
    EXPECT_EQ(fileValues(path(), "AUTO_RANGE"), std::vector<std::string>{"false"});
    EXPECT_EQ(fileValues(path(), "WEEK"), std::vector<std::string>{"true"});
    EXPECT_EQ(fileValues(path(), "parking_percentage"), std::vector<std::string>{"45"});

    gApfValues.autoRange = 1;
    gf_applyApfParameters();
    EXPECT_FALSE(IsWindowEnabled(RANGE.window));
    EXPECT_TRUE(IsWindowEnabled(AR_ABOVE_HEIGHT.window));
}

TEST_F(SettingsFile, LeavingAnAirportWithAWiderRadiusRestoresTheWorkingRadius) {
    createControls();
    // The airport's file asked for 150 nm: RANGE shows 100, the same as the record from before.
    ApfValueRecord r = gf_currentApfValues();
    r.range = 100;
    RANGE.current = 100;
    gApfValues = r;
    gf_setRange(150);
    ASSERT_EQ(RANGE.current.load(), 100);
    gf_applyApfParameters();
    EXPECT_DOUBLE_EQ(gRangeNm.load(), 100.0);
    EXPECT_EQ(gRangeMeters.load(), 185200);
}
