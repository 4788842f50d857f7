#include "links/facility_reader.hpp"

#include <chrono>
#include <cmath>
#include <thread>

#include "core/geodesy.hpp"
#include "core/run_state.hpp"
#include "core/user_error.hpp"
#include "links/sim_dispatch_test_support.hpp"

using namespace tamrix;
using namespace dispatchtest;
using platform::simconnect::Airport;
using platform::simconnect::FacilityAnswer;
using platform::simconnect::Helipad;
using platform::simconnect::TaxiParking;

namespace {

constexpr double kNmPerMetre = 1.0 / 1852.0;

TaxiParking parking(uint32_t number, int32_t type = 1, float biasX = 0.0f, float biasZ = 0.0f) {
    TaxiParking p;
    p.number = number;
    p.type = type;
    p.heading = 90.0f;
    p.radius = 20.0f;
    p.biasX = biasX;
    p.biasZ = biasZ;
    return p;
}

Helipad helipad(int32_t type, float width) {
    Helipad h;
    h.latitude = 50.04;
    h.longitude = 8.56;
    h.heading = 180.0f;
    h.length = 30.0f;
    h.width = width;
    h.type = type;
    return h;
}

Airport frankfurt() {
    Airport a;
    a.icao = "EDDF";
    a.name = "Frankfurt Main";
    a.latitude = 50.03;
    a.longitude = 8.57;
    a.altitudeMetres = 111.0;
    a.parkings = {parking(12, 1, 0.0f, -50.0f),
                  parking(12, 2, 100.0f, 0.0f),
                  parking(5, 0),
                  parking(12, 3),
                  parking(7, 13),
                  parking(5, 4)};
    a.helipads = {helipad(2, 20.0f), helipad(3, 20.0f)};
    return a;
}

class FacilityReader : public simtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        simWorld().addAirport(frankfurt());
    }
    void TearDown() override {
        gf_closeFacilityClient();
        SimTest::TearDown();
    }

    AirportFileHeader header;
    uint32_t helipads = 99;
};

TEST_F(FacilityReader, TheAirportGivesItsStandsAndHelipads) {
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    ASSERT_TRUE(header.icao.has_value());
    EXPECT_EQ(header.icao->text(), "EDDF");
    EXPECT_EQ(header.airportName, "Frankfurt Main");
    EXPECT_EQ(header.altitude, 364); // 111 m = 364.17 ft, truncated
    EXPECT_TRUE(header.facilities);
    EXPECT_EQ(helipads, 2u);

    // Types 0 and 13 are no stands; helipads follow the parkings here.
    std::vector<std::string> names;
    for (const auto& s : header.stands)
        names.push_back(s.id);
    EXPECT_EQ(names, (std::vector<std::string>{"12", "12a", "12b", "5", "helipad1", "helipad2"}));

    const StandRecord& first = header.stands[0];
    EXPECT_EQ(first.standId, 12u);
    EXPECT_EQ(first.type, 1);
    EXPECT_NEAR(first.heading, 3.141592653589793 / 2, 1e-12);
    EXPECT_NEAR(first.radius, 20.0 * kNmPerMetre, 1e-12);
    EXPECT_EQ(first.heli, 0);
    EXPECT_TRUE(first.options.empty() && first.adjacent.empty());
    EXPECT_EQ(header.stands[3].type, 4);

    const StandRecord& pad = header.stands[4];
    EXPECT_EQ(pad.heli, 1);
    EXPECT_EQ(pad.standId, 0u);
    EXPECT_EQ(pad.type, 0);
    EXPECT_EQ(pad.latitude, 50.04);
    EXPECT_EQ(pad.longitude, 8.56);
    EXPECT_NEAR(pad.heading, 3.141592653589793, 1e-12);
    EXPECT_NEAR(pad.radius, 14.0 * kNmPerMetre, 1e-9);              // type 2: 0.7 of the width
    EXPECT_NEAR(header.stands[5].radius, 10.0 * kNmPerMetre, 1e-9); // else half of it
}

TEST_F(FacilityReader, ParkingsLieAtTheirBiasFromTheReferencePoint) {
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    const GeoPosition reference{50.03, 8.57};
    // 50 m south.
    const GeoPosition south{header.stands[0].latitude, header.stands[0].longitude};
    EXPECT_NEAR(gf_distanceNm(reference, south) * 1852.0, 50.0, 0.01);
    EXPECT_LT(south.latitude, reference.latitude);
    EXPECT_NEAR(south.longitude, reference.longitude, 1e-9);
    // 100 m east.
    const GeoPosition east{header.stands[1].latitude, header.stands[1].longitude};
    EXPECT_NEAR(gf_distanceNm(reference, east) * 1852.0, 100.0, 0.01);
    EXPECT_GT(east.longitude, reference.longitude);
    EXPECT_NEAR(east.latitude, reference.latitude, 1e-6);
    // No bias: the reference point itself.
    EXPECT_EQ(header.stands[2].latitude, 50.03);
    EXPECT_EQ(header.stands[2].longitude, 8.57);
}

TEST_F(FacilityReader, TheConnectionIsOpenedOnceWithItsDefinition) {
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    ASSERT_TRUE(gf_readFacilityStands("eddf", header, helipads));
    EXPECT_EQ(simWorld().callsOf("SimConnect_Open").size(), 1u);
    const auto fields = simWorld().callsOf("SimConnect_AddToFacilityDefinition");
    ASSERT_EQ(fields.size(), 30u);
    EXPECT_EQ(fields.front().args, "1001,OPEN AIRPORT");
    EXPECT_EQ(fields[7].args, "1001,OPEN TAXI_PARKING");
    EXPECT_EQ(fields[19].args, "1001,OPEN HELIPAD");
    EXPECT_EQ(fields.back().args, "1001,CLOSE AIRPORT");
    for (const auto& f : fields)
        EXPECT_EQ(f.connection, "PARKING_DATA_RDR");
    gf_closeFacilityClient();
    EXPECT_FALSE(gFacilityClientOpen.load());
    EXPECT_TRUE(simtest::hasLine(log, "SimConnect (PARKING_DATA_RDR) closed"));
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    EXPECT_EQ(simWorld().callsOf("SimConnect_Open").size(), 2u);
}

TEST_F(FacilityReader, AnAirportWithoutStandsIsStillRead) {
    Airport empty;
    empty.icao = "EDDX";
    empty.name = "Nowhere";
    empty.parkings = {parking(1, 13)};
    simWorld().addAirport(empty);
    ASSERT_TRUE(gf_readFacilityStands("EDDX", header, helipads));
    EXPECT_TRUE(header.stands.empty());
    EXPECT_EQ(helipads, 0u);
    EXPECT_TRUE(simtest::hasLine(log, "Fac: EDDX has no stands"));
}

TEST_F(FacilityReader, OpeningOrRequestingThatFailsGivesFalse) {
    simWorld().quitSimulator();
    EXPECT_FALSE(gf_readFacilityStands("EDDF", header, helipads));
    EXPECT_TRUE(simtest::hasLine(log, "==> SimConnect_Open (PARKING_DATA_RDR) FAILED hr=0x80004005"));
    EXPECT_FALSE(gFacilityClientOpen.load());

    simWorld().startSimulator();
    simWorld().failCalls("SimConnect_RequestFacilityData");
    EXPECT_FALSE(gf_readFacilityStands("EDDF", header, helipads));
    EXPECT_TRUE(simtest::hasLine(log, "==> RequestFacilityData failed for EDDF"));
    EXPECT_FALSE(header.icao.has_value());
}

TEST_F(FacilityReader, AnAnswerWithoutAnEndGivesUpInTimeAndStartsAfresh) {
    Airport stuck = frankfurt();
    stuck.icao = "EGLL";
    stuck.answer = FacilityAnswer::NoEnd;
    simWorld().addAirport(stuck);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(gf_readFacilityStands("EGLL", header, helipads, std::chrono::milliseconds(200)));
    // Given up at the limit asked for, not at the default one fifty times as long.
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(200));
    EXPECT_LT(took, kFacilityWaitLimit);
    EXPECT_TRUE(simtest::hasLine(log, "==> ! Facility data of EGLL not read: no end of the answer in time"));
    EXPECT_FALSE(gFacilityClientOpen.load());
    EXPECT_TRUE(header.stands.empty());
    // The next read is not confused by what was left of that answer.
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    EXPECT_EQ(header.stands.size(), 6u);
}

TEST_F(FacilityReader, AStopOfTheRunOrALostSimulatorEndsTheWait) {
    Airport stuck = frankfurt();
    stuck.icao = "EGLL";
    stuck.answer = FacilityAnswer::NoEnd;
    simWorld().addAirport(stuck);
    gStopFlag.store(true);
    EXPECT_FALSE(gf_readFacilityStands("EGLL", header, helipads));
    // Ended by the stop, not by the time-out, whose line would say so.
    EXPECT_TRUE(simtest::hasLine(log, "==> ! Facility data of EGLL not read: the run stops"));
    gStopFlag.store(false);

    // The simulator quits while the answer is awaited.
    const std::size_t requests = simWorld().callsOf("SimConnect_RequestFacilityData").size();
    std::thread quitter([requests] {
        simtest::waitFor([requests] { return simWorld().callsOf("SimConnect_RequestFacilityData").size() > requests; });
        simWorld().quitSimulator();
    });
    EXPECT_FALSE(gf_readFacilityStands("EGLL", header, helipads));
    quitter.join();
    EXPECT_TRUE(simtest::hasLine(log, "==> ! Facility data of EGLL not read: the connection is lost"));
}

TEST_F(FacilityReader, AnExceptionOfTheSimulatorAsksForARestart) {
    Airport broken = frankfurt();
    broken.icao = "EHAM";
    broken.answer = FacilityAnswer::Exception;
    simWorld().addAirport(broken);
    try {
        gf_readFacilityStands("EHAM", header, helipads);
        ADD_FAILURE() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_STREQ(e.what(), "111: restart");
    }
    // The facility connection is closed, so nothing more of that answer reaches a later read.
    EXPECT_FALSE(gFacilityClientOpen.load());
    bool logged = false;
    for (const auto& line : log.lines())
        logged = logged || line.starts_with("==> SimConnect EXCEPTION id=1 sendID=");
    EXPECT_TRUE(logged);
}

TEST_F(FacilityReader, AnInvalidCodeIsRefusedBeforeAnythingIsAsked) {
    EXPECT_THROW(gf_readFacilityStands("ED", header, helipads), std::invalid_argument);
    EXPECT_TRUE(simWorld().callsOf("SimConnect_Open").empty());
}

TEST_F(FacilityReader, ABadItemIsLoggedAndTheOthersAreRead) {
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    // A parking item cut short arrives before the next answer.
    auto item = Record(SIMCONNECT_RECV_ID_FACILITY_DATA)
                    .u32(kFacilityRequest)
                    .u32(1)
                    .u32(0)
                    .u32(SIMCONNECT_FACILITY_DATA_TAXI_PARKING)
                    .u32(1)
                    .u32(0)
                    .u32(1)
                    .u32(1)
                    .u32(0)
                    .done();
    ASSERT_TRUE(simWorld().injectMessage("PARKING_DATA_RDR", item));
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    EXPECT_EQ(header.stands.size(), 6u);
    EXPECT_EQ(countLinesWith(log, "==> onRecvFacilityData exception: item of 48 bytes is too short"), 1);
}

TEST_F(FacilityReader, AnAirportNameThatFillsItsFieldIsReadWithinIt) {
    ASSERT_TRUE(gf_readFacilityStands("EDDF", header, helipads));
    const std::string name(32, 'N');
    auto item = Record(SIMCONNECT_RECV_ID_FACILITY_DATA)
                    .u32(kFacilityRequest)
                    .u32(1)
                    .u32(0)
                    .u32(SIMCONNECT_FACILITY_DATA_AIRPORT)
                    .u32(0)
                    .u32(0)
                    .u32(1)
                    .f64(1.0)
                    .f64(2.0)
                    .f64(3.0)
                    .bytes(name, 32)
                    .u32(0)
                    .u32(0)
                    .done();
    auto end = Record(SIMCONNECT_RECV_ID_FACILITY_DATA_END).u32(kFacilityRequest).done();
    ASSERT_TRUE(simWorld().injectMessage("PARKING_DATA_RDR", item));
    ASSERT_TRUE(simWorld().injectMessage("PARKING_DATA_RDR", end));
    ASSERT_TRUE(gf_readFacilityStands("ZZZZ", header, helipads));
    EXPECT_EQ(header.airportName, name);
    EXPECT_EQ(header.altitude, 9); // 3 m
}

TEST(StandNames, RepeatedNumbersGetLetterSuffixesAndHelipadsTheirOwnCount) {
    FacilityAirport airport;
    const auto add = [&](uint32_t number, bool heli) {
        StandRecord s;
        s.standId = number;
        s.heli = heli ? 1 : 0;
        airport.stands.push_back(s);
    };
    add(0, true);
    for (int i = 0; i < 29; ++i)
        add(3, false);
    add(0, true);
    add(4, false);
    uint32_t helipads = 0;
    lf_standName(airport, helipads);
    EXPECT_EQ(helipads, 2u);
    EXPECT_EQ(airport.stands[0].id, "helipad1");
    EXPECT_EQ(airport.stands[1].id, "3");
    EXPECT_EQ(airport.stands[2].id, "3a");
    EXPECT_EQ(airport.stands[27].id, "3z");
    EXPECT_EQ(airport.stands[28].id, "3aa");
    EXPECT_EQ(airport.stands[29].id, "3ab");
    EXPECT_EQ(airport.stands[30].id, "helipad2");
    EXPECT_EQ(airport.stands[31].id, "4");
}

} // namespace
