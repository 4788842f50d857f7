#include "refdata/aircraft_category.hpp"

#include <array>
#include <stdexcept>

#include <fmt/format.h>

namespace tamrix {

std::string_view gf_categoryName(AircraftCategory category) {
    static constexpr std::array<std::string_view, 6> kNames{"Light", "Buzjets",  "Large",
                                                            "Heavy", "HighPerf", "Rotorcraft"};
    const auto value = static_cast<uint32_t>(category);
    if (value >= kNames.size())
        throw std::out_of_range(fmt::format("aircraft category {} out of range", value));
    return kNames[value];
}

} // namespace tamrix
