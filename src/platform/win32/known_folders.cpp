#include "platform/win32/known_folders.hpp"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

// The XDG rule: an unset or empty variable falls back to a folder below $HOME.
std::optional<std::string> xdgFolder(const char* variable, const char* belowHome) {
    if (auto value = environment(variable); value && !value->empty()) return value;
    if (auto home = environment("HOME"); home && !home->empty()) return *home + "/" + belowHome;
    return std::nullopt;
}

std::optional<std::string> folderText(REFKNOWNFOLDERID folderId) {
    if (folderId == FOLDERID_RoamingAppData) {
        if (auto value = environment("QUORVEL_ROAMING_APPDATA")) return value;
        return xdgFolder("XDG_CONFIG_HOME", ".config");
    }
    if (folderId == FOLDERID_LocalAppData) {
        if (auto value = environment("QUORVEL_LOCAL_APPDATA")) return value;
        return xdgFolder("XDG_DATA_HOME", ".local/share");
    }
    if (folderId == FOLDERID_ProgramFiles) return environment("QUORVEL_PROGRAM_FILES");
    if (folderId == FOLDERID_ProgramFilesX86) return environment("QUORVEL_PROGRAM_FILES_X86");
    return std::nullopt;
}

// Known folders are absolute and carry no trailing separator.
std::string normalised(const std::string& text) {
    std::error_code ec;
    std::string result = std::filesystem::absolute(text, ec).string();
    if (ec) result = text;
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

} // namespace

HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID folderId, DWORD /*flags*/, HANDLE /*token*/, char** path) {
    if (path == nullptr) return KNOWN_FOLDER_E_FAIL;
    *path = nullptr;
    const auto text = folderText(folderId);
    if (!text || text->empty()) return KNOWN_FOLDER_E_NOT_FOUND;
    const std::string folder = normalised(*text);
    auto* buffer = static_cast<char*>(std::malloc(folder.size() + 1));
    if (buffer == nullptr) return KNOWN_FOLDER_E_FAIL;
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    *path = buffer;
    return KNOWN_FOLDER_S_OK;
}

void CoTaskMemFree(void* buffer) {
    std::free(buffer);
}
