#pragma once
// The airports scan's list of log lines, written to "AirportsScanLog.txt" when a scan ends.
// Owned by the scan's thread (the start-up thread); no lock.

#include <string>
#include <vector>

namespace tamrix {

extern std::vector<std::string> gScanLog;

} // namespace tamrix
