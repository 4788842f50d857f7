#include "core/time_texts.hpp"

#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>
#include <string_view>

#include <fmt/format.h>

namespace tamrix {

std::atomic<double> gLastTrafficTime{0.0};
std::atomic<bool> gRealTrafficProfessional{false};

void gf_resetTrafficTime() {
    gLastTrafficTime.store(0.0);
    gRealTrafficProfessional.store(false);
}

namespace {

constexpr std::string_view kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
constexpr std::string_view kWeekdayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

// UTC calendar fields; none outside 1970 .. year 3000, the range the Windows conversion accepts.
std::optional<std::tm> utcFields(int64_t seconds) {
    if (seconds < 0 || seconds > kLastConvertibleTime) return std::nullopt;
    const auto t = static_cast<std::time_t>(seconds);
    std::tm fields{};
    if (gmtime_r(&t, &fields) == nullptr) return std::nullopt;
    return fields;
}

// Monday 1 .. Sunday 7 from the platform's 0 (Sunday) .. 6.
int weekdayNumber(const std::tm& fields) {
    return fields.tm_wday == 0 ? 7 : fields.tm_wday;
}

std::string_view nameIn(const std::string_view* table, int size, int number) {
    return number >= 1 && number <= size ? table[number - 1] : std::string_view("???");
}

} // namespace

std::string gf_timeText(int64_t seconds) {
    const auto fields = utcFields(seconds);
    if (!fields) return "Invalid time";
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}",
                       nameIn(kWeekdayNames, 7, weekdayNumber(*fields)),
                       nameIn(kMonthNames, 12, fields->tm_mon + 1), fields->tm_mday, fields->tm_hour,
                       fields->tm_min, fields->tm_sec, fields->tm_year + 1900);
}

// The pieces are cut from the 24-character time text; "Invalid time" is shorter and has none.
std::string gf_clockText(int64_t seconds) {
    const std::string text = gf_timeText(seconds);
    if (text.size() != 24) return "??:??:??";
    return text.substr(text.size() - 13, 8);
}

std::string gf_dateTextOf(int64_t seconds) {
    const std::string text = gf_timeText(seconds);
    if (text.size() != 24) return "??? ??, ????";
    return fmt::format("{}, {}", text.substr(4, 6), text.substr(20, 4));
}

int64_t gf_systemTime() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int64_t gf_currentTime() {
    if (gRealTrafficProfessional.load(std::memory_order_relaxed)) {
        // The stamp comes straight from a datagram: only a finite value in range may be converted.
        const double stamp = std::trunc(gLastTrafficTime.load(std::memory_order_relaxed));
        if (std::isfinite(stamp) && stamp >= 1.0 && stamp <= static_cast<double>(kLastConvertibleTime))
            return static_cast<int64_t>(stamp);
    }
    return gf_systemTime();
}

std::string gf_utcClock() {
    return gf_clockText(gf_systemTime());
}
std::string gf_simClock() {
    return gf_clockText(gf_currentTime());
}
std::string gf_dateText() {
    return gf_dateTextOf(gf_systemTime());
}

std::pair<int32_t, int32_t> gf_weekdayAndHalfHourAt(int64_t seconds) {
    const auto fields = utcFields(seconds);
    if (!fields) return {-1, -1};
    int32_t slot = 2 * fields->tm_hour;
    if (fields->tm_min > 29 || (fields->tm_min == 29 && fields->tm_sec >= 30)) ++slot;
    return {weekdayNumber(*fields), slot};
}

std::pair<int32_t, int32_t> gf_weekdayAndHalfHour() {
    return gf_weekdayAndHalfHourAt(gf_currentTime());
}

} // namespace tamrix
