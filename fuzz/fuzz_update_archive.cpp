// "latest_version.zip" comes from the download server: any bytes. The input is served as the
// program archive and unpacked as a program update; whatever it holds (several entries, folder
// parts or ".." in names, sizes that lie), only "install_new_version.exe" may appear, in
// "new_version", and nothing may crash.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "app/updater.hpp"
#include "fuzz_scratch.hpp"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchFolder scratch("update-archive");
    static const bool pointed = [] {
        ::setenv("QUORVEL_DOWNLOAD_BASE", ("file://" + (scratch.path() / "server").string() + "/").c_str(),
                 1);
        return true;
    }();
    (void)pointed;
    const fuzzsupport::InFolder in(scratch.path() / "work");
    fuzzsupport::writeBytes(scratch.path() / "server" / "release" / "Quorvel" / "latest_version.zip",
                            std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        (void)tamrix::lf_downloadNewProgramVersion(tamrix::VersionData{13, 0, 0});
    } catch (const std::exception&) {
        // A folder that cannot be made reaches the caller as a file-system error.
    }
    for (const auto& entry : fs::recursive_directory_iterator(scratch.path())) {
        const fs::path relative = fs::relative(entry.path(), scratch.path());
        const std::string text = relative.string();
        if (text.rfind("server", 0) == 0 || text == "work" || text == "work/new_version" ||
            text == "work/new_version/install_new_version.exe")
            continue;
        std::abort(); // something was written where nothing belongs
    }
    return 0;
}
