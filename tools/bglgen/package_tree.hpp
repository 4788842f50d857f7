#pragma once
// Lays out add-on packages of a simulator installation as the airports scan walks them: a
// package folder with its "manifest.json" and scenery folders holding one airport BGL file (and,
// if wanted, a scenery file without airports beside it).

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace bglgen {

struct AirportPackage {
    std::string folderName;                    // e.g. "myco-airport-eham-amsterdam"
    std::string manifest;                      // the manifest's text; empty: no manifest
    std::string bglPath = "scenery/airport.bgl"; // below the package folder
    std::string code;                          // packed into the BGL's airport record
    uint32_t spots = 4;                        // parking spots "g1" .. of the airport
    uint32_t helipads = 0;
    double latitude = 50.0;
    double longitude = 8.0;
    bool objectsFile = false; // also "scenery/objects.bgl", a section of another kind
};

// The manifest text with the four fields the program reads.
std::string manifestText(std::string_view title, std::string_view manufacturer, std::string_view creator,
                         std::string_view version);

// Writes the package below `parent`; returns its folder. Throws std::runtime_error when a file
// cannot be written.
std::filesystem::path writeAirportPackage(const std::filesystem::path& parent, const AirportPackage& package);

} // namespace bglgen
