#include "core/text_files.hpp"

#include <string>
#include <vector>

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/log.hpp"
#include "core/status_line.hpp"
#include "support/named_pipe.hpp"
#include "support/temp_folder.hpp"

using namespace tamrix;
using testing::ElementsAre;
using testing::IsEmpty;
using testsupport::readFile;
using testsupport::TempFolder;
using testsupport::writeFile;

namespace {

using Lines = std::vector<std::string>;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

// UTF-16 of an ASCII text, in either byte order, with or without a mark.
std::string utf16(std::string_view ascii, bool bigEndian, bool mark) {
    std::string s = mark ? (bigEndian ? bytes({0xFE, 0xFF}) : bytes({0xFF, 0xFE})) : "";
    for (char c : ascii) {
        if (bigEndian) s.push_back('\0');
        s.push_back(c);
        if (!bigEndian) s.push_back('\0');
    }
    return s;
}

Charset detect(const TempFolder& dir, std::string_view content) {
    const auto path = dir / "sample.txt";
    writeFile(path, content);
    return gf_detectCharset(path);
}

Lines readAs(Charset charset, const std::filesystem::path& path) {
    Lines lines{"stale"};
    EXPECT_TRUE(gf_readTextFile(charset, path, lines));
    return lines;
}

Lines split(std::string_view text) {
    Lines lines;
    gf_splitUtf8Lines(text, lines);
    return lines;
}

} // namespace

TEST(TextFileCharset, MarksAndZeroBytePatterns) {
    TempFolder dir;
    EXPECT_EQ(gf_detectCharset(dir / "missing.txt"), Charset::none_found);
    EXPECT_EQ(gf_detectCharset(dir.path()), Charset::none_found); // a folder does not open as a file
    EXPECT_EQ(detect(dir, ""), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir, "\xEF\xBB\xBF"), Charset::UTF8_with_BOM);
    EXPECT_EQ(detect(dir, bytes({0xFF, 0xFE})), Charset::Unicode);
    EXPECT_EQ(detect(dir, bytes({0xFE, 0xFF, 0, 'a'})), Charset::Unicode_big_endian);
    EXPECT_EQ(detect(dir, bytes({'a', 0})), Charset::Unicode);
    EXPECT_EQ(detect(dir, bytes({'a', 0x01})), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir, bytes({'a', 0xE9})), Charset::ANSI);
    EXPECT_EQ(detect(dir, bytes({0x41, 0, 0x42, 0})), Charset::Unicode);
    EXPECT_EQ(detect(dir, bytes({0, 0x41, 0, 0x42})), Charset::Unicode_big_endian);
    EXPECT_EQ(detect(dir, bytes({0x41, 0, 0x42, 0x43})), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir, bytes({0, 0x41, 0})), Charset::Unicode_big_endian);
}

TEST(TextFileCharset, Utf8CheckRefusesWhatTheStrictConversionRefuses) {
    TempFolder dir;
    EXPECT_EQ(detect(dir, "caf\xC3\xA9 \xF0\x9F\x9B\xA9"), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir, "x\xC0\x80"), Charset::ANSI);         // overlong NUL
    EXPECT_EQ(detect(dir, "x\xE0\x9F\x80"), Charset::ANSI);     // overlong 3-byte form
    EXPECT_EQ(detect(dir, "x\xF4\x90\x80\x80"), Charset::ANSI); // above U+10FFFF
    EXPECT_EQ(detect(dir, "x\xED\xA0\x80"), Charset::ANSI);     // an encoded surrogate
    EXPECT_EQ(detect(dir, "x\xF0\x9F\x9B"), Charset::ANSI);     // cut by the end of the file
}

TEST(TextFileCharset, CharacterCutByTheCheckWindowIsCompleted) {
    TempFolder dir;
    const std::string prefix4095(4095, 'a');
    // Byte 4095 starts a 2-byte character whose second byte is byte 4096.
    EXPECT_EQ(detect(dir, prefix4095 + "\xC3\xA9"), Charset::UTF8_without_BOM);
    EXPECT_EQ(detect(dir, std::string(4094, 'a') + "\xF0\x9F\x9B\xA9 tail"), Charset::UTF8_without_BOM);
    // Completed, but wrongly.
    EXPECT_EQ(detect(dir, prefix4095 + "\xC3" "A"), Charset::ANSI);
    // Cut by the end of the file itself.
    EXPECT_EQ(detect(dir, prefix4095 + "\xC3"), Charset::ANSI);
    // Only the first 4096 bytes are checked.
    EXPECT_EQ(detect(dir, std::string(4096, 'a') + "\xE9"), Charset::UTF8_without_BOM);
}

TEST(TextFileLines, SplitAtLfDroppingOneCr) {
    EXPECT_THAT(split("a\nb\n"), ElementsAre("a", "b"));
    EXPECT_THAT(split("a\n\nb"), ElementsAre("a", "", "b"));
    EXPECT_THAT(split("\n"), ElementsAre(""));
    EXPECT_THAT(split(""), IsEmpty());
    EXPECT_THAT(split("\xEF\xBB\xBF"), IsEmpty());
    EXPECT_THAT(split("\xEF\xBB\xBFx\r\ny"), ElementsAre("x", "y"));
    EXPECT_THAT(split("a\rb\r\r\n"), ElementsAre("a\rb\r"));
    Lines lines{"kept"};
    gf_splitUtf8Lines("more", lines);
    EXPECT_THAT(lines, ElementsAre("kept", "more"));
}

TEST(TextFileRead, EveryCharsetGivesTheSameUtf8Lines) {
    TempFolder dir;
    const Lines expected{"[fltsim.0]", "title=A320 Caf\xC3\xA9", "", "x"};
    const std::string crlf = "[fltsim.0]\r\ntitle=A320 Caf?\r\n\r\nx\n";
    const std::string utf8 = "[fltsim.0]\ntitle=A320 Caf\xC3\xA9\n\nx";
    // '?' becomes U+00E9 in the single-byte and UTF-16 forms, in either byte order.
    auto e9 = [](std::string s) {
        s[s.find('?')] = '\xE9';
        return s;
    };
    const std::pair<std::string, Charset> samples[] = {
        {e9(crlf), Charset::ANSI},
        {utf8, Charset::UTF8_without_BOM},
        {"\xEF\xBB\xBF" + utf8, Charset::UTF8_with_BOM},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" + utf8 + "\n", Charset::UTF8_with_BOM},
        {e9(utf16(crlf, false, true)), Charset::Unicode},
        {e9(utf16(crlf, true, true)), Charset::Unicode_big_endian},
        {e9(utf16(crlf, false, false)), Charset::Unicode},
        {e9(utf16(crlf, true, false)), Charset::Unicode_big_endian},
        {"caf\xE9 \x80 \x81", Charset::ANSI},
    };
    for (const auto& [content, charset] : samples) {
        SCOPED_TRACE(testing::PrintToString(content));
        writeFile(dir / "sample.cfg", content);
        ASSERT_EQ(gf_detectCharset(dir / "sample.cfg"), charset);
        if (content.starts_with("caf"))
            EXPECT_THAT(readAs(charset, dir / "sample.cfg"), ElementsAre("caf\xC3\xA9 \xE2\x82\xAC \xC2\x81"));
        else
            EXPECT_EQ(readAs(charset, dir / "sample.cfg"), expected);
        // The reader of a file of any charset tells the charset itself and reads the same lines.
        Lines any{"stale"};
        EXPECT_TRUE(gf_readAnyTextFile(dir / "sample.cfg", any).read());
        EXPECT_EQ(any, readAs(charset, dir / "sample.cfg"));
    }
    writeFile(dir / "empty.txt", "");
    for (int code = 0; code <= 4; ++code) EXPECT_THAT(readAs(static_cast<Charset>(code), dir / "empty.txt"), IsEmpty());
}

TEST(TextFileRead, OddLengthUtf16ReadsTheCompleteUnitsAndLogs) {
    TempFolder dir(true);
    gf_openLog();
    writeFile(dir / "odd.txt", utf16("ab\ncd", false, true) + "e");
    EXPECT_THAT(readAs(Charset::Unicode, "odd.txt"), ElementsAre("ab", "cd"));
    gf_closeLog();
    EXPECT_THAT(readFile("Log.txt"), testing::HasSubstr("! UTF-16 file 'odd.txt' has an odd number of bytes; its last byte is ignored"));
}

// The charset check sees the start of a file only: an ANSI byte further on, or anywhere behind a
// UTF-8 mark, must still come out as valid UTF-8, line by line, with one log line per file.
TEST(TextFileRead, AnsiLinesInUtf8FilesAreConvertedLineByLine) {
    TempFolder dir(true);
    gf_openLog();
    const std::string cafe1252 = "title=Caf" + bytes({0xE9});
    const std::string cafeUtf8 = "title=Caf\xc3\xa9";
    writeFile(dir / "late.txt", std::string(5000, 'x') + "\n" + cafeUtf8 + "\n" + cafe1252 + "\n" + cafe1252 + "\n");
    ASSERT_EQ(gf_detectCharset("late.txt"), Charset::UTF8_without_BOM);
    EXPECT_THAT(readAs(Charset::UTF8_without_BOM, "late.txt"),
                ElementsAre(std::string(5000, 'x'), cafeUtf8, cafeUtf8, cafeUtf8));

    writeFile(dir / "marked.txt", bytes({0xEF, 0xBB, 0xBF}) + "a\n" + cafe1252 + "\n");
    ASSERT_EQ(gf_detectCharset("marked.txt"), Charset::UTF8_with_BOM);
    EXPECT_THAT(readAs(Charset::UTF8_with_BOM, "marked.txt"), ElementsAre("a", cafeUtf8));

    TextFile file{"marked.txt", {}};
    ASSERT_TRUE(gf_readLines(file, 4).ok);
    EXPECT_THAT(file.lines, ElementsAre("a", cafeUtf8));
    Lines any;
    ASSERT_TRUE(gf_readAnyTextFile("late.txt", any).read());
    EXPECT_THAT(any, ElementsAre(std::string(5000, 'x'), cafeUtf8, cafeUtf8, cafeUtf8));

    // Lines that are valid UTF-8 are kept as they are, surrogates and cut characters are not.
    writeFile(dir / "odd.txt", "\xed\xa0\x80\n\xf0\x9f\x98\x80\n\xe2\x82\n");
    EXPECT_THAT(readAs(Charset::UTF8_without_BOM, "odd.txt"),
                ElementsAre("\xc3\xad\xc2\xa0\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xc3\xa2\xe2\x80\x9a"));
    gf_closeLog();
    const std::string log = readFile("Log.txt");
    EXPECT_THAT(log, testing::HasSubstr("! 2 lines of 'late.txt' not UTF-8, read in the ANSI code page\n"));
    EXPECT_THAT(log, testing::HasSubstr("! 1 line of 'marked.txt' not UTF-8, read in the ANSI code page\n"));
    EXPECT_THAT(log, testing::HasSubstr("! 2 lines of 'odd.txt' not UTF-8"));
}

TEST(TextFileRead, FailuresAreReportedOnTheMessageLine) {
    TempFolder dir(true);
    gf_openLog();
    Lines lines{"stale"};
    // A file that does not open: false, quietly.
    EXPECT_FALSE(gf_readTextFile(Charset::UTF8_without_BOM, "missing.txt", lines));
    EXPECT_THAT(lines, IsEmpty());
    EXPECT_EQ(gf_statusLineSnapshot().message, "");

    EXPECT_FALSE(gf_readTextFile(Charset::none_found, "missing.txt", lines));
    EXPECT_EQ(gf_statusLineSnapshot().message,
              "Read failed for 'missing.txt': file missing.txt has unknown charset: none_found");

    writeFile(dir / "lone.txt", utf16("ok\n", false, true) + bytes({0x00, 0xD8}));
    lines = {"stale"};
    EXPECT_FALSE(gf_readTextFile(Charset::Unicode, "lone.txt", lines));
    EXPECT_THAT(lines, IsEmpty());
    EXPECT_EQ(gf_statusLineSnapshot().message, "Read failed for 'lone.txt': wide_to_utf8: invalid UTF-16");

    EXPECT_FALSE(gf_readTextFile(static_cast<Charset>(9), "lone.txt", lines));
    gf_closeLog();
    const std::string log = readFile("Log.txt");
    EXPECT_THAT(log, testing::HasSubstr("Read failed for 'lone.txt': wide_to_utf8: invalid UTF-16\n"));
    EXPECT_THAT(log, testing::HasSubstr("file lone.txt has unknown charset: unknown\n"));
}

// Each reader takes a file at the bound its caller names and refuses one a byte longer, saying so.
TEST(TextFileRead, EachReaderReadsAFileAtItsBoundAndRefusesOneByteMore) {
    TempFolder dir(true);
    gf_openLog();
    writeFile("ten.txt", "123456789\n");
    const std::string beyond = "10 bytes, more than the 9 it may hold";
    Lines lines;
    EXPECT_TRUE(gf_readTextFile(Charset::UTF8_without_BOM, "ten.txt", lines, 10));
    EXPECT_THAT(lines, ElementsAre("123456789"));
    EXPECT_FALSE(gf_readTextFile(Charset::UTF8_without_BOM, "ten.txt", lines, 9));
    EXPECT_EQ(gf_statusLineSnapshot().message, "Read failed for 'ten.txt': " + beyond);
    TextFile file{"ten.txt", {}};
    EXPECT_TRUE(gf_readLines(file, 1, 10).ok);
    EXPECT_EQ(gf_readLines(file, 1, 9).problem, beyond);
    EXPECT_TRUE(gf_readAnyTextFile("ten.txt", lines, 10).read());
    EXPECT_THAT(lines, ElementsAre("123456789"));
    EXPECT_EQ(gf_readAnyTextFile("ten.txt", lines, 9).problem, beyond);
    EXPECT_THAT(lines, IsEmpty());
    gf_closeLog();
}

TEST(TextFileRead, ReadLinesReportsOpenFailureOrViewsTheLines) {
    TempFolder dir;
    TextFile file{dir / "missing.txt", {"old"}};
    auto r = gf_readLines(file, 10);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "open_failed");
    EXPECT_THAT(file.lines, IsEmpty());

    file.path = dir / "list.txt";
    writeFile(file.path, "EHAM\r\nEDDF\n");
    r = gf_readLines(file, 100);
    ASSERT_TRUE(r.ok);
    EXPECT_GE(file.lines.capacity(), 100u);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines.data(), file.lines.data());
    EXPECT_THAT(file.lines, ElementsAre("EHAM", "EDDF"));
    // A link is read as the file it leads to.
    std::filesystem::create_symlink(file.path, dir / "link.txt");
    file.path = dir / "link.txt";
    ASSERT_TRUE(gf_readLines(file, 2).ok);
    EXPECT_THAT(file.lines, ElementsAre("EHAM", "EDDF"));
}

// A named pipe in a text file's place would hold its reader until a writer came: none of the
// readers waits on it, and the one that reports failures names the file.
TEST(TextFileRead, ANamedPipeIsNotWaitedOn) {
    TempFolder dir(true);
    gf_openLog();
    ASSERT_TRUE(testsupport::makeNamedPipe(dir / "pipe.txt"));
    TextFile file{"pipe.txt", {"old"}};
    ReadLinesResult read;
    Charset charset = Charset::ANSI;
    Lines lines{"stale"};
    bool textRead = true;
    FileBytes anyText;
    ASSERT_TRUE(testsupport::readWithoutAWriter(file.path, [&] {
        read = gf_readLines(file, 4);
        charset = gf_detectCharset(file.path);
        anyText = gf_readAnyTextFile(file.path, lines);
        textRead = gf_readTextFile(Charset::UTF8_without_BOM, file.path, lines);
    }));
    EXPECT_EQ(anyText.problem, "a named pipe stands in its place");
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, "open_failed");
    EXPECT_THAT(file.lines, IsEmpty());
    EXPECT_EQ(charset, Charset::none_found);
    EXPECT_FALSE(textRead);
    EXPECT_THAT(lines, IsEmpty());
    EXPECT_EQ(gf_statusLineSnapshot().message, "Read failed for 'pipe.txt': a named pipe stands in its place");
    gf_closeLog();
}

TEST(TextFileWrite, WritersEndEachLineWithLfAndReportFailures) {
    TempFolder dir;
    EXPECT_TRUE(gf_writeTextFile("one\ntwo", dir / "text.txt"));
    EXPECT_EQ(readFile(dir / "text.txt"), "one\ntwo\n");
    const Lines lines{"a", "", "caf\xC3\xA9"};
    EXPECT_TRUE(gf_writeLines(lines, dir / "text.txt"));
    EXPECT_EQ(readFile(dir / "text.txt"), "a\n\ncaf\xC3\xA9\n");
    EXPECT_TRUE(gf_writeLines(Lines{}, dir / "empty.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "empty.txt"));
    EXPECT_EQ(std::filesystem::file_size(dir / "empty.txt"), 0u);

    EXPECT_FALSE(gf_writeLines(lines, dir / "no-such-folder" / "x.txt"));
    EXPECT_FALSE(gf_writeTextFile("x", dir.path()));
    // A file is replaced whole, never written in place: a pipe (or a device) is left alone.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(gf_writeTextFile("report", dir / "pipe"));
    EXPECT_FALSE(gf_writeLines(lines, dir / "pipe"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe"));
}
