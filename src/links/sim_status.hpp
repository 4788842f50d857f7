#pragma once
// What the main window's status panel shows of the simulator link: the simulator text ("MSFS 2020
// (11.0.282174.999)"), the user aircraft text (its title, or "Unknown (encrypted?) aircraft"),
// the user stand text and whether the running state has been shown. The SimClient thread writes
// them and asks for a repaint; the painter reads them from the main thread.

#include <atomic>
#include <string>

namespace tamrix {

// The running state as last shown ("Sim" event).
extern std::atomic<bool> gSimRunningShown;

void gf_setSimulatorText(std::string text);
std::string gf_simulatorText();
void gf_setUserAcText(std::string text);
std::string gf_userAcText();
void gf_setUserStandText(std::string text);
std::string gf_userStandText();

// The clean-up before a restart: the three texts empty, the running state not shown.
void gf_resetSimStatusTexts();

} // namespace tamrix
