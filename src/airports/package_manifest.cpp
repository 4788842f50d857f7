#include "airports/package_manifest.hpp"

#include <exception>
#include <string>
#include <system_error>
#include <unordered_map>

#include <unistd.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/scan_log.hpp"
#include "core/log.hpp"
#include "core/text_files.hpp"
#include "refdata/airports.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

// The folder of the path and at most six of its ancestors are looked at.
constexpr int kManifestSearchDepth = 7;

std::string utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// A publisher group with an empty name matches every text; that is no publisher.
std::optional<std::string> publisherOf(const std::string& text) {
    std::optional<std::string> pub = gf_publisherOf(text);
    if (pub && pub->empty()) return std::nullopt;
    return pub;
}

void loadManifestOnce(ScannedAirport& airport) {
    if (!airport.package) airport.package = gf_searchManifest(airport.sourcePath);
}

// Known: the code. Else the not-supported flag and the scan-log line.
std::optional<FixedCode<4>> knownOrReport(const FixedCode<4>& code, uint8_t& notSupported,
                                          std::string_view notSupportedFormat) {
    if (gf_isKnownAirport(code)) return code;
    notSupported = 1;
    gScanLog.push_back(fmt::format(fmt::runtime(notSupportedFormat), code.text()));
    return std::nullopt;
}

// Set while a ManifestSearchScope lives on this thread: each folder's answer, once looked up.
thread_local std::unordered_map<fs::path, fs::path, ManifestSearchScope::PathHash>* tManifestFolders = nullptr;

// The listing of the folder, entry by entry.
fs::path lf_listManifestIn(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return {};
    for (const fs::directory_entry& entry :
         fs::directory_iterator(folder, fs::directory_options::skip_permission_denied)) {
        const fs::path& p = entry.path();
        if (p.extension() == ".json" && p.stem() == "manifest" && entry.is_regular_file()) return p;
    }
    return {};
}

// The folder's manifest by its name, which is cheaper than listing the folder; where the name
// alone cannot tell (a folder that may be listed but not entered, say) the listing decides.
fs::path lf_lookUpManifestIn(const fs::path& folder) {
    if (folder.empty()) return {}; // no folder, not the working folder
    std::error_code ec;
    fs::path candidate = folder / "manifest.json";
    // No folder there, or a file in its place, ends like a folder without the manifest.
    const fs::file_status status = fs::status(candidate, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
        return lf_listManifestIn(folder);
    if (!fs::is_regular_file(status)) return {};
    // A folder that cannot be listed shows no manifest.
    if (::access(folder.c_str(), R_OK) != 0) return lf_listManifestIn(folder);
    return candidate;
}

} // namespace

ManifestSearchScope::ManifestSearchScope() {
    if (tManifestFolders == nullptr) {
        tManifestFolders = &m_found;
        m_active = true;
    }
}

ManifestSearchScope::~ManifestSearchScope() {
    if (m_active) tManifestFolders = nullptr;
}

fs::path lf_findManifestIn(const fs::path& folder) {
    if (tManifestFolders != nullptr) {
        if (const auto known = tManifestFolders->find(folder); known != tManifestFolders->end()) return known->second;
    }
    fs::path found = lf_lookUpManifestIn(folder);
    if (tManifestFolders != nullptr) tManifestFolders->emplace(folder, found);
    return found;
}

std::optional<PackageManifest> gf_manifestFromText(std::string_view text) {
    const nlohmann::json document = nlohmann::json::parse(text);
    if (!document.is_object()) return std::nullopt;
    PackageManifest manifest;
    manifest.version = document.value("package_version", std::string());
    if (manifest.version.empty()) manifest.version = document.value("version", std::string());
    manifest.title = document.value("title", std::string());
    manifest.manufacturer = document.value("manufacturer", std::string());
    manifest.creator = document.value("creator", std::string());
    return manifest;
}

std::optional<PackageManifest> gf_manifestFromLines(std::span<const std::string> lines) {
    if (lines.empty()) return std::nullopt;
    std::string joined;
    for (const std::string& line : lines)
        joined += line;
    return gf_manifestFromText(joined);
}

std::optional<PackageManifest> gf_readManifest(const fs::path& file) {
    TextFile text{file, {}};
    const ReadLinesResult read = gf_readLines(text, 32);
    if (!read.ok) return std::nullopt;
    return gf_manifestFromLines(read.lines);
}

std::optional<PackageManifest> gf_searchManifest(const fs::path& path) {
    try {
        // A package folder holds its own manifest; a file's package starts at its folder.
        std::error_code ec;
        fs::path folder = fs::is_directory(path, ec) ? path : path.parent_path();
        for (int i = 0; i < kManifestSearchDepth && !folder.empty(); ++i) {
            const fs::path m = lf_findManifestIn(folder);
            if (!m.empty())
                if (auto manifest = gf_readManifest(m)) return manifest;
            fs::path parent = folder.parent_path();
            if (parent == folder) break;
            folder = std::move(parent);
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("exception in gf_searchManifest: {}", e.what()));
    }
    return std::nullopt;
}

void gf_detectPublisher(ScannedAirport& airport) {
    if (gf_pathContainsNoCase(airport.sourcePath, "microsoft-airport") ||
        gf_pathContainsNoCase(airport.sourcePath, "asobo-airport")) {
        airport.publisher = "simaddon";
        gScanLog.push_back(fmt::format("publisher: {}", airport.publisher));
        return;
    }
    if (auto pub = publisherOf(airport.BGLpath)) {
        gScanLog.push_back(fmt::format("publisher: {}", *pub));
        airport.publisher = *pub;
        return;
    }
    loadManifestOnce(airport);
    if (!airport.package) return;
    for (const std::string* field : {&airport.package->manufacturer, &airport.package->creator})
        if (auto pub = publisherOf(*field)) {
            airport.publisher = *pub;
            gScanLog.push_back(fmt::format("publisher '{}'", *pub));
            return;
        }
}

std::optional<FixedCode<4>> gf_airportCodeOfBgl(ScannedAirport& airport, uint8_t& notSupported) {
    try {
        if (const auto code = gf_findAirportCodeIn(airport.BGLpath)) {
            gScanLog.push_back(fmt::format("airport has code '{}' in BGL path", code->text()));
            return knownOrReport(*code, notSupported, "no supported airport '{}' in BGL path");
        }
        gScanLog.push_back("no airport code found in BGL path");
        const std::string stem = utf8Text(airport.sourcePath.stem());
        if (stem.size() == 4) {
            const FixedCode<4> code(stem); // throws for a stem that is no code
            if (gf_isKnownAirport(code)) {
                gScanLog.push_back(fmt::format("code '{}' as stem", code.text()));
                return code;
            }
            return knownOrReport(code, notSupported, "no supported airport code '{}' as stem");
        }
        loadManifestOnce(airport);
        if (!airport.package) return std::nullopt;
        if (const auto code = gf_findAirportCodeIn(airport.package->title)) {
            gScanLog.push_back(fmt::format("airport has code '{}' in title of manifest", code->text()));
            return knownOrReport(*code, notSupported, "no supported airport '{}' in title of manifest");
        }
    } catch (const std::exception& e) {
        gScanLog.push_back(fmt::format("Exception {}", e.what()));
    }
    return std::nullopt;
}

} // namespace tamrix
