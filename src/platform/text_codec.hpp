#pragma once
// Stand-in for the Win32 code-page conversions between narrow text and UTF-16. UTF-16 is
// char16_t (wchar_t is 32-bit here). The calls behave like their Win32 namesakes: a zero output
// size asks for the length, 0 is returned for invalid input (with the strict flags), for an
// output buffer that is too small and for bad arguments. A count of -1 means a NUL-terminated
// input whose terminator is converted as well.
//
// Code pages: CP_UTF8, and CP_ACP, the ANSI code page, which is a setting of this stand-in
// (Windows-1252 unless changed through platform::text::setAnsiCodePage).

#include <cstddef>
#include <cstdint>
#include <string_view>

using UINT = unsigned int;
using DWORD = std::uint32_t;
using BOOL = int;

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
// Refuse invalid input (return 0) instead of replacing it with U+FFFD.
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// Narrow text in codePage to UTF-16. Returns the number of UTF-16 units written (or needed,
// when wideCount is 0), 0 on failure.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int multiByteCount,
                        char16_t* wide, int wideCount);

// UTF-16 to narrow text in codePage. Returns the number of bytes written (or needed, when
// multiByteCount is 0), 0 on failure. For CP_UTF8 defaultChar and usedDefaultChar must be null;
// for the ANSI code page characters it lacks become defaultChar ("?" when null).
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideCount, char* multiByte,
                        int multiByteCount, const char* defaultChar, BOOL* usedDefaultChar);

// The ANSI code page in effect.
UINT GetACP();

namespace platform::text {

// The UTF-8 sequence at the start of a non-empty text: its length and code point when it is well
// formed (no overlong form, no surrogate, nothing above U+10FFFF, not cut off); otherwise the
// length of the maximal part of it that could begin one (at least a byte), not valid.
struct Utf8Step {
    std::size_t length = 0;
    bool valid = false;
    char32_t codePoint = 0;
};
Utf8Step utf8Step(std::string_view text);

// Code pages the stand-in has a table for: 1252 (Windows-1252) and 28591 (ISO-8859-1).
// Returns false, leaving the setting alone, for any other code page.
bool setAnsiCodePage(UINT codePage);

} // namespace platform::text
