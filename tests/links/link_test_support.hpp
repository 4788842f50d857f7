#pragma once
// Helpers of the link tests: a valid traffic line to vary field by field, UDP datagrams to a
// loopback port, waiting for a condition, and the log lines of the test.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/captured_log.hpp"
#include "rtfeed/feed_traffic.hpp"

namespace linktest {

// A traffic line of an Airbus climbing out 6 nm east of the user at 50 N, 8.5 E.
inline constexpr double kUserLatitude = 50.0;
inline constexpr double kUserLongitude = 8.5;

inline std::vector<std::string> validFields() {
    rtfeed::Flight f;
    f.key = 11000001;
    f.callsign = "DLH4AB";
    f.type = "A320";
    f.registration = "D-AIZZ";
    f.origin = "FRA";
    f.destination = "MUC";
    f.phase = rtfeed::Phase::Climbing;
    f.position = {50.0, 8.65};
    f.altitudeFt = 5000.0;
    f.verticalSpeedFpm = 1800.0;
    f.groundSpeedKt = 250.0;
    f.trackDeg = 90.0;
    f.trueAirspeedKt = -1.0;
    f.rollDeg = 0.0;
    return rtfeed::splitFields(rtfeed::formatTrafficLine(f, 1700000000.5));
}

inline std::string line(const std::vector<std::string>& fields) { return rtfeed::joinFields(fields); }

// Sends one datagram to 127.0.0.1:port.
inline void sendDatagram(uint16_t port, std::string_view text) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(fd);
}

// Polls the condition every 5 ms until it holds or the time is up; returns its last value. The
// time is only a bound for what must happen, long enough for a loaded machine.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Lines of the log containing the text.
inline std::vector<std::string> linesWith(const testsupport::CapturedLog& log, std::string_view text) {
    std::vector<std::string> out;
    for (auto& l : log.lines())
        if (l.find(text) != std::string::npos) out.push_back(l);
    return out;
}

} // namespace linktest
