#include "liveries/livery_index.hpp"

#include <algorithm>
#include <set>
#include <tuple>
#include <unordered_set>

#include <fmt/format.h>

#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/random.hpp"
#include "core/string_helpers.hpp"
#include "links/traffic_source_state.hpp"
#include "liveries/livery_list.hpp"
#include "liveries/regcodes.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"
#include "refdata/model_lookups.hpp"

namespace tamrix {

std::unordered_map<uint16_t, std::unordered_map<uint16_t, std::vector<LiveryEntry>>> gLiveryIndex;
std::array<std::unordered_map<uint16_t, ModelTitleLists>, 2> gOperatorModelTitles;
std::array<ModelTitleLists, 2> gModelTitles;
std::vector<uint16_t> gLightLiveryModels;
std::vector<uint16_t> gBuzjetLiveryModels;
std::vector<uint16_t> gRotorcraftLiveryModels;
SimilarModels gSimilarModels;
std::unordered_map<uint16_t, SimilarModels> gSimilarModelsByOperator;
std::atomic<bool> gLiveriesProcessed{false};
std::atomic<int32_t> gScannedLiveryCount{0};

namespace {

constexpr std::size_t kModelsPerLogLine = 20;

// Every stored title once, so that a title is found by hashing rather than by walking the whole
// catalogue (the regcode sources ask for tens of thousands of titles at every start).
std::unordered_set<std::string_view> gTitleIndex;

// Categories whose setting the processing switched off for the run because no livery of theirs
// was found.
std::set<AircraftCategory> gSwitchedOffCategories;
// Categories of the processed catalogue without a single livery: their boxes stay off and
// disabled in every run until the catalogue is processed anew.
std::set<AircraftCategory> gCategoriesWithoutLiveries;

std::size_t lf_selector(uint8_t cargo) {
    return cargo != 0 ? kCargo : kPassenger;
}

// The setting that switches a category's traffic on and off, for the three that have one.
CheckBoxParameter* lf_categorySetting(AircraftCategory category) {
    switch (category) {
    case AircraftCategory::Light:
        return &LIGHT_AIRCRAFT;
    case AircraftCategory::HighPerf:
        return &HIGH_PERF_AIRCRAFT;
    case AircraftCategory::Rotorcraft:
        return &HELICOPTERS;
    default:
        return nullptr;
    }
}

std::string_view lf_switchedOffText(AircraftCategory category) {
    switch (category) {
    case AircraftCategory::Light:
        return "{} temporarily switched off because you do not have light aircraft installed";
    case AircraftCategory::HighPerf:
        return "{} temporarily switched off because you do not have High Perf aircraft installed";
    default:
        return "{} temporarily switched off because you do not have Helicopters installed";
    }
}

uint16_t lf_pickModel(const std::vector<uint16_t>& models) {
    return models.empty() ? 0 : models[gf_randomIndex(models.size())];
}

} // namespace

std::string_view lf_findTitle(std::string_view title) {
    const auto it = gTitleIndex.find(title);
    return it == gTitleIndex.end() ? std::string_view{} : *it;
}

bool gf_hasLiveryFor(uint16_t operatorIndex, uint16_t modelIndex) {
    const auto it = gLiveryIndex.find(operatorIndex);
    return it != gLiveryIndex.end() && it->second.contains(modelIndex);
}

uint16_t lf_combinedOperatorIndex(const LiveryKey& key) {
    return gf_airlineIndex(fmt::format("{}{}", gOperatorCodes.text(key.operatorIndex),
                                       gOperatorCodes.text(key.secondOperatorIndex)));
}

uint16_t lf_randomLightModel() {
    return lf_pickModel(gLightLiveryModels);
}
uint16_t lf_randomBuzjetModel() {
    return lf_pickModel(gBuzjetLiveryModels);
}
uint16_t lf_randomRotorcraftModel() {
    return lf_pickModel(gRotorcraftLiveryModels);
}

void lf_buildLiveryIndex() {
    gLiveryIndex.reserve(2048);
    for (const LiveryData& livery : gLiveries) {
        const uint16_t operatorIndex = livery.key.secondOperatorIndex == 0
                                           ? livery.key.operatorIndex
                                           : lf_combinedOperatorIndex(livery.key);
        gLiveryIndex[operatorIndex][livery.key.modelIndex].push_back({livery.title, livery.key.cargo});
    }
    // Views are taken only now: until every vector has its final size, a title may still move.
    gTitleIndex.reserve(gLiveries.size());
    for (auto& [operatorIndex, models] : gLiveryIndex) {
        for (auto& [modelIndex, entries] : models) {
            entries.shrink_to_fit();
            for (auto& entry : entries) {
                entry.title.shrink_to_fit();
                gTitleIndex.insert(entry.title);
            }
        }
    }
}

void lf_buildTitleMaps() {
    gOperatorModelTitles[kPassenger].reserve(2048);
    gOperatorModelTitles[kCargo].reserve(256);
    for (const auto& [operatorIndex, models] : gLiveryIndex) {
        std::array<ModelTitleLists, 2> lists;
        for (const auto& [modelIndex, entries] : models) {
            std::array<TitleList, 2> titles;
            for (const auto& entry : entries)
                titles[lf_selector(entry.cargo)].push_back(entry.title);
            for (std::size_t k = 0; k < 2; ++k) {
                if (titles[k].empty()) continue;
                titles[k].shrink_to_fit();
                lists[k].emplace(modelIndex, std::move(titles[k]));
            }
        }
        for (std::size_t k = 0; k < 2; ++k) {
            if (!lists[k].empty()) gOperatorModelTitles[k].emplace(operatorIndex, std::move(lists[k]));
        }
    }
}

void lf_buildModelSets() {
    struct Item {
        std::string_view title;
        uint16_t model;
        uint8_t cargo;
    };
    std::vector<Item> items;
    items.reserve(gTitleIndex.size());
    for (const auto& [operatorIndex, models] : gLiveryIndex) {
        for (const auto& [modelIndex, entries] : models) {
            for (const auto& entry : entries)
                items.push_back({entry.title, modelIndex, entry.cargo});
        }
    }
    // Within a model, titles in text order: the same catalogue always gives the same lists.
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return std::tie(a.model, a.title, a.cargo) < std::tie(b.model, b.title, b.cargo);
    });
    // Two working lists, reserved once; each model gets an exact-size copy.
    std::array<TitleList, 2> work;
    for (auto& list : work)
        list.reserve(17000);
    for (auto group = items.begin(); group != items.end();) {
        const uint16_t model = group->model;
        for (auto& list : work)
            list.clear();
        for (; group != items.end() && group->model == model; ++group)
            work[lf_selector(group->cargo)].push_back(group->title);
        for (std::size_t k = 0; k < 2; ++k) {
            if (!work[k].empty()) gModelTitles[k].emplace(model, TitleList(work[k].begin(), work[k].end()));
        }
    }
}

void gf_buildSimilarModels() {
    const auto hasLiveries = [](uint16_t model) {
        return gModelTitles[kPassenger].contains(model) || gModelTitles[kCargo].contains(model);
    };
    std::set<std::string> texts;
    for (const auto& group : gSimilarTypes) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            std::string text = group[i];
            bool any = false;
            for (std::size_t j = 0; j < group.size(); ++j) {
                if (j == i || !hasLiveries(gf_modelIndex(group[j]))) continue;
                text += ",";
                text += group[j];
                any = true;
            }
            if (any) texts.insert(std::move(text));
        }
    }
    for (const auto& text : texts) {
        const auto pieces = gf_split(text, ',');
        std::vector<uint16_t> similar;
        similar.reserve(pieces.size() - 1);
        for (std::size_t i = 1; i < pieces.size(); ++i)
            similar.push_back(gf_modelIndex(pieces[i]));
        gSimilarModels.try_emplace(gf_modelIndex(pieces.front()), std::move(similar));
    }

    std::set<uint16_t> operators;
    for (const auto& [operatorIndex, models] : gLiveryIndex)
        operators.insert(operatorIndex);
    for (const uint16_t op : operators) {
        SimilarModels forOperator;
        for (const auto& [model, similar] : gSimilarModels) {
            if (gf_hasLiveryFor(op, model)) continue;
            std::vector<uint16_t> kept;
            for (const uint16_t other : similar) {
                if (gf_hasLiveryFor(op, other)) kept.push_back(other);
            }
            if (!kept.empty()) forOperator.emplace(model, std::move(kept));
        }
        if (!forOperator.empty()) gSimilarModelsByOperator.try_emplace(op, std::move(forOperator));
    }
    gf_log(fmt::format("{:5} similar model definitions", gSimilarModels.size()));
}

void lf_logModelList(bool isLight, bool isBuzjet, bool isRotorcraft, const std::vector<uint16_t>& models) {
    std::string line = "  ";
    std::size_t inLine = 0;
    for (const uint16_t model : models) {
        if (isLight) gLightLiveryModels.push_back(model);
        if (isBuzjet) gBuzjetLiveryModels.push_back(model);
        if (isRotorcraft) gRotorcraftLiveryModels.push_back(model);
        line += gModelCodes.text(model);
        line += ',';
        if (++inLine == kModelsPerLogLine) {
            line.pop_back();
            gf_log(line);
            line = "  ";
            inLine = 0;
        }
    }
    if (inLine > 0) {
        line.pop_back();
        gf_log(line);
    }
}

namespace {

// A category without liveries is off for this run only: "parameters.xml" keeps the user's
// choice, so the category comes back once its liveries are installed and scanned. True when it
// was on.
bool lf_switchOffForThisRun(AircraftCategory category, CheckBoxParameter& setting) {
    const bool wasOn = setting.current.load();
    if (wasOn) {
        setting.current = false;
        gSwitchedOffCategories.insert(category);
        gf_showCheckBox(setting);
    }
    EnableWindow(setting.window, FALSE);
    return wasOn;
}

} // namespace

void lf_checkCategory(AircraftCategory category) {
    std::array<int64_t, 2> counts{0, 0};
    std::set<uint16_t> models;
    for (std::size_t k = 0; k < 2; ++k) {
        for (const auto& [model, titles] : gModelTitles[k]) {
            if (gf_modelCategory(model) != category) continue;
            counts[k] += static_cast<int64_t>(titles.size());
            models.insert(model);
        }
    }
    const std::string_view name = gf_categoryName(category);
    CheckBoxParameter* setting = lf_categorySetting(category);
    const int64_t pax = counts[kPassenger];
    const int64_t cargo = counts[kCargo];
    if (pax == 0 && cargo == 0) {
        gf_log(fmt::format("Category {}: No livery found", name));
        if (setting == nullptr) return;
        gCategoriesWithoutLiveries.insert(category);
        if (lf_switchOffForThisRun(category, *setting))
            gf_log(fmt::format(fmt::runtime(lf_switchedOffText(category)), setting->name));
        return;
    }
    const std::string cargoText =
        cargo > 0 ? fmt::format(" and {} cargo liverie{}", cargo, gf_plural(cargo)) : std::string();
    gf_log(fmt::format("Category {}: {} pax liverie{}{}", name, pax, gf_plural(pax), cargoText));
    lf_logModelList(category == AircraftCategory::Light, category == AircraftCategory::Buzjets,
                    category == AircraftCategory::Rotorcraft,
                    std::vector<uint16_t>(models.begin(), models.end()));
    if (setting != nullptr) {
        gCategoriesWithoutLiveries.erase(category);
        if (gSwitchedOffCategories.erase(category) > 0) {
            setting->current = true;
            gf_showCheckBox(*setting);
            gf_log(fmt::format("{} switched on again", setting->name));
        }
        EnableWindow(setting->window, TRUE);
    }
}

void gf_resetLiveryIndex() {
    gf_clearLiveryIndex();
    gLiveriesProcessed = false;
    gScannedLiveryCount = 0;
    gSwitchedOffCategories.clear();
    gCategoriesWithoutLiveries.clear();
    gLiveries.clear();
}

void lf_countGenericLiveries() {
    const auto it = gLiveryIndex.find(gf_airlineIndex("ZZZ"));
    if (it == gLiveryIndex.end()) {
        gf_log("No generic liveries");
        return;
    }
    std::vector<uint16_t> models;
    models.reserve(it->second.size());
    for (const auto& [model, entries] : it->second)
        models.push_back(model);
    std::sort(models.begin(), models.end());
    gf_log(fmt::format("{} model{} have a generic livery", models.size(),
                       gf_plural(static_cast<uint64_t>(models.size()))));
    lf_logModelList(false, false, false, models);
}

void gf_processScannedLiveries() {
    if (gLiveriesProcessed.load()) {
        gf_log("Processing scanned liveries skipped; already done in previous start-up");
        gLiveries.clear();
        // The run's controls were set afresh (and the settings read again): a category without
        // liveries stays off for this run too.
        for (const AircraftCategory category : gCategoriesWithoutLiveries)
            lf_switchOffForThisRun(category, *lf_categorySetting(category));
        return;
    }
    // Whatever an earlier, failed processing left behind must not mix with this one.
    gf_clearLiveryIndex();
    gModelTitles[kCargo].reserve(75);
    gModelTitles[kPassenger].reserve(324);
    gRegcodeMap.reserve(36000);
    gRegcodeMap.max_load_factor(0.7f);

    lf_readLiveriesXml();
    gScannedLiveryCount = static_cast<int32_t>(gLiveries.size());
    gf_invalidateStatusPanel();

    lf_buildLiveryIndex();
    lf_buildTitleMaps();
    lf_processInlineRegcodes();
    lf_processOfflineRegcodes();
    gf_log(fmt::format("{:5} registration codes", gRegcodeMap.size()));

    lf_buildModelSets();
    gf_log(fmt::format("{:5} airlines, {} pax aircraft models and {} cargo aircraft models",
                       gLiveryIndex.size(), gModelTitles[kPassenger].size(), gModelTitles[kCargo].size()));
    gf_buildSimilarModels();
    gf_log(" ");
    for (const auto category :
         {AircraftCategory::Light, AircraftCategory::Buzjets, AircraftCategory::Large,
          AircraftCategory::Heavy, AircraftCategory::HighPerf, AircraftCategory::Rotorcraft})
        lf_checkCategory(category);
    lf_countGenericLiveries();

    gLiveriesProcessed = true;
    gf_invalidateStatusPanel();
    gLiveries.clear();
}

void gf_clearLiveryIndex() {
    gLightLiveryModels.clear();
    gBuzjetLiveryModels.clear();
    gRotorcraftLiveryModels.clear();
    lf_clearRegcodes();
    for (auto& lists : gModelTitles)
        lists.clear();
    for (auto& lists : gOperatorModelTitles)
        lists.clear();
    // The similar-model tables describe the installed liveries too: a rescan must not keep the
    // old ones.
    gSimilarModels.clear();
    gSimilarModelsByOperator.clear();
    gTitleIndex.clear();
    gLiveryIndex.clear();
}

} // namespace tamrix
