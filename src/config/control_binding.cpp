#include "config/control_binding.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "core/log.hpp"
#include "core/text_encoding.hpp"

namespace tamrix {
namespace {

std::atomic<HWND> gLookupWindow{nullptr};

// The text as UTF-16, or nothing (logged) when it is no valid UTF-8.
std::optional<std::u16string> toWide(const std::string& text) {
    try {
        return utf8_to_wide(text);
    } catch (const std::exception& e) {
        gf_log(fmt::format("utf8_to_wide failed for '{}': {}", text, e.what()));
        return std::nullopt;
    }
}

LPARAM textArgument(const std::u16string& text) {
    return reinterpret_cast<LPARAM>(text.c_str());
}

void setControlText(uint16_t controlId, const std::string& text) {
    const auto wide = toWide(text);
    if (!wide) return;
    const HWND main = gf_controlLookupWindow();
    const HWND control = GetDlgItem(main, controlId);
    if (control == nullptr) {
        gf_log(fmt::format("GetDlgItem failed for ID {}", controlId));
        return;
    }
    SetWindowTextW(control, wide->c_str());
    InvalidateRect(main, &kOptionsArea, TRUE);
}

// Fills a combo box with texts and selects the first that begins with `current`. A text that
// is no valid UTF-8 (callsigns come from the network, choices from an editable file) is left
// out rather than ending the run.
void fillTextComboBox(HWND window, const std::vector<std::string>& options, const std::string& current) {
    if (!IsWindow(window)) return;
    SendMessageW(window, CB_RESETCONTENT, 0, 0);
    for (const auto& option : options) {
        if (const auto wide = toWide(option)) SendMessageW(window, CB_ADDSTRING, 0, textArgument(*wide));
    }
    if (const auto wide = toWide(current))
        SendMessageW(window, CB_SELECTSTRING, static_cast<WPARAM>(-1), textArgument(*wide));
}

void selectIndex(HWND window, std::optional<std::size_t> index) {
    if (index) SendMessageW(window, CB_SETCURSEL, *index, 0);
}

// Assigns a differing record value, clamped, and saves it; true when it differed.
bool takeInt(IntParameter& parameter, int32_t value) {
    if (value == parameter.current.load()) return false;
    parameter.current = parameter.clamp(value);
    gf_saveIntParameter(parameter);
    return true;
}

bool takeBool(CheckBoxParameter& parameter, uint8_t value) {
    const bool on = value != 0;
    if (on == parameter.current.load()) return false;
    parameter.current = on;
    gf_saveBoolParameter(parameter);
    gf_showCheckBox(parameter);
    return true;
}

} // namespace

ApfValueRecord gApfValues;

void gf_setControlLookupWindow(HWND window) {
    gLookupWindow.store(window);
}
HWND gf_controlLookupWindow() {
    return gLookupWindow.load();
}

void gf_showCheckBox(const CheckBoxParameter& parameter) {
    SendMessageW(parameter.window, BM_SETCHECK, parameter.current.load() ? BST_CHECKED : BST_UNCHECKED, 0);
}

void gf_setIntControlText(const IntChoiceParameter& parameter) {
    setControlText(parameter.controlId, fmt::format("{}", parameter.current.load()));
}

void gf_setStringControlText(const StringControlParameter& parameter) {
    setControlText(parameter.controlId, parameter.current.get());
}

void IntChoiceParameter::fillComboBox() const {
    if (!IsWindow(window)) return;
    SendMessageW(window, CB_RESETCONTENT, 0, 0);
    for (int32_t value : allowed) {
        const std::u16string text = utf8_to_wide(fmt::format("{}", value));
        SendMessageW(window, CB_ADDSTRING, 0, textArgument(text));
    }
    selectIndex(window, indexOfCurrent());
}

void ChoiceParameter::fillComboBox() const {
    fillTextComboBox(window, options, current.get());
}

void gf_fillCallsignComboBox() {
    fillTextComboBox(CALLSIGN_2_OBJECTID.window, CALLSIGN_2_OBJECTID.optionList(),
                     CALLSIGN_2_OBJECTID.current.get());
}

void gf_reenableControl(const ParameterControl& control) {
    EnableWindow(control.window, TRUE);
}

ApfValueRecord gf_currentApfValues() {
    ApfValueRecord r;
    r.maxLiveSel = MAX_LIVE_SEL.current.load();
    r.maxFit = MAX_FIT.current.load();
    r.range = RANGE.current.load();
    r.parkingPercentage = parking_percentage.current.load();
    r.autoRange = AUTO_RANGE.current.load() ? 1 : 0;
    r.initialLoadOnly = INITIAL_LOAD_ONLY.current.load() ? 1 : 0;
    r.parkSoft = PARK_SOFT.current.load() ? 1 : 0;
    r.week = WEEK.current.load() ? 1 : 0;
    return r;
}

void gf_applyApfParameters() {
    const ApfValueRecord r = gApfValues;
    takeInt(MAX_LIVE_SEL, r.maxLiveSel);
    if (takeInt(MAX_FIT, r.maxFit)) gf_updateMaxFitFl();
    // The working radius takes the record's own value, which may lie beyond RANGE's limits. It
    // is restored also when RANGE itself did not change: an airport radius of 150 nm leaves RANGE
    // at 100, the same as a record of 100.
    const bool rangeTaken = takeInt(RANGE, r.range);
    const auto recordRadius = std::clamp(r.range, kMinWorkingRadiusNm, kMaxWorkingRadiusNm);
    if (rangeTaken || gRangeNm.load() != static_cast<double>(recordRadius)) gf_setRange(r.range);
    if (takeInt(parking_percentage, r.parkingPercentage))
        selectIndex(parking_percentage.window, parking_percentage.indexOfCurrent());
    if (takeBool(AUTO_RANGE, r.autoRange)) {
        const bool automatic = AUTO_RANGE.current.load();
        EnableWindow(RANGE.window, automatic ? FALSE : TRUE);
        EnableWindow(AR_ABOVE_HEIGHT.window, automatic ? TRUE : FALSE);
    }
    takeBool(INITIAL_LOAD_ONLY, r.initialLoadOnly);
    takeBool(PARK_SOFT, r.parkSoft);
    takeBool(WEEK, r.week);
}

} // namespace tamrix
