#pragma once
// The simulator stand-in as the queue and movement benchmarks need it: running, the flight on,
// the program's connection registered and `count` AI objects at `altitudeFt`. Made once per
// benchmark program; later calls return the same object ids.

#include <cstdint>
#include <vector>

#include <fmt/format.h>

#include "links/sim_definitions.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "platform/simconnect/sim_world.hpp"

namespace benchsupport {

inline std::vector<uint32_t> simulatorObjects(int count, double altitudeFt) {
    using platform::simconnect::simWorld;
    static std::vector<uint32_t> ids;
    if (!ids.empty()) return ids;
    simWorld().reset();
    simWorld().setCallLogging(false);
    simWorld().startSimulator();
    simWorld().setFlightRunning(true);
    HANDLE handle = nullptr;
    SimConnect_Open(&handle, "Quorvel", nullptr, 0, nullptr, 0);
    tamrix::gSimConnect.store(handle);
    tamrix::lf_setupSimDefinitions();
    for (int i = 0; i < count; ++i)
        ids.push_back(simWorld().addForeignAircraft("Bench", fmt::format("B{}", i), 50.0, 8.0, altitudeFt, false));
    simWorld().stepFrames(1);
    tamrix::gUserObjectId.store(1);
    tamrix::gf_reserveSimQueues();
    return ids;
}

} // namespace benchsupport
