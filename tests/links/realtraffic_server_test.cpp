#include "links/realtraffic_server.hpp"

#include <chrono>
#include <future>
#include <thread>

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/time.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "link_test_support.hpp"
#include "reader_test_support.hpp"
#include "links/qnh_reader.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"
#include "rtfeed/feed_session.hpp"

using namespace tamrix;
using namespace std::chrono_literals;
using linktest::linesWith;
using linktest::waitUntil;

namespace {

std::atomic<int> gRemovals{0};
void countRemoval() { gRemovals.fetch_add(1); }

UserAcState exampleUser() {
    UserAcState s;
    s.latitude = 47.5;
    s.longitude = 8.5;
    s.pitch = 0.001;
    s.bank = -0.002;
    s.heading = 1.5;
    s.indicatedAltitude = 0.5;
    s.groundSpeed = 0.25;
    return s;
}

constexpr std::string_view kExampleLine = "Qs121=-100;-200;1.500000;500;250;0.829031;0.148353\r\n";

// The RealTraffic stand-in on its own thread, pointed at the server; its datagrams go nowhere.
class Feed {
public:
    explicit Feed(rtfeed::FeedOptions options) : m_session(adjust(std::move(options))) {
        m_result = std::async(std::launch::async, [this] { return m_session.run(); });
    }
    ~Feed() {
        m_session.stop();
        if (m_result.valid()) m_result.wait();
    }
    rtfeed::FeedSession& session() { return m_session; }
    rtfeed::FeedReport report() const { return m_session.report(); }
    // Waits for the server's "exit", then ends the session (which would connect again, as
    // RealTraffic does); nothing when no "exit" came.
    std::optional<rtfeed::FeedReport> finished() {
        if (!waitUntil([this] { return m_session.report().exitReceived; })) return std::nullopt;
        m_session.stop();
        return m_result.get();
    }

private:
    static rtfeed::FeedOptions adjust(rtfeed::FeedOptions o) {
        o.serverPort = gf_realTrafficServerPort();
        o.aircraft = 0;
        o.trafficPort = 9;  // discard
        o.qnhPort = 9;
        o.qnhIntervalSeconds = 3600.0;
        return o;
    }
    rtfeed::FeedSession m_session;
    std::future<rtfeed::FeedReport> m_result;
};

// A plain TCP client of the server.
int connectRaw() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(gf_realTrafficServerPort());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

std::string readSome(int fd) {
    char buffer[256];
    const ssize_t n = ::recv(fd, static_cast<void*>(buffer), sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// A client that answers the version question with these segments, 100 ms apart, and stays until
// the server closes it.
std::thread answeringClient(std::vector<std::string> segments) {
    return std::thread([segments = std::move(segments)] {
        const int fd = connectRaw();
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        EXPECT_EQ(readSome(fd), "Qs999=version\r\n");
        for (std::size_t i = 0; i < segments.size(); ++i) {
            if (i > 0) std::this_thread::sleep_for(100ms);
            ::send(fd, static_cast<const void*>(segments[i].data()), segments[i].size(), MSG_NOSIGNAL);
        }
        while (!readSome(fd).empty()) {
        }
        ::close(fd);
    });
}

class RealTrafficServerConcurrency : public ::testing::Test {
protected:
    void SetUp() override {
        linktest::resetTrafficLinks();
        gRemovals.store(0);
        gRealTrafficOnThisPc.store(true);
        gf_setLiveAircraftRemover(countRemoval);
        gf_setUserPositionState(exampleUser());
        gf_listenForRealTraffic("0");
        ASSERT_NE(gf_realTrafficServerPort(), 0);
    }
    void TearDown() override { gf_exitRealTrafficServer(); }

    testsupport::CapturedLog log;
};

// RealTraffic on this PC comes over the loopback; the server is out of reach of any other
// address (127.0.0.2 stands for one: a server on every interface would accept it).
TEST_F(RealTrafficServerConcurrency, ListensOnTheLoopbackOnly) {
    const auto reaches = [](const char* address) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(gf_realTrafficServerPort());
        ::inet_pton(AF_INET, address, &a.sin_addr);
        const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return connected;
    };
    EXPECT_FALSE(reaches("127.0.0.2"));
    EXPECT_TRUE(reaches("127.0.0.1"));
}

TEST_F(RealTrafficServerConcurrency, VersionAnswers) {
    lf_processRTVersion(R"({"level":2,"version":"9.0"})");
    EXPECT_TRUE(gRealTrafficProfessional.load());
    EXPECT_EQ(gf_realTrafficText(), "RT prof edition: 9.0");

    lf_processRTVersion(R"({"level":1})");
    EXPECT_FALSE(gRealTrafficProfessional.load());
    EXPECT_EQ(gf_realTrafficText(), "RT stnd edition: ");
    gRealTrafficProfessional.store(true);
    lf_processRTVersion("{}");
    EXPECT_FALSE(gRealTrafficProfessional.load());
    EXPECT_EQ(gf_realTrafficText(), "RT stnd edition: ");

    gRealTrafficProfessional.store(true);
    lf_processRTVersion(R"({"level":2,"version":9})");
    EXPECT_FALSE(gRealTrafficProfessional.load());
    EXPECT_EQ(gf_realTrafficText(), "");
    ASSERT_EQ(linesWith(log, "lf_processRTVersion: JSON parse failed: ").size(), 1u);

    // Only the whole number 2 is the professional edition; numbers that would wrap or round to
    // it, or do not fit any integer, are the standard edition with a log line.
    for (const char* level : {"2.9", "2.0", "1.0", "4294967298", "-4294967294", "18446744073709551618",
                              "4e21", "-1e300", "\"2\"", "null"}) {
        gRealTrafficProfessional.store(true);
        lf_processRTVersion(fmt::format(R"({{"level":{},"version":"9.0"}})", level));
        EXPECT_FALSE(gRealTrafficProfessional.load()) << level;
        EXPECT_EQ(gf_realTrafficText(), "RT stnd edition: 9.0") << level;
    }
    EXPECT_EQ(linesWith(log, "is no edition of RealTraffic, the standard edition is assumed").size(), 10u);

    lf_processRTVersion("[2]");
    EXPECT_EQ(gf_realTrafficText(), "");
    lf_processRTVersion("level 2");
    EXPECT_EQ(linesWith(log, "lf_processRTVersion: JSON parse failed: ").size(), 2u);

    lf_processRTVersion("");
    EXPECT_EQ(gf_statusLineSnapshot().message, "No RealTraffic version received?");
    EXPECT_EQ(linesWith(log, "No RealTraffic version received?").size(), 1u);
}

TEST(RealTrafficLines, PositionLineIsByteExact) {
    EXPECT_EQ(gf_userPositionLine(exampleUser()), kExampleLine);
}

TEST_F(RealTrafficServerConcurrency, HandshakePositionTimeAndExitAreByteExact) {
    rtfeed::FeedOptions options;
    options.level = 2;
    options.version = "9.1";
    Feed feed(options);
    gf_waitForRealTraffic();
    EXPECT_TRUE(gf_realTrafficConnected());
    EXPECT_TRUE(gRealTrafficProfessional.load());
    EXPECT_EQ(gf_realTrafficText(), "RT prof edition: 9.1");
    EXPECT_TRUE(gTrafficRunFlag.load());
    EXPECT_FALSE(gWaitingForRealTraffic.load());
    EXPECT_EQ(linesWith(log, "Waiting for RealTraffic to connect to Quorvel ...").size(), 1u);
    EXPECT_EQ(linesWith(log, "RealTraffic connected").size(), 1u);
    EXPECT_EQ(gf_statusLineSnapshot().message, "");

    gf_sendUserPosition();
    gf_sendSimTime(1700000000);
    gf_sendSimTime(0);  // no time: nothing sent
    ASSERT_TRUE(waitUntil([&] { return feed.report().timeLines == 1; }));
    EXPECT_NEAR(feed.report().lastPosition->latitude, 47.5, 1e-4);

    gf_exitRealTrafficServer();
    EXPECT_FALSE(gf_realTrafficConnected());
    const auto report = feed.finished();
    ASSERT_TRUE(report);
    EXPECT_TRUE(report->exitReceived);
    EXPECT_EQ(report->received,
              fmt::format("Qs999=version\r\n{}Qs123=1700000000000\r\nexit\r\n", kExampleLine));
}

TEST_F(RealTrafficServerConcurrency, StandardEditionAndAZeroPosition) {
    Feed feed({});
    gf_waitForRealTraffic();
    EXPECT_FALSE(gRealTrafficProfessional.load());
    EXPECT_EQ(gf_realTrafficText(), "RT stnd edition: 9.0");
    gf_setUserPositionState({});  // not known yet: nothing is sent
    gf_sendUserPosition();
    gf_setUserPositionState(exampleUser());
    gf_sendUserPosition();
    ASSERT_TRUE(waitUntil([&] { return feed.report().positionLines == 1; }));
    EXPECT_EQ(feed.report().received, fmt::format("Qs999=version\r\n{}", kExampleLine));
    EXPECT_FALSE(waitForClient());  // a second client is never accepted
}

// A client that closes after the question gave no answer: it is not RealTraffic, whom the wait
// goes on for.
TEST_F(RealTrafficServerConcurrency, NoAnswerWhenTheClientCloses) {
    auto waiting = std::async(std::launch::async, [] { gf_waitForRealTraffic(); });
    const int fd = connectRaw();
    EXPECT_EQ(readSome(fd), "Qs999=version\r\n");
    ::close(fd);
    ASSERT_TRUE(waitUntil([&] { return !linesWith(log, "RealTraffic client socket closed: no version answer").empty(); }));
    EXPECT_EQ(linesWith(log, "No RealTraffic version received?").size(), 1u);
    EXPECT_TRUE(linesWith(log, "receive: ").empty()) << "given up at once, not at the time-out";
    EXPECT_FALSE(gRealTrafficProfessional.load());
    EXPECT_FALSE(gf_realTrafficConnected());
    EXPECT_FALSE(gTrafficRunFlag.load());
    gf_exitRealTrafficServer();
    waiting.wait();
    EXPECT_TRUE(linesWith(log, "RealTraffic connected").empty());
}

TEST_F(RealTrafficServerConcurrency, ClosingWakesTheVersionRead) {
    rtfeed::FeedOptions options;
    options.answerVersion = false;
    Feed feed(options);
    auto waiting = std::async(std::launch::async, [] { gf_waitForRealTraffic(); });
    ASSERT_TRUE(waitUntil([&] { return feed.report().versionQuestions == 1; }));
    const auto start = std::chrono::steady_clock::now();
    gf_exitRealTrafficServer();
    EXPECT_EQ(waiting.wait_for(30s), std::future_status::ready);
    // Woken by the close, not ended by the answer's time-out.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kRealTrafficSocketTimeoutMs));
    const auto report = feed.finished();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->received, "Qs999=version\r\nexit\r\n");
}

TEST_F(RealTrafficServerConcurrency, ClosingOrStoppingWakesTheAccept) {
    auto waiting = std::async(std::launch::async, [] { return waitForClient(); });
    EXPECT_EQ(waiting.wait_for(300ms), std::future_status::timeout);
    gf_exitRealTrafficServer();
    ASSERT_EQ(waiting.wait_for(30s), std::future_status::ready); // only a bound for a hang
    EXPECT_FALSE(waiting.get());

    gf_listenForRealTraffic("0");
    auto stopped = std::async(std::launch::async, [] { return waitForClient(); });
    EXPECT_EQ(stopped.wait_for(300ms), std::future_status::timeout);
    gf_setExitReason(ExitReason::SimWasClosed, 0);
    ASSERT_EQ(stopped.wait_for(30s), std::future_status::ready);
    EXPECT_FALSE(stopped.get());
    // With an exit reason set, a lost client is not waited for.
    gf_sendUserPosition();
}

TEST_F(RealTrafficServerConcurrency, RealTrafficLeavesAndComesBack) {
    Feed feed({});
    gf_waitForRealTraffic();
    gf_sendUserPosition();
    ASSERT_TRUE(waitUntil([&] { return feed.report().positionLines == 1; }));
    gf_trafficReader().qnh.store(1020);
    gf_qnhReader().datagramCounter.store(7);
    // A line cut off by the drop is not part of the next connection's first line.
    ASSERT_TRUE(sendDataPacket("Qs121"));
    ASSERT_TRUE(waitUntil([&] { return feed.report().received.ends_with("Qs121"); }));

    feed.session().disconnect();
    std::this_thread::sleep_for(200ms);  // the stand-in drops the connection within its 20 ms poll
    // Sends fail once the peer's reset has come back.
    ASSERT_TRUE(waitUntil([] {
        gf_sendUserPosition();
        return !gf_realTrafficConnected();
    }));
    EXPECT_FALSE(gTrafficRunFlag.load());
    EXPECT_EQ(gRemovals.load(), 1);
    EXPECT_EQ(gf_trafficReader().qnh.load(), 1013);  // the traffic source was reset
    EXPECT_EQ(gf_qnhReader().datagramCounter.load(), 0u);
    EXPECT_EQ(linesWith(log, "sendDataPacket to RealTraffic failed: ").size(), 1u);
    EXPECT_EQ(linesWith(log, "RealTraffic client socket closed").size(), 1u);
    EXPECT_EQ(linesWith(log, " RealTraffic gone? Wait for RealTraffic to re-connect ...").size(), 1u);

    const int linesBefore = feed.report().positionLines;  // lines sent until the client had gone
    // RealTraffic is looked for until it is back; no position is sent meanwhile.
    ASSERT_TRUE(waitUntil([] {
        gf_sendUserPosition();
        return gf_realTrafficConnected();
    }));
    EXPECT_EQ(feed.report().positionLines, linesBefore);
    EXPECT_TRUE(gTrafficRunFlag.load());
    EXPECT_EQ(linesWith(log, " RealTraffic re-connected").size(), 1u);
    EXPECT_EQ(gf_statusLineSnapshot().message, "");

    gf_sendUserPosition();
    ASSERT_TRUE(waitUntil([&] { return feed.report().positionLines == linesBefore + 1; }));
    gf_exitRealTrafficServer();
    const auto report = feed.finished();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->connections, 2);
    EXPECT_EQ(report->versionQuestions, 2); // a client that comes back is asked again
    EXPECT_TRUE(report->exitReceived);
}

// The link may be found lost by any line sent, the time line among them: RealTraffic has gone all
// the same, and its aircraft are taken out at the next position line.
TEST_F(RealTrafficServerConcurrency, ALinkLostWhileSendingTheTimeIsRealTrafficGone) {
    rtfeed::FeedOptions options;
    options.level = 2;
    Feed feed(options);
    gf_waitForRealTraffic();
    feed.session().disconnect();
    ASSERT_TRUE(waitUntil([] {
        gf_sendSimTime(1700000000);
        return !gf_realTrafficConnected();
    }));
    gf_sendUserPosition();
    EXPECT_EQ(gRemovals.load(), 1);
    EXPECT_FALSE(gTrafficRunFlag.load());
    EXPECT_EQ(linesWith(log, " RealTraffic gone? Wait for RealTraffic to re-connect ...").size(), 1u);
    gf_sendUserPosition();
    EXPECT_EQ(gRemovals.load(), 1);
}

// While RealTraffic is away the caller (the live-traffic tick) is never held up: each call only
// looks whether it is back.
TEST_F(RealTrafficServerConcurrency, WithoutRealTrafficTheUserPositionIsNotWaitedFor) {
    auto sending = std::async(std::launch::async, [] {
        for (int i = 0; i < 10; ++i) gf_sendUserPosition();
    });
    const bool returned = sending.wait_for(30s) == std::future_status::ready;  // only a bound for a hang
    if (!returned) gStopFlag.store(true);  // ends the wait for a client that never comes
    sending.wait();
    EXPECT_TRUE(returned) << "gf_sendUserPosition waited for a client";
    EXPECT_FALSE(gf_realTrafficConnected());
}

// A local program that connects and never answers the version question does not keep the one
// client place: it is closed after its time-out, and RealTraffic is accepted after it.
TEST_F(RealTrafficServerConcurrency, AClientThatNeverAnswersGivesWayToRealTraffic) {
    const int silent = connectRaw();
    const timeval patience{kRealTrafficSocketTimeoutMs / 1000 + 10, 0};
    ::setsockopt(silent, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    auto waiting = std::async(std::launch::async, [] { gf_waitForRealTraffic(); });
    EXPECT_EQ(readSome(silent), "Qs999=version\r\n");
    const auto asked = std::chrono::steady_clock::now();
    char byte = 0;
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0) << "the silent client was not closed";
    // Not before its time-out (the question went out just before it was read).
    EXPECT_GE(std::chrono::steady_clock::now() - asked,
              std::chrono::milliseconds(kRealTrafficSocketTimeoutMs - 500));
    ::close(silent);

    rtfeed::FeedOptions options;
    options.level = 2;
    options.version = "9.3";
    Feed feed(options);
    ASSERT_TRUE(waitUntil([&] { return waiting.wait_for(0s) == std::future_status::ready; }));
    EXPECT_TRUE(gf_realTrafficConnected());
    EXPECT_EQ(gf_realTrafficText(), "RT prof edition: 9.3");
    EXPECT_EQ(feed.report().versionQuestions, 1);
    EXPECT_EQ(linesWith(log, "receive: 10060 Connection timed out").size(), 1u);
    EXPECT_EQ(linesWith(log, "No RealTraffic version received?").size(), 1u);
    EXPECT_EQ(linesWith(log, "RealTraffic connected").size(), 1u);
}

// An answer that arrives in two TCP segments is read whole.
TEST_F(RealTrafficServerConcurrency, AVersionAnswerSplitOverTwoSegmentsIsReadWhole) {
    std::thread client = answeringClient({R"({"level":2,)", R"("version":"9.4"})"});
    gf_waitForRealTraffic();
    EXPECT_TRUE(gRealTrafficProfessional.load());
    EXPECT_EQ(gf_realTrafficText(), "RT prof edition: 9.4");
    EXPECT_TRUE(linesWith(log, "JSON parse failed").empty());
    gf_exitRealTrafficServer();
    client.join();
}

// Neither waits for the time-out: an answer that fills the receive buffer unfinished is given up
// at once, and one that is no JSON is taken at once as the standard edition's.
TEST_F(RealTrafficServerConcurrency, AnAnswerTooLongIsGivenUpAndOneThatIsNoJsonTakenAtOnce) {
    std::thread tooLong = answeringClient({R"({"version":")" + std::string(16384 - 12, 'x')});
    auto waiting = std::async(std::launch::async, [] { gf_waitForRealTraffic(); });
    waitUntil([&] { return !linesWith(log, "No RealTraffic version received?").empty(); });
    std::thread noJson = answeringClient({"RealTraffic 9.5\r\n"});
    const bool connected = waitUntil([&] { return gf_realTrafficConnected(); });
    gf_exitRealTrafficServer();
    waiting.wait();
    tooLong.join();
    noJson.join();
    EXPECT_TRUE(connected);
    EXPECT_EQ(linesWith(log, "receive: buffer overrun: 16384").size(), 1u);
    EXPECT_EQ(linesWith(log, "receive: ").size(), 1u) << "no time-out";
    EXPECT_EQ(linesWith(log, "lf_processRTVersion: JSON parse failed: ").size(), 1u);
    EXPECT_EQ(gf_realTrafficText(), "");
}

// An answer whose last byte is what spoils it (no more bytes can mend it) is an answer, bad, and
// taken at once; one that lacks its last byte is waited for (above: the answer in two segments).
TEST_F(RealTrafficServerConcurrency, AnAnswerBadAtItsLastByteIsTakenAtOnce) {
    std::thread client = answeringClient({R"({"level":2,"version":"9.6"])"});
    auto waiting = std::async(std::launch::async, [] { gf_waitForRealTraffic(); });
    waitUntil([&] { return gf_realTrafficConnected() || !linesWith(log, "receive: ").empty(); }, 10000ms);
    const bool connected = gf_realTrafficConnected();
    gf_exitRealTrafficServer();
    waiting.wait();
    client.join();
    EXPECT_TRUE(connected);
    EXPECT_TRUE(linesWith(log, "receive: ").empty()) << "no time-out";
    EXPECT_EQ(linesWith(log, "lf_processRTVersion: JSON parse failed: ").size(), 1u);
    EXPECT_FALSE(gRealTrafficProfessional.load());
}

TEST_F(RealTrafficServerConcurrency, AnotherRunGreetsRealTrafficAnew) {
    {
        Feed feed({});
        gf_waitForRealTraffic();
        gf_exitRealTrafficServer();
        ASSERT_TRUE(feed.finished());
    }
    gf_listenForRealTraffic("0");
    Feed feed({});
    gf_waitForRealTraffic();
    EXPECT_TRUE(gf_realTrafficConnected());
    EXPECT_EQ(feed.report().versionQuestions, 1);
    EXPECT_EQ(linesWith(log, "RealTraffic connected").size(), 2u);
}

TEST_F(RealTrafficServerConcurrency, APortInUseIsReported) {
    const std::string port = std::to_string(gf_realTrafficServerPort());
    try {
        gf_listenForRealTraffic(port);  // our own listen socket holds it
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Bind failed at port " + port + " with error 10048 Address already in use");
    }
    EXPECT_EQ(std::to_string(gf_realTrafficServerPort()), port);  // the server in use is untouched
    try {
        gf_listenForRealTraffic("no such port");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("getaddrinfo failed with error ", 0), 0u);
    }
}

TEST(RealTrafficServerOff, NothingHappensWithoutRealTrafficOnThisPc) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    gRealTrafficOnThisPc.store(false);
    gf_setUserPositionState(exampleUser());
    gf_waitForRealTraffic();
    gf_sendUserPosition();
    gf_sendSimTime(1700000000);
    gf_exitRealTrafficServer();
    EXPECT_TRUE(log.lines().empty());
}

} // namespace
