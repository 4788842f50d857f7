#include "airports/static_parking.hpp"

#include <algorithm>
#include <exception>
#include <string>

#include <fmt/format.h>
#include <gsl/narrow>

#include "airports/stand_choice.hpp"
#include "airports/static_placing.hpp"
#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/random.hpp"
#include "core/string_helpers.hpp"
#include "core/time_texts.hpp"
#include "links/stand_lookup.hpp"
#include "links/traffic_reader.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/stand_table.hpp"
#include "refdata/code_table.hpp"
#include "refdata/model_lookups.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/parking.hpp"

namespace tamrix {

std::vector<StaticCandidate> gStaticCandidates;
std::vector<ParkedLive> gParkedLive;
std::unordered_set<std::string> gCollectedCallsigns;
int32_t gRealFitOffset = 0;
int32_t gSoftFitOffset = -1;

namespace {

constexpr std::size_t kCandidateReserve = 512;
constexpr std::size_t kNumberReserve = 256;

StaticParkingPanel gPanel;
StaticParkingHooks gHooks;
std::atomic<bool> gBusy{false};
std::atomic<WeekClock> gWeekClock{nullptr};

constexpr const char* kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

std::string_view weekdayName(uint32_t day) { return day >= 1 && day <= 7 ? kWeekdays[day - 1] : "???"; }

uint32_t nextWeekday(uint32_t day) { return day >= 7 ? 1 : day + 1; }

bool sameFlightKey(const LiveryKey& a, const LiveryKey& b) {
    return a.operatorIndex == b.operatorIndex && a.secondOperatorIndex == b.secondOperatorIndex &&
           a.modelIndex == b.modelIndex;
}

// Equal and not empty: an empty text names no flight.
bool sameText(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

bool namesFlight(const std::string& text, const StandOption& option) {
    return sameText(text, option.cs) || sameText(text, option.cs2);
}

std::size_t takenStands() {
    return static_cast<std::size_t>(
        std::count_if(gStandTable.begin(), gStandTable.end(), [](const StandRecord& s) { return s.taken != 0; }));
}

// A live aircraft stands on the stand or next to it: a static aircraft planned there would only
// be refused when it is placed.
bool liveAtOrNextTo(const StandRecord& stand) {
    if (stand.liveOccupied != 0) return true;
    for (uint32_t adjacent : stand.adjacent) {
        const StandRecord* other = gf_findStand(static_cast<int32_t>(adjacent));
        if (other != nullptr && other->liveOccupied != 0) return true;
    }
    return false;
}

double halfSpanOfOption(const StandOption& option) {
    return gf_halfSpan(gf_modelIndex(gModelCodes.text(option.key.modelIndex)));
}

// The half hours in which any flight of the pass's kind stood at each stand (by table
// position), for the current day and the day before. A stand without the slot's bit has no
// flight that could fit and is passed over; the full test decides for the others.
struct PassFilter {
    uint32_t today = 0;
    std::vector<uint64_t> todayHours;
    std::vector<uint64_t> previousHours;
};
const PassFilter* gPassFilter = nullptr;

void fillPassFilter(PassFilter& filter, WeekSlot now, uint32_t real, uint32_t sameDay) {
    const uint32_t previous = now.day <= 1 ? 7 : now.day - 1;
    filter.today = now.day;
    filter.todayHours.assign(gStandTable.size(), 0);
    filter.previousHours.assign(gStandTable.size(), 0);
    for (std::size_t i = 0; i < gStandTable.size(); ++i) {
        for (const StandOption& option : gStandTable[i].options) {
            if (option.number == 0 || (option.real == 1) != (real == 1)) continue;
            const uint64_t hours = option.hh.to_ullong();
            if (sameDay == 0 || option.day == now.day) filter.todayHours[i] |= hours;
            if (sameDay == 0 || option.day == previous) filter.previousHours[i] |= hours;
        }
    }
}

template <typename Value> void setPanel(std::atomic<Value>& field, Value value) {
    if (field.exchange(value) != value) lf_repaintStaticParkingPanel();
}

} // namespace

StaticParkingPanel& gf_staticParkingPanel() { return gPanel; }

void gf_setStaticParkingHooks(const StaticParkingHooks& hooks) { gHooks = hooks; }

void lf_repaintStaticParkingPanel() {
    if (gHooks.repaintPanel != nullptr) gHooks.repaintPanel();
}

bool gf_staticParkingBusy() { return gBusy.load(); }

void gf_beginStaticParking() {
    gBusy.store(true);
    if (gHooks.controlsDisabled != nullptr) gHooks.controlsDisabled();
}

void gf_endStaticParking() {
    gBusy.store(false);
    if (gHooks.controlsEnabled != nullptr) gHooks.controlsEnabled();
}

void gf_setWeekClock(WeekClock clock) { gWeekClock.store(clock); }

WeekSlot gf_currentWeekSlot() {
    if (const WeekClock clock = gWeekClock.load()) return clock();
    return gf_nowWeekSlot();
}

int32_t gf_weekIndex(WeekSlot slot) {
    return (static_cast<int32_t>(slot.day) - 1) * 48 + static_cast<int32_t>(slot.halfHour);
}

WeekSlot gf_weekSlotBefore(WeekSlot now, uint32_t halfHours) {
    int32_t index = (gf_weekIndex(now) - static_cast<int32_t>(halfHours % kWeekHalfHours)) % kWeekHalfHours;
    if (index < 0) index += kWeekHalfHours;
    return WeekSlot{static_cast<uint32_t>(index / 48 + 1), static_cast<uint32_t>(index % 48)};
}

int32_t gf_halfHoursSince(WeekSlot now, WeekSlot since) {
    const int32_t difference = (gf_weekIndex(now) - gf_weekIndex(since)) % kWeekHalfHours;
    return difference < 0 ? difference + kWeekHalfHours : difference;
}

WeekSlot lf_logDay() {
    const WeekSlot now = gf_currentWeekSlot();
    gf_log(fmt::format("\n{} (utc) It is day {} ({}), {:.1F} hours", gf_simClock(), now.day, weekdayName(now.day),
                       gf_maxFit2MaxFitFl(static_cast<int32_t>(now.halfHour))));
    return now;
}

int32_t gf_standsToFill() {
    const int32_t maxParkSel = MAX_PARK_SEL.current.load();
    if (maxParkSel <= 0) {
        setPanel(gPanel.standsToFill, 0);
        setPanel(gPanel.wantedPercentage, parking_percentage.current.load());
        return 0;
    }
    const int32_t custom = CUSTOM_PARKING_PERCENTAGE.current.load();
    // A percentage from outside (a learned file) may lie outside 0 .. 100; it never plans a
    // negative number of stands, nor more stands than there are.
    const int64_t percent = std::clamp<int64_t>(custom >= 0 ? custom : parking_percentage.current.load(), 0, 100);
    const auto stands = static_cast<int64_t>(gStandTable.size());
    int64_t n = 1;
    if (stands > 3 || (stands >= 2 && percent >= 50)) n = (percent * stands + 50) / 100;
    n = std::min<int64_t>(maxParkSel, n);
    const int64_t share = stands < 1 ? 0 : (n * 100 + stands / 2) / stands;
    const auto result = gsl::narrow<int32_t>(n);
    setPanel(gPanel.standsToFill, result);
    setPanel(gPanel.wantedPercentage, gsl::narrow<int32_t>(share));
    return result;
}

void lf_reserveStands() {
    const auto markFirst = [](const std::string& name) {
        for (StandRecord& stand : gStandTable) {
            if (stand.id == name) {
                stand.reserved = 1;
                return;
            }
        }
    };
    const std::string reservedName = gf_reservedStandNameFromSource();
    if (!reservedName.empty()) markFirst(reservedName);
    const UserAcState user = gf_userAcState();
    const std::string userStand = gf_standNameAt(user.latitude, user.longitude);
    if (!userStand.empty() && userStand != reservedName) markFirst(userStand);
}

void lf_takeCollectedCallsigns() { gCollectedCallsigns = gf_trafficReader().takeCallsigns(); }

void gf_calcStaticParking() {
    const WeekSlot now = lf_logDay();
    gf_beginStaticParking();
    gStaticCandidates.clear();
    gStaticCandidates.reserve(kCandidateReserve);
    gParkedLive.clear();
    setPanel(gPanel.staticMeanParked, -1.0f);
    setPanel(gPanel.liveMeanParked, -1.0f);
    setPanel(gPanel.softUsed, false);
    setPanel(gPanel.weekUsed, false);
    lf_takeCollectedCallsigns();
    for (StandRecord& stand : gStandTable) stand.taken = stand.reserved = stand.blocked = 0;
    lf_reserveStands();
    const int64_t wanted = gf_standsToFill();
    if (wanted > static_cast<int64_t>(gStaticCandidates.size())) lf_fitAll(now, wanted, 0);

    const auto byFit = [](const StaticCandidate& a, const StaticCandidate& b) { return a.fitOffset < b.fitOffset; };
    std::stable_sort(gStaticCandidates.begin(), gStaticCandidates.end(), byFit);
    if (static_cast<int64_t>(gStaticCandidates.size()) > std::max<int64_t>(wanted, 0))
        gStaticCandidates.resize(static_cast<std::size_t>(std::max<int64_t>(wanted, 0)));

    if (gStaticCandidates.empty()) {
        gf_log("no parking positions found");
        gf_endStaticParking();
        return;
    }
    const auto count = static_cast<int64_t>(gStaticCandidates.size());
    const auto stands = static_cast<int64_t>(gStandTable.size());
    const int32_t percent = stands < 1 ? 0 : gsl::narrow<int32_t>((count * 100 + stands / 2) / stands);
    gf_log(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={:.1F} hours)\n", count, percent,
                       parking_percentage.current.load(), MAX_FIT_FL.current.load()));
    // Placing takes from the back: the best fits go first.
    std::stable_sort(gStaticCandidates.begin(), gStaticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.fitOffset > b.fitOffset; });
}

void lf_fitAll(WeekSlot now, int64_t wanted, int64_t kept) {
    gRealFitOffset = 0;
    gSoftFitOffset = -1;
    const auto wantsMore = [&] { return wanted > static_cast<int64_t>(gStaticCandidates.size()) + kept; };
    lf_fitKind(now, wanted, kept, 1, 1);
    if (wantsMore() && WEEK.current.load()) lf_fitKind(now, wanted, kept, 1, 0);
    if (wantsMore() && PARK_SOFT.current.load()) lf_fitKind(now, wanted, kept, 0, 1);
    if (wantsMore() && PARK_SOFT.current.load() && WEEK.current.load()) lf_fitKind(now, wanted, kept, 0, 0);
}

void lf_fitKind(WeekSlot now, int64_t wanted, int64_t kept, uint32_t real, uint32_t sameDay) {
    std::vector<StaticCandidate> list;
    list.reserve(kCandidateReserve);
    if (!lf_fitPass(now, real, sameDay, wanted, list)) return;
    int64_t surplus = static_cast<int64_t>(gStaticCandidates.size()) + kept - wanted;
    if (surplus >= 1 && !list.empty()) lf_trimCandidates(surplus, list);
    for (StaticCandidate& candidate : list) gStaticCandidates.push_back(std::move(candidate));
    const auto planned = static_cast<int64_t>(gStaticCandidates.size());
    surplus = planned + kept - wanted;
    if (surplus >= 1 && surplus <= planned) gStaticCandidates.resize(static_cast<std::size_t>(planned - surplus));
}

void lf_trimCandidates(int64_t surplus, std::vector<StaticCandidate>& list) {
    gf_shuffle(list);
    if (surplus >= 1 && surplus <= static_cast<int64_t>(list.size()))
        list.resize(list.size() - static_cast<std::size_t>(surplus));
}

bool lf_fitPass(WeekSlot now, uint32_t real, uint32_t sameDay, int64_t wanted, std::vector<StaticCandidate>& list) {
    if (wanted == 0) return true;
    const std::size_t before = takenStands();
    const auto maxFit = static_cast<uint32_t>(std::clamp(MAX_FIT.current.load(), 0, 47));
    bool success = false;
    uint32_t finalOffset = 0;
    std::size_t taken = before;
    thread_local PassFilter filter;
    fillPassFilter(filter, now, real, sameDay);
    gPassFilter = &filter;
    struct FilterOff {
        ~FilterOff() { gPassFilter = nullptr; }
    } filterOff;
    for (uint32_t offset = 0;; ++offset) {
        lf_searchStands(now, real, sameDay, offset, list);
        taken = takenStands();
        if (wanted <= static_cast<int64_t>(taken)) {
            success = true;
            finalOffset = offset;
            break;
        }
        for (StaticCandidate& candidate : list) gStaticCandidates.push_back(std::move(candidate));
        list.clear();
        if (offset + 1 > maxFit) {
            finalOffset = offset + 1;
            break;
        }
    }
    if (real == 1) gRealFitOffset = static_cast<int32_t>(finalOffset);
    gSoftFitOffset = real == 1 ? -1 : static_cast<int32_t>(finalOffset);

    const auto added = static_cast<int64_t>(taken) - static_cast<int64_t>(before);
    if (added >= 1) {
        const char* kind = real == 1 ? (sameDay == 1 ? "real" : "week/real") : (sameDay == 1 ? "soft" : "week/soft");
        gf_log(fmt::format("{} {} position{} found, Max fit={:.1F} hours{}{}", added, kind, gf_plural(added),
                           MAX_FIT_FL.current.load(), fmt::format(", day {}", now.day),
                           fmt::format(", hh:{} or {:.1F} hrs, fit: {:.1F} hour", now.halfHour,
                                       gf_maxFit2MaxFitFl(static_cast<int32_t>(now.halfHour)),
                                       gf_maxFit2MaxFitFl(static_cast<int32_t>(finalOffset)))));
        // Each indicator tells whether any kind of its sort placed a candidate in this
        // computation; a later kind of the other sort does not take it back.
        if (real == 0) setPanel(gPanel.softUsed, true);
        if (sameDay == 0) setPanel(gPanel.weekUsed, true);
    }
    return success;
}

void lf_searchStands(WeekSlot now, uint32_t real, uint32_t sameDay, uint32_t offset,
                     std::vector<StaticCandidate>& list) {
    try {
        int32_t slot = static_cast<int32_t>(now.halfHour) - static_cast<int32_t>(offset);
        uint32_t day = now.day;
        if (slot < 0) {
            slot += 48;
            day = day <= 1 ? 7 : day - 1;
        }
        thread_local std::vector<uint32_t> numbers;
        numbers.reserve(kNumberReserve);
        const std::vector<uint64_t>* hours = nullptr;
        if (gPassFilter != nullptr && gPassFilter->todayHours.size() == gStandTable.size())
            hours = day == gPassFilter->today ? &gPassFilter->todayHours : &gPassFilter->previousHours;
        for (std::size_t i = 0; i < gStandTable.size(); ++i) {
            StandRecord& stand = gStandTable[i];
            if (hours != nullptr && ((*hours)[i] >> slot & 1u) == 0) continue;
            if (stand.reserved != 0 || stand.taken != 0 || liveAtOrNextTo(stand)) continue;
            numbers.clear();
            for (const StandOption& option : stand.options)
                if (lf_optionFits(option, real, sameDay, day, static_cast<uint32_t>(slot), stand))
                    numbers.push_back(option.number);
            if (numbers.empty()) continue;
            if (numbers.size() >= 2 && gf_randomIsOn()) lf_pickOption(numbers, stand);
            const auto chosen = std::find_if(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
                return o.number >= 1 && o.number == numbers.front();
            });
            if (chosen == stand.options.end()) continue;
            StandOption& option = *chosen;
            if (lf_isOptionExcluded(option, &list)) {
                option.number = 0;
                continue;
            }
            uint8_t staysOn = 1;
            if (!option.cs2.empty()) {
                const auto next = static_cast<uint32_t>(slot) + 1;
                if (next <= 47) {
                    staysOn = option.hh.test(next) ? 1 : 0;
                } else {
                    const uint32_t following = nextWeekday(day);
                    staysOn = std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
                        return o.number >= 1 && o.day == following && sameFlightKey(o.key, option.key) && o.hh.test(0);
                    }) ? 1 : 0;
                }
            }
            list.push_back(StaticCandidate{stand.standId, offset, option.key, option.cs, option.cs2, option.reg, staysOn,
                                           std::nullopt});
            gf_markStandTaken(stand);
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands",
                                      fmt::format("[{},{}]", now.day, now.halfHour), offset, e.what()));
    }
}

bool lf_optionFits(const StandOption& option, uint32_t real, uint32_t sameDay, uint32_t day, uint32_t slot,
                   const StandRecord& stand) {
    if (option.number == 0) return false;
    if (sameDay == 1 && option.day != day) return false;
    if ((real == 1) != (option.real == 1)) return false;
    if (slot >= 48 || !option.hh.test(slot)) return false;
    if (stand.heli != 0 && !HELICOPTERS.current.load()) return false;
    if (stand.blocked != 0) return false;
    if (stand.adjacent.empty()) return true;
    const double half = halfSpanOfOption(option);
    const GeoPosition here{stand.latitude, stand.longitude};
    for (uint32_t adjacent : stand.adjacent) {
        for (const StaticAircraft& parked : gStaticAircraft) {
            if (parked.standId != adjacent || parked.state != LiveState::Active) continue;
            const double distance = gf_distanceNm({parked.standLatitude, parked.standLongitude}, here);
            if (parked.size + half > distance) return false;
            break;
        }
    }
    return true;
}

void lf_pickOption(std::vector<uint32_t>& numbers, const StandRecord& stand) {
    // The aircraft already standing there keeps its place: among the fitting flights, the one it
    // shows is chosen.
    for (const StaticAircraft& parked : gStaticAircraft) {
        if (parked.standId != stand.standId) continue;
        for (const StandOption& option : stand.options) {
            if (std::find(numbers.begin(), numbers.end(), option.number) == numbers.end()) continue;
            if ((gf_equalsWithStar(option.cs, parked.head.callsign) ||
                 gf_equalsWithStar(option.cs2, parked.head.callsign)) &&
                sameFlightKey(option.key, parked.head.liveryKey)) {
                numbers.front() = option.number;
                return;
            }
        }
    }
    gf_shuffle(numbers);
}

bool lf_isOptionExcluded(const StandOption& option, const std::vector<StaticCandidate>* pending) {
    const auto plannedAlready = [&](const StaticCandidate& c) {
        return sameText(option.reg, c.registration) || namesFlight(c.callsign, option);
    };
    if (std::any_of(gStaticCandidates.begin(), gStaticCandidates.end(), plannedAlready)) return true;
    if (pending != nullptr && std::any_of(pending->begin(), pending->end(), plannedAlready)) return true;
    if (!option.cs.empty() && lf_isCallsignCollected(gCollectedCallsigns, option.cs)) return true;
    if (!option.cs2.empty() && lf_isCallsignCollected(gCollectedCallsigns, option.cs2)) return true;
    for (const StaticAircraft& parked : gStaticAircraft)
        if (namesFlight(parked.head.secondText, option) || sameText(option.reg, parked.head.registration)) return true;
    for (const ParkedLive& live : gParkedLive)
        if (namesFlight(live.callsign, option)) return true;
    return false;
}

bool lf_isCallsignCollected(const std::unordered_set<std::string>& set, std::string_view text) {
    std::string key(text);
    if (set.contains(key)) return true;
    key.push_back('_');
    return set.contains(key);
}

void gf_dropStaticCandidatesForStand(uint32_t sid) {
    std::erase_if(gStaticCandidates, [sid](const StaticCandidate& c) { return c.standId == sid; });
}

void gf_resetStaticParking() {
    gStaticCandidates.clear();
    gStaticCandidates.reserve(kCandidateReserve);
    gParkedLive.clear();
    gCollectedCallsigns.clear();
    gRealFitOffset = 0;
    gSoftFitOffset = -1;
    gPanel.standsToFill.store(0);
    gPanel.wantedPercentage.store(0);
    gPanel.softUsed.store(false);
    gPanel.weekUsed.store(false);
    gPanel.staticMeanParked.store(-1.0f);
    gPanel.liveMeanParked.store(-1.0f);
    gBusy.store(false);
    lf_repaintStaticParkingPanel();
}

void gf_installStaticParking() {
    AirportServices services = gf_airportServices();
    services.hasStaticCandidates = [] { return !gStaticCandidates.empty(); };
    services.placeStaticCandidate = &lf_placeStaticCandidate;
    services.dropStaticCandidatesForStand = [](int32_t sid) {
        if (sid >= 1) gf_dropStaticCandidatesForStand(static_cast<uint32_t>(sid));
    };
    services.resetStaticParking = &gf_resetStaticParking;
    gf_setAirportServices(services);
}

} // namespace tamrix
