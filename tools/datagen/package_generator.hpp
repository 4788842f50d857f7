#pragma once
// Writes a synthetic tree of AI traffic packages of the size the livery scan is built for: a
// Community folder holding one AIG-style package of "aircraft.cfg" files (mostly UTF-8, some
// UTF-16 and Windows-1252; a few faulty sections; texture folders), and the reference database
// ("input/dbase.enc") whose models, airlines and registrations the files name. The same shape
// always gives the same tree.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace tamrix::datagen {

struct PackageShape {
    std::size_t files = 4000;
    // The mix of file sizes gives about ten sections per file (some 40,000 for 4,000 files).
    std::size_t operators = 2000;
    std::size_t models = 320;
    std::size_t registrations = 40000;
    uint32_t seed = 1;
};

struct GeneratedPackages {
    std::filesystem::path community;   // the Community folder
    std::filesystem::path packageFolder; // the one package in it
    std::size_t files = 0;
    std::size_t sections = 0;
    std::size_t bytes = 0;
};

// Writes below `folder` (created when missing): Community/..., input/dbase.enc, output/info and
// output/errors. Throws std::runtime_error when a file cannot be written.
GeneratedPackages writePackageTree(const std::filesystem::path& folder, const PackageShape& shape = {});

} // namespace tamrix::datagen
