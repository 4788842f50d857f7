// The park airport's file through its whole road: downloaded from the archive, read with its
// learned file, learned at, saved where the next read finds it, and read back; the damaged files
// that must be refused without losing anything; the search order of the user's folders.

#include <pugixml.hpp>

#include "airport_file_test_support.hpp"
#include "airports/airport_file_names.hpp"
#include "config/control_binding.hpp"

namespace apftest {
namespace {

constexpr double kNmPerMetre = 0.0005399568034557236;

pugi::xml_node learnedStand(const pugi::xml_document& document, std::string_view id) {
    for (pugi::xml_node parkpos : document.child("root").child("parkpositions").children("parkpos"))
        if (id == parkpos.attribute("id").as_string()) return parkpos;
    return {};
}

TEST_F(AirportFileTest, ArchivedFileWithLearnedFileIsReadLearnedAtSavedAndReadBack) {
    const std::filesystem::path learned = "airports/learned/stock/XQAA.xml";
    copyFixture("learned/XQAA.xml", learned);
    const std::string original = fileText(learned);
    setPark("XQAA");

    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    EXPECT_TRUE(std::filesystem::exists("airports/park_airport.xml"));
    EXPECT_TRUE(gParkAirportFileReady.load());
    ASSERT_EQ(gStandTable.size(), 13u); // 12 of the airport file and the manual stand M1
    for (std::size_t i = 0; i < gStandTable.size(); ++i) EXPECT_EQ(gStandTable[i].standId, i + 1);

    // The airport file's stands as written, the learned changes merged into them.
    ASSERT_NE(stand("A1"), nullptr);
    EXPECT_EQ(stand("A1")->options.size(), 1u); // day 0 and the option without hh are not read
    EXPECT_EQ(stand("A1")->options[0].cs2, "DLH101");
    EXPECT_EQ(stand("C1")->cargo, 0);           // type 5 made it cargo; the learned change took it back
    EXPECT_EQ(stand("C1")->cargoChange, 1);
    EXPECT_EQ(stand("G1")->ramp, 1);
    EXPECT_NEAR(stand("A3")->radius, 15.0 * kNmPerMetre, 1e-12);
    ASSERT_EQ(stand("A2")->options.size(), 2u); // 19:20 overlaps the file's 16:19; day 4 is new
    EXPECT_EQ(stand("A2")->options[1].number, 2u);
    EXPECT_EQ(stand("A2")->options[1].day, 4u);
    EXPECT_EQ(stand("A2")->options[1].source, 0u);
    EXPECT_EQ(stand("M1")->manual, 1);
    EXPECT_EQ(stand("M1")->options.at(0).source, 0u);
    EXPECT_EQ(stand("A7")->adjacent, std::vector<uint32_t>{stand("A8")->standId});
    EXPECT_EQ(stand("A8")->adjacent, std::vector<uint32_t>{stand("A7")->standId});
    EXPECT_TRUE(stand("A6")->adjacent.empty());
    // The learned file's per-airport settings are in force.
    EXPECT_EQ(parking_percentage.current.load(), 60);
    EXPECT_EQ(MAX_FIT.current.load(), 11);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.current.load(), 6.0f);
    EXPECT_TRUE(WEEK.current.load());
    EXPECT_EQ(MAX_LIVE_SEL.current.load(), 100);
    EXPECT_TRUE(logHas("Airport file read from 'archive/stock/XQAA.xml' for Alpha Test Field"));
    EXPECT_TRUE(logHas("learned stand ZZ9 in airports/learned/stock/XQAA.xml not found?"));
    EXPECT_TRUE(logHas("manually created standid A1 already exists"));
    EXPECT_TRUE(logHas("manually created standid M2 misses correct attributes"));
    EXPECT_TRUE(logHas("empty bit set"));
    EXPECT_EQ(gf_parkPanelTexts().stands, 13u);

    // Learned at run time: a new flight, and one static parking has set aside (number 0).
    ASSERT_TRUE(gf_addStandOption(*stand("A4"), LiveryKey{}, WeekSlot{3, 22}, "DLH401_", "D-AAAZ", false));
    stand("A2")->options[1].number = 0;
    lf_resetParkAirport();

    EXPECT_TRUE(gStandTable.empty());
    EXPECT_FALSE(gParkAirportFileReady.load());
    EXPECT_EQ(parking_percentage.current.load(), 30); // the settings from before the read
    EXPECT_EQ(MAX_FIT.current.load(), 47);
    EXPECT_TRUE(logHas("saved with 1 update"));
    // The learned stand the airport file no longer has survives in the first generation.
    EXPECT_EQ(fileText("airports/learned/stock/XQAA0.xml"), original);

    pugi::xml_document saved;
    ASSERT_TRUE(saved.load_file(learned.c_str()));
    EXPECT_STREQ(learnedStand(saved, "A2").child("opt").attribute("cs").as_string(), "DLH200:DLH201");
    EXPECT_EQ(learnedStand(saved, "A2").child("opt").next_sibling("opt"), pugi::xml_node{}); // file's own flight not saved
    EXPECT_STREQ(learnedStand(saved, "A3").attribute("radius").as_string(), "15.0");
    EXPECT_STREQ(learnedStand(saved, "M1").attribute("manual").as_string(), "true");
    EXPECT_STREQ(learnedStand(saved, "A4").child("opt").attribute("cs").as_string(), "DLH401");
    EXPECT_STREQ(learnedStand(saved, "A4").child("opt").attribute("hh").as_string(), "22");
    EXPECT_FALSE(learnedStand(saved, "A1")); // nothing learned there

    // The next visit reads what this one learned.
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    EXPECT_EQ(gStandTable.size(), 13u);
    ASSERT_EQ(stand("A4")->options.size(), 2u);
    EXPECT_EQ(stand("A4")->options[1].reg, "D-AAAZ");
    EXPECT_EQ(stand("A2")->options.size(), 2u);
    EXPECT_EQ(gParkFile.learned, LearnedMerge::Complete);
}

TEST_F(AirportFileTest, WithoutLearnedFileTheQualityFactorsAndTheAirportTableSetTheParkingSettings) {
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    EXPECT_EQ(gStandTable.size(), 12u);
    EXPECT_EQ(gParkFile.quality, (QualityFactors{50, 20})); // the header's factors
    EXPECT_FALSE(WEEK.current.load());                       // Qf_real 50 >= 46
    EXPECT_EQ(parking_percentage.current.load(), 30);        // 12 stands in the airport table
    EXPECT_TRUE(logHas("learned does not exist"));
    EXPECT_TRUE(logHas("num_parkpos             : 12"));
    lf_resetParkAirport();
    // Nothing was learned: the learned file holds the header and no stand.
    pugi::xml_document saved;
    ASSERT_TRUE(saved.load_file("airports/learned/stock/XQAA.xml"));
    EXPECT_FALSE(saved.child("root").child("parkpositions").child("parkpos"));
    EXPECT_TRUE(logHas("saved with 0 updates"));
}

TEST_F(AirportFileTest, DamagedAirportFilesAreRefusedAndTheLearnedFileIsLeftAsItWas) {
    struct Case {
        const char* file;
        std::string expected;
    };
    const std::string name = "airports\\my_thirdparty\\XQAA.xml";
    const std::vector<Case> cases = {
        {"errors/duplicate_id.xml", "94: Stand 'A1' appears more than once."},
        {"errors/third_without_id.xml", "93: Parking position #3 has no 'id' attribute."},
        {"errors/blank_id.xml", "93: Stand #2 has empty 'id' attribute."},
        {"errors/no_copyright.xml", name + ": refused to load"},
        {"errors/no_altitude.xml", "65: Parameter altitude not found"},
        {"errors/malformed.xml", name + ": could not load file: airports/my_thirdparty/XQAA.xml"},
    };
    const std::filesystem::path learned = "airports/learned/thirdparty/stock/XQAA.xml";
    copyFixture("learned/XQAA.xml", learned);
    const std::string original = fileText(learned);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        copyFixture(c.file, "airports/my_thirdparty/XQAA.xml");
        setPark("XQAA");
        EXPECT_EQ(read(name), c.expected);
        EXPECT_FALSE(gParkAirportFileReady.load());
        lf_resetParkAirport(); // as the park-airport step drops the airport
        EXPECT_EQ(fileText(learned), original);
        EXPECT_FALSE(std::filesystem::exists("airports/learned/thirdparty/stock/XQAA0.xml"));
        EXPECT_EQ(parking_percentage.current.load(), 30);
    }
    std::filesystem::remove(learned);

    // A file without stands: refused, and no learned file is made for it.
    copyFixture("errors/no_parkpositions.xml", "airports/my_thirdparty/XQAA.xml");
    setPark("XQAA");
    EXPECT_EQ(read(name), "no stands found");
    lf_resetParkAirport();
    EXPECT_FALSE(std::filesystem::exists(learned));

    // Values no airport has: skipped or corrected one by one, each with a log line.
    copyFixture("errors/hostile_values.xml", "airports/my_thirdparty/XQAA.xml");
    setPark("XQAA");
    EXPECT_EQ(read(name), "");
    ASSERT_EQ(gStandTable.size(), 2u);
    EXPECT_EQ(gStandTable[0].id, "T70");
    EXPECT_EQ(gStandTable[0].type, 0);
    EXPECT_EQ(gStandTable[0].radius, 0.0);
    ASSERT_EQ(gStandTable[1].options.size(), 1u);
    EXPECT_EQ(gStandTable[1].options[0].reg, "X-5");
    EXPECT_TRUE(logHas("stand Z0 has no valid lat/lon"));
    EXPECT_TRUE(logHas("stand NAN lies outside the earth"));
    EXPECT_TRUE(logHas("stand T70 has the parking type 70000, 0 used"));

    // An archived file the server does not have: nothing is left of the download.
    setPark("XQAB");
    const std::string missing = read("archive/stock/XQAB.xml");
    EXPECT_EQ(missing, "failed to download: 'file://" + (fixtures() / "server/downloads").string() +
                           "/MSFS/archive/stock/XQAB.xml'");
    EXPECT_FALSE(std::filesystem::exists("airports/park_airport.xml"));
    EXPECT_EQ(read("archive/stock/../../../secret.xml").substr(0, 20), "failed to download: ");
}

TEST_F(AirportFileTest, LearnedFileVariants) {
    const std::filesystem::path learned = "airports/learned/stock/XQAA.xml";
    setPark("XQAA");

    // Older than 11.10.0: changes and manual stands, no flights.
    copyFixture("learned/XQAA-11.9.5.xml", learned);
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    EXPECT_EQ(stand("A2")->options.size(), 1u);
    EXPECT_EQ(stand("A3")->radiusChange, 1);
    ASSERT_NE(stand("M1"), nullptr);
    EXPECT_TRUE(stand("M1")->options.empty());
    EXPECT_TRUE(logHas("older Quorvel version than 11.10.0"));
    lf_resetParkAirport();

    // Handmade (whatever its value), even when old: its own stands and flights replace the file's.
    copyFixture("learned/XQAA-handmade-11.9.5.xml", learned);
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    ASSERT_EQ(gStandTable.size(), 2u);
    EXPECT_EQ(stand("HM1")->options.size(), 1u);
    EXPECT_TRUE(gHandmadeAirport.load());
    EXPECT_EQ(parking_percentage.current.load(), 40);
    EXPECT_TRUE(logHas("A handmade airport file overruled the archived file!"));
    lf_resetParkAirport();
    pugi::xml_document handmade;
    ASSERT_TRUE(handmade.load_file(learned.c_str()));
    EXPECT_STREQ(learnedStand(handmade, "HM2").attribute("radius").as_string(), "30.0"); // in full
    std::filesystem::remove(learned);

    // Other name: a warning on the message line, merged all the same.
    copyFixture("learned/XQAA-other-name.xml", learned);
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    EXPECT_NE(gf_statusLineSnapshot().message.find("'Other Name' differs"), std::string::npos);
    EXPECT_EQ(stand("A2")->options.size(), 2u);
    lf_resetParkAirport();

    // Without copyright, and unparsable: not merged, and the bytes survive the next save.
    for (const char* variant : {"learned/XQAA-no-copyright.xml", "learned/XQAA-broken.xml"}) {
        SCOPED_TRACE(variant);
        std::filesystem::remove("airports/learned/stock/XQAA0.xml");
        copyFixture(variant, learned);
        const std::string original = fileText(learned);
        setPark("XQAA");
        ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
        EXPECT_EQ(stand("A2")->options.size(), 1u);
        EXPECT_EQ(gf_addStandOption(*stand("A1"), LiveryKey{}, WeekSlot{1, 2}, "X", "D-XXXX", false), 2u);
        lf_resetParkAirport();
        EXPECT_EQ(fileText("airports/learned/stock/XQAA0.xml"), original);
        pugi::xml_document saved;
        ASSERT_TRUE(saved.load_file(learned.c_str()));
        EXPECT_STREQ(learnedStand(saved, "A1").child("opt").attribute("reg").as_string(), "D-XXXX");
    }
}

TEST_F(AirportFileTest, SearchOrderLinksAndLearnedPaths) {
    for (const char* f : {"XQAD.xml", "XQAF.txt"})
        copyFixture(std::string("user/my_thirdparty/") + f, std::string("airports/my_thirdparty/") + f);
    for (const char* f : {"XQAE.txt", "XQAG.txt"})
        copyFixture(std::string("user/my_simaddon/") + f, std::string("airports/my_simaddon/") + f);
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAF")), "archive/thirdparty/Test%20Scenery%20Co/XQAF123.xml");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAD")), "airports\\my_thirdparty\\XQAD.xml");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAE")), "archive/simaddon/XQAE.XML");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAA")), "archive/stock/XQAA.xml");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAG")), ""); // the name stands on the second line
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAZ")), ""); // listed with 0 stands
    EXPECT_TRUE(gf_apfExists(FixedCode<4>("XQAG")));
    EXPECT_FALSE(gf_apfExists(FixedCode<4>("XQAZ")));
    // A link wins over a generated file of the same code.
    copyFixture("user/my_thirdparty/XQAD.xml", "airports/my_thirdparty/XQAF.xml");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAF")), "archive/thirdparty/Test%20Scenery%20Co/XQAF123.xml");
    // A name found regardless of its letter case, as Windows finds it.
    copyFixture("user/my_thirdparty/XQAD.xml", "airports/my_simaddon/xqah.XML");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAH")), "airports\\my_simaddon\\xqah.XML");

    using std::filesystem::path;
    EXPECT_EQ(lf_learnedApfPath("archive/stock/XQAA.xml", "stock"), path("airports/learned/stock/XQAA.xml"));
    EXPECT_EQ(lf_learnedApfPath("archive/simaddon/XQAE.XML", "simaddon"), path("airports/learned/simaddon/XQAE.XML"));
    EXPECT_EQ(lf_learnedApfPath("archive/thirdparty/Test%20Scenery%20Co/XQAF123.xml", "x"),
              path("airports/learned/thirdparty/Test Scenery Co/XQAF123.xml"));
    EXPECT_EQ(lf_learnedApfPath("airports\\my_simaddon\\XQAE.xml", "simaddon"), path("airports/learned/my_simaddon/XQAE.xml"));
    EXPECT_EQ(lf_learnedApfPath("airports\\my_thirdparty\\XQAD.xml", "Test Scenery Co"),
              path("airports/learned/thirdparty/Test Scenery Co/XQAD.xml"));
    // Publisher texts never leave the learned folder nor name what Windows refuses.
    EXPECT_EQ(lf_learnedApfPath("airports\\my_thirdparty\\XQAD.xml", "..\\..\\x"),
              path("airports/learned/thirdparty/.. .. x/XQAD.xml"));
    EXPECT_EQ(lf_learnedApfPath("airports\\my_thirdparty\\XQAD.xml", ".."), path("airports/learned/thirdparty/XQAD.xml"));
    EXPECT_EQ(lf_learnedApfPath("airports\\my_thirdparty\\XQAD.xml", "A:B?"), path("airports/learned/thirdparty/AB/XQAD.xml"));
    EXPECT_EQ(lf_learnedApfPath("airports\\my_thirdparty\\XQAD.xml", ""), path("airports/learned/thirdparty/XQAD.xml"));
    EXPECT_EQ(lf_learnedApfPath("archive/stock/XQAA.txt", "stock"), path());
    EXPECT_EQ(lf_learnedApfPath("airports\\..\\..\\XQAA.xml", "stock"), path());
    EXPECT_EQ(gf_apfVersionedName(FixedCode<4>("XQAF"), "1.2.3"), "XQAF123");
    EXPECT_EQ(gf_apfVersionedName(FixedCode<4>(), "1.2"), "    12");
}

} // namespace
} // namespace apftest
