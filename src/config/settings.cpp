// The table of settings. All setting objects, their option lists, the values derived from them
// and the registries live in this one file, in this order, so that static initialisation
// builds each object after everything it reads.

#include "config/settings.hpp"

#include <algorithm>
#include <type_traits>

#include "config/control_binding.hpp"
#include "config/refused_titles.hpp"
#include "core/random.hpp"

namespace tamrix {
namespace {

std::vector<int32_t> steps(int32_t from, int32_t to, int32_t step) {
    std::vector<int32_t> values;
    for (int32_t v = from; v <= to; v += step)
        values.push_back(v);
    return values;
}

// Every ordering of every non-empty subset of the four AI package names: all four first, then
// the subsets of three, two and one, each subset's orderings in lexicographic order.
std::vector<std::string> buildAiPackageChoices() {
    static constexpr std::array<std::string_view, 4> kNames{"AIG", "FSLTL", "JF", "MTL"};
    std::vector<std::string> choices;
    for (int size = 4; size >= 1; --size) {
        std::array<bool, 4> chosen{};
        std::fill_n(chosen.begin(), size, true);
        do {
            std::vector<int> members;
            for (int i = 0; i < 4; ++i)
                if (chosen[static_cast<std::size_t>(i)]) members.push_back(i);
            do {
                std::string text;
                for (int m : members) {
                    if (!text.empty()) text += ", ";
                    text += kNames[static_cast<std::size_t>(m)];
                }
                choices.push_back(std::move(text));
            } while (std::next_permutation(members.begin(), members.end()));
        } while (std::prev_permutation(chosen.begin(), chosen.end()));
    }
    return choices;
}

} // namespace

// Check boxes and the one plain bool.
CheckBoxParameter ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 32771, 147};
CheckBoxParameter OBJECTID_LIST{"OBJECTID_LIST", false, 32775, 175};
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 32774, 175};
CheckBoxParameter AEROWINX{"AEROWINX", false, 32776, 203};
CheckBoxParameter GUID_CHANGES{"GUID_CHANGES", true, 32773, 203};
CheckBoxParameter SCAN_LIVERIES{"SCAN_LIVERIES", true, 32798, 147};
CheckBoxParameter LIG_AUTOMATIC{"LIG_AUTOMATIC", true, 32799, 147};
CheckBoxParameter LIG_PRIORITIZE{"LIG_PRIORITIZE", true, 32800, 147};
CheckBoxParameter SCAN_AIRPORTS{"SCAN_AIRPORTS", true, 32802, 175};
CheckBoxParameter LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 32809, 203};
CheckBoxParameter HELICOPTERS{"HELICOPTERS", true, 32810, 203};
CheckBoxParameter HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 32811, 203};
CheckBoxParameter AUTO_RANGE{"AUTO_RANGE", true, 32819, 231};
CheckBoxParameter AIRBORNE_ONLY{"AIRBORNE_ONLY", false, 32821, 231};
CheckBoxParameter COLLISION_USER_GND{"COLLISION_USER_GND", true, 32834, 287};
CheckBoxParameter COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 32833, 287};
CheckBoxParameter COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", false, 32835, 287};
CheckBoxParameter STRAIGHT_PBS_ONLY{"STRAIGHT_PBS_ONLY", false, 32855, 315};
CheckBoxParameter INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", false, 32851, 371};
CheckBoxParameter WEEK{"WEEK", false, 32853, 371};
CheckBoxParameter PARK_SOFT{"PARK_SOFT", false, 32852, 371};
BoolParameter RANDOM{"RANDOM", true};

// Integers without a control.
IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};
IntParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME:", 0, 0, 2147483647};
IntParameter CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
IntParameter HOLDING_THRESHOLD_METERS{"HOLDING_THRESHOLD_METERS", 250, 10, 4000};
IntParameter MAX_HOLDING_MINUTES{"MAX_HOLDING_MINUTES", 20, 1, 60};
IntParameter MAX_FIT{"MAX_FIT", 47, 0, 47};

// Integer choices.
const std::vector<int32_t> gMaxSelectionValues{0, 10, 25, 50, 75, 100, 500};
IntChoiceParameter MATCHING_DEPTH{"MATCHING_DEPTH", 4, {1, 2, 3, 4}, 32808, 203};
IntChoiceParameter RANGE{
    "RANGE", 40, {2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100}, 32818, 231};
IntChoiceParameter AR_ABOVE_HEIGHT{"AR_ABOVE_HEIGHT", 48000, steps(18000, 48000, 3000), 32820, 231};
IntChoiceParameter MAX_PARK_SEL{"MAX_PARK_SEL", 500, gMaxSelectionValues, 32848, 315};
IntChoiceParameter MAX_LIVE_SEL{"MAX_LIVE_SEL", 500, gMaxSelectionValues, 32849, 315};
IntChoiceParameter AIRP_RANGE{"AIRP_RANGE", 20, {5, 10, 15, 20, 25, 30}, 32840, 343};
IntChoiceParameter AIRP_HEIGHT{"AIRP_HEIGHT",
                               18000,
                               {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000},
                               32841,
                               343};
IntChoiceParameter parking_percentage{"parking_percentage", 30, steps(0, 100, 5), 32850, 371};

// Float choice.
FloatChoiceParameter MAX_FIT_FL{"MAX_FIT_FL",
                                24.0F,
                                {0.5F, 1.0F, 1.5F, 2.0F, 2.5F,  3.0F,  3.5F,  4.0F,  4.5F,  5.0F,
                                 6.0F, 7.0F, 8.0F, 9.0F, 10.0F, 12.0F, 15.0F, 18.0F, 21.0F, 24.0F},
                                32854,
                                371};

// Strings without a control.
StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringParameter MSFS_INSTALL_PATH{"MSFS_INSTALL_PATH", ""};
PortParameter PORT_NUMBER{"PORT_NUMBER", "10747"};
StringParameter lfolder0{"lfolder0", ""};
StringParameter lfolder1{"lfolder1", ""};
StringParameter lfolder2{"lfolder2", ""};
StringParameter lfolder3{"lfolder3", ""};
StringParameter lfolder4{"lfolder4", ""};
StringParameter lfolder5{"lfolder5", ""};
StringParameter lfolder6{"lfolder6", ""};
StringParameter lfolder7{"lfolder7", ""};
StringParameter lfolder8{"lfolder8", ""};
StringParameter lfolder9{"lfolder9", ""};
StringParameter AIG_VERSION{"AIG_VERSION", ""};
StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
StringParameter AIRPORTS_VERSION{"AIRPORTS_VERSION", ""};
StringParameter LIV_SCAN_VERSION{"LIV_SCAN_VERSION", ""};
StringParameter ADDONS_SCAN_VERSION{"ADDONS_SCAN_VERSION", ""};
StringParameter MYSIMADDON24_VERSION{"MYSIMADDON24_VERSION", ""};
StringParameter MSFS_2024_INSTALL_PATH{"MSFS_2024_INSTALL_PATH", ""};
const std::array<StringParameter*, 10> gLiveryFolderParameters{&lfolder0, &lfolder1, &lfolder2, &lfolder3,
                                                               &lfolder4, &lfolder5, &lfolder6, &lfolder7,
                                                               &lfolder8, &lfolder9};

// Window-bound strings.
const std::vector<std::string> gSimulatorNames{"MSFS 2020", "MSFS 2024"};
const std::vector<std::string> gAiPackageChoices = buildAiPackageChoices();
const std::shared_ptr<std::vector<std::string>> gLiveCallsignList =
    std::make_shared<std::vector<std::string>>(1, std::string());
StringControlParameter ALL_INSTALL_PATH{"ALL_INSTALL_PATH", "", 32788, 119};
ChoiceParameter SIM_CHOICE{"SIM_CHOICE", "MSFS 2020", gSimulatorNames, 32789, 119};
ChoiceParameter AI_PACKAGE_SELECTOR{"AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL", gAiPackageChoices, 32790,
                                    147};
StringControlParameter BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828, 259};
SharedChoiceParameter CALLSIGN_2_OBJECTID{"CALLSIGN_2_OBJECTID", "", gLiveCallsignList, 32831, 259};
StringControlParameter DESTINATION{"DESTINATION", "", 32839, 343};

// Push buttons.
ButtonParameter TBLO_ZIP_BUTTON{"tblo.zip", 32804, 175};
ButtonParameter UNBLOCK_BUTTON{"Unblock", 32829, 257};
ButtonParameter CS_TO_OID_BUTTON{"cs->oid:", 32830, 257};
ButtonParameter BLOCK_BUTTON{"Block", 32832, 257};
ButtonParameter NOW_BUTTON{"Now", 32847, 313};
ButtonParameter REREAD_BUTTON{"Re-read", 32838, 341};
ButtonParameter FLUSH_STATIC_BUTTON{"Flush static", 32857, 369};

// Derived values, each after the objects it reads.
std::atomic<double> gRangeNm{static_cast<double>(RANGE.current.load())};
std::atomic<int32_t> gRangeMeters{RANGE.current.load() * 1852};
const int32_t gParametersTitleLength = static_cast<int32_t>(std::string_view("parameters").size());
const int32_t gParametersBannerFill = 80 - gParametersTitleLength;
const char* const gKeyRange = RANGE.name.c_str();
const char* const gKeyAutoRange = AUTO_RANGE.name.c_str();
const char* const gKeyInitialLoadOnly = INITIAL_LOAD_ONLY.name.c_str();
const char* const gKeyParkSoft = PARK_SOFT.name.c_str();
const char* const gKeyParkingPercentage = parking_percentage.name.c_str();
const char* const gKeyMaxFit = MAX_FIT.name.c_str();
const char* const gKeyWeek = WEEK.name.c_str();
const char* const gKeyMaxLiveSel = MAX_LIVE_SEL.name.c_str();

// The registries, built last.
const std::vector<BoolParameter*> boolParameters{&RANDOM};
const std::vector<CheckBoxParameter*> checkBoxParameters{&ALWAYS_ON_TOP,
                                                         &OBJECTID_LIST,
                                                         &NAV_LIGHTS_WHILE_PARKED,
                                                         &AEROWINX,
                                                         &GUID_CHANGES,
                                                         &SCAN_LIVERIES,
                                                         &LIG_AUTOMATIC,
                                                         &LIG_PRIORITIZE,
                                                         &SCAN_AIRPORTS,
                                                         &LIGHT_AIRCRAFT,
                                                         &HELICOPTERS,
                                                         &HIGH_PERF_AIRCRAFT,
                                                         &AUTO_RANGE,
                                                         &AIRBORNE_ONLY,
                                                         &COLLISION_USER_GND,
                                                         &COLLISION_USER_AIR,
                                                         &COLLISION_LIVE_PARKED_GND,
                                                         &STRAIGHT_PBS_ONLY,
                                                         &INITIAL_LOAD_ONLY,
                                                         &WEEK,
                                                         &PARK_SOFT};
const std::vector<IntParameter*> intParameters{&MAIN_WINDOW_X,
                                               &MAIN_WINDOW_Y,
                                               &LAST_EPOCH_TIME,
                                               &CUSTOM_PARKING_PERCENTAGE,
                                               &HOLDING_THRESHOLD_METERS,
                                               &MAX_HOLDING_MINUTES,
                                               &AIRP_HEIGHT,
                                               &MAX_FIT};
const std::vector<IntChoiceParameter*> intChoiceParameters{
    &MATCHING_DEPTH, &RANGE, &AR_ABOVE_HEIGHT, &MAX_PARK_SEL, &MAX_LIVE_SEL, &AIRP_RANGE, &AIRP_HEIGHT};
const std::vector<StringParameter*> stringParameters{&PROGRAM_VERSION,
                                                     &MSFS_INSTALL_PATH,
                                                     &PORT_NUMBER,
                                                     &lfolder0,
                                                     &lfolder1,
                                                     &lfolder2,
                                                     &lfolder3,
                                                     &lfolder4,
                                                     &lfolder5,
                                                     &lfolder6,
                                                     &lfolder7,
                                                     &lfolder8,
                                                     &lfolder9,
                                                     &AIG_VERSION,
                                                     &DBASE_VERSION,
                                                     &AIRPORTS_VERSION,
                                                     &LIV_SCAN_VERSION,
                                                     &ADDONS_SCAN_VERSION,
                                                     &MYSIMADDON24_VERSION,
                                                     &MSFS_2024_INSTALL_PATH,
                                                     &AI_PACKAGE_SELECTOR,
                                                     &DESTINATION};
const std::vector<StringControlParameter*> stringControlParameters{&BLOCK_CALLSIGN, &SIM_CHOICE};

void gf_installSettingHooks() {
    gf_setRandomSwitch([] { return RANDOM.current.load(std::memory_order_relaxed); });
}

namespace {

void resetControl(ParameterControl& control) {
    control.window = nullptr;
    control.previousWndProc = 0;
}

template <typename P> void resetValue(P& p) {
    if constexpr (std::is_base_of_v<StringParameter, P>)
        p.current.set(p.defaultValue.get());
    else
        p.current = p.defaultValue;
}

} // namespace

void gf_resetSettings() {
    PROGRAM_VERSION.defaultValue.set("");
    for (auto* p : boolParameters)
        resetValue(*p);
    for (auto* p : checkBoxParameters) {
        resetValue(*p);
        resetControl(*p);
    }
    for (auto* p : intParameters)
        resetValue(*p);
    for (auto* p : intChoiceParameters) {
        resetValue(*p);
        resetControl(*p);
    }
    for (auto* p : stringParameters) {
        resetValue(*p);
        if (auto* control = dynamic_cast<ParameterControl*>(p)) resetControl(*control);
    }
    for (auto* p : stringControlParameters) {
        resetValue(*p);
        resetControl(*p);
    }
    resetValue(parking_percentage);
    resetControl(parking_percentage);
    resetValue(MAX_FIT_FL);
    resetControl(MAX_FIT_FL);
    for (StringControlParameter* p : {static_cast<StringControlParameter*>(&ALL_INSTALL_PATH),
                                      static_cast<StringControlParameter*>(&CALLSIGN_2_OBJECTID)}) {
        resetValue(*p);
        resetControl(*p);
    }
    for (ButtonParameter* b : {&TBLO_ZIP_BUTTON, &UNBLOCK_BUTTON, &CS_TO_OID_BUTTON, &BLOCK_BUTTON,
                               &NOW_BUTTON, &REREAD_BUTTON, &FLUSH_STATIC_BUTTON})
        resetControl(*b);
    CALLSIGN_2_OBJECTID.setOptionList({std::string()});
    gRangeNm = static_cast<double>(RANGE.current.load());
    gRangeMeters = RANGE.current.load() * 1852;
    gApfValues = ApfValueRecord{};
    gf_setControlLookupWindow(nullptr);
    gNotCreatedTitles.clear();
}

} // namespace tamrix
