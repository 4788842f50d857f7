#include "airports/stand_services.hpp"

#include "airports/stand_choice.hpp"
#include "links/stand_lookup.hpp"
#include "traffic/airport_services.hpp"

namespace tamrix {

void gf_installStandServices() {
    AirportServices services = gf_airportServices();
    services.addRealStandOption = [](int32_t sid, LiveAircraft& aircraft, int32_t mode) {
        lf_addRealStandOptionAt(gf_nowWeekSlot(), sid, aircraft, mode);
    };
    services.nearestFittingStand = [](double latitude, double longitude, const LiveAircraft& aircraft,
                                      double searchNm, bool fallbackAllowed) {
        return lf_findFittingStand(latitude, longitude, aircraft, searchNm, fallbackAllowed);
    };
    gf_setAirportServices(services);
    gf_setStandNameFinder(&lf_findStandNameAt);
}

} // namespace tamrix
