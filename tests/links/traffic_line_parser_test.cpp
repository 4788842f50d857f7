#include <cmath>
#include <numbers>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/time_texts.hpp"
#include "link_test_support.hpp"
#include "reader_test_support.hpp"
#include "links/park_airport.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"

using namespace tamrix;
using linktest::line;
using linktest::validFields;

namespace {

enum F : std::size_t {
    kKey = 1, kLat = 2, kLon = 3, kAlt = 4, kVs = 5, kTrack = 7, kGs = 8, kCallsign = 9, kType = 10,
    kReg = 11, kOrigin = 12, kDest = 13, kTime = 14, kSource = 17, kTas = 20, kRoll = 23, kHeading = 25,
    kCategory = 28,
};

class TrafficLineParser : public ::testing::Test {
protected:
    void SetUp() override {
        linktest::resetTrafficLinks();
        gf_openTrafficGate();
        gf_clearTrafficIntake();
        reader.setUserPosition({linktest::kUserLatitude, linktest::kUserLongitude});
        reader.qnh.store(1013);
        reader.setParkAirportElevation(std::nullopt);
        gf_clearParkAirport();
        AIRBORNE_ONLY.current.store(false);
        gLiveTrafficTick.store(500);
        gLastTrafficTime.store(0.0);
    }

    std::optional<TrafficLine> parse(const std::vector<std::string>& fields) {
        gf_clearTrafficIntake();
        reader.interpret(line(fields));
        std::vector<TrafficLine> out;
        gf_takeTrafficLines(2, out);
        EXPECT_LE(out.size(), 1u);
        if (out.empty()) return std::nullopt;
        return std::move(out.front());
    }

    // A line with one field changed.
    std::optional<TrafficLine> parseWith(std::size_t index, std::string value) {
        auto fields = validFields();
        fields[index] = std::move(value);
        return parse(fields);
    }

    std::vector<std::string> errors() const { return linktest::linesWith(log, "exception in processLineSub: "); }

    // A park airport at the given place, 20 ft elevation.
    static void parkAirportAt(double latitude, double longitude) {
        gf_setParkAirport({FixedCode<4>("EDDF"), {latitude, longitude}, 20.0f});
    }

    testsupport::CapturedLog log;
    TrafficReader& reader = gf_trafficReader();
};

TEST_F(TrafficLineParser, AValidLineBecomesATrafficLine) {
    const auto parsed = parse(validFields());
    ASSERT_TRUE(parsed);
    const TrafficLine& l = *parsed;
    EXPECT_EQ(l.hexid, 11000001u);
    EXPECT_DOUBLE_EQ(l.timeStamp, 1700000000.5);
    EXPECT_DOUBLE_EQ(gLastTrafficTime.load(), 1700000000.5);
    EXPECT_EQ(l.head.callsign, "DLH4AB");
    EXPECT_EQ(l.head.registration, "D-AIZZ");
    EXPECT_EQ(l.head.origin.text(), "FRA");
    EXPECT_EQ(l.head.destination.text(), "MUC");
    EXPECT_EQ(l.head.liveryKey.modelIndex, gf_modelIndex("A320"));
    EXPECT_EQ(l.head.liveryKey.operatorIndex, 0);
    EXPECT_TRUE(l.head.secondText.empty());
    EXPECT_DOUBLE_EQ(l.sample.latitude, 50.0);
    EXPECT_DOUBLE_EQ(l.sample.longitude, 8.65);
    EXPECT_DOUBLE_EQ(l.sample.altitude, 4993.25);  // QNH 1013 against the standard 1013.25
    EXPECT_DOUBLE_EQ(l.reportedAltitude, 5000.0);  // as received
    EXPECT_EQ(l.sample.airborne, 1);
    EXPECT_DOUBLE_EQ(l.sample.groundSpeed, 250.0);
    EXPECT_DOUBLE_EQ(l.sample.track, 90.0);
    EXPECT_DOUBLE_EQ(l.sample.verticalSpeed, 1800.0);
    EXPECT_DOUBLE_EQ(l.sample.trueAirspeed, 220.0);  // not given: the default of its band
    EXPECT_EQ(l.sample.dueTick, 3500u);
    EXPECT_EQ(l.sample.generated, 0);
    EXPECT_EQ(l.sample.headingKnown, 1);
    ASSERT_TRUE(l.sample.trueHeading);
    EXPECT_DOUBLE_EQ(*l.sample.trueHeading, 90.0 * kDegToRad);
    EXPECT_FALSE(l.sample.bank);
    EXPECT_TRUE(errors().empty());
}

TEST_F(TrafficLineParser, GroundVehicleLinesAreIgnored) {
    auto fields = validFields();
    fields[kCallsign] = "SAFETY VEH";
    EXPECT_FALSE(parse(fields));
    fields[kCallsign] = "VEH1";
    EXPECT_TRUE(parse(fields));
    EXPECT_TRUE(errors().empty());
}

TEST_F(TrafficLineParser, AircraftKeyRules) {
    EXPECT_FALSE(parseWith(kKey, "10000"));  // keys up to 10000 are static aircraft
    EXPECT_TRUE(parseWith(kKey, "10001"));
    EXPECT_FALSE(parseWith(kKey, "12ab"));   // key 12
    EXPECT_TRUE(errors().empty());
    EXPECT_FALSE(parseWith(kKey, "ab12"));
    EXPECT_FALSE(parseWith(kKey, "4294967296"));
    EXPECT_FALSE(parseWith(kKey, "-11000001"));
    EXPECT_EQ(errors(), (std::vector<std::string>{"exception in processLineSub: hexid incorrectab12",
                                                  "exception in processLineSub: hexid incorrect4294967296",
                                                  "exception in processLineSub: hexid incorrect-11000001"}));
}

TEST_F(TrafficLineParser, PositionBoundsAndTheNullIsland) {
    auto fields = validFields();
    fields[kLat] = "90";
    fields[kLon] = "-180";
    EXPECT_FALSE(parse(fields));  // valid, but far out of range
    fields[kLat] = "0.00005";
    fields[kLon] = "1.0";
    EXPECT_FALSE(parse(fields));
    EXPECT_TRUE(errors().empty());

    fields[kLat] = "90.0001";
    fields[kLon] = "8.65";
    EXPECT_FALSE(parse(fields));
    fields[kLat] = "0.00005";
    fields[kLon] = "0.00005";
    EXPECT_FALSE(parse(fields));
    fields[kLat] = "50";
    fields[kLon] = "-180.5";
    EXPECT_FALSE(parse(fields));
    EXPECT_EQ(errors(), (std::vector<std::string>{"exception in processLineSub: invalid lalo: 90.000100,8.650000",
                                                  "exception in processLineSub: invalid lalo: 0.000050,0.000050",
                                                  "exception in processLineSub: invalid lalo: 50.000000,-180.500000"}));
}

TEST_F(TrafficLineParser, TargetsBeyondTheRadiusAreDroppedSilently) {
    const double radius = gRangeNm.load();
    const GeoPosition user{linktest::kUserLatitude, linktest::kUserLongitude};
    const auto at = [&](double nm) {
        const GeoPosition p = gf_destinationPoint(user, 0.0, nm * 6076.115485564304);
        auto fields = validFields();
        fields[kLat] = fmt::format("{:.9f}", p.latitude);
        fields[kLon] = fmt::format("{:.9f}", p.longitude);
        return parse(fields);
    };
    EXPECT_TRUE(at(radius - 0.1));
    EXPECT_FALSE(at(radius + 0.1));
    EXPECT_TRUE(errors().empty());
}

TEST_F(TrafficLineParser, RegistrationAndCallsignRules) {
    EXPECT_FALSE(parseWith(kReg, "ABCDEFGHIJKLM"));  // 13 characters
    EXPECT_EQ(parseWith(kReg, "ABCDEFGHIJKL")->head.registration, "ABCDEFGHIJKL");
    EXPECT_TRUE(parseWith(kReg, "null")->head.registration.empty());

    for (const char* test : {"TEST", "ERARMTR0", "ERARMTR1", "AIRPORT1", "00000000", "TR852"})
        EXPECT_FALSE(parseWith(kCallsign, test)) << test;
    EXPECT_EQ(parseWith(kCallsign, "TEST1")->head.callsign, "TEST1");
    EXPECT_TRUE(parseWith(kCallsign, "null")->head.callsign.empty());

    // A callsign with '@' is no callsign: the registration alone must identify the aircraft.
    EXPECT_TRUE(parseWith(kCallsign, "DLH@4")->head.callsign.empty());
    auto fields = validFields();
    fields[kCallsign] = "DLH@4";
    fields[kReg] = "null";
    EXPECT_FALSE(parse(fields));
    EXPECT_TRUE(errors().empty());
}

TEST_F(TrafficLineParser, CallsignsAreCollectedBeforeLaterDrops) {
    reader.startCallsignCollection();
    parseWith(kCallsign, "TEST");   // dropped later, collected all the same
    parseWith(kCallsign, "BAW12");
    parseWith(kCallsign, "null");
    parseWith(kCallsign, "A@B");
    parseWith(kType, "GLID");       // no aircraft, collected as well
    EXPECT_TRUE(reader.collectingCallsigns());
    const auto taken = reader.takeCallsigns();
    EXPECT_FALSE(reader.collectingCallsigns());
    EXPECT_EQ(taken, (std::unordered_set<std::string>{"TEST", "BAW12", "DLH4AB"}));
    parseWith(kCallsign, "EZY1");
    EXPECT_TRUE(reader.takeCallsigns().empty());  // not collecting
}

TEST_F(TrafficLineParser, NonAircraftTargetsAreDroppedSilently) {
    EXPECT_FALSE(parseWith(kType, "GLID"));
    EXPECT_FALSE(parseWith(kType, "null"));
    EXPECT_FALSE(parseWith(kCategory, "B2"));
    EXPECT_TRUE(parseWith(kCategory, "B3"));
    EXPECT_TRUE(errors().empty());
}

TEST_F(TrafficLineParser, TrueHeadingRules) {
    auto heading = [&](std::string value) { return parseWith(kHeading, std::move(value))->sample; };
    EXPECT_DOUBLE_EQ(*heading("0").trueHeading, 2.0 * std::numbers::pi);
    EXPECT_EQ(heading("0").headingKnown, 1);
    EXPECT_DOUBLE_EQ(*heading("360").trueHeading, 2.0 * std::numbers::pi);
    EXPECT_FALSE(heading("-5").trueHeading);
    EXPECT_EQ(heading("-5").headingKnown, 0);
    EXPECT_TRUE(errors().empty());

    EXPECT_FALSE(parseWith(kHeading, "360.5"));
    EXPECT_FALSE(parseWith(kHeading, "north"));
    EXPECT_EQ(errors(), (std::vector<std::string>{"exception in processLineSub: trueheading: 360.50",
                                                  "exception in processLineSub: trueheading:north"}));

    // Only ADS-B targets carry a true heading; the field is not read otherwise.
    auto fields = validFields();
    fields[kSource] = "mlat";
    fields[kHeading] = "north";
    const auto parsed = parse(fields);
    ASSERT_TRUE(parsed);
    EXPECT_FALSE(parsed->sample.trueHeading);
    EXPECT_EQ(parsed->sample.headingKnown, 0);
}

TEST_F(TrafficLineParser, TrackFallsBackOnTheTrueHeading) {
    EXPECT_DOUBLE_EQ(parseWith(kTrack, "")->sample.track, 90.0);  // from the true heading of 90
    auto fields = validFields();
    fields[kTrack] = "";
    fields[kSource] = "mlat";
    EXPECT_DOUBLE_EQ(parse(fields)->sample.track, 0.0);
    EXPECT_FALSE(parseWith(kTrack, "abc"));
    EXPECT_EQ(errors(), std::vector<std::string>{"exception in processLineSub: track incorrect abc"});
}

TEST_F(TrafficLineParser, TrueAirspeedDefaultsByAltitude) {
    auto tasAt = [&](const char* altitude) {
        auto fields = validFields();
        fields[kAlt] = altitude;
        return parse(fields)->sample.trueAirspeed;
    };
    EXPECT_DOUBLE_EQ(tasAt("2006"), 180.0);   // 1999.25 ft after the QNH correction
    EXPECT_DOUBLE_EQ(tasAt("2006.75"), 180.0); // exactly 2,000 ft: the lowest band still
    EXPECT_DOUBLE_EQ(tasAt("2007"), 220.0);    // 2,000.25 ft
    EXPECT_DOUBLE_EQ(tasAt("3000"), 220.0);
    EXPECT_DOUBLE_EQ(tasAt("9000"), 250.0);
    EXPECT_DOUBLE_EQ(tasAt("15000"), 350.0);
    EXPECT_DOUBLE_EQ(tasAt("25000"), 430.0);
    EXPECT_DOUBLE_EQ(parseWith(kTas, "310")->sample.trueAirspeed, 310.0);
    EXPECT_FALSE(parseWith(kTas, "fast"));
    EXPECT_EQ(errors(), std::vector<std::string>{"exception in processLineSub: TAS incorrectfast"});
}

TEST_F(TrafficLineParser, BankOfAirborneTargetsOnly) {
    EXPECT_DOUBLE_EQ(*parseWith(kRoll, "10")->sample.bank, -10.0 * kDegToRad);
    EXPECT_FALSE(parseWith(kRoll, "-1")->sample.bank);
    EXPECT_FALSE(parseWith(kRoll, "0")->sample.bank);

    parkAirportAt(50.0, 8.65);
    auto fields = validFields();
    fields[kAlt] = "0";
    fields[kGs] = "10";
    fields[kRoll] = "banked";  // not read on the ground
    const auto parsed = parse(fields);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->sample.airborne, 0);
    EXPECT_FALSE(parsed->sample.bank);
    EXPECT_TRUE(errors().empty());
}

TEST_F(TrafficLineParser, AltitudeCorrectionAndGroundDetection) {
    reader.qnh.store(1023);
    EXPECT_DOUBLE_EQ(parse(validFields())->sample.altitude, 5263.25);
    reader.qnh.store(1013);

    parkAirportAt(50.0, 8.65);
    auto fields = validFields();
    fields[kAlt] = "100";
    fields[kGs] = "30";
    const auto slow = parse(fields);
    EXPECT_DOUBLE_EQ(slow->sample.altitude, 0.0);  // slow: on the ground
    EXPECT_DOUBLE_EQ(slow->reportedAltitude, 100.0);
    fields[kAlt] = "-50";
    fields[kGs] = "150";
    EXPECT_DOUBLE_EQ(parse(fields)->sample.altitude, 0.0);

    // 60 ft at 100 kt (53.25 ft corrected), level: airborne without the airport's elevation, on
    // the ground 33.25 ft above an airport at 20 ft.
    fields[kAlt] = "60";
    fields[kGs] = "100";
    fields[kVs] = "0";
    EXPECT_DOUBLE_EQ(parse(fields)->sample.altitude, 53.25);
    reader.setParkAirportElevation(20.0);
    const auto ground = parse(fields);
    EXPECT_DOUBLE_EQ(ground->sample.altitude, 0.0);
    EXPECT_EQ(ground->sample.airborne, 0);
    // At the field's elevation (26.75 ft corrected to 20) on the ground at any speed; above it,
    // fast, in the air.
    fields[kGs] = "150";
    fields[kAlt] = "26.75";
    EXPECT_EQ(parse(fields)->sample.airborne, 0);
    fields[kAlt] = "27";
    EXPECT_EQ(parse(fields)->sample.airborne, 1);

    // The vertical speed plays no part: a light aircraft 80 ft above the airport at 70 kt is on
    // the ground by the bands even while it descends at 370 ft/min (the air step follows that
    // descent), and so is a noisy climb of 300 ft/min reported 20 ft above the field at 50 kt on
    // a landing roll, which thus also meets the ground targets' 5 nm rule.
    fields[kAlt] = "107";
    fields[kGs] = "70";
    fields[kVs] = "-370";
    const auto final = parse(fields);
    ASSERT_TRUE(final);
    EXPECT_EQ(final->sample.airborne, 0);
    fields[kAlt] = "47";
    fields[kGs] = "50";
    fields[kVs] = "300";
    const auto noisy = parse(fields);
    ASSERT_TRUE(noisy);
    EXPECT_EQ(noisy->sample.airborne, 0);
    parkAirportAt(50.1, 8.65); // 6 nm away
    EXPECT_FALSE(parse(fields));

    EXPECT_FALSE(parseWith(kAlt, "high"));
    EXPECT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0].rfind("exception in processLineSub: altitude high incorrect, from: RTF,11000001,", 0), 0u);
}

TEST_F(TrafficLineParser, RotorcraftAreOnTheGroundByTheirHeightAlone) {
    const uint16_t helicopter = gf_modelIndex("EC35");
    gRotorcraftModels.insert(helicopter);
    parkAirportAt(50.0, 8.65);
    reader.setParkAirportElevation(20.0);
    auto fields = validFields();
    fields[kType] = "EC35";
    fields[kVs] = "0";
    // Hovering 300 ft above the field, and circling at 30 kt: in the air.
    fields[kAlt] = "327";
    fields[kGs] = "0";
    const auto hover = parse(fields);
    fields[kGs] = "30";
    const auto circling = parse(fields);
    // 30 ft above the field, however fast: on the ground.
    fields[kAlt] = "57";
    fields[kGs] = "60";
    const auto low = parse(fields);
    // Slow between 42 and 108 ft above the field, where an aeroplane is on the ground by the
    // height and speed bands: in the air.
    std::vector<std::optional<TrafficLine>> slowAndLow;
    for (const auto& [alt, gs] : {std::pair{"72", "10"}, {"87", "50"}, {"127", "40"}}) {
        fields[kAlt] = alt;
        fields[kGs] = gs;
        slowAndLow.push_back(parse(fields));
    }
    // An aeroplane hovering there would be on the ground by its speed.
    fields[kType] = "A320";
    fields[kAlt] = "327";
    fields[kGs] = "30";
    const auto slowPlane = parse(fields);
    fields[kAlt] = "127";
    fields[kGs] = "40";
    const auto lowPlane = parse(fields);
    gRotorcraftModels.erase(helicopter);
    ASSERT_TRUE(hover && circling && low && slowPlane);
    EXPECT_EQ(hover->sample.airborne, 1);
    EXPECT_DOUBLE_EQ(hover->sample.altitude, 320.25);
    EXPECT_EQ(circling->sample.airborne, 1);
    EXPECT_EQ(low->sample.airborne, 0);
    EXPECT_EQ(slowPlane->sample.airborne, 0);
    ASSERT_TRUE(lowPlane);
    EXPECT_EQ(lowPlane->sample.airborne, 0);
    for (const auto& l : slowAndLow) {
        ASSERT_TRUE(l);
        EXPECT_EQ(l->sample.airborne, 1) << l->sample.altitude << " ft, " << l->sample.groundSpeed << " kt";
    }
}

TEST_F(TrafficLineParser, AirborneOnlyKeepsTargetsWellAboveTheParkAirport) {
    AIRBORNE_ONLY.current.store(true);
    auto fields = validFields();
    fields[kGs] = "200";
    fields[kAlt] = "157";  // 150.25 ft above sea level without a park airport
    EXPECT_TRUE(parse(fields));
    fields[kAlt] = "156";
    EXPECT_FALSE(parse(fields));
    parkAirportAt(50.0, 8.65);  // elevation 20 ft
    fields[kAlt] = "177";
    EXPECT_TRUE(parse(fields));
    fields[kAlt] = "176";
    EXPECT_FALSE(parse(fields));
}

TEST_F(TrafficLineParser, GroundTargetsOnlyNearTheParkAirport) {
    auto fields = validFields();
    fields[kAlt] = "0";
    fields[kGs] = "12";
    EXPECT_FALSE(parse(fields));  // no park airport

    const GeoPosition target{50.0, 8.65};
    const auto parkAirportAway = [&](double nm) {
        const GeoPosition park = gf_destinationPoint(target, 1.0, nm * 6076.115485564304);
        parkAirportAt(park.latitude, park.longitude);
    };
    parkAirportAway(4.999);
    EXPECT_TRUE(parse(fields));
    parkAirportAway(5.1);
    EXPECT_FALSE(parse(fields));
    EXPECT_TRUE(errors().empty());
}

TEST_F(TrafficLineParser, AirportCodes) {
    EXPECT_EQ(parseWith(kOrigin, "fra")->head.origin.text(), "FRA");
    EXPECT_FALSE(parseWith(kDest, "null")->head.destination.isSet());
    EXPECT_FALSE(parseWith(kOrigin, "EDDF"));
    EXPECT_FALSE(parseWith(kDest, ""));
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "exception in processLineSub: 'EDDF' FixedCode: invalid string (length/charset)",
                            "exception in processLineSub: '' FixedCode: invalid string (length/charset)"}));
}

TEST_F(TrafficLineParser, BadNumbersAreNamedInTheLog) {
    EXPECT_FALSE(parseWith(kLat, "north"));
    EXPECT_FALSE(parseWith(kLon, "+8.5"));  // no plus sign
    EXPECT_FALSE(parseWith(kGs, ""));
    EXPECT_FALSE(parseWith(kVs, " 5"));     // no leading blank
    EXPECT_FALSE(parseWith(kRoll, "x"));
    EXPECT_FALSE(parseWith(kTime, "noon"));
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "exception in processLineSub: lat:north", "exception in processLineSub: lon:+8.5",
                            "exception in processLineSub: gs:", "exception in processLineSub: vs: 5",
                            "exception in processLineSub: roll:x", "exception in processLineSub: timestamp:noon"}));
    // Only a leading number is needed.
    EXPECT_DOUBLE_EQ(parseWith(kGs, "250kt")->sample.groundSpeed, 250.0);
}

TEST_F(TrafficLineParser, NonFiniteNumbersAreRejected) {
    gLastTrafficTime.store(42.0);
    EXPECT_FALSE(parseWith(kTime, "nan"));
    EXPECT_FALSE(parseWith(kTime, "inf"));
    EXPECT_DOUBLE_EQ(gLastTrafficTime.load(), 42.0);  // never stored
    EXPECT_FALSE(parseWith(kLat, "NaN"));
    EXPECT_FALSE(parseWith(kGs, "infinity"));
    EXPECT_FALSE(parseWith(kAlt, "-inf"));
    EXPECT_FALSE(parseWith(kTas, "nan"));
    EXPECT_FALSE(parseWith(kVs, "1e999"));
    const auto e = errors();
    ASSERT_EQ(e.size(), 7u);
    EXPECT_EQ(e[0], "exception in processLineSub: timestamp:nan");
    EXPECT_EQ(e[1], "exception in processLineSub: timestamp:inf");
    EXPECT_EQ(e[2], "exception in processLineSub: lat:NaN");
    EXPECT_EQ(e[3], "exception in processLineSub: gs:infinity");
    EXPECT_EQ(e[4].rfind("exception in processLineSub: altitude -inf incorrect, from: ", 0), 0u);
    EXPECT_EQ(e[5], "exception in processLineSub: TAS incorrectnan");
    EXPECT_EQ(e[6], "exception in processLineSub: vs:1e999");
}

TEST_F(TrafficLineParser, ShortLinesAreRejectedAndTheNextLineIsRead) {
    auto fields = validFields();
    fields.pop_back();
    EXPECT_FALSE(parse(fields));
    EXPECT_FALSE(parse({"just one field"}));
    EXPECT_TRUE(parse(validFields()));
    EXPECT_EQ(errors(), (std::vector<std::string>{"exception in processLineSub: too few fields: 28",
                                                  "exception in processLineSub: too few fields: 1"}));
    EXPECT_DOUBLE_EQ(gLastTrafficTime.load(), 1700000000.5);
}

TEST_F(TrafficLineParser, TheTimeStampChangesEvenWhenTheLineIsDropped) {
    gf_shutTrafficGate();
    auto fields = validFields();
    fields[kTime] = "1700000123.25";
    EXPECT_FALSE(parse(fields));  // gate shut
    EXPECT_DOUBLE_EQ(gLastTrafficTime.load(), 1700000123.25);
    fields[kTime] = "1700000124";
    fields[kLat] = "55";  // out of range
    gf_openTrafficGate();
    EXPECT_FALSE(parse(fields));
    EXPECT_DOUBLE_EQ(gLastTrafficTime.load(), 1700000124.0);
}

// A time stamp outside any time of live traffic is the field's error: the simulator clock and the
// wait for the first traffic follow the last one stored.
TEST_F(TrafficLineParser, TimeStampsOutsideLiveTrafficAreRejected) {
    gLastTrafficTime.store(1700000000.0);
    for (const char* time : {"1e300", "0", "-5", "946684799.5", "4102444800"})
        EXPECT_FALSE(parseWith(kTime, time)) << time;
    EXPECT_DOUBLE_EQ(gLastTrafficTime.load(), 1700000000.0);
    EXPECT_EQ(errors().front(), "exception in processLineSub: timestamp:1e300");
    EXPECT_EQ(errors().size(), 5u);
    EXPECT_TRUE(parseWith(kTime, "946684800"));
    EXPECT_TRUE(parseWith(kTime, "4102444799.5"));
}

// Long callsigns are cut, never inside a UTF-8 sequence, in the line and in the collected set.
TEST_F(TrafficLineParser, LongCallsignsAreCut) {
    reader.startCallsignCollection();
    EXPECT_EQ(parseWith(kCallsign, "ABCDEFGHIJKLMNOPQRSTUVWXYZ")->head.callsign, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(parseWith(kCallsign, "ABCDEFGHIJKLMNO\xC3\xA9XYZ")->head.callsign, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(parseWith(kCallsign, "DLH4AB")->head.callsign, "DLH4AB");
    EXPECT_EQ(reader.takeCallsigns(),
              (std::unordered_set<std::string>{"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO", "DLH4AB"}));
    EXPECT_FALSE(parseWith(kCallsign, "TEST"));
}

// A sender of nothing but bad lines must not flood the log: a burst is logged up to the share of
// its window, each line cut, and the rest as one line with its count once the window is over.
TEST_F(TrafficLineParser, ABurstOfBadLinesIsLoggedWithACount) {
    auto fields = validFields();
    fields[kAlt] = std::string(8000, '9') + "x";  // a bad field that the error text repeats whole
    for (int i = 0; i < 25; ++i) EXPECT_FALSE(parse(fields));
    const auto logged = errors();
    ASSERT_EQ(logged.size(), BadDatagramLog::kLinesPerWindow);
    for (const auto& l : logged) EXPECT_LE(l.size(), BadDatagramLog::kMaxTextBytes + 4);
    EXPECT_TRUE(logged.front().ends_with(" ..."));

    reader.badDatagrams().flush(BadDatagramLog::Clock::now() + BadDatagramLog::kWindow);
    const auto counted = linktest::linesWith(log, "Traffic Reader: 15 more bad datagrams in ");
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_NE(counted[0].find(" s not logged, the last: exception in processLineSub: altitude 999"), std::string::npos);
    // The next window logs again.
    EXPECT_FALSE(parseWith(kLat, "north"));
    EXPECT_EQ(linktest::linesWith(log, "exception in processLineSub: lat:north").size(), 1u);
}

// A traffic line's model code that nobody knows is taken within the share of outside data.
TEST_F(TrafficLineParser, UnknownTypesAreTakenAsReportedCodes) {
    const std::size_t before = gModelCodes.reportedCount();
    const auto parsed = parseWith(kType, "QZ7R");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(gModelCodes.text(parsed->head.liveryKey.modelIndex), "QZ7R");
    EXPECT_EQ(gModelCodes.reportedCount(), before + 1);
}

} // namespace
