#pragma once
// How well the installed liveries cover the live traffic: the number of live aircraft matched at
// each matching step, the titles the simulator failed to create, and the aircraft for which no
// livery was found. Two log reports show them; the list of aircraft without livery starts anew
// after each report.
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
// One description line per aircraft left without livery since the last report, at most
// kMaxNoMatchLines of them; further ones are only counted.
extern std::unordered_set<std::string> gNoMatchLines;
inline constexpr std::size_t kMaxNoMatchLines = 1000;
// Notes an aircraft left without livery.
void gf_noteNoMatch(std::string line);

// The summary block: the matches per step and the titles that could not be created. Nothing at
// all while no live aircraft was matched.
void gf_logMatchingSummary();
// "\nNo match found for:" and the lines of gNoMatchLines (and how many more were only counted),
// then an empty line; nothing when there are none. The list is emptied.
void gf_logNoMatchList();
// Back to the start of a run: no match counted, no line kept.
void gf_resetMatchingStatistics();

} // namespace tamrix
