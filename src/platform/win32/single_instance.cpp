#include "platform/win32/single_instance.hpp"

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform::win32 {
namespace {

std::mutex gLockMutex;
int gLockFd = -1;

} // namespace

InstanceLockResult acquireInstanceLock(const std::filesystem::path& lockFile) {
    std::lock_guard guard(gLockMutex);
    if (gLockFd >= 0) return {InstanceLockState::Acquired, {}};
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // An existing lock file in a folder the user may not write to can still be locked.
    if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {InstanceLockState::Unavailable, std::strerror(errno)};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return {InstanceLockState::HeldElsewhere, {}};
        return {InstanceLockState::Unavailable, std::strerror(error)};
    }
    gLockFd = fd;
    return {InstanceLockState::Acquired, {}};
}

void releaseInstanceLock() {
    std::lock_guard guard(gLockMutex);
    if (gLockFd >= 0) ::close(gLockFd);
    gLockFd = -1;
}

} // namespace platform::win32
