#include "core/text_encoding.hpp"

#include <stdexcept>

#include <fmt/format.h>
#include <gsl/narrow>

#include "platform/text_codec.hpp"

namespace tamrix {

namespace {

constexpr const char* kInvalidUtf16 = "wide_to_utf8: invalid UTF-16";
constexpr const char* kInvalidUtf8 = "utf8_to_wide: invalid UTF-8";

// Empty when the platform refuses the text.
std::string toUtf8(std::u16string_view text, DWORD flags) {
    const int count = gsl::narrow<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, flags, text.data(), count, nullptr, 0, nullptr, nullptr);
    if (length < 1) return {};
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, flags, text.data(), count, out.data(), length, nullptr, nullptr);
    return out;
}

std::u16string toWide(UINT codePage, std::string_view text, DWORD flags) {
    const int count = gsl::narrow<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), count, nullptr, 0);
    if (length < 1) return {};
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(codePage, flags, text.data(), count, out.data(), length);
    return out;
}

// Characters that show as nothing, or as white space that hides what it is.
bool isInvisible(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || c == 0x61C || c == 0x180E ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
           c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

} // namespace

std::string wide_to_utf8(std::u16string_view text) {
    if (text.empty()) return {};
    std::string out = toUtf8(text, WC_ERR_INVALID_CHARS);
    if (out.empty()) throw std::runtime_error(kInvalidUtf16);
    return out;
}

std::u16string utf8_to_wide(std::string_view text) {
    if (text.empty()) return {};
    std::u16string out = toWide(CP_UTF8, text, MB_ERR_INVALID_CHARS);
    if (out.empty()) throw std::runtime_error(kInvalidUtf8);
    return out;
}

std::string gf_pathToUtf8(const std::filesystem::path& path) {
    const std::string& native = path.native();
    if (native.empty()) return {};
    const int count = gsl::narrow<int>(native.size());
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, native.data(), count, nullptr, 0) < 1)
        throw std::runtime_error(kInvalidUtf16);
    return native;
}

std::string gf_pathToUtf8Lossy(const std::filesystem::path& path) {
    const std::string& native = path.native();
    if (native.empty()) return {};
    try {
        return toUtf8(toWide(CP_UTF8, native, 0), 0);
    } catch (const std::exception&) {
        return "?"; // a path too long for the platform's counts
    }
}

std::string gf_ansiToUtf8(std::string_view text) {
    if (text.empty()) return {};
    const std::u16string wide = toWide(CP_ACP, text, 0);
    if (wide.empty()) return {};
    return toUtf8(wide, 0);
}

std::string gf_visibleText(std::string_view text) {
    std::string out;
    try {
        out.reserve(text.size());
        while (!text.empty()) {
            const platform::text::Utf8Step step = platform::text::utf8Step(text);
            if (!step.valid)
                out += fmt::format("<0x{:02X}>", static_cast<unsigned char>(text.front()));
            else if (isInvisible(step.codePoint))
                out += fmt::format("<U+{:04X}>", static_cast<uint32_t>(step.codePoint));
            else
                out.append(text.substr(0, step.length));
            text.remove_prefix(step.valid ? step.length : 1);
        }
    } catch (const std::exception&) {
        // Only memory can run out: the line shows what was made of it.
    }
    return out;
}

} // namespace tamrix
