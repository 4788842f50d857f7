#include "refdata/dbase.hpp"

#include <stdexcept>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "core/user_error.hpp"
#include "refdata/code_table.hpp"
#include "refdata/registration_lookups.hpp"
#include "refdata_test_support.hpp"

using namespace tamrix;
using refdatatest::anyLineContains;
using refdatatest::dbaseXml;
using refdatatest::hasLine;

namespace {

const std::filesystem::path kEnc = "input/dbase.enc";
const std::filesystem::path kXml = "input/dbase.xml";

void writeDbase(const std::string& xml) {
    refdatatest::writeEncrypted(kEnc, xml);
}

// Reads a dbase that must fail with UserErrorException; its text.
std::string readFailure() {
    try {
        gf_readDbase();
    } catch (const UserErrorException& e) {
        return e.what();
    }
    return "no exception";
}

const DbaseRecord* record(std::string_view registration) {
    for (const auto& r : gDbaseRecords)
        if (r.registration == registration) return &r;
    return nullptr;
}

} // namespace

TEST(ReadDbase, ReadsTheShippedFileAndLogsItsCounts) {
    testsupport::CapturedLog log;
    refdatatest::installShipped("dbase.enc");
    ASSERT_TRUE(gf_readDbase());
    EXPECT_FALSE(std::filesystem::exists(kXml));

    const auto lines = log.lines();
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} ICAO model codes", gAircraftCodes.size())));
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} prefixes", gPrefixGroups.size())));
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} ICAO airline codes", gAirlineCodes.size())));
    EXPECT_TRUE(anyLineContains(lines, "cargo operators"));
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} publishers", gPublishers.size())));
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} fixes", gModelFixes.size())));
    EXPECT_TRUE(hasLine(lines, fmt::format("{} simaddons24", gSimaddons24.size())));
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} dbase records read", gDbaseRecords.size())));
    // The shipped file is clean: no line reports a problem.
    EXPECT_FALSE(anyLineContains(lines, "==>")) << ::testing::PrintToString(lines);

    EXPECT_GT(gAircraftCodes.size(), 150u);
    EXPECT_GT(gDbaseRecords.size(), 100u);
    EXPECT_TRUE(std::is_sorted(gDbaseRecords.begin(), gDbaseRecords.end(),
                               [](const auto& a, const auto& b) { return a.registration < b.registration; }));
    EXPECT_EQ(gModelCodes.text(0), "");
    EXPECT_EQ(gOperatorCodes.text(0), "");
    EXPECT_TRUE(gModelCodes.loaded());
    EXPECT_TRUE(gOperatorCodes.loaded());
    EXPECT_GT(gMaxHalfSpan, 79.0 * 0.5 / 1852.0); // the A380
}

// The model codes are interned in ascending order right after the empty code, then the flag is
// set, then the cargo types; the airlines before the cargo operators.
TEST(ReadDbase, InternsCodesInItsOrder) {
    testsupport::CapturedLog log;
    writeDbase(dbaseXml({{"cargo_types", R"(<cargo_type types="ZZZZ,A320"/>)"},
                         {"cargo_operators", R"(<ICAO codes="BOX,DLH"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    const std::vector<std::string> models{"", "A320", "B738", "B77W", "C172", "EC35", "F16", "GLF6", "ZZZZ"};
    for (std::size_t i = 0; i < models.size(); ++i)
        EXPECT_EQ(gModelCodes.text(i), models[i]);
    const std::vector<std::string> operators{"", "BAW", "DLH", "BOX"};
    for (std::size_t i = 0; i < operators.size(); ++i)
        EXPECT_EQ(gOperatorCodes.text(i), operators[i]);
    EXPECT_EQ(gHeavyModels, std::set<uint16_t>{3});
    EXPECT_EQ(gLargeModels, (std::set<uint16_t>{1, 2}));
}

TEST(ReadDbase, RecordsTakeTheirKeyFromTheAttributes) {
    testsupport::CapturedLog log;
    writeDbase(dbaseXml({{"dbase", R"(
        <d r="D-AIZZ" a="DLH" m="A320"/>
        <d r="N850FD" a="FDX" m="B77L" c="true"/>
        <d r="D-ACNA" a="DLH" o="CLH" m="CRJ9"/>
        <d r="D-EFAB" m="C172"/>
        <d r="G-NONE"/>
        <d r="D-AIZZ" a="BAW" m="B738"/>
        <d a="DLH" m="A320"/>
        <d r="" a="DLH" m="A320"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    ASSERT_EQ(gDbaseRecords.size(), 5u);

    const DbaseRecord* zz = record("D-AIZZ");
    ASSERT_NE(zz, nullptr); // of two records the first read stays
    EXPECT_EQ(gOperatorCodes.text(zz->key.operatorIndex), "DLH");
    EXPECT_EQ(gModelCodes.text(zz->key.modelIndex), "A320");
    EXPECT_EQ(zz->key.secondOperatorIndex, 0);
    EXPECT_EQ(zz->key.cargo, 0);
    EXPECT_EQ(zz->key.fromRegistration, 1);
    EXPECT_EQ(record("N850FD")->key.cargo, 1);
    EXPECT_EQ(gOperatorCodes.text(record("D-ACNA")->key.secondOperatorIndex), "CLH");
    EXPECT_EQ(record("D-EFAB")->key.operatorIndex, 0);
    const DbaseRecord* none = record("G-NONE");
    EXPECT_EQ(none->key.operatorIndex, 0);
    EXPECT_EQ(none->key.modelIndex, 0);
    EXPECT_TRUE(hasLine(log.lines(), "==> 2 dbase records without registration skipped"));
}

TEST(ReadDbase, WingspansFirstValueStoredLargestCounts) {
    testsupport::CapturedLog log;
    writeDbase(dbaseXml({{"wingspans", R"(
        <wingspan type="A320" meters="35.8"/>
        <wingspan type="A320" meters="40.0"/>
        <wingspan type="B738"/>
        <wingspan type="C172" meters="0"/>
        <wingspan type="XXXX" meters="12"/>
        <wingspan meters="12"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_DOUBLE_EQ(gHalfSpans[gf_modelIndex("A320")], 35.8 * 0.5 * kNmPerMetre);
    EXPECT_DOUBLE_EQ(gMaxHalfSpan, 40.0 * 0.5 * kNmPerMetre);
    EXPECT_EQ(gHalfSpans[gf_modelIndex("B738")], 0.0);
    EXPECT_EQ(gHalfSpans[gf_modelIndex("C172")], 0.0);
    const auto lines = log.lines();
    EXPECT_TRUE(hasLine(lines, "==> wingspan model XXXX is not valid, skipped"));
    EXPECT_TRUE(hasLine(lines, "==> wingspan model  is not valid, skipped"));
}

TEST(ReadDbase, AWingspanBeyondTheHalfSpanSlotsIsNotStored) {
    testsupport::CapturedLog log;
    std::string types;
    for (int i = 0; i < 2705; ++i)
        types += fmt::format("{}M{:04}", i == 0 ? "" : ",", i);
    writeDbase(dbaseXml(
        {{"aircrafts", fmt::format(R"(<aircraft types="{}"/>)", types)},
         {"wingspans", R"(<wingspan type="M2698" meters="20"/><wingspan type="M2699" meters="30"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    // M2698 has index 2699 (the empty code is 0), M2699 index 2700.
    EXPECT_DOUBLE_EQ(gHalfSpans[2699], 20.0 * 0.5 * kNmPerMetre);
    EXPECT_TRUE(anyLineContains(log.lines(), "==> wsp fill what: model index 2700"));
}

TEST(ReadDbase, FixesKeepTheFirstAndNeedAKnownCorrection) {
    testsupport::CapturedLog log;
    writeDbase(dbaseXml({{"cargo_types", R"(<cargo_type types="B77F"/>)"}, {"fixes", R"(
        <fx wro="B77F" cor="A320"/>
        <fx wro="A20N" cor="A320"/>
        <fx wro="A20N" cor="B738"/>
        <fx wro="XXXX" cor="YYYY"/>
        <fx wro="ZZZZ"/>
        <fx wro="B738" cor="A320"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_EQ(gModelFixes.size(), 3u);
    const uint16_t a320 = gf_modelIndex("A320");
    EXPECT_EQ(gf_modelIndex("A20N"), a320);
    EXPECT_NE(gf_modelIndex("B738"), a320); // a listed model is never fixed
    EXPECT_NE(gf_modelIndex("B77F"), a320); // cargo types are interned before the fixes exist
    const auto lines = log.lines();
    EXPECT_TRUE(hasLine(lines, "==> wrong part of fix: 'A20N', already exists, skipped"));
    EXPECT_TRUE(hasLine(lines, "==> wrong fix XXXX -> YYYY, the latter is not valid"));
    EXPECT_TRUE(hasLine(lines, "==> wrong fix ZZZZ -> , the latter is not valid"));
    EXPECT_TRUE(hasLine(lines, "    3 fixes"));
}

TEST(ReadDbase, GroupsAreSortedAndPublishersDeduplicated) {
    testsupport::CapturedLog log;
    writeDbase(dbaseXml(
        {{"similar_types", R"(<similar types="B739, B737,B738"/><similar types="A320"/>)"},
         {"prefixes", R"(<similar types="OE-,D-,HB-"/>)"},
         {"publishers", R"(
        <pub names="Orbx,orbx-"/>
        <pub names="Orbx,orbx-"/>
        <pub names=",FlyTampa, "/>
        <pub names=""/>
        <pub/>)"},
         {"thirdparties20", R"(<thirdpartie20 pub="Orbx" arpts="EGLC, YBBN,"/><thirdpartie20 pub="X"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_EQ(gSimilarTypes, (CodeGroups{{"B737", "B738", "B739"}, {"A320"}}));
    EXPECT_EQ(gPrefixGroups, (CodeGroups{{"D-", "HB-", "OE-"}}));
    // Empty names are dropped: they would match every path.
    EXPECT_EQ(gPublishers, (CodeGroups{{"FlyTampa"}, {"Orbx", "orbx-"}}));
    ASSERT_EQ(gThirdparties20.size(), 2u);
    EXPECT_EQ(gThirdparties20[0].airportCodes, (std::vector<std::string>{"EGLC", "YBBN"}));
    EXPECT_TRUE(gThirdparties20[1].airportCodes.empty());
    EXPECT_TRUE(gThirdparties24.empty());
    EXPECT_EQ(gSimaddons20, (CodeSet{"EGLL"}));
}

// Each required section: missing, or present without a single code, ends the read with code 61;
// the plain file is gone either way.
TEST(ReadDbase, RequiredSectionsFailWithCode61) {
    testsupport::CapturedLog log;
    const std::vector<std::tuple<std::string, std::string, std::string>> required{
        {"aircrafts", "aircraft", "types"},
        {"cargo_types", "cargo_type", "types"},
        {"heavy", "hvy", "types"},
        {"large", "lar", "types"},
        {"buzjet", "bzj", "types"},
        {"high_performance", "hpf", "types"},
        {"rotorcraft", "rot", "types"},
        {"ICAO_airlines", "ICAO", "codes"},
        {"cargo_operators", "ICAO", "codes"},
        {"simaddons20", "simaddon20", "arpts"},
        {"simaddons24", "simaddon24", "arpts"},
    };
    for (const auto& [section, element, attribute] : required) {
        writeDbase(dbaseXml({{section, "-"}}));
        EXPECT_EQ(readFailure(), fmt::format("61: Missing section: {}", section));
        EXPECT_FALSE(std::filesystem::exists(kXml)) << section;
        writeDbase(
            dbaseXml({{section, fmt::format(R"(<{0} {1}=""/><{0} {1}=" , "/>)", element, attribute)}}));
        EXPECT_EQ(readFailure(),
                  fmt::format("61: In XML file section [{}], element [{}], attribute [{}] is empty.", section,
                              element, attribute));
        EXPECT_FALSE(std::filesystem::exists(kXml)) << section;
    }
    writeDbase("<?xml version=\"1.0\"?><base/>");
    EXPECT_EQ(readFailure(), "61: XML root missing: root");
    EXPECT_FALSE(std::filesystem::exists(kXml));
}

TEST(ReadDbase, MalformedXmlIsFalseAndLogged) {
    testsupport::CapturedLog log;
    writeDbase("<root><aircrafts>");
    EXPECT_FALSE(gf_readDbase());
    EXPECT_FALSE(std::filesystem::exists(kXml));
    EXPECT_TRUE(anyLineContains(log.lines(), "==> 'input/dbase.xml' not read because of "));
}

TEST(ReadDbase, AMissingFileThrowsAndLeavesNoPlainFile) {
    testsupport::CapturedLog log;
    testsupport::writeFile(kXml, "stale plain file");
    try {
        gf_readDbase();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "input/dbase.enc not available; reinstall Quorvel to restore it");
    }
    EXPECT_FALSE(std::filesystem::exists(kXml));
}

// A second read starts from empty tables: nothing is doubled.
TEST(ReadDbase, ReadingAgainDoublesNothing) {
    testsupport::CapturedLog log;
    writeDbase(dbaseXml(
        {{"similar_types", R"(<similar types="A320,B738"/>)"}, {"dbase", R"(<d r="D-AIZZ" m="A320"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    const std::size_t models = gModelCodes.size();
    ASSERT_TRUE(gf_readDbase());
    EXPECT_EQ(gSimilarTypes.size(), 1u);
    EXPECT_EQ(gDbaseRecords.size(), 1u);
    EXPECT_EQ(gModelCodes.size(), models);
}
