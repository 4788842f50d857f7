#include "core/zip_archive.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.hpp"

using tamrix::ZipArchive;
using testsupport::TempFolder;

namespace {

TEST(ZipArchive, WritesReadsBackAndStreamsEntries) {
    TempFolder dir;
    const auto path = dir / "a.zip";
    const std::string big(1'300'000, 'q');
    const std::string small = "<xml/>";
    {
        ZipArchive archive(path);
        ASSERT_TRUE(archive.open(ZipArchive::New));
        ASSERT_TRUE(archive.addData("EGLL.XML", small.data(), small.size()));
        ASSERT_TRUE(archive.addData("sub/big.bin", big.data(), big.size()));
        // Nothing is on disk before close.
        EXPECT_FALSE(std::filesystem::exists(path));
        ASSERT_TRUE(archive.close());
    }
    ZipArchive archive(path);
    ASSERT_TRUE(archive.open(ZipArchive::ReadOnly));
    EXPECT_FALSE(archive.addData("x", "y", 1)) << "read-only archives take no data";
    const auto entries = archive.getEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "EGLL.XML");
    EXPECT_EQ(entries[1].name, "sub/big.bin");
    EXPECT_EQ(entries[1].size, big.size());
    EXPECT_EQ(archive.readContent(entries[0]), small);

    std::vector<std::size_t> chunks;
    std::string streamed;
    EXPECT_EQ(archive.readEntry(entries[1], [&](std::string_view c) {
        chunks.push_back(c.size());
        streamed.append(c);
        return true;
    }), ZipArchive::kReadOk);
    EXPECT_EQ(streamed, big);
    for (std::size_t c : chunks) EXPECT_LE(c, 524288u);

    // A limit below the size refuses, and a sink that refuses stops the read.
    EXPECT_FALSE(archive.readContent(entries[1], 1000).has_value());
    EXPECT_EQ(archive.readEntry(entries[1], [](std::string_view) { return false; }),
              ZipArchive::kReadSinkFailed);
    ASSERT_TRUE(archive.getEntry("EGLL.XML").has_value());
    EXPECT_FALSE(archive.getEntry("egll.xml").has_value());
    ASSERT_TRUE(archive.close());
}

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
