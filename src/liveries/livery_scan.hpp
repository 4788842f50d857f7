#pragma once
// The livery scan: finds every installed AI livery and writes "LiveriesScanned.xml" and the
// scan reports. It runs on the start-up thread when SCAN_LIVERIES is on or the file is missing,
// cannot be read or is damaged. Folders are walked one after the other, each folder once however
// many links lead to it; each "aircraft.cfg" found is handed to a fixed set of gScanWorkerCount
// workers while the walk goes on, and their results are taken in the order the files were met
// (so the first file of the walk keeps a title). The stop and closing flags end the walk and its
// waits. A file whose result does not come within gScanResultTimeout is left out (logged) and
// its worker let go; no other worker outlives the walk. The previous catalogue and reports stay
// until the scan has written new ones.

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
    NoneFound, // nothing found; the previous results stay and the log tells what was met
    Stopped,   // the stop or closing flag ended the scan; nothing written
};

// Runs the scan as the settings ask (automatic detection or lfolder0..9). True when it completed
// and SCAN_LIVERIES was cleared; false when the stop or closing flag ended it (SCAN_LIVERIES
// stays on, the previous results stay). Throws UserErrorException 43, 48, 53, 143 (no folder,
// no livery), 243 (a missing lfolder), std::runtime_error when "LiveriesScanned.xml" cannot be
// written, and what the package detection throws.
bool gf_scanLiveries();

// Scans the folders in order (priority 1 for the first existing folder, at most 10).
ScanOutcome lf_scanLiveryFolders(const FolderList& folders);
// Walks one folder and appends its liveries to gLiveries.
void lf_walkPackageFolder(int priority, const std::filesystem::path& folder);

// How long the walker waits for one file's result (10 seconds): a result that has not come by
// then is given up, "liveries inner search aborted: ..." (or the "futs outer" form after the
// walk) is logged, and the walk goes on without that file's liveries.
extern std::chrono::milliseconds gScanResultTimeout;

// Reads one file on a task; `ivao` for the files of IVAO MTL packages.
using ScanFileReader =
    std::function<std::list<LiveryData>(uint32_t priority, const std::filesystem::path& cfgPath, bool ivao)>;
// Replaces the per-file readers (tests); an empty function restores the program's readers.
void gf_setScanFileReader(ScanFileReader reader);

// Back to the start of a run: the program's readers, the 10-second wait, the default worker
// count, no task counted, empty scan collections.
void gf_resetLiveryScan();

} // namespace tamrix
