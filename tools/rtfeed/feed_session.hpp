#pragma once
// One run of the RealTraffic stand-in: connects to the program's TCP server (retrying until it
// listens), answers the version question, reads the position and time lines, and sends traffic
// datagrams (a line per aircraft about every 2 seconds) and QNH datagrams to the UDP ports. The
// traffic is synthetic flights round the user, the lines of a recorded file, or the flights of
// a scenario around an airport. As RealTraffic does, it outlives the server: after "exit" or a
// lost connection it tries again every second and, connected once more, feeds on. It ends after
// the given duration or on stop().

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rtfeed/feed_traffic.hpp"
#include "rtfeed/scenario_plan.hpp"

namespace rtfeed {

struct FeedOptions {
    std::string serverHost = "127.0.0.1";
    uint16_t serverPort = 10747;
    bool useServer = true;              // false: no TCP server; the position comes from `position`
    std::optional<Position> position;   // the user position until the server sends one
    std::string udpHost = "127.0.0.1";
    uint16_t trafficPort = 49005;
    uint16_t qnhPort = 49004;
    int level = 1;                      // 2: professional edition
    std::string version = "9.0";
    bool answerVersion = true;          // false: stays silent after "Qs999=version"
    int aircraft = 12;
    uint32_t seed = 1;
    std::vector<std::string> recordedLines;  // played instead of synthetic flights when not empty
    // The flights of a scenario, played instead of synthetic flights: each one reported every
    // `reportIntervalSeconds` while its track lasts. Scenario time 0 is `scenarioStartSeconds`
    // before the feed begins (on connecting to the server, or at once without one); a positive
    // value skips the first seconds of the plan.
    std::shared_ptr<const ScenarioPlan> scenario;
    double scenarioStartSeconds = 0.0;
    double durationSeconds = 0.0;       // 0: until stop()
    double reportIntervalSeconds = 2.0; // per aircraft
    int qnh = 1013;
    double qnhIntervalSeconds = 10.0;
    bool verbose = false;               // progress lines on stdout
    // When set, every traffic datagram sent is appended to this file, one a line, after the
    // steady-clock time of sending in seconds (what a test holds the program's motion against).
    std::string sentFile;
    // When set, called on the session's thread for every traffic datagram sent, with the moment
    // it was meant to go and the moment it went on the session's steady clock: what the pace of
    // the feed is judged by.
    std::function<void(std::chrono::steady_clock::time_point meant, std::chrono::steady_clock::time_point sent,
                       std::string_view line)>
        onTrafficSent;
};

struct FeedReport {
    int connections = 0;
    bool exitReceived = false;
    int exits = 0;  // "exit" lines from the server
    int versionQuestions = 0;
    int positionLines = 0;
    int timeLines = 0;
    int trafficSent = 0;
    int qnhSent = 0;
    std::optional<Position> lastPosition;
    std::optional<int64_t> lastSimTimeMs;
    std::string received;  // every byte the server sent, in order
};

class FeedSession {
public:
    explicit FeedSession(FeedOptions options);

    // Runs until the duration has passed or stop() was called.
    FeedReport run();
    // Ends run() within about 100 ms; callable from any thread.
    void stop() { m_stop.store(true); }
    // Drops the TCP connection; the session connects again (tests of RealTraffic leaving).
    void disconnect() { m_disconnect.store(true); }

    // A copy of the report so far; callable from any thread while run() works.
    FeedReport report() const;

private:
    FeedOptions m_options;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_disconnect{false};
    mutable std::mutex m_lock;
    FeedReport m_report;
};

} // namespace rtfeed
