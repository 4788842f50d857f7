#include "app/window_procedure.hpp"

#include <chrono>
#include <cmath>
#include <filesystem>

#include <fmt/format.h>
#include <gsl/narrow>

#include "app/app_state.hpp"
#include "app/closing.hpp"
#include "app/edit_fields.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/painting.hpp"
#include "app/run_hooks.hpp"
#include "app/startup.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/text_encoding.hpp"
#include "core/time_texts.hpp"
#include "core/version_data.hpp"
#include "links/realtraffic_server.hpp"
#include "links/traffic_source_state.hpp"
#include "platform/win32/gdi.hpp"
#include "platform/win32/shell.hpp"
#include "traffic/aircraft_list_file.hpp"
#include "traffic/auto_radius.hpp"

namespace tamrix {

namespace {

void enable(const ParameterControl& control, bool on) {
    if (control.window != nullptr) EnableWindow(control.window, on ? TRUE : FALSE);
}
bool enabled(const ParameterControl& control) {
    return control.window != nullptr && IsWindowEnabled(control.window) != FALSE;
}

void repaintOptions() {
    gf_invalidateOptionsArea();
}

// A restart with new settings after the given delay, unless another end of the run came first.
void restartWithNewSettings(int32_t delaySeconds) {
    gf_setExitReason(ExitReason::NewSettings, delaySeconds);
}

void onScanLiveriesOn() {
    enable(AI_PACKAGE_SELECTOR, false);
    if (!gWaitingForRealTraffic.load()) {
        gf_setStatusLine(fmt::format("Your liveries will be scanned at the next start of {}", kProgramName),
                         false);
        return;
    }
    // The catalogue is cleared by the closing before the restart, on the start-up thread that
    // owns it; here only the restart is asked for.
    gCatalogueClearPending.store(true);
    gf_setStatusLine("Your liveries will be scanned", true);
    restartWithNewSettings(2);
}

void onScanAirportsOn() {
    if (!gWaitingForRealTraffic.load()) {
        gf_setStatusLine(fmt::format("Your airports will be scanned at the next start of {}", kProgramName),
                         false);
        return;
    }
    gf_setStatusLine("Your airports will be scanned", true);
    restartWithNewSettings(2);
}

// The text shown when the box is switched on or off; empty texts clear the line.
void onOrOff(bool on, std::string_view onText, std::string_view offText) {
    const std::string_view text = on ? onText : offText;
    if (text.empty())
        gf_clearStatusLine();
    else
        gf_setStatusLine(text, false);
}

void saveInt(IntChoiceParameter& p, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= p.allowed.size()) return;
    p.current.store(p.clamp(p.allowed[static_cast<std::size_t>(index)]));
    gf_saveIntParameter(p);
}

} // namespace

void lf_onCloseButton() {
    gf_setStatusLine(fmt::format("Close window button clicked, closing {} ...", kProgramName), false);
    gUserClosedWindow.store(true);
    // The reason comes with the flags, before anything that takes time: the run may see them at
    // once, and must find why it ends.
    gf_setUserClosed();
    gf_exitRealTrafficServer();
}

LRESULT lf_mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    gf_setControlLookupWindow(window);
    switch (message) {
    case WM_CREATE:
        lf_createControls(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window, &paint);
        lf_paintMainWindow(dc);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        lf_onCloseButton();
        // A run that has already closed (after a failed closing sequence) cannot end the program
        // itself any more.
        if (gStartUpFinished.load()) PostMessageW(window, WM_SAVE_AND_QUIT, 0, 0);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        return lf_HandleWMCOMMAND(window, wParam) ? 0 : DefWindowProcW(window, message, wParam, lParam);
    case WM_START_RUN:
        gStartUpFinished.store(false);
        // The previous start-up thread has posted this as its last act; it is waited for before
        // the new one starts, so two runs never overlap.
        gf_startUpThread().start([] { lf_startUpQuorvel(); });
        return 0;
    case WM_SAVE_AND_QUIT: {
        // A minimized or maximized window is stored where it comes back to when restored.
        const HWND main = gMainWindow.load() != nullptr ? gMainWindow.load() : window;
        RECT rect;
        WINDOWPLACEMENT placement;
        placement.length = sizeof(WINDOWPLACEMENT);
        bool known = false;
        if (GetWindowPlacement(main, &placement) != FALSE &&
            (placement.showCmd == SW_SHOWMINIMIZED || placement.showCmd == SW_SHOWMAXIMIZED)) {
            rect = placement.rcNormalPosition;
            known = true;
        } else {
            known = GetWindowRect(main, &rect) != FALSE;
        }
        if (known) {
            const int32_t oldX = MAIN_WINDOW_X.current.load();
            const int32_t oldY = MAIN_WINDOW_Y.current.load();
            MAIN_WINDOW_X.current.store(MAIN_WINDOW_X.clamp(rect.left));
            gf_saveIntParameter(MAIN_WINDOW_X);
            MAIN_WINDOW_Y.current.store(MAIN_WINDOW_Y.clamp(rect.top));
            gf_saveIntParameter(MAIN_WINDOW_Y);
            lf_keepWindowOnMonitor(oldX, oldY);
        }
        gf_log(gf_timeText(gf_systemTime()));
        gf_flushLog();
        gClosingSaved.store(true);
        PostQuitMessage(gExitCode.load());
        return 0;
    }
    case WM_REPAINT_MESSAGE_LINE:
        InvalidateRect(window, &kMessageBand, FALSE);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool lf_HandleWMCOMMAND(HWND window, WPARAM wParam) {
    try {
        const auto id = static_cast<uint16_t>(LOWORD(wParam));
        if (lf_onButton(window, id)) return true;
        if (lf_onCheckBox(window, id)) return true;
        if (lf_onComboBox(window, wParam)) return true;
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
    }
    repaintOptions();
    return false;
}

bool lf_onButton(HWND /*window*/, uint16_t id) {
    if (id == UNBLOCK_BUTTON.controlId) {
        if (BLOCK_CALLSIGN.current.get().empty())
            gf_setStatusLine("Nothing to block or unblock...", false);
        else
            lf_unblockCallsign();
        enable(BLOCK_BUTTON, !CALLSIGN_2_OBJECTID.current.get().empty());
    } else if (id == CS_TO_OID_BUTTON.controlId) {
        gObjectIdRequest.exchange(true);
        enable(BLOCK_BUTTON, false);
    } else if (id == BLOCK_BUTTON.controlId) {
        lf_blockCallsign(CALLSIGN_2_OBJECTID.current.get());
        gf_resetCallsignSelection();
        enable(BLOCK_BUTTON, false);
    } else if (id == REREAD_BUTTON.controlId) {
        gRereadRequest.exchange(true);
        enable(REREAD_BUTTON, false);
        enable(DESTINATION, false);
    } else if (id == FLUSH_STATIC_BUTTON.controlId) {
        gf_setStatusLine("All static parked aircraft will be removed ...", false);
        gFlushStaticRequest.exchange(true);
        enable(FLUSH_STATIC_BUTTON, false);
    } else if (id == TBLO_ZIP_BUTTON.controlId) {
        // The desktop's opener shows the folder that holds the archive; where it cannot, the log
        // says where the archive lies, so that the user can find it by hand.
        const std::filesystem::path archive =
            std::filesystem::current_path() / gf_paths().tbloFolder / gf_paths().tbloZipName;
        if (!gf_shellOpen(archive)) {
            const std::string why = platform::win32::lastShellFailure();
            gf_logHighlighted(fmt::format("Could not open File Explorer at tblo.zip{}: the archive lies in {}",
                                          why.empty() ? std::string() : " (" + why + ")",
                                          archive.parent_path().string()));
            MessageBoxW(nullptr, "Could not open File Explorer at tblo.zip.",
                        std::string(kProgramName).c_str(), MB_ICONEXCLAMATION);
        }
    } else if (id == NOW_BUTTON.controlId) {
        if (gf_mainWindowState().parkAirportCode.get().empty()) return true;
        if (!INITIAL_LOAD_ONLY.current.load()) {
            lf_announceStaticParkingUpdate();
            gMinutesToStaticUpdate.store(20);
            repaintOptions();
        } else {
            gf_clearStatusLine();
        }
    } else {
        return false;
    }
    return true;
}

bool lf_onCheckBox(HWND window, uint16_t id) {
    CheckBoxParameter* box = nullptr;
    for (CheckBoxParameter* p : checkBoxParameters)
        if (p->controlId == id) box = p;
    if (box == nullptr) return false;
    const bool on = IsDlgButtonChecked(window, id) != BST_CHECKED;
    CheckDlgButton(window, id, on ? BST_CHECKED : BST_UNCHECKED);
    box->current.store(on);
    gf_saveBoolParameter(*box);

    if (box == &LIG_AUTOMATIC) {
        onOrOff(on, "", "The liveries defined by your lfolder parameters will be scanned");
        enable(AI_PACKAGE_SELECTOR, on);
    } else if (box == &LIG_PRIORITIZE) {
        onOrOff(on, "Liveries, for airl+model, in lower lfolders that are already available will be skipped",
                "");
    } else if (box == &COLLISION_LIVE_PARKED_GND) {
        onOrOff(on, "", "Be aware, live aircraft may collide with (run through) static parked on the ground");
    } else if (box == &COLLISION_USER_GND) {
        onOrOff(on, "",
                "Be aware, user aircraft may collide with (run through) live aircraft and static parked on "
                "the ground");
    } else if (box == &COLLISION_USER_AIR) {
        onOrOff(on, "", "Be aware, user aircraft may collide with (run through) live aircraft in the air");
    } else if (box == &INITIAL_LOAD_ONLY) {
        onOrOff(
            on,
            fmt::format(
                "Initial Load Only: static parked aircraft are generated once, no renewal every {} minutes",
                20),
            "");
        enable(NOW_BUTTON, !on && gParkingControlsInitialised.load());
        repaintOptions();
    } else if (box == &ALWAYS_ON_TOP) {
        onOrOff(on, fmt::format("{}'s window will remain visible", kProgramName), "");
        const HWND main = gMainWindow.load();
        if (main != nullptr)
            SetWindowPos(main, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        repaintOptions();
    } else if (box == &GUID_CHANGES) {
        onOrOff(on, "",
                "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc!");
        repaintOptions();
    } else if (box == &AEROWINX) {
        onOrOff(
            on,
            fmt::format("Note: This mode is for Aerowinx PSX users only, please re-start {}", kProgramName),
            "");
    } else if (box == &AUTO_RANGE) {
        enable(AR_ABOVE_HEIGHT, on);
        gf_applyRange();
    } else if (box == &SCAN_LIVERIES) {
        if (on) {
            onScanLiveriesOn();
        } else {
            enable(AI_PACKAGE_SELECTOR, true);
            gf_clearStatusLine();
        }
        repaintOptions();
    } else if (box == &SCAN_AIRPORTS) {
        if (on)
            onScanAirportsOn();
        else
            gf_clearStatusLine();
        repaintOptions();
    } else if (box == &NAV_LIGHTS_WHILE_PARKED) {
        // The aircraft lists belong to the start-up thread; it switches the lights.
        gNavLightsRequest.exchange(true);
    } else if (box == &OBJECTID_LIST) {
        onOrOff(on,
                fmt::format("Every minute info about all active live aircraft is written to the file {}",
                            gf_paths().objectIdListPath.string()),
                "");
    } else if (box == &AIRBORNE_ONLY) {
        onOrOff(
            on,
            fmt::format("Be aware, airborne live traffic only!  (greater than {:.0f} ft above ground ...)",
                        150.0),
            "");
        repaintOptions();
    }
    return true;
}

std::optional<std::pair<int, std::string>> lf_getComboSelection(HWND window, uint16_t id, WPARAM wParam) {
    if (LOWORD(wParam) != id || HIWORD(wParam) != CBN_SELCHANGE) return std::nullopt;
    const HWND control = GetDlgItem(window, id);
    if (control == nullptr) return std::nullopt;
    const auto index = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    if (index == CB_ERR) return std::nullopt;
    // The item's own length: callsigns from the network have no length limit.
    const LRESULT length = SendMessageW(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return std::nullopt;
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    const LRESULT got = SendMessageW(control, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    if (got == CB_ERR) return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    return std::make_pair(index, wide_to_utf8(text));
}

bool lf_onComboBox(HWND window, WPARAM wParam) {
    if (auto s = lf_getComboSelection(window, SIM_CHOICE.controlId, wParam)) {
        if (s->second != SIM_CHOICE.current.get()) {
            gf_setStringParameter(SIM_CHOICE, s->second);
            if (const auto index = SIM_CHOICE.indexOfValue())
                SendMessageW(SIM_CHOICE.window, CB_SETCURSEL, static_cast<WPARAM>(*index), 0);
            lf_switchSimVersion();
        }
        return true;
    }
    if (auto s = lf_getComboSelection(window, AI_PACKAGE_SELECTOR.controlId, wParam)) {
        if (s->second != AI_PACKAGE_SELECTOR.current.get()) {
            gf_setStringParameter(AI_PACKAGE_SELECTOR, s->second);
            gf_setStatusLine("If you want to make this choice effective, you must start a Scan for liveries",
                             true);
        }
        return true;
    }
    if (auto s = lf_getComboSelection(window, CALLSIGN_2_OBJECTID.controlId, wParam)) {
        if (s->second != CALLSIGN_2_OBJECTID.current.get()) {
            CALLSIGN_2_OBJECTID.current.set(s->second);
            gf_clearObjectIdLabel();
            repaintOptions();
            gObjectIdLookupPending.exchange(true);
            enable(BLOCK_BUTTON, !enabled(UNBLOCK_BUTTON));
        }
        return true;
    }
    if (auto s = lf_getComboSelection(window, MATCHING_DEPTH.controlId, wParam)) {
        const int32_t old = MATCHING_DEPTH.current.load();
        saveInt(MATCHING_DEPTH, s->first);
        if (MATCHING_DEPTH.current.load() > old) gMatchingDepthRaised.exchange(true);
        return true;
    }
    for (IntChoiceParameter* p :
         {&MAX_PARK_SEL, &parking_percentage, &AIRP_RANGE, &AR_ABOVE_HEIGHT, &AIRP_HEIGHT}) {
        if (auto s = lf_getComboSelection(window, p->controlId, wParam)) {
            saveInt(*p, s->first);
            return true;
        }
    }
    if (auto s = lf_getComboSelection(window, RANGE.controlId, wParam)) {
        saveInt(RANGE, s->first);
        gf_setRange(RANGE.current.load());
        return true;
    }
    if (auto s = lf_getComboSelection(window, MAX_FIT_FL.controlId, wParam)) {
        if (s->first >= 0 && static_cast<std::size_t>(s->first) < MAX_FIT_FL.allowed.size()) {
            const float hours = MAX_FIT_FL.allowed[static_cast<std::size_t>(s->first)];
            MAX_FIT_FL.current.store(hours);
            const auto doubled = gsl::narrow<int32_t>(std::lround(2.0 * static_cast<double>(hours)));
            MAX_FIT.current.store(MAX_FIT.clamp(static_cast<int64_t>(doubled) - 1));
            gf_saveIntParameter(MAX_FIT);
        }
        return true;
    }
    if (auto s = lf_getComboSelection(window, MAX_LIVE_SEL.controlId, wParam)) {
        saveInt(MAX_LIVE_SEL, s->first);
        // The live aircraft belong to the start-up thread; it takes out the excess.
        gTrimLiveRequest.exchange(true);
        return true;
    }
    return false;
}

} // namespace tamrix
