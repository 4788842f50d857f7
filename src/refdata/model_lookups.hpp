#pragma once
// Questions about an aircraft model, by index of gModelCodes or by code text: its category, its
// half wingspan, and whether the code is a known model.

#include <cstdint>
#include <string_view>

#include "refdata/aircraft_category.hpp"

namespace tamrix {

// Half wingspan, in nautical miles, of a model beyond the half-span table: 35 metres.
inline constexpr double kUnknownHalfSpanNm = 35.0 / 1852.0;

// The first category list that holds the model decides, in the order Large, Heavy, Buzjets,
// Rotorcraft, HighPerf; a model in none of them is Light.
AircraftCategory gf_modelCategory(uint16_t modelIndex);
// gf_modelCategory of the code's gf_modelIndex; an unknown code is thereby interned.
AircraftCategory gf_modelCodeCategory(std::string_view code);
// A model code of the dbase's aircraft list; false for the empty text.
bool gf_isKnownModelCode(std::string_view code);
// Half wingspan in nautical miles; 0.0 when the dbase gives none. An index beyond the table logs
// "hwsp: {} what: {}" and gives kUnknownHalfSpanNm.
double gf_halfSpan(uint16_t modelIndex);

} // namespace tamrix
