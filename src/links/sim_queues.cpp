#include "links/sim_queues.hpp"

#include <utility>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "links/simconnect_client.hpp"

namespace tamrix {

std::mutex gSimConnectLock;
std::vector<AiCreateRequest> gCreateQueue;
std::vector<ClientEventEntry> gClientEventQueue;
std::vector<uint32_t> gRemoveQueue;
std::vector<PendingCreation> gPendingCreations;
std::vector<uint32_t> gAddedObjects;
std::vector<OwnObject> gOwnObjects;

namespace {

std::array<std::vector<PositionEntry>, 2> gPositionBuffers;

constexpr std::size_t kQueueReserve = 256;

} // namespace

std::vector<PositionEntry>* gPositionFill = &gPositionBuffers[0];
std::vector<PositionEntry>* gPositionSend = &gPositionBuffers[1];

void gf_queueAiCreate(const AiCreateRequest& request) {
    std::lock_guard guard(gSimConnectLock);
    gCreateQueue.push_back(request);
}

void gf_queueAiRemove(uint32_t objectId) {
    std::lock_guard guard(gSimConnectLock);
    gRemoveQueue.push_back(objectId);
}

void gf_queueClientEvent(uint32_t objectId, uint32_t eventId, uint32_t value) {
    std::lock_guard guard(gSimConnectLock);
    gClientEventQueue.push_back(ClientEventEntry{objectId, eventId, value});
}

void gf_queueEngineStart(uint32_t objectId) { gf_queueClientEvent(objectId, kEventEngineAutoStart, 0); }

void gf_queueEngineShutdown(uint32_t objectId) { gf_queueClientEvent(objectId, kEventEngineAutoShutdown, 0); }

void gf_queueLights(uint32_t objectId, const std::array<uint32_t, 7>& values) {
    static constexpr std::array<uint32_t, 7> kEvents{kEventNavLightsSet,  kEventBeaconLightsSet, kEventLandingLightsSet,
                                                     kEventTaxiLightsSet, kEventStrobesSet,      kEventLogoLightsSet,
                                                     kEventCabinLightsSet};
    std::lock_guard guard(gSimConnectLock);
    for (std::size_t i = 0; i < kEvents.size(); ++i)
        gClientEventQueue.push_back(ClientEventEntry{objectId, kEvents[i], values[i]});
}

void gf_queueNavLights(uint32_t objectId, uint32_t value) { gf_queueClientEvent(objectId, kEventNavLightsSet, value); }

void gf_queueCabinLights(uint32_t objectId, uint32_t value) {
    gf_queueClientEvent(objectId, kEventCabinLightsSet, value);
}

bool gf_handOverPositions() {
    std::unique_lock lock(gSimConnectLock, std::try_to_lock);
    if (lock.owns_lock()) std::swap(gPositionFill, gPositionSend);
    gPositionFill->clear();
    return lock.owns_lock();
}

void gf_reserveSimQueues() {
    {
        std::lock_guard guard(gSimConnectLock);
        for (auto& buffer : gPositionBuffers) buffer.reserve(kQueueReserve);
        gCreateQueue.reserve(kQueueReserve);
        gRemoveQueue.reserve(kQueueReserve);
        gPendingCreations.reserve(kQueueReserve);
        gAddedObjects.reserve(kQueueReserve);
        gOwnObjects.reserve(2 * kQueueReserve);
    }
    gSimConnectError.exchange(false);
}

void gf_clearSimQueues() {
    std::lock_guard guard(gSimConnectLock);
    for (auto& buffer : gPositionBuffers) buffer.clear();
    gCreateQueue.clear();
    gClientEventQueue.clear();
    gRemoveQueue.clear();
    gPendingCreations.clear();
    gAddedObjects.clear();
    gOwnObjects.clear();
}

void lf_aiCreate(const AiCreateRequest& request) {
    const HANDLE handle = gSimConnect.load();
    const std::string title(request.liveryTitle);
    if (SimConnect_AICreateNonATCAircraft(handle, title.c_str(), request.callsign.c_str(), request.initPosition,
                                          kRequestCreateAi) < 0) {
        gf_logHighlighted(fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
                                      request.key, title, request.callsign));
        gf_simConnectRequestError();
        return;
    }
    DWORD sendId = 0;
    if (SimConnect_GetLastSentPacketID(handle, &sendId) != S_OK) {
        gf_logHighlighted("GetLastSentPacketID");
        sendId = 0;
    }
    gPendingCreations.push_back(
        PendingCreation{sendId, request.key, request.callsign, 0, std::chrono::steady_clock::now()});
}

void lf_aiRemove(uint32_t objectId) {
    if (objectId <= gUserObjectId.load()) {
        gf_logHighlighted(fmt::format("SimConnect call to remove ac with objectid {}", gf_id2Text(objectId)));
        return;
    }
    if (SimConnect_AIRemoveObject(gSimConnect.load(), objectId, kRequestRemoveAi) < 0) {
        gf_logHighlighted(fmt::format("{} !SimConnect call to remove AI ac from sim failed, id {}?", gf_utcClock(),
                                      gf_id2Text(objectId)));
        gf_simConnectRequestError();
    }
}

void lf_flushSimQueues() {
    // Never wait at the frame boundary: with the lock busy, everything waits for the next frame.
    std::unique_lock lock(gSimConnectLock, std::try_to_lock);
    if (!lock.owns_lock()) return;
    if (gSimConnectError.load()) {
        gPositionSend->clear();
        gClientEventQueue.clear();
        gCreateQueue.clear();
        gRemoveQueue.clear();
        return;
    }
    const HANDLE handle = gSimConnect.load();
    const uint32_t userId = gUserObjectId.load();

    for (auto& entry : *gPositionSend) {
        if (entry.objectId <= userId) continue;
        SimConnect_SetDataOnSimObject(handle, kDefAiPosition, entry.objectId, SIMCONNECT_DATA_SET_FLAG_DEFAULT, 0,
                                      sizeof(PositionBlock), &entry.block);
    }
    gPositionSend->clear();

    for (const auto& entry : gClientEventQueue) {
        if (entry.objectId <= userId) continue;
        // Flaps move only while the simulator's AI does not hold the aircraft.
        const bool flaps = entry.eventId == kEventFlapsSet;
        if (flaps) SimConnect_AIReleaseControl(handle, entry.objectId, kRequestReleaseControl);
        if (SimConnect_TransmitClientEvent(handle, entry.objectId, entry.eventId, entry.value, kGroupAi,
                                           SIMCONNECT_EVENT_FLAG_DEFAULT) < 0) {
            gf_setStatusLine(fmt::format("SimConnect TransmitClientEvent: {} fails", entry.eventId), true);
        } else if (flaps) {
            SimConnect_AIReleaseControl(handle, entry.objectId, kRequestReleaseControl);
        }
    }
    gClientEventQueue.clear();

    // Once a request has failed the run ends; nothing more reaches the simulator.
    for (const auto& request : gCreateQueue) {
        if (gSimConnectError.load()) break;
        lf_aiCreate(request);
    }
    gCreateQueue.clear();
    for (const uint32_t objectId : gRemoveQueue) {
        if (gSimConnectError.load()) break;
        lf_aiRemove(objectId);
    }
    gRemoveQueue.clear();
}

} // namespace tamrix
