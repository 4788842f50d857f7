#include "airports/package_manifest.hpp"

#include <cerrno>
#include <exception>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "airports/scan_log.hpp"
#include "core/log.hpp"
#include "core/string_helpers.hpp"
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
    if (!airport.package) airport.package = gf_searchManifest(airport.sourcePath, airport.scannedFolder);
}

// Where the airport's code and publisher are looked for.
std::string searchedText(const ScannedAirport& airport) {
    return airport.scannedFolder.empty() ? airport.BGLpath
                                         : gf_pathTextBelow(airport.sourcePath, airport.scannedFolder);
}

// Whether the folder lies below the scanned folder (always, when none is given).
bool belowScanned(const fs::path& folder, const fs::path& scannedFolder) {
    if (scannedFolder.empty()) return true;
    const std::string& text = folder.native();
    std::string base = scannedFolder.native();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return text.size() > base.size() + 1 && text.compare(0, base.size(), base) == 0 &&
           (text[base.size()] == '/' || base == "/");
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

// What one folder shows: its manifest's path (empty when none) and, when the file was opened
// on the way, its bytes.
struct FolderLook {
    fs::path manifest;
    std::optional<std::string> bytes;
    bool opened = false;      // the name opened, so the folder is one
    bool notAFolder = false; // the name led through something that is no folder
};

// The open regular file's bytes, as many as it held when it was opened.
std::string readOpenFile(int fd, std::size_t size) {
    std::string bytes(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes.data() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

// The folder's manifest by its name, opened and read at once, which is cheaper than listing the
// folder or asking about the name first; where the name alone cannot tell (a folder that may be
// searched but not listed, say) the listing decides.
FolderLook lookInto(const fs::path& folder) {
    FolderLook look;
    if (folder.empty()) return look; // no folder, not the working folder
    fs::path candidate = folder / "manifest.json";
    // Not blocking: a pipe in the manifest's place is passed over, not waited on.
    const int fd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        // No folder there, or a file in its place, ends like a folder without the manifest.
        if (errno == ENOENT) return look;
        if (errno == ENOTDIR) {
            look.notAFolder = true;
            return look;
        }
        look.manifest = lf_listManifestIn(folder);
        return look;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    look.opened = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return look;
    // A folder that cannot be listed shows no manifest.
    if (::access(folder.c_str(), R_OK) != 0) {
        look.manifest = lf_listManifestIn(folder);
        return look;
    }
    look.manifest = std::move(candidate);
    look.bytes = readOpenFile(fd, static_cast<std::size_t>(st.st_size));
    return look;
}

// The folder's look, from this scan's folders where it was looked at before (then without bytes).
FolderLook lookIntoOnce(const fs::path& folder) {
    if (tManifestFolders != nullptr) {
        if (const auto known = tManifestFolders->find(folder); known != tManifestFolders->end())
            return FolderLook{known->second, std::nullopt, false, false};
    }
    FolderLook look = lookInto(folder);
    if (tManifestFolders != nullptr) tManifestFolders->emplace(folder, look.manifest);
    return look;
}

// The look into the path a search starts at, and whether that path is a folder: a file's path
// is not kept among the scan's folders.
FolderLook lookIntoStart(const fs::path& path, bool& isFolder) {
    std::error_code ec;
    if (tManifestFolders != nullptr) {
        if (const auto known = tManifestFolders->find(path); known != tManifestFolders->end()) {
            isFolder = fs::is_directory(path, ec);
            return FolderLook{known->second, std::nullopt, false, false};
        }
    }
    FolderLook look = lookInto(path);
    isFolder = look.opened || (!look.notAFolder && fs::is_directory(path, ec));
    if (isFolder && tManifestFolders != nullptr) tManifestFolders->emplace(path, look.manifest);
    return look;
}

// The manifest the look found, read from its bytes or else from its file.
std::optional<PackageManifest> manifestOf(const FolderLook& look) {
    if (look.manifest.empty()) return std::nullopt;
    if (!look.bytes) return gf_readManifest(look.manifest);
    std::vector<std::string> lines;
    gf_splitUtf8FileLines(*look.bytes, look.manifest, lines);
    return gf_manifestFromLines(lines);
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

fs::path lf_findManifestIn(const fs::path& folder) { return lookIntoOnce(folder).manifest; }

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

namespace {

// The search from the folder on upward, that folder being the `looked`-th of the seven.
std::optional<PackageManifest> searchUpFrom(fs::path folder, int looked, const fs::path& scannedFolder) {
    for (; looked < kManifestSearchDepth && !folder.empty() && belowScanned(folder, scannedFolder);
         ++looked) {
        if (auto manifest = manifestOf(lookIntoOnce(folder))) return manifest;
        fs::path parent = folder.parent_path();
        if (parent == folder) break;
        folder = std::move(parent);
    }
    return std::nullopt;
}

} // namespace

std::optional<PackageManifest> gf_searchManifestAboveFile(const fs::path& file,
                                                          const fs::path& scannedFolder) {
    try {
        return searchUpFrom(file.parent_path(), 0, scannedFolder);
    } catch (const std::exception& e) {
        gf_log(fmt::format("exception in gf_searchManifest: {}", e.what()));
    }
    return std::nullopt;
}

std::optional<PackageManifest> gf_searchManifest(const fs::path& path, const fs::path& scannedFolder) {
    try {
        if (!belowScanned(path, scannedFolder)) return std::nullopt;
        // A package folder holds its own manifest; a file's package starts at its folder. The
        // manifest's name under the path tells which the path is, mostly without a further look.
        fs::path folder = path;
        int looked = 0;
        if (!path.empty()) {
            bool isFolder = false;
            const FolderLook look = lookIntoStart(path, isFolder);
            if (isFolder) {
                if (auto manifest = manifestOf(look)) return manifest;
                looked = 1;
            }
            fs::path parent = path.parent_path();
            if (isFolder && parent == path) return std::nullopt;
            folder = std::move(parent);
        }
        return searchUpFrom(std::move(folder), looked, scannedFolder);
    } catch (const std::exception& e) {
        gf_log(fmt::format("exception in gf_searchManifest: {}", e.what()));
    }
    return std::nullopt;
}

std::string gf_pathTextBelow(const fs::path& path, const fs::path& root) {
    if (root.empty()) return utf8Text(path);
    // The usual case, a path the walk made below the root: the rest of its text, when that rest
    // holds only plain names (no empty, "." or ".." ones), is what the lexical way gives.
    const std::string& text = path.native();
    const std::string& base = root.native();
    if (text.size() > base.size() + 1 && base.back() != '/' && text[base.size()] == '/' &&
        text.compare(0, base.size(), base) == 0) {
        const std::string_view rest = std::string_view(text).substr(base.size() + 1);
        bool plain = true;
        for (std::size_t start = 0; plain && start <= rest.size();) {
            std::size_t end = rest.find('/', start);
            if (end == std::string_view::npos) end = rest.size();
            const std::string_view name = rest.substr(start, end - start);
            plain = !name.empty() && name != "." && name != "..";
            start = end + 1;
        }
        if (plain) return std::string(rest);
    }
    const fs::path relative = path.lexically_relative(root);
    return relative.empty() ? utf8Text(path) : utf8Text(relative);
}

void gf_detectPublisher(ScannedAirport& airport) {
    const std::string searched = searchedText(airport);
    if (gf_containsNoCase(searched, "microsoft-airport") || gf_containsNoCase(searched, "asobo-airport")) {
        airport.publisher = "simaddon";
        gScanLog.push_back(fmt::format("publisher: {}", airport.publisher));
        return;
    }
    if (auto pub = publisherOf(searched)) {
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
        if (const auto code = gf_findAirportCodeIn(searchedText(airport))) {
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
