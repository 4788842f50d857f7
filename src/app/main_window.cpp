#include "app/main_window.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/static_consistency.hpp"
#include "airports/static_placing.hpp"
#include "app/app_state.hpp"
#include "app/edit_fields.hpp"
#include "app/main_loop.hpp"
#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "config/xml_helpers.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/paths.hpp"
#include "core/status_line.hpp"
#include "core/version_data.hpp"
#include "links/sim_queues.hpp"
#include "links/traffic_source_state.hpp"
#include "platform/win32/monitors.hpp"
#include "records/aircraft.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

namespace tamrix {

std::atomic<bool> gStaticParkingBusy{false};
std::atomic<bool> gParkingControlsInitialised{false};
std::atomic<bool> gNavLightsRequest{false};
std::atomic<bool> gTrimLiveRequest{false};

namespace {

constexpr DWORD kPushButtonStyle = 0x50010001;
constexpr DWORD kCheckBoxStyle = 0x50010002;
constexpr DWORD kEditStyle = 0x50810000;
constexpr DWORD kComboStyle = 0x50210003;

MainWindowState* gState = new MainWindowState; // lives as long as the process

HWND createChild(HWND parent, const char16_t* className, const std::u16string& caption, DWORD style, int x,
                 int y, int width, int height, uint16_t id) {
    return CreateWindowExW(0, className, caption.c_str(), style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), nullptr, nullptr);
}

std::u16string ascii16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

void pushButton(HWND parent, ButtonParameter& p, int x, int width) {
    p.window = createChild(parent, u"button", ascii16(p.name), kPushButtonStyle, x, static_cast<int>(p.row),
                           width, 20, p.controlId);
    EnableWindow(p.window, FALSE); // enabled by whoever can serve it
}

void checkBox(HWND parent, CheckBoxParameter& p, int x) {
    p.window = createChild(parent, u"button", u"", kCheckBoxStyle, x, static_cast<int>(p.row) + 2, 12, 12,
                           p.controlId);
    CheckDlgButton(parent, p.controlId, p.current.load() ? BST_CHECKED : BST_UNCHECKED);
}

void editBox(HWND parent, StringControlParameter& p, int x, int width, WNDPROC procedure) {
    p.window =
        createChild(parent, u"Edit", u"", kEditStyle, x, static_cast<int>(p.row), width, 16, p.controlId);
    p.previousWndProc = SetWindowLongPtrW(p.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    EnableWindow(p.window, FALSE);
}

void comboBox(HWND parent, ParameterControl& p, int x, int width, int dropHeight) {
    p.window = createChild(parent, u"ComboBox", u"", kComboStyle, x, static_cast<int>(p.row) - 5, width,
                           dropHeight, p.controlId);
}

void enable(const ParameterControl& control, bool on) {
    if (control.window != nullptr) EnableWindow(control.window, on ? TRUE : FALSE);
}

void invalidate(const RECT& rect, bool erase) {
    const HWND window = gMainWindow.load();
    if (window != nullptr) InvalidateRect(window, &rect, erase ? TRUE : FALSE);
}

} // namespace

MainWindowState& gf_mainWindowState() {
    return *gState;
}

void gf_resetMainWindowState() {
    MainWindowState& s = *gState;
    for (auto* text : {&s.parkAirportName, &s.parkAirportSecond, &s.qualityText, &s.parkAirportCode})
        text->set({});
    s.staticAverageFit = -1.0f;
    s.liveAverageFit = -1.0f;
    s.liveCountShown = s.parkedLiveCountShown = s.staticCountShown = s.stands = s.waitingStaticCandidates = 0;
    s.wantedPercentage = s.standsToFill = s.trafficWeek = 0;
    s.standUpdates = 0;
    s.handmade = s.parkAirportLoaded = s.softFit = s.weekFit = s.reservedStandFound = false;
    s.realTrafficLampOff = true;
    gStaticParkingBusy = false;
}

void gf_serveWindowRequests() {
    if (gNavLightsRequest.exchange(false)) {
        const uint32_t on = NAV_LIGHTS_WHILE_PARKED.current.load() ? 1 : 0;
        for (const StaticAircraft& aircraft : gStaticAircraft)
            if (aircraft.state == LiveState::Active) gf_queueNavLights(aircraft.objectId, on);
        for (const LiveAircraft& aircraft : gLiveAircraft)
            if (aircraft.state == LiveState::Active && aircraft.phase == MovePhase::Parked)
                gf_queueNavLights(aircraft.objectId, on);
    }
    if (gTrimLiveRequest.exchange(false)) {
        const auto active = std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(),
                                          [](const LiveAircraft& a) { return a.state == LiveState::Active; });
        // Each removal leaves the aircraft in removingfromsim, so the next one finds another.
        for (auto excess = active - MAX_LIVE_SEL.current.load(); excess >= 1; --excess)
            gf_removeFarthestLiveAc(-1.0);
    }
}

void lf_loadWindowPosition() {
    std::error_code ec;
    if (!std::filesystem::exists(gf_paths().parametersPath, ec))
        return; // the defaults, as a first start has them
    pugi::xml_document document;
    std::string problem;
    if (!gf_loadParametersDocument(document, problem)) {
        // The settings reader keeps a copy of the file before it replaces it; here it is left alone.
        gf_logHighlighted(fmt::format("{} failed to load ({}); the window opens at its default place",
                                      gf_paths().parametersPath.string(), problem));
        return;
    }
    for (IntParameter* p : {&MAIN_WINDOW_X, &MAIN_WINDOW_Y}) {
        const pugi::xml_node node = gf_findParameterNode(document, p->name);
        p->current.store(node ? p->clamp(node.attribute("value").as_llong(p->defaultValue))
                              : p->defaultValue);
    }
    lf_keepWindowOnMonitor(MAIN_WINDOW_X.defaultValue, MAIN_WINDOW_Y.defaultValue);
}

void lf_keepWindowOnMonitor(int32_t fallbackX, int32_t fallbackY) {
    for (auto [p, fallback] : {std::pair{&MAIN_WINDOW_X, fallbackX}, std::pair{&MAIN_WINDOW_Y, fallbackY}}) {
        const int32_t value = p->current.load();
        if (value == p->minValue || value == p->maxValue) {
            p->current.store(p->clamp(fallback));
            gf_saveIntParameter(*p);
        }
    }
    // The window as it stands, or as it will be created: its whole rectangle must stay reachable.
    const HWND window = gMainWindow.load();
    RECT rect{0, 0, kWindowWidth, kWindowHeight};
    if (window != nullptr) GetWindowRect(window, &rect);
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    const LONG x = MAIN_WINDOW_X.current.load();
    const LONG y = MAIN_WINDOW_Y.current.load();
    rect = {x, y, x + width, y + height};

    MONITORINFO info;
    if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info) == FALSE) return;
    const RECT& work = info.rcWork;
    constexpr LONG kReachable = 48;
    // One axis: [low, high) of the window within [workLow, workHigh).
    const auto keep = [&](LONG low, LONG size, LONG workLow, LONG workHigh) {
        if (size > workHigh - workLow) low = workLow;
        if (low + size < workLow + kReachable) low = workLow + kReachable - size;
        return std::min(low, workHigh - kReachable);
    };
    const LONG left = keep(x, width, work.left, work.right);
    const LONG top = keep(y, height, work.top, work.bottom);
    if (left == x && top == y) return;
    MAIN_WINDOW_X.current.store(MAIN_WINDOW_X.clamp(left));
    gf_saveIntParameter(MAIN_WINDOW_X);
    MAIN_WINDOW_Y.current.store(MAIN_WINDOW_Y.clamp(top));
    gf_saveIntParameter(MAIN_WINDOW_Y);
    if (window != nullptr)
        SetWindowPos(window, nullptr, MAIN_WINDOW_X.current.load(), MAIN_WINDOW_Y.current.load(), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void lf_createControls(HWND parent) {
    comboBox(parent, SIM_CHOICE, 5, 105, 80);
    editBox(parent, ALL_INSTALL_PATH, 111, 1200, &lf_installPathEditProc);
    checkBox(parent, SCAN_LIVERIES, 5);
    checkBox(parent, LIG_AUTOMATIC, 217);
    comboBox(parent, AI_PACKAGE_SELECTOR, 323, 175, 300);
    checkBox(parent, LIG_PRIORITIZE, 536);
    checkBox(parent, ALWAYS_ON_TOP, 748);
    checkBox(parent, SCAN_AIRPORTS, 5);
    pushButton(parent, TBLO_ZIP_BUTTON, 217, 80);
    checkBox(parent, OBJECTID_LIST, 652);
    checkBox(parent, NAV_LIGHTS_WHILE_PARKED, 748);
    comboBox(parent, MATCHING_DEPTH, 217, 40, 120);
    checkBox(parent, LIGHT_AIRCRAFT, 323);
    checkBox(parent, HELICOPTERS, 430);
    checkBox(parent, HIGH_PERF_AIRCRAFT, 536);
    checkBox(parent, AEROWINX, 652);
    checkBox(parent, GUID_CHANGES, 748);
    comboBox(parent, RANGE, 217, 50, 200);
    checkBox(parent, AUTO_RANGE, 323);
    comboBox(parent, AR_ABOVE_HEIGHT, 455, 70, 230);
    checkBox(parent, AIRBORNE_ONLY, 572);
    checkBox(parent, COLLISION_USER_GND, 217);
    checkBox(parent, COLLISION_USER_AIR, 323);
    checkBox(parent, COLLISION_LIVE_PARKED_GND, 430);
    editBox(parent, BLOCK_CALLSIGN, 107, 100, &lf_blockCallsignEditProc);
    pushButton(parent, UNBLOCK_BUTTON, 223, 60);
    pushButton(parent, CS_TO_OID_BUTTON, 305, 60);
    comboBox(parent, CALLSIGN_2_OBJECTID, 375, 100, 300);
    pushButton(parent, BLOCK_BUTTON, 576, 60);
    pushButton(parent, NOW_BUTTON, 111, 45);
    comboBox(parent, MAX_PARK_SEL, 323, 55, 144);
    comboBox(parent, MAX_LIVE_SEL, 536, 55, 144);
    editBox(parent, DESTINATION, 217, 50, &lf_destinationEditProc);
    comboBox(parent, AIRP_RANGE, 353, 45, 144);
    comboBox(parent, AIRP_HEIGHT, 566, 70, 230);
    checkBox(parent, STRAIGHT_PBS_ONLY, 652);
    checkBox(parent, INITIAL_LOAD_ONLY, 5);
    checkBox(parent, WEEK, 71);
    checkBox(parent, PARK_SOFT, 151);
    comboBox(parent, parking_percentage, 323, 50, 200);
    comboBox(parent, MAX_FIT_FL, 566, 60, 300);
    pushButton(parent, REREAD_BUTTON, 758, 90);
    pushButton(parent, FLUSH_STATIC_BUTTON, 758, 90);
    InvalidateRect(parent, &kOptionsBand, TRUE);
}

void gf_invalidateOptionsArea() {
    invalidate(kOptionsBand, true);
}

void gf_disableStaticParkingControls() {
    gStaticParkingBusy.exchange(true);
    for (const ParameterControl* c :
         {static_cast<const ParameterControl*>(&parking_percentage),
          static_cast<const ParameterControl*>(&WEEK), static_cast<const ParameterControl*>(&PARK_SOFT),
          static_cast<const ParameterControl*>(&MAX_FIT_FL),
          static_cast<const ParameterControl*>(&MAX_PARK_SEL),
          static_cast<const ParameterControl*>(&MAX_LIVE_SEL),
          static_cast<const ParameterControl*>(&FLUSH_STATIC_BUTTON)})
        enable(*c, false);
    if (!INITIAL_LOAD_ONLY.current.load()) enable(NOW_BUTTON, false);
    gParkingControlsInitialised.store(true);
    enable(REREAD_BUTTON, false);
    gf_invalidateOptionsArea();
}

void gf_enableStaticParkingControls() {
    gStaticParkingBusy.exchange(false);
    gMinutesToStaticUpdate.store(20);
    gf_invalidateOptionsArea();
    for (const ParameterControl* c :
         {static_cast<const ParameterControl*>(&MAX_PARK_SEL),
          static_cast<const ParameterControl*>(&MAX_LIVE_SEL),
          static_cast<const ParameterControl*>(&parking_percentage),
          static_cast<const ParameterControl*>(&WEEK), static_cast<const ParameterControl*>(&PARK_SOFT),
          static_cast<const ParameterControl*>(&MAX_FIT_FL)})
        enable(*c, true);
    if (!INITIAL_LOAD_ONLY.current.load()) enable(NOW_BUTTON, true);
    gParkingControlsInitialised.store(true);
    enable(FLUSH_STATIC_BUTTON, true);
    enable(REREAD_BUTTON, true);
    gf_invalidateOptionsArea();
}

bool lf_announceStaticParkingUpdate() {
    gf_disableStaticParkingControls();
    const int32_t s = gSecondsCounter.load();
    const int32_t delay = 15 * (s / 15 + 1) - s;
    if (delay > 0)
        gf_setStatusLine(fmt::format("{} will update static parking in {} second{} ...", kProgramName, delay,
                                     gf_plural(delay)),
                         false);
    return gStaticParkingUpdateRequest.exchange(true);
}

void lf_repaintIfCountsChanged() {
    MainWindowState& s = *gState;
    const auto parked = static_cast<uint64_t>(gf_countLiveParkedAc(0));
    const auto moving = static_cast<uint64_t>(
        std::count_if(gLiveAircraft.begin(), gLiveAircraft.end(), [](const LiveAircraft& a) {
            return a.state == LiveState::Active && a.phase != MovePhase::Parked;
        }));
    if (moving != s.liveCountShown.load()) {
        s.liveCountShown = moving;
        invalidate(kStatusBand, true);
    }
    const auto statics = static_cast<uint64_t>(gf_countStaticAc(0));
    if (statics != s.staticCountShown.load() || parked != s.parkedLiveCountShown.load()) {
        s.staticCountShown = statics;
        s.parkedLiveCountShown = parked;
        invalidate(kParkingBand, true);
    }
}

} // namespace tamrix
