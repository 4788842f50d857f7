#include "core/number_helpers.hpp"

#include <cmath>
#include <limits>

#include <fmt/format.h>
#include <gsl/narrow>

#include "core/run_state.hpp"

namespace tamrix {

std::string_view gf_plural(int32_t count) {
    return count == 1 || count < 0 ? "" : "s";
}
std::string_view gf_plural(int64_t count) {
    return count == 1 || count < 0 ? "" : "s";
}
std::string_view gf_plural(uint64_t count) {
    return count == 1 ? "" : "s";
}

int32_t gf_percent(int64_t part, int64_t whole) {
    if (whole < 1) return 0;
    const double rounded = std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    // Checked before the conversion: converting an out-of-range double is undefined.
    if (rounded < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<int32_t>::max()))
        throw gsl::narrowing_error();
    return static_cast<int32_t>(rounded);
}

std::string gf_float2Text(float value) {
    return std::fmod(value, 1.0f) == 0.0f ? fmt::format("{:.0f}", value) : fmt::format("{:.1f}", value);
}

std::string gf_id2Text(uint32_t objectId) {
    return gIsMsfs2020.load(std::memory_order_relaxed) ? fmt::format("{}", objectId)
                                                       : fmt::format("{:x}", objectId);
}

} // namespace tamrix
