#pragma once
// Shared by the stand tests: each test runs in a fresh folder with "Log.txt" open there, an empty
// stand table, the learned-update counter at 0, no registration records, the user aircraft not
// yet reported, and no airport services installed. Stands are laid out in metres east and north
// of a reference point, so that distances in the tests read as the rules state them.

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "airports/stand_choice.hpp"
#include "airports/stand_options.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/time_texts.hpp"
#include "links/stand_lookup.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/stand_table.hpp"
#include "refdata/dbase.hpp"
#include "support/temp_folder.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"

namespace standstest {

using namespace tamrix;

inline constexpr GeoPosition kOrigin{50.0, 8.0};
inline constexpr double kFeetPerMetre = 3.280839895013123;
inline constexpr double kPi = 3.141592653589793;

// The position east and north of the origin, in metres.
inline GeoPosition at(double eastMetres, double northMetres = 0.0) {
    GeoPosition p = kOrigin;
    if (eastMetres != 0.0) p = gf_destinationPoint(p, eastMetres > 0 ? kPi / 2 : 3 * kPi / 2, std::abs(eastMetres) * kFeetPerMetre);
    if (northMetres != 0.0) p = gf_destinationPoint(p, northMetres > 0 ? 0.0 : kPi, std::abs(northMetres) * kFeetPerMetre);
    return p;
}

inline void resetStands() {
    gf_clearStandTable();
    gf_reserveStandTable();
    gf_resetLearnedUpdates();
    gf_setParkingPanelRepaint(nullptr);
    gf_clearDbase();
    gf_resetUserPositionRecord();
    gf_setAirportServices(AirportServices{});
    gf_setStandNameFinder(nullptr);
    gRealTrafficProfessional.store(false);
    gLastTrafficTime.store(0.0);
    gLiveAircraft.clear();
    gCallsignMatchKeys.clear();
}

class StandsTest : public ::testing::Test {
protected:
    StandsTest() : folder_(true) { gf_openLog(); }
    ~StandsTest() override { gf_closeLog(); }
    void SetUp() override { resetStands(); }
    void TearDown() override { resetStands(); }

    // A stand appended and numbered as the airport reader does (stand id = its place).
    static StandRecord& addStand(std::string name, GeoPosition p, double radiusMetres, uint16_t type,
                                 bool heli = false, bool cargo = false) {
        StandRecord& stand = gf_emplaceStand(std::move(name), {}, {p.latitude, p.longitude, 0.0}, radiusMetres,
                                             type, cargo, false, heli);
        stand.standId = static_cast<uint32_t>(gStandTable.size());
        return stand;
    }

    static LiveAircraft aircraft(AircraftCategory category, double halfSpanMetres, std::string callsign = "DLH4AB",
                                 std::string reg = "D-AIBA", LiveryKey key = {7, 0, 30, 0, 0}) {
        LiveAircraft a;
        a.category = category;
        a.size = halfSpanMetres * kNmPerMetre;
        a.head.callsign = std::move(callsign);
        a.head.registration = std::move(reg);
        a.head.liveryKey = key;
        a.key = 10001;
        return a;
    }

    static std::vector<std::string> logLines() {
        gf_flushLog();
        std::vector<std::string> out;
        std::istringstream in(testsupport::readFile("Log.txt"));
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    static bool logged(std::string_view line) {
        const auto lines = logLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // The slots set in a half-hour set, ascending.
    static std::vector<int> slots(const HalfHourSet& hours) {
        std::vector<int> out;
        for (int i = 0; i < 48; ++i)
            if (hours.test(static_cast<std::size_t>(i))) out.push_back(i);
        return out;
    }

private:
    testsupport::TempFolder folder_;
};

} // namespace standstest
