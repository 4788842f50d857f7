// Each test of this program starts from the state of a fresh process: core's, the settings' and
// the reference tables'.
#include "config/settings.hpp"
#include "core/process_state.hpp"
#include "refdata/reference_data.hpp"

namespace {
void resetRefdataState() {
    testsupport::resetCoreState();
    tamrix::gf_resetSettings();
    tamrix::gf_resetReferenceData();
}
const bool gInstalled = testsupport::installResetBeforeEachTest(&resetRefdataState);
} // namespace
