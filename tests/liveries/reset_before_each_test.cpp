// Each test of this program starts from the state of a fresh process: core's, the settings', the
// reference tables' and the livery catalogue's (catalogue, scan, matching statistics).
#include "config/settings.hpp"
#include "core/process_state.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/matching_statistics.hpp"
#include "refdata/reference_data.hpp"

namespace {
void resetLiveriesState() {
    testsupport::resetCoreState();
    tamrix::gf_resetSettings();
    tamrix::gf_resetReferenceData();
    tamrix::gf_resetLiveryIndex();
    tamrix::gf_resetLiveryScan();
    tamrix::gf_resetMatchingStatistics();
}
const bool gInstalled = testsupport::installResetBeforeEachTest(&resetLiveriesState);
} // namespace
