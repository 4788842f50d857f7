// What the package tree does not show on its own: the section-number check, the IVAO model from
// native paths, the splitters' section ends, and a registration record without a model.
#include "liveries/aircraft_cfg_reader.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/model_code_resolution.hpp"
#include "liveries/scan_collectors.hpp"
#include "liveries/scan_test_support.hpp"
#include "refdata/code_table.hpp"
#include "support/turkish_locale.hpp"

namespace {

using namespace tamrix;
namespace fs = std::filesystem;

class ScanSections : public scantest::ScanTest {};

TEST_F(ScanSections, FltsimNumbers) {
    const fs::path cfg = "pkg/aircraft.cfg";
    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.1]", "[fltsim.10001]"}, cfg));
    EXPECT_TRUE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.2] x", "[fltsim.10000]"}, cfg));
    // A number beyond 32 bits names the file and lists it like any number out of range.
    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.99999999999]"}, "big/aircraft.cfg"));
    EXPECT_TRUE(loggedPart("fltsim num 99999999999 incorrect in big/aircraft.cfg"));
    EXPECT_TRUE(lf_checkFltsimNumbers({"[General]", "//[fltsim.0]"}, cfg));
    EXPECT_EQ(gInvalidCfgLines.snapshot(),
              (std::list<std::string>{"pkg/aircraft.cfg contains a [fltsim.x] section with a number < 0 or > 10000",
                                      "big/aircraft.cfg contains a [fltsim.x] section with a number < 0 or > 10000"}));
    EXPECT_EQ(gEmptyCfgLines.snapshot(), (std::list<std::string>{"pkg/aircraft.cfg"}));
}

TEST_F(ScanSections, IvaoModelFromNativePaths) {
    EXPECT_EQ(lf_ivaoModelFromPath("/c/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg"), "B738");
    EXPECT_EQ(lf_ivaoModelFromPath("/c/ivao_x-csl/simobjects/airplanes/IVAO_A320wCFM/AIRCRAFT.CFG"), "A320");
    EXPECT_EQ(lf_ivaoModelFromPath("/c/IVAO_MTL/SimObjects/Airplanes/IVAO_A32N/aircraft.cfg"), "A20N");
    EXPECT_EQ(lf_ivaoModelFromPath("/c/IVAO_MTL/SimObjects/Airplanes/OTHER/aircraft.cfg"), "");
    EXPECT_EQ(lf_ivaoModelFromPath("/c/IVAO_MTL/SIMOBJECTS/AIRPLANES/IVAO_B739/aircraft.cfg"), "B739");
    EXPECT_EQ(gInvalidModelLines.snapshot(),
              (std::list<std::string>{"                 in /c/IVAO_MTL/SimObjects/Airplanes/OTHER/aircraft.cfg"}));
    EXPECT_EQ(gFixLines.size(), 1u);
}

// The path's letters fold as ASCII whatever the locale: a Turkish one has no lower case of 'I'.
TEST_F(ScanSections, IvaoModelFromPathsUnderATurkishLocale) {
    const testsupport::TurkishLocale turkish;
    ASSERT_TRUE(turkish.active());
    EXPECT_EQ(lf_ivaoModelFromPath("/c/IVAO_MTL/SIMOBJECTS/AIRPLANES/IVAO_B739/aircraft.cfg"), "B739");
    EXPECT_EQ(lf_ivaoModelFromPath("/c/ivao_x-csl/simobjects/airplanes/IVAO_A320wCFM/AIRCRAFT.CFG"), "A320");
    EXPECT_TRUE(gInvalidModelLines.snapshot().empty());
}

TEST_F(ScanSections, SplittersEndSectionsDifferently) {
    const std::vector<std::string> lines{"[fltsim.0]", "title=AIG B738 A", "icao_airline=KLM", "      x=[y]",
                                         "atc_id=PH-ABC", "[fltsim.0]", "title=AIG B738 B", "icao_airline=KLM"};
    const auto general = lf_splitFltSimSections(1, lines, "B738", "f/aircraft.cfg", "f");
    ASSERT_EQ(general.size(), 2u);
    EXPECT_EQ(general.front().title, "AIG B738 A");
    EXPECT_EQ(general.front().regcode, "PH-ABC"); // the bracket at position 6 kept the section open
    EXPECT_EQ(general.back().title, "AIG B738 B");

    // A registration record without a model does not take the livery: the section's own key does.
    lf_clearScanLists();
    FltSimSection section{"[fltsim.1]", "title=AIG A320 AFR", "icao_airline=AFR", "atc_id=F-NOMOD"};
    const auto records = lf_procesFltSimSection(2, section, "A320", "f/aircraft.cfg", "f");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records.front().key, (LiveryKey{gf_airlineIndex("AFR"), 0, gf_modelIndex("A320"), 0, 0}));
    EXPECT_EQ(records.front().regcode, "F-NOMOD");
    EXPECT_EQ(records.front().priority, 2);
}

} // namespace
