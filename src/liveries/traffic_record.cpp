#include "liveries/traffic_record.hpp"

#include <fmt/format.h>

#include "refdata/livery_key.hpp"

namespace tamrix {

std::string gf_callsignText(const TrafficRecord& record) { return fmt::format("{:8}", record.head.callsign); }

std::string gf_routeText(const TrafficRecord& record) {
    if (!record.head.origin.isSet() && !record.head.destination.isSet()) return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", record.head.origin.text(), record.head.destination.text());
}

std::string gf_flightText(const TrafficRecord& record) {
    return fmt::format("{} {:12} {}", gf_callsignText(record), record.head.registration, gf_routeText(record));
}

std::string gf_acDescription(const TrafficRecord& record) {
    return fmt::format("{} {}", gf_liveryKey2Text(record.head.liveryKey), gf_flightText(record));
}

std::string gf_acShortDescription(const TrafficRecord& record) {
    return fmt::format("{} {} {}", gf_liveryKey2Text(record.head.liveryKey), gf_callsignText(record),
                       record.head.registration);
}

} // namespace tamrix
