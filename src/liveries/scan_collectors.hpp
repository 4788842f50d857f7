#pragma once
// What a livery scan collects besides the liveries: the problem lines of the report files
// (invalid airline and model codes, fixes, invalid "aircraft.cfg" files, incomplete sections,
// files without fltsim sections), the titles claimed so far and the titles not to use.
//
// The per-file scan tasks add from many threads at once: each collection has its own lock, held
// for one append. Taking, clearing and the don't-use titles belong to the scan's own thread,
// when no task adds any more.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "liveries/livery_list.hpp"

namespace tamrix {

template <typename Container> class LineCollection {
public:
    void add(std::string line) {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::move(line));
    }
    // Hands the lines over and leaves the collection empty.
    Container take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_lines, Container{});
    }
    Container snapshot() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    std::size_t size() const {
        std::lock_guard lock(m_mutex);
        return m_lines.size();
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    Container m_lines;
};

extern LineCollection<std::list<std::string>> gInvalidAirlineLines;    // "InvalidAirlineCodes.txt"
extern LineCollection<std::list<std::string>> gInvalidModelLines;      // "InvalidAircraftCodes.txt"
extern LineCollection<std::vector<std::string>> gFixLines;             // "Fixes.txt", in arrival order
extern LineCollection<std::list<std::string>> gInvalidCfgLines;        // "InvalidAircraftCfgFiles.txt"
extern LineCollection<std::list<std::string>> gIncompleteSectionLines; // "IncompleFltsimSections.txt"
extern LineCollection<std::list<std::string>> gEmptyCfgLines;          // "AircraftCfgWithNoFltsimSection.txt"

// Every livery title accepted so far in the current scan, over all folders, files and threads.
class ScanTitles {
public:
    // True when the title was not claimed before (it is now).
    bool claim(std::string_view title);
    bool contains(std::string_view title) const;
    std::size_t size() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::set<std::string, std::less<>> m_titles;
};
extern ScanTitles gScanTitles;

// Titles that must not become liveries: the titles the regcode sources list without any
// registration. Filled before a scan, only read while it runs.
extern std::vector<std::string> gDontUseTitles;

// "{:12} in {} " of the code and the file's path, followed directly by the extra text.
void lf_addInvalidAirline(std::string_view code, const std::filesystem::path& cfgPath, std::string_view extra);
// "{:16} in {}" of the code and the file's path.
void lf_addInvalidModel(std::string_view code, const std::filesystem::path& cfgPath);
void lf_addFixLine(std::string line);
void lf_addInvalidCfgLine(std::string line);
void lf_addIncompleteSectionLine(std::string line);

// A livery record of the four values when the title was not claimed yet (it is claimed now);
// otherwise `takenLine` goes to "IncompleFltsimSections.txt" and the result is an empty record
// (texts empty, key 0), which the caller drops as incomplete. Inside a scan task
// (TaskTitlesScope) the title is claimed for the task's file only: the walker claims the file's
// titles for the scan when it takes the file's result, so the file met first in the walk keeps a
// title whatever the order the tasks end in.
LiveryData lf_makeLiveryData(uint16_t priority, const LiveryKey& key, std::string title, std::string regcode,
                             std::string takenLine);

// The titles one scan task claimed, each with the line to report should an earlier file hold it.
class TaskTitles {
public:
    bool claim(const std::string& title, std::string takenLine);
    // Claims the liveries' titles for the scan, in list order; a livery whose title an earlier
    // file holds is dropped and reported.
    void claimForScan(std::list<LiveryData>& liveries) const;

private:
    std::map<std::string, std::string, std::less<>> m_takenLines;
};

// Makes lf_makeLiveryData claim into `titles` on this thread while the scope lives.
class TaskTitlesScope {
public:
    explicit TaskTitlesScope(TaskTitles& titles);
    ~TaskTitlesScope();
    TaskTitlesScope(const TaskTitlesScope&) = delete;
    TaskTitlesScope& operator=(const TaskTitlesScope&) = delete;

private:
    TaskTitles* m_previous;
};

// Fills gDontUseTitles from the AIG regcode file and the user's regcode files. Any error is
// logged as "exception: {}"; the titles read so far stay.
void lf_readDontUseTitles();

// Empties the six collections, gScanTitles and gDontUseTitles, so that a later scan in the same
// process starts afresh.
void lf_clearScanLists();

} // namespace tamrix
