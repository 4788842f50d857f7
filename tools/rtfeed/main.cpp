// rtfeed: stands in for RealTraffic. Connects to Quorvel's TCP server, answers its version
// question, follows the user position it is sent, and feeds traffic and QNH datagrams to the
// UDP ports: synthetic flights around the user aircraft, the lines of a recorded file, or the
// traffic of a scenario around the airport of a simulator scenario file.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtfeed/feed_session.hpp"
#include "rtfeed/usage.hpp"

namespace {

template <typename T> bool parseNumber(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseHostPort(std::string_view text, std::string& host, uint16_t& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    host = std::string(text.substr(0, colon));
    return parseNumber(text.substr(colon + 1), port);
}

bool parsePosition(std::string_view text, rtfeed::Position& position) {
    const auto comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    return parseNumber(text.substr(0, comma), position.latitude) &&
           parseNumber(text.substr(comma + 1), position.longitude);
}

[[noreturn]] void usageError(std::string_view what) {
    std::fprintf(stderr, "rtfeed: %.*s\n%s", static_cast<int>(what.size()), what.data(), rtfeed::kUsage);
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    rtfeed::FeedOptions options;
    options.verbose = true;
    std::string scenarioFile;
    std::string airport;
    bool printPlan = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) usageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            std::fputs(rtfeed::kUsage, stdout);
            return 0;
        } else if (arg == "--server") {
            ok = parseHostPort(value(), options.serverHost, options.serverPort);
        } else if (arg == "--no-server") {
            options.useServer = false;
        } else if (arg == "--position") {
            rtfeed::Position p;
            ok = parsePosition(value(), p);
            options.position = p;
        } else if (arg == "--udp-host") {
            options.udpHost = std::string(value());
        } else if (arg == "--traffic-port") {
            ok = parseNumber(value(), options.trafficPort);
        } else if (arg == "--qnh-port") {
            ok = parseNumber(value(), options.qnhPort);
        } else if (arg == "--level") {
            ok = parseNumber(value(), options.level);
        } else if (arg == "--version") {
            options.version = std::string(value());
        } else if (arg == "--aircraft") {
            ok = parseNumber(value(), options.aircraft) && options.aircraft >= 0;
        } else if (arg == "--seed") {
            ok = parseNumber(value(), options.seed);
        } else if (arg == "--file") {
            const std::string path(value());
            options.recordedLines = rtfeed::readRecordedLines(path);
            ok = !options.recordedLines.empty();
            if (!ok) usageError("no lines in " + path);
        } else if (arg == "--scenario") {
            scenarioFile = std::string(value());
        } else if (arg == "--plan") {
            printPlan = true;
        } else if (arg == "--airport") {
            airport = std::string(value());
        } else if (arg == "--skip") {
            ok = parseNumber(value(), options.scenarioStartSeconds) && options.scenarioStartSeconds >= 0.0;
        } else if (arg == "--interval") {
            ok = parseNumber(value(), options.reportIntervalSeconds) && options.reportIntervalSeconds > 0.0;
        } else if (arg == "--duration") {
            ok = parseNumber(value(), options.durationSeconds) && options.durationSeconds >= 0.0;
        } else if (arg == "--qnh") {
            ok = parseNumber(value(), options.qnh);
        } else if (arg == "--sent") {
            options.sentFile = std::string(value());
        } else if (arg == "--quiet") {
            options.verbose = false;
        } else {
            usageError("unknown option " + std::string(arg));
        }
        if (!ok) usageError("bad value for " + std::string(arg));
    }
    if (!scenarioFile.empty()) {
        if (!options.recordedLines.empty()) usageError("--scenario and --file exclude each other");
        try {
            const rtfeed::ScenarioAirport where = rtfeed::readScenarioAirport(scenarioFile, airport);
            rtfeed::PlanOptions plan;
            plan.seed = options.seed;
            if (options.durationSeconds > 0.0)
                plan.horizonSeconds = options.durationSeconds + options.scenarioStartSeconds;
            auto planned = std::make_shared<rtfeed::ScenarioPlan>(rtfeed::planScenario(where, plan));
            if (!options.position) options.position = where.user;
            if (options.verbose)
                std::printf(
                    "rtfeed: scenario %s: runway %s in use, %zu stands, %zu targets planned over %.0f s\n",
                    where.icao.c_str(), planned->layout.runwayEnd.c_str(), where.stands.size(),
                    planned->flights.size(), plan.horizonSeconds);
            if (printPlan) {
                std::vector<std::pair<double, const std::string*>> events;
                for (const auto& f : planned->flights)
                    for (const auto& [time, text] : f.events)
                        if (time >= options.scenarioStartSeconds)
                            events.emplace_back(time - options.scenarioStartSeconds, &text);
                std::stable_sort(events.begin(), events.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                for (const auto& [time, text] : events) {
                    const int whole = static_cast<int>(std::max(0.0, time));
                    std::printf("%d:%02d %s\n", whole / 60, whole % 60, text->c_str());
                }
                return 0;
            }
            options.scenario = std::move(planned);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "rtfeed: %s\n", e.what());
            return 2;
        }
    }
    if (!options.useServer && !options.position && options.recordedLines.empty())
        usageError("--no-server needs --position, --file or --scenario");

    rtfeed::FeedSession session(options);
    const rtfeed::FeedReport report = session.run();
    if (options.verbose)
        std::printf("rtfeed: %d traffic and %d QNH datagrams sent, %d position lines received over %d "
                    "connection%s, %d exit%s from the server\n",
                    report.trafficSent, report.qnhSent, report.positionLines, report.connections,
                    report.connections == 1 ? "" : "s", report.exits, report.exits == 1 ? "" : "s");
    return 0;
}
