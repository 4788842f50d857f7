// Short runs of the stand-in's session without a server: every flight of a scenario under way is
// reported, with the lines the plan gives for that moment; synthetic flights come at the rate
// asked for, also at a heavy load.
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "rtfeed/feed_session.hpp"
#include "support/udp_port.hpp"

namespace rtfeed {
namespace {

// A UDP socket on a free port, kept open to receive.
struct Receiver {
    int fd = -1;
    uint16_t port = testsupport::freeUdpPort(&fd);
    ~Receiver() { ::close(fd); }
    std::vector<std::string> drain() {
        std::vector<std::string> out;
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0) {
            char buffer[2048];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            out.emplace_back(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }
};

TEST(ScenarioSession, ReportsEveryFlightUnderWayFromTheSkippedPoint) {
    const ScenarioAirport airport =
        readScenarioAirport(std::string(QUORVEL_SOURCE_DIR) + "/data/scenario/EKBI.json");
    PlanOptions plan;
    plan.horizonSeconds = 400.0;
    auto planned = std::make_shared<ScenarioPlan>(planScenario(airport, plan));
    Receiver traffic, qnh;
    FeedOptions o;
    o.useServer = false;
    o.position = airport.user;
    o.trafficPort = traffic.port;
    o.qnhPort = qnh.port;
    o.scenario = planned;
    o.scenarioStartSeconds = 100.0;
    o.durationSeconds = 2.5;
    o.verbose = false;
    FeedSession session(o);
    const FeedReport report = session.run();
    const auto lines = traffic.drain();
    EXPECT_EQ(static_cast<int>(lines.size()), report.trafficSent);
    EXPECT_EQ(qnh.drain().size(), 1u);

    std::map<uint32_t, const ScenarioFlight*> byKey;
    for (const auto& f : planned->flights)
        byKey[f.identity.key] = &f;
    std::set<uint32_t> reported;
    for (const auto& line : lines) {
        const auto fields = splitFields(line);
        ASSERT_EQ(fields.size(), kTrafficFieldCount) << line;
        const uint32_t key = static_cast<uint32_t>(std::stoul(fields[1]));
        ASSERT_TRUE(byKey.contains(key)) << line;
        reported.insert(key);
        // The line holds the flight at some moment of the run's 2.5 s, 100 s into the plan.
        const ScenarioFlight& f = *byKey[key];
        const Position at{std::stod(fields[2]), std::stod(fields[3])};
        double best = 1e9;
        for (double t = 99.9; t <= 103.5; t += 0.01)
            best = std::min(best, distanceNm(at, planned->frame.toGeo(f.track.at(t).position)) * 1852.0);
        EXPECT_LT(best, 3.0) << line;
        EXPECT_EQ(fields[9], f.identity.callsign.empty() ? "null" : f.identity.callsign);
    }
    for (const auto& f : planned->flights) {
        if (f.track.start() <= 100.0 && f.track.end() >= 103.0) {
            EXPECT_TRUE(reported.contains(f.identity.key)) << f.identity.callsign;
        }
    }
}

// 1,000 aircraft at 1 Hz reach the port as 1,000 lines a second, each aircraft once a second.
TEST(SyntheticSession, SendsAThousandAircraftOnceASecond) {
    Receiver traffic, qnh;
    std::atomic<bool> done{false};
    std::vector<std::string> lines;
    std::thread reader([&] {
        // Read while the session sends, so that no datagram is lost for a full socket buffer.
        while (!done.load()) {
            pollfd p{traffic.fd, POLLIN, 0};
            ::poll(&p, 1, 5);
            for (auto& line : traffic.drain())
                lines.push_back(std::move(line));
        }
        for (auto& line : traffic.drain())
            lines.push_back(std::move(line));
    });
    FeedOptions o;
    o.useServer = false;
    o.position = Position{55.74, 9.15};
    o.trafficPort = traffic.port;
    o.qnhPort = qnh.port;
    o.aircraft = 1000;
    o.reportIntervalSeconds = 1.0;
    o.durationSeconds = 2.0;
    FeedSession session(o);
    const FeedReport report = session.run();
    done = true;
    reader.join();

    EXPECT_GE(report.trafficSent, 1800);
    EXPECT_LE(report.trafficSent, 2100);
    EXPECT_EQ(static_cast<int>(lines.size()), report.trafficSent);
    std::map<std::string, int> perKey;
    for (const auto& line : lines)
        ++perKey[splitFields(line).at(1)];
    EXPECT_EQ(perKey.size(), 1000u);
    for (const auto& [key, count] : perKey)
        EXPECT_LE(count, 3) << key;
}

} // namespace
} // namespace rtfeed
