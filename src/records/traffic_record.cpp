#include "records/traffic_record.hpp"

#include <array>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "core/geodesy.hpp"
#include "core/random.hpp"
#include "core/string_helpers.hpp"
#include "refdata/livery_key.hpp"
#include "refdata/model_lookups.hpp"

namespace tamrix {

namespace {


constexpr std::array<CategoryValues, 6> kCategoryTable{{
    // flare, touchdown, rotation, climb-pitch ticks; rotation, climb pitch (deg); angle step (rad);
    // climb step limit (ft per tick); ground speed (kt)
    {250, 250, 100, 200, -9.0, -15.0, 0.15 * kDegToRad, 0.5, 5.0},   // Light
    {300, 300, 200, 250, -8.0, -18.0, 0.1 * kDegToRad, 0.75, 4.5},   // Buzjets
    {400, 350, 200, 300, -6.0, -16.5, 0.07 * kDegToRad, 0.6, 4.0},   // Large
    {450, 450, 250, 400, -5.0, -12.5, 0.05 * kDegToRad, 0.5, 3.0},   // Heavy
    {150, 150, 100, 200, -6.0, -20.0, 0.1 * kDegToRad, 1.0, 4.5},    // HighPerf
    {100, 100, 100, 100, -20.0, -30.0, 0.2 * kDegToRad, 0.75, 5.0},  // Rotorcraft
}};

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace

const CategoryValues& gf_categoryValues(AircraftCategory category) {
    const auto index = static_cast<uint32_t>(category);
    if (index >= kCategoryTable.size()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return kCategoryTable[index];
}

void gf_makeStaticTrafficRecord(TrafficRecord& result, TrafficHead&& head) {
    result = TrafficRecord{};
    result.head = std::move(head);
    result.size = gf_halfSpan(result.head.liveryKey.modelIndex);
    result.category = gf_modelCategory(result.head.liveryKey.modelIndex);
    const CategoryValues& values = gf_categoryValues(result.category);
    result.flareTicks = values.flareTicks;
    result.touchdownTicks = values.touchdownTicks;
    result.rotationTicks = values.rotationTicks;
    result.climbPitchTicks = values.climbPitchTicks;
    result.rotationPitch = gf_randomVariation(values.rotationPitchDeg, 2.5) * kDegToRad;
    result.climbPitch = gf_randomVariation(values.climbPitchDeg, 5.0) * kDegToRad;
    result.angleStep = values.angleStepRad;
}

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

std::string gf_keyRegText(const TrafficRecord& record) {
    return fmt::format("{} {}", gf_liveryKey2Text(record.head.liveryKey), record.head.registration);
}

bool gf_isValidCallsign(std::string_view callsign) {
    return !callsign.empty() && callsign != "@@@@@@@@" && callsign.size() <= 8;
}

bool gf_airlineFromCallsign(std::string_view callsign, std::string& airline) {
    if (callsign.size() < 4 || !isLetter(callsign[0]) || !isLetter(callsign[1]) || !isLetter(callsign[2]) ||
        callsign[3] < '0' || callsign[3] > '9')
        return false;
    airline = gf_toUpperAscii(std::string(callsign.substr(0, 3)));
    return true;
}

} // namespace tamrix
