#include "platform/win32/single_instance.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/ordinary_user.hpp"
#include "support/temp_folder.hpp"

using namespace platform::win32;

namespace {

// A data folder the user may not write to has no lock file to fall back on: the lock is not
// usable, and the cause given is the folder's refusal, never a missing file.
TEST(SingleInstance, ALockInAFolderTheUserMayNotWriteToNamesTheRefusal) {
    SKIP_WITHOUT_ORDINARY_USER();
    testsupport::TempFolder folder;
    const std::filesystem::path locked = folder.path() / "data";
    std::filesystem::create_directories(locked);
    testsupport::giveToOrdinaryUser(folder.path());
    ::chmod(locked.c_str(), 0555);
    InstanceLockResult result;
    {
        testsupport::AsOrdinaryUser user;
        result = acquireInstanceLock(locked / "Quorvel.lock");
    }
    ::chmod(locked.c_str(), 0755);
    releaseInstanceLock();
    EXPECT_EQ(result.state, InstanceLockState::Unavailable);
    EXPECT_EQ(result.error, std::strerror(EACCES));
}

} // namespace
