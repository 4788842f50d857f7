#include "liveries/livery_scan.hpp"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/folder_walk_guard.hpp"
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
constexpr std::string_view kExcludedWords[] = {
    "airport", "lvfr", "mkstudios", "simwings", "fsdreamteam", "navigraph", "flytampa", "inibuilds", "_CVT_"};

std::mutex gReaderMutex;
ScanFileReader gReader;

ScanFileReader lf_currentReader() {
    std::lock_guard lock(gReaderMutex);
    if (gReader) return gReader;
    return [](uint32_t priority, const fs::path& cfgPath, bool ivao) {
        return ivao ? lf_searchLiveriesinIVAOFile(priority, cfgPath)
                    : lf_searchLiveriesinFile(priority, cfgPath);
    };
}

// Paths longer than the simulator's platform allows are passed over. The first few of a walk are
// named in the log, the rest counted; a scan that finds nothing says that there were such paths
// (a program or packages folder nested too deep passes over every package).
constexpr int64_t kNamedLongPaths = 10;
int64_t gLongPathsOfScan = 0;

bool lf_isTooLong(const std::string& pathText) { return pathText.size() > kMaxPathBytes; }

// Words are tested below the scanned folder only: a user's own folder names above it must not
// hide the packages.
// The walk's paths all begin with the root's text.
bool lf_isExcluded(const std::string& pathText, std::size_t rootLength) {
    const std::string_view relative =
        std::string_view(pathText).substr(std::min(rootLength, pathText.size()));
    return std::any_of(std::begin(kExcludedWords), std::end(kExcludedWords),
                       [&](std::string_view word) { return relative.find(word) != std::string_view::npos; });
}

// What one file's task delivers: its liveries and the titles it claimed for them.
struct FileResult {
    std::list<LiveryData> liveries;
    TaskTitles titles;
};

bool lf_stopRequested() {
    return gStopFlag.load() || gClosingFlag.load();
}

// A set of worker threads that read the files the walk hands them, in the order handed. Tasks
// not yet started when the set is closed are dropped. A file whose result the walk gave up (a
// read that does not return, say on a stalled network folder) lets its worker go: a new worker
// takes its place, and the one let go ends by itself once its read returns, if ever. Every other
// worker ends before the set does.
class ScanWorkers {
public:
    ScanWorkers(ScanFileReader reader, int count) : m_shared(std::make_shared<Shared>()) {
        m_shared->reader = std::move(reader);
        for (int i = 0; i < count; ++i)
            startWorker();
    }
    ~ScanWorkers() {
        std::unique_lock lock(m_shared->mutex);
        m_shared->closed = true;
        m_shared->queue.clear();
        m_shared->wake.notify_all();
        // A worker still reading when the walk was stopped is waited for as long as a result
        // would be, then let go as well.
        const bool ended = m_shared->workerEnded.wait_for(
            lock, gScanResultTimeout, [this] { return m_shared->workers == m_shared->letGo; });
        if (!ended) m_shared->letGo = m_shared->workers;
    }
    ScanWorkers(const ScanWorkers&) = delete;
    ScanWorkers& operator=(const ScanWorkers&) = delete;

    // The number the walk gives the task's result up by.
    std::pair<std::future<FileResult>, uint64_t> submit(uint32_t priority, fs::path cfgPath, bool ivao) {
        std::lock_guard lock(m_shared->mutex);
        const uint64_t number = ++m_shared->submitted;
        Task task{number, priority, std::move(cfgPath), ivao, {}};
        std::future<FileResult> result = task.promise.get_future();
        m_shared->queue.push_back(std::move(task));
        m_shared->wake.notify_one();
        return {std::move(result), number};
    }

    // The walk takes no result of this task any more: a task not started is dropped, the worker
    // reading it is let go and replaced.
    void giveUp(uint64_t number) {
        std::lock_guard lock(m_shared->mutex);
        auto& queue = m_shared->queue;
        const auto queued =
            std::find_if(queue.begin(), queue.end(), [number](const Task& t) { return t.number == number; });
        if (queued != queue.end()) {
            queue.erase(queued);
            return;
        }
        if (m_shared->reading.erase(number) == 0) return; // it has just ended
        ++m_shared->letGo;
        m_shared->letGoTasks.insert(number);
        startWorker();
    }

private:
    struct Task {
        uint64_t number = 0;
        uint32_t priority = 0;
        fs::path cfgPath;
        bool ivao = false;
        std::promise<FileResult> promise;
    };
    // Shared with the workers, so that a worker let go outlives the walk safely.
    struct Shared {
        ScanFileReader reader;
        std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable workerEnded;
        std::deque<Task> queue;
        std::set<uint64_t> reading;    // tasks being read by a worker the walk waits for
        std::set<uint64_t> letGoTasks; // tasks whose workers were let go
        uint64_t submitted = 0;
        int workers = 0; // running worker threads
        int letGo = 0;   // of them, let go
        bool closed = false;
    };

    // Called with the mutex held, or before any worker runs.
    void startWorker() {
        ++m_shared->workers;
        std::thread([shared = m_shared] { run(*shared); }).detach();
    }

    static void run(Shared& shared) {
        for (;;) {
            Task task;
            {
                std::unique_lock lock(shared.mutex);
                shared.wake.wait(lock, [&] { return shared.closed || !shared.queue.empty(); });
                if (shared.queue.empty()) {
                    --shared.workers;
                    shared.workerEnded.notify_all();
                    return;
                }
                task = std::move(shared.queue.front());
                shared.queue.pop_front();
                shared.reading.insert(task.number);
            }
            {
                gf_scanTaskStarted();
                ScanTaskGuard counted;
                try {
                    FileResult result;
                    {
                        TaskTitlesScope scope(result.titles);
                        result.liveries = shared.reader(task.priority, task.cfgPath, task.ivao);
                    }
                    task.promise.set_value(std::move(result));
                } catch (...) {
                    task.promise.set_exception(std::current_exception());
                }
            }
            std::lock_guard lock(shared.mutex);
            shared.reading.erase(task.number);
            if (shared.letGoTasks.erase(task.number) != 0) {
                // Replaced already: this worker ends.
                --shared.letGo;
                --shared.workers;
                shared.workerEnded.notify_all();
                return;
            }
        }
    }

    std::shared_ptr<Shared> m_shared;
};

// Results waiting to be taken, per worker: enough to keep the workers busy while the oldest file
// is still being read, few enough to bound the memory.
constexpr std::size_t kPendingPerWorker = 4;
// How often a wait for a result looks at the stop and closing flags.
constexpr std::chrono::milliseconds kStopPollInterval{50};

// One folder's walk: hands the files to the workers and takes their results in the order the
// files were met, so that the first file of the walk keeps a title and the liveries keep the
// walk's order.
class FolderWalk {
public:
    explicit FolderWalk(int priority)
        : m_priority(static_cast<uint32_t>(priority)), m_workerCount(std::max(1, gScanWorkerCount.load())),
          m_workers(lf_currentReader(), m_workerCount) {}

    // False once the stop or closing flag ended a wait.
    bool going() const { return !m_stopped; }

    void start(const fs::path& cfgPath, bool ivao) {
        const std::size_t window = static_cast<std::size_t>(m_workerCount) * kPendingPerWorker;
        while (!m_stopped && m_pending.size() >= window)
            takeOldest("liveries inner search aborted: {}");
        if (m_stopped) return;
        auto [result, number] = m_workers.submit(m_priority, cfgPath, ivao);
        m_pending.push_back({std::move(result), number, cfgPath});
    }

    void finish() {
        while (!m_stopped && !m_pending.empty())
            takeOldest("liveries search aborted, futs outer, {}");
        // A stopped walk keeps nothing of the files still pending.
        m_pending.clear();
    }

private:
    struct Pending {
        std::future<FileResult> result;
        uint64_t number;
        fs::path cfgPath;
    };

    // Waits for the oldest result, at most gScanResultTimeout: a file read that takes longer
    // (a stalled network folder) is given up, logged, and the walk goes on without its liveries.
    // The stop and closing flags end the wait as well; once they are set no result is taken, not
    // even one that is there already: they are looked at after every wait, also one that returns
    // at once.
    void takeOldest(std::string_view abortFormat) {
        Pending& oldest = m_pending.front();
        const auto deadline = std::chrono::steady_clock::now() + gScanResultTimeout;
        for (bool ready = false;; ready = oldest.result.wait_for(kStopPollInterval) == std::future_status::ready) {
            if (lf_stopRequested()) {
                m_stopped = true;
                return;
            }
            if (ready) break;
            if (std::chrono::steady_clock::now() >= deadline) {
                m_workers.giveUp(oldest.number);
                gf_logHighlighted(
                    fmt::format(fmt::runtime(abortFormat),
                                fmt::format("Future wait timed out after {:g} seconds",
                                            static_cast<double>(gScanResultTimeout.count()) / 1000.0)));
                gf_logContinued(fmt::format("{} is left out", gf_pathToUtf8Lossy(oldest.cfgPath)));
                m_pending.pop_front();
                return;
            }
        }
        try {
            FileResult result = oldest.result.get();
            result.titles.claimForScan(result.liveries);
            gLiveries.splice(gLiveries.end(), result.liveries);
        } catch (const std::exception& error) {
            gf_logHighlighted(fmt::format(fmt::runtime(abortFormat), error.what()));
        } catch (...) {
            gf_logHighlighted(fmt::format(fmt::runtime(abortFormat), "unknown exception"));
        }
        m_pending.pop_front();
    }

    uint32_t m_priority;
    int m_workerCount;
    std::deque<Pending> m_pending;
    bool m_stopped = false;
    // Last: its threads end before the pending results go.
    ScanWorkers m_workers;
};

// One open folder of the walk: its descriptor (the folders below are opened relative to it, and
// its identity comes from it without another look-up by path), its listing and its path.
class OpenFolder {
public:
    OpenFolder(DIR* listing, fs::path path) : m_listing(listing), m_path(std::move(path)) {}
    ~OpenFolder() {
        if (m_listing != nullptr) ::closedir(m_listing);
    }
    OpenFolder(OpenFolder&& other) noexcept
        : m_listing(std::exchange(other.m_listing, nullptr)), m_path(std::move(other.m_path)) {}
    OpenFolder& operator=(OpenFolder&&) = delete;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    DIR* listing() const { return m_listing; }
    const fs::path& path() const { return m_path; }
    FolderWalkGuard::Folder guarded() const { return {::dirfd(m_listing)}; }

private:
    DIR* m_listing;
    fs::path m_path;
};

bool lf_isAircraftCfgName(const fs::path& path) {
    return gf_upperEquals(".CFG", path.extension().string()) &&
           gf_upperEquals("AIRCRAFT", path.stem().string());
}

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

void gf_resetLiveryScan() {
    gf_setScanFileReader({});
    gScanResultTimeout = std::chrono::milliseconds(10000);
    gf_resetScanTasks();
    lf_clearScanLists();
}

void lf_walkPackageFolder(int priority, const fs::path& folder) {
    FolderWalk walk(priority);
    int64_t longPaths = 0;
    const std::size_t rootLength = folder.string().size();
    // Links are followed: the guard enters each folder once and none of the system's.
    FolderWalkGuard guard;
    std::vector<OpenFolder> open;
    const auto cannotRead = [](const fs::path& path, int error) {
        gf_logHighlighted(fmt::format("liveries search cannot read folder {}: {}", gf_pathToUtf8Lossy(path),
                                      std::generic_category().message(error)));
    };
    const auto enter = [&](const FolderWalkGuard::Entering& entering, fs::path path, bool root) {
        switch (entering.outcome) {
        case FolderWalkGuard::Outcome::SystemFolder:
            gf_log(fmt::format("liveries search passes over {}: {} is a folder of the system",
                               gf_pathToUtf8Lossy(path), gf_pathToUtf8Lossy(entering.real)));
            return;
        case FolderWalkGuard::Outcome::WalkedAlready:
            gf_log(fmt::format("{} leads to a folder walked already, skipped", gf_pathToUtf8Lossy(path)));
            return;
        case FolderWalkGuard::Outcome::HoldsTheWalk:
            gf_log(fmt::format("liveries search passes over {}: {}", gf_pathToUtf8Lossy(path),
                               gf_holdsTheWalkReason(entering, root)));
            return;
        case FolderWalkGuard::Outcome::Unreadable:
            cannotRead(path, entering.error);
            return;
        case FolderWalkGuard::Outcome::Entered:
            break;
        }
        DIR* listing = ::fdopendir(entering.folder.fd);
        if (listing == nullptr) {
            const int error = errno;
            ::close(entering.folder.fd);
            cannotRead(path, error);
            return;
        }
        open.emplace_back(listing, std::move(path));
    };
    enter(guard.enterRoot(folder), folder, true);
    while (!open.empty() && walk.going() && !lf_stopRequested()) {
        const OpenFolder& current = open.back();
        errno = 0;
        const dirent* entry = ::readdir(current.listing());
        if (entry == nullptr) {
            if (errno != 0) cannotRead(current.path(), errno);
            open.pop_back();
            continue;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        fs::path path = current.path() / name;
        try {
            const std::string& pathText = path.native();
            if (lf_isTooLong(pathText)) {
                if (++longPaths <= kNamedLongPaths)
                    gf_logHighlighted(fmt::format("liveries search passes over {}: its path is longer than {} bytes",
                                                  gf_pathToUtf8Lossy(path), kMaxPathBytes));
                continue;
            }
            if (lf_isExcluded(pathText, rootLength)) continue;
            const FolderWalkGuard::Folder parent = current.guarded();
            const FolderEntry kind = gf_folderEntry(parent.fd, entry->d_name, entry->d_type);
            switch (kind.kind) {
            case FolderEntry::Kind::Folder: {
                const FolderWalkGuard::Entering entering = guard.enter(parent, entry->d_name, path, kind.link);
                enter(entering, std::move(path), false);
                break;
            }
            case FolderEntry::Kind::File:
                if (lf_isAircraftCfgName(path))
                    walk.start(path, pathText.find("ivao_x-csl") != std::string::npos ||
                                         pathText.find("IVAO_MTL") != std::string::npos);
                break;
            case FolderEntry::Kind::Other:
                break;
            }
        } catch (const std::exception& error) {
            gf_logHighlighted(fmt::format("liveries search in {} aborted, cause: {}",
                                          gf_pathToUtf8Lossy(path), error.what()));
        }
    }
    walk.finish();
    if (longPaths > kNamedLongPaths)
        gf_logHighlighted(fmt::format("liveries search passed over {} paths longer than {} bytes in {}", longPaths,
                                      kMaxPathBytes, gf_pathToUtf8Lossy(folder)));
    gLongPathsOfScan += longPaths;
}

ScanOutcome lf_scanLiveryFolders(const FolderList& folders) {
    gLiveries.clear();
    // A scan that ended with an error left its titles and report lines behind: they would refuse
    // this scan's liveries as already claimed.
    lf_clearScanLists();
    // The previous results stay until this scan has new ones: a scan that is stopped, killed or
    // finds nothing leaves the catalogue the program starts from.
    lf_readDontUseTitles();
    gLongPathsOfScan = 0;

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
        if (lf_stopRequested()) {
            stopped = true;
            break;
        }
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
        // The files of the previous scan stay; the log tells why nothing was found.
        gf_log("\nNo livery found");
        lf_logScanProblems();
        lf_clearScanLists();
        gf_clearStatusLine();
        return ScanOutcome::NoneFound;
    }
    if (folders.size() > 1) gf_log(fmt::format("{} in total", total));
    if (LIG_PRIORITIZE.current) lf_keepBestPriorities();
    lf_sortLiveries();
    const bool written = lf_writeLiveriesXml();
    gLiveries.clear();
    if (!written) {
        lf_logScanProblems();
        lf_clearScanLists();
        gf_clearStatusLine();
        throw std::runtime_error(
            fmt::format("{} could not be written", gf_pathToUtf8Lossy(gf_paths().liveriesScannedPath)));
    }
    // The reports of the previous scan go only once the new catalogue is in place.
    lf_removePreviousResults();
    lf_finishReports();
    return ScanOutcome::Found;
}

bool gf_scanLiveries() {
    const bool automatic = LIG_AUTOMATIC.current;
    EnableWindow(AI_PACKAGE_SELECTOR.window, FALSE);
    gf_setStatusLine(fmt::format("Scanning {}for liveries ...", LIG_PRIORITIZE.current ? "prioritized " : ""),
                     false);
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
            throw UserErrorException(
                43, "Automatic scan has not found any AI packages, choose a different selection "
                    "(or go to Manual mode, see Manual 5.2)");
        }
        gf_openManualFolder();
        gf_openParametersFolder();
        throw UserErrorException(
            48,
            fmt::format(
                "Exit {} first!   Then set one or more lfolder parameters to your liveries, see Manual 5.2",
                kProgramName));
    }

    const ScanOutcome outcome = lf_scanLiveryFolders(folders);
    if (outcome == ScanOutcome::Stopped) {
        gf_reenableControl(AI_PACKAGE_SELECTOR);
        gf_logAndFlush("\n++++++++++++++++++++++++ liveries scan stopped ++++++++++++++++++++++++++++++++\n");
        return false;
    }
    if (outcome == ScanOutcome::NoneFound) {
        // Paths passed over for their length may be why nothing was found.
        const std::string longPaths =
            gLongPathsOfScan == 0
                ? std::string()
                : fmt::format("; {} path{} longer than {} bytes passed over, see Log.txt", gLongPathsOfScan,
                              gf_plural(gLongPathsOfScan), kMaxPathBytes);
        if (!automatic) throw UserErrorException(53, "no liveries found" + longPaths);
        gf_reenableControl(AI_PACKAGE_SELECTOR);
        throw UserErrorException(
            143, "Automatic scan has not found any liveries, choose a different selection, or "
                 "switch off automatic and set lfolder parameter(-s)" +
                     longPaths);
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
