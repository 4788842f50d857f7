#pragma once
// The identity of one aircraft in the simulator, live or static, as far as the livery matching
// reads and writes it: what the aircraft is (its TrafficHead with the LiveryKey and the
// registration), its category, and the livery chosen for it. Live traffic builds its aircraft
// records on this one and adds its movement fields here.

#include <string>
#include <string_view>

#include "links/traffic_line.hpp"
#include "refdata/aircraft_category.hpp"

namespace tamrix {

struct TrafficRecord {
    TrafficHead head;
    AircraftCategory category = AircraftCategory::Large;
    // The matched livery's title: a view of a title held by the livery catalogue, valid until
    // the catalogue is cleared (gf_clearLiveryIndex); empty while no livery is chosen.
    std::string_view liveryTitle;
    // The chosen title contains "FSLTL_" (such aircraft use reverse thrust after touchdown).
    bool fsltl = false;
};

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

} // namespace tamrix
