// Each test of this program starts from the state of a fresh process: core's, the settings',
// the reference tables' and the airports scan's log.
#include "airports/scan_log.hpp"
#include "config/settings.hpp"
#include "core/process_state.hpp"
#include "refdata/reference_data.hpp"

namespace {
void resetAirportsState() {
    testsupport::resetCoreState();
    tamrix::gf_resetSettings();
    tamrix::gf_resetReferenceData();
    tamrix::gScanLog.clear();
}
const bool gInstalled = testsupport::installResetBeforeEachTest(&resetAirportsState);
} // namespace
