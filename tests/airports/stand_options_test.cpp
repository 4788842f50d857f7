// The stand table and the learned flights at a stand: appending stands, names by stand id,
// adding options with their dedupe and key rules, callsigns, and extending options over half
// hours, also across midnight.
#include <stdexcept>

#include "airports/stands_test_support.hpp"

namespace {

using namespace standstest;

int gRepaints = 0;
void countRepaint() { ++gRepaints; }

TEST_F(StandsTest, StandsAppendWithSizesNamesAndIds) {
    const uint32_t generation = gf_standTableGeneration();
    StandOption learned;
    learned.reg = "D-AIBA";
    learned.number = 1;
    StandRecord& a1 = gf_emplaceStand("A1", {learned}, {50.0, 8.0, 1.5}, 18.52, 9, true, false, false);
    EXPECT_NEAR(a1.radius, 0.01, 1e-12);
    EXPECT_EQ(a1.standId, 0u);
    EXPECT_EQ(a1.type, 9);
    EXPECT_EQ(a1.cargo, 1);
    EXPECT_EQ(a1.heli, 0);
    EXPECT_EQ(a1.taken + a1.liveOccupied + a1.reserved + a1.blocked + a1.manual + a1.radiusChange, 0);
    EXPECT_GE(a1.adjacent.capacity(), 8u);
    ASSERT_EQ(a1.options.size(), 1u);
    EXPECT_NE(gf_standTableGeneration(), generation);

    // A stand never has a negative or unknown size.
    EXPECT_EQ(gf_emplaceStand("B2", {}, {50.0, 8.001, 0.0}, -5.0, 0, false, true, false).radius, 0.0);
    EXPECT_EQ(gf_emplaceStand("B3", {}, {50.0, 8.002, 0.0}, std::nan(""), 0, false, true, false).radius, 0.0);
    EXPECT_TRUE(logged("==> stand B2 has the radius -5, 0 used"));
    for (std::size_t i = 0; i < gStandTable.size(); ++i) gStandTable[i].standId = static_cast<uint32_t>(i + 1);

    EXPECT_EQ(gf_standNameOfSid(2), "B2");
    EXPECT_EQ(gf_standNameOfSid(0), "sid==0?");
    EXPECT_EQ(gf_standNameOfSid(-1), "sid==?");
    EXPECT_EQ(gf_standNameOfSid(4), "sid==?");

    gf_clearStandTable();
    EXPECT_TRUE(gStandTable.empty());
    EXPECT_GE(gStandTable.capacity(), 512u);
}

TEST_F(StandsTest, OptionsAreAddedOncePerStayWithTheRegistrationKeyAndCounted) {
    gRepaints = 0;
    gf_setParkingPanelRepaint(&countRepaint);
    gDbaseRecords = {{"D-AIBB", LiveryKey{9, 0, 31, 1, 1}}};
    StandRecord& s = addStand("A1", at(0), 30, 9);
    const LiveryKey reported{7, 0, 30, 0, 0};

    EXPECT_FALSE(gf_addStandOption(s, reported, {3, 20}, "DLH4AB", "", false));
    EXPECT_TRUE(s.options.empty());

    EXPECT_EQ(gf_addStandOption(s, reported, {3, 20}, "DLH4AB_", "D-AIBA", true), 1u);
    const StandOption& first = s.options[0];
    EXPECT_EQ(first.cs, "DLH4AB");
    EXPECT_EQ(first.cs2, "");
    EXPECT_EQ(slots(first.hh), (std::vector<int>{20}));
    EXPECT_EQ(first.day, 3u);
    EXPECT_EQ(first.source, 0u);
    EXPECT_EQ(first.real, 1u);
    EXPECT_EQ(first.cpl, 1);
    EXPECT_EQ(first.key, reported);
    EXPECT_EQ(gLearnedUpdateCount, 1u);
    EXPECT_EQ(gf_shownLearnedUpdates(), 1u);
    EXPECT_EQ(gRepaints, 1);

    // The same stay is not learned twice; another day, or the stay once extended, is new.
    EXPECT_FALSE(gf_addStandOption(s, reported, {3, 20}, "DLH4AB", "D-AIBA", false));
    EXPECT_EQ(gf_addStandOption(s, reported, {4, 20}, "DLH4AB", "D-AIBA", false), 2u);
    std::vector<int32_t> more{21};
    ASSERT_TRUE(updateOptions(s, more, 1));
    EXPECT_EQ(gf_addStandOption(s, reported, {3, 20}, "DLH4AB", "D-AIBA", false), 3u);
    EXPECT_EQ(gLearnedUpdateCount, 3u);
    EXPECT_EQ(gRepaints, 3);

    // A key from the traffic feed gives way to the registration table's; one from the table stays.
    ASSERT_TRUE(gf_addStandOption(s, reported, {3, 20}, "DLH9", "D-AIBB", false));
    EXPECT_EQ(s.options.back().key, (LiveryKey{9, 0, 31, 1, 1}));
    const LiveryKey fromTable{7, 0, 30, 0, 1};
    ASSERT_TRUE(gf_addStandOption(s, fromTable, {5, 20}, "DLH9", "D-AIBB", false));
    EXPECT_EQ(s.options.back().key, fromTable);

    // A slot outside the day adds nothing and counts nothing.
    const std::size_t count = s.options.size();
    try {
        gf_addStandOption(s, reported, {3, 48}, "DLH4AB", "D-AIBC", false);
        FAIL() << "no throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid bitset position");
    }
    EXPECT_EQ(s.options.size(), count);
    EXPECT_EQ(gLearnedUpdateCount, 5u);

    // Numbers stay unique after unused options were dropped.
    s.options.erase(s.options.begin() + 1);
    const auto number = gf_addStandOption(s, reported, {6, 1}, "DLH4AB", "D-AIBA", false);
    ASSERT_TRUE(number);
    EXPECT_EQ(std::count_if(s.options.begin(), s.options.end(),
                            [&](const StandOption& o) { return o.number == *number; }),
              1);

    gf_resetLearnedUpdates();
    EXPECT_EQ(gLearnedUpdateCount, 0u);
    EXPECT_EQ(gf_shownLearnedUpdates(), 0u);
}

TEST_F(StandsTest, CallsignsFillCsThenCs2) {
    StandRecord& s = addStand("A1", at(0), 30, 9);
    ASSERT_EQ(gf_addStandOption(s, {}, {2, 10}, "", "G-EUPA", false), 1u);
    const StandOption& o = s.options[0];
    gf_setStandOptionCallsign(s, 1, "");
    gf_setStandOptionCallsign(s, 0, "BAW1");
    gf_setStandOptionCallsign(s, 7, "BAW1");
    EXPECT_EQ(o.cs, "");
    gf_setStandOptionCallsign(s, 1, "BAW1_");
    EXPECT_EQ(o.cs, "BAW1");
    gf_setStandOptionCallsign(s, 1, "BAW1");
    EXPECT_EQ(o.cs2, "");
    gf_setStandOptionCallsign(s, 1, "BAW2");
    gf_setStandOptionCallsign(s, 1, "BAW1");
    gf_setStandOptionCallsign(s, 1, "BAW2_");
    EXPECT_EQ(o.cs, "BAW1");
    EXPECT_EQ(o.cs2, "BAW2");
    gf_setStandOptionCallsign(s, 1, "BAW3");
    EXPECT_EQ(o.cs2, "BAW3");
}

TEST_F(StandsTest, OptionsExtendOverHalfHoursAndAcrossMidnight) {
    const std::vector<int32_t> back = gf_prevHalfHours({1, 1}, 4);
    EXPECT_EQ(back, (std::vector<int32_t>{1, 0, 47, 46}));
    EXPECT_GE(back.capacity(), 48u);
    EXPECT_TRUE(gf_prevHalfHours({1, 5}, 0).empty());

    StandRecord& s = addStand("A1", at(0), 30, 9);
    ASSERT_TRUE(gf_addStandOption(s, {}, {3, 20}, "DLH4AB", "D-AIBA", false));
    std::vector<int32_t> list{22, 21};
    EXPECT_TRUE(updateOptions(s, list, 1));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(slots(s.options[0].hh), (std::vector<int>{20, 21, 22}));
    list = {23};
    EXPECT_FALSE(updateOptions(s, list, 9));
    EXPECT_EQ(list.size(), 1u);
    // A bad slot stops the extension; what was set before it stays.
    list = {30, 48, 23};
    EXPECT_FALSE(updateOptions(s, list, 1));
    EXPECT_EQ(slots(s.options[0].hh), (std::vector<int>{20, 21, 22, 23}));
    EXPECT_TRUE(logged("==> updateOptions exception:invalid bitset position"));

    // Previous day 45, today 2: the stay 46 .. 1 is split at midnight; 2 was set when today's
    // option was added.
    ASSERT_EQ(gf_addStandOption(s, {}, {3, 45}, "DLH4AB", "D-AIBB", false), 2u);
    ASSERT_EQ(gf_addStandOption(s, {}, {4, 2}, "DLH4AB", "D-AIBB", false), 3u);
    list = {2, 1, 0, 47, 46};
    EXPECT_TRUE(updateOptionsWrapped(s, list, 2, 3));
    EXPECT_EQ(slots(s.options[1].hh), (std::vector<int>{45, 46, 47}));
    EXPECT_EQ(slots(s.options[2].hh), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(list, (std::vector<int32_t>{2}));

    // A stay that began exactly at midnight gives the previous day nothing.
    ASSERT_EQ(gf_addStandOption(s, {}, {3, 40}, "DLH4AB", "D-AIBC", false), 4u);
    ASSERT_EQ(gf_addStandOption(s, {}, {4, 1}, "DLH4AB", "D-AIBC", false), 5u);
    list = {1, 0};
    EXPECT_TRUE(updateOptionsWrapped(s, list, 4, 5));
    EXPECT_EQ(slots(s.options[3].hh), (std::vector<int>{40}));
    EXPECT_EQ(slots(s.options[4].hh), (std::vector<int>{0, 1}));

    list = {1, 0, 47};
    EXPECT_FALSE(updateOptionsWrapped(s, list, 9, 5));
    list = {1, 0, 48};
    EXPECT_FALSE(updateOptionsWrapped(s, list, 4, 5));
    EXPECT_TRUE(logged("==> updateOptionsWrapped exception:invalid bitset position"));
}

} // namespace
