#pragma once
// The livery scan: finds every installed AI livery and writes "LiveriesScanned.xml" and the
// scan reports. It runs on the start-up thread when SCAN_LIVERIES is on or the file is missing.
// Folders are walked one after the other; each "aircraft.cfg" is read by a task of its own, at
// most gScanWorkerCount running and waiting at once, their results taken in the order the files
// were met. No task outlives the scan.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>

#include "liveries/livery_list.hpp"
#include "liveries/package_detection.hpp"

namespace tamrix {

enum class ScanOutcome {
    Found,     // liveries found and written
    NoneFound, // nothing found (the reports are written all the same)
    Stopped,   // the stop or closing flag ended the scan between folders; nothing written
};

// Runs the scan as the settings ask (automatic detection or lfolder0..9). True when it completed
// and SCAN_LIVERIES was cleared; false when the stop or closing flag ended it (SCAN_LIVERIES
// stays on). Throws UserErrorException 43, 48, 53, 143 (no folder, no livery), 243 (a missing
// lfolder), std::runtime_error when "LiveriesScanned.xml" cannot be written, and what the
// package detection throws.
bool gf_scanLiveries();

// Scans the folders in order (priority 1 for the first existing folder, at most 10).
ScanOutcome lf_scanLiveryFolders(const FolderList& folders);
// Walks one folder and appends its liveries to gLiveries.
void lf_walkPackageFolder(int priority, const std::filesystem::path& folder);

// How long the walker waits for one file's result before it gives the result up.
extern std::chrono::milliseconds gScanResultTimeout;

// Reads one file on a task; `ivao` for the files of IVAO MTL packages.
using ScanFileReader = std::function<std::list<LiveryData>(uint32_t priority, const std::filesystem::path& cfgPath, bool ivao)>;
// Replaces the per-file readers (tests); an empty function restores the program's readers.
void gf_setScanFileReader(ScanFileReader reader);

// Back to the start of a run: the program's readers, the 10-second wait, the default worker
// count, no task counted, empty scan collections.
void gf_resetLiveryScan();

} // namespace tamrix
