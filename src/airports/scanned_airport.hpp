#pragma once
// What the airports scan knows about one airport it found in the simulator's packages: where it
// came from (the BGL file or package folder and its package manifest), who published it, its
// code and altitude, and the stands read for it. The link-and-generate step turns it into a link
// file or an airport file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/fixed_code.hpp"
#include "records/stand_record.hpp"

namespace tamrix {

// The four fields of a package's "manifest.json" the program reads.
struct PackageManifest {
    std::string title;
    std::string version; // "package_version", or "version" when that is missing or empty
    std::string manufacturer;
    std::string creator;

    bool operator==(const PackageManifest&) const = default;
};

struct ScannedAirport {
    std::optional<FixedCode<4>> icao;
    std::filesystem::path sourcePath; // the BGL file or the package folder
    std::string BGLpath;              // the source path as UTF-8 text
    // The folder the scan searched: only the source path below it names the airport, its
    // publisher and its package (a user's folder named like an airport says nothing). Empty: the
    // whole path counts.
    std::filesystem::path scannedFolder;
    std::string publisher;
    std::optional<PackageManifest> package; // set once the package's manifest was read
    std::string airportName;                // from the simulator's facility data
    int32_t altitude = 0;                   // feet
    bool facilities = false;                // the stands came from the simulator's facility data
    std::vector<StandRecord> stands;
};

} // namespace tamrix
