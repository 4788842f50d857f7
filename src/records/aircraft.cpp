#include "records/aircraft.hpp"

#include <array>
#include <stdexcept>
#include <utility>

namespace tamrix {

namespace {

[[noreturn]] void invalidKey() { throw std::out_of_range("invalid unordered_map<K, T> key"); }

} // namespace

std::string_view gf_stateName(LiveState state) {
    static constexpr std::array<std::string_view, 5> names{"buffer", "adding2sim", "active", "liveryrespawn",
                                                           "removingfromsim"};
    const auto index = static_cast<uint32_t>(state);
    if (index >= names.size()) invalidKey();
    return names[index];
}

std::string_view gf_moveName(MovePhase phase) {
    static constexpr std::array<std::string_view, 8> names{"pushing_back", "pushed_back", "taxi",   "take_off",
                                                           "flying",       "parking",     "parked", "birth"};
    const auto index = static_cast<uint32_t>(phase);
    if (index >= names.size()) invalidKey();
    return names[index];
}

StaticAircraft::StaticAircraft(TrafficRecord&& record, uint32_t sid, double latitude, double longitude,
                               double heading, bool cargo)
    : TrafficRecord(std::move(record)), standLatitude(latitude), standLongitude(longitude), standHeading(heading),
      standId(sid), cargoStand(cargo ? 1 : 0) {}

LiveAircraft::LiveAircraft(const PositionSample& first, TrafficRecord&& record, double timeStamp)
    : StaticAircraft(std::move(record), 0, 0.0, 0.0, 0.0, false), lastUpdateTime(timeStamp) {
    samples.push_back(first);
}

} // namespace tamrix
