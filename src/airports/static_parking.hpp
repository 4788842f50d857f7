#pragma once
// The static parking plan: which stands of the park airport get a static parked aircraft and
// which learned flight it shows. A flight seen at a stand in the current half hour of the
// current weekday is the best candidate there; when too few are found the search looks back one
// half hour at a time ("fit offset") up to MAX_FIT steps, first over real flights of the same
// weekday, then (by setting) real flights of any weekday, then soft ones. The plan is a vector
// of StaticCandidate records, at most one per stand, ordered so that the best fits sit at the
// back, where placing takes them from.
//
// Everything here runs on the start-up thread and takes no lock, except the busy flag and the
// panel values, which any thread reads.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "records/aircraft.hpp"
#include "records/stand_record.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {

// Half hours in a week: the ring on which parked times are counted.
inline constexpr int32_t kWeekHalfHours = 336;

// One planned static aircraft.
struct StaticCandidate {
    uint32_t standId = 0;
    uint32_t fitOffset = 0; // half hours back from now at which the flight's slot matched
    LiveryKey key;
    std::string callsign;
    std::string secondCallsign; // may be empty
    std::string registration;   // may be empty
    uint8_t staysOn = 0;        // show the first callsign: no second one, or the flight stays on
    // The week slot an aircraft planned again already stood since; placing keeps it instead of
    // deriving one from the fit offset, so its parked time carries on.
    std::optional<WeekSlot> timeSlot;
};

// A live aircraft parked at a stand (the parking adjustments list them; the exclusion test
// reads them).
struct ParkedLive {
    std::string callsign;
    uint32_t standId = 0;
    int32_t parkedMinutes = 0;
};

// The plan (reserved for 512 at the start of each run), the parked-live list and the callsigns
// seen live while the last computation collected them.
extern std::vector<StaticCandidate> gStaticCandidates;
extern std::vector<ParkedLive> gParkedLive;
extern std::unordered_set<std::string> gCollectedCallsigns;
// Fit offset at which the last real kind ended (0 before the first); at which the last soft kind
// ended, -1 when the last kind was real. The stand choice of live aircraft reads both.
extern int32_t gRealFitOffset;
extern int32_t gSoftFitOffset;

// What the parking panel shows of static parking; any thread reads.
struct StaticParkingPanel {
    std::atomic<int32_t> standsToFill{0};
    std::atomic<int32_t> wantedPercentage{0};
    std::atomic<bool> softUsed{false};
    std::atomic<bool> weekUsed{false};
    std::atomic<float> staticMeanParked{-1.0f}; // hours; -1 while not known
    std::atomic<float> liveMeanParked{-1.0f};
};
StaticParkingPanel& gf_staticParkingPanel();

// How the window follows static parking; installed by the window, each may stay null.
struct StaticParkingHooks {
    void (*controlsDisabled)() = nullptr; // static parking became busy
    void (*controlsEnabled)() = nullptr;  // static parking is done
    void (*repaintPanel)() = nullptr;     // a panel value changed
};
void gf_setStaticParkingHooks(const StaticParkingHooks& hooks);
void lf_repaintStaticParkingPanel();

// Static parking is busy from the start of a computation or adjustment until its plan is used
// up (or found empty); the parking controls are disabled meanwhile. Any thread reads.
bool gf_staticParkingBusy();
void gf_beginStaticParking(); // busy; the controls disabled
void gf_endStaticParking();   // not busy; the controls enabled

// The current week slot: the injected clock when one is set (tests), else the simulator's UTC
// time (gf_nowWeekSlot).
using WeekClock = WeekSlot (*)();
void gf_setWeekClock(WeekClock clock);
WeekSlot gf_currentWeekSlot();

// Week arithmetic on the 336 half-hour ring. Index of (day 1 .. 7, slot 0 .. 47) = (day - 1) x
// 48 + slot; the slot `halfHours` (0 .. 336) before `now`; the half hours from `since` to `now`,
// 0 .. 335.
int32_t gf_weekIndex(WeekSlot slot);
WeekSlot gf_weekSlotBefore(WeekSlot now, uint32_t halfHours);
int32_t gf_halfHoursSince(WeekSlot now, WeekSlot since);

// The full computation of the plan, when a park airport has been loaded.
void gf_calcStaticParking();
// Logs the day line and returns the current week slot.
WeekSlot lf_logDay();
// The number of stands to fill; stores it and its percentage for the panel.
int32_t gf_standsToFill();
// Marks reserved the park airport's reserved stand (as live traffic's reserved-stand source
// names it) and the stand the user aircraft stands on.
void lf_reserveStands();
// Takes the callsigns the traffic reader collected over into gCollectedCallsigns and stops the
// collection.
void lf_takeCollectedCallsigns();
// Runs the kinds in order; kept is the number of stands already held by aircraft that stay.
void lf_fitAll(WeekSlot now, int64_t wanted, int64_t kept);
void lf_fitKind(WeekSlot now, int64_t wanted, int64_t kept, uint32_t real, uint32_t sameDay);
bool lf_fitPass(WeekSlot now, uint32_t real, uint32_t sameDay, int64_t wanted, std::vector<StaticCandidate>& list);
void lf_searchStands(WeekSlot now, uint32_t real, uint32_t sameDay, uint32_t offset,
                     std::vector<StaticCandidate>& list);
bool lf_optionFits(const StandOption& option, uint32_t real, uint32_t sameDay, uint32_t day, uint32_t slot,
                   const StandRecord& stand);
void lf_pickOption(std::vector<uint32_t>& numbers, const StandRecord& stand);
// Whether the option's flight is live, planned or standing already; `pending` are the candidates
// of the current search pass, not yet in the plan.
bool lf_isOptionExcluded(const StandOption& option, const std::vector<StaticCandidate>* pending = nullptr);
bool lf_isCallsignCollected(const std::unordered_set<std::string>& set, std::string_view text);
void lf_trimCandidates(int64_t surplus, std::vector<StaticCandidate>& list);

// Drops every planned candidate for the stand (a live aircraft took it).
void gf_dropStaticCandidatesForStand(uint32_t sid);
// Empties the plan, the lists and the panel values (the reset of live traffic before a restart,
// leaving the park airport); static parking is no longer busy.
void gf_resetStaticParking();
// Installs static parking into live traffic's airport services (plan, placing, dropping, the
// reset); other services already installed stay. Start-up, once.
void gf_installStaticParking();

} // namespace tamrix
