#include "refdata/encrypted_file.hpp"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "refdata/reference_key.hpp"
#include "refdata_test_support.hpp"
#include "support/named_pipe.hpp"

using namespace tamrix;
using refdatatest::anyLineContains;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

std::string patternText(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7) % 26);
    return text;
}

} // namespace

// Sizes around the 4096-byte chunk: empty, one short chunk, exactly one and two full chunks,
// and a short last chunk after full ones.
TEST(StreamDecrypt, RoundTripsEveryChunkLayout) {
    testsupport::CapturedLog log;
    writeFile("file.xml", std::string(20000, 'x')); // an older, longer plain file is replaced
    for (const std::size_t size : {0u, 1u, 4095u, 4096u, 8192u, 10000u}) {
        const std::string plain = patternText(size);
        refdatatest::writeEncrypted("file.enc", plain);
        ASSERT_TRUE(gf_streamDecrypt("file.enc", "file.xml")) << size;
        EXPECT_EQ(readFile("file.xml"), plain) << size;
    }
    EXPECT_FALSE(anyLineContains(log.lines(), "gf_streamDecrypt"));
}

// Every damaged container is refused with one log line naming the damage, and no plain file -
// not even the chunks that did authenticate - is left behind.
TEST(StreamDecrypt, RefusesEveryDamagedContainer) {
    testsupport::CapturedLog log;
    writeFile("source.xml", patternText(9000));
    encref::writeBrokenVariants("source.xml", "broken");
    const std::map<std::string, std::string> expected{
        {"wrong-key.enc", "gf_streamDecrypt exception: Decryption failed"},
        {"no-final.enc", "gf_streamDecrypt exception: Stream ends before its final chunk"},
        {"cut-in-chunk.enc", "gf_streamDecrypt exception: Decryption failed"},
        {"header-only.enc", "gf_streamDecrypt exception: Stream ends before its final chunk"},
        {"too-short.enc", "gf_streamDecrypt exception: Invalid header or key"},
    };
    ASSERT_EQ(expected.size(), encref::kBrokenVariants.size());
    for (const auto& variant : encref::kBrokenVariants) {
        writeFile("plain.xml", "left from an earlier run");
        EXPECT_FALSE(gf_streamDecrypt(std::filesystem::path("broken") / variant, "plain.xml")) << variant;
        EXPECT_FALSE(std::filesystem::exists("plain.xml")) << variant;
        EXPECT_TRUE(refdatatest::hasLine(log.lines(), expected.at(variant))) << variant;
    }
    // Each with the line the user is shown.
    EXPECT_EQ(log.lines().size(), 2 * expected.size());
}

// Bytes behind the final chunk are no part of the stream: whether the final chunk fills its
// block or shares it with them, the plain text comes out whole, with one line in the log.
TEST(StreamDecrypt, IgnoresBytesAfterTheFinalChunk) {
    testsupport::CapturedLog log;
    for (const std::size_t size : {kPlainChunkBytes, std::size_t{5000}, std::size_t{0}}) {
        for (const std::size_t trailer : {std::size_t{4}, kCipherChunkBytes + 100}) {
            const std::string plain = patternText(size);
            refdatatest::writeEncrypted("file.enc", plain);
            {
                std::ofstream out("file.enc", std::ios::binary | std::ios::app);
                out << std::string(trailer, 't');
            }
            ASSERT_TRUE(gf_streamDecrypt("file.enc", "file.xml")) << size << " " << trailer;
            EXPECT_EQ(readFile("file.xml"), plain) << size << " " << trailer;
            EXPECT_TRUE(refdatatest::hasLine(
                log.lines(),
                fmt::format("gf_streamDecrypt: {} bytes after the final chunk of file.enc ignored", trailer)))
                << size << " " << trailer;
        }
    }
    EXPECT_EQ(log.lines().size(), 6U);
    // A stream cut short stays refused, also with bytes where its final chunk should be.
    refdatatest::writeEncrypted("file.enc", patternText(5000));
    std::filesystem::resize_file("file.enc", kStreamHeaderBytes + kCipherChunkBytes + 300);
    EXPECT_FALSE(gf_streamDecrypt("file.enc", "file.xml"));
    EXPECT_FALSE(std::filesystem::exists("file.xml"));
    EXPECT_TRUE(refdatatest::hasLine(log.lines(), "gf_streamDecrypt exception: Decryption failed"));
    // Only the FINAL tag ends a stream: a short last chunk of another tag, followed by other
    // bytes, is no end but a damaged stream.
    writeFile("source.xml", patternText(5000));
    encref::encryptFile("source.xml", "file.enc", gf_referenceKey(), false);
    {
        std::ofstream out("file.enc", std::ios::binary | std::ios::app);
        out << std::string(100, 't');
    }
    const std::size_t before = log.lines().size();
    EXPECT_FALSE(gf_streamDecrypt("file.enc", "file.xml"));
    EXPECT_FALSE(std::filesystem::exists("file.xml"));
    ASSERT_EQ(log.lines().size(), before + 2);
    EXPECT_EQ(log.lines()[before], "gf_streamDecrypt exception: Decryption failed");
}

TEST(StreamDecrypt, MissingInputRemovesAStalePlainFile) {
    testsupport::CapturedLog log;
    writeFile("file.xml", "stale");
    EXPECT_FALSE(gf_streamDecrypt("missing.enc", "file.xml"));
    EXPECT_FALSE(std::filesystem::exists("file.xml"));
    EXPECT_TRUE(refdatatest::hasLine(log.lines(),
                                     "gf_streamDecrypt exception: Could not open input file: missing.enc"));
}

// A reference file is read at start-up: a named pipe in its place is named, never waited on.
TEST(StreamDecrypt, APipeInPlaceOfTheInputIsRefusedNotWaitedOn) {
    testsupport::CapturedLog log;
    ASSERT_TRUE(testsupport::makeNamedPipe("pipe.enc"));
    std::optional<std::string> problem;
    ASSERT_TRUE(testsupport::readWithoutAWriter("pipe.enc", [&] { problem = gf_decryptReferenceFile("pipe.enc", "file.xml"); }));
    EXPECT_EQ(problem.value_or(""), "pipe.enc stream decrypt failed: Could not open input file: pipe.enc (a named pipe "
                                    "stands in its place); " + std::string(kRestoreReferenceFile));
    EXPECT_FALSE(std::filesystem::exists("file.xml"));

    // Nor is a pipe in place of the plain file waited on.
    refdatatest::writeEncrypted("file.enc", "text");
    ASSERT_TRUE(testsupport::makeNamedPipe("pipe.xml"));
    ASSERT_TRUE(testsupport::readWithoutAWriter("pipe.xml", [&] { problem = gf_decryptReferenceFile("file.enc", "pipe.xml"); }));
    EXPECT_EQ(problem.value_or(""), "file.enc could not be decrypted: Could not open output file: pipe.xml (a named pipe "
                                    "stands in its place)");
}

// A file beyond the bound is no reference file of ours: refused before any byte is read (the
// files are sparse: they take no disk). One at the bound is read, and here found damaged.
TEST(StreamDecrypt, AFileBeyondItsBoundIsRefusedBeforeItIsRead) {
    testsupport::CapturedLog log;
    writeFile("file.enc", "");
    std::filesystem::resize_file("file.enc", kMaxEncryptedFileBytes + 1);
    EXPECT_EQ(gf_decryptReferenceFile("file.enc", "file.xml").value_or(""),
              fmt::format("file.enc stream decrypt failed: Could not open input file: file.enc ({} bytes, more than the {} "
                          "it may hold); {}",
                          kMaxEncryptedFileBytes + 1, kMaxEncryptedFileBytes, kRestoreReferenceFile));
    std::filesystem::resize_file("file.enc", kMaxEncryptedFileBytes);
    EXPECT_EQ(gf_decryptReferenceFile("file.enc", "file.xml").value_or(""),
              fmt::format("file.enc stream decrypt failed: Decryption failed; {}", kRestoreReferenceFile));
    EXPECT_FALSE(std::filesystem::exists("file.xml"));
}

// The bound is 256 MiB of the encrypted file. A sound stream of exactly that size (65265 full
// chunks and a final one of 470 bytes) is read whole, to its last chunk; one byte more behind
// it, which a smaller file would have ignored, is refused before the file is read.
TEST(StreamDecrypt, ASoundFileOfExactlyItsBoundIsReadAndOneByteMoreIsRefused) {
    testsupport::CapturedLog log;
    constexpr std::size_t kBound = 268435456;
    constexpr std::size_t kPlainBytes = 65265 * kPlainChunkBytes + 470;
    const std::string block = patternText(kPlainChunkBytes);
    {
        std::ofstream source("file.source", std::ios::binary);
        for (std::size_t left = kPlainBytes; left > 0; left -= std::min(left, block.size()))
            source.write(block.data(), static_cast<std::streamsize>(std::min(left, block.size())));
    }
    encref::encryptFile("file.source", "file.enc");
    std::filesystem::remove("file.source");
    ASSERT_EQ(std::filesystem::file_size("file.enc"), kBound);

    ASSERT_EQ(gf_decryptReferenceFile("file.enc", "file.xml"), std::nullopt);
    ASSERT_EQ(std::filesystem::file_size("file.xml"), kPlainBytes);
    {
        std::ifstream plain("file.xml", std::ios::binary);
        std::string got(block.size(), '\0');
        std::size_t differing = 0;
        for (std::size_t left = kPlainBytes; left > 0; left -= std::min(left, block.size())) {
            const std::size_t n = std::min(left, block.size());
            plain.read(got.data(), static_cast<std::streamsize>(n));
            if (got.compare(0, n, block, 0, n) != 0) ++differing;
        }
        EXPECT_EQ(differing, 0u);
    }
    EXPECT_TRUE(log.lines().empty());
    std::filesystem::remove("file.xml");

    {
        std::ofstream out("file.enc", std::ios::binary | std::ios::app);
        out << 't';
    }
    EXPECT_EQ(gf_decryptReferenceFile("file.enc", "file.xml").value_or(""),
              "file.enc stream decrypt failed: Could not open input file: file.enc (268435457 bytes, more than the "
              "268435456 it may hold); " + std::string(kRestoreReferenceFile));
    EXPECT_FALSE(std::filesystem::exists("file.xml"));
    std::filesystem::remove("file.enc");
}

TEST(StreamDecrypt, UnwritableOutputIsReported) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted("file.enc", "text");
    EXPECT_FALSE(gf_streamDecrypt("file.enc", "no-such-folder/file.xml"));
    EXPECT_TRUE(refdatatest::hasLine(
        log.lines(), "gf_streamDecrypt exception: Could not open output file: no-such-folder/file.xml "
                     "(No such file or directory)"));
    // No reinstall can help there: the user is told the cause only.
    EXPECT_TRUE(refdatatest::hasLine(log.lines(),
                                     "==> file.enc could not be decrypted: Could not open output file: "
                                     "no-such-folder/file.xml (No such file or directory)"));

    // A plain file on a full disk (every write to /dev/full fails with ENOSPC): the user reads
    // that the disk is full and which file, not a damaged reference file.
    refdatatest::writeEncrypted("file.enc", patternText(10000));
    std::filesystem::create_symlink("/dev/full", "full.xml");
    EXPECT_FALSE(gf_streamDecrypt("file.enc", "full.xml"));
    EXPECT_TRUE(refdatatest::hasLine(
        log.lines(), "==> file.enc could not be decrypted: the disk is full, full.xml could not be written"));
    EXPECT_FALSE(std::filesystem::is_symlink("full.xml"));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}
