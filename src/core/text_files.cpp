#include "core/text_files.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/status_line.hpp"
#include "core/text_encoding.hpp"
#include "platform/text_codec.hpp"

namespace tamrix {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// The UTF-8 check looks at this many bytes, plus up to 3 more to finish a character cut there.
constexpr std::size_t kUtf8CheckWindow = 4096;

std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// True when the first `examined` bytes are well-formed UTF-8, the last character being
// completed from the bytes after them when it is cut there (but not by the end of the data).
bool isUtf8Start(std::string_view bytes, std::size_t examined) {
    if (examined == 0) return true;
    std::size_t end = examined;
    // Find the lead byte of the last character that starts before the cut.
    for (std::size_t back = 1; back <= 3 && back <= examined; ++back) {
        const auto c = static_cast<unsigned char>(bytes[examined - back]);
        if (c >= 0x80 && c <= 0xBF) continue;
        const std::size_t length = utf8SequenceLength(c);
        if (length > back) end = std::min(examined - back + length, bytes.size());
        break;
    }
    // The strict conversion rejects overlong forms, encoded surrogates, values above U+10FFFF
    // and truncated characters, so a text that passes here also passes utf8_to_wide.
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(end), nullptr,
                               0) > 0;
}

// Strict UTF-8: no overlong forms, no encoded surrogates, nothing above U+10FFFF, no cut
// characters.
bool isValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (n - i < length) return false;
        if (p[i + 1] < low || p[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
        i += length;
    }
    return true;
}

// The charset check looks at the start of a file only: a line further on (or any line behind a
// byte-order mark) may still hold ANSI bytes. Such a line is read in the ANSI code page, so that
// nothing but valid UTF-8 leaves the reader; the file gets one log line.
void repairUtf8Lines(std::vector<std::string>& lines, const std::filesystem::path& path, std::size_t from = 0) {
    std::size_t repaired = 0;
    for (std::size_t i = from; i < lines.size(); ++i) {
        std::string& line = lines[i];
        if (isValidUtf8(line)) continue;
        line = gf_ansiToUtf8(line);
        ++repaired;
    }
    if (repaired > 0)
        gf_log(fmt::format("! {} line{} of '{}' not UTF-8, read in the ANSI code page", repaired,
                           repaired == 1 ? "" : "s", gf_pathToUtf8Lossy(path)));
}

// Replaces each unpaired surrogate of the text by U+FFFD; how many there were.
std::size_t replaceUnpairedSurrogates(std::u16string& text) {
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            text[i] = u'\uFFFD';
            ++replaced;
        }
    }
    return replaced;
}

// The lines of UTF-16 bytes, converted to UTF-8. A mark FF FE or FE FF sets the byte order (and
// is skipped); without one, byteOrder tells it. False when the byte count is odd. An unpaired
// surrogate throws, unless `replaced` is given: it is then read as U+FFFD and counted there.
bool utf16Lines(const std::string& b, std::vector<std::string>& lines, Charset byteOrder,
                std::size_t* replaced) {
    if (b.size() < 2) return b.empty();
    bool bigEndian = byteOrder == Charset::Unicode_big_endian;
    std::size_t start = 0;
    if (b[0] == '\xFF' && b[1] == '\xFE') {
        bigEndian = false;
        start = 2;
    } else if (b[0] == '\xFE' && b[1] == '\xFF') {
        bigEndian = true;
        start = 2;
    }
    std::u16string text((b.size() - start) / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto first = static_cast<unsigned char>(b[start + 2 * i]);
        const auto second = static_cast<unsigned char>(b[start + 2 * i + 1]);
        text[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    if (replaced != nullptr) *replaced += replaceUnpairedSurrogates(text);
    gf_splitUtf8Lines(wide_to_utf8(text), lines);
    return (b.size() - start) % 2 == 0;
}

// The charset told by the start of a file's bytes: its marks and zero bytes, then its first 4096
// bytes checked as UTF-8 (a character cut there completed from the bytes after them).
Charset charsetOf(std::string_view bytes) {
    const std::size_t n = bytes.size();
    auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };

    if (bytes.starts_with(kUtf8Mark)) return Charset::UTF8_with_BOM;
    if (n >= 2) {
        if (b(0) == 0xFF && b(1) == 0xFE) return Charset::Unicode;
        if (b(0) == 0xFE && b(1) == 0xFF) return Charset::Unicode_big_endian;
        // Mostly-Latin UTF-16 without a mark: every other byte is zero.
        if (b(1) == 0 && (n < 4 || b(3) == 0)) return Charset::Unicode;
        if (b(0) == 0 && (n < 4 || b(2) == 0)) return Charset::Unicode_big_endian;
    }
    return isUtf8Start(bytes, std::min(n, kUtf8CheckWindow)) ? Charset::UTF8_without_BOM : Charset::ANSI;
}

// The lines of a file's bytes in the given charset (a known one), converted to UTF-8. Throws
// what the strict conversion throws (an unpaired surrogate in UTF-16), unless `replaced` is
// given (see utf16Lines).
void decodeLines(Charset charset, const std::string& bytes, const std::filesystem::path& path,
                 std::vector<std::string>& lines, std::size_t* replaced = nullptr) {
    switch (charset) {
    case Charset::Unicode:
    case Charset::Unicode_big_endian:
        // Without a mark the detected byte order holds.
        if (!utf16Lines(bytes, lines, charset, replaced))
            gf_log(fmt::format("! UTF-16 file '{}' has an odd number of bytes; its last byte is ignored",
                               gf_pathToUtf8Lossy(path)));
        break;
    case Charset::UTF8_with_BOM:
        gf_splitUtf8Lines(bytes, lines);
        // A second mark right after the first.
        if (!lines.empty() && lines.front().starts_with(kUtf8Mark)) lines.front().erase(0, kUtf8Mark.size());
        repairUtf8Lines(lines, path);
        break;
    case Charset::ANSI: {
        std::vector<std::string> raw;
        gf_splitUtf8Lines(bytes, raw);
        lines.reserve(raw.size());
        for (const auto& line : raw) lines.push_back(gf_ansiToUtf8(line));
        break;
    }
    default:
        gf_splitUtf8Lines(bytes, lines);
        repairUtf8Lines(lines, path);
        break;
    }
}

} // namespace

std::string_view gf_charsetName(Charset charset) {
    switch (charset) {
    case Charset::ANSI: return "ANSI";
    case Charset::Unicode: return "Unicode";
    case Charset::Unicode_big_endian: return "Unicode_big_endian";
    case Charset::UTF8_with_BOM: return "UTF8_with_BOM";
    case Charset::UTF8_without_BOM: return "UTF8_without_BOM";
    case Charset::none_found: return "none_found";
    }
    return "unknown";
}

Charset gf_detectCharset(const std::filesystem::path& path, std::string* problem) {
    FileBytes start = gf_readRegularFileStart(path, kUtf8CheckWindow + 3);
    if (!start.read()) {
        if (problem != nullptr) *problem = std::move(start.problem);
        return Charset::none_found;
    }
    return charsetOf(start.bytes);
}

void gf_splitUtf8Lines(std::string_view text, std::vector<std::string>& lines) {
    if (text.starts_with(kUtf8Mark)) text.remove_prefix(kUtf8Mark.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.emplace_back(line);
        start = next;
    }
}

bool gf_readTextFile(Charset charset, const std::filesystem::path& path, std::vector<std::string>& lines,
                     std::size_t maxBytes) {
    lines.clear();
    try {
        switch (charset) {
        case Charset::ANSI:
        case Charset::Unicode:
        case Charset::Unicode_big_endian:
        case Charset::UTF8_with_BOM:
        case Charset::UTF8_without_BOM: break;
        default:
            throw std::runtime_error(fmt::format("file {} has unknown charset: {}", gf_pathToUtf8Lossy(path),
                                                 gf_charsetName(charset)));
        }
        const FileBytes file = gf_readRegularFile(path, maxBytes);
        if (file.openError != 0) return false;
        if (!file.read()) throw std::runtime_error(file.problem);
        decodeLines(charset, file.bytes, path, lines);
        return true;
    } catch (const std::exception& e) {
        lines.clear();
        gf_setStatusLine(fmt::format("Read failed for '{}': {}", gf_pathToUtf8Lossy(path), e.what()), true);
        return false;
    }
}

FileBytes gf_readAnyTextFile(const std::filesystem::path& path, std::vector<std::string>& lines, std::size_t maxBytes) {
    lines.clear();
    FileBytes file = gf_readRegularFile(path, maxBytes);
    if (!file.read()) return file;
    try {
        std::size_t replaced = 0;
        decodeLines(charsetOf(file.bytes), file.bytes, path, lines, &replaced);
        if (replaced > 0)
            gf_log(fmt::format("! {} unpaired UTF-16 surrogate{} in '{}' read as U+FFFD", replaced,
                               replaced == 1 ? "" : "s", gf_pathToUtf8Lossy(path)));
    } catch (const std::exception& e) {
        lines.clear();
        file.problem = e.what();
    }
    file.bytes = std::string();
    return file;
}

void gf_splitUtf8FileLines(std::string_view bytes, const std::filesystem::path& path,
                           std::vector<std::string>& lines) {
    const std::size_t first = lines.size();
    gf_splitUtf8Lines(bytes, lines);
    repairUtf8Lines(lines, path, first);
}

ReadLinesResult gf_readLines(TextFile& file, std::size_t reserve, std::size_t maxBytes) {
    file.lines.clear();
    FileBytes bytes = gf_readRegularFile(file.path, maxBytes);
    if (!bytes.read()) return {false, {}, "open_failed", std::move(bytes.problem)};
    if (reserve > file.lines.capacity()) file.lines.reserve(reserve);
    gf_splitUtf8FileLines(bytes.bytes, file.path, file.lines);
    return {true, file.lines, {}, {}};
}

namespace {

void appendLine(std::string& text, std::string_view line) {
    text.append(line);
    text.push_back('\n');
}

} // namespace

bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path) {
    std::string bytes;
    bytes.reserve(text.size() + 1);
    appendLine(bytes, text);
    return gf_writeFileAtomically(path, bytes);
}

bool gf_writeLines(std::span<const std::string> lines, const std::filesystem::path& path) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 1;
    std::string bytes;
    bytes.reserve(size);
    for (const auto& line : lines) appendLine(bytes, line);
    return gf_writeFileAtomically(path, bytes);
}

} // namespace tamrix
