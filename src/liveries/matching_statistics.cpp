#include "liveries/matching_statistics.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/string_helpers.hpp"

namespace tamrix {

std::array<int32_t, kMatchStepCount> gMatchStepCounts{};
std::unordered_set<std::string> gNotCreatedLines;
std::unordered_set<std::string> gNoMatchLines;

namespace {
constexpr std::string_view kSummaryTitle = "live traffic livery matching summary";
constexpr int32_t kBannerWidth = 100;
// Aircraft without livery beyond the lines kept, since the last report.
uint64_t gNoMatchNotKept = 0;
} // namespace

void gf_noteNoMatch(std::string line) {
    if (gNoMatchLines.size() < kMaxNoMatchLines)
        gNoMatchLines.insert(std::move(line));
    else if (!gNoMatchLines.contains(line))
        ++gNoMatchNotKept;
}

void gf_resetMatchingStatistics() {
    gMatchStepCounts.fill(0);
    gNotCreatedLines.clear();
    gNoMatchLines.clear();
    gNoMatchNotKept = 0;
}

void gf_logMatchingSummary() {
    std::vector<std::string> notCreated;
    notCreated.reserve(gNotCreatedLines.size());
    for (const auto& line : gNotCreatedLines) notCreated.push_back("  " + line);
    if (std::none_of(gMatchStepCounts.begin(), gMatchStepCounts.end(), [](int32_t count) { return count > 0; })) return;

    const auto titleLength = static_cast<int32_t>(kSummaryTitle.size());
    std::vector<std::string> block;
    block.reserve(256);
    block.push_back(gf_starBanner(kBannerWidth - titleLength, 0, true, false, kSummaryTitle));
    block.emplace_back("Matches at step: ");
    for (std::size_t step = 0; step < kMatchStepCount; ++step)
        block.push_back(fmt::format("  {}: {}", step, gMatchStepCounts[step]));
    if (!notCreated.empty()) {
        block.emplace_back("\nCould not be created");
        block.insert(block.end(), notCreated.begin(), notCreated.end());
    }
    block.push_back(gf_starBanner(kBannerWidth - titleLength, titleLength, false, true, ""));
    for (const auto& line : block) gf_log(line);
}

void gf_logNoMatchList() {
    if (gNoMatchLines.empty()) return;
    gf_log("\nNo match found for:");
    for (const auto& line : gNoMatchLines) gf_log(line);
    if (gNoMatchNotKept != 0) gf_log(fmt::format("... and {} more", gNoMatchNotKept));
    gf_log("");
    // Each report shows the aircraft since the one before: the list never only grows.
    gNoMatchLines.clear();
    gNoMatchNotKept = 0;
}

} // namespace tamrix
