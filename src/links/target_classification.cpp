#include "links/target_classification.hpp"

#include <algorithm>
#include <array>
#include <set>
#include <string>

namespace tamrix {

bool gf_isNonAircraftType(std::string_view type) {
    static const std::set<std::string, std::less<>> kNonAircraftTypes{
        "BALL", "EMER", "GLID", "GRND", "GND", "PARA", "SERV", "SHIP", "VENT", "TWR"};
    if (type.size() > 4) return true;
    return kNonAircraftTypes.contains(type);
}

bool gf_isAircraftTarget(std::string_view type, std::string_view category) {
    static constexpr std::array<std::string_view, 5> kExcludedCategories{"B1", "B2", "B4", "C1", "C2"};
    if (type.empty() || type == "null") return false;
    if (std::ranges::find(kExcludedCategories, category) != kExcludedCategories.end()) return false;
    return !gf_isNonAircraftType(type);
}

} // namespace tamrix
