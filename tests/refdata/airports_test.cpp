#include "refdata/airports.hpp"

#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "core/user_error.hpp"
#include "refdata_test_support.hpp"

using namespace tamrix;
using refdatatest::anyLineContains;
using refdatatest::hasLine;

namespace {

const std::filesystem::path kXml = "input/airports.xml";

void writeAirports(const std::string& aps) {
    refdatatest::writeEncrypted(
        "input/airports.enc",
        fmt::format("<?xml version=\"1.0\"?><root><airports>{}</airports></root>", aps));
}

std::string readFailure() {
    try {
        gf_readAirports();
    } catch (const UserErrorException& e) {
        return e.what();
    }
    return "no exception";
}

FixedCode<4> code(std::string_view text) {
    return FixedCode<4>(text);
}

// A position `nm` nautical miles north of 50N 8E.
GeoPosition north(double nm) {
    return {50.0 + nm / 60.0, 8.0};
}

std::string apAt(std::string_view icao, double nm) {
    const GeoPosition p = north(nm);
    return fmt::format(R"(<ap c="{}" la="{}" lo="{}" a="300" s="10"/>)", icao, p.latitude, p.longitude);
}

} // namespace

TEST(ReadAirports, ReadsTheShippedFile) {
    testsupport::CapturedLog log;
    refdatatest::installShipped("airports.enc");
    ASSERT_TRUE(gf_readAirports());
    EXPECT_FALSE(std::filesystem::exists(kXml));
    EXPECT_GT(gAirports.size(), 4000u);
    EXPECT_TRUE(hasLine(log.lines(), fmt::format("{:5} airports read", gAirports.size())));
    EXPECT_FALSE(anyLineContains(log.lines(), "==>"));
    EXPECT_TRUE(std::is_sorted(gAirports.begin(), gAirports.end(),
                               [](const AirportRecord& a, const AirportRecord& b) {
                                   return a.icaoCode.text() < b.icaoCode.text();
                               }));
    EXPECT_EQ(gAirportCodes.size(), gAirports.size());

    const AirportRecord* fra = gf_findAirport(code("EDDF"));
    ASSERT_NE(fra, nullptr);
    EXPECT_EQ(fra->code3.text(), "FRA");
    EXPECT_NEAR(fra->latitude, 50.03, 0.05);
    EXPECT_NEAR(fra->longitude, 8.56, 0.05);
    EXPECT_NEAR(fra->airportAltitude, 364.0f, 1.0f);
    EXPECT_EQ(fra->standCount, 0);
    EXPECT_TRUE(gf_isKnownAirport(code("KJFK")));
    EXPECT_FALSE(gf_isKnownAirport(code("ZZZZ")));
    EXPECT_EQ(gf_findAirport(code("ZZZZ")), nullptr);

    // Later calls do not read again.
    std::filesystem::remove("input/airports.enc");
    EXPECT_TRUE(gf_readAirports());
}

TEST(ReadAirports, AttributesAndTheirDefaults) {
    testsupport::CapturedLog log;
    writeAirports(R"(
        <ap c="eddm" i="muc" la="48.35" lo="11.79" a="1487" s="250"/>
        <ap c="EDDF" la="50.03" lo="8.56" a="364"/>
        <ap c="EGLL" lo="-0.46" a="83" s="3"/>
        <ap c="EHAM" la="52.3" lo="4.76" s="4"/>
        <ap c="LFPG" i="CD" la="49.0" lo="2.55" a="392" s="5"/>
        <ap c="KJFK" la="north" lo="-73.78" a="13" s="6"/>
        <ap c="LOWW" la="+48.11" lo=" +16.57" a="183" s="7"/>
        <ap c="LOWS" la="+-47.79" lo="13.0" a="430" s="8"/>)");
    ASSERT_TRUE(gf_readAirports());
    ASSERT_EQ(gAirports.size(), 3u);
    EXPECT_EQ(gAirports[0].icaoCode.text(), "EDDF"); // sorted
    EXPECT_EQ(gAirports[0].code3.text(), "XXX");
    EXPECT_EQ(gAirports[0].standCount, 0);
    EXPECT_EQ(gAirports[1].icaoCode.text(), "EDDM");
    EXPECT_EQ(gAirports[1].code3.text(), "MUC");
    EXPECT_EQ(gAirports[1].standCount, 250);
    const auto lines = log.lines();
    EXPECT_TRUE(hasLine(lines, "==> Missing stands for airport 'EDDF'"));
    EXPECT_TRUE(hasLine(lines, "==> Missing latLons for airport 'EGLL'"));
    EXPECT_TRUE(hasLine(lines, "==> Missing alt for airport 'EHAM'"));
    EXPECT_TRUE(
        hasLine(lines, "Error storing airport 'LFPG' 'CD': 'CD' FixedCode: invalid string (length/charset)"));
    EXPECT_TRUE(hasLine(lines, "==> Invalid latLons for airport 'KJFK': 'north' '-73.78'"));
    // A number may carry its plus sign, but only one sign.
    EXPECT_EQ(gAirports[2].icaoCode.text(), "LOWW");
    EXPECT_DOUBLE_EQ(gAirports[2].latitude, 48.11);
    EXPECT_DOUBLE_EQ(gAirports[2].longitude, 16.57);
    EXPECT_TRUE(hasLine(lines, "==> Invalid latLons for airport 'LOWS': '+-47.79' '13.0'"));
    EXPECT_TRUE(hasLine(lines, "    3 airports read"));
}

TEST(ReadAirports, ABadCodeEndsTheReadWithCode88) {
    testsupport::CapturedLog log;
    writeAirports(R"(<ap c="EDDF" la="50" lo="8" a="364" s="1"/><ap c="EDD" la="50" lo="8" a="1" s="1"/>)");
    EXPECT_EQ(readFailure(), "88: 'EDD' FixedCode: invalid string (length/charset)");
    EXPECT_FALSE(std::filesystem::exists(kXml));
    EXPECT_TRUE(gAirports.empty());
    EXPECT_FALSE(gf_isKnownAirport(code("EDDF")));

    writeAirports(R"(<ap la="50" lo="8" a="364" s="1"/>)");
    EXPECT_EQ(readFailure(), "88: '' FixedCode: invalid string (length/charset)");
    // A good file read later fills the table.
    writeAirports(R"(<ap c="EDDF" la="50" lo="8" a="364" s="1"/>)");
    EXPECT_TRUE(gf_readAirports());
    EXPECT_EQ(gAirports.size(), 1u);
}

TEST(ReadAirports, UnloadableFilesFailWithCode88) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted("input/airports.enc", "<root><airports>");
    EXPECT_EQ(readFailure().rfind("88: input/airports.xml not loaded: ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(kXml));

    refdatatest::writeEncrypted("input/airports.enc", "<root><other/></root>");
    EXPECT_EQ(readFailure(), "88: Missing <airports> root in: input/airports.xml");
    EXPECT_FALSE(std::filesystem::exists(kXml));
}

TEST(ReadAirports, AnEmptyTableIsFalse) {
    testsupport::CapturedLog log;
    writeAirports("");
    EXPECT_FALSE(gf_readAirports());
    EXPECT_FALSE(std::filesystem::exists(kXml));
}

class AirportTable : public ::testing::Test {
protected:
    testsupport::CapturedLog log;
};

TEST_F(AirportTable, CodesInsideTexts) {
    writeAirports(apAt("EDDF", 0) + apAt("EDDM", 1) + apAt("KJFK", 2));
    ASSERT_TRUE(gf_readAirports());
    gRtAirportCodes = {code("EDDF"), code("EDDM"), code("LOWW"), code("LSZH")};

    EXPECT_EQ(gf_findAirportCodeIn("Flight to EDDF/EDDM"), code("EDDF"));
    EXPECT_EQ(gf_findAirportCodeIn("flytampa-eddm-munich"), code("EDDM"));
    EXPECT_EQ(gf_findAirportCodeIn("Community\\lsf-lszh\\scenery eddm"), code("EDDM"));
    // Supported but unknown words: the last one.
    EXPECT_EQ(gf_findAirportCodeIn("LOWW and LSZH"), code("LSZH"));
    // Known but not supported: nothing.
    EXPECT_FALSE(gf_findAirportCodeIn("KJFK"));
    // Only whole words of exactly four letters or digits.
    EXPECT_FALSE(gf_findAirportCodeIn("KJFKX EDDFF XEDDM"));
    EXPECT_FALSE(gf_findAirportCodeIn(""));
    EXPECT_EQ(gf_findAirportCodeIn("\xC3\x84"
                                   "EDDF\xC3\xA4"),
              code("EDDF"));
}

TEST_F(AirportTable, ClosestAirportWithinFiveMiles) {
    writeAirports(apAt("EDDF", 1) + apAt("EDDM", 30));
    ASSERT_TRUE(gf_readAirports());
    const AirportRecord* found = gf_closestAirport(north(0));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->icaoCode, code("EDDF"));
    EXPECT_EQ(gf_closestAirport(north(6.5)), nullptr);
    EXPECT_EQ(gf_closestAirport(north(25.5))->icaoCode, code("EDDM"));
    EXPECT_FALSE(anyLineContains(log.lines(), "neighbour"));
}

namespace {
// Stand distances per airport for the neighbour rule.
double gStandNmEGAA = 100.0;
double gStandNmEGBB = 100.0;
double standDistance(const FixedCode<4>& airport, GeoPosition, std::string& standName) {
    standName = airport.text() + "-A1";
    return airport == FixedCode<4>("EGAA") ? gStandNmEGAA : gStandNmEGBB;
}
} // namespace

// Two airports within range: the nearer is chosen, the other is its neighbour, whatever their
// order in the table, and the neighbour wins when one of its stands is nearer.
TEST_F(AirportTable, TheNeighbourRuleDoesNotDependOnTableOrder) {
    // EGAA is 2 nm away and first in the table, EGBB 3 nm, EGCC 4 nm.
    writeAirports(apAt("EGAA", 2) + apAt("EGBB", -3) + apAt("EGCC", 4));
    ASSERT_TRUE(gf_readAirports());
    gf_setClosestStandReader(standDistance);

    gStandNmEGAA = 0.5;
    gStandNmEGBB = 0.8;
    EXPECT_EQ(gf_closestAirport(north(0))->icaoCode, code("EGAA"));
    EXPECT_TRUE(hasLine(log.lines(), "Airport EGAA is closest, neighbour is EGBB"));

    gStandNmEGBB = 0.1;
    EXPECT_EQ(gf_closestAirport(north(0))->icaoCode, code("EGBB"));
    EXPECT_TRUE(hasLine(log.lines(), "Airport EGAA is closest, but stand EGBB-A1 at neighbouring airport "
                                     "EGBB is closer at 185 meters ..."));
    gf_setClosestStandReader(nullptr);
}

TEST_F(AirportTable, WithoutStandDistancesTheNearerAirportStays) {
    writeAirports(apAt("EGAA", 3) + apAt("EGBB", 2));
    ASSERT_TRUE(gf_readAirports());
    EXPECT_EQ(gf_closestAirport(north(0))->icaoCode, code("EGBB"));
    EXPECT_TRUE(hasLine(log.lines(), "Airport EGBB is closest, neighbour is EGAA"));
}
