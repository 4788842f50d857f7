#pragma once
// Half-hour sets: the 48 half-hour slots of a day (slot 2h and 2h + 1 are the two halves of hour
// h), as the airport files record the flights seen at each stand. Texts are either one ascending
// range "a:b" or a list "a,b,c" of slot numbers.

#include <bitset>
#include <optional>
#include <string>
#include <string_view>

namespace tamrix {

using HalfHourSet = std::bitset<48>;

// Reads a range ("3:5", both ends included) or a list ("1,7,47"). Never throws: a bad range gives
// the empty set, a bad list piece is skipped; each problem is one highlighted log line.
HalfHourSet gf_hours2bitset(std::string_view text);
// "a" or "a:b" when the set is one unbroken run; none when it is empty or has a gap.
std::optional<std::string> gf_bitset2HourRanges(const HalfHourSet& slots);
// The set slots in ascending order joined by ","; none when the set is empty.
std::optional<std::string> gf_bitset2HourList(const HalfHourSet& slots);

} // namespace tamrix
