// The livery index built from the hand-written catalogue: what the start-up logs, the lists the
// matching searches, the similar-model tables, the category switches, clearing and rebuilding,
// and a generated catalogue of the design's kind.
#include <pugixml.hpp>

#include "config/settings.hpp"
#include "core/user_error.hpp"
#include "datagen/catalogue_generator.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/regcodes.hpp"
#include "liveries_test_support.hpp"
#include "platform/win32/window.hpp"

namespace liveriestest {
namespace {

using namespace tamrix;

class LiveryIndexTest : public LiveriesTest {
protected:
    void SetUp() override { loadFixtureCatalogue(); }

    static std::vector<uint16_t> models(std::initializer_list<const char*> codes) {
        std::vector<uint16_t> out;
        for (const char* code : codes) out.push_back(model(code));
        return out;
    }
    static std::vector<std::string> titles(const TitleList& list) { return {list.begin(), list.end()}; }
};

TEST_F(LiveryIndexTest, StartUpLogsCountsCategoriesAndGenericModels) {
    const std::vector<std::string> expected{
        "   79 liveries read from output/LiveriesScanned.xml",
        "   25 registration codes",
        "   16 airlines, 20 pax aircraft models and 5 cargo aircraft models",
        "   15 similar model definitions",
        " ",
        "Category Light: 10 pax liveries and 1 cargo liverie",
        "  B350,C172,C208,DA40,SR22",
        "Category Buzjets: 0 pax liveries and 1 cargo liverie",
        "  C25C",
        "Category Large: 48 pax liveries",
        "  A20N,A319,A320,A321,B38M,B738,B739,CRJ9,E190,E195",
        "Category Heavy: 13 pax liveries and 5 cargo liveries",
        "  B744,B772,B77W,MD11",
        "Category HighPerf: 1 pax liverie",
        "  F16",
        "Category Rotorcraft: No livery found",
        "HELICOPTERS temporarily switched off because you do not have Helicopters installed",
        "4 models have a generic livery",
        "  B744,C172,C208,E190",
    };
    const auto lines = logLines();
    auto from = lines.begin();
    for (const auto& line : expected) {
        const auto found = std::find(from, lines.end(), line);
        ASSERT_NE(found, lines.end()) << "missing or out of order: " << line;
        from = found + 1;
    }
    EXPECT_EQ(gScannedLiveryCount.load(), 79);
    EXPECT_TRUE(gLiveriesProcessed.load());
    EXPECT_TRUE(gLiveries.empty());
}

// Switched off for the run only: the user's choice in parameters.xml stays, and the category comes
// back once its liveries are there.
TEST_F(LiveryIndexTest, ACategoryWithoutLiveriesIsSwitchedOffForTheRunOnly) {
    EXPECT_FALSE(HELICOPTERS.current.load());
    EXPECT_TRUE(LIGHT_AIRCRAFT.current.load());
    EXPECT_TRUE(HIGH_PERF_AIRCRAFT.current.load());
    pugi::xml_document document;
    if (document.load_file((folder_.path() / "roaming" / "Quorvel" / "parameters.xml").c_str())) {
        const auto saved =
            document.child("root").child("parameters").find_child_by_attribute("parameter", "name", "HELICOPTERS");
        EXPECT_STRNE(saved.attribute("value").value(), "false");
    }

    std::string catalogue = testsupport::readFile("output/LiveriesScanned.xml");
    catalogue.insert(catalogue.find("</liveries>"), R"(<l a="DLH" m="H145" t="Fx H145 Lufthansa"/>)");
    testsupport::writeFile("output/LiveriesScanned.xml", catalogue);
    gf_clearLiveryIndex();
    gLiveriesProcessed = false;
    gf_processScannedLiveries();
    EXPECT_TRUE(HELICOPTERS.current.load());
    EXPECT_TRUE(logged("HELICOPTERS switched on again"));
}

TEST_F(LiveryIndexTest, CategoryCheckBoxesFollowTheLiveries) {
    HWND main = platform::win32::createTopLevelWindow("Quorvel", "Quorvel");
    const auto box = [&](CheckBoxParameter& p) {
        p.window = CreateWindowExW(0, u"BUTTON", u"", 0x50010002, 5, static_cast<int>(p.row), 12, 12, main,
                                   reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(p.controlId)), nullptr, nullptr);
        EnableWindow(p.window, p.controlId == HELICOPTERS.controlId ? TRUE : FALSE);
        SendMessageW(p.window, BM_SETCHECK, BST_CHECKED, 0);
    };
    box(HELICOPTERS);
    box(LIGHT_AIRCRAFT);
    box(HIGH_PERF_AIRCRAFT);
    gf_clearLiveryIndex();
    gLiveriesProcessed = false;
    HELICOPTERS.current = true;
    gf_processScannedLiveries();
    EXPECT_FALSE(IsWindowEnabled(HELICOPTERS.window));
    EXPECT_TRUE(IsWindowEnabled(LIGHT_AIRCRAFT.window));
    EXPECT_TRUE(IsWindowEnabled(HIGH_PERF_AIRCRAFT.window));
    EXPECT_EQ(SendMessageW(HELICOPTERS.window, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_UNCHECKED));
}

TEST_F(LiveryIndexTest, ASecondOperatorLiverySitsUnderTheCombinedCodeOnly) {
    const uint16_t combined = op("UALSKW");
    ASSERT_TRUE(gf_hasLiveryFor(combined, model("CRJ9")));
    EXPECT_EQ(titles(gOperatorModelTitles[kPassenger].at(combined).at(model("CRJ9"))),
              std::vector<std::string>{"Fx CRJ9 United Express SkyWest combo"});
    EXPECT_EQ(titles(gOperatorModelTitles[kPassenger].at(op("UAL")).at(model("CRJ9"))),
              (std::vector<std::string>{"Fx CRJ9 United SkyWest colours", "Fx CRJ9 United plain"}));
}

TEST_F(LiveryIndexTest, TitleListsAreSplitByCargoAndInTitleOrder) {
    EXPECT_EQ(titles(gOperatorModelTitles[kCargo].at(op("ZZZ")).at(model("C208"))),
              std::vector<std::string>{"Fx C208 Generic Cargo"});
    EXPECT_EQ(titles(gOperatorModelTitles[kPassenger].at(op("ZZZ")).at(model("C208"))),
              std::vector<std::string>{"Fx C208 Generic"});
    EXPECT_FALSE(gOperatorModelTitles[kPassenger].at(op("DLH")).contains(model("MD11")));
    EXPECT_FALSE(gOperatorModelTitles[kCargo].contains(op("BAW")));
    EXPECT_EQ(titles(gModelTitles[kPassenger].at(model("DA40"))),
              (std::vector<std::string>{"Fx DA40 Alpha Aviation D-EDAA", "Fx DA40 Beta Flyers F-HBBB"}));
    EXPECT_EQ(titles(gModelTitles[kCargo].at(model("MD11"))),
              (std::vector<std::string>{"Fx MD11 FedEx", "Fx MD11 Lufthansa Cargo", "Fx MD11 UPS"}));
    // The repeated livery of the file is there once.
    EXPECT_EQ(titles(gOperatorModelTitles[kPassenger].at(op("BAW")).at(model("A20N"))),
              (std::vector<std::string>{"Fx A20N British Airways G-TTNA", "Fx A20N British Airways G-TTNB",
                                        "Fx A20N British Airways Oneworld"}));
    for (const auto& lists : gModelTitles)
        for (const auto& [m, list] : lists) EXPECT_FALSE(list.empty());
}

TEST_F(LiveryIndexTest, CategoryModelListsHoldTheModelsWithLiveries) {
    EXPECT_EQ(gLightLiveryModels, models({"B350", "C172", "C208", "DA40", "SR22"}));
    EXPECT_EQ(gBuzjetLiveryModels, models({"C25C"}));
    EXPECT_TRUE(gRotorcraftLiveryModels.empty());
    EXPECT_EQ(lf_randomLightModel(), model("B350"));
    EXPECT_EQ(lf_randomBuzjetModel(), model("C25C"));
    EXPECT_EQ(lf_randomRotorcraftModel(), 0);
}

TEST_F(LiveryIndexTest, SimilarModelsAreThoseWithLiveries) {
    EXPECT_EQ(gSimilarModels.size(), 15u);
    EXPECT_EQ(gSimilarModels.at(model("BE36")), models({"C172", "SR22"}));
    EXPECT_EQ(gSimilarModels.at(model("C172")), models({"SR22"}));
    EXPECT_EQ(gSimilarModels.at(model("B738")), models({"B350", "B38M", "B739"}));
    EXPECT_FALSE(gSimilarModels.contains(model("EC35")));
    EXPECT_FALSE(gSimilarModels.contains(model("H145")));

    const auto& klm = gSimilarModelsByOperator.at(op("KLM"));
    EXPECT_EQ(klm.at(model("B738")), models({"B350", "B739"}));
    EXPECT_FALSE(klm.contains(model("B739"))); // KLM has liveries for it
    // No similar models at all, or liveries for every one asked about: no entry.
    EXPECT_FALSE(gSimilarModelsByOperator.contains(op("UALSKW")));
    EXPECT_FALSE(gSimilarModelsByOperator.at(op("FDX")).contains(model("B77W")));
    EXPECT_EQ(gSimilarModelsByOperator.at(op("FDX")).at(model("B772")), models({"B77W"}));
}

TEST_F(LiveryIndexTest, FindTitleGivesTheCatalogueCopy) {
    const std::string query = "Fx B739 KLM Orange";
    const auto found = lf_findTitle(query);
    EXPECT_EQ(found, query);
    EXPECT_NE(found.data(), query.data());
    EXPECT_EQ(found.data(), gOperatorModelTitles[kPassenger].at(op("KLM")).at(model("B739"))[1].data());
    EXPECT_TRUE(lf_findTitle("Fx B739 KLM Orang").empty());
    EXPECT_TRUE(lf_findTitle("").empty());
}

TEST_F(LiveryIndexTest, ASecondProcessingOnlyLogsThatItWasDone) {
    const auto before = gLiveryIndex.size();
    gLiveries.push_back({});
    gf_processScannedLiveries();
    EXPECT_TRUE(logged("Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_TRUE(gLiveries.empty());
    EXPECT_EQ(gLiveryIndex.size(), before);
}

TEST_F(LiveryIndexTest, ClearingEmptiesEverythingAndTheCatalogueRebuilds) {
    gf_clearLiveryIndex();
    EXPECT_TRUE(gLiveryIndex.empty());
    EXPECT_TRUE(gOperatorModelTitles[0].empty() && gOperatorModelTitles[1].empty());
    EXPECT_TRUE(gModelTitles[0].empty() && gModelTitles[1].empty());
    EXPECT_TRUE(gLightLiveryModels.empty() && gBuzjetLiveryModels.empty());
    EXPECT_TRUE(gSimilarModels.empty());
    EXPECT_TRUE(gSimilarModelsByOperator.empty());
    EXPECT_TRUE(gRegcodeMap.empty() && gTitleRegcodes.empty());
    EXPECT_TRUE(gSpecialTitles.empty() && gSpecialRegcodes.empty() && gUniqueRegcodes.empty());
    EXPECT_FALSE(gf_isSpecialTitle("Fx B739 KLM"));
    EXPECT_TRUE(lf_findTitle("Fx B739 KLM").empty());

    gLiveriesProcessed = false;
    gf_processScannedLiveries();
    EXPECT_EQ(gLightLiveryModels, models({"B350", "C172", "C208", "DA40", "SR22"})); // not twice
    EXPECT_EQ(gSimilarModels.size(), 15u);
    EXPECT_EQ(gRegcodeMap.size(), 25u);
    EXPECT_EQ(gSpecialTitles.size(), 5u);
}

TEST_F(LiveriesTest, ProcessingWithoutACatalogueFileEndsTheStartUp) {
    installDbase();
    EXPECT_THROW(gf_processScannedLiveries(), UserErrorException);
    EXPECT_FALSE(gLiveriesProcessed.load());
}

TEST_F(LiveriesTest, GeneratedCatalogueLoadsWithEveryViewInside) {
    datagen::CatalogueShape shape;
    shape.liveries = 3000;
    shape.operators = 200;
    shape.models = 80;
    shape.aigEntries = 500;
    shape.userLines = 100;
    shape.sampleAircraft = 300;
    const auto made = datagen::writeCatalogue(".", shape);
    ASSERT_TRUE(gf_readDbase());
    gf_processScannedLiveries();
    EXPECT_EQ(gScannedLiveryCount.load(), 3000); // the repeated livery counts once
    EXPECT_GT(gRegcodeMap.size(), 1000u);
    EXPECT_FALSE(gSpecialTitles.empty());
    for (const auto& [registration, title] : gRegcodeMap) ASSERT_EQ(lf_findTitle(title).data(), title.data());
    for (const auto& lists : gModelTitles)
        for (const auto& [m, list] : lists)
            for (const auto title : list) ASSERT_EQ(lf_findTitle(title).data(), title.data());
    EXPECT_EQ(made.aircraft.size(), 300u);
}

} // namespace
} // namespace liveriestest
