#include "platform/win32/single_instance.hpp"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform::win32 {
namespace {

std::mutex gLockMutex;
// The descriptors of the locks held, by the lock file's full path.
std::map<std::filesystem::path, int>& heldLocks() {
    static auto* held = new std::map<std::filesystem::path, int>;
    return *held;
}

} // namespace

InstanceLockResult acquireInstanceLock(const std::filesystem::path& lockFile) {
    std::lock_guard guard(gLockMutex);
    // One file reached by two names is one lock: a second descriptor would find it taken.
    std::error_code ec;
    std::filesystem::path key = std::filesystem::weakly_canonical(lockFile, ec);
    if (ec) key = std::filesystem::absolute(lockFile, ec).lexically_normal();
    if (heldLocks().contains(key)) return {InstanceLockState::Acquired, {}};
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // An existing lock file in a folder the user may not write to can still be locked.
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        const int refused = errno;
        fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
        // No lock file to fall back on: the folder's refusal is the cause, not the missing file.
        if (fd < 0 && errno == ENOENT) errno = refused;
    }
    if (fd < 0) return {InstanceLockState::Unavailable, std::strerror(errno)};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return {InstanceLockState::HeldElsewhere, {}};
        return {InstanceLockState::Unavailable, std::strerror(error)};
    }
    heldLocks().emplace(std::move(key), fd);
    return {InstanceLockState::Acquired, {}};
}

void releaseInstanceLock() {
    std::lock_guard guard(gLockMutex);
    for (const auto& [path, fd] : heldLocks())
        ::close(fd);
    heldLocks().clear();
}

} // namespace platform::win32
