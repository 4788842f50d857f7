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

namespace {

constexpr const char* kUsage =
    "usage: rtfeed [options]\n"
    "Stands in for RealTraffic: answers the program's TCP server and sends traffic datagrams\n"
    "(one line per aircraft about every 2 s) and QNH datagrams to its UDP ports.\n"
    "\n"
    "Connection:\n"
    "  --server HOST:PORT    the program's TCP server (127.0.0.1:10747); rtfeed retries until\n"
    "                        it listens, answers \"Qs999=version\" and reads the position lines\n"
    "  --no-server           no TCP server: send datagrams at once; the user position comes\n"
    "                        from --position or the scenario file\n"
    "  --position LAT,LON    user position (degrees) until the server sends one\n"
    "  --udp-host HOST       where the datagrams go (127.0.0.1)\n"
    "  --traffic-port N      traffic datagrams (49005)\n"
    "  --qnh-port N          QNH datagrams (49004)\n"
    "  --level 1|2           standard or professional edition (1)\n"
    "  --version TEXT        version in the answer (9.0)\n"
    "  --qnh HPA             QNH sent every 10 s (1013)\n"
    "\n"
    "Traffic (one of three):\n"
    "  --aircraft N          N synthetic flights round the user position (12; the default)\n"
    "  --file PATH           play the lines of a recorded file, one a datagram\n"
    "  --scenario PATH       the traffic of a simulator scenario file's airport: its runway\n"
    "                        and stands give arrivals (3 degree approach, landing, taxi to a\n"
    "                        free stand, parked, then stale), departures (parked, pushback,\n"
    "                        taxi, take-off, climb-out), overflights, and targets the program\n"
    "                        must drop (ground vehicles, a glider, far-away aircraft, stale\n"
    "                        repeats of older lines). Its clock starts when the feed does\n"
    "                        (on connecting to the server; at once with --no-server): a\n"
    "                        pushback at 0:05, the first take-off at about 0:27, an arrival\n"
    "                        parks at 0:30, the first landing at 0:43 (--plan lists it all),\n"
    "                        new flights every 5 minutes. The program shows each line\n"
    "                        about 30 s after it arrives.\n"
    "  --airport ICAO        with --scenario: the airport to use (the one nearest the user\n"
    "                        aircraft that has runways)\n"
    "  --skip SECONDS        with --scenario: start this far into the plan (0); e.g. 30 brings\n"
    "                        the first landing 30 s sooner for short test runs\n"
    "  --interval SECONDS    seconds between two lines of one aircraft (2)\n"
    "  --seed N              seed of the synthetic flights and of the scenario's choices (1)\n"
    "  --plan                with --scenario: print what happens when, and end\n"
    "\n"
    "Run:\n"
    "  --duration SECONDS    end after this time (0: until the server says exit; a scenario\n"
    "                        then plans two hours)\n"
    "  --sent PATH           write every traffic datagram sent to PATH, one a line after the\n"
    "                        steady-clock second it was sent\n"
    "  --quiet               no progress lines (with --scenario they name each landing,\n"
    "                        parking, pushback and take-off as it is sent)\n"
    "  --help                this text\n";

template <typename T>
bool parseNumber(std::string_view text, T& value) {
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
    std::fprintf(stderr, "rtfeed: %.*s\n%s", static_cast<int>(what.size()), what.data(), kUsage);
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
            std::fputs(kUsage, stdout);
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
            ok = parseNumber(value(), options.reportIntervalSeconds) && options.reportIntervalSeconds > 1.0;
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
            if (options.durationSeconds > 0.0) plan.horizonSeconds = options.durationSeconds + options.scenarioStartSeconds;
            auto planned = std::make_shared<rtfeed::ScenarioPlan>(rtfeed::planScenario(where, plan));
            if (!options.position) options.position = where.user;
            if (options.verbose)
                std::printf("rtfeed: scenario %s: runway %s in use, %zu stands, %zu targets planned over %.0f s\n",
                            where.icao.c_str(), planned->layout.runwayEnd.c_str(), where.stands.size(),
                            planned->flights.size(), plan.horizonSeconds);
            if (printPlan) {
                std::vector<std::pair<double, const std::string*>> events;
                for (const auto& f : planned->flights)
                    for (const auto& [time, text] : f.events)
                        if (time >= options.scenarioStartSeconds) events.emplace_back(time - options.scenarioStartSeconds, &text);
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
        std::printf("rtfeed: %d traffic and %d QNH datagrams sent, %d position lines received%s\n", report.trafficSent,
                    report.qnhSent, report.positionLines, report.exitReceived ? ", ended by exit" : "");
    return 0;
}
