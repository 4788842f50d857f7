#include "core/zip_archive.hpp"

#include <random>
#include <string>
#include <utility>
#include <vector>

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

// A new archive is built in memory at the chosen level and written in one piece: every kind of
// entry must come back byte for byte from an archive that passes libzip's consistency check.
TEST(ZipArchive, NewArchivesReadBackWholeThroughLibzip) {
    TempFolder dir;
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "<parkpos id=\"" + std::to_string(i) + "\" radius=\"20.0\"/>\n";
    std::string noise(70000, '\0');
    std::mt19937 random(7);
    for (char& c : noise)
        c = static_cast<char>(random());
    std::string big(3u << 20, 'x'); // more than one deflate call's worth of output
    for (std::size_t i = 0; i < big.size(); i += 4099)
        big[i] = static_cast<char>('a' + i % 26);
    const std::string old = "an earlier archive";
    const std::string twice = "the later bytes win";
    const std::vector<std::pair<std::string, std::string>> entries{{"text.xml", text},
                                                                   {"noise.bin", noise},
                                                                   {"empty.txt", ""},
                                                                   {"Zürich ✈.xml", "umlaut"},
                                                                   {"big.xml", big}};

    testsupport::writeFile(dir / "a.zip", "not yet an archive");
    {
        ZipArchive archive(dir / "a.zip");
        ASSERT_TRUE(archive.open(ZipArchive::New));
        archive.setCompressionLevel(1);
        ASSERT_TRUE(archive.addData("twice.txt", old.data(), old.size()));
        for (const auto& [name, bytes] : entries)
            ASSERT_TRUE(archive.addData(name, bytes.data(), bytes.size()));
        ASSERT_TRUE(archive.addData("twice.txt", twice.data(), twice.size()));
        EXPECT_EQ(archive.getEntries().size(), entries.size() + 1);
        ASSERT_TRUE(archive.close()) << archive.errorText();
    }
    ZipArchive archive(dir / "a.zip");
    ASSERT_TRUE(archive.open(ZipArchive::ReadOnly, true)) << archive.errorText();
    const auto listed = archive.getEntries();
    ASSERT_EQ(listed.size(), entries.size() + 1);
    EXPECT_EQ(listed[0].name, "twice.txt"); // replaced in its place
    EXPECT_EQ(archive.readContent(listed[0]), twice);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(listed[i + 1].name, entries[i].first);
        EXPECT_EQ(archive.readContent(listed[i + 1]), entries[i].second) << entries[i].first;
    }
    EXPECT_LT(listed[1].compressedSize, text.size() / 5); // packed
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename(), "a.zip"); // no temporary file left

    // Closed without entries, a new archive leaves nothing at its path.
    ZipArchive none(dir / "a.zip");
    ASSERT_TRUE(none.open(ZipArchive::New));
    EXPECT_TRUE(none.close());
    EXPECT_FALSE(std::filesystem::exists(dir / "a.zip"));
}

} // namespace
