#pragma once
// Whole-file text reading and writing for the program's text files (regcode lists, scan
// reports, airport lists, "UserCfg.opt", "aircraft.cfg" files of any encoding). Lines are UTF-8
// strings without their line ends.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/files.hpp"

namespace tamrix {

// The character set of a text file; the codes are stable.
enum class Charset : int32_t {
    ANSI = 0,               // not valid UTF-8: single-byte text of the ANSI code page
    Unicode = 1,            // UTF-16 little-endian
    Unicode_big_endian = 2, // UTF-16 big-endian
    UTF8_with_BOM = 3,
    UTF8_without_BOM = 4, // valid UTF-8, pure ASCII and empty files included
    none_found = 5,       // the file could not be opened
};

// "ANSI", "Unicode", ...; "unknown" for a value outside the codes.
std::string_view gf_charsetName(Charset charset);

struct TextFile {
    std::filesystem::path path;
    std::vector<std::string> lines;
};

// On success a view of the TextFile's lines (valid while the list is unchanged); otherwise the
// error "open_failed", and in `problem` why, in words that follow the file's name (as
// FileBytes::problem).
struct ReadLinesResult {
    bool ok = false;
    std::span<const std::string> lines;
    std::string_view error;
    std::string problem;
};

// The most a text file read whole may hold unless its reader names a bound of its own: far above
// the largest aircraft.cfg of an AI package or a regcode list, far below the memory at hand.
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{64} << 20;

// Looks at the marks and zero bytes of the first 4 bytes, then checks at most the first 4096
// bytes as UTF-8 (a character cut by that limit is completed from the following bytes).
// none_found when the file does not open or is no regular file (a pipe is not waited on); why
// then in `problem`, when given (as FileBytes::problem).
Charset gf_detectCharset(const std::filesystem::path& path, std::string* problem = nullptr);

// Appends the lines of a UTF-8 text: a leading byte-order mark is skipped, lines end at LF and
// lose one CR before it; a final LF starts no further line.
void gf_splitUtf8Lines(std::string_view text, std::vector<std::string>& lines);

// Empties the list and reads the file with the given charset, converting to UTF-8. A line of a
// UTF-8 file that is not valid UTF-8 is read in the ANSI code page (one log line per file). The
// file is read as gf_readRegularFile reads it (never waiting on a pipe, at most maxBytes).
// False when the file does not open, or with the message "Read failed for '{}': {}" on the
// message line and in the log when reading fails (an unknown charset, something other than a
// regular file in its place, a file beyond maxBytes included).
bool gf_readTextFile(Charset charset, const std::filesystem::path& path, std::vector<std::string>& lines,
                     std::size_t maxBytes = kMaxTextFileBytes);

// Reads a text file whole in whatever charset it is written: one read as gf_readRegularFile reads
// it (never waiting on a pipe, at most maxBytes), the charset told from its start as
// gf_detectCharset tells it, the lines converted to UTF-8 as gf_readTextFile converts them, except
// that an unpaired UTF-16 surrogate spoils its character only: it is read as U+FFFD (one log line
// naming the path and how many), and the rest of the file is read. The
// result's problem is empty when the file was read; otherwise why not, as gf_readRegularFile
// says it (openError ENOENT: nothing is there), or the conversion's error. Its bytes stay empty.
FileBytes gf_readAnyTextFile(const std::filesystem::path& path, std::vector<std::string>& lines,
                             std::size_t maxBytes = kMaxTextFileBytes);

// Appends the lines of the UTF-8 bytes read from the file at the path, as gf_readLines reads
// them: split as gf_splitUtf8Lines does, an invalid line read in the ANSI code page (one log line
// naming the path).
void gf_splitUtf8FileLines(std::string_view bytes, const std::filesystem::path& path,
                           std::vector<std::string>& lines);

// Reads the file's UTF-8 lines into file.lines, reserving room for `reserve` lines first; an
// invalid line is read in the ANSI code page as gf_readTextFile does. The file is read as
// gf_readRegularFile reads it: a pipe or a device in its place, or more than maxBytes, is not
// read (the error "open_failed", the cause in `problem`).
ReadLinesResult gf_readLines(TextFile& file, std::size_t reserve, std::size_t maxBytes = kMaxTextFileBytes);

// Write the text (or each line) followed by one LF, replacing the file atomically
// (gf_writeFileAtomically). False, logged, when the file cannot be written or the path holds
// something other than a regular file (a device or a pipe is never replaced).
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path);
bool gf_writeLines(std::span<const std::string> lines, const std::filesystem::path& path);

} // namespace tamrix
