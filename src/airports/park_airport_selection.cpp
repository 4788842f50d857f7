#include "airports/park_airport_selection.hpp"

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/airport_file_names.hpp"
#include "airports/my_park_airports.hpp"
#include "airports/park_airport_file.hpp"
#include "airports/stand_options.hpp"
#include "airports/static_consistency.hpp"
#include "airports/static_parking.hpp"
#include "airports/static_placing.hpp"
#include "config/settings.hpp"
#include "core/guarded.hpp"
#include "core/log.hpp"
#include "core/status_line.hpp"
#include "core/time_texts.hpp"
#include "links/park_airport.hpp"
#include "links/reserved_stand.hpp"
#include "links/sim_status.hpp"
#include "links/stand_lookup.hpp"
#include "links/traffic_reader.hpp"
#include "links/user_aircraft_state.hpp"
#include "records/stand_table.hpp"
#include "traffic/auto_radius.hpp"
#include "traffic/parking.hpp"

namespace tamrix {
namespace {

constexpr double kStandstillKnots = 2.0;

// Start-up thread only.
struct Selection {
    AirportRecord record;     // the park airport as the airports table has it
    bool recalculate = false; // the next step loads the park airport and plans static parking
    std::unordered_set<FixedCode<4>> failed; // airport files that failed to load in this run
};
Selection& selection() {
    static auto* s = new Selection;
    return *s;
}

Guarded<ParkAirportView>& view() {
    static auto* v = new Guarded<ParkAirportView>;
    return *v;
}

std::atomic<void (*)()> gRepaint{nullptr};
std::atomic<void (*)()> gDestinationEnabled{nullptr};
std::atomic<void (*)()> gCountdownRestarted{nullptr};

void call(const std::atomic<void (*)()>& hook) {
    if (void (*f)() = hook.load()) f();
}

template <class F> void changeView(F&& change) {
    view().update(std::forward<F>(change));
    call(gRepaint);
}

GeoPosition parkPosition() {
    const ParkAirport park = gf_parkAirport();
    return park.position;
}

bool inSight(double distance, double heightAboveGround) {
    return distance <= static_cast<double>(AIRP_RANGE.current.load()) &&
           heightAboveGround <= static_cast<double>(AIRP_HEIGHT.current.load());
}

// The reserved stand's mark in the stand table follows its name.
void markReservedStand(const std::string& name, uint8_t value) {
    if (name.empty()) return;
    for (StandRecord& stand : gStandTable) {
        if (stand.id == name) {
            stand.reserved = value;
            return;
        }
    }
}

} // namespace

ParkAirportView gf_parkAirportView() { return view().get(); }

void gf_setParkAirportWindowHooks(const ParkAirportWindowHooks& hooks) {
    gRepaint.store(hooks.repaint);
    gDestinationEnabled.store(hooks.destinationEnabled);
    gCountdownRestarted.store(hooks.countdownRestarted);
}

bool gf_parkAirportFailedBefore(const FixedCode<4>& code) { return selection().failed.contains(code); }

std::string gf_airportLabel(const AirportRecord& record) {
    std::string label = record.icaoCode.isSet() ? record.icaoCode.text() : "?";
    if (record.code3.isSet() && record.code3.text() != "XXX") label += " (" + record.code3.text() + ")";
    return label;
}

std::string gf_parkAirportLabel() { return gf_airportLabel(selection().record); }

bool gf_setParkAirport(const FixedCode<4>& code) {
    const AirportRecord* record = gf_findAirport(code);
    if (record == nullptr) {
        changeView([](ParkAirportView& v) { v = ParkAirportView{}; });
        return false;
    }
    selection().record = *record;
    ParkAirport park;
    park.code = code;
    park.position = {record->latitude, record->longitude};
    park.elevationFeet = record->airportAltitude;
    gf_setParkAirport(park);
    gf_log(fmt::format("\nThe park airport is {}", code.text()));
    changeView([&code](ParkAirportView& v) {
        v = ParkAirportView{};
        v.code = code.text();
    });
    return true;
}

void lf_startStaticParking(bool show) {
    gf_beginStaticParking();
    gf_trafficReader().startCallsignCollection();
    if (show) gf_setStatusLine("Calculating static parked aircraft ...", false);
}

std::string lf_readParkedFile() {
    gf_clearStandTable();
    const ParkAirport park = gf_parkAirport();
    const std::string name = park.code.isSet() ? gf_locateApf(park.code) : std::string{};
    std::string error;
    ParkAirportInfo info;
    if (name.empty()) {
        error = fmt::format("{} {} not found", "lf_readParkedFile", park.code.text());
    } else {
        QualityFactors quality;
        error = gf_readApf(name, info, quality);
    }
    if (error.empty()) {
        std::string stand;
        const UserPositionRecord user = gf_userPositionRecord();
        if (user.onGroundKnown != 0) stand = gf_standNameAt(user.state.latitude, user.state.longitude);
        gf_recordParkAirportStand(park.code, park.position, stand);

        const std::optional<MyParkAirport> front = gf_frontParkAirport();
        std::string reserved;
        bool found = false;
        if (front && front->code == park.code && !front->reservedStand.empty()) {
            for (const StandRecord& s : gStandTable) {
                if (s.id == front->reservedStand) {
                    reserved = s.id;
                    found = true;
                    break;
                }
            }
        }
        gf_setReservedStandName(reserved);
        gf_trafficReader().setParkAirportElevation(static_cast<double>(info.altitude));
        changeView([found](ParkAirportView& v) { v.reservedStandFound = found; });
    }
    changeView([&](ParkAirportView& v) {
        v.loaded = error.empty();
        v.name = info.airport_name;
    });
    gf_resetLearnedUpdates();
    return error;
}

std::optional<std::filesystem::path> gf_leaveParkAirport() {
    auto notSaved = gf_closeParkAirport();
    gf_setReservedStandName({});
    gf_trafficReader().setParkAirportElevation(std::nullopt);
    changeView([](ParkAirportView& v) { v = ParkAirportView{}; });
    return notSaved;
}

void lf_findParkAirportInSight(GeoPosition user, bool firstCall) {
    const UserPositionRecord record = gf_userPositionRecord();
    bool show = false;
    if (record.onGround != 0) {
        const AirportRecord* closest = gf_closestAirport(user);
        if (closest == nullptr) {
            gf_setStatusLine("User aircraft on the ground, no RT supported airport in sight", true);
            return;
        }
        const FixedCode<4> code = closest->icaoCode;
        bool exists = false;
        try {
            exists = gf_apfExists(code);
        } catch (const std::exception& e) {
            // A folder whose status cannot be read: this step looks again in 16 seconds.
            gf_logHighlighted(fmt::format("{}: {}", "lf_findParkAirportInSight", e.what()));
            return;
        }
        if (!exists) {
            gf_setStatusLine(fmt::format("User aircraft on the ground at {}, no airport file found", code.text()), true);
            return;
        }
        if (gf_parkAirportFailedBefore(code)) return; // said when it failed; tried again next run
        gf_log(fmt::format("User aircraft on the ground at {}", code.text()));
        if (!gf_setParkAirport(code)) return;
        show = firstCall;
    } else {
        call(gDestinationEnabled);
        const std::optional<MyParkAirport> front = gf_frontParkAirport();
        if (!front) return;
        const double d = gf_distanceNm(user, {front->latitude, front->longitude});
        if (!inSight(d, record.state.altitudeAboveGround)) return;
        if (!gf_setParkAirport(front->code)) return;
        gf_setStatusLine(fmt::format("{} in sight at {:.1f} nm", front->code.text(), d), true);
    }
    selection().recalculate = true;
    lf_startStaticParking(show);
}

void lf_checkParkAirportInSight(GeoPosition user) {
    const UserPositionRecord record = gf_userPositionRecord();
    if (record.onGround != 0) return; // on the ground the park airport is kept, whatever the distance
    const double height = record.state.altitudeAboveGround;
    const double d = gf_distanceNm(user, parkPosition());
    if (!inSight(d, height)) {
        gf_log(fmt::format("\n{} {} is out of sight ({:.1f} nm), parked aircraft will be removed", gf_simClock(),
                           gf_parkAirportLabel(), d));
        gf_leaveParkAirport();
        return;
    }
    const std::optional<MyParkAirport> front = gf_frontParkAirport();
    if (!front || front->code == gf_parkAirport().code) return;
    // The distance now, not the list's: with a destination set the list is not re-sorted and
    // its distances grow stale.
    const double d2 = gf_distanceNm(user, {front->latitude, front->longitude});
    if (!inSight(d2, height) || d2 > d) return;
    gf_log(fmt::format("\n{} {} is in sight ({:.1f} nm), parked aircraft at {} will be removed first", gf_simClock(),
                       front->code.text(), d2, gf_parkAirportLabel()));
    gf_leaveParkAirport();
}

void gf_parkAirportTick(bool firstCall) {
    Selection& s = selection();
    if (firstCall) {
        // A new run: what failed to load in the last one is tried again.
        s.recalculate = false;
        s.failed.clear();
    }
    // A cycle has ended when its plan is used up; not while the plan is still to be computed.
    if (!s.recalculate && gf_staticParkingBusy() && gStaticCandidates.empty()) {
        gf_endStaticParking();
        gf_clearStatusLine();
        gf_countStaticAc(1);
        gf_countLiveParkedAc(1);
    }
    if (s.recalculate) {
        gf_clearStatusLine();
        s.recalculate = false;
        const FixedCode<4> code = gf_parkAirport().code;
        const std::string error = lf_readParkedFile();
        if (!error.empty()) {
            gf_endStaticParking();
            gf_setStatusLine(error, true);
            if (code.isSet()) s.failed.insert(code);
            lf_resetParkAirport();
            gf_setReservedStandName({});
            gf_trafficReader().setParkAirportElevation(std::nullopt);
            changeView([](ParkAirportView& v) { v = ParkAirportView{}; });
        } else {
            call(gCountdownRestarted);
            gf_calcStaticParking();
        }
        call(gDestinationEnabled);
        gf_flushLog();
        return;
    }
    const GeoPosition user{gf_userPositionRecord().state.latitude, gf_userPositionRecord().state.longitude};
    if (gf_isZeroPosition(user.latitude, user.longitude)) return;
    gf_sortMyParkAirports(user);
    if (gf_parkAirport().code.isSet())
        lf_checkParkAirportInSight(user);
    else
        lf_findParkAirportInSight(user, firstCall);
}

void lf_updateReservedStand() {
    const UserPositionRecord copy = gf_userPositionRecord();
    if (copy.onGroundKnown == 0 || copy.state.groundSpeed > kStandstillKnots) return;
    const UserAcState latest = gf_userAcState();
    const std::string stand = gf_standNameAt(latest.latitude, latest.longitude);
    if (stand.empty()) return;
    gf_recordUserStandAtFront(gf_parkAirport().code, stand);
}

bool gf_checkMyParkAirports(std::string& result) {
    result.clear();
    if (!lf_readMyParkAirports()) return false;
    const std::optional<MyParkAirport> front = gf_frontParkAirport();
    const std::string old = gf_reservedStandName();
    if (gf_userPositionRecord().onGroundKnown != 0 && !gf_staticParkingBusy() && front &&
        front->code == gf_parkAirport().code && gf_parkAirport().code.isSet() && gf_userStandText().empty() &&
        !front->reservedStand.empty() && front->reservedStand != old) {
        result = fmt::format("reserved stand changed from '{}' to '{}'", old, front->reservedStand);
        markReservedStand(old, 0);
        gf_setReservedStandName(front->reservedStand);
        gf_clearStand(front->reservedStand);
        bool found = false;
        for (StandRecord& stand : gStandTable) {
            if (stand.id == front->reservedStand) {
                stand.reserved = 1;
                found = true;
                break;
            }
        }
        changeView([found](ParkAirportView& v) { v.reservedStandFound = found; });
    }
    if (result.empty()) result = "park airports and stands are okay";
    return true;
}

void gf_resetParkAirportSelection() {
    Selection& s = selection();
    s.record = AirportRecord{};
    s.recalculate = false;
    s.failed.clear();
    view().set(ParkAirportView{});
}

void gf_installParkAirportSelection() {
    gf_setReservedStandUpdater(&lf_updateReservedStand);
    gf_setReservedStandNameSource(&gf_reservedStandName);
    gf_setParkListFrontSource([]() -> std::optional<GeoPosition> {
        const std::optional<MyParkAirport> front = gf_frontParkAirport();
        if (!front) return std::nullopt;
        return GeoPosition{front->latitude, front->longitude};
    });
}

} // namespace tamrix
