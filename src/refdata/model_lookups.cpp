#include "refdata/model_lookups.hpp"

#include <fmt/format.h>

#include "core/log.hpp"
#include "refdata/code_table.hpp"
#include "refdata/dbase.hpp"

namespace tamrix {

AircraftCategory gf_modelCategory(uint16_t modelIndex) {
    if (gLargeModels.contains(modelIndex)) return AircraftCategory::Large;
    if (gHeavyModels.contains(modelIndex)) return AircraftCategory::Heavy;
    if (gBuzjetModels.contains(modelIndex)) return AircraftCategory::Buzjets;
    if (gRotorcraftModels.contains(modelIndex)) return AircraftCategory::Rotorcraft;
    if (gHighPerfModels.contains(modelIndex)) return AircraftCategory::HighPerf;
    return AircraftCategory::Light;
}

AircraftCategory gf_modelCodeCategory(std::string_view code) {
    return gf_modelCategory(gf_modelIndex(code));
}

bool gf_isKnownModelCode(std::string_view code) {
    return !code.empty() && gAircraftCodes.contains(code);
}

double gf_halfSpan(uint16_t modelIndex) {
    if (modelIndex < kHalfSpanSlots) return gHalfSpans[modelIndex];
    // Callers use the value as the aircraft's radius in nautical miles: 35 metres, not 35 nm.
    gf_logAndFlush(
        fmt::format("hwsp: {} what: model index beyond the {} half-span slots", modelIndex, kHalfSpanSlots));
    return kUnknownHalfSpanNm;
}

} // namespace tamrix
