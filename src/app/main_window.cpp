#include "app/main_window.hpp"

#include <fmt/format.h>

#include "app/app_state.hpp"
#include "app/edit_fields.hpp"
#include "app/main_loop.hpp"
#include "config/control_binding.hpp"
#include "config/settings.hpp"
#include "core/log.hpp"
#include "core/number_helpers.hpp"
#include "core/status_line.hpp"
#include "core/version_data.hpp"
#include "links/traffic_source_state.hpp"

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

HWND createChild(HWND parent, const char16_t* className, const std::u16string& caption, DWORD style, int x, int y,
                 int width, int height, uint16_t id) {
    return CreateWindowExW(0, className, caption.c_str(), style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), nullptr, nullptr);
}

std::u16string ascii16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

void pushButton(HWND parent, ButtonParameter& p, int x, int width) {
    p.window = createChild(parent, u"button", ascii16(p.name), kPushButtonStyle, x, static_cast<int>(p.row), width, 20,
                           p.controlId);
    EnableWindow(p.window, FALSE); // enabled by whoever can serve it
}

void checkBox(HWND parent, CheckBoxParameter& p, int x) {
    p.window = createChild(parent, u"button", u"", kCheckBoxStyle, x, static_cast<int>(p.row) + 2, 12, 12, p.controlId);
    CheckDlgButton(parent, p.controlId, p.current.load() ? BST_CHECKED : BST_UNCHECKED);
}

void editBox(HWND parent, StringControlParameter& p, int x, int width, WNDPROC procedure) {
    p.window = createChild(parent, u"Edit", u"", kEditStyle, x, static_cast<int>(p.row), width, 16, p.controlId);
    p.previousWndProc = SetWindowLongPtrW(p.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    EnableWindow(p.window, FALSE);
}

void comboBox(HWND parent, ParameterControl& p, int x, int width, int dropHeight) {
    p.window = createChild(parent, u"ComboBox", u"", kComboStyle, x, static_cast<int>(p.row) - 5, width, dropHeight,
                           p.controlId);
}

void enable(const ParameterControl& control, bool on) {
    if (control.window != nullptr) EnableWindow(control.window, on ? TRUE : FALSE);
}

void invalidate(const RECT& rect, bool erase) {
    const HWND window = gMainWindow.load();
    if (window != nullptr) InvalidateRect(window, &rect, erase ? TRUE : FALSE);
}

} // namespace

MainWindowState& gf_mainWindowState() { return *gState; }

void gf_resetMainWindowState() {
    MainWindowState& s = *gState;
    for (auto* text : {&s.parkAirportName, &s.parkAirportSecond, &s.qualityText, &s.parkAirportCode}) text->set({});
    s.staticAverageFit = -1.0f;
    s.liveAverageFit = -1.0f;
    s.liveCountShown = s.parkedLiveCountShown = s.staticCountShown = s.stands = s.waitingStaticCandidates = 0;
    s.wantedPercentage = s.standsToFill = s.trafficWeek = 0;
    s.standUpdates = 0;
    s.handmade = s.parkAirportLoaded = s.softFit = s.weekFit = s.reservedStandFound = false;
    s.realTrafficLampOff = true;
    gStaticParkingBusy = false;
}

WindowSeams& gf_windowSeams() {
    static WindowSeams seams;
    return seams;
}

void gf_serveWindowRequests() {
    const WindowSeams& seams = gf_windowSeams();
    if (gNavLightsRequest.exchange(false) && seams.navLightsWhileParked)
        seams.navLightsWhileParked(NAV_LIGHTS_WHILE_PARKED.current.load());
    if (gTrimLiveRequest.exchange(false) && seams.activeLiveCount && seams.removeFarthestLive) {
        const int32_t excess = seams.activeLiveCount() - MAX_LIVE_SEL.current.load();
        if (excess >= 1) seams.removeFarthestLive(excess);
    }
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

void gf_invalidateOptionsArea() { invalidate(kOptionsBand, true); }

void gf_disableStaticParkingControls() {
    gStaticParkingBusy.exchange(true);
    for (const ParameterControl* c :
         {static_cast<const ParameterControl*>(&parking_percentage), static_cast<const ParameterControl*>(&WEEK),
          static_cast<const ParameterControl*>(&PARK_SOFT), static_cast<const ParameterControl*>(&MAX_FIT_FL),
          static_cast<const ParameterControl*>(&MAX_PARK_SEL), static_cast<const ParameterControl*>(&MAX_LIVE_SEL),
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
         {static_cast<const ParameterControl*>(&MAX_PARK_SEL), static_cast<const ParameterControl*>(&MAX_LIVE_SEL),
          static_cast<const ParameterControl*>(&parking_percentage), static_cast<const ParameterControl*>(&WEEK),
          static_cast<const ParameterControl*>(&PARK_SOFT), static_cast<const ParameterControl*>(&MAX_FIT_FL)})
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
    const WindowSeams& seams = gf_windowSeams();
    MainWindowState& s = *gState;
    const uint64_t parked = seams.parkedLiveCount ? seams.parkedLiveCount() : 0;
    const uint64_t moving = seams.movingLiveCount ? seams.movingLiveCount() : 0;
    if (moving != s.liveCountShown.load()) {
        s.liveCountShown = moving;
        invalidate(kStatusBand, true);
    }
    const uint64_t statics = seams.staticCount ? seams.staticCount() : 0;
    if (statics != s.staticCountShown.load() || parked != s.parkedLiveCountShown.load()) {
        s.staticCountShown = statics;
        s.parkedLiveCountShown = parked;
        invalidate(kParkingBand, true);
    }
}

} // namespace tamrix
