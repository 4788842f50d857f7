#include "platform/text_codec.hpp"

#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

// The usual two-step calls: ask for the length, then convert; nothing when the call refuses.
std::optional<std::u16string> toWide(UINT codePage, DWORD flags, std::string_view bytes) {
    const int n = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, flags, bytes.data(), n, nullptr, 0);
    if (length == 0) return std::nullopt;
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    EXPECT_EQ(MultiByteToWideChar(codePage, flags, bytes.data(), n, out.data(), length), length);
    return out;
}

std::optional<std::string> toNarrow(UINT codePage, DWORD flags, std::u16string_view wide) {
    const int n = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), n, nullptr, 0, nullptr, nullptr);
    if (length == 0) return std::nullopt;
    std::string out(static_cast<std::size_t>(length), '\0');
    EXPECT_EQ(WideCharToMultiByte(codePage, flags, wide.data(), n, out.data(), length, nullptr, nullptr), length);
    return out;
}

} // namespace

TEST(TextCodecUtf8, BoundaryFormsAndNulConvertBothWays) {
    const char bytes[] = "a\0\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"
                         "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    const std::string utf8(bytes, sizeof bytes - 1);
    const std::u16string wide{u'a', 0, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF};
    EXPECT_EQ(toWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8), wide);
    EXPECT_EQ(toNarrow(CP_UTF8, WC_ERR_INVALID_CHARS, wide), utf8);
}

TEST(TextCodecUtf8, StrictRefusesIllFormedTextLenientReplacesIt) {
    const char* bad[] = {
        "\xC0\x80", "\xC1\xBF", "\xE0\x9F\x80", "\xF0\x8F\xBF\xBF", // overlong
        "\x80", "\xF5\x80\x80\x80", "\xFF",                        // bad leads
        "\xED\xA0\x80", "\xED\xBF\xBF",                            // surrogates
        "\xF4\x90\x80\x80",                                        // above U+10FFFF
        "\xC3", "\xE2\x82", "a\xF0\x9F\x98", "\xC3\x41",           // truncated
    };
    for (const char* s : bad) EXPECT_EQ(toWide(CP_UTF8, MB_ERR_INVALID_CHARS, s), std::nullopt) << s;
    // One U+FFFD per maximal bad part: C0 and 80 are two, E2 82 is one, F4 and 90 are two.
    EXPECT_EQ(toWide(CP_UTF8, 0, "a\xC0\x80" "b\xE2\x82" "c\xF4\x90" "d"), u"a\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd");
}

TEST(TextCodecUtf16, StrictRefusesUnpairedSurrogatesLenientReplacesThem) {
    for (const std::u16string& s : {std::u16string{0xD800}, std::u16string{u'a', 0xDC00},
                                    std::u16string{0xDC00, 0xD800}, std::u16string{0xD800, 0xD800, 0xDC00}})
        EXPECT_EQ(toNarrow(CP_UTF8, WC_ERR_INVALID_CHARS, s), std::nullopt);
    EXPECT_EQ(toNarrow(CP_UTF8, 0, std::u16string{u'a', 0xD800, u'b'}), "a\xEF\xBF\xBD" "b");
}

TEST(TextCodecCalls, TerminatorBufferSizeAndArgumentRules) {
    const char* text = "h\xC3\xA9";
    char16_t buffer[3] = {1, 1, 1};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer, 3), 3); // the NUL is converted too
    EXPECT_EQ(buffer[2], 0);
    char16_t small[2] = {7, 7};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 3, small, 1), 0);
    EXPECT_EQ(small[1], 7); // nothing written past the buffer
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 0, nullptr, 0), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 3, nullptr, 5), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0x1, text, 3, nullptr, 0), 0);
    EXPECT_EQ(MultiByteToWideChar(12345, 0, text, 3, nullptr, 0), 0);
    BOOL used = 0;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"x", 1, nullptr, 0, nullptr, &used), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, u"x", 1, nullptr, 0, nullptr, nullptr), 0);
}

// The code page is process-wide: each test starts and ends with Windows-1252.
class TextCodecAnsi : public ::testing::Test {
protected:
    void SetUp() override { platform::text::setAnsiCodePage(1252); }
    void TearDown() override { platform::text::setAnsiCodePage(1252); }
};

TEST_F(TextCodecAnsi, Windows1252MapsEveryByteAndBack) {
    EXPECT_EQ(GetACP(), 1252u);
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    // The strict flag refuses nothing: the undefined bytes are C1 controls, as on Windows.
    const auto w = toWide(CP_ACP, MB_ERR_INVALID_CHARS, all).value();
    auto at = [&](int byte) { return static_cast<unsigned>(w.at(static_cast<std::size_t>(byte - 1))); };
    EXPECT_EQ(at(0x41), 0x41u);
    EXPECT_EQ(at(0x80), 0x20ACu);
    EXPECT_EQ(at(0x8A), 0x0160u);
    EXPECT_EQ(at(0x9F), 0x0178u);
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D, 0xA0, 0xE9}) EXPECT_EQ(at(b), static_cast<unsigned>(b));
    EXPECT_EQ(toNarrow(CP_ACP, 0, w), all);

    const std::u16string missing{u'a', 0x0080, 0x4E2D, 0xD83D, 0xDE00, u'b'};
    char out[8] = {};
    BOOL used = 0;
    const int n = WideCharToMultiByte(CP_ACP, 0, missing.data(), 6, out, 8, "#", &used);
    EXPECT_EQ(std::string(out, static_cast<std::size_t>(n)), "a###b");
    EXPECT_EQ(used, 1);
}

TEST_F(TextCodecAnsi, CodePageIsASetting) {
    EXPECT_FALSE(platform::text::setAnsiCodePage(1250)); // no table
    ASSERT_TRUE(platform::text::setAnsiCodePage(28591));
    EXPECT_EQ(GetACP(), 28591u);
    EXPECT_EQ(toWide(CP_ACP, 0, "\x80\xE9"), (std::u16string{0x80, 0xE9}));
    EXPECT_EQ(toWide(1252, 0, "\x80"), u"\u20AC");
}
