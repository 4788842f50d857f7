#include "rtfeed/feed_session.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string_view>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

namespace rtfeed {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// How often a lost server is tried again, for as long as the feed runs.
constexpr auto kReconnectDelay = std::chrono::seconds(1);
constexpr int kPollMs = 20;
// How far the traffic lines catch up after the feed was held up (a busy machine).
constexpr auto kMaxCatchUp = std::chrono::milliseconds(200);

std::optional<sockaddr_in> addressOf(const std::string& host, uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return std::nullopt;
    return address;
}

int connectTo(const sockaddr_in& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

void sendAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::size_t distinctKeys(const std::vector<std::string>& lines) {
    std::set<std::string> keys;
    for (const auto& line : lines) {
        if (line.starts_with("{")) continue;
        const auto fields = splitFields(line);
        if (fields.size() > 1) keys.insert(fields[1]);
    }
    return std::max<std::size_t>(1, keys.size());
}

} // namespace

FeedSession::FeedSession(FeedOptions options) : m_options(std::move(options)) {}

FeedReport FeedSession::report() const {
    std::lock_guard guard(m_lock);
    return m_report;
}

FeedReport FeedSession::run() {
    const auto& o = m_options;
    const auto say = [&](std::string_view text) {
        if (o.verbose) std::printf("rtfeed: %.*s\n", static_cast<int>(text.size()), text.data());
        if (o.verbose) std::fflush(stdout);
    };
    const auto start = Clock::now();
    const auto deadline =
        o.durationSeconds > 0.0
            ? start + std::chrono::duration_cast<Clock::duration>(Seconds(o.durationSeconds))
            : Clock::time_point::max();
    const auto server = addressOf(o.serverHost, o.serverPort);
    const auto trafficTarget = addressOf(o.udpHost, o.trafficPort);
    const auto qnhTarget = addressOf(o.udpHost, o.qnhPort);
    if ((o.useServer && !server) || !trafficTarget || !qnhTarget) {
        say("bad host address");
        return report();
    }
    const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> sent(
        o.sentFile.empty() ? nullptr : std::fopen(o.sentFile.c_str(), "w"), &std::fclose);
    // `meant`: when the schedule wanted the datagram sent.
    const auto sendDatagram = [&](const sockaddr_in& to, std::string_view text, Clock::time_point meant) {
        ::sendto(udp, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (&to != &*trafficTarget) return;
        const auto at = Clock::now();
        if (sent) {
            std::fprintf(sent.get(), "%.3f %.*s\n", Seconds(at.time_since_epoch()).count(),
                         static_cast<int>(text.size()), text.data());
            std::fflush(sent.get());
        }
        if (o.onTrafficSent) o.onTrafficSent(meant, at, text);
    };

    SyntheticTraffic traffic(o.seed, o.aircraft);
    std::vector<Clock::time_point> lastReport(static_cast<std::size_t>(std::max(0, o.aircraft)), start);
    const bool recorded = !o.recordedLines.empty();
    const std::size_t senders =
        recorded ? distinctKeys(o.recordedLines) : std::max<std::size_t>(1, lastReport.size());
    const auto interval = std::max<Clock::duration>(
        std::chrono::duration_cast<Clock::duration>(Seconds(o.reportIntervalSeconds)) /
            static_cast<long>(senders),
        std::chrono::microseconds(1));
    std::size_t nextFlight = 0;
    std::size_t nextRecorded = 0;

    // Scenario flights: the next report of each (scenario seconds), its reports so far, and its
    // last few lines (one of them is now and then sent again: a stale line).
    struct ScenarioFeed {
        double nextReport = 0.0;
        int reports = 0;
        std::vector<std::string> recent;
    };
    std::vector<ScenarioFeed> scenarioFeeds;
    std::vector<std::pair<double, const std::string*>> scenarioEvents;
    std::size_t nextEvent = 0;
    std::optional<Clock::time_point> scenarioZero; // the first moment of feeding
    if (o.scenario) {
        for (const auto& flight : o.scenario->flights) {
            // Reports spread over the interval by key, as a live feed's arrive.
            const double phase =
                static_cast<double>(flight.identity.key % 1000) / 1000.0 * o.reportIntervalSeconds;
            scenarioFeeds.push_back({flight.track.start() + phase, 0, {}});
            for (const auto& [time, text] : flight.events)
                if (time >= o.scenarioStartSeconds) scenarioEvents.emplace_back(time, &text);
        }
        std::stable_sort(scenarioEvents.begin(), scenarioEvents.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    std::optional<Position> user = o.position;
    std::optional<int64_t> simMs;
    Clock::time_point simMsAt = start;
    int tcp = -1;
    auto nextConnect = start;
    auto nextTraffic = start;
    auto nextQnh = start;
    std::string pending;
    bool exitSeen = false; // in what the server sent last

    const auto dropConnection = [&](std::string_view why) {
        ::close(tcp);
        tcp = -1;
        pending.clear(); // a line cut off by the drop must not run into the next connection's first
        nextConnect = Clock::now() + kReconnectDelay;
        say(why);
    };
    const auto handleLine = [&](std::string_view line) {
        std::lock_guard guard(m_lock);
        if (line == "Qs999=version") {
            ++m_report.versionQuestions;
            if (o.answerVersion) sendAll(tcp, versionAnswer(o.level, o.version));
        } else if (const auto position = parseUserPositionLine(line)) {
            ++m_report.positionLines;
            m_report.lastPosition = position;
            user = position;
        } else if (const auto ms = parseSimTimeLine(line)) {
            ++m_report.timeLines;
            m_report.lastSimTimeMs = ms;
            simMs = ms;
            simMsAt = Clock::now();
        } else if (line == "exit") {
            m_report.exitReceived = true;
            ++m_report.exits;
            exitSeen = true;
        }
    };
    const auto timeStamp = [&](Clock::time_point now) {
        if (simMs) return static_cast<double>(*simMs) / 1000.0 + Seconds(now - simMsAt).count();
        return Seconds(std::chrono::system_clock::now().time_since_epoch()).count();
    };

    while (!m_stop.load()) {
        auto now = Clock::now();
        if (now >= deadline) break;
        if (o.useServer && tcp < 0 && now >= nextConnect) {
            tcp = connectTo(*server);
            if (tcp < 0) {
                nextConnect = now + kReconnectDelay;
            } else {
                std::lock_guard guard(m_lock);
                ++m_report.connections;
                say("connected to the server");
            }
        }
        if (tcp >= 0 && m_disconnect.exchange(false)) dropConnection("left the server");

        const bool feeding = !o.useServer || tcp >= 0;
        if (feeding && o.scenario) {
            // The plan begins when the feed does, however long the program took to listen.
            if (!scenarioZero) scenarioZero = now;
            const double t = Seconds(now - *scenarioZero).count() + o.scenarioStartSeconds;
            for (; nextEvent < scenarioEvents.size() && scenarioEvents[nextEvent].first <= t; ++nextEvent) {
                // Stamped with the time since the feed began, as --plan lists them.
                const double at = scenarioEvents[nextEvent].first - o.scenarioStartSeconds;
                const int whole = static_cast<int>(std::max(0.0, at));
                say(fmt::format("[{}:{:02}] {}", whole / 60, whole % 60, *scenarioEvents[nextEvent].second));
            }
            for (std::size_t i = 0; i < scenarioFeeds.size(); ++i) {
                const ScenarioFlight& flight = o.scenario->flights[i];
                ScenarioFeed& feed = scenarioFeeds[i];
                if (feed.nextReport > t || t > flight.track.end()) continue;
                const std::string line =
                    formatTrafficLine(flightAt(flight, o.scenario->frame, t), timeStamp(now));
                const Clock::time_point meant =
                    *scenarioZero +
                    std::chrono::duration_cast<Clock::duration>(Seconds(feed.nextReport - o.scenarioStartSeconds));
                sendDatagram(*trafficTarget, line, meant);
                int sent = 1;
                if (flight.repeatsStaleLines && ++feed.reports % 7 == 0 && !feed.recent.empty()) {
                    sendDatagram(*trafficTarget, feed.recent.front(), meant);
                    ++sent;
                }
                feed.recent.push_back(line);
                if (feed.recent.size() > 4) feed.recent.erase(feed.recent.begin());
                feed.nextReport += o.reportIntervalSeconds;
                if (feed.nextReport <= t) feed.nextReport = t + o.reportIntervalSeconds; // after a stall
                std::lock_guard guard(m_lock);
                m_report.trafficSent += sent;
            }
        } else if (feeding && now >= nextTraffic) {
            // Every line due since the last pass, so that a poll's pause does not cap the rate
            // (1,000 aircraft at 1 Hz are 20 lines a pass); after a stall the lost time is not
            // made up in one flood.
            nextTraffic = std::max(nextTraffic, now - kMaxCatchUp);
            int sent = 0;
            int qnhSent = 0;
            for (; nextTraffic <= now; nextTraffic += interval) {
                if (recorded && nextRecorded < o.recordedLines.size()) {
                    const std::string& line = o.recordedLines[nextRecorded++];
                    const bool isQnh = line.starts_with("{");
                    sendDatagram(isQnh ? *qnhTarget : *trafficTarget, line, nextTraffic);
                    ++(isQnh ? qnhSent : sent);
                } else if (!recorded && user && !lastReport.empty()) {
                    const std::size_t i = nextFlight++ % lastReport.size();
                    traffic.advanceFlight(i, *user, Seconds(now - lastReport[i]).count());
                    lastReport[i] = now;
                    sendDatagram(*trafficTarget, formatTrafficLine(traffic.flights()[i], timeStamp(now)), nextTraffic);
                    ++sent;
                }
            }
            std::lock_guard guard(m_lock);
            m_report.trafficSent += sent;
            m_report.qnhSent += qnhSent;
        }
        if (feeding && now >= nextQnh) {
            sendDatagram(*qnhTarget, formatQnhDatagram(o.qnh), now);
            nextQnh = now + std::chrono::duration_cast<Clock::duration>(Seconds(o.qnhIntervalSeconds));
            std::lock_guard guard(m_lock);
            ++m_report.qnhSent;
        }

        if (tcp < 0) {
            ::poll(nullptr, 0, kPollMs);
            continue;
        }
        pollfd p{tcp, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::recv(tcp, buffer, sizeof buffer, 0);
        if (n <= 0) {
            dropConnection("the server closed the connection; connecting again");
            continue;
        }
        {
            std::lock_guard guard(m_lock);
            m_report.received.append(buffer, static_cast<std::size_t>(n));
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            std::string_view line(pending.data(), end);
            if (line.ends_with('\r')) line.remove_suffix(1);
            handleLine(line);
            pending.erase(0, end + 1);
        }
        // The program closes or restarts: RealTraffic waits for its server to come back.
        if (exitSeen) {
            exitSeen = false;
            dropConnection("the server said exit; connecting again");
        }
    }
    if (tcp >= 0) ::close(tcp);
    ::close(udp);
    return report();
}

} // namespace rtfeed
