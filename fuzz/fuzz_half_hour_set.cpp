// Half-hour set texts come from airport files that users edit by hand: any text must read without
// harm, and whatever the writers make of the result must read back to the same set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/half_hour_set.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tamrix::HalfHourSet slots = tamrix::gf_hours2bitset(text);
    if (const auto list = tamrix::gf_bitset2HourList(slots)) {
        if (tamrix::gf_hours2bitset(*list) != slots) std::abort();
    } else if (slots.any()) {
        std::abort();
    }
    if (const auto range = tamrix::gf_bitset2HourRanges(slots)) {
        if (tamrix::gf_hours2bitset(*range) != slots) std::abort();
    }
    return 0;
}
