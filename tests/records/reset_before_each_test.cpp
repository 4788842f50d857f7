// Each test of this program starts from the state of a fresh process: core's and the reference
// tables'.
#include "core/process_state.hpp"
#include "records/stand_table.hpp"
#include "refdata/reference_data.hpp"

namespace {
void resetRecordsState() {
    testsupport::resetCoreState();
    tamrix::gf_resetReferenceData();
    tamrix::gf_clearStandTable();
}
const bool gInstalled = testsupport::installResetBeforeEachTest(&resetRecordsState);
} // namespace
