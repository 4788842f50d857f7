// Regcode sources: the lines of the user's files, the AIG file, merging them into the
// registration map in the order in-line, AIG, user, the report files, and the titles not to use.
#include "core/status_line.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/scan_collectors.hpp"
#include "liveries_test_support.hpp"
#include "support/named_pipe.hpp"

namespace liveriestest {
namespace {

using tamrix::gRegcodeMap;
using tamrix::RegcodeEntry;

struct ParsedLine {
    bool entry = false;
    std::string title;
    std::vector<std::string> regcodes;
    bool special = false;
    bool ok = true;
};

ParsedLine parse(std::string_view line) {
    ParsedLine out;
    const auto entry = tamrix::lf_parseRegcodeLine(line, "my.txt", out.ok);
    if (!entry) return out;
    out.entry = true;
    out.title = entry->title;
    out.regcodes.assign(entry->regcodes.begin(), entry->regcodes.end());
    out.special = entry->special;
    return out;
}

std::string mapped(std::string_view registration) {
    const auto it = gRegcodeMap.find(registration);
    return it == gRegcodeMap.end() ? std::string("<none>") : std::string(it->second);
}

using RegcodeLineTest = LiveriesTest;

TEST_F(RegcodeLineTest, OneValidRegcodeMakesASpecialEntryTwoNeedTheMark) {
    auto p = parse("Title One;G-ABCD");
    EXPECT_TRUE(p.entry && p.special && p.ok);
    EXPECT_EQ(p.regcodes, std::vector<std::string>{"G-ABCD"});

    p = parse("Title One;G-ABCD, G-ABCE");
    EXPECT_TRUE(p.entry && !p.special);
    EXPECT_EQ(p.regcodes, (std::vector<std::string>{"G-ABCD", "G-ABCE"}));
    EXPECT_TRUE(parse("Title One;G-ABCD,G-ABCE;#").special);
    EXPECT_FALSE(parse("Title One;G-ABCD,G-ABCE;x").special);
    EXPECT_FALSE(parse("Title One;G-ABCD,G-ABCE;##").special);

    p = parse("  Title Two ; G-ABCD , G-ABCE ; # ");
    EXPECT_EQ(p.title, "Title Two");
    EXPECT_TRUE(p.special);
}

TEST_F(RegcodeLineTest, TitlesWithoutRegcodesAreNotToUse) {
    for (const char* line : {"Title Three", "Title Three;", "Title Three; ;#"}) {
        const auto p = parse(line);
        EXPECT_TRUE(p.entry) << line;
        EXPECT_EQ(p.title, "Title Three") << line;
        EXPECT_TRUE(p.regcodes.empty()) << line;
        EXPECT_FALSE(p.special) << line;
    }
}

TEST_F(RegcodeLineTest, ShortOddAndEmptyLinesAreIgnored) {
    for (const char* line : {"a;b", "     ", "      ", "t;G-ABCD;#;extra", ";G-ABCD", "Title;A;B;C;D"}) {
        const auto p = parse(line);
        EXPECT_FALSE(p.entry) << line;
        EXPECT_TRUE(p.ok) << line;
    }
}

TEST_F(RegcodeLineTest, RegcodesOfWrongLengthAreDroppedAndReported) {
    EXPECT_TRUE(parse("Title;ABC").entry);
    EXPECT_TRUE(parse("Title;ABCDEFGHIJKL").entry);

    auto p = parse("Title;AB");
    EXPECT_FALSE(p.entry);
    EXPECT_FALSE(p.ok);
    EXPECT_TRUE(logged("==> wrong regcode length 'AB' in my.txt"));
    p = parse("Title;ABCDEFGHIJKLM");
    EXPECT_FALSE(p.entry);
    EXPECT_TRUE(logged("==> wrong regcode length 'ABCDEFGHIJKLM' in my.txt"));

    // The valid ones of a list stay; a list of two keeps its "#" rule.
    p = parse("Title;AB,G-ABCD;#");
    EXPECT_TRUE(p.entry);
    EXPECT_TRUE(p.special);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.regcodes, std::vector<std::string>{"G-ABCD"});
    // A line of only bad registrations must not turn its livery into one not to use.
    p = parse("Title;AB,CD");
    EXPECT_FALSE(p.entry);
    EXPECT_FALSE(p.ok);
}

TEST_F(RegcodeLineTest, FolderFilesAreReadInNameOrderOnlyTxt) {
    testsupport::writeFile("folder/b.txt", "Second Title;G-BBBB\n");
    testsupport::writeFile("folder/A.TXT", "First Title;G-AAAA\nFirst Dont Use\n");
    testsupport::writeFile("folder/c.md", "Other Title;G-CCCC\n");
    fs::create_directories("folder/sub.txt");
    std::vector<RegcodeEntry> entries;
    EXPECT_TRUE(tamrix::lf_readRegcodeFiles("folder", entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].title, "First Title");
    EXPECT_EQ(entries[1].title, "First Dont Use");
    EXPECT_EQ(entries[2].title, "Second Title");
    EXPECT_TRUE(logged("    2 liveries read from folder/A.TXT"));
    EXPECT_TRUE(logged("    3 liveries read from folder/b.txt"));
}

TEST_F(RegcodeLineTest, UnicodeRegcodeFilesReadLikeUtf8) {
    // "Title;G-ABCD" saved as UTF-16 with a byte-order mark, as Notepad's "Unicode" does.
    const std::u16string wide = u"\uFEFFCaf\u00E9 Title;G-ABCD\r\n";
    std::string bytes;
    for (char16_t c : wide) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
    testsupport::writeFile("folder/u.txt", bytes);
    std::vector<RegcodeEntry> entries;
    EXPECT_TRUE(tamrix::lf_readRegcodeFiles("folder", entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].title, "Caf\xC3\xA9 Title");
    EXPECT_EQ(entries[0].regcodes, std::list<std::string>{"G-ABCD"});
}

TEST_F(RegcodeLineTest, AMissingFolderIsAnErrorResult) {
    std::vector<RegcodeEntry> entries;
    EXPECT_FALSE(tamrix::lf_readRegcodeFiles("nowhere", entries));
    EXPECT_TRUE(loggedPart("==> Error reading regcode files in nowhere, what: "));
}

using AigRegcodesTest = LiveriesTest;

TEST_F(AigRegcodesTest, ReadsEntriesSkipsEmptyTitlesAndReportsARepeatedTitle) {
    fs::create_directories("input");
    fs::copy_file(kFixtures / "AIG-regcodes.xml", "input/AIG-regcodes.xml");
    std::vector<RegcodeEntry> entries;
    EXPECT_FALSE(tamrix::lf_readAigRegcodes(entries));
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[0].title, "Fx A320 Lufthansa");
    EXPECT_EQ(entries[0].regcodes, (std::list<std::string>{"D-AIZA", "D-AIZB", "D-AIZC"}));
    EXPECT_FALSE(entries[0].special);
    EXPECT_TRUE(entries[1].special);
    EXPECT_TRUE(entries[5].regcodes.empty());
    EXPECT_EQ(entries[6].regcodes, std::list<std::string>{"G-STBB"});
    EXPECT_EQ(entries[7].title, "Fx A320 Air France Skyteam");
    EXPECT_TRUE(logged("==> Duplicate title 'Fx B77W British Airways' (same as previous)"));
    EXPECT_TRUE(logged("    8 liveries read from AIG-regcodes.xml"));
}

TEST_F(AigRegcodesTest, BrokenFilesGiveFalse) {
    std::vector<RegcodeEntry> entries;
    testsupport::writeFile("input/AIG-regcodes.xml", "<root><aig><l t=");
    EXPECT_FALSE(tamrix::lf_readAigRegcodes(entries));
    EXPECT_TRUE(logged("==> Failed to load input/AIG-regcodes.xml"));
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml"));

    testsupport::writeFile("input/AIG-regcodes.xml", R"(<root><aig><l t="T" r="G-ABCD"/></aig></root>)");
    EXPECT_FALSE(tamrix::lf_readAigRegcodes(entries));
    EXPECT_TRUE(loggedPart("has no valid meta block"));

    testsupport::writeFile("input/AIG-regcodes.xml",
                           R"(<root><meta><info name="copyright" value="c"/><info name="sim" value="1"/></meta></root>)");
    EXPECT_FALSE(tamrix::lf_readAigRegcodes(entries));
    EXPECT_TRUE(logged("==> No <aig> node found in XML."));
    EXPECT_TRUE(entries.empty());
}

// The AIG file is read only as a regular file: a named pipe in its place is named, never waited
// on, and goes as a damaged file goes.
TEST_F(AigRegcodesTest, AFileThatIsNoRegularFileIsNamedNotWaitedOn) {
    fs::create_directories("input");
    fs::copy_file(kFixtures / "AIG-regcodes.xml", "input/AIG-regcodes.xml");
    std::vector<RegcodeEntry> entries;
    tamrix::lf_readAigRegcodes(entries);
    EXPECT_EQ(entries.size(), 8u);

    fs::remove("input/AIG-regcodes.xml");
    ASSERT_TRUE(testsupport::makeNamedPipe("input/AIG-regcodes.xml"));
    entries.clear();
    bool read = true;
    ASSERT_TRUE(testsupport::readWithoutAWriter("input/AIG-regcodes.xml",
                                                [&] { read = tamrix::lf_readAigRegcodes(entries); }));
    EXPECT_FALSE(read);
    EXPECT_TRUE(entries.empty());
    EXPECT_TRUE(logged("==> Failed to load input/AIG-regcodes.xml: a named pipe stands in its place"));
    EXPECT_FALSE(fs::exists(fs::symlink_status("input/AIG-regcodes.xml")));
}

class RegcodeMergeTest : public LiveriesTest {
protected:
    void SetUp() override { loadFixtureCatalogue(); }
};

TEST_F(RegcodeMergeTest, LaterSourcesWinAndOnlyInstalledTitlesCount) {
    EXPECT_EQ(mapped("G-TTNA"), "Fx A20N British Airways G-TTNA");  // in-line and user file agree
    EXPECT_EQ(mapped("G-TTNB"), "Fx A20N British Airways G-TTNB");  // in-line
    EXPECT_EQ(mapped("D-AIZB"), "Fx A320 Lufthansa");               // AIG
    EXPECT_EQ(mapped("D-AIZC"), "Fx A320 Lufthansa Star Alliance"); // AIG, then the user's file
    EXPECT_EQ(mapped("F-GKXA"), "Fx A320 Air France Skyteam");      // in-line, then AIG
    EXPECT_EQ(mapped("G-STBB"), "Fx B77W British Airways");         // the first of a repeated title
    EXPECT_EQ(mapped("G-STBC"), "<none>");
    EXPECT_EQ(mapped("X-ABCD"), "<none>"); // title not installed
    EXPECT_EQ(mapped("PH-BXF"), "Fx B739 KLM Orange");
    EXPECT_EQ(mapped("N172AB"), "Fx C172 Private N172AB");
    EXPECT_EQ(mapped("G-NOTE"), "<none>"); // not a ".TXT" file
    EXPECT_EQ(gRegcodeMap.size(), 25u);
    EXPECT_TRUE(logged("   25 registration codes"));

    EXPECT_EQ(tamrix::gUniqueRegcodes, (std::set<std::string, std::less<>>{"EI-DVM", "G-TTNA"}));
    EXPECT_EQ(tamrix::gSpecialRegcodes, (std::set<std::string, std::less<>>{"EI-DCM", "EI-DCN", "EI-DEA", "EI-DEB",
                                                                           "EI-DVM", "G-TTNA", "PH-BXC", "PH-BXD"}));
    EXPECT_EQ(tamrix::gSpecialTitles.size(), 5u);
    EXPECT_TRUE(tamrix::gf_isSpecialTitle("Fx B739 KLM"));
    EXPECT_FALSE(tamrix::gf_isSpecialTitle("Fx B739 KLM Orange"));
    EXPECT_TRUE(logged("    5 special liveries"));
    EXPECT_TRUE(logged("    2 unique liveries"));
    // Every view points into the catalogue.
    for (const auto& [registration, title] : gRegcodeMap) EXPECT_EQ(tamrix::lf_findTitle(title).data(), title.data());
}

TEST_F(RegcodeMergeTest, ReportsGoToTheOfflineFileAndTheMessageLine) {
    EXPECT_EQ(fileLines("output/info/OfflineRegcodes.txt"),
              (std::vector<std::string>{
                  "Processing file input/AIG-regcodes.xml",
                  "There were errors processing the AIG-regcode file 'input/AIG-regcodes.xml', see Log.txt",
                  "   regcode F-GKXA for 'Fx A320 Air France Skyteam', instead of the same for 'Fx A320 Air France F-GKXA'",
                  "9 new regcodes added, 1 regcode replaced, 3 regcodes defined as special",
                  "Processing files in input/my_regcodes",
                  "   regcode D-AIZC for 'Fx A320 Lufthansa Star Alliance', instead of the same for 'Fx A320 Lufthansa'",
                  "5 new regcodes added, 1 regcode replaced, 2 regcodes defined as special",
              }));
    EXPECT_TRUE(logged("Offline regcode files processed, results can be found in 'output/info/OfflineRegcodes.txt'"));
    EXPECT_EQ(tamrix::gf_statusLineSnapshot().message,
              "There were errors processing the regcode files in folder 'input/my_regcodes', see Log.txt");
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml"));
    EXPECT_FALSE(fs::exists("output/errors/InlineRegcodes.txt"));
}

TEST_F(LiveriesTest, UserRegcodesApplyWhenTheAigFileCannotBeRead) {
    installDbase();
    installMyRegcodes();
    installLiveries();
    testsupport::writeFile("input/AIG-regcodes.enc", "not an encrypted file");
    tamrix::gf_processScannedLiveries();
    EXPECT_EQ(mapped("D-AIZC"), "Fx A320 Lufthansa Star Alliance");
    EXPECT_EQ(mapped("PH-BXE"), "Fx B739 KLM Orange");
    EXPECT_EQ(mapped("D-AIZB"), "<none>");
    const auto report = fileLines("output/info/OfflineRegcodes.txt");
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.front(), "The AIG-regcode file 'input/AIG-regcodes.enc' could not be read, it was skipped");
    EXPECT_EQ(report[1], "Processing files in input/my_regcodes");
}

TEST_F(LiveriesTest, InlineRegcodeClashesKeepTheFirstMapping) {
    installDbase();
    testsupport::writeFile("output/LiveriesScanned.xml", R"(<root><liveries>
        <l a="BAW" m="A320" t="A first" r="G-SAME"/>
        <l a="BAW" m="A320" t="B second" r="G-SAME"/>
        <l a="BAW" m="A319" t="C third" r="G-THRD"/>
      </liveries></root>)");
    tamrix::gf_processScannedLiveries();
    EXPECT_EQ(mapped("G-SAME"), "A first");
    EXPECT_EQ(mapped("G-THRD"), "C third");
    EXPECT_EQ(tamrix::gTitleRegcodes.at(tamrix::lf_findTitle("B second")), "G-SAME");
    EXPECT_EQ(fileLines("output/errors/InlineRegcodes.txt"),
              std::vector<std::string>{"G-SAME 'B second' => already in use by 'A first'"});
    EXPECT_TRUE(logged("    1 in-line regcode clashes, see 'output/errors/InlineRegcodes.txt'"));
}

TEST_F(LiveriesTest, TitlesWithoutRegcodesOfBothSourcesAreNotToUse) {
    installAig();
    installMyRegcodes();
    tamrix::lf_readDontUseTitles();
    EXPECT_EQ(tamrix::gDontUseTitles, (std::vector<std::string>{"Fx A321 Dont Use AIG", "Fx A321 Dont Use User"}));
    EXPECT_TRUE(logged("    1 don't use title read"));
    EXPECT_TRUE(logged("    1 don't use title read from files in input/my_regcodes"));
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml"));
    EXPECT_EQ(tamrix::gRegcodeReport,
              (std::vector<std::string>{
                  "There were errors in processing the file 'input/AIG-regcodes.xml', see the Log.txt",
                  "There were errors in processing the regcode files in folder 'input/my_regcodes', see the Log.txt"}));
}

TEST_F(LiveriesTest, TitlesNotToUseStillComeFromTheUserWithoutTheAigFile) {
    installMyRegcodes();
    tamrix::lf_readDontUseTitles();
    EXPECT_EQ(tamrix::gDontUseTitles, std::vector<std::string>{"Fx A321 Dont Use User"});
}

} // namespace
} // namespace liveriestest
