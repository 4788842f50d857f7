#pragma once
// One run of the program is one start-up thread: it prepares the run (settings, folders,
// reference data, production mode, a look for RealTraffic on this PC), loads the livery
// catalogue, reads the park-airport list, then runs the connect phase and the main loop, and
// whatever way it ends, flushes the log and runs the closing sequence last.

#include <filesystem>
#include <string>

namespace tamrix {

// The thread body.
void lf_startUpQuorvel();
// True when start-up goes on; false in production mode (which ends the run here). A data folder
// the run cannot write to ends it first (std::runtime_error naming the folder and the cause).
bool lf_prepareDataFiles();
// The run's working folders ("output/info", "airports/learned/stock", ...), and no stale
// "ObjectIdList.txt".
void lf_createFolders();
// The controls' states for a new run, the simulator version from SIM_CHOICE, parking_percentage
// back to 30.
void lf_initControls();
// Production mode: logs "production" and ends the run (exit code 0, 1 when that fails).
void lf_productionRun();

// An install path that ends in "\Community" loses that last component (only that one).
std::string lf_installPathWithoutCommunity(const std::string& path);
// Entries of the folder, 0 when it does not exist.
uint64_t gf_countDirectoryEntries(const std::filesystem::path& folder);
// "RealTraffic.jar" in the roaming data folder's "ZazuveRuzover".
std::filesystem::path gf_realTrafficJarPath();

} // namespace tamrix
