#include "links/traffic_intake.hpp"

#include <thread>

#include <gtest/gtest.h>

#include "link_test_support.hpp"
#include "reader_test_support.hpp"

using namespace tamrix;

namespace {

TrafficLine lineWithKey(uint32_t key) {
    TrafficLine line;
    line.hexid = key;
    line.head.callsign = "CALLSIGN-LONG-ENOUGH-TO-ALLOCATE";
    return line;
}

class TrafficIntake : public ::testing::Test {
protected:
    void SetUp() override {
        linktest::resetTrafficLinks();
        gf_openTrafficGate();
    }
    void TearDown() override { gf_clearTrafficIntake(); }
    testsupport::CapturedLog log;
};

TEST_F(TrafficIntake, TheGateDecidesAndTheTickTakesTwoFromTheFront) {
    gf_shutTrafficGate();
    EXPECT_FALSE(gf_queueTrafficLine(lineWithKey(10001)));
    EXPECT_EQ(gf_trafficIntakeSize(), 0u);
    gf_openTrafficGate();
    for (uint32_t key = 10001; key <= 10003; ++key) EXPECT_TRUE(gf_queueTrafficLine(lineWithKey(key)));

    std::vector<TrafficLine> taken;
    EXPECT_EQ(gf_takeTrafficLines(2, taken), 2u);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].hexid, 10001u);
    EXPECT_EQ(taken[1].hexid, 10002u);
    EXPECT_EQ(taken[0].head.callsign, "CALLSIGN-LONG-ENOUGH-TO-ALLOCATE");
    EXPECT_EQ(gf_takeTrafficLines(2, taken), 1u);
    EXPECT_EQ(taken.front().hexid, 10003u);
    EXPECT_EQ(gf_takeTrafficLines(2, taken), 0u);
    EXPECT_TRUE(taken.empty());
}

TEST_F(TrafficIntake, AFullQueueLetsTheOldestLinesGiveWay) {
    for (uint32_t i = 0; i < kTrafficIntakeCapacity + 5; ++i) gf_queueTrafficLine(lineWithKey(20000 + i));
    EXPECT_EQ(gf_trafficIntakeSize(), kTrafficIntakeCapacity);
    std::vector<TrafficLine> taken;
    gf_takeTrafficLines(2, taken);
    EXPECT_EQ(taken.front().hexid, 20005u);
    gf_queueTrafficLine(lineWithKey(99999));  // room again: the overflow is over
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Traffic intake full at 6000 lines, the oldest lines give way");
    EXPECT_EQ(lines[1], "Traffic intake overflow over, 5 lines dropped");
}

TEST(TrafficIntakeConcurrency, EveryLineArrivesOnceAndInOrder) {
    gf_clearTrafficIntake();
    gf_openTrafficGate();
    constexpr uint32_t kLines = 5000;
    std::thread reader([] {
        for (uint32_t i = 1; i <= kLines; ++i) {
            while (gf_trafficIntakeSize() >= kTrafficIntakeCapacity - 10) std::this_thread::yield();
            gf_queueTrafficLine(lineWithKey(10000 + i));
        }
    });
    std::vector<TrafficLine> taken;
    uint32_t expected = 10001;
    while (expected <= 10000 + kLines) {
        gf_takeTrafficLines(2, taken);
        for (const auto& line : taken) ASSERT_EQ(line.hexid, expected++);
        if (taken.empty()) std::this_thread::yield();
    }
    reader.join();
    EXPECT_EQ(gf_trafficIntakeSize(), 0u);
}

} // namespace
