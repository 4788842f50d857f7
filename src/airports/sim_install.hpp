#pragma once
// The simulator's packages folder: the folder that holds "Community" and "Official" (MSFS 2020)
// or "Official2024" (MSFS 2024). Start-up finds it in the Steam edition's place, or through the
// simulator's "UserCfg.opt" of the Store or Steam edition, and keeps it in the setting of the
// running simulator version; the scans build their paths below it.

#include <cstdint>
#include <filesystem>

namespace tamrix {

// Process-wide folder names of the packages folder.
inline const std::filesystem::path kCommunityFolder{"Community"};
inline const std::filesystem::path kOfficial2024Folder{"Official2024"};
inline const std::filesystem::path kOfficialFolder{"Official"};

// Finds the packages folder of the running simulator version. Found: the setting of that version
// (MSFS_INSTALL_PATH or MSFS_2024_INSTALL_PATH) is set and saved, ALL_INSTALL_PATH shows it (not
// saved) and the scans see it (gf_publishMsfsPaths); result 1. Not found: 0. Start-up calls it
// when ALL_INSTALL_PATH is empty. Throws std::filesystem::filesystem_error when a folder's status
// cannot be read for another reason than its absence.
int32_t gf_detectMsfs();

// Hands the two install-path settings to the folder lookup the scans use (core's gf_msfsPath).
// Start-up calls it once the settings are read, and again whenever a setting changes.
void gf_publishMsfsPaths();

// The running version's install-path setting as a path, joined with the sub-path; empty while
// the setting is empty.
std::filesystem::path gf_msfsInstallPath(const std::filesystem::path& subPath);

// True when the path, its "Community" and its official folder by version are all directories.
bool lf_isPackagesFolder(const std::filesystem::path& path);
// Roaming application data / Steam folder by version / "Packages" when it exists, else empty.
std::filesystem::path lf_steamPackagesPath();
// The folder named by the InstalledPackagesPath line of the first "UserCfg.opt" found, when it
// exists; else empty.
std::filesystem::path lf_readUserCfgOpt();
// The first existing "UserCfg.opt" of the four places the editions keep it; else empty.
std::filesystem::path lf_findUserCfgOpt();
// The value of an InstalledPackagesPath line: between the first double quote and the next one;
// empty when there is no second one; the whole line when it has no double quote.
std::string lf_installedPackagesValue(const std::string& line);

std::filesystem::path lf_storeFamilyName();
std::filesystem::path lf_steamFolderName();

} // namespace tamrix
