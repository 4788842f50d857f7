// What the scan collects besides the liveries: line formats, the claiming of titles, clearing,
// and adds from many scan threads at once.
#include <atomic>
#include <thread>

#include <fmt/format.h>

#include "liveries/scan_collectors.hpp"
#include "liveries_test_support.hpp"

namespace liveriestest {
namespace {

using namespace tamrix;

class ScanCollectors : public LiveriesTest {};
class ScanCollectorsConcurrency : public LiveriesTest {};

TEST_F(ScanCollectors, LineFormats) {
    lf_addInvalidAirline("XYZ", "Community/pkg/aircraft.cfg", "[fltsim.3]");
    lf_addInvalidModel("QQQQ", "Community/pkg/aircraft.cfg");
    lf_addFixLine("fix 2");
    lf_addFixLine("fix 1");
    EXPECT_EQ(gInvalidAirlineLines.snapshot().front(), "XYZ          in Community/pkg/aircraft.cfg [fltsim.3]");
    EXPECT_EQ(gInvalidModelLines.snapshot().front(), "QQQQ             in Community/pkg/aircraft.cfg");
    EXPECT_EQ(gFixLines.snapshot(), (std::vector<std::string>{"fix 2", "fix 1"}));
}

TEST_F(ScanCollectors, ATitleMakesOneLiveryPerScan) {
    const LiveryKey key{3, 0, 7, 1, 0};
    const LiveryData first = lf_makeLiveryData(2, key, "Fx A320 Title", "G-ABCD", "first taken");
    EXPECT_EQ(first.title, "Fx A320 Title");
    EXPECT_EQ(first.regcode, "G-ABCD");
    EXPECT_EQ(first.key, key);
    EXPECT_EQ(first.priority, 2);
    const LiveryData second = lf_makeLiveryData(1, key, "Fx A320 Title", "G-ABCE", "second taken");
    EXPECT_TRUE(second.title.empty() && second.regcode.empty());
    EXPECT_EQ(gIncompleteSectionLines.snapshot(), std::list<std::string>{"second taken"});
    EXPECT_EQ(second.key, LiveryKey{});
    EXPECT_TRUE(lf_isIncompleteLivery(second));

    lf_addIncompleteSectionLine("line");
    gEmptyCfgLines.add("empty");
    gDontUseTitles.push_back("Dont");
    lf_clearScanLists();
    EXPECT_EQ(gScanTitles.size(), 0u);
    EXPECT_EQ(gIncompleteSectionLines.size(), 0u);
    EXPECT_EQ(gEmptyCfgLines.size(), 0u);
    EXPECT_TRUE(gDontUseTitles.empty());
    EXPECT_FALSE(lf_makeLiveryData(1, key, "Fx A320 Title", "", "").title.empty());
}

TEST_F(ScanCollectorsConcurrency, ManyScanThreadsAddAndClaimAtOnce) {
    constexpr int kThreads = 16;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    std::atomic<int> kept{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &kept] {
            for (int i = 0; i < kPerThread; ++i) {
                lf_addInvalidCfgLine(fmt::format("cfg {} {}", t, i));
                lf_addFixLine(fmt::format("fix {} {}", t, i));
                // Every title is offered by two threads; one of them keeps it.
                const std::string title = fmt::format("title {}", (t / 2) * kPerThread + i);
                if (!lf_makeLiveryData(1, LiveryKey{1, 0, 1, 0, 0}, title, "", "").title.empty()) ++kept;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(gInvalidCfgLines.size(), static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_EQ(gFixLines.take().size(), static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_EQ(gFixLines.size(), 0u);
    EXPECT_EQ(kept.load(), kThreads / 2 * kPerThread);
    EXPECT_EQ(gScanTitles.size(), static_cast<std::size_t>(kThreads / 2 * kPerThread));
}

} // namespace
} // namespace liveriestest
