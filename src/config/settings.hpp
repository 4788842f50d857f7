#pragma once
// Every setting of the program and every push button of the main window, as process-wide
// objects built before main() runs, and the six registries that fix which settings
// "parameters.xml" stores and in which order.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/parameters.hpp"

namespace tamrix {

// Check boxes, in registry order.
extern CheckBoxParameter ALWAYS_ON_TOP;
extern CheckBoxParameter OBJECTID_LIST;
extern CheckBoxParameter NAV_LIGHTS_WHILE_PARKED;
extern CheckBoxParameter AEROWINX;
extern CheckBoxParameter GUID_CHANGES;
extern CheckBoxParameter SCAN_LIVERIES;
extern CheckBoxParameter LIG_AUTOMATIC;
extern CheckBoxParameter LIG_PRIORITIZE;
extern CheckBoxParameter SCAN_AIRPORTS;
extern CheckBoxParameter LIGHT_AIRCRAFT;
extern CheckBoxParameter HELICOPTERS;
extern CheckBoxParameter HIGH_PERF_AIRCRAFT;
extern CheckBoxParameter AUTO_RANGE;
extern CheckBoxParameter AIRBORNE_ONLY;
extern CheckBoxParameter COLLISION_USER_GND;
extern CheckBoxParameter COLLISION_USER_AIR;
extern CheckBoxParameter COLLISION_LIVE_PARKED_GND;
extern CheckBoxParameter STRAIGHT_PBS_ONLY;
extern CheckBoxParameter INITIAL_LOAD_ONLY;
extern CheckBoxParameter WEEK;
extern CheckBoxParameter PARK_SOFT;
// Random choices on or off (no control).
extern BoolParameter RANDOM;

// Integers without a control. The main window is placed from MAIN_WINDOW_X/Y and saves its
// position into them.
extern IntParameter MAIN_WINDOW_X;
extern IntParameter MAIN_WINDOW_Y;
extern IntParameter LAST_EPOCH_TIME; // key "LAST_EPOCH_TIME:"
extern IntParameter CUSTOM_PARKING_PERCENTAGE;
extern IntParameter HOLDING_THRESHOLD_METERS;
extern IntParameter MAX_HOLDING_MINUTES;
extern IntParameter MAX_FIT; // the stored form of MAX_FIT_FL

// Integer choices (combo boxes).
extern const std::vector<int32_t> gMaxSelectionValues; // shared by MAX_PARK_SEL and MAX_LIVE_SEL
extern IntChoiceParameter MATCHING_DEPTH;
extern IntChoiceParameter RANGE;
extern IntChoiceParameter AR_ABOVE_HEIGHT;
extern IntChoiceParameter MAX_PARK_SEL;
extern IntChoiceParameter MAX_LIVE_SEL;
extern IntChoiceParameter AIRP_RANGE;
extern IntChoiceParameter AIRP_HEIGHT;
extern IntChoiceParameter parking_percentage; // set by the window at each start, never loaded

// Hours, derived from MAX_FIT; never stored.
extern FloatChoiceParameter MAX_FIT_FL;

// Strings without a control.
extern StringParameter PROGRAM_VERSION;
extern StringParameter MSFS_INSTALL_PATH;
extern PortParameter PORT_NUMBER;
extern StringParameter lfolder0;
extern StringParameter lfolder1;
extern StringParameter lfolder2;
extern StringParameter lfolder3;
extern StringParameter lfolder4;
extern StringParameter lfolder5;
extern StringParameter lfolder6;
extern StringParameter lfolder7;
extern StringParameter lfolder8;
extern StringParameter lfolder9;
extern StringParameter AIG_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter AIRPORTS_VERSION;
extern StringParameter LIV_SCAN_VERSION;
extern StringParameter ADDONS_SCAN_VERSION;
extern StringParameter MYSIMADDON24_VERSION;
extern StringParameter MSFS_2024_INSTALL_PATH;
// lfolder0 .. lfolder9 in order.
extern const std::array<StringParameter*, 10> gLiveryFolderParameters;

// Window-bound strings.
extern const std::vector<std::string> gSimulatorNames;   // "MSFS 2020", "MSFS 2024"
extern const std::vector<std::string> gAiPackageChoices; // the 64 package orders
// The callsigns of the live aircraft, refilled at run time by the live traffic; starts with one
// empty text. Refilled and shown by the same caller one after the other, without a lock.
extern const std::shared_ptr<std::vector<std::string>> gLiveCallsignList;
extern StringControlParameter ALL_INSTALL_PATH;
extern ChoiceParameter SIM_CHOICE;
extern ChoiceParameter AI_PACKAGE_SELECTOR;
extern StringControlParameter BLOCK_CALLSIGN;
extern SharedChoiceParameter CALLSIGN_2_OBJECTID;
extern StringControlParameter DESTINATION;

// Push buttons (never stored).
extern ButtonParameter TBLO_ZIP_BUTTON;     // "tblo.zip"
extern ButtonParameter UNBLOCK_BUTTON;      // "Unblock"
extern ButtonParameter CS_TO_OID_BUTTON;    // "cs->oid:"
extern ButtonParameter BLOCK_BUTTON;        // "Block"
extern ButtonParameter NOW_BUTTON;          // "Now"
extern ButtonParameter REREAD_BUTTON;       // "Re-read"
extern ButtonParameter FLUSH_STATIC_BUTTON; // "Flush static"

// Derived values.
// The working radius: the range filter of the traffic reader and the range request use it. It
// follows RANGE (gf_setRange) and may exceed RANGE's largest listed value.
extern std::atomic<double> gRangeNm;
extern std::atomic<int32_t> gRangeMeters;
// Widths of the log banners around the settings: the title "parameters" and 80 less its length.
extern const int32_t gParametersTitleLength;
extern const int32_t gParametersBannerFill;
// The keys of the eight settings that a park airport's file may override.
extern const char* const gKeyRange;
extern const char* const gKeyAutoRange;
extern const char* const gKeyInitialLoadOnly;
extern const char* const gKeyParkSoft;
extern const char* const gKeyParkingPercentage;
extern const char* const gKeyMaxFit;
extern const char* const gKeyWeek;
extern const char* const gKeyMaxLiveSel;

// The registries, in the order "parameters.xml" holds them (1 to 6). AIRP_HEIGHT stands in
// both integer registries; the file holds it once, where the first puts it (a file of an earlier
// version with it twice is read by its first element, and a save updates both).
extern const std::vector<BoolParameter*> boolParameters;
extern const std::vector<CheckBoxParameter*> checkBoxParameters;
extern const std::vector<IntParameter*> intParameters;
extern const std::vector<IntChoiceParameter*> intChoiceParameters;
extern const std::vector<StringParameter*> stringParameters;
extern const std::vector<StringControlParameter*> stringControlParameters;

// Connects the settings to the core services that read them (RANDOM to the random helpers).
// Called once at start-up.
void gf_installSettingHooks();
// Every setting back to the state the process starts with: current values at their defaults
// (PROGRAM_VERSION's default empty again), no controls, the working radius of RANGE's default,
// no park-airport values, no control lookup window, no live callsigns, no refused titles. For a
// process that starts over without exiting; no other thread may use the settings meanwhile.
void gf_resetSettings();

} // namespace tamrix
