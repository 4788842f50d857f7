// The automatic radius, the manual radius it puts back, and the aircraft list file.

#include "airports/my_park_airports.hpp"
#include "airports/park_airport_selection.hpp"
#include "app/app_test_support.hpp"
#include "links/park_airport.hpp"
#include "links/reserved_stand.hpp"
#include "links/user_aircraft_state.hpp"
#include "traffic/aircraft_list_file.hpp"
#include "traffic/parking.hpp"

using namespace tamrix;

namespace {

int32_t airborneLow(std::optional<double> distance) { return lf_autoRadiusNm(false, 3000.0, 48000, 18000, distance); }

TEST(AutoRadius, TableByHeightAndDistanceWithoutGaps) {
    EXPECT_EQ(lf_autoRadiusNm(true, 30000.0, 48000, 18000, 500.0), 10);
    EXPECT_EQ(lf_autoRadiusNm(false, 49000.0, 48000, 18000, 5.0), 100);
    EXPECT_EQ(lf_autoRadiusNm(false, 20000.0, 48000, 18000, 5.0), 40);
    EXPECT_EQ(airborneLow(24.6), 25);
    // The distance taken to the nearest whole mile, a half up: 22.5 and 22.6 NM are 23.
    EXPECT_EQ(airborneLow(22.4), 20);
    EXPECT_EQ(airborneLow(22.5), 25);
    EXPECT_EQ(airborneLow(22.6), 25);
    EXPECT_EQ(airborneLow(8.4), 8);
    EXPECT_EQ(airborneLow(7.0), 10);
    EXPECT_EQ(airborneLow(std::nullopt), 40);
    EXPECT_EQ(airborneLow(36.6), 35); // rounds to 37, still short of the 37 NM band
    EXPECT_EQ(airborneLow(37.0), 40);
    // Every distance has a radius, and it never shrinks as the distance grows past 7 NM.
    int32_t previous = 0;
    for (double d = 7.01; d < 40.0; d += 0.05) {
        const int32_t r = airborneLow(d);
        EXPECT_GE(r, previous) << d;
        EXPECT_GE(r, 8) << d;
        previous = r;
    }
}

class AutoRange : public apptest::AppTest {};

// The distance is to the first entry of the park-airport list, before that airport comes into
// sight and is loaded as park airport (20 NM).
TEST_F(AutoRange, SwitchingOffRestoresTheRadiusRangeHadWhenSwitchedOn) {
    UserAcState user;
    user.latitude = 50.0;
    user.longitude = 8.5;
    user.altitude = 3000.0;
    gf_setUserPositionState(user);
    gf_setUserOnGround(false);
    gf_installParkAirportSelection();
    std::filesystem::create_directories(gf_paths().myParkAirportsPath.parent_path());
    gf_selectMyParkAirport(FixedCode<4>("EDDF"),
                           {50.0, 8.5 + 24.6 / 60.0 / std::cos(50.0 * 3.14159265358979 / 180.0)});
    ASSERT_FALSE(gf_parkAirport().code.isSet());

    // Never switched on: RANGE's default comes back.
    AUTO_RANGE.current = false;
    RANGE.current = 70;
    gf_applyRange();
    EXPECT_EQ(RANGE.current, RANGE.defaultValue);

    RANGE.current = 60;
    AUTO_RANGE.current = true;
    gf_applyRange();
    EXPECT_NEAR(gRangeNm.load(), 25.0, 0.001);
    AUTO_RANGE.current = false;
    gf_applyRange();
    EXPECT_EQ(RANGE.current, 60);
    gf_resetMyParkAirports();
    gf_setParkListFrontSource(nullptr);
    gf_setReservedStandUpdater(nullptr);
    gf_setReservedStandNameSource(nullptr);
}

TEST_F(AutoRange, AircraftListWithAndWithoutTraffic) {
    const auto path = gf_paths().objectIdListPath;
    std::filesystem::create_directories(path.parent_path());
    gf_setActiveAircraftSource(nullptr);
    { std::ofstream(path) << "stale\n"; }
    gf_writeAcStatesCsv();
    EXPECT_EQ(apptest::readText(path), "");

    gf_setActiveAircraftSource([] {
        return std::vector<ActiveAircraftRow>{{4711, "DLH4TX", "D-AIZZ", "DLH", "A320", true, false},
                                              {4712, "KLM1234", "PH-BXA", "KLM", "B738", true, true},
                                              {4713, "BAW12", "G-XWBA", "", "A35K", false, false}};
    });
    gIsMsfs2020 = true;
    gf_writeAcStatesCsv();
    EXPECT_EQ(apptest::readText(path), "4711;DLH4TX;D-AIZZ;DLH;A320;GND;\n"
                                       "4712;KLM1234;PH-BXA;KLM;B738;GND;PARKED\n"
                                       "4713;BAW12;G-XWBA;;A35K;AIR;\n");

    // The callsign list leaves the parked aircraft out and sorts by bytes.
    EXPECT_TRUE(gf_fillLiveCallsignList());
    EXPECT_EQ(*CALLSIGN_2_OBJECTID.options, (std::vector<std::string>{"BAW12", "DLH4TX"}));
    EXPECT_EQ(CALLSIGN_2_OBJECTID.current.get(), "BAW12");
    gf_resetCallsignSelection();
    EXPECT_EQ(*CALLSIGN_2_OBJECTID.options, std::vector<std::string>{""});

    // A file that cannot be written is logged, not lost silently.
    std::filesystem::remove(path);
    std::filesystem::create_directories(path / "blocked");
    gf_writeAcStatesCsv();
    EXPECT_TRUE(apptest::contains(logLines(), "Failed to write " + path.string()));
    gf_setActiveAircraftSource(nullptr);
}

} // namespace
