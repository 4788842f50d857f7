// The shared aircraft records: category values, state and phase names, log labels, the sample
// ring under wrap-around and growth, and the stand table's look-ups.
#include <cmath>
#include <stdexcept>

#include <gtest/gtest.h>

#include "core/random.hpp"
#include "records/aircraft.hpp"
#include "records/sample_queue.hpp"
#include "records/stand_table.hpp"
#include "refdata/code_table.hpp"

namespace {

using namespace tamrix;

TEST(Records, CategoryValuesNamesAndLabels) {
    const CategoryValues& rotor = gf_categoryValues(AircraftCategory::Rotorcraft);
    EXPECT_EQ(rotor.climbPitchTicks, 100u);
    EXPECT_DOUBLE_EQ(rotor.rotationPitchDeg, -20.0);
    EXPECT_DOUBLE_EQ(gf_categoryValues(AircraftCategory::Light).angleStepRad, 0.002617993877991494);
    EXPECT_THROW(gf_categoryValues(static_cast<AircraftCategory>(6)), std::out_of_range);

    EXPECT_EQ(gf_moveName(MovePhase::Birth), "birth");
    EXPECT_EQ(gf_stateName(LiveState::RemovingFromSim), "removingfromsim");
    try {
        gf_stateName(static_cast<LiveState>(5));
        FAIL() << "no throw";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }

    TrafficRecord r;
    r.head.callsign = "DLH123";
    r.head.registration = "D-AIZB";
    EXPECT_EQ(gf_callsignText(r), "DLH123  ");
    EXPECT_EQ(gf_routeText(r), "        ");
    r.head.destination = FixedCode<3>("FRA");
    EXPECT_EQ(gf_routeText(r), "   ->FRA");
    EXPECT_EQ(gf_flightText(r), "DLH123   D-AIZB          ->FRA");

    EXPECT_FALSE(gf_isValidCallsign(""));
    EXPECT_FALSE(gf_isValidCallsign("@@@@@@@@"));
    EXPECT_FALSE(gf_isValidCallsign("ABCDEFGHI"));
    EXPECT_TRUE(gf_isValidCallsign("ABCDEFGH"));
    std::string airline;
    EXPECT_TRUE(gf_airlineFromCallsign("dlh4U", airline));
    EXPECT_EQ(airline, "DLH");
    EXPECT_FALSE(gf_airlineFromCallsign("D4H1", airline));
    EXPECT_FALSE(gf_airlineFromCallsign("DLH", airline));
}

TEST(Records, NewRecordsTakeTheirCategoryValuesVariedExactly) {
    gf_setRandomSwitch([] { return true; });
    TrafficHead head;
    head.liveryKey.modelIndex = gf_modelIndex("ZZZ9"); // no category list: Light
    head.callsign = "ABC1";
    TrafficRecord r;
    gf_makeStaticTrafficRecord(r, std::move(head));
    EXPECT_TRUE(head.callsign.empty()); // moved out
    EXPECT_EQ(r.head.callsign, "ABC1");
    EXPECT_EQ(r.category, AircraftCategory::Light);
    EXPECT_EQ(r.flareTicks, 250u);
    const double rotationDeg = r.rotationPitch / 0.017453292519943295;
    EXPECT_TRUE(std::abs(rotationDeg - -9.225) < 1e-9 || std::abs(rotationDeg - -8.775) < 1e-9) << rotationDeg;
    const double climbDeg = r.climbPitch / 0.017453292519943295;
    EXPECT_TRUE(std::abs(climbDeg - -15.75) < 1e-9 || std::abs(climbDeg - -14.25) < 1e-9) << climbDeg;

    LiveAircraft live(PositionSample{}, std::move(r), 12.5);
    EXPECT_EQ(live.samples.size(), 1u);
    EXPECT_EQ(live.throttleIndex, 5u);
    EXPECT_EQ(live.flapsIndex, 4u);
    EXPECT_EQ(live.stepCounter, 1);
    EXPECT_EQ(live.phase, MovePhase::Birth);
    EXPECT_EQ(live.move.earlyWindow, 1000u);
}

TEST(Records, SampleQueueKeepsOrderThroughWrapAndGrowth) {
    SampleQueue q;
    int64_t next = 0;
    int64_t oldest = 0;
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 7; ++i) {
            PositionSample s;
            s.dueTick = next++;
            q.push_back(s);
        }
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(q.front().dueTick, oldest++);
            q.pop_front();
        }
    }
    for (std::size_t i = 0; i < q.size(); ++i) ASSERT_EQ(q[i].dueTick, oldest + static_cast<int64_t>(i));
    const std::size_t capacity = q.capacity();
    PositionSample first;
    first.dueTick = -1;
    q.push_front(first);
    EXPECT_EQ(q.front().dueTick, -1);
    q.erase(1);
    EXPECT_EQ(q[1].dueTick, oldest + 1);
    q.drop_front(3);
    EXPECT_EQ(q.front().dueTick, oldest + 3);
    SampleQueue copy = q;
    EXPECT_EQ(copy.back().dueTick, q.back().dueTick);
    EXPECT_LE(q.capacity(), capacity * 2);

    // A queue's own sample pushed again while the queue is full: growing must not lose it.
    SampleQueue full;
    for (int i = 0; i < 8; ++i) {
        PositionSample s;
        s.dueTick = i;
        full.push_back(s);
    }
    ASSERT_EQ(full.size(), full.capacity());
    full.push_back(full.back());
    full.push_front(full[3]);
    EXPECT_EQ(full.back().dueTick, 7);
    EXPECT_EQ(full.front().dueTick, 3);
}

TEST(Records, StandTableLooksUpByStandId) {
    gf_clearStandTable();
    for (uint32_t i = 1; i <= 5; ++i) {
        StandRecord stand;
        stand.id = "G" + std::to_string(i);
        stand.standId = i;
        gStandTable.push_back(std::move(stand));
    }
    EXPECT_EQ(gf_standNameOfSid(0), "sid==0?");
    EXPECT_EQ(gf_standNameOfSid(6), "sid==?");
    EXPECT_EQ(gf_standNameOfSid(-2), "sid==?");
    EXPECT_EQ(gf_standNameOfSid(4), "G4");
    gf_setStandOccupied(3, true);
    EXPECT_EQ(gf_findStand(3)->liveOccupied, 1);
    gf_setStandOccupied(9, true); // ignored
    gf_setStandOccupied(3, false);
    EXPECT_EQ(gf_findStand(3)->liveOccupied, 0);
    gf_clearStandTable();
}

} // namespace
