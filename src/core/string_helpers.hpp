#pragma once
// Small text helpers shared by the readers of reference data, livery sections and airport lists:
// trimming and splitting comma lists, byte-wise comparisons and the star banners of log reports.

#include <cstdint>
#include <list>
#include <ranges>
#include <string>
#include <string_view>
#include <vector>

namespace tamrix {

// What trimming removes: blank, tab, LF and CR.
inline constexpr std::string_view kWhiteSpace = " \t\n\r";

// The text without leading and trailing white space (a view into the same characters).
std::string_view gf_trimView(std::string_view text);
std::string gf_trim(std::string_view text);

// The pieces between delimiters, each trimmed, empty pieces dropped, in order.
std::vector<std::string> gf_split(std::string_view text, char delimiter);
std::vector<std::string> gf_splitComma(std::string_view text);

// The same list as gf_split from an already prepared split, e.g. gf_splitChar(std::views::split(text, ',')).
template <std::ranges::input_range Pieces>
requires std::ranges::contiguous_range<std::ranges::range_reference_t<Pieces>> std::vector<std::string>
gf_splitChar(Pieces&& pieces) {
    std::vector<std::string> out;
    for (auto&& piece : pieces) {
        const auto trimmed =
            gf_trimView(std::string_view(std::ranges::data(piece), std::ranges::size(piece)));
        if (!trimmed.empty()) out.emplace_back(trimmed);
    }
    return out;
}

// The pieces between commas, each trimmed (empty pieces kept), sorted by byte value, duplicates removed.
std::list<std::string> gf_splitCommaList(std::string_view text);

// A text holding any white space becomes its gf_split pieces at "," joined with ","; a text
// without white space is left exactly as it is ("X,,Z" keeps its empty item).
void gf_tidyCommaList(std::string& text);

// True when `search` occurs in `text`; an empty search text always occurs.
bool gf_contains(std::string_view text, std::string_view search);
// True when `text`, upper-cased byte by byte (ASCII letters only), equals `expected`.
bool gf_upperEquals(std::string_view expected, std::string_view text);

// The one case folding of codes, tags, names and paths: ASCII letters only, any other character
// unchanged, whatever the locale (the window toolkit sets the user's, whose case rules differ:
// a Turkish one has no upper-case 'i' among single bytes).
template <typename Char> constexpr Char gf_toUpperChar(Char c) noexcept {
    return (c >= Char('a') && c <= Char('z')) ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}
template <typename Char> constexpr Char gf_toLowerChar(Char c) noexcept {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}
// The text with gf_toUpperChar, respectively gf_toLowerChar, applied to every byte.
std::string gf_toUpperAscii(std::string text);
std::string gf_toLowerAscii(std::string text);

// True when the texts are equal, ASCII letters compared without regard to case.
bool gf_equalsNoCase(std::string_view a, std::string_view b);
// True when `search` occurs in `text`, ASCII letters compared without regard to case; an empty
// search text always occurs.
bool gf_containsNoCase(std::string_view text, std::string_view search);
// True when b is a followed by "*".
bool gf_equalsWithStar(std::string_view a, std::string_view b);

// A line of stars w = a + b wide (raised to even) framing the text: "** ab **" for (6, 0, "ab"); the
// text alone when it does not fit; w stars for an empty text. Optional line breaks before and after.
std::string gf_starBanner(int32_t a, int32_t b, bool leadingLineBreak, bool trailingLineBreak,
                          std::string_view text);

} // namespace tamrix
