#include "refdata/livery_key.hpp"

#include <gtest/gtest.h>

#include "refdata/code_table.hpp"

using namespace tamrix;

class LiveryKeyText : public ::testing::Test {
protected:
    void SetUp() override {
        gf_airlineIndex("");
        gf_modelIndex("");
        ual = gf_airlineIndex("UAL");
        skw = gf_airlineIndex("SKW");
        b738 = gf_modelIndex("B738");
    }
    uint16_t ual = 0, skw = 0, b738 = 0;
};

TEST_F(LiveryKeyText, FixedWidthForms) {
    EXPECT_EQ(gf_liveryKey2Text({ual, 0, b738, 0, 1}), "UAL     B738.   ");
    EXPECT_EQ(gf_liveryKey2Text({ual, skw, b738, 1, 0}), "UAL,SKW B738 (C)");
    EXPECT_EQ(gf_liveryKey2Text({ual, 0, b738, 1, 1}), "UAL     B738.(C)");
    EXPECT_EQ(gf_liveryKey2Text({60000, 60001, 60002, 0, 0}), std::string(16, ' '));
}

TEST_F(LiveryKeyText, LongCodesWidenTheText) {
    const uint16_t longSecond = gf_airlineIndex("SKYW");
    const uint16_t longModel = gf_modelIndex("CRJ1000");
    EXPECT_EQ(gf_liveryKey2Text({ual, longSecond, b738, 0, 0}), "UAL,SKYW B738    ");
    EXPECT_EQ(gf_liveryKey2Text({ual, 0, longModel, 0, 0}), "UAL     CRJ1000    ");
}
