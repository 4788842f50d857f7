#pragma once
// Tests of what an ordinary user may not do (read a locked folder, remove a file from a read-only
// one, write a protected program folder) run as such a user when the suite runs as root, as CI
// does: the user "nobody", a stretch of this process that runs as that user, and the program
// copied to where that user can run it, wherever the build lies (a root user's home and any
// `mktemp -d` let no one else in). Run as an ordinary user, the suite is that user already.
// Inside a rootless container, whose user namespace maps root alone, there is no such user: a
// test that needs one starts with SKIP_WITHOUT_ORDINARY_USER() and is skipped there, saying why.

#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_folder.hpp"

namespace testsupport {

inline constexpr uid_t kOrdinaryUser = 65534;
inline constexpr gid_t kOrdinaryGroup = 65534;

inline bool runsAsRoot() {
    return ::geteuid() == 0;
}

// Why the ordinary user cannot be had in this process, or empty when it can (or need not be: the
// suite runs as an ordinary user). Its ids exist only where this process's user namespace maps
// them; where it does not, handing a file to it fails with "Invalid argument". A system without
// user namespaces has no map to read, and every id.
inline std::string ordinaryUserMissing() {
    if (!runsAsRoot()) return {};
    const std::pair<const char*, unsigned long> ids[] = {{"/proc/self/uid_map", kOrdinaryUser},
                                                         {"/proc/self/gid_map", kOrdinaryGroup}};
    for (const auto& [mapFile, id] : ids) {
        std::ifstream map(mapFile);
        if (!map) continue;
        bool mapped = false;
        // Each line: the first id inside the namespace, the first outside, how many.
        for (unsigned long inside = 0, outside = 0, count = 0; map >> inside >> outside >> count;)
            mapped = mapped || (id >= inside && id - inside < count);
        if (!mapped)
            return "the ordinary user's id " + std::to_string(id) + " is not mapped in this user namespace (" +
                   mapFile + "; a rootless container maps root alone): no file can be handed to that user";
    }
    return {};
}

// Skips the calling test, saying why, where the ordinary user cannot be had.
#define SKIP_WITHOUT_ORDINARY_USER()                                                     \
    if (const std::string whyNoOrdinaryUser = ::testsupport::ordinaryUserMissing();      \
        !whyNoOrdinaryUser.empty())                                                      \
    GTEST_SKIP() << whyNoOrdinaryUser

// Gives `tree` and everything in it to the ordinary user (when root: otherwise it is the user's).
inline void giveToOrdinaryUser(const std::filesystem::path& tree) {
    if (!runsAsRoot()) return;
    if (::lchown(tree.c_str(), kOrdinaryUser, kOrdinaryGroup) != 0)
        throw std::system_error(errno, std::generic_category(), "chown " + tree.string());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree))
        if (::lchown(entry.path().c_str(), kOrdinaryUser, kOrdinaryGroup) != 0)
            throw std::system_error(errno, std::generic_category(), "chown " + entry.path().string());
}

// While it lives, the whole process (every thread) runs as the ordinary user, real and effective
// ids alike and without root's groups, so that every check the system makes is that user's. Root
// stays the saved id, which the end takes back. Not root: nothing changes.
class AsOrdinaryUser {
public:
    AsOrdinaryUser() {
        if (!runsAsRoot()) return;
        m_groups.resize(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
        if (::getgroups(static_cast<int>(m_groups.size()), m_groups.data()) < 0) m_groups.clear();
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kOrdinaryGroup, kOrdinaryGroup, 0) != 0 ||
            ::setresuid(kOrdinaryUser, kOrdinaryUser, 0) != 0)
            throw std::system_error(errno, std::generic_category(), "becoming an ordinary user");
        m_switched = true;
    }
    ~AsOrdinaryUser() {
        if (!m_switched) return;
        // Root again first: only root may set the groups back.
        if (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0 ||
            ::setgroups(m_groups.size(), m_groups.data()) != 0)
            std::terminate();
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;

private:
    bool m_switched = false;
    std::vector<gid_t> m_groups;
};

// The executable `program` where the ordinary user can run it: a link to it (or a copy) in a
// folder every user may enter, kept until the process ends.
inline std::filesystem::path reachableCopy(const std::filesystem::path& program) {
    static std::mutex lock;
    static std::unique_ptr<TempFolder> folder;
    static std::map<std::filesystem::path, std::filesystem::path> copies;
    std::lock_guard guard(lock);
    if (const auto known = copies.find(program); known != copies.end()) return known->second;
    if (!folder) folder = std::make_unique<TempFolder>();
    const std::filesystem::path copy = folder->path() / std::to_string(copies.size()) / program.filename();
    std::filesystem::create_directories(copy.parent_path());
    std::error_code linked;
    std::filesystem::create_hard_link(program, copy, linked);
    if (linked) std::filesystem::copy_file(program, copy);
    std::filesystem::permissions(
        copy, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                  std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                  std::filesystem::perms::others_exec);
    return copies[program] = copy;
}

} // namespace testsupport
