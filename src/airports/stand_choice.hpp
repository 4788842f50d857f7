#pragma once
// The park airport's stands as live traffic uses them: which stand an aircraft near a position
// takes (by parking type and category, by size, or by what was learned there before), the name
// of the stand at the user aircraft's position, the marks static parking sets, and the learning
// of every real stay of a live aircraft at a stand as a flight of that day and half hour. It also
// gives a landed live aircraft the callsigns learned for its flight, so that static copies of the
// same flight can be recognised, and tells static parking whether a planned aircraft was seen at
// a stand recently.
//
// Start-up thread, except lf_findStandNameAt (any thread).

#include <cstdint>
#include <string>

#include "records/aircraft.hpp"
#include "records/stand_record.hpp"
#include "refdata/aircraft_category.hpp"

namespace tamrix {

// Distances of the stand choice, nautical miles.
inline constexpr double kStandNameDistanceNm = 0.029697624190064796;  // 55 m
inline constexpr double kUnfittingStandNm = 0.010799136069114472;     // 20 m
inline constexpr double kLearnedFallbackNm = 0.0458963282937365;      // 85 m
inline constexpr double kSizeToleranceNm = 0.0009719222462203025;     // 1.8 m
inline constexpr double kOneMetreNm = 0.0005399568034557236;

// Whether an aircraft of the category may use a stand of the stand's parking type (the
// simulator's taxi-parking types 0 .. 15); a type outside them fits nothing.
bool gf_standTypeFitsCategory(const StandRecord& stand, AircraftCategory category);

// The stand an aircraft at the position should take (the airport side's body of
// gf_nearestFittingStand, which live traffic calls through its seam): the nearest stand within the search
// distance that fits it (by type, or for type 0 by size); a stand within 20 m is taken even when
// it does not fit, and is then made big enough for the aircraft (its radius becomes the
// aircraft's size less 1 m when that is more than 0; counted as a learned change). Without
// either and with the fallback allowed, the nearest fitting stand within 85 m whose learned
// flights name the aircraft's callsign or its operator and model. Helipads serve only
// rotorcraft, and rotorcraft only helipads. Null for none.
StandRecord* lf_findFittingStand(double latitude, double longitude, const TrafficRecord& aircraft, double searchNm,
                                 bool fallbackAllowed);

// The id of the stand nearest to the position within 55 m (the airport side's body of
// gf_standNameAt, which the SimClient side calls through its seam); empty when there is none,
// when the table is empty or when the user aircraft is not on the ground. The last position asked
// and its answer are remembered while the stand table keeps its shape. Any thread: reads the
// table under its lock.
std::string lf_findStandNameAt(double latitude, double longitude);

// Static parking plans an aircraft on the stand: taken on it, blocked on its adjacent stands
// (ids below 1 or not in the table are skipped).
void gf_markStandTaken(StandRecord& stand);

// Records a real stay of the live aircraft at the stand as a learned flight of that day and half
// hour (modes kStayArrival .. kStayLeftStand of the traffic seam): the airport side's body of
// lf_addRealStandOption, which live traffic calls through its seam with the clock's time slot.
// The aircraft's key becomes the registration table's key when the table knows it. The latest
// learned flight of the aircraft there today is extended over the half hours since its last one
// (gf_standHoursFit); without one, a stay that began on the previous day continues across
// midnight.
void lf_addRealStandOptionAt(WeekSlot now, int32_t sid, LiveAircraft& aircraft, int32_t mode);

// Extends the option with that number over the half hours since its last stay (a gap shorter
// than the aircraft's usual stay: 12 half hours for cargo, 8 for a Heavy, else 6); across
// midnight the stay continues in a new option of today. False when the gap is too long or the
// new option could not be added; true for option 0 and for a last stay that is now.
bool gf_standHoursFit(WeekSlot now, StandRecord& stand, uint32_t number, WeekSlot lastStay,
                      const TrafficRecord& aircraft, const std::string& registration, bool cpl);

// Gives the aircraft the callsigns learned for its flight (second and third texts): the first
// option of today, of its operator, with a second callsign, within +/- 10 half hours of now (14
// for a Heavy) whose callsigns name the aircraft's callsign. Never throws.
void gf_matchLearnedOption(WeekSlot now, TrafficRecord& aircraft);
// The per-second work: takes one key from the callsign-matching list; an active live aircraft
// of that key not yet matched is matched once.
void gf_handleCallsignMatchingKey();

// Whether the aircraft (same registration, operator, second operator and model) stood at the
// stand within the last `fitOffset` half hours (at most 47) today, or, when that reaches back
// over midnight, at the end of the previous day.
bool gf_seenRecentlyAtStand(WeekSlot now, int32_t sid, const TrafficRecord& aircraft, int32_t fitOffset);

// The current day and half-hour slot of the clock; {0, 0} when the time does not convert.
WeekSlot gf_nowWeekSlot();

} // namespace tamrix
