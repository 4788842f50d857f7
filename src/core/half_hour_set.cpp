#include "core/half_hour_set.hpp"

#include <bit>
#include <charconv>
#include <cstdint>

#include <fmt/format.h>

#include "core/log.hpp"
#include "core/string_helpers.hpp"

namespace tamrix {
namespace {

constexpr int kSlotCount = 48;
// A damaged list is named for its first bad pieces and then counted: one line per piece, each with
// the whole text, would grow with the square of the list's length.
constexpr int kLoggedBadPieces = 8;

// A slot number: an optional minus sign and digits at the start of the trimmed piece (what follows
// the digits is ignored, so "7h" is 7), within 0 .. 47. Anything else, overflow included, is an
// invalid hour and logged when `log` is set.
std::optional<int> slotNumber(std::string_view piece, std::string_view whole, bool log = true) {
    const std::string_view trimmed = gf_trimView(piece);
    int value = -1;
    const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (ec == std::errc() && value >= 0 && value < kSlotCount) return value;
    if (log) gf_logHighlighted(fmt::format("{} invalid hour '{}' in {}", "operator ()", trimmed, whole));
    return std::nullopt;
}

HalfHourSet readRange(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (text.find(':', colon + 1) != std::string_view::npos) {
        gf_logHighlighted(fmt::format("{} more than one colon char in: {}", "gf_hours2bitset", text));
        return {};
    }
    const std::string_view pieces[2] = {text.substr(0, colon), text.substr(colon + 1)};
    if (gf_trimView(pieces[0]).empty() || gf_trimView(pieces[1]).empty()) {
        gf_logHighlighted(fmt::format("{} invalid range format in {}", "gf_hours2bitset", text));
        return {};
    }
    const auto first = slotNumber(pieces[0], text);
    const auto last = slotNumber(pieces[1], text);
    if (!first || !last) return {};
    if (*first > *last) {
        gf_logHighlighted(fmt::format("{} descending range not allowed ({}:{} in {})", "gf_hours2bitset",
                                      *first, *last, text));
        return {};
    }
    HalfHourSet slots;
    for (int s = *first; s <= *last; ++s)
        slots.set(static_cast<std::size_t>(s));
    return slots;
}

// Slot numbers have one or two digits.
void appendSlot(std::string& out, int slot) {
    if (slot >= 10) out += static_cast<char>('0' + slot / 10);
    out += static_cast<char>('0' + slot % 10);
}

HalfHourSet readList(std::string_view text) {
    HalfHourSet slots;
    std::size_t start = 0;
    int bad = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const auto piece =
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (const auto s = slotNumber(piece, text, bad < kLoggedBadPieces))
            slots.set(static_cast<std::size_t>(*s));
        else
            ++bad;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (bad > kLoggedBadPieces)
        gf_logHighlighted(fmt::format("{} {} more invalid hours in that list", "gf_hours2bitset", bad - kLoggedBadPieces));
    return slots;
}

} // namespace

HalfHourSet gf_hours2bitset(std::string_view text) {
    if (text.empty()) return {};
    return text.find(':') != std::string_view::npos ? readRange(text) : readList(text);
}

std::optional<std::string> gf_bitset2HourRanges(const HalfHourSet& slots) {
    const uint64_t bits = slots.to_ullong();
    if (bits == 0) return std::nullopt;
    const int first = std::countr_zero(bits);
    const int last = 63 - std::countl_zero(bits);
    if (std::popcount(bits) != last - first + 1) return std::nullopt; // not one unbroken run
    std::string out;
    appendSlot(out, first);
    if (first != last) {
        out += ':';
        appendSlot(out, last);
    }
    return out;
}

std::optional<std::string> gf_bitset2HourList(const HalfHourSet& slots) {
    uint64_t bits = slots.to_ullong();
    if (bits == 0) return std::nullopt;
    std::string out;
    out.reserve(3 * static_cast<std::size_t>(std::popcount(bits)));
    for (; bits != 0; bits &= bits - 1) {
        if (!out.empty()) out += ',';
        appendSlot(out, std::countr_zero(bits));
    }
    return out;
}

} // namespace tamrix
