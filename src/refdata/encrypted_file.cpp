#include "refdata/encrypted_file.hpp"

#include <array>
#include <cerrno>
#include <cstring>
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

// What went wrong, so that the user is told what to do about it.
enum class DecryptFault { Missing, Input, Output };

struct DecryptError : std::runtime_error {
    DecryptError(DecryptFault f, const std::string& text) : std::runtime_error(text), fault(f) {}
    DecryptFault fault;
};

// Throws DecryptError on every failure; the caller removes the plain file.
void lf_decryptFile(const ReferenceKey& key, const fs::path& inPath, const fs::path& outPath) {
    errno = 0;
    std::ifstream input(inPath, std::ios::binary);
    if (!input) {
        const int error = errno;
        throw DecryptError(error == ENOENT ? DecryptFault::Missing : DecryptFault::Input,
                           "Could not open input file: " + inPath.string() +
                               (error != 0 && error != ENOENT ? fmt::format(" ({})", std::strerror(error)) : ""));
    }
    errno = 0;
    std::ofstream output(outPath, std::ios::binary | std::ios::trunc);
    if (!output) {
        const int error = errno;
        throw DecryptError(DecryptFault::Output, "Could not open output file: " + outPath.string() +
                                                     (error != 0 ? fmt::format(" ({})", std::strerror(error)) : ""));
    }

    std::array<unsigned char, kStreamHeaderBytes> header{};
    input.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    crypto_secretstream_xchacha20poly1305_state state;
    // A file shorter than the header cannot be ours: the same refusal as a bad header.
    if (input.gcount() != static_cast<std::streamsize>(header.size()) ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) != 0) {
        throw DecryptError(DecryptFault::Input, "Invalid header or key");
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
            throw DecryptError(DecryptFault::Input, "Decryption failed");
        }
        output.write(reinterpret_cast<const char*>(outBuffer.data()),
                     static_cast<std::streamsize>(outLength));
        if (!output) throw DecryptError(DecryptFault::Output, "Could not write output file: " + outPath.string());
        final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    }
    // A stream cut at a chunk boundary, or one with bytes behind its final chunk, is damaged
    // even though every chunk read so far authenticated.
    if (!final) throw DecryptError(DecryptFault::Input, "Stream ends before its final chunk");
    if (input.peek() != std::ifstream::traits_type::eof())
        throw DecryptError(DecryptFault::Input, "Data after the final chunk");
    output.close();
    if (!output) throw DecryptError(DecryptFault::Output, "Could not write output file: " + outPath.string());
}

} // namespace

std::optional<std::string> gf_decryptReferenceFile(const fs::path& encPath, const fs::path& plainPath) {
    ReferenceKey key = gf_referenceKey();
    std::optional<std::string> problem;
    try {
        lf_decryptFile(key, encPath, plainPath);
    } catch (const DecryptError& e) {
        gf_log(fmt::format("gf_streamDecrypt exception: {}", e.what()));
        switch (e.fault) {
        case DecryptFault::Missing:
            problem = fmt::format("{} not available; {}", encPath.string(), kRestoreReferenceFile);
            break;
        case DecryptFault::Input:
            problem = fmt::format("{} stream decrypt failed: {}; {}", encPath.string(), e.what(), kRestoreReferenceFile);
            break;
        case DecryptFault::Output:
            problem = fmt::format("{} stream decrypt failed: {}", encPath.string(), e.what());
            break;
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("gf_streamDecrypt exception: {}", e.what()));
        problem = fmt::format("{} stream decrypt failed: {}", encPath.string(), e.what());
    } catch (...) {
        gf_log("gf_streamDecrypt exception: unknown");
        problem = fmt::format("{} stream decrypt failed", encPath.string());
    }
    sodium_memzero(key.data(), key.size());
    if (problem) {
        gf_logHighlighted(*problem);
        gf_removeFile(plainPath);
    }
    return problem;
}

bool gf_streamDecrypt(const fs::path& encPath, const fs::path& plainPath) {
    return !gf_decryptReferenceFile(encPath, plainPath).has_value();
}

} // namespace tamrix
