#include "links/udp_reader.hpp"

#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/time.h>

#include <fmt/format.h>

#include <gtest/gtest.h>

#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "link_test_support.hpp"
#include "reader_test_support.hpp"
#include "support/udp_port.hpp"
#include "links/qnh_reader.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"
#include "platform/net/winsock.hpp"

using namespace tamrix;
using namespace std::chrono_literals;
using linktest::sendDatagram;
using linktest::waitUntil;

namespace {

// A reader that keeps what it is handed.
class RecordingReader final : public UdpReader {
public:
    std::vector<std::string> datagrams() const {
        std::lock_guard guard(m_lock);
        return m_datagrams;
    }
    int stops() const { return m_stops.load(); }

protected:
    void onDatagram() override {
        std::lock_guard guard(m_lock);
        m_datagrams.emplace_back(m_currentDatagram);
    }
    void onStopped() override { m_stops.fetch_add(1); }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_datagrams;
    std::atomic<int> m_stops{0};
};

// Runs a reader thread on an ephemeral port for the life of the object.
class RunningReader {
public:
    RunningReader(UdpReader& reader, bool local, std::atomic<int32_t>& state)
        : m_reader(reader), m_thread([&reader, local, &state] { reader.runThread("Test Reader", 0, local, {&state}); }) {
        // The port is known a moment before the state says receiving.
        EXPECT_TRUE(waitUntil([&] { return reader.boundPort() != 0 && state.load() == kReaderReceiving; }));
    }
    ~RunningReader() { stop(); }
    uint16_t port() const { return m_reader.boundPort(); }
    // Sets the stop flag and waits for the thread.
    void stop() {
        m_reader.stopFlag.store(true);
        if (m_thread.joinable()) m_thread.join();
    }

private:
    UdpReader& m_reader;
    std::thread m_thread;
};

// A UDP socket holding a port, so that a reader cannot bind to it.
class PortHolder {
public:
    PortHolder() : m_port(testsupport::freeUdpPort(&m_fd)) {}
    ~PortHolder() { ::close(m_fd); }
    uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// The receive time-out the system's socket bound to `port` holds (the reader keeps its socket to
// itself); nothing when no such socket is open.
std::optional<timeval> receiveTimeOutOfSocketAt(uint16_t port) {
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        int type = 0;
        socklen_t typeSize = sizeof type;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 || address.sin_family != AF_INET ||
            ntohs(address.sin_port) != port || ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeSize) != 0 ||
            type != SOCK_DGRAM)
            continue;
        timeval held{};
        socklen_t heldSize = sizeof held;
        if (::getsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &held, &heldSize) == 0) return held;
    }
    return std::nullopt;
}

// A port that was free a moment ago (the process-wide readers bind to the port they are given).
uint16_t freePort() {
    PortHolder probe;
    return probe.port();
}

TEST(UdpReaderConcurrency, RepeatsFromARemoteSenderCountOnce) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    RecordingReader reader;
    std::atomic<int32_t> state{kReaderStopped};
    RunningReader running(reader, false, state);
    EXPECT_EQ(state.load(), kReaderReceiving);
    for (const char* d : {"a", "a", "b", "a", "a"}) sendDatagram(running.port(), d);
    ASSERT_TRUE(waitUntil([&] { return reader.datagrams().size() == 3; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(reader.datagrams(), (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(reader.datagramCounter.load(), 3u);
}

TEST(UdpReaderConcurrency, ALocalSenderIsNeverSuppressed) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    RecordingReader reader;
    std::atomic<int32_t> state{kReaderStopped};
    RunningReader running(reader, true, state);
    for (const char* d : {"a", "a", "b"}) sendDatagram(running.port(), d);
    ASSERT_TRUE(waitUntil([&] { return reader.datagrams().size() == 3; }));
    EXPECT_EQ(reader.datagramCounter.load(), 3u);
}

TEST(UdpReaderConcurrency, EmptyAndOversizedDatagramsAreNotHandedOn) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    RecordingReader reader;
    std::atomic<int32_t> state{kReaderStopped};
    RunningReader running(reader, true, state);
    sendDatagram(running.port(), "");
    sendDatagram(running.port(), std::string(UdpReader::kReceiveBufferSize, 'x'));
    sendDatagram(running.port(), std::string(UdpReader::kReceiveBufferSize - 1, 'y'));
    ASSERT_TRUE(waitUntil([&] { return reader.datagrams().size() == 1; }));
    EXPECT_EQ(reader.datagrams().front().size(), UdpReader::kReceiveBufferSize - 1);
    EXPECT_EQ(linktest::linesWith(log, "buffer overrun: ").size(), 1u);
    EXPECT_EQ(linktest::linesWith(log, "buffer overrun: 16384 bytes").size(), 1u);
}

// Each receive gives up after a second, so that a stop is seen within about a second of an idle
// reader; a time-out without datagrams is no error.
TEST(UdpReaderConcurrency, AStopTakesAboutOneSecond) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    RecordingReader reader;
    std::atomic<int32_t> state{kReaderStopped};
    RunningReader running(reader, true, state);
    const auto timeOut = receiveTimeOutOfSocketAt(running.port());
    ASSERT_TRUE(timeOut);
    EXPECT_EQ(timeOut->tv_sec, 1);
    EXPECT_EQ(timeOut->tv_usec, 0);
    std::this_thread::sleep_for(1200ms);  // a time-out passes (or more under load)
    sendDatagram(running.port(), "still here");
    ASSERT_TRUE(waitUntil([&] { return reader.datagrams().size() == 1; }));
    // Nothing wakes an idle receive but its time-out: the stop ends the thread through it.
    running.stop();
    EXPECT_EQ(reader.stops(), 1);
    EXPECT_FALSE(reader.isRunning());
    EXPECT_EQ(state.load(), kReaderStopped);
    EXPECT_EQ(reader.boundPort(), 0);
    EXPECT_EQ(linktest::linesWith(log, "          Test Reader connected").size(), 1u);
    EXPECT_EQ(linktest::linesWith(log, "          Test Reader disconnected").size(), 1u);
    EXPECT_EQ(gf_exitReason(), ExitReason::NotYetSet);
}

TEST(UdpReader, AStopFlagSetBeforeTheLoopEndsItAtOnce) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    RecordingReader reader;
    reader.startWinsock();
    reader.createSocket();
    reader.bindSocket(0, true);
    // A datagram waits: a receive before the look at the flag would hand it on.
    sendDatagram(reader.boundPort(), "waiting");
    reader.stopFlag.store(true);
    reader.receiveLoop(true);
    EXPECT_EQ(reader.stops(), 1);
    EXPECT_TRUE(reader.datagrams().empty());
    EXPECT_EQ(reader.boundPort(), 0);  // the socket is closed
}

TEST(UdpReaderConcurrency, APortInUseStopsTheRunWithReaderError) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    PortHolder taken;
    const int cleanupsBefore = platform::net::cleanupCount();
    std::thread traffic(lf_trafficReaderThread, taken.port(), false);
    traffic.join();
    const std::string expected = fmt::format("The Traffic Reader has stopped with error: bind to stream socket failed, "
                                             "error: 10048 Address already in use");
    EXPECT_EQ(gf_statusLineSnapshot().message, expected);
    EXPECT_EQ(gf_exitReason(), ExitReason::ReaderError);
    EXPECT_EQ(gf_restartDelay(), 15);
    EXPECT_TRUE(gStopFlag.load());
    EXPECT_EQ(gTrafficReaderState.load(), kReaderStopped);

    // A second reader error in the run only shows its message.
    gf_forceExitReason(ExitReason::ReaderError, 99);
    std::thread qnh(lf_qnhReaderThread, taken.port());
    qnh.join();
    EXPECT_EQ(gf_statusLineSnapshot().message,
              "The QNH Reader has stopped with error: bind to stream socket failed, error: 10048 Address already in use");
    EXPECT_EQ(gf_restartDelay(), 99);
    EXPECT_EQ(linktest::linesWith(log, "has stopped with error").size(), 2u);
    EXPECT_EQ(linktest::linesWith(log, "          Traffic Reader disconnected").size(), 1u);
    EXPECT_EQ(linktest::linesWith(log, "          QNH Reader disconnected").size(), 1u);
    // Winsock is cleaned up by the first reader that ends, once per process.
    EXPECT_EQ(platform::net::cleanupCount() - cleanupsBefore, 1);
}

TEST(UdpReaderConcurrency, TheTrafficReaderQueuesLinesAndSurvivesBadOnes) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    auto& reader = gf_trafficReader();
    reader.setUserPosition({linktest::kUserLatitude, linktest::kUserLongitude});
    gf_clearTrafficIntake();
    gf_openTrafficGate();
    const uint16_t port = freePort();
    std::thread thread(lf_trafficReaderThread, port, true);
    ASSERT_TRUE(waitUntil([&] { return reader.boundPort() == port; }));
    EXPECT_EQ(gTrafficReaderState.load(), kReaderReceiving);
    EXPECT_EQ(gQnhReaderState.load(), kReaderReceiving);

    auto fields = linktest::validFields();
    sendDatagram(port, "1,2,3");  // too few fields
    fields[14] = "nan";
    sendDatagram(port, linktest::line(fields));
    fields[14] = "1700000000";
    fields[1] = "x1";
    sendDatagram(port, linktest::line(fields));
    sendDatagram(port, linktest::line(linktest::validFields()));
    ASSERT_TRUE(waitUntil([] { return gf_trafficIntakeSize() == 1; }));
    EXPECT_EQ(linktest::linesWith(log, "exception in processLineSub: ").size(), 3u);
    EXPECT_EQ(reader.datagramCounter.load(), 4u);

    reader.stopFlag.store(true);
    thread.join();
    EXPECT_EQ(linktest::linesWith(log, "Traffic Reader has stopped").size(), 1u);
    EXPECT_EQ(gTrafficReaderState.load(), kReaderStopped);
    EXPECT_EQ(gQnhReaderState.load(), kReaderStopped);
}

TEST(UdpReaderConcurrency, TheQnhReaderStoresWhatArrives) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    gRealTrafficOnThisPc.store(true);
    auto& reader = gf_qnhReader();
    const uint16_t port = freePort();
    std::thread thread(lf_qnhReaderThread, port);
    ASSERT_TRUE(waitUntil([&] { return reader.boundPort() == port; }));
    sendDatagram(port, R"({"QNH": 2992})");
    sendDatagram(port, R"({"QNH": 1021})");
    ASSERT_TRUE(waitUntil([] { return gCurrentQnh.load() == 1021; }));
    reader.stopFlag.store(true);
    thread.join();
    EXPECT_EQ(linktest::linesWith(log, "QNH Reader has stopped").size(), 1u);
    EXPECT_EQ(gQnhReaderState.load(), kReaderStopped);
}

TEST(UdpReader, TheWatchdogShowsSilenceAndReceiving) {
    linktest::resetTrafficLinks();
    auto& traffic = gf_trafficReader();
    auto& qnh = gf_qnhReader();
    gTrafficReaderState.store(kReaderReceiving);
    gQnhReaderState.store(kReaderReceiving);

    gTrafficRunFlag.store(false);
    gf_checkReadersAlive();
    EXPECT_EQ(gTrafficReaderState.load(), kReaderReceiving);  // no RealTraffic run: nothing changes

    gTrafficRunFlag.store(true);
    traffic.datagramCounter.store(5);
    gf_checkReadersAlive();
    EXPECT_EQ(gTrafficReaderState.load(), kReaderReceiving);
    EXPECT_EQ(gQnhReaderState.load(), kReaderSilent);  // nothing since the last call

    gf_checkReadersAlive();
    EXPECT_EQ(gTrafficReaderState.load(), kReaderSilent);
    traffic.datagramCounter.fetch_add(1);
    qnh.datagramCounter.fetch_add(1);
    gf_checkReadersAlive();
    EXPECT_EQ(gTrafficReaderState.load(), kReaderReceiving);
    EXPECT_EQ(gQnhReaderState.load(), kReaderReceiving);
    EXPECT_TRUE(traffic.receivingShown.load());
}

// A reset of the traffic source right after the readers were told to stop (closing, then a
// restart) waits until both old threads have ended before it clears their stop flags: else the
// old thread would run on beside the next run's one.
TEST(UdpReaderConcurrency, TheTrafficSourceResetWaitsForStoppedReadersToEnd) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    gRealTrafficOnThisPc.store(true);
    auto& traffic = gf_trafficReader();
    auto& qnh = gf_qnhReader();
    const uint16_t trafficPort = freePort();
    const uint16_t qnhPort = freePort();
    std::thread trafficThread(lf_trafficReaderThread, trafficPort, true);
    std::thread qnhThread(lf_qnhReaderThread, qnhPort);
    const bool bound = waitUntil([&] { return traffic.boundPort() == trafficPort && qnh.boundPort() == qnhPort; });
    traffic.stopFlag.store(true);
    qnh.stopFlag.store(true);
    gf_resetTrafficSource();
    const bool trafficRuns = traffic.isRunning();
    const bool qnhRuns = qnh.isRunning();
    const bool flagsCleared = !traffic.stopFlag.load() && !qnh.stopFlag.load();
    traffic.stopFlag.store(true);  // whatever happened, the threads end for the join
    qnh.stopFlag.store(true);
    trafficThread.join();
    qnhThread.join();
    ASSERT_TRUE(bound);
    EXPECT_FALSE(trafficRuns);
    EXPECT_FALSE(qnhRuns);
    EXPECT_TRUE(flagsCleared);
    EXPECT_EQ(linktest::linesWith(log, "Traffic Reader has stopped").size(), 1u);
    EXPECT_EQ(linktest::linesWith(log, "QNH Reader has stopped").size(), 1u);
}

// One thread per reader: a second start while the first runs is refused.
TEST(UdpReaderConcurrency, ASecondThreadOnARunningReaderIsRefused) {
    linktest::resetTrafficLinks();
    testsupport::CapturedLog log;
    RecordingReader reader;
    std::atomic<int32_t> state{kReaderStopped};
    RunningReader running(reader, true, state);
    const uint16_t port = running.port();
    reader.runThread("Test Reader", 0, true, {&state});
    EXPECT_TRUE(reader.isRunning());
    EXPECT_EQ(reader.boundPort(), port);
    EXPECT_EQ(linktest::linesWith(log, "==> Test Reader is still running, it is not started again").size(), 1u);
    sendDatagram(port, "after");
    EXPECT_TRUE(waitUntil([&] { return reader.datagrams().size() == 1; }));
}

// The bad-datagram log by the clock: the share of a window, the count when it is over, a new
// window after it, and the text made fit for the log.
TEST(UdpReader, BadDatagramsAreLoggedWithinTheShareOfTheirWindow) {
    testsupport::CapturedLog log;
    BadDatagramLog bad("Test Reader");
    const auto t0 = BadDatagramLog::Clock::now();
    for (int i = 0; i < 14; ++i) bad.report(fmt::format("bad {}", i), BadDatagramLog::Kind::Plain, t0 + std::chrono::seconds(i));
    EXPECT_EQ(linktest::linesWith(log, "bad ").size(), BadDatagramLog::kLinesPerWindow);
    bad.flush(t0 + std::chrono::seconds(59));
    EXPECT_TRUE(bad.hasCounted());  // the window is not over yet
    bad.report("bad late", BadDatagramLog::Kind::Plain, t0 + std::chrono::seconds(75));
    EXPECT_EQ(linktest::linesWith(log, "Test Reader: 4 more bad datagrams in 75 s not logged, the last: bad 13").size(), 1u);
    EXPECT_EQ(linktest::linesWith(log, "bad late").size(), 1u);
    EXPECT_FALSE(bad.hasCounted());

    EXPECT_EQ(gf_logSafeText("ok \xC3\xA9 \xFF\x01 end", 100), "ok \xC3\xA9 ?? end");
    EXPECT_EQ(gf_logSafeText("abcd\xC3\xA9", 5), "abcd ...");
    EXPECT_EQ(gf_logSafeText("abc", 3), "abc");
}

} // namespace
