#pragma once
// Stand-in for the named mutex that allows one instance per user: an exclusive advisory lock
// (flock) on a lock file. The lock is held through an open descriptor until the process ends
// (or the test face releases it), so a crashed instance never leaves a stale lock behind.

#include <filesystem>
#include <string>

namespace platform::win32 {

enum class InstanceLockState {
    Acquired,      // this process holds the lock now
    HeldElsewhere, // another process holds it
    Unavailable,   // the lock file cannot be opened (e.g. a read-only folder); `error` says why
};

struct InstanceLockResult {
    InstanceLockState state = InstanceLockState::Unavailable;
    std::string error;
};

// Opens (creating when missing) the lock file and tries the exclusive lock without waiting.
// A process may hold locks on several files; asking again for one it holds answers Acquired.
InstanceLockResult acquireInstanceLock(const std::filesystem::path& lockFile);
// Closes the descriptors, which ends the locks (tests only; a run keeps them to the end).
void releaseInstanceLock();

} // namespace platform::win32
