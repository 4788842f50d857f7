#include "airports/stand_choice.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "airports/stand_options.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/time_texts.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/stand_table.hpp"
#include "refdata/registration_lookups.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"

namespace tamrix {

namespace {

// Categories each parking type serves, one bit per AircraftCategory.
constexpr uint32_t bit(AircraftCategory c) { return 1u << static_cast<uint32_t>(c); }
constexpr uint32_t kLight = bit(AircraftCategory::Light);
constexpr uint32_t kBuzjets = bit(AircraftCategory::Buzjets);
constexpr uint32_t kLarge = bit(AircraftCategory::Large);
constexpr uint32_t kHeavy = bit(AircraftCategory::Heavy);
constexpr uint32_t kHighPerf = bit(AircraftCategory::HighPerf);
constexpr uint32_t kRotorcraft = bit(AircraftCategory::Rotorcraft);
constexpr std::array<uint32_t, 16> kTypeFits{
    0,                             // NONE
    kLight,                        // RAMP_GA
    kLight,                        // RAMP_GA_SMALL
    kLight | kBuzjets | kHighPerf, // RAMP_GA_MEDIUM
    kBuzjets | kLarge,             // RAMP_GA_LARGE
    kLarge | kHeavy,               // RAMP_CARGO
    kLarge | kHeavy,               // RAMP_MIL_CARGO
    kHighPerf,                     // RAMP_MIL_COMBAT
    kBuzjets | kLarge,             // GATE_SMALL
    kLarge,                        // GATE_MEDIUM
    kHeavy,                        // GATE_HEAVY
    kLight | kRotorcraft,          // DOCK_GA
    kLight | kBuzjets | kLarge | kHeavy | kHighPerf | kRotorcraft, // FUEL
    0,                             // VEHICLE
    kLight | kHighPerf,            // RAMP_GA_EXTRA
    kLarge | kHeavy,               // GATE_EXTRA
};

// The last position whose stand name was asked, and the answer; valid for one generation of the
// stand table. Guarded by the table's lock.
struct StandNameCache {
    double latitude = 0.0;
    double longitude = 0.0;
    std::string answer;
    uint32_t generation = 0;
    bool valid = false;
};
StandNameCache gNameCache;

// A great-circle distance is never shorter than the difference of latitudes (one nautical mile
// per minute of arc): a stand that far away is skipped before its distance is computed. The
// margin keeps rounding from skipping a stand right at the limit.
bool beyondByLatitude(double latitude, const StandRecord& stand, double limitNm) {
    return std::abs(stand.latitude - latitude) * 60.0 > limitNm + 1e-9;
}

std::string_view withoutTrailingUnderscore(std::string_view text) {
    if (!text.empty() && text.back() == '_') text.remove_suffix(1);
    return text;
}

bool sameAircraftKey(const LiveryKey& a, const LiveryKey& b) {
    return a.operatorIndex == b.operatorIndex && a.secondOperatorIndex == b.secondOperatorIndex &&
           a.modelIndex == b.modelIndex;
}

bool fits(const StandRecord& stand, const TrafficRecord& aircraft) {
    if (stand.type != 0) return gf_standTypeFitsCategory(stand, aircraft.category);
    return aircraft.size - stand.radius <= kSizeToleranceNm;
}

// Helipads serve only rotorcraft and rotorcraft only helipads.
bool heliRuleHolds(const StandRecord& stand, const TrafficRecord& aircraft) {
    return (stand.heli != 0) == (aircraft.category == AircraftCategory::Rotorcraft);
}

// A learned flight at the stand that names the aircraft: by callsign, or by operator and model.
// Here and in every lookup of learned flights below, a flight static parking set aside for its
// plan (number 0) is a flight all the same.
bool learnedFor(const StandRecord& stand, const TrafficRecord& aircraft) {
    const std::string& callsign = aircraft.head.callsign;
    for (const StandOption& option : stand.options) {
        if (option.real != 1) continue;
        if (option.cs == callsign || option.cs2 == callsign || sameAircraftKey(option.key, aircraft.head.liveryKey))
            return true;
    }
    return false;
}

// Whether any of the slots lo .. hi (both included) is set.
bool anyHourIn(const HalfHourSet& hours, int32_t lo, int32_t hi) {
    for (int32_t slot = std::max(lo, 0); slot <= std::min(hi, 47); ++slot)
        if (hours.test(static_cast<std::size_t>(slot))) return true;
    return false;
}

// The half hours of the day in which the slot falls; throws for a slot outside the day.
bool holdsSlot(const HalfHourSet& hours, uint32_t slot) {
    if (slot >= 48) throw std::out_of_range("invalid bitset position");
    return hours.test(slot);
}

// The most recent learned flight of the aircraft at the stand today: the last such option.
StandOption* lastLearnedOption(StandRecord& stand, uint32_t today, std::string_view reg) {
    for (auto it = stand.options.rbegin(); it != stand.options.rend(); ++it) {
        if (it->day == today && it->reg == reg && it->real == 1 && it->source == 0) return &*it;
    }
    return nullptr;
}

StandOption* optionNumbered(StandRecord& stand, uint32_t number) {
    for (StandOption& option : stand.options)
        if (option.number == number) return &option;
    return nullptr;
}

} // namespace

bool gf_standTypeFitsCategory(const StandRecord& stand, AircraftCategory category) {
    if (stand.type >= kTypeFits.size() || static_cast<uint32_t>(category) > 5) return false;
    return (kTypeFits[stand.type] & bit(category)) != 0;
}

StandRecord* lf_findFittingStand(double latitude, double longitude, const TrafficRecord& aircraft, double searchNm,
                                 bool fallbackAllowed) {
    const GeoPosition p{latitude, longitude};
    StandRecord* best = nullptr;
    double bestNm = std::numeric_limits<double>::infinity();
    StandRecord* unfitting = nullptr;
    StandRecord* fallback = nullptr;
    double fallbackNm = std::numeric_limits<double>::infinity();
    const bool hasCallsign = !aircraft.head.callsign.empty();
    const double reachNm = std::max(searchNm, fallbackAllowed ? kLearnedFallbackNm : 0.0);
    for (StandRecord& stand : gStandTable) {
        // A stand the aircraft may never use must not hide one it may.
        if (!heliRuleHolds(stand, aircraft) || beyondByLatitude(latitude, stand, reachNm)) continue;
        const double d = gf_distanceNm(p, {stand.latitude, stand.longitude});
        if (d <= searchNm && d < bestNm) {
            if (fits(stand, aircraft)) {
                best = &stand;
                bestNm = d;
                fallbackAllowed = false;
            } else if (d <= kUnfittingStandNm) {
                best = &stand;
                bestNm = d;
                fallbackAllowed = false;
                unfitting = &stand;
            }
        } else if (fallbackAllowed && d <= kLearnedFallbackNm && d < fallbackNm) {
            if (hasCallsign && fits(stand, aircraft) && learnedFor(stand, aircraft)) {
                fallback = &stand;
                fallbackNm = d;
            }
        }
    }
    StandRecord* chosen = best != nullptr ? best : fallback;
    if (chosen != nullptr && chosen == unfitting) {
        // The aircraft stands there in reality: the stand is bigger than its data says.
        const double radius = aircraft.size - kOneMetreNm;
        if (radius > 0.0) {
            chosen->radius = radius;
            chosen->radiusChange = 1;
            gf_countLearnedChange();
        }
    }
    return chosen;
}

std::string lf_findStandNameAt(double latitude, double longitude) {
    if (gf_userPositionRecord().onGround == 0) return {};
    std::lock_guard guard(gf_standTableLock());
    if (gStandTable.empty()) return {};
    const uint32_t generation = gf_standTableGeneration();
    StandNameCache& cache = gNameCache;
    if (cache.valid && cache.generation == generation && std::abs(cache.latitude - latitude) <= 1e-8 &&
        std::abs(cache.longitude - longitude) <= 1e-8)
        return cache.answer;
    const GeoPosition p{latitude, longitude};
    double bestNm = 900.0;
    const StandRecord* best = nullptr;
    for (const StandRecord& stand : gStandTable) {
        if (beyondByLatitude(latitude, stand, kStandNameDistanceNm)) continue;
        const double d = gf_distanceNm(p, {stand.latitude, stand.longitude});
        if (d <= kStandNameDistanceNm && d < bestNm) {
            bestNm = d;
            best = &stand;
        }
    }
    cache.latitude = latitude;
    cache.longitude = longitude;
    cache.answer = best != nullptr ? best->id : std::string();
    cache.generation = generation;
    cache.valid = true;
    return cache.answer;
}

void gf_markStandTaken(StandRecord& stand) {
    stand.taken = 1;
    for (uint32_t adjacent : stand.adjacent) {
        if (StandRecord* other = gf_findStand(static_cast<int32_t>(adjacent))) other->blocked = 1;
    }
}

WeekSlot gf_nowWeekSlot() {
    const auto [day, slot] = gf_weekdayAndHalfHour();
    if (day < 1 || slot < 0) return WeekSlot{};
    return WeekSlot{static_cast<uint32_t>(day), static_cast<uint32_t>(slot)};
}

void lf_addRealStandOptionAt(WeekSlot now, int32_t sid, LiveAircraft& aircraft, int32_t mode) {
    const std::string reg(withoutTrailingUnderscore(aircraft.head.registration));
    if (reg.empty()) return;
    if (const auto known = gf_lookupRegistration(reg)) aircraft.head.liveryKey = *known;
    StandRecord* stand = gf_findStand(sid);
    if (stand == nullptr) return;
    if (now.day < 1 || now.day > 7) {
        gf_logHighlighted(fmt::format("{}: no day of the week for {}", "lf_addRealStandOption", reg));
        return;
    }
    try {
        for (const StandOption& option : stand->options) {
            if (option.day == now.day && option.reg == reg && option.real == 1 && option.source == 1 &&
                !holdsSlot(option.hh, now.halfHour))
                return;
        }
        const bool completed = mode == kStayDeparture || mode == kStayLeftStand;
        const auto addNew = [&] {
            gf_addStandOption(*stand, aircraft.head.liveryKey, now, aircraft.head.callsign, reg, completed);
        };
        StandOption* learned = lastLearnedOption(*stand, now.day, reg);
        // A stay that began before midnight continues from the previous day's option.
        const bool fromYesterday = learned == nullptr;
        if (fromYesterday) learned = lastLearnedOption(*stand, now.day == 1 ? 7 : now.day - 1, reg);
        if (learned == nullptr) {
            addNew();
            return;
        }
        if (!fromYesterday && holdsSlot(learned->hh, now.halfHour)) {
            if (completed) learned->cpl = 1;
            return;
        }
        if (learned->cpl != 0) {
            addNew();
            return;
        }
        std::optional<uint32_t> lastSlot;
        for (int32_t slot = 47; slot >= 0; --slot) {
            if (learned->hh.test(static_cast<std::size_t>(slot))) {
                lastSlot = static_cast<uint32_t>(slot);
                break;
            }
        }
        if (!lastSlot) return;
        // Extended by its number: a flight set aside by static parking gets one again.
        const uint32_t number = gf_renumberSetAside(*stand, *learned);
        const WeekSlot lastStay{learned->day, *lastSlot};
        // The fit may add an option and so move the stand's options: the option is named by
        // its number from here on.
        if (!gf_standHoursFit(now, *stand, number, lastStay, aircraft, reg, completed)) {
            addNew();
            return;
        }
        gf_countLearnedChange();
        if (completed) {
            if (StandOption* extended = optionNumbered(*stand, number)) extended->cpl = 1;
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: hh_now: {}, {}", "lf_addRealStandOption", now.halfHour, e.what()));
    }
}

bool gf_standHoursFit(WeekSlot now, StandRecord& stand, uint32_t number, WeekSlot lastStay,
                      const TrafficRecord& aircraft, const std::string& registration, bool cpl) {
    if (number == 0) return true;
    if (lastStay.day == now.day && lastStay.halfHour == now.halfHour) return true;
    const int32_t stay = aircraft.head.liveryKey.cargo != 0                ? 12
                         : aircraft.category == AircraftCategory::Heavy ? 8
                                                                         : 6;
    int32_t gap = (static_cast<int32_t>(now.day) - static_cast<int32_t>(lastStay.day)) * 48 -
                  static_cast<int32_t>(lastStay.halfHour) + static_cast<int32_t>(now.halfHour);
    if (gap < 0) gap += 336;
    if (gap < 1 || gap >= stay) return false;
    std::vector<int32_t> slots = gf_prevHalfHours(now, gap);
    if (now.day == lastStay.day) {
        if (updateOptions(stand, slots, number)) gf_setStandOptionCallsign(stand, number, aircraft.head.callsign);
        return true;
    }
    const auto today =
        gf_addStandOption(stand, aircraft.head.liveryKey, now, aircraft.head.callsign, registration, cpl);
    if (!today) return false;
    updateOptionsWrapped(stand, slots, number, *today);
    gf_setStandOptionCallsign(stand, number, aircraft.head.callsign);
    gf_setStandOptionCallsign(stand, *today, aircraft.head.callsign);
    return true;
}

void gf_matchLearnedOption(WeekSlot now, TrafficRecord& aircraft) {
    try {
        const int32_t width = aircraft.category == AircraftCategory::Heavy ? 14 : 10;
        const int32_t slot = static_cast<int32_t>(now.halfHour);
        const int32_t lo = std::max(slot - width, 0);
        const int32_t hi = std::min(slot + width, 47);
        const std::string_view callsign = aircraft.head.callsign;
        const std::string_view bare = withoutTrailingUnderscore(callsign);
        if (bare.empty()) return;
        const auto names = [&](const std::string& text) { return text == callsign || text == bare; };
        for (const StandRecord& stand : gStandTable) {
            for (const StandOption& option : stand.options) {
                if (option.day != now.day ||
                    option.key.operatorIndex != aircraft.head.liveryKey.operatorIndex || option.cs2.empty() ||
                    !anyHourIn(option.hh, lo, hi) || !(names(option.cs) || names(option.cs2)))
                    continue;
                aircraft.head.secondText = option.cs;
                aircraft.head.thirdText = option.cs2;
                return;
            }
        }
    } catch (...) {
        // Copying a text may fail; the aircraft then keeps the texts it had.
    }
}

void gf_handleCallsignMatchingKey() {
    if (gCallsignMatchKeys.empty()) return;
    const uint32_t key = gCallsignMatchKeys.front();
    gCallsignMatchKeys.erase(gCallsignMatchKeys.begin());
    const std::ptrdiff_t index = gf_findLiveByKey(key);
    if (index < 0) return;
    LiveAircraft& aircraft = gLiveAircraft[static_cast<std::size_t>(index)];
    if (aircraft.state != LiveState::Active || aircraft.head.optionMatched != 0) return;
    aircraft.head.optionMatched = 1;
    gf_matchLearnedOption(gf_nowWeekSlot(), aircraft);
}

bool gf_seenRecentlyAtStand(WeekSlot now, int32_t sid, const TrafficRecord& aircraft, int32_t fitOffset) {
    const StandRecord* stand = gf_findStand(sid);
    if (stand == nullptr || aircraft.head.registration.empty()) return false;
    const int32_t window = std::clamp(fitOffset, 0, 47);
    const int32_t slot = static_cast<int32_t>(now.halfHour);
    const auto sameFlight = [&](const StandOption& option, uint32_t day) {
        return option.day == day && option.reg == aircraft.head.registration &&
               sameAircraftKey(option.key, aircraft.head.liveryKey);
    };
    for (const StandOption& option : stand->options) {
        if (sameFlight(option, now.day) && anyHourIn(option.hh, std::max(slot - window, 0), slot)) return true;
    }
    if (slot - window < 0) {
        const uint32_t previousDay = now.day <= 1 ? 7 : now.day - 1;
        const int32_t back = std::min(window - slot, 46);
        for (const StandOption& option : stand->options) {
            if (sameFlight(option, previousDay) && anyHourIn(option.hh, 47 - back, 47)) return true;
        }
    }
    return false;
}

} // namespace tamrix
