#include "links/stand_lookup.hpp"

#include <atomic>

namespace tamrix {
namespace {

std::atomic<StandNameFinder> gFinder{nullptr};

} // namespace

void gf_setStandNameFinder(StandNameFinder finder) {
    gFinder.store(finder);
}

std::string gf_standNameAt(double latitude, double longitude) {
    if (const StandNameFinder finder = gFinder.load()) return finder(latitude, longitude);
    return {};
}

} // namespace tamrix
