// The aircraft.cfg line parsers: the hand-written key matcher must agree with the key patterns
// the packages are written against, stay linear on huge lines, and apply the key rules.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "liveries/aircraft_cfg_parser.hpp"
#include "liveries/stock_aircraft.hpp"

namespace {

using namespace tamrix;

const std::vector<std::string> kLines{
    "title=A",          " title = A B ",      "TITLE\t=\tx\r",        "Title=\"q\"",        "title=",
    "title= ",          "; title=A",          "titles=A",             "title =\r\nA",        "title=a\rb",
    "title=a\r\n",      "  title  =  a  b  ", "title==",              "title=\x01",          "\vtitle\f=\va\v",
    "title",            "",                   "title=\xc3\xa9t\xc3\xa9", "title= a\tb \t ",  "xtitle=a",
    "title=a\nb",       "title=\n",           "ti tle=a",             "title=\"a\" // c",   "=a",
};

TEST(ScanParser, KeyMatcherAgreesWithThePattern) {
    for (const std::string key : {"title", "texture", "icao_airline", "atc_id"}) {
        const std::regex pattern("\\s*(" + key + ")\\s*=\\s*(.*\\S)\\s*", std::regex::ECMAScript | std::regex::icase);
        for (std::string line : kLines) {
            if (line.starts_with("title")) line.replace(0, 5, key);
            std::smatch match;
            const std::string expected = std::regex_match(line, match, pattern) ? match[2].str() : std::string();
            EXPECT_EQ(lf_cfgValue(line, key), expected) << key << " in '" << line << "'";
        }
    }
    const std::regex header("\\s*(\\[fltsim\\.)(\\d+)\\]\\s*", std::regex::ECMAScript | std::regex::icase);
    for (const std::string line : {"[fltsim.0]", " [FltSim.012] \r", "[fltsim.]", "[fltsim.-1]", "[fltsim.1] x",
                                   "[fltsim.1]]", "x[fltsim.1]", "\t[FLTSIM.7]\t"}) {
        std::smatch match;
        const bool matches = std::regex_match(line, match, header);
        const std::string number = lf_cfgFltsimNumber(line);
        if (matches) EXPECT_EQ(number, match[2].str()) << line;
        else EXPECT_TRUE(number.empty() || number == "10000") << line;
    }
}

TEST(ScanParser, KeyRules) {
    std::string out = "untouched";
    EXPECT_FALSE(lf_cfgTitle("title=\"only one", out));
    EXPECT_FALSE(lf_cfgTitle("title=\"\"", out));
    EXPECT_EQ(out, "untouched");
    EXPECT_TRUE(lf_cfgTitle("title = x \"AIG A320 \" y", out));
    EXPECT_EQ(out, "AIG A320 ");
    EXPECT_TRUE(lf_cfgTitle("title=A ; comment", out));
    EXPECT_EQ(out, "A ; comment");

    EXPECT_TRUE(lf_cfgIcaoAirline("icao_airline=ZZZZ", out));
    EXPECT_EQ(out, "ZZZ");
    EXPECT_TRUE(lf_cfgIcaoAirline("icao_airline=\"\"", out));
    EXPECT_EQ(out, "ZZZ");
    EXPECT_TRUE(lf_cfgIcaoAirline("ICAO_Airline = baw", out));
    EXPECT_EQ(out, "BAW");
    EXPECT_FALSE(lf_cfgIcaoAirline("//icao_airline=KLM", out));
    EXPECT_EQ(out, "BAW");

    EXPECT_FALSE(lf_cfgAtcId("atc_id=ABCD", out));
    EXPECT_TRUE(lf_cfgAtcId("atc_id=ABCDE", out));
    EXPECT_EQ(out, "ABCDE");
    EXPECT_TRUE(lf_hasAtcIdKey("// atc_id=X"));
    EXPECT_FALSE(lf_hasAtcIdKey("atc_id =X"));
    EXPECT_FALSE(lf_hasAtcParkingTypesKey("ATC_PARKING_TYPES=GATE"));

    EXPECT_EQ(lf_cfgIcaoTypeDesignator("icao_type_designator = b738max"), "B738");
    EXPECT_EQ(lf_cfgIcaoTypeDesignator("icao_type_designator="), "");
    EXPECT_EQ(lf_cfgBaseContainerModel("base_container = \"..\\Asobo_C172sp_classic\""), "C172");
    EXPECT_EQ(lf_cfgBaseContainerModel("base_container = ..\\asobo_c172sp_classic"), "");
    EXPECT_EQ(lf_cfgBaseContainerModel("base_container = ..\\FlyByWire_A320_NEO"), "A20N");
    EXPECT_EQ(lf_cfgBaseContainerModel("base_container = abc"), "");
    EXPECT_EQ(gStockAircraftTable.size(), 30u);
}

TEST(ScanParser, FltsimHeaders) {
    EXPECT_EQ(lf_cfgFltsimNumber("[fltsim.007]"), "007");
    EXPECT_EQ(lf_cfgFltsimNumber("  [FLTSIM.12]  "), "12");
    EXPECT_EQ(lf_cfgFltsimNumber("[fltsim.2] // comment"), "10000");
    EXPECT_EQ(lf_cfgFltsimNumber("[fltsim.-3]"), "10000");
    EXPECT_EQ(lf_cfgFltsimNumber("//[fltsim.4]"), "");
    EXPECT_EQ(lf_cfgFltsimNumber("   //[fltsim.4]"), "10000");
    EXPECT_EQ(lf_cfgFltsimNumber("[FltSim.5] x"), "");
    EXPECT_EQ(lf_cfgFltsimNumber("[General]"), "");
}

// A file with CR-only line ends arrives as one line: it must not exhaust the stack.
TEST(ScanParser, HugeLinesAreHandled) {
    std::string crOnly;
    for (int i = 0; i < 100000; ++i) crOnly += "title=Some livery " + std::to_string(i) + "\r";
    std::string valid = "title=" + std::string(2'000'000, 'x');
    std::string out;
    EXPECT_FALSE(lf_cfgTitle(crOnly, out));
    EXPECT_TRUE(lf_cfgTitle(valid, out));
    EXPECT_EQ(out.size(), 2'000'000u);
    EXPECT_EQ(lf_cfgFltsimNumber(crOnly), "");
}

} // namespace
