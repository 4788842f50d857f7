#pragma once
// Between preparation and the main loop each run connects its links: fresh live traffic, the
// SimClient thread and a running simulator with a known user position, the optional airports
// scan and automatic radius, RealTraffic's TCP server when RealTraffic runs on this PC, the two
// UDP readers, and a short wait for the first traffic.

namespace tamrix {

// True when the main loop may start; false when the stop or closing flag was found set while
// waiting.
bool lf_runPhase();
// Waits for a running simulator and the user aircraft (on-ground answer and a position that is
// not 0/0); false on stop or closing.
bool lf_requestAcGndAir();

} // namespace tamrix
