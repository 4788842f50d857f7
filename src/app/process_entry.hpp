#pragma once
// The process entry: one instance per user, "Log.txt", the command line, the program data
// folder, the main window, and the message loop that runs on the main thread for the life of
// the process. Every run happens on a start-up thread that the window starts on WM_APP+1.
//
// Linux stand-ins: the single-instance mutex is a lock file in the program data folder, and a
// second one in the program folder keeps two instances of one program folder apart; SIGINT,
// SIGQUIT, SIGTERM and SIGHUP close the program as the window's close button does (within a time
// limit, platform/win32/close_signals.hpp), and so does a display that goes away; the simulator
// is the in-process stand-in, run from the scenario file named by QUORVEL_SIM_SCENARIO (without
// it no simulator ever appears, as when the real one is not started). QUORVEL_TRAFFIC_PORT and
// QUORVEL_QNH_PORT move the two UDP readers off RealTraffic's ports 49005 and 49004.

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/window.hpp"
#include "app/window_procedure.hpp"

namespace tamrix {

inline constexpr std::string_view kInstanceLockName = "Quorvel.lock";

struct ProductionSwitch {
    bool request = false;
    bool seen = false;
};
// Argument 0 (the program) is skipped; "--production" and "/production" switch production mode
// on, "--no-production" and "/no-production" off, regardless of case; the last one wins.
ProductionSwitch gf_parseProductionSwitch(const std::vector<std::string>& arguments);

// What is answered before anything is started or written: "--help" (in any case, anywhere among
// the arguments) prints the usage to stdout and gives 0; a start outside the program folder (the
// current folder holds no "docs" folder) says so on stderr and gives 1. Nothing otherwise: the
// program starts.
std::optional<int> gf_answerBeforeStart(const std::vector<std::string>& arguments);

// The process: returns the exit code (-1 for a second instance, which says why on stderr; 1 when
// start-up cannot begin).
int gf_quorvelMain(int argc, char** argv);
// After the single-instance check and the log: the window and the message loop; returns the
// loop's exit code.
int lf_winMainBody(const std::vector<std::string>& arguments);

} // namespace tamrix
