#include "links/sim_events.hpp"

#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "links/sim_test_support.hpp"

using namespace tamrix;

namespace {

class SimEvents : public simtest::FreshSim {};
class SimEventsConcurrency : public simtest::FreshSim {};

TEST_F(SimEvents, AreDrainedInPostingOrderAndTheListIsEmptiedEvenWhenTheWorkFails) {
    gf_reserveSimEvents(256);
    gf_postSimEvent({100, 10001, 0, kSimEventCreatedLive, 0.0, 12.5});
    gf_postSimEvent({101, 0, 0, kSimEventRemoved, 0.0, 0.0});
    gf_postSimEvent({0, 10002, 0, kSimEventCreationRefused, 0.0, 0.0});
    std::vector<uint32_t> kinds;
    gf_drainSimEvents([&](const std::vector<SimEvent>& events) {
        for (const auto& e : events) kinds.push_back(e.kind);
        EXPECT_DOUBLE_EQ(events[0].value2, 12.5);
    });
    EXPECT_EQ(kinds, (std::vector<uint32_t>{0, 2, 6}));
    EXPECT_EQ(gf_pendingSimEvents(), 0u);

    gf_postSimEvent({102, 1, 0, kSimEventInRange, 300.0, 0.0});
    EXPECT_THROW(gf_drainSimEvents([](const std::vector<SimEvent>&) { throw std::runtime_error("tick failed"); }),
                 std::runtime_error);
    EXPECT_EQ(gf_pendingSimEvents(), 0u);
    gf_postSimEvent({103, 1, 0, kSimEventInRange, 300.0, 0.0});
    gf_clearSimEvents();
    EXPECT_EQ(gf_pendingSimEvents(), 0u);
}

TEST_F(SimEventsConcurrency, PostsFromSeveralThreadsWhileTheTickDrainsAllArriveOnce) {
    constexpr int kThreads = 4;
    constexpr uint32_t kPerThread = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([t] {
            for (uint32_t i = 0; i < kPerThread; ++i)
                gf_postSimEvent({i, static_cast<uint32_t>(t), 0, kSimEventRemoved, 0.0, 0.0});
        });
    std::vector<std::vector<uint32_t>> seen(kThreads);
    const auto drain = [&] {
        gf_drainSimEvents([&](const std::vector<SimEvent>& events) {
            for (const auto& e : events) seen[e.key].push_back(e.objectId);
        });
    };
    for (int i = 0; i < 200; ++i) drain();
    for (auto& p : posters) p.join();
    drain();
    for (const auto& ids : seen) {
        ASSERT_EQ(ids.size(), kPerThread);
        for (uint32_t i = 0; i < kPerThread; ++i) ASSERT_EQ(ids[i], i); // each poster's order kept
    }
}

} // namespace
