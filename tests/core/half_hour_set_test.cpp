#include "core/half_hour_set.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "captured_log.hpp"

using namespace tamrix;
using testsupport::CapturedLog;

namespace {

HalfHourSet slots(std::initializer_list<int> numbers) {
    HalfHourSet s;
    for (const int n : numbers)
        s.set(static_cast<std::size_t>(n));
    return s;
}

} // namespace

TEST(HalfHourSet, ReadsRanges) {
    CapturedLog log;
    EXPECT_EQ(gf_hours2bitset("3:5"), slots({3, 4, 5}));
    EXPECT_EQ(gf_hours2bitset("5:5"), slots({5}));
    EXPECT_EQ(gf_hours2bitset(" 3 : 5 "), slots({3, 4, 5}));
    EXPECT_EQ(gf_hours2bitset("0:47"), HalfHourSet().set());
    EXPECT_EQ(gf_hours2bitset("3h:5x"), slots({3, 4, 5}));
    EXPECT_EQ(gf_hours2bitset(""), HalfHourSet());
    EXPECT_TRUE(log.lines().empty());
}

TEST(HalfHourSet, BadRangesGiveTheEmptySetAndOneLine) {
    CapturedLog log;
    EXPECT_EQ(gf_hours2bitset("5:3"), HalfHourSet());
    EXPECT_EQ(gf_hours2bitset("1:2:3"), HalfHourSet());
    EXPECT_EQ(gf_hours2bitset("3:"), HalfHourSet());
    EXPECT_EQ(gf_hours2bitset(":5"), HalfHourSet());
    EXPECT_EQ(gf_hours2bitset(" : "), HalfHourSet());
    EXPECT_EQ(gf_hours2bitset("3:48"), HalfHourSet());
    EXPECT_EQ(gf_hours2bitset("x:5"), HalfHourSet());
    EXPECT_EQ(gf_hours2bitset("3:99999999999"), HalfHourSet());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "==> gf_hours2bitset descending range not allowed (5:3 in 5:3)",
                               "==> gf_hours2bitset more than one colon char in: 1:2:3",
                               "==> gf_hours2bitset invalid range format in 3:",
                               "==> gf_hours2bitset invalid range format in :5",
                               "==> gf_hours2bitset invalid range format in  : ",
                               "==> operator () invalid hour '48' in 3:48",
                               "==> operator () invalid hour 'x' in x:5",
                               "==> operator () invalid hour '99999999999' in 3:99999999999",
                           }));
}

TEST(HalfHourSet, ListsSkipBadPieces) {
    CapturedLog log;
    EXPECT_EQ(gf_hours2bitset("1,x,47"), slots({1, 47}));
    EXPECT_EQ(gf_hours2bitset("1,"), slots({1}));
    EXPECT_EQ(gf_hours2bitset("48,-1,7h, 9 ,99999999999,-99999999999"), slots({7, 9}));
    EXPECT_EQ(gf_hours2bitset("0,0,-0"), slots({0}));
    EXPECT_EQ(gf_hours2bitset("+5"), HalfHourSet());
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "==> operator () invalid hour 'x' in 1,x,47",
                  "==> operator () invalid hour '' in 1,",
                  "==> operator () invalid hour '48' in 48,-1,7h, 9 ,99999999999,-99999999999",
                  "==> operator () invalid hour '-1' in 48,-1,7h, 9 ,99999999999,-99999999999",
                  "==> operator () invalid hour '99999999999' in 48,-1,7h, 9 ,99999999999,-99999999999",
                  "==> operator () invalid hour '-99999999999' in 48,-1,7h, 9 ,99999999999,-99999999999",
                  "==> operator () invalid hour '+5' in +5",
              }));
}

TEST(HalfHourSet, ALongDamagedListIsNamedForItsFirstBadPiecesThenCounted) {
    CapturedLog log;
    std::string damaged = "3";
    for (int i = 0; i < 500; ++i) damaged += ",x";
    EXPECT_EQ(gf_hours2bitset(damaged), slots({3}));
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines.back(), "==> gf_hours2bitset 492 more invalid hours in that list");
}

TEST(HalfHourSet, Writers) {
    EXPECT_EQ(gf_bitset2HourRanges(slots({3, 4, 5, 6})), "3:6");
    EXPECT_EQ(gf_bitset2HourRanges(slots({9})), "9");
    EXPECT_EQ(gf_bitset2HourRanges(HalfHourSet().set()), "0:47");
    EXPECT_EQ(gf_bitset2HourRanges(slots({3, 5})), std::nullopt);
    EXPECT_EQ(gf_bitset2HourRanges(HalfHourSet()), std::nullopt);
    EXPECT_EQ(gf_bitset2HourList(slots({3, 5})), "3,5");
    EXPECT_EQ(gf_bitset2HourList(slots({0, 47})), "0,47");
    EXPECT_EQ(gf_bitset2HourList(HalfHourSet()), std::nullopt);
}

TEST(HalfHourSet, WrittenTextsReadBackToTheSameSet) {
    CapturedLog log;
    for (uint64_t seed = 1; seed < 2000; ++seed) {
        const HalfHourSet set((seed * 0x9E3779B97F4A7C15ull) >> (seed % 40));
        if (const auto list = gf_bitset2HourList(set)) {
            EXPECT_EQ(gf_hours2bitset(*list), set) << *list;
        }
        if (const auto range = gf_bitset2HourRanges(set)) {
            EXPECT_EQ(gf_hours2bitset(*range), set) << *range;
        }
    }
    for (int first = 0; first < 48; ++first)
        for (int last = first; last < 48; ++last) {
            const auto text = std::to_string(first) + ":" + std::to_string(last);
            EXPECT_EQ(gf_bitset2HourRanges(gf_hours2bitset(text)),
                      first == last ? std::to_string(first) : text);
        }
    EXPECT_TRUE(log.lines().empty());
}
