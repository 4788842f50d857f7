#include "liveries/livery_matching.hpp"

#include <unordered_map>

#include <fmt/format.h>

#include "config/refused_titles.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/random.hpp"
#include "liveries/regcodes.hpp"
#include "refdata/code_table.hpp"
#include "refdata/model_lookups.hpp"
#include "refdata/registration_lookups.hpp"

namespace tamrix {
namespace {

constexpr std::string_view kPrivateOperator = "PVT";
constexpr std::string_view kGenericOperator = "ZZZ";
constexpr int kPickTries = 5;

bool lf_hasTitle(const TrafficRecord& record) { return !record.liveryTitle.empty(); }

std::size_t lf_selector(uint8_t cargo) { return cargo != 0 ? kCargo : kPassenger; }

// What a pick may choose: never a title the simulator refused.
class TitleFilter {
public:
    TitleFilter() : m_checkRefused(gNotCreatedTitles.size() != 0), m_checkSpecial(!gSpecialTitles.empty()) {}
    bool usable(std::string_view title) const { return !m_checkRefused || !gNotCreatedTitles.contains(title); }
    bool special(std::string_view title) const { return m_checkSpecial && gf_isSpecialTitle(title); }

private:
    bool m_checkRefused;
    bool m_checkSpecial;
};

const TitleList* lf_operatorModelList(std::size_t selector, uint16_t operatorIndex, uint16_t modelIndex) {
    const auto& operators = gOperatorModelTitles[selector];
    const auto op = operators.find(operatorIndex);
    if (op == operators.end()) return nullptr;
    const auto model = op->second.find(modelIndex);
    return model == op->second.end() ? nullptr : &model->second;
}

const TitleList* lf_modelList(std::size_t selector, uint16_t modelIndex) {
    const auto it = gModelTitles[selector].find(modelIndex);
    return it == gModelTitles[selector].end() ? nullptr : &it->second;
}

// The titles with the registration's prefix, then those of each prefix of its group.
bool lf_pickWithPrefixes(TrafficRecord& record, const TitleList& titles) {
    const std::string_view prefix = lf_registrationPrefix(record.head.registration);
    TitleList candidates;
    lf_filterByPrefix(titles, prefix, candidates);
    lf_pickTitle(record, candidates);
    if (lf_hasTitle(record)) return true;
    for (const auto& alternative : gf_prefixAlternatives(prefix)) {
        candidates.clear();
        lf_filterByPrefix(titles, alternative, candidates);
        lf_pickTitle(record, candidates);
        if (lf_hasTitle(record)) return true;
    }
    return false;
}

bool lf_pickAmong(TrafficRecord& record, std::size_t selector, uint16_t operatorIndex, uint16_t modelIndex) {
    const TitleList* titles = lf_operatorModelList(selector, operatorIndex, modelIndex);
    if (titles == nullptr) return false;
    lf_pickTitle(record, *titles);
    return lf_hasTitle(record);
}

bool lf_pickWithAirlineName(TrafficRecord& record, std::size_t selector, uint16_t operatorIndex, uint16_t modelIndex,
                            std::string_view code) {
    const TitleList* titles = lf_operatorModelList(selector, operatorIndex, modelIndex);
    if (titles == nullptr) return false;
    const std::string_view name = lf_airlineName(code);
    const TitleFilter filter;
    for (const auto title : *titles) {
        if (title.find(name) != std::string_view::npos && filter.usable(title)) {
            record.liveryTitle = title;
            return true;
        }
    }
    return false;
}

bool lf_pickSamePrefix(TrafficRecord& record, std::size_t selector, uint16_t operatorIndex, uint16_t modelIndex) {
    if (record.head.registration.empty()) return false;
    const TitleList* titles = lf_operatorModelList(selector, operatorIndex, modelIndex);
    if (titles == nullptr || titles->empty()) return false;
    return lf_pickWithPrefixes(record, *titles);
}

bool lf_matchOperatorModelIn(TrafficRecord& record, const LiveryKey& key, std::size_t selector) {
    const std::string& operatorCode = gOperatorCodes.text(key.operatorIndex);
    if (key.secondOperatorIndex == 0) {
        // A private aircraft prefers a private livery registered in its own part of the world.
        if (operatorCode == kPrivateOperator && lf_pickSamePrefix(record, selector, key.operatorIndex, key.modelIndex))
            return true;
        return lf_pickAmong(record, selector, key.operatorIndex, key.modelIndex);
    }
    const std::string& secondCode = gOperatorCodes.text(key.secondOperatorIndex);
    return lf_pickAmong(record, selector, lf_combinedOperatorIndex(key), key.modelIndex) ||
           lf_pickWithAirlineName(record, selector, key.secondOperatorIndex, key.modelIndex, operatorCode) ||
           lf_pickWithAirlineName(record, selector, key.operatorIndex, key.modelIndex, secondCode) ||
           lf_pickAmong(record, selector, key.secondOperatorIndex, key.modelIndex) ||
           lf_pickAmong(record, selector, key.operatorIndex, key.modelIndex);
}

bool lf_matchOperatorModel(TrafficRecord& record, const LiveryKey& key) {
    if (lf_matchOperatorModelIn(record, key, lf_selector(key.cargo))) return true;
    return key.cargo != 0 && lf_matchOperatorModelIn(record, key, kPassenger);
}

bool lf_matchSimilarModel(TrafficRecord& record, const LiveryKey& key) {
    const uint16_t airline = key.secondOperatorIndex != 0 ? key.secondOperatorIndex : key.operatorIndex;
    const auto byOperator = gSimilarModelsByOperator.find(airline);
    if (byOperator == gSimilarModelsByOperator.end()) return false;
    const auto similar = byOperator->second.find(key.modelIndex);
    if (similar == byOperator->second.end()) return false;
    auto& candidates = similar->second;
    gf_shuffleIndices(candidates);
    for (const uint16_t model : candidates) {
        if (gf_modelCategory(model) != record.category) continue;
        LiveryKey copy = key;
        copy.modelIndex = model;
        if (lf_matchOperatorModelIn(record, copy, lf_selector(key.cargo))) return true;
        if (key.cargo != 0 && lf_matchOperatorModelIn(record, copy, kPassenger)) return true;
    }
    return false;
}

bool lf_matchAnyOfModel(TrafficRecord& record, uint16_t modelIndex) {
    if (record.head.registration.empty()) return false;
    const TitleList* titles = lf_modelList(lf_selector(record.head.liveryKey.cargo), modelIndex);
    if (titles == nullptr || titles->empty()) return false;
    if (lf_pickWithPrefixes(record, *titles)) return true;
    lf_pickTitle(record, *titles);
    return lf_hasTitle(record);
}

uint16_t lf_categoryModel(AircraftCategory category) {
    switch (category) {
    case AircraftCategory::Light: return lf_randomLightModel();
    case AircraftCategory::Buzjets: return lf_randomBuzjetModel();
    case AircraftCategory::Rotorcraft: return lf_randomRotorcraftModel();
    default: return 0;
    }
}

void lf_matchFallback(TrafficRecord& record, bool extraCargo, MatchStep& step) {
    const LiveryKey& key = record.head.liveryKey;
    LiveryKey generic = key;
    generic.operatorIndex = gf_airlineIndex(kGenericOperator);
    generic.cargo = (key.cargo != 0 || extraCargo) ? 1 : 0;
    if (lf_hasTitle(record)) return;
    if (lf_matchOperatorModel(record, generic)) {
        step = 4;
        return;
    }
    const auto category = record.category;
    if (category != AircraftCategory::Light && category != AircraftCategory::Buzjets &&
        category != AircraftCategory::Rotorcraft)
        return;
    if (lf_matchAnyOfModel(record, key.modelIndex)) {
        step = 5;
        return;
    }
    std::vector<uint16_t> single;
    const std::vector<uint16_t>* candidates = &single;
    if (const auto similar = gSimilarModels.find(key.modelIndex); similar != gSimilarModels.end()) {
        gf_shuffleIndices(similar->second);
        candidates = &similar->second;
    } else if (const uint16_t model = lf_categoryModel(gf_modelCategory(key.modelIndex)); model != 0) {
        single.push_back(model);
    }
    for (const uint16_t model : *candidates) {
        if (lf_matchAnyOfModel(record, model)) {
            step = 6;
            return;
        }
    }
}

bool lf_regcodeLookup(TrafficRecord& record) {
    if (record.head.registration.empty()) return false;
    const auto it = gRegcodeMap.find(record.head.registration);
    record.liveryTitle = it == gRegcodeMap.end() ? std::string_view{} : it->second;
    return lf_hasTitle(record);
}

// A live match: refused titles are turned down, accepted ones counted and logged.
bool lf_recordMatch(TrafficRecord& record, MatchStep step) {
    if (gNotCreatedTitles.contains(record.liveryTitle)) {
        record.liveryTitle = {};
        return false;
    }
    ++gMatchStepCounts.at(static_cast<std::size_t>(step));
    gf_log(fmt::format("          {} ={}= {}", gf_acDescription(record), step, record.liveryTitle));
    record.fsltl = record.liveryTitle.find("FSLTL_") != std::string_view::npos;
    return true;
}

// A static match: refused titles are turned down, accepted ones logged only.
bool lf_acceptStatic(TrafficRecord& record, MatchStep step) {
    if (gNotCreatedTitles.contains(record.liveryTitle)) {
        record.liveryTitle = {};
        return false;
    }
    gf_log(fmt::format("          {} ={}= {}", gf_acDescription(record), step, record.liveryTitle));
    return true;
}

// The ladder of both entry points; `stand` is set for a static aircraft.
bool lf_runLadder(TrafficRecord& record, const StandRecord* stand) {
    const auto accept = [&](MatchStep step) {
        return stand != nullptr ? lf_acceptStatic(record, step) : lf_recordMatch(record, step);
    };
    const int32_t depth = MATCHING_DEPTH.current.load();
    const LiveryKey key = record.head.liveryKey;

    if (lf_regcodeLookup(record) && accept(gUniqueRegcodes.contains(record.head.registration) ? 0 : 1)) return true;
    record.liveryTitle = {};
    if (depth < 2) return false;

    if (gOperatorCodes.text(key.operatorIndex) == kPrivateOperator) {
        LiveryKey generic = key;
        generic.operatorIndex = gf_airlineIndex(kGenericOperator);
        if (stand != nullptr) generic.cargo = stand->cargo != 0 ? 1 : 0;
        if (lf_matchOperatorModel(record, generic) && accept(4)) return true;
    }
    if (lf_matchOperatorModel(record, key) && accept(2)) return true;
    if (depth < 3) return false;

    if (lf_matchSimilarModel(record, key) && accept(3)) return true;
    if (depth != 4) return false;

    MatchStep step = 0;
    lf_matchFallback(record, stand != nullptr && stand->cargo != 0, step);
    return lf_hasTitle(record) && accept(step);
}

} // namespace

std::string_view lf_airlineName(std::string_view code) {
    static const std::unordered_map<std::string_view, std::string_view> kNames{
        {"AAL", "American"}, {"ACA", "Canada"},     {"AFR", "France"},        {"ASA", "Alaska"},
        {"ASH", "Mesa"},     {"AVA", "Avianca"},    {"BAW", "British"},       {"BOX", "Aerologic"},
        {"CAI", "Corendon"}, {"CFE", "Cityflyer"},  {"DAE", "DHL Aero"},      {"DAL", "Delta"},
        {"DHK", "DHL Air"},  {"EDV", "Endeavor"},   {"EZY", "easyjet"},       {"FDX", "FedEx"},
        {"FJO", "Flexjet"},  {"GJS", "GoJet"},      {"IBE", "Iberia"},        {"JIA", "PSA Airlines"},
        {"JZA", "Jazz"},     {"KLC", "Cityhopper"}, {"LRC", "Avianca"},       {"PDT", "Piedmont"},
        {"PRM", "Prime"},    {"QLK", "Quantaslink"}, {"QXE", "Horizon"},      {"RPA", "Republic"},
        {"RYR", "Ryanair"},  {"SWA", "Southwest"},  {"SKW", "SkyWest"},       {"UAL", "United"},
        {"UPS", "UPS"},      {"VJT", "VistaJet"},   {"WJA", "WestJet"},
    };
    const auto it = kNames.find(code);
    return it == kNames.end() ? std::string_view("not found") : it->second;
}

std::string_view lf_registrationPrefix(std::string_view registration) {
    if (registration.empty()) return {};
    const auto dash = registration.find('-');
    return dash == std::string_view::npos ? registration.substr(0, 1) : registration.substr(0, dash + 1);
}

void lf_pickTitle(TrafficRecord& record, const TitleList& candidates) {
    if (candidates.empty()) return;
    const TitleFilter filter;
    // Without RANDOM every try looks at the first candidate: one try says it all.
    const int tries = gf_randomIsOn() && candidates.size() >= 2 ? kPickTries : 1;
    std::string_view lastSpecial;
    for (int i = 0; i < tries; ++i) {
        const std::string_view title = candidates[gf_randomIndex(candidates.size())];
        if (!filter.usable(title)) continue;
        if (!filter.special(title)) {
            record.liveryTitle = title;
            return;
        }
        lastSpecial = title;
    }
    TitleList ordinary;
    for (const auto title : candidates) {
        if (filter.usable(title) && !filter.special(title)) ordinary.push_back(title);
    }
    if (!ordinary.empty()) {
        record.liveryTitle = ordinary[gf_randomIndex(ordinary.size())];
        return;
    }
    // Only special titles are left: the last one tried stands, else the first usable one.
    if (!lastSpecial.empty()) {
        record.liveryTitle = lastSpecial;
        return;
    }
    for (const auto title : candidates) {
        if (filter.usable(title)) {
            record.liveryTitle = title;
            return;
        }
    }
}

void lf_filterByPrefix(const TitleList& titles, std::string_view prefix, TitleList& out) {
    for (const auto title : titles) {
        const auto it = gTitleRegcodes.find(title);
        if (it != gTitleRegcodes.end() && it->second.starts_with(prefix)) out.push_back(title);
    }
}

void matchLivery(TrafficRecord& record) { lf_runLadder(record, nullptr); }

bool matchLiveryLogged(TrafficRecord& record, const StandRecord& stand) {
    if (lf_hasTitle(record)) {
        gf_log(fmt::format("          {} =s= {}", gf_acDescription(record), record.liveryTitle));
        return true;
    }
    if (lf_runLadder(record, &stand)) return true;
    gf_log(fmt::format("{:8}: {} no livery match ...", stand.id, gf_acShortDescription(record)));
    return false;
}

} // namespace tamrix
