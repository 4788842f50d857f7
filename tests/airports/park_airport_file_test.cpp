// The park airport's file through its whole road: downloaded from the archive, read with its
// learned file, learned at, saved where the next read finds it, and read back; the damaged files
// that must be refused without losing anything; the search order of the user's folders.

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airport_file_test_support.hpp"
#include "airports/airport_file_names.hpp"
#include "airports/stand_choice.hpp"
#include "airports/static_parking.hpp"
#include "config/control_binding.hpp"
#include "core/geodesy.hpp"
#include "support/named_pipe.hpp"
#include "support/ordinary_user.hpp"
#include "traffic/airport_services.hpp"

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
    EXPECT_TRUE(logHas("saved with 1 update\n"));
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
    EXPECT_EQ(lf_resetParkAirport(), std::nullopt); // saved
    // Nothing was learned: the learned file holds the header and no stand.
    pugi::xml_document saved;
    ASSERT_TRUE(saved.load_file("airports/learned/stock/XQAA.xml"));
    EXPECT_FALSE(saved.child("root").child("parkpositions").child("parkpos"));
    EXPECT_TRUE(logHas("saved with 0 updates"));
}

// An airport file of the user's own folder with three stands, its header as given.
void writeThreeStands(const std::string& parameters, GeoPosition s1, GeoPosition s2, GeoPosition s3) {
    constexpr double kMetresPerNm = 1852.0;
    const auto stand = [&](const char* id, GeoPosition p, double radiusNm) {
        return fmt::format(R"(<parkpos id="{}" latitude="{:.9f}" longitude="{:.9f}" heading="0.0" radius="{:.3f}" )"
                           R"(type="9" cargo="false" ramp="false" />)",
                           id, p.latitude, p.longitude, radiusNm * kMetresPerNm);
    };
    testsupport::writeFile("airports/my_thirdparty/XQAB.xml",
                           R"(<?xml version="1.0"?>
<root><meta><info name="version" value="12.5.4" /><info name="copyright" value="x" /></meta>
<parameters><parameter name="altitude" value="100" />)" +
                               parameters + "</parameters>\n<parkpositions>" + stand("S1", s1, 0.02) +
                               stand("S2", s2, 0.03) + stand("S3", s3, 0.03) + "</parkpositions></root>\n");
}

// Without a learned file the file's quality factors and the airport table start static parking:
// soft and week-wide for a file of soft flights only, half the stands of an airport of two; a
// file without Qf_soft keeps the factors as they were. Stands whose sizes together reach beyond
// 1.1 times their distance are adjacent. The log counts the stands read, not the header's count.
TEST_F(AirportFileTest, WithoutLearnedFileSoftQualityAndTwoStandsSetTheParkingAndCloseStandsAreAdjacent) {
    constexpr double kFeetPerNm = 1852.0 / 0.3048;
    const GeoPosition s1{50.03, 8.05};
    const GeoPosition s2 = gf_destinationPoint(s1, 0.0, 0.045 * kFeetPerNm);
    const GeoPosition s3 = gf_destinationPoint(s1, 3.141592653589793 / 2, 0.0475 * kFeetPerNm); // east
    // Without Qf_soft the factors stay as they were.
    writeThreeStands(R"(<parameter name="Qf_real" value="2" />)", s1, s2, s3);
    setPark("XQAB");
    gf_clearStandTable();
    ParkAirportInfo info;
    QualityFactors quality{50, 20};
    ASSERT_EQ(gf_readApf("airports\\my_thirdparty\\XQAB.xml", info, quality), "");
    EXPECT_EQ(quality, (QualityFactors{50, 20}));
    EXPECT_FALSE(PARK_SOFT.current.load());
    lf_resetParkAirport();
    std::filesystem::remove_all("airports/learned"); // the file is read again as on a first visit

    writeThreeStands(R"(<parameter name="num_parkpos" value="7" /><parameter name="Qf_real" value="2" />)"
                     R"(<parameter name="Qf_soft" value="1" />)",
                     s1, s2, s3);
    setPark("XQAB"); // two stands in the airport table
    ASSERT_EQ(read("airports\\my_thirdparty\\XQAB.xml"), "");
    EXPECT_EQ(gParkFile.quality, (QualityFactors{2, 1}));
    EXPECT_TRUE(PARK_SOFT.current.load());
    EXPECT_TRUE(WEEK.current.load());
    EXPECT_FLOAT_EQ(MAX_FIT_FL.current.load(), 24.0f);
    EXPECT_EQ(parking_percentage.current.load(), 50);
    EXPECT_EQ(stand("S1")->adjacent, std::vector<uint32_t>{stand("S2")->standId}); // 0.05 > 1.1 x 0.045
    EXPECT_EQ(stand("S2")->adjacent, std::vector<uint32_t>{stand("S1")->standId});
    EXPECT_TRUE(stand("S3")->adjacent.empty()); // 0.05 < 1.1 x 0.0475
    EXPECT_TRUE(logHas("num_parkpos             : 3\n"));
}

// The nearest stand of an airport's file, read to tell two neighbouring airports apart: taken from
// the archive when the file lies there; an airport without a file is 100 nm away and names none.
TEST_F(AirportFileTest, TheNearestStandOfAnAirportsFile) {
    std::string name;
    EXPECT_NEAR(gf_readDestApfForClosestStand(FixedCode<4>("XQAA"), {50.000600, 8.0}, name), 0.0036, 0.0001);
    EXPECT_EQ(name, "A2");
    EXPECT_FALSE(std::filesystem::exists("airport.xml"));
    std::string none;
    EXPECT_EQ(gf_readDestApfForClosestStand(FixedCode<4>("XQAZ"), {55.0, 12.0}, none), 100.0);
    EXPECT_EQ(none, "");
}

// A learned file of 11.10.0 exactly merges its flights; one without parking_percentage sets it to
// 30; a learned flight that shares no half hour with the file's flight is one of its own; a manual
// stand without a size is refused.
TEST_F(AirportFileTest, LearnedFileAtTheVersionGateWithoutPercentageAndAManualStandWithoutSize) {
    testsupport::writeFile("airports/learned/stock/XQAA.xml", R"(<?xml version="1.0"?>
<root><meta><info name="version" value="11.10.0" /><info name="copyright" value="x" /></meta>
<parameters><parameter name="airport_name" value="Alpha Test Field" /></parameters>
<parkpositions>
  <parkpos id="A2"><opt reg="D-AAAB" day="3" hh="20:21" cs="DLH200" /></parkpos>
  <parkpos id="A4"><opt reg="D-AAAX" day="3" hh="22" cs="DLH402" /></parkpos>
  <parkpos id="M3" latitude="50.0079" longitude="8.0" radius="0" type="3" manual="true" />
</parkpositions></root>
)");
    parking_percentage.current.store(70);
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    ASSERT_EQ(stand("A4")->options.size(), 2u);
    EXPECT_EQ(stand("A4")->options[1].cs, "DLH402");
    ASSERT_EQ(stand("A2")->options.size(), 2u); // the file's 16:19 and the learned 20:21
    EXPECT_EQ(stand("A2")->options[1].number, 2u);
    EXPECT_EQ(parking_percentage.current.load(), 30);
    EXPECT_TRUE(std::none_of(gStandTable.begin(), gStandTable.end(), [](const StandRecord& s) { return s.id == "M3"; }));
    EXPECT_TRUE(logHas("manually created standid M3 misses correct attributes"));
}

// What was learned and could not be saved (the learned folder read-only) is lost: the caller is
// told which file, so that the closing can tell the user.
TEST_F(AirportFileTest, ALearnedFileThatCannotBeSavedIsNamedToTheCaller) {
    SKIP_WITHOUT_ORDINARY_USER();
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    ASSERT_TRUE(gf_addStandOption(*stand("A4"), LiveryKey{}, WeekSlot{3, 22}, "DLH401_", "D-AAAZ", false));
    const std::filesystem::path folder = "airports/learned/stock";
    std::filesystem::create_directories(folder);
    testsupport::giveToOrdinaryUser(std::filesystem::current_path());
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    std::optional<std::filesystem::path> notSaved;
    {
        testsupport::AsOrdinaryUser user;
        notSaved = lf_resetParkAirport();
    }
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    ASSERT_TRUE(notSaved.has_value());
    EXPECT_EQ(std::filesystem::weakly_canonical(*notSaved),
              std::filesystem::weakly_canonical(folder / "XQAA.xml"));
    EXPECT_FALSE(std::filesystem::exists(folder / "XQAA.xml"));
}

// The second visit of an airport: a flight learned on the first one is set aside by static
// parking (the same aircraft is planned at another stand), then the aircraft comes again to the
// stand of the set-aside flight. Its stay extends that flight; the saved stand holds it once.
TEST_F(AirportFileTest, AFlightSetAsideByStaticParkingIsLearnedOnNotAddedAgain) {
    const std::filesystem::path learned = "airports/learned/stock/XQAA.xml";
    const std::string flight = R"(<opt reg="G-EZTA" day="6" hh="21:22" cs="EZY7142" />)";
    testsupport::writeFile(learned, R"(<?xml version="1.0"?>
<root><meta><info name="version" value="12.5.4" /><info name="copyright" value="user" /><info name="sim" value="1" /></meta>
<parameters><parameter name="airport_name" value="Alpha Test Field" /></parameters>
<parkpositions><parkpos id="A1">)" + flight +
                                        R"(</parkpos><parkpos id="A4">)" + flight +
                                        "</parkpos></parkpositions></root>\n");
    static WeekSlot now{6, 22};
    gf_setWeekClock([] { return now; });
    gf_installStaticParking();
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");
    gf_calcStaticParking();
    ASSERT_EQ(gStaticCandidates.size(), 1u); // one aircraft, one stand: A1 comes first
    EXPECT_EQ(gf_standNameOfSid(static_cast<int32_t>(gStaticCandidates[0].standId)), "A1");

    LiveAircraft ezy;
    ezy.category = AircraftCategory::Large;
    ezy.head.callsign = "EZY7142";
    ezy.head.registration = "G-EZTA";
    now = WeekSlot{6, 23};
    lf_addRealStandOptionAt(now, static_cast<int32_t>(stand("A4")->standId), ezy, kStayArrival);
    lf_addRealStandOptionAt(now, static_cast<int32_t>(stand("A4")->standId), ezy, kStayDeparture);
    lf_resetParkAirport();
    gf_resetStaticParking();
    gf_setWeekClock(nullptr);

    pugi::xml_document saved;
    ASSERT_TRUE(saved.load_file(learned.c_str()));
    const pugi::xml_node a4 = learnedStand(saved, "A4");
    ASSERT_TRUE(a4.child("opt"));
    EXPECT_STREQ(a4.child("opt").attribute("hh").as_string(), "21:23");
    EXPECT_TRUE(a4.child("opt").attribute("cpl").as_bool());
    EXPECT_FALSE(a4.child("opt").next_sibling("opt")) << "the flight is held twice";
    EXPECT_STREQ(learnedStand(saved, "A1").child("opt").attribute("hh").as_string(), "21:22");
    EXPECT_FALSE(learnedStand(saved, "A1").child("opt").next_sibling("opt"));
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
    EXPECT_TRUE(
        logHas("XQAA.xml found, but could not be loaded, saved as airports/learned/stock/XQAA0.xml: "));
}

// The learned file is read on the main tick: a named pipe in its place is named, never waited on,
// and the airport file's own stands are used.
TEST_F(AirportFileTest, APipeInPlaceOfTheLearnedFileIsNamedNotWaitedOn) {
    const std::filesystem::path learned = "airports/learned/stock/XQAA.xml";
    ASSERT_TRUE(testsupport::makeNamedPipe(learned));
    setPark("XQAA");
    std::string problem = "not read";
    ASSERT_TRUE(testsupport::readWithoutAWriter(learned, [&] { problem = read("archive/stock/XQAA.xml"); }));
    EXPECT_EQ(problem, "");
    EXPECT_EQ(stand("A2")->options.size(), 1u);
    EXPECT_TRUE(logHas("XQAA.xml found, but could not be loaded, and could not be saved as "
                       "airports/learned/stock/XQAA0.xml: a named pipe stands in its place"));
    EXPECT_TRUE(std::filesystem::is_fifo(learned));
}

// A learned file with values no program writes: each is clamped or refused with a warning, and
// none of them is in the file the next save writes.
TEST_F(AirportFileTest, HostileLearnedValuesAreClampedOrRefusedAndDoNotPersist) {
    const std::filesystem::path learned = "airports/learned/stock/XQAA.xml";
    testsupport::writeFile(learned, R"(<?xml version="1.0"?>
<root><meta><info name="version" value="12.5.4" /><info name="copyright" value="x" /><info name="sim" value="1" /></meta>
<parameters>
  <parameter name="airport_name" value="Alpha Test Field" />
  <parameter name="MAX_LIVE_SEL" value="0" />
  <parameter name="RANGE" value="99999999999" />
  <parameter name="parking_percentage" value="250" />
  <parameter name="MAX_FIT" value="many" />
</parameters>
<parkpositions>
  <parkpos id="A3" radius_change="true" radius="1e308" />
  <parkpos id="A4" radius_change="true" radius="12.5" />
  <parkpos id="A2"><opt reg="D-AAAB" day="0" hh="5" cs="DAY0" /><opt reg="D-AAAB" day="9" hh="6" cs="DAY9" />
    <opt reg="D-AAAB" day="4294967297" hh="7" cs="DAYWRAP" /><opt reg="D-AAAB" day="6" hh="8" cs="DAY6" /></parkpos>
  <parkpos id="M1" latitude="50.0078" longitude="8.0" radius="1e308" type="3" manual="true">
    <opt reg="D-EFGH" day="9" hh="22" cs="MDAY9" /></parkpos>
</parkpositions></root>
)");
    setPark("XQAA");
    ASSERT_EQ(read("archive/stock/XQAA.xml"), "");

    EXPECT_EQ(MAX_LIVE_SEL.current.load(), 500); // refused: the user's value stays
    EXPECT_TRUE(logHas("Warning: learned MAX_LIVE_SEL 0 refused, 500 kept"));
    EXPECT_EQ(RANGE.current.load(), 100);
    EXPECT_TRUE(logHas("Warning: learned RANGE 99999999999 is out of range, 100 used"));
    EXPECT_EQ(parking_percentage.current.load(), 100);
    EXPECT_TRUE(logHas("Warning: learned parking_percentage 250 is out of range, 100 used"));
    EXPECT_EQ(MAX_FIT.current.load(), 47);
    EXPECT_TRUE(logHas("Warning: learned MAX_FIT 'many' is no whole number, not used"));
    EXPECT_NEAR(stand("A3")->radius, 20.0 * kNmPerMetre, 1e-12); // the airport file's
    EXPECT_EQ(stand("A3")->radiusChange, 0);
    EXPECT_TRUE(logHas("Warning: learned A3: radius 1e+308 refused"));
    EXPECT_NEAR(stand("A4")->radius, 12.5 * kNmPerMetre, 1e-12);
    ASSERT_EQ(stand("A2")->options.size(), 2u); // the airport file's and day 6
    EXPECT_EQ(stand("A2")->options[1].cs, "DAY6");
    for (const char* day : {"day 0 refused", "day 9 refused", "day 4294967297 refused"})
        EXPECT_TRUE(logHas(std::string("Warning: learned A2: ") + day)) << day;
    ASSERT_NE(stand("M1"), nullptr);
    EXPECT_NEAR(stand("M1")->radius, kMaxStandRadiusMetres * kNmPerMetre, 1e-12);
    EXPECT_TRUE(stand("M1")->options.empty());
    EXPECT_TRUE(logHas("stand M1 has the radius 1e+308, 100 used"));
    EXPECT_TRUE(logHas("stand M1: flight of day 9 skipped"));

    lf_resetParkAirport();
    pugi::xml_document saved;
    ASSERT_TRUE(saved.load_file(learned.c_str()));
    const auto parameter = [&](const char* key) {
        return saved.select_node((std::string("//parameter[@name='") + key + "']").c_str())
            .node()
            .attribute("value");
    };
    EXPECT_STREQ(parameter("MAX_LIVE_SEL").as_string(), "500");
    EXPECT_STREQ(parameter("RANGE").as_string(), "100");
    EXPECT_FALSE(learnedStand(saved, "A3"));
    EXPECT_STREQ(learnedStand(saved, "A4").attribute("radius").as_string(), "12.5");
    EXPECT_STREQ(learnedStand(saved, "M1").attribute("radius").as_string(), "100.0");
    for (const pugi::xpath_node& opt : saved.select_nodes("//opt")) {
        const unsigned day = opt.node().attribute("day").as_uint();
        EXPECT_TRUE(day >= 1 && day <= 7) << opt.node().attribute("cs").as_string();
    }
    // The user's own settings are back.
    EXPECT_EQ(MAX_LIVE_SEL.current.load(), 500);
    EXPECT_EQ(parking_percentage.current.load(), 30);
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
    EXPECT_TRUE(
        logHas("==> link file airports/my_simaddon/XQAG.txt: its first line '' names no \".xml\" file, "
               "not used"));
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAZ")), ""); // listed with 0 stands
    EXPECT_TRUE(gf_apfExists(FixedCode<4>("XQAG")));
    EXPECT_FALSE(gf_apfExists(FixedCode<4>("XQAZ")));
    // A link wins over a generated file of the same code.
    copyFixture("user/my_thirdparty/XQAD.xml", "airports/my_thirdparty/XQAF.xml");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAF")), "archive/thirdparty/Test%20Scenery%20Co/XQAF123.xml");
    // A name found regardless of its letter case, as Windows finds it.
    copyFixture("user/my_thirdparty/XQAD.xml", "airports/my_simaddon/xqah.XML");
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAH")), "airports\\my_simaddon\\xqah.XML");
    // A NUL in the link's line would cut the name the download asks for: the link is refused.
    testsupport::writeFile("airports/my_thirdparty/XQAI.txt",
                           std::string("archive/stock/XQAA\0/../../x.xml\n", 32));
    EXPECT_EQ(gf_locateApf(FixedCode<4>("XQAI")), "");
    EXPECT_TRUE(
        logHas("link file airports/my_thirdparty/XQAI.txt: a control character in its first line, not used"));

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
