#include "support/user_folders.hpp"

#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <utility>

#include "core/paths.hpp"
#include "support/temp_folder.hpp"

namespace testsupport {

namespace fs = std::filesystem;

const fs::path& processUserFolder() {
    static const pid_t owner = ::getpid();
    static TempFolder* const folder = new TempFolder();
    // Only the process that made the folder removes it: a child forked from it (a death test, a
    // program a test starts) ends while its parent still works there.
    static const struct Remover {
        ~Remover() {
            if (::getpid() == owner) delete folder;
        }
    } remover;
    return folder->path();
}

void pointUserFoldersAtProcessFolder() {
    const fs::path& root = processUserFolder();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root, ec))
        fs::remove_all(entry.path(), ec);
    const fs::path home = root / "home";
    const std::pair<const char*, fs::path> folders[] = {
        {"QUORVEL_ROAMING_APPDATA", root / "roaming"},
        {"QUORVEL_LOCAL_APPDATA", root / "local"},
        {"HOME", home},
        {"XDG_CONFIG_HOME", home / ".config"},
        {"XDG_DATA_HOME", home / ".local" / "share"},
        {"QUORVEL_PROGRAM_FILES", root / "Program Files"},
        {"QUORVEL_PROGRAM_FILES_X86", root / "Program Files (x86)"},
    };
    for (const auto& [name, folder] : folders)
        ::setenv(name, folder.c_str(), 1);
    // No test opens a folder on the desktop it may run on: the shell's opener is a stand-in that
    // opens nothing and says it did (a test of the opener puts its own there).
    ::setenv("QUORVEL_SHELL_OPEN", "true", 1);
    fs::create_directories(root / "roaming" / "Quorvel");
    fs::create_directories(root / "local");
    fs::create_directories(home);
    tamrix::gf_resetPaths();
}

namespace {
// Before the first test, and before anything of the test program asks for a folder of the user.
const bool gPointed = (pointUserFoldersAtProcessFolder(), true);
} // namespace

} // namespace testsupport
