#include "airports/static_consistency.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/park_airport_file.hpp"
#include "airports/stand_choice.hpp"
#include "airports/static_parking.hpp"
#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "core/log.hpp"
#include "core/status_line.hpp"
#include "records/stand_table.hpp"
#include "refdata/model_lookups.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

std::vector<KeptStatic> gKeptStatic;
std::vector<StaticRemoval> gStaticRemovals;

namespace {

constexpr double kMovedDegrees = 1e-8;
constexpr int64_t kLiveParkMinutes = 90;
constexpr int64_t kHeavyParkMinutes = 180;

std::atomic<SteadyClockNow> gParkedClock{nullptr};

std::chrono::steady_clock::time_point steadyNow() {
    const SteadyClockNow now = gParkedClock.load();
    return now != nullptr ? now() : std::chrono::steady_clock::now();
}

bool parkedActive(const LiveAircraft& aircraft) {
    return aircraft.state == LiveState::Active && aircraft.phase == MovePhase::Parked;
}

// Whole units since the aircraft parked, from the clock's own duration type.
template <class Unit> int64_t parkedFor(const LiveAircraft& aircraft, std::chrono::steady_clock::time_point now) {
    return std::chrono::duration_cast<Unit>(now - aircraft.move.parkedSince).count();
}

// Texts equal and not empty: an empty callsign names no flight.
bool sameText(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

bool sameKind(const LiveryKey& a, const LiveryKey& b) {
    return a.operatorIndex == b.operatorIndex && a.modelIndex == b.modelIndex &&
           a.secondOperatorIndex == b.secondOperatorIndex;
}

// The static callsign is the live callsign followed by '*' (compared without building it).
bool showsCallsign(const std::string& staticCallsign, const std::string& liveCallsign) {
    return !liveCallsign.empty() && staticCallsign.size() == liveCallsign.size() + 1 &&
           staticCallsign.back() == '*' && staticCallsign.compare(0, liveCallsign.size(), liveCallsign) == 0;
}

std::ptrdiff_t candidateOnStand(uint32_t sid) {
    for (std::size_t i = 0; i < gStaticCandidates.size(); ++i)
        if (gStaticCandidates[i].standId == sid) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

void keep(const StaticAircraft& aircraft) {
    gKeptStatic.push_back(KeptStatic{aircraft.head.callsign, aircraft.head.secondText, aircraft.head.thirdText,
                                     aircraft.head.registration, aircraft.head.liveryKey, aircraft.timeSlot,
                                     aircraft.standId, 0});
}

void toRemove(const StaticAircraft& aircraft) {
    gStaticRemovals.push_back(StaticRemoval{aircraft.head.callsign, aircraft.standId});
}

// Runs a removal step whose failure must not end the caller's work (the per-second work).
template <class F> void swallowing(const char* where, F&& step) {
    try {
        step();
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", where, e.what()));
    }
}

// The replan flag of a kept aircraft that shows its first callsign: set when that flight's
// stay at the stand ends with this half hour (its next half hour is not learned there), so the
// aircraft is placed again under its second callsign.
uint8_t replanFlag(const KeptStatic& kept, WeekSlot now) {
    const StandRecord* stand = gf_findStand(static_cast<int32_t>(kept.standId));
    if (stand == nullptr) return 0;
    std::string shown = kept.callsign;
    if (!shown.empty() && shown.back() == '*') shown.pop_back();
    const StandOption* option = nullptr;
    for (const StandOption& o : stand->options) {
        if (o.number >= 1 && o.day == now.day && o.cs == shown && sameKind(o.key, kept.key)) {
            option = &o;
            break;
        }
    }
    if (option == nullptr) return 0;
    const uint32_t next = now.halfHour + 1;
    if (next <= 47) return option->hh.test(next) ? 0 : 1;
    const uint32_t nextDay = now.day >= 7 ? 1 : now.day + 1;
    for (const StandOption& o : stand->options)
        if (o.day == nextDay && sameKind(o.key, kept.key) && o.hh.test(0)) return 0;
    return 1;
}

} // namespace

void gf_setParkedClock(SteadyClockNow now) { gParkedClock.store(now); }

void gf_removeStaticDuplicatesOf(const LiveAircraft& live) {
    const std::string& callsign = live.head.callsign;
    if (callsign.empty()) return;
    const std::string stripped = callsign.back() == '_' ? callsign.substr(0, callsign.size() - 1) : std::string{};
    swallowing("gf_removeStaticDuplicatesOf", [&] {
        for (StaticAircraft& parked : gStaticAircraft) {
            if (parked.state != LiveState::Active) continue;
            const std::string& second = parked.head.secondText;
            const std::string& third = parked.head.thirdText;
            const auto namesFlight = [&](const std::string& text) {
                return sameText(text, second) || sameText(text, third);
            };
            if (sameText(live.head.registration, parked.head.registration) || namesFlight(callsign) ||
                namesFlight(live.head.thirdText) || namesFlight(stripped)) {
                removeAircraftFromSim(parked);
                return;
            }
        }
    });
}

void gf_removeStaticDuplicates() {
    swallowing("gf_removeStaticDuplicates", [] {
        for (const LiveAircraft& live : gLiveAircraft) {
            if (live.state != LiveState::Active || live.onGround == 0) continue;
            for (StaticAircraft& parked : gStaticAircraft) {
                if (parked.state != LiveState::Active) continue;
                if (sameText(live.head.registration, parked.head.registration) ||
                    showsCallsign(parked.head.callsign, live.head.callsign)) {
                    removeAircraftFromSim(parked);
                    return;
                }
            }
        }
    });
}

void gf_clearStaticInTheWay() {
    if (gStaticAircraft.empty() || gLiveAircraft.empty()) return;
    // Where the active static aircraft stand and how far they reach: a live aircraft that is
    // plainly clear of all of them (by latitude alone) needs no distance computed.
    struct Reach {
        double latitude;
        double size;
    };
    std::vector<Reach> statics;
    statics.reserve(gStaticAircraft.size());
    for (const StaticAircraft& parked : gStaticAircraft)
        if (parked.state == LiveState::Active) statics.push_back({parked.standLatitude, parked.size});
    constexpr double kNmPerDegreeLatitude = 60.0;
    for (LiveAircraft& live : gLiveAircraft) {
        if (live.state != LiveState::Active || live.onGround == 0) continue;
        if (live.phase != MovePhase::Taxi && live.phase != MovePhase::Parking) continue;
        if (std::abs(live.position.latitude - live.lastCheckLatitude) < kMovedDegrees &&
            std::abs(live.position.longitude - live.lastCheckLongitude) < kMovedDegrees)
            continue;
        const bool maybeNear = std::any_of(statics.begin(), statics.end(), [&live](const Reach& r) {
            // 1 % margin over the clearance for the earth's flattening.
            return std::abs(live.position.latitude - r.latitude) * kNmPerDegreeLatitude <=
                   1.01 * 1.1 * (r.size + live.size);
        });
        if (maybeNear || live.move.landingRoll != 0 || live.move.takeOff.armed()) {
            gf_removeStaticNearLiveAc(live);
        } else {
            // What the full check does when nothing is near: the position is checked.
            live.lastCheckLatitude = live.position.latitude;
            live.lastCheckLongitude = live.position.longitude;
        }
    }
}

void gf_removeAllStaticAc() {
    // Backwards: a removal may erase the record itself (an aircraft never created, or taken back
    // out of the adding stack), which moves only the records already visited.
    for (std::size_t i = gStaticAircraft.size(); i-- > 0;) {
        StaticAircraft& parked = gStaticAircraft[i];
        if (parked.state == LiveState::Active ||
            (parked.state == LiveState::Adding2Sim && parked.removalAsked == 0) || parked.state == LiveState::Buffer)
            removeAircraftFromSim(parked);
    }
}

void gf_clearStand(const std::string& standName) {
    if (standName.empty()) return;
    uint32_t sid = 0;
    for (const StandRecord& stand : gStandTable) {
        if (stand.id == standName) {
            sid = stand.standId;
            break;
        }
    }
    if (sid == 0) return; // an unknown name must not clear the aircraft that have no stand
    swallowing("gf_clearStand", [sid] {
        for (StaticAircraft& parked : gStaticAircraft) {
            if (parked.state == LiveState::Active && parked.standId == sid) {
                removeAircraftFromSim(parked);
                return;
            }
        }
        for (LiveAircraft& live : gLiveAircraft) {
            if (parkedActive(live) && live.standId == sid) {
                removeAircraftFromSim(live);
                return;
            }
        }
    });
}

int64_t gf_countLiveParkedAc(uint8_t withMean) {
    int64_t count = 0;
    int64_t halfHours = 0;
    const WeekSlot now = withMean != 0 ? gf_currentWeekSlot() : WeekSlot{};
    for (const LiveAircraft& live : gLiveAircraft) {
        if (!parkedActive(live)) continue;
        ++count;
        if (withMean != 0 && live.timeSlot.day >= 1) halfHours += gf_halfHoursSince(now, live.timeSlot);
    }
    if (withMean == 0) return count;
    const float mean =
        count > 0 ? static_cast<float>(static_cast<double>(halfHours) / (2.0 * static_cast<double>(count)) + 0.5) : 0.0f;
    StaticParkingPanel& panel = gf_staticParkingPanel();
    if (panel.liveMeanParked.exchange(mean) != mean) lf_repaintStaticParkingPanel();
    return count;
}

void lf_parkedLiveByDuration(std::vector<ParkedDuration>& list) {
    list.clear();
    const auto now = steadyNow();
    for (const LiveAircraft& live : gLiveAircraft)
        if (parkedActive(live)) list.push_back(ParkedDuration{live.key, parkedFor<std::chrono::seconds>(live, now)});
    std::stable_sort(list.begin(), list.end(),
                     [](const ParkedDuration& a, const ParkedDuration& b) { return a.seconds > b.seconds; });
}

void lf_limitParkedAircraft(uint8_t aboutToPark) {
    int64_t parked = 0;
    for (const LiveAircraft& live : gLiveAircraft)
        if (parkedActive(live)) ++parked;
    const int64_t max = gf_standsToFill();
    if (max <= 0) return;
    if (!INITIAL_LOAD_ONLY.current.load() && max < parked + aboutToPark) {
        std::vector<ParkedDuration> list;
        list.reserve(128);
        lf_parkedLiveByDuration(list);
        if (!list.empty()) {
            for (LiveAircraft& live : gLiveAircraft) {
                if (live.key != list.front().key || live.state != LiveState::Active) continue;
                gf_log(fmt::format("{:8}: {} live max park exceeded, removed",
                                   gf_standNameOfSid(static_cast<int32_t>(live.standId)), live.head.callsign));
                removeAircraftFromSim(live);
                break;
            }
        }
    }
    int64_t statics = 0;
    for (const StaticAircraft& parkedStatic : gStaticAircraft)
        if (parkedStatic.state == LiveState::Active || parkedStatic.state == LiveState::RemovingFromSim) ++statics;
    if (max >= statics + parked + aboutToPark) return;
    // The one that has stood longest, counted on the week ring: Sunday night comes before Monday.
    const WeekSlot now = gf_currentWeekSlot();
    StaticAircraft* longest = nullptr;
    int32_t longestHalfHours = -1;
    for (StaticAircraft& parkedStatic : gStaticAircraft) {
        const int32_t since = gf_halfHoursSince(now, parkedStatic.timeSlot);
        if (since > longestHalfHours) {
            longestHalfHours = since;
            longest = &parkedStatic;
        }
    }
    if (longest == nullptr || longest->state != LiveState::Active) return;
    gf_log(fmt::format("{:8}: {} static max park exceeded, removed",
                       gf_standNameOfSid(static_cast<int32_t>(longest->standId)), longest->head.callsign));
    removeAircraftFromSim(*longest);
}

void lf_removeLongestParkedLive(int64_t count) {
    std::vector<ParkedDuration> list;
    lf_parkedLiveByDuration(list);
    std::unordered_set<uint32_t> keys;
    for (std::size_t i = 0; i < list.size() && static_cast<int64_t>(i) < count; ++i) keys.insert(list[i].key);
    for (LiveAircraft& live : gLiveAircraft) {
        if (!keys.contains(live.key)) continue;
        gf_log(fmt::format("live parked {} at {} removed", gf_acDescription(live),
                           gf_standNameOfSid(static_cast<int32_t>(live.standId))));
        removeAircraftFromSim(live);
    }
}

void lf_listParkedLive() {
    const auto now = steadyNow();
    const bool initialLoadOnly = INITIAL_LOAD_ONLY.current.load();
    for (LiveAircraft& live : gLiveAircraft) {
        if (!parkedActive(live)) continue;
        if (live.move.standCount != 0 || live.move.pushbackPending != 0) {
            // Its reported positions move off the stand already: it leaves by itself.
            gParkedLive.push_back(ParkedLive{live.head.callsign, live.standId, 0});
            continue;
        }
        const int64_t minutes = parkedFor<std::chrono::minutes>(live, now);
        const int64_t limit = live.category == AircraftCategory::Heavy ? kHeavyParkMinutes : kLiveParkMinutes;
        if (initialLoadOnly || minutes <= limit) {
            gParkedLive.push_back(ParkedLive{live.head.callsign, live.standId, static_cast<int32_t>(minutes)});
        } else {
            gf_log(fmt::format("live parked {} at {} removed", gf_acDescription(live),
                               gf_standNameOfSid(static_cast<int32_t>(live.standId))));
            removeAircraftFromSim(live);
        }
    }
    std::stable_sort(gParkedLive.begin(), gParkedLive.end(),
                     [](const ParkedLive& a, const ParkedLive& b) { return a.parkedMinutes < b.parkedMinutes; });
}

void lf_keepOrReplace(const StaticAircraft& aircraft, std::size_t candidate, WeekSlot now) {
    // Kept when it was placed no earlier than the candidate's slot: it has stood for no more half
    // hours than the candidate's fit offset (on the week ring).
    const StaticCandidate& q = gStaticCandidates[candidate];
    if (gf_halfHoursSince(now, aircraft.timeSlot) <= static_cast<int32_t>(q.fitOffset)) {
        keep(aircraft);
        gStaticCandidates.erase(gStaticCandidates.begin() + static_cast<std::ptrdiff_t>(candidate));
    } else {
        toRemove(aircraft);
    }
}

void lf_reconcileStatic(WeekSlot now) {
    const int32_t recentWindow = std::max(gRealFitOffset, gSoftFitOffset);
    for (const StaticAircraft& parked : gStaticAircraft) {
        if (parked.state != LiveState::Active) continue;
        const std::string& second = parked.head.secondText;
        const std::string& third = parked.head.thirdText;
        if ((!second.empty() && gCollectedCallsigns.contains(second)) ||
            (!third.empty() && gCollectedCallsigns.contains(third))) {
            toRemove(parked); // the flight is live now
            continue;
        }
        const std::ptrdiff_t own = candidateOnStand(parked.standId);
        if (own >= 0) {
            const StaticCandidate& q = gStaticCandidates[static_cast<std::size_t>(own)];
            const auto shows = [&parked](const std::string& cs) { return !cs.empty() && cs + "*" == parked.head.callsign; };
            if (sameKind(q.key, parked.head.liveryKey) && (shows(q.callsign) || shows(q.secondCallsign))) {
                keep(parked);
                gStaticCandidates.erase(gStaticCandidates.begin() + own);
            } else {
                lf_keepOrReplace(parked, static_cast<std::size_t>(own), now);
            }
            continue;
        }
        bool decided = false;
        if (const StandRecord* stand = gf_findStand(static_cast<int32_t>(parked.standId))) {
            const GeoPosition at{parked.standLatitude, parked.standLongitude};
            for (uint32_t adjacentId : stand->adjacent) {
                const StandRecord* adjacent = gf_findStand(static_cast<int32_t>(adjacentId));
                const std::ptrdiff_t q = candidateOnStand(adjacentId);
                if (adjacent == nullptr || q < 0) continue;
                const double reach = gf_halfSpan(gStaticCandidates[static_cast<std::size_t>(q)].key.modelIndex) +
                                     gf_halfSpan(parked.head.liveryKey.modelIndex);
                if (reach > gf_distanceNm(at, {adjacent->latitude, adjacent->longitude})) {
                    lf_keepOrReplace(parked, static_cast<std::size_t>(q), now);
                    decided = true;
                    break;
                }
            }
        }
        if (decided) continue;
        if (gf_seenRecentlyAtStand(now, static_cast<int32_t>(parked.standId), parked, recentWindow))
            keep(parked);
        else
            toRemove(parked);
    }
    std::stable_sort(gKeptStatic.begin(), gKeptStatic.end(), [](const KeptStatic& a, const KeptStatic& b) {
        return gf_weekIndex(a.timeSlot) > gf_weekIndex(b.timeSlot);
    });
    for (KeptStatic& kept : gKeptStatic) {
        if (kept.thirdText.empty() || kept.secondText.empty() ||
            kept.callsign.find(kept.secondText) == std::string::npos)
            continue;
        kept.replan = replanFlag(kept, now);
    }
}

void gf_parkingAdjustments() {
    if (!gf_staticParkingBusy()) gf_beginStaticParking();
    const WeekSlot now = lf_logDay();
    lf_takeCollectedCallsigns();
    StaticParkingPanel& panel = gf_staticParkingPanel();
    panel.softUsed.store(false);
    panel.weekUsed.store(false);
    lf_repaintStaticParkingPanel();

    gStaticRemovals.clear();
    gKeptStatic.clear();
    gParkedLive.clear();
    gStaticCandidates.clear();

    for (StandRecord& stand : gStandTable) {
        stand.taken = stand.reserved = stand.blocked = 0;
        uint32_t number = 0;
        for (StandOption& option : stand.options) option.number = ++number;
    }

    lf_reserveStands();
    const int64_t wanted = gf_standsToFill();
    lf_listParkedLive();
    if (wanted > 0 && static_cast<int64_t>(gParkedLive.size()) > wanted) {
        const int64_t surplus = static_cast<int64_t>(gParkedLive.size()) - wanted;
        gf_setStatusLine(fmt::format("Parking adjustments: {} more live ac than wanted", surplus), false);
        lf_removeLongestParkedLive(surplus);
        gParkedLive.clear();
        lf_listParkedLive();
    }
    for (const ParkedLive& live : gParkedLive)
        if (StandRecord* stand = gf_findStand(static_cast<int32_t>(live.standId))) gf_markStandTaken(*stand);

    const int64_t kept = static_cast<int64_t>(gParkedLive.size() + gKeptStatic.size());
    if (wanted + static_cast<int64_t>(gStaticCandidates.size()) != kept) lf_fitAll(now, wanted, kept);

    lf_reconcileStatic(now);

    // A kept aircraft whose first flight ends now is placed again under its second callsign; the
    // new one keeps the old one's time slot, so its parked time carries on.
    for (auto it = gKeptStatic.begin(); it != gKeptStatic.end();) {
        if (it->replan == 0) {
            ++it;
            continue;
        }
        StaticCandidate candidate;
        candidate.standId = it->standId;
        candidate.fitOffset = 0;
        candidate.key = it->key;
        candidate.callsign = it->secondText;
        candidate.secondCallsign = it->thirdText;
        candidate.registration = it->registration;
        candidate.staysOn = 0;
        candidate.timeSlot = it->timeSlot;
        gStaticCandidates.push_back(std::move(candidate));
        gStaticRemovals.push_back(StaticRemoval{it->callsign, it->standId});
        it = gKeptStatic.erase(it);
    }

    int64_t excess = static_cast<int64_t>(gKeptStatic.size() + gParkedLive.size() + gStaticCandidates.size()) - wanted;
    while (excess > 0) {
        if (!gStaticCandidates.empty()) {
            gStaticCandidates.pop_back();
        } else if (!gKeptStatic.empty()) {
            gStaticRemovals.push_back(StaticRemoval{gKeptStatic.back().callsign, gKeptStatic.back().standId});
            gKeptStatic.pop_back();
        } else if (!gParkedLive.empty()) {
            const uint32_t sid = gParkedLive.back().standId;
            for (LiveAircraft& live : gLiveAircraft) {
                if (parkedActive(live) && live.standId == sid) {
                    removeAircraftFromSim(live);
                    break;
                }
            }
            gParkedLive.pop_back();
        } else {
            break;
        }
        --excess;
    }

    std::stable_sort(gStaticCandidates.begin(), gStaticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.fitOffset > b.fitOffset; });
    gf_setStatusLine(fmt::format("Parking adjustments: {} to be removed, {} to be added", gStaticRemovals.size(),
                                 gStaticCandidates.size()),
                     false);
    for (const StaticRemoval& removal : gStaticRemovals) {
        for (StaticAircraft& parked : gStaticAircraft) {
            if (parked.standId != removal.standId) continue;
            // One already on its way out is not asked twice.
            if (parked.state == LiveState::Active) removeAircraftFromSim(parked);
            break;
        }
    }
    gStaticRemovals.clear();
}

void gf_resetStaticConsistency() {
    gKeptStatic.clear();
    gStaticRemovals.clear();
}

void gf_installStaticConsistency() {
    AirportServices services = gf_airportServices();
    services.limitParkedAircraft = [](uint8_t aboutToPark) { lf_limitParkedAircraft(aboutToPark); };
    gf_setAirportServices(services);
    // Leaving the park airport: its static aircraft go, nothing more is planned for it.
    gf_setStaticParkingLeave([] {
        gf_removeAllStaticAc();
        gStaticCandidates.clear();
        gParkedLive.clear();
        gf_resetStaticConsistency();
        if (gf_staticParkingBusy()) gf_endStaticParking();
    });
}

} // namespace tamrix
