// The stand choice of live aircraft (type, size, the 20 m rule, helipads, the learned fallback),
// the stand under the user aircraft, and the marks static parking sets.
#include "airports/stands_test_support.hpp"

namespace {

using namespace standstest;

constexpr double kMetre = kNmPerMetre;

StandRecord* choose(GeoPosition p, const TrafficRecord& a, double searchMetres, bool fallback = false) {
    return lf_findFittingStand(p.latitude, p.longitude, a, searchMetres * kMetre, fallback);
}

// The chosen stand's id, "(none)" when none is chosen: a failed check goes on with the test.
std::string chosenId(GeoPosition p, const TrafficRecord& a, double searchMetres, bool fallback = false) {
    const StandRecord* s = choose(p, a, searchMetres, fallback);
    return s ? s->id : "(none)";
}

TEST_F(StandsTest, ParkingTypesServeTheirCategories) {
    using C = AircraftCategory;
    StandRecord s;
    const auto fitsType = [&](uint16_t type, C c) {
        s.type = type;
        return gf_standTypeFitsCategory(s, c);
    };
    EXPECT_TRUE(fitsType(10, C::Heavy));
    EXPECT_FALSE(fitsType(10, C::Large));
    EXPECT_FALSE(fitsType(9, C::Heavy));
    EXPECT_TRUE(fitsType(3, C::HighPerf));
    EXPECT_TRUE(fitsType(11, C::Rotorcraft));
    EXPECT_FALSE(fitsType(5, C::Light));
    for (uint32_t c = 0; c <= 5; ++c) {
        EXPECT_TRUE(fitsType(12, static_cast<C>(c)));
        EXPECT_FALSE(fitsType(0, static_cast<C>(c)));
        EXPECT_FALSE(fitsType(13, static_cast<C>(c)));
        EXPECT_FALSE(fitsType(16, static_cast<C>(c)));
    }
}

// An apron row of one stand of each parking type the facility data gives, 50 m apart. Each
// aircraft stands 22 m from a stand whose type does not serve it (beyond the 20 m rule) and 28 m
// from one whose type does: it goes to the farther one. A type that served one category more
// would take the aircraft beside it; one that served one less would leave its aircraft without
// a stand. A rotorcraft takes helipads only, which are of type 0 and fit by size: what the types
// say of rotorcraft decides nothing.
TEST_F(StandsTest, EachParkingTypeTakesItsAircraftPastANearerStandOfAnotherType) {
    using C = AircraftCategory;
    const std::vector<std::pair<std::string, uint16_t>> row{
        {"RAMP_MIL_COMBAT", 7}, {"RAMP_GA_LARGE", 4}, {"RAMP_GA_MEDIUM", 3}, {"GATE_MEDIUM", 9},
        {"RAMP_GA", 1},         {"RAMP_CARGO", 5},    {"RAMP_GA_EXTRA", 14}, {"GATE_HEAVY", 10},
        {"GATE_SMALL", 8},      {"RAMP_GA_SMALL", 2}, {"GATE_EXTRA", 15},    {"DOCK_GA", 11},
        {"RAMP_MIL_CARGO", 6},  {"FUEL", 12},
    };
    for (std::size_t i = 0; i < row.size(); ++i) addStand(row[i].first, at(50.0 * static_cast<double>(i)), 30, row[i].second);
    struct Case {
        double east;
        C category;
        const char* stand;
    };
    const std::vector<Case> cases{
        {28, C::HighPerf, "RAMP_MIL_COMBAT"}, {22, C::Buzjets, "RAMP_GA_LARGE"},
        {72, C::Light, "RAMP_GA_MEDIUM"},     {122, C::Large, "GATE_MEDIUM"},
        {172, C::Light, "RAMP_GA"},           {222, C::Heavy, "RAMP_CARGO"},
        {272, C::HighPerf, "RAMP_GA_EXTRA"},  {322, C::Heavy, "GATE_HEAVY"},
        {372, C::Buzjets, "GATE_SMALL"},      {422, C::Light, "RAMP_GA_SMALL"},
        {472, C::Heavy, "GATE_EXTRA"},        {522, C::Light, "DOCK_GA"},
        {572, C::Large, "RAMP_MIL_CARGO"},    {622, C::HighPerf, "FUEL"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chosenId(at(c.east), aircraft(c.category, 10), 40), c.stand) << c.east << " m";
    for (const StandRecord& stand : gStandTable) EXPECT_EQ(stand.radiusChange, 0) << stand.id;
}

TEST_F(StandsTest, NearestFittingStandByTypeSizeAndHelipad) {
    addStand("G1", at(0), 25, 9);          // GATE_MEDIUM
    addStand("G2", at(40), 35, 10);        // GATE_HEAVY
    addStand("H1", at(-40), 10, 0, true);  // helipad
    addStand("R1", at(-70), 8, 1);         // RAMP_GA
    addStand("T1", at(0, 200), 20, 0);     // type 0: by size
    const LiveAircraft heavy = aircraft(AircraftCategory::Heavy, 32);

    // The nearest stand that fits, within the search distance.
    EXPECT_EQ(chosenId(at(30), heavy, 55), "G2");
    EXPECT_EQ(choose(at(100), heavy, 55), nullptr);

    // Within 20 m a stand is taken although its type does not fit, and made big enough.
    StandRecord* g1 = choose(at(5), heavy, 55);
    ASSERT_NE(g1, nullptr);
    EXPECT_EQ(g1->id, "G1");
    EXPECT_NEAR(g1->radius, 31 * kMetre, 1e-12);
    EXPECT_EQ(g1->radiusChange, 1);
    EXPECT_EQ(gLearnedUpdateCount, 1u);
    // ... but never to a size of 0 or less, when the aircraft's size is unknown.
    g1->radius = 25 * kMetre;
    g1->radiusChange = 0;
    EXPECT_EQ(chosenId(at(5), aircraft(AircraftCategory::Heavy, 0), 55), "G1");
    EXPECT_NEAR(g1->radius, 25 * kMetre, 1e-12);
    EXPECT_EQ(g1->radiusChange, 0);
    EXPECT_EQ(gLearnedUpdateCount, 1u);

    // Type 0 stands fit by size, with 1.8 m to spare.
    EXPECT_EQ(chosenId(at(0, 230), aircraft(AircraftCategory::Large, 21.7), 55), "T1");
    EXPECT_EQ(choose(at(0, 230), aircraft(AircraftCategory::Large, 22.0), 55), nullptr);

    // Helipads only for rotorcraft, and rotorcraft only on helipads; a nearer helipad does not
    // hide a ramp that fits, nor a nearer ramp a helipad.
    const LiveAircraft light = aircraft(AircraftCategory::Light, 6);
    EXPECT_EQ(chosenId(at(-40), light, 55), "R1");
    EXPECT_EQ(chosenId(at(-37), aircraft(AircraftCategory::Large, 17), 55), "G1");
    const LiveAircraft helicopter = aircraft(AircraftCategory::Rotorcraft, 6);
    EXPECT_EQ(chosenId(at(-65), helicopter, 55), "H1");
    EXPECT_EQ(choose(at(40), helicopter, 55), nullptr);
    EXPECT_EQ(gStandTable[2].radiusChange, 0);
}

TEST_F(StandsTest, LearnedFallbackWithin85Metres) {
    StandRecord& g1 = addStand("G1", at(0), 25, 9);
    StandOption learned;
    learned.key = LiveryKey{3, 0, 40, 0, 0};
    learned.cs = "DLH4AB";
    learned.number = 1;
    learned.real = 1;
    g1.options.push_back(learned);
    addStand("G3", at(300), 25, 9);
    const LiveAircraft dlh = aircraft(AircraftCategory::Large, 17, "DLH4AB", "D-AIBA", {7, 0, 30, 0, 0});

    EXPECT_EQ(chosenId(at(0, 70), dlh, 20, true), "G1");
    EXPECT_EQ(choose(at(0, 70), dlh, 20, false), nullptr);
    EXPECT_EQ(choose(at(0, 90), dlh, 20, true), nullptr);
    EXPECT_EQ(choose(at(0, 70), aircraft(AircraftCategory::Large, 17, ""), 20, true), nullptr);
    // The same operator, second operator and model name the flight too.
    EXPECT_EQ(chosenId(at(0, 70), aircraft(AircraftCategory::Large, 17, "CFG1", "D-ABCD", {3, 0, 40, 1, 0}),
                       20, true),
              "G1");
    // Only real options count; one static parking set aside for its plan is learned all the same.
    g1.options[0].real = 0;
    EXPECT_EQ(choose(at(0, 70), dlh, 20, true), nullptr);
    g1.options[0].real = 1;
    g1.options[0].number = 0;
    EXPECT_EQ(chosenId(at(0, 70), dlh, 20, true), "G1");
    g1.options[0].number = 1;
    // A stand that fits within the search distance ends the fallback.
    addStand("G4", at(0, 80), 25, 9);
    EXPECT_EQ(chosenId(at(0, 70), dlh, 20, true), "G4");
}

TEST_F(StandsTest, StandUnderTheUserAircraftFollowsTheGroundAndTheTable) {
    gf_setUserOnGround(true);
    EXPECT_EQ(lf_findStandNameAt(kOrigin.latitude, kOrigin.longitude), "");
    addStand("A1", at(0), 25, 9);
    addStand("A2", at(100), 25, 9);
    const GeoPosition p = at(30);
    EXPECT_EQ(lf_findStandNameAt(p.latitude, p.longitude), "A1");
    const GeoPosition far = at(156);
    EXPECT_EQ(lf_findStandNameAt(far.latitude, far.longitude), "");

    // The same position (within 1e-8 degrees) is answered from the last search ...
    EXPECT_EQ(lf_findStandNameAt(p.latitude, p.longitude), "A1");
    gStandTable[0].id = "Z1";
    EXPECT_EQ(lf_findStandNameAt(p.latitude + 5e-9, p.longitude), "A1");
    // ... another position is searched anew ...
    const GeoPosition q = at(31);
    EXPECT_EQ(lf_findStandNameAt(q.latitude, q.longitude), "Z1");
    // ... and a reloaded table is never answered from before.
    gf_clearStandTable();
    addStand("B1", at(31), 25, 9);
    EXPECT_EQ(lf_findStandNameAt(q.latitude, q.longitude), "B1");

    gf_setUserOnGround(false);
    EXPECT_EQ(lf_findStandNameAt(q.latitude, q.longitude), "");
}

TEST_F(StandsTest, StaticParkingMarksAStandAndItsNeighbours) {
    StandRecord& a1 = addStand("A1", at(0), 25, 9);
    addStand("A2", at(50), 25, 9);
    addStand("A3", at(100), 25, 9);
    a1.adjacent = {2, 0, 99};
    gf_markStandTaken(gStandTable[0]);
    EXPECT_EQ(gStandTable[0].taken, 1);
    EXPECT_EQ(gStandTable[1].blocked, 1);
    EXPECT_EQ(gStandTable[2].blocked, 0);
    EXPECT_EQ(gStandTable[2].taken + gStandTable[1].taken, 0);
}

} // namespace
