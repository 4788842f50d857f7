#include "refdata/registration_lookups.hpp"

#include <set>

#include <gtest/gtest.h>

#include "core/random.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "refdata_test_support.hpp"

using namespace tamrix;
using Texts = std::vector<std::string>;

class ShippedDbase : public ::testing::Test {
protected:
    void SetUp() override {
        refdatatest::installShipped("dbase.enc");
        ASSERT_TRUE(gf_readDbase());
    }
    static std::string operatorOf(const std::optional<LiveryKey>& key) {
        return gOperatorCodes.text(key->operatorIndex);
    }
    static std::string modelOf(const std::optional<LiveryKey>& key) {
        return gModelCodes.text(key->modelIndex);
    }
    testsupport::CapturedLog log;
};

TEST(RegistrationVariants, SpellingsToTry) {
    EXPECT_EQ(gf_registrationVariants("DABCD"), (Texts{"DA-BCD", "D-ABCD", "DABCD"}));
    EXPECT_EQ(gf_registrationVariants("N123AB"), (Texts{"N123AB"}));
    EXPECT_EQ(gf_registrationVariants("D-ABCD"), (Texts{"D-ABCD"}));
    EXPECT_EQ(gf_registrationVariants("DABC"), (Texts{"DABC"}));
    EXPECT_EQ(gf_registrationVariants(""), (Texts{""}));
}

TEST_F(ShippedDbase, LookupTriesTheVariants) {
    const auto direct = gf_lookupRegistration("D-AIZZ");
    ASSERT_TRUE(direct);
    EXPECT_EQ(operatorOf(direct), "DLH");
    EXPECT_EQ(modelOf(direct), "A320");
    EXPECT_EQ(direct->fromRegistration, 1);
    EXPECT_EQ(gf_lookupRegistration("DAIZZ"), direct);            // as D-AIZZ
    EXPECT_EQ(operatorOf(gf_lookupRegistration("OELBA")), "AUA"); // as OE-LBA
    EXPECT_EQ(operatorOf(gf_lookupRegistration("9HQAA")), "RYR");
    EXPECT_EQ(operatorOf(gf_lookupRegistration("N801NN")), "AAL");

    const auto cargo = gf_lookupRegistration("N850FD");
    EXPECT_EQ(cargo->cargo, 1);
    const auto regional = gf_lookupRegistration("N101SY");
    EXPECT_EQ(operatorOf(regional), "UAL");
    EXPECT_EQ(gOperatorCodes.text(regional->secondOperatorIndex), "SKW");

    EXPECT_FALSE(gf_lookupRegistration("d-aizz")); // case-sensitive
    EXPECT_FALSE(gf_lookupRegistration("N801N"));  // N registrations only as given
    EXPECT_FALSE(gf_lookupRegistration("X-XXXX"));
    EXPECT_FALSE(gf_lookupRegistration(""));
}

TEST_F(ShippedDbase, ShortRegistrationsInsideTexts) {
    EXPECT_EQ(gf_findShortRegIn("AIG B737 United N1UA livery"), "N1UA");
    EXPECT_EQ(gf_findShortRegIn("texture.B-HLA"), "B-HLA");
    EXPECT_FALSE(gf_findShortRegIn("Lufthansa D-AIZZ")); // 6 characters are not short
    EXPECT_FALSE(gf_findShortRegIn("no registration here"));
    EXPECT_FALSE(gf_findShortRegIn(""));
}

// A record without registration would be found in every text; such records are not kept.
TEST(ShortRegistrations, AnEmptyRegistrationMatchesNothing) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted(
        "input/dbase.enc",
        refdatatest::dbaseXml({{"dbase", R"(<d r="" m="A320"/><d a="DLH"/><d r="ZZ9" m="A320"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_FALSE(gf_findShortRegIn("any text at all"));
    EXPECT_EQ(gf_findShortRegIn("has ZZ9 in it"), "ZZ9");
    EXPECT_FALSE(gf_lookupRegistration(""));
}

TEST_F(ShippedDbase, PrefixAlternatives) {
    EXPECT_EQ(gf_prefixAlternatives("D-"), (Texts{"HB-", "OE-"}));
    EXPECT_EQ(gf_prefixAlternatives("OE-"), (Texts{"D-", "HB-"}));
    EXPECT_TRUE(gf_prefixAlternatives("ZZ-").empty());
    // A prefix of two groups keeps the entry whose text sorts first: "OO-,F-,LX-" before "OO-,PH-".
    EXPECT_EQ(gf_prefixAlternatives("OO-"), (Texts{"F-", "LX-"}));
}

TEST_F(ShippedDbase, PrefixAlternativesShuffleOnlyWithRandom) {
    const Texts fixed = gf_prefixAlternatives("SE-");
    ASSERT_EQ(fixed.size(), 3u);
    EXPECT_EQ(gf_prefixAlternatives("SE-"), fixed);
    gf_setRandomSwitch([] { return true; });
    std::set<Texts> orders;
    for (int i = 0; i < 200; ++i) {
        const Texts& shuffled = gf_prefixAlternatives("SE-");
        EXPECT_EQ(std::set<std::string>(shuffled.begin(), shuffled.end()),
                  std::set<std::string>(fixed.begin(), fixed.end()));
        orders.insert(shuffled);
    }
    gf_setRandomSwitch(nullptr);
    EXPECT_EQ(orders.size(), 6u);
}

TEST(PrefixAlternatives, AOneMemberGroupAddsNothing) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted(
        "input/dbase.enc",
        refdatatest::dbaseXml({{"prefixes", R"(<similar types="VH-"/><similar types="G-,EI-"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_TRUE(gf_prefixAlternatives("VH-").empty());
    EXPECT_EQ(gf_prefixAlternatives("EI-"), (Texts{"G-"}));
    EXPECT_EQ(gPrefixAlternatives.size(), 2u);
}

TEST_F(ShippedDbase, KnownAirlines) {
    EXPECT_TRUE(gf_isKnownAirlineCode("DLH"));
    EXPECT_FALSE(gf_isKnownAirlineCode("FDX")); // a cargo operator, not in the airline list
    EXPECT_FALSE(gf_isKnownAirlineCode("dlh"));
    EXPECT_FALSE(gf_isKnownAirlineCode(""));
}

TEST_F(ShippedDbase, PublishersOfPackagePaths) {
    EXPECT_EQ(gf_publisherOf("C:\\MSFS\\Community\\flytampa-copenhagen"), "FlyTampa");
    EXPECT_EQ(gf_publisherOf("/mnt/c/Community/ORBX-AIRPORT-EGLC"), "Orbx");
    EXPECT_EQ(gf_publisherOf("Community/fsdt-kclt"), "FSDreamTeam"); // a later name, the group's first
    EXPECT_FALSE(gf_publisherOf("Community/some-freeware-airport"));
    EXPECT_FALSE(gf_publisherOf(""));
}

TEST(Publishers, AnEmptyNameMatchesNoPath) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted(
        "input/dbase.enc", refdatatest::dbaseXml({{"publishers", R"(<pub names="Orbx,"/><pub names=""/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_FALSE(gf_publisherOf("Community/anything"));
    EXPECT_EQ(gf_publisherOf("Community/orbx-egl"), "Orbx");
}

TEST(PathContainsNoCase, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(gf_pathContainsNoCase("C:/Community/FlyTampa-EKCH", "flytampa"));
    EXPECT_TRUE(gf_pathContainsNoCase("community/flytampa", "FLYTAMPA"));
    EXPECT_TRUE(gf_pathContainsNoCase("anything", ""));
    EXPECT_FALSE(gf_pathContainsNoCase("Community/ÄRO", "äro"));
    EXPECT_TRUE(gf_pathContainsNoCase("Community/ÄRO", "Äro"));
    EXPECT_FALSE(gf_pathContainsNoCase("Community", "Communityx"));
}

TEST_F(ShippedDbase, ThirdpartyAirports) {
    EXPECT_TRUE(gf_isThirdpartyAirport(true, "FlyTampa", "KLAS"));
    EXPECT_FALSE(gf_isThirdpartyAirport(false, "FlyTampa", "KLAS")); // not in the 2024 list
    EXPECT_TRUE(gf_isThirdpartyAirport(false, "FlyTampa", "EKCH"));
    EXPECT_FALSE(gf_isThirdpartyAirport(true, "flytampa", "KLAS"));
    EXPECT_FALSE(gf_isThirdpartyAirport(true, "FlightBeam", "KLAS"));
    EXPECT_FALSE(gf_isThirdpartyAirport(true, "", "KLAS"));
    EXPECT_FALSE(gf_isThirdpartyAirport(true, "FlyTampa", ""));
    EXPECT_TRUE(gSimaddons20.contains("EGLL"));
    EXPECT_TRUE(gSimaddons24.contains("LSZH"));
}

TEST(ThirdpartyAirports, AnEmptyPublisherMatchesNothing) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted(
        "input/dbase.enc", refdatatest::dbaseXml({{"thirdparties24", R"(<thirdpartie24 arpts="EDDF"/>)"}}));
    ASSERT_TRUE(gf_readDbase());
    EXPECT_FALSE(gf_isThirdpartyAirport(false, "", "EDDF"));
}
