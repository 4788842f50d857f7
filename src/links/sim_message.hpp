#pragma once
// Reading the simulator's receive records within the size the dispatch call gives: a field
// that does not lie wholly inside the record is not read, and a text field ends at its first
// zero byte or at the end of its field, whichever comes first (the simulator does not promise
// the zero). Fields are copied out, so no record needs any alignment.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace tamrix {

// Copies the field at `offset` into `out`; false (and `out` untouched) when the record of
// `size` bytes does not hold all of it.
template <class T> bool gf_readRecordField(const void* record, std::size_t size, std::size_t offset, T& out) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (record == nullptr || offset > size || size - offset < sizeof(T)) return false;
    std::memcpy(&out, static_cast<const std::byte*>(record) + offset, sizeof(T));
    return true;
}

// The text of a field of at most `fieldSize` bytes at `offset`, cut at the end of the record.
inline std::string_view gf_recordText(const void* record, std::size_t size, std::size_t offset,
                                      std::size_t fieldSize) {
    if (record == nullptr || offset >= size) return {};
    const char* text = static_cast<const char*>(record) + offset;
    const std::size_t limit = std::min(fieldSize, size - offset);
    return {text, static_cast<std::size_t>(std::find(text, text + limit, '\0') - text)};
}

} // namespace tamrix
