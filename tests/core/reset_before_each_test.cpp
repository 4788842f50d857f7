// Each test of this program starts from the state of a fresh process.
#include "core/process_state.hpp"

namespace {
const bool gInstalled = testsupport::installResetBeforeEachTest(&testsupport::resetCoreState);
} // namespace
