#include "links/target_classification.hpp"

#include <gtest/gtest.h>

using tamrix::gf_isAircraftTarget;
using tamrix::gf_isNonAircraftType;

TEST(TargetClassification, TypeDecidesUnlessTheCategoryExcludes) {
    EXPECT_TRUE(gf_isAircraftTarget("A320", "A3"));
    EXPECT_FALSE(gf_isAircraftTarget("A320", "B1"));
    for (const char* category : {"B1", "B2", "B4", "C1", "C2"}) EXPECT_FALSE(gf_isAircraftTarget("B738", category));
    for (const char* category : {"B3", "C3", "", "A0", "b1"}) EXPECT_TRUE(gf_isAircraftTarget("B738", category));
}

TEST(TargetClassification, NonAircraftTypesAreExactAndShort) {
    for (const char* type : {"BALL", "EMER", "GLID", "GRND", "GND", "PARA", "SERV", "SHIP", "VENT", "TWR"}) {
        EXPECT_TRUE(gf_isNonAircraftType(type)) << type;
        EXPECT_FALSE(gf_isAircraftTarget(type, "")) << type;
    }
    EXPECT_TRUE(gf_isAircraftTarget("glid", ""));  // case matters
    EXPECT_TRUE(gf_isAircraftTarget("GNDX", ""));
    EXPECT_TRUE(gf_isAircraftTarget("C1", ""));
    EXPECT_FALSE(gf_isAircraftTarget("A320N", "A3"));  // no type designator has 5 characters
    EXPECT_TRUE(gf_isNonAircraftType("GLIDER"));
}

TEST(TargetClassification, NoTypeIsNoAircraft) {
    EXPECT_FALSE(gf_isAircraftTarget("", "A3"));
    EXPECT_FALSE(gf_isAircraftTarget("null", "A3"));
    EXPECT_TRUE(gf_isAircraftTarget("NULL", "A3"));
}
