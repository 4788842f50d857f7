#include "airports/tblo_folder.hpp"

#include <fstream>
#include <list>
#include <string>
#include <system_error>
#include <unordered_map>

#include <fmt/format.h>
#include <pugixml.hpp>
#include <unistd.h>

#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "config/xml_helpers.hpp"
#include "core/files.hpp"
#include "core/fixed_code.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/string_helpers.hpp"
#include "core/zip_archive.hpp"
#include "refdata/airports.hpp"

namespace tamrix {

namespace fs = std::filesystem;

std::atomic<uint64_t> gTbloCopyCounter{0};

namespace {

// The folder's files by their names in upper case, listed once for a whole copy: looking each
// name up by listing the folder again would make the copy quadratic in the folder's size.
// Where names differ only in letter case, the first in byte order stands for them.
class FolderNames {
public:
    explicit FolderNames(const fs::path& folder) : m_folder(folder) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::string name = it->path().filename().string();
            auto [at, added] = m_names.try_emplace(upper(name), name);
            if (!added && name < at->second) at->second = std::move(name);
        }
        if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
            gf_log(fmt::format("! listing {}: {}", folder.string(), ec.message()));
    }

    // The file named `name` regardless of letter case: the exact name when it exists, else the
    // one the listing found, else the exact name.
    fs::path childOf(const std::string& name) const {
        fs::path exact = m_folder / name;
        std::error_code ec;
        if (fs::exists(exact, ec)) return exact;
        const auto found = m_names.find(upper(name));
        if (found == m_names.end()) return exact;
        fs::path listed = m_folder / found->second;
        // Removed since the listing (the copy removes files): the folder as it is now decides.
        if (!fs::exists(listed, ec)) return gf_findChildIgnoringCase(m_folder, name).value_or(exact);
        return listed;
    }

private:
    static std::string upper(std::string text) {
        for (char& c : text)
            c = gf_toUpperChar(c);
        return text;
    }

    fs::path m_folder;
    std::unordered_map<std::string, std::string> m_names;
};

bool isTropicalSimKmci(const fs::path& file) {
    pugi::xml_document document;
    if (!document.load_file(file.c_str())) return false;
    const auto publisher = gf_getStringParameter(document, "publisher");
    return publisher && *publisher == "TropicalSim";
}

// Copies the known airports' files of one folder; the number copied.
uint64_t copyKnownAirportsToTblo(const fs::path& source, bool thirdparty) {
    const fs::path tblo = gf_paths().tbloFolder;
    std::error_code ec;
    fs::create_directories(tblo, ec);
    uint64_t copied = 0;
    const std::vector<FixedCode<4>> codes = gf_airportCodesInFolder(source);
    const FolderNames names(source);
    for (const FixedCode<4>& code : codes) {
        const std::string name = code.text() + ".xml";
        const fs::path from = names.childOf(name);
        if (thirdparty && code == FixedCode<4>("KMCI") && isTropicalSimKmci(from)) {
            fs::remove(from); // a failure reaches the scan
            continue;
        }
        if (!gf_isKnownAirport(code)) continue;
        const fs::path to = tblo / name;
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            gf_logHighlighted(fmt::format("'{}' failed to copy '{}': {}", from.string(), to.string(), ec.message()));
            continue;
        }
        ++copied;
        const fs::path companion = names.childOf(code.text() + ".txt");
        const bool hasCompanion = fs::exists(companion, ec);
        if (ec) {
            gf_logHighlighted(fmt::format("exists({}) failed: {}", companion.string(), ec.message()));
            continue;
        }
        if (hasCompanion && !fs::remove(from, ec) && ec)
            gf_logHighlighted(fmt::format("remove({}) failed: {}", from.string(), ec.message()));
    }
    return copied;
}

// Closes the archive (written at `temporary`), renames it over `target` and checks the result.
bool lf_closeZipArchive(ZipArchive& archive, const fs::path& temporary, const fs::path& target, uint64_t count) {
    bool closed = archive.close();
    std::error_code ec;
    if (closed) {
        if (fs::exists(target, ec)) gf_logAndFlush(fmt::format("[zip] Removing old zip {}", target.string()));
        fs::rename(temporary, target, ec);
        if (ec) {
            gf_logAndFlush(fmt::format("[zip] Could not rename {} => {}: {}", temporary.string(), target.string(),
                                       ec.message()));
            fs::remove(temporary, ec);
            closed = false;
        }
    }
    // Without a complete archive the earlier one, if any, stays; the check below then speaks of
    // the new one, which does not exist.
    const bool exists = closed && fs::exists(target, ec) && !ec;
    uint64_t size = 0;
    if (exists) {
        size = fs::file_size(target, ec);
        if (ec) size = static_cast<uint64_t>(-1);
    }
    gf_logAndFlush(fmt::format("[zip] Added {} files, ok_close={}, exists={}, size={} bytes", count, closed, exists,
                               size));
    return count > 0 && exists && size != 0;
}

} // namespace

void lf_copySimaddonToTblo() {
    const uint64_t copied = copyKnownAirportsToTblo(gf_paths().mySimaddonFolder, false);
    if (copied > 0) gf_logAndFlush(fmt::format("{} simaddon file{} copied to tblo folder", copied, gf_plural(copied)));
}

void lf_copyThirdpartyToTblo() { copyKnownAirportsToTblo(gf_paths().myThirdpartyFolder, true); }

std::optional<std::vector<char>> lf_readFileBytes(const fs::path& path) {
    // A folder opens as a stream on Linux and reports an absurd size; only files are read.
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in.is_open()) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    std::vector<char> bytes(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), size);
    if (!in && !in.eof()) return std::nullopt;
    return bytes;
}

bool lf_zipDirectory(const fs::path& target) {
    std::error_code ec;
    const fs::path source = gf_paths().tbloFolder;
    if (!fs::is_directory(source, ec)) {
        gf_logAndFlush(fmt::format("[zip] Not a directory: {}", source.string()));
        return false;
    }
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const fs::path absoluteTarget = fs::absolute(target);
    const fs::path absoluteSource = fs::absolute(source);
    gf_logAndFlush(fmt::format("[zip] Target file: {}", absoluteTarget.string()));
    gf_logAndFlush(fmt::format("[zip] Source dir : {}", absoluteSource.string()));

    fs::path temporary = absoluteTarget;
    temporary += fmt::format(".{}.tmp", ::getpid());
    fs::remove(temporary, ec);
    ZipArchive archive(temporary);
    if (!archive.open(ZipArchive::New)) {
        gf_logAndFlush("[zip] Could not open archive for writing");
        return false;
    }
    // The archive reads the added bytes only when it is closed.
    std::list<std::vector<char>> buffers;
    uint64_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(source)) {
        if (!fs::is_regular_file(entry.status())) continue;
        const fs::path name = entry.path().filename();
        // An earlier archive and our own temporary file are not airport files.
        if (name == absoluteTarget.filename() || name == temporary.filename()) continue;
        auto bytes = lf_readFileBytes(entry.path());
        if (!bytes) {
            gf_logAndFlush(fmt::format("[zip] READ FAIL: {}", entry.path().string()));
            continue;
        }
        const std::vector<char>& kept = buffers.emplace_back(std::move(*bytes));
        gf_logAndFlush(
            fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", entry.path().string(), name.string(), kept.size()));
        if (!archive.addData(name.string(), kept.data(), kept.size())) {
            gf_logAndFlush(fmt::format("[zip] ERROR addData({})", name.string()));
            // A half-packed archive must not replace an earlier complete one.
            archive.discard();
            gf_logAndFlush(fmt::format("[zip] Added {} files, ok_close=false, exists=false, size=0 bytes", count));
            return false;
        }
        ++count;
    }
    return lf_closeZipArchive(archive, temporary, absoluteTarget, count);
}

void lf_zipTbloFolder() {
    const fs::path tblo = gf_paths().tbloFolder;
    std::error_code ec;
    uint64_t entries = 0;
    if (fs::is_directory(tblo, ec)) {
        for (auto it = fs::directory_iterator(tblo, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
            ++entries;
    }
    if (entries == 0) {
        gTbloCopyCounter.store(0);
        gf_logAndFlush("All your simaddon and third party airports are recognised, no off line learning needed.");
        return;
    }
    const fs::path archive = tblo / gf_paths().tbloZipName;
    if (!lf_zipDirectory(archive)) gf_logHighlighted("Zippen TBLO folder failed");
    gf_removeXMLFilesFromDirectory(tblo);
    gTbloCopyCounter.store(entries);
    if (TBLO_ZIP_BUTTON.window != nullptr) EnableWindow(TBLO_ZIP_BUTTON.window, TRUE);
    gf_logAndFlush(fmt::format("\n! Mail {} to {}\n", fs::absolute(archive, ec).string(), kTbloMailAddress));
    if (HWND window = gf_controlLookupWindow(); window != nullptr) InvalidateRect(window, &kOptionsArea, TRUE);
}

} // namespace tamrix
