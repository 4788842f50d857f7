#include "core/string_helpers.hpp"

#include <algorithm>

namespace tamrix {
namespace {

// Calls `use` with every piece between delimiters, the empty ones included.
template <typename Use> void forEachPiece(std::string_view text, char delimiter, Use&& use) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(delimiter, start);
        if (at == std::string_view::npos) {
            use(text.substr(start));
            return;
        }
        use(text.substr(start, at - start));
        start = at + 1;
    }
}

} // namespace

std::string_view gf_trimView(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

std::string gf_trim(std::string_view text) {
    return std::string(gf_trimView(text));
}

std::vector<std::string> gf_split(std::string_view text, char delimiter) {
    // Counted first so that the list is allocated once.
    std::size_t count = 0;
    forEachPiece(text, delimiter,
                 [&](std::string_view piece) { count += gf_trimView(piece).empty() ? 0 : 1; });
    std::vector<std::string> out;
    out.reserve(count);
    forEachPiece(text, delimiter, [&](std::string_view piece) {
        const auto trimmed = gf_trimView(piece);
        if (!trimmed.empty()) out.emplace_back(trimmed);
    });
    return out;
}

std::vector<std::string> gf_splitComma(std::string_view text) {
    return gf_split(text, ',');
}

std::list<std::string> gf_splitCommaList(std::string_view text) {
    std::list<std::string> out;
    forEachPiece(text, ',', [&](std::string_view piece) { out.emplace_back(gf_trimView(piece)); });
    out.sort();
    out.unique();
    return out;
}

void gf_tidyCommaList(std::string& text) {
    if (text.find_first_of(kWhiteSpace) == std::string::npos) return;
    std::string tidy;
    tidy.reserve(text.size());
    for (const auto& piece : gf_split(text, ',')) {
        if (!tidy.empty()) tidy += ',';
        tidy += piece;
    }
    text = std::move(tidy);
}

std::string gf_toUpperAscii(std::string text) {
    for (char& c : text) c = gf_toUpperChar(c);
    return text;
}

std::string gf_toLowerAscii(std::string text) {
    for (char& c : text) c = gf_toLowerChar(c);
    return text;
}

bool gf_contains(std::string_view text, std::string_view search) {
    return text.find(search) != std::string_view::npos;
}

bool gf_upperEquals(std::string_view expected, std::string_view text) {
    return expected.size() == text.size() && std::equal(text.begin(), text.end(), expected.begin(),
                                                        [](char t, char e) { return gf_toUpperChar(t) == e; });
}

bool gf_equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return gf_toUpperChar(x) == gf_toUpperChar(y); });
}

bool gf_containsNoCase(std::string_view text, std::string_view search) {
    if (search.empty()) return true;
    return std::search(text.begin(), text.end(), search.begin(), search.end(),
                       [](char x, char y) { return gf_toUpperChar(x) == gf_toUpperChar(y); }) != text.end();
}

bool gf_equalsWithStar(std::string_view a, std::string_view b) {
    return b.size() == a.size() + 1 && b.back() == '*' && b.substr(0, a.size()) == a;
}

std::string gf_starBanner(int32_t a, int32_t b, bool leadingLineBreak, bool trailingLineBreak,
                          std::string_view text) {
    std::string out = leadingLineBreak ? "\n" : "";
    int64_t width = static_cast<int64_t>(a) + b;
    if (width % 2 != 0) ++width;
    if (text.empty()) {
        out.append(static_cast<std::size_t>(std::max<int64_t>(width, 0)), '*');
    } else if (width > static_cast<int64_t>(text.size()) + 2) {
        const auto side = static_cast<std::size_t>(width / 2 - 1);
        out.append(side, '*');
        out += ' ';
        out += text;
        out += ' ';
        out.append(side, '*');
    } else {
        out += text;
    }
    if (trailingLineBreak) out += '\n';
    return out;
}

} // namespace tamrix
