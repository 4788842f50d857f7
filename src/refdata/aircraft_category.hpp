#pragma once
// The aircraft categories shared by the model lookups, the livery catalogue and live traffic.

#include <cstdint>
#include <string_view>

namespace tamrix {

enum class AircraftCategory : uint32_t {
    Light = 0, // also every model that no category list of the dbase names
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5,
};

// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; throws std::out_of_range for a
// value outside 0 to 5.
std::string_view gf_categoryName(AircraftCategory category);

} // namespace tamrix
