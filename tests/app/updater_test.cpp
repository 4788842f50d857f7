// The updater against a download server laid out like the real one: a file:// folder and a
// loopback HTTP server that can fail, cut or stall its answers.

#include "app/updater.hpp"

#include "app/startup.hpp"
#include "refdata/reference_data.hpp"

#include <algorithm>
#include <cstdlib>

#include <sys/wait.h>
#include <unistd.h>

#include "app_test_support.hpp"
#include "airports/downloader.hpp"
#include "config/settings_migration.hpp"
#include "core/user_error.hpp"
#include "core/zip_archive.hpp"
#include "encref/enc_writer.hpp"
#include "platform/win32/shell.hpp"
#include "support/loopback_http_server.hpp"
#include "support/named_pipe.hpp"
#include "support/ordinary_user.hpp"

namespace apptest {
namespace {

using namespace tamrix;
using testsupport::LoopbackHttpServer;
using testsupport::readFile;
using testsupport::writeFile;
using Rule = LoopbackHttpServer::Rule;
using Fault = LoopbackHttpServer::Fault;

constexpr const char* kAllCurrent = R"({"msfs_app":{"major":12,"minor":5,"patch":4},
 "airports":{"major":3,"minor":1,"patch":0}, "aig":{"major":2,"minor":0,"patch":7},
 "liveries":{"major":12,"minor":0,"patch":1}, "addons":{"major":12,"minor":0,"patch":3},
 "dbase":{"major":5,"minor":2,"patch":0}})";

class UpdaterTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (const char* base = std::getenv("QUORVEL_DOWNLOAD_BASE")) previousBase_ = base;
        platform::win32::resetShell();
        gf_setDownloadStallSeconds(kDefaultStallSeconds);
        gf_resetDownloadLimits();
        // The server's folders, outside the program folder.
        const fs::path d = server_.path() / "downloads";
        for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"})
            writeFile(d / "12" / name, readFile(fs::path(QUORVEL_ENC_DIR) / name));
        writeFile(d / "docs/ReleaseNotes.pdf", "%PDF notes");
        writeFile(d / "versions.json", kAllCurrent);
        // The program folder as shipped, with the versions the server also has.
        for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"})
            writeFile(fs::path("input") / name, shipped(name));
        writeFile("output/LiveriesScanned.xml", "<liveries/>");
        AIRPORTS_VERSION.current.set("3.1.0");
        AIG_VERSION.current.set("2.0.7");
        LIV_SCAN_VERSION.current.set("12.0.1");
        ADDONS_SCAN_VERSION.current.set("12.0.3");
        DBASE_VERSION.current.set("5.2.0");
        SCAN_LIVERIES.current = false;
        SCAN_AIRPORTS.current = false;
        useFileServer();
    }
    void TearDown() override {
        if (previousBase_)
            ::setenv("QUORVEL_DOWNLOAD_BASE", previousBase_->c_str(), 1);
        else
            ::unsetenv("QUORVEL_DOWNLOAD_BASE");
        gf_setDownloadStallSeconds(kDefaultStallSeconds);
        gf_resetDownloadLimits();
        platform::win32::resetShell();
        AppTest::TearDown();
    }

    static std::string shipped(const std::string& name) { return readFile(fs::path(QUORVEL_ENC_DIR) / name); }
    // An encrypted data file that decrypts to this text.
    void writeEncrypted(const fs::path& path, const std::string& plainText) const {
        const fs::path plain = server_.path() / "plain.xml";
        writeFile(plain, plainText);
        fs::create_directories(path.parent_path());
        encref::encryptFile(plain, path);
    }
    fs::path serverFile(const std::string& name) const { return server_.path() / "downloads" / name; }
    void useFileServer() { ::setenv("QUORVEL_DOWNLOAD_BASE", ("file://" + serverFile("").string()).c_str(), 1); }
    LoopbackHttpServer& useHttpServer() {
        http_ = std::make_unique<LoopbackHttpServer>(server_.path());
        ::setenv("QUORVEL_DOWNLOAD_BASE", (http_->base() + "downloads/").c_str(), 1);
        return *http_;
    }
    void serveVersions(const std::string& json) const { writeFile(serverFile("versions.json"), json); }
    // A program archive with these (name, bytes) entries.
    void serveRelease(const std::vector<std::pair<std::string, std::string>>& entries) const {
        const fs::path zip = serverFile("release/Quorvel/latest_version.zip");
        fs::create_directories(zip.parent_path());
        ZipArchive archive(zip);
        ASSERT_TRUE(archive.open(ZipArchive::New));
        for (const auto& [name, bytes] : entries) ASSERT_TRUE(archive.addData(name, bytes.data(), bytes.size()));
        ASSERT_TRUE(archive.close());
    }

    bool logged(std::string_view text) const {
        for (const auto& line : logLines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    std::string savedValue(std::string_view key) const {
        const std::string text = readText(gf_paths().parametersPath);
        const std::string mark = fmt::format("name=\"{}\" value=\"", key);
        const auto at = text.find(mark);
        if (at == std::string::npos) return "<none>";
        const auto from = at + mark.size();
        return text.substr(from, text.find('"', from) - from);
    }
    static bool leftovers(const fs::path& folder) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.find(".part") != std::string::npos || name.find(".download") != std::string::npos ||
                name.find(".check") != std::string::npos)
                return true;
        }
        return false;
    }

    std::optional<std::string> previousBase_;
    testsupport::TempFolder server_;
    std::unique_ptr<LoopbackHttpServer> http_;
};

TEST_F(UpdaterTest, BringsDataFilesAndScansUpToTheServersVersions) {
    // aig at the server's version but its file missing, dbase never recorded, the livery scan
    // result missing, addons equal (never looks at a file).
    fs::remove("input/AIG-regcodes.enc");
    fs::remove("output/LiveriesScanned.xml");
    DBASE_VERSION.current.set("");
    // A data file the user keeps elsewhere and links into place stays linked.
    fs::create_directories("synced");
    fs::rename("input/dbase.enc", "synced/dbase.enc");
    fs::create_symlink("../synced/dbase.enc", "input/dbase.enc");

    EXPECT_TRUE(gf_checkForUpdates());

    EXPECT_TRUE(logged("Quorvel program version at web = 12.5.4"));
    EXPECT_TRUE(logged("msfs_app version up-to-date"));
    EXPECT_TRUE(logged("airports version up-to-date"));
    EXPECT_TRUE(logged("aig updated to 2.0.7"));
    EXPECT_TRUE(logged("liveries updated to 12.0.1"));
    EXPECT_TRUE(logged("addons version up-to-date"));
    EXPECT_TRUE(logged("dbase updated to 5.2.0"));
    EXPECT_EQ(readFile("input/airports.enc"), shipped("airports.enc"));
    EXPECT_EQ(readFile("input/AIG-regcodes.enc"), readFile(serverFile("12/AIG-regcodes.enc")));
    EXPECT_EQ(readFile("input/dbase.enc"), readFile(serverFile("12/dbase.enc")));
    EXPECT_TRUE(fs::is_symlink("input/dbase.enc"));
    EXPECT_EQ(savedValue("DBASE_VERSION"), "5.2.0");
    EXPECT_TRUE(SCAN_LIVERIES.current.load());
    EXPECT_EQ(savedValue("SCAN_LIVERIES"), "true");
    EXPECT_FALSE(SCAN_AIRPORTS.current.load());
    EXPECT_FALSE(fs::exists("versions.json"));
    EXPECT_FALSE(leftovers(folder()));

    // A link to a file in its own folder (the checked file is renamed over the file it leads to,
    // not over the link), and one to a file not made yet.
    fs::remove("input/dbase.enc");
    writeFile("input/dbase-kept.enc", "an older dbase");
    ::chmod("input/dbase-kept.enc", 0640);
    fs::create_symlink("dbase-kept.enc", "input/dbase.enc");
    fs::remove("input/AIG-regcodes.enc");
    fs::create_symlink("AIG-regcodes-new.enc", "input/AIG-regcodes.enc");
    DBASE_VERSION.current.set("");
    EXPECT_TRUE(gf_checkForUpdates());
    for (const char* link : {"input/dbase.enc", "input/AIG-regcodes.enc"})
        EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_EQ(readFile("input/dbase-kept.enc"), readFile(serverFile("12/dbase.enc")));
    EXPECT_EQ(fs::status("input/dbase-kept.enc").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(readFile("input/AIG-regcodes-new.enc"), readFile(serverFile("12/AIG-regcodes.enc")));
    EXPECT_FALSE(leftovers(folder()));

    // Newer add-on data asks for an airport scan; everything else is now current.
    serveVersions(std::string(kAllCurrent).replace(std::string(kAllCurrent).find("\"patch\":3"), 9, "\"patch\":4"));
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(SCAN_AIRPORTS.current.load());
    EXPECT_EQ(savedValue("ADDONS_SCAN_VERSION"), "12.0.4");
    EXPECT_TRUE(logged("addons updated to 12.0.4"));

    // A version that was never recorded is older than any, 0.0.0 too; so is one that is no
    // version at all.
    SCAN_AIRPORTS.current = false;
    ADDONS_SCAN_VERSION.current.set("");
    LIV_SCAN_VERSION.current.set("12.0.x");
    serveVersions(R"({"msfs_app":{"major":12,"minor":5,"patch":4}, "addons":{"major":0,"minor":0,"patch":0},
        "liveries":{"major":12,"minor":0,"patch":1}})");
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(SCAN_AIRPORTS.current.load());
    EXPECT_EQ(savedValue("ADDONS_SCAN_VERSION"), "0.0.0");
    EXPECT_TRUE(logged("addons updated to 0.0.0"));
    EXPECT_EQ(savedValue("LIV_SCAN_VERSION"), "12.0.1");
}

TEST_F(UpdaterTest, FailedOrForeignDownloadsKeepTheOldFilesAndVersions) {
    auto& http = useHttpServer();
    serveVersions(R"({"msfs_app":{"major":12,"minor":5,"patch":4}, "airports":{"major":3,"minor":2,"patch":0},
        "aig":{"major":2,"minor":1,"patch":0}, "liveries":{"major":12,"minor":0,"patch":1},
        "addons":{"major":12,"minor":0,"patch":3}, "dbase":{"major":5,"minor":3,"patch":0}})");
    http.setRule("/downloads/12/airports.enc", Rule{Fault::Truncate, 0, 100});
    http.setRule("/downloads/12/dbase.enc", Rule{Fault::Status, 404, 0});
    // The settings migration set the old aig file aside; its replacement arrives, whole but it
    // is an error page, not a data file.
    fs::rename("input/AIG-regcodes.enc", "input/AIG-regcodes.enc.kept");
    http.setRule("/downloads/12/AIG-regcodes.enc", Rule{Fault::Status, 301, 0});

    EXPECT_TRUE(gf_checkForUpdates());
    gf_restoreKeptReferenceFiles();

    for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"})
        EXPECT_EQ(readFile(fs::path("input") / name), shipped(name)) << name;
    EXPECT_EQ(AIRPORTS_VERSION.current.get(), "3.1.0");
    EXPECT_EQ(AIG_VERSION.current.get(), "2.0.7");
    EXPECT_EQ(DBASE_VERSION.current.get(), "5.2.0");
    EXPECT_FALSE(logged("updated to"));
    EXPECT_TRUE(logged(fmt::format("Downloading '{}downloads/12/dbase.enc' failed !", http.base())));
    EXPECT_TRUE(logged("put back"));
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.enc.kept"));
    EXPECT_FALSE(leftovers(folder()));

    // A body that arrives whole but does not decrypt is refused as well; a real one is taken
    // and the copy set aside goes.
    writeFile("input/dbase.enc.kept", "KEPT");
    fs::remove("input/dbase.enc");
    http.setRule("/downloads/12/dbase.enc", Rule{});
    writeFile(serverFile("12/airports.enc"), std::string(5000, 'x'));
    http.setRule("/downloads/12/airports.enc", Rule{});
    EXPECT_TRUE(gf_checkForUpdates());
    gf_restoreKeptReferenceFiles();
    EXPECT_EQ(readFile("input/airports.enc"), shipped("airports.enc"));
    EXPECT_TRUE(logged("The downloaded airports.enc is no valid data file"));
    // Reinstalling restores the shipped file, which stayed as it was: no advice to do so.
    EXPECT_FALSE(logged("reinstall"));
    EXPECT_EQ(readFile("input/dbase.enc"), readFile(serverFile("12/dbase.enc")));
    EXPECT_FALSE(fs::exists("input/dbase.enc.kept"));
    EXPECT_EQ(DBASE_VERSION.current.get(), "5.3.0");

    // Files that decrypt but whose tables the program cannot read are refused as well, and an
    // endless answer is refused at the cap: the start reads the files it had.
    serveVersions(R"({"msfs_app":{"major":12,"minor":5,"patch":4}, "airports":{"major":3,"minor":3,"patch":0},
        "aig":{"major":2,"minor":2,"patch":0}, "dbase":{"major":5,"minor":4,"patch":0}})");
    writeEncrypted(serverFile("12/dbase.enc"), "<?xml version=\"1.0\"?>\n<other/>\n");
    writeEncrypted(serverFile("12/AIG-regcodes.enc"), "<root><other/></root>\n");
    http.setRule("/downloads/12/AIG-regcodes.enc", Rule{});
    http.setRule("/downloads/12/airports.enc", Rule{Fault::Endless, 0, 0});
    gf_setDownloadLimits(DownloadKind::DataFile, {1 << 20, std::chrono::seconds(20)});
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(readFile("input/dbase.enc"), shipped("dbase.enc"));
    EXPECT_EQ(readFile("input/AIG-regcodes.enc"), shipped("AIG-regcodes.enc"));
    EXPECT_EQ(readFile("input/airports.enc"), shipped("airports.enc"));
    EXPECT_EQ(DBASE_VERSION.current.get(), "5.3.0");
    EXPECT_EQ(AIG_VERSION.current.get(), "2.0.7");
    EXPECT_EQ(AIRPORTS_VERSION.current.get(), "3.1.0");
    EXPECT_TRUE(logged("The downloaded dbase.enc is no valid data file (61: XML root missing: root)"));
    EXPECT_TRUE(logged("The downloaded AIG-regcodes.enc is no valid data file"));
    EXPECT_TRUE(logged("Download error: 'the answer is larger than 1048576 bytes'"));
    EXPECT_NO_THROW(gf_readReferenceData());
    EXPECT_FALSE(leftovers(folder()));

    // A local file of the server's version that does not read is fetched again.
    writeEncrypted("input/dbase.enc", "<root/>\n");
    DBASE_VERSION.current.set("5.4.0");
    writeFile(serverFile("12/dbase.enc"), shipped("dbase.enc"));
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(logged("cannot be read (61: Missing section: aircrafts); it is fetched again"));
    EXPECT_EQ(readFile("input/dbase.enc"), shipped("dbase.enc"));
    EXPECT_TRUE(logged("dbase updated to 5.4.0"));
    gf_resetReferenceData();
    EXPECT_NO_THROW(gf_readReferenceData());
}

TEST_F(UpdaterTest, AnUnusableVersionListNeverStopsTheStart) {
    auto& http = useHttpServer();
    // Not JSON at all.
    serveVersions("<html>Service unavailable</html>");
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(logged("versions.json is no valid JSON"));
    EXPECT_FALSE(fs::exists("versions.json"));

    // Members of the wrong type or missing.
    serveVersions(R"({"msfs_app":{"major":12,"minor":5,"patch":4}, "airports":"3.2.0",
        "aig":{"major":2,"minor":9,"patch":"x"}, "liveries":{"major":12,"minor":0,"patch":1}})");
    EXPECT_TRUE(gf_checkForUpdates());
    for (const char* key : {"airports", "aig", "addons", "dbase"})
        EXPECT_TRUE(logged(fmt::format("==> {} version not found", key))) << key;
    EXPECT_EQ(AIG_VERSION.current.get(), "2.0.7");

    // No list on the server, an endless list, then a server that stops sending in the middle of it.
    http.setRule("/downloads/versions.json", Rule{Fault::Endless, 0, 0});
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(logged(
        fmt::format("Download error: 'the answer is larger than {} bytes' for {}downloads/versions.json",
                    gf_downloadLimits(DownloadKind::VersionList).maxBytes, http.base())));
    http.setRule("/downloads/versions.json", Rule{Fault::Status, 404, 0});
    EXPECT_TRUE(gf_checkForUpdates());
    gf_setDownloadStallSeconds(1);
    http.setRule("/downloads/versions.json", Rule{Fault::Stall, 0, 0});
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(logged("==> Downloading version info from my web site failed!"));
    EXPECT_FALSE(fs::exists("versions.json"));
    EXPECT_EQ(readFile("input/dbase.enc"), shipped("dbase.enc"));
}

// The downloaded version list is read only as a regular file of the size its download may bring:
// a named pipe in its place is named, never waited on.
TEST_F(UpdaterTest, AVersionListThatIsNoRegularFileIsNamedNotWaitedOn) {
    writeFile("versions.json", R"({"dbase":{"major":5,"minor":3,"patch":0}})");
    const std::optional<nlohmann::json> list = lf_readVersionList("versions.json");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->at("dbase").at("minor"), 3);

    fs::remove("versions.json");
    ASSERT_TRUE(testsupport::makeNamedPipe("versions.json"));
    std::optional<nlohmann::json> piped = nlohmann::json::object();
    ASSERT_TRUE(testsupport::readWithoutAWriter("versions.json", [&] { piped = lf_readVersionList("versions.json"); }));
    EXPECT_FALSE(piped);
    EXPECT_TRUE(logged("==> Cannot read versions.json: a named pipe stands in its place"));

    fs::remove("versions.json");
    writeFile("versions.json", "{}");
    const std::size_t cap = gf_downloadLimits(DownloadKind::VersionList).maxBytes;
    fs::resize_file("versions.json", cap + 1);
    EXPECT_FALSE(lf_readVersionList("versions.json"));
    EXPECT_TRUE(logged(fmt::format("==> Cannot read versions.json: {} bytes, more than the {} it may hold", cap + 1, cap)));
}

TEST_F(UpdaterTest, NewProgramVersionIsUnpackedBesideItsNotesAndEndsTheRun) {
    serveVersions(R"({"msfs_app":{"major":12,"minor":5,"patch":5}, "dbase":{"major":9,"minor":0,"patch":0}})");
    // Several entries, one with folder parts that climb out of any folder.
    serveRelease({{"notes/readme.txt", "text"}, {"../../escape/setup.EXE", "INSTALLER"}, {"extra.bin", "bin"}});
    writeFile("new_version/stale.txt", "from an earlier update");

    EXPECT_FALSE(gf_checkForUpdates());

    EXPECT_EQ(readFile("new_version/install_new_version.exe"), "INSTALLER");
    EXPECT_EQ(readFile("new_version/ReleaseNotes.pdf"), "%PDF notes");
    EXPECT_EQ(readFile("new_version/README.txt"),
              "A new version is available.\nThe installer can be executed normally (no Administrator rights required).\n");
    EXPECT_FALSE(fs::exists("new_version/stale.txt"));
    EXPECT_FALSE(fs::exists("install_new_version.exe"));
    EXPECT_FALSE(fs::exists("latest_version.zip"));
    EXPECT_FALSE(fs::exists(folder().parent_path().parent_path() / "escape"));
    EXPECT_FALSE(fs::exists("escape"));
    EXPECT_FALSE(leftovers(folder()));
    EXPECT_EQ(gf_exitReason(), ExitReason::NewVersion);
    EXPECT_EQ(gf_restartDelay(), 0);
    const auto opened = platform::win32::shellRequests();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(fs::path(opened[0].file), fs::absolute("new_version"));
    // The keys after the program are not looked at.
    EXPECT_EQ(readFile("input/dbase.enc"), shipped("dbase.enc"));
    EXPECT_FALSE(logged("dbase"));
}

TEST_F(UpdaterTest, AFailedProgramUpdateTakesNothingStale) {
    auto& http = useHttpServer();
    serveVersions(R"({"msfs_app":{"major":13,"minor":0,"patch":0}})");
    // An installer left in the program folder by an interrupted earlier update.
    writeFile("install_new_version.exe", "OLD INSTALLER");
    http.setRule("/downloads/release/Quorvel/latest_version.zip", Rule{Fault::Status, 404, 0});
    EXPECT_THROW(gf_checkForUpdates(), UserErrorException);
    EXPECT_TRUE(logged("Downloading program installer file version 13.0.0 failed"));
    EXPECT_FALSE(fs::exists("install_new_version.exe"));
    EXPECT_FALSE(fs::exists("new_version/install_new_version.exe"));

    // An archive without an installer, and one cut short.
    http.setRule("/downloads/release/Quorvel/latest_version.zip", Rule{});
    serveRelease({{"a.txt", "a"}, {"b.txt", "b"}});
    EXPECT_THROW(gf_checkForUpdates(), UserErrorException);
    EXPECT_TRUE(logged("holds 2 entries and no single installer"));
    std::string installer(200000, '\0');
    uint32_t x = 12345;
    for (char& c : installer) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24); // does not compress
    serveRelease({{"setup.exe", installer}});
    http.setRule("/downloads/release/Quorvel/latest_version.zip", Rule{Fault::Truncate, 0, 1000});
    EXPECT_THROW(gf_checkForUpdates(), UserErrorException);
    // An archive beyond the cap of its kind.
    http.setRule("/downloads/release/Quorvel/latest_version.zip", Rule{});
    gf_setDownloadLimits(DownloadKind::ProgramArchive, {100000, std::chrono::seconds(20)});
    EXPECT_THROW(gf_checkForUpdates(), UserErrorException);
    EXPECT_TRUE(logged("Download error: 'the answer is larger than 100000 bytes'"));
    EXPECT_FALSE(fs::exists("new_version/install_new_version.exe"));
    EXPECT_FALSE(fs::exists("latest_version.zip"));
    EXPECT_NE(gf_exitReason(), ExitReason::NewVersion);
    EXPECT_FALSE(leftovers(folder()));
}

// A small archive may unpack to gigabytes (zeros compress a thousandfold): the installer is held
// to the archive's cap by the bytes it really unpacks to, whether its header tells the truth or
// claims a small size, and nothing of it stays.
TEST_F(UpdaterTest, AnInstallerBeyondTheArchivesCapIsRefusedWhateverItsHeaderClaims) {
    serveVersions(R"({"msfs_app":{"major":12,"minor":5,"patch":5}})");
    gf_setDownloadLimits(DownloadKind::ProgramArchive, {100000, std::chrono::seconds(20)});
    const auto refusals = [this] {
        const auto lines = logLines();
        return std::count(
            lines.begin(), lines.end(),
            "==> The installer setup.exe in latest_version.zip unpacks to more than 100000 bytes; "
            "it is refused");
    };
    serveRelease({{"setup.exe", std::string(300000, '\0')}});
    EXPECT_THROW(gf_checkForUpdates(), UserErrorException);
    EXPECT_EQ(refusals(), 1);

    // The same archive whose headers claim 1000 bytes.
    std::string zip = readFile(serverFile("release/Quorvel/latest_version.zip"));
    const auto claim = [&zip](std::string_view signature, std::size_t sizeOffset) {
        const auto at = zip.find(signature);
        ASSERT_NE(at, std::string::npos);
        const char small[4] = {static_cast<char>(0xE8), 0x03, 0, 0};
        zip.replace(at + sizeOffset, 4, small, 4);
    };
    claim(std::string_view("PK\3\4", 4), 22);
    claim(std::string_view("PK\1\2", 4), 24);
    writeFile(serverFile("release/Quorvel/latest_version.zip"), zip);
    EXPECT_THROW(gf_checkForUpdates(), UserErrorException);
    EXPECT_EQ(refusals(), 2);

    EXPECT_FALSE(fs::exists("install_new_version.exe"));
    EXPECT_FALSE(fs::exists("new_version/install_new_version.exe"));
    EXPECT_FALSE(fs::exists("latest_version.zip"));
    EXPECT_NE(gf_exitReason(), ExitReason::NewVersion);
    EXPECT_FALSE(leftovers(folder()));
}

// A download killed in an earlier run leaves its temporary file beside its target; the next check
// removes those of processes that are gone from every folder the downloads write, also from
// folders it downloads nothing into and when the server cannot be reached. Files of a running
// process stay.
TEST_F(UpdaterTest, TemporaryFilesOfKilledDownloadsAreRemovedAtTheNextCheck) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const std::vector<std::string> stale{fmt::format("latest_version.zip.quorvel-{}-0.part", gone),
                                         fmt::format("input/dbase.enc.download.quorvel-{}-3.part", gone),
                                         fmt::format("new_version/ReleaseNotes.pdf.quorvel-{}-4.part", gone),
                                         fmt::format("airports/park_airport.xml.quorvel-{}-7.part", gone)};
    const std::string running = fmt::format("input/airports.enc.download.quorvel-{}-1.part", ::getppid());
    for (const auto& name : stale)
        writeFile(name, std::string(1000, 'x'));
    writeFile(running, "x");
    ::setenv("QUORVEL_DOWNLOAD_BASE", "file:///nonexistent/downloads/", 1);

    EXPECT_TRUE(gf_checkForUpdates());

    EXPECT_TRUE(logged("Downloading version info from my web site failed!"));
    for (const auto& name : stale)
        EXPECT_FALSE(fs::exists(name)) << name;
    EXPECT_TRUE(fs::exists(running));
    EXPECT_EQ(readFile("input/dbase.enc"), shipped("dbase.enc"));
}

// The server's folder lies where a path holds a blank and an accented letter. Fetches the dbase
// through `base` (the address of the folder's "downloads/").
class ServerFolderWithBlanks : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        fs::create_directories(server_.path() / "Flight Sim \u00e9");
        fs::rename(serverFile(""), server_.path() / "Flight Sim \u00e9" / "downloads");
        DBASE_VERSION.current.set("");
    }
    void expectFetchedFrom(const std::string& base) {
        ::setenv("QUORVEL_DOWNLOAD_BASE", base.c_str(), 1);
        EXPECT_TRUE(gf_checkForUpdates());
        EXPECT_TRUE(logged("dbase updated to 5.2.0")) << base;
        EXPECT_EQ(readFile("input/dbase.enc"), readFile(server_.path() / "Flight Sim \u00e9" / "downloads/12/dbase.enc"));
        EXPECT_EQ(gExitCode.load(), 0);
    }
};

// Its closing slash may be left out.
TEST_F(ServerFolderWithBlanks, AnAddressWithItsEscapesIsTakenAsWritten) {
    expectFetchedFrom("file://" + server_.path().string() + "/Flight%20Sim%20%C3%A9/downloads");
}

TEST_F(ServerFolderWithBlanks, AnAddressWrittenAsThePathIsEncodedBeforeUse) {
    expectFetchedFrom("file://" + server_.path().string() + "/Flight Sim \u00e9/downloads/");
}

// A server that cannot be reached never stops the start, nor is it an error of the run: the
// network may be down.
TEST_F(UpdaterTest, AnUnreachableServerIsNoErrorOfTheRun) {
    ::setenv("QUORVEL_DOWNLOAD_BASE", "file:///nonexistent/downloads/", 1);
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_TRUE(logged("==> Downloading version info from my web site failed!"));
    EXPECT_EQ(gExitCode.load(), 0);
}

// An address that is no URL at all can never download anything: the start goes on with the
// local files, but the run says why and does not end as a success.
TEST_F(UpdaterTest, ADownloadAddressThatIsNoUrlIsAnErrorOfTheRun) {
    ::setenv("QUORVEL_DOWNLOAD_BASE", "http://[::1/downloads/", 1);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(gf_checkForUpdates());
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind(
                  "Quorvel: Error the download address 'http://[::1/downloads/' is no usable URL (", 0),
              0u);
    EXPECT_TRUE(logged("==> Error the download address 'http://[::1/downloads/' is no usable URL ("));
    EXPECT_EQ(gExitCode.load(), 1);
    EXPECT_EQ(readFile("input/dbase.enc"), shipped("dbase.enc"));
    // A production run ends there, still not as a success.
    lf_productionRun();
    EXPECT_EQ(gExitCode.load(), 1);
}

// Start-up asks the server only on a fresh start, before the reference files are read; the files
// that the settings migration of an older version set aside come back when no replacement can
// be fetched, so the start still has its data.
TEST_F(UpdaterTest, StartUpAsksOnFreshStartsAndNeverLosesTheShippedData) {
    auto& http = useHttpServer();
    for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"})
        writeFile(fs::path("input") / name, readFile(fs::path(QUORVEL_ENC_DIR) / name));
    fs::create_directories("sim/Community");
    writeFile(gf_paths().parametersPath,
              fmt::format("<?xml version=\"1.0\"?>\n<root><parameters>\n"
                          "<parameter name=\"PROGRAM_VERSION\" value=\"11.9.0\"/>\n"
                          "<parameter name=\"MSFS_INSTALL_PATH\" value=\"{}\"/>\n"
                          "<parameter name=\"DBASE_VERSION\" value=\"5.2.0\"/>\n</parameters></root>\n",
                          (folder() / "sim").string()));
    for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"})
        http.setRule(std::string("/downloads/12/") + name, Rule{Fault::Status, 500, 0});

    EXPECT_TRUE(lf_prepareDataFiles());
    EXPECT_TRUE(logged("This is a version update from 11.9.0 -> 12.5.4"));
    EXPECT_TRUE(logged("dbase.enc put back"));
    EXPECT_TRUE(gReferenceDataRead.load());
    for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"}) {
        EXPECT_EQ(readFile(fs::path("input") / name), readFile(fs::path(QUORVEL_ENC_DIR) / name)) << name;
        EXPECT_FALSE(fs::exists(fs::path("input") / (std::string(name) + ".kept"))) << name;
    }

    // A restart in this process does not ask again; a fresh start with a newer program ends
    // before the reference files are read.
    serveVersions(R"({"msfs_app":{"major":12,"minor":6,"patch":0}})");
    serveRelease({{"setup.exe", "INSTALLER"}});
    const std::size_t asked = http.requests().size();
    gRestartFlag = true;
    gf_resetRunState();
    EXPECT_TRUE(lf_prepareDataFiles());
    EXPECT_EQ(http.requests().size(), asked);
    gRestartFlag = false;
    gReferenceDataRead = false;
    gf_resetReferenceData();
    EXPECT_FALSE(lf_prepareDataFiles());
    EXPECT_EQ(gf_exitReason(), ExitReason::NewVersion);
    EXPECT_FALSE(gReferenceDataRead.load());
    EXPECT_EQ(readFile("new_version/install_new_version.exe"), "INSTALLER");
    gf_resetReferenceData();
}

// The installer wants Administrator rights only in a program-files folder the user cannot write
// to; the superuser and a writable folder run it normally.
TEST_F(UpdaterTest, OnlyAnUnwritableProgramFilesFolderAsksForAdministrator) {
    SKIP_WITHOUT_ORDINARY_USER();
    const fs::path programs = folder() / "Program Files";
    const fs::path installed = programs / "Quorvel";
    fs::create_directories(installed);
    const auto readable = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                          fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(programs, readable);
    fs::permissions(installed, readable);
    ::setenv("QUORVEL_PROGRAM_FILES", programs.c_str(), 1);
    // The advice a user without rights to the folder gets.
    const auto adviceAsUser = [](const fs::path& install) {
        testsupport::AsOrdinaryUser user;
        return lf_checkInstallerNeedsAdmin(install).ends_with("as Administrator");
    };
    EXPECT_TRUE(adviceAsUser(installed));
    EXPECT_FALSE(adviceAsUser(folder() / "elsewhere")); // outside the program-files folders
    if (testsupport::runsAsRoot()) {
        EXPECT_FALSE(lf_checkInstallerNeedsAdmin(installed).ends_with("as Administrator"));
    }
    fs::permissions(installed, fs::perms::all);
    EXPECT_FALSE(adviceAsUser(installed));
    EXPECT_FALSE(lf_checkInstallerNeedsAdmin(installed).ends_with("as Administrator"));
    fs::permissions(programs, fs::perms::owner_all);
    ::unsetenv("QUORVEL_PROGRAM_FILES");
}

} // namespace
} // namespace apptest
