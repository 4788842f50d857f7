// The generic and private steps of the matching ladder on the reference data the program ships
// (the built "dbase.enc"), not on the test fixtures: liveries of the catalogue's own operators
// ZZZ (generic) and PVT (private) are read as such and chosen as intended.
#include <fmt/format.h>

#include "config/settings.hpp"
#include "core/paths.hpp"
#include "liveries/livery_matching.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries_test_support.hpp"
#include "refdata/model_lookups.hpp"
#include "refdata/reference_data.hpp"
#include "refdata/registration_lookups.hpp"

namespace liveriestest {
namespace {

using namespace tamrix;

class ShippedReferenceData : public LiveriesTest {
protected:
    // Only what this test reads: default settings, the shipped dbase alone, no catalogue of an
    // earlier test.
    ShippedReferenceData() {
        gf_resetPaths();
        gf_resetSettings();
        gf_resetReferenceData();
        gf_clearLiveryIndex();
        gLiveriesProcessed = false;
    }
    // The settings this test changes go back to their defaults for the tests after it.
    ~ShippedReferenceData() override {
        LIG_AUTOMATIC.current = LIG_AUTOMATIC.defaultValue;
        lfolder0.current.set(lfolder0.defaultValue.get());
        MATCHING_DEPTH.current = MATCHING_DEPTH.defaultValue;
    }
};

std::string matched(const char* op, const char* model, const char* registration) {
    TrafficRecord r;
    r.head.liveryKey.operatorIndex = gf_airlineIndex(op);
    r.head.liveryKey.modelIndex = gf_modelIndex(model);
    r.head.registration = registration;
    r.head.callsign = "TST123";
    r.category = gf_modelCategory(r.head.liveryKey.modelIndex);
    matchLivery(r);
    return std::string(r.liveryTitle);
}

TEST_F(ShippedReferenceData, GenericAndPrivateLiveriesMatchAsIntended) {
    fs::create_directories("input");
    fs::copy_file(fs::path(QUORVEL_ENC_DIR) / "dbase.enc", "input/dbase.enc");
    ASSERT_TRUE(gf_readDbase());
    EXPECT_TRUE(gf_isKnownAirlineCode("ZZZ"));
    EXPECT_TRUE(gf_isKnownAirlineCode("PVT"));

    testsupport::writeFile("liveries/A320/aircraft.cfg", "[General]\nicao_type_designator=A320\n"
                                                         "[fltsim.0]\ntitle=Shipped A320 Generic\nicao_airline=ZZZ\n"
                                                         "[fltsim.1]\ntitle=Shipped A320 Lufthansa\nicao_airline=DLH\n");
    testsupport::writeFile("liveries/C172/aircraft.cfg", "[General]\nicao_type_designator=C172\n"
                                                         "[fltsim.0]\ntitle=Shipped C172 Generic\nicao_airline=ZZZZ\n"
                                                         "[fltsim.1]\ntitle=Shipped C172 Private\nicao_airline=PVT\n"
                                                         "atc_id=D-EABC\n");
    LIG_AUTOMATIC.current = false;
    lfolder0.current.set((fs::current_path() / "liveries").string());
    ASSERT_TRUE(gf_scanLiveries());
    gf_processScannedLiveries();
    MATCHING_DEPTH.current = 4;
    const int32_t genericBefore = gMatchStepCounts[4];

    EXPECT_EQ(matched("DLH", "A320", "D-AXYZ"), "Shipped A320 Lufthansa");
    // An airline without a livery of the model takes the generic one.
    EXPECT_EQ(matched("AFR", "A320", "F-GXYZ"), "Shipped A320 Generic");
    // A private aircraft takes a generic livery of its model first.
    EXPECT_EQ(matched("PVT", "C172", "N555AB"), "Shipped C172 Generic");
    EXPECT_EQ(gMatchStepCounts[4] - genericBefore, 2) << "both by the generic step";
}

} // namespace
} // namespace liveriestest
