#include "core/text_encoding.hpp"

#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tamrix;

namespace {

template <class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(TextEncoding, StrictConversionsRoundTripEveryPlane) {
    const std::string utf8 = "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x9B\xA9 \xE4\xB8\xAD";
    const std::u16string wide = u"Z\u00FCrich \u20AC \U0001F6E9 \u4E2D";
    EXPECT_EQ(utf8_to_wide(utf8), wide);
    EXPECT_EQ(wide_to_utf8(wide), utf8);
    EXPECT_EQ(utf8_to_wide(""), u"");
    EXPECT_EQ(wide_to_utf8(u""), "");
    // NUL is an ordinary character.
    EXPECT_EQ(utf8_to_wide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(TextEncoding, StrictConversionsThrowTheirOwnTexts) {
    for (const char* bad : {"\xC0\x80", "\xE0\x9F\x80", "\xF4\x90\x80\x80", "\xED\xA0\x80", "abc\xC3"}) {
        EXPECT_EQ(errorOf([&] { utf8_to_wide(bad); }), "utf8_to_wide: invalid UTF-8");
    }
    EXPECT_EQ(errorOf([] { wide_to_utf8(std::u16string{u'a', 0xDC00}); }), "wide_to_utf8: invalid UTF-16");
    EXPECT_EQ(errorOf([] { wide_to_utf8(std::u16string{0xD83D}); }), "wide_to_utf8: invalid UTF-16");
}

TEST(TextEncoding, PathsMustBeUtf8) {
    EXPECT_EQ(gf_pathToUtf8(std::filesystem::path("/tmp/J\xC3\xBCrgen/a.txt")), "/tmp/J\xC3\xBCrgen/a.txt");
    EXPECT_EQ(gf_pathToUtf8({}), "");
    const std::filesystem::path latin1("/tmp/J\xFCrgen");
    EXPECT_EQ(errorOf([&] { gf_pathToUtf8(latin1); }), "wide_to_utf8: invalid UTF-16");
    // For messages the path still shows.
    EXPECT_EQ(gf_pathToUtf8Lossy(latin1), "/tmp/J\xEF\xBF\xBDrgen");
}

TEST(TextEncoding, AnsiTextConvertsEveryByte) {
    EXPECT_EQ(gf_ansiToUtf8("caf\xE9 \x80 \x81"), "caf\xC3\xA9 \xE2\x82\xAC \xC2\x81");
    EXPECT_EQ(gf_ansiToUtf8(""), "");
    // Bytes that are valid UTF-8 are still read as single bytes.
    EXPECT_EQ(gf_ansiToUtf8("\xC3\xA9"), "\xC3\x83\xC2\xA9");
}

// A log line shows what an editor hides: marks and controls by their code, bytes that are no
// UTF-8 by their value; every other character stays as it is.
TEST(TextEncoding, VisibleTextNamesWhatNoEditorShows) {
    EXPECT_EQ(gf_visibleText("Z\xC3\xBCrich \xE2\x82\xAC\xEF\xBB\xBF\t\xE2\x80\x8B" "a\x7F\xC3"),
              "Z\xC3\xBCrich \xE2\x82\xAC<U+FEFF><U+0009><U+200B>a<U+007F><0xC3>");
    EXPECT_EQ(gf_visibleText("EHAM,A1"), "EHAM,A1");
}
