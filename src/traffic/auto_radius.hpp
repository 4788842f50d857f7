#pragma once
// The radius within which traffic is held (RANGE, nautical miles): chosen by the user, or with
// AUTO_RANGE on set from the user aircraft's altitude and its distance from the next park airport.

#include <cstdint>
#include <optional>

#include "core/geodesy.hpp"

namespace tamrix {

// The automatic radius (nautical miles) for a user aircraft: 10 on the ground; airborne, 100
// above arAboveHeightFt and 40 above airpHeightFt; else by the distance to the park airport
// (none counts as far away): 10 within 7 NM, 40 from 37 NM on, and the bands between.
// The distance is to the first entry of the park-airport list (the next park airport), which is
// loaded as park airport only once in sight: the radius widens before the airport is reached.
int32_t lf_autoRadiusNm(bool onGround, double altitudeFt, int32_t arAboveHeightFt, int32_t airpHeightFt,
                        std::optional<double> parkAirportDistanceNm);

// AUTO_RANGE switched on: remembers RANGE as the manual radius and applies the automatic one.
// Switched off: the remembered manual radius comes back and the message line is cleared. The
// RANGE combo box is enabled exactly when AUTO_RANGE is off.
void gf_applyRange();
// The position of the first entry of the park-airport list, none while the list is empty; the
// airport side, which keeps the list, installs the source at start-up (none installed: no entry).
using ParkListFrontPosition = std::optional<GeoPosition> (*)();
void gf_setParkListFrontSource(ParkListFrontPosition source);

// Applies the automatic radius of the user aircraft as it is now (gf_setRange).
void gf_applyAutoRange();

// Back to RANGE's default (the clean state of a fresh process; tests).
void gf_resetManualRadius();

} // namespace tamrix
