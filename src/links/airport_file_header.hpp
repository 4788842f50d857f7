#pragma once
// The head record of a per-airport file as the simulator's facility data fills it: the airport's
// code, name and altitude and its stands. The airport scan keeps more about the file it came
// from (paths, package manifest, publisher) with it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/fixed_code.hpp"
#include "records/stand_record.hpp"

namespace tamrix {

struct AirportFileHeader {
    std::optional<FixedCode<4>> icao;
    std::string airportName;
    int32_t altitude = 0;    // feet
    bool facilities = false; // the stands came from the simulator's facility data
    std::vector<StandRecord> stands;
};

} // namespace tamrix
