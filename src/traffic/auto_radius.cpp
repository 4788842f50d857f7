#include "traffic/auto_radius.hpp"

#include <atomic>
#include <cmath>

#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "core/status_line.hpp"
#include "links/user_aircraft_state.hpp"

namespace tamrix {
namespace {

// Unset until first used; then RANGE's default or the value RANGE had when AUTO_RANGE went on.
std::atomic<int32_t> gManualRadius{-1};

std::atomic<ParkListFrontPosition> gParkListFront{nullptr};

int32_t manualRadius() {
    int32_t value = gManualRadius.load();
    if (value < 0) {
        value = RANGE.defaultValue;
        gManualRadius.store(value);
    }
    return value;
}

} // namespace

int32_t lf_autoRadiusNm(bool onGround, double altitudeFt, int32_t arAboveHeightFt, int32_t airpHeightFt,
                        std::optional<double> parkAirportDistanceNm) {
    if (onGround) return 10;
    if (altitudeFt > arAboveHeightFt) return 100;
    if (altitudeFt > airpHeightFt) return 40;
    const double d = parkAirportDistanceNm.value_or(10000.0);
    if (!(d > 7.0)) return 10;
    if (d >= 37.0) return 40;
    // Distances from 36.5 up to 37 round to 37 but still lie inside the last band.
    const auto r = static_cast<int32_t>(std::lround(d));
    if (r >= 33) return 35;
    if (r >= 28) return 30;
    if (r >= 23) return 25;
    if (r >= 19) return 20;
    if (r >= 17) return 18;
    if (r >= 15) return 16;
    if (r >= 13) return 14;
    if (r >= 11) return 12;
    if (r >= 9) return 10;
    return 8;
}

void gf_applyAutoRange() {
    const UserPositionRecord user = gf_userPositionRecord();
    std::optional<double> distance;
    const ParkListFrontPosition front = gParkListFront.load();
    if (const std::optional<GeoPosition> next = front ? front() : std::nullopt)
        distance = gf_distanceNm({user.state.latitude, user.state.longitude}, *next);
    gf_setRange(lf_autoRadiusNm(user.onGround != 0, user.state.altitude, AR_ABOVE_HEIGHT.current.load(),
                                AIRP_HEIGHT.current.load(), distance));
}

void gf_setParkListFrontSource(ParkListFrontPosition source) {
    gParkListFront.store(source);
}

void gf_applyRange() {
    if (AUTO_RANGE.current.load()) {
        gManualRadius.store(RANGE.current.load());
        gf_applyAutoRange();
    } else {
        gf_setRange(manualRadius());
        gf_clearStatusLine();
    }
    if (RANGE.window != nullptr) EnableWindow(RANGE.window, AUTO_RANGE.current.load() ? FALSE : TRUE);
}

void gf_resetManualRadius() { gManualRadius.store(-1); }

} // namespace tamrix
