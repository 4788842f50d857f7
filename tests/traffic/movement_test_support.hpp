#pragma once
// A small world for the movement tests and benchmarks (no test framework here): a park airport
// at 100 ft with a row of stands, a flat ground, live aircraft made active directly from scripted
// samples, and the live-traffic tick run tick by tick. Every 20th tick each aircraft gets the
// by-type answer the simulator would send (on ground when its altitude is within its static CG
// height + 0.5 ft of the ground), as the SimClient thread posts it. The trace records the
// position block of each aircraft per tick.

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/settings.hpp"
#include "core/geodesy.hpp"
#include "links/park_airport.hpp"
#include "links/qnh_reader.hpp"
#include "links/sim_events.hpp"
#include "links/sim_queues.hpp"
#include "links/simconnect_client.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/aircraft.hpp"
#include "records/stand_table.hpp"
#include "traffic/airport_services.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/movement_geometry.hpp"

namespace mvtest {

using namespace tamrix;

inline constexpr double kGroundFt = 100.0;
inline constexpr double kCgFt = 8.0;
inline constexpr double kStaticPitch = 0.01;
inline constexpr double kDeg = 0.017453292519943295;
inline constexpr GeoPosition kAirport{50.0, 8.0};

struct TracePoint {
    int64_t tick = 0;
    AcPosition position;
    MovePhase phase = MovePhase::Birth;
    LiveState state = LiveState::Buffer;
    bool onGround = false;
    double agl = 0.0;
    int32_t stepCounter = 0;
    uint32_t landingStage = 0;
    double altitudeStep = 0.0;
    uint8_t landingArmed = 0;
    uint8_t landingRoll = 0;
    uint8_t derotating = 0;
    std::size_t events = 0; // client events queued for it so far
};

// The stand the fake stand choice answers: the nearest stand within the search distance whose
// heli flag matches the aircraft (the real choice by type and learned options is the airport
// side's).
inline StandRecord* nearestStand(double latitude, double longitude, const LiveAircraft& aircraft, double searchNm,
                                 bool) {
    StandRecord* best = nullptr;
    double bestNm = searchNm;
    for (StandRecord& s : gStandTable) {
        if ((s.heli != 0) != (aircraft.category == AircraftCategory::Rotorcraft)) continue;
        const double d = gf_distanceNm({latitude, longitude}, {s.latitude, s.longitude});
        if (d <= bestNm) {
            bestNm = d;
            best = &s;
        }
    }
    return best;
}

// Ten stands in a row east of the airport, 60 m apart, facing north, each adjacent to its
// neighbours.
inline void buildStands() {
    gf_clearStandTable();
    for (uint32_t i = 0; i < 10; ++i) {
        StandRecord s;
        s.id = "A" + std::to_string(i + 1);
        const GeoPosition p = gf_destinationPoint(kAirport, kPi / 2, (300.0 + 60.0 * i) / 0.3048);
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.heading = 0.0;
        s.radius = 25.0 / kMetresPerNm;
        s.standId = i + 1;
        s.type = 9;
        if (i > 0) s.adjacent.push_back(i);
        if (i < 9) s.adjacent.push_back(i + 2);
        gStandTable.push_back(s);
    }
}

// No live aircraft and no client events, no simulator connection (requests are not sent), QNH
// 1013, a 40 nm range, the park airport at kAirport and the fake stand choice; the stand table
// stays as it is.
inline void resetTraffic() {
    gf_initLiveTraffic();
    gf_resetLiveTraffic();
    gSimConnectError.store(true);
    gCurrentQnh.store(1013);
    gRangeNm.store(40.0);
    ParkAirport park;
    park.code = FixedCode<4>("EDXX");
    park.position = kAirport;
    park.elevationFeet = static_cast<float>(kGroundFt);
    gf_setParkAirport(park);
    AirportServices services;
    services.nearestFittingStand = &nearestStand;
    gf_setAirportServices(services);
    std::lock_guard guard(gSimConnectLock);
    gClientEventQueue.clear();
}

// resetTraffic with every kind of aircraft allowed, no user position, and the row of stands.
inline void resetWorld() {
    resetTraffic();
    LIGHT_AIRCRAFT.current.store(true);
    HELICOPTERS.current.store(true);
    HIGH_PERF_AIRCRAFT.current.store(true);
    AIRBORNE_ONLY.current.store(false);
    STRAIGHT_PBS_ONLY.current.store(false);
    MAX_HOLDING_MINUTES.current.store(MAX_HOLDING_MINUTES.defaultValue);
    gf_resetUserPositionRecord();
    buildStands();
}

// Samples of a track flown from `start`: legs of (track in degrees, ground speed in knots,
// vertical speed in ft/min, seconds), one sample at the start of each leg; altitude in ft MSL
// (0 on the ground).
struct Leg {
    double track = 0.0;
    double speed = 0.0;
    double verticalSpeed = 0.0;
    double seconds = 4.0;
    bool airborne = true;
};

inline std::vector<PositionSample> track(GeoPosition start, double altitude, int64_t firstDue,
                                         const std::vector<Leg>& legs) {
    std::vector<PositionSample> out;
    GeoPosition p = start;
    double alt = altitude;
    int64_t due = firstDue;
    for (const Leg& leg : legs) {
        PositionSample s;
        s.latitude = p.latitude;
        s.longitude = p.longitude;
        s.altitude = leg.airborne ? alt : 0.0;
        s.groundSpeed = leg.speed;
        s.trueAirspeed = leg.speed;
        s.track = leg.track;
        s.verticalSpeed = leg.verticalSpeed;
        s.dueTick = due;
        s.airborne = leg.airborne ? 1 : 0;
        s.generated = leg.speed == 0.0 ? 1 : 0;
        out.push_back(s);
        p = gf_destinationPoint(p, leg.track * kDeg, leg.speed * leg.seconds / 3600.0 * kFeetPerNm);
        alt += leg.verticalSpeed * leg.seconds / 60.0;
        due += static_cast<int64_t>(std::llround(leg.seconds * 100));
    }
    return out;
}

// A live aircraft as it stands right after its settling: active, with its object, its figures
// from the category tables and the simulator's static CG and pitch.
inline LiveAircraft settledAircraft(AircraftCategory category, uint32_t key, uint32_t objectId,
                                    const std::vector<PositionSample>& samples, MovePhase phase,
                                    const std::string& callsign) {
    TrafficRecord record;
    record.head.callsign = callsign;
    record.head.secondText = callsign;
    record.head.registration = "D-" + callsign;
    const CategoryValues& v = gf_categoryValues(category);
    record.category = category;
    record.size = 17.0 / kMetresPerNm;
    record.staticCgHeight = kCgFt;
    record.staticPitch = kStaticPitch;
    record.rotationPitch = v.rotationPitchDeg * kDeg;
    record.climbPitch = v.climbPitchDeg * kDeg;
    record.angleStep = v.angleStepRad;
    record.currentAngleStep = v.angleStepRad;
    record.climbStepLimit = v.climbStepLimit;
    record.groundSpeed = v.groundSpeed;
    record.flareTicks = v.flareTicks;
    record.touchdownTicks = v.touchdownTicks;
    record.rotationTicks = v.rotationTicks;
    record.climbPitchTicks = v.climbPitchTicks;
    record.key = key;
    LiveAircraft ac(samples.front(), std::move(record), 0.0);
    for (std::size_t i = 1; i < samples.size(); ++i) ac.samples.push_back(samples[i]);
    ac.state = LiveState::Active;
    ac.objectId = objectId;
    ac.phase = phase;
    ac.previousPhase = phase;
    ac.onGround = samples.front().airborne ? 0 : 1;
    lf_positionAtSpawn(ac);
    if (ac.onGround) {
        ac.position.altitude = kGroundFt + kCgFt;
        ac.heightAboveGround = kCgFt;
    } else {
        ac.heightAboveGround = ac.position.altitude - kGroundFt;
    }
    return ac;
}

// A settled aircraft added to the live traffic.
inline LiveAircraft& addAircraft(AircraftCategory category, uint32_t key, const std::vector<PositionSample>& samples,
                                 MovePhase phase, const std::string& callsign = "TST1") {
    gLiveAircraft.push_back(settledAircraft(category, key, key - 10000 + 100, samples, phase, callsign));
    return gLiveAircraft.back();
}

inline LiveAircraft* findAircraft(uint32_t key) {
    const std::ptrdiff_t i = gf_findLiveByKey(key);
    return i < 0 ? nullptr : &gLiveAircraft[static_cast<std::size_t>(i)];
}

// What the simulator reports of our aircraft every 20th tick.
inline void reportFromSimulator() {
    for (const LiveAircraft& ac : gLiveAircraft) {
        if (ac.state != LiveState::Active || ac.objectId == 0) continue;
        const double agl = ac.position.altitude - kGroundFt;
        if (agl > 2500.0) continue;
        SimEvent e;
        e.objectId = ac.objectId;
        e.kind = kSimEventInRange;
        e.key = agl <= ac.staticCgHeight + 0.5 ? 1 : 0;
        e.value1 = kGroundFt;
        e.value2 = agl;
        gf_postSimEvent(e);
    }
}

// Runs the tick `count` times (or until `until` says stop); `each` sees the trace point of the
// aircraft with `key` after every tick while it exists.
inline std::vector<TracePoint> run(uint32_t key, int64_t count, const std::function<bool(const LiveAircraft&)>& until = {}) {
    std::vector<TracePoint> trace;
    for (int64_t i = 0; i < count; ++i) {
        if (gf_tickCount() % 20 == 0) reportFromSimulator();
        lf_handleAddingStack();
        const LiveAircraft* ac = findAircraft(key);
        if (!ac) break;
        TracePoint t;
        t.tick = gf_tickCount();
        t.position = ac->position;
        t.phase = ac->phase;
        t.state = ac->state;
        t.onGround = ac->onGround != 0;
        t.agl = ac->position.altitude - kGroundFt;
        t.stepCounter = ac->stepCounter;
        t.landingStage = ac->move.landingStage;
        t.altitudeStep = ac->move.altitudeStep;
        t.landingArmed = ac->move.landingArmed;
        t.landingRoll = ac->move.landingRoll;
        t.derotating = ac->move.derotating;
        {
            std::lock_guard guard(gSimConnectLock);
            t.events = gClientEventQueue.size();
        }
        trace.push_back(t);
        if (until && until(*ac)) break;
    }
    return trace;
}

// Client events queued for an object, in order (event id, value).
inline std::vector<std::pair<uint32_t, uint32_t>> eventsOf(uint32_t objectId) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    std::lock_guard guard(gSimConnectLock);
    for (const ClientEventEntry& e : gClientEventQueue)
        if (e.objectId == objectId) out.emplace_back(e.eventId, e.value);
    return out;
}

template <class Log>
bool logHas(const Log& log, const std::string& text) {
    for (const auto& line : log.lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

inline double degreesBetween(double a, double b) { return std::abs(gf_wrapDifference(a - b)) / kDeg; }

} // namespace mvtest
