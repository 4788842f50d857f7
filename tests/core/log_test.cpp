#include "core/log.hpp"

#include <chrono>
#include <regex>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/run_state.hpp"
#include "support/named_pipe.hpp"
#include "support/temp_folder.hpp"

using namespace tamrix;
using testsupport::readFile;
using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

} // namespace

TEST(Log, StartsWithHeaderAndKeepsThreeGenerations) {
    TempFolder dir(true);
    writeFile("Log.txt", "run3\n");
    writeFile("Log0.txt", "run2\n");
    writeFile("Log00.txt", "run1\n");
    writeFile("Log000.txt", "run0\n");

    gf_log("dropped before the log is open");
    gf_openLog();
    gf_log("first line");
    gf_closeLog();

    EXPECT_EQ(readFile("Log000.txt"), "run1\n");
    EXPECT_EQ(readFile("Log00.txt"), "run2\n");
    EXPECT_EQ(readFile("Log0.txt"), "run3\n");
    const auto l = lines(readFile("Log.txt"));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_TRUE(std::regex_match(
        l[0], std::regex(R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun) \w{3} \d\d \d\d:\d\d:\d\d \d{4} \(utc\) Quorvel version 12\.5\.4 for MSFS 2020/2024)")))
        << l[0];
    EXPECT_EQ(l[1], "first line");
}

TEST(Log, LineFormsAreWrittenExactly) {
    TempFolder dir(true);
    gf_openLog();
    gf_log("");
    gf_logHighlighted("");
    gf_logHighlighted("warn");
    gf_logContinued("more");
    gf_logAndFlush("a\nb");
    gf_closeLog();
    gf_log("dropped after close");
    const std::string text = readFile("Log.txt");
    const auto header = text.find('\n');
    EXPECT_EQ(text.substr(header + 1), "\n==> \n==> warn\n          more\na\nb\n");
}

TEST(Log, HighlightedLineIsOnDiskAtOnce) {
    TempFolder dir(true);
    gf_openLog();
    gf_log("buffered");
    gf_logHighlighted("urgent");
    // Read while the log is still open: the flush must have pushed both lines out.
    const std::string text = readFile("Log.txt");
    EXPECT_NE(text.find("buffered\n==> urgent\n"), std::string::npos);
    gf_closeLog();
}

// A killed process loses at most about a second of its log.
TEST(Log, PlainLinesReachTheDiskWithinASecond) {
    TempFolder dir(true);
    gf_openLog();
    gf_log("buffered only");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    bool onDisk = false;
    while (!onDisk && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        onDisk = readFile("Log.txt").find("buffered only\n") != std::string::npos;
    }
    EXPECT_TRUE(onDisk);
    gf_closeLog();
}

// Callers pass on bytes from outside (datagrams, lines of the user's files): whatever they hold,
// every line of the file is UTF-8 text without control characters.
TEST(Log, EveryLineIsUtf8TextWithoutControlCharacters) {
    TempFolder dir(true);
    gf_openLog();
    using namespace std::string_view_literals;
    gf_log("nul\0byte"sv);
    gf_logHighlighted("bad \xFF\xFE utf8, cut \xE2\x82");
    gf_logContinued("esc \x1B[2J cr\r del\x7F c1\xC2\x85 tab\t");
    gf_logUnlessQuiet("overlong \xC0\xAF surrogate \xED\xA0\x80");
    gf_logAndFlush("kept: \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9B\xAB");
    gf_closeLog();
    const auto l = lines(readFile("Log.txt"));
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[1], "nul?byte");
    EXPECT_EQ(l[2], "==> bad ?? utf8, cut ??");
    EXPECT_EQ(l[3], "          esc ?[2J cr? del? c1? tab?");
    EXPECT_EQ(l[4], "overlong ?? surrogate ???");
    EXPECT_EQ(l[5], "kept: \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9B\xAB");
}

// A huge line (a user's file of one 100 KB line, echoed) is cut, and says how long it was; the
// lines around it in the same text stay whole.
TEST(Log, LongLinesAreCutWithTheirLength) {
    TempFolder dir(true);
    gf_openLog();
    const std::string huge = "a" + std::string(4085, 'x') + "\xC3\xA9" + std::string(100000, 'y');
    gf_log("file.txt:" + huge + " wrong syntax\nnext line");
    gf_logHighlighted(std::string(4096, 'z'));
    gf_closeLog();
    const auto l = lines(readFile("Log.txt"));
    ASSERT_EQ(l.size(), 4u);
    // Cut before the two-byte character that would cross the limit.
    EXPECT_EQ(l[1], "file.txt:a" + std::string(4085, 'x') + " ... (104110 bytes)");
    EXPECT_EQ(l[2], "next line");
    EXPECT_EQ(l[3], "==> " + std::string(4096, 'z'));
}

TEST(Log, QuietLinesAreDroppedOnceStopping) {
    TempFolder dir(true);
    gf_openLog();
    gf_logUnlessQuiet("before");
    gClosingFlag = true;
    gf_logUnlessQuiet("while closing");
    gClosingFlag = false;
    gf_setExitReason(ExitReason::ReaderError, 15);
    gf_logUnlessQuiet("while stopping");
    gf_log("plain still written");
    gf_closeLog();
    const std::string text = readFile("Log.txt");
    EXPECT_NE(text.find("before\n"), std::string::npos);
    EXPECT_EQ(text.find("while"), std::string::npos);
    EXPECT_NE(text.find("plain still written\n"), std::string::npos);
}

TEST(Log, UnwritableFolderThrowsClearError) {
    TempFolder dir(true);
    std::filesystem::create_directory("Log.txt");  // a folder in the way cannot be opened as a file
    try {
        gf_openLog();
        FAIL() << "expected an error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to write file Log.txt");
    }
    EXPECT_FALSE(gf_logIsOpen());
}

TEST(FileGenerations, NamesInsertMarksBeforeTheLastDot) {
    EXPECT_EQ(gf_generationName("parameters.xml", 1), "parameters0.xml");
    EXPECT_EQ(gf_generationName("Log.txt", 3), "Log000.txt");
    EXPECT_EQ(gf_generationName("dir.d/file", 1), "dir0.d/file");
    EXPECT_TRUE(gf_generationName("nodot", 1).empty());
}

TEST(FileGenerations, SaveOneAndUpToThree) {
    TempFolder dir(true);
    gf_openLog();
    EXPECT_TRUE(gf_save1GenerationOf("parameters.xml"));  // missing: nothing to keep
    EXPECT_FALSE(std::filesystem::exists("parameters0.xml"));

    writeFile("parameters.xml", "v2");
    writeFile("parameters0.xml", "v1");
    EXPECT_TRUE(gf_save1GenerationOf("parameters.xml"));
    EXPECT_EQ(readFile("parameters0.xml"), "v2");
    EXPECT_EQ(readFile("parameters.xml"), "v2");  // copied, not moved

    writeFile("a.txt", "only");
    EXPECT_TRUE(gf_saveUpto3GenerationsOf("a.txt"));
    EXPECT_EQ(readFile("a0.txt"), "only");
    EXPECT_FALSE(std::filesystem::exists("a00.txt"));

    EXPECT_FALSE(gf_save1GenerationOf("nodot"));
    EXPECT_FALSE(gf_saveUpto3GenerationsOf("nodot"));

    // A target that cannot be replaced fails that step but the later steps still run.
    writeFile("b.txt", "cur");
    writeFile("b0.txt", "old");
    std::filesystem::create_directory("b00.txt");
    EXPECT_FALSE(gf_saveUpto3GenerationsOf("b.txt"));
    EXPECT_EQ(readFile("b0.txt"), "cur");
    gf_closeLog();

    const std::string text = readFile("Log.txt");
    EXPECT_NE(text.find("==> gf_save1GenerationOf: no dot in filename: nodot\n"), std::string::npos);
    EXPECT_NE(text.find("==> gf_saveUpto3GenerationsOf: no dot in filename: nodot\n"), std::string::npos);
    EXPECT_NE(text.find("==> copy b0.txt -> b00.txt failed: "), std::string::npos);
}

// A generation is a file the program writes like any other: replaced whole (a reader holding
// the old generation keeps it whole), and a link stays a link. The generations of a linked file
// lie beside the link and keep the contents of the file it leads to; a generation the user
// linked elsewhere is written where it leads.
TEST(FileGenerations, KeptWholeAndThroughLinks) {
    TempFolder dir(true);
    gf_openLog();
    writeFile("synced/parameters.xml", "v2");
    std::filesystem::create_symlink("synced/parameters.xml", "parameters.xml");
    writeFile("parameters0.xml", "v1");
    std::filesystem::create_hard_link("parameters0.xml", "held-by-a-reader.xml");
    EXPECT_TRUE(gf_save1GenerationOf("parameters.xml"));
    EXPECT_EQ(readFile("parameters0.xml"), "v2");
    EXPECT_EQ(readFile("held-by-a-reader.xml"), "v1") << "the old generation was written into";
    EXPECT_TRUE(std::filesystem::is_symlink("parameters.xml"));
    EXPECT_FALSE(std::filesystem::exists("synced/parameters0.xml"));

    writeFile("report.txt", "run2\n");
    writeFile("synced/report0.txt", "run1\n");
    std::filesystem::create_symlink("synced/report0.txt", "report0.txt");
    EXPECT_TRUE(gf_saveUpto3GenerationsOf("report.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink("report0.txt"));
    EXPECT_EQ(readFile("synced/report0.txt"), "run2\n");
    EXPECT_EQ(readFile("report00.txt"), "run1\n");
    gf_closeLog();
    for (const auto& entry : std::filesystem::recursive_directory_iterator("."))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

TEST(LogConcurrency, EightThreadsWriteOnlyWholeLines) {
    TempFolder dir(true);
    gf_openLog();
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string text = "thread " + std::to_string(t) + " " + std::string(40 + t, 'a' + t);
            for (int i = 0; i < kLines; ++i) {
                if (i % 100 == 0) gf_logHighlighted(text);
                else gf_log(text);
            }
        });
    }
    for (auto& th : threads) th.join();
    gf_closeLog();

    const auto l = lines(readFile("Log.txt"));
    ASSERT_EQ(l.size(), 1u + kThreads * kLines);
    std::vector<int> perThread(kThreads, 0);
    for (std::size_t i = 1; i < l.size(); ++i) {
        std::string s = l[i];
        if (s.rfind("==> ", 0) == 0) s = s.substr(4);
        ASSERT_EQ(s.rfind("thread ", 0), 0u) << s;
        const int t = s[7] - '0';
        ASSERT_EQ(s, "thread " + std::to_string(t) + " " + std::string(40 + t, 'a' + t));
        ++perThread[t];
    }
    for (int n : perThread) EXPECT_EQ(n, kLines);
}

// A named pipe in place of Log.txt would hold the start until somebody read it: the start is
// refused with a line naming it instead.
TEST(Log, APipeInPlaceOfTheLogIsNamedNotWaitedOn) {
    TempFolder dir(true);
    ASSERT_TRUE(testsupport::makeNamedPipe(std::filesystem::current_path() / "Log.txt"));
    std::string error;
    EXPECT_TRUE(testsupport::readWithoutAWriter("Log.txt", [&] {
        try {
            gf_openLog();
        } catch (const std::exception& e) {
            error = e.what();
        }
    }));
    gf_closeLog();
    EXPECT_EQ(error, "Failed to write file Log.txt");
}
