#pragma once
// Short fixed-length codes: 4-character airport ICAO codes and 3-character codes (airport origin
// and destination of traffic lines and the like). Only A-Z and 0-9; lower case is folded. The
// all-zero value means "no code".

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include <fmt/format.h>

#include "core/string_helpers.hpp"

namespace tamrix {

template <std::size_t N> class FixedCode {
    static_assert(N == 3 || N == 4, "FixedCode holds 3 or 4 characters");

public:
    // The "no code" state: all zero; isSet() is false.
    constexpr FixedCode() noexcept = default;

    // Throws std::invalid_argument "'{}' FixedCode: invalid string (length/charset)" unless the
    // text is exactly N letters or digits.
    explicit FixedCode(std::string_view text) {
        if (text.size() != N) invalid(text);
        std::array<char, N> chars{};
        for (std::size_t i = 0; i < N; ++i) {
            const char c = gf_toUpperChar(text[i]);
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) invalid(text);
            chars[i] = c;
        }
        if constexpr (N == 4) {
            // First character in the lowest byte: the code compares, hashes and copies as one integer.
            m_code = static_cast<uint32_t>(static_cast<unsigned char>(chars[0])) |
                     static_cast<uint32_t>(static_cast<unsigned char>(chars[1])) << 8 |
                     static_cast<uint32_t>(static_cast<unsigned char>(chars[2])) << 16 |
                     static_cast<uint32_t>(static_cast<unsigned char>(chars[3])) << 24;
        } else {
            m_code = chars;
        }
    }

    // A code is "no code" when its first character is zero.
    constexpr bool isSet() const noexcept { return at(0) != 0; }

    // The N characters; N blanks for "no code", which is how the files write it.
    std::string text() const {
        std::string out(N, ' ');
        if (isSet())
            for (std::size_t i = 0; i < N; ++i)
                out[i] = at(i);
        return out;
    }

    // Character i, 0 <= i < N.
    constexpr char at(std::size_t i) const noexcept {
        if constexpr (N == 4) {
            return static_cast<char>((m_code >> (8 * i)) & 0xFFu);
        } else {
            return m_code[i];
        }
    }

    // The raw integer of a 4-character code (first character in the lowest byte).
    constexpr uint32_t value() const noexcept requires(N == 4) { return m_code; }

    constexpr bool operator==(const FixedCode&) const noexcept = default;
    constexpr auto operator<=>(const FixedCode&) const noexcept = default;

private:
    [[noreturn]] static void invalid(std::string_view text) {
        throw std::invalid_argument(fmt::format("'{}' FixedCode: invalid string (length/charset)", text));
    }

    std::conditional_t<N == 4, uint32_t, std::array<char, 3>> m_code{};
};

} // namespace tamrix

template <std::size_t N> struct std::hash<tamrix::FixedCode<N>> {
    std::size_t operator()(const tamrix::FixedCode<N>& code) const noexcept {
        uint32_t packed = 0;
        for (std::size_t i = 0; i < N; ++i)
            packed |= static_cast<uint32_t>(static_cast<unsigned char>(code.at(i))) << (8 * i);
        return std::hash<uint32_t>{}(packed);
    }
};
