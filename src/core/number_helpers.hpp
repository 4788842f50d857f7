#pragma once
// Number texts for the window and the log: plural suffixes, percentages, float values and
// simulator object ids.

#include <cstdint>
#include <string>
#include <string_view>

namespace tamrix {

// "s" unless the count is 1; a negative count gives "" as well.
std::string_view gf_plural(int32_t count);
std::string_view gf_plural(int64_t count);
std::string_view gf_plural(uint64_t count);

// round(part * 100 / whole), half away from zero; 0 when whole < 1. Throws gsl::narrowing_error
// when the result does not fit a signed 32-bit integer.
int32_t gf_percent(int64_t part, int64_t whole);

// "{:.0f}" for a whole value ("3"), else "{:.1f}" ("2.5").
std::string gf_float2Text(float value);

// Simulator object ids in log lines: decimal with MSFS 2020, lower-case hexadecimal with MSFS 2024.
std::string gf_id2Text(uint32_t objectId);

} // namespace tamrix
