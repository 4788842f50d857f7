// "UserCfg.opt" is the simulator's own settings file, read to find its packages folder: any bytes,
// in any encoding. The text "$PKGS" in the input stands for a real packages folder of the scratch
// folder, so that inputs can also name one that exists. Detection must never crash, and a folder
// it takes must be a packages folder.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "airports/sim_install.hpp"
#include "config/settings.hpp"
#include "fuzz_scratch.hpp"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const fuzzsupport::ScratchFolder scratch("usercfg");
    static const fs::path packages = scratch.path() / "packages";
    static const bool pointed = [] {
        ::setenv("QUORVEL_ROAMING_APPDATA", (scratch.path() / "roaming").c_str(), 1);
        ::setenv("QUORVEL_LOCAL_APPDATA", (scratch.path() / "local").c_str(), 1);
        fs::create_directories(scratch.path() / "roaming" / "Quorvel");
        fs::create_directories(scratch.path() / "local");
        fs::create_directories(packages / kCommunityFolder);
        fs::create_directories(packages / kOfficialFolder);
        return true;
    }();
    (void)pointed;
    std::string text(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = text.find("$PKGS"); at != std::string::npos; at = text.find("$PKGS", at + 1))
        text.replace(at, 5, packages.string());
    fuzzsupport::writeBytes(scratch.path() / "roaming" / lf_steamFolderName() / "UserCfg.opt", text);

    if (gf_detectMsfs() == 1 && !lf_isPackagesFolder(fs::path(ALL_INSTALL_PATH.current.get()))) std::abort();
    ALL_INSTALL_PATH.current.set("");
    MSFS_INSTALL_PATH.current.set("");
    MSFS_2024_INSTALL_PATH.current.set("");
    return 0;
}
