#pragma once
// All text inside the program is UTF-8 in narrow strings; UTF-16 (std::u16string) appears only
// at the operating system's boundary. The two strict conversions refuse invalid input rather
// than replacing it.

#include <filesystem>
#include <string>
#include <string_view>

namespace tamrix {

// Throws std::runtime_error "wide_to_utf8: invalid UTF-16" for an unpaired surrogate.
std::string wide_to_utf8(std::u16string_view text);
// Throws std::runtime_error "utf8_to_wide: invalid UTF-8" for any ill-formed byte sequence.
std::u16string utf8_to_wide(std::string_view text);

// The path as UTF-8. File names here are bytes: a name that is not valid UTF-8 is refused with
// the same error as wide_to_utf8, as an unpaired surrogate in a Windows name would be.
std::string gf_pathToUtf8(const std::filesystem::path& path);
// The path as UTF-8 for messages and log lines: bytes that are not UTF-8 show as U+FFFD.
// Never throws.
std::string gf_pathToUtf8Lossy(const std::filesystem::path& path);

// The UTF-8 text as a log line may show it: the characters no editor shows (control characters,
// zero-width and direction marks, the byte-order mark U+FEFF) named as "<U+FEFF>", a byte that is
// not UTF-8 as "<0xC3>"; every other character as it is. Never throws.
std::string gf_visibleText(std::string_view text);

// Single-byte text of the ANSI code page to UTF-8; every byte converts. Empty when the platform
// cannot convert.
std::string gf_ansiToUtf8(std::string_view text);

} // namespace tamrix
