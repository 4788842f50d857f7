#pragma once
// Simulator events: what the SimClient thread learns about our aircraft (one was created, an
// object was removed, data of an aircraft in range, a creation was refused) and hands to the
// live-traffic tick. The SimClient thread posts; the tick drains the list as its first step.
// The list has its own lock, held for one append or for one drain.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tamrix {

enum SimEventKind : uint32_t {
    kSimEventCreatedLive = 0,   // one of our live aircraft appeared; value 2: height above ground (ft)
    kSimEventCreatedStatic = 1, // one of our static aircraft appeared
    kSimEventRemoved = 2,       // the simulator removed the object
    kSimEventInRange = 3,       // key field: on-ground flag; value 1: ground altitude, value 2: height above ground (ft)
    kSimEventStaticCg = 4,      // value 1: static CG to ground (ft), value 2: static pitch (rad)
    kSimEventCreationRefused = 6,
};

struct SimEvent {
    uint32_t objectId = 0;
    uint32_t key = 0;           // the aircraft key, or the on-ground flag (kind 3)
    uint32_t settleCounter = 0; // 0 when posted; counted by the tick while the object settles
    uint32_t kind = 0;          // SimEventKind
    double value1 = 0.0;
    double value2 = 0.0;
};
static_assert(sizeof(SimEvent) == 32);

// Appends a copy of the event; any thread.
void gf_postSimEvent(const SimEvent& event);

// Runs `work` with the sim-event lock held on the events posted so far, oldest first, and then
// empties the list (also when `work` throws). The tick handles the events and its settling
// inside `work`; the lock is taken before the SimConnect lock, never after it.
void gf_drainSimEvents(const std::function<void(const std::vector<SimEvent>&)>& work);

void gf_reserveSimEvents(std::size_t count);
// Empties the list (the reset before a restart).
void gf_clearSimEvents();
std::size_t gf_pendingSimEvents();

} // namespace tamrix
