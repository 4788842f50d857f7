#include "encref/enc_writer.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <sodium.h>

#include "refdata/encrypted_file.hpp"

namespace tamrix::encref {
namespace fs = std::filesystem;
namespace {

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

} // namespace

void encryptFile(const fs::path& plainPath, const fs::path& encPath, const ReferenceKey& key,
                 bool withFinal) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
    std::ifstream input(plainPath, std::ios::binary);
    if (!input) throw std::runtime_error("cannot open " + plainPath.string());
    std::ofstream output(encPath, std::ios::binary | std::ios::trunc);
    if (!output) throw std::runtime_error("cannot create " + encPath.string());

    crypto_secretstream_xchacha20poly1305_state state;
    std::array<unsigned char, kStreamHeaderBytes> header{};
    crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());
    output.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));

    std::array<unsigned char, kPlainChunkBytes> plain{};
    std::array<unsigned char, kCipherChunkBytes> cipher{};
    for (;;) {
        input.read(reinterpret_cast<char*>(plain.data()), static_cast<std::streamsize>(plain.size()));
        const auto got = static_cast<unsigned long long>(input.gcount());
        const bool last = input.peek() == std::ifstream::traits_type::eof();
        const unsigned char tag = (last && withFinal) ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                                      : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
        unsigned long long cipherLength = 0;
        crypto_secretstream_xchacha20poly1305_push(&state, cipher.data(), &cipherLength, plain.data(), got,
                                                   nullptr, 0, tag);
        output.write(reinterpret_cast<const char*>(cipher.data()),
                     static_cast<std::streamsize>(cipherLength));
        if (last) break;
    }
    output.close();
    if (!output) throw std::runtime_error("cannot write " + encPath.string());
}

void writeBrokenVariants(const fs::path& plainPath, const fs::path& folder) {
    fs::create_directories(folder);
    ReferenceKey otherKey = gf_referenceKey();
    for (auto& byte : otherKey)
        byte ^= 0xA5;
    encryptFile(plainPath, folder / "wrong-key.enc", otherKey);
    encryptFile(plainPath, folder / "no-final.enc", gf_referenceKey(), false);

    const fs::path good = folder / "complete.enc.tmp";
    encryptFile(plainPath, good);
    const std::string bytes = readBytes(good);
    fs::remove(good);
    const std::size_t chunkBytes = bytes.size() - kStreamHeaderBytes;
    const std::size_t lastChunk =
        chunkBytes % kCipherChunkBytes == 0 ? kCipherChunkBytes : chunkBytes % kCipherChunkBytes;
    writeBytes(folder / "cut-in-chunk.enc",
               std::string_view(bytes).substr(0, bytes.size() - std::max<std::size_t>(1, lastChunk / 2)));
    writeBytes(folder / "header-only.enc", std::string_view(bytes).substr(0, kStreamHeaderBytes));
    writeBytes(folder / "too-short.enc", std::string_view(bytes).substr(0, kStreamHeaderBytes / 2));
}

} // namespace tamrix::encref
