#pragma once
// "Log.txt": one process-wide log in the working directory, opened once per process after up
// to three earlier generations have been kept. Every thread may write; lines never interleave.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tamrix {

// Keeps Log0/Log00/Log000.txt, opens "Log.txt" (truncating) and writes the header line.
// Throws std::runtime_error "Failed to write file Log.txt" when the file cannot be created.
void gf_openLog();
// Flushes and closes the log; later lines are dropped. Called at process exit.
void gf_closeLog();
void gf_flushLog();
bool gf_logIsOpen();

void gf_log(std::string_view text);             // text "\n"
void gf_logHighlighted(std::string_view text);  // "==> " text "\n", flushed at once
void gf_logAndFlush(std::string_view text);     // text "\n", flushed
void gf_logContinued(std::string_view text);    // ten blanks, text "\n"
void gf_logUnlessQuiet(std::string_view text);  // dropped once stop or closing is set
// Every line is UTF-8 text: bytes that are not UTF-8 and control characters (but a line break)
// are written as '?'. A line longer than 4096 bytes is cut there and ends in " ... ({n} bytes)"
// with its whole length. Lines that are not flushed at once reach the file within a second.

// The text as a log line may show it: at most `limit` bytes, never ending inside a UTF-8
// sequence, " ..." after a cut, and bytes that are not UTF-8 or control characters (line
// breaks too) as '?'.
std::string gf_logSafeText(std::string_view text, std::size_t limit);

// Copies the file over its first generation ("parameters.xml" -> "parameters0.xml").
bool gf_save1GenerationOf(const std::filesystem::path& path);
// Shifts up to three generations: 00 -> 000, 0 -> 00, the file -> 0.
bool gf_saveUpto3GenerationsOf(const std::filesystem::path& path);
// The n-th generation name (n marks "0" before the last dot), or empty when there is no dot.
std::filesystem::path gf_generationName(const std::filesystem::path& path, int n);

} // namespace tamrix
