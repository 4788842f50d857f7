#include "links/traffic_intake.hpp"

#include <thread>

#include <fmt/format.h>

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

// A sender that sends more than the tick takes keeps the queue full for minutes: the log shows
// the overflow with its count a few times a minute, not on every tick.
TEST_F(TrafficIntake, AFullQueueLetsTheOldestLinesGiveWayAndASustainedFloodIsLoggedSparingly) {
    for (uint32_t i = 0; i < kTrafficIntakeCapacity + 5; ++i) gf_queueTrafficLine(lineWithKey(20000 + i));
    EXPECT_EQ(gf_trafficIntakeSize(), kTrafficIntakeCapacity);
    std::vector<TrafficLine> taken;
    gf_takeTrafficLines(2, taken);
    EXPECT_EQ(taken.front().hexid, 20005u);

    // 150 s of ticks that take two lines while three arrive.
    uint64_t dropped = 5;
    for (int tick = 1; tick <= 15000; ++tick) {
        gLiveTrafficTick.store(tick);
        for (int i = 0; i < 3; ++i)
            gf_queueTrafficLine(lineWithKey(30000));
        ++dropped; // two places were free, three lines came
        gf_takeTrafficLines(2, taken);
    }
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Traffic intake full at 6000 lines, the oldest lines give way");
    EXPECT_EQ(lines[1], "Traffic intake still full, 6005 lines dropped so far");
    EXPECT_EQ(lines[2], "Traffic intake still full, 12005 lines dropped so far");

    // The flood ends: the overflow is over once the tick has made room.
    while (gf_trafficIntakeSize() > kTrafficIntakeRelieved) {
        gf_takeTrafficLines(2, taken);
        gf_queueTrafficLine(lineWithKey(40000));
    }
    lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], fmt::format("Traffic intake overflow over, {} lines dropped", dropped));
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
