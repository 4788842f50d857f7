// Short runs of the stand-in's session without a server: every flight of a scenario under way is
// reported, with the lines the plan gives for that moment; synthetic flights come at the rate
// asked for, also at a heavy load.
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
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

// 1,000 aircraft at 1 Hz: the feed means to send a line every millisecond, each aircraft in turn,
// so each once a second. Judged by the times it meant to send them on its own clock, whatever the
// machine's load: a line goes a millisecond after the one before, never sooner, never before its
// time; only a line held up by more than the feed makes up (200 ms) moves the rest of the
// schedule on, and so takes its round longer than a second. Every line reaches the port.
TEST(SyntheticSession, SendsAThousandAircraftOnceASecond) {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t kAircraft = 1000;
    constexpr std::size_t kLines = 3 * kAircraft + kAircraft / 2;
    constexpr auto kStep = std::chrono::milliseconds(1);
    constexpr auto kMostMadeUp = std::chrono::milliseconds(200);
    struct Sent {
        Clock::time_point meant;
        Clock::time_point at;
        std::string key;
    };
    Receiver traffic, qnh;
    const int buffer = 4 << 20; // room for a reader held up by the load
    ::setsockopt(traffic.fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
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
    std::vector<Sent> sent;
    FeedOptions o;
    o.useServer = false;
    o.position = Position{55.74, 9.15};
    o.trafficPort = traffic.port;
    o.qnhPort = qnh.port;
    o.aircraft = static_cast<int>(kAircraft);
    o.reportIntervalSeconds = 1.0;
    o.durationSeconds = 60.0; // only a bound: it is stopped after enough lines
    o.verbose = false;
    FeedSession* session = nullptr;
    o.onTrafficSent = [&](Clock::time_point meant, Clock::time_point at, std::string_view line) {
        sent.push_back({meant, at, splitFields(line).at(1)});
        if (sent.size() == kLines) session->stop();
    };
    FeedSession feed(o);
    session = &feed;
    const FeedReport report = feed.run();
    done = true;
    reader.join();

    ASSERT_GE(sent.size(), kLines);
    EXPECT_EQ(static_cast<int>(sent.size()), report.trafficSent);
    EXPECT_EQ(lines.size(), sent.size());
    // Each aircraft in turn: every round of 1,000 lines holds each aircraft once, in one order.
    std::set<std::string> first;
    for (std::size_t i = 0; i < kAircraft; ++i)
        first.insert(sent[i].key);
    EXPECT_EQ(first.size(), kAircraft);
    for (std::size_t i = kAircraft; i < sent.size(); ++i)
        ASSERT_EQ(sent[i].key, sent[i - kAircraft].key) << "line " << i;
    // The spacing of what it meant against when it sent.
    std::vector<bool> movedOn(sent.size(), false);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_GE(sent[i].at, sent[i].meant) << "line " << i << " went before its time";
        if (i == 0) continue;
        const auto spacing = sent[i].meant - sent[i - 1].meant;
        if (spacing == kStep) continue;
        movedOn[i] = true;
        EXPECT_GT(spacing, kStep) << "line " << i;
        EXPECT_GE(sent[i].at - sent[i].meant, kMostMadeUp) << "line " << i << " moved on without a hold-up";
    }
    // So each aircraft is meant once a second, and later only by the hold-ups of its round.
    int exactRounds = 0;
    for (std::size_t i = kAircraft; i < sent.size(); ++i) {
        const auto round = sent[i].meant - sent[i - kAircraft].meant;
        bool heldUp = false;
        for (std::size_t j = i - kAircraft + 1; j <= i && !heldUp; ++j)
            heldUp = movedOn[j];
        if (heldUp) {
            EXPECT_GT(round, std::chrono::seconds(1)) << "line " << i;
        } else {
            EXPECT_EQ(round, std::chrono::seconds(1)) << "line " << i;
            ++exactRounds;
        }
    }
    RecordProperty("rounds_of_exactly_one_second", exactRounds);
}

} // namespace
} // namespace rtfeed
