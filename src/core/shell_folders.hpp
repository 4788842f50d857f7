#pragma once
// Folders the program opens for the user in the desktop shell, and the simulator's installation
// folder kept at start-up. The application shell and the livery scan use them.

#include <filesystem>

namespace tamrix {

// Open the shell at the local folder of the manual ("docs"), or at the folder holding
// "parameters.xml". On failure a message box says so and the result is false.
bool gf_openManualFolder();
bool gf_openParametersFolder();

// The installation (packages) folders of both simulator versions, kept by start-up once they are
// detected; empty when unknown.
void gf_setMsfsPaths(std::filesystem::path msfs2020, std::filesystem::path msfs2024);
// The folder of the simulator version in use joined with the sub-path; empty while that folder
// is unknown. Never fails.
std::filesystem::path gf_msfsPath(const std::filesystem::path& subPath);

} // namespace tamrix
