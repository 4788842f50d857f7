#include "app/process_entry.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/closing.hpp"
#include "app/startup.hpp"
#include "app/main_window.hpp"
#include "app/window_procedure.hpp"
#include "app/subsystem_wiring.hpp"
#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/version_data.hpp"
#include "links/realtraffic_server.hpp"
#include "links/sim_dispatch.hpp"
#include "links/simconnect_client.hpp"
#include "platform/simconnect/sim_scenario.hpp"
#include "platform/win32/close_signals.hpp"
#include "platform/win32/display_face.hpp"
#include "platform/win32/known_folders.hpp"
#include "platform/win32/single_instance.hpp"

namespace tamrix {
namespace {

void takePortFromEnvironment(const char* name, std::atomic<uint16_t>& port) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end == '\0' && value > 0 && value < 65536)
        port.store(static_cast<uint16_t>(value));
    else
        gf_logHighlighted(fmt::format("{}='{}' is no port number and is ignored", name, text));
}

// The simulator of a Linux run: the stand-in, driven by its own clock from a scenario file.
void startSimulatorStandIn() {
    const char* scenario = std::getenv("QUORVEL_SIM_SCENARIO");
    if (scenario == nullptr || *scenario == '\0') {
        gf_log("No simulator scenario (QUORVEL_SIM_SCENARIO): the simulator stays away");
        return;
    }
    std::string error;
    if (platform::simconnect::startAutonomous(scenario, error))
        gf_log(fmt::format("Simulator stand-in runs scenario {}", scenario));
    else
        gf_logHighlighted(fmt::format("Simulator scenario {} not usable: {}", scenario, error));
}

HWND createMainWindow() {
    lf_loadWindowPosition(); // where the window stood last time, kept on a monitor
    const HWND window = platform::win32::createTopLevelWindow(std::string(kProgramName), std::string(kProgramName));
    if (window == nullptr) return nullptr;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&lf_mainWndProc));
    gMainWindow.store(window);
    // The controls arrive with the window itself; until then control look-ups find none.
    gf_setStatusLineWindow(window);
    platform::win32::setCloseSignalWindow(window);
    SetWindowPos(window, nullptr, MAIN_WINDOW_X.current.load(), MAIN_WINDOW_Y.current.load(), kWindowWidth,
                 kWindowHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(window, WM_CREATE, 0, 0);
    if (platform::win32::displayFace().open) {
        platform::win32::displayFace().lost = [](const std::string& why) {
            gf_logHighlighted(fmt::format("The window's display has gone ({}): {} closes as by the window's close button",
                                          why, kProgramName));
        };
        platform::win32::displayFace().open(window);
        gWindowOnDisplay.store(true);
    }
    return window;
}

constexpr std::string_view kUsage =
    "Usage: quorvel [--production | --no-production]\n"
    "\n"
    "Start it in its program folder, the folder that holds \"docs\".\n"
    "\n"
    "  --production, /production        read the data files, then end (exit code 0, or 1 when they\n"
    "                                   cannot be read)\n"
    "  --no-production, /no-production  run as usual (the default)\n"
    "  --help                           show this text and end\n"
    "\n"
    "The switches are taken in any case; the last one wins; any other argument is ignored.\n";

// Why the current folder is not the program folder, or nothing when it is.
std::optional<std::string> lf_notTheProgramFolder() {
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    if (ec)
        return fmt::format("{} cannot tell its folder: the current folder has no name ({})", kProgramName,
                           ec.message());
    const std::filesystem::path& docs = gf_paths().docsFolder;
    const auto status = std::filesystem::status(docs, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        return fmt::format("{} cannot tell whether {} is its folder: \"{}\" there cannot be looked at ({})",
                           kProgramName, here.string(), docs.string(), ec.message());
    if (!std::filesystem::is_directory(status))
        return fmt::format("{} must be run from the {} folder, the one that holds \"{}\": {} does not", kProgramName,
                           kProgramName, docs.string(), here.string());
    return std::nullopt;
}

} // namespace

ProductionSwitch gf_parseProductionSwitch(const std::vector<std::string>& arguments) {
    ProductionSwitch result;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (gf_equalsNoCase(a, "--production") || gf_equalsNoCase(a, "/production")) {
            result = {true, true};
        } else if (gf_equalsNoCase(a, "--no-production") || gf_equalsNoCase(a, "/no-production")) {
            result = {false, true};
        }
    }
    return result;
}

std::optional<int> gf_answerBeforeStart(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (!gf_equalsNoCase(arguments[i], "--help")) continue;
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        std::fflush(stdout);
        return 0;
    }
    // The log, the lock files and the working folders belong in the program folder: outside it
    // nothing is written.
    if (const auto why = lf_notTheProgramFolder()) {
        std::fprintf(stderr, "%s\n", fmt::format("{}; this start ends and has written nothing", *why).c_str());
        return 1;
    }
    return std::nullopt;
}

int lf_winMainBody(const std::vector<std::string>& arguments) {
    const ProductionSwitch production = gf_parseProductionSwitch(arguments);
    gf_installSubsystems();
    takePortFromEnvironment("QUORVEL_TRAFFIC_PORT", gTrafficPort);
    takePortFromEnvironment("QUORVEL_QNH_PORT", gQnhPort);
    const HWND window = createMainWindow();
    if (window == nullptr) {
        gf_logHighlighted("initInstance failed");
        // No window, no run: a failed start, never a normal end.
        std::fprintf(stderr, "%s\n", fmt::format("{} ends: the main window could not be created", kProgramName).c_str());
        return 1;
    }
    gProductionMode.store(production.seen && production.request);
    if (!gProductionMode.load()) startSimulatorStandIn();
    PostMessageW(window, WM_START_RUN, 0, 0);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) != 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // Everything is saved by now: a display that stopped answering only keeps its window.
    if (platform::win32::displayFace().close && !platform::win32::displayFace().close()) {
        const std::string line =
            fmt::format("The window's display does not answer: {} ends and leaves its window there", kProgramName);
        std::fprintf(stderr, "%s\n", fmt::format("{}: {}", kProgramName, line).c_str());
        gf_logHighlighted(line);
    }
    // At process exit each thread object ends its last thread.
    gf_startUpThread().stopAndJoin();
    gf_simClientThread().stopAndJoin();
    platform::simconnect::stopAutonomous();
    return static_cast<int>(msg.wParam);
}

int gf_quorvelMain(int argc, char** argv) {
    // Before any other thread exists, so that all of them leave the close signals to it.
    platform::win32::startCloseSignalThread();
    platform::win32::setCloseSignalReports(
        {[](std::string_view signal) { gf_log(fmt::format("Closing on {}", signal)); },
         [](std::string_view signal, std::chrono::seconds limit) {
             // Once the closing has saved everything, only the end of the process is late: nothing
             // is lost, and the exit code is the run's own.
             const bool saved = gClosingSaved.load();
             const std::string what =
                 saved ? fmt::format("the closing did not finish within {} s of {}: everything was saved, the "
                                     "program ends without waiting for the rest",
                                     limit.count(), signal)
                       : fmt::format("the closing did not finish within {} s of {}: the program ends without it, "
                                     "and what it had not saved yet is lost",
                                     limit.count(), signal);
             std::fprintf(stderr, "%s\n", fmt::format("{} ends: {}", kProgramName, what).c_str());
             gf_logHighlighted(saved ? what : fmt::format("Error {}", what));
             gf_flushLog();
             return saved ? std::optional<int>(gExitCode.load()) : std::nullopt;
         }});
    std::vector<std::string> arguments(argv, argv + argc);

    // A start that cannot begin says why on stderr and in the log, and ends with 1.
    const auto cannotBegin = [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        try {
            gf_openLog();
            gf_logHighlighted(line);
            gf_closeLog();
        } catch (const std::exception&) {
        }
        return 1;
    };
    // The lock file and "parameters.xml" live in the program data folder: without it start-up
    // cannot begin. Without the roaming application-data folder it is the relative "Quorvel" of
    // the program folder, which the user is told before anything else.
    std::string noRoamingFolder;
    if (!gf_knownFolderPath(FOLDERID_RoamingAppData)) {
        std::error_code absoluteError;
        auto shown = std::filesystem::absolute(gf_paths().programDataFolder, absoluteError);
        if (absoluteError) shown = gf_paths().programDataFolder;
        noRoamingFolder = fmt::format("No folder for the settings (none of QUORVEL_ROAMING_APPDATA, XDG_CONFIG_HOME "
                                      "and HOME is set): they are kept in {}",
                                      shown.string());
        std::fprintf(stderr, "%s\n", fmt::format("{}: {}", kProgramName, noRoamingFolder).c_str());
    }
    const auto& dataFolder = gf_paths().programDataFolder;
    std::error_code ec;
    std::filesystem::create_directories(dataFolder, ec);
    if (ec) return cannotBegin(fmt::format("Failed to create directory: {}: {}", dataFolder.string(), ec.message()));
    // One instance per program folder (its "Log.txt", its airport files) and per data folder
    // (its settings). A second one touches neither, not even the log: it says why and ends.
    struct InstanceLock {
        std::filesystem::path file;
        std::string_view folderKind;
        platform::win32::InstanceLockResult result;
    };
    std::vector<InstanceLock> locks;
    for (const auto& [folder, kind] :
         {std::pair{std::filesystem::path("."), std::string_view("program folder")},
          std::pair{dataFolder, std::string_view("data folder")}}) {
        const auto file = folder / kInstanceLockName;
        locks.push_back({file, kind, platform::win32::acquireInstanceLock(file)});
        if (locks.back().result.state != platform::win32::InstanceLockState::HeldElsewhere) continue;
        std::error_code pathError;
        auto shown = std::filesystem::weakly_canonical(folder, pathError);
        if (pathError) shown = folder;
        std::fprintf(
            stderr, "%s\n",
            fmt::format("{} already runs with the {} {}: this start ends", kProgramName, kind, shown.string())
                .c_str());
        return -1;
    }

    try {
        gf_openLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    if (!noRoamingFolder.empty()) gf_logHighlighted(noRoamingFolder);
    if (const std::string& display = platform::win32::displayFace().unusable; !display.empty()) {
        const std::string& why = platform::win32::displayFace().unusableWhy;
        const std::string line =
            fmt::format("The display '{}' named by DISPLAY {}: the run goes on without its window", display,
                        why.empty() ? std::string("cannot be opened") : why);
        std::fprintf(stderr, "%s\n", fmt::format("{}: {}", kProgramName, line).c_str());
        gf_logHighlighted(line);
    }
    for (const auto& lock : locks)
        if (lock.result.state == platform::win32::InstanceLockState::Unavailable)
            gf_logHighlighted(fmt::format(
                "Single-instance lock {} not usable ({}): a second {} with this {} is not kept out",
                lock.file.string(), lock.result.error, kProgramName, lock.folderKind));
    int code = 0;
    try {
        code = lf_winMainBody(arguments);
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("Error {}", e.what()));
        std::fprintf(stderr, "Error %s\n", e.what());
        code = 1;
    }
    gf_closeLog();
    return code;
}

} // namespace tamrix
