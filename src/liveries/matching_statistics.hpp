#pragma once
// How well the installed liveries cover the live traffic: the number of live aircraft matched at
// each matching step, the titles the simulator failed to create, and the aircraft for which no
// livery was found. Two log reports show them; neither empties anything.
//
// Written and reported on the thread that runs the main loop and the close-down.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

namespace tamrix {

// The ranked steps of the livery matching, 0 to 6.
using MatchStep = int32_t;
inline constexpr std::size_t kMatchStepCount = 7;

// Live aircraft matched per step; only ever incremented during a run.
extern std::array<int32_t, kMatchStepCount> gMatchStepCounts;
// One line per livery title whose creation the simulator refused.
extern std::unordered_set<std::string> gNotCreatedLines;
// One description line per aircraft left without livery.
extern std::unordered_set<std::string> gNoMatchLines;

// The summary block: the matches per step and the titles that could not be created. Nothing at
// all while no live aircraft was matched.
void gf_logMatchingSummary();
// "\nNo match found for:" and the lines of gNoMatchLines, then an empty line; nothing when there
// are none.
void gf_logNoMatchList();
// Back to the start of a run: no match counted, no line kept.
void gf_resetMatchingStatistics();

} // namespace tamrix
