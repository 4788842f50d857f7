#include "core/number_helpers.hpp"

#include <cstdint>
#include <limits>
#include <string>

#include <gsl/narrow>
#include <gtest/gtest.h>

#include "core/run_state.hpp"

using namespace tamrix;

TEST(NumberHelpers, Plural) {
    for (const int32_t n : {0, 2, 1000})
        EXPECT_EQ(gf_plural(n), "s");
    for (const int32_t n : {1, -3})
        EXPECT_EQ(gf_plural(n), "");
    EXPECT_EQ(gf_plural(int64_t{-3}), "");
    EXPECT_EQ(gf_plural(uint64_t{1}), "");
    EXPECT_EQ(gf_plural(std::numeric_limits<uint64_t>::max()), "s");
}

TEST(NumberHelpers, PercentRoundsAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(gf_percent(1, 3), 33);
    EXPECT_EQ(gf_percent(2, 3), 67);
    EXPECT_EQ(gf_percent(1, 8), 13); // 12.5 rounds away from zero
    EXPECT_EQ(gf_percent(-1, 8), -13);
    EXPECT_EQ(gf_percent(5, 0), 0);
    EXPECT_EQ(gf_percent(5, -4), 0);
    EXPECT_EQ(gf_percent(21474836, 1), 2147483600);
    EXPECT_THROW(gf_percent(21474837, 1), gsl::narrowing_error);
    EXPECT_THROW(gf_percent(-21474837, 1), gsl::narrowing_error);
    EXPECT_THROW(gf_percent(std::numeric_limits<int64_t>::max(), 1), gsl::narrowing_error);
}

TEST(NumberHelpers, FloatText) {
    EXPECT_EQ(gf_float2Text(3.0f), "3");
    EXPECT_EQ(gf_float2Text(2.5f), "2.5");
    EXPECT_EQ(gf_float2Text(-0.5f), "-0.5");
}

TEST(NumberHelpers, ObjectIdTextFollowsTheSimulator) {
    gIsMsfs2020 = true;
    EXPECT_EQ(gf_id2Text(255), "255");
    gIsMsfs2020 = false;
    EXPECT_EQ(gf_id2Text(255), "ff");
    EXPECT_EQ(gf_id2Text(0xFFFFFFFFu), "ffffffff");
}
