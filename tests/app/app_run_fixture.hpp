#pragma once
// A whole run of the program in this process, from the window's first WM_APP+1 to the end of its
// message loop: a program folder as a user has it in the test's folder, the simulator stand-in
// playing a scenario, rtfeed beside it on two free ports, and the simulator's side of the run
// played on a thread of its own.

#include <thread>

#include "app/app_test_support.hpp"
#include "app/process_entry.hpp"
#include "app/program_folder.hpp"
#include "core/time_texts.hpp"
#include "support/run_support.hpp"

namespace apptest {

class InProcessRun : public AppTest {
protected:
    // The program folder with the settings `more`, and the run's environment for `scenario`.
    void prepareRun(const fs::path& scenario,
                    const std::vector<std::pair<std::string, std::string>>& more = {}) {
        program_.emplace(folder(), tamrix::gf_paths().programDataFolder);
        program_->writeParameters(more);
        run_.emplace(scenario);
        tamrix::gLastTrafficTime = 0.0;
    }

    // The download server is the folder the build lays out beside the encrypted data (versions and
    // archived airport files), for the rest of the test.
    void useBuildDownloadServer() {
        const fs::path server = fs::path(QUORVEL_ENC_DIR).parent_path().parent_path() / "server" / "downloads";
        downloadBase_.emplace("QUORVEL_DOWNLOAD_BASE", "file://" + server.string() + "/");
    }

    // rtfeed beside the program for `seconds`, sending to the run's ports; `what` says what it plays.
    std::unique_ptr<Child> startFeed(const std::vector<std::string>& what, int seconds) const {
        std::vector<std::string> args{"--no-server", "--traffic-port", std::to_string(run_->trafficPort()),
                                      "--qnh-port", std::to_string(run_->qnhPort()),
                                      "--duration", std::to_string(seconds), "--quiet"};
        args.insert(args.end(), what.begin(), what.end());
        return std::make_unique<Child>(QUORVEL_RTFEED, args, folder(), std::vector<std::string>{});
    }

    // Runs the program from its process entry to the end of its message loop while
    // `simulatorSide` runs on a thread of its own, asked to stop (if it takes a stop token) and
    // joined once the program has ended; the program's exit code.
    template <class Side> static int runProgram(Side&& simulatorSide) {
        std::jthread side(std::forward<Side>(simulatorSide));
        return tamrix::lf_winMainBody({"quorvel"});
    }

    // The user closes the window: the way out of a run that did not go as the test wanted.
    static void closeWindow() { PostMessageW(tamrix::gMainWindow.load(), WM_CLOSE, 0, 0); }

    // Whether a line of the log contains `part`.
    bool logHas(std::string_view part) const {
        for (const auto& line : logLines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    std::optional<ProgramFolder> program_;
    std::optional<testsupport::RunEnvironment> run_;
    std::optional<testsupport::ScopedEnv> downloadBase_;
};

} // namespace apptest
