// The built program, run as a user runs it: in its own folder, with its own data folder, and
// judged by its exit code and "Log.txt".

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <optional>

#include "app/app_test_support.hpp"
#include "app/program_folder.hpp"
#include "support/ordinary_user.hpp"
#include "support/udp_port.hpp"

namespace {

using apptest::Child;
using apptest::contains;
using apptest::ProgramFolder;
using apptest::readLines;
using apptest::readText;
namespace fs = std::filesystem;
using std::chrono::seconds;

std::vector<std::string> roamingEnv(const ProgramFolder& p) { return p.dataFolderEnv(); }

bool anyLineStartsWith(const std::vector<std::string>& lines, std::string_view start) {
    for (const auto& l : lines)
        if (l.starts_with(start)) return true;
    return false;
}

// Every file below `folder` with its content ("/" for a folder), to see that a run left it as
// it was.
std::map<std::string, std::string> contentsOf(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        contents[fs::relative(entry.path(), folder).string()] =
            entry.is_directory() ? std::string("/") : readText(entry.path());
    return contents;
}

std::string namesIn(const std::map<std::string, std::string>& contents) {
    std::string names;
    for (const auto& [name, content] : contents)
        names += name + (content == "/" ? "/ " : " ");
    return names;
}

struct Told {
    std::optional<int> code;
    std::string out;
    std::string err;
};

// Runs the program with `arguments` in `folder`, which must stay as it was: its standard output
// and error are kept in a folder of their own.
Told runKeepingOutputAside(const fs::path& folder, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& env) {
    testsupport::TempFolder aside;
    const fs::path out = aside.path() / "stdout.txt";
    const fs::path err = aside.path() / "stderr.txt";
    std::vector<std::string> shell{"-c", R"(cd "$0" || exit 126; out=$1; err=$2; shift 2; exec "$@" >"$out" 2>"$err")",
                                   folder.string(), out.string(), err.string(), QUORVEL_BINARY};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    Child run("/bin/sh", shell, aside.path(), env);
    Told told;
    told.code = run.wait(seconds(60));
    told.out = readText(out);
    told.err = readText(err);
    return told;
}

// A home of its own, where the settings would go when the program wrote them: no variable of the
// program's own, no display.
std::vector<std::string> homeOnlyEnv(const fs::path& home) {
    return {"HOME=" + home.string(), "XDG_CONFIG_HOME", "XDG_DATA_HOME", "DISPLAY"};
}

TEST(ProgramRun, AStartOutsideItsProgramFolderSaysWhyAndLeavesTheFolderAsItWas) {
    testsupport::TempFolder temp;
    const fs::path elsewhere = temp.path() / "some folder";
    const fs::path home = temp.path() / "home";
    fs::create_directories(elsewhere);
    fs::create_directories(home);
    { std::ofstream(elsewhere / "notes.txt") << "the user's own"; }
    const auto before = contentsOf(temp.path());
    const std::string why = "Quorvel must be run from the Quorvel folder, the one that holds \"docs\": " +
                            elsewhere.string() + " does not; this start ends and has written nothing";

    Told told = runKeepingOutputAside(elsewhere, {}, homeOnlyEnv(home));
    EXPECT_EQ(told.code, 1) << told.err;
    EXPECT_NE(told.err.find(why), std::string::npos) << told.err;
    EXPECT_TRUE(contentsOf(temp.path()) == before) << namesIn(contentsOf(temp.path()));

    // A file named "docs" is no program folder either, and a switch changes nothing of that.
    { std::ofstream(elsewhere / "docs") << "a file"; }
    const auto withFile = contentsOf(temp.path());
    told = runKeepingOutputAside(elsewhere, {"--production"}, homeOnlyEnv(home));
    EXPECT_EQ(told.code, 1) << told.err;
    EXPECT_NE(told.err.find(why), std::string::npos) << told.err;
    EXPECT_TRUE(contentsOf(temp.path()) == withFile) << namesIn(contentsOf(temp.path()));
}

TEST(ProgramRun, HelpPrintsTheUsageAndTouchesNothing) {
    ProgramFolder p;
    p.writeParameters();
    testsupport::TempFolder elsewhere;
    for (const fs::path& folder : {p.root(), elsewhere.path()}) {
        SCOPED_TRACE(folder.string());
        const auto before = contentsOf(folder);
        const Told told = runKeepingOutputAside(folder, {"--production", "--HELP"}, roamingEnv(p));
        EXPECT_EQ(told.code, 0) << told.err;
        EXPECT_TRUE(told.out.starts_with("Usage: quorvel [--production | --no-production]\n")) << told.out;
        EXPECT_NE(told.out.find("--no-production, /no-production"), std::string::npos) << told.out;
        EXPECT_EQ(told.err, "");
        EXPECT_TRUE(contentsOf(folder) == before) << namesIn(contentsOf(folder));
    }
}

TEST(ProgramRun, ANormalStartInProductionModeReadsTheDataAndEndsWithZero) {
    ProgramFolder p;
    p.writeParameters();
    // Arguments that are no switch are ignored.
    Child run(QUORVEL_BINARY, {"-h", "--verbose", "--production"}, p.root(), roamingEnv(p));
    EXPECT_EQ(run.wait(seconds(120)), 0) << readText(run.stderrPath());
    const auto log = readLines(p.log());
    bool airportsRead = false;
    for (const auto& line : log)
        airportsRead = airportsRead || line.ends_with(" airports read");
    EXPECT_TRUE(airportsRead);
    EXPECT_TRUE(contains(log, "production"));
    EXPECT_TRUE(contains(log, "Exiting: USER CLOSED SIM"));
    // Production mode ends before the livery catalogue; the plain reference files are gone, the
    // run's folders exist, and the settings file still holds the user's choices.
    EXPECT_FALSE(fs::exists(p.root() / "output" / "LiveriesScanned.xml"));
    EXPECT_FALSE(fs::exists(p.root() / "input" / "dbase.xml"));
    EXPECT_TRUE(fs::is_directory(p.root() / "airports" / "learned" / "stock"));
    EXPECT_NE(readText(p.parameters()).find((p.root() / "packages").string()), std::string::npos);
}

// Bytes after the final chunk of an encrypted reference file (a copy padded by some tool) are no
// reason to refuse the file, and so no reason to stop every start.
TEST(ProgramRun, BytesAfterAReferenceFilesStreamDoNotStopTheStart) {
    ProgramFolder p;
    p.writeParameters();
    for (const char* name : {"dbase.enc", "airports.enc"})
        std::ofstream(p.root() / "input" / name, std::ios::binary | std::ios::app) << std::string(100, '\0');
    Child run(QUORVEL_BINARY, {"--production"}, p.root(), roamingEnv(p));
    EXPECT_EQ(run.wait(seconds(120)), 0) << readText(run.stderrPath());
    const auto log = readLines(p.log());
    EXPECT_TRUE(contains(log, "gf_streamDecrypt: 100 bytes after the final chunk of input/dbase.enc ignored"))
        << readText(p.log());
    EXPECT_TRUE(contains(log, "gf_streamDecrypt: 100 bytes after the final chunk of input/airports.enc ignored"));
    EXPECT_TRUE(contains(log, "Exiting: USER CLOSED SIM"));
}

// What the file says and the program does not take as written is named in the log: a port that is
// no port, a key of no setting (kept in the file).
TEST(ProgramRun, SettingsNotTakenAsWrittenAreNamedInTheLog) {
    ProgramFolder p;
    p.writeParameters({{"PORT_NUMBER", "99999"}, {"RANGEE", "25"}, {"parking_percentage", "40"}});
    Child run(QUORVEL_BINARY, {"--production"}, p.root(), roamingEnv(p));
    EXPECT_EQ(run.wait(seconds(120)), 0) << readText(run.stderrPath());
    const auto log = readLines(p.log());
    EXPECT_TRUE(anyLineStartsWith(log, "! PORT_NUMBER value '99999' in ")) << readText(p.log());
    EXPECT_TRUE(contains(log, "PORT_NUMBER=\"10747\""));
    EXPECT_FALSE(contains(log, "PORT_NUMBER=\"99999\""));
    EXPECT_EQ(apptest::countOf(log, "! RANGEE in " + p.parameters().string() +
                                        " is no setting of Quorvel: not used, kept in the file"),
              1u)
        << readText(p.log());
    // parking_percentage is saved under its key, though never read back: no stranger.
    EXPECT_FALSE(anyLineStartsWith(log, "! parking_percentage"));
    EXPECT_NE(readText(p.parameters()).find("name=\"RANGEE\""), std::string::npos);
}

TEST(ProgramRun, ADamagedSettingsFileIsKeptAndTheRunSaysWhyItCannotGoOn) {
    ProgramFolder p;
    const std::string damaged = "<root><parameters><parameter name=\"RANGE\" value=";
    { std::ofstream(p.parameters()) << damaged; }
    Child run(QUORVEL_BINARY, {"--production"}, p.root(), roamingEnv(p));
    // Defaults replace the file, so no simulator folder is known any more: a failed production run.
    EXPECT_EQ(run.wait(seconds(120)), 1);
    const auto log = readLines(p.log());
    EXPECT_TRUE(contains(log, "Error 150: No install path detected. Type the full path to your Community folder "
                              "above, then press Enter"));
    EXPECT_TRUE(contains(log, "Exiting: SYSTEM ERROR"));
    EXPECT_EQ(readText(p.dataFolder() / "parameters-unusable-1.xml"), damaged);
    EXPECT_NE(readText(p.parameters()).find("name=\"RANGE\""), std::string::npos);
}

TEST(ProgramRun, ADataFolderThatCannotBeCreatedEndsTheStartWithOne) {
    ProgramFolder p;
    const fs::path blocked = p.root() / "roaming-is-a-file";
    { std::ofstream(blocked) << "x"; }
    Child run(QUORVEL_BINARY, {"--production"}, p.root(), {"QUORVEL_ROAMING_APPDATA=" + blocked.string()});
    EXPECT_EQ(run.wait(seconds(60)), 1);
    EXPECT_NE(readText(run.stderrPath()).find("Failed to create directory: "), std::string::npos);
    EXPECT_TRUE(anyLineStartsWith(readLines(p.log()), "==> Failed to create directory: "));
}

// Without variables of its own the program keeps its settings below HOME, in ".config" as the XDG
// folders have it (XDG_CONFIG_HOME unset).
TEST(ProgramRun, WithoutItsOwnFolderVariablesTheSettingsAreReadFromBelowHome) {
    testsupport::TempFolder home;
    ProgramFolder p(std::nullopt, home.path() / ".config" / "Quorvel");
    p.writeParameters(); // the simulator folder a production run needs
    Child run(QUORVEL_BINARY, {"--production"}, p.root(),
              {"HOME=" + home.path().string(), "XDG_CONFIG_HOME", "XDG_DATA_HOME"});
    EXPECT_EQ(run.wait(seconds(120)), 0) << readText(run.stderrPath());
    EXPECT_TRUE(contains(readLines(p.log()), "production")) << readText(p.log());
    EXPECT_NE(readText(p.parameters()).find((p.root() / "packages").string()), std::string::npos);
    EXPECT_FALSE(fs::exists(p.root() / "Quorvel"));
}

// With no folder for the settings they are kept in the program folder's "Quorvel", and the user
// is told so first thing, on stderr and at the head of "Log.txt".
TEST(ProgramRun, WithoutHomeTheStartSaysAtOnceWhereTheSettingsAreKept) {
    testsupport::TempFolder root;
    ProgramFolder p(root.path(), root.path() / "Quorvel");
    p.writeParameters();
    Child run(QUORVEL_BINARY, {"--production"}, p.root(), {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"});
    EXPECT_EQ(run.wait(seconds(120)), 0) << readText(p.log());
    const std::string why = "No folder for the settings (none of QUORVEL_ROAMING_APPDATA, XDG_CONFIG_HOME and HOME "
                            "is set): they are kept in " +
                            (p.root() / "Quorvel").string();
    EXPECT_NE(readText(run.stderrPath()).find(why), std::string::npos) << readText(run.stderrPath());
    const auto log = readLines(p.log());
    ASSERT_GE(log.size(), 2u) << readText(p.log());
    EXPECT_EQ(log[1], "==> " + why);
    EXPECT_TRUE(contains(log, "production")) << readText(p.log());
    EXPECT_NE(readText(p.parameters()).find((p.root() / "packages").string()), std::string::npos);
}

// Without a display nobody can read an error on the window or close it: a failed start ends
// the run by itself, with the error in the log and on stderr and exit code 1.
TEST(ProgramRun, AHeadlessRunWhoseTcpPortIsTakenEndsByItselfWithOne) {
    ProgramFolder p;
    // Another program listens on the port RealTraffic is to connect to.
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string port = std::to_string(ntohs(address.sin_port));
    p.writeParameters({{"PORT_NUMBER", port}});
    fs::create_directories(p.roaming() / "ZazuveRuzover");
    { std::ofstream(p.roaming() / "ZazuveRuzover" / "RealTraffic.jar") << "jar"; }
    auto env = roamingEnv(p);
    env.push_back(
        "QUORVEL_SIM_SCENARIO=" +
        (fs::path(QUORVEL_SOURCE_DIR) / "tests" / "fixtures" / "simworld" / "frankfurt.json").string());
    env.push_back("QUORVEL_TRAFFIC_PORT=" + std::to_string(testsupport::freeUdpPort()));
    env.push_back("QUORVEL_QNH_PORT=" + std::to_string(testsupport::freeUdpPort()));
    env.push_back("DISPLAY=");

    Child run(QUORVEL_BINARY, {}, p.root(), env);
    const auto code = run.wait(seconds(180));
    ::close(taken);
    EXPECT_EQ(code, 1) << readText(p.log());
    const auto log = readLines(p.log());
    EXPECT_TRUE(anyLineStartsWith(log, "Error Bind failed at port " + port + " with error "))
        << readText(p.log());
    EXPECT_TRUE(contains(log, "Exiting: SYSTEM ERROR"));
    EXPECT_NE(readText(run.stderrPath()).find("Quorvel ends: Error Bind failed at port " + port),
              std::string::npos)
        << readText(run.stderrPath());
}

// A data folder that exists but cannot be written is as unusable as one that cannot be made: the
// start ends with the cause on stderr and exit code 1, and the folder stays as it was.
TEST(ProgramRun, AReadOnlyDataFolderEndsTheStartWithItsCauseAndKeepsTheSettings) {
    SKIP_WITHOUT_ORDINARY_USER();
    ProgramFolder p;
    p.writeParameters({{"DESTINATION", "EDDF"}});
    const std::string before = readText(p.parameters());
    // Root writes anywhere: the program runs as an ordinary user then, as a user would.
    std::optional<uid_t> user;
    if (testsupport::runsAsRoot()) user = testsupport::kOrdinaryUser;
    testsupport::giveToOrdinaryUser(p.root());
    ::chmod(p.parameters().c_str(), 0444);
    ::chmod(p.dataFolder().c_str(), 0555);
    Child run(testsupport::reachableCopy(QUORVEL_BINARY), {"--production"}, p.root(), roamingEnv(p), user);
    EXPECT_EQ(run.wait(seconds(120)), 1) << readText(run.stderrPath());
    ::chmod(p.dataFolder().c_str(), 0755);
    const std::string cause = "The data folder " + p.dataFolder().string() + " cannot be written: Permission denied";
    EXPECT_NE(readText(run.stderrPath()).find(cause), std::string::npos) << readText(run.stderrPath());
    const auto log = readLines(p.log());
    EXPECT_TRUE(contains(log, "Error " + cause)) << readText(p.log());
    EXPECT_FALSE(contains(log, "production"));
    // The lock file could not be made for the same cause.
    EXPECT_TRUE(anyLineStartsWith(log, "==> Single-instance lock " + (p.dataFolder() / "Quorvel.lock").string() +
                                           " not usable (Permission denied)"))
        << readText(p.log());
    EXPECT_EQ(readText(p.parameters()), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(p.dataFolder()), fs::directory_iterator()), 1);
}

TEST(ProgramRun, ASecondInstanceEndsAtOnceAndCloseSignalsEndTheFirstCleanly) {
    ProgramFolder p;
    p.writeParameters();
    // Without a simulator the first instance waits in its connect phase.
    Child first(QUORVEL_BINARY, {}, p.root(), roamingEnv(p));
    ASSERT_TRUE(apptest::waitFor([&] { return contains(readLines(p.log()), "RealTraffic not detected at this PC"); },
                                 seconds(120)));
    // A second instance started in `folder` with `env` ends with 255 and says on stderr why.
    const auto refused = [](const fs::path& folder, const std::vector<std::string>& env, const std::string& why) {
        Child second(QUORVEL_BINARY, {}, folder, env);
        EXPECT_EQ(second.wait(seconds(30)), 255);
        EXPECT_NE(readText(second.stderrPath()).find("Quorvel already runs with the " + why), std::string::npos)
            << readText(second.stderrPath());
    };
    {
        // Another program folder with the same data folder: the settings are the first's.
        ProgramFolder q(std::nullopt, p.dataFolder());
        refused(q.root(), roamingEnv(q), "data folder " + fs::canonical(p.dataFolder()).string());
        EXPECT_FALSE(fs::exists(q.log()));
    }
    // The same program folder with a data folder of its own: the log and the airport files there
    // are the first instance's.
    refused(p.root(),
            {"QUORVEL_ROAMING_APPDATA=" + (p.root() / "other-roaming").string(),
             "QUORVEL_LOCAL_APPDATA=" + (p.root() / "local").string()},
            "program folder " + fs::canonical(p.root()).string());
    EXPECT_FALSE(fs::exists(p.root() / "Log0.txt")) << "a second instance must not touch the log";
    EXPECT_TRUE(first.running());
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(seconds(60)), 0);
    const auto log = readLines(p.log());
    EXPECT_TRUE(contains(log, "Exiting: USER CLOSED SIM")) << readText(p.log());
    EXPECT_NE(readText(p.parameters()).find((p.root() / "packages").string()), std::string::npos);
}

} // namespace
