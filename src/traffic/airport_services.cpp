#include "traffic/airport_services.hpp"

#include <string>

#include "config/settings.hpp"
#include "traffic/aircraft_list_file.hpp"

namespace tamrix {

namespace {
AirportServices gServices;
} // namespace

void gf_setAirportServices(const AirportServices& services) {
    gServices = services;
}
const AirportServices& gf_airportServices() {
    return gServices;
}

void lf_addRealStandOption(int32_t sid, LiveAircraft& aircraft, int32_t mode) {
    if (gServices.addRealStandOption != nullptr) gServices.addRealStandOption(sid, aircraft, mode);
}

void gf_limitParkedAircraft(uint8_t aboutToPark) {
    if (gServices.limitParkedAircraft != nullptr) gServices.limitParkedAircraft(aboutToPark);
}

bool gf_hasStaticCandidates() {
    return gServices.hasStaticCandidates != nullptr && gServices.hasStaticCandidates();
}

void lf_detcs() {
    if (gServices.placeStaticCandidate != nullptr) gServices.placeStaticCandidate();
}

void gf_dropStaticCandidatesForStand(int32_t sid) {
    if (gServices.dropStaticCandidatesForStand != nullptr) gServices.dropStaticCandidatesForStand(sid);
}

StandRecord* gf_nearestFittingStand(double latitude, double longitude, const LiveAircraft& aircraft,
                                    double searchNm, bool fallbackAllowed) {
    if (gServices.nearestFittingStand == nullptr) return nullptr;
    return gServices.nearestFittingStand(latitude, longitude, aircraft, searchNm, fallbackAllowed);
}

void lf_aircraftLeaving(const LiveAircraft& aircraft) {
    // By object id, found by the selection's lookup; by callsign before the lookup has run. A
    // respawn may already carry its new callsign.
    const uint32_t selectedId = gSelectedObjectId.load();
    const std::string selected = CALLSIGN_2_OBJECTID.current.get();
    if ((selectedId != 0 && selectedId == aircraft.objectId) ||
        (!selected.empty() && selected == aircraft.head.callsign))
        gf_resetCallsignSelection();
}

} // namespace tamrix
