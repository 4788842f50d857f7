#include "refdata/encrypted_file.hpp"

#include <array>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "core/files.hpp"
#include "core/log.hpp"
#include "refdata/reference_key.hpp"

namespace tamrix {
namespace fs = std::filesystem;
namespace {

// Throws std::runtime_error on every failure; the caller removes the plain file.
void lf_decryptFile(const ReferenceKey& key, const fs::path& inPath, const fs::path& outPath) {
    std::ifstream input(inPath, std::ios::binary);
    if (!input) throw std::runtime_error("Could not open input file: " + inPath.string());
    std::ofstream output(outPath, std::ios::binary | std::ios::trunc);
    if (!output) throw std::runtime_error("Could not open output file: " + outPath.string());

    std::array<unsigned char, kStreamHeaderBytes> header{};
    input.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    crypto_secretstream_xchacha20poly1305_state state;
    // A file shorter than the header cannot be ours: the same refusal as a bad header.
    if (input.gcount() != static_cast<std::streamsize>(header.size()) ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) != 0) {
        throw std::runtime_error("Invalid header or key");
    }

    std::vector<unsigned char> inBuffer(kCipherChunkBytes);
    std::vector<unsigned char> outBuffer(kPlainChunkBytes);
    bool final = false;
    while (!final) {
        input.read(reinterpret_cast<char*>(inBuffer.data()), static_cast<std::streamsize>(inBuffer.size()));
        const auto got = static_cast<unsigned long long>(input.gcount());
        if (got == 0) break;
        unsigned long long outLength = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, outBuffer.data(), &outLength, &tag,
                                                       inBuffer.data(), got, nullptr, 0) != 0) {
            throw std::runtime_error("Decryption failed");
        }
        output.write(reinterpret_cast<const char*>(outBuffer.data()),
                     static_cast<std::streamsize>(outLength));
        if (!output) throw std::runtime_error("Could not write output file: " + outPath.string());
        final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    }
    // A stream cut at a chunk boundary, or one with bytes behind its final chunk, is damaged
    // even though every chunk read so far authenticated.
    if (!final) throw std::runtime_error("Stream ends before its final chunk");
    if (input.peek() != std::ifstream::traits_type::eof())
        throw std::runtime_error("Data after the final chunk");
    output.close();
    if (!output) throw std::runtime_error("Could not write output file: " + outPath.string());
}

} // namespace

bool gf_streamDecrypt(const fs::path& encPath, const fs::path& plainPath) {
    ReferenceKey key = gf_referenceKey();
    bool ok = false;
    try {
        lf_decryptFile(key, encPath, plainPath);
        ok = true;
    } catch (const std::exception& e) {
        gf_log(fmt::format("gf_streamDecrypt exception: {}", e.what()));
    } catch (...) {
        gf_log("gf_streamDecrypt exception: unknown");
    }
    sodium_memzero(key.data(), key.size());
    if (!ok) gf_removeFile(plainPath);
    return ok;
}

} // namespace tamrix
