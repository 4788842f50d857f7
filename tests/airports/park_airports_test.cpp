// The park airport's road: "my_park_airports.txt" read line by line and written whole, the park
// airport chosen on the ground and in the air, loaded with its stands and planned, the user's
// stand recorded as the reserved stand, the airport left again with its learned file saved; and
// the list and the stand table used from the SimClient and window threads while the start-up
// thread reloads them.

#include <atomic>
#include <thread>

#include "airport_file_test_support.hpp"
#include "airports/my_park_airports.hpp"
#include "airports/park_airport_selection.hpp"
#include "airports/stand_choice.hpp"
#include "airports/static_consistency.hpp"
#include "airports/static_parking.hpp"
#include "links/stand_lookup.hpp"
#include "links/traffic_reader.hpp"
#include "links/user_aircraft_state.hpp"
#include "config/parameters_file.hpp"
#include "core/paths.hpp"
#include "support/temp_folder.hpp"
#include "traffic/parking.hpp"

using namespace tamrix;

namespace {

constexpr GeoPosition kXqaa{50.0, 8.0};
constexpr GeoPosition kStandA2{50.000540, 8.0};
constexpr double kFeetPerNm = 6076.115485564304;

void resetSelection() {
    gf_resetMyParkAirports();
    gf_resetParkAirportSelection();
    gf_resetStaticParking();
    gf_resetStaticConsistency();
    gStaticAircraft.clear();
    gStaticAddingStack.clear();
    gRemovalQueue.clear();
    gLiveAddingStack.clear();
    gf_resetUserPositionRecord();
    gf_resetUserAcState();
    gf_setWeekClock(nullptr);
    gf_setStandNameFinder(nullptr);
    gf_setStaticParkingLeave(nullptr);
    gf_setReservedStandNameSource(nullptr);
    gf_trafficReader().resetForRun();
}

class ParkAirportRoad : public apftest::AirportFileTest {
protected:
    void SetUp() override {
        AirportFileTest::SetUp();
        resetSelection();
        std::filesystem::create_directories("airports/my_thirdparty");
        gf_installStaticConsistency();
        gf_installParkAirportSelection();
        gf_setStandNameFinder(&lf_findStandNameAt);
        gf_setWeekClock([] { return WeekSlot{3, 22}; }); // Wednesday 11:00
    }
    void TearDown() override {
        resetSelection();
        AirportFileTest::TearDown();
    }

    // The user aircraft as the simulator reports it and the start-up thread's copy of it.
    static void userAt(GeoPosition p, bool onGround, double feetAboveGround = 0.0, double knots = 0.0) {
        UserAcState state;
        state.latitude = p.latitude;
        state.longitude = p.longitude;
        state.altitudeAboveGround = feetAboveGround;
        state.groundSpeed = knots;
        gf_storeUserAcState(state);
        gf_setUserPositionState(state);
        gf_setUserOnGround(onGround);
    }
    static GeoPosition north(GeoPosition from, double nm) { return gf_destinationPoint(from, 0.0, nm * kFeetPerNm); }
    static std::string myFile() { return testsupport::readFile(gf_paths().myParkAirportsPath); }
    static void writeMyFile(std::string_view text) { testsupport::writeFile(gf_paths().myParkAirportsPath, text); }
    // The park airport chosen and loaded where the user aircraft stands.
    static void loadedOnTheGround(GeoPosition at) {
        userAt(at, true);
        gf_parkAirportTick(true);
        gf_parkAirportTick(false);
        ASSERT_TRUE(gf_parkAirportView().loaded);
    }
    // A live aircraft with a stand of the park airport.
    static LiveAircraft liveAt(const char* callsign, MovePhase phase, LiveState state, uint32_t objectId,
                               uint32_t standId) {
        LiveAircraft a;
        a.key = 20000 + static_cast<uint32_t>(gLiveAircraft.size()) + 1;
        a.head.callsign = callsign;
        a.phase = phase;
        a.state = state;
        a.objectId = objectId;
        a.standId = standId;
        a.standLatitude = 50.001;
        a.standLongitude = 8.0;
        a.standHeading = 1.5;
        a.cargoStand = 1;
        return a;
    }
    static const LiveAircraft* live(std::string_view callsign) {
        for (const LiveAircraft& a : gLiveAircraft)
            if (a.head.callsign == callsign) return &a;
        return nullptr;
    }
    static void leaveInTheAir() {
        userAt(north(kXqaa, 30.0), false, 3000.0, 250.0);
        gf_parkAirportTick(false);
        ASSERT_FALSE(gf_parkAirport().code.isSet());
    }
    static std::vector<std::string> listed() {
        std::vector<std::string> out;
        for (const MyParkAirport& a : gf_myParkAirports())
            out.push_back(a.reservedStand.empty() ? a.code.text() : a.code.text() + "," + a.reservedStand);
        return out;
    }
};

TEST_F(ParkAirportRoad, TheUsersFileIsReadLineByLineAndWrittenBackSortedAndWhole) {
    apftest::addAirport("XQAC", 51.0, 9.0, 0);
    apftest::addAirport("XQAD", 52.0, 9.0, 0);
    apftest::addAirport("XQAE", 53.0, 9.0, 0);
    // A hand-edited file: byte-order mark, CRLF endings, blanks, lower case, every kind of bad line.
    writeMyFile("\xEF\xBB\xBFxqab , B7\r\n"
                "\r\n"
                "   \r\n"
                "XQAA,A1,extra\r\n"
                "XQ-A\r\n"
                ",A3\r\n"
                "XQZZ\r\n"
                "xqab,B9\r\n"
                "XQAB\r\n"
                "XQAC,\r\n");
    testsupport::writeFile("airports/my_thirdparty/XQAD.xml", "<root/>");
    testsupport::writeFile("airports/my_thirdparty/XQAC.xml", "<root/>");   // listed already
    testsupport::writeFile("airports/my_thirdparty/notes.xml", "<root/>"); // no airport code
    std::filesystem::create_directories("airports/my_thirdparty/XQAA.xml"); // a folder, not a file

    EXPECT_FALSE(lf_readMyParkAirports()); // XQZZ is unknown
    // "xqab" and "XQAB" are different texts: both are read, as the user wrote them.
    EXPECT_EQ(listed(), (std::vector<std::string>{"XQAB,B7", "XQAB", "XQAC", "XQAD"}));
    EXPECT_TRUE(logHas("my_park_airports.txt:XQAA,A1,extra wrong syntax, skipped"));
    EXPECT_TRUE(logHas("my_park_airports.txt:XQ-A wrong syntax, skipped"));
    EXPECT_TRUE(logHas("my_park_airports.txt:,A3 wrong syntax, skipped"));
    EXPECT_TRUE(logHas("my_park_airports.txt:xqab double, skipped"));
    EXPECT_TRUE(logHas("airport XQZZ is unknown"));
    EXPECT_TRUE(logHas("    3 park airports read from 'my_park_airports.txt'")); // before the thirdparty folder

    // Recording a stand rewrites the airport's first line and keeps every other line of the user.
    gf_recordParkAirportStand(FixedCode<4>("XQAC"), {51.0, 9.0}, "C4");
    const std::string kept = ",A3\nXQ-A\nXQAA,A1,extra\nXQAB\nXQAC,C4\nXQZZ\nxqab , B7\nxqab,B9\n";
    EXPECT_EQ(myFile(), kept);
    EXPECT_TRUE(logHas("my_park_airports.txt:XQAC,C4 updated stand"));

    // A destination that is listed moves to the front without a write; a new one is written.
    gf_selectMyParkAirport(FixedCode<4>("XQAD"), {52.0, 9.0});
    EXPECT_EQ(listed().front(), "XQAD");
    EXPECT_EQ(myFile(), kept);
    gf_selectMyParkAirport(FixedCode<4>("XQAA"), kXqaa);
    EXPECT_EQ(listed().front(), "XQAA");
    // Its first line in the file, refused as wrong syntax when read, is the one rewritten.
    EXPECT_EQ(myFile(), ",A3\nXQ-A\nXQAA\nXQAB\nXQAC,C4\nXQZZ\nxqab , B7\nxqab,B9\n");
    EXPECT_TRUE(logHas("my_park_airports.txt:XQAA updated stand"));
    gf_selectMyParkAirport(FixedCode<4>("XQAE"), {53.0, 9.0});
    EXPECT_EQ(myFile(), ",A3\nXQ-A\nXQAA\nXQAB\nXQAC,C4\nXQAE\nXQZZ\nxqab , B7\nxqab,B9\n");
    EXPECT_TRUE(logHas("my_park_airports.txt:XQAE new entry"));
}

// The list as an editor saves it: Notepad's "Unicode" (UTF-16 with its mark, either byte order)
// and the ANSI code page read as the same lines as UTF-8, stand names in UTF-8; the program
// writes the list back in UTF-8.
TEST_F(ParkAirportRoad, TheUsersFileReadsInEveryCharsetAnEditorSavesIn) {
    const auto utf16 = [](std::u16string_view text, bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (const char16_t unit : text) {
            const char high = static_cast<char>(unit >> 8);
            const char low = static_cast<char>(unit & 0xFF);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    const std::vector<std::string> expected{"XQAB,T\u00e9 1", "XQAA"};
    writeMyFile("XQAB,T\u00e9 1\r\nXQAA\r\n");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(listed(), expected) << "UTF-8";
    for (const bool bigEndian : {false, true}) {
        writeMyFile(utf16(u"XQAB,T\u00e9 1\r\nXQAA\r\n", bigEndian));
        EXPECT_TRUE(lf_readMyParkAirports()) << bigEndian;
        EXPECT_EQ(listed(), expected) << "UTF-16, big-endian " << bigEndian;
    }
    writeMyFile("XQAB,T\xE9 1\r\nXQAA\r\n");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(listed(), expected) << "ANSI";
    // The line ends of an old Mac editor.
    writeMyFile("XQAB,T\u00e9 1\rXQAA\r");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(listed(), expected) << "CR";
    // Two files joined into one: the second's byte-order mark starts a line.
    writeMyFile("\xEF\xBB\xBFXQAB,T\u00e9 1\r\n\xEF\xBB\xBFXQAA\r\n");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(listed(), expected) << "a mark in mid-file";
    EXPECT_FALSE(logHas("wrong syntax"));
    // One unpaired surrogate spoils its character only.
    std::string lone = utf16(u"XQAB,T", false);
    lone += std::string("\x00\xD8", 2);
    lone += utf16(u" 1\r\nXQAA\r\n", false).substr(2);
    writeMyFile(lone);
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(listed(), (std::vector<std::string>{"XQAB,T\uFFFD 1", "XQAA"})) << "a lone surrogate";
    EXPECT_TRUE(logHas("! 1 unpaired UTF-16 surrogate in '" + gf_paths().myParkAirportsPath.string() +
                       "' read as U+FFFD"));
    gf_selectMyParkAirport(FixedCode<4>("XQAC"), {51.0, 9.0});
    EXPECT_EQ(myFile(), "XQAA\nXQAB,T\uFFFD 1\nXQAC\n");
    // A line refused names the marks in it that no editor shows.
    writeMyFile("XQ\u200BAD\nXQAE\uFEFF,A1\nXQAF\t1\nXQAA\n");
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(listed(), std::vector<std::string>{"XQAA"});
    EXPECT_TRUE(logHas("my_park_airports.txt:XQ<U+200B>AD wrong syntax, skipped"));
    EXPECT_TRUE(logHas("my_park_airports.txt:XQAE<U+FEFF>,A1 wrong syntax, skipped"));
    EXPECT_TRUE(logHas("my_park_airports.txt:XQAF<U+0009>1 wrong syntax, skipped"));
}

TEST_F(ParkAirportRoad, AListThatCannotBeReadIsNeverReplaced) {
    // Something that exists but does not read as a file (an editor's lock does the same).
    std::filesystem::create_directories(gf_paths().myParkAirportsPath);
    EXPECT_FALSE(lf_readMyParkAirports());
    gf_selectMyParkAirport(FixedCode<4>("XQAA"), kXqaa);
    EXPECT_TRUE(std::filesystem::is_directory(gf_paths().myParkAirportsPath));
    EXPECT_TRUE(logHas("could not be read, XQAA not recorded: a folder stands in its place"));

    // Without any file the first write creates it.
    std::filesystem::remove(gf_paths().myParkAirportsPath);
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_TRUE(logHas("my_park_airports.txt not found"));
    gf_selectMyParkAirport(FixedCode<4>("XQAB"), {50.03, 8.05});
    EXPECT_EQ(myFile(), "XQAB\n");
    EXPECT_TRUE(logHas("my_park_airports.txt created with XQAB"));

    // A list the user keeps elsewhere and links into place is written where the link leads.
    const std::filesystem::path kept = std::filesystem::absolute("synced-list.txt");
    std::filesystem::rename(gf_paths().myParkAirportsPath, kept);
    std::filesystem::create_symlink(kept, gf_paths().myParkAirportsPath);
    gf_selectMyParkAirport(FixedCode<4>("XQAA"), kXqaa);
    EXPECT_TRUE(std::filesystem::is_symlink(gf_paths().myParkAirportsPath));
    EXPECT_EQ(testsupport::readFile(kept), "XQAA\nXQAB\n");
}

TEST_F(ParkAirportRoad, OnTheGroundTheAirportIsChosenLoadedPlannedAndLeftWithItsLearnedFileSaved) {
    writeMyFile("XQAB\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(kStandA2, true);

    gf_parkAirportTick(true);
    EXPECT_TRUE(logHas("User aircraft on the ground at XQAA"));
    EXPECT_TRUE(logHas("The park airport is XQAA"));
    EXPECT_EQ(gf_parkAirportView().code, "XQAA");
    EXPECT_FALSE(gf_parkAirportView().loaded);
    EXPECT_TRUE(gf_staticParkingBusy());
    EXPECT_TRUE(gf_trafficReader().collectingCallsigns());
    EXPECT_EQ(gf_statusLineSnapshot().message, "Calculating static parked aircraft ...");

    // The next step loads the stands, records the user's stand and plans.
    gf_parkAirportTick(false);
    EXPECT_TRUE(gf_parkAirportView().loaded);
    EXPECT_EQ(gStandTable.size(), 12u);
    EXPECT_EQ(myFile(), "XQAA,A2\nXQAB\n");
    EXPECT_EQ(listed().front(), "XQAA,A2");
    EXPECT_EQ(gf_reservedStandName(), "A2");
    EXPECT_TRUE(gf_parkAirportView().reservedStandFound);
    EXPECT_TRUE(logHas("It is day 3"));
    ASSERT_FALSE(gStaticCandidates.empty());
    for (const StaticCandidate& c : gStaticCandidates) EXPECT_NE(gf_standNameOfSid(static_cast<int32_t>(c.standId)), "A2");
    EXPECT_TRUE(gf_staticParkingBusy());

    // On the ground the park airport is never left, however far the aircraft taxis.
    userAt(north(kXqaa, 30.0), true);
    gf_parkAirportTick(false);
    EXPECT_EQ(gf_parkAirport().code, FixedCode<4>("XQAA"));

    // The plan used up: the cycle ends.
    gStaticCandidates.clear();
    gf_parkAirportTick(false);
    EXPECT_FALSE(gf_staticParkingBusy());

    // Airborne and far: left, the learned file saved, the stands and the reserved stand gone.
    userAt(north(kXqaa, 30.0), false, 3000.0, 250.0);
    gf_parkAirportTick(false);
    EXPECT_TRUE(logHas("is out of sight (30.0 nm), parked aircraft will be removed"));
    EXPECT_FALSE(gf_parkAirport().code.isSet());
    EXPECT_TRUE(gStandTable.empty());
    EXPECT_EQ(gf_reservedStandName(), "");
    EXPECT_EQ(gf_parkAirportView().code, "");
    EXPECT_TRUE(std::filesystem::exists("airports/learned/stock/XQAA.xml"));
}

TEST_F(ParkAirportRoad, InTheAirTheFrontAirportIsTakenWithinRangeAndHeightAndANearerOneTakesOver) {
    writeMyFile("XQAA\n");
    ASSERT_TRUE(lf_readMyParkAirports());

    userAt(north(kXqaa, 20.1), false, 17000.0, 250.0);
    gf_parkAirportTick(true);
    EXPECT_FALSE(gf_parkAirport().code.isSet());
    userAt(north(kXqaa, 19.9), false, 18001.0, 250.0);
    gf_parkAirportTick(false);
    EXPECT_FALSE(gf_parkAirport().code.isSet());
    userAt(north(kXqaa, 19.9), false, 17000.0, 250.0);
    gf_parkAirportTick(false);
    EXPECT_TRUE(logHas("XQAA in sight at 19.9 nm"));
    EXPECT_EQ(gf_parkAirport().code, FixedCode<4>("XQAA"));
    gf_parkAirportTick(false);
    ASSERT_TRUE(gf_parkAirportView().loaded);
    // Airborne, no stand is recorded: the list and the file stay as they were.
    EXPECT_EQ(myFile(), "XQAA\n");

    // XQAB becomes the nearer listed airport in sight: XQAA is left, XQAB chosen on the next step.
    gf_selectMyParkAirport(FixedCode<4>("XQAB"), {50.03, 8.05});
    userAt({50.04, 8.06}, false, 2000.0, 180.0);
    gf_parkAirportTick(false);
    EXPECT_TRUE(logHas("XQAB is in sight ("));
    EXPECT_TRUE(logHas("parked aircraft at XQAA will be removed first"));
    EXPECT_FALSE(gf_parkAirport().code.isSet());
    gf_parkAirportTick(false);
    EXPECT_EQ(gf_parkAirport().code, FixedCode<4>("XQAB"));

    // XQAB's archived file is not on the server: the load error is shown, the airport dropped
    // and static parking free again.
    gf_parkAirportTick(false);
    // Logged once, with the message line that shows it.
    const std::string log = logText();
    const auto first = log.find("failed to download: '");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("failed to download: '", first + 1), std::string::npos) << log;
    EXPECT_FALSE(gf_parkAirport().code.isSet());
    EXPECT_FALSE(gf_staticParkingBusy());
    EXPECT_TRUE(gf_parkAirportFailedBefore(FixedCode<4>("XQAB")));
}

TEST_F(ParkAirportRoad, TheUsersStandIsRecordedOnlyAtAStandstillAndRereadAppliesAChangedStand) {
    writeMyFile("XQAA,A1\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(kXqaa, true); // on A1
    gf_parkAirportTick(true);
    gf_parkAirportTick(false);
    ASSERT_TRUE(gf_parkAirportView().loaded);
    EXPECT_EQ(gf_reservedStandName(), "A1");

    userAt(kStandA2, true, 0.0, 2.1);
    lf_updateReservedStand();
    EXPECT_EQ(myFile(), "XQAA,A1\n");
    userAt(kStandA2, true, 0.0, 2.0);
    lf_updateReservedStand();
    EXPECT_EQ(myFile(), "XQAA,A2\n");
    // Only for the park airport: with a destination in front nothing is recorded.
    gf_selectMyParkAirport(FixedCode<4>("XQAB"), {50.03, 8.05});
    userAt(kXqaa, true);
    lf_updateReservedStand();
    EXPECT_EQ(myFile(), "XQAA,A2\nXQAB\n");

    // The user edits the file; "Re-read" moves the reservation, the aircraft on the new stand go;
    // not while static parking is busy.
    writeMyFile("XQAA,A3\n");
    std::string result;
    ASSERT_TRUE(gf_staticParkingBusy());
    ASSERT_TRUE(gf_checkMyParkAirports(result));
    EXPECT_EQ(result, "park airports and stands are okay");
    EXPECT_EQ(gf_reservedStandName(), "A1");
    gStaticCandidates.clear();
    gf_endStaticParking();
    StaticAircraft parked;
    parked.key = 7;
    parked.state = LiveState::Active;
    parked.objectId = 4711;
    parked.standId = 3; // A3
    gStaticAircraft.push_back(parked);
    gf_clearStand("NOSUCH"); // an unknown stand clears nothing, not even aircraft without a stand
    EXPECT_TRUE(gRemovalQueue.empty());
    ASSERT_TRUE(gf_checkMyParkAirports(result));
    EXPECT_EQ(result, "reserved stand changed from 'A1' to 'A3'");
    EXPECT_EQ(gf_reservedStandName(), "A3");
    EXPECT_EQ(gStandTable[0].reserved, 0);
    EXPECT_EQ(gStandTable[2].reserved, 1);
    EXPECT_EQ(gRemovalQueue, std::deque<uint32_t>{4711});
    ASSERT_TRUE(gf_checkMyParkAirports(result));
    EXPECT_EQ(result, "park airports and stands are okay");
}

// On the ground at an airport that has no airport file there is no park airport; the next step
// looks again.
TEST_F(ParkAirportRoad, OnTheGroundAtAnAirportWithoutAFileNoParkAirportIsChosen) {
    userAt({55.0, 12.0}, true); // XQAZ: known, but without stands or a file
    for (const bool first : {true, false}) {
        gf_resetStatusLine();
        gf_parkAirportTick(first);
        EXPECT_EQ(gf_statusLineSnapshot().message, "User aircraft on the ground at XQAZ, no airport file found");
        EXPECT_FALSE(gf_parkAirport().code.isSet());
        EXPECT_FALSE(gf_staticParkingBusy());
    }
}

// Loaded while the user aircraft stands on no stand: the airport goes to the front of the list
// without a reserved stand; a reserved stand the airport's file does not have reserves nothing.
TEST_F(ParkAirportRoad, LoadedOffAStandTheAirportIsListedWithoutAReservedStand) {
    writeMyFile("XQAB,B1\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    loadedOnTheGround({50.0, 8.003}); // 210 m east of the stands
    EXPECT_EQ(listed(), (std::vector<std::string>{"XQAA", "XQAB,B1"}));
    EXPECT_EQ(myFile(), "XQAA\nXQAB,B1\n");
    EXPECT_EQ(gf_reservedStandName(), "");

    writeMyFile("XQAA,Z9\nXQAB,B1\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(gf_reservedStandName(), "");
    EXPECT_FALSE(gf_parkAirportView().reservedStandFound);
    for (const StandRecord& stand : gStandTable) EXPECT_EQ(stand.reserved, 0) << stand.id;
}

// In the air the nearest listed airport is taken, whatever the order of the file; with a
// destination entered the destination stays in front wherever the aircraft flies.
TEST_F(ParkAirportRoad, InTheAirTheNearestListedAirportIsTakenUnlessADestinationIsSet) {
    writeMyFile("XQAB\nXQAA\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(north(kXqaa, -5.0), false, 3000.0, 200.0); // XQAB lies 7.5 nm away
    gf_parkAirportTick(true);
    EXPECT_EQ(gf_parkAirport().code, FixedCode<4>("XQAA"));

    ASSERT_TRUE(gf_setStringParameter(DESTINATION, "XQAB"));
    gf_selectMyParkAirport(FixedCode<4>("XQAB"), {50.03, 8.05});
    gf_sortMyParkAirports(north(kXqaa, -6.0));
    EXPECT_EQ(listed().front(), "XQAB");
}

// In the air a listed airport just as near as the park airport takes over: the park airport is
// left, the other one taken at the next step.
TEST_F(ParkAirportRoad, InTheAirAListedAirportAsNearAsTheParkAirportTakesOver) {
    apftest::addAirport("XQAC", 50.0, 8.0, 0); // the same field under a second code
    writeMyFile("XQAA\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(north(kXqaa, 10.0), false, 3000.0, 200.0);
    gf_parkAirportTick(true);
    gf_parkAirportTick(false);
    ASSERT_TRUE(gf_parkAirportView().loaded);

    gf_selectMyParkAirport(FixedCode<4>("XQAC"), kXqaa);
    userAt(north(kXqaa, 9.0), false, 3000.0, 200.0);
    gf_parkAirportTick(false);
    EXPECT_TRUE(logHas("XQAC is in sight (9.0 nm), parked aircraft at XQAA will be removed first"));
    EXPECT_FALSE(gf_parkAirport().code.isSet());
    gf_parkAirportTick(false);
    EXPECT_EQ(gf_parkAirport().code, FixedCode<4>("XQAC"));
}

// Leaving the park airport: an aircraft on the ground there, whatever it is doing, gives up its
// stand and leaves the simulator, or its creation is withdrawn; one not created yet only gives up
// its stand; one in the air keeps the stand it was given for its arrival.
TEST_F(ParkAirportRoad, LeavingTheAirportTakesItsStandsFromTheAircraftOnTheGroundThere) {
    writeMyFile("XQAA\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    loadedOnTheGround(kStandA2);
    gLiveAircraft.push_back(liveAt("TAXI", MovePhase::Taxi, LiveState::Active, 501, 3));
    gLiveAircraft.push_back(liveAt("PUSH", MovePhase::PushingBack, LiveState::Active, 502, 4));
    gLiveAircraft.push_back(liveAt("PUSHED", MovePhase::PushedBack, LiveState::Active, 503, 5));
    gLiveAircraft.push_back(liveAt("PARKED", MovePhase::Parked, LiveState::Active, 504, 6));
    gLiveAircraft.push_back(liveAt("ROLL", MovePhase::TakeOff, LiveState::Active, 505, 7));
    gLiveAircraft.push_back(liveAt("ARRIVAL", MovePhase::Flying, LiveState::Active, 506, 8));
    gLiveAircraft.push_back(liveAt("QUEUED", MovePhase::Taxi, LiveState::Adding2Sim, 0, 9));
    gLiveAircraft.push_back(liveAt("SENT", MovePhase::Parked, LiveState::Adding2Sim, 0, 10));
    gLiveAircraft.push_back(liveAt("WAITING", MovePhase::Parked, LiveState::Buffer, 0, 11));
    AiCreateRequest creation;
    creation.key = live("QUEUED")->key;
    creation.callsign = "QUEUED";
    gLiveAddingStack.push_back(creation);

    leaveInTheAir();

    EXPECT_EQ(gRemovalQueue, (std::deque<uint32_t>{501, 502, 503, 504, 505}));
    for (const char* callsign : {"TAXI", "PUSH", "PUSHED", "PARKED", "ROLL", "SENT", "WAITING"}) {
        SCOPED_TRACE(callsign);
        const LiveAircraft* a = live(callsign);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->standId, 0u);
        EXPECT_EQ(a->standLatitude, 0.0);
        EXPECT_EQ(a->standLongitude, 0.0);
        EXPECT_EQ(a->standHeading, 0.0);
        EXPECT_EQ(a->cargoStand, 0);
        if (a->objectId != 0) {
            EXPECT_EQ(a->state, LiveState::RemovingFromSim);
        }
    }
    EXPECT_EQ(live("QUEUED"), nullptr);
    EXPECT_TRUE(gLiveAddingStack.empty());
    EXPECT_EQ(live("SENT")->removalAsked, 1); // removed once the simulator has created it
    EXPECT_EQ(live("SENT")->state, LiveState::Adding2Sim);
    EXPECT_EQ(live("WAITING")->state, LiveState::Buffer);
    EXPECT_EQ(live("WAITING")->removalAsked, 0);
    EXPECT_EQ(live("ARRIVAL")->state, LiveState::Active);
    EXPECT_EQ(live("ARRIVAL")->standId, 8u);
    EXPECT_EQ(live("ARRIVAL")->standLatitude, 50.001);
}

// The aircraft that stay keep their order in the live list, which is searched front to back
// (the first active aircraft with a callsign).
TEST_F(ParkAirportRoad, TheAircraftThatStayKeepTheirOrderWhenTheAirportIsLeft) {
    writeMyFile("XQAA\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    loadedOnTheGround(kStandA2);
    gLiveAircraft.push_back(liveAt("QUEUED", MovePhase::Taxi, LiveState::Adding2Sim, 0, 3));
    for (const char* callsign : {"FIRST", "SECOND", "THIRD"})
        gLiveAircraft.push_back(liveAt(callsign, MovePhase::Flying, LiveState::Active, 0, 0));
    AiCreateRequest creation;
    creation.key = live("QUEUED")->key;
    gLiveAddingStack.push_back(creation);

    leaveInTheAir();

    std::vector<std::string> order;
    for (const LiveAircraft& a : gLiveAircraft) order.push_back(a.head.callsign);
    EXPECT_EQ(order, (std::vector<std::string>{"FIRST", "SECOND", "THIRD"}));
}

// The SimClient thread records the user's stand and the window thread selects destinations while
// the start-up thread reloads the stand table, sorts and re-reads the list.
TEST_F(ParkAirportRoad, ListAndStandTableConcurrency) {
    writeMyFile("XQAA\nXQAB\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    userAt(kStandA2, true);
    gf_parkAirportTick(true);
    gf_parkAirportTick(false);
    ASSERT_TRUE(gf_parkAirportView().loaded);

    std::atomic<bool> done{false};
    std::thread simClient([&] {
        while (!done.load()) {
            lf_updateReservedStand();
            (void)gf_standNameAt(kStandA2.latitude, kStandA2.longitude);
            (void)gf_reservedStandName();
        }
    });
    std::thread window([&] {
        for (int i = 0; !done.load(); ++i)
            gf_selectMyParkAirport(FixedCode<4>(i % 2 == 0 ? "XQAA" : "XQAB"), i % 2 == 0 ? kXqaa : GeoPosition{50.03, 8.05});
    });
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(lf_readParkedFile(), "");
        gf_sortMyParkAirports({50.0 + i * 0.01, 8.0});
        std::string result;
        EXPECT_TRUE(gf_checkMyParkAirports(result));
    }
    done.store(true);
    simClient.join();
    window.join();
    // Every write was whole: the file holds the two airports, one line each, sorted.
    const std::string text = myFile();
    EXPECT_TRUE(text == "XQAA,A2\nXQAB\n" || text == "XQAA\nXQAB\n") << text;
}

} // namespace
