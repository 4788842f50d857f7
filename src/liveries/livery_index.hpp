#pragma once
// The livery catalogue that the matching searches: the scanned liveries indexed by operator and
// model, split into passenger and cargo lists, the titles of each model over all operators, the
// Light, Buzjets and Rotorcraft models that have liveries, the similar-model tables, and (built
// with it, see regcodes.hpp) the registration map.
//
// gf_processScannedLiveries builds everything once per run on the start-up thread from
// "LiveriesScanned.xml"; afterwards it is only read (the matching shuffles similar-model lists
// and may add combined operator codes, on the same thread). gf_clearLiveryIndex empties it
// between runs. The catalogue owns every title; the title views it hands out stay valid until
// gf_clearLiveryIndex.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "refdata/aircraft_category.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {

struct LiveryEntry {
    std::string title;
    uint8_t cargo = 0;
};

using TitleList = std::vector<std::string_view>;
using ModelTitleLists = std::unordered_map<uint16_t, TitleList>;
using SimilarModels = std::unordered_map<uint16_t, std::vector<uint16_t>>;

inline constexpr std::size_t kPassenger = 0;
inline constexpr std::size_t kCargo = 1;

// Operator index -> model index -> the liveries of that operator and model, in title order. A
// livery with a second operator sits under the combined code of both operators only.
extern std::unordered_map<uint16_t, std::unordered_map<uint16_t, std::vector<LiveryEntry>>> gLiveryIndex;
// The same split by cargo flag (kPassenger, kCargo); no list is empty.
extern std::array<std::unordered_map<uint16_t, ModelTitleLists>, 2> gOperatorModelTitles;
// Model index -> the titles of that model over all operators, in title order.
extern std::array<ModelTitleLists, 2> gModelTitles;
// Models of category Light, Buzjets and Rotorcraft that have liveries, ascending.
extern std::vector<uint16_t> gLightLiveryModels;
extern std::vector<uint16_t> gBuzjetLiveryModels;
extern std::vector<uint16_t> gRotorcraftLiveryModels;
// Model -> the other models of its similar-types group that have liveries.
extern SimilarModels gSimilarModels;
// Operator -> (model without a livery of that operator -> similar models that have one).
extern std::unordered_map<uint16_t, SimilarModels> gSimilarModelsByOperator;

// The processing has run in this run; its callers clear it together with gf_clearLiveryIndex.
extern std::atomic<bool> gLiveriesProcessed;
// The number of liveries read, as the main window's status panel shows it.
extern std::atomic<int32_t> gScannedLiveryCount;

// Builds the catalogue from "LiveriesScanned.xml" (once; a second call only logs that it was
// done). Lets the reader's UserErrorException pass, which ends the start-up.
void gf_processScannedLiveries();
// Empties the catalogue: index, title lists, model lists, similar-model tables, registration
// map and special sets. Leaves gLiveriesProcessed, the step counters and the code tables alone.
void gf_clearLiveryIndex();

// The catalogue's own copy of the title, or an empty view when no livery has it.
std::string_view lf_findTitle(std::string_view title);
bool gf_hasLiveryFor(uint16_t operatorIndex, uint16_t modelIndex);
// The index of the combined code of the key's operator and second operator ("{}{}"), added to
// the operator table when new.
uint16_t lf_combinedOperatorIndex(const LiveryKey& key);

// 0 when the list is empty, else its element at gf_randomIndex (the first while RANDOM is off).
uint16_t lf_randomLightModel();
uint16_t lf_randomBuzjetModel();
uint16_t lf_randomRotorcraftModel();

// Steps of the processing.
void lf_buildLiveryIndex();
void lf_buildTitleMaps();
void lf_buildModelSets();
void gf_buildSimilarModels();
// A category without liveries has its setting (Light, High Perf, Helicopters) switched off for the
// run, not in "parameters.xml"; a later processing that finds its liveries switches it on again.
void lf_checkCategory(AircraftCategory category);
// Back to the start of a run: the catalogue emptied (gf_clearLiveryIndex), not processed, no
// livery counted, no category switched off, gLiveries empty.
void gf_resetLiveryIndex();
void lf_logModelList(bool isLight, bool isBuzjet, bool isRotorcraft, const std::vector<uint16_t>& models);
void lf_countGenericLiveries();

} // namespace tamrix
