#pragma once
// The simulator's stock aircraft that AI liveries borrow through "base_container": the stock
// folder name gives the ICAO type designator of the livery. Fixed in the program, read-only.

#include <string>
#include <string_view>
#include <unordered_map>

namespace tamrix {

// The operator code of generic liveries, which belong to no airline.
inline constexpr std::string_view kGenericOperatorCode = "ZZZ";

// Stock folder name (compared exactly, case-sensitive) -> ICAO type designator.
extern const std::unordered_map<std::string, std::string> gStockAircraftTable;

// The type designator of a stock folder name; empty when the name is not in the table.
std::string gf_stockAircraftType(std::string_view folderName);

} // namespace tamrix
