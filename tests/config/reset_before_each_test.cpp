// Each test of this program starts from the state of a fresh process: core's and the settings'.
#include "config/settings.hpp"
#include "core/process_state.hpp"

namespace {
void resetConfigState() {
    testsupport::resetCoreState();
    tamrix::gf_resetSettings();
}
const bool gInstalled = testsupport::installResetBeforeEachTest(&resetConfigState);
} // namespace
