#include "airports/tblo_folder.hpp"

#include <cerrno>
#include <list>
#include <set>
#include <string>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <fmt/format.h>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "airports/airport_file.hpp"
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

// The deflate level of the archive's entries.
constexpr int kTbloCompressionLevel = 1;

// Known airports' files that could not be copied into "tblo" since it was last packed: they
// are neither recognised nor collected, and the packing step must not say all were recognised.
std::atomic<uint64_t> gFailedCopies{0};

// The folder's files, listed once for a whole copy: looking each name up in the folder again
// would cost a status call per name, and listing it again per name would make the copy
// quadratic. Names the copy removes leave the list with them.
class FolderNames {
public:
    explicit FolderNames(const fs::path& folder) : m_folder(folder) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            add(it->path().filename().string());
        if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
            gf_log(fmt::format("! listing {}: {}", folder.string(), ec.message()));
    }

    // The file named `name` regardless of letter case: the exact name when it is listed, else
    // the first listed name in byte order that differs from it only in case, else the exact name
    // (which then does not exist).
    fs::path childOf(const std::string& name) const {
        if (m_exact.contains(name)) return m_folder / name;
        const auto found = m_byUpper.find(gf_toUpperAscii(name));
        if (found == m_byUpper.end() || found->second.empty()) return m_folder / name;
        return m_folder / *found->second.begin();
    }
    bool has(const std::string& name) const {
        if (m_exact.contains(name)) return true;
        const auto found = m_byUpper.find(gf_toUpperAscii(name));
        return found != m_byUpper.end() && !found->second.empty();
    }

    void removed(const fs::path& path) {
        const std::string name = path.filename().string();
        if (m_exact.erase(name) == 0) return;
        const auto found = m_byUpper.find(gf_toUpperAscii(name));
        if (found != m_byUpper.end()) found->second.erase(name);
    }

private:
    void add(std::string name) {
        m_byUpper[gf_toUpperAscii(name)].insert(name);
        m_exact.insert(std::move(name));
    }

    fs::path m_folder;
    std::unordered_set<std::string> m_exact;
    std::unordered_map<std::string, std::set<std::string>> m_byUpper;
};

// Gives "tblo" the file's content under `to`, replacing what stands there; why not, or nothing.
// Where both folders lie on one file system the file gets a second name there (a hard link, to
// the file a symbolic link leads to): the program replaces airport files only by renaming new
// files over them, never by writing into them, so the content under the new name stays what it
// was, as with a copy; and it costs neither a new file nor its removal after packing, which on
// some file systems grows slower with every file removed shortly before. Elsewhere the bytes are
// copied, as the program writes every file; "tblo" is packed at once, its files need no flush.
std::string copyIntoTblo(const fs::path& from, const fs::path& to) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
        if (errno != EEXIST || attempt > 0) break;
        // Something stands under the name: it is replaced, a folder is not.
        struct stat st {};
        if (::lstat(to.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) break;
        if (::unlink(to.c_str()) != 0) break;
    }
    return gf_copyFile(from, to, {.flushToDisk = false}).failure;
}

bool isTropicalSimKmci(const fs::path& file) {
    pugi::xml_document document;
    if (gf_loadXmlFile(document, file, kMaxApfBytes)) return false;
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
    FolderNames names(source);
    for (const FixedCode<4>& code : codes) {
        const std::string name = code.text() + ".xml";
        const fs::path from = names.childOf(name);
        if (thirdparty && code == FixedCode<4>("KMCI") && isTropicalSimKmci(from)) {
            fs::remove(from); // a failure reaches the scan
            names.removed(from);
            continue;
        }
        if (!gf_isKnownAirport(code)) continue;
        const fs::path to = tblo / name;
        if (const std::string failure = copyIntoTblo(from, to); !failure.empty()) {
            gf_logHighlighted(fmt::format("'{}' failed to copy '{}': {}", from.string(), to.string(), failure));
            gFailedCopies.fetch_add(1);
            continue;
        }
        ++copied;
        if (!names.has(code.text() + ".txt")) continue;
        if (!fs::remove(from, ec) && ec)
            gf_logHighlighted(fmt::format("remove({}) failed: {}", from.string(), ec.message()));
        else
            names.removed(from);
    }
    return copied;
}

// Closes the archive, which replaces `target` in one piece, and checks the result.
bool lf_closeZipArchive(ZipArchive& archive, const fs::path& target, uint64_t count) {
    std::error_code ec;
    bool closed = false;
    if (count == 0) {
        // An archive without entries would take the earlier one away; it stays instead.
        archive.discard();
    } else {
        if (fs::exists(target, ec)) gf_logAndFlush(fmt::format("[zip] Removing old zip {}", target.string()));
        closed = archive.close();
        if (!closed)
            gf_logAndFlush(fmt::format("[zip] Could not write {}: {}", target.string(), archive.errorText()));
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
    // Opened without waiting (a pipe would block), then only regular files are read: a folder
    // opens on Linux and reports an absurd size.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<char> bytes(static_cast<std::size_t>(st.st_size), '\0');
    bool ok = true;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break; // a short file keeps the zero-filled rest
        } else if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    if (!ok) return std::nullopt;
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

    // Built in memory and written over the target in one piece when closed, so a failed pack
    // leaves an earlier archive as it was.
    ZipArchive archive(absoluteTarget);
    if (!archive.open(ZipArchive::New)) {
        gf_logAndFlush("[zip] Could not open archive for writing");
        return false;
    }
    // Airport files are small and many: the fastest deflate level packs them nearly as small.
    archive.setCompressionLevel(kTbloCompressionLevel);
    // The archive reads the added bytes only when it is closed.
    std::list<std::vector<char>> buffers;
    uint64_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(source)) {
        if (!entry.is_regular_file()) continue;
        const fs::path name = entry.path().filename();
        if (name == absoluteTarget.filename()) continue; // an earlier archive is no airport file
        auto bytes = lf_readFileBytes(entry.path());
        if (!bytes) {
            gf_logAndFlush(fmt::format("[zip] READ FAIL: {}", entry.path().string()));
            continue;
        }
        const std::vector<char>& kept = buffers.emplace_back(std::move(*bytes));
        // One line per file, flushed with the rest before the archive is written.
        gf_log(fmt::format("[zip] Adding (data) {} -> {} ({} bytes)", entry.path().string(), name.string(),
                           kept.size()));
        if (!archive.addData(name.string(), kept.data(), kept.size())) {
            gf_logAndFlush(fmt::format("[zip] ERROR addData({})", name.string()));
            // A half-packed archive must not replace an earlier complete one.
            archive.discard();
            gf_logAndFlush(fmt::format("[zip] Added {} files, ok_close=false, exists=false, size=0 bytes", count));
            return false;
        }
        ++count;
    }
    gf_flushLog();
    return lf_closeZipArchive(archive, absoluteTarget, count);
}

void lf_zipTbloFolder() {
    const fs::path tblo = gf_paths().tbloFolder;
    const fs::path archive = tblo / gf_paths().tbloZipName;
    std::error_code ec;
    // What was collected: the entries beside an earlier archive, which stays until a new one
    // replaces it.
    uint64_t entries = 0;
    if (fs::is_directory(tblo, ec)) {
        for (auto it = fs::directory_iterator(tblo, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
            if (it->path().filename() != archive.filename()) ++entries;
    }
    if (const uint64_t failed = gFailedCopies.exchange(0); failed > 0)
        gf_logHighlighted(
            fmt::format("! {} known add-on airport file{} could not be copied to the tblo folder, see above",
                        failed, gf_plural(failed)));
    else if (entries == 0)
        gf_logAndFlush(
            "All your simaddon and third party airports are recognised, no off line learning needed.");
    if (entries == 0) {
        gTbloCopyCounter.store(0);
        return;
    }
    const bool packed = lf_zipDirectory(archive);
    gf_removeXMLFilesFromDirectory(tblo);
    if (!packed) {
        // Nothing to mail: the user is not asked for an archive that does not hold this scan's
        // airports.
        gf_logHighlighted("Zippen TBLO folder failed");
        gTbloCopyCounter.store(0);
        return;
    }
    gTbloCopyCounter.store(entries);
    if (TBLO_ZIP_BUTTON.window != nullptr) EnableWindow(TBLO_ZIP_BUTTON.window, TRUE);
    gf_logAndFlush(fmt::format("\n! Mail {} to {}\n", fs::absolute(archive, ec).string(), kTbloMailAddress));
    if (HWND window = gf_controlLookupWindow(); window != nullptr) InvalidateRect(window, &kOptionsArea, TRUE);
}

} // namespace tamrix
