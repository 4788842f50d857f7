// The stand-in and the program's server: RealTraffic outlives the server, so after "exit" (the
// program closes or restarts) or a lost connection the stand-in connects again once the server
// is back, answers its version question anew and feeds on; it ends only on its own duration or
// on stop().
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

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

using namespace std::chrono_literals;

// Only a bound for what must happen, long enough for a loaded machine.
constexpr auto kGiveUp = 60s;

// A UDP socket on a free port, kept open to receive.
struct Receiver {
    int fd = -1;
    uint16_t port = testsupport::freeUdpPort(&fd);
    ~Receiver() { ::close(fd); }
    // The datagrams waiting now.
    int drain() {
        int count = 0;
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0) {
            char buffer[2048];
            if (::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
            ++count;
        }
        return count;
    }
};

// The program's side: a TCP server on one loopback port that can go away and come back there.
class Server {
public:
    Server() { listenAt(0); }
    ~Server() {
        dropClient();
        goAway();
    }
    uint16_t port() const { return m_port; }
    void goAway() {
        if (m_listener >= 0) ::close(m_listener);
        m_listener = -1;
    }
    void comeBack() { listenAt(m_port); }
    // Waits for the stand-in to connect, while `feed` runs; false when it does not.
    bool acceptWhile(const std::future<FeedReport>& feed) {
        const auto end = std::chrono::steady_clock::now() + kGiveUp;
        while (std::chrono::steady_clock::now() < end &&
               feed.wait_for(0s) != std::future_status::ready) {
            pollfd p{m_listener, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            m_client = ::accept(m_listener, nullptr, nullptr);
            return m_client >= 0;
        }
        return false;
    }
    void send(std::string_view text) { ::send(m_client, text.data(), text.size(), MSG_NOSIGNAL); }
    // What the client sends next.
    std::string receive() {
        pollfd p{m_client, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kGiveUp).count())) <= 0) return {};
        char buffer[512];
        const ssize_t n = ::recv(m_client, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    void dropClient() {
        if (m_client >= 0) ::close(m_client);
        m_client = -1;
    }

private:
    void listenAt(uint16_t port) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(m_listener, 4), 0);
        socklen_t size = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &size);
        m_port = ntohs(a.sin_port);
    }

    int m_listener = -1;
    int m_client = -1;
    uint16_t m_port = 0;
};

FeedOptions feedTo(uint16_t serverPort, const Receiver& traffic, const Receiver& qnh) {
    FeedOptions o;
    o.serverPort = serverPort;
    o.position = Position{55.74, 9.15};
    o.trafficPort = traffic.port;
    o.qnhPort = qnh.port;
    o.aircraft = 4;
    o.reportIntervalSeconds = 0.2;
    o.verbose = false;
    return o;
}

// Whether the condition comes to hold.
bool within(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + kGiveUp;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Traffic reaches the port while the feed runs.
bool trafficArrives(Receiver& traffic, const std::future<FeedReport>& feed) {
    const auto end = std::chrono::steady_clock::now() + kGiveUp;
    while (std::chrono::steady_clock::now() < end && feed.wait_for(0s) != std::future_status::ready) {
        pollfd p{traffic.fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0 && traffic.drain() > 0) return true;
    }
    return false;
}

TEST(FeedServer, WithoutItsServerTheFeedSendsNothingAndEndsOnItsDuration) {
    Receiver traffic, qnh;
    uint16_t port = 0;
    {
        Server gone; // a port that no one listens on any more
        port = gone.port();
    }
    FeedOptions o = feedTo(port, traffic, qnh);
    o.durationSeconds = 1.5;
    FeedSession session(o);
    const FeedReport report = session.run();
    EXPECT_EQ(report.connections, 0);
    EXPECT_EQ(report.trafficSent, 0);
    EXPECT_EQ(traffic.drain(), 0);
}

TEST(FeedServer, AServerThatSaidExitOrWasLostIsFedAgainOnceItIsBack) {
    Receiver traffic, qnh;
    Server server;
    FeedSession session(feedTo(server.port(), traffic, qnh));
    auto feed = std::async(std::launch::async, [&] { return session.run(); });
    ASSERT_TRUE(server.acceptWhile(feed));
    ASSERT_TRUE(trafficArrives(traffic, feed));

    // The program restarts: "exit", and no server for a while.
    server.send("exit\r\n");
    ASSERT_TRUE(within([&] { return session.report().exitReceived; }));
    const int sentBefore = session.report().trafficSent; // from now on it is not connected
    server.dropClient();
    server.goAway();
    std::this_thread::sleep_for(300ms);  // connection attempts are refused meanwhile
    traffic.drain();
    server.comeBack();
    ASSERT_TRUE(server.acceptWhile(feed)) << "the stand-in did not come back";
    // The new run asks for the version again and gets its answer.
    server.send("Qs999=version\r\n");
    EXPECT_EQ(server.receive(), versionAnswer(1, "9.0"));
    EXPECT_TRUE(within([&] { return session.report().trafficSent > sentBefore; }));
    EXPECT_TRUE(trafficArrives(traffic, feed));
    EXPECT_EQ(session.report().connections, 2);
    EXPECT_EQ(session.report().exits, 1);

    // The server is lost without a word, then back.
    server.dropClient();
    server.goAway();
    std::this_thread::sleep_for(300ms);
    traffic.drain();
    server.comeBack();
    ASSERT_TRUE(server.acceptWhile(feed));
    EXPECT_TRUE(trafficArrives(traffic, feed));

    session.stop();
    const FeedReport report = feed.get();
    EXPECT_EQ(report.connections, 3);
    EXPECT_EQ(report.exits, 1);
    EXPECT_EQ(report.versionQuestions, 1);
}

} // namespace
} // namespace rtfeed
