#include "core/shell_folders.hpp"

#include <cstdint>
#include <mutex>
#include <string>

#include "core/files.hpp"
#include "core/paths.hpp"
#include "core/run_state.hpp"
#include "core/version_data.hpp"
#include "platform/win32/shell.hpp"

namespace tamrix {

namespace fs = std::filesystem;

namespace {

std::mutex gMsfsPathsMutex;
fs::path gMsfs2020Path;
fs::path gMsfs2024Path;

bool lf_refuse(const char* text) {
    const std::string caption(kProgramName);
    MessageBoxW(nullptr, text, caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
    return false;
}

} // namespace

bool gf_openManualFolder() {
    std::error_code ec;
    const fs::path folder = fs::absolute(gf_paths().docsFolder, ec);
    if (!ec && fs::is_directory(folder, ec)) {
        const auto result = ShellExecuteW(nullptr, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (reinterpret_cast<std::intptr_t>(result) > 32) return true;
    }
    return lf_refuse("Could not open local folder with Manual");
}

bool gf_openParametersFolder() {
    if (gf_shellOpen(gf_paths().parametersPath)) return true;
    return lf_refuse("Could not open folder with parameters.xml");
}

void gf_setMsfsPaths(fs::path msfs2020, fs::path msfs2024) {
    std::lock_guard lock(gMsfsPathsMutex);
    gMsfs2020Path = std::move(msfs2020);
    gMsfs2024Path = std::move(msfs2024);
}

fs::path gf_msfsPath(const fs::path& subPath) {
    std::lock_guard lock(gMsfsPathsMutex);
    const fs::path& base = gIsMsfs2020 ? gMsfs2020Path : gMsfs2024Path;
    return base.empty() ? fs::path() : base / subPath;
}

} // namespace tamrix
