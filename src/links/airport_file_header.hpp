#pragma once
// The head record of a per-airport file: what the writer of airport files is given for one file.
// The simulator's facility data fill the code, name, altitude and stands; the airport scan adds
// where the stands came from and who published them; saving the learned file fills the rest.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/fixed_code.hpp"
#include "records/stand_record.hpp"

namespace tamrix {

struct AirportFileHeader {
    std::optional<FixedCode<4>> icao; // written as four blanks when not set
    std::string airportName;
    int32_t altitude = 0;    // feet
    bool facilities = false; // the stands came from the simulator's facility data
    std::string BGLpath;     // the scenery file or package folder the stands came from, as text
    std::filesystem::path sourcePath; // the same as a path; not written
    std::string title;                // the package manifest's title; not written
    std::string publisher;            // "stock", "simaddon", another publisher, or empty
    std::string version;              // the scenery package's version
    std::string manufacturer;
    std::string creator;
    uint8_t package = 0;   // a package manifest was found: title .. creator are known
    int32_t Qf_real = -1;  // quality factors 0 .. 100; -1 = none
    int32_t Qf_soft = -1;
    std::vector<StandRecord> stands;
};

} // namespace tamrix
