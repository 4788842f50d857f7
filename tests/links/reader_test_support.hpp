#pragma once
// The process-wide state of the traffic-source links back to its start, so that the reader,
// parser, intake and server tests pass in one process in any order.

#include "config/settings.hpp"
#include "core/run_state.hpp"
#include "core/time_texts.hpp"
#include "links/park_airport.hpp"
#include "links/qnh_reader.hpp"
#include "links/realtraffic_server.hpp"
#include "links/traffic_intake.hpp"
#include "links/traffic_reader.hpp"
#include "links/traffic_source_state.hpp"

namespace linktest {

// No reader thread may run meanwhile.
inline void resetTrafficLinks() {
    tamrix::gf_resetRunState();
    tamrix::gf_resetRealTrafficServer();
    tamrix::gf_resetTrafficSourceState();
    tamrix::gf_resetTrafficIntake();
    tamrix::gf_trafficReader().resetForRun();
    tamrix::gf_qnhReader().resetForRun();
    tamrix::gf_resetReaderWinsockCleanup();
    tamrix::gf_clearParkAirport();
    tamrix::gLastTrafficTime.store(0.0);
    tamrix::AIRBORNE_ONLY.current.store(false);
}

} // namespace linktest
