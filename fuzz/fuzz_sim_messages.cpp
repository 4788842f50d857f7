// Records of the simulator's connections: any bytes, of any size, must be read within the
// record without harm. The first byte chooses the connection (even: the SimClient connection's
// handlers, odd: the facility reader's); the rest is the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

#include "core/run_state.hpp"
#include "links/facility_reader.hpp"
#include "links/sim_dispatch.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "platform/win32/window.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    if (size < 1) return 0;
    const bool facility = (data[0] & 1u) != 0;
    const std::size_t recordSize = size - 1;
    // A buffer of exactly the record's size, so that a read beyond it is caught.
    std::unique_ptr<std::byte[]> record(new std::byte[recordSize == 0 ? 1 : recordSize]);
    if (recordSize != 0) std::memcpy(record.get(), data + 1, recordSize);
    auto* message = reinterpret_cast<SIMCONNECT_RECV*>(record.get());
    const auto cb = static_cast<DWORD>(recordSize);
    try {
        if (facility) {
            FacilityAirport airport;
            FacilityReadContext context;
            context.airport = &airport;
            lf_facilityDispatch(message, cb, &context);
            uint32_t helipads = 0;
            lf_standName(airport, helipads);
        } else {
            lf_simDispatch(message, cb, nullptr);
        }
    } catch (const std::exception&) {
        // The handlers' own ways of ending a connection (user errors with their codes).
    }
    gf_clearSimEvents();
    gAddedObjects.clear();
    gPendingCreations.clear();
    gf_resetRunState();
    // Status changes post a repaint to the window's queue; the program's message loop takes them,
    // a fuzz process has none, so the queue is emptied here.
    MSG posted;
    while (PeekMessageW(&posted, nullptr, 0, 0, PM_REMOVE)) {
    }
    return 0;
}
