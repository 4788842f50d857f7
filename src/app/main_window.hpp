#pragma once
// The main window: its fixed layout, the values its panels show that no other part of the
// program owns, the creation of its child controls, and the busy state of static parking with
// the parking controls that follow it.

#include <atomic>
#include <cstdint>
#include <string>

#include "core/guarded.hpp"
#include "platform/win32/gdi.hpp"
#include "platform/win32/window.hpp"

namespace tamrix {

inline constexpr int kWindowWidth = 880;
inline constexpr int kWindowHeight = 516;
inline constexpr RECT kHeaderBand{0, 0, 880, 28};
inline constexpr RECT kStatusBand{0, 28, 880, 112};
inline constexpr RECT kOptionsBand{0, 112, 880, 392};
inline constexpr RECT kParkingBand{0, 392, 880, 448};
inline constexpr RECT kMessageBand{0, 448, 880, 476};

// Colours (0x00BBGGRR).
inline constexpr COLORREF kRed = 0x0000FF;
inline constexpr COLORREF kLightBlue = 0xFFCC99;
inline constexpr COLORREF kBlack = 0x000000;
inline constexpr COLORREF kGreen = 0x32CD32;
inline constexpr COLORREF kYellow = 0x00FFFF;
inline constexpr COLORREF kWhite = 0xFFFFFF;
inline constexpr COLORREF kGrey = 0xA0A0A0;

// What the panels show that other parts write (the park airport, static parking, the livery
// count). Numbers and flags are single values; texts are read as copies.
struct MainWindowState {
    Guarded<std::string> parkAirportName;
    Guarded<std::string> parkAirportSecond;
    Guarded<std::string> qualityText;
    Guarded<std::string> parkAirportCode; // empty: no park airport
    std::atomic<float> staticAverageFit{-1.0f};
    std::atomic<float> liveAverageFit{-1.0f};
    std::atomic<uint64_t> liveCountShown{0};
    std::atomic<uint64_t> parkedLiveCountShown{0};
    std::atomic<uint64_t> staticCountShown{0};
    std::atomic<uint64_t> stands{0};
    std::atomic<uint64_t> waitingStaticCandidates{0};
    std::atomic<int32_t> wantedPercentage{0};
    std::atomic<int32_t> standsToFill{0};
    std::atomic<uint32_t> standUpdates{0};
    std::atomic<int32_t> trafficWeek{0};
    std::atomic<bool> handmade{false};
    std::atomic<bool> realTrafficLampOff{true};
    std::atomic<bool> parkAirportLoaded{false};
    std::atomic<bool> softFit{false};
    std::atomic<bool> weekFit{false};
    std::atomic<bool> reservedStandFound{false};
};
MainWindowState& gf_mainWindowState();
// Everything back to the values the process starts with (the clean-up before a restart, tests).
void gf_resetMainWindowState();

// Static parking is being computed or adjusted; the parking controls are disabled meanwhile.
extern std::atomic<bool> gStaticParkingBusy;
// The parking controls have been enabled or disabled at least once (never cleared).
extern std::atomic<bool> gParkingControlsInitialised;

// Requests from the window to the start-up thread, served in its per-second work.
extern std::atomic<bool> gNavLightsRequest;
extern std::atomic<bool> gTrimLiveRequest;
// Serves the two requests above on the start-up thread, which owns the aircraft (the main loop's
// per-second work calls it): the nav lights of every active static aircraft and every parked
// live aircraft follow NAV_LIGHTS_WHILE_PARKED; live aircraft beyond MAX_LIVE_SEL are taken out,
// the farthest from the user aircraft first.
void gf_serveWindowRequests();

// Takes the window position stored in "parameters.xml" into MAIN_WINDOW_X/Y before the window
// is created (the settings themselves are loaded later) and keeps it on a monitor; a missing or
// unusable file leaves the defaults.
void lf_loadWindowPosition();
// Corrects MAIN_WINDOW_X/Y (saving what changes) and the window, when it exists, so that at
// least 48 pixels of the window lie inside the work area of its nearest monitor on every side.
// A coordinate at its limit (a minimized window's -30000) becomes the fallback.
void lf_keepWindowOnMonitor(int32_t fallbackX, int32_t fallbackY);

// Creates the child controls at their places, each bound to its setting, and subclasses the
// three edit fields.
void lf_createControls(HWND parent);
// Repaints the options area (erasing) of the main window.
void gf_invalidateOptionsArea();

// Static parking busy: the parking controls are disabled, and enabled again when it is done.
void gf_disableStaticParkingControls();
void gf_enableStaticParkingControls();
// Announces the static-parking update at the next multiple of 15 simulator seconds and raises
// the request; the previous state of the request.
bool lf_announceStaticParkingUpdate();

// The panels follow the aircraft counts (once per simulator second).
void lf_repaintIfCountsChanged();

} // namespace tamrix
