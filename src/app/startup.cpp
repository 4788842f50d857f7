#include "app/startup.hpp"
#include "airports/sim_install.hpp"

#include <cerrno>
#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/closing.hpp"
#include "app/connect_phase.hpp"
#include "app/edit_fields.hpp"
#include "app/main_loop.hpp"
#include "app/run_hooks.hpp"
#include "app/updater.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "core/files.hpp"
#include "core/fixed_code.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/text_encoding.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "links/flight_plan_writer.hpp"
#include "links/realtraffic_server.hpp"
#include "links/traffic_source_state.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/scan_tasks.hpp"
#include "refdata/airports.hpp"
#include "refdata/reference_data.hpp"

namespace tamrix {
namespace {

namespace fs = std::filesystem;

// The folder name a stored install path may end with, after either separator.
constexpr std::string_view kCommunityName = "Community";

bool isDirectory(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("status", path, ec);
    return fs::is_directory(status);
}

bool existsOrThrow(const fs::path& path) {
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec) throw fs::filesystem_error("exists", path, ec);
    return exists;
}

// The settings and the flight plans are written into the data folder: a run that cannot write
// there would lose every setting it changes. A file made and removed again tells, with the
// system's own cause; the folder itself is made when missing, as at the process start.
void requireWritableDataFolder() {
    const fs::path& folder = gf_paths().programDataFolder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!ec) {
        const fs::path probe = folder / fmt::format(".write-check.{}", ::getpid());
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
            return;
        }
        ec.assign(errno, std::generic_category());
    }
    throw std::runtime_error(
        fmt::format("The data folder {} cannot be written: {}", gf_pathToUtf8Lossy(folder), ec.message()));
}

void enable(const ParameterControl& control, bool on) {
    if (control.window != nullptr) EnableWindow(control.window, on ? TRUE : FALSE);
}

// Fills a combo box with its values; nothing while the window has no such control.
template <class P> void fill(const P& parameter) {
    if (parameter.window != nullptr) parameter.fillComboBox();
}

// The hours of fitting, written with one decimal, the current value selected.
void fillMaxFitFl() {
    if (MAX_FIT_FL.window == nullptr) return;
    SendMessageW(MAX_FIT_FL.window, CB_RESETCONTENT, 0, 0);
    const float current = MAX_FIT_FL.current.load();
    for (std::size_t i = 0; i < MAX_FIT_FL.allowed.size(); ++i) {
        const std::u16string text = utf8_to_wide(fmt::format("{:.1f}", MAX_FIT_FL.allowed[i]));
        SendMessageW(MAX_FIT_FL.window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (MAX_FIT_FL.allowed[i] == current) SendMessageW(MAX_FIT_FL.window, CB_SETCURSEL, i, 0);
    }
}

// "USER CLOSED SIM" unless a reason is set, closing and stop, then the RealTraffic server told.
void endStartUpEarly() {
    gf_setUserClosed();
    gf_exitRealTrafficServer();
}

StringParameter& runningInstallPath() {
    return gIsMsfs2020.load() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
}

// A destination the user set in an earlier run becomes the first park airport again. A stored
// text that is no airport code (the file edited by hand) is logged and left alone.
void applyStoredDestination() {
    const std::string text = DESTINATION.current.get();
    if (text.empty()) return;
    FixedCode<4> code;
    try {
        code = FixedCode<4>(text);
    } catch (const std::invalid_argument&) {
        gf_log(fmt::format("destination '{}' is not valid", text));
        return;
    }
    if (const AirportRecord* airport = gf_findAirport(code))
        lf_setDestination(text, airport->latitude, airport->longitude);
}

// The body; false when it ended start-up early (the closing still follows).
void startUpBody() {
    if (!isDirectory(gf_paths().docsFolder))
        throw UserErrorException(
            41, fmt::format("{} must be run from the {} folder!", kProgramName, kProgramName));
    if (!lf_prepareDataFiles()) return;
    const auto& paths = gf_paths();
    gf_removeFile(paths.airportsXmlPath);
    gf_removeFile(paths.aigRegcodesXmlPath);
    gf_removeFile(paths.inputFolder / "dbase.xml");
    gScanWorkerCount.store(gf_defaultScanWorkerCount());
    gRunningScanTasks.store(0);
    // A missing, unreadable or damaged catalogue file is scanned anew: it can be rebuilt.
    if (SCAN_LIVERIES.current.load() || lf_liveriesXmlNeedsScan()) {
        // A stopped scan wrote nothing: there is no new catalogue to load, the run ends.
        if (!gf_scanLiveries()) return endStartUpEarly();
    }
    gf_processScannedLiveries();
    if (gf_stopOrClosing()) return endStartUpEarly();
    gSimaddonCount.store(gf_countDirectoryEntries(paths.mySimaddonFolder));
    gf_invalidateStatusPanel();
    gThirdpartyCount.store(gf_countDirectoryEntries(paths.myThirdpartyFolder));
    gf_invalidateStatusPanel();
    if (gf_stopOrClosing()) return endStartUpEarly();
    gf_createFlightPlanFolder();
    gf_callHook(gf_airportHooks().readMyParkAirports);
    enable(REREAD_BUTTON, true);
    applyStoredDestination();
    const HWND main = gMainWindow.load();
    if (main != nullptr)
        SetWindowPos(main, ALWAYS_ON_TOP.current.load() ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE);
    if (!lf_runPhase()) return endStartUpEarly();
    lf_mainLoop();
}

} // namespace

std::string lf_installPathWithoutCommunity(const std::string& path) {
    const std::size_t cut = path.size() - kCommunityName.size() - 1;
    if (path.size() < 10 || !path.ends_with(kCommunityName) || (path[cut] != '\\' && path[cut] != '/'))
        return path;
    return path.substr(0, cut);
}

uint64_t gf_countDirectoryEntries(const fs::path& folder) {
    std::error_code ec;
    uint64_t count = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count;
}

fs::path gf_realTrafficJarPath() {
    return gf_appDataPath() / gf_paths().zazuveRuzoverName / "RealTraffic.jar";
}

void lf_createFolders() {
    const auto& p = gf_paths();
    const fs::path folders[] = {
        p.outputFolder,
        p.infoFolder,
        p.errorsFolder,
        p.airportsFolder,
        p.airportsFolder / p.learnedName,
        p.learnedStockFolder,
        p.learnedSimaddonFolder,
        p.learnedThirdpartyFolder,
        p.mySimaddonFolder,
        p.myThirdpartyFolder,
        p.myRegcodesFolder,
    };
    for (const auto& folder : folders) {
        if (isDirectory(folder)) continue;
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) throw fs::filesystem_error("create_directories", folder, ec);
    }
    if (existsOrThrow(p.objectIdListPath)) {
        std::error_code ec;
        fs::remove(p.objectIdListPath, ec);
        if (ec) throw fs::filesystem_error("remove", p.objectIdListPath, ec);
    }
}

void lf_initControls() {
    for (const CheckBoxParameter* box :
         {&ALWAYS_ON_TOP, &NAV_LIGHTS_WHILE_PARKED, &OBJECTID_LIST, &GUID_CHANGES, &SCAN_LIVERIES,
          &LIG_AUTOMATIC, &LIG_PRIORITIZE, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &AUTO_RANGE,
          &AIRBORNE_ONLY, &COLLISION_USER_GND, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND,
          &STRAIGHT_PBS_ONLY, &WEEK, &PARK_SOFT, &INITIAL_LOAD_ONLY})
        enable(*box, true);
    enable(BLOCK_CALLSIGN, true);
    for (const IntChoiceParameter* choice :
         {&MATCHING_DEPTH, &AIRP_RANGE, &AIRP_HEIGHT, &MAX_PARK_SEL, &MAX_LIVE_SEL}) {
        fill(*choice);
        enable(*choice, true);
    }
    fill(SIM_CHOICE);
    enable(SIM_CHOICE, true);
    const bool msfs2020 = SIM_CHOICE.current.get() == "MSFS 2020";
    gIsMsfs2020.store(msfs2020);
    gSimGeneration.store(msfs2020 ? 1 : 2);
    fill(RANGE);
    enable(RANGE, !AUTO_RANGE.current.load());
    fill(AR_ABOVE_HEIGHT);
    enable(AR_ABOVE_HEIGHT, AUTO_RANGE.current.load());
    fill(AI_PACKAGE_SELECTOR);
    enable(AI_PACKAGE_SELECTOR, LIG_AUTOMATIC.current.load());
    enable(UNBLOCK_BUTTON, !BLOCK_CALLSIGN.current.get().empty());
    enable(SCAN_AIRPORTS, false);
    for (const ParameterControl* control : {static_cast<const ParameterControl*>(&TBLO_ZIP_BUTTON),
                                            static_cast<const ParameterControl*>(&BLOCK_BUTTON),
                                            static_cast<const ParameterControl*>(&CS_TO_OID_BUTTON),
                                            static_cast<const ParameterControl*>(&CALLSIGN_2_OBJECTID),
                                            static_cast<const ParameterControl*>(&DESTINATION),
                                            static_cast<const ParameterControl*>(&REREAD_BUTTON),
                                            static_cast<const ParameterControl*>(&FLUSH_STATIC_BUTTON)})
        enable(*control, false);
    parking_percentage.current.store(30);
    fill(parking_percentage);
    enable(parking_percentage, false);
    fillMaxFitFl();
    gf_updateMaxFitFl();
    enable(MAX_FIT_FL, false);
    if (!INITIAL_LOAD_ONLY.current.load()) enable(NOW_BUTTON, false);
}

void lf_productionRun() {
    try {
        gf_log("production");
        gf_flushLog();
        // A failure the run already met (a download address that is no URL) stays in the exit code.
        gf_setUserClosed();
        gf_exitRealTrafficServer();
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("exception {}", e.what()));
        gExitCode.store(1);
    }
}

bool lf_prepareDataFiles() {
    requireWritableDataFolder();
    gf_checkParametersVersion();
    gf_invalidateStatusPanel();
    gf_flushLog();
    lf_initControls();
    StringParameter& installPath = runningInstallPath();
    const std::string path = installPath.current.get();
    const std::string cut = lf_installPathWithoutCommunity(path);
    if (cut != path) gf_setStringParameter(installPath, cut);
    lf_createFolders();
    // A fresh start asks the download server for newer data and program versions; a fetched
    // program version ends the start. Reference files the settings migration set aside are
    // settled either way.
    const bool goOn = gRestartFlag.load() || gf_checkForUpdates();
    gf_restoreKeptReferenceFiles();
    if (!goOn) return false;
    gf_refreshTimeSlot();
    gf_readReferenceData();
    gReferenceDataRead.store(true);
    ALL_INSTALL_PATH.current.set(installPath.current.get());
    gf_publishMsfsPaths(); // the scans look below the install path the settings hold
    enable(ALL_INSTALL_PATH, true);
    if (ALL_INSTALL_PATH.window != nullptr) gf_setStringControlText(ALL_INSTALL_PATH);
    if (ALL_INSTALL_PATH.current.get().empty() && !gf_callHook(gf_airportHooks().detectMsfs, false))
        throw UserErrorException(
            150,
            "No install path detected. Type the full path to your Community folder above, then press Enter");
    if (gMainWindow.load() != nullptr) InvalidateRect(gMainWindow.load(), &kOptionsArea, TRUE);
    if (gProductionMode.load()) {
        lf_productionRun();
        return false;
    }
    const bool found = existsOrThrow(gf_realTrafficJarPath());
    gRealTrafficOnThisPc.store(found);
    gf_setStatusLine(fmt::format("RealTraffic {}detected at this PC", found ? "" : "not "), true);
    gf_flushLog();
    return true;
}

void lf_startUpQuorvel() {
    gStartUpFinished.store(false);
    try {
        startUpBody();
    } catch (const UserErrorException& e) {
        const std::string text = e.what();
        gf_setStatusError(text.empty() ? "Unknown exception" : text);
        gf_forceExitReason(ExitReason::SystemError, 0);
    } catch (const fmt::format_error& e) {
        gf_setStatusError(fmt::format("std::format error: {}", e.what()));
        gf_setStatusError(e.what());
        gf_setExitReason(ExitReason::SystemError, 0);
    } catch (const std::bad_alloc& e) {
        gf_setStatusError(e.what());
        gf_setExitReason(ExitReason::SystemError, 0);
    } catch (const std::exception& e) {
        gf_setStatusError(e.what());
        gf_setExitReason(ExitReason::SystemError, 0);
    } catch (...) {
        gf_setStatusError("Unknown exception");
        gf_forceExitReason(ExitReason::SystemError, 0);
    }
    gf_flushLog();
    lf_closingDown();
    gStartUpFinished.store(true);
}

} // namespace tamrix
