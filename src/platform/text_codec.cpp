#include "platform/text_codec.hpp"

#include <array>
#include <atomic>
#include <cstddef>
#include <limits>
#include <string_view>

namespace {

// UTF-16 units of the bytes 80..FF of a single-byte code page; 00..7F are ASCII in all of them.
using CodeTable = std::array<char16_t, 128>;

constexpr CodeTable makeLatin1() {
    CodeTable t{};
    for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<char16_t>(0x80 + i);
    return t;
}

constexpr CodeTable makeWindows1252() {
    CodeTable t = makeLatin1();
    // 81, 8D, 8F, 90 and 9D are undefined; Windows maps them to the C1 controls of the same value.
    constexpr char16_t c1[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
    };
    for (std::size_t i = 0; i < 32; ++i) t[i] = c1[i];
    return t;
}

constexpr CodeTable kWindows1252 = makeWindows1252();
constexpr CodeTable kLatin1 = makeLatin1();

std::atomic<UINT> gAnsiCodePage{1252};

const CodeTable* tableFor(UINT codePage) {
    if (codePage == CP_ACP) codePage = gAnsiCodePage.load(std::memory_order_relaxed);
    switch (codePage) {
    case 1252: return &kWindows1252;
    case 28591: return &kLatin1;
    default: return nullptr;
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// Where converted units go: counted only (no buffer) or written into a buffer of fixed size.
template <class Unit>
class Output {
public:
    Output(Unit* buffer, int capacity)
        : buffer_(capacity > 0 ? buffer : nullptr), capacity_(static_cast<std::size_t>(capacity)) {}

    void put(char32_t unit) {
        if (buffer_ != nullptr) {
            if (size_ >= capacity_) {
                overflow_ = true;
                return;
            }
            buffer_[size_] = static_cast<Unit>(unit);
        }
        ++size_;
    }

    // The call's return value: the unit count, or 0 when the conversion failed or did not fit.
    int result(bool converted) const {
        if (!converted || overflow_ || size_ > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            return 0;
        return static_cast<int>(size_);
    }

private:
    Unit* buffer_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool overflow_ = false;
};

void putUtf16(Output<char16_t>& out, char32_t cp) {
    if (cp < 0x10000) {
        out.put(cp);
    } else {
        cp -= 0x10000;
        out.put(0xD800 + (cp >> 10));
        out.put(0xDC00 + (cp & 0x3FF));
    }
}

void putUtf8(Output<char>& out, char32_t cp) {
    if (cp < 0x80) {
        out.put(cp);
    } else if (cp < 0x800) {
        out.put(0xC0 | (cp >> 6));
        out.put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out.put(0xE0 | (cp >> 12));
        out.put(0x80 | ((cp >> 6) & 0x3F));
        out.put(0x80 | (cp & 0x3F));
    } else {
        out.put(0xF0 | (cp >> 18));
        out.put(0x80 | ((cp >> 12) & 0x3F));
        out.put(0x80 | ((cp >> 6) & 0x3F));
        out.put(0x80 | (cp & 0x3F));
    }
}

// Only well-formed UTF-8 is accepted (platform::text::utf8Step). Leniently, each maximal
// ill-formed part becomes one U+FFFD.
bool utf8ToUtf16(const unsigned char* s, std::size_t n, bool strict, Output<char16_t>& out) {
    const std::string_view text(reinterpret_cast<const char*>(s), n);
    std::size_t i = 0;
    while (i < n) {
        const platform::text::Utf8Step step = platform::text::utf8Step(text.substr(i));
        if (step.valid)
            putUtf16(out, step.codePoint);
        else if (strict)
            return false;
        else
            out.put(kReplacement);
        i += step.length;
    }
    return true;
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Reads one code point at s[i], advancing i; an unpaired surrogate gives 0xFFFFFFFF.
constexpr char32_t kUnpaired = 0xFFFFFFFF;
char32_t nextCodePoint(const char16_t* s, std::size_t n, std::size_t& i) {
    const char16_t u = s[i++];
    if (isHighSurrogate(u)) {
        if (i < n && isLowSurrogate(s[i])) {
            const char16_t low = s[i++];
            return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
        }
        return kUnpaired;
    }
    if (isLowSurrogate(u)) return kUnpaired;
    return u;
}

bool utf16ToUtf8(const char16_t* s, std::size_t n, bool strict, Output<char>& out) {
    std::size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            out.put(s[i++]);
            continue;
        }
        char32_t cp = nextCodePoint(s, n, i);
        if (cp == kUnpaired) {
            if (strict) return false;
            cp = kReplacement;
        }
        putUtf8(out, cp);
    }
    return true;
}

void ansiToUtf16(const CodeTable& table, const unsigned char* s, std::size_t n, Output<char16_t>& out) {
    for (std::size_t i = 0; i < n; ++i) out.put(s[i] < 0x80 ? s[i] : table[s[i] - 0x80]);
}

void utf16ToAnsi(const CodeTable& table, const char16_t* s, std::size_t n, char defaultChar, BOOL* usedDefault,
                 Output<char>& out) {
    std::size_t i = 0;
    while (i < n) {
        const char32_t cp = nextCodePoint(s, n, i);
        if (cp < 0x80) {
            out.put(cp);
            continue;
        }
        bool found = false;
        for (std::size_t k = 0; k < table.size() && !found; ++k) {
            if (table[k] == cp) {
                out.put(0x80 + k);
                found = true;
            }
        }
        if (!found) {
            out.put(static_cast<unsigned char>(defaultChar));
            if (usedDefault != nullptr) *usedDefault = 1;
        }
    }
}

// The input length of a call: -1 means up to and including the NUL terminator.
template <class Unit>
std::size_t inputLength(const Unit* s, int count) {
    if (count != -1) return static_cast<std::size_t>(count);
    std::size_t n = 0;
    while (s[n] != 0) ++n;
    return n + 1;
}

template <class In, class Out>
bool badArguments(const In* input, int inputCount, const Out* output, int outputCount) {
    return input == nullptr || inputCount == 0 || inputCount < -1 || outputCount < 0 ||
           (output == nullptr && outputCount != 0);
}

} // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* multiByte, int multiByteCount,
                        char16_t* wide, int wideCount) {
    if (badArguments(multiByte, multiByteCount, wide, wideCount)) return 0;
    if ((flags & ~MB_ERR_INVALID_CHARS) != 0) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(multiByte);
    const std::size_t n = inputLength(multiByte, multiByteCount);
    Output<char16_t> out(wide, wideCount);
    if (codePage == CP_UTF8) {
        const bool converted = utf8ToUtf16(bytes, n, (flags & MB_ERR_INVALID_CHARS) != 0, out);
        return out.result(converted);
    }
    const CodeTable* table = tableFor(codePage);
    if (table == nullptr) return 0;
    // Every byte of the supported single-byte code pages has a character, so none is refused.
    ansiToUtf16(*table, bytes, n, out);
    return out.result(true);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideCount, char* multiByte,
                        int multiByteCount, const char* defaultChar, BOOL* usedDefaultChar) {
    if (badArguments(wide, wideCount, multiByte, multiByteCount)) return 0;
    const std::size_t n = inputLength(wide, wideCount);
    Output<char> out(multiByte, multiByteCount);
    if (codePage == CP_UTF8) {
        if ((flags & ~WC_ERR_INVALID_CHARS) != 0) return 0;
        if (defaultChar != nullptr || usedDefaultChar != nullptr) return 0;
        const bool converted = utf16ToUtf8(wide, n, (flags & WC_ERR_INVALID_CHARS) != 0, out);
        return out.result(converted);
    }
    // The strict flag exists for UTF-8 only.
    if (flags != 0) return 0;
    const CodeTable* table = tableFor(codePage);
    if (table == nullptr) return 0;
    if (usedDefaultChar != nullptr) *usedDefaultChar = 0;
    utf16ToAnsi(*table, wide, n, defaultChar != nullptr ? *defaultChar : '?', usedDefaultChar, out);
    return out.result(true);
}

UINT GetACP() { return gAnsiCodePage.load(std::memory_order_relaxed); }

namespace platform::text {

Utf8Step utf8Step(std::string_view text) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {1, true, lead};
    int follow = 0;
    char32_t cp = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        follow = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;       // overlong below U+0800
        else if (lead == 0xED) high = 0x9F; // surrogates D800..DFFF
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        follow = 3;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;       // overlong below U+10000
        else if (lead == 0xF4) high = 0x8F; // above U+10FFFF
    } else {
        return {1, false, 0};
    }
    std::size_t j = 1;
    for (int k = 0; k < follow; ++k, ++j) {
        if (j >= text.size() || byte(j) < low || byte(j) > high) return {j, false, 0};
        cp = (cp << 6) | (byte(j) & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {j, true, cp};
}

bool setAnsiCodePage(UINT codePage) {
    if (codePage == CP_ACP || tableFor(codePage) == nullptr) return false;
    gAnsiCodePage.store(codePage, std::memory_order_relaxed);
    return true;
}

} // namespace platform::text
