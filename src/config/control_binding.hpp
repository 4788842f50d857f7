#pragma once
// Settings shown in the main window's child controls: filling and selecting combo boxes,
// ticking check boxes, writing values into controls by id, and putting back the settings that
// a park airport's file overrode.
//
// A control whose handle is null or no longer a window is left alone, so all of this may run
// before the window exists. Messages are sent from the calling thread (UI or start-up thread).

#include <cstdint>

#include "config/parameters.hpp"
#include "platform/win32/window.hpp"

namespace tamrix {

// The options area of the main window (client coordinates), repainted after a control changes.
inline constexpr RECT kOptionsArea{0, 112, 880, 392};

// The main window, through which controls are found by id (GetDlgItem); the window procedure
// stores it with every message. Null until then.
void gf_setControlLookupWindow(HWND window);
HWND gf_controlLookupWindow();

// Ticks the check box when the setting is on, clears it otherwise.
void gf_showCheckBox(const CheckBoxParameter& parameter);

// Write the decimal value, or the text, into the control with the setting's id and repaint the
// options area. "GetDlgItem failed for ID {}" is logged when there is no such control, and
// "utf8_to_wide failed for '{}': {}" when the text is no valid UTF-8.
void gf_setIntControlText(const IntChoiceParameter& parameter);
void gf_setStringControlText(const StringControlParameter& parameter);

// Fills the CALLSIGN_2_OBJECTID combo box from its shared list and selects its current text.
void gf_fillCallsignComboBox();

// Enables the control again (the livery scan disables AI_PACKAGE_SELECTOR while it runs).
void gf_reenableControl(const ParameterControl& control);

// The values of the eight settings a park airport's file may override, kept while the
// airport's own values are in force.
struct ApfValueRecord {
    int32_t maxLiveSel = 0;
    int32_t maxFit = 0;
    int32_t range = 0;
    int32_t parkingPercentage = 0;
    uint8_t autoRange = 0;
    uint8_t initialLoadOnly = 0;
    uint8_t parkSoft = 0;
    uint8_t week = 0;

    friend bool operator==(const ApfValueRecord&, const ApfValueRecord&) = default;
};
// The one process-wide record, written by the park-airport reader and read back when the park
// airport is left. Used by the start-up thread only.
extern ApfValueRecord gApfValues;

// The current values of the eight settings.
ApfValueRecord gf_currentApfValues();

// Writes gApfValues back into the eight settings: each that differs is assigned (integers
// clamped to their limits), saved and shown in its control; RANGE also sets the working
// radius, MAX_FIT the hours of MAX_FIT_FL, and AUTO_RANGE enables the RANGE combo box when off
// and the AR_ABOVE_HEIGHT combo box when on.
void gf_applyApfParameters();

} // namespace tamrix
