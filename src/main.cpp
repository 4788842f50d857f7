// Quorvel's process entry: opens "Log.txt" in the program's own folder and runs the start-up
// steps the program has so far.
#include <cstdio>
#include <exception>
#include <filesystem>

#include <fmt/format.h>

#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_tasks.hpp"
#include "refdata/reference_data.hpp"

namespace {

int run() {
    using namespace tamrix;
    gf_installSettingHooks();
    // Per-user data ("parameters.xml") lives in the program data folder; without it there is
    // nothing to keep settings in.
    try {
        std::filesystem::create_directories(gf_paths().programDataFolder);
    } catch (const std::filesystem::filesystem_error& e) {
        gf_log(fmt::format("Failed to create directory: {}", e.what()));
        return 0;
    }
    // The program must be started from its own folder, which holds its documentation.
    if (!std::filesystem::is_directory("docs"))
        throw UserErrorException(99, fmt::format("{} must be run from the {} folder!", kProgramName, kProgramName));
    // Reads "parameters.xml" (creating it with the defaults when it is missing) and migrates it.
    gf_checkParametersVersion();
    gf_readReferenceData();

    gScanWorkerCount = gf_defaultScanWorkerCount();
    const auto& paths = gf_paths();
    std::filesystem::create_directories(paths.infoFolder);
    std::filesystem::create_directories(paths.errorsFolder);
    if (SCAN_LIVERIES.current || lf_liveriesXmlNeedsScan()) {
        if (!gf_scanLiveries()) return 0;  // stopped: nothing to build a catalogue from
    }
    gf_processScannedLiveries();
    return 0;
}

} // namespace

int main() {
    try {
        tamrix::gf_openLog();
    } catch (const std::exception& e) {
        // Without a log there is nowhere else to tell the user.
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    int code = 0;
    try {
        code = run();
    } catch (const std::exception& e) {
        tamrix::gf_logHighlighted(fmt::format("Error {}", e.what()));
        std::fprintf(stderr, "Error %s\n", e.what());
        code = 1;
    }
    tamrix::gf_closeLog();
    return code;
}
