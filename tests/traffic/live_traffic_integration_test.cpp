// Live traffic end to end: traffic datagrams through the real traffic reader and intake, the
// tick, the real dispatch handlers and the simulator stand-in stepped frame by frame. Aircraft
// are born, matched to a livery of the fixture catalogue, created with their titles and flight
// plans, settled and made active, and removed when they leave the feed; a refused title and an
// object the simulator removes on its own leave nothing behind.
#include <filesystem>
#include <thread>

#include "config/settings.hpp"
#include "links/flight_plan_writer.hpp"
#include "links/sim_definitions.hpp"
#include "links/sim_dispatch.hpp"
#include "links/traffic_reader.hpp"
#include "links/udp_reader.hpp"
#include "platform/simconnect/sim_world.hpp"
#include "rtfeed/feed_traffic.hpp"
#include "traffic_test_support.hpp"

namespace traffictest {
namespace {

using platform::simconnect::simWorld;

void sendDatagram(uint16_t port, const std::string& text) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(fd);
}

bool waitFor(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

rtfeed::Flight flight(uint32_t key, const char* callsign, const char* type, const char* reg, double lat, double lon) {
    rtfeed::Flight f;
    f.key = key;
    f.callsign = callsign;
    f.type = type;
    f.registration = reg;
    f.origin = "FRA";
    f.destination = "MUC";
    f.position = {lat, lon};
    f.altitudeFt = 12000.0;
    f.groundSpeedKt = 300.0;
    f.trackDeg = 90.0;
    f.trueAirspeedKt = 320.0;
    return f;
}

class LiveTrafficIntegration : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        simWorld().reset();
        simWorld().startSimulator();
        simWorld().setFlightRunning(true);
        platform::simconnect::UserAircraft user;
        user.objectId = 1;
        user.latitude = kUserLat;
        user.longitude = kUserLon;
        simWorld().setUserAircraft(user);
        simWorld().setDefaultCreationAnswer(platform::simconnect::CreationAnswer::Create);
        gIsMsfs2020.store(true);
        gf_reserveSimQueues();
        ASSERT_EQ(SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0), S_OK);
        gSimConnect.store(handle);
        lf_setupSimDefinitions();
        dispatch();
        ASSERT_TRUE(gf_createFlightPlanFolder());
        gRangeNm.store(40.0);
        gRangeMeters.store(40 * 1852);

        TrafficReader& reader = gf_trafficReader();
        reader.setUserPosition(GeoPosition{kUserLat, kUserLon});
        reader.stopFlag.store(false);
        readerThread = std::thread([&reader, this] { reader.runThread("Traffic Reader", 0, true, {&readerState}); });
        ASSERT_TRUE(waitFor([&] { return reader.boundPort() != 0; }));
        gf_openTrafficGate();
    }
    void TearDown() override {
        gf_trafficReader().stopFlag.store(true);
        if (readerThread.joinable()) readerThread.join();
        gSimConnect.store(nullptr);
        SimConnect_Close(handle);
        simWorld().reset();
        TrafficTest::TearDown();
    }

    void dispatch() { SimConnect_CallDispatch(handle, lf_simDispatch, nullptr); }

    // One tick of the main loop and one frame of the simulator.
    void step(int ticks = 1) {
        for (int i = 0; i < ticks; ++i) {
            lf_handleAddingStack();
            simWorld().stepFrames(1);
            dispatch();
        }
    }

    // The flights report, and the reader has queued their lines.
    void report(std::vector<rtfeed::Flight>& flights) {
        const std::size_t before = gf_trafficIntakeSize();
        for (auto& f : flights) {
            sendDatagram(gf_trafficReader().boundPort(), rtfeed::formatTrafficLine(f, time));
            f.position.longitude += 0.02;
        }
        time += 5.0;
        ASSERT_TRUE(waitFor([&] { return gf_trafficIntakeSize() >= before + flights.size(); }));
    }

    // Reports every 100 ticks until the condition holds or the ticks run out.
    bool runUntil(std::vector<rtfeed::Flight>& flights, int maxTicks, const std::function<bool()>& condition) {
        for (int t = 0; t < maxTicks; ++t) {
            if (gf_tickCount() % 100 == 0 && !flights.empty()) report(flights);
            step();
            if (condition()) return true;
        }
        return false;
    }

    std::optional<platform::simconnect::ObjectView> objectOf(const char* callsign) {
        for (const auto& o : simWorld().objects())
            if (!o.user && o.atcId == callsign) return o;
        return std::nullopt;
    }

    HANDLE handle = nullptr;
    std::thread readerThread;
    std::atomic<int32_t> readerState{0};
    double time = 1'700'000'000.0;
};

TEST_F(LiveTrafficIntegration, AircraftAreCreatedSettledMovedAndRemovedWithNothingStuck) {
    const std::string refused = "Fx A320 Air France Skyteam";
    simWorld().setCreationAnswer(refused, platform::simconnect::CreationAnswer::Refuse);
    std::vector<rtfeed::Flight> flights{flight(20001, "DLH1", "A320", "D-AIZB", 50.1, 8.1),
                                        flight(20002, "AFR12", "A320", "F-GKXA", 50.2, 8.1),
                                        flight(20003, "KLM7", "B738", "PH-BXC", 49.9, 8.1)};

    // Born, matched, created and settled.
    ASSERT_TRUE(runUntil(flights, 6000, [] {
        const LiveAircraft* a = live(20001);
        const LiveAircraft* c = live(20003);
        return a != nullptr && a->state == LiveState::Active && c != nullptr && c->state == LiveState::Active;
    }));
    const LiveAircraft& dlh = *live(20001);
    EXPECT_EQ(dlh.liveryTitle, "Fx A320 Lufthansa");
    ASSERT_NE(live(20003), nullptr);
    EXPECT_EQ(live(20003)->liveryTitle, "Fx B739 KLM");
    const auto object = objectOf("DLH1");
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ(object->title, "Fx A320 Lufthansa");
    EXPECT_EQ(object->id, dlh.objectId);
    EXPECT_TRUE(object->aiReleased);
    EXPECT_EQ(dlh.flightPlanWritten, 1);
    EXPECT_TRUE(std::filesystem::exists(gf_flightPlanPath(dlh.objectId)));
    EXPECT_NE(simWorld().snapshotText().find("DLH1"), std::string::npos);

    // The refused title is remembered; the aircraft never waits for a creation for ever.
    EXPECT_TRUE(gNotCreatedTitles.contains(refused));
    if (const LiveAircraft* afr = live(20002)) {
        EXPECT_NE(afr->liveryTitle, refused);
    }

    // Moving: positions reach the simulator.
    const uint32_t dlhId = dlh.objectId;
    const uint64_t updates = objectOf("DLH1")->positionUpdates;
    runUntil(flights, 300, [] { return false; });
    EXPECT_GT(objectOf("DLH1")->positionUpdates, updates);
    EXPECT_GT(objectOf("DLH1")->longitude, 8.1);

    // The simulator removes DLH1 on its own: the record and its flight plan go.
    ASSERT_TRUE(simWorld().removeObject(dlhId));
    step(3);
    EXPECT_TRUE(live(20001) == nullptr || live(20001)->objectId != dlhId);
    EXPECT_FALSE(std::filesystem::exists(gf_flightPlanPath(dlhId)));

    // Everybody leaves the feed: every aircraft is removed and every object goes.
    flights.clear();
    ASSERT_TRUE(runUntil(flights, 12000, [] { return gLiveAircraft.empty() && simWorld().aiObjectCount() == 0; }))
        << gLiveAircraft.size() << " records, " << simWorld().aiObjectCount() << " objects";
    EXPECT_TRUE(gSettleList.empty());
    EXPECT_TRUE(gLiveAddingStack.empty());
}

} // namespace
} // namespace traffictest
