// Each test of this program starts from the state of a fresh process: what core and the platform
// keep, the settings, the reference tables, and what the simulator link keeps.
#include "config/settings.hpp"
#include "core/process_state.hpp"
#include "links/sim_test_support.hpp"
#include "refdata/reference_data.hpp"

namespace {

void resetLinksState() {
    testsupport::resetCoreState();
    tamrix::gf_resetSettings();
    tamrix::gf_resetReferenceData();
    simtest::resetSimLinks();
}

const bool gInstalled = testsupport::installResetBeforeEachTest(&resetLinksState);

} // namespace
