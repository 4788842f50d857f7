// The tblo road of an airport scan: known add-on airports copied into "tblo", packed flat into
// "tblo/tblo.zip", the folder cleaned, the user asked to mail the archive.

#include "airports/tblo_folder.hpp"

#include "airport_file_test_support.hpp"
#include "core/files.hpp"
#include "core/zip_archive.hpp"

namespace apftest {
namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;

class TbloTest : public AirportFileTest {
protected:
    void SetUp() override {
        AirportFileTest::SetUp();
        gTbloCopyCounter.store(0);
    }
    static std::vector<std::string> archiveNames(const fs::path& path) {
        ZipArchive archive(path);
        EXPECT_TRUE(archive.open(ZipArchive::ReadOnly)) << path;
        std::vector<std::string> names;
        for (const auto& entry : archive.getEntries()) names.push_back(entry.name);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(TbloTest, CollectsKnownAirportsPacksThemFlatAndCleansUp) {
    const std::string kmci = R"(<root><parameters><parameter name="publisher" value="TropicalSim"/></parameters></root>)";
    writeFile("airports/my_simaddon/XQAA.xml", "<a/>");
    writeFile("airports/my_simaddon/XQAA.txt", "companion");
    writeFile("airports/my_simaddon/XQAB.XML", "<b/>"); // found regardless of case
    writeFile("airports/my_simaddon/ZZZZ.xml", "<unknown/>");
    writeFile("airports/my_thirdparty/KMCI.xml", kmci);
    writeFile("airports/my_thirdparty/XQAZ.xml", "<z/>");
    addAirport("KMCI", 39.3, -94.7, 10);
    // What an earlier run left: an archive, and a sub-folder that is never packed.
    writeFile("tblo/tblo.zip", "old archive");
    writeFile("tblo/sub/XQAA.xml", "<nested/>");

    lf_copySimaddonToTblo();
    lf_copyThirdpartyToTblo();
    lf_zipTbloFolder();

    EXPECT_EQ(archiveNames("tblo/tblo.zip"), (std::vector<std::string>{"XQAA.xml", "XQAB.xml", "XQAZ.xml"}));
    ZipArchive archive("tblo/tblo.zip");
    ASSERT_TRUE(archive.open());
    EXPECT_EQ(archive.readContent(*archive.getEntry("XQAB.xml")), "<b/>");

    // The packed files left "tblo"; the archive and the sub-folder stay.
    EXPECT_FALSE(fs::exists("tblo/XQAA.xml"));
    EXPECT_FALSE(fs::exists("tblo/XQAZ.xml"));
    EXPECT_TRUE(fs::exists("tblo/sub/XQAA.xml"));
    // A source with a companion is gone, one without stays; unknown codes stay uncopied; the
    // TropicalSim KMCI file is removed, not copied.
    EXPECT_FALSE(fs::exists("airports/my_simaddon/XQAA.xml"));
    EXPECT_TRUE(fs::exists("airports/my_simaddon/XQAB.XML"));
    EXPECT_TRUE(fs::exists("airports/my_simaddon/ZZZZ.xml"));
    EXPECT_FALSE(fs::exists("airports/my_thirdparty/KMCI.xml"));
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/XQAZ.xml"));

    EXPECT_EQ(gTbloCopyCounter.load(), 4u); // three files and the sub-folder
    EXPECT_TRUE(logHas("2 simaddon files copied to tblo folder"));
    EXPECT_TRUE(logHas("[zip] Removing old zip"));
    EXPECT_TRUE(logHas("[zip] Added 3 files, ok_close=true, exists=true, size="));
    EXPECT_TRUE(logHas("\n! Mail "));
    // The line points where the user learns what to do with the archive.
    EXPECT_TRUE(logHas(" to the Quorvel team (see \"tblo.zip\" in docs/window.md)\n"));
    EXPECT_NE(testsupport::readFile(fs::path(QUORVEL_SOURCE_DIR) / "docs/window.md").find("\n## tblo.zip\n"),
              std::string::npos);
    EXPECT_FALSE(logHas("Zippen TBLO folder failed"));
    // No temporary archive is left beside the real one.
    for (const auto& entry : fs::directory_iterator("tblo"))
        EXPECT_TRUE(entry.path().filename() == "tblo.zip" || entry.path().filename() == "sub") << entry.path();
}

// The collected file is what the airport file held when it was collected: a file that stood in
// "tblo" under its name is replaced, and a later rewrite of the airport file (always a new file
// renamed over the old) does not reach it.
TEST_F(TbloTest, ACollectedFileKeepsWhatItWasGivenAndReplacesAStaleOne) {
    writeFile("airports/my_thirdparty/XQAZ.xml", "<collected/>");
    writeFile("airports/my_thirdparty/XQAA.xml", "<first/>");
    writeFile("tblo/XQAZ.xml", "<stale and longer than the new content/>");
    // A file the user keeps elsewhere and links into place (a link relative to its own folder).
    writeFile("synced/XQAB.xml", "<linked/>");
    fs::create_symlink("../../synced/XQAB.xml", "airports/my_thirdparty/XQAB.xml");

    lf_copyThirdpartyToTblo();
    EXPECT_EQ(testsupport::readFile("tblo/XQAB.xml"), "<linked/>");
    ASSERT_TRUE(gf_writeFileAtomically("airports/my_thirdparty/XQAZ.xml", "<rewritten/>"));

    EXPECT_EQ(testsupport::readFile("tblo/XQAZ.xml"), "<collected/>");
    EXPECT_EQ(testsupport::readFile("tblo/XQAA.xml"), "<first/>");
    EXPECT_EQ(testsupport::readFile("airports/my_thirdparty/XQAZ.xml"), "<rewritten/>");
    lf_zipTbloFolder();
    ZipArchive archive("tblo/tblo.zip");
    ASSERT_TRUE(archive.open());
    EXPECT_EQ(archive.readContent(*archive.getEntry("XQAZ.xml")), "<collected/>");
    // Packing removes the collected names only.
    EXPECT_EQ(testsupport::readFile("airports/my_thirdparty/XQAA.xml"), "<first/>");
    EXPECT_FALSE(fs::exists("tblo/XQAZ.xml"));
}

TEST_F(TbloTest, NothingToPackKeepsTheEarlierArchive) {
    // Missing folder: all recognised, no archive.
    gTbloCopyCounter.store(7);
    lf_zipTbloFolder();
    EXPECT_EQ(gTbloCopyCounter.load(), 0u);
    EXPECT_TRUE(logHas("All your simaddon and third party airports are recognised, no off line learning needed."));
    EXPECT_FALSE(fs::exists("tblo/tblo.zip"));

    // Only an earlier archive and an unreadable-as-file entry: the pack fails and says so, the
    // earlier archive is still whole, and the user is not asked to mail anything.
    {
        fs::create_directories("tblo");
        ZipArchive old("tblo/tblo.zip");
        ASSERT_TRUE(old.open(ZipArchive::New));
        ASSERT_TRUE(old.addData("XQAA.xml", "<old/>", 6));
        ASSERT_TRUE(old.close());
    }
    fs::create_directories("tblo/sub");
    lf_zipTbloFolder();
    EXPECT_TRUE(logHas("Zippen TBLO folder failed"));
    EXPECT_EQ(archiveNames("tblo/tblo.zip"), std::vector<std::string>{"XQAA.xml"});
    EXPECT_EQ(gTbloCopyCounter.load(), 0u);
    EXPECT_FALSE(logHas("! Mail"));

    // The earlier archive alone: nothing new, nothing packed, the archive stays.
    fs::remove("tblo/sub");
    lf_zipTbloFolder();
    EXPECT_EQ(archiveNames("tblo/tblo.zip"), std::vector<std::string>{"XQAA.xml"});
    EXPECT_EQ(gTbloCopyCounter.load(), 0u);
    EXPECT_FALSE(logHas("! Mail"));
}

// Known airports whose files could not be collected are not recognised ones: the log counts
// them and never says that no off line learning is needed.
TEST_F(TbloTest, FailedCopiesAreNotCalledRecognised) {
    writeFile("airports/my_simaddon/XQAA.xml", "<a/>");
    writeFile("airports/my_thirdparty/XQAZ.xml", "<z/>");
    writeFile("tblo", "a file where the folder should be");
    lf_copySimaddonToTblo();
    lf_copyThirdpartyToTblo();
    lf_zipTbloFolder();
    EXPECT_TRUE(
        logHas("==> ! 2 known add-on airport files could not be copied to the tblo folder, see above"));
    EXPECT_FALSE(logHas("recognised, no off line learning needed"));
    EXPECT_EQ(gTbloCopyCounter.load(), 0u);
    // The count is of one packing: the next finds nothing failed.
    fs::remove("tblo");
    lf_zipTbloFolder();
    EXPECT_TRUE(
        logHas("All your simaddon and third party airports are recognised, no off line learning needed."));
}

TEST_F(TbloTest, ReadsFileBytesWholeOrNotAtAll) {
    writeFile("bytes.bin", std::string("a\0b", 3));
    EXPECT_EQ(lf_readFileBytes("bytes.bin"), (std::vector<char>{'a', '\0', 'b'}));
    EXPECT_FALSE(lf_readFileBytes("missing.bin").has_value());
    fs::create_directories("folder");
    EXPECT_FALSE(lf_readFileBytes("folder").has_value());
}

} // namespace
} // namespace apftest
