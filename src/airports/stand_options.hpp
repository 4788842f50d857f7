#pragma once
// Building the park airport's stand table and learning at its stands: appending a stand, the
// flights learned at a stand (StandOption) added, extended over further half hours (also across
// midnight) and given their callsigns, the half-hour lists those extensions take, and the
// learned-update counter that tells the user how much the airport file will gain when saved.
//
// Start-up thread only, except where noted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/aircraft.hpp"
#include "records/stand_record.hpp"
#include "refdata/livery_key.hpp"

namespace tamrix {

// No aircraft is wider than 90 m: a stand radius beyond this is an error of the file it came
// from, not a size.
inline constexpr double kMaxStandRadiusMetres = 100.0;

// Appends a new stand at the end of the stand table (no sorting; stand id 0 until the reader
// numbers the stands), under the table's lock. A negative or non-finite radius is logged and
// taken as 0: a stand never has a negative size; one beyond kMaxStandRadiusMetres is logged and
// taken as that.
StandRecord& gf_emplaceStand(std::string id, std::vector<StandOption> options, StandPosition position,
                             double radiusMetres, uint16_t type, bool cargo, bool ramp, bool heli);

// Adds a flight learned at the stand now: nothing for an empty registration, or when an option
// of the same registration and day (also one set aside by static parking) already holds exactly
// the current half hour; else the new option's number. The callsign is kept without one
// trailing '_'; a key that did not come from the registration table is replaced by the table's
// key when it knows the registration. Throws std::out_of_range "invalid bitset position" for a
// half-hour slot of 48 or more (nothing added).
std::optional<uint32_t> gf_addStandOption(StandRecord& stand, LiveryKey key, WeekSlot now, std::string_view cs,
                                          std::string_view reg, bool cpl);
// Gives a flight that static parking set aside for its plan (number 0) a number again, above
// the stand's others, so that it can be extended and saved like any learned flight; the number.
uint32_t gf_renumberSetAside(StandRecord& stand, StandOption& option);
// Stores a callsign (without one trailing '_') in the option with that number: into cs while
// that is empty, else into cs2 unless it equals cs or cs2 already. An empty text, number 0 or an
// unknown number change nothing.
void gf_setStandOptionCallsign(StandRecord& stand, uint32_t number, std::string_view cs);
// Sets the listed half hours, taken from the back of the list (and removed from it), in the
// option with that number. False when no option has the number, or at a slot outside 0 .. 47
// (logged; the slots set before it stay set).
bool updateOptions(StandRecord& stand, std::vector<int32_t>& slots, uint32_t number);
// The same for a stay across midnight: the list runs back from the current slot over slot 0
// into the previous day (gf_prevHalfHours). The slots of the previous day go to the first
// option, those of today but the current one (set when the second option was added) to the
// second.
bool updateOptionsWrapped(StandRecord& stand, std::vector<int32_t>& slots, uint32_t firstNumber,
                          uint32_t secondNumber);
// The n half-hour slots counting back from the current one: now, the slot before, ..., where
// the slot before 0 is 47.
std::vector<int32_t> gf_prevHalfHours(WeekSlot now, int32_t n);
void lf_fillPrevHalfHours(std::vector<int32_t>& slots, int32_t n, WeekSlot now);

// The learned-update counter (gLearnedUpdateCount) counts one more change; when it then differs
// from the value the main window shows, the shown value follows and the parking panel is
// repainted.
void gf_countLearnedChange();
// Brings the shown value up to the counter (for changes counted elsewhere), repainting when it
// changed. The counter back to 0: loading the park airport and the reset of live traffic.
void gf_refreshShownLearnedUpdates();
void gf_resetLearnedUpdates();
// The value the main window shows; any thread.
uint32_t gf_shownLearnedUpdates();
// How the main window repaints its parking panel; installed by the window (null: no window).
using ParkingPanelRepaint = void (*)();
void gf_setParkingPanelRepaint(ParkingPanelRepaint repaint);

} // namespace tamrix
