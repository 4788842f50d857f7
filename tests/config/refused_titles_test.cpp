#include "config/refused_titles.hpp"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace tamrix;

TEST(RefusedTitles, KeepTheirTextWhenTheCatalogueGoes) {
    // A title taken from a catalogue that is cleared and rebuilt afterwards.
    auto catalogue =
        std::make_unique<std::vector<std::string>>(1, "Airbus A320 Lufthansa D-AIZA (a long title)");
    EXPECT_TRUE(gNotCreatedTitles.insert(catalogue->front()));
    EXPECT_FALSE(gNotCreatedTitles.insert(catalogue->front()));
    catalogue.reset();
    auto rebuilt = std::make_unique<std::vector<std::string>>(1, std::string(64, '#'));
    EXPECT_TRUE(gNotCreatedTitles.contains("Airbus A320 Lufthansa D-AIZA (a long title)"));
    EXPECT_FALSE(gNotCreatedTitles.contains(rebuilt->front()));
    EXPECT_FALSE(gNotCreatedTitles.contains("Airbus A320 Lufthansa D-AIZA"));
    EXPECT_EQ(gNotCreatedTitles.size(), 1U);
}

TEST(RefusedTitlesConcurrency, AddingAndAskingFromSeveralThreads) {
    RefusedTitles titles;
    constexpr int kThreads = 4;
    constexpr int kTitles = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&titles, t] {
            for (int i = 0; i < kTitles; ++i) {
                titles.insert("title " + std::to_string(t) + "/" + std::to_string(i));
                (void)titles.contains("title 0/" + std::to_string(i));
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(titles.size(), static_cast<std::size_t>(kThreads * kTitles));
}
