#pragma once
// Stand-in for the shell's known-folder lookup. The folders come from environment variables
// so that tests and runs can point them at any tree:
//   roaming application data  QUORVEL_ROAMING_APPDATA, else $XDG_CONFIG_HOME, else ~/.config
//   local application data    QUORVEL_LOCAL_APPDATA, else $XDG_DATA_HOME, else ~/.local/share
//   program files (64/32 bit) QUORVEL_PROGRAM_FILES, QUORVEL_PROGRAM_FILES_X86 (no fallback)
// A QUORVEL_ variable that is set but empty means "the folder cannot be found", so callers'
// failure paths can be exercised. The folder is not required to exist.
//
// Linux paths are byte strings, so the path comes back as a native narrow text (not UTF-16);
// it is still one buffer that the caller frees with CoTaskMemFree, success or not.

#include <cstdint>

using HRESULT = long;
using DWORD = std::uint32_t;
using HANDLE = void*;

struct KNOWNFOLDERID {
    std::uint32_t id;
    friend constexpr bool operator==(const KNOWNFOLDERID&, const KNOWNFOLDERID&) = default;
};
using REFKNOWNFOLDERID = const KNOWNFOLDERID&;

inline constexpr KNOWNFOLDERID FOLDERID_RoamingAppData{1};
inline constexpr KNOWNFOLDERID FOLDERID_LocalAppData{2};
inline constexpr KNOWNFOLDERID FOLDERID_ProgramFiles{3};
inline constexpr KNOWNFOLDERID FOLDERID_ProgramFilesX86{4};

// Result codes of this call: 0 on success, negative (failure) otherwise.
inline constexpr HRESULT KNOWN_FOLDER_S_OK = 0;
inline constexpr HRESULT KNOWN_FOLDER_E_FAIL = static_cast<HRESULT>(static_cast<std::int32_t>(0x80004005u));
inline constexpr HRESULT KNOWN_FOLDER_E_NOT_FOUND =
    static_cast<HRESULT>(static_cast<std::int32_t>(0x80070002u));

// Sets *path to a newly allocated, NUL-terminated absolute path without a trailing separator,
// or to null on failure. `flags` and `token` are accepted and ignored (the program passes none).
HRESULT SHGetKnownFolderPath(REFKNOWNFOLDERID folderId, DWORD flags, HANDLE token, char** path);
// Frees a buffer handed out by SHGetKnownFolderPath; null is allowed.
void CoTaskMemFree(void* buffer);
