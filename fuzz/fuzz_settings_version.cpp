// The program version stored in "parameters.xml" decides what the settings migration removes
// and whether it resets every setting; the user may have edited it. Any text must read without
// harm: as a version whose text reads back the same, or as no version at all.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#include "config/settings.hpp"
#include "config/settings_migration.hpp"
#include "core/paths.hpp"
#include "core/version_data.hpp"
#include "fuzz_scratch.hpp"

namespace {

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamrix;
    // The settings file lives in the program data folder, which follows the environment at first
    // use; what the migration removes lies below the working directory.
    static const fuzzsupport::ScratchFolder scratch("settings-version");
    static const bool pointed = ::setenv("QUORVEL_ROAMING_APPDATA", scratch.path().c_str(), 1) == 0;
    (void)pointed;
    const fuzzsupport::InFolder in(scratch.path());
    // What the last input left (a kept unusable settings file, a migrated folder) is gone, so that
    // each input meets the same folder and no pile of kept files slows the search down.
    fuzzsupport::emptyFolder(scratch.path());
    std::filesystem::create_directories(scratch.path() / "Quorvel");
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const VersionData version(text);
    if (version != VersionData{} && VersionData(version.text()) != version) std::abort();

    fuzzsupport::writeBytes(gf_paths().parametersPath,
                            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><parameters><parameter "
                            "name=\"PROGRAM_VERSION\" value=\"" +
                                escaped(text) + "\"/></parameters></root>\n");
    try {
        gf_checkParametersVersion();
    } catch (const std::filesystem::filesystem_error&) {
    }
    return 0;
}
