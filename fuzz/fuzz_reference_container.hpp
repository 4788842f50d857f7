#pragma once
// Writes bytes into the encrypted container of the reference files with the program's own key,
// so that a fuzz target reaches the readers behind the container's authentication.

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <sodium.h>

#include "refdata/encrypted_file.hpp"
#include "refdata/reference_key.hpp"

namespace fuzzsupport {

inline void writeReferenceContainer(const std::filesystem::path& encPath, std::string_view plain) {
    if (sodium_init() < 0) throw std::runtime_error("sodium_init failed");
    const tamrix::ReferenceKey key = tamrix::gf_referenceKey();
    crypto_secretstream_xchacha20poly1305_state state;
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.data());
    std::ofstream out(encPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::vector<unsigned char> chunk(tamrix::kCipherChunkBytes);
    std::size_t offset = 0;
    do {
        const std::size_t n = std::min(tamrix::kPlainChunkBytes, plain.size() - offset);
        const bool last = offset + n == plain.size();
        unsigned long long written = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, chunk.data(), &written, reinterpret_cast<const unsigned char*>(plain.data()) + offset, n,
            nullptr, 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(written));
        offset += n;
    } while (offset < plain.size());
}

} // namespace fuzzsupport
