#include "core/string_helpers.hpp"

#include <list>
#include <ranges>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace tamrix;
using Pieces = std::vector<std::string>;

TEST(StringHelpers, Trim) {
    EXPECT_EQ(gf_trim(" \t abc \r\n"), "abc");
    EXPECT_EQ(gf_trim("\t"), "");
    EXPECT_EQ(gf_trim("a b"), "a b");
    EXPECT_EQ(gf_trim("\va\f"), "\va\f"); // only blank, tab, LF and CR are white space
}

TEST(StringHelpers, SplitDropsEmptyPieces) {
    EXPECT_EQ(gf_split(" a, ,b ,", ','), (Pieces{"a", "b"}));
    EXPECT_EQ(gf_split("x|y||z", '|'), (Pieces{"x", "y", "z"}));
    EXPECT_TRUE(gf_splitComma("").empty());
    EXPECT_EQ(gf_splitComma("B737, A320 "), (Pieces{"B737", "A320"}));
    EXPECT_EQ(gf_splitChar(std::views::split(std::string_view(" a, ,b ,"), ',')), (Pieces{"a", "b"}));
}

TEST(StringHelpers, SplitCommaListSortsAndKeepsOneEmptyPiece) {
    EXPECT_EQ(gf_splitCommaList("b, a,b,"), (std::list<std::string>{"", "a", "b"}));
    // Byte order: upper case before lower case, and bytes above 0x7F last.
    EXPECT_EQ(gf_splitCommaList("\xC3\xA9,a,Z"), (std::list<std::string>{"Z", "a", "\xC3\xA9"}));
}

TEST(StringHelpers, TidyCommaListOnlyWhenThereIsWhiteSpace) {
    std::string text = "X, Y,,Z";
    gf_tidyCommaList(text);
    EXPECT_EQ(text, "X,Y,Z");
    text = "X,,Z";
    gf_tidyCommaList(text);
    EXPECT_EQ(text, "X,,Z");
    text = " \t";
    gf_tidyCommaList(text);
    EXPECT_EQ(text, "");
}

TEST(StringHelpers, Comparisons) {
    EXPECT_TRUE(gf_contains("Boeing 737-800", "737"));
    EXPECT_TRUE(gf_contains("", ""));
    EXPECT_FALSE(gf_contains("737", "7378"));
    EXPECT_TRUE(gf_upperEquals("KLM1", "klm1"));
    EXPECT_FALSE(gf_upperEquals("klm", "klm"));
    EXPECT_FALSE(gf_upperEquals("\xC3\x89", "\xC3\xA9")); // ASCII letters only
    EXPECT_TRUE(gf_equalsWithStar("AB", "AB*"));
    EXPECT_FALSE(gf_equalsWithStar("AB", "AB"));
    EXPECT_FALSE(gf_equalsWithStar("AB", "AC*"));
    EXPECT_EQ(gf_toUpperChar('q'), 'Q');
    EXPECT_EQ(gf_toUpperChar(u'z'), u'Z');
    EXPECT_EQ(gf_toUpperChar(u'\u00e9'), u'\u00e9');
    EXPECT_EQ(gf_toLowerChar('Q'), 'q');
    EXPECT_EQ(gf_toUpperAscii("ein-\xC3\xA9"), "EIN-\xC3\xA9"); // ASCII letters only
    EXPECT_EQ(gf_toLowerAscii("AIRCRAFT.BGL"), "aircraft.bgl");
    EXPECT_TRUE(gf_equalsNoCase("eham.Xml", "EHAM.xml"));
    EXPECT_FALSE(gf_equalsNoCase("EHAM", "EHAM "));
    EXPECT_TRUE(gf_containsNoCase("C:/Aerosoft/EDDF", "aeroSOFT"));
    EXPECT_TRUE(gf_containsNoCase("", ""));
    EXPECT_FALSE(gf_containsNoCase("\xC3\x89", "\xC3\xA9")); // ASCII letters only
}

TEST(StringHelpers, StarBanner) {
    EXPECT_EQ(gf_starBanner(6, 0, true, false, "ab"), "\n** ab **");
    EXPECT_EQ(gf_starBanner(5, 0, false, true, "ab"), "** ab **\n"); // odd widths are raised
    EXPECT_EQ(gf_starBanner(4, 0, false, false, "ab"), "ab");        // no room for stars
    EXPECT_EQ(gf_starBanner(70, 10, false, true, ""), std::string(80, '*') + "\n");
    const std::string title = "live traffic livery matching summary";
    const int a = 100 - static_cast<int>(title.size());
    const std::string stars(31, '*');
    EXPECT_EQ(gf_starBanner(a, 0, true, false, title), "\n" + stars + " " + title + " " + stars);
    EXPECT_EQ(gf_starBanner(a, static_cast<int>(title.size()), false, true, ""),
              std::string(100, '*') + "\n");
    EXPECT_EQ(gf_starBanner(-7, 0, false, false, ""), "");
}
