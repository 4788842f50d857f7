#include "core/folder_walk_guard.hpp"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/system_folders.hpp"

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
    return open(AT_FDCWD, root.c_str(), true, real == "/");
}

FolderWalkGuard::Entering FolderWalkGuard::enter(const Folder& parent, const char* name, const fs::path& path,
                                                 bool link) {
    bool fileSystemRoot = false;
    if (link) {
        fs::path real = gf_realPath(path);
        if (gf_isSystemFolder(real)) return {Outcome::SystemFolder, {}, 0, std::move(real)};
        fileSystemRoot = real == "/";
    } else if (parent.fileSystemRoot) {
        fs::path real = fs::path("/") / name;
        if (gf_isSystemFolder(real)) return {Outcome::SystemFolder, {}, 0, std::move(real)};
    }
    // A plain folder is opened as one: should a link have taken its place meanwhile, it is not
    // followed unseen.
    return open(parent.fd, name, link, fileSystemRoot);
}

FolderWalkGuard::Entering FolderWalkGuard::open(int parent, const char* name, bool follow,
                                                bool fileSystemRoot) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0) return {Outcome::Unreadable, {}, errno, {}};
    struct stat status {};
    if (::fstat(fd, &status) == 0 &&
        !m_visited.insert({static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)})
             .second) {
        ::close(fd);
        return {Outcome::WalkedAlready, {}, 0, {}};
    }
    return {Outcome::Entered, {fd, fileSystemRoot}, 0, {}};
}

} // namespace tamrix
