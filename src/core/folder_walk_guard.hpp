#pragma once
// The guard of a walk down a folder tree that follows links to folders (the livery scan's and
// the airports scan's). A link may lead back up the tree, or to a folder walked already through
// another link: each folder, known by its device and inode, is entered once. A link may lead to a
// folder that holds the walked folder itself - the file system's root "/" or any other folder
// above it: entering it would walk the whole machine (or everything beside the walked folder),
// so it is refused like a loop. A link, or the walked folder itself, may lead into the system's
// folders (/proc leads back to every folder of the machine): they are never entered. A walked
// folder that is "/" itself, or leads there, is no folder of packages: it is refused.
//
// Only the walk's root or a link can lie in a system folder (a plain sub-folder of any folder
// but "/" lies where its parent does, and "/" is never entered), so the resolved path is asked
// for only there, never for the thousands of plain folders of a package. Likewise only a link can
// lead above the root; the folders above it are known by their identities, which the opening of
// a linked folder yields anyway.

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tamrix {

// What an entry of a folder listing is, links followed.
struct FolderEntry {
    enum class Kind { Folder, File, Other };
    Kind kind = Kind::Other;
    bool link = false; // a symbolic link (to a folder or file, or one whose target is gone)
};

// The entry `name` of the open folder `folder`, whose listing gave it the type `type` (d_type;
// DT_UNKNOWN where the file system does not say). A link whose target cannot be reached is
// neither folder nor file.
FolderEntry gf_folderEntry(int folder, const char* name, unsigned char type);

class FolderWalkGuard {
public:
    // An open folder of the walk: its descriptor, which the caller closes.
    struct Folder {
        int fd = -1;
    };
    enum class Outcome {
        Entered,
        SystemFolder,  // /proc, /sys, /dev or below
        WalkedAlready, // entered before: a loop, or a second link to one folder
        HoldsTheWalk,  // "/" or a folder above the walk's root; as the root: "/" itself
        Unreadable,
    };
    struct Entering {
        Outcome outcome = Outcome::Unreadable;
        Folder folder;              // Entered: the folder, open
        int error = 0;              // Unreadable: the system's error number
        std::filesystem::path real; // SystemFolder, HoldsTheWalk: where it lies
    };

    // The walk's root.
    Entering enterRoot(const std::filesystem::path& root);
    // The sub-folder `name` (at `path`) of the open folder `parent`, reached through a link when
    // `link`.
    Entering enter(const Folder& parent, const char* name, const std::filesystem::path& path, bool link);

private:
    Entering open(int parent, const char* name, bool follow);

    struct Identity {
        uint64_t device;
        uint64_t inode;
        bool operator==(const Identity&) const = default;
    };
    struct IdentityHash {
        std::size_t operator()(const Identity& id) const noexcept {
            return static_cast<std::size_t>(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
        }
    };
    std::unordered_set<Identity, IdentityHash> m_visited;
    // The folders above the root, "/" first, and where they lie.
    std::vector<std::pair<Identity, std::filesystem::path>> m_above;
};

// Why a folder refused as holding the walk is passed over, for the end of a line naming it: the
// walk's root (`root`) that is "/", or a link to "/" or to a folder above the root.
std::string gf_holdsTheWalkReason(const FolderWalkGuard::Entering& entering, bool root);

} // namespace tamrix
