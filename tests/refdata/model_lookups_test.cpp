#include "refdata/model_lookups.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "refdata_test_support.hpp"

using namespace tamrix;

class ShippedModels : public ::testing::Test {
protected:
    void SetUp() override {
        refdatatest::installShipped("dbase.enc");
        ASSERT_TRUE(gf_readDbase());
    }
    testsupport::CapturedLog log;
};

TEST_F(ShippedModels, CategoriesOfRealTypes) {
    EXPECT_EQ(gf_modelCodeCategory("A320"), AircraftCategory::Large);
    EXPECT_EQ(gf_modelCodeCategory("B77W"), AircraftCategory::Heavy);
    EXPECT_EQ(gf_modelCodeCategory("GLF6"), AircraftCategory::Buzjets);
    EXPECT_EQ(gf_modelCodeCategory("EC35"), AircraftCategory::Rotorcraft);
    EXPECT_EQ(gf_modelCodeCategory("EUFI"), AircraftCategory::HighPerf);
    EXPECT_EQ(gf_modelCodeCategory("C172"), AircraftCategory::Light);
    // The 757 is listed as large and as heavy: large comes first.
    EXPECT_EQ(gf_modelCodeCategory("B752"), AircraftCategory::Large);
    EXPECT_TRUE(gHeavyModels.contains(gf_modelIndex("B752")));
}

TEST_F(ShippedModels, AnUnknownCodeIsInternedAndLight) {
    const std::size_t size = gModelCodes.size();
    EXPECT_EQ(gf_modelCodeCategory("ZZZ9"), AircraftCategory::Light);
    EXPECT_EQ(gModelCodes.size(), size + 1);
    EXPECT_EQ(gf_modelCategory(60000), AircraftCategory::Light);
    // A wrong code with a fix gets the category of its correction.
    EXPECT_EQ(gf_modelCodeCategory("A350"), AircraftCategory::Heavy);
}

TEST_F(ShippedModels, KnownModelCodes) {
    EXPECT_TRUE(gf_isKnownModelCode("B738"));
    EXPECT_FALSE(gf_isKnownModelCode("b738"));
    EXPECT_FALSE(gf_isKnownModelCode("A350")); // a wrong code, only fixed
    EXPECT_FALSE(gf_isKnownModelCode(""));
}

TEST_F(ShippedModels, HalfSpansInNauticalMiles) {
    EXPECT_NEAR(gf_halfSpan(gf_modelIndex("A388")), 79.75 / 2 / 1852.0, 1e-9);
    EXPECT_NEAR(gf_halfSpan(gf_modelIndex("C172")), 11.0 / 2 / 1852.0, 1e-9);
    EXPECT_EQ(gf_halfSpan(gf_modelIndex("ZZZ8")), 0.0); // no wingspan given
    EXPECT_EQ(gf_halfSpan(0), 0.0);
}

TEST(HalfSpan, BeyondTheTableIsThirtyFiveMetresAndLogged) {
    testsupport::CapturedLog log;
    gHalfSpans[2699] = 0.01;
    EXPECT_EQ(gf_halfSpan(2699), 0.01);
    EXPECT_DOUBLE_EQ(gf_halfSpan(2700), 35.0 / 1852.0);
    EXPECT_DOUBLE_EQ(gf_halfSpan(65535), 35.0 / 1852.0);
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("hwsp: 2700 what: ", 0), 0u) << lines[0];
}

TEST(CategoryName, NamesEachCategory) {
    EXPECT_EQ(gf_categoryName(AircraftCategory::Light), "Light");
    EXPECT_EQ(gf_categoryName(AircraftCategory::Rotorcraft), "Rotorcraft");
    EXPECT_THROW(gf_categoryName(static_cast<AircraftCategory>(6)), std::out_of_range);
}
