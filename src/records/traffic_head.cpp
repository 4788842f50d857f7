#include "records/traffic_head.hpp"

#include <utility>

namespace tamrix {

TrafficHead::TrafficHead(TrafficHead&& other) noexcept
    : liveryKey(other.liveryKey), origin(other.origin), destination(other.destination),
      optionMatched(other.optionMatched), callsign(std::exchange(other.callsign, {})),
      secondText(std::exchange(other.secondText, {})), thirdText(std::exchange(other.thirdText, {})),
      registration(std::exchange(other.registration, {})) {}

TrafficHead& TrafficHead::operator=(TrafficHead&& other) noexcept {
    if (this == &other) return *this;
    liveryKey = other.liveryKey;
    origin = other.origin;
    destination = other.destination;
    optionMatched = other.optionMatched;
    callsign = std::exchange(other.callsign, {});
    secondText = std::exchange(other.secondText, {});
    thirdText = std::exchange(other.thirdText, {});
    registration = std::exchange(other.registration, {});
    return *this;
}

} // namespace tamrix
