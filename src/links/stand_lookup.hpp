#pragma once
// The name of the park airport's stand at a position, as the SimClient side asks for it (the
// stand the user aircraft stands on). The airports side owns the stand table and installs the
// finder at start-up; without one there is no park airport and so no stand.
//
// The finder runs on the SimClient thread while the start-up thread owns the stand table, so
// it must guard what it reads itself; it must not take the SimConnect lock.

#include <string>

namespace tamrix {

// The id text of the stand nearest to the position (degrees) within 55 m; empty for none.
using StandNameFinder = std::string (*)(double latitude, double longitude);
// Installs (or, with null, removes) the finder; any thread.
void gf_setStandNameFinder(StandNameFinder finder);
// The installed finder's answer; empty without one.
std::string gf_standNameAt(double latitude, double longitude);

} // namespace tamrix
