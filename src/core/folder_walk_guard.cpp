#include "core/folder_walk_guard.hpp"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "core/system_folders.hpp"
#include "core/text_encoding.hpp"

namespace tamrix {

namespace fs = std::filesystem;

FolderEntry gf_folderEntry(int folder, const char* name, unsigned char type) {
    using Kind = FolderEntry::Kind;
    struct stat status {};
    if (type == DT_UNKNOWN) {
        if (::fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return {};
        type = S_ISDIR(status.st_mode)   ? DT_DIR
               : S_ISREG(status.st_mode) ? DT_REG
               : S_ISLNK(status.st_mode) ? DT_LNK
                                         : DT_UNKNOWN;
    }
    switch (type) {
    case DT_DIR:
        return {Kind::Folder, false};
    case DT_REG:
        return {Kind::File, false};
    case DT_LNK:
        if (::fstatat(folder, name, &status, 0) != 0) return {Kind::Other, true};
        if (S_ISDIR(status.st_mode)) return {Kind::Folder, true};
        return {S_ISREG(status.st_mode) ? Kind::File : Kind::Other, true};
    default:
        return {};
    }
}

FolderWalkGuard::Entering FolderWalkGuard::enterRoot(const fs::path& root) {
    fs::path real = gf_realPath(root);
    if (gf_isSystemFolder(real)) return {Outcome::SystemFolder, {}, 0, std::move(real)};
    if (real == fs::path("/")) return {Outcome::HoldsTheWalk, {}, 0, std::move(real)};
    m_above.clear();
    Entering entering = open(AT_FDCWD, root.c_str(), true);
    struct stat status {};
    if (entering.outcome != Outcome::Entered || ::fstat(entering.folder.fd, &status) != 0) return entering;
    // Above the root as it is named (a Community that is a link lies in the packages folder) and
    // where it really lies; never the root itself (a link to its own parent folder).
    const Identity self{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    std::error_code ec;
    for (fs::path folder : {fs::absolute(root, ec), real}) {
        folder = folder.lexically_normal();
        if (!folder.is_absolute()) continue;
        if (!folder.has_filename()) folder = folder.parent_path(); // a closing '/'
        while (folder != folder.root_path()) {
            folder = folder.parent_path();
            if (::stat(folder.c_str(), &status) != 0) continue;
            const Identity above{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
            if (above == self || std::any_of(m_above.begin(), m_above.end(),
                                             [&](const auto& known) { return known.first == above; }))
                continue;
            m_above.emplace_back(above, folder);
        }
    }
    return entering;
}

FolderWalkGuard::Entering FolderWalkGuard::enter(const Folder& parent, const char* name, const fs::path& path,
                                                 bool link) {
    if (link) {
        fs::path real = gf_realPath(path);
        if (gf_isSystemFolder(real)) return {Outcome::SystemFolder, {}, 0, std::move(real)};
    }
    // A plain folder is opened as one: should a link have taken its place meanwhile, it is not
    // followed unseen.
    return open(parent.fd, name, link);
}

FolderWalkGuard::Entering FolderWalkGuard::open(int parent, const char* name, bool follow) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0) return {Outcome::Unreadable, {}, errno, {}};
    struct stat status {};
    if (::fstat(fd, &status) == 0) {
        const Identity identity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
        // Only a link (or the root) can lead above the root: a plain sub-folder lies below its
        // parent.
        if (follow) {
            for (const auto& [above, where] : m_above) {
                if (above == identity) {
                    ::close(fd);
                    return {Outcome::HoldsTheWalk, {}, 0, where};
                }
            }
        }
        if (!m_visited.insert(identity).second) {
            ::close(fd);
            return {Outcome::WalkedAlready, {}, 0, {}};
        }
    }
    return {Outcome::Entered, {fd}, 0, {}};
}

std::string gf_holdsTheWalkReason(const FolderWalkGuard::Entering& entering, bool root) {
    if (root)
        return fmt::format("it leads to {}, the file system's root: the whole machine is no folder of packages",
                           gf_pathToUtf8Lossy(entering.real));
    return fmt::format("it leads to {}, which holds the folder scanned", gf_pathToUtf8Lossy(entering.real));
}

} // namespace tamrix
