#include "airports/airports_scan.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <deque>
#include <exception>
#include <fstream>
#include <functional>
#include <string_view>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "airports/airport_linking.hpp"
#include "airports/bgl_file.hpp"
#include "airports/facility_stands.hpp"
#include "airports/package_manifest.hpp"
#include "airports/scan_log.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/files.hpp"
#include "core/folder_walk_guard.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/text_files.hpp"
#include "core/user_error.hpp"
#include "links/facility_reader.hpp"
#include "links/traffic_source_state.hpp"
#include "refdata/airports.hpp"
#include "refdata/registration_lookups.hpp"
#include "airports/sim_install.hpp"
#include "airports/tblo_folder.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

// Paths of this length (in UTF-16 units, as the simulator's platform counts them) or more are
// passed over: they reach the limit of path lengths there.
constexpr std::size_t kMaxScannedPathLength = 250;
constexpr std::size_t kScanLogReserve = 2048;
constexpr uint64_t kStockCounterStep = 10;
// The list of the airports RealTraffic supports: some 50,000 codes of five bytes at most.
constexpr std::size_t kMaxIcaoListBytes = std::size_t{4} << 20;

// Package trees without airports of their own: aircraft, missions, the simulator's base.
constexpr std::array<std::string_view, 14> kSkipWords{
    "fs-base",       "tutorials",   "aircraft",          "bushtrip",    "discovery",
    "point-of-interest", "simobjects", "vcockpits",       "aig-aitraffic", "justflight-aircraft",
    "fsltl",         "gsx-pro",     "gsx-world",         "landingchallenge"};

// Scenery files that hold no usable airport of their own.
constexpr std::array<std::string_view, 4> kFileFilters{"statics", "afcad updates", "_heliports",
                                                       "duijffmedia-eham-remove"};

constexpr std::array<std::string_view, 36> kStreamedExclusions{
    "fs20-",         "-landingchallenge-", "-cabin-services-", "-livingworld-",     "-jetways-",
    "-material-lib-", "-palettelib-",      "-procedural-hangar-", "-eventtriggers-", "-event-rescuechallenge-",
    "-discovery-",   "-challenges-",       "-aircraft-",       "-ships-",           "-certification-",
    "-training-",    "-activities-",       "-passiveaircraft-", "-trainings-",      "-fs-base-",
    "-travelbook-",  "-simobjects-",       "-airrace-",        "-procedural-",      "-palette-",
    "-spotlight-",   "-modellib-",         "-texturelib",      "-textlib",          "-scenery-",
    "-surface-",     "-vfx-",              "-coverage-",       "-point-of-interest", "-proceduralgeneration",
    "-simattachmentlib-"};

// Stock airports of the simulator's own streamed packages, tested in this order.
constexpr std::array<std::string_view, 3> kStockMarkers{"asobo-airport", "microsoft-airport", "microsoft-eddk"};

std::string utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

template <std::size_t N> bool containsAny(std::string_view text, const std::array<std::string_view, N>& words) {
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view w) { return text.find(w) != std::string_view::npos; });
}

// UTF-16 units of a UTF-8 text: one per character, two for those beyond the basic plane.
std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c & 0xC0) != 0x80) ++units;
        if ((c & 0xF8) == 0xF0) ++units;
    }
    return units;
}

// A depth-first walk of a folder tree in directory order, as std::filesystem's recursive
// iterator walks it (folders the user may not read are passed over), on the folders' own
// descriptors: the standard iterator asks three more questions of every folder it opens, and a
// scan opens thousands. Links to folders are followed (a scenery package may be linked into
// Community), each folder entered once and none of the system's.
class FolderWalk {
public:
    struct Entry {
        fs::path path;
        bool folder = false;  // a folder, also through a link
        bool regular = false; // a regular file, also through a link
    };
    // Called for each entry; false ends the whole walk. `descend` starts true for folders and
    // may be cleared to pass over the folder's contents.
    using Visit = std::function<bool(const Entry&, bool& descend)>;
    // Called for a folder the guard does not let the walk enter, the walk's root when `root`.
    using Refused = std::function<void(const fs::path&, const FolderWalkGuard::Entering&, bool root)>;

    FolderWalk(Visit visit, Refused refused) : m_visit(std::move(visit)), m_refused(std::move(refused)) {}

    void run(const fs::path& root) {
        const FolderWalkGuard::Entering entering = m_guard.enterRoot(root);
        switch (entering.outcome) {
        case FolderWalkGuard::Outcome::Entered:
            walk(entering.folder, root, 0);
            return;
        case FolderWalkGuard::Outcome::Unreadable:
            if (entering.error == EACCES || entering.error == EPERM) return; // nothing the user may read
            throw fs::filesystem_error("recursive_directory_iterator", root, errorOf(entering.error));
        case FolderWalkGuard::Outcome::SystemFolder:
        case FolderWalkGuard::Outcome::WalkedAlready:
        case FolderWalkGuard::Outcome::HoldsTheWalk:
            m_refused(root, entering, true);
            return;
        }
    }

private:
    static std::error_code errorOf(int error) { return {error, std::generic_category()}; }

    // Walks the open folder (and closes it); false when the visit ended the walk.
    bool walk(const FolderWalkGuard::Folder& open, const fs::path& folder, std::size_t depth) {
        struct Closer {
            int fd;
            ~Closer() { ::close(fd); }
        } closer{open.fd};
        if (m_buffers.size() <= depth) m_buffers.emplace_back(kBufferSize);
        for (;;) {
            std::vector<char>& buffer = m_buffers[depth];
            const ssize_t got = ::getdents64(open.fd, buffer.data(), buffer.size());
            if (got == 0) return true;
            if (got < 0) {
                if (errno == EINTR) continue;
                throw fs::filesystem_error("recursive_directory_iterator::increment", folder, errorOf(errno));
            }
            // Descending uses the deeper levels' buffers; this batch stays as it is meanwhile.
            for (ssize_t at = 0; at < got;) {
                const auto* raw = reinterpret_cast<const dirent64*>(buffer.data() + at);
                at += raw->d_reclen;
                const std::string_view name(raw->d_name);
                if (name == "." || name == "..") continue;
                Entry entry;
                entry.path = folder / name;
                const FolderEntry kind = gf_folderEntry(open.fd, raw->d_name, raw->d_type);
                entry.folder = kind.kind == FolderEntry::Kind::Folder;
                entry.regular = kind.kind == FolderEntry::Kind::File;
                bool descend = entry.folder;
                if (!m_visit(entry, descend)) return false;
                if (!descend) continue;
                const FolderWalkGuard::Entering entering = m_guard.enter(open, raw->d_name, entry.path, kind.link);
                switch (entering.outcome) {
                case FolderWalkGuard::Outcome::Entered:
                    if (!walk(entering.folder, entry.path, depth + 1)) return false;
                    break;
                case FolderWalkGuard::Outcome::Unreadable:
                    if (entering.error == EACCES || entering.error == EPERM || entering.error == ENOENT)
                        break; // unreadable or gone
                    throw fs::filesystem_error("recursive_directory_iterator::increment", entry.path,
                                               errorOf(entering.error));
                case FolderWalkGuard::Outcome::SystemFolder:
                case FolderWalkGuard::Outcome::WalkedAlready:
                case FolderWalkGuard::Outcome::HoldsTheWalk:
                    m_refused(entry.path, entering, false);
                    break;
                }
            }
        }
    }

    static constexpr std::size_t kBufferSize = 32768;
    Visit m_visit;
    Refused m_refused;
    FolderWalkGuard m_guard;
    std::deque<std::vector<char>> m_buffers; // one per depth, reused; a new level moves none
};

// Airports recognised by the running scan, for the message line.
uint64_t gRecognisedAirports = 0;
// The window's counters while the walk goes on are counted at most this often: counting a
// folder of thousands of files after each file would make the scan quadratic. The end of each
// walk counts once more.
constexpr auto kCounterRefresh = std::chrono::milliseconds(250);
std::chrono::steady_clock::time_point gLastCount = std::chrono::steady_clock::time_point::min();

bool stopRequested() { return gStopFlag.load() || gClosingFlag.load(); }

fs::path scanLogPath() { return gf_paths().infoFolder / "AirportsScanLog.txt"; }

// The scan-log file while a scan runs: new entries are appended as they are asked to be written,
// so that each write costs only what is new; the whole file is replaced when the scan ends.
struct ScanLogFile {
    std::ofstream out;
    std::size_t written = 0;
    bool finished = true;
};
ScanLogFile gScanLogFile;

void startScanLogFile() {
    gScanLogFile.out = std::ofstream();
    gScanLogFile.written = 0;
    gScanLogFile.finished = false;
}

// Writes the whole scan log as the final file; true when it was written.
bool finishScanLogFile() {
    gScanLogFile.out.close();
    gScanLogFile.out = std::ofstream();
    gScanLogFile.finished = true;
    gScanLogFile.written = 0;
    std::error_code ec;
    fs::create_directories(scanLogPath().parent_path(), ec);
    return gf_writeLines(gScanLog, scanLogPath());
}

void showSimaddon(uint64_t count) {
    if (const auto& show = gf_airportScanWindow().showSimaddonAirports) show(count);
}
void showThirdparty(uint64_t count) {
    if (const auto& show = gf_airportScanWindow().showThirdpartyAirports) show(count);
}

// Links the airport, else reads its stands from the simulator and generates its file.
void linkOrGenerate(ScannedAirport& airport, const FixedCode<4>& code) {
    if (lf_linkArchivedApf(airport)) return;
    int32_t helipads = 0;
    if (gf_readScannedAirportStands(code, airport, helipads))
        lf_generateApf(airport, helipads);
    else
        lf_reportFailedFacilityRead(code);
}

// One package folder of the streamed packages.
void scanStreamedPackage(const fs::path& package, uint64_t& stockCount) {
    const std::string text = utf8Text(package);
    const std::string name = utf8Text(package.filename());
    const bool stock = containsAny(name, kStockMarkers);
    gScanLog.push_back(fmt::format("\n{}", text));
    const auto code = gf_findAirportCodeIn(name);
    if (!code) return;
    if (!gf_isKnownAirport(*code)) {
        gScanLog.push_back("no supported airport ICAO in BGL path");
        return;
    }
    gf_showScanProgress(*code);
    ScannedAirport airport;
    airport.sourcePath = package;
    airport.BGLpath = text;
    airport.scannedFolder = package.parent_path();
    airport.icao = *code;
    if (stock) {
        gScanLog.push_back(fmt::format("airport has '{}' in directory path", code->text()));
        if (++stockCount % kStockCounterStep == 0) showSimaddon(stockCount);
        airport.publisher = "simaddon";
        airport.package = PackageManifest{"", "", "microsoft", "asobo"};
    } else {
        gScanLog.push_back(fmt::format("airport has '{}' in folder path", code->text()));
        lf_writeScanLog();
        if (auto publisher = gf_publisherOf(name); publisher && !publisher->empty()) {
            airport.publisher = *publisher;
            gScanLog.push_back(fmt::format("publisher '{}' found", *publisher));
        }
        lf_writeScanLog();
    }
    linkOrGenerate(airport, *code);
}

// One candidate file of the BGL walk of the folder.
void scanBglFile(const fs::path& path, const fs::path& folder) {
    if (lf_readFacilities(path, folder)) return;
    gScanLog.push_back("Facilities reader did not succeed, trying the BGL file reader ...");
    BglAirportSteps steps;
    steps.linkArchived = [](ScannedAirport& airport) { return lf_linkArchivedApf(airport); };
    steps.generate = [](ScannedAirport& airport, int32_t helipads) { lf_generateApf(airport, helipads); };
    lf_processBGLfile(path, steps, folder);
}

// The end of every scan, also one left by an error or a stop: the scan log so far is written,
// the facility connection closed, the list of supported airports emptied, the end logged.
class ScanEnd {
public:
    ScanEnd() = default;
    ScanEnd(const ScanEnd&) = delete;
    ScanEnd& operator=(const ScanEnd&) = delete;
    ~ScanEnd() {
        try {
            if (!gScanLogFile.finished) {
                if (!gScanLog.empty() && finishScanLogFile())
                    gf_log(fmt::format("{} written", utf8Text(scanLogPath())));
                gScanLog.clear();
                gScanLogFile.finished = true;
            }
            if (gFacilityClientOpen.load() || gFacilityClient.load() != nullptr) gf_closeFacilityClient();
            gRtAirportCodes.clear();
            gf_logAndFlush("-------------------------- airports scan ends    ----------------------------\n");
        } catch (...) {
            // The end of a scan must not turn into a second error.
        }
    }
};

} // namespace

AirportScanWindow& gf_airportScanWindow() {
    static AirportScanWindow window;
    return window;
}

uint64_t gf_folderEntryCount(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return 0;
    uint64_t count = 0;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        ++count;
    }
    return count;
}

void gf_showScanProgress(const FixedCode<4>& code) {
    ++gRecognisedAirports;
    gf_setStatusLine(fmt::format("Scanning for airports ... {} ({} recognised)", code.text(), gRecognisedAirports),
                     false);
}

void gf_showUserFolderCounts(bool simaddon, bool thirdparty) {
    const auto now = std::chrono::steady_clock::now();
    if (gLastCount != std::chrono::steady_clock::time_point::min() && now - gLastCount < kCounterRefresh) return;
    gLastCount = now;
    if (simaddon) showSimaddon(gf_folderEntryCount(gf_paths().mySimaddonFolder));
    if (thirdparty) showThirdparty(gf_folderEntryCount(gf_paths().myThirdpartyFolder));
}

void lf_writeScanLog() {
    if (gScanLogFile.finished) {
        // Outside a scan: the whole log at once.
        std::error_code ec;
        fs::create_directories(scanLogPath().parent_path(), ec);
        gf_writeLines(gScanLog, scanLogPath());
        return;
    }
    if (gScanLogFile.written > gScanLog.size()) gScanLogFile.written = 0; // the log was emptied meanwhile
    if (!gScanLogFile.out.is_open()) {
        std::error_code ec;
        fs::create_directories(scanLogPath().parent_path(), ec);
        gScanLogFile.written = 0;
        // A pipe in its place would hold the scan until somebody read it.
        if (const std::string problem = gf_notWritableInPlace(scanLogPath()); !problem.empty()) {
            gf_logHighlighted(fmt::format("Could not write {}: {}", utf8Text(scanLogPath()), problem));
            return;
        }
        gScanLogFile.out.open(scanLogPath(), std::ios::binary | std::ios::trunc);
        if (!gScanLogFile.out) {
            gf_logHighlighted(fmt::format("Could not write {}", utf8Text(scanLogPath())));
            return;
        }
    }
    for (; gScanLogFile.written < gScanLog.size(); ++gScanLogFile.written)
        gScanLogFile.out << gScanLog[gScanLogFile.written] << '\n';
    gScanLogFile.out.flush();
}

void lf_reportFailedFacilityRead(const FixedCode<4>& code) {
    const std::string line =
        fmt::format("Reading Facilites data for {} via SimConnect failed, is MSFS connected?", code.text());
    gf_logAndFlush(line);
    gScanLog.push_back(line);
    lf_writeScanLog();
}

bool lf_isSkippedPath(const fs::path& path, const fs::path& root) {
    if (utf16Length(utf8Text(path)) >= kMaxScannedPathLength) return true;
    return containsAny(gf_toLowerAscii(gf_pathTextBelow(path, root)), kSkipWords);
}

bool lf_isExcludedPackage(std::string_view packageName) { return containsAny(packageName, kStreamedExclusions); }

void lf_readRtIcaoCodes() {
    gRtAirportCodes.clear();
    const fs::path& path = gf_paths().icaoAirportsPath;
    const FileBytes file = gf_readRegularFile(path, kMaxIcaoListBytes);
    if (file.openError == ENOENT) throw UserErrorException(522, fmt::format("File '{}' is missing?", utf8Text(path)));
    if (!file.read())
        throw UserErrorException(522, fmt::format("File '{}' cannot be read: {}", utf8Text(path), file.problem));
    std::vector<std::string> lines;
    gf_splitUtf8Lines(file.bytes, lines);
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        for (const std::string& token : gf_split(line, ',')) {
            if (token.empty()) continue;
            try {
                gRtAirportCodes.insert(FixedCode<4>(token));
            } catch (const std::exception& e) {
                gf_logHighlighted(fmt::format("{}: '{}' passed over: {}", utf8Text(path.filename()), token, e.what()));
            }
        }
    }
    gf_log(fmt::format("{} ICAO codes of airports read", gRtAirportCodes.size()));
}

std::vector<fs::path> lf_scanFolderPaths() {
    std::vector<fs::path> folders;
    folders.reserve(10);
    // Without a packages folder the bare names stand in the list, so that the user is told that
    // they do not exist.
    const fs::path first = gIsMsfs2020.load() ? kOfficialFolder : fs::path("StreamedPackages");
    for (const fs::path& name : {first, fs::path(kCommunityFolder)}) {
        const fs::path folder = gf_msfsPath(name);
        folders.push_back(folder.empty() ? name : folder);
    }
    return folders;
}

void gf_scanAirports() {
    gf_setStatusLine("Scanning for airports ...", false);
    gf_logAndFlush(fmt::format(
        "\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", "automatic "));
    showSimaddon(0);
    showThirdparty(0);
    gRecognisedAirports = 0;
    gLastCount = std::chrono::steady_clock::time_point::min();
    const ScanEnd end;
    lf_readRtIcaoCodes();

    const fs::path& tblo = gf_paths().tbloFolder;
    if (!fs::exists(tblo)) {
        std::error_code ec;
        if (!fs::create_directory(tblo, ec) && ec) throw fs::filesystem_error("create_directory", tblo, ec);
    } else {
        // What an earlier scan left goes; its archive stays until a new one replaces it.
        gf_removeFilesFromDirectoryBut(tblo, gf_paths().tbloZipName);
    }
    lf_scanFolderList(lf_scanFolderPaths());
    if (gTbloCopyCounter.load() == 0) {
        // Nothing new to mail; an earlier archive stays until a new one replaces it.
        std::error_code ec;
        if (!fs::exists(tblo / gf_paths().tbloZipName, ec) && !ec) {
            fs::remove_all(tblo, ec);
            if (ec) throw fs::filesystem_error("remove_all", tblo, ec);
        }
    }
    gf_invalidateStatusPanel();
}

void lf_scanFolderList(const std::vector<fs::path>& folders) {
    gf_removeFilesFromDirectory(gf_paths().mySimaddonFolder);
    gf_removeFilesFromDirectory(gf_paths().myThirdpartyFolder);
    bool found = false;
    {
        // The files the scan writes are flushed to disk together, before the scan counts as done.
        const DeferredFileSync sync;
        found = lf_searchFolders(folders);
    }
    if (!found) gf_setStatusLine("Warning: Scan has not found any add-on airports", true);
    SCAN_AIRPORTS.current.store(false);
    gf_saveBoolParameter(SCAN_AIRPORTS);
    gf_showCheckBox(SCAN_AIRPORTS);
    if (const auto& repaint = gf_airportScanWindow().repaintOptions) repaint();
}

bool lf_searchFolders(const std::vector<fs::path>& folders) {
    gf_logAndFlush(fmt::format("The scan will search {} folder{}", folders.size(),
                               gf_plural(static_cast<uint64_t>(folders.size()))));
    std::error_code ec;
    fs::remove(scanLogPath(), ec);
    if (ec)
        gf_logAndFlush(fmt::format("problems with removing previous files (maybe still open?): {}", ec.message()));
    gTbloCopyCounter.store(0);
    if (gScanLog.capacity() < kScanLogReserve) gScanLog.reserve(kScanLogReserve);
    startScanLogFile();

    lf_scanFolders(folders);

    if (finishScanLogFile()) gf_logAndFlush(fmt::format("{} written", utf8Text(scanLogPath())));
    gf_clearStatusLine();
    gScanLog.clear();
    lf_copyThirdpartyToTblo();
    lf_zipTbloFolder();
    const uint64_t simaddon = gf_folderEntryCount(gf_paths().mySimaddonFolder);
    showSimaddon(simaddon);
    const uint64_t thirdparty = gf_folderEntryCount(gf_paths().myThirdpartyFolder);
    showThirdparty(thirdparty);
    return thirdparty != 0;
}

void lf_scanFolders(const std::vector<fs::path>& folders) {
    const ManifestSearchScope manifests;
    for (const fs::path& folder : folders) {
        if (folder.empty()) continue;
        std::error_code ec;
        // A bare name is no folder of the simulator: it is not looked for in the program's folder.
        const fs::file_status status = folder.has_parent_path() ? fs::status(folder, ec) : fs::file_status();
        if (!fs::exists(status)) {
            gf_setStatusLine(utf8Text(folder) + " does not exist, skipped!", true);
        } else if (fs::is_directory(status)) {
            if (utf8Text(folder).find("StreamedPackages") != std::string::npos)
                lf_scanStreamedAirports(folder);
            else
                lf_scanAirportFolder(folder);
        } else {
            gf_setStatusLine(utf8Text(folder) + " is not a folder name, skipped!", true);
        }
    }
}

void lf_scanAirportFolder(const fs::path& folder) {
    const std::string text =
        fmt::format("\n\n\n+++++++++++++++++ Scanning for {} airports in:{}\n", "addon ", utf8Text(folder));
    gf_setStatusLine(text, true);
    gScanLog.push_back(text);
    try {
        const auto refused = [](const fs::path& path, const FolderWalkGuard::Entering& entering, bool root) {
            std::string reason;
            switch (entering.outcome) {
            case FolderWalkGuard::Outcome::SystemFolder:
                reason = utf8Text(entering.real) + " is a folder of the system";
                break;
            case FolderWalkGuard::Outcome::HoldsTheWalk:
                reason = gf_holdsTheWalkReason(entering, root);
                break;
            default:
                reason = "it leads to a folder walked already";
                break;
            }
            gScanLog.push_back(fmt::format("{}{} passed over: {}", "===> ", utf8Text(path), reason));
        };
        // Sub-folders the user may not read are passed over; they do not end the walk.
        FolderWalk walk([&](const FolderWalk::Entry& entry, bool& descend) {
            const fs::path& path = entry.path;
            if (lf_isSkippedPath(path, folder)) {
                descend = false;
                return true;
            }
            if (!entry.regular) return true;
            if (gf_toLowerAscii(utf8Text(path.extension())) != ".bgl") return true;
            if (containsAny(gf_pathTextBelow(path, folder), kFileFilters)) return true;
            if (!lf_hasAirportSection(path)) return true;
            if (stopRequested()) return false;
            try {
                scanBglFile(path, folder);
            } catch (const std::exception& e) {
                // One file that cannot be read does not cost the rest of the folder its airports.
                gScanLog.push_back(fmt::format("{}{} passed over, cause: {}", "===> ", utf8Text(path), e.what()));
            }
            return true;
        }, refused);
        walk.run(folder);
    } catch (const std::exception& e) {
        gScanLog.push_back(
            fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ", utf8Text(folder), e.what()));
    }
}

void lf_scanStreamedAirports(const fs::path& folder) {
    gf_setStatusLine("Scanning for streamed airports ...", false);
    gScanLog.push_back(fmt::format("\n\n\n+++++++++++++++++ Scanning for streamed airports in:\n{}\n", utf8Text(folder)));
    uint64_t stockCount = 0;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(folder, fs::directory_options::skip_permission_denied)) {
        std::error_code ec;
        if (!entry.is_directory(ec)) continue;
        if (lf_isExcludedPackage(utf8Text(entry.path().filename()))) continue;
        if (stopRequested()) break;
        try {
            scanStreamedPackage(entry.path(), stockCount);
        } catch (const std::exception& e) {
            // An error of one package (a facility request the simulator answers with an
            // exception, a file that cannot be written) does not end the scan, nor the run.
            gScanLog.push_back(fmt::format("{}{} passed over, cause: {}", "===> ", utf8Text(entry.path()), e.what()));
        }
        if (stopRequested()) {
            lf_writeScanLog();
            break;
        }
    }
    lf_copySimaddonToTblo();
    showSimaddon(gf_folderEntryCount(gf_paths().mySimaddonFolder));
}

} // namespace tamrix
