#include "links/park_airport.hpp"

#include "core/guarded.hpp"

namespace tamrix {
namespace {

Guarded<ParkAirport>& parkAirport() {
    static auto* g = new Guarded<ParkAirport>;
    return *g;
}

} // namespace

ParkAirport gf_parkAirport() { return parkAirport().get(); }
void gf_setParkAirport(const ParkAirport& airport) { parkAirport().set(airport); }

void gf_clearParkAirport() { gf_setParkAirport(ParkAirport{}); }

} // namespace tamrix
