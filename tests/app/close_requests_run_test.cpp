// How a run of the built program ends when the world asks it to: a termination signal, a
// terminal that hangs up, a display that goes away. Each is a close request like the window's
// close button; the closing sequence runs, and where it cannot finish the process still ends and
// says so.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "app/app_test_support.hpp"
#include "app/program_folder.hpp"
#include "platform/win32/close_signals.hpp"
#include "support/private_display.hpp"

namespace {

using apptest::Child;
using apptest::contains;
using apptest::ProgramFolder;
using apptest::readLines;
using apptest::readText;
namespace fs = std::filesystem;
using std::chrono::seconds;
using testsupport::PrivateDisplay;

std::vector<std::string> headlessEnv(const ProgramFolder& p) {
    std::vector<std::string> env = p.dataFolderEnv();
    env.push_back("DISPLAY=");
    return env;
}

// Without a simulator a run waits in its connect phase, after the window and the start-up.
bool waitsForTheSimulator(const ProgramFolder& p) {
    return apptest::waitFor([&] { return contains(readLines(p.log()), "RealTraffic not detected at this PC"); },
                            seconds(120));
}

bool logHas(const ProgramFolder& p, std::string_view text) {
    return readText(p.log()).find(text) != std::string::npos;
}

// What a run says when DISPLAY names a display it cannot open.
constexpr std::string_view kDisplayUnusable = "cannot be opened: the run goes on without its window";

// Ends the run with `signal` once it waits for the simulator: the closing ran and saved the
// settings, and the process ended with 0.
void expectClosedBy(int signal, std::string_view name, const std::function<void(const ProgramFolder&)>& more = {}) {
    ProgramFolder p;
    p.writeParameters({{"DESTINATION", "EKBI"}});
    Child run(QUORVEL_BINARY, {}, p.root(), headlessEnv(p));
    ASSERT_TRUE(waitsForTheSimulator(p)) << readText(p.log());
    run.signal(signal);
    EXPECT_EQ(run.wait(seconds(60)), 0) << name << "\n" << readText(run.stderrPath());
    const auto log = readLines(p.log());
    EXPECT_TRUE(contains(log, "Exiting: USER CLOSED SIM")) << name << "\n" << readText(p.log());
    // The closing saved the settings it empties.
    EXPECT_NE(readText(p.parameters()).find("name=\"DESTINATION\" value=\"\""), std::string::npos) << name;
    // No display asked for, none missed.
    EXPECT_FALSE(logHas(p, kDisplayUnusable)) << readText(p.log());
    if (more) more(p);
}

TEST(CloseRequests, TerminationAndInterruptRunTheClosing) {
    expectClosedBy(SIGTERM, "SIGTERM");
    expectClosedBy(SIGINT, "SIGINT");
}

// Ctrl-\ (SIGQUIT) is the terminal's other interrupt: it closes as Ctrl-C does, also in a run
// started in the background of a script, which inherits SIGINT and SIGQUIT ignored.
TEST(CloseRequests, AQuitRunsTheClosingAsAnInterruptDoes) {
    expectClosedBy(SIGQUIT, "SIGQUIT");
    ProgramFolder p;
    p.writeParameters();
    Child run("/bin/sh", {"-c", "trap '' INT QUIT; exec \"$0\"", QUORVEL_BINARY}, p.root(), headlessEnv(p));
    ASSERT_TRUE(waitsForTheSimulator(p)) << readText(p.log());
    run.signal(SIGQUIT);
    EXPECT_EQ(run.wait(seconds(60)), 0) << readText(run.stderrPath());
    EXPECT_TRUE(contains(readLines(p.log()), "Exiting: USER CLOSED SIM")) << readText(p.log());
    EXPECT_TRUE(logHas(p, "Closing on SIGQUIT")) << readText(p.log());
}

// Closing the terminal of a run is its ordinary end: the hang-up closes as SIGTERM does.
TEST(CloseRequests, AHangUpRunsTheClosingAsATerminationDoes) {
    expectClosedBy(SIGHUP, "SIGHUP", [](const ProgramFolder& p) {
        EXPECT_TRUE(logHas(p, "Closing on SIGHUP")) << readText(p.log());
    });
}

// A run started to outlive its terminal (nohup) keeps running after a hang-up.
TEST(CloseRequests, ARunThatIgnoresHangUpsKeepsRunning) {
    ProgramFolder p;
    p.writeParameters();
    Child run("/usr/bin/nohup", {QUORVEL_BINARY}, p.root(), headlessEnv(p));
    ASSERT_TRUE(waitsForTheSimulator(p)) << readText(p.log());
    run.signal(SIGHUP);
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(seconds(60)), 0) << readText(run.stderrPath());
    EXPECT_TRUE(contains(readLines(p.log()), "Exiting: USER CLOSED SIM")) << readText(p.log());
    EXPECT_FALSE(logHas(p, "Closing on SIGHUP")) << readText(p.log());
}

// A reader of a pipe that has gone gets an error result; the signal never ends the run.
TEST(CloseRequests, ABrokenPipeSignalDoesNotEndTheRun) {
    ProgramFolder p;
    p.writeParameters();
    Child run(QUORVEL_BINARY, {}, p.root(), headlessEnv(p));
    ASSERT_TRUE(waitsForTheSimulator(p)) << readText(p.log());
    run.signal(SIGPIPE);
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(seconds(60)), 0) << readText(run.stderrPath());
    EXPECT_TRUE(contains(readLines(p.log()), "Exiting: USER CLOSED SIM")) << readText(p.log());
}

// A thread blocked for good (here the window thread, reading a simulator scenario from a pipe
// that never delivers) cannot keep the program from ending: after the closing's time limit it
// ends without the closing, says so on stderr and in the log, and its exit code is that of the
// signal (128 + 15).
TEST(CloseRequests, ATerminationEndsTheProgramEvenWhenAThreadIsStuck) {
    ProgramFolder p;
    p.writeParameters();
    const fs::path pipe = p.root() / "scenario.json";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    auto env = headlessEnv(p);
    env.push_back("QUORVEL_SIM_SCENARIO=" + pipe.string());
    Child run(QUORVEL_BINARY, {}, p.root(), env);
    // The program holds the pipe open for reading once a writer can open it; the writer stays
    // open and silent, so the read never ends.
    int writer = -1;
    ASSERT_TRUE(apptest::waitFor(
        [&] {
            writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
            return writer >= 0;
        },
        seconds(120)))
        << "the program never opened " << pipe;
    ASSERT_TRUE(run.running());
    run.signal(SIGTERM);
    const auto code = run.wait(seconds(90));
    ::close(writer);
    EXPECT_EQ(code, 128 + SIGTERM) << readText(run.stderrPath());
    const std::string overdue =
        fmt::format("the closing did not finish within {} s of SIGTERM", platform::win32::kCloseTimeLimit.count());
    EXPECT_NE(readText(run.stderrPath()).find("Quorvel ends: " + overdue), std::string::npos)
        << readText(run.stderrPath());
    EXPECT_TRUE(logHas(p, overdue)) << readText(p.log());
}

// The environment of a run on `display`.
std::vector<std::string> displayEnv(const ProgramFolder& p, const PrivateDisplay& display) {
    auto env = headlessEnv(p);
    env.back() = "DISPLAY=" + display.name();
    // The window's libraries keep their font and connection caches until the process ends.
    const fs::path suppressions = p.root() / "lsan-window-libraries.txt";
    std::ofstream(suppressions) << "leak:libfontconfig\nleak:libX11\nleak:libXft\nleak:libfltk\nleak:libxcb\n"
                                   "leak:libfreetype\n";
    env.push_back("LSAN_OPTIONS=suppressions=" + suppressions.string());
    return env;
}

// The window's place saved in the settings, "x,y".
std::string savedPlace(const ProgramFolder& p) {
    const std::string text = readText(p.parameters());
    const auto setting = [&](std::string_view key) {
        const auto at = text.find(fmt::format("name=\"{}\" value=\"", key));
        if (at == std::string::npos) return std::string("none");
        const auto from = text.find("value=\"", at) + 7;
        return text.substr(from, text.find('"', from) - from);
    };
    return setting("MAIN_WINDOW_X") + "," + setting("MAIN_WINDOW_Y");
}

// A run whose window is shown on a display of its own, waiting for the simulator.
struct WindowedRun {
    ProgramFolder p;
    PrivateDisplay display{p.root()};
    std::optional<Child> run;

    explicit WindowedRun(const std::vector<std::pair<std::string, std::string>>& settings = {}) {
        p.writeParameters(settings);
        if (display.name().empty()) return;
        run.emplace(QUORVEL_BINARY, std::vector<std::string>{}, p.root(), displayEnv(p, display));
    }
    // The window was shown (the program's second client: the first only looked at the screen)
    // and the run waits for the simulator.
    bool shown() {
        return run && waitsForTheSimulator(p) &&
               apptest::waitFor([&] { return display.clientsConnected() >= 2; }, seconds(60));
    }
};

// Beside the display's end: a windowed run closed by a signal.
TEST(CloseRequests, AWindowedRunClosesOnATermination) {
    WindowedRun w;
    ASSERT_FALSE(w.display.name().empty()) << "Xvfb did not start";
    ASSERT_TRUE(w.shown()) << "the window was never shown (a build without FLTK shows none)\n" << readText(w.p.log());
    w.run->signal(SIGTERM);
    EXPECT_EQ(w.run->wait(seconds(60)), 0) << readText(w.run->stderrPath());
    EXPECT_TRUE(contains(readLines(w.p.log()), "Exiting: USER CLOSED SIM")) << readText(w.p.log());
    EXPECT_FALSE(logHas(w.p, kDisplayUnusable)) << readText(w.p.log());
    // Without a window manager the window is its own frame: it stayed where it opened.
    EXPECT_EQ(savedPlace(w.p), "400,20");
}

// DISPLAY names a display with no server behind it: the run says so at its start, on stderr and
// in the log, and goes on headless. (A display number far above those that servers choose for
// themselves, so that no display of a test running beside this one takes it.)
TEST(CloseRequests, AnUnreachableDisplayIsNamedAndTheRunGoesOnHeadless) {
    ProgramFolder p;
    p.writeParameters();
    const std::string gone = ":20417";
    ASSERT_FALSE(fs::exists("/tmp/.X11-unix/X20417")) << "a display " << gone << " is there";
    auto env = headlessEnv(p);
    env.back() = "DISPLAY=" + gone;
    Child run(QUORVEL_BINARY, {}, p.root(), env);
    ASSERT_TRUE(waitsForTheSimulator(p)) << readText(p.log());
    const std::string said = fmt::format("The display '{}' named by DISPLAY {}", gone, kDisplayUnusable);
    EXPECT_TRUE(logHas(p, "==> " + said)) << readText(p.log());
    EXPECT_NE(readText(run.stderrPath()).find("Quorvel: " + said), std::string::npos) << readText(run.stderrPath());
    // Said at the start, before the start-up thread began.
    const auto log = readLines(p.log());
    const auto at = [&](std::string_view text) {
        return std::find_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_LT(at(said), at("RealTraffic not detected at this PC")) << readText(p.log());
    run.signal(SIGTERM);
    EXPECT_EQ(run.wait(seconds(60)), 0) << readText(run.stderrPath());
    EXPECT_TRUE(contains(readLines(p.log()), "Exiting: USER CLOSED SIM")) << readText(p.log());
}

// A display that goes away (a remote session drops, the user logs out) closes the run as the
// window's close button does.
TEST(CloseRequests, ADisplayThatGoesAwayClosesTheRun) {
    WindowedRun w;
    ASSERT_FALSE(w.display.name().empty()) << "Xvfb did not start";
    ASSERT_TRUE(w.shown()) << "the window was never shown (a build without FLTK shows none)\n" << readText(w.p.log());
    w.display.end();
    EXPECT_EQ(w.run->wait(seconds(60)), 0) << readText(w.run->stderrPath());
    const auto log = readLines(w.p.log());
    EXPECT_TRUE(contains(log, "Exiting: USER CLOSED SIM")) << readText(w.p.log());
    // Why it has gone: the X connection's end, as Xlib or the window toolkit saw it.
    bool said = false;
    for (const auto& line : log)
        said = said || (line.starts_with("==> The window's display has gone (") &&
                        line.ends_with("): Quorvel closes as by the window's close button"));
    EXPECT_TRUE(said) << readText(w.p.log());
}

// A display that stops answering (its server stopped) when the run closes: the closing saves
// everything, and the program ends without waiting for the window there, saying so, with the
// run's own exit code; nothing is said to be lost.
TEST(CloseRequests, ADisplayThatStopsAnsweringAtTheCloseLeavesItsWindowAndLosesNothing) {
    WindowedRun w(std::vector<std::pair<std::string, std::string>>{{"DESTINATION", "EKBI"}});
    ASSERT_FALSE(w.display.name().empty()) << "Xvfb did not start";
    ASSERT_TRUE(w.shown()) << "the window was never shown (a build without FLTK shows none)\n" << readText(w.p.log());
    w.display.freeze();
    w.run->signal(SIGTERM);
    const auto code = w.run->wait(seconds(90));
    w.display.thaw();
    EXPECT_EQ(code, 0) << readText(w.run->stderrPath());
    EXPECT_TRUE(contains(readLines(w.p.log()), "Exiting: USER CLOSED SIM")) << readText(w.p.log());
    EXPECT_NE(readText(w.p.parameters()).find("name=\"DESTINATION\" value=\"\""), std::string::npos);
    EXPECT_TRUE(logHas(w.p, "==> The window's display does not answer: Quorvel ends and leaves its window there"))
        << readText(w.p.log());
    EXPECT_FALSE(logHas(w.p, "is lost")) << readText(w.p.log());
    EXPECT_EQ(readText(w.run->stderrPath()).find("is lost"), std::string::npos) << readText(w.run->stderrPath());
}

// Whether the process's main thread holds the close signals back (the signal thread takes them).
bool takesCloseRequests(pid_t pid) {
    for (const auto& line : readLines(fs::path("/proc") / std::to_string(pid) / "status")) {
        if (!line.starts_with("SigBlk:")) continue;
        const unsigned long long blocked = std::stoull(line.substr(7), nullptr, 16);
        return (blocked & (1ULL << (SIGINT - 1))) != 0;
    }
    return false;
}

// A display that does not answer at the start (its server stopped) holds neither the close
// requests nor the run: Ctrl-C while the program waits for it closes the run as ever.
TEST(CloseRequests, ADisplayThatDoesNotAnswerAtTheStartLetsCtrlCClose) {
    ProgramFolder p;
    p.writeParameters({{"DESTINATION", "EKBI"}});
    PrivateDisplay display{p.root()};
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
    display.freeze();
    Child run(QUORVEL_BINARY, {}, p.root(), displayEnv(p, display));
    ASSERT_TRUE(apptest::waitFor([&] { return takesCloseRequests(run.pid()); }, seconds(30)))
        << "the close requests are not taken while the display is waited for";
    run.signal(SIGINT);
    const auto code = run.wait(seconds(90));
    display.thaw();
    EXPECT_EQ(code, 0) << readText(run.stderrPath());
    EXPECT_TRUE(contains(readLines(p.log()), "Exiting: USER CLOSED SIM")) << readText(p.log());
    EXPECT_NE(readText(p.parameters()).find("name=\"DESTINATION\" value=\"\""), std::string::npos);
    EXPECT_TRUE(logHas(p, fmt::format("==> The display '{}' named by DISPLAY did not answer before the close request: "
                                      "the run goes on without its window",
                                      display.name())))
        << readText(p.log());
}

// The window's place is kept as its frame's (as on Windows) and the frame opens there again: under
// a window manager that puts the window itself where it was asked for and its frame around it
// (openbox), it does not creep up and left by a frame's width at each run.
TEST(WindowedRuns, UnderAWindowManagerTheWindowOpensWhereItWasClosed) {
    ProgramFolder p;
    p.writeParameters();
    PrivateDisplay display{p.root()};
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
    ASSERT_TRUE(display.startWindowManager("openbox")) << "openbox did not start (scripts/install-deps installs it)";
    std::vector<std::string> places;
    for (int run = 0; run < 3; ++run) {
        const std::size_t clients = display.clientsConnected();
        Child quorvel(QUORVEL_BINARY, {}, p.root(), displayEnv(p, display));
        ASSERT_TRUE(apptest::waitFor([&] { return display.clientsConnected() >= clients + 2; }, seconds(60)))
            << "the window was never shown\n" << readText(p.log());
        ASSERT_TRUE(waitsForTheSimulator(p)) << readText(p.log());
        std::this_thread::sleep_for(seconds(4)); // the window manager frames the window meanwhile
        quorvel.signal(SIGTERM);
        ASSERT_EQ(quorvel.wait(seconds(60)), 0) << readText(quorvel.stderrPath());
        places.push_back(savedPlace(p));
    }
    EXPECT_EQ(places, (std::vector<std::string>{"400,20", "400,20", "400,20"}));
}

} // namespace
