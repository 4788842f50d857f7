#pragma once
// What the main window's status panel shows of the traffic source, and the flags of the run
// that the traffic-source links share with the application shell. The readers, the watchdog
// and the RealTraffic server write these; the painter reads them after a repaint request.

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/win32/window.hpp"

namespace tamrix {

// Reader states as the status panel shows them.
inline constexpr int32_t kReaderReceiving = 1;
inline constexpr int32_t kReaderSilent = 2;
inline constexpr int32_t kReaderStopped = 3;

extern std::atomic<int32_t> gTrafficReaderState;  // kReaderStopped until the reader runs
extern std::atomic<int32_t> gQnhReaderState;      // kReaderStopped until the reader runs
// RealTraffic is connected (or no server is used); enables the reader watchdog.
extern std::atomic<bool> gTrafficRunFlag;
// The QNH shown (hPa); 0 until the first QNH has arrived.
extern std::atomic<int32_t> gShownQnh;

// "RT {} edition: {}" of the last version answer, or empty.
void gf_setRealTrafficText(std::string text);
std::string gf_realTrafficText();

// Set by start-up when "RealTraffic.jar" is on this PC: the readers then bind to 127.0.0.1 and
// suppress no repeated datagrams, and the RealTraffic server is used.
extern std::atomic<bool> gRealTrafficOnThisPc;
// Set at process start and by the clean-up before a restart; cleared once RealTraffic connected.
extern std::atomic<bool> gWaitingForRealTraffic;

// Everything above as at process start (before a new run, and between tests).
void gf_resetTrafficSourceState();

// The status area of the main window (client coordinates).
inline constexpr RECT kStatusArea{0, 28, 880, 112};
// Asks for a repaint of the status area (erasing) of the main window; nothing before the window
// exists.
void gf_invalidateStatusPanel();

} // namespace tamrix
