#include "links/reserved_stand.hpp"

#include <atomic>

namespace tamrix {
namespace {

std::atomic<ReservedStandUpdater> gUpdater{nullptr};

} // namespace

void gf_setReservedStandUpdater(ReservedStandUpdater updater) { gUpdater.store(updater); }

void gf_updateReservedStand() {
    if (const ReservedStandUpdater updater = gUpdater.load()) updater();
}

} // namespace tamrix
