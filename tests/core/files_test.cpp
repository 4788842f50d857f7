#include "core/files.hpp"
#include "core/folder_walk_guard.hpp"
#include "core/system_folders.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/captured_log.hpp"
#include "core/file_sync_recorder.hpp"
#include "core/paths.hpp"
#include "platform/win32/known_folders.hpp"
#include "platform/win32/shell.hpp"
#include "support/named_pipe.hpp"
#include "support/ordinary_user.hpp"
#include "support/temp_folder.hpp"

using namespace tamrix;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testsupport::CapturedLog;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

// A path whose status cannot be read for a reason other than its absence.
const fs::path kUnreadable = std::string(300, 'x');

std::vector<std::string> codeTexts(const std::vector<FixedCode<4>>& codes) {
    std::vector<std::string> out;
    for (const auto& c : codes)
        out.push_back(c.text());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(KnownFolderLookup, AppDataPathsAndTheirFailureLines) {
    CapturedLog log;
    setenv("QUORVEL_ROAMING_APPDATA", "/users/pilot/roaming", 1);
    setenv("QUORVEL_LOCAL_APPDATA", "/users/pilot/local", 1);
    setenv("QUORVEL_PROGRAM_FILES", "/programs", 1);
    EXPECT_EQ(gf_appDataPath(), fs::path("/users/pilot/roaming"));
    EXPECT_EQ(gf_localAppDataPath(), fs::path("/users/pilot/local"));
    EXPECT_EQ(gf_knownFolderPath(FOLDERID_ProgramFiles), fs::path("/programs"));
    EXPECT_TRUE(log.lines().empty());

    setenv("QUORVEL_ROAMING_APPDATA", "", 1);
    setenv("QUORVEL_LOCAL_APPDATA", "", 1);
    EXPECT_EQ(gf_knownFolderPath(FOLDERID_RoamingAppData), std::nullopt);
    EXPECT_TRUE(log.lines().empty()); // the plain lookup never logs
    EXPECT_EQ(gf_appDataPath(), fs::path());
    EXPECT_EQ(gf_localAppDataPath(), fs::path());
    EXPECT_THAT(log.lines(), ElementsAre("==> Could not find the AppData path",
                                         "==> Could not find the Local AppData path"));
}

TEST(ShellOpen, OpensTheFolderThatHoldsAnExistingPath) {
    CapturedLog log;
    writeFile("data/x.txt", "x");
    EXPECT_TRUE(gf_shellOpen("data/x.txt"));
    EXPECT_TRUE(gf_shellOpen(fs::current_path() / "data")); // a folder opens its parent

    const auto requests = platform::win32::shellRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].operation, "open");
    EXPECT_EQ(requests[0].file, (fs::current_path() / "data").string());
    EXPECT_EQ(requests[0].showCommand, SW_SHOWNORMAL);
    EXPECT_EQ(requests[1].file, fs::current_path().string());
    EXPECT_TRUE(log.lines().empty());
}

TEST(ShellOpen, FalseWithoutCallingTheShellOrWhenItRefuses) {
    CapturedLog log;
    writeFile("./x.txt", "x");
    EXPECT_FALSE(gf_shellOpen("missing/x.txt"));
    EXPECT_FALSE(gf_shellOpen("x.txt")); // no parent part
    EXPECT_TRUE(platform::win32::shellRequests().empty());
    EXPECT_TRUE(log.lines().empty());

    // A status that cannot be read is logged instead of thrown at the window's buttons.
    EXPECT_FALSE(gf_shellOpen(kUnreadable / "x.txt"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_THAT(log.lines()[0], HasSubstr("! gf_shellOpen | "));
    EXPECT_THAT(log.lines()[0], HasSubstr("exists"));

    writeFile("data/x.txt", "x");
    platform::win32::setShellExecuteResult(SE_ERR_NOASSOC);
    EXPECT_FALSE(gf_shellOpen("data/x.txt"));
    EXPECT_EQ(platform::win32::shellRequests().size(), 1u);
}

TEST(RemoveFile, RemovesQuietlyAndLogsFailuresWithoutThrowing) {
    CapturedLog log;
    writeFile("./a.txt", "a");
    gf_removeFile("a.txt");
    EXPECT_FALSE(fs::exists("a.txt"));
    gf_removeFile("a.txt"); // missing: no error
    EXPECT_TRUE(log.lines().empty());

    writeFile("full/inside.txt", "x"); // a folder that is not empty cannot be removed
    EXPECT_NO_THROW(gf_removeFile("full"));
    EXPECT_TRUE(fs::exists("full/inside.txt"));
    EXPECT_NO_THROW(gf_removeFile(kUnreadable));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], HasSubstr("==> Warning: could not remove full, errorcode: "));
    EXPECT_THAT(lines[1], HasSubstr("==> Warning: could not remove xxx"));
}

TEST(RemoveFiles, RemovesOnlyTheRegularFilesOfTheFolder) {
    CapturedLog log;
    writeFile("f/a.txt", "a");
    writeFile("f/b.xml", "b");
    writeFile("f/sub/c.txt", "c");
    writeFile("./plain.txt", "p");
    gf_removeFilesFromDirectory("f");
    EXPECT_FALSE(fs::exists("f/a.txt"));
    EXPECT_FALSE(fs::exists("f/b.xml"));
    EXPECT_TRUE(fs::exists("f/sub/c.txt"));

    gf_removeFilesFromDirectory("missing");
    gf_removeFilesFromDirectory("plain.txt"); // not a folder: left alone
    EXPECT_TRUE(fs::exists("plain.txt"));
    EXPECT_TRUE(log.lines().empty());

    gf_removeFilesFromDirectory(kUnreadable);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_THAT(log.lines()[0], HasSubstr("==> gf_removeFilesFromDirectory exception: "));
}

TEST(RemoveFiles, AFileThatCannotBeRemovedIsLoggedAndTheOthersAreTried) {
    SKIP_WITHOUT_ORDINARY_USER();
    CapturedLog log;
    writeFile("locked/a.txt", "a");
    writeFile("locked/b.txt", "b");
    // Root may remove files from a read-only folder: the removal runs as an ordinary user.
    testsupport::giveToOrdinaryUser("locked");
    fs::permissions("locked", fs::perms::owner_read | fs::perms::owner_exec);
    {
        testsupport::AsOrdinaryUser user;
        gf_removeFilesFromDirectory("locked");
    }
    fs::permissions("locked", fs::perms::owner_all);
    auto lines = log.lines();
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], HasSubstr("==> Failed to remove locked/a.txt ("));
    EXPECT_THAT(lines[1], HasSubstr("==> Failed to remove locked/b.txt ("));
}

TEST(RemoveFiles, XmlFilesOfTbloInAnyLetterCase) {
    CapturedLog log;
    writeFile("tblo/EHAM.xml", "1");
    writeFile("tblo/EHAM.XML", "2");
    writeFile("tblo/eddf.Xml", "3");
    writeFile("tblo/EHAM.txt", "4");
    writeFile("tblo/tblo.zip", "5");
    writeFile("tblo/dir.xml/keep.xml", "6");
    gf_removeXMLFilesFromDirectory();
    EXPECT_FALSE(fs::exists("tblo/EHAM.xml"));
    EXPECT_FALSE(fs::exists("tblo/EHAM.XML"));
    EXPECT_FALSE(fs::exists("tblo/eddf.Xml"));
    EXPECT_TRUE(fs::exists("tblo/EHAM.txt"));
    EXPECT_TRUE(fs::exists("tblo/tblo.zip"));
    EXPECT_TRUE(fs::exists("tblo/dir.xml/keep.xml"));

    writeFile("other/LFPG.xml", "7");
    gf_removeXMLFilesFromDirectory("other");
    EXPECT_FALSE(fs::exists("other/LFPG.xml"));
    gf_removeXMLFilesFromDirectory(kUnreadable);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_THAT(log.lines()[0], HasSubstr("==> gf_removeXMLFilesFromDirectory exception: "));
}

TEST(AirportCodesInFolder, TakesFourCharacterXmlStemsAndSkipsBadOnes) {
    CapturedLog log;
    for (const char* name : {"EHAM.xml", "eddf.XML", "LONGNAME.xml", "EGLL.txt", "EH-M.xml", "LFP.xml",
                             "\xC3\x84"
                             "BCD.xml" /* 4 characters, one not a code letter */,
                             "\xC3\x84"
                             "BC.xml" /* 3 characters in 4 bytes */})
        writeFile(fs::path("apt") / name, "<x/>");
    fs::create_directories("apt/KJFK.xml"); // a folder, not a file

    EXPECT_THAT(codeTexts(gf_airportCodesInFolder("apt")), ElementsAre("EDDF", "EHAM"));
    auto lines = log.lines();
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0],
                HasSubstr("! gf_airportCodesInFolder | apt/EH-M.xml: 'EH-M' FixedCode: invalid string"));
    EXPECT_THAT(lines[1], HasSubstr("! gf_airportCodesInFolder | apt/\xC3\x84"
                                    "BCD.xml: "));
}

TEST(AirportCodesInFolder, MissingFolderIsEmptyAndUnreadableStatusThrows) {
    CapturedLog log;
    EXPECT_TRUE(gf_airportCodesInFolder("missing").empty());
    EXPECT_THROW(gf_airportCodesInFolder(kUnreadable), fs::filesystem_error);
    EXPECT_TRUE(log.lines().empty());
}

TEST(WindowsPathText, DriveLettersMapOntoTheDrivesRootAndBack) {
    setenv("QUORVEL_DRIVES_ROOT", "/tmp/drives/", 1);
    EXPECT_EQ(gf_pathFromWindowsText(R"(C:\Users\Pilot\Community)"),
              fs::path("/tmp/drives/c/Users/Pilot/Community"));
    EXPECT_EQ(gf_pathFromWindowsText("d:/MSFS"), fs::path("/tmp/drives/d/MSFS"));
    EXPECT_EQ(gf_pathFromWindowsText("E:"), fs::path("/tmp/drives/e"));
    EXPECT_EQ(gf_pathFromWindowsText(R"(airports\learned\stock)"), fs::path("airports/learned/stock"));
    EXPECT_EQ(gf_pathFromWindowsText("/home/pilot/Community"), fs::path("/home/pilot/Community"));

    EXPECT_EQ(gf_windowsTextOfPath("/tmp/drives/c/Users/Pilot"), R"(C:\Users\Pilot)");
    EXPECT_EQ(gf_windowsTextOfPath("/tmp/drives/c"), R"(C:\)");
    EXPECT_EQ(gf_windowsTextOfPath("/tmp/drives/cd/x"), R"(\tmp\drives\cd\x)");
    EXPECT_EQ(gf_windowsTextOfPath("airports/learned"), R"(airports\learned)");

    for (const char* native :
         {"/tmp/drives/c/Users/Pilot/Community", "/home/pilot/Community", "a/b.txt", "/"})
        EXPECT_EQ(gf_pathFromWindowsText(gf_windowsTextOfPath(native)), fs::path(native)) << native;

    unsetenv("QUORVEL_DRIVES_ROOT");
    EXPECT_EQ(gf_pathFromWindowsText(R"(C:\MSFS)"), fs::path("/mnt/c/MSFS"));
}

TEST(CaseBlindLookup, FindsAChildByNameRegardlessOfCase) {
    CapturedLog log;
    writeFile("pkg/Aircraft.CFG", "a");
    writeFile("pkg/Texture.Blue/x", "t");
    EXPECT_EQ(gf_findChildIgnoringCase("pkg", "aircraft.cfg"), fs::path("pkg/Aircraft.CFG"));
    EXPECT_EQ(gf_findChildIgnoringCase("pkg", "TEXTURE.BLUE"), fs::path("pkg/Texture.Blue"));

    writeFile("pkg/aircraft.cfg", "b"); // Linux keeps both: the exact name wins
    EXPECT_EQ(gf_findChildIgnoringCase("pkg", "aircraft.cfg"), fs::path("pkg/aircraft.cfg"));
    EXPECT_EQ(gf_findChildIgnoringCase("pkg", "AIRCRAFT.cfg"), fs::path("pkg/Aircraft.CFG"));

    EXPECT_EQ(gf_findChildIgnoringCase("pkg", "panel.cfg"), std::nullopt);
    EXPECT_EQ(gf_findChildIgnoringCase("pkg", ""), std::nullopt);
    EXPECT_EQ(gf_findChildIgnoringCase("missing", "aircraft.cfg"), std::nullopt);
    EXPECT_TRUE(log.lines().empty());
}

// The new file reaches the disk before it takes the old one's name, and the rename itself is
// flushed: a power cut leaves the old file or the whole new one. The old file stays until the
// new one is in place.
TEST(AtomicWrite, FlushesTheNewFileAndItsFolderAroundTheRename) {
    CapturedLog log;
    const fs::path folder = fs::canonical(fs::current_path());
    writeFile("settings.xml", "old");
    synctest::clearEvents();
    ASSERT_TRUE(gf_writeFileAtomically("settings.xml", "new contents"));
    const auto events = synctest::events();
    ASSERT_EQ(events.size(), 4U);
    const std::string temp = events[0].path;
    EXPECT_EQ(events[0].kind, "fsync");
    EXPECT_EQ(fs::path(temp).parent_path(), folder);
    EXPECT_THAT(temp, ::testing::EndsWith(".tmp"));
    EXPECT_EQ(events[1].kind, "fsync");
    EXPECT_EQ(events[1].path, folder.string());
    EXPECT_EQ(events[2].kind, "rename");
    EXPECT_EQ(events[2].path, temp);
    EXPECT_EQ(events[2].to, (folder / "settings.xml").string());
    EXPECT_EQ(events[3].kind, "fsync");
    EXPECT_EQ(events[3].path, folder.string());
    EXPECT_EQ(testsupport::readFile("settings.xml"), "new contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2) << "no .tmp left";
    EXPECT_TRUE(log.lines().empty());

    // An empty file is a file too.
    EXPECT_TRUE(gf_writeFileAtomically(folder / "empty.txt", ""));
    EXPECT_TRUE(fs::exists("empty.txt"));
    EXPECT_EQ(fs::file_size("empty.txt"), 0U);
}

// Many files written by one piece of work: each still replaced whole by a rename, the flushes
// left to the end of the work (one flush of the file system there, which the recorder does not
// see); a nested scope leaves it to the outer one; after the scope each write flushes again.
TEST(AtomicWrite, DeferredFlushStillRenamesEachFileWhole) {
    CapturedLog log;
    writeFile("a.xml", "old");
    synctest::clearEvents();
    {
        const DeferredFileSync outer;
        {
            const DeferredFileSync inner;
            ASSERT_TRUE(gf_writeFileAtomically("a.xml", "new a"));
        }
        ASSERT_TRUE(gf_writeFileAtomically("b.xml", "new b"));
        const auto events = synctest::events();
        ASSERT_EQ(events.size(), 2U);
        EXPECT_EQ(events[0].kind, "rename");
        EXPECT_EQ(events[1].kind, "rename");
        EXPECT_EQ(testsupport::readFile("a.xml"), "new a");
    }
    EXPECT_EQ(synctest::events().size(), 2U);
    ASSERT_TRUE(gf_writeFileAtomically("c.xml", "c"));
    EXPECT_EQ(synctest::events().size(), 6U);
    EXPECT_TRUE(log.lines().empty());
}

namespace {

// No temporary file of the writer is left below the folder.
void expectNoTemporaryFileBelow(const fs::path& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

} // namespace

// A user keeps a file in a synced folder and links it into place: the link stays, and the file
// it leads to is replaced whole, its new version made in its own folder and flushed there. A
// chain of links and a relative link (taken from the link's own folder) lead to the same end; a
// link that leads to no file yet gets one made where it points. A folder reached through a link
// is written into as any folder.
TEST(AtomicWrite, ALinkedFileIsReplacedWhereItsLinkLeadsAndTheLinkStays) {
    CapturedLog log;
    const fs::path here = fs::canonical(fs::current_path());
    const fs::path synced = here / "synced";
    fs::create_directories(synced / "deeper");
    fs::create_directory_symlink("synced", "linkedFolder");
    ASSERT_TRUE(gf_writeFileAtomically("linkedFolder/plain.xml", "through the folder"));
    EXPECT_EQ(testsupport::readFile(synced / "plain.xml"), "through the folder");
    EXPECT_TRUE(fs::is_symlink("linkedFolder"));

    writeFile(synced / "parameters.xml", "old");
    fs::create_symlink("synced/parameters.xml", "parameters.xml");
    synctest::clearEvents();
    ASSERT_TRUE(gf_writeFileAtomically("parameters.xml", "new"));
    EXPECT_TRUE(fs::is_symlink("parameters.xml"));
    EXPECT_EQ(testsupport::readFile(synced / "parameters.xml"), "new");
    const auto events = synctest::events();
    ASSERT_EQ(events.size(), 4U);
    EXPECT_EQ(fs::path(events[0].path).parent_path(), synced) << "made beside the file it replaces";
    EXPECT_EQ(events[1].path, synced.string());
    EXPECT_EQ(events[2].to, (synced / "parameters.xml").string());
    EXPECT_EQ(events[3].path, synced.string());

    // The learned file EKBI.xml -> synced/chain.xml (absolute) -> deeper/EKBI.xml (relative).
    writeFile(synced / "deeper/EKBI.xml", std::string(990, 'o'));
    fs::create_symlink("deeper/EKBI.xml", synced / "chain.xml");
    fs::create_symlink(synced / "chain.xml", "EKBI.xml");
    ASSERT_TRUE(gf_writeFileAtomically("EKBI.xml", std::string(1226, 'n')));
    EXPECT_TRUE(fs::is_symlink("EKBI.xml"));
    EXPECT_TRUE(fs::is_symlink(synced / "chain.xml"));
    EXPECT_EQ(testsupport::readFile(synced / "deeper/EKBI.xml"), std::string(1226, 'n'));

    fs::create_symlink("synced/deeper/new.txt", "dangling.txt");
    ASSERT_TRUE(gf_writeFileAtomically("dangling.txt", "made where it points"));
    EXPECT_TRUE(fs::is_symlink("dangling.txt"));
    EXPECT_EQ(testsupport::readFile(synced / "deeper/new.txt"), "made where it points");
    expectNoTemporaryFileBelow(here);
    EXPECT_TRUE(log.lines().empty());
}

// Where the link leads to nothing that can be written - a folder that is not there, links that
// go round in a loop, a folder - the write fails with a line naming the link and where it leads,
// and the links stay as they were.
TEST(AtomicWrite, ALinkThatLeadsNowhereWritableIsToldAndStays) {
    CapturedLog log;
    fs::create_directory("synced");
    fs::create_symlink("gone/parameters.xml", "parameters.xml");
    fs::create_symlink("b.xml", "a.xml");
    fs::create_symlink("a.xml", "b.xml");
    fs::create_symlink("synced", "folder.xml");
    for (const char* name : {"parameters.xml", "a.xml", "folder.xml"})
        EXPECT_FALSE(gf_writeFileAtomically(name, "bytes")) << name;
    // Where the link leads is shown as the folders really lie.
    const fs::path here = fs::canonical(fs::current_path());
    EXPECT_THAT(log.lines(),
                ElementsAre(fmt::format("==> Could not write parameters.xml (a link to {}): the folder {} it leads "
                                        "into is not there",
                                        (here / "gone/parameters.xml").string(), (here / "gone").string()),
                            "==> Could not write a.xml: its symbolic links go round in a loop",
                            fmt::format("==> Could not write folder.xml (a link to {}): not a regular file",
                                        (here / "synced").string())));
    for (const char* name : {"parameters.xml", "a.xml", "b.xml", "folder.xml"})
        EXPECT_TRUE(fs::is_symlink(name)) << name;
    EXPECT_FALSE(fs::exists("gone"));
    expectNoTemporaryFileBelow(".");
}

// A synced folder the user may only read: the write fails there, and the link and its file stay.
TEST(AtomicWrite, ALinkIntoAFolderTheUserMayOnlyReadIsToldAndStays) {
    SKIP_WITHOUT_ORDINARY_USER();
    CapturedLog log;
    const fs::path here = fs::canonical(fs::current_path());
    writeFile("synced/EKBI.xml", "learned");
    fs::create_symlink("synced/EKBI.xml", "EKBI.xml");
    fs::permissions("synced", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                  fs::perms::others_exec);
    bool written = true;
    {
        const testsupport::AsOrdinaryUser user;
        written = gf_writeFileAtomically("EKBI.xml", "new");
    }
    EXPECT_FALSE(written);
    EXPECT_THAT(log.lines().back(),
                ::testing::StartsWith(fmt::format("==> Could not write EKBI.xml (a link to {}): creating synced/EKBI.xml.",
                                                  (here / "synced/EKBI.xml").string())));
    EXPECT_THAT(log.lines().back(), ::testing::EndsWith(".tmp failed: Permission denied"));
    EXPECT_TRUE(fs::is_symlink("EKBI.xml"));
    EXPECT_EQ(testsupport::readFile("synced/EKBI.xml"), "learned");
    fs::permissions("synced", fs::perms::owner_all);
    expectNoTemporaryFileBelow(".");
}

// A file the program replaces keeps the permissions the user gave it (a settings file only its
// owner may read, a learned file behind a link), by every way a file is put in place: written,
// copied over, moved in; a new file gets the usual ones. A file the user made read-only (no one
// may write it) is not replaced: the write fails with a line saying so, and the file stays.
TEST(AtomicWrite, AReplacedFileKeepsItsPermissionsAndAReadOnlyOneStays) {
    CapturedLog log;
    const mode_t umaskBefore = ::umask(022);
    const auto modeOf = [](const fs::path& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
    };
    const auto make = [](const fs::path& path, mode_t mode) {
        writeFile(path, "old");
        ::chmod(path.c_str(), mode);
    };
    make("parameters.xml", 0600);
    make("synced/EKBI.xml", 0640);
    fs::create_symlink("synced/EKBI.xml", "EKBI.xml");
    make("plain.xml", 0644);
    make("copied.xml", 0600);
    make("moved.enc", 0604);
    writeFile("from.xml", "copy");
    writeFile("staged.enc", "moved");
    EXPECT_TRUE(gf_writeFileAtomically("parameters.xml", "new"));
    EXPECT_TRUE(gf_writeFileAtomically("EKBI.xml", "new"));
    EXPECT_TRUE(gf_writeFileAtomically("plain.xml", "new"));
    EXPECT_TRUE(gf_writeFileAtomically("fresh.xml", "new"));
    EXPECT_TRUE(gf_copyFile("from.xml", "copied.xml").written());
    EXPECT_TRUE(gf_moveFileInto("staged.enc", "moved.enc").written());
    EXPECT_EQ(modeOf("parameters.xml"), 0600U);
    EXPECT_EQ(modeOf("synced/EKBI.xml"), 0640U);
    EXPECT_TRUE(fs::is_symlink("EKBI.xml"));
    EXPECT_EQ(modeOf("plain.xml"), 0644U);
    EXPECT_EQ(modeOf("fresh.xml"), 0644U);
    EXPECT_EQ(modeOf("copied.xml"), 0600U);
    EXPECT_EQ(modeOf("moved.enc"), 0604U);
    EXPECT_EQ(testsupport::readFile("moved.enc"), "moved");
    EXPECT_TRUE(log.lines().empty());

    make("locked.xml", 0444);
    make("synced/locked.xml", 0400);
    fs::create_symlink("synced/locked.xml", "linked-locked.xml");
    writeFile("staged.enc", "moved");
    EXPECT_FALSE(gf_writeFileAtomically("locked.xml", "new"));
    EXPECT_FALSE(gf_writeFileAtomically("linked-locked.xml", "new"));
    EXPECT_FALSE(gf_copyFile("from.xml", "locked.xml").written());
    const FileReplaceResult moved = gf_moveFileInto("staged.enc", "locked.xml");
    EXPECT_EQ(moved.failure, "the file is read-only and stays as it is");
    for (const char* name : {"locked.xml", "synced/locked.xml"})
        EXPECT_EQ(testsupport::readFile(name), "old") << name;
    EXPECT_EQ(modeOf("locked.xml"), 0444U);
    EXPECT_THAT(log.lines(),
                ElementsAre("==> Could not write locked.xml: the file is read-only and stays as it is",
                            fmt::format("==> Could not write linked-locked.xml (a link to {}): the file is read-only "
                                        "and stays as it is",
                                        (fs::canonical(".") / "synced/locked.xml").string())));
    expectNoTemporaryFileBelow(".");
    ::umask(umaskBefore);
}

// A copy is written as every file is (through a link at either end, replaced whole); one told
// not to replace leaves a file already there; what is no regular file is not copied.
TEST(AtomicWrite, ACopyIsWrittenAsEveryFileIs) {
    CapturedLog log;
    writeFile("synced/from.xml", "content");
    fs::create_symlink("synced/from.xml", "from.xml");
    writeFile("synced/to.xml", "old");
    fs::create_symlink("synced/to.xml", "to.xml");
    fs::create_hard_link("synced/to.xml", "held-by-a-reader.xml");
    EXPECT_TRUE(gf_copyFile("from.xml", "to.xml").written());
    EXPECT_TRUE(fs::is_symlink("to.xml"));
    EXPECT_EQ(testsupport::readFile("synced/to.xml"), "content");
    EXPECT_EQ(testsupport::readFile("held-by-a-reader.xml"), "old");

    writeFile("kept.xml", "kept");
    const FileReplaceResult kept = gf_copyFile("from.xml", "kept.xml", {.replaceExisting = false});
    EXPECT_THAT(kept.failure, ::testing::EndsWith("failed: File exists"));
    EXPECT_EQ(testsupport::readFile("kept.xml"), "kept");
    EXPECT_TRUE(gf_copyFile("from.xml", "new.xml", {.replaceExisting = false}).written());
    EXPECT_EQ(testsupport::readFile("new.xml"), "content");

    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    bool copied = true;
    ASSERT_TRUE(testsupport::readWithoutAWriter("pipe", [&] { copied = gf_copyFile("pipe", "pipe.xml").written(); }));
    EXPECT_FALSE(copied);
    EXPECT_EQ(gf_copyFile("pipe", "pipe.xml").failure, "pipe: a named pipe stands in its place");
    EXPECT_FALSE(fs::exists("pipe.xml"));
    expectNoTemporaryFileBelow(".");
    EXPECT_TRUE(log.lines().empty());
}

TEST(AtomicWrite, AFailureIsLoggedAndLeavesTheOldFileAndNoTemporaryFile) {
    CapturedLog log;
    // The target's name is taken by a folder or a pipe: neither is replaced by a file.
    fs::create_directories("taken/inner");
    EXPECT_FALSE(gf_writeFileAtomically("taken", "bytes"));
    EXPECT_TRUE(fs::is_directory("taken/inner"));
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    EXPECT_FALSE(gf_writeFileAtomically("pipe", "bytes"));
    EXPECT_TRUE(fs::is_fifo("pipe"));
    // No folder to write into.
    EXPECT_FALSE(gf_writeFileAtomically("missing/file.xml", "bytes"));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[0], "==> Could not write taken: not a regular file");
    EXPECT_EQ(lines[1], "==> Could not write pipe: not a regular file");
    EXPECT_THAT(lines[2], ::testing::StartsWith("==> Could not write missing/file.xml: creating missing/file.xml."));
    for (const auto& entry : fs::directory_iterator("."))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

// A kill in the middle of a write leaves the temporary file behind; the next process that writes
// into that folder removes it. What belongs to others stays: files of processes still running,
// names without the writer's mark (those of the writer of earlier builds, "<name>.<pid>-<n>.tmp",
// among them: no user's file can be told from them), folders the program does not write into.
TEST(AtomicWrite, TemporaryFilesOfProcessesThatAreGoneAreRemovedByTheFirstWriteThere) {
    CapturedLog log;
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const pid_t running = ::fork();
    if (running == 0) {
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(running, 0);
    const std::string stale1 = fmt::format("data/airport.xml.quorvel-{}-0.tmp", gone);
    const std::string stale2 = fmt::format("data/LiveriesScanned.xml.quorvel-{}-41.tmp", gone);
    const std::string inFlight = fmt::format("data/other.xml.quorvel-{}-3.tmp", running);
    const std::string elsewhere = fmt::format("untouched/airport.xml.quorvel-{}-0.tmp", gone);
    // Those of the downloader.
    const std::string staleDownload = fmt::format("data/dbase.enc.download.quorvel-{}-3.part", gone);
    const std::string downloading = fmt::format("data/airport.xml.quorvel-{}-2.part", running);
    const std::vector<std::string> others{fmt::format("data/airport.xml.{}-0.tmp", gone),
                                          fmt::format("data/video.mkv.{}-1.part", gone),
                                          fmt::format("data/notes.quorvel-{}-x.tmp", gone),
                                          fmt::format("data/.quorvel-{}-1.tmp", gone),
                                          "data/notes.tmp",
                                          "data/a.b-1.tmp",
                                          "data/x.part"};
    fs::create_directories("data");
    fs::create_directories("untouched");
    for (const auto& name : {stale1, stale2, inFlight, elsewhere, staleDownload, downloading})
        writeFile(name, std::string(1000, 'x'));
    for (const auto& name : others)
        writeFile(name, std::string(1000, 'x'));

    ASSERT_TRUE(gf_writeFileAtomically("data/airport.xml", "new"));
    ASSERT_TRUE(gf_writeFileAtomically("data/second.xml", "new")); // the folder is swept once

    ::kill(running, SIGKILL);
    ::waitpid(running, nullptr, 0);
    EXPECT_FALSE(fs::exists(stale1));
    EXPECT_FALSE(fs::exists(stale2));
    EXPECT_FALSE(fs::exists(staleDownload));
    EXPECT_TRUE(fs::exists(inFlight));
    EXPECT_TRUE(fs::exists(downloading));
    EXPECT_TRUE(fs::exists(elsewhere));
    for (const auto& name : others)
        EXPECT_TRUE(fs::exists(name)) << name;
    EXPECT_EQ(testsupport::readFile("data/airport.xml"), "new");
    EXPECT_THAT(log.lines(), ElementsAre("Removed 3 temporary files left by an earlier run in data"));
}

namespace {

// The id of a process that has ended.
pid_t goneProcess() {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    return gone;
}

} // namespace

// The settings file and a learned airport file are links into folders of the user's documents,
// and so are folders of the program (its data folder among them); they hold the user's own files with names such as a killed
// write would leave. A save through any of these links removes none of them: a folder a link
// leads into is the user's, not the program's, and is never swept (not even of what the
// program's own writer left there).
TEST(AtomicWrite, ASaveThroughALinkRemovesNothingWhereTheLinkLeads) {
    CapturedLog log;
    const pid_t gone = goneProcess();
    ASSERT_GT(gone, 0);
    const testsupport::TempFolder documents;
    const testsupport::TempFolder airports;
    const testsupport::TempFolder scans;
    const testsupport::TempFolder synced;
    fs::create_directories(synced / "orig_dest");
    const std::vector<std::string> usersFiles{fmt::format("budget.{}-05.tmp", gone), fmt::format("notes.{}-3.tmp", gone),
                                              fmt::format("video.mkv.{}-1.part", gone),
                                              fmt::format("EKBI.xml.quorvel-{}-0.tmp", gone)};
    const std::vector<fs::path> linkedFolders{documents.path(), airports.path(), scans.path(), synced / "orig_dest"};
    for (const fs::path& folder : linkedFolders)
        for (const std::string& name : usersFiles)
            writeFile(folder / name, "the user's own");
    // The program's data folder is a link into a synced folder, and the settings file there a
    // link into the documents.
    const fs::path settings = gf_paths().parametersPath;
    fs::remove_all(settings.parent_path());
    fs::create_directory_symlink(synced.path(), settings.parent_path());
    fs::create_symlink(documents / "parameters.xml", settings);
    fs::create_directories("airports/learned/stock");
    fs::create_symlink(airports / "EKBI.xml", "airports/learned/stock/EKBI.xml");

    // A folder of the program that is itself a link into the user's documents.
    fs::create_directory_symlink(scans.path(), "airports/my_thirdparty");

    ASSERT_TRUE(gf_writeFileAtomically(settings, "<root/>"));
    ASSERT_TRUE(gf_writeFileAtomically("airports/learned/stock/EKBI.xml", "<learned/>"));
    ASSERT_TRUE(gf_writeFileAtomically("airports/my_thirdparty/EKAH.xml", "<generated/>"));
    ASSERT_TRUE(gf_writeFileAtomically(settings.parent_path() / "orig_dest/BAW1.pln", "<plan/>"));

    for (const fs::path& folder : linkedFolders)
        for (const std::string& name : usersFiles)
            EXPECT_EQ(testsupport::readFile(folder / name), "the user's own") << folder / name;
    EXPECT_EQ(testsupport::readFile(documents / "parameters.xml"), "<root/>");
    EXPECT_EQ(testsupport::readFile(airports / "EKBI.xml"), "<learned/>");
    EXPECT_TRUE(log.lines().empty());
}

// A whole-file read never waits and is bounded: only a regular file (a link to one included) is
// read, up to the bound its reader names; what stands in its place instead, or a size beyond the
// bound, is said in words that follow the file's name.
TEST(WholeFileRead, OnlyARegularFileWithinItsBoundIsRead) {
    testsupport::TempFolder dir;
    writeFile(dir / "list.txt", std::string(100, 'x'));
    fs::create_symlink(dir / "list.txt", dir / "link.txt");
    for (const char* name : {"list.txt", "link.txt"}) {
        const FileBytes read = gf_readRegularFile(dir / name, 100);
        EXPECT_TRUE(read.read()) << name << ": " << read.problem;
        EXPECT_EQ(read.bytes, std::string(100, 'x'));
    }
    FileBytes read = gf_readRegularFile(dir / "list.txt", 99);
    EXPECT_EQ(read.problem, "100 bytes, more than the 99 it may hold");
    EXPECT_TRUE(read.bytes.empty());
    EXPECT_EQ(gf_readRegularFileStart(dir / "list.txt", 7).bytes, "xxxxxxx");
    // The kernel's files report no size and are bounded as they are read.
    EXPECT_EQ(gf_readRegularFile("/proc/self/status", 10).problem, "more than the 10 bytes it may hold");
    EXPECT_THAT(gf_readRegularFile("/proc/self/status", 1 << 20).bytes, HasSubstr("Name:"));

    // A reader that streams the file is refused the same before any byte is read.
    const RegularFile open = gf_openRegularFile(dir / "link.txt", 100);
    EXPECT_TRUE(open.opened()) << open.problem;
    EXPECT_EQ(open.size, 100U);
    EXPECT_EQ(gf_openRegularFile(dir / "list.txt", 99).problem, "100 bytes, more than the 99 it may hold");

    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0); // opened at once, never waited on
    fs::create_symlink("/dev/zero", dir / "zero");
    const testsupport::UnixSocket socket(dir / "socket");
    ASSERT_TRUE(socket.bound());
    const std::pair<const char*, const char*> refused[] = {
        {"pipe", "a named pipe stands in its place"},
        {"zero", "a device stands in its place"},
        {".", "a folder stands in its place"},
        {"socket", "a socket stands in its place"},
        {"missing", "No such file or directory"},
    };
    ASSERT_TRUE(testsupport::readWithoutAWriter(dir / "pipe", [&] {
        for (const auto& [name, problem] : refused) {
            read = gf_readRegularFile(dir / name, 1 << 20);
            EXPECT_FALSE(read.read()) << name;
            EXPECT_EQ(read.problem, problem) << name;
            EXPECT_EQ(gf_readRegularFileStart(dir / name, 4).problem, problem) << name;
            const RegularFile file = gf_openRegularFile(dir / name, 1 << 20);
            EXPECT_FALSE(file.opened()) << name;
            EXPECT_EQ(file.problem, problem) << name;
            EXPECT_EQ(file.openError, read.openError) << name;
        }
    }));
    EXPECT_EQ(gf_readRegularFile(dir / "missing", 1).openError, ENOENT);
    EXPECT_EQ(gf_readRegularFile(dir.path(), 1).openError, EISDIR) << "a folder does not open on Windows";
    EXPECT_EQ(gf_readRegularFile(dir / "pipe", 1).openError, 0);
}

// A walk that follows links enters each folder once and none of the system's: /proc, /sys, /dev
// and what lies below them, reached through a link or as the walk's root; a folder merely named
// alike is walked.
TEST(FolderWalkGuard, EntersEachFolderOnceAndNoneOfTheSystems) {
    for (const char* system : {"/proc", "/proc/1/root", "/sys", "/dev", "/dev/"})
        EXPECT_TRUE(gf_isSystemFolder(system)) << system;
    for (const char* other : {"/", "/procs", "/device", "/system", "/home/proc", "proc", "dev/x"})
        EXPECT_FALSE(gf_isSystemFolder(other)) << other;

    using Outcome = FolderWalkGuard::Outcome;
    testsupport::TempFolder dir;
    fs::create_directories(dir / "proc" / "dev");
    fs::create_directory_symlink("/proc/self", dir / "self");
    fs::create_directory_symlink("/sys", dir / "system");
    fs::create_directory_symlink(".", dir / "here");
    std::vector<int> open;
    const auto entered = [&](const FolderWalkGuard::Entering& entering) {
        EXPECT_EQ(entering.outcome, Outcome::Entered);
        if (entering.outcome == Outcome::Entered) open.push_back(entering.folder.fd);
        return entering.folder;
    };
    FolderWalkGuard guard;
    const FolderWalkGuard::Folder top = entered(guard.enterRoot(dir.path()));
    const FolderWalkGuard::Folder proc = entered(guard.enter(top, "proc", dir / "proc", false));
    entered(guard.enter(proc, "dev", dir / "proc" / "dev", false));
    EXPECT_EQ(guard.enter(top, "here", dir / "here", true).outcome, Outcome::WalkedAlready);
    const auto self = guard.enter(top, "self", dir / "self", true);
    EXPECT_EQ(self.outcome, Outcome::SystemFolder);
    EXPECT_TRUE(self.real.string().starts_with("/proc/")) << self.real;
    const auto system = guard.enter(top, "system", dir / "system", true);
    EXPECT_EQ(system.outcome, Outcome::SystemFolder);
    EXPECT_EQ(system.real, fs::path("/sys"));
    EXPECT_EQ(FolderWalkGuard().enterRoot(dir / "self").outcome, Outcome::SystemFolder);
    EXPECT_EQ(FolderWalkGuard().enterRoot("/dev").outcome, Outcome::SystemFolder);
    for (const int fd : open)
        ::close(fd);

    // What an entry is, also where the listing does not say.
    writeFile(dir / "file", "x");
    fs::create_symlink(dir / "file", dir / "to-file");
    fs::create_symlink(dir / "gone", dir / "broken");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    using Kind = FolderEntry::Kind;
    const std::tuple<const char*, Kind, bool> kinds[] = {{"proc", Kind::Folder, false}, {"here", Kind::Folder, true},
                                                         {"file", Kind::File, false},   {"to-file", Kind::File, true},
                                                         {"broken", Kind::Other, true}, {"pipe", Kind::Other, false}};
    for (const auto& [name, kind, link] : kinds) {
        const FolderEntry entry = gf_folderEntry(fd, name, DT_UNKNOWN);
        EXPECT_EQ(entry.kind, kind) << name;
        EXPECT_EQ(entry.link, link) << name;
    }
    EXPECT_EQ(gf_folderEntry(fd, "here", DT_LNK).kind, Kind::Folder);
    ::close(fd);
}

// A link to "/" or to a folder above the walked one holds the walked folder itself: it is refused
// like a loop, whether it names the folder plainly, relatively or through another link, and
// whether the folders above are those the root is named by or those it really lies in. A link to
// a folder beside the walked one, or to the walked folder itself, is not such a folder. A root
// that is "/" or leads there is refused; one that leads to an ordinary folder is walked.
TEST(FolderWalkGuard, RefusesTheFoldersThatHoldTheWalk) {
    using Outcome = FolderWalkGuard::Outcome;
    testsupport::TempFolder dir;
    const fs::path sims = fs::canonical(dir.path()) / "sims";
    const fs::path community = sims / "packages" / "Community";
    fs::create_directories(community / "pkg");
    fs::create_directories(sims / "packages" / "Official" / "stock");
    fs::create_directories(sims / "elsewhere" / "linked-pkg");
    const std::pair<const char*, fs::path> links[] = {
        {"slash", "/"},
        {"parent", ".."},
        {"packages", sims / "packages"},
        {"sims", "../../"},
        {"sims-through-a-link", community / "parent" / ".."},
        {"itself", "."},
        {"sibling", sims / "packages" / "Official"},
        {"beside", sims / "elsewhere" / "linked-pkg"},
    };
    for (const auto& [name, target] : links)
        fs::create_directory_symlink(target, community / name);
    const std::pair<const char*, std::string> expected[] = {
        {"slash", "/"},
        {"parent", (sims / "packages").string()},
        {"packages", (sims / "packages").string()},
        {"sims", sims.string()},
        {"sims-through-a-link", sims.string()},
        {"itself", "walked already"},
        {"sibling", "entered"},
        {"beside", "entered"},
    };
    const auto walk = [&](FolderWalkGuard& guard, const FolderWalkGuard::Folder& root, const fs::path& rootPath) {
        for (const auto& [name, outcome] : expected) {
            const FolderWalkGuard::Entering entering = guard.enter(root, name, rootPath / name, true);
            std::string got;
            switch (entering.outcome) {
            case Outcome::Entered:
                ::close(entering.folder.fd);
                got = "entered";
                break;
            case Outcome::WalkedAlready: got = "walked already"; break;
            case Outcome::HoldsTheWalk: got = entering.real.string(); break;
            default: got = "other"; break;
            }
            EXPECT_EQ(got, outcome) << name;
        }
    };
    {
        FolderWalkGuard guard;
        const FolderWalkGuard::Entering root = guard.enterRoot(community);
        ASSERT_EQ(root.outcome, Outcome::Entered);
        walk(guard, root.folder, community);
        // A plain folder is not held to the rule: a sub-folder is never above its walk.
        const FolderWalkGuard::Entering pkg = guard.enter(root.folder, "pkg", community / "pkg", false);
        EXPECT_EQ(pkg.outcome, Outcome::Entered);
        ::close(pkg.folder.fd);
        ::close(root.folder.fd);
    }
    {
        // The root named through a link: the folders above its name and above where it lies.
        fs::create_directories(dir / "mine");
        fs::create_directory_symlink(community, dir / "mine" / "Community");
        fs::create_directory_symlink(dir / "mine", community / "mine");
        FolderWalkGuard guard;
        const FolderWalkGuard::Entering root = guard.enterRoot(dir / "mine" / "Community");
        ASSERT_EQ(root.outcome, Outcome::Entered);
        walk(guard, root.folder, dir / "mine" / "Community");
        const FolderWalkGuard::Entering mine = guard.enter(root.folder, "mine", community / "mine", true);
        EXPECT_EQ(mine.outcome, Outcome::HoldsTheWalk);
        EXPECT_EQ(mine.real, dir / "mine");
        ::close(root.folder.fd);
    }
    // Roots: "/" and a link to it are refused; a link to an ordinary folder, to its own folder's
    // parent, or named with a closing '/' is walked.
    fs::create_directory_symlink("/", dir / "to-slash");
    fs::create_directory_symlink(sims / "elsewhere" / "linked-pkg", dir / "to-pkg");
    fs::create_directory_symlink("..", sims / "elsewhere" / "linked-pkg" / "up");
    for (const fs::path& refused : {fs::path("/"), dir / "to-slash", dir / "to-slash/", fs::path("/.")}) {
        const FolderWalkGuard::Entering root = FolderWalkGuard().enterRoot(refused);
        EXPECT_EQ(root.outcome, Outcome::HoldsTheWalk) << refused;
        EXPECT_EQ(root.real, fs::path("/")) << refused;
    }
    for (const fs::path& walked : {dir / "to-pkg", dir / "to-pkg/", sims / "elsewhere" / "linked-pkg" / "up",
                                   community / "pkg" / ""}) {
        const FolderWalkGuard::Entering root = FolderWalkGuard().enterRoot(walked);
        EXPECT_EQ(root.outcome, Outcome::Entered) << walked;
        if (root.outcome == Outcome::Entered) ::close(root.folder.fd);
    }
    FolderWalkGuard guard;
    EXPECT_EQ(gf_holdsTheWalkReason(guard.enterRoot(dir / "to-slash"), true),
              "it leads to /, the file system's root: the whole machine is no folder of packages");
    FolderWalkGuard::Entering slash{Outcome::HoldsTheWalk, {}, 0, "/"};
    EXPECT_EQ(gf_holdsTheWalkReason(slash, false), "it leads to /, which holds the folder scanned");
}


// What a file opened there for writing would wait on (a pipe, also through a link) or could not
// be (a socket, a folder) is named; a file, nothing, or a device (which takes writes in place)
// is not.
TEST(WriteInPlace, WhatWouldHoldOrRefuseAWriterIsNamed) {
    testsupport::TempFolder dir;
    writeFile(dir / "file.txt", "x");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_symlink(dir / "pipe", dir / "pipe-link");
    fs::create_symlink("/dev/null", dir / "null");
    const testsupport::UnixSocket socket(dir / "socket");
    ASSERT_TRUE(socket.bound());
    const std::pair<const char*, const char*> named[] = {
        {"file.txt", ""},
        {"missing", ""},
        {"null", ""},
        {"pipe", "a named pipe stands in its place"},
        {"pipe-link", "a named pipe stands in its place"},
        {"socket", "a socket stands in its place"},
        {".", "a folder stands in its place"},
    };
    for (const auto& [name, problem] : named)
        EXPECT_EQ(gf_notWritableInPlace(dir / name), problem) << name;
}
