#include "links/park_airport.hpp"

#include <mutex>

namespace tamrix {
namespace {

struct ParkAirportStore {
    std::mutex lock;
    ParkAirport airport;
};

ParkAirportStore& store() {
    static auto* s = new ParkAirportStore;
    return *s;
}

} // namespace

ParkAirport gf_parkAirport() {
    auto& s = store();
    std::lock_guard guard(s.lock);
    return s.airport;
}

void gf_setParkAirport(const ParkAirport& airport) {
    auto& s = store();
    std::lock_guard guard(s.lock);
    s.airport = airport;
}

void gf_clearParkAirport() { gf_setParkAirport(ParkAirport{}); }

} // namespace tamrix
