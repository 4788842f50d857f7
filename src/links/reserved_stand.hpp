#pragma once
// The user's reserved stand: when the simulator reports a new flight and when the SimClient
// connection ends, the stand the user aircraft stands on is remembered as the reserved stand of
// the park airport (and "my_park_airports.txt" is rewritten). The SimClient side only asks for
// it; the airports side, which owns the park airport list and the stand table, does the work
// through the updater it installs at start-up. Without a park airport side there is no park
// airport and so nothing to record.

namespace tamrix {

using ReservedStandUpdater = void (*)();
// Installs (or, with null, removes) the airports side's updater; any thread.
void gf_setReservedStandUpdater(ReservedStandUpdater updater);
// Runs the installed updater on the calling thread (the SimClient thread, without the SimConnect
// lock); nothing without one. The updater must not take the SimConnect lock.
void gf_updateReservedStand();

} // namespace tamrix
