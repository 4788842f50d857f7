// Traffic datagrams come from the network: any bytes must parse without harm, and whatever
// reaches the traffic intake must be a usable line (finite numbers, a live key, a short
// registration, a position on the globe).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"

namespace {

bool finite(const tamrix::PositionSample& s) {
    return std::isfinite(s.latitude) && std::isfinite(s.longitude) && std::isfinite(s.altitude) &&
           std::isfinite(s.groundSpeed) && std::isfinite(s.track) && std::isfinite(s.verticalSpeed) &&
           std::isfinite(s.trueAirspeed) && (!s.bank || std::isfinite(*s.bank)) &&
           (!s.trueHeading || std::isfinite(*s.trueHeading));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const bool ready = [] {
        gf_trafficReader().setUserPosition({50.0, 8.5});
        gf_openTrafficGate();
        return true;
    }();
    static_cast<void>(ready);
    gf_trafficReader().interpret(std::string_view(reinterpret_cast<const char*>(data), size));
    std::vector<TrafficLine> lines;
    while (gf_takeTrafficLines(2, lines) != 0) {
        for (const auto& line : lines) {
            const auto& s = line.sample;
            if (line.hexid <= 10000 || line.head.registration.size() > 12 || !std::isfinite(line.timeStamp) ||
                !finite(s) || std::fabs(s.latitude) > 90.0 || std::fabs(s.longitude) > 180.0 || s.altitude < 0.0 ||
                (s.airborne != 0) != (s.altitude > 0.0))
                std::abort();
        }
    }
    return 0;
}
