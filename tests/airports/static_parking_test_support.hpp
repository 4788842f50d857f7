#pragma once
// Shared by the static parking tests: a fresh folder with the hand-written livery catalogue (so
// that static aircraft find liveries and models have categories), live traffic and static
// parking reset, the week clock held at a slot the test sets, the settings of the plan at known
// values, and stands laid out along a meridian (one nautical mile per arc minute), so that
// distances read as plain metres.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "airports/stand_options.hpp"
#include "airports/static_parking.hpp"
#include "airports/static_placing.hpp"
#include "config/settings.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/stand_lookup.hpp"
#include "links/traffic_reader.hpp"
#include "links/user_aircraft_state.hpp"
#include "liveries/liveries_test_support.hpp"
#include "records/stand_table.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/parking.hpp"

namespace staticstest {

using namespace tamrix;

inline WeekSlot gTestNow{3, 22}; // Wednesday 11:00 UTC
inline std::string gTestReservedStand;

inline constexpr double kMetreDeg = 1.0 / 1852.0 / 60.0; // one metre north, in degrees of latitude

class StaticParkingTest : public liveriestest::LiveriesTest {
protected:
    void SetUp() override {
        loadFixtureCatalogue();
        reset();
        gf_setWeekClock([] { return gTestNow; });
        gf_setReservedStandNameSource([] { return gTestReservedStand; });
        gf_installStaticParking();
    }
    void TearDown() override { reset(); }

    static void reset() {
        gf_initLiveTraffic();
        gf_resetLiveTraffic();
        gf_reserveStandTable();
        gf_setAirportServices(AirportServices{});
        gf_resetStaticParking();
        gf_setStaticParkingHooks({});
        gf_setWeekClock(nullptr);
        gf_setReservedStandNameSource(nullptr);
        gf_setStandNameFinder(nullptr);
        gf_clearSimQueues();
        gf_clearSimEvents();
        gf_trafficReader().clearCallsigns();
        gf_resetUserPositionRecord();
        gf_resetUserAcState();
        gTestNow = WeekSlot{3, 22};
        gTestReservedStand.clear();
        MAX_PARK_SEL.current = 500;
        parking_percentage.current = 100;
        CUSTOM_PARKING_PERCENTAGE.current = -1;
        MAX_FIT.current = 47;
        MAX_FIT_FL.current = 24.0f;
        WEEK.current = false;
        PARK_SOFT.current = false;
        RANDOM.current = false;
        HELICOPTERS.current = false;
    }

    // A stand `northMetres` north of 50 N 8 E, numbered as the airport reader does.
    static StandRecord& addStand(const std::string& name, double northMetres, bool heli = false) {
        StandRecord& stand = gf_emplaceStand(name, {}, {50.0 + northMetres * kMetreDeg, 8.0, 1.5707963267948966},
                                             20.0, heli ? 0 : 9, false, false, heli);
        stand.standId = static_cast<uint32_t>(gStandTable.size());
        return stand;
    }
    static void makeAdjacent(StandRecord& a, StandRecord& b) {
        a.adjacent.push_back(b.standId);
        b.adjacent.push_back(a.standId);
    }

    // A learned flight: day, half hours first .. last, real or soft; a Lufthansa A320 unless told.
    static StandOption& addOption(StandRecord& stand, uint32_t day, int first, int last, const std::string& cs,
                                  const std::string& reg, bool real = true, const std::string& cs2 = "",
                                  const char* airline = "DLH", const char* type = "A320") {
        StandOption o;
        o.key = LiveryKey{gf_airlineIndex(airline), 0, gf_modelIndex(type), 0, 0};
        o.cs = cs;
        o.cs2 = cs2;
        o.reg = reg;
        o.day = day;
        o.real = real ? 1 : 0;
        for (int s = first; s <= last; ++s) o.hh.set(static_cast<std::size_t>(s));
        o.number = static_cast<uint32_t>(stand.options.size() + 1);
        return stand.options.emplace_back(std::move(o));
    }

    // The plan as "stand:offset" texts, in plan order.
    static std::vector<std::string> plan() {
        std::vector<std::string> out;
        for (const StaticCandidate& c : gStaticCandidates)
            out.push_back(gf_standNameOfSid(static_cast<int32_t>(c.standId)) + ":" + std::to_string(c.fitOffset));
        return out;
    }
    // The candidate planned for that stand; when there is none, the test fails and goes on with
    // a blank candidate (a null pointer would end the whole test program at its first use).
    static const StaticCandidate* candidateAt(const std::string& stand) {
        for (const StaticCandidate& c : gStaticCandidates)
            if (gf_standNameOfSid(static_cast<int32_t>(c.standId)) == stand) return &c;
        ADD_FAILURE() << "no candidate planned for stand " << stand;
        static StaticCandidate blank;
        blank = StaticCandidate{};
        return &blank;
    }
};

} // namespace staticstest
