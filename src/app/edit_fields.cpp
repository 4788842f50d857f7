#include "app/edit_fields.hpp"

#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "airports/my_park_airports.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/fixed_code.hpp"
#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/status_line.hpp"
#include "core/string_helpers.hpp"
#include "core/text_encoding.hpp"
#include "core/version_data.hpp"
#include "refdata/airports.hpp"
#include "traffic/aircraft_list_file.hpp"

namespace tamrix {
namespace fs = std::filesystem;

namespace {

void enable(const ParameterControl& control, bool on) {
    if (control.window != nullptr) EnableWindow(control.window, on ? TRUE : FALSE);
}

StringParameter& runningInstallPath() {
    return gIsMsfs2020.load() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH;
}

void restartWithInstallPath() {
    gf_setStatusLine(fmt::format("Community path found, {} will restart ...", kProgramName), true);
    gf_setExitReason(ExitReason::NewSettings, 3);
}

// Enter runs the field's handler; everything else goes to the field's own procedure. A handler
// that throws leaves the setting as it was and shows its stored value again.
LRESULT editProc(StringControlParameter& p, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR && wParam == 13) {
        gf_clearStatusLine();
        try {
            if (&p == &BLOCK_CALLSIGN)
                lf_onBlockCallsignEntered();
            else if (&p == &DESTINATION)
                lf_onDestinationEntered();
            else
                lf_onInstallPathEntered(runningInstallPath(), lf_getTextFromId(p.controlId));
        } catch (const std::exception& e) {
            gf_logHighlighted(fmt::format("{} exception {}", "lf_editSubclassProc", e.what()));
            gf_setStringControlText(p);
        }
        return 0;
    }
    return CallWindowProcW(reinterpret_cast<WNDPROC>(p.previousWndProc), window, message, wParam, lParam);
}

} // namespace

LRESULT lf_installPathEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return editProc(ALL_INSTALL_PATH, window, message, wParam, lParam);
}
LRESULT lf_blockCallsignEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return editProc(BLOCK_CALLSIGN, window, message, wParam, lParam);
}
LRESULT lf_destinationEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return editProc(DESTINATION, window, message, wParam, lParam);
}

std::string lf_getTextFromId(uint16_t controlId) {
    const HWND control = GetDlgItem(gf_controlLookupWindow(), controlId);
    if (control == nullptr) {
        gf_log(fmt::format("GetDlgItem failed for ID {}", controlId));
        return {};
    }
    const int n = GetWindowTextLengthW(control);
    if (n <= 0) return {};
    std::u16string buffer(static_cast<std::size_t>(n) + 1, u'\0');
    const int got = GetWindowTextW(control, buffer.data(), n + 1);
    if (got < 1) return {};
    buffer.resize(static_cast<std::size_t>(got));
    try {
        return wide_to_utf8(buffer);
    } catch (const std::exception& e) {
        gf_logHighlighted(
            fmt::format("{}: UTF-16 UTF-8 failed for id {}: {}", "lf_getTextFromId", controlId, e.what()));
        return {};
    }
}

void lf_onInstallPathEntered(StringParameter& installPath, const std::string& text) {
    gf_clearStatusError();
    gf_clearStatusLine();
    if (text.empty()) {
        if (!installPath.current.get().empty()) gf_setStringParameter(installPath, "");
        return;
    }
    // A rejected path is explained; the field shows the stored path again.
    const auto reject = [](const std::string& why) {
        gf_setStatusLine(why, true);
        gf_setStringControlText(ALL_INSTALL_PATH);
    };
    const fs::path p(text);
    std::error_code ec;
    const fs::file_status status = fs::status(p, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        reject(fmt::format("Cannot access install path '{}': {}", text, ec.message()));
        return;
    }
    if (status.type() == fs::file_type::not_found) {
        reject(fmt::format("This install path does not exist: {}", text));
        return;
    }
    // The last component, trailing separators not counted.
    fs::path trimmed = p;
    while (trimmed.has_relative_path() && trimmed.filename().empty())
        trimmed = trimmed.parent_path();
    if (trimmed.filename() == "Community") {
        const fs::path parent = trimmed.parent_path();
        if (!fs::exists(parent / "Community", ec)) {
            reject("This path does not contain a valid Community folder (unexpected).");
            return;
        }
        gf_setStringParameter(installPath, parent.string());
    } else {
        if (!fs::exists(p / "Community", ec)) {
            reject("This path exists but is not a path to Community ...");
            return;
        }
        gf_setStringParameter(installPath, text);
    }
    ALL_INSTALL_PATH.current.set(installPath.current.get());
    gf_setStringControlText(ALL_INSTALL_PATH);
    restartWithInstallPath();
}

void lf_onBlockCallsignEntered() {
    gf_clearStatusLine();
    std::string t = lf_getTextFromId(BLOCK_CALLSIGN.controlId);
    if (t.empty()) {
        if (!BLOCK_CALLSIGN.current.get().empty()) lf_unblockCallsign();
        return;
    }
    if (t.size() < 4 || t.size() > 8) {
        gf_setStatusLine(fmt::format("callsign '{}' is not valid", t), true);
        gf_setStringControlText(BLOCK_CALLSIGN);
        return;
    }
    t = gf_toUpperAscii(std::move(t));
    if (t == BLOCK_CALLSIGN.current.get()) {
        gf_setStatusLine(fmt::format("callsign '{}' was already set ...", t), true);
        gf_setStringControlText(BLOCK_CALLSIGN);
        return;
    }
    if (t == CALLSIGN_2_OBJECTID.current.get()) gf_resetCallsignSelection();
    lf_blockCallsign(t);
}

void lf_unblockCallsign() {
    const std::string old = BLOCK_CALLSIGN.current.get();
    if (old.empty()) return;
    gf_setStringParameter(BLOCK_CALLSIGN, "");
    gf_setStringControlText(BLOCK_CALLSIGN);
    enable(UNBLOCK_BUTTON, false);
    gf_setStatusLine(fmt::format("no more blocking of live aircraft '{}'", old), true);
    gBlockRequest.exchange(true);
}

void lf_blockCallsign(const std::string& callsign) {
    gf_setStringParameter(BLOCK_CALLSIGN, callsign);
    gf_setStringControlText(BLOCK_CALLSIGN);
    enable(UNBLOCK_BUTTON, true);
    gBlockRequest.exchange(true);
}

void lf_onDestinationEntered() {
    gf_clearStatusLine();
    std::string t = lf_getTextFromId(DESTINATION.controlId);
    if (t.empty()) {
        DESTINATION.current.set({});
        enable(REREAD_BUTTON, true);
        gf_setStatusLine("destination set to empty", true);
        return;
    }
    const auto rejectAs = [](const std::string& text) {
        gf_setStatusLine(text, true);
        gf_setStringControlText(DESTINATION);
    };
    if (t.size() != 4) return rejectAs(fmt::format("destination '{}' is not valid", t));
    t = gf_toUpperAscii(std::move(t));
    if (t == DESTINATION.current.get())
        return rejectAs(fmt::format("destination '{}' was already set ...", t));
    FixedCode<4> code;
    try {
        code = FixedCode<4>(t);
    } catch (const std::invalid_argument&) {
        // A blank or another character no airport code has.
        return rejectAs(fmt::format("destination '{}' is not valid", t));
    }
    for (const AirportRecord& airport : gAirports) {
        if (airport.icaoCode != code) continue;
        lf_setDestination(t, airport.latitude, airport.longitude);
        return;
    }
    rejectAs(fmt::format("destination '{}' is unknown ...", t));
}

void lf_setDestination(const std::string& icao, double latitude, double longitude) {
    // The stored destination applied at start is saved already.
    if (icao != DESTINATION.current.get()) gf_setStringParameter(DESTINATION, icao);
    gf_setStringControlText(DESTINATION);
    gf_setStatusLine(fmt::format("New destination: {}", icao), true);
    // The park-airport list keeps itself consistent under its own lock; the code was checked.
    gf_selectMyParkAirport(FixedCode<4>(icao), {latitude, longitude});
    enable(REREAD_BUTTON, false);
}

} // namespace tamrix
