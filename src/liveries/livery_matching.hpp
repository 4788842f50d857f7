#pragma once
// The choice of an installed livery for an aircraft that is put into the simulator, in ranked
// steps limited by MATCHING_DEPTH (1 to 4):
//   0/1  the aircraft's own registration (0 when it is the one registration of a special livery)
//   2    operator and model (a cargo aircraft takes a passenger livery when it must, never the
//        other way round); a private ("PVT") aircraft first tries a generic "ZZZ" livery of its
//        model, counted as step 4
//   3    a similar model of the same category, of the same operator
//   4    a generic "ZZZ" livery of the model
//   5    any livery of the model (Light, Buzjets and Rotorcraft with a registration only)
//   6    any livery of a similar model, or of a model of the same category
// A title the simulator refused to create is never chosen; special liveries are chosen by the
// registration steps, and by the others only when nothing else is there. Without RANDOM every
// choice is the first candidate that qualifies, so the same aircraft always gets the same livery.
//
// Runs on the thread of the main loop; the catalogue (livery_index.hpp, regcodes.hpp) must be
// built.

#include <string_view>

#include "liveries/livery_index.hpp"
#include "liveries/matching_statistics.hpp"
#include "records/stand_record.hpp"
#include "records/traffic_record.hpp"

namespace tamrix {

// Live aircraft: sets the record's livery title (empty when nothing matched) and its FSLTL flag,
// counts the step in gMatchStepCounts and logs the match.
void matchLivery(TrafficRecord& record);
// Static aircraft on a stand: the same ladder, not counted; a cargo stand asks for cargo liveries
// of the generic steps. A record that already has a title keeps it. Logs the match, or
// "{:8}: {} no livery match ..." and false.
bool matchLiveryLogged(TrafficRecord& record, const StandRecord& stand);

// The airline name searched for in titles of a partner operator; "not found" for codes outside
// the table.
std::string_view lf_airlineName(std::string_view code);
// The registration up to and including its first '-', or its first character without one;
// empty for an empty registration.
std::string_view lf_registrationPrefix(std::string_view registration);
// Chooses one of the candidates as the record's title: the first usable one (a random one with
// RANDOM), avoiding special titles while others are there and refused titles always. Leaves the
// title alone when no candidate is usable.
void lf_pickTitle(TrafficRecord& record, const TitleList& candidates);
// Appends the titles whose in-line registration starts with the prefix, in order.
void lf_filterByPrefix(const TitleList& titles, std::string_view prefix, TitleList& out);

} // namespace tamrix
