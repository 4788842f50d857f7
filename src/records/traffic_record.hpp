#pragma once
// The identity of one aircraft in the simulator, live or static: what the aircraft is (its
// TrafficHead with the LiveryKey and the registration), its size and category, the values its
// category gives its movement, and the livery chosen for it. The one-line labels by which every
// log line names an aircraft are here too.

#include <cstdint>
#include <string>
#include <string_view>

#include "records/traffic_head.hpp"
#include "refdata/aircraft_category.hpp"

namespace tamrix {

struct TrafficRecord {
    TrafficHead head;
    double size = 0.0;             // half wingspan, nautical miles: the radius of every clearance test
    double staticCgHeight = 0.0;   // feet; 0 until the simulator answered
    double staticPitch = 0.0;      // radians; 0 until the simulator answered
    double rotationPitch = 0.0;    // radians (negative = nose up)
    double climbPitch = 0.0;       // radians
    double angleStep = 0.0;        // radians per tick
    double currentAngleStep = 0.0; // radians per tick; scaled by the ground movement
    double climbStepLimit = 0.0;   // feet per tick (live aircraft)
    double groundSpeed = 0.0;      // knots (live aircraft)
    uint32_t key = 0;              // above 10000 live, 0 .. 9999 static
    AircraftCategory category = AircraftCategory::Large;
    // The matched livery's title: a view of a title held by the livery catalogue, valid until
    // the catalogue is cleared (gf_clearLiveryIndex); empty while no livery is chosen.
    std::string_view liveryTitle;
    uint32_t flareTicks = 0;
    uint32_t touchdownTicks = 0;
    uint32_t rotationTicks = 0;
    uint32_t climbPitchTicks = 0;
    // The chosen title contains "FSLTL_" (such aircraft use reverse thrust after touchdown).
    bool fsltl = false;
};

// One row of the per-category tables.
struct CategoryValues {
    uint32_t flareTicks;
    uint32_t touchdownTicks;
    uint32_t rotationTicks;
    uint32_t climbPitchTicks;
    double rotationPitchDeg;
    double climbPitchDeg;
    double angleStepRad;
    double climbStepLimit; // feet per tick
    double groundSpeed;    // knots
};

// The row of a category; a value outside 0 .. 5 throws std::out_of_range
// "invalid unordered_map<K, T> key".
const CategoryValues& gf_categoryValues(AircraftCategory category);

// A new record from a head (moved in): size from the model's half span, category from the
// model, and the per-category values, the two pitches varied by 2.5 and 5 percent. Used for
// static and live aircraft alike; key 0, no livery. Throws as gf_categoryValues.
void gf_makeStaticTrafficRecord(TrafficRecord& result, TrafficHead&& head);

// Log labels that name an aircraft.
// The callsign left-aligned in 8 ("{:8}").
std::string gf_callsignText(const TrafficRecord& record);
// "{:3}->{:3}" of origin and destination (a missing one as three blanks) when either is known,
// else 8 blanks.
std::string gf_routeText(const TrafficRecord& record);
// "{} {:12} {}": callsign text, registration, route text.
std::string gf_flightText(const TrafficRecord& record);
// "{} {}": the LiveryKey text and the flight text.
std::string gf_acDescription(const TrafficRecord& record);
// "{} {} {}": the LiveryKey text, the callsign text and the registration.
std::string gf_acShortDescription(const TrafficRecord& record);
// The LiveryKey text, a blank and the registration: the name under which an aircraft without a
// usable livery is remembered.
std::string gf_keyRegText(const TrafficRecord& record);
// Not empty, not "@@@@@@@@", at most 8 characters.
bool gf_isValidCallsign(std::string_view callsign);
// The airline code of an airline callsign: with at least 4 characters, three letters and a
// digit, the three letters upper-cased; else false.
bool gf_airlineFromCallsign(std::string_view callsign, std::string& airline);

} // namespace tamrix
