#pragma once
// The aircraft that live traffic and static parking put into the simulator. A StaticAircraft
// stands on a stand and never moves; a LiveAircraft replays a reported track and starts with
// every StaticAircraft field, so the removal and the stand logic handle both alike. Records are
// held by value in the start-up thread's vectors and named across ticks by key or object id,
// never by pointer.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "records/curve_path.hpp"
#include "records/sample_queue.hpp"
#include "records/takeoff_roll.hpp"
#include "records/traffic_record.hpp"

namespace tamrix {

// The key above which aircraft are live; keys 0 .. 9999 are static.
inline constexpr uint32_t kLiveKeyFloor = 10000;
inline constexpr bool gf_isLiveKey(uint32_t key) noexcept { return key > kLiveKeyFloor; }

enum class LiveState : uint32_t {
    Buffer = 0,
    Adding2Sim = 1,
    Active = 2,
    LiveryRespawn = 3,
    RemovingFromSim = 4,
};

enum class MovePhase : uint32_t {
    PushingBack = 0,
    PushedBack = 1,
    Taxi = 2,
    TakeOff = 3,
    Flying = 4,
    Parking = 5,
    Parked = 6,
    Birth = 7,
};

// "buffer", "adding2sim", "active", "liveryrespawn", "removingfromsim"; a value outside the
// table throws std::out_of_range "invalid unordered_map<K, T> key".
std::string_view gf_stateName(LiveState state);
// "pushing_back", "pushed_back", "taxi", "take_off", "flying", "parking", "parked", "birth";
// throws as gf_stateName.
std::string_view gf_moveName(MovePhase phase);

// A week slot: day 1 (Monday) .. 7 and half-hour slot 0 .. 47; 0, 0 when not set.
struct WeekSlot {
    uint32_t day = 0;
    uint32_t halfHour = 0;
};

// The 64-byte block the simulator takes as an AI aircraft's position each frame.
struct AcPosition {
    double latitude = 0.0;      // degrees
    double longitude = 0.0;     // degrees
    double pitch = 0.0;         // radians (negative = nose up)
    double bank = 0.0;          // radians
    double heading = 0.0;       // true, radians
    double altitude = 0.0;      // feet
    double verticalSpeed = 0.0; // feet per second
    double trueAirspeed = 0.0;  // knots
};
static_assert(sizeof(AcPosition) == 64);

struct StaticAircraft : TrafficRecord {
    uint32_t objectId = 0;        // 0 until the simulator announced the object
    double standLatitude = 0.0;   // degrees
    double standLongitude = 0.0;  // degrees
    double standHeading = 0.0;    // radians
    WeekSlot timeSlot;            // placed, or put on the ground / on its stand
    uint32_t standId = 0;         // 0 for none
    LiveState state = LiveState::Buffer;
    uint32_t throttleIndex = 5;   // last throttle index sent; 5 = none yet
    uint32_t flapsIndex = 4;      // last flaps index sent; 4 = none yet
    uint8_t cargoStand = 0;       // cabin lights stay off
    uint8_t removalAsked = 0;     // removal asked after the creation had gone to the simulator
    uint8_t erase = 0;            // live only: erased at the end of this tick's update pass
    uint8_t creationWithdrawn = 0; // its creation was taken back out of an adding stack

    StaticAircraft() = default;
    StaticAircraft(TrafficRecord&& record, uint32_t sid, double latitude, double longitude, double heading,
                   bool cargo);
};

// The movement state of a live aircraft: what the air, take-off and landing, ground and parking
// movement keep between ticks. Fields are added by those movements as they grow.
struct MoveState {
    // Step budgets of a manoeuvre (early and late window, ticks).
    int32_t earlyWindow = 1000;
    int32_t lateWindow = 1000;
    double pitchStep = 0.0;    // radians per tick
    double bankStep = 0.0;     // radians per tick
    double altitudeStep = 0.0; // feet per tick
    double headingStep = 0.0;  // radians per tick
    double latitudeStep = 0.0; // degrees per tick
    double longitudeStep = 0.0;
    double speed = 0.0;         // knots, the movement's own speed
    double verticalSpeed = 0.0; // feet per minute
    double headingToRestore = 0.0; // radians, after a livery respawn
    double touchdownHeading = 0.0; // radians
    int64_t holdingStartTick = 0;
    double holdingDistance = 0.0;  // nautical miles
    // Leaving a stand: the distances of the standstill check and its count.
    double standReferenceDistance = 0.0;
    double standLastDistance = 0.0;
    uint32_t standCount = 0;
    std::chrono::steady_clock::time_point parkedSince{};
    TakeOffRoll takeOff;
    uint32_t landingStage = 0;
    uint8_t restoreHeading = 0;
    uint8_t landingArmed = 0;
    uint8_t landingRoll = 0;
    uint8_t derotating = 0;
    uint8_t touchedDown = 0;
    uint8_t holding = 0;
    uint8_t waitingForUser = 0;
    uint8_t departureNoticed = 0;
    uint8_t pushbackTurning = 0;
    uint8_t pushbackSideKnown = 0;
    uint8_t pushbackRight = 0;
    uint8_t standSeen = 0;
    uint8_t learned = 0;
    uint8_t standClaimed = 0; // this aircraft set its stand's live-occupied mark

    // ---- the air, take-off and landing, ground and parking movement ----
    CurvePath curve;                 // the corner being turned on the ground
    // Bearing (radians) the aircraft turns towards; not set until a leg starts.
    double targetHeading = std::numeric_limits<double>::quiet_NaN();
    double headingDifference = 0.0;  // degrees between heading and target when the leg started
    double elevationCache = 0.0;     // feet, the park airport's elevation during the flare
    double heightAboveAirport = 0.0; // feet
    // Radians per tick the nose turns at most on this leg, the feed's own pace while the
    // aircraft moves off from a standstill; 0 when the leg sets no such bound.
    double fedTurnStep = 0.0;
    // Share of a tick the aircraft has held back on the ground while its nose turned onto its
    // way; the next sample falls due a whole tick later for each whole tick of it.
    double heldBackTicks = 0.0;
    // Vertical speed (ft/min) the feed reports for the next sample while it still shows the
    // aircraft flying; not set when it shows it on the ground.
    double fedVerticalSpeed = std::numeric_limits<double>::quiet_NaN();
    // The last sample position tried for parking (degrees); never tried twice in a row.
    double lastParkLatitude = std::numeric_limits<double>::quiet_NaN();
    double lastParkLongitude = std::numeric_limits<double>::quiet_NaN();
    PositionSample sideSample;       // end of a pushback turning to the right
    // Reports that came in while the aircraft's own pushback ran, taken in once it has ended.
    std::vector<PositionSample> reportsWhilePushing;
    int32_t pushbackCountdown = 0;
    uint8_t pushbackPending = 0;     // a parked aircraft is reported moving: pushback or pull-out
    uint8_t turning = 0;             // turning towards the target heading on the ground
    uint8_t climbConfigured = 0;     // throttle 4, gear up, flaps 0 sent after lift-off
    uint8_t towed = 0;
    uint8_t elevationCacheValid = 0;
    uint8_t lightsAbove10000 = 0;    // each light set is sent once per crossing of 10,000 ft
    uint8_t lightsBelow10000 = 0;
};

struct LiveAircraft : StaticAircraft {
    AcPosition position;
    SampleQueue samples;         // oldest first
    double lastUpdateTime = 0.0; // seconds, time stamp of the newest accepted traffic line
    double lastCheckLatitude = 0.0;
    double lastCheckLongitude = 0.0;
    double scratch1 = 0.0;
    double scratch2 = 0.0;
    int32_t manoeuvreMark = 0;   // 0 real samples, n > 0 making synthetic ones, -1 used up
    MovePhase phase = MovePhase::Birth;
    MovePhase previousPhase = MovePhase::Birth;
    uint8_t onGround = 0;
    uint8_t flightPlanWritten = 0;
    // Ticks left of the current pitch manoeuvre; signed: the climb counts it down below 0.
    int32_t stepCounter = 1;
    double heightAboveGround = 2500.0; // feet
    int64_t creationSentTick = -1;     // tick at which its creation went to the simulator; -1 before
    // The last line dropped as out of reach of the aircraft's track (degrees, seconds; time 0 for
    // none): the next line tells a stray position from a new track.
    double jumpLatitude = 0.0;
    double jumpLongitude = 0.0;
    double jumpTime = 0.0;
    MoveState move;

    LiveAircraft() = default;
    LiveAircraft(const PositionSample& first, TrafficRecord&& record, double timeStamp);
};

} // namespace tamrix
