// "versions.json" comes from the download server: any bytes. Served as the server's list, the
// updater reads it and acts on every component it names (the server holds no files here, so
// each download it starts fails); nothing may crash, and whatever version it keeps for a
// component must read back as the same version.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "app/updater.hpp"
#include "config/settings.hpp"
#include "core/run_state.hpp"
#include "core/user_error.hpp"
#include "core/version_data.hpp"
#include "fuzz_scratch.hpp"

namespace fs = std::filesystem;

namespace {

bool readsBack(const std::string& text) {
    return text.empty() || tamrix::VersionData(text).text() == text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    static const fuzzsupport::ScratchFolder scratch("versions");
    static const bool pointed = [] {
        ::setenv("QUORVEL_DOWNLOAD_BASE", ("file://" + (scratch.path() / "server").string() + "/").c_str(),
                 1);
        ::setenv("QUORVEL_ROAMING_APPDATA", (scratch.path() / "roaming").c_str(), 1);
        fs::create_directories(scratch.path() / "roaming" / "Quorvel");
        return true;
    }();
    (void)pointed;
    const fuzzsupport::InFolder in(scratch.path() / "work");
    fuzzsupport::writeBytes(scratch.path() / "server" / "versions.json",
                            std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        (void)gf_checkForUpdates();
    } catch (const UserErrorException&) {
        // A newer program version that cannot be fetched ends the start with its user error.
    } catch (const fs::filesystem_error&) {
    }
    for (const StringParameter* setting :
         {&AIRPORTS_VERSION, &AIG_VERSION, &DBASE_VERSION, &LIV_SCAN_VERSION, &ADDONS_SCAN_VERSION})
        if (!readsBack(setting->current.get())) std::abort();
    fuzzsupport::emptyFolder(scratch.path() / "work");
    gf_resetRunState();
    return 0;
}
