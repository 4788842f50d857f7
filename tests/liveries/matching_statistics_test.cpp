// The matching summary and the list of aircraft without livery, as they appear in the log.
#include <set>

#include <fmt/format.h>

#include "liveries/matching_statistics.hpp"
#include "liveries_test_support.hpp"

namespace liveriestest {
namespace {

using namespace tamrix;

class MatchingStatisticsTest : public LiveriesTest {
protected:
    // The log lines after the header.
    static std::vector<std::string> reportLines() {
        auto lines = logLines();
        lines.erase(lines.begin());
        return lines;
    }
};

TEST_F(MatchingStatisticsTest, NothingBeforeTheFirstLiveMatch) {
    gNotCreatedLines.insert("Fx A320 Broken");
    gf_logMatchingSummary();
    EXPECT_TRUE(reportLines().empty());
}

TEST_F(MatchingStatisticsTest, SummaryListsEveryStepAndTheRefusedTitles) {
    gMatchStepCounts[3] = 1;
    gf_logMatchingSummary();
    const std::string stars(31, '*');
    EXPECT_EQ(reportLines(), (std::vector<std::string>{"", stars + " live traffic livery matching summary " + stars,
                                                       "Matches at step: ", "  0: 0", "  1: 0", "  2: 0", "  3: 1",
                                                       "  4: 0", "  5: 0", "  6: 0", std::string(100, '*'), ""}));
}

TEST_F(MatchingStatisticsTest, SummaryShowsWhatCouldNotBeCreated) {
    gMatchStepCounts = {2, 0, 5, 0, 1, 0, 0};
    gNotCreatedLines.insert("Fx A320 Broken");
    gf_logMatchingSummary();
    const auto lines = reportLines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[3], "  0: 2");
    EXPECT_EQ(lines[5], "  2: 5");
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], "Could not be created");
    EXPECT_EQ(lines[12], "  Fx A320 Broken");
    EXPECT_EQ(lines[13], std::string(100, '*'));
    // Reporting empties nothing.
    EXPECT_EQ(gNotCreatedLines.size(), 1u);
    EXPECT_EQ(gMatchStepCounts[2], 5);
}

TEST_F(MatchingStatisticsTest, NoMatchListHasAHeadingOnlyWhenNotEmpty) {
    gf_logNoMatchList();
    EXPECT_TRUE(reportLines().empty());

    gNoMatchLines.insert("DLH     MD11    DLH123   D-ALCA");
    gNoMatchLines.insert("EZY     E195    EZY45    G-ABCD");
    gf_logNoMatchList();
    const auto lines = reportLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "No match found for:");
    EXPECT_EQ((std::set<std::string>{lines[2], lines[3]}),
              (std::set<std::string>{"DLH     MD11    DLH123   D-ALCA", "EZY     E195    EZY45    G-ABCD"}));
    EXPECT_EQ(lines[4], "");
}

// The descriptions hold callsigns and registrations as the network sent them. Each report shows
// the aircraft since the last one, within a bound, as UTF-8 text.
TEST_F(MatchingStatisticsTest, NoMatchListIsCleanBoundedAndStartsAnewAfterEachReport) {
    using namespace std::string_literals;
    gf_noteNoMatch("DLH     MD11    DLH\0\x01\xFF  D-ALCA"s);
    gf_logNoMatchList();
    EXPECT_EQ(reportLines(),
              (std::vector<std::string>{"", "No match found for:", "DLH     MD11    DLH???  D-ALCA", ""}));
    EXPECT_TRUE(gNoMatchLines.empty());

    for (std::size_t i = 0; i < kMaxNoMatchLines + 5; ++i)
        gf_noteNoMatch(fmt::format("EZY     E195    EZY{:<5} G-ABCD", i));
    gf_noteNoMatch("EZY     E195    EZY0     G-ABCD"); // one already listed counts once
    gf_logNoMatchList();
    auto lines = reportLines();
    ASSERT_EQ(lines.size(), 4 + 2 + kMaxNoMatchLines + 2);
    EXPECT_EQ(lines[4 + 2 + kMaxNoMatchLines], "... and 5 more");

    gf_logNoMatchList();
    EXPECT_EQ(reportLines().size(), lines.size()) << "nothing since the last report";
}

} // namespace
} // namespace liveriestest
