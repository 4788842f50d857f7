#pragma once
// What the program knows of the user's own aircraft besides its state (user_aircraft_state.hpp):
// its title and its model, from which its half wingspan follows. The connect phase asks for
// position, title and model before traffic starts, the live-traffic tick refreshes the position;
// the answers arrive on the SimClient thread.

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "links/user_aircraft_state.hpp"

namespace tamrix {

// The title is shown and kept with at most this many bytes (cut at a character boundary).
inline constexpr std::size_t kUserAcTitleMax = 48;

// The half wingspan was found for the user aircraft's model; the status panel draws the
// aircraft text in yellow while it is clear. Set again by every model answer.
extern std::atomic<bool> gUserAcKnown;

// gUserAcTitle: the last title received, empty before the first.
std::string gf_userAcTitle();
// gUserAcHalfSpan: the user aircraft's half wingspan in nautical miles; empty until the model
// has been handled.
std::optional<double> gf_userAcHalfSpan();

// Asks for the user aircraft's state once (request 109) unless a request failed already in this
// run, and returns the last state received: the answer arrives later on the SimClient thread. A
// failed request is logged and ends the run ("SIMCONNECT ERROR"). Never with the SimConnect
// lock held.
UserAcState gf_requestUserAcPosition();
// Asks once for the title (request 106), then the model (request 107); each failure is logged
// and ends the run. Never with the SimConnect lock held.
void gf_requestUserAcTitleModel();

// The answers, on the SimClient thread: the title text and the ATC MODEL text of the data block.
void lf_onUserAcTitle(std::string_view title);
// Detects the model and its half wingspan; any failure but a UserErrorException becomes the
// UserErrorException 73 that ends the SimClient thread.
void lf_onUserAcModel(std::string_view model);

// The clean-up before a restart: no state, title or half span (the known flag stays).
void gf_resetUserAircraftData();

} // namespace tamrix
