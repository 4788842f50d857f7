#include "platform/win32/known_folders.hpp"
#include "platform/win32/shell.hpp"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_folder.hpp"
#include "support/user_folders.hpp"

using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

std::optional<std::string> lookUp(REFKNOWNFOLDERID id, HRESULT* code = nullptr) {
    static char sentinel = 0;
    char* buffer = &sentinel; // must be overwritten, also on failure
    const HRESULT result = SHGetKnownFolderPath(id, 0, nullptr, &buffer);
    if (code != nullptr) *code = result;
    std::optional<std::string> text;
    if (buffer == &sentinel) {
        ADD_FAILURE() << "path not set";
        return text;
    }
    if (result >= 0)
        text = buffer;
    else
        EXPECT_EQ(buffer, nullptr);
    CoTaskMemFree(buffer);
    return text;
}

std::intptr_t shellOpen(const std::string& file, const char* verb = "open") {
    return reinterpret_cast<std::intptr_t>(
        ShellExecuteW(nullptr, verb, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

// The lookups read the environment, which each test here changes: afterwards it points at this
// process's own folders again.
class KnownFolderStandIn : public ::testing::Test {
protected:
    void TearDown() override { testsupport::pointUserFoldersAtProcessFolder(); }
};

} // namespace

TEST_F(KnownFolderStandIn, OwnVariablesWinAndEmptyMeansNotFound) {
    setenv("QUORVEL_ROAMING_APPDATA", "/data/roaming/", 1);
    setenv("QUORVEL_LOCAL_APPDATA", "/data/local", 1);
    setenv("QUORVEL_PROGRAM_FILES", "/opt/pf", 1);
    setenv("QUORVEL_PROGRAM_FILES_X86", "/opt/pf86", 1);
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    EXPECT_EQ(lookUp(FOLDERID_RoamingAppData), "/data/roaming"); // no trailing separator
    EXPECT_EQ(lookUp(FOLDERID_LocalAppData), "/data/local");
    EXPECT_EQ(lookUp(FOLDERID_ProgramFiles), "/opt/pf");
    EXPECT_EQ(lookUp(FOLDERID_ProgramFilesX86), "/opt/pf86");

    setenv("QUORVEL_ROAMING_APPDATA", "", 1);
    setenv("QUORVEL_PROGRAM_FILES_X86", "", 1);
    HRESULT code = 0;
    EXPECT_EQ(lookUp(FOLDERID_RoamingAppData, &code), std::nullopt); // no XDG fallback then
    EXPECT_LT(code, 0);
    EXPECT_EQ(lookUp(FOLDERID_ProgramFilesX86), std::nullopt);
    EXPECT_EQ(lookUp(KNOWNFOLDERID{99}), std::nullopt);

    EXPECT_LT(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, nullptr), 0);
}

TEST_F(KnownFolderStandIn, FallsBackToXdgThenHome) {
    unsetenv("QUORVEL_ROAMING_APPDATA");
    unsetenv("QUORVEL_LOCAL_APPDATA");
    unsetenv("QUORVEL_PROGRAM_FILES");
    setenv("HOME", "/home/pilot", 1);
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    setenv("XDG_DATA_HOME", "", 1); // empty counts as unset for XDG
    EXPECT_EQ(lookUp(FOLDERID_RoamingAppData), "/xdg/config");
    EXPECT_EQ(lookUp(FOLDERID_LocalAppData), "/home/pilot/.local/share");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(lookUp(FOLDERID_RoamingAppData), "/home/pilot/.config");
    EXPECT_EQ(lookUp(FOLDERID_ProgramFiles), std::nullopt);
    unsetenv("HOME");
    EXPECT_EQ(lookUp(FOLDERID_RoamingAppData), std::nullopt);
}

// The shell's record of requests and its forced answer are process-wide.
class ShellStandIn : public ::testing::Test {
protected:
    void SetUp() override { platform::win32::resetShell(); }
    void TearDown() override { platform::win32::resetShell(); }
};

TEST_F(ShellStandIn, RecordsRequestsAndAnswersLikeTheShell) {
    setenv("QUORVEL_SHELL_OPEN", "true", 1); // an opener that opens nothing and says it did
    TempFolder dir;
    const std::string folder = dir.path().string();
    EXPECT_GT(shellOpen(folder), 32);
    EXPECT_GT(shellOpen(folder, nullptr), 32); // null verb means "open"
    EXPECT_EQ(shellOpen((dir / "missing").string()), SE_ERR_FNF);
    EXPECT_EQ(shellOpen(folder, "edit"), SE_ERR_NOASSOC);
    EXPECT_GT(shellOpen("https://example.org/manual"), 32); // an address is not a file
    platform::win32::setShellExecuteResult(5);
    EXPECT_EQ(shellOpen(folder), 5);
    platform::win32::setShellExecuteResult(0);
    EXPECT_GT(shellOpen(folder), 32);

    const auto requests = platform::win32::shellRequests();
    ASSERT_EQ(requests.size(), 7u);
    EXPECT_EQ(requests[0].operation, "open");
    EXPECT_EQ(requests[0].file, folder);
    EXPECT_EQ(requests[0].showCommand, SW_SHOWNORMAL);
    EXPECT_EQ(requests[1].operation, "");
    EXPECT_EQ(requests[3].result, SE_ERR_NOASSOC);
    EXPECT_EQ(requests[5].result, 5);

    platform::win32::resetShell();
    EXPECT_TRUE(platform::win32::shellRequests().empty());
}

// An opener still running after the answer time (a file manager started in the foreground) has
// opened the folder: the answer comes then, and the opener is left to run. Here it waits on a pipe
// that is only written after ShellExecuteW has returned, so a shell that waited for it to end
// would hang this test.
TEST_F(ShellStandIn, AnOpenerThatKeepsRunningHasOpenedTheFolder) {
    TempFolder dir;
    const auto fifo = dir / "go";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto script = dir / "opener.sh";
    writeFile(script, "#!/bin/sh\ncat '" + fifo.string() + "' >/dev/null\necho \"$1\" > '" +
                          (dir / "opened").string() + ".tmp'\nmv '" + (dir / "opened").string() + ".tmp' '" +
                          (dir / "opened").string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    setenv("QUORVEL_SHELL_OPEN", script.c_str(), 1);
    platform::win32::setOpenerAnswerTime(std::chrono::milliseconds(100));

    EXPECT_GT(shellOpen(dir.path().string()), 32);
    EXPECT_EQ(platform::win32::lastShellFailure(), "");
    EXPECT_FALSE(std::filesystem::exists(dir / "opened"));
    { std::ofstream(fifo) << "go\n"; } // opens once the program reads

    for (int i = 0; i < 500 && !std::filesystem::exists(dir / "opened"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(testsupport::readFile(dir / "opened"), dir.path().string() + "\n");
}

// The opener's exit status is its answer; without one nothing opens. xdg-open is looked for on
// PATH (here a folder of the test's own that is all of PATH) when QUORVEL_SHELL_OPEN is not set.
TEST_F(ShellStandIn, TheOpenersExitStatusIsTheAnswer) {
    TempFolder dir;
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    unsetenv("QUORVEL_SHELL_OPEN");
    setenv("PATH", ("/nowhere::" + dir.path().string()).c_str(), 1);
    const auto xdgOpen = dir / "xdg-open";
    const std::string folder = dir.path().string();

    EXPECT_EQ(shellOpen(folder), SE_ERR_NOASSOC);
    EXPECT_EQ(platform::win32::lastShellFailure(), "nothing here opens a folder (xdg-open is not on PATH)");
    writeFile(xdgOpen, "#!/bin/sh\n[ \"$1\" = '" + folder + "' ] || exit 9\nexit 0\n");
    EXPECT_EQ(shellOpen(folder), SE_ERR_NOASSOC); // not executable: none there
    std::filesystem::permissions(xdgOpen, std::filesystem::perms::owner_all);
    EXPECT_GT(shellOpen(folder), 32);
    EXPECT_EQ(platform::win32::lastShellFailure(), "");
    writeFile(xdgOpen, "#!/bin/sh\nexit 4\n");
    EXPECT_EQ(shellOpen(folder), SE_ERR_NOASSOC);
    EXPECT_EQ(platform::win32::lastShellFailure(), xdgOpen.string() + " ended with exit status 4");
    writeFile(xdgOpen, "#!/bin/sh\nkill -TERM $$\n");
    EXPECT_EQ(shellOpen(folder), SE_ERR_NOASSOC);
    EXPECT_EQ(platform::win32::lastShellFailure(), xdgOpen.string() + " was ended by signal 15");

    // A program named by QUORVEL_SHELL_OPEN stands in for it.
    setenv("QUORVEL_SHELL_OPEN", "false", 1);
    writeFile(xdgOpen, "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(shellOpen(folder), SE_ERR_NOASSOC);
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(shellOpen(folder), SE_ERR_NOASSOC);
    EXPECT_EQ(platform::win32::lastShellFailure(), "false ended with exit status 1");
    setenv("QUORVEL_SHELL_OPEN", "true", 1);
}

TEST_F(ShellStandIn, MessageBoxIsRecordedAndAnsweredAtOnce) {
    EXPECT_EQ(
        MessageBoxW(nullptr, "Could not open folder with parameters.xml", "Quorvel", MB_ICONEXCLAMATION),
        IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, nullptr, nullptr, MB_OK), IDOK);
    const auto boxes = platform::win32::messageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Could not open folder with parameters.xml");
    EXPECT_EQ(boxes[0].caption, "Quorvel");
    EXPECT_EQ(boxes[0].type, 0x30u);
    EXPECT_EQ(boxes[1].text, "");
}
