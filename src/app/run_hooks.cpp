#include "app/run_hooks.hpp"

namespace tamrix {

LiveTrafficHooks& gf_liveTrafficHooks() {
    static auto* hooks = new LiveTrafficHooks;
    return *hooks;
}

AirportHooks& gf_airportHooks() {
    static auto* hooks = new AirportHooks;
    return *hooks;
}

void gf_resetRunHooks() {
    gf_liveTrafficHooks() = LiveTrafficHooks{};
    gf_airportHooks() = AirportHooks{};
}

} // namespace tamrix
