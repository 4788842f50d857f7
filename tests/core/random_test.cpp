#include "core/random.hpp"

#include <algorithm>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace tamrix;

namespace {
bool on() {
    return true;
}
bool off() {
    return false;
}
} // namespace

TEST(Random, OffUntilTheSwitchIsSetAndThenDeterministic) {
    EXPECT_FALSE(gf_randomIsOn());
    for (const auto isOn : {static_cast<bool (*)()>(nullptr), &off}) {
        gf_setRandomSwitch(isOn);
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(gf_randomIndex(10), 0u);
        std::vector<uint16_t> indices{5, 4, 3, 2, 1};
        gf_shuffleIndices(indices);
        EXPECT_EQ(indices, (std::vector<uint16_t>{5, 4, 3, 2, 1}));
    }
}

TEST(Random, SmallCountsDoNotDraw) {
    gf_setRandomSwitch(&on);
    const std::mt19937 before = gf_randomEngine();
    EXPECT_EQ(gf_randomIndex(0), 0u);
    EXPECT_EQ(gf_randomIndex(1), 0u);
    std::vector<uint16_t> one{7};
    gf_shuffleIndices(one);
    EXPECT_EQ(gf_randomVariation(10, 0), 10);
    EXPECT_EQ(gf_randomVariation(10, -5), 10);
    EXPECT_TRUE(before == gf_randomEngine());
}

TEST(Random, IndexAndShuffleAreUniformWhenOn) {
    gf_setRandomSwitch(&on);
    std::vector<int> counts(5, 0);
    for (int i = 0; i < 5000; ++i) {
        const auto index = gf_randomIndex(5);
        ASSERT_LT(index, 5u);
        ++counts[index];
    }
    for (const int c : counts)
        EXPECT_GT(c, 800);

    std::vector<uint16_t> indices(8);
    std::iota(indices.begin(), indices.end(), uint16_t{0});
    std::set<std::vector<uint16_t>> orders;
    for (int i = 0; i < 50; ++i) {
        auto shuffled = indices;
        gf_shuffleIndices(shuffled);
        EXPECT_TRUE(std::is_permutation(shuffled.begin(), shuffled.end(), indices.begin()));
        orders.insert(shuffled);
    }
    EXPECT_GT(orders.size(), 40u);
}

TEST(Random, VariationIsExactlyThePercentageUpOrDown) {
    int up = 0;
    for (int i = 0; i < 1000; ++i) {
        const double v = gf_randomVariation(200, 10);
        ASSERT_TRUE(v == 220 || v == 180) << v;
        up += v > 200 ? 1 : 0;
    }
    EXPECT_GT(up, 400);
    EXPECT_LT(up, 600);
}

TEST(RandomConcurrency, EveryThreadDrawsItsOwnSequence) {
    gf_setRandomSwitch(&on);
    std::vector<std::vector<std::size_t>> draws(4);
    std::vector<std::thread> threads;
    for (auto& d : draws)
        threads.emplace_back([&d] {
            for (int i = 0; i < 1000; ++i)
                d.push_back(gf_randomIndex(1u << 30));
        });
    for (auto& t : threads)
        t.join();
    for (std::size_t i = 0; i < draws.size(); ++i)
        for (std::size_t j = i + 1; j < draws.size(); ++j)
            EXPECT_NE(draws[i], draws[j]);
}
