#pragma once
// Shared by the live-traffic tests: a fresh folder with the hand-written livery catalogue, live
// traffic reset to its start, the settings the rules read at known values, the user aircraft
// on the ground at 50 N 8 E, and helpers that make traffic lines, tick, and read the queues the
// SimClient thread would send.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/refused_titles.hpp"
#include "config/settings.hpp"
#include "core/run_state.hpp"
#include "links/park_airport.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "links/traffic_intake.hpp"
#include "links/user_aircraft_state.hpp"
#include "liveries/liveries_test_support.hpp"
#include "liveries/matching_statistics.hpp"
#include "records/stand_table.hpp"
#include "refdata/code_table.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"

namespace traffictest {

using namespace tamrix;

inline constexpr double kUserLat = 50.0;
inline constexpr double kUserLon = 8.0;

class TrafficTest : public liveriestest::LiveriesTest {
protected:
    void SetUp() override {
        loadFixtureCatalogue();
        MATCHING_DEPTH.current = 4;
        resetTraffic();
    }
    void TearDown() override { resetTraffic(); }

    static void resetTraffic() {
        gf_initLiveTraffic();
        gf_resetLiveTraffic();
        gf_setAirportServices(AirportServices{});
        gf_clearSimQueues();
        gf_clearSimEvents();
        gSimConnect.store(nullptr);
        gNotCreatedTitles.clear();
        gFailedKeyTexts.clear();
        gNoMatchLines.clear();
        gStopFlag.store(false);
        gClosingFlag.store(false);
        LIGHT_AIRCRAFT.current = false;
        HIGH_PERF_AIRCRAFT.current = false;
        HELICOPTERS.current = false;
        COLLISION_USER_AIR.current = false;
        COLLISION_USER_GND.current = false;
        GUID_CHANGES.current = false;
        MAX_LIVE_SEL.current = 500;
        BLOCK_CALLSIGN.current.set("");
        gf_shutTrafficGate();
        setUser(kUserLat, kUserLon, true);
    }

    static void setUser(double lat, double lon, bool onGround, double heading = 0.0, double agl = 0.0) {
        UserAcState s;
        s.latitude = lat;
        s.longitude = lon;
        s.heading = heading;
        s.altitudeAboveGround = agl;
        s.altitude = agl;
        gf_setUserPositionState(s);
        gf_setUserOnGround(onGround);
        gf_refreshUserCopy();
    }

    // A line of an airborne A320 of Lufthansa; time stamps in seconds.
    static TrafficLine line(uint32_t key, const std::string& callsign, double t, double lat = 50.1, double lon = 8.1,
                            double altitude = 12000.0, double speed = 300.0, const char* model = "A320") {
        TrafficLine l;
        l.hexid = key;
        l.head.callsign = callsign;
        l.head.liveryKey.modelIndex = gf_modelIndex(model);
        l.head.liveryKey.operatorIndex = gf_airlineIndex(callsign.substr(0, 3));
        l.sample.latitude = lat;
        l.sample.longitude = lon;
        l.sample.altitude = altitude;
        l.sample.groundSpeed = speed;
        l.sample.track = 90.0;
        l.sample.airborne = altitude > 0.0 ? 1 : 0;
        l.sample.dueTick = gf_tickCount() + kSampleDelayTicks;
        l.timeStamp = t;
        return l;
    }

    static void feed(TrafficLine l) {
        gf_openTrafficGate();
        gf_queueTrafficLine(std::move(l));
    }

    static void tick(int count = 1) {
        for (int i = 0; i < count; ++i) lf_handleAddingStack();
    }

    static LiveAircraft* live(uint32_t key) {
        const auto i = gf_findLiveByKey(key);
        return i < 0 ? nullptr : &gLiveAircraft[static_cast<std::size_t>(i)];
    }

    // The queues the SimClient thread would send, taken and emptied.
    static std::vector<AiCreateRequest> takeCreations() {
        std::lock_guard guard(gSimConnectLock);
        return std::exchange(gCreateQueue, {});
    }
    static std::vector<uint32_t> takeRemovals() {
        std::lock_guard guard(gSimConnectLock);
        return std::exchange(gRemoveQueue, {});
    }
    static std::vector<ClientEventEntry> takeClientEvents() {
        std::lock_guard guard(gSimConnectLock);
        return std::exchange(gClientEventQueue, {});
    }

    // An aircraft made by hand in the given state.
    static LiveAircraft& addLive(uint32_t key, const std::string& callsign, LiveState state, uint32_t objectId = 0,
                                 double lat = 50.1, double lon = 8.1) {
        TrafficLine l = line(key, callsign, 1000.0, lat, lon);
        TrafficRecord record;
        gf_makeStaticTrafficRecord(record, std::move(l.head));
        record.key = key;
        LiveAircraft& a = gLiveAircraft.emplace_back(l.sample, std::move(record), 1000.0);
        a.state = state;
        a.objectId = objectId;
        a.position.latitude = lat;
        a.position.longitude = lon;
        return a;
    }
};

} // namespace traffictest
