#pragma once
// The program's own key for its reference files ("dbase.enc", "airports.enc",
// "AIG-regcodes.enc"). One fixed 32-byte key for all of them, kept as two halves that are copied
// into a local buffer for each use; it is never derived, stored or printed otherwise.
// tools/encref encrypts the shipped files with the same constant.

#include <array>
#include <cstddef>

namespace tamrix {

inline constexpr std::size_t kReferenceKeyBytes = 32;

inline constexpr std::array<unsigned char, kReferenceKeyBytes / 2> kReferenceKeyFirstHalf{
    0x38, 0xAB, 0xCF, 0x7D, 0x6A, 0x11, 0x44, 0xF2, 0x87, 0xB5, 0xDA, 0x07, 0x8E, 0x7A, 0x69, 0x97};
inline constexpr std::array<unsigned char, kReferenceKeyBytes / 2> kReferenceKeySecondHalf{
    0xB9, 0x79, 0x93, 0xAA, 0xC8, 0xEC, 0x3C, 0x5F, 0xC4, 0x28, 0x57, 0xD6, 0x25, 0xE0, 0x6A, 0xC1};

using ReferenceKey = std::array<unsigned char, kReferenceKeyBytes>;

// The whole key, assembled from its halves.
inline ReferenceKey gf_referenceKey() noexcept {
    ReferenceKey key{};
    for (std::size_t i = 0; i < kReferenceKeySecondHalf.size(); ++i) {
        key[i] = kReferenceKeyFirstHalf[i];
        key[i + kReferenceKeyFirstHalf.size()] = kReferenceKeySecondHalf[i];
    }
    return key;
}

} // namespace tamrix
