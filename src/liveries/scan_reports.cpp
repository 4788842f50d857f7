#include "liveries/scan_reports.hpp"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/text_files.hpp"
#include "liveries/scan_collectors.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

const fs::path& lf_errorsFolder() { return gf_paths().errorsFolder; }
fs::path lf_errorsFile(std::string_view name) { return lf_errorsFolder() / name; }
fs::path lf_emptyCfgFile() { return gf_paths().infoFolder / "AircraftCfgWithNoFltsimSection.txt"; }

void lf_writeReportLines(const std::vector<std::string>& lines, const fs::path& path) {
    if (!gf_writeLines(lines, path)) gf_log(fmt::format("Error writing file {}: {}", path.string(), "the file could not be written"));
}

// Sorts (and optionally makes unique) a list collection's lines, writes them and logs the summary.
void lf_reportList(LineCollection<std::list<std::string>>& collection, const fs::path& path, bool unique,
                   std::string_view summary, bool plural) {
    std::list<std::string> lines = collection.snapshot();
    if (lines.empty()) return;
    const auto count = static_cast<int64_t>(lines.size());
    lines.sort();
    if (unique) lines.unique();
    lf_writeReportLines(std::vector<std::string>(lines.begin(), lines.end()), path);
    gf_log(plural ? fmt::format(fmt::runtime(summary), count, gf_plural(count), path.string())
                  : fmt::format(fmt::runtime(summary), count, path.string()));
}

} // namespace

void lf_removePreviousResults() {
    const fs::path targets[] = {lf_emptyCfgFile(),
                                lf_errorsFile("InlineRegcodes.txt"),
                                lf_errorsFile("InvalidAirlineCodes.txt"),
                                lf_errorsFile("InvalidAircraftCodes.txt"),
                                lf_errorsFile("Fixes.txt"),
                                lf_errorsFile("InvalidAircraftCfgFiles.txt"),
                                lf_errorsFile("IncompleFltsimSections.txt"),
                                lf_errorsFolder()};
    try {
        for (const auto& target : targets) fs::remove(target);
    } catch (const std::exception& error) {
        gf_log(fmt::format("problems with removing previous files: {}", error.what()));
    }
}

void lf_logScanProblems() {
    const auto logLines = [](std::string_view what, auto lines) {
        if (lines.empty()) return;
        gf_log(fmt::format("{:5} {}:", lines.size(), what));
        for (const auto& line : lines) gf_log("  " + line);
    };
    gf_log("The results of the previous scan are kept. Found on the way:");
    logLines("invalid airline codes", gInvalidAirlineLines.snapshot());
    logLines("invalid model codes", gInvalidModelLines.snapshot());
    logLines("fixes", gFixLines.snapshot());
    logLines("invalid aircraft.cfg files", gInvalidCfgLines.snapshot());
    logLines("incomplete [fltsim.x] sections", gIncompleteSectionLines.snapshot());
    logLines("empty aircraft.cfg files", gEmptyCfgLines.snapshot());
}

void lf_writeFixesFile() {
    const fs::path path = lf_errorsFile("Fixes.txt");
    try {
        fs::create_directories(path.parent_path());
        if (!gf_writeLines(gFixLines.snapshot(), path)) throw std::runtime_error("the file could not be written");
    } catch (const std::exception& error) {
        gf_log(fmt::format("Error writing file {}: {}", path.string(), error.what()));
    }
}

void lf_writeScanReport() {
    const bool noErrors = gInvalidAirlineLines.size() == 0 && gInvalidModelLines.size() == 0 && gFixLines.size() == 0 &&
                          gInvalidCfgLines.size() == 0 && gIncompleteSectionLines.size() == 0;
    gf_log(noErrors ? "\nNo errors" : "\nErrors:");
    if (!noErrors && !fs::exists(lf_errorsFolder())) fs::create_directory(lf_errorsFolder());
    lf_reportList(gInvalidAirlineLines, lf_errorsFile("InvalidAirlineCodes.txt"), false,
                  "{:5} invalid airline code{}, see {}", true);
    lf_reportList(gInvalidModelLines, lf_errorsFile("InvalidAircraftCodes.txt"), false,
                  "{:5} invalid model code{}, see {}", true);
    if (const auto fixes = static_cast<int64_t>(gFixLines.size()); fixes > 0) {
        lf_writeFixesFile();
        gf_log(fmt::format("{:5} fixes, see {}", fixes, lf_errorsFile("Fixes.txt").string()));
    }
    lf_reportList(gInvalidCfgLines, lf_errorsFile("InvalidAircraftCfgFiles.txt"), false,
                  "{:5} invalid aircraft.cfg files, see {}", false);
    lf_reportList(gIncompleteSectionLines, lf_errorsFile("IncompleFltsimSections.txt"), true,
                  "{:5} incomplete [fltsim.x] sections, see {}", false);
    gf_log("\nInformation:");
    lf_reportList(gEmptyCfgLines, lf_emptyCfgFile(), false, "{:5} empty aircraft.cfg files, see {}", false);
}

} // namespace tamrix
