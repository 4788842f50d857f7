#include "core/zip_archive.hpp"

#include <gtest/gtest.h>

#include "support/temp_folder.hpp"

// Writing, reading and streaming are exercised by the tblo and updater roads; here what must
// never be left behind.
using tamrix::ZipArchive;
using testsupport::TempFolder;

namespace {

TEST(ZipArchive, FailuresLeaveNothingHalfWritten) {
    TempFolder dir;
    // Not an archive, and no archive at all.
    testsupport::writeFile(dir / "bad.zip", "this is not a zip archive");
    ZipArchive bad(dir / "bad.zip");
    EXPECT_FALSE(bad.open(ZipArchive::ReadOnly));
    EXPECT_FALSE(bad.errorText().empty());
    EXPECT_FALSE(ZipArchive(dir / "none.zip").open(ZipArchive::ReadOnly));

    // Destroyed without close: the pending archive is never written.
    {
        ZipArchive pending(dir / "pending.zip");
        ASSERT_TRUE(pending.open(ZipArchive::New));
        ASSERT_TRUE(pending.addData("a", "1", 1));
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "pending.zip"));

    // A folder that vanished before close: close reports the failure.
    std::filesystem::create_directory(dir / "gone");
    ZipArchive lost(dir / "gone" / "x.zip");
    ASSERT_TRUE(lost.open(ZipArchive::New));
    ASSERT_TRUE(lost.addData("a", "1", 1));
    std::filesystem::remove(dir / "gone");
    EXPECT_FALSE(lost.close());
    EXPECT_FALSE(lost.isOpen());
}

} // namespace
