#include "config/parameters.hpp"

#include <memory>
#include <set>
#include <type_traits>

#include <gtest/gtest.h>

#include "config/settings.hpp"
#include "core/random.hpp"

using namespace tamrix;

static_assert(std::has_virtual_destructor_v<Parameter>);
static_assert(std::has_virtual_destructor_v<ParameterControl>);
static_assert(!std::is_copy_constructible_v<StringParameter>);
static_assert(!std::is_move_constructible_v<CheckBoxParameter>);

TEST(ParameterClasses, BoolReportsItsDefaultAsEveryValue) {
    BoolParameter on("ON", true);
    EXPECT_TRUE(on.defaultValue);
    EXPECT_TRUE(on.minValue);
    EXPECT_TRUE(on.maxValue);
    EXPECT_TRUE(on.current.load());
    StringParameter text("TEXT", "abc");
    EXPECT_EQ(text.minValue, "abc");
    EXPECT_EQ(text.maxValue, "abc");
    EXPECT_EQ(text.current.get(), "abc");
    EXPECT_EQ(text.defaultValue.get(), "abc");
}

TEST(ParameterClasses, ChoiceLimitsAreTheFirstAndLastAllowedValue) {
    std::vector<int32_t> values;
    for (int32_t v = 2; v <= 100; ++v)
        values.push_back(v);
    IntChoiceParameter choice("C", 500, values, 1, 2);
    EXPECT_EQ(choice.minValue, 2);
    EXPECT_EQ(choice.maxValue, 100);
    EXPECT_EQ(choice.current.load(), 500); // the default as given; clamping is the assigner's
    EXPECT_EQ(choice.clamp(-7), 2);
    EXPECT_EQ(choice.clamp(int64_t{1} << 40), 100);
    EXPECT_FALSE(choice.indexOfCurrent());
    choice.current = 3;
    EXPECT_EQ(choice.indexOfCurrent(), 1U);
    EXPECT_EQ(choice.window, nullptr);
    EXPECT_EQ(choice.previousWndProc, 0);
}

TEST(ParameterClasses, APortIsAWholeNumberFromOneTo65535) {
    const PortParameter port("PORT", "10747");
    for (const char* taken : {"1", "10747", "65535", "0080"})
        EXPECT_TRUE(port.accepts(taken)) << taken;
    // 65536 and 99999 would be taken modulo 65536 by the address resolver.
    for (const char* refused : {"0", "65536", "99999", "4294967297", "", "-1", "+80", " 80", "80 ", "8o"})
        EXPECT_FALSE(port.accepts(refused)) << refused;
    EXPECT_TRUE(StringParameter("TEXT", "").accepts("anything at all"));
}

TEST(ParameterClasses, DeletingThroughTheControlPartDestroysTheWholeObject) {
    // Under AddressSanitizer a delete that missed the most derived object is reported.
    auto shared = std::make_shared<std::vector<std::string>>(1, "");
    std::vector<std::unique_ptr<ParameterControl>> controls;
    controls.emplace_back(std::make_unique<CheckBoxParameter>("B", true, 1, 2));
    controls.emplace_back(std::make_unique<IntChoiceParameter>("I", 1, std::vector<int32_t>{1, 2}, 3, 4));
    controls.emplace_back(std::make_unique<StringControlParameter>("S", std::string(40, 's'), 5, 6));
    controls.emplace_back(std::make_unique<ChoiceParameter>(
        "C", "a", std::vector<std::string>{"a", std::string(40, 'b')}, 7, 8));
    controls.emplace_back(std::make_unique<SharedChoiceParameter>("SC", "", shared, 9, 10));
    controls.emplace_back(std::make_unique<ButtonParameter>("Flush static", 11, 12));
    EXPECT_EQ(shared.use_count(), 2);
    controls.clear();
    EXPECT_EQ(shared.use_count(), 1);
}

TEST(ParameterClasses, SharedOptionListOutlivesTheParameter) {
    auto list = std::make_shared<std::vector<std::string>>(1, "");
    {
        SharedChoiceParameter callsigns("CS", "", list, 1, 2);
        list->assign({"DLH1", "KLM2"});
        EXPECT_EQ(callsigns.options->size(), 2U);
    }
    ASSERT_EQ(list->size(), 2U);
    EXPECT_EQ((*list)[1], "KLM2");
}

TEST(SettingsTable, RegistriesHoldEverySettingInFileOrder) {
    ASSERT_EQ(boolParameters.size(), 1U);
    EXPECT_EQ(boolParameters[0]->name, "RANDOM");
    ASSERT_EQ(checkBoxParameters.size(), 21U);
    EXPECT_EQ(checkBoxParameters.front()->name, "ALWAYS_ON_TOP");
    EXPECT_EQ(checkBoxParameters[4]->name, "GUID_CHANGES");
    EXPECT_EQ(checkBoxParameters.back()->name, "PARK_SOFT");
    ASSERT_EQ(intParameters.size(), 8U);
    EXPECT_EQ(intParameters[2]->name, "LAST_EPOCH_TIME:");
    EXPECT_EQ(intParameters[6], &AIRP_HEIGHT);
    EXPECT_EQ(intChoiceParameters.size(), 7U);
    EXPECT_EQ(intChoiceParameters.back(), &AIRP_HEIGHT);
    ASSERT_EQ(stringParameters.size(), 22U);
    EXPECT_EQ(stringParameters[3]->name, "lfolder0");
    EXPECT_EQ(stringParameters[12]->name, "lfolder9");
    EXPECT_EQ(stringParameters[20], &AI_PACKAGE_SELECTOR);
    EXPECT_EQ(stringParameters[21], &DESTINATION);
    ASSERT_EQ(stringControlParameters.size(), 2U);
    EXPECT_EQ(stringControlParameters[0], &BLOCK_CALLSIGN);
    EXPECT_EQ(stringControlParameters[1], &SIM_CHOICE);

    std::set<uint16_t> ids;
    for (const auto* p : checkBoxParameters)
        ids.insert(p->controlId);
    EXPECT_EQ(ids.size(), 21U) << "every check box has its own id";
}

TEST(SettingsTable, ChoiceListsThatAreEasyToGetWrong) {
    EXPECT_EQ(MAX_PARK_SEL.minValue, 0) << "0 is a value of its own";
    EXPECT_EQ(MAX_LIVE_SEL.allowed, gMaxSelectionValues);
    EXPECT_EQ(AR_ABOVE_HEIGHT.allowed.size(), 11U);
    EXPECT_EQ(parking_percentage.allowed.size(), 21U);
    EXPECT_EQ(RANGE.indexOfCurrent(), 15U);
    EXPECT_EQ(CALLSIGN_2_OBJECTID.options, gLiveCallsignList);
    EXPECT_EQ(*gLiveCallsignList, std::vector<std::string>{""});
}

TEST(SettingsTable, AiPackageChoicesAreEveryOrderOfEverySubset) {
    const auto& o = AI_PACKAGE_SELECTOR.options;
    ASSERT_EQ(o.size(), 64U);
    EXPECT_EQ(std::set<std::string>(o.begin(), o.end()).size(), 64U);
    EXPECT_EQ(o[0], "AIG, FSLTL, JF, MTL");
    EXPECT_EQ(o[1], "AIG, FSLTL, MTL, JF");
    EXPECT_EQ(o[2], "AIG, JF, FSLTL, MTL");
    EXPECT_EQ(o[23], "MTL, JF, FSLTL, AIG");
    EXPECT_EQ(o[24], "AIG, FSLTL, JF");
    EXPECT_EQ(o[29], "JF, FSLTL, AIG");
    EXPECT_EQ(o[30], "AIG, FSLTL, MTL");
    EXPECT_EQ(o[48], "AIG, FSLTL");
    EXPECT_EQ(o[49], "FSLTL, AIG");
    EXPECT_EQ(o[50], "AIG, JF");
    EXPECT_EQ(o[59], "MTL, JF");
    EXPECT_EQ(o[60], "AIG");
    EXPECT_EQ(o[63], "MTL");
}

TEST(SettingsTable, DerivedValues) {
    EXPECT_DOUBLE_EQ(gRangeNm.load(), 40.0);
    EXPECT_EQ(gRangeMeters.load(), 74080);
    EXPECT_EQ(gParametersTitleLength, 10);
    EXPECT_EQ(gParametersBannerFill, 70);
    EXPECT_STREQ(gKeyRange, "RANGE");
    EXPECT_STREQ(gKeyAutoRange, "AUTO_RANGE");
    EXPECT_STREQ(gKeyInitialLoadOnly, "INITIAL_LOAD_ONLY");
    EXPECT_STREQ(gKeyParkSoft, "PARK_SOFT");
    EXPECT_STREQ(gKeyParkingPercentage, "parking_percentage");
    EXPECT_STREQ(gKeyMaxFit, "MAX_FIT");
    EXPECT_STREQ(gKeyWeek, "WEEK");
    EXPECT_STREQ(gKeyMaxLiveSel, "MAX_LIVE_SEL");
}

TEST(SettingsTable, RandomSwitchFollowsTheSetting) {
    EXPECT_FALSE(gf_randomIsOn()) << "off until the settings are connected";
    gf_installSettingHooks();
    EXPECT_TRUE(gf_randomIsOn());
    RANDOM.current = false;
    EXPECT_FALSE(gf_randomIsOn());
    EXPECT_EQ(gf_randomIndex(10), 0U);
}
