#include "liveries/livery_scan.hpp"

#include <algorithm>
#include <deque>
#include <exception>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include <fmt/format.h>

#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/text_encoding.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "links/traffic_source_state.hpp"
#include "liveries/aircraft_cfg_reader.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/scan_collectors.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries/scan_tasks.hpp"

namespace tamrix {

namespace fs = std::filesystem;

std::chrono::milliseconds gScanResultTimeout{10000};

namespace {

constexpr int kMaxPriority = 10;
constexpr std::size_t kMaxPathBytes = 249;
// Folders of scenery and aircraft makers that hold no AI liveries.
constexpr std::string_view kExcludedWords[] = {"airport",  "lvfr",      "mkstudios", "simwings", "fsdreamteam",
                                               "navigraph", "flytampa", "inibuilds", "_CVT_"};

std::mutex gReaderMutex;
ScanFileReader gReader;

ScanFileReader lf_currentReader() {
    std::lock_guard lock(gReaderMutex);
    if (gReader) return gReader;
    return [](uint32_t priority, const fs::path& cfgPath, bool ivao) {
        return ivao ? lf_searchLiveriesinIVAOFile(priority, cfgPath) : lf_searchLiveriesinFile(priority, cfgPath);
    };
}

bool lf_isAircraftCfg(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_regular_file(ec) || ec) return false;
    const fs::path& path = entry.path();
    return gf_upperEquals(".CFG", path.extension().string()) && gf_upperEquals("AIRCRAFT", path.stem().string());
}

// Words are tested below the scanned folder only: a user's own folder names above it must not
// hide the packages.
// The walk's paths all begin with the root's text.
bool lf_isExcluded(const std::string& pathText, std::size_t rootLength) {
    if (pathText.size() > kMaxPathBytes) return true;
    const std::string_view relative = std::string_view(pathText).substr(std::min(rootLength, pathText.size()));
    return std::any_of(std::begin(kExcludedWords), std::end(kExcludedWords),
                       [&](std::string_view word) { return relative.find(word) != std::string_view::npos; });
}

// One file's task: its thread and the result it delivers.
struct PendingResult {
    std::future<std::list<LiveryData>> result;
    std::thread thread;
};

class FolderWalk {
public:
    FolderWalk(int priority) : m_priority(static_cast<uint32_t>(priority)), m_reader(lf_currentReader()) {}
    ~FolderWalk() {
        // Threads of given-up results end before the scan goes on.
        for (auto& pending : m_pending)
            if (pending.thread.joinable()) pending.thread.join();
        for (auto& thread : m_givenUp) thread.join();
    }

    void start(const fs::path& cfgPath, bool ivao) {
        const auto limit = static_cast<std::size_t>(std::max(1, gScanWorkerCount.load()));
        while (m_pending.size() >= limit) takeOldest("liveries inner search aborted: {}");
        gf_waitForScanSlot();
        std::promise<std::list<LiveryData>> promise;
        PendingResult pending{promise.get_future(), {}};
        gf_scanTaskStarted();
        try {
            pending.thread = std::thread([reader = m_reader, priority = m_priority, cfgPath, ivao,
                                          promise = std::move(promise)]() mutable {
                ScanTaskGuard counted;
                try {
                    promise.set_value(reader(priority, cfgPath, ivao));
                } catch (...) {
                    promise.set_exception(std::current_exception());
                }
            });
        } catch (...) {
            gf_scanTaskEnded();
            throw;
        }
        m_pending.push_back(std::move(pending));
    }

    void finish() {
        while (!m_pending.empty()) takeOldest("liveries search aborted, futs outer, {}");
    }

private:
    void takeOldest(std::string_view abortFormat) {
        PendingResult pending = std::move(m_pending.front());
        m_pending.pop_front();
        try {
            if (pending.result.wait_for(gScanResultTimeout) != std::future_status::ready)
                throw std::runtime_error("Future wait timed out after 10 seconds");
            gLiveries.splice(gLiveries.end(), pending.result.get());
            pending.thread.join();
        } catch (const std::exception& error) {
            gf_logHighlighted(fmt::format(fmt::runtime(abortFormat), error.what()));
            if (pending.thread.joinable()) m_givenUp.push_back(std::move(pending.thread));
        }
    }

    uint32_t m_priority;
    ScanFileReader m_reader;
    std::deque<PendingResult> m_pending;
    std::vector<std::thread> m_givenUp;
};

// Keeps, per operator, second operator and model, only the liveries of the best (lowest)
// priority that has any.
void lf_keepBestPriorities() {
    using Key = std::tuple<uint16_t, uint16_t, uint16_t>;
    std::map<Key, int16_t> best;
    for (const auto& livery : gLiveries) {
        const Key key{livery.key.operatorIndex, livery.key.secondOperatorIndex, livery.key.modelIndex};
        const auto [it, inserted] = best.emplace(key, livery.priority);
        if (!inserted) it->second = std::min(it->second, livery.priority);
    }
    gLiveries.remove_if([&](const LiveryData& livery) {
        return livery.priority >
               best[Key{livery.key.operatorIndex, livery.key.secondOperatorIndex, livery.key.modelIndex}];
    });
}

void lf_finishReports() {
    lf_writeScanReport();
    lf_clearScanLists();
    gf_clearStatusLine();
}

} // namespace

void gf_setScanFileReader(ScanFileReader reader) {
    std::lock_guard lock(gReaderMutex);
    gReader = std::move(reader);
}

void lf_walkPackageFolder(int priority, const fs::path& folder) {
    FolderWalk walk(priority);
    std::error_code ec;
    fs::recursive_directory_iterator it(
        folder, fs::directory_options::follow_directory_symlink | fs::directory_options::skip_permission_denied, ec);
    if (ec) return;
    const std::size_t rootLength = folder.string().size();
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break; // the walk of this folder ends, keeping what was found
        const fs::directory_entry& entry = *it;
        try {
            const std::string& pathText = entry.path().native();
            if (lf_isExcluded(pathText, rootLength)) {
                it.disable_recursion_pending();
                continue;
            }
            if (!lf_isAircraftCfg(entry)) continue;
            const bool ivao = pathText.find("ivao_x-csl") != std::string::npos ||
                              pathText.find("IVAO_MTL") != std::string::npos;
            walk.start(entry.path(), ivao);
        } catch (const std::exception& error) {
            gf_logHighlighted(
                fmt::format("liveries search in {} aborted, cause: {}", gf_pathToUtf8Lossy(entry.path()), error.what()));
        }
    }
    walk.finish();
}

ScanOutcome lf_scanLiveryFolders(const FolderList& folders) {
    gLiveries.clear();
    // A scan that ended with an error left its titles and report lines behind: they would refuse
    // this scan's liveries as already claimed.
    lf_clearScanLists();
    lf_removePreviousResults();
    lf_readDontUseTitles();

    int priority = 0;
    int64_t total = 0;
    bool stopped = false;
    for (const fs::path& folder : folders) {
        if (folder.empty()) continue;
        if (!fs::exists(folder)) {
            gf_log(folder.string() + " does not exist, skipped!");
            continue;
        }
        if (!fs::is_directory(folder)) {
            gf_log(folder.string() + " is not a folder name, skipped!");
            continue;
        }
        priority = std::min(priority + 1, kMaxPriority);
        if (gStopFlag || gClosingFlag) {
            stopped = true;
            break;
        }
        const auto before = static_cast<int64_t>(gLiveries.size());
        lf_walkPackageFolder(priority, folder);
        const int64_t count = static_cast<int64_t>(gLiveries.size()) - before;
        const std::string found = fmt::format("found in {}", folder.string());
        if (count < 1) {
            gf_log(fmt::format("No liveries {}", found));
        } else {
            gf_log(fmt::format("{} liverie{} {}", count, gf_plural(count), found));
            total += count;
        }
    }
    if (stopped || gStopFlag || gClosingFlag) {
        // Nothing of a stopped scan is kept: a later scan in this process starts afresh.
        gLiveries.clear();
        lf_clearScanLists();
        gf_clearStatusLine();
        return ScanOutcome::Stopped;
    }
    if (gLiveries.empty()) {
        gScannedLiveryCount = 0;
        gf_invalidateStatusPanel();
        // The reports tell why nothing was found.
        lf_finishReports();
        return ScanOutcome::NoneFound;
    }
    if (folders.size() > 1) gf_log(fmt::format("{} in total", total));
    if (LIG_PRIORITIZE.current) lf_keepBestPriorities();
    lf_sortLiveries();
    const bool written = lf_writeLiveriesXml();
    gLiveries.clear();
    lf_finishReports();
    if (!written)
        throw std::runtime_error(
            fmt::format("{} could not be written", gf_pathToUtf8Lossy(gf_paths().liveriesScannedPath)));
    return ScanOutcome::Found;
}

bool gf_scanLiveries() {
    const bool automatic = LIG_AUTOMATIC.current;
    EnableWindow(AI_PACKAGE_SELECTOR.window, FALSE);
    gf_setStatusLine(fmt::format("Scanning {}for liveries ...", LIG_PRIORITIZE.current ? "prioritized " : ""), false);
    gf_log(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                       automatic ? "automatic" : "manual"));
    gScannedLiveryCount = 0;
    gf_invalidateStatusPanel();

    FolderList folders;
    folders.reserve(10);
    if (automatic) {
        const fs::path packagesFolder = gf_msfsPath("Community");
        if (!packagesFolder.empty()) lf_collectPackageFolders(packagesFolder, folders);
    } else {
        lf_checkLfolders(folders);
    }
    if (folders.empty()) {
        if (automatic) {
            gf_reenableControl(AI_PACKAGE_SELECTOR);
            throw UserErrorException(43, "Automatic scan has not found any AI packages, choose a different selection "
                                         "(or go to Manual mode, see Manual 5.2)");
        }
        gf_openManualFolder();
        gf_openParametersFolder();
        throw UserErrorException(
            48, fmt::format("Exit {} first!   Then set one or more lfolder parameters to your liveries, see Manual 5.2",
                            kProgramName));
    }

    const ScanOutcome outcome = lf_scanLiveryFolders(folders);
    if (outcome == ScanOutcome::Stopped) {
        gf_reenableControl(AI_PACKAGE_SELECTOR);
        gf_logAndFlush("\n++++++++++++++++++++++++ liveries scan stopped ++++++++++++++++++++++++++++++++\n");
        return false;
    }
    if (outcome == ScanOutcome::NoneFound) {
        if (!automatic) throw UserErrorException(53, "no liveries found");
        gf_reenableControl(AI_PACKAGE_SELECTOR);
        throw UserErrorException(143, "Automatic scan has not found any liveries, choose a different selection, or "
                                      "switch off automatic and set lfolder parameter(-s)");
    }
    SCAN_LIVERIES.current = false;
    gf_saveBoolParameter(SCAN_LIVERIES);
    gf_showCheckBox(SCAN_LIVERIES);
    InvalidateRect(gf_controlLookupWindow(), &kOptionsArea, TRUE);
    gf_reenableControl(AI_PACKAGE_SELECTOR);
    gf_invalidateStatusPanel();
    gf_logAndFlush("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    return true;
}

} // namespace tamrix
