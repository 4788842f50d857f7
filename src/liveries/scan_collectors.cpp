#include "liveries/scan_collectors.hpp"

#include <exception>

#include <fmt/format.h>
#include <gsl/narrow>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/text_encoding.hpp"
#include "liveries/regcodes.hpp"
#include "refdata/encrypted_file.hpp"

namespace tamrix {

LineCollection<std::list<std::string>> gInvalidAirlineLines;
LineCollection<std::list<std::string>> gInvalidModelLines;
LineCollection<std::vector<std::string>> gFixLines;
LineCollection<std::list<std::string>> gInvalidCfgLines;
LineCollection<std::list<std::string>> gIncompleteSectionLines;
LineCollection<std::list<std::string>> gEmptyCfgLines;
ScanTitles gScanTitles;
std::vector<std::string> gDontUseTitles;

bool ScanTitles::claim(std::string_view title) {
    std::lock_guard lock(m_mutex);
    return m_titles.emplace(title).second;
}

bool ScanTitles::contains(std::string_view title) const {
    std::lock_guard lock(m_mutex);
    return m_titles.find(title) != m_titles.end();
}

std::size_t ScanTitles::size() const {
    std::lock_guard lock(m_mutex);
    return m_titles.size();
}

void ScanTitles::clear() {
    std::lock_guard lock(m_mutex);
    m_titles.clear();
}

void lf_addInvalidAirline(std::string_view code, const std::filesystem::path& cfgPath, std::string_view extra) {
    gInvalidAirlineLines.add(fmt::format("{:12} in {} ", code, gf_pathToUtf8Lossy(cfgPath)) + std::string(extra));
}

void lf_addInvalidModel(std::string_view code, const std::filesystem::path& cfgPath) {
    gInvalidModelLines.add(fmt::format("{:16} in {}", code, gf_pathToUtf8Lossy(cfgPath)));
}

void lf_addFixLine(std::string line) { gFixLines.add(std::move(line)); }
void lf_addInvalidCfgLine(std::string line) { gInvalidCfgLines.add(std::move(line)); }
void lf_addIncompleteSectionLine(std::string line) { gIncompleteSectionLines.add(std::move(line)); }

namespace {
thread_local TaskTitles* tTaskTitles = nullptr;
} // namespace

LiveryData lf_makeLiveryData(uint16_t priority, const LiveryKey& key, std::string title, std::string regcode,
                             std::string takenLine) {
    const bool claimed = tTaskTitles != nullptr ? tTaskTitles->claim(title, takenLine) : gScanTitles.claim(title);
    if (!claimed) {
        lf_addIncompleteSectionLine(std::move(takenLine));
        return LiveryData{};
    }
    return LiveryData{std::move(title), std::move(regcode), key, gsl::narrow<int16_t>(priority)};
}

bool TaskTitles::claim(const std::string& title, std::string takenLine) {
    return m_takenLines.emplace(title, std::move(takenLine)).second;
}

void TaskTitles::claimForScan(std::list<LiveryData>& liveries) const {
    for (auto it = liveries.begin(); it != liveries.end();) {
        if (gScanTitles.claim(it->title)) {
            ++it;
            continue;
        }
        const auto line = m_takenLines.find(it->title);
        if (line != m_takenLines.end()) lf_addIncompleteSectionLine(line->second);
        it = liveries.erase(it);
    }
}

TaskTitlesScope::TaskTitlesScope(TaskTitles& titles) : m_previous(std::exchange(tTaskTitles, &titles)) {}
TaskTitlesScope::~TaskTitlesScope() { tTaskTitles = m_previous; }

void lf_readDontUseTitles() {
    gDontUseTitles.clear();
    const ProgramPaths& paths = gf_paths();
    try {
        if (gf_streamDecrypt(paths.aigRegcodesEncPath, paths.aigRegcodesXmlPath)) {
            lf_readDontUseTitlesFromFile();
            gf_removeFile(paths.aigRegcodesXmlPath);
        }
        const auto& folder = paths.myRegcodesFolder;
        if (std::filesystem::is_directory(folder) && !std::filesystem::is_empty(folder)) lf_readDontUseTitlesFromFolder();
    } catch (const std::exception& error) {
        gf_removeFile(paths.aigRegcodesXmlPath);
        gf_logHighlighted(fmt::format("exception: {}", error.what()));
    }
}

void lf_clearScanLists() {
    gInvalidAirlineLines.clear();
    gInvalidModelLines.clear();
    gFixLines.clear();
    gInvalidCfgLines.clear();
    gIncompleteSectionLines.clear();
    gEmptyCfgLines.clear();
    gScanTitles.clear();
    gDontUseTitles.clear();
}

} // namespace tamrix
