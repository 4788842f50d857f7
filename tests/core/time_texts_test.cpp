#include "core/time_texts.hpp"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

using namespace tamrix;

namespace {

constexpr int64_t kSunday102929 = 1791109769; // Sun 2026-10-04 10:29:29 UTC
constexpr int64_t kSundayLast = 1791158399;   // Sun 2026-10-04 23:59:59
constexpr int64_t kMondayFirst = 1791158400;  // Mon 2026-10-05 00:00:00

void useTrafficTime(double stamp) {
    gLastTrafficTime = stamp;
    gRealTrafficProfessional = true;
}

bool nearSystemTime(int64_t t) {
    return std::llabs(t - gf_systemTime()) <= 2;
}

} // namespace

TEST(TimeTexts, TimeTextFields) {
    EXPECT_EQ(gf_timeText(0), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(gf_timeText(1796696613), "Tue Dec 08 02:23:33 2026");
    EXPECT_EQ(gf_timeText(kSunday102929), "Sun Okt 04 10:29:29 2026");
    EXPECT_EQ(gf_timeText(kLastConvertibleTime), "Wed Dec 31 23:59:59 3000");
    EXPECT_EQ(gf_clockText(kSunday102929), "10:29:29");
    EXPECT_EQ(gf_dateTextOf(1796696613), "Dec 08, 2026");
}

TEST(TimeTexts, TimesOutsideTheConvertibleRangeNeverThrow) {
    for (const int64_t t : {int64_t{-1}, kLastConvertibleTime + 1, std::numeric_limits<int64_t>::min(),
                            std::numeric_limits<int64_t>::max()}) {
        EXPECT_EQ(gf_timeText(t), "Invalid time");
        EXPECT_EQ(gf_clockText(t), "??:??:??");
        EXPECT_EQ(gf_dateTextOf(t), "??? ??, ????");
        EXPECT_EQ(gf_weekdayAndHalfHourAt(t), std::make_pair(-1, -1));
    }
}

TEST(TimeTexts, SystemClockTexts) {
    EXPECT_TRUE(std::regex_match(gf_utcClock(), std::regex(R"(\d\d:\d\d:\d\d)"))) << gf_utcClock();
    EXPECT_TRUE(std::regex_match(gf_dateText(), std::regex(R"([A-Z][a-z]{2} \d\d, \d{4})"))) << gf_dateText();
}

TEST(TimeTexts, WeekdayAndHalfHourSlots) {
    EXPECT_EQ(gf_weekdayAndHalfHourAt(kSunday102929), std::make_pair(7, 20));
    EXPECT_EQ(gf_weekdayAndHalfHourAt(kSunday102929 + 1), std::make_pair(7, 21));
    EXPECT_EQ(gf_weekdayAndHalfHourAt(kSunday102929 - 29 * 60 - 29), std::make_pair(7, 20)); // 10:00:00
    EXPECT_EQ(gf_weekdayAndHalfHourAt(kSunday102929 + 31), std::make_pair(7, 21));           // 10:30:00
    EXPECT_EQ(gf_weekdayAndHalfHourAt(kSundayLast), std::make_pair(7, 47));
    EXPECT_EQ(gf_weekdayAndHalfHourAt(kMondayFirst), std::make_pair(1, 0));
    EXPECT_EQ(gf_weekdayAndHalfHourAt(0), std::make_pair(4, 0)); // a Thursday
}

TEST(TimeTexts, TrafficTimeCountsWithTheProfessionalEdition) {
    gLastTrafficTime = static_cast<double>(kSunday102929) + 1.5;
    EXPECT_TRUE(nearSystemTime(gf_currentTime())); // the flag is still clear

    useTrafficTime(static_cast<double>(kSunday102929) + 1.5);
    EXPECT_EQ(gf_currentTime(), kSunday102929 + 1);
    EXPECT_EQ(gf_simClock(), "10:29:30");
    EXPECT_EQ(gf_weekdayAndHalfHour(), std::make_pair(7, 21));

    useTrafficTime(1.0);
    EXPECT_EQ(gf_currentTime(), 1);
    useTrafficTime(static_cast<double>(kLastConvertibleTime) + 0.9);
    EXPECT_EQ(gf_currentTime(), kLastConvertibleTime);
}

TEST(TimeTexts, UnusableTrafficStampsFallBackToTheSystemClock) {
    for (const double stamp :
         {0.0, 0.9, -5.0, 1e20, -1e20, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          static_cast<double>(kLastConvertibleTime) + 1}) {
        useTrafficTime(stamp);
        EXPECT_TRUE(nearSystemTime(gf_currentTime())) << stamp;
        EXPECT_NE(gf_simClock(), "??:??:??") << stamp;
        EXPECT_NE(gf_weekdayAndHalfHour().first, -1) << stamp;
    }
}

// The weekday and the slot come from one reading of the time: while the traffic time jumps
// between Sunday 23:59:59 and Monday 00:00:00, a pair never mixes the two days.
TEST(TimeTextsConcurrency, WeekdayAndSlotComeFromOneInstant) {
    gRealTrafficProfessional = true;
    gLastTrafficTime = static_cast<double>(kSundayLast);
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        started = true;
        for (int i = 0; !done.load(); ++i)
            gLastTrafficTime = static_cast<double>(i % 2 == 0 ? kMondayFirst : kSundayLast);
    });
    while (!started.load())
        std::this_thread::yield();
    int mixed = 0;
    for (int i = 0; i < 200000; ++i) {
        const auto pair = gf_weekdayAndHalfHour();
        if (pair != std::make_pair(7, 47) && pair != std::make_pair(1, 0)) ++mixed;
    }
    done = true;
    writer.join();
    EXPECT_EQ(mixed, 0);
}
