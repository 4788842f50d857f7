#pragma once
// The park airport's file: reading it into the stand table (downloading an archived file that
// is not on this PC, merging the learned file, adjusting the per-airport settings, numbering the
// stands and finding the stands close enough to collide), saving what was learned there into the
// learned file, the quality factors that rate how well the stands are backed by learned flights,
// and leaving the park airport.
//
// Start-up thread only, except where noted.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/fixed_code.hpp"
#include "core/geodesy.hpp"

namespace tamrix {

// What the park airport's file says about the airport.
struct ParkAirportInfo {
    std::string airport_name;
    std::string publisher;
    int32_t altitude = 0; // feet; signed, airports lie below sea level too
};

struct QualityFactors {
    int32_t Qf_real = 0; // 0 .. 100; -1 = none
    int32_t Qf_soft = 0;
    bool operator==(const QualityFactors&) const = default;
};

// How the learned file of the park airport was taken in by the last read.
enum class LearnedMerge {
    None,     // there was no learned file
    Complete, // merged (or taken as the handmade stands) whole
    Partial,  // it exists but was ignored, could not be parsed, or parts of it were not taken in
};

// The state of the park airport's file while it is the park airport.
struct ParkAirportFileState {
    ParkAirportInfo info;
    QualityFactors quality;
    uint32_t rtTrafficWeek = 0;
    std::string located;    // the name the file was read by (gf_locateApf)
    std::string version;    // the header's version, for display
    std::filesystem::path learnedPath; // where the learned file is read from and saved to
    LearnedMerge learned = LearnedMerge::None;
    bool settingsSaved = false; // the eight per-airport settings were copied and must be restored
    std::optional<double> elevationFeet;
};
extern ParkAirportFileState gParkFile;
// Set once the file has been read with stands; read by other threads.
extern std::atomic<bool> gParkAirportFileReady;

// What the main window's parking panel shows of the park airport; any thread reads a copy.
struct ParkPanelTexts {
    FixedCode<4> code;
    std::string name;
    std::string second; // publisher, or "publisher (version)"
    std::string quality;
    uint32_t stands = 0;
    bool handmade = false;
    bool reservedStandFound = false;
};
ParkPanelTexts gf_parkPanelTexts();
void gf_clearParkPanel();

// Reads the park airport's file by its located name into the stand table (emptied by the
// caller). Empty on success, else the text to show: "gf_readApf: xml is empty", "gf_readApf: no
// park airport set", "failed to download: '{}'", "{}: could not load file: {}", "{}: refused to
// load", "gf_readApf: {}" for any error while reading (a bad stand id included), or "no stands
// found"; the caller shows and logs it (a failed download is not logged here). Only a read that
// found stands marks the file ready, so a failed read never leads to a save over the learned file.
std::string gf_readApf(const std::string& name, ParkAirportInfo& info, QualityFactors& quality);
// Downloads the archived airport file of that name to the target; empty on success, else
// "failed to download: '{}'" with the URL (the target is then gone).
std::string lf_downloadApf(const std::string& name, const std::filesystem::path& target);
// The distance (nm) from the position to the nearest stand of the airport's file and that
// stand's name; 100.0 when nothing could be read. Installed as the airport table's stand reader.
double gf_readDestApfForClosestStand(const FixedCode<4>& code, GeoPosition position, std::string& standName);

// Installs gf_readDestApfForClosestStand as the airport table's closest-stand reader (start-up).
void gf_installParkAirportFileServices();

// Merges the learned file into the stand table, or for a handmade file replaces the table with
// its stands. Tells how much of it was taken in.
LearnedMerge lf_readLearned(const std::filesystem::path& path, const ParkAirportInfo& info);

// Saves the learned file of the park airport and zeroes the learned-update counter. A learned
// file that was not taken in whole by the read keeps its earlier content as its first
// generation before it is replaced. File-system errors are logged, never thrown. The file when it
// could not be saved (what was learned is then lost), else none.
std::optional<std::filesystem::path> gf_saveApf();
// The quality factors of the stand table: (-1, -1) without any option, (0, 0) with only
// helipads and fuel stands.
QualityFactors gf_qualityFactors();
// "  " without factors, "{:2}" for a real factor of 45 or more, else "{:2}/{:2}".
std::string gf_qualityCellText(const QualityFactors& quality);
std::string gf_qualityCellText();

// Static parking's part of leaving the park airport (emptying the plan, removing the static
// aircraft, forgetting the parked live aircraft); installed by static parking, none before.
using StaticParkingLeave = void (*)();
void gf_setStaticParkingLeave(StaticParkingLeave leave);

// Leaves the park airport: static aircraft go, live aircraft lose their stands (an active one
// on the ground at it leaves the simulator), then as lf_resetParkAirport.
std::optional<std::filesystem::path> gf_closeParkAirport();
// Saves the learned file when the file had been read, restores the per-airport settings, and
// forgets the park airport and its stands. The learned file when its save failed, else none.
std::optional<std::filesystem::path> lf_resetParkAirport();

// The simulator kind written into files: 1 MSFS 2020, 2 MSFS 2024.
int32_t gf_simKind();

// Back to the state of a process start (tests and in-process restarts).
void gf_resetParkAirportFile();

} // namespace tamrix
