#pragma once
// Package manifests ("manifest.json" in a package's top folder): finding the one above a path,
// reading its title, version, manufacturer and creator, and from them and the path the
// publisher and the airport code of a scanned airport.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "airports/scanned_airport.hpp"
#include "core/fixed_code.hpp"

namespace tamrix {

// The manifest of the package that holds the path: the folder itself when the path is one, else
// its parent, then up to six ancestors, none of them the scanned folder or above it (when one is
// given). Any failure (listing, reading, JSON) is logged as "exception in gf_searchManifest: {}"
// and gives no result. Never throws.
std::optional<PackageManifest> gf_searchManifest(const std::filesystem::path& path,
                                                 const std::filesystem::path& scannedFolder = {});
// The same for a path the caller knows to be a file (a scenery file the walk found): the search
// starts at its folder without a look at the path itself.
std::optional<PackageManifest> gf_searchManifestAboveFile(const std::filesystem::path& file,
                                                          const std::filesystem::path& scannedFolder = {});
// The text of the path relative to the scanned folder ("pkg/scenery/a.bgl"); the whole path as
// text when no folder is given.
std::string gf_pathTextBelow(const std::filesystem::path& path, const std::filesystem::path& scannedFolder);
// The regular file named exactly "manifest.json" directly in the folder; empty when none or
// when the path is no folder. Throws std::filesystem::filesystem_error when listing fails.
// While a ManifestSearchScope lives on the thread, each folder is looked at only once.
std::filesystem::path lf_findManifestIn(const std::filesystem::path& folder);

// Held by a scan on its thread: the packages' folders do not change meanwhile, and a package
// with many files would otherwise have the same folders looked at for each of them.
class ManifestSearchScope {
public:
    ManifestSearchScope();
    ~ManifestSearchScope();
    ManifestSearchScope(const ManifestSearchScope&) = delete;
    ManifestSearchScope& operator=(const ManifestSearchScope&) = delete;

    struct PathHash {
        std::size_t operator()(const std::filesystem::path& path) const noexcept {
            return std::filesystem::hash_value(path);
        }
    };

private:
    std::unordered_map<std::filesystem::path, std::filesystem::path, PathHash> m_found;
    bool m_active = false;
};
// The manifest's fields; no result when the file cannot be read, is empty or its top level is
// no JSON object. Throws nlohmann::json::exception for malformed JSON or a key that holds no text.
std::optional<PackageManifest> gf_readManifest(const std::filesystem::path& file);
// The same over the file's lines, which are joined without separators.
std::optional<PackageManifest> gf_manifestFromLines(std::span<const std::string> lines);
std::optional<PackageManifest> gf_manifestFromText(std::string_view text);

// Fills the airport's publisher when it can: "simaddon" for the stock markers in the source
// path below the scanned folder, else a known publisher named there, the manifest's manufacturer
// or its creator (the manifest is searched and kept when the airport has none yet). Scan-log
// lines say which.
void gf_detectPublisher(ScannedAirport& airport);

// The airport code of a BGL file: a known code in its path below the scanned folder, its
// 4-character stem, or a code in its package's title. A code that is found but not a supported
// airport sets notSupported to 1. Every step is written to the scan log; failures end in no
// result. Never throws.
std::optional<FixedCode<4>> gf_airportCodeOfBgl(ScannedAirport& airport, uint8_t& notSupported);

} // namespace tamrix
