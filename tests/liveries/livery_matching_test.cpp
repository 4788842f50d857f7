// The matching ladder on the hand-written catalogue: every step and branch gives its known
// livery and step at each MATCHING_DEPTH, through the live and the static entry point; refused
// titles are never chosen; RANDOM varies the choice only among the titles that qualify.
#include <set>

#include <fmt/format.h>

#include "config/refused_titles.hpp"
#include "config/settings.hpp"
#include "core/random.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/regcodes.hpp"
#include "liveries_test_support.hpp"

namespace liveriestest {
namespace {

using namespace tamrix;

struct Aircraft {
    const char* op;
    const char* secondOp;
    const char* model;
    bool cargo;
    const char* registration;
};

struct MatchCase {
    const char* name;
    Aircraft aircraft;
    const char* title; // nullptr: no livery at any depth
    MatchStep step;
    int32_t depth; // the least MATCHING_DEPTH that reaches the match
};

// clang-format off
const std::vector<MatchCase> kCases{
    {"unique special registration", {"BAW", "", "A20N", false, "G-TTNA"}, "Fx A20N British Airways G-TTNA", 0, 1},
    {"in-line registration", {"BAW", "", "A20N", false, "G-TTNB"}, "Fx A20N British Airways G-TTNB", 1, 1},
    {"AIG registration", {"DLH", "", "A320", false, "D-AIZB"}, "Fx A320 Lufthansa", 1, 1},
    {"user file beats AIG", {"DLH", "", "A320", false, "D-AIZC"}, "Fx A320 Lufthansa Star Alliance", 1, 1},
    {"AIG beats in-line", {"AFR", "", "A320", false, "F-GKXA"}, "Fx A320 Air France Skyteam", 1, 1},
    {"AIG unique special", {"EIN", "", "A320", false, "EI-DVM"}, "Fx A320 Aer Lingus Retro", 0, 1},
    {"special of two registrations", {"EIN", "", "A320", false, "EI-DEB"}, "Fx A320 Aer Lingus Shamrock", 1, 1},
    {"registration before model", {"KLM", "", "B738", false, "PH-BXC"}, "Fx B739 KLM", 1, 1},
    {"unknown registration, special skipped", {"BAW", "", "A20N", false, "G-ZZZZ"}, "Fx A20N British Airways G-TTNB", 2, 2},
    {"operator and model", {"DLH", "", "A320", false, "D-UNKN"}, "Fx A320 Lufthansa", 2, 2},
    {"private takes generic first", {"PVT", "", "C172", false, "N555AB"}, "Fx C172 Generic", 4, 2},
    {"private generic without registration", {"PVT", "", "C208", false, ""}, "Fx C208 Generic", 4, 2},
    {"private same prefix", {"PVT", "", "SR22", false, "OE-XYZ"}, "Fx SR22 Private OE-KAB", 2, 2},
    {"private prefix group", {"PVT", "", "SR22", false, "HB-XYZ"}, "Fx SR22 Private D-EFGH", 2, 2},
    {"private prefix group without dash", {"PVT", "", "SR22", false, "C-GABC"}, "Fx SR22 Private N22SR", 2, 2},
    {"private without registration", {"PVT", "", "SR22", false, ""}, "Fx SR22 Private D-EFGH", 2, 2},
    {"cargo livery", {"FDX", "", "B77W", true, ""}, "Fx B77W FedEx", 2, 2},
    {"cargo aircraft, passenger livery", {"UPS", "", "B744", true, ""}, "Fx B744 UPS pax", 2, 2},
    {"cargo aircraft, cargo of its operator", {"DLH", "", "MD11", true, "D-ALCA"}, "Fx MD11 Lufthansa Cargo", 2, 2},
    {"passenger aircraft never cargo, heavy stops", {"DLH", "", "MD11", false, "D-ALCA"}, nullptr, 0, 0},
    {"second operator, combined code", {"UAL", "SKW", "CRJ9", false, ""}, "Fx CRJ9 United Express SkyWest combo", 2, 2},
    {"all candidates special", {"EIN", "", "A320", false, ""}, "Fx A320 Aer Lingus Retro", 2, 2},
    {"special first in the list", {"RYR", "", "B38M", false, ""}, "Fx B38M Ryanair Standard", 2, 2},
    {"similar model of the category", {"KLM", "", "B738", false, ""}, "Fx B739 KLM Orange", 3, 3},
    {"generic livery", {"AFR", "", "E190", false, ""}, "Fx E190 Generic", 4, 4},
    {"generic heavy", {"BAW", "", "B744", false, ""}, "Fx B744 Generic", 4, 4},
    {"any of the model, same prefix", {"AFR", "", "DA40", false, "F-GABC"}, "Fx DA40 Beta Flyers F-HBBB", 5, 4},
    {"any of the model", {"AFR", "", "DA40", false, "G-ABCD"}, "Fx DA40 Alpha Aviation D-EDAA", 5, 4},
    {"any of the model needs a registration", {"AFR", "", "DA40", false, ""}, nullptr, 0, 0},
    {"similar model of any operator", {"AFR", "", "BE36", false, "F-GXYZ"}, "Fx C172 Generic", 6, 4},
    {"similar model, same prefix", {"AFR", "", "BE36", false, "N999ZZ"}, "Fx C172 Private N172AB", 6, 4},
    {"a light model with liveries", {"AFR", "", "P28A", false, "F-OOPS"}, "Fx B350 KLM Flight Academy", 6, 4},
    {"a buzjet model with liveries", {"UPS", "", "GLF6", true, "N600GX"}, "Fx C25C Express Courier", 6, 4},
    {"large never any model", {"EZY", "", "E195", false, "G-ABCD"}, nullptr, 0, 0},
    {"high performance never any model", {"KLM", "", "F16", false, "J-015"}, nullptr, 0, 0},
    {"an unknown model counts as light", {"QQQ", "", "Q999", false, "Q-ABC"}, "Fx B350 KLM Flight Academy", 6, 4},
};
// clang-format on

class LiveryMatchingTest : public LiveriesTest {
protected:
    void SetUp() override {
        loadFixtureCatalogue();
        MATCHING_DEPTH.current = 4;
    }

    static TrafficRecord record(const Aircraft& a) {
        TrafficRecord r;
        r.head.liveryKey.operatorIndex = op(a.op);
        r.head.liveryKey.secondOperatorIndex = *a.secondOp != '\0' ? op(a.secondOp) : 0;
        r.head.liveryKey.modelIndex = model(a.model);
        r.head.liveryKey.cargo = a.cargo ? 1 : 0;
        r.head.registration = a.registration;
        r.head.callsign = "TST123";
        r.category = gf_modelCategory(r.head.liveryKey.modelIndex);
        return r;
    }
    static std::string live(const Aircraft& a) {
        TrafficRecord r = record(a);
        matchLivery(r);
        return std::string(r.liveryTitle);
    }
    static std::string parked(const Aircraft& a, bool cargoStand = false) {
        TrafficRecord r = record(a);
        StandRecord stand;
        stand.id = "A1";
        stand.cargo = cargoStand ? 1 : 0;
        const bool matched = matchLiveryLogged(r, stand);
        EXPECT_EQ(matched, !r.liveryTitle.empty());
        return std::string(r.liveryTitle);
    }
    static void refuse(std::string_view title) {
        ASSERT_FALSE(lf_findTitle(title).empty()) << title;
        gNotCreatedTitles.insert(title);
    }
};

TEST_F(LiveryMatchingTest, EveryStepAtEveryDepthThroughTheLiveEntry) {
    for (const auto& c : kCases) {
        for (int32_t depth = 1; depth <= 4; ++depth) {
            SCOPED_TRACE(fmt::format("{} at depth {}", c.name, depth));
            MATCHING_DEPTH.current = depth;
            const auto counts = gMatchStepCounts;
            TrafficRecord r = record(c.aircraft);
            matchLivery(r);
            auto expectedCounts = counts;
            if (c.title != nullptr && depth >= c.depth) {
                EXPECT_EQ(r.liveryTitle, c.title);
                ++expectedCounts[static_cast<std::size_t>(c.step)];
                EXPECT_TRUE(logged(fmt::format("          {} ={}= {}", gf_acDescription(r), c.step, c.title)));
            } else {
                EXPECT_TRUE(r.liveryTitle.empty()) << r.liveryTitle;
            }
            EXPECT_EQ(gMatchStepCounts, expectedCounts);
        }
    }
}

TEST_F(LiveryMatchingTest, EveryStepAtEveryDepthThroughTheStaticEntry) {
    for (const auto& c : kCases) {
        for (int32_t depth = 1; depth <= 4; ++depth) {
            SCOPED_TRACE(fmt::format("{} at depth {}", c.name, depth));
            MATCHING_DEPTH.current = depth;
            TrafficRecord r = record(c.aircraft);
            StandRecord stand;
            stand.id = "B12";
            const bool matched = matchLiveryLogged(r, stand);
            if (c.title != nullptr && depth >= c.depth) {
                EXPECT_TRUE(matched);
                EXPECT_EQ(r.liveryTitle, c.title);
                EXPECT_TRUE(logged(fmt::format("          {} ={}= {}", gf_acDescription(r), c.step, c.title)));
            } else {
                EXPECT_FALSE(matched);
                EXPECT_TRUE(r.liveryTitle.empty());
                EXPECT_TRUE(logged(fmt::format("B12     : {} no livery match ...", gf_acShortDescription(r))));
            }
            EXPECT_FALSE(r.fsltl);
        }
    }
    // Static aircraft are not counted.
    EXPECT_EQ(gMatchStepCounts, (std::array<int32_t, kMatchStepCount>{}));
}

// A rotorcraft falls back on rotorcraft liveries only: at the last step a model of its own
// category with liveries (EC35 has no similar model with liveries, so one of the rotorcraft models
// is picked), as a light aircraft or a business jet takes one of its own; never a light model's.
// With liveries of its own model it takes one a step earlier. Both steps need a registration.
TEST_F(LiveryMatchingTest, ARotorcraftTakesARotorcraftLiveryAtTheLastStep) {
    std::string catalogue = testsupport::readFile("output/LiveriesScanned.xml");
    catalogue.insert(catalogue.find("</liveries>"), R"(<l a="DLH" m="R44" t="Fx R44 Heli Team"/>)");
    testsupport::writeFile("output/LiveriesScanned.xml", catalogue);
    gf_clearLiveryIndex();
    gLiveriesProcessed = false;
    gf_processScannedLiveries();
    ASSERT_EQ(gf_modelCategory(model("EC35")), AircraftCategory::Rotorcraft);
    ASSERT_FALSE(gSimilarModels.contains(model("EC35")));

    const std::vector<MatchCase> cases{
        {"a rotorcraft model with liveries", {"ADA", "", "EC35", false, "D-HABC"}, "Fx R44 Heli Team", 6, 4},
        {"any of the rotorcraft's model", {"ADA", "", "R44", false, "D-HABC"}, "Fx R44 Heli Team", 5, 4},
        {"a rotorcraft needs a registration", {"ADA", "", "EC35", false, ""}, nullptr, 0, 0},
        {"a light model still", {"AFR", "", "P28A", false, "F-OOPS"}, "Fx B350 KLM Flight Academy", 6, 4},
    };
    for (const auto& c : cases) {
        for (int32_t depth = 3; depth <= 4; ++depth) {
            SCOPED_TRACE(fmt::format("{} at depth {}", c.name, depth));
            MATCHING_DEPTH.current = depth;
            TrafficRecord r = record(c.aircraft);
            matchLivery(r);
            if (c.title != nullptr && depth >= c.depth) {
                EXPECT_EQ(r.liveryTitle, c.title);
                EXPECT_TRUE(logged(fmt::format("          {} ={}= {}", gf_acDescription(r), c.step, c.title)));
                EXPECT_EQ(parked(c.aircraft), c.title);
            } else {
                EXPECT_TRUE(r.liveryTitle.empty()) << r.liveryTitle;
                EXPECT_EQ(parked(c.aircraft), "");
            }
        }
    }
}

TEST_F(LiveryMatchingTest, FsltlTitlesAreMarkedForLiveAircraft) {
    TrafficRecord r = record({"BAW", "", "B738", false, ""});
    matchLivery(r);
    EXPECT_EQ(r.liveryTitle, "FSLTL_B738_BAW");
    EXPECT_TRUE(r.fsltl);
    TrafficRecord other = record({"DLH", "", "A320", false, ""});
    other.fsltl = true;
    matchLivery(other);
    EXPECT_FALSE(other.fsltl);
}

TEST_F(LiveryMatchingTest, ACargoStandAsksForCargoLiveriesOfTheGenericSteps) {
    EXPECT_EQ(parked({"PVT", "", "C208", false, ""}, true), "Fx C208 Generic Cargo");
    EXPECT_EQ(parked({"BAW", "", "B744", false, ""}, true), "Fx B744 Generic Freighter");
    EXPECT_EQ(parked({"AFR", "", "E190", false, ""}, true), "Fx E190 Generic"); // no generic freighter
    EXPECT_EQ(parked({"BAW", "", "A20N", false, ""}, true), "Fx A20N British Airways G-TTNB"); // own livery first
    EXPECT_EQ(live({"PVT", "", "C208", false, ""}), "Fx C208 Generic");
    EXPECT_TRUE(logged(fmt::format("          {} =4= Fx C208 Generic Cargo",
                                   gf_acDescription(record({"PVT", "", "C208", false, ""})))));
}

TEST_F(LiveryMatchingTest, AStaticRecordWithATitleKeepsIt) {
    TrafficRecord r = record({"DLH", "", "A320", false, ""});
    r.liveryTitle = lf_findTitle("Fx A320 Delta");
    StandRecord stand;
    stand.id = "C3";
    EXPECT_TRUE(matchLiveryLogged(r, stand));
    EXPECT_EQ(r.liveryTitle, "Fx A320 Delta");
    EXPECT_TRUE(logged(fmt::format("          {} =s= Fx A320 Delta", gf_acDescription(r))));
}

TEST_F(LiveryMatchingTest, ARefusedRegistrationTitleFallsThroughToStepTwo) {
    refuse("Fx A20N British Airways G-TTNB");
    const Aircraft a{"BAW", "", "A20N", false, "G-TTNB"};
    EXPECT_EQ(live(a), "Fx A20N British Airways Oneworld");
    EXPECT_EQ(parked(a), "Fx A20N British Airways Oneworld");
    EXPECT_EQ(gMatchStepCounts[1], 0);
    EXPECT_EQ(gMatchStepCounts[2], 1);
    MATCHING_DEPTH.current = 1;
    EXPECT_EQ(live(a), "");
}

TEST_F(LiveryMatchingTest, ARefusedTitleDoesNotHideTheOthersOfItsList) {
    refuse("Fx C172 Generic");
    EXPECT_EQ(live({"PVT", "", "C172", false, "N555AB"}), "Fx C172 Private N172AB");
    EXPECT_EQ(gMatchStepCounts[2], 1);
    refuse("Fx B38M Ryanair Standard");
    EXPECT_EQ(live({"RYR", "", "B38M", false, ""}), "Fx B38M Ryanair Retro"); // only a special one is left
    refuse("Fx B38M Ryanair Retro");
    EXPECT_EQ(live({"RYR", "", "B38M", false, ""}), "");
}

TEST_F(LiveryMatchingTest, SecondOperatorLadderInOrder) {
    const Aircraft a{"UAL", "SKW", "CRJ9", false, ""};
    const std::vector<std::string> stages{
        "Fx CRJ9 United Express SkyWest combo", // the combined code
        "Fx CRJ9 SkyWest United Express",       // the partner's livery naming the operator
        "Fx CRJ9 United SkyWest colours",       // the operator's livery naming the partner
        "Fx CRJ9 SkyWest plain",                // any of the partner
        "Fx CRJ9 United plain",                 // any of the operator
    };
    for (const auto& title : stages) {
        EXPECT_EQ(live(a), title);
        EXPECT_EQ(parked(a), title);
        refuse(title);
    }
    EXPECT_EQ(live(a), "");
}

TEST_F(LiveryMatchingTest, RefusedTitlesStayRefusedAfterTheCatalogueIsRebuilt) {
    // Refused through a view of the catalogue, which the rebuild frees.
    gNotCreatedTitles.insert(gRegcodeMap.at("G-TTNB"));
    gf_clearLiveryIndex();
    gLiveriesProcessed = false;
    gf_processScannedLiveries();
    EXPECT_TRUE(gNotCreatedTitles.contains("Fx A20N British Airways G-TTNB"));
    EXPECT_EQ(live({"BAW", "", "A20N", false, "G-TTNB"}), "Fx A20N British Airways Oneworld");
}

TEST_F(LiveryMatchingTest, RandomVariesOnlyAmongQualifyingTitles) {
    gf_setRandomSwitch([] { return true; });
    std::set<std::string> plain, refused, special, models;
    for (int i = 0; i < 200; ++i) {
        plain.insert(live({"DLH", "", "A320", false, ""}));
        special.insert(live({"EIN", "", "A320", false, ""}));
        models.insert(live({"AFR", "", "BE36", false, "F-GXYZ"}));
    }
    EXPECT_EQ(plain, (std::set<std::string>{"Fx A320 Lufthansa", "Fx A320 Lufthansa Star Alliance"}));
    EXPECT_EQ(special, (std::set<std::string>{"Fx A320 Aer Lingus Retro", "Fx A320 Aer Lingus Shamrock"}));
    EXPECT_EQ(models, (std::set<std::string>{"Fx C172 Generic", "Fx C172 Private N172AB", "Fx SR22 Private D-EFGH",
                                             "Fx SR22 Private N22SR", "Fx SR22 Private OE-KAB", "Fx SR22 Private plain"}));
    refuse("Fx A20N British Airways G-TTNB");
    for (int i = 0; i < 200; ++i) refused.insert(live({"BAW", "", "A20N", false, ""}));
    EXPECT_EQ(refused, std::set<std::string>{"Fx A20N British Airways Oneworld"});
    gf_setRandomSwitch(nullptr);
}

TEST_F(LiveryMatchingTest, PickTitleLeavesTheTitleAloneWhenNothingQualifies) {
    const TitleList candidates{lf_findTitle("Fx CRJ9 SkyWest plain")};
    refuse("Fx CRJ9 SkyWest plain");
    TrafficRecord r;
    lf_pickTitle(r, candidates);
    EXPECT_TRUE(r.liveryTitle.empty());
    lf_pickTitle(r, {});
    EXPECT_TRUE(r.liveryTitle.empty());
}

TEST(LiveryMatchingHelpers, RegistrationPrefixesAndAirlineNames) {
    EXPECT_EQ(lf_registrationPrefix("D-ABCD"), "D-");
    EXPECT_EQ(lf_registrationPrefix("HB-XYZ"), "HB-");
    EXPECT_EQ(lf_registrationPrefix("A9C-DHA"), "A9C-");
    EXPECT_EQ(lf_registrationPrefix("N123AB"), "N");
    EXPECT_EQ(lf_registrationPrefix(""), "");
    EXPECT_EQ(lf_airlineName("UAL"), "United");
    EXPECT_EQ(lf_airlineName("SKW"), "SkyWest");
    EXPECT_EQ(lf_airlineName("QLK"), "Quantaslink");
    EXPECT_EQ(lf_airlineName("LRC"), "Avianca");
    EXPECT_EQ(lf_airlineName("XYZ"), "not found");
}

} // namespace
} // namespace liveriestest
