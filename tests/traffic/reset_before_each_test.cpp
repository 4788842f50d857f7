// Each test of this program starts from the state of a fresh process: core's, the settings',
// the reference tables' and live traffic's.
#include "config/settings.hpp"
#include "core/process_state.hpp"
#include "refdata/reference_data.hpp"
#include "traffic/live_traffic.hpp"

namespace {
void resetTrafficState() {
    testsupport::resetCoreState();
    tamrix::gf_resetSettings();
    tamrix::gf_resetReferenceData();
    tamrix::gf_initLiveTraffic();
    tamrix::gf_resetLiveTraffic();
}
const bool gInstalled = testsupport::installResetBeforeEachTest(&resetTrafficState);
} // namespace
