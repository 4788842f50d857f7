#pragma once
// The airports scan: finds the airports of the simulator's installation and gives each one a
// per-airport file the static parking can use, either a link file to an archived airport file or
// an airport file generated from the airport's stands (from the simulator's facility data, else
// from the BGL scenery file). It walks the stock and add-on package folders ("Official" and
// "Community" for MSFS 2020, "StreamedPackages" and "Community" for MSFS 2024), writes what it
// decides to "AirportsScanLog.txt" in "output/info", collects the add-on airports the archive
// does not know into the "tblo" folder, and switches SCAN_AIRPORTS off when it completes.
//
// The connect phase runs it on the start-up thread once the simulator is connected. The stop and
// closing flags end it between candidate files and packages; it then still writes the scan log,
// closes the facility connection and logs its end, as it does when an error leaves it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "airports/scanned_airport.hpp"
#include "core/fixed_code.hpp"

namespace tamrix {

// What the scan shows in the main window; the application shell fills it in (a missing one is
// passed over).
struct AirportScanWindow {
    // The counters of files in the simaddon and thirdparty user folders, repainted at once.
    std::function<void(uint64_t)> showSimaddonAirports;
    std::function<void(uint64_t)> showThirdpartyAirports;
    // The options area (the SCAN_AIRPORTS check box and the tblo notice).
    std::function<void()> repaintOptions;
};
AirportScanWindow& gf_airportScanWindow();

// The whole scan. Throws UserErrorException 522 when the list of the airports RealTraffic
// supports is missing or cannot be read (nothing is touched then, SCAN_AIRPORTS stays on), and
// the file-system error when the "tblo" folder cannot be created or removed or the streamed
// packages cannot be listed.
void gf_scanAirports();

// Fills the set of airports RealTraffic supports from "input/ICAO_airports.txt", read only as a
// regular file of at most 4 MiB (a pipe in its place is not waited on); otherwise throws
// UserErrorException 522 naming the file and why. A token that is no 4-character code is logged
// and passed over.
void lf_readRtIcaoCodes();
// The folders the running simulator version scans, in order; without a packages folder their
// bare names, which the scan reports as missing.
std::vector<std::filesystem::path> lf_scanFolderPaths();
// Empties the user folders, searches the folders, warns when no add-on airport was found and
// switches SCAN_AIRPORTS off.
void lf_scanFolderList(const std::vector<std::filesystem::path>& folders);
// True when the thirdparty user folder is not empty afterwards.
bool lf_searchFolders(const std::vector<std::filesystem::path>& folders);
void lf_scanFolders(const std::vector<std::filesystem::path>& folders);
// One package folder after the other, not recursive.
void lf_scanStreamedAirports(const std::filesystem::path& folder);
// The folder tree, recursive, for BGL files with an airport section.
void lf_scanAirportFolder(const std::filesystem::path& folder);
// True for entries the BGL walk neither reads nor descends into: a full path of 250 characters
// or more, or one whose part below the scanned folder holds a word of the skip list.
bool lf_isSkippedPath(const std::filesystem::path& path, const std::filesystem::path& root);
// True for a streamed package whose folder name holds a text of the exclusion list.
bool lf_isExcludedPackage(std::string_view packageName);

// Brings "AirportsScanLog.txt" up to date with the scan log so far (it then survives a hang or a
// crash later in the scan); the final file is written whole when the scan ends.
void lf_writeScanLog();
// The log and scan-log lines of a facility read that failed; the scan-log file is written at once.
void lf_reportFailedFacilityRead(const FixedCode<4>& code);
// The message line while the scan runs: the airport now looked at and how many were so far.
void gf_showScanProgress(const FixedCode<4>& code);
// Refreshes the window's counters from the user folders (at most four times a second).
void gf_showUserFolderCounts(bool simaddon, bool thirdparty);
// The number of entries in a folder; 0 when it does not exist or cannot be listed.
uint64_t gf_folderEntryCount(const std::filesystem::path& folder);

} // namespace tamrix
