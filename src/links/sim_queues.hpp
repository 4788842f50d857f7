#pragma once
// Commands for AI aircraft. Other threads never talk to the simulator about AI aircraft
// directly: they append to four process-wide queues (creations, client events, positions,
// removals) under the SimConnect lock, and the SimClient thread sends everything on the next
// Frame event. Neither side waits for the other there: the flush and the tick's hand-over of
// positions both only try the lock, and a busy lock postpones the flush to the next frame.
//
// The SimConnect lock also guards every SimConnect call made by a thread other than the
// SimClient thread. Lock order: the sim-event lock, then the SimConnect lock, then the message
// line's and the log's locks.

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "links/sim_definitions.hpp"
#include "platform/simconnect/simconnect.hpp"

namespace tamrix {

struct AiCreateRequest {
    SIMCONNECT_DATA_INITPOSITION initPosition{}; // angles in degrees, altitude in feet
    std::string callsign;          // the tail number; the new object is recognised by it
    std::string_view liveryTitle;  // held by the livery catalogue, which outlives the request
    uint32_t key = 0;              // aircraft key: above 10000 live, up to 10000 static
};

struct ClientEventEntry {
    uint32_t objectId = 0;
    uint32_t eventId = 0;
    uint32_t value = 0;
};

struct PositionEntry {
    PositionBlock block;
    uint32_t objectId = 0;
};

// A creation sent to the simulator and not yet seen as a new object.
struct PendingCreation {
    uint32_t sendId = 0; // the packet id of the creation request; 0 when it could not be read
    uint32_t key = 0;
    std::string callsign;
    uint32_t objectId = 0;  // the id the simulator assigned to it, 0 until then
    std::chrono::steady_clock::time_point sentAt{}; // when it was sent
};

// One of our objects the simulator has announced, with the key of its aircraft.
struct OwnObject {
    uint32_t objectId = 0;
    uint32_t key = 0;
};

// The simulator keeps at most this many bytes of a tail number as the object's ATC id (its
// by-type answers carry it in a 32-byte field); a longer callsign is recognised by its start.
inline constexpr std::size_t kSimAtcIdKept = 31;
// A creation the simulator has not shown as an object within this time is given up: its object,
// if any, is removed and its aircraft told so. A time, not a number of frames: the simulator's
// frame rate varies from machine to machine and from moment to moment. A busy simulator loading
// a model may take most of a minute.
inline constexpr std::chrono::seconds kPendingCreationMaxAge{60};

// The SimConnect lock: one process-wide, non-recursive mutex.
extern std::mutex gSimConnectLock;

// Touched only with gSimConnectLock held.
extern std::vector<AiCreateRequest> gCreateQueue;
extern std::vector<ClientEventEntry> gClientEventQueue;
extern std::vector<uint32_t> gRemoveQueue;
// The position double buffer: the start-up thread fills the buffer behind gPositionFill
// without the lock (it is that thread's own between hand-overs); the flush sends and empties
// the buffer behind gPositionSend under the lock.
extern std::vector<PositionEntry>* gPositionFill;
extern std::vector<PositionEntry>* gPositionSend;

// Touched only on the SimClient thread (and by the clean-up while no SimClient thread runs).
// Pending creations are kept in the order they were sent.
extern std::vector<PendingCreation> gPendingCreations;
extern std::vector<uint32_t> gAddedObjects;
extern std::vector<OwnObject> gOwnObjects;

// Queue functions: each takes the SimConnect lock, appends and releases it; none looks at
// gSimConnectError. Any thread, never with the SimConnect lock already held.
void gf_queueAiCreate(const AiCreateRequest& request);
void gf_queueAiRemove(uint32_t objectId);
void gf_queueClientEvent(uint32_t objectId, uint32_t eventId, uint32_t value);
void gf_queueEngineStart(uint32_t objectId);    // ENGINE_AUTO_START, 0
void gf_queueEngineShutdown(uint32_t objectId); // ENGINE_AUTO_SHUTDOWN, 0
// Values in the order nav, beacon, landing, taxi, strobes, logo, cabin; one event each.
void gf_queueLights(uint32_t objectId, const std::array<uint32_t, 7>& values);
void gf_queueNavLights(uint32_t objectId, uint32_t value);
void gf_queueCabinLights(uint32_t objectId, uint32_t value);

// The live-traffic tick's hand-over of this tick's positions: when the lock is free at once,
// exchanges the fill and send buffers and empties the new fill buffer (true); when it is busy,
// empties the fill buffer, dropping this tick's positions (false).
bool gf_handOverPositions();

// Before the SimClient thread starts a run: room for 256 entries in the position buffers, the
// create and remove queues, the pending creations and the added objects; clears gSimConnectError.
void gf_reserveSimQueues();
// Empties every queue and list (the clean-up before a restart, while no SimClient thread runs).
void gf_clearSimQueues();

// On each Frame event, on the SimClient thread. Only when the lock is free at once (else the
// queues wait for the next frame): with gSimConnectError set it empties the queues without
// sending; otherwise it sends positions, client events, creations and removals, in that order.
// Object ids at or below the user aircraft's are never moved, commanded or removed.
void lf_flushSimQueues();
// Called by the flush with the lock held.
void lf_aiCreate(const AiCreateRequest& request);
void lf_aiRemove(uint32_t objectId);

} // namespace tamrix
