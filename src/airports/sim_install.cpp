#include "airports/sim_install.hpp"

#include <string>
#include <system_error>

#include <fmt/format.h>

#include "config/control_binding.hpp"
#include "config/parameters_file.hpp"
#include "config/settings.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/run_state.hpp"
#include "core/shell_folders.hpp"
#include "core/text_files.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kInstalledPackagesPath = "InstalledPackagesPath";
// A line shorter than the key itself cannot hold it.
constexpr std::size_t kMinUserCfgLine = 21;
// The simulator's settings file has some kilobytes of lines.
constexpr std::size_t kMaxUserCfgBytes = std::size_t{1} << 20;

bool isMsfs2020() { return gIsMsfs2020.load(); }

StringParameter& installPathSetting() { return isMsfs2020() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH; }

const fs::path& officialFolder() { return isMsfs2020() ? kOfficialFolder : kOfficial2024Folder; }

// A directory test that treats only absence as "no"; any other failure throws ("status").
bool isDirectory(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
        throw fs::filesystem_error("status", path, ec);
    return fs::is_directory(status);
}

// Paths are kept as UTF-8 text, whatever the user's folder names hold.
std::string utf8Text(const fs::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

} // namespace

fs::path lf_storeFamilyName() {
    return isMsfs2020() ? fs::path("Microsoft.FlightSimulator_8wekyb3d8bbwe")
                        : fs::path("Microsoft.Limitless_8wekyb3d8bbwe");
}

fs::path lf_steamFolderName() {
    return isMsfs2020() ? fs::path("Microsoft Flight Simulator") : fs::path("Microsoft Flight Simulator 2024");
}

bool lf_isPackagesFolder(const fs::path& path) {
    if (path.empty()) return false;
    return isDirectory(path) && isDirectory(path / kCommunityFolder) && isDirectory(path / officialFolder());
}

fs::path lf_steamPackagesPath() {
    const fs::path roaming = gf_appDataPath();
    if (roaming.empty()) return {};
    fs::path p = roaming / lf_steamFolderName() / "Packages";
    if (!gf_pathExists(p)) return {};
    gf_log(fmt::format("Steam packages: {}", utf8Text(p)));
    return p;
}

fs::path lf_findUserCfgOpt() {
    const fs::path local = gf_localAppDataPath();
    const fs::path roaming = gf_appDataPath();
    const fs::path candidates[] = {
        local / "Packages" / lf_storeFamilyName() / "LocalCache" / "UserCfg.opt",
        roaming / lf_steamFolderName() / "UserCfg.opt",
        local / "Packages" / "Microsoft.FlightDashboard_8wekyb3d8bbwe" / "LocalCache" / "UserCfg.opt",
        local / "MSFSPackages" / "UserCfg.opt",
    };
    for (const fs::path& candidate : candidates) {
        // Without the known folder the candidate is a relative name that must not be tried.
        if (candidate.is_absolute() && gf_pathExists(candidate)) return candidate;
        gf_log(fmt::format("MSFS detection, not found: {}", utf8Text(candidate)));
    }
    return {};
}

std::string lf_installedPackagesValue(const std::string& line) {
    const auto first = line.find('"');
    if (first == std::string::npos) return line;
    const auto second = line.find('"', first + 1);
    if (second == std::string::npos) return {};
    return line.substr(first + 1, second - first - 1);
}

fs::path lf_readUserCfgOpt() {
    const fs::path file = lf_findUserCfgOpt();
    if (file.empty() || !gf_pathExists(file)) {
        gf_log("No UserCfg.opt found?");
        return {};
    }
    TextFile text{file, {}};
    const ReadLinesResult read = gf_readLines(text, 64, kMaxUserCfgBytes);
    if (!read.ok) gf_logHighlighted(fmt::format("! {} not read: {}", utf8Text(file), read.problem));
    const std::string* found = nullptr;
    if (read.ok)
        for (const std::string& line : read.lines)
            if (line.size() >= kMinUserCfgLine && line.find(kInstalledPackagesPath) != std::string::npos) {
                found = &line;
                break;
            }
    if (found == nullptr) {
        gf_log("UserCfg.opt: InstalledPackagesPath=???");
        return {};
    }
    const std::string value = lf_installedPackagesValue(*found);
    gf_log(fmt::format("UserCfg.opt: InstalledPackagesPath={}", value));
    if (value.empty()) return {};
    // The simulator writes a Windows path; on this system it names a native folder.
    const fs::path path = gf_pathFromWindowsText(value);
    try {
        return gf_pathExists(path) ? path : fs::path();
    } catch (const fs::filesystem_error& e) {
        // A damaged line (a name too long, a loop) names no packages folder; the user can still
        // type the install path.
        gf_log(fmt::format("UserCfg.opt: InstalledPackagesPath cannot be used: {}", e.code().message()));
        return {};
    }
}

int32_t gf_detectMsfs() {
    fs::path p = lf_steamPackagesPath();
    if (!lf_isPackagesFolder(p)) {
        p = lf_readUserCfgOpt();
        if (!lf_isPackagesFolder(p)) return 0;
    }
    const std::string text = utf8Text(p);
    gf_setStringParameter(installPathSetting(), text);
    ALL_INSTALL_PATH.current.set(text);
    if (ALL_INSTALL_PATH.window != nullptr) gf_setStringControlText(ALL_INSTALL_PATH);
    gf_publishMsfsPaths();
    return 1;
}

void gf_publishMsfsPaths() {
    gf_setMsfsPaths(fs::path(MSFS_INSTALL_PATH.current.get()), fs::path(MSFS_2024_INSTALL_PATH.current.get()));
}

fs::path gf_msfsInstallPath(const fs::path& subPath) {
    const std::string base = installPathSetting().current.get();
    return base.empty() ? fs::path() : fs::path(base) / subPath;
}

} // namespace tamrix
