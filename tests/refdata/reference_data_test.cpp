#include "refdata/reference_data.hpp"

#include <fstream>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "refdata/encrypted_file.hpp"
#include "refdata/registration_lookups.hpp"
#include "refdata_test_support.hpp"

using namespace tamrix;
namespace fs = std::filesystem;
using refdatatest::anyLineContains;
using refdatatest::hasLine;

namespace {

// No plain form of any reference file in "input".
void expectNoPlainFiles() {
    for (const auto& entry : fs::directory_iterator("input"))
        EXPECT_NE(entry.path().extension(), ".xml") << entry.path();
}

std::string failureOf() {
    try {
        gf_readReferenceData();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

} // namespace

// The start-up step on the shipped files: both are read, their counts logged, nothing plain left.
TEST(ReferenceData, ReadsTheShippedFiles) {
    testsupport::CapturedLog log;
    refdatatest::installShipped("dbase.enc");
    refdatatest::installShipped("airports.enc");
    refdatatest::installShipped("AIG-regcodes.enc");
    ASSERT_NO_THROW(gf_readReferenceData());
    expectNoPlainFiles();

    const auto lines = log.lines();
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} ICAO model codes", gAircraftCodes.size())));
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} dbase records read", gDbaseRecords.size())));
    EXPECT_TRUE(hasLine(lines, fmt::format("{:5} airports read", gAirports.size())));
    EXPECT_TRUE(gf_lookupRegistration("DAIZZ").has_value());
    EXPECT_TRUE(gf_isKnownAirport(FixedCode<4>("EDDF")));

    // Once read, the dbase is not read again; the airports return at once.
    fs::remove("input/dbase.enc");
    fs::remove("input/airports.enc");
    EXPECT_NO_THROW(gf_readReferenceData());
}

// The shipped AIG regcode file decrypts to the document its readers expect.
TEST(ReferenceData, TheShippedRegcodeFileDecrypts) {
    testsupport::CapturedLog log;
    refdatatest::installShipped("AIG-regcodes.enc");
    ASSERT_TRUE(gf_streamDecrypt("input/AIG-regcodes.enc", "input/AIG-regcodes.xml"));
    EXPECT_EQ(testsupport::readFile("input/AIG-regcodes.xml"),
              testsupport::readFile(refdatatest::kSourceDir / "data/input/AIG-regcodes.xml"));
}

// Each damaged form of either file ends the step with its error and log line, and leaves no
// plain file behind.
TEST(ReferenceData, EveryDamagedFileFailsCleanly) {
    testsupport::CapturedLog log;
    fs::create_directories("input");
    encref::writeBrokenVariants(refdatatest::kSourceDir / "data/input/dbase.xml", "broken/dbase");
    encref::writeBrokenVariants(refdatatest::kSourceDir / "data/input/airports.xml", "broken/airports");

    for (const auto& variant : encref::kBrokenVariants) {
        refdatatest::installShipped("airports.enc");
        fs::copy_file(fs::path("broken/dbase") / variant, "input/dbase.enc",
                      fs::copy_options::overwrite_existing);
        const std::string failure = failureOf();
        EXPECT_EQ(failure.rfind("input/dbase.enc stream decrypt failed: ", 0), 0U) << failure;
        EXPECT_TRUE(failure.ends_with("; reinstall Quorvel to restore it")) << failure;
        expectNoPlainFiles();
    }
    refdatatest::installShipped("dbase.enc");
    for (const auto& variant : encref::kBrokenVariants) {
        fs::copy_file(fs::path("broken/airports") / variant, "input/airports.enc",
                      fs::copy_options::overwrite_existing);
        // The damaged file is named with the cause, not the plain file it never became.
        const std::string failure = failureOf();
        EXPECT_EQ(failure.rfind("88: input/airports.enc stream decrypt failed: ", 0), 0U) << failure;
        EXPECT_TRUE(failure.ends_with("; reinstall Quorvel to restore it")) << failure;
        expectNoPlainFiles();
    }
    const auto lines = log.lines();
    const auto decryptLines = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("gf_streamDecrypt exception: ", 0) == 0;
    });
    EXPECT_EQ(decryptLines, static_cast<long>(2 * encref::kBrokenVariants.size()));
    // Each comes with the line the user can act on.
    EXPECT_TRUE(hasLine(lines, "==> input/dbase.enc stream decrypt failed: Decryption failed; "
                               "reinstall Quorvel to restore it"));

    refdatatest::installShipped("airports.enc");
    EXPECT_NO_THROW(gf_readReferenceData());
    expectNoPlainFiles();
}

TEST(ReferenceData, MissingFilesFail) {
    testsupport::CapturedLog log;
    fs::create_directories("input");
    testsupport::writeFile("input/dbase.xml", "stale");
    EXPECT_EQ(failureOf(), "input/dbase.enc not available; reinstall Quorvel to restore it");
    expectNoPlainFiles();
    refdatatest::installShipped("dbase.enc");
    testsupport::writeFile("input/airports.xml", "<root><airports/></root>"); // left from an earlier run
    EXPECT_EQ(failureOf(), "88: input/airports.enc not available; reinstall Quorvel to restore it");
    expectNoPlainFiles();
    EXPECT_TRUE(
        hasLine(log.lines(), "gf_streamDecrypt exception: Could not open input file: input/airports.enc"));
}

TEST(ReferenceData, MalformedDbaseAndEmptyAirportTable) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted("input/dbase.enc", "<root>");
    EXPECT_EQ(failureOf(), "reading data files failed!");
    expectNoPlainFiles();
    refdatatest::installShipped("dbase.enc");
    refdatatest::writeEncrypted("input/airports.enc", "<root><airports/></root>");
    EXPECT_EQ(failureOf(), "reading 'input/airports.enc' failed!");
    expectNoPlainFiles();
}

// A reader that carries on without the file (the AIG regcodes) still leaves the user a line that
// names the file, the cause and the way back.
TEST(ReferenceData, AnUnreadableRegcodeFileIsNamedWithItsCause) {
    testsupport::CapturedLog log;
    refdatatest::writeEncrypted("input/AIG-regcodes.enc", "<root/>");
    {
        // One bit of the first chunk flipped: the byte surely differs from what was written.
        std::fstream file("input/AIG-regcodes.enc", std::ios::binary | std::ios::in | std::ios::out);
        file.seekg(40);
        const char byte = static_cast<char>(file.get());
        ASSERT_TRUE(file.good());
        file.seekp(40);
        file.put(static_cast<char>(byte ^ 0x01));
    }
    EXPECT_FALSE(gf_streamDecrypt("input/AIG-regcodes.enc", "input/AIG-regcodes.xml"));
    fs::remove("input/AIG-regcodes.enc");
    EXPECT_FALSE(gf_streamDecrypt("input/AIG-regcodes.enc", "input/AIG-regcodes.xml"));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "gf_streamDecrypt exception: Decryption failed",
                  "==> input/AIG-regcodes.enc stream decrypt failed: Decryption failed; reinstall Quorvel to restore it",
                  "gf_streamDecrypt exception: Could not open input file: input/AIG-regcodes.enc",
                  "==> input/AIG-regcodes.enc not available; reinstall Quorvel to restore it",
              }));
    expectNoPlainFiles();
}
