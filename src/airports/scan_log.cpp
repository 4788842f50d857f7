#include "airports/scan_log.hpp"

namespace tamrix {

std::vector<std::string> gScanLog;

} // namespace tamrix
