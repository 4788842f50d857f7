#pragma once
// Writes a synthetic livery catalogue of the size the program is built for: the reference
// database of its models, operators and registration prefixes ("input/dbase.enc"), the scanned
// liveries ("output/LiveriesScanned.xml"), the AIG regcode file ("input/AIG-regcodes.enc") and a
// user regcode file ("input/my_regcodes/user_regcodes.txt"), plus a traffic mix of aircraft to
// match against it. The same CatalogueShape always gives the same files.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tamrix::datagen {

struct CatalogueShape {
    std::size_t liveries = 40000;
    std::size_t operators = 2000;
    std::size_t models = 320;
    std::size_t aigEntries = 7000;
    std::size_t regcodesPerAigEntry = 4;
    std::size_t userLines = 1000;
    std::size_t sampleAircraft = 1000;
    uint32_t seed = 1;
};

// One aircraft as the traffic source would report it (codes as texts; empty = none).
struct SampleAircraft {
    std::string operatorCode;
    std::string secondOperatorCode;
    std::string modelCode;
    std::string registration;
    bool cargo = false;
};

struct GeneratedCatalogue {
    std::size_t liveries = 0;      // livery elements written (repeats included)
    std::size_t aigRegcodes = 0;   // registrations named by the AIG file
    std::size_t inlineRegcodes = 0; // liveries with their own registration
    std::vector<SampleAircraft> aircraft;
};

// Writes the files below `folder` (created when missing; the "output/info" and "output/errors"
// folders too). Throws std::runtime_error when a file cannot be written.
GeneratedCatalogue writeCatalogue(const std::filesystem::path& folder, const CatalogueShape& shape = {});

} // namespace tamrix::datagen
