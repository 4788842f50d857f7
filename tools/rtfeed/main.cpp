// rtfeed: stands in for RealTraffic. Connects to Quorvel's TCP server, answers its version
// question, follows the user position it is sent, and feeds traffic and QNH datagrams to the
// UDP ports: synthetic flights around the user aircraft, or the lines of a recorded file.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rtfeed/feed_session.hpp"

namespace {

constexpr const char* kUsage =
    "usage: rtfeed [options]\n"
    "  --server HOST:PORT    the program's TCP server (127.0.0.1:10747)\n"
    "  --no-server           no TCP server; use --position for the user position\n"
    "  --position LAT,LON    user position (degrees) until the server sends one\n"
    "  --udp-host HOST       where the datagrams go (127.0.0.1)\n"
    "  --traffic-port N      traffic datagrams (49005)\n"
    "  --qnh-port N          QNH datagrams (49004)\n"
    "  --level 1|2           standard or professional edition (1)\n"
    "  --version TEXT        version in the answer (9.0)\n"
    "  --aircraft N          synthetic flights (12)\n"
    "  --seed N              synthetic flights' seed (1)\n"
    "  --file PATH           play the lines of a recorded file instead\n"
    "  --duration SECONDS    end after this time (0: until the server says exit)\n"
    "  --qnh HPA             QNH sent every 10 s (1013)\n"
    "  --quiet               no progress lines\n";

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
        } else if (arg == "--duration") {
            ok = parseNumber(value(), options.durationSeconds) && options.durationSeconds >= 0.0;
        } else if (arg == "--qnh") {
            ok = parseNumber(value(), options.qnh);
        } else if (arg == "--quiet") {
            options.verbose = false;
        } else {
            usageError("unknown option " + std::string(arg));
        }
        if (!ok) usageError("bad value for " + std::string(arg));
    }
    if (!options.useServer && !options.position && options.recordedLines.empty())
        usageError("--no-server needs --position or --file");

    rtfeed::FeedSession session(options);
    const rtfeed::FeedReport report = session.run();
    if (options.verbose)
        std::printf("rtfeed: %d traffic and %d QNH datagrams sent, %d position lines received%s\n", report.trafficSent,
                    report.qnhSent, report.positionLines, report.exitReceived ? ", ended by exit" : "");
    return 0;
}
