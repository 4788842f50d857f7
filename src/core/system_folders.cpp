#include "core/system_folders.hpp"

#include <array>
#include <string_view>
#include <system_error>

namespace tamrix {

bool gf_isSystemFolder(const std::filesystem::path& realPath) {
    constexpr std::array<std::string_view, 3> kSystemFolders{"/proc", "/sys", "/dev"};
    const std::string_view text = realPath.native();
    for (const std::string_view folder : kSystemFolders)
        if (text.starts_with(folder) && (text.size() == folder.size() || text[folder.size()] == '/')) return true;
    return false;
}

std::filesystem::path gf_realPath(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? path : real;
}

} // namespace tamrix
